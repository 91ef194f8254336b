// Internal: how the fast method plans FFTW transforms. Both FFT stages
// (moments_fft.h, nufft.h) plan through here.
#ifndef HANKEL_TRANSF_FAST_FFTW_PLANNING_H
#define HANKEL_TRANSF_FAST_FFTW_PLANNING_H

#include <cstddef>

namespace ht {
namespace fast {

// Alignment, in bytes, of every array an FFT stage plans on or executes.
// FFTW picks its codelets (SIMD or not) by the alignment of the arrays a
// plan is made for, and a plan may only run on arrays aligned alike: with
// every array on a 64-byte boundary (more than any SIMD unit asks), the
// same plan, and so the same bits, comes out whatever malloc returned.
constexpr std::size_t fft_alignment = 64;

// n doubles rounded up to whole fft_alignment blocks.
std::size_t fft_aligned_count(std::size_t n) noexcept;

// The first fft_alignment boundary at or after p (at most
// fft_alignment / sizeof(double) - 1 doubles further).
double *fft_aligned(void *p) noexcept;

// FFTW's planner (and fftw_destroy_plan) is not reentrant. This turns on
// FFTW's own planner lock (fftw_make_planner_thread_safe, libfftw3_threads,
// FFTW >= 3.3.5) once per process; the lock is shared with any other user of
// the same libfftw3 in the process. Call before planning.
void fftw_planning_lock_on() noexcept;

// FFTW allocates its plans (up to ~2 doubles per transform point, measured)
// with its own allocator, which aborts the process when memory runs out.
// Takes twice that, for transforms of `points` points in all, through alloc
// and releases it at once: false when it could not be had, so that the
// caller gives up (or takes another route) before planning instead of dying
// inside FFTW (unless another thread takes the room in between).
bool fftw_room(std::size_t points, void *(*alloc)(std::size_t)) noexcept;

} // namespace fast
} // namespace ht

#endif
