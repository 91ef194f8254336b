// Internal: a type-2 non-uniform FFT of several real coefficient vectors at
// once, and the fast method's per-distance stage built on it.
//
// For V real vectors c_v[0..M) it evaluates, at any real r (in cycles, given
// as a double-double),
//
//     G_v(r) = sum_{m=0}^{M-1} c_v[m] * exp(2 pi i (m - m0) r),   m0 = (M - 1) / 2,
//
// in O(w) work per target after an O(K log K) set-up, instead of O(M):
//   1. deconvolve: b_v[m'] = c_v[m0 + m'] / Psi(m'/K), Psi the Fourier
//      transform of the spreading kernel psi (by Gauss-Legendre quadrature);
//   2. FFT onto a fine periodic grid of K >= sigma*M points:
//      u_v[l] = sum_m' b_v[m'] exp(2 pi i m' l / K);
//   3. per target, x = r*K in grid units: G_v(r) ~ sum_l u_v[l] psi(x - l) over
//      the w grid points l with |x - l| < w/2.
// psi is the "exponential of semicircle" kernel
//     psi(x) = exp(beta * (sqrt(1 - (2x/w)^2) - 1)),  |x| <= w/2,  0 outside,
// evaluated per target as w polynomials in the target's offset from the grid
// (fitted once per transform), which vectorises and shares its w values among
// all V vectors. docs/fast-method.md derives the method and its error.
//
// Phase precision: the target position x = r*K is formed exactly in
// double-double and only its fraction within a grid cell is rounded, so the
// position error is 2^-55 grid cells, a phase error of at most
// pi * 2^-55 * M/K cycles per unit of |m'|/M: far below rounding at any M.
// Rounding r itself to double first would cost 2 pi |m'| ulp(r), ~1e-12 of
// the sum at M = 9000.
#ifndef HANKEL_TRANSF_FAST_NUFFT_H
#define HANKEL_TRANSF_FAST_NUFFT_H

#include "eft.h"
#include "progress.h"

#include <cstddef>

namespace ht {
namespace fast {

// The size and kernel of one transform; a function of M alone.
struct nufft_shape {
    std::size_t M = 0;       // coefficients per vector
    std::size_t m0 = 0;      // centre index, (M - 1) / 2
    std::size_t K = 0;       // fine grid: even, a product of 2, 3 and 5, >= oversampling * M
    int width = 0;           // w: grid points per target
    int lanes = 0;           // w rounded up to a multiple of 4 (padding pieces are zero)
    int degree = 0;          // degree of each of the w kernel pieces
    int nodes = 0;           // Gauss-Legendre nodes for Psi on [-w/2, w/2]
    double beta = 0;         // kernel shape
};

// The shape for M coefficients and V vectors. Two regimes, each measured to
// leave errors at the rounding level, ~1e-17 of sum_m |c_m| (ES kernel of
// Barnett, Magland and af Klinteberg, SIAM J. Sci. Comput. 41 (2019) C479,
// with beta = 0.98 pi w (1 - 1/(2 s)), s = K/M; docs/fast-method.md has the
// measurements against width, degree and node count):
//   - oversampling s >= 4, width 16, while the fine grid at s = 4 stays below
//     nufft_compact_bytes;
//   - beyond that, s >= 2 and width 18: half the memory, 15% more work per
//     target.
// Kernel pieces of degree 13, Psi by 40 (s >= 4) or 44 (s >= 2) nodes.
constexpr std::size_t nufft_compact_bytes = std::size_t(256) << 20;
nufft_shape nufft_shape_for(std::size_t M, int V) noexcept;

// The shape for a given fine grid and width, with the degree and node count
// above (tests and experiments); K must be even and >= M + width.
nufft_shape nufft_shape_with(std::size_t M, std::size_t K, int width) noexcept;

// psi(x) at an offset x in grid cells, evaluated directly (long double).
long double nufft_kernel(const nufft_shape &sh, long double x) noexcept;

// Work space, in doubles, of a transform of V vectors: the kernel pieces,
// the deconvolution factors, the fine grid (interleaved: V complex values
// per grid point, w points past K repeating the start) and one real FFT
// input, each on an fft_alignment boundary, and the slack to put the first
// there. Does not wrap for any M a grid can have (M < 2^32).
std::size_t nufft_doubles(const nufft_shape &sh, int V) noexcept;

struct nufft {
    nufft_shape sh;
    int V = 0;
    double *poly = nullptr;     // (degree + 1) rows of `lanes`: piece i's coefficient
                                // of t^(degree - row), t in [-1, 1]
    double *deconv = nullptr;   // 1 / Psi(m'/K) for |m'| <= max(m0, M - 1 - m0)
    double *fine = nullptr;     // (K + lanes) * V complex
    double *in = nullptr;       // K reals
};

// Carves the work space (nufft_doubles(sh, V) doubles at any address) and
// computes the kernel pieces and the deconvolution factors. O(M * nodes)
// cosines.
nufft nufft_prepare(const nufft_shape &sh, int V, double *space) noexcept;

// Steps 1-2 for the vectors c[0..V). False when FFTW could not plan the
// transform (the fine grid is then unusable).
bool nufft_load(nufft &p, const double *const *c) noexcept;

// Step 3: out[2v] + i*out[2v+1] = G_v(r) for v < V. r may be any finite
// value (reduced modulo 1 exactly here).
void nufft_eval(const nufft &p, dd r, double *out, bool use_avx2) noexcept;

// ---------------------------------------------------------------------------
// The fast method's per-distance stage over the moment vectors.
//
// With the grid written x_j = x0 + j*h + e_j, the drift carried as
// eps_j = sigma*e_j, and mom_p[m] = sum_{j+k=m} f(x_j, x_k) (eps_j + eps_k)^p,
//
//   ht(s) = Re( exp(2 pi i s (2 x0 + m0 h)) * sum_p (i ps)^p / p! * G_p(s h) ),
//   ps = 2 pi s / sigma,
//
// where G_p is the transform above of mom_p (m' = m - m0 centres the index).
struct moment_set {
    const double *const *mom = nullptr;   // P + 1 vectors of length M
    int P = 0;                            // drift order
    std::size_t M = 0;                    // anti-diagonals, 2N - 1
    dd x0{0.0, 0.0};                      // first point of the line
    dd h{0.0, 0.0};                       // spacing of the line
    double sigma = 1.0;                   // drift unit: eps = sigma * e
};

// The most vectors (drift orders + 1) the stage takes.
constexpr int nufft_max_vectors = 16;

// ht_vec[i] for the scaled distances s[0..n), by the transform above.
// Allocates its work space, and room for FFTW's plan, with alloc
// (malloc-compatible, released with free): false, with nothing written and
// everything released, when that fails or FFTW cannot plan. Calls
// progress("distances", i + 1, n) after each ht_vec[i] is written.
bool nufft_distances(const moment_set &ms, const double *s, int n, double *ht_vec,
                     void *(*alloc)(std::size_t), bool use_avx2,
                     const progress_hook &progress) noexcept;

} // namespace fast
} // namespace ht

#endif
