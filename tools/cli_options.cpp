#include "cli_options.h"

#include "cli_text.h"

#include <cstdlib>
#include <cstring>

#ifndef HANKEL_TRANSF_VERSION
#error "HANKEL_TRANSF_VERSION (the project version) must be defined by the build"
#endif

namespace cli {

void print_usage(std::FILE *to)
{
    std::fprintf(to,
        "usage: %s [OPTION ...] [DISTANCE | - | --file PATH] ...\n"
        "\n"
        "For each distance d > 0 prints \"d<TAB>ht\": d exactly as given, ht with 17\n"
        "significant digits, one line per distance in the order given, where\n"
        "\n"
        "  ht(d) = sum_j sum_k f(x_j, x_k) cos(2 pi (s x_j + s x_k)),  s = d / sqrt(2),\n"
        "  f(x1, x2) = (1 + 4 pi^2 (x1^2 + x2^2))^(-3/4),\n"
        "\n"
        "over a frequency grid x_0..x_{N-1} of spacing h, built from the smallest and\n"
        "largest distance of the run (N = ceil(4.5 * max/min) + 2, give or take one).\n"
        "The value is the bare sum, not multiplied by the cell area h^2; it depends\n"
        "on the other distances of the same run, because they set the grid.\n"
        "\n"
        "Distances, taken in the order they appear:\n"
        "  DISTANCE          a decimal or hexadecimal floating-point number\n"
        "  -                 the distances on standard input, in this place\n"
        "                    (at most once)\n"
        "  -f, --file PATH   the distances in file PATH, in this place\n"
        "                    (standard input and files: separated by white space)\n"
        "With none, the built-in set 0.25, 0.5, ..., 4 (16 distances) is run.\n"
        "\n"
        "Options:\n"
        "  --method exact    direct sum over an N x N table (default): n N^2 cosines,\n"
        "                    8 N^2 bytes; reproducible to the bit\n"
        "  --method fast     the same sum in O(N log N + n N) time, O(N + n) memory,\n"
        "                    within about 1e-14 of the sum of all kernel values\n"
        "  --scaled          print ht * h^2, the Riemann sum of the continuous\n"
        "                    transform, instead of the bare sum\n"
        "  --grid            also print N, the spacing h and the extent to standard error\n"
        "  --warn-after S    when a run is expected to take longer than S seconds\n"
        "                    (default 10), say how long before it starts and report\n"
        "                    progress on standard error, one line per distance\n"
        "  -h, --help        print this text\n"
        "  --version         print the version\n"
        "  --                every later argument is a distance (or -)\n"
        "\n"
        "Each result is printed as soon as it is computed. All distances are read and\n"
        "checked and the grid is sized before the first: a token that is not a number,\n"
        "a distance that is not finite and > 0, or a set whose grid cannot be sized\n"
        "(ratio max/min beyond about 2.39e8, a distance below about 1.18e-308 or above\n"
        "about 1.27e308) is reported on standard error, and nothing is printed on\n"
        "standard output. Every failure, including storage that cannot be allocated,\n"
        "an unreadable file and a failed write, exits with status 2.\n",
        prog);
}

void print_version(std::FILE *to)
{
    std::fprintf(to, "%s %s\n", prog, HANKEL_TRANSF_VERSION);
}

namespace {

bool is_number(const char *arg)
{
    char *end = nullptr;
    std::strtod(arg, &end);
    return end != arg && *end == '\0';
}

// "-3", "-.5", "-inf" are (refused) distances, not options.
bool is_option(const std::string &arg)
{
    if (arg.size() < 2 || arg[0] != '-')
        return false;
    if ((arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.')
        return false;
    return !is_number(arg.c_str());
}

class reader {
public:
    reader(int argc, char **argv, settings *s) : argc_(argc), argv_(argv), s_(s) {}

    action run()
    {
        for (a_ = 1; a_ < argc_; ++a_) {
            const std::string arg = argv_[a_];
            if (arg == "-")
                add_stdin();
            else if (options_done_ || !is_option(arg))
                s_->sources.push_back({source::argument, a_, arg});
            else if (arg == "--")
                options_done_ = true;
            else {
                const action act = option(arg);
                if (act != action::run)
                    return act;
            }
        }
        return action::run;
    }

private:
    action option(const std::string &arg)
    {
        const std::size_t eq = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, eq);
        has_value_ = eq != std::string::npos;
        value_ = has_value_ ? arg.substr(eq + 1) : std::string();

        if (name == "-h" || name == "--help" || name == "--version") {
            no_value(name);
            return name == "--version" ? action::version : action::help;
        }
        if (name == "--grid" || name == "--scaled") {
            no_value(name);
            (name == "--grid" ? s_->show_grid : s_->scaled) = true;
        } else if (name == "--method")
            set_method(value(name, "a value: exact or fast"));
        else if (name == "--warn-after")
            set_warn_after(name, value(name, "a number of seconds"));
        else if (name == "-f" || name == "--file")
            add_file(value(name, "a path"));
        else
            fail("unknown option " + quote(arg) + " (see --help)");
        return action::run;
    }

    void no_value(const std::string &name)
    {
        if (has_value_)
            fail(name + " takes no value");
    }

    std::string value(const std::string &name, const char *what)
    {
        if (has_value_)
            return value_;
        if (a_ + 1 >= argc_)
            fail(name + " needs " + what);
        return argv_[++a_];
    }

    void set_method(const std::string &v)
    {
        if (v == "exact")
            s_->how = method::exact;
        else if (v == "fast")
            s_->how = method::fast;
        else
            fail("unknown method " + quote(v) + ": use exact or fast");
    }

    void set_warn_after(const std::string &name, const std::string &v)
    {
        char *end = nullptr;
        const double secs = std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0' || !(secs >= 0.0))
            fail(name + " needs a number of seconds >= 0, not " + quote(v));
        s_->warn_after = secs;
    }

    void add_file(const std::string &path)
    {
        if (path == "-")
            add_stdin();
        else
            s_->sources.push_back({source::file, a_, path});
    }

    void add_stdin()
    {
        if (stdin_seen_)
            fail("standard input ('-') can be read only once");
        stdin_seen_ = true;
        s_->sources.push_back({source::standard_input, a_, "-"});
    }

    int argc_;
    char **argv_;
    settings *s_;
    int a_ = 1;
    bool options_done_ = false;
    bool stdin_seen_ = false;
    bool has_value_ = false;
    std::string value_;
};

} // namespace

action parse_command_line(int argc, char **argv, settings *out)
{
    return reader(argc, argv, out).run();
}

} // namespace cli
