// The fast method's per-distance stage at many distances: today's direct
// route (one complex dot product over the 2N - 1 anti-diagonals per
// distance) against the non-uniform FFT, side by side in one process, and
// both against the direct sum DFTYieldExpon.
//
//   W4: 10^6 distances log-uniform in [1, 1000] (N = 4502, seeded):
//       fast/W4/direct      today's route, forced (about 10 s, measured once)
//       fast/W4/nufft       the non-uniform FFT, forced
//       fast/W4/automatic   what the library picks
//     DFTYieldExpon is not run on 10^6 distances (about two days): its time
//     per distance on the same grid is measured on calls of 2 and 4
//     distances and extrapolated, labelled so.
//
//   --calibrate, --calibrate-baseline   instead: the cost model's constants
//     (fast_cost.h) per N, for the loops this CPU runs or the baseline build.
//
//   --sweep=FILE  instead: time against the number of distances n = 10^2 ..
//     10^7 (log-uniform in [1, 1000], so N = 4502 throughout), written as
//     CSV (sweep,x,N,route,seconds,how): the non-uniform FFT and the
//     automatic choice measured at every n; today's route measured up to
//     10^5 and extrapolated above from its moment pass and per-distance time;
//     DFTYieldExpon extrapolated from its table and per-distance time.
//     bench/plot_scaling.py draws the README figure from such files.
//
// Times are CPU seconds of the calling thread (every route is
// single-threaded), best of the repetitions.
#include "bench_util.h"
#include "hankel_transf.h"

#include "fast_loops.h"
#include "fast_sum.h"
#include "grid.h"
#include "nufft.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

using bench::thread_seconds;

// n distances log-uniform in [1, hi], both ends present, shuffled (seeded).
std::vector<double> log_uniform(long long n, double hi, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> d(static_cast<std::size_t>(n));
    for (double &v : d)
        v = std::exp(u(rng) * std::log(hi));
    d[0] = 1.0;
    if (n > 1)
        d[1] = hi;
    std::shuffle(d.begin(), d.end(), rng);
    return d;
}

double time_fast(const std::vector<double> &d, ht::fast::distance_route r, std::vector<double> *out)
{
    out->resize(d.size());
    ht::fast::options opt;
    opt.distances = r;
    const double t0 = thread_seconds();
    ht::fast::sum(out->data(), d.data(), static_cast<int>(d.size()), opt);
    return thread_seconds() - t0;
}

double time_exact(std::vector<double> d)
{
    std::vector<double> out(d.size());
    int n = static_cast<int>(d.size());
    const double t0 = thread_seconds();
    DFTYieldExpon(out.data(), d.data(), &n);
    return thread_seconds() - t0;
}

// DFTYieldExpon on [1, hi]: table time and time per distance, from calls of
// 2 and 4 distances on the same grid.
struct exact_model {
    double table, per_distance;
    double at(double n) const { return table + n * per_distance; }
};

exact_model measure_exact(double hi)
{
    const double t2 = time_exact({1.0, hi});
    const double t4 = time_exact({1.0, hi, std::sqrt(hi), 2.0});
    exact_model m;
    m.per_distance = (t4 - t2) / 2;
    m.table = t2 - 2 * m.per_distance;
    return m;
}

// ---------------------------------------------------------------------------
// W4

const std::vector<double> &w4_distances()
{
    static const std::vector<double> d = log_uniform(1000000, 1e3, 4);
    return d;
}

double w4_best[3] = {0, 0, 0};   // direct, nufft, automatic
exact_model w4_exact{0, 0};
std::vector<double> w4_out[3];

void w4(benchmark::State &state, ht::fast::distance_route r, int slot)
{
    double best = 0;
    for (auto _ : state) {
        const double t = time_fast(w4_distances(), r, &w4_out[slot]);
        state.SetIterationTime(t);
        best = best == 0 ? t : std::min(best, t);
    }
    w4_best[slot] = best;
    state.counters["distances"] = static_cast<double>(w4_distances().size());
    state.counters["ns_per_distance"] = 1e9 * best / static_cast<double>(w4_distances().size());
    if (w4_best[0] > 0 && slot > 0)
        state.counters["x_direct_route"] = w4_best[0] / best;
    if (w4_exact.per_distance > 0)
        state.counters["x_DFTYieldExpon"] =
            w4_exact.at(static_cast<double>(w4_distances().size())) / best;
}

