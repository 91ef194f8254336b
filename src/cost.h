// Internal: what a call of the direct sum (ht::direct_sum, DFTYieldExpon)
// costs, for callers that warn before a long run (the command-line tool).
// Nothing here changes what the sum computes.
//
// Model: the N x N table costs one pow per entry, then each distance costs
// one cos, one multiply and one add per table entry:
//
//     seconds = N^2 * (t_entry + n * t_summand),   bytes = 8 * N^2.
//
// Constants measured with the Release build (g++ 12, glibc 2.36) on an
// Intel Xeon (Sapphire Rapids, KVM guest), by timing the tool on the
// distance sets {1, r} and {1, r, 2, 3, ..., 21}: r = 500 (N = 2252) gave
// 14 ns per entry and 9.7 ns per summand, r = 1000 (N = 4502) 15 ns and
// 9.3 ns; distances 2..10 with r = 1000 gave 8 ns per summand (smaller
// phases). Good to about 30 % while every phase stays below 2^20 radians,
// which holds for every grid whose table fits in memory.
#ifndef HANKEL_TRANSF_COST_H
#define HANKEL_TRANSF_COST_H

namespace ht {

constexpr double direct_sum_seconds_per_entry = 15e-9;
constexpr double direct_sum_seconds_per_summand = 9.5e-9;

// Expected run time of direct_sum with n distances on an N-point grid.
inline double direct_sum_seconds(long long N, long long n)
{
    const double entries = static_cast<double>(N) * static_cast<double>(N);
    return entries * (direct_sum_seconds_per_entry +
                      static_cast<double>(n) * direct_sum_seconds_per_summand);
}

// Bytes of the N x N table of doubles that direct_sum allocates.
inline double direct_sum_table_bytes(long long N)
{
    return 8.0 * static_cast<double>(N) * static_cast<double>(N);
}

} // namespace ht

#endif
