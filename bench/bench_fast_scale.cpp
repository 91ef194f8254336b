// The fast method at large grids: its moment routes against today's direct
// moment pass, side by side in one process, on 200 distances drawn
// log-uniform (seeded) with both ends present:
//   W5  [1, 1e5]   N = 450 003     new route measured; today's route
//                                  extrapolated from W3 (minutes), or measured
//                                  with --w5_today
//   W6  [1, 1e6]   N = 4 500 002   new route measured; today's extrapolated (hours)
//   sweep          ratio 10 .. 1e6 the direct sum (DFTYieldExpon), today's route
//                                  and the new one; runs longer than about a
//                                  minute are extrapolated from the largest
//                                  measured grid of the same method by its
//                                  cost law (n N^2, N^2), and say so
// W5 and W6 also run in a fresh child forked before anything else, for their
// peak resident set; then, where no reference sum is affordable, their
// moments are checked on sampled anti-diagonals (tests/fast/antidiagonal_check.h).
//
//   bench_fast_scale [--csv=FILE] [--no_accuracy] [--w5_today] [benchmark flags]
//
// --csv writes one line per (sweep point, route) for bench/plot_scaling.py
// (docs/scaling_ratio.csv).
#include "bench_util.h"
#include "hankel_transf.h"

#include "antidiagonal_check.h"
#include "fast_cost.h"
#include "fast_loops.h"
#include "fast_sum.h"
#include "grid.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// n distances log-uniform in [1, ratio], both ends present, seeded.
std::vector<double> log_uniform(double ratio, int n)
{
    std::mt19937_64 rng(20240601);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> d{1.0, ratio};
    while (static_cast<int>(d.size()) < n)
        d.push_back(std::exp(u(rng) * std::log(ratio)));
    std::shuffle(d.begin(), d.end(), rng);
    return d;
}

int points(const std::vector<double> &d)
{
    ht::grid g;
    return ht::plan_grid(d.data(), static_cast<int>(d.size()), &g) == ht::plan_status::ok
               ? g.num_samp_desired : -1;
}

using bench::thread_seconds;

enum class method { exact, today, fast };
const char *name(method m)
{
    return m == method::exact ? "DFTYieldExpon" : m == method::today ? "direct-moments" : "automatic";
}

// One call, thread CPU seconds; NaN if the call answered NaN.
double timed_call(method m, const std::vector<double> &d)
{
    std::vector<double> in = d, out(d.size());
    int n = static_cast<int>(d.size());
    const double t0 = thread_seconds();
    if (m == method::exact) {
        DFTYieldExpon(out.data(), in.data(), &n);
    } else {
        ht::fast::options opt;
        opt.moments = m == method::today ? ht::fast::moment_route::direct
                                       : ht::fast::moment_route::automatic;
        ht::fast::sum(out.data(), in.data(), n, opt);
    }
    const double t1 = thread_seconds();
    benchmark::DoNotOptimize(out.data());
    return std::isnan(out[0]) ? std::nan("") : t1 - t0;
}

// ---------------------------------------------------------------------------
// Peak memory in a fresh child.

// W5 and W6 once each in a fresh child.
bench::child_report in_child(double ratio)
{
    return bench::in_child([ratio] { return timed_call(method::fast, log_uniform(ratio, 200)); });
}

// ---------------------------------------------------------------------------
// Sampled accuracy of the stages on a grid, as the call computes them.

void sampled_accuracy(const char *label, double ratio)
{
    const std::vector<double> d = log_uniform(ratio, 200);
    ht::grid g;
    ht::plan_grid(d.data(), static_cast<int>(d.size()), &g);
    ht::fast::layout L = ht::fast::layout_for(static_cast<std::size_t>(g.num_samp_desired));
    std::vector<double> grid_space(L.grid_doubles);
    ht::fast::work w;
    ht::fast::carve_grid(grid_space.data(), L, w);
    ht::fill_grid(g, w.x);
    const double delta_max = ht::fast::drift(L, w, g.incr_desired, g.max_s);
    const int P = ht::fast::drift_order(delta_max);
    ht::fast::plan_moments(L, P, ht::fast::cheaper_route(L.N, P, ht::fast::kernel_range(L, w)));
    std::vector<double> moment_space(L.moment_doubles);
    ht::fast::carve_moments(moment_space.data(), L, w);
    if (!ht::fast::moments(L, w, ht::fast::avx2_fma_available(), std::malloc)) {
        std::printf("  %s: moments failed\n", label);
        return;
    }
    const int count = 64;
    const ht_test::sampled_errors e = ht_test::check_sampled(L, w, count, 7, g.max_s);
    std::printf("  %s (N = %zu, %s route, order %d, delta_max %.3g), %d sampled anti-diagonals:\n",
                label, L.N, L.route == ht::fast::moment_route::fft ? "FFT" : "direct", P,
                delta_max, count);
    for (int p = 0; p <= P; ++p)
        std::printf("    mom_%d: estimated sum_m |error| = %.3g S (2 max|eps|)^%d\n", p,
                    e.moments[static_cast<std::size_t>(p)], p);
    std::printf("    expansion at the largest distance: %.3g S (one order less: %.3g S)\n",
                e.expansion, e.expansion_short);
    std::printf("    at_distance on the sampled anti-diagonals: %.3g S\n", e.end_to_end);
}

// ---------------------------------------------------------------------------
// The benchmarks.

std::map<std::string, double> best;   // "method/workload" -> best CPU seconds