void w4_summary()
{
    const double n = static_cast<double>(w4_distances().size());
    double worst = 0, scale = 0;
    for (std::size_t i = 0; i < w4_out[0].size() && !w4_out[1].empty(); ++i) {
        worst = std::max(worst, std::fabs(w4_out[1][i] - w4_out[0][i]));
        scale = std::max(scale, std::fabs(w4_out[0][i]));
    }
    std::printf("\nW4: 10^6 distances in [1, 1000], N = 4502 (best CPU seconds per call)\n"
                "  DFTYieldExpon       %10.0f s  (extrapolated: %.3f s per distance, %.2f s table)\n"
                "  direct route        %10.3f s  (%.2f us per distance)\n"
                "  non-uniform FFT     %10.3f s  (%.0f ns per distance)  %.1fx the direct "
                "route, %.3gx DFTYieldExpon\n"
                "  automatic           %10.3f s\n"
                "  max |nufft - direct| = %.2g (max |ht| %.3g)\n",
                w4_exact.at(n), w4_exact.per_distance, w4_exact.table, w4_best[0],
                1e6 * w4_best[0] / n, w4_best[1], 1e9 * w4_best[1] / n,
                w4_best[0] / w4_best[1], w4_exact.at(n) / w4_best[1], w4_best[2], worst, scale);
}

// ---------------------------------------------------------------------------
// The sweep against n.

int sweep(const char *path)
{
    std::FILE *f = std::fopen(path, "w");
    if (f == nullptr) {
        std::perror(path);
        return 1;
    }
    std::fprintf(f, "sweep,x,N,route,seconds,how\n");
    const double hi = 1e3;
    const exact_model ex = measure_exact(hi);
    // Today's route: moment pass and per-distance time from two measured n.
    std::vector<double> out;
    const double d_small = time_fast(log_uniform(100, hi, 1), ht::fast::distance_route::direct, &out);
    const double d_large = time_fast(log_uniform(20000, hi, 2), ht::fast::distance_route::direct, &out);
    const double per = (d_large - d_small) / (20000 - 100);
    const double moments = d_small - 100 * per;
    for (long long n = 100; n <= 10000000; n *= 10) {
        const std::vector<double> d = log_uniform(n, hi, static_cast<unsigned>(n));
        const int reps = n <= 100000 ? 3 : 1;
        double t_nufft = 1e300, t_auto = 1e300, t_direct = 1e300;
        for (int r = 0; r < reps; ++r) {
            t_nufft = std::min(t_nufft, time_fast(d, ht::fast::distance_route::nufft, &out));
            t_auto = std::min(t_auto, time_fast(d, ht::fast::distance_route::automatic, &out));
            if (n <= 100000)
                t_direct = std::min(t_direct, time_fast(d, ht::fast::distance_route::direct, &out));
        }
        const double x = static_cast<double>(n);
        std::fprintf(f, "n,%lld,4502,DFTYieldExpon,%.6g,extrapolated\n", n, ex.at(x));
        if (n <= 100000)
            std::fprintf(f, "n,%lld,4502,direct,%.6g,measured\n", n, t_direct);
        else
            std::fprintf(f, "n,%lld,4502,direct,%.6g,extrapolated\n", n, moments + x * per);
        std::fprintf(f, "n,%lld,4502,nufft,%.6g,measured\n", n, t_nufft);
        std::fprintf(f, "n,%lld,4502,automatic,%.6g,measured\n", n, t_auto);
        std::fflush(f);
        std::printf("n = %8lld: DFTYieldExpon %.3g s (extrapolated), direct route %.3g s%s, "
                    "nufft %.3g s, automatic %.3g s\n",
                    n, ex.at(x), n <= 100000 ? t_direct : moments + x * per,
                    n <= 100000 ? "" : " (extrapolated)", t_nufft, t_auto);
    }
    std::fclose(f);
    return 0;
}

