// hankel-transf: the distances of a run, read from the command line,
// standard input and files in command-line order, each kept with the token
// as typed (it is echoed in the output) and where it came from (for
// messages). Tokens are read as bytes: they may hold NUL or anything else.
#ifndef HANKEL_TRANSF_CLI_INPUT_H
#define HANKEL_TRANSF_CLI_INPUT_H

#include "cli_options.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace cli {

class distances {
public:
    // Every source in order; a token that is not a number, a source that
    // cannot be read, more than INT_MAX distances, or given sources that
    // hold no distance at all are reported through fail(). With no source,
    // the built-in set. Whether a number is a usable distance (finite, > 0)
    // is left to the planner, which names the first it refuses.
    static distances read(const std::vector<source> &sources);

    std::size_t size() const { return values_.size(); }
    const double *values() const { return values_.data(); }
    double value(std::size_t i) const { return values_[i]; }
    const std::string &token(std::size_t i) const { return tokens_[i]; }

    // "'1e-3x' (standard input, line 2)": the token quoted and its place.
    std::string name(std::size_t i) const;

private:
    struct origin {
        int source;       // index into sources_, or -1 for the built-in set
        long long line;   // line in standard input or a file, from 1
    };

    void add(std::string token, origin where);
    void read_stream(std::FILE *f, int source_index);
    std::string where(const origin &o) const;
    std::string source_name(int source_index) const;

    std::vector<source> sources_;
    std::vector<std::string> tokens_;
    std::vector<double> values_;
    std::vector<origin> origins_;
};

} // namespace cli

#endif
