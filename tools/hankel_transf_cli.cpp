// hankel-transf: the diagonal transform from the command line.
//
//   hankel-transf [--method exact|fast] [--grid] [d ...]
//   hankel-transf [options] -          distances from standard input
//
// One line per distance on standard output, "d<TAB>ht", 17 significant
// digits, in input order. All input is checked before anything is printed,
// so a failed run leaves standard output empty.
#include "grid.h"
#include "hankel_transf_internal.h"
#ifdef HANKEL_TRANSF_HAVE_FAST
#include "fast_sum.h"
#endif

#include <gsl/gsl_errno.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char *const prog = "hankel-transf";

void usage(std::FILE *to)
{
    std::fprintf(to,
        "usage: %s [--method exact|fast] [--grid] [--warn-after S] [DISTANCE ...]\n"
        "       %s [--method exact|fast] [--grid] [--warn-after S] -\n"
        "\n"
        "For each distance d > 0 prints \"d<TAB>ht\" (17 significant digits, input order):\n"
        "\n"
        "  ht(d) = sum_j sum_k f(x_j, x_k) cos(2 pi (s x_j + s x_k)),  s = d / sqrt(2),\n"
        "  f(x1, x2) = (1 + 4 pi^2 (x1^2 + x2^2))^(-3/4),\n"
        "\n"
        "over a frequency grid x_0..x_{N-1} built from the smallest and largest distance\n"
        "of the run (N = ceil(4.5 * max/min) + 2, give or take one). The value is the bare\n"
        "sum, not multiplied by the grid cell's area; it depends on the other distances\n"
        "of the same run, because they set the grid.\n"
        "\n"
        "  -               read whitespace-separated distances from standard input\n"
        "  --method exact  direct sum over an N x N table (default): n * N^2 cosines,\n"
        "                  8 * N^2 bytes; reproducible to the bit\n"
        "  --method fast   the same sum in O(N^2 + n * N) time and O(N + n) memory,\n"
        "                  within about 1e-14 of the sum of all kernel values\n"
        "  --grid          also print N, the spacing and the extent to standard error\n"
        "  --warn-after S  when an exact run is expected to take longer than S seconds\n"
        "                  (default 10), say so before it starts and report progress\n"
        "                  on standard error, one line per distance\n"
        "  --help          this text\n"
        "\n"
        "With no distances, runs the built-in set 0.25, 0.5, ..., 4 (16 distances).\n"
        "A token that is not a number, a distance that is not finite and > 0, or a set\n"
        "whose grid cannot be sized (ratio max/min beyond about 3.4e8, or a subnormal\n"
        "distance) is reported on standard error with exit status 2; nothing is printed\n"
        "on standard output then.\n",
        prog, prog);
}

[[noreturn]] void fail(const std::string &msg)
{
    std::fprintf(stderr, "%s: %s\n", prog, msg.c_str());
    std::exit(2);
}

bool parse_double(const std::string &tok, double *out)
{
    if (tok.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const double v = std::strtod(tok.c_str(), &end);
    if (end != tok.c_str() + tok.size())
        return false;
    // ERANGE on underflow still yields the nearest value; overflow is +-inf
    // and is refused below as not finite.
    *out = v;
    return true;
}

struct reading {
    std::vector<double> values;
};

void add_token(reading &r, const std::string &tok, const std::string &where)
{
    double v;
    if (!parse_double(tok, &v))
        fail("'" + tok + "' (" + where + ") is not a number");
    if (!(v > 0.0) || !std::isfinite(v))
        fail("distance '" + tok + "' (" + where + ") must be finite and greater than 0");
    if (r.values.size() >= static_cast<std::size_t>(INT_MAX))
        fail("too many distances (at most 2147483647)");
    r.values.push_back(v);
}

void progress_line(void *, const char *stage, long long done, long long total)
{
    std::fprintf(stderr, "%s: %lld of %lld %s done\n", prog, done, total, stage);
}

std::string human_seconds(double s)
{
    char buf[64];
    if (s < 120)
        std::snprintf(buf, sizeof buf, "%.0f s", s);
    else if (s < 7200)
        std::snprintf(buf, sizeof buf, "%.0f min", s / 60);
    else
        std::snprintf(buf, sizeof buf, "%.1f h", s / 3600);
    return buf;
}

std::string human_bytes(double b)
{
    const char *unit[] = {"bytes", "kB", "MB", "GB", "TB", "PB", "EB"};
    int u = 0;
    while (b >= 1000 && u < 6) {
        b /= 1000;
        ++u;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, u ? "%.3g %s" : "%.0f %s", b, unit[u]);
    return buf;
}

} // namespace

