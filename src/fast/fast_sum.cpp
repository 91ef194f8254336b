// The fast method: anti-diagonal moments of the kernel, then one rotated
// complex dot product per distance. Phases are reduced exactly, in cycles,
// in double-double; this file keeps -ffp-contract=off so that TwoSum and the
// explicit fma-based TwoProd below stay error-free transformations.
//
// Grid: x_j = x_0 + j*h + e_j with h = incr_desired and e_j the (tiny)
// deviation of the built grid from even spacing. With m = j + k,
//   2*pi*s*(x_j + x_k) = theta_m + delta_jk,
//   theta_m = 2*pi*s*(2*x_0 + m*h),   delta_jk = 2*pi*s*(e_j + e_k),
// and cos(theta + delta) = cos(theta)*(1 - delta^2/2) - sin(theta)*delta
// + O(delta^3), so
//   ht(s) = sum_m cos(theta_m)*(A_m - (2 pi s)^2/2 * C_m) - sin(theta_m)*2 pi s*B_m
// with the distance-independent moments A, B, C of fast_loops.h (computed
// with e scaled by max_s, and 2 pi s by 1/max_s, to keep every factor finite).
// |delta| <= 4*pi*s*max|e_j| is below 1e-6 even for N ~ 1e5, so the cubic
// remainder is far below the rounding level.
#include "fast_sum.h"

