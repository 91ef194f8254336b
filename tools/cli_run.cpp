#include "cli_run.h"

#include "cli_text.h"
#include "cost.h"
#include "grid.h"
#include "hankel_transf_internal.h"
#ifdef HANKEL_TRANSF_HAVE_FAST
#include "fast_cost.h"
#include "fast_sum.h"
#endif

#include <gsl/gsl_errno.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace cli {

namespace {

// An exact run whose table is larger than this is announced even when it
// is expected to be quick: it may not fit in memory.
constexpr double large_table_bytes = 1e9;

std::string number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", v);
    return buf;
}

std::size_t index_of_extreme(const distances &d, bool largest)
{
    std::size_t best = 0;
    for (std::size_t i = 1; i < d.size(); ++i)
        if (largest ? d.value(i) > d.value(best) : d.value(i) < d.value(best))
            best = i;
    return best;
}

// The true reason the planner gave, naming the distance at fault.
[[noreturn]] void explain_refusal(ht::plan_status st, const distances &d, int bad)
{
    const std::size_t lo = index_of_extreme(d, false), hi = index_of_extreme(d, true);
    switch (st) {
    case ht::plan_status::bad_distance: {
        const double v = d.value(static_cast<std::size_t>(bad));
        fail("distance " + d.name(static_cast<std::size_t>(bad)) +
             " must be finite and greater than 0" +
             (v == 0.0 || std::isinf(v) ? " (it reads as " + number(v) + ")" : ""));
    }
    case ht::plan_status::extent_overflow:
        fail("the smallest distance " + d.name(lo) +
             " is too small to size a grid: the grid's extent, about 1.06/d, overflows "
             "(distances below about 1.18e-308 cannot be used)");
    case ht::plan_status::spacing_underflow:
        fail("the largest distance " + d.name(hi) +
             " is too large to size a grid: the grid's spacing, about 0.47/d, rounds to 0 "
             "(distances above about 1.27e308 cannot be used)");
    case ht::plan_status::too_many_points:
        fail("the grid for distances from " + d.name(lo) + " to " + d.name(hi) +
             " cannot be sized: their ratio " + number(d.value(hi) / d.value(lo)) +
             " needs about " + number(4.5 * (d.value(hi) / d.value(lo))) +
             " points per axis, more than an N x N table can address "
             "(ratios up to about 2.39e8)");
    case ht::plan_status::ok:
    case ht::plan_status::no_distances:
        break;
    }
    fail("no distances");
}

ht::grid plan(const distances &d)
{
    ht::grid g;
    int bad = -1;
    const ht::plan_status st =
        ht::plan_grid(d.values(), static_cast<int>(d.size()), &g, &bad);
    if (st != ht::plan_status::ok)
        explain_refusal(st, d, bad);
    return g;
}

// Writes the results in input order as the sums report them done.
struct printer {
    const distances *d;
    const double *ht_vec;
    double h;              // grid spacing, for --scaled
    bool scaled;
    bool show_progress;
    std::size_t printed = 0;

    void print_upto(std::size_t done)
    {
        for (; printed < done && printed < d->size(); ++printed) {
            double v = ht_vec[printed];
            if (scaled)
                v = (v * h) * h;
            char num[40];
            std::snprintf(num, sizeof num, "\t%.17g\n", v);
            const std::string &tok = d->token(printed);
            std::fwrite(tok.data(), 1, tok.size(), stdout);
            std::fputs(num, stdout);
            flush_stdout();
        }
    }
};

void on_progress(void *ctx, const char *stage, long long done, long long total)
{
    printer *p = static_cast<printer *>(ctx);
    if (std::strcmp(stage, "distances") == 0 && done > 0)
        p->print_upto(static_cast<std::size_t>(done));
    if (p->show_progress)
        std::fprintf(stderr, "%s: %lld of %lld %s done\n", prog, done, total, stage);
}

#ifdef HANKEL_TRANSF_HAVE_FAST
constexpr bool have_fast = true;
double fast_seconds(const ht::grid &g, int n) { return ht::fast::estimate(g, n).seconds; }
#else
constexpr bool have_fast = false;
double fast_seconds(const ht::grid &, int) { return 0.0; }
#endif

// Advice to switch to the fast method, or "" when it is not built or
// would not be much faster.
std::string fast_advice(const ht::grid &g, int n, double exact_seconds)
{
    if (!have_fast || !(fast_seconds(g, n) < 0.5 * exact_seconds))
        return "";
    return "; --method fast computes the same sum in O(N) memory and should take about " +
           human_seconds(fast_seconds(g, n));
}

