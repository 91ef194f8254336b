// The two vectorised loops of the fast method. On x86-64 each is built twice
// (baseline SSE2 and AVX2+FMA) and chosen at run time; on every other target
// only the baseline build exists and the choice is ignored.
#ifndef HANKEL_TRANSF_FAST_LOOPS_H
#define HANKEL_TRANSF_FAST_LOOPS_H

#include <cstddef>

namespace ht {
namespace fast {

// Width of a phase block: the per-distance sum rotates one exact phase per
// block by a table of block_width exact in-block phases.
constexpr std::size_t block_width = 32;

// True when the AVX2+FMA build of the loops exists and can run on this CPU
// (probed at run time; always false off x86-64).
bool avx2_fma_available() noexcept;

// Anti-diagonal moments of the kernel over the full N x N grid square:
// for m = j + k in [0, 2N-1),
//   A[m] = sum f(x_j, x_k),  B[m] = sum f*(e_j + e_k),  C[m] = sum f*(e_j + e_k)^2.
// x2[j] = x_j*x_j. A, lo, B, C must hold zeros on entry; lo is scratch for
// the compensation of A, which is accumulated in double-double and rounded
// once at the end. Both triangles are counted, each off-diagonal kernel
// value evaluated once (f is symmetric bit for bit).
void antidiagonal_moments(const double *x2, const double *e, std::size_t N,
                          double *A, double *lo, double *B, double *C,
                          bool use_avx2) noexcept;

// For each block q of block_width consecutive m (nblocks blocks, arrays
// zero-padded to nblocks*block_width):
//   re[q] + i*im[q] = sum_t (wr[t] + i*wi[t]) * (D[m] + i*E[m]),  m = q*block_width + t,
//   D[m] = A[m] - q2*C[m],  E[m] = ps*B[m].
void block_sums(const double *A, const double *B, const double *C,
                std::size_t nblocks, double q2, double ps,
                const double *wr, const double *wi,
                double *re, double *im, bool use_avx2) noexcept;

} // namespace fast
} // namespace ht

#endif
