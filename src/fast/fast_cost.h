// Internal: what a call of the fast method (ht::fast::sum,
// DFTYieldExponFast) costs. One model serves the route choices inside the
// call (the moments: cheaper_route; the distances: nufft_pays) and callers
// that warn before a long run (the command-line tool, through estimate()).
//
// A call builds the grid and its drift (O(N)), computes the anti-diagonal
// moments of orders 0..P once on one of two routes, then evaluates the
// distances on one of two routes:
//   direct moments: N (N + 1) / 2 kernel values, each adding P drift terms
//     (no progress is reported during it);
//   FFT moments: per term of the kernel's exponential sum (expsum.h), N
//     Gaussian factors and P + 1 real FFTs of length L with their
//     frequency-domain products; then P + 1 inverse FFTs and the plans
//     (progress per term);
//   direct distances: each costs 2N anti-diagonals of P + 1 multiply-adds
//     and 2N/32 + 32 exactly reduced sincos;
//   non-uniform FFT (nufft.h): a set-up (the deconvolution factors and one
//     FFT per moment vector, of K ~ 8N points), then a fixed cost per
//     distance.
// Constants measured with the Release build (g++ 12, glibc 2.36, FFTW
// 3.3.10) on an Intel Xeon (Sapphire Rapids, KVM guest):
//   direct moments, on the grids of {1, r}, r = 1e3 and 3e3, P = 0..3: 2.39 ns
//     per kernel value + 0.33 ns per value and order (AVX2+FMA); on an AMD
//     EPYC (docs/fast-method.md) 1.9 ns with AVX2+FMA and about twice that
//     on the baseline path, so the baseline figures below are the EPYC's;
//   FFT moments, on the grids of {1, r}, r = 1e3 .. 1e6: one real FFT of
//     length L 2e-10 s * L log2 L up to L = 2^17 (in cache), growing as
//     (L / 2^17)^0.32 beyond (7.4e-10 at L = 9e6); per term and order
//     (0.6 + 0.35 P) ns per point of L for the products and padding, growing
//     as (L / 2^17)^0.4 once out of cache; per term 7 ns + 1 ns per order
//     per Gaussian factor. The same on both builds of the loops (none of it
//     is in them);
//   direct distances, same grids, P = 0..3: 0.52 ns + 0.06 ns per order per
//     anti-diagonal while the moments stay in cache, and 15 ns per rotation
//     (sincos alone: 9 ns); once the P + 1 moment arrays (16 (P + 1) N
//     bytes) outgrow the caches, the pass is bound by memory at 0.73 ns per
//     anti-diagonal and order (11 GB/s), reached at about 32 MB: 1.6 ns per
//     anti-diagonal at N = 450003 (order 2), 2.9 ns at N = 4.5e6 (order 3),
//     rotations included;
//   transform, by bench_nufft --calibrate and --calibrate-baseline on the
//     moments of the grids for [1, r], r = 30 .. 30000 (N = 137 .. 135002):
//     set-up 0.5 ms + 0.45 us * N while the fine grids fit the 2 MB L2 cache
//     (N <= 4502), 0.85 us * N beyond; per distance 55 ns (AVX2+FMA), 115 ns
//     (baseline) while they fit, then ~12 ns more per doubling of their size
//     (82 ns at N = 45003, 113 ns at N = 135002).
// Good to about 30 % on those machines.
#ifndef HANKEL_TRANSF_FAST_COST_H
#define HANKEL_TRANSF_FAST_COST_H

