// Type-2 non-uniform FFT (nufft.h) and the fast method's per-distance stage
// on top of it. Compiled with -ffp-contract=off: the target position and the
// phases are formed with error-free transformations (eft.h, phase.h).
#include "nufft.h"

#include "constants.h"
#include "eft.h"
#include "fftw_planning.h"
#include "nufft_loops.h"
#include "phase.h"
#include "rounding_guard.h"

#include <fftw3.h>

#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>


namespace ht {
namespace fast {
namespace {

constexpr long double pi_l = 3.141592653589793238462643383279502884L;

// ---------------------------------------------------------------------------
// Shape

// Smallest even 2^a 3^b 5^c >= n (FFTW's fastest sizes).
std::size_t smooth_size(std::size_t n)
{
    std::size_t best = SIZE_MAX;
    for (std::size_t p5 = 1; p5 < best / 2 && p5 <= SIZE_MAX / 5; p5 *= 5)
        for (std::size_t p35 = p5; p35 < best / 2 && p35 <= SIZE_MAX / 3; p35 *= 3) {
            std::size_t v = 2 * p35;
            while (v < n && v <= SIZE_MAX / 2)
                v *= 2;
            if (v >= n && v < best)
                best = v;
        }
    return best;
}

// ---------------------------------------------------------------------------
// Gauss-Legendre nodes and weights on [-1, 1] (Newton on P_n in long double
// from the guess cos(pi (i + 3/4) / (n + 1/2)), quadratically: the nodes are
// good to a few ulps of long double after at most 6 steps; 12 are allowed).
void gauss_legendre(int n, long double *x, long double *wt)
{
    for (int i = 0; i < n; ++i) {
        long double z = cosl(pi_l * (i + 0.75L) / (n + 0.5L));
        long double dp = 0;
        for (int it = 0; it < 12; ++it) {
            long double p0 = 1, p1 = z;
            for (int k = 2; k <= n; ++k) {
                const long double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            dp = n * (z * p1 - p0) / (z * z - 1);
            const long double dz = p1 / dp;
            z -= dz;
            if (fabsl(dz) <= 1e-19L * fabsl(z) + 1e-30L)
                break;
        }
        x[i] = z;
        wt[i] = 2 / ((1 - z * z) * dp * dp);
    }
}

// ---------------------------------------------------------------------------
// Kernel pieces: piece i is psi(z + w/2 - 1 - i) for z in [0, 1], written in
// t = 2z - 1 as a polynomial of the nufft_shape's degree: the interpolant at
// the degree+1 Chebyshev points (near-best in max norm), converted to
// monomials in long double.
void fit_pieces(const nufft_shape &sh, double *poly)
{
    const int d = sh.degree;
    const int L = sh.lanes;
    std::memset(poly, 0, sizeof(double) * static_cast<std::size_t>((d + 1) * L));
    long double cheb[64], mono[64], Tprev[64], Tcur[64], Tnext[64];
    for (int i = 0; i < sh.width; ++i) {
        long double vals[64];
        for (int k = 0; k <= d; ++k) {
            const long double t = cosl(pi_l * (k + 0.5L) / (d + 1));
            vals[k] = nufft_kernel(sh, (t + 1) / 2 + sh.width / 2.0L - 1 - i);
        }
        for (int j = 0; j <= d; ++j) {
            long double s = 0;
            for (int k = 0; k <= d; ++k)
                s += vals[k] * cosl(pi_l * j * (k + 0.5L) / (d + 1));
            cheb[j] = s * (j == 0 ? 1 : 2) / (d + 1);
        }
        // sum_j cheb[j] T_j(t) in monomials, T_{j+1} = 2t T_j - T_{j-1}.
        for (int k = 0; k <= d; ++k)
            mono[k] = Tprev[k] = Tcur[k] = 0;
        Tprev[0] = 1;   // T_0
        Tcur[1] = 1;    // T_1
        mono[0] = cheb[0];
        if (d >= 1)
            mono[1] += cheb[1];
        for (int j = 2; j <= d; ++j) {
            for (int k = 0; k <= d; ++k)
                Tnext[k] = (k > 0 ? 2 * Tcur[k - 1] : 0) - Tprev[k];
            for (int k = 0; k <= d; ++k) {
                Tprev[k] = Tcur[k];
                Tcur[k] = Tnext[k];
                mono[k] += cheb[j] * Tcur[k];
            }
        }
        for (int k = 0; k <= d; ++k)
            poly[(d - k) * L + i] = static_cast<double>(mono[k]);
    }
}

// 1/Psi(m'/K) for m' = 0..mmax, Psi(xi) = int psi(x) exp(-2 pi i xi x) dx
// = 2 int_0^{w/2} psi(x) cos(2 pi xi x) dx, by Gauss-Legendre on [-w/2, w/2]
// (an even node count, so the positive nodes carry the whole sum). The
// phases m' x_q / K stay below w/(4s) <= 2.2 cycles and are rounded once,
// so every factor is good to a few 1e-16 relative (tests/fast/test_nufft.cpp);
// such errors differ from one m' to the next and reach the result only as
// ~1e-16 * (sum c^2)^(1/2), far below its own rounding.
void deconvolution(const nufft_shape &sh, std::size_t mmax, double *deconv)
{
    const int n = sh.nodes;
    long double x[128], wt[128];
    gauss_legendre(n, x, wt);
    const double K = static_cast<double>(sh.K);
    double step[64], weight[64];
    int q = 0;
    for (int i = 0; i < n; ++i) {
        if (x[i] <= 0)
            continue;
        const long double xq = x[i] * (sh.width / 2.0L);
        weight[q] = static_cast<double>(2 * wt[i] * (sh.width / 2.0L) * nufft_kernel(sh, xq));
        step[q] = static_cast<double>(xq / K);   // cycles per unit of m'
        ++q;
    }
    for (std::size_t m = 0; m <= mmax; ++m) {
        double acc = 0;
        for (int k = 0; k < q; ++k) {
            const double ph = static_cast<double>(m) * step[k];
            acc += weight[k] * std::cos(two_pi * (ph - std::nearbyint(ph)));
        }
        deconv[m] = 1.0 / acc;
    }
}

std::size_t max_offset(const nufft_shape &sh)
{
    return sh.m0 > sh.M - 1 - sh.m0 ? sh.m0 : sh.M - 1 - sh.m0;
}

} // namespace

// ---------------------------------------------------------------------------

nufft_shape nufft_shape_with(std::size_t M, std::size_t K, int width) noexcept
{
    nufft_shape sh;
    sh.M = M;
    sh.m0 = (M - 1) / 2;
    sh.K = K;
    sh.width = width;
    sh.lanes = (width + 3) / 4 * 4;
    const double s = static_cast<double>(K) / static_cast<double>(M);
    sh.beta = 0.98 * M_PI * width * (1.0 - 0.5 / s);
    sh.degree = 13;
    sh.nodes = 2 * width + 8;
    return sh;
}

nufft_shape nufft_shape_for(std::size_t M, int V) noexcept
{
    const std::size_t row = 2 * sizeof(double) * static_cast<std::size_t>(V);
    const bool compact = M <= nufft_compact_bytes / row / 4;
    const std::size_t K = smooth_size(compact ? 4 * M : 2 * M);
    return nufft_shape_with(M, K < 64 ? 64 : K, compact ? 16 : 18);
}

long double nufft_kernel(const nufft_shape &sh, long double x) noexcept
{
    const long double z = 2 * x / sh.width;
    if (!(fabsl(z) <= 1))
        return 0;
    return expl(sh.beta * (sqrtl(1 - z * z) - 1));
}

namespace {

// The work space's parts, each a whole number of fft_alignment blocks, so
// that every part (the FFT's input and output among them) sits at the same
// alignment in every call.
struct nufft_parts {
    std::size_t poly, deconv, fine, in;
};

nufft_parts parts_of(const nufft_shape &sh, int V)
{
    const std::size_t Vs = static_cast<std::size_t>(V);
    return {fft_aligned_count(static_cast<std::size_t>((sh.degree + 1) * sh.lanes)),
            fft_aligned_count(max_offset(sh) + 1),
            fft_aligned_count(2 * Vs * (sh.K + static_cast<std::size_t>(sh.lanes))),
            fft_aligned_count(sh.K)};
}

} // namespace

std::size_t nufft_doubles(const nufft_shape &sh, int V) noexcept
{
    const nufft_parts n = parts_of(sh, V);
    return n.poly + n.deconv + n.fine + n.in + fft_alignment / sizeof(double);
}

nufft nufft_prepare(const nufft_shape &sh, int V, double *space) noexcept
{
    const nufft_parts n = parts_of(sh, V);
    nufft p;
    p.sh = sh;
    p.V = V;
    double *q = fft_aligned(space);
    p.poly = q;   q += n.poly;
    p.deconv = q; q += n.deconv;
    p.fine = q;   q += n.fine;
    p.in = q;
    fit_pieces(sh, p.poly);
    deconvolution(sh, max_offset(sh), p.deconv);
    return p;
}

bool nufft_load(nufft &p, const double *const *c) noexcept
{
    const nufft_shape &sh = p.sh;
    if (sh.K > static_cast<std::size_t>(INT_MAX))
        return false;
    const int K = static_cast<int>(sh.K);
    const std::size_t V = static_cast<std::size_t>(p.V);
    const std::size_t half = sh.K / 2;
    fftw_planning_lock_on();
    for (std::size_t v = 0; v < V; ++v) {
        // b[m'] at index -m' mod K, so that the forward real transform gives
        // u[l] = sum_m' b[m'] exp(+2 pi i m' l / K) directly, for l <= K/2.
        std::memset(p.in, 0, sizeof(double) * sh.K);
        const double *cv = c[v];
        for (std::size_t m = 0; m < sh.M; ++m) {
            const std::size_t k = m <= sh.m0 ? sh.m0 - m : sh.K - (m - sh.m0);
            const std::size_t off = m <= sh.m0 ? sh.m0 - m : m - sh.m0;
            p.in[k] = cv[m] * p.deconv[off];
        }
        fftw_complex *out = reinterpret_cast<fftw_complex *>(p.fine + 2 * v);
        fftw_plan plan = fftw_plan_many_dft_r2c(1, &K, 1, p.in, nullptr, 1, 0, out, nullptr,
                                                p.V, 0, FFTW_ESTIMATE);
        if (plan == nullptr)
            return false;
        fftw_execute(plan);
        fftw_destroy_plan(plan);
    }
    // u[l] = conj(u[K - l]) above K/2 (real input), then the first `lanes`
    // points again past K so that no target's window wraps.
    const std::size_t row = 2 * V;
    for (std::size_t l = half + 1; l < sh.K; ++l) {
        const double *src = p.fine + (sh.K - l) * row;
        double *dst = p.fine + l * row;
        for (std::size_t j = 0; j < row; j += 2) {
            dst[j] = src[j];
            dst[j + 1] = -src[j + 1];
        }
    }
    std::memcpy(p.fine + sh.K * row, p.fine, sizeof(double) * row * static_cast<std::size_t>(sh.lanes));
    return true;
}

void nufft_eval(const nufft &p, dd r, double *out, bool use_avx2) noexcept
{
    const nufft_shape &sh = p.sh;
    const double K = static_cast<double>(sh.K);
    // r modulo 1, exactly: |rr| <= 1/2 + tiny.
    const dd rr = two_sum(r.hi - std::nearbyint(r.hi), r.lo);
    // y = r*K - w/2 in grid cells, exactly as a double-double.
    const dd x = two_prod(rr.hi, K);
    const dd y0 = two_sum(x.hi, -0.5 * sh.width);
    const double y_lo = y0.lo + (x.lo + rr.lo * K);
    // z = y - floor(y.hi), exact (y0.hi - fl is); it may fall below 0 or
    // reach 1 by |y_lo| <= 2^-53 |y|, where the pieces extend smoothly.
    const double fl = std::floor(y0.hi);
    const dd z = two_sum(y0.hi - fl, y_lo);
    // t = 2z - 1, rounded once.
    const dd zc = two_sum(z.hi, -0.5);
    const double t = 2.0 * (zc.hi + (zc.lo + z.lo));
    double first = fl + 1.0;   // first grid point of the window
    if (first < 0.0)
        first += K;
    const double *g = p.fine + static_cast<std::size_t>(first) * 2 * static_cast<std::size_t>(p.V);
    nufft_interpolate(p.poly, sh.degree, sh.lanes, t, g, p.V, out, use_avx2);
}

// ---------------------------------------------------------------------------

bool nufft_distances(const moment_set &ms, const double *s, int n, double *ht_vec,
                     void *(*alloc)(std::size_t), bool use_avx2,
                     const progress_hook &progress) noexcept
{
    const int V = ms.P + 1;
    if (V < 1 || V > nufft_max_vectors)
        return false;
    const nufft_shape sh = nufft_shape_for(ms.M, V);
    double *space = static_cast<double *>(alloc(sizeof(double) * nufft_doubles(sh, V)));
    // Room for FFTW's plans (fftw_planning.h): a call short of memory then
    // falls back to the direct route instead of dying inside FFTW.
    if (space == nullptr || !fftw_room(sh.K, alloc)) {
        std::free(space);
        return false;
    }
    nufft p = nufft_prepare(sh, V, space);
    if (!nufft_load(p, ms.mom)) {
        std::free(space);
        return false;
    }
    const dd two_x0{ms.x0.hi + ms.x0.hi, ms.x0.lo + ms.x0.lo};
    const double m0 = static_cast<double>(sh.m0);
    double G[2 * nufft_max_vectors];
    for (int i = 0; i < n; ++i) {
        const double si = s[i];
        const dd pa = two_prod(si, two_x0.hi);
        const dd a{pa.hi, pa.lo + si * two_x0.lo};   // s * 2 x0, cycles
        const dd ph = two_prod(si, ms.h.hi);
        const dd q{ph.hi, ph.lo + si * ms.h.lo};      // s * h, cycles per anti-diagonal
        nufft_eval(p, q, G, use_avx2);
        // T = sum_p (i ps)^p / p! G_p by Horner's rule from the top order.
        const double ps = two_pi * (si / ms.sigma);
        double tr = G[2 * ms.P], ti = G[2 * ms.P + 1];
        for (int k = ms.P - 1; k >= 0; --k) {
            const double f = ps / (k + 1);
            const double nr = G[2 * k] - f * ti;
            const double ni = G[2 * k + 1] + f * tr;
            tr = nr;
            ti = ni;
        }
        double c, sn;
        cis(reduce_phase(a, m0, q), &c, &sn);
        ht_vec[i] = c * tr - sn * ti;
        progress("distances", i + 1, n);
    }
    std::free(space);
    return true;
}

} // namespace fast
} // namespace ht
