// The non-uniform FFT's per-target loop: kernel values by Horner's rule,
// then the weighted sum of w fine-grid points for every vector. On x86-64
// built twice (baseline SSE2 and AVX2+FMA) and chosen at run time, like the
// loops of fast_loops.h.
#ifndef HANKEL_TRANSF_FAST_NUFFT_LOOPS_H
#define HANKEL_TRANSF_FAST_NUFFT_LOOPS_H

#include <cstddef>

namespace ht {
namespace fast {

// Widest kernel the loop takes (lanes = width rounded up to 4).
constexpr int nufft_max_lanes = 24;

// k_i = sum_j poly[j*lanes + i] * t^(degree - j) for i < lanes (degree odd), and
//   out[2v + c] = sum_{i < lanes} k_i * g[(i*V + v)*2 + c],  v < V, c in {0, 1}.
// g points at the first of `lanes` fine-grid points, V complex values each;
// pieces past the kernel's width have zero coefficients, so their points are
// read but weigh nothing. lanes is a multiple of 4, at most nufft_max_lanes.
void nufft_interpolate(const double *poly, int degree, int lanes, double t,
                       const double *g, int V, double *out, bool use_avx2) noexcept;

} // namespace fast
} // namespace ht

#endif