int main(int argc, char **argv)
{
    std::string method = "exact";
    bool show_grid = false;
    double warn_after = 10.0;
    bool from_stdin = false;
    bool options_done = false;
    reading in;

    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (!options_done && arg == "--help") {
            usage(stdout);
            return 0;
        }
        if (!options_done && arg == "--grid") {
            show_grid = true;
        } else if (!options_done && (arg == "--method" || arg.rfind("--method=", 0) == 0)) {
            if (arg == "--method") {
                if (a + 1 >= argc)
                    fail("--method needs a value: exact or fast");
                method = argv[++a];
            } else {
                method = arg.substr(std::strlen("--method="));
            }
            if (method != "exact" && method != "fast")
                fail("unknown method '" + method + "': use exact or fast");
        } else if (!options_done && arg == "--warn-after") {
            double v;
            if (a + 1 >= argc || !parse_double(argv[a + 1], &v) || !(v >= 0.0))
                fail("--warn-after needs a number of seconds >= 0");
            warn_after = v;
            ++a;
        } else if (!options_done && arg == "--") {
            options_done = true;
        } else if (arg == "-") {
            from_stdin = true;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            fail("unknown option '" + arg + "' (see --help)");
        } else {
            add_token(in, arg, "argument " + std::to_string(a));
        }
    }
    if (from_stdin) {
        std::string tok;
        std::size_t k = 0;
        while (std::cin >> tok)
            add_token(in, tok, "standard input, token " + std::to_string(++k));
        if (in.values.empty())
            fail("no distances on standard input");
    }
    if (in.values.empty()) {
        for (int i = 1; i <= 16; ++i)
            in.values.push_back(0.25 * i);
    }

    const int n = static_cast<int>(in.values.size());
    ht::grid g;
    if (ht::plan_grid(in.values.data(), n, &g) != ht::plan_status::ok) {
        double lo = in.values[0], hi = in.values[0];
        for (double d : in.values) {
            lo = std::fmin(lo, d);
            hi = std::fmax(hi, d);
        }
        char buf[256];
        std::snprintf(buf, sizeof buf,
            "the grid for distances from %.17g to %.17g cannot be sized "
            "(ratio %.3g; the smallest distance must be normal and the ratio below about 3.4e8)",
            lo, hi, hi / lo);
        fail(buf);
    }
    const double N = g.num_samp_desired;
    if (show_grid)
        std::fprintf(stderr, "N = %d\nspacing = %.17g\nextent = [%.17g, %.17g]\n",
                     g.num_samp_desired, g.incr_desired, g.min_x, g.max_x);

    // A table that cannot be had is reported below, not by GSL's abort.
    gsl_set_error_handler_off();
    std::vector<double> ht_vec(static_cast<std::size_t>(n));
    if (method == "exact") {
        // About 15 ns per summand and per table entry (one cosine or one pow)
        // on a current x86-64 core.
        const double expected = 1.5e-8 * (n + 1.0) * N * N;
        const double table_bytes = 8.0 * N * N;
        const bool long_run = expected > warn_after;
        if (long_run || table_bytes > 1e9)
            std::fprintf(stderr,
                "%s: the exact method needs an N x N table of %s (N = %d) and should take "
                "about %s; --method fast computes the same sum in a fraction of the time and "
                "memory\n",
                prog, human_bytes(table_bytes).c_str(), g.num_samp_desired,
                human_seconds(expected).c_str());
        ht::progress_hook progress;
        if (long_run)
            progress.fn = progress_line;
        ht::direct_sum(ht_vec.data(), in.values.data(), n, progress);
    } else {
#ifdef HANKEL_TRANSF_HAVE_FAST
        ht::fast::sum(ht_vec.data(), in.values.data(), n);
#else
        fail("this build has no fast method");
#endif
    }

    // Input was checked above, so a NaN here means storage was refused.
    for (int i = 0; i < n; ++i) {
        if (std::isnan(ht_vec[static_cast<std::size_t>(i)]))
            fail(method == "exact"
                 ? "could not allocate the N x N table of " + human_bytes(8.0 * N * N) +
                   " (N = " + std::to_string(g.num_samp_desired) +
                   "); --method fast needs only O(N) memory"
                 : "could not allocate the fast method's working storage");
    }
    for (int i = 0; i < n; ++i)
        std::printf("%.17g\t%.17g\n", in.values[static_cast<std::size_t>(i)],
                    ht_vec[static_cast<std::size_t>(i)]);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
