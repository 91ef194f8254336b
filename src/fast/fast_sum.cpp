// The fast method: anti-diagonal moments of the kernel, then one rotated
// complex dot product per distance. Phases are reduced exactly, in cycles,
// in double-double (phase.h); this file keeps -ffp-contract=off so that
// TwoSum and the explicit fma-based TwoProd stay error-free transformations.
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
// The remainder is at most |delta|^3/6 relative to S = sum f; on a built grid
// |delta| <= 4*pi*s*max|e_j| is below 1e-6 even for N ~ 1e5.
#include "fast_sum.h"

#include "eft.h"
#include "fast_loops.h"
#include "grid.h"
#include "phase.h"
#include "rounding_guard.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace ht {
namespace fast {

layout layout_for(std::size_t N) noexcept
{
    layout L;
    L.N = N;
    L.M = N + N - 1;
    L.nblocks = (L.M + block_width - 1) / block_width;
    L.padded = L.nblocks * block_width;
    L.doubles = 3 * N + 4 * L.padded + 2 * block_width + 2 * L.nblocks;
    return L;
}

work carve(double *space, const layout &L) noexcept
{
    work w;
    double *p = space;
    w.x = p;  p += L.N;
    w.e = p;  p += L.N;
    w.x2 = p; p += L.N;
    w.A = p;  p += L.padded;
    w.lo = p; p += L.padded;
    w.B = p;  p += L.padded;
    w.C = p;  p += L.padded;
    w.wr = p; p += block_width;
    w.wi = p; p += block_width;
    w.re = p; p += L.nblocks;
    w.im = p;
    return w;
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

void drift(const layout &L, work &w, double h, double sigma) noexcept
{
    grid_deviation(w.x, static_cast<int>(L.N), h, w.e);
    // 2*pi*s itself, and its square in the second-order term, overflow for
    // distances beyond ~1e153, while s*e stays near N*2^-53 at every scale.
    for (std::size_t j = 0; j < L.N; ++j)
        w.e[j] = sigma * w.e[j];
    for (std::size_t j = 0; j < L.N; ++j)
        w.x2[j] = w.x[j] * w.x[j];
}

void moments(const layout &L, work &w, bool use_avx2) noexcept
{
    std::memset(w.A, 0, sizeof(double) * L.padded);
    std::memset(w.lo, 0, sizeof(double) * L.padded);
    std::memset(w.B, 0, sizeof(double) * L.padded);
    std::memset(w.C, 0, sizeof(double) * L.padded);
    antidiagonal_moments(w.x2, w.e, L.N, w.A, w.lo, w.B, w.C, use_avx2);
}

double at_distance(const layout &L, work &w, double s, double h, double sigma,
                   bool use_avx2) noexcept
{
    const double x0 = w.x[0];
    const dd a = two_prod(s, x0 + x0);   // s*(2 x_0), cycles
    const dd q = two_prod(s, h);         // s*h, cycles per anti-diagonal
    const double ps = two_pi * (s / sigma);
    const double q2 = 0.5 * (ps * ps);

    for (std::size_t t = 0; t < block_width; ++t)
        cis(reduce_phase(dd{0.0, 0.0}, static_cast<double>(t), q), &w.wr[t], &w.wi[t]);
    block_sums(w.A, w.B, w.C, L.nblocks, q2, ps, w.wr, w.wi, w.re, w.im, use_avx2);

    // Neumaier-compensated sum of the rotated block sums.
    double acc = 0.0, comp = 0.0;
    for (std::size_t b = 0; b < L.nblocks; ++b) {
        double c, sn;
        cis(reduce_phase(a, static_cast<double>(b * block_width), q), &c, &sn);
        const double term = c * w.re[b] - sn * w.im[b];
        const dd t = two_sum(acc, term);
        acc = t.hi;
        comp += t.lo;
    }
    return acc + comp;
}

void sum(double *ht_vec, const double *td_vec, int n, const options &opt) noexcept
{
    grid g;
    if (!plan_call(ht_vec, td_vec, n, &g))
        return;
    const layout L = layout_for(static_cast<std::size_t>(g.num_samp_desired));

    void *(*alloc)(std::size_t) = opt.alloc != nullptr ? opt.alloc : std::malloc;
    // The distances are copied first: ht_vec may alias td_vec.
    double *s = static_cast<double *>(alloc(sizeof(double) * static_cast<std::size_t>(n)));
    double *space = s == nullptr ? nullptr
                                 : static_cast<double *>(alloc(sizeof(double) * L.doubles));
    if (space == nullptr) {
        std::free(s);
        fill_nan(ht_vec, n);
        return;
    }
    scale_distances(td_vec, n, s);

    work w = carve(space, L);
    fill_grid(g, w.x);
    const double h = g.incr_desired;
    const double sigma = g.max_s;
    drift(L, w, h, sigma);

    const bool avx2 = opt.path == isa::baseline ? false : avx2_fma_available();
    moments(L, w, avx2);
    for (int i = 0; i < n; ++i) {
        ht_vec[i] = at_distance(L, w, s[i], h, sigma, avx2);
        opt.progress("distances", i + 1, n);
    }

    std::free(space);
    std::free(s);
}

} // namespace fast
} // namespace ht
