// hankel-transf: the command line, read into settings. Nothing is read from
// standard input or files here; sources only name where distances come from.
#ifndef HANKEL_TRANSF_CLI_OPTIONS_H
#define HANKEL_TRANSF_CLI_OPTIONS_H

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

enum class method { exact, fast };

// One place in the command line that gives distances, in command-line order.
struct source {
    enum kind_t { argument, standard_input, file } kind;
    int arg_index;       // argv index of the DISTANCE, '-' or PATH
    std::string text;    // the argument itself, or the path
};

struct settings {
    method how = method::exact;
    bool show_grid = false;
    bool scaled = false;
    double warn_after = 10.0;    // seconds
    std::vector<source> sources;
};

enum class action { run, help, version };

// Reads argv; a malformed command line is reported through fail().
action parse_command_line(int argc, char **argv, settings *out);

void print_usage(std::FILE *to);
void print_version(std::FILE *to);

} // namespace cli

#endif