// The constants of the cost model (fast_cost.h): the per-distance stage alone,
// on the moments of the grid for [1, hi]: the direct route's time per
// distance, and the transform's set-up and time per distance from two n.
int calibrate(bool baseline)
{
    using namespace ht::fast;
    const bool avx2 = !baseline && avx2_fma_available();
    std::printf("%s loops\nN,direct_per_distance_s,nufft_setup_s,nufft_per_distance_s\n",
                avx2 ? "AVX2+FMA" : "baseline");
    for (double hi : {30.0, 100.0, 300.0, 1000.0, 3000.0, 10000.0, 30000.0}) {
        const double ends[2] = {1.0, hi};
        ht::grid g;
        ht::plan_grid(ends, 2, &g);
        layout L = layout_for(static_cast<std::size_t>(g.num_samp_desired));
        std::vector<double> grid_space(L.grid_doubles);
        work w;
        carve_grid(grid_space.data(), L, w);
        ht::fill_grid(g, w.x);
        const int P = drift_order(drift(L, w, g.incr_desired, g.max_s));
        plan_moments(L, P, moment_route::direct);
        std::vector<double> moment_space(L.moment_doubles);
        carve_moments(moment_space.data(), L, w);
        moments(L, w, avx2, std::malloc);
        moment_set ms;
        ms.mom = w.mom;
        ms.P = P;
        ms.M = L.M;
        ms.x0 = w.ln.x0;
        ms.h = w.ln.h;
        ms.sigma = w.sigma;
        const std::vector<double> d = log_uniform(400000, hi, 9);
        std::vector<double> s(d.size()), out(d.size());
        for (std::size_t i = 0; i < d.size(); ++i)
            s[i] = d[i] / ht::sqrt2;
        const int nd = static_cast<int>(std::min(2000.0, 2e8 / L.N));
        double t_direct = 1e300;
        for (int r = 0; r < 3; ++r) {
            const double t0 = thread_seconds();
            for (int i = 0; i < nd; ++i)
                out[static_cast<std::size_t>(i)] = at_distance(L, w, s[static_cast<std::size_t>(i)],
                                                               avx2);
            t_direct = std::min(t_direct, thread_seconds() - t0);
        }
        auto nufft_time = [&](int n) {
            double t = 1e300;
            for (int r = 0; r < 3; ++r) {
                const double t0 = thread_seconds();
                nufft_distances(ms, s.data(), n, out.data(), std::malloc, avx2, {});
                t = std::min(t, thread_seconds() - t0);
            }
            return t;
        };
        const int n1 = 1000, n2 = 400000;
        const double u1 = nufft_time(n1), u2 = nufft_time(n2);
        const double per = (u2 - u1) / (n2 - n1);
        std::printf("%zu,%.4g,%.4g,%.4g\n", L.N, t_direct / nd, u1 - n1 * per, per);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--sweep=", 8) == 0)
            return sweep(argv[i] + 8);
        if (std::strcmp(argv[i], "--calibrate") == 0)
            return calibrate(false);
        if (std::strcmp(argv[i], "--calibrate-baseline") == 0)
            return calibrate(true);
    }

    w4_exact = measure_exact(1e3);
    benchmark::Initialize(&argc, argv);
    const struct {
        const char *name;
        ht::fast::distance_route r;
        int iterations;
    } runs[] = {{"fast/W4/direct", ht::fast::distance_route::direct, 1},
                {"fast/W4/nufft", ht::fast::distance_route::nufft, 5},
                {"fast/W4/automatic", ht::fast::distance_route::automatic, 5}};
    for (int k = 0; k < 3; ++k) {
        const auto r = runs[k].r;
        benchmark::RegisterBenchmark(runs[k].name,
                                     [r, k](benchmark::State &s) { w4(s, r, k); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(runs[k].iterations)
            ->UseManualTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    w4_summary();
    return 0;
}