void record(const std::string &key, double seconds)
{
    auto it = best.find(key);
    if (!std::isnan(seconds) && (it == best.end() || seconds < it->second))
        best[key] = seconds;
}

void run(benchmark::State &state, method m, double ratio, const std::string &key)
{
    const std::vector<double> d = log_uniform(ratio, 200);
    for (auto _ : state) {
        const double s = timed_call(m, d);
        if (std::isnan(s)) {
            state.SkipWithError("NaN result");
            break;
        }
        record(key, s);
    }
    state.counters["N"] = points(d);
}

// Costs of a method that grow as a known law in N, used to extrapolate runs
// too long to measure: the direct sum n N^2 (n fixed here), today's route
// N^2 (its moment pass; the per-distance part is below 1 % from N = 45003).
double extrapolate(double seconds, int N_measured, int N)
{
    const double r = static_cast<double>(N) / static_cast<double>(N_measured);
    return seconds * r * r;
}

const double sweep_ratios[] = {10, 31.6, 100, 316, 1e3, 3.16e3, 1e4, 3.16e4, 1e5, 3.16e5, 1e6};

// Longest ratio each method is measured at (beyond: extrapolated).
double measured_up_to(method m)
{
    return m == method::exact ? 316 : m == method::today ? 1e4 : 1e6;
}

std::string key_of(method m, double ratio)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s/%g", name(m), ratio);
    return buf;
}

} // namespace

int main(int argc, char **argv)
{
    std::string csv;
    bool accuracy = true, w5_today = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--csv=", 6) == 0)
            csv = argv[i] + 6;
        else if (std::strcmp(argv[i], "--no_accuracy") == 0)
            accuracy = false;
        else if (std::strcmp(argv[i], "--w5_today") == 0)
            w5_today = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;

    // Before anything else, while this process is small.
    const bench::child_report w6 = in_child(1e6);
    const bench::child_report w5 = in_child(1e5);

    benchmark::Initialize(&argc, argv);
    const auto add = [](const std::string &label, method m, double ratio, int iterations) {
        auto *b = benchmark::RegisterBenchmark(label.c_str(), [m, ratio, label](benchmark::State &s) {
            run(s, m, ratio, label);
        });
        b->Unit(benchmark::kMillisecond)->Iterations(iterations);
    };
    for (const double r : sweep_ratios)
        for (method m : {method::exact, method::today, method::fast})
            if (r <= measured_up_to(m))
                add(key_of(m, r), m, r, r * 100 <= measured_up_to(m) ? 3 : 1);
    if (w5_today)
        add(key_of(method::today, 1e5), method::today, 1e5, 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // The sweep, measured or extrapolated, and the CSV for the figure.
    std::FILE *out = csv.empty() ? nullptr : std::fopen(csv.c_str(), "w");
    if (out != nullptr)
        std::fprintf(out, "sweep,x,N,route,seconds,how\n");
    std::printf("\ntime against the ratio (200 distances, best CPU seconds of a call)\n");
    std::printf("  %-9s %9s  %-22s %-22s %-22s\n", "ratio", "N", name(method::exact),
                name(method::today), name(method::fast));
    for (const double r : sweep_ratios) {
        const int N = points(log_uniform(r, 200));
        std::printf("  %-9g %9d", r, N);
        for (method m : {method::exact, method::today, method::fast}) {
            double seconds = -1;
            bool measured = true;
            const auto it = best.find(key_of(m, r));
            if (it != best.end()) {
                seconds = it->second;
            } else {
                // From the largest measured ratio of this method.
                double base_ratio = 0;
                for (const double q : sweep_ratios)
                    if (best.count(key_of(m, q)) != 0 && q > base_ratio)
                        base_ratio = q;
                if (base_ratio > 0) {
                    seconds = extrapolate(best[key_of(m, base_ratio)],
                                          points(log_uniform(base_ratio, 200)), N);
                    measured = false;
                }
            }
            char cell[64];
            std::snprintf(cell, sizeof cell, "%.4g s%s", seconds, measured ? "" : " (extrap.)");
            std::printf(" %-22s", seconds < 0 ? "-" : cell);
            if (out != nullptr && seconds >= 0)
                std::fprintf(out, "ratio,%g,%d,%s,%.6g,%s\n", r, N, name(m), seconds,
                             measured ? "measured" : "extrapolated");
        }
        std::printf("\n");
    }
    if (out != nullptr)
        std::fclose(out);

    const double w5_fast = best.count(key_of(method::fast, 1e5)) ? best[key_of(method::fast, 1e5)] : -1;
    const double w6_fast = best.count(key_of(method::fast, 1e6)) ? best[key_of(method::fast, 1e6)] : -1;
    std::printf("\nW5 (N = %d): new %.3f s; in a fresh child %.3f s, peak RSS %.1f MB (%.1f MB before the call)\n",
                points(log_uniform(1e5, 200)), w5_fast, w5.seconds, w5.maxrss_kb / 1024.0,
                w5.hwm_before_kb / 1024.0);
    std::printf("W6 (N = %d): new %.3f s; in a fresh child %.3f s, peak RSS %.1f MB (%.1f MB before the call)\n",
                points(log_uniform(1e6, 200)), w6_fast, w6.seconds, w6.maxrss_kb / 1024.0,
                w6.hwm_before_kb / 1024.0);

    if (accuracy) {
        std::printf("\naccuracy where no reference sum is affordable (tests/fast/antidiagonal_check.h)\n");
        sampled_accuracy("W5", 1e5);
        sampled_accuracy("W6", 1e6);
    }
    return 0;
}