#include "expsum.h"
#include "fast_loops.h"
#include "fast_sum.h"
#include "grid.h"
#include "moments_fft.h"
#include "nufft.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace ht {
namespace fast {

struct cost_model {
    double per_kernel_value;         // direct moments, per kernel value of one triangle
    double per_order_value;          // the same, per kernel value and drift order
    double per_antidiagonal;         // direct distances, per distance and anti-diagonal
    double per_order_antidiagonal;   // the same, per drift order
    double per_rotation;             // direct distances: one exactly reduced sincos
    double per_target;               // transform: per distance, fine grids in L2
};

constexpr cost_model avx2_fma_cost{2.4e-9, 0.33e-9, 0.52e-9, 0.06e-9, 15e-9, 55e-9};
constexpr cost_model baseline_cost{3.8e-9, 0.5e-9, 0.9e-9, 0.1e-9, 15e-9, 115e-9};

// The model of the loops this CPU runs (options::path = automatic).
inline const cost_model &current_cost()
{
    return avx2_fma_available() ? avx2_fma_cost : baseline_cost;
}

// The drift order a grid of N points typically needs (drift.h; measured on
// the grids of {1, r}: the drift depends on where the binades fall, so a
// given grid may need one order more or less). The call computes its own.
inline int typical_drift_order(long long N)
{
    return N < 20000 ? 1 : N < 600000 ? 2 : N < 6000000 ? 3 : N < 20000000 ? 5 : 7;
}

// ---------------------------------------------------------------------------
// The moments.

inline double direct_moment_seconds(long long N, int P, const cost_model &c = current_cost())
{
    const double values = 0.5 * static_cast<double>(N) * (static_cast<double>(N) + 1.0);
    return values * (c.per_kernel_value + P * c.per_order_value);
}

// Out-of-cache slowdown of an array pass of L points (1 up to 2^17).
inline double out_of_cache(double L, double power)
{
    return std::pow(std::max(1.0, L / 131072.0), power);
}

// One real FFT of length L.
inline double fft_seconds(double L)
{
    return 2e-10 * L * std::log2(L) * out_of_cache(L, 0.32);
}

// The FFT moment pass for a kernel range 1 <= b <= b_max.
inline double fft_moment_seconds(long long N, int P, double b_max)
{
    const double T = static_cast<double>(expsum_size(b_max));
    const double L = static_cast<double>(fft_length(static_cast<std::size_t>(N)));
    const double orders = P + 1.0;
    const double per_order = fft_seconds(L) + (0.6e-9 + 0.35e-9 * P) * L * out_of_cache(L, 0.4);
    const double per_term = static_cast<double>(N) * (7e-9 + 1e-9 * P) + orders * per_order;
    return T * per_term + orders * fft_seconds(L) + 2.0 * fft_seconds(L) + 2e-4;
}

// The moment route the call takes (options::moments = automatic): the FFT
// route only when it is at least twice as cheap, because the direct route
// is the more accurate (rounding only).
inline moment_route cheaper_route(long long N, int P, double b_max,
                                  const cost_model &c = current_cost())
{
    if (expsum_size(b_max) == 0)
        return moment_route::direct;
    return 2.0 * fft_moment_seconds(N, P, b_max) < direct_moment_seconds(N, P, c)
               ? moment_route::fft : moment_route::direct;
}

// The moment pass on the route the call takes.
inline double moment_seconds(long long N, int P, double b_max, const cost_model &c = current_cost())
{
    return cheaper_route(N, P, b_max, c) == moment_route::fft ? fft_moment_seconds(N, P, b_max)
                                                              : direct_moment_seconds(N, P, c);
}

// ---------------------------------------------------------------------------
// The distances.

// One distance by the direct route: arithmetic or memory traffic, whichever
// binds, and the rotations.
inline double seconds_per_distance(long long N, const cost_model &c, int P)
{
    const double diagonals = 2.0 * static_cast<double>(N);
    const double bytes = 16.0 * (P + 1) * static_cast<double>(N);
    const double streamed = (P + 1) * 0.73e-9 * std::min(1.0, bytes / (32 << 20));
    return diagonals * std::max(c.per_antidiagonal + P * c.per_order_antidiagonal, streamed) +
           (diagonals / 32.0 + 32.0) * c.per_rotation;
}

// The transform's fine grids (P + 1 of them) over the 2 MB L2 cache.
inline double nufft_spill(long long N, int P)
{
    const nufft_shape sh = nufft_shape_for(static_cast<std::size_t>(2 * N - 1), P + 1);
    return 16.0 * (P + 1) * static_cast<double>(sh.K + sh.lanes) / (2 << 20);
}

// The transform's set-up, before its first distance.
inline double nufft_setup_seconds(long long N, int P)
{
    const double per_point = (0.15e-6 + 0.1e-6 * (P + 1)) * (nufft_spill(N, P) > 1 ? 1.9 : 1.0);
    return 0.5e-3 + static_cast<double>(N) * per_point;
}

// One distance by the transform, after its set-up.
inline double nufft_seconds_per_distance(long long N, const cost_model &c, int P)
{
    return c.per_target * (1.0 + 0.1 * (P + 1 - 3)) +
           12e-9 * std::log2(std::max(1.0, nufft_spill(N, P)));
}

// True when the transform is expected to evaluate n distances faster than
// the direct route: the route ht::fast::sum takes (options::distances =
// automatic). P defaults to the order of grids of a few 1e4 points.
inline bool nufft_pays(long long N, long long n, const cost_model &c = current_cost(), int P = 2)
{
    const double x = static_cast<double>(n);
    return nufft_setup_seconds(N, P) + x * nufft_seconds_per_distance(N, c, P) <
           x * seconds_per_distance(N, c, P);
}

// The transform's work space is large beside the rest of a big call (16 V K
// bytes of fine grids, K >= 2M: 1.35 GB at N = 4.5e6, P = 3, more than
// three times the grid's and moments' together, to save 1.3 s of 30). The call takes it
// only when it stays within nufft_compact_bytes or within twice the rest of
// the call's work space (rest_bytes).
inline bool nufft_fits(long long N, int P, double rest_bytes)
{
    const nufft_shape sh = nufft_shape_for(static_cast<std::size_t>(2 * N - 1), P + 1);
    const double bytes = 8.0 * static_cast<double>(nufft_doubles(sh, P + 1));
    return bytes <= static_cast<double>(nufft_compact_bytes) || bytes <= 2.0 * rest_bytes;
}

// ---------------------------------------------------------------------------
// A whole call.

// 1 + 4 pi^2 (x_j^2 + x_k^2) at most on the grid g (the call takes the
// same bound from its built points).
inline double kernel_range_of(const grid &g)
{
    return kernel_range_at(g.max_x * g.max_x);
}

// What a call with n distances on grid g is expected to do and cost.
struct call_estimate {
    int order;                      // typical drift order
    moment_route moments;           // direct or fft
    bool nufft;                     // distances by the transform
    double moment_seconds;          // the moment pass
    double setup_seconds;           // the transform's set-up (0 without it)
    double per_distance_seconds;    // each distance after those
    double seconds;                 // the whole call
    double work_bytes;              // peak work space, FFTW's own tables included
};

inline call_estimate estimate(const grid &g, long long n, const cost_model &c = current_cost())
{
    call_estimate e;
    const long long N = g.num_samp_desired;
    const double b_max = kernel_range_of(g);
    e.order = typical_drift_order(N);
    e.moments = cheaper_route(N, e.order, b_max, c);
    layout L = layout_for(static_cast<std::size_t>(N));
    plan_moments(L, e.order, e.moments);
    double doubles = static_cast<double>(L.grid_doubles + L.moment_doubles) + static_cast<double>(n);
    e.nufft = nufft_pays(N, n, c, e.order) && nufft_fits(N, e.order, 8.0 * doubles);
    e.moment_seconds = moment_seconds(N, e.order, b_max, c);
    e.setup_seconds = e.nufft ? nufft_setup_seconds(N, e.order) : 0.0;
    e.per_distance_seconds = e.nufft ? nufft_seconds_per_distance(N, c, e.order)
                                     : seconds_per_distance(N, c, e.order);
    e.seconds = e.moment_seconds + e.setup_seconds + static_cast<double>(n) * e.per_distance_seconds;
    double moment_pass = 0.0, transform = 0.0;
    if (e.moments == moment_route::fft)   // the spectra, and FFTW's plans: about 2 L doubles
        moment_pass = static_cast<double>(fft_work_doubles(L.N, e.order, b_max)) +
                      2.0 * static_cast<double>(fft_length(L.N));
    if (e.nufft) {
        const nufft_shape sh = nufft_shape_for(L.M, e.order + 1);
        transform = static_cast<double>(nufft_doubles(sh, e.order + 1));
    }
    e.work_bytes = 8.0 * (doubles + std::max(moment_pass, transform));   // one after the other
    return e;
}

} // namespace fast
} // namespace ht

#endif
