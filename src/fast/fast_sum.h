// Internal C++ entry points of the fast method, shared by the exported
// function, the command-line tool and the tests. The stages of ht::fast::sum
// are declared here too, so that a test can run them on a grid of its own.
#ifndef HANKEL_TRANSF_FAST_SUM_H
#define HANKEL_TRANSF_FAST_SUM_H

#include "progress.h"

#include <cstddef>

namespace ht {
namespace fast {

// Which build of the vectorised loops runs.
enum class isa {
    automatic,   // AVX2+FMA when the CPU has both (x86-64 only), else baseline
    baseline,    // the target's baseline build (x86-64: SSE2, no fused multiply-add)
};

struct options {
    isa path = isa::automatic;
    // malloc-compatible; whatever it returns is released with std::free.
    // Null means std::malloc.
    void *(*alloc)(std::size_t) = nullptr;
    // Called with stage "distances" after each output value is written.
    progress_hook progress;
};

// DFTYieldExponFast: same arguments and contract; opt picks the loops'
// build, the allocator and the progress report.
void sum(double *ht_vec, const double *td_vec, int n,
         const options &opt = options()) noexcept;

// ---------------------------------------------------------------------------
// The stages of sum(), in order: size the work space, build the grid and its
// drift, accumulate the moments once, evaluate each distance.

// Sizes, in doubles, of the work space of an N-point grid. N <= INT_MAX, so
// none of the counts wraps a 64-bit size_t.
struct layout {
    std::size_t N;         // grid points
    std::size_t M;         // anti-diagonals, 2N - 1
    std::size_t nblocks;   // blocks of block_width anti-diagonals
    std::size_t padded;    // nblocks * block_width
    std::size_t doubles;   // the whole work space
};
layout layout_for(std::size_t N) noexcept;

// The work space of one call, carved out of one allocation of
// layout.doubles doubles.
struct work {
    double *x, *e, *x2;         // N: grid, drift (in units of 1/sigma), squares
    double *A, *lo, *B, *C;     // padded: moments, A's compensation
    double *wr, *wi;            // block_width: in-block rotations
    double *re, *im;            // nblocks: block sums
};
work carve(double *space, const layout &L) noexcept;

// e[j] = x[j] - (x[0] + j*h), evaluated exactly and rounded once, for
// j < N. For the grid fill_grid builds, with h its spacing incr_desired,
// x[j] == x[0] + j*h + e[j] up to that one rounding; any other x works too.
void grid_deviation(const double *x, int N, double h, double *e) noexcept;

// From w.x (filled, spacing h): w.e = sigma * deviation, w.x2 = x*x. The
// drift is carried in units of 1/sigma (sigma = max_s) so that the
// per-distance factors stay <= 2*pi at every scale.
void drift(const layout &L, work &w, double h, double sigma) noexcept;

// Zeroes and accumulates the moments A, B, C from w.x2 and w.e.
void moments(const layout &L, work &w, bool use_avx2) noexcept;

// The sum at one scaled distance s from the moments; uses w.wr, w.wi, w.re,
// w.im as scratch. x0 = w.x[0], h and sigma as given to drift().
double at_distance(const layout &L, work &w, double s, double h, double sigma,
                   bool use_avx2) noexcept;

} // namespace fast
} // namespace ht

#endif
