// The two vectorised loops of the fast method. On x86-64 each is built twice
// (baseline SSE2 and AVX2+FMA) and chosen at run time; on every other target
// only the baseline build exists and the choice is ignored.
#ifndef HANKEL_TRANSF_FAST_LOOPS_H
#define HANKEL_TRANSF_FAST_LOOPS_H

#include <cstddef>

// The AVX2+FMA builds of the hot loops exist on x86-64 only.
#if defined(__x86_64__)
#define HANKEL_TRANSF_FAST_HAVE_AVX2 1
#endif

namespace ht {
namespace fast {

// Width of a phase block: the per-distance sum rotates one exact phase per
// block by a table of block_width exact in-block phases.
constexpr std::size_t block_width = 32;

// True when the AVX2+FMA build of the loops exists and can run on this CPU
// (probed at run time; always false off x86-64).
bool avx2_fma_available() noexcept;

// Anti-diagonal moments of the kernel over the full N x N grid square,
// directly: for m = j + k in [0, 2N-1) and p = 0..P (P <= max_drift_order),
//   mom[p][m] = sum f(x_j, x_k) * (e_j + e_k)^p.
// x2[j] = x_j*x_j. mom[0..P] and lo must hold zeros on entry; lo is scratch
// for the compensation of mom[0], which is accumulated in double-double and
// rounded once at the end (lo is left zero). row and de are scratch of N
// doubles. Both triangles are counted, each off-diagonal kernel value
// evaluated once (f is symmetric bit for bit).
void antidiagonal_moments(const double *x2, const double *e, std::size_t N, int P,
                          double *const *mom, double *lo, double *row, double *de,
                          bool use_avx2) noexcept;

// For each block q of block_width consecutive m (nblocks blocks, every
// mom[p] zero-padded to nblocks*block_width):
//   re[q] + i*im[q] = sum_t (wr[t] + i*wi[t]) * (D[m] + i*E[m]),  m = q*block_width + t,
//   D[m] = mom[0][m] + sum_{p even, 2 <= p <= P} coef[p]*mom[p][m],
//   E[m] = sum_{p odd, p <= P} coef[p]*mom[p][m]   (coef[0] is not read).
void block_sums(const double *const *mom, int P, const double *coef, std::size_t nblocks,
                const double *wr, const double *wi, double *re, double *im,
                bool use_avx2) noexcept;

} // namespace fast
} // namespace ht

#endif
