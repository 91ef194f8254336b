// Checks of the moment stage on grids where no reference sum is affordable:
// each sampled anti-diagonal m is summed directly in O(N), in double-double
// with the kernel by pow, and compared with what the stages produced. Shared
// by the moment suite and the large-grid benchmark.
#ifndef HANKEL_TRANSF_TEST_ANTIDIAGONAL_CHECK_H
#define HANKEL_TRANSF_TEST_ANTIDIAGONAL_CHECK_H

#include "eft.h"
#include "fast_sum.h"

#include <cstdint>
#include <vector>

namespace ht_test {

// Double-double accumulator (Neumaier): error ~1e-32 relative to the sum of
// magnitudes, so the sums below are limited by their terms only.
struct accumulator {
    double hi = 0.0, lo = 0.0;
    void add(double v)
    {
        const ht::fast::dd t = ht::fast::two_sum(hi, v);
        hi = t.hi;
        lo += t.lo;
    }
    double value() const { return hi + lo; }
};

// f(x_j, x_k) by pow: one rounding of b, at most one ulp of pow.
double kernel(double xj, double xk);

// sum_{j+k=m} f (eps_j + eps_k)^p for p = 0..P, eps = w.e.
std::vector<double> antidiagonal_moments(const ht::fast::work &w, std::size_t N, std::size_t m,
                                         int P);

// sum_{j+k=m} f cos(2 pi s (x_j + x_k)), every phase reduced exactly.
double antidiagonal_reference(const ht::fast::work &w, std::size_t N, std::size_t m, double s);

// Re(e^(i theta_m) sum_{p<=P} (i ps)^p / p! mom_m[p]) with theta_m from the
// fitted line, as at_distance forms anti-diagonal m's share of ht(s).
double expansion(const ht::fast::work &w, const std::vector<double> &mom_m, int P, std::size_t m,
                 double s);

// The central anti-diagonal (through x = 0) and count - 1 seeded uniform ones.
std::vector<std::size_t> sample_antidiagonals(std::size_t M, int count, std::uint64_t seed);

// Estimates of whole-grid sums from a sample: M / count times the sample's
// sum, relative to S = sum_m mom_0[m].
struct sampled_errors {
    // sum_m |mom_p[m] - direct| / (S (2 max|eps|)^p), p = 0..L.P
    std::vector<double> moments;
    // sum_m |anti-diagonal share - reference| / S at distance s, with the
    // moments of order <= P and of order <= P - 1
    double expansion = 0, expansion_short = 0;
    // |at_distance - sum of the sample's references| / S at s, the moments
    // zeroed outside the sample: at_distance itself on the sampled
    // anti-diagonals, phases of the whole grid's size included
    double end_to_end = 0;
};
// Overwrites every moment outside the sample with zeros (last step).
sampled_errors check_sampled(const ht::fast::layout &L, ht::fast::work &w, int count,
                             std::uint64_t seed, double s);

} // namespace ht_test

#endif
