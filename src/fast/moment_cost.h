// Internal: what the moment pass of the fast method costs on each route,
// for the route choice (fast_sum.cpp) and for callers that warn before a
// long run.
#ifndef HANKEL_TRANSF_FAST_MOMENT_COST_H
#define HANKEL_TRANSF_FAST_MOMENT_COST_H

#include "expsum.h"
#include "moments_fft.h"

#include <cmath>
#include <cstddef>

namespace ht {
namespace fast {

// Direct route: N (N + 1) / 2 kernel values, each adding P drift terms.
inline double direct_moment_seconds(std::size_t N, int P)
{
    const double values = 0.5 * static_cast<double>(N) * (static_cast<double>(N) + 1.0);
    return values * (2.4e-9 + 0.4e-9 * P);
}

// Seconds of one real FFT of length L (in place, FFTW_ESTIMATE plan).
inline double fft_seconds(std::size_t L)
{
    const double l = static_cast<double>(L);
    return 5e-10 * l * std::log2(l);
}

// FFT route: per term of the exponential sum, N exponentials and P + 1
// forward transforms; then P + 1 inverse transforms and two plans.
inline double fft_moment_seconds(std::size_t N, int P, double b_max)
{
    const double T = static_cast<double>(expsum_size(b_max));
    const std::size_t L = fft_length(N);
    const double orders = static_cast<double>(P + 1);
    return T * (orders * fft_seconds(L) + 8e-9 * static_cast<double>(N))
           + orders * fft_seconds(L) + 2.0 * fft_seconds(L) + 2e-4;
}

} // namespace fast
} // namespace ht

#endif
