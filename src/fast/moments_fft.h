// Anti-diagonal kernel moments by fast convolution, for large grids:
//
//   mom_p[m] = sum_{j+k=m} f(x_j, x_k) (eps_j + eps_k)^p,   p = 0..P,  m < 2N-1,
//
// in O(T (P+1) L log L) operations instead of O(N^2), where L >= 2N-1 is the
// FFT length and T the number of terms of the kernel's exponential sum
// (expsum.h: 36 for a smallest distance of 1). Each term w exp(-t b)
// factors into g(x_j) g(x_k), and (eps_j + eps_k)^p expands binomially, so
//
//   mom_p = sum_terms sum_{a=0..p} C(p, a) (g eps^a) * (g eps^(p-a))   (* = convolution),
//
// one real FFT per term and power a, products summed in the frequency
// domain, one inverse FFT per moment.
#ifndef HANKEL_TRANSF_FAST_MOMENTS_FFT_H
#define HANKEL_TRANSF_FAST_MOMENTS_FFT_H

#include "fftw_planning.h"
#include "progress.h"

#include <cstddef>

namespace ht {
namespace fast {

// The FFT length for N grid points: the smallest even 2^a 3^b 5^c 7^d >= 2N - 1.
std::size_t fft_length(std::size_t N) noexcept;

// Doubles each moment array must hold for fft_moments: fft_length(N) + 2
// (the in-place real transform's complex half spectrum).
std::size_t fft_moment_length(std::size_t N) noexcept;

// Doubles of work space fft_moments takes through alloc (P + 1 spectra, the
// term list and alignment slack).
std::size_t fft_work_doubles(std::size_t N, int P, double b_max) noexcept;

// Writes mom[p][0 .. 2N-1) for p = 0..P and zeros to mom[p][2N-1 ..
// mom_length): every entry of every array, so that a reader of any part of
// them (the per-distance loops read whole blocks) sees only this call's data.
//   x2[j]   x_j * x_j, j < N
//   eps[j]  the scaled drift of point j (any finite values; unused when P == 0)
//   b_max   an upper bound of 1 + 4 pi^2 (x_j^2 + x_k^2) over the grid, in
//           [1, expsum_max_range]
//   mom     P + 1 arrays of mom_length >= fft_moment_length(N) doubles, each
//           aligned to fft_alignment bytes
//   alloc   malloc-compatible; what it returns is released with std::free
//   progress called with stage "moment terms" after each of the sum's terms
// Returns false, with mom unspecified and nothing held, when b_max is out of
// range or the work space cannot be allocated. FFT plans are made with
// FFTW_ESTIMATE under FFTW's own planner lock (fftw_make_planner_thread_safe,
// enabled once per process), so concurrent calls, and hosts planning their
// own FFTW transforms, are safe. FFTW allocates its plans and twiddle tables
// itself, O(L) bytes, and aborts the process if that fails.
bool fft_moments(const double *x2, const double *eps, std::size_t N, int P, double b_max,
                 double *const *mom, std::size_t mom_length, void *(*alloc)(std::size_t),
                 const progress_hook &progress = progress_hook()) noexcept;

} // namespace fast
} // namespace ht

#endif
