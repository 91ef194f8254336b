// Internal C++ entry points of the fast method, shared by the exported
// function, the command-line tool and the tests. The stages of ht::fast::sum
// are declared here too, so that a test can run them on a grid of its own.
#ifndef HANKEL_TRANSF_FAST_SUM_H
#define HANKEL_TRANSF_FAST_SUM_H

#include "drift.h"
#include "progress.h"

#include <cstddef>

namespace ht {
namespace fast {

// Which build of the vectorised loops runs.
enum class isa {
    automatic,   // AVX2+FMA when the CPU has both (x86-64 only), else baseline
    baseline,    // the target's baseline build (x86-64: SSE2, no fused multiply-add)
};

// How the anti-diagonal moments are computed.
enum class moment_route {
    automatic,   // the cheaper of the two by the cost model (fast_cost.h)
    direct,      // every kernel value once: O(N^2), rounding error only
    fft,         // the kernel's exponential sum, FFT convolutions: O(T N log N)
};

// How the distances are evaluated once the moments are known.
enum class distance_route {
    automatic,   // the cheaper of the two by the cost model (fast_cost.h)
    direct,      // one complex dot product over the anti-diagonals per distance
    nufft,       // all distances at once by the non-uniform FFT (nufft.h)
};

struct options {
    isa path = isa::automatic;
    moment_route moments = moment_route::automatic;
    distance_route distances = distance_route::automatic;
    // malloc-compatible; whatever it returns is released with std::free.
    // Null means std::malloc.
    void *(*alloc)(std::size_t) = nullptr;
    // Called with stage "moment terms" after each term of the FFT route's
    // exponential sum, and with stage "distances" after each output value.
    progress_hook progress;
};

// DFTYieldExponFast: same arguments and contract; opt picks the loops'
// build, the moment and distance routes, the allocator and the progress
// report.
void sum(double *ht_vec, const double *td_vec, int n,
         const options &opt = options()) noexcept;

// ---------------------------------------------------------------------------
// The stages of sum(), in order: build the grid and its drift (which fixes
// the order P), size the moments' work space, accumulate the moments once,
// evaluate each distance. Two allocations: the grid's arrays, then the
// moments' (whose size depends on P and the route).

struct layout {
    std::size_t N;         // grid points
    std::size_t M;         // anti-diagonals, 2N - 1
    std::size_t nblocks;   // blocks of block_width anti-diagonals
    std::size_t padded;    // nblocks * block_width
    std::size_t grid_doubles;     // x, e, x2
    // Set by plan_moments:
    int P;                 // order of the drift expansion, 0..max_drift_order
    moment_route route;    // direct or fft
    std::size_t stride;    // doubles per moment array, a multiple of 8
    std::size_t moment_doubles;   // the moments' work space, alignment slack included
};
// The grid part; P = 0, route direct, no moment space yet.
layout layout_for(std::size_t N) noexcept;
// Sizes the moments' work space for order P on the given route (not automatic).
void plan_moments(layout &L, int P, moment_route route) noexcept;

// The work space of one call. The moment arrays start on 64-byte
// boundaries (fft_alignment), as the FFT route needs.
struct work {
    double *x, *e, *x2;               // N: grid, drift (scaled by sigma), squares
    double *mom[max_drift_order + 1]; // stride each: mom_0..mom_P
    double *lo, *row, *de;            // direct route: compensation (padded), rows (N)
    double *wr, *wi;                  // block_width: in-block rotations
    double *re, *im;                  // nblocks: block sums
    line ln;                          // x_j = ln.x0 + j*ln.h + e_j / sigma
    double sigma;                     // the drift's scale, max_s
};
void carve_grid(double *space, const layout &L, work &w) noexcept;
void carve_moments(double *space, const layout &L, work &w) noexcept;

// From w.x (filled, spacing h): the line and w.e = sigma * drift from it,
// w.x2 = x*x. The drift is carried in units of 1/sigma (sigma = max_s) so
// that the per-distance factors stay <= 2*pi at every scale. Returns
// delta_max = 4*pi*max|w.e|, the largest phase perturbation 2*pi*s*(e_j + e_k)
// of any pair at any distance of the call, for drift_order().
double drift(const layout &L, work &w, double h, double sigma) noexcept;

// 1 + 4 pi^2 (x_j^2 + x_k^2) at most, over the grid of w.x2.
double kernel_range(const layout &L, const work &w) noexcept;

// Accumulates the moments mom_0..mom_P on L.route. False when the FFT
// route's own work space (fft_moments) cannot be had.
bool moments(const layout &L, work &w, bool use_avx2, void *(*alloc)(std::size_t),
             const progress_hook &progress = progress_hook()) noexcept;

// The sum at one scaled distance s from the moments; uses w.wr, w.wi, w.re,
// w.im as scratch.
double at_distance(const layout &L, work &w, double s, bool use_avx2) noexcept;

} // namespace fast
} // namespace ht

#endif
