// Internal: what a call of the fast method (ht::fast::sum,
// DFTYieldExponFast) costs. One model serves the route choice inside the
// call (cheaper_route, fast_sum.cpp) and callers that warn before a long
// run (the command-line tool).
//
// A call builds the grid and its drift (O(N)), computes the anti-diagonal
// moments of orders 0..P once on one of two routes, then evaluates each
// distance:
//   direct moments: N (N + 1) / 2 kernel values, each adding P drift terms;
//   FFT moments:    per term of the kernel's exponential sum (expsum.h), N
//                   Gaussian factors and P + 1 real FFTs of length L with
//                   their frequency-domain products; then P + 1 inverse
//                   FFTs and the plans;
//   per distance:   2N anti-diagonals of P + 1 multiply-adds each and
//                   2N/32 + 32 exactly reduced sincos.
// Constants measured with the Release build (g++ 12, glibc 2.36, FFTW
// 3.3.10) on an Intel Xeon (Sapphire Rapids, KVM guest) on the grids of
// {1, r}, r = 1e3 .. 1e6:
//   direct pass 2.39 ns per kernel value + 0.33 ns per value and order
//     (AVX2+FMA; the baseline figure is the AMD EPYC's, about 1.6 times);
//   per distance 0.69 ns + 0.22 ns per order per anti-diagonal, plus 15 ns
//     per rotation;
//   one real FFT of length L: 2e-10 s * L log2 L up to L = 2^17 (in cache),
//     growing as (L / 2^17)^0.32 beyond (7.4e-10 at L = 9e6);
//   FFT route per term and order: (0.6 + 0.35 P) ns per point of L for the
//     products and padding, growing as (L / 2^17)^0.4 once out of cache;
//     per term 7 ns + 1 ns per order per Gaussian factor.
// Good to about 30 % on that machine.
#ifndef HANKEL_TRANSF_FAST_COST_H
#define HANKEL_TRANSF_FAST_COST_H

#include "constants.h"
#include "expsum.h"
#include "fast_loops.h"
#include "fast_sum.h"
#include "grid.h"
#include "moments_fft.h"

#include <algorithm>
#include <cmath>

namespace ht {
namespace fast {

struct cost_model {
    double per_kernel_value;   // direct moment pass, per kernel value of one triangle
    double per_order_value;    // the same, per kernel value and drift order
    double per_antidiagonal;   // per distance and anti-diagonal
    double per_order_antidiagonal;   // the same, per drift order
    double per_rotation;       // one exactly reduced sincos
};

constexpr cost_model avx2_fma_cost{2.4e-9, 0.33e-9, 0.69e-9, 0.22e-9, 15e-9};
constexpr cost_model baseline_cost{3.8e-9, 0.5e-9, 1.1e-9, 0.35e-9, 15e-9};

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

// The direct moment pass.
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

// The FFT moment pass for a kernel range 1 <= b <= b_max (the same on both
// builds of the loops: none of it is in them).
inline double fft_moment_seconds(long long N, int P, double b_max)
{
    const double T = static_cast<double>(expsum_size(b_max));
    const double L = static_cast<double>(fft_length(static_cast<std::size_t>(N)));
    const double orders = P + 1.0;
    const double per_order = fft_seconds(L) + (0.6e-9 + 0.35e-9 * P) * L * out_of_cache(L, 0.4);
    const double per_term = static_cast<double>(N) * (7e-9 + 1e-9 * P) + orders * per_order;
    return T * per_term + orders * fft_seconds(L) + 2.0 * fft_seconds(L) + 2e-4;
}

// The route the call takes (options::route = automatic): the FFT route only
// when it is at least twice as cheap, because the direct route is the more
// accurate (rounding only).
inline moment_route cheaper_route(long long N, int P, double b_max,
                                  const cost_model &c = current_cost())
{
    if (expsum_size(b_max) == 0)
        return moment_route::direct;
    return 2.0 * fft_moment_seconds(N, P, b_max) < direct_moment_seconds(N, P, c)
               ? moment_route::fft : moment_route::direct;
}

inline double moment_seconds(long long N, int P, double b_max, const cost_model &c = current_cost())
{
    return cheaper_route(N, P, b_max, c) == moment_route::fft ? fft_moment_seconds(N, P, b_max)
                                                              : direct_moment_seconds(N, P, c);
}

// One distance after the moment pass.
inline double seconds_per_distance(long long N, int P, const cost_model &c = current_cost())
{
    const double diagonals = 2.0 * static_cast<double>(N);
    return diagonals * (c.per_antidiagonal + P * c.per_order_antidiagonal)
           + (diagonals / 32.0 + 32.0) * c.per_rotation;
}

// 1 + 4 pi^2 (x_j^2 + x_k^2) at most on the grid g (the call takes the
// same bound from its built points).
inline double kernel_range_of(const grid &g)
{
    return 1.0 + four_pi_sq * (g.max_x * g.max_x + g.max_x * g.max_x);
}

// What a call with n distances on grid g is expected to do and cost.
struct call_estimate {
    int order;                 // typical drift order
    moment_route route;        // direct or fft
    double moment_seconds;     // before the first distance
    double per_distance_seconds;
    double seconds;            // the whole call
    double work_bytes;         // peak work space, FFTW's own tables included
};

inline call_estimate estimate(const grid &g, long long n, const cost_model &c = current_cost())
{
    call_estimate e;
    const long long N = g.num_samp_desired;
    const double b_max = kernel_range_of(g);
    e.order = typical_drift_order(N);
    e.route = cheaper_route(N, e.order, b_max, c);
    e.moment_seconds = moment_seconds(N, e.order, b_max, c);
    e.per_distance_seconds = seconds_per_distance(N, e.order, c);
    e.seconds = e.moment_seconds + static_cast<double>(n) * e.per_distance_seconds;
    layout L = layout_for(static_cast<std::size_t>(N));
    plan_moments(L, e.order, e.route);
    double doubles = static_cast<double>(L.grid_doubles + L.moment_doubles) + static_cast<double>(n);
    if (e.route == moment_route::fft)   // the spectra, and FFTW's plans: about 2 L doubles
        doubles += static_cast<double>(fft_work_doubles(L.N, e.order, b_max))
                   + 2.0 * static_cast<double>(fft_length(L.N));
    e.work_bytes = 8.0 * doubles;
    return e;
}

} // namespace fast
} // namespace ht

#endif