#include "fast_loops.h"
#include "grid.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace ht {
namespace fast {
namespace {

struct dd {
    double hi, lo;
};

inline dd two_sum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

inline dd two_prod(double a, double b)
{
    const double p = a * b;
    return {p, std::fma(a, b, -p)};
}

// 2*pi as an unevaluated sum; hi is ht::two_pi.
constexpr double two_pi_hi = 6.283185307179586;       // 0x401921FB54442D18
constexpr double two_pi_lo = 2.4492935982947064e-16;  // 0x3CB1A62633145C07

// The fractional part, in cycles, of a + m*q, with |result| <= 1/2 + tiny.
// m is an integer below 2^53. Every integer part is removed from an exact
// value (x - nearbyint(x) is exact in binary floating point), so the phase
// keeps ~1e-32 cycles of absolute accuracy however many cycles it spans.
inline dd reduce_phase(dd a, double m, dd q)
{
    const dd p = two_prod(m, q.hi);
    const double ah = a.hi - std::nearbyint(a.hi);
    const double ph = p.hi - std::nearbyint(p.hi);
    const dd s = two_sum(ah, ph);
    const double sh = s.hi - std::nearbyint(s.hi);
    const double rest = s.lo + (a.lo + (p.lo + m * q.lo));
    return two_sum(sh, rest);
}

// cos and sin of 2*pi*phase for a reduced phase, to about one ulp.
inline void cis(dd phase, double *c, double *s)
{
    const dd p = two_prod(two_pi_hi, phase.hi);
    const double ang_lo = p.lo + (two_pi_lo * phase.hi + two_pi_hi * phase.lo);
    double sn, cs;
    ::sincos(p.hi, &sn, &cs);
    *c = cs - sn * ang_lo;
    *s = sn + cs * ang_lo;
}

// Work space of one call, carved out of a single allocation.
struct work {
    double *x, *e, *x2;         // N
    double *A, *lo, *B, *C;     // padded to nblocks * block_width
    double *wr, *wi;            // block_width
    double *re, *im;            // nblocks
};

} // namespace

bool avx2_fma_available() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

void grid_deviation(const double *x, int N, double h, double *e) noexcept
{
    const double x0 = x[0];
    for (int j = 0; j < N; ++j) {
        // x_j - x_0 and j*h are both exact as double-doubles and agree to
        // within N ulps, so their leading parts cancel exactly (Sterbenz).
        const dd d = two_sum(x[j], -x0);
        const dd p = two_prod(static_cast<double>(j), h);
        e[j] = (d.hi - p.hi) + (d.lo - p.lo);
    }
}

void sum(double *ht_vec, const double *td_vec, int n, const options &opt) noexcept
{
    grid g;
    if (!plan_call(ht_vec, td_vec, n, &g))
        return;

    const std::size_t N = static_cast<std::size_t>(g.num_samp_desired);
    const std::size_t M = N + N - 1;                 // anti-diagonals
    const std::size_t W = block_width;
    const std::size_t nblocks = (M + W - 1) / W;
    const std::size_t Mp = nblocks * W;
    // N <= INT_MAX, so none of these counts can wrap a 64-bit size_t.
    const std::size_t count = 3 * N + 4 * Mp + 2 * W + 2 * nblocks;

    void *(*alloc)(std::size_t) = opt.alloc != nullptr ? opt.alloc : std::malloc;
    // The distances are copied first: ht_vec may alias td_vec.
    double *s = static_cast<double *>(alloc(sizeof(double) * static_cast<std::size_t>(n)));
    double *block = s == nullptr ? nullptr
                                 : static_cast<double *>(alloc(sizeof(double) * count));
    if (block == nullptr) {
        std::free(s);
        fill_nan(ht_vec, n);
        return;
    }
    scale_distances(td_vec, n, s);

    work w;
    double *p = block;
    w.x = p;  p += N;
    w.e = p;  p += N;
    w.x2 = p; p += N;
    w.A = p;  p += Mp;
    w.lo = p; p += Mp;
    w.B = p;  p += Mp;
    w.C = p;  p += Mp;
    w.wr = p; p += W;
    w.wi = p; p += W;
    w.re = p; p += nblocks;
    w.im = p;
    std::memset(w.A, 0, sizeof(double) * 4 * Mp);

    fill_grid(g, w.x);
    grid_deviation(w.x, static_cast<int>(N), g.incr_desired, w.e);
    // The moments carry e in units of 1/max_s, so that the per-distance
    // factors below are 2*pi*s/max_s <= 2*pi: 2*pi*s itself, and its square
    // in the second-order term, overflow for distances beyond ~1e153 while
    // s*e stays near N*2^-53 at every scale.
    const double sigma = g.max_s;
    for (std::size_t j = 0; j < N; ++j)
        w.e[j] = sigma * w.e[j];
    for (std::size_t j = 0; j < N; ++j)
        w.x2[j] = w.x[j] * w.x[j];

    const bool avx2 = opt.path == isa::baseline ? false : avx2_fma_available();
    antidiagonal_moments(w.x2, w.e, N, w.A, w.lo, w.B, w.C, avx2);

    const double x0 = w.x[0];
    const double h = g.incr_desired;
    for (int i = 0; i < n; ++i) {
        const double si = s[i];
        const dd a = two_prod(si, x0 + x0);   // s*(2 x_0), cycles
        const dd q = two_prod(si, h);          // s*h, cycles per anti-diagonal
        const double ps = two_pi_hi * (si / sigma);
        const double q2 = 0.5 * (ps * ps);

        for (std::size_t t = 0; t < W; ++t)
            cis(reduce_phase(dd{0.0, 0.0}, static_cast<double>(t), q), &w.wr[t], &w.wi[t]);
        block_sums(w.A, w.B, w.C, nblocks, q2, ps, w.wr, w.wi, w.re, w.im, avx2);

        // Neumaier-compensated sum of the rotated block sums.
        double acc = 0.0, comp = 0.0;
        for (std::size_t b = 0; b < nblocks; ++b) {
            double c, sn;
            cis(reduce_phase(a, static_cast<double>(b * W), q), &c, &sn);
            const double term = c * w.re[b] - sn * w.im[b];
            const dd t = two_sum(acc, term);
            acc = t.hi;
            comp += t.lo;
        }
        ht_vec[i] = acc + comp;
        opt.progress("distances", i + 1, n);
    }

    std::free(block);
    std::free(s);
}

} // namespace fast
} // namespace ht
