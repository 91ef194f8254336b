// Internal: what a call of the fast method (ht::fast::sum,
// DFTYieldExponFast) costs, for the route choice inside the call and for
// callers that warn before a long run (the command-line tool). Each route of
// the fast method keeps its model here.
//
// The moment pass: one pass over the N (N + 1) / 2 kernel values of one
// triangle builds the anti-diagonal moments (no progress is reported during
// it). Then the distances, by one of two routes:
//   direct: each distance costs ~2N complex multiply-adds and 2N/32 + 32
//     exactly reduced sincos;
//   non-uniform FFT (nufft.h): a set-up (the deconvolution factors and one
//     FFT per moment vector, of K ~ 8N points), then a fixed cost per
//     distance.
// Constants measured with the Release build (g++ 12, glibc 2.36) on an Intel
// Xeon (Sapphire Rapids, KVM guest):
//   moment pass, by ht::fast::sum on {1, r} and on n = 2002 and 20002
//     distances, r = 3000 (N = 13503), 10000 (N = 45003) and 30000
//     (N = 135003): 2.4 ns per kernel value, the same on both paths there; on
//     an AMD EPYC (docs/fast-method.md) 1.9 ns with AVX2+FMA and about twice
//     that on the baseline path, so the baseline figure below is the EPYC's;
//   direct route, per distance: 2.3-2.4 ns * N with AVX2+FMA, 3.0-3.3 ns * N
//     baseline, split as 2N multiply-adds and (2N/32 + 32) phase rotations
//     of ~15 ns (sincos alone: 9 ns); bench_nufft --calibrate agrees
//     (2.2-2.4 and 2.9-3.2 ns * N for N = 137 .. 135002);
//   transform, by bench_nufft --calibrate and --calibrate-baseline on the
//     moments of the grids for [1, r], r = 30 .. 30000 (N = 137 .. 135002):
//     set-up 0.5 ms + 0.45 us * N while the fine grids fit the 2 MB L2 cache
//     (N <= 4502), 0.85 us * N beyond; per distance 55 ns (AVX2+FMA), 115 ns
//     (baseline) while they fit, then ~12 ns more per doubling of their size
//     (82 ns at N = 45003, 113 ns at N = 135002).
// Good to about 30 % on those machines.
#ifndef HANKEL_TRANSF_FAST_COST_H
#define HANKEL_TRANSF_FAST_COST_H

#include "fast_loops.h"
#include "nufft.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace ht {
namespace fast {

struct cost_model {
    double per_kernel_value;   // moment pass, seconds per kernel value
    double per_multiply_add;   // direct route: per distance and anti-diagonal
    double per_rotation;       // direct route: one exactly reduced sincos
    double per_target;         // transform: per distance, fine grids in L2
};

constexpr cost_model avx2_fma_cost{2.5e-9, 0.75e-9, 15e-9, 55e-9};
constexpr cost_model baseline_cost{3.8e-9, 1.2e-9, 15e-9, 115e-9};

// Drift order of the moments (A, B, C).
constexpr int moment_order = 2;

// The model of the loops this CPU runs (options::path = automatic).
inline const cost_model &current_cost()
{
    return avx2_fma_available() ? avx2_fma_cost : baseline_cost;
}

// The once-per-call moment pass, before the first distance is computed.
inline double moment_seconds(long long N, const cost_model &c = current_cost())
{
    const double values = 0.5 * static_cast<double>(N) * (static_cast<double>(N) + 1.0);
    return values * c.per_kernel_value;
}

// One distance after the moment pass, by the direct route; a drift order P
// weighs (P + 1)/3 of today's multiply-adds.
inline double seconds_per_distance(long long N, const cost_model &c = current_cost(),
                                   int P = moment_order)
{
    const double diagonals = 2.0 * static_cast<double>(N);
    return diagonals * c.per_multiply_add * (P + 1) / 3.0 +
           (diagonals / 32.0 + 32.0) * c.per_rotation;
}

// The transform's fine grids (P + 1 of them) over the 2 MB L2 cache.
inline double nufft_spill(long long N, int P)
{
    const nufft_shape sh = nufft_shape_for(static_cast<std::size_t>(2 * N - 1), P + 1);
    return 16.0 * (P + 1) * static_cast<double>(sh.K + sh.lanes) / (2 << 20);
}

// The transform's set-up, before its first distance.
inline double nufft_setup_seconds(long long N, int P = moment_order)
{
    const double per_point = (0.15e-6 + 0.1e-6 * (P + 1)) * (nufft_spill(N, P) > 1 ? 1.9 : 1.0);
    return 0.5e-3 + static_cast<double>(N) * per_point;
}

// One distance by the transform, after its set-up.
inline double nufft_seconds_per_distance(long long N, const cost_model &c = current_cost(),
                                         int P = moment_order)
{
    return c.per_target * (1.0 + 0.1 * (P + 1 - 3)) +
           12e-9 * std::log2(std::max(1.0, nufft_spill(N, P)));
}

// True when the transform is expected to evaluate n distances faster than
// the direct route: the route ht::fast::sum takes.
inline bool nufft_pays(long long N, long long n, const cost_model &c = current_cost(),
                       int P = moment_order)
{
    const double x = static_cast<double>(n);
    return nufft_setup_seconds(N, P) + x * nufft_seconds_per_distance(N, c, P) <
           x * seconds_per_distance(N, c, P);
}

// Before the first result: the moment pass, and the transform's set-up when
// it is taken.
inline double first_result_seconds(long long N, long long n, const cost_model &c = current_cost())
{
    return moment_seconds(N, c) + (nufft_pays(N, n, c) ? nufft_setup_seconds(N) : 0.0);
}

// Each distance after the first result, on the route taken.
inline double distance_seconds(long long N, long long n, const cost_model &c = current_cost())
{
    return nufft_pays(N, n, c) ? nufft_seconds_per_distance(N, c) : seconds_per_distance(N, c);
}

// Expected run time of sum() with n distances on an N-point grid.
inline double expected_seconds(long long N, long long n, const cost_model &c = current_cost())
{
    return first_result_seconds(N, n, c) + static_cast<double>(n) * distance_seconds(N, n, c);
}

// Work space of one call: about 11 N + n doubles, and the transform's
// (nufft_doubles, about 60 N for P = 2) when it is taken.
inline double work_bytes(long long N, long long n)
{
    double doubles = 11.0 * static_cast<double>(N) + static_cast<double>(n);
    if (nufft_pays(N, n)) {
        const nufft_shape sh =
            nufft_shape_for(static_cast<std::size_t>(2 * N - 1), moment_order + 1);
        doubles += static_cast<double>(nufft_doubles(sh, moment_order + 1));
    }
    return 8.0 * doubles;
}

} // namespace fast
} // namespace ht

#endif