// True when progress lines are due.
bool announce_exact(const settings &s, const ht::grid &g, int n)
{
    const int N = g.num_samp_desired;
    const double secs = ht::direct_sum_seconds(N, n);
    const double bytes = ht::direct_sum_table_bytes(N);
    const bool long_run = secs > s.warn_after;
    if (long_run || bytes > large_table_bytes)
        std::fprintf(stderr,
            "%s: the exact method needs an N x N table of %s (N = %d) and should take "
            "about %s%s\n",
            prog, human_bytes(bytes).c_str(), N, human_seconds(secs).c_str(),
            fast_advice(g, n, secs).c_str());
    return long_run;
}

#ifdef HANKEL_TRANSF_HAVE_FAST
bool announce_fast(const settings &s, const ht::grid &g, int n)
{
    const int N = g.num_samp_desired;
    const ht::fast::call_estimate e = ht::fast::estimate(g, n);
    if (!(e.seconds > s.warn_after))
        return false;
    const bool fft = e.moments == ht::fast::moment_route::fft;
    // Many distances go through a non-uniform FFT, set up before the first one.
    const std::string setup =
        e.nufft ? " (and " + human_seconds(e.setup_seconds) + " to set up the FFT over the distances)"
                : std::string();
    std::fprintf(stderr,
        "%s: the fast method should take about %s (N = %d, %s of work space): about %s "
        "for the kernel moments before the first result (%s)%s, then about %s per distance\n",
        prog, human_seconds(e.seconds).c_str(), N, human_bytes(e.work_bytes).c_str(),
        human_seconds(e.moment_seconds).c_str(),
        fft ? "progress shown per term of the kernel's exponential sum" : "no progress shown",
        setup.c_str(), human_seconds(e.per_distance_seconds).c_str());
    return true;
}
#endif

// Both sums allocate before computing anything and answer a failure with
// NaN everywhere, so nothing has been printed then.
[[noreturn]] void allocation_failed(const settings &s, const ht::grid &g, int n)
{
    const int N = g.num_samp_desired;
    if (s.how == method::exact)
        fail("could not allocate the N x N table of " +
             human_bytes(ht::direct_sum_table_bytes(N)) + " (N = " + std::to_string(N) + ")" +
             fast_advice(g, n, ht::direct_sum_seconds(N, n)));
#ifdef HANKEL_TRANSF_HAVE_FAST
    // The fast sum also answers NaN for a grid whose drift from even
    // spacing is too large to expand (N beyond about 7e7).
    fail("could not allocate the fast method's work space of about " +
         human_bytes(ht::fast::estimate(g, n).work_bytes) + " (N = " + std::to_string(N) + ")" +
         (N > 50000000 ? ", or the grid is too large for it" : ""));
#else
    fail("could not allocate work space");
#endif
}

void compute(const settings &s, const ht::grid &g, const distances &d, double *ht_vec,
             printer *out)
{
    const int n = static_cast<int>(d.size());
    ht::progress_hook hook;
    hook.fn = on_progress;
    hook.ctx = out;
    if (s.how == method::exact) {
        out->show_progress = announce_exact(s, g, n);
        // A table that cannot be had is reported, not aborted on by GSL.
        gsl_set_error_handler_off();
        ht::direct_sum(ht_vec, d.values(), n, hook);
        return;
    }
#ifdef HANKEL_TRANSF_HAVE_FAST
    out->show_progress = announce_fast(s, g, n);
    ht::fast::options opt;
    opt.progress = hook;
    ht::fast::sum(ht_vec, d.values(), n, opt);
#else
    fail("this build has no fast method");
#endif
}

} // namespace

int run(const settings &s, const distances &d)
{
    const ht::grid g = plan(d);
    if (s.show_grid)
        std::fprintf(stderr, "N = %d\nspacing = %.17g\nextent = [%.17g, %.17g]\n",
                     g.num_samp_desired, g.incr_desired, g.min_x, g.max_x);

    std::vector<double> ht_vec(d.size());
    printer out{&d, ht_vec.data(), g.incr_desired, s.scaled, false};
    compute(s, g, d, ht_vec.data(), &out);
    if (out.printed == 0 && std::isnan(ht_vec[0]))
        allocation_failed(s, g, static_cast<int>(d.size()));
    out.print_upto(d.size());
    flush_stdout();
    return 0;
}

} // namespace cli
