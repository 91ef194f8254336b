// Internal: what a call of the fast method (ht::fast::sum,
// DFTYieldExponFast) costs, for callers that warn before a long run (the
// command-line tool). Each route of the fast method keeps its model here.
//
// Today's route: one pass over the N (N + 1) / 2 kernel values of one
// triangle builds the anti-diagonal moments (no progress is reported during
// it), then each distance costs ~2N complex multiply-adds and 2N/32 + 32
// exactly reduced sincos. Constants measured with the Release build (g++ 12,
// glibc 2.36) on an Intel Xeon (Sapphire Rapids, KVM guest), calling
// ht::fast::sum on {1, r} and on n = 2002 and 20002 distances, r = 3000
// (N = 13503), 10000 (N = 45003) and 30000 (N = 135003):
//   moment pass: 2.4 ns per kernel value, the same on both paths there; on
//     an AMD EPYC (docs/fast-method.md) 1.9 ns with AVX2+FMA and about twice
//     that on the baseline path, so the baseline figure below is the EPYC's;
//   per distance: 2.3-2.4 ns * N with AVX2+FMA, 3.0-3.3 ns * N baseline,
//     split as 2N multiply-adds and (2N/32 + 32) phase rotations of ~15 ns
//     (sincos alone: 9 ns).
// Good to about 30 % on those machines.
#ifndef HANKEL_TRANSF_FAST_COST_H
#define HANKEL_TRANSF_FAST_COST_H

#include "fast_loops.h"

namespace ht {
namespace fast {

struct cost_model {
    double per_kernel_value;   // moment pass, seconds per kernel value
    double per_multiply_add;   // per distance and anti-diagonal
    double per_rotation;       // one exactly reduced sincos
};

constexpr cost_model avx2_fma_cost{2.5e-9, 0.75e-9, 15e-9};
constexpr cost_model baseline_cost{3.8e-9, 1.2e-9, 15e-9};

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

// One distance after the moment pass.
inline double seconds_per_distance(long long N, const cost_model &c = current_cost())
{
    const double diagonals = 2.0 * static_cast<double>(N);
    return diagonals * c.per_multiply_add + (diagonals / 32.0 + 32.0) * c.per_rotation;
}

// Expected run time of sum() with n distances on an N-point grid.
inline double expected_seconds(long long N, long long n, const cost_model &c = current_cost())
{
    return moment_seconds(N, c) + static_cast<double>(n) * seconds_per_distance(N, c);
}

// Work space of one call: about 11 N + n doubles.
inline double work_bytes(long long N, long long n)
{
    return 8.0 * (11.0 * static_cast<double>(N) + static_cast<double>(n));
}

} // namespace fast
} // namespace ht

#endif
