// The fast method: anti-diagonal moments of the kernel, then one rotated
// complex dot product per distance. Phases are reduced exactly, in cycles,
// in double-double (phase.h); this file keeps -ffp-contract=off so that
// TwoSum and the explicit fma-based TwoProd stay error-free transformations.
//
// Grid: x_j = x0 + j*h + e_j with the line (x0, h) fitted to the built grid
// (drift.h) and e_j its tiny drift from it. With m = j + k,
//   2*pi*s*(x_j + x_k) = theta_m + delta_jk,
//   theta_m = 2*pi*s*(2*x0 + m*h),   delta_jk = 2*pi*s*(e_j + e_k),
// and expanding cos(theta + delta) = Re(e^(i theta) e^(i delta)) to order P,
//   ht(s) = Re sum_m e^(i theta_m) sum_{p<=P} (i*ps)^p/p! * mom_p[m],
//   mom_p[m] = sum_{j+k=m} f(x_j, x_k) (eps_j + eps_k)^p,
// with eps = sigma*e, ps = 2*pi*s/sigma <= 2*pi and sigma = max_s, so that
// every factor stays finite at any scale. The remainder is at most
// delta_max^(P+1)/(P+1)! of S = sum f, and P is the smallest order that
// keeps it below 1e-17 (drift_order).
#include "fast_sum.h"

#include "eft.h"
#include "expsum.h"
#include "fast_cost.h"
#include "fast_loops.h"
#include "grid.h"
#include "moments_fft.h"
#include "nufft.h"
#include "phase.h"
#include "rounding_guard.h"

#include <algorithm>
#include <cmath>
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
    L.grid_doubles = 3 * N;
    L.P = 0;
    L.route = moment_route::direct;
    L.stride = 0;
    L.moment_doubles = 0;
    return L;
}

void plan_moments(layout &L, int P, moment_route route) noexcept
{
    L.P = P;
    L.route = route;
    const std::size_t need = route == moment_route::fft
                                 ? std::max(L.padded, fft_moment_length(L.N)) : L.padded;
    L.stride = fft_aligned_count(need);
    const std::size_t direct_scratch = route == moment_route::fft ? 0 : L.padded + 2 * L.N;
    L.moment_doubles = static_cast<std::size_t>(P + 1) * L.stride + direct_scratch
                       + 2 * block_width + 2 * L.nblocks + fft_alignment / sizeof(double);
}

void carve_grid(double *space, const layout &L, work &w) noexcept
{
    w.x = space;
    w.e = w.x + L.N;
    w.x2 = w.e + L.N;
}

void carve_moments(double *space, const layout &L, work &w) noexcept
{
    double *p = fft_aligned(space);
    for (int k = 0; k <= max_drift_order; ++k)
        w.mom[k] = nullptr;
    for (int k = 0; k <= L.P; ++k) {
        w.mom[k] = p;
        p += L.stride;
    }
    w.lo = w.row = w.de = nullptr;
    if (L.route != moment_route::fft) {
        w.lo = p;  p += L.padded;
        w.row = p; p += L.N;
        w.de = p;  p += L.N;
    }
    w.wr = p; p += block_width;
    w.wi = p; p += block_width;
    w.re = p; p += L.nblocks;
    w.im = p;
}

double drift(const layout &L, work &w, double h, double sigma) noexcept
{
    double delta_max = 0.0;
    w.ln = measure_drift(w.x, L.N, h, sigma, w.e, &delta_max);
    w.sigma = sigma;
    for (std::size_t j = 0; j < L.N; ++j)
        w.x2[j] = w.x[j] * w.x[j];
    return delta_max;
}

double kernel_range(const layout &L, const work &w) noexcept
{
    return kernel_range_at(std::max(w.x2[0], w.x2[L.N - 1]));   // the grid's ends
}

bool moments(const layout &L, work &w, bool use_avx2, void *(*alloc)(std::size_t),
             const progress_hook &progress) noexcept
{
    if (L.route == moment_route::fft)
        return fft_moments(w.x2, w.e, L.N, L.P, kernel_range(L, w), w.mom, L.stride, alloc,
                           progress);
    for (int p = 0; p <= L.P; ++p)
        std::memset(w.mom[p], 0, sizeof(double) * L.stride);
    std::memset(w.lo, 0, sizeof(double) * L.padded);
    antidiagonal_moments(w.x2, w.e, L.N, L.P, w.mom, w.lo, w.row, w.de, use_avx2);
    return true;
}

double at_distance(const layout &L, work &w, double s, bool use_avx2) noexcept
{
    // s*(2 x0) and s*h in cycles, as double-doubles: the products of s with
    // the leading parts are exact, those with the low parts add below
    // 2^-100 relative.
    const dd x0 = w.ln.x0, h = w.ln.h;
    const dd a0 = two_prod(s, x0.hi + x0.hi);
    const dd a = two_sum(a0.hi, a0.lo + s * (x0.lo + x0.lo));
    const dd q0 = two_prod(s, h.hi);
    const dd q = two_sum(q0.hi, q0.lo + s * h.lo);

    // coef[p] = (-1)^floor(p/2) * ps^p / p!: the real factor of (i*ps)^p/p!.
    const double ps = two_pi * (s / w.sigma);
    double coef[max_drift_order + 1];
    double power = 1.0;
    for (int p = 1; p <= L.P; ++p) {
        power = power * ps / p;
        coef[p] = (p / 2) % 2 == 0 ? power : -power;
    }

    for (std::size_t t = 0; t < block_width; ++t)
        cis(reduce_phase(dd{0.0, 0.0}, static_cast<double>(t), q), &w.wr[t], &w.wi[t]);
    block_sums(w.mom, L.P, coef, L.nblocks, w.wr, w.wi, w.re, w.im, use_avx2);

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

namespace {

// All distances by the non-uniform FFT, when opt or the cost model chooses
// it (faster, and its work space in proportion to the call's: nufft_fits). False, with nothing written, when the direct route is to run instead:
// chosen so, or the transform's work space or FFT plan could not be had
// (the direct route needs nothing more).
bool by_nufft(const layout &L, const work &w, const double *s, int n, double *ht_vec,
              void *(*alloc)(std::size_t), bool avx2, const options &opt)
{
    const long long N = static_cast<long long>(L.N);
    const double rest = 8.0 * static_cast<double>(L.grid_doubles + L.moment_doubles + n);
    if (opt.distances == distance_route::direct ||
        (opt.distances == distance_route::automatic &&
         !(nufft_pays(N, n, avx2 ? avx2_fma_cost : baseline_cost, L.P) && nufft_fits(N, L.P, rest))))
        return false;
    moment_set ms;
    ms.mom = w.mom;
    ms.P = L.P;
    ms.M = L.M;
    ms.x0 = w.ln.x0;
    ms.h = w.ln.h;
    ms.sigma = w.sigma;
    return nufft_distances(ms, s, n, ht_vec, alloc, avx2, opt.progress);
}

} // namespace

void sum(double *ht_vec, const double *td_vec, int n, const options &opt) noexcept
{
    grid g;
    if (!plan_call(ht_vec, td_vec, n, &g))
        return;
    layout L = layout_for(static_cast<std::size_t>(g.num_samp_desired));

    void *(*alloc)(std::size_t) = opt.alloc != nullptr ? opt.alloc : std::malloc;
    // The distances are copied first: ht_vec may alias td_vec.
    double *s = static_cast<double *>(alloc(sizeof(double) * static_cast<std::size_t>(n)));
    double *grid_space = s == nullptr ? nullptr
                                      : static_cast<double *>(alloc(sizeof(double) * L.grid_doubles));
    double *moment_space = nullptr;
    bool done = false;
    if (grid_space != nullptr) {
        scale_distances(td_vec, n, s);
        work w;
        carve_grid(grid_space, L, w);
        fill_grid(g, w.x);
        const int P = drift_order(drift(L, w, g.incr_desired, g.max_s));
        if (P >= 0) {
            const moment_route route = opt.moments != moment_route::automatic
                                           ? opt.moments
                                           : cheaper_route(static_cast<long long>(L.N), P,
                                                           kernel_range(L, w));
            plan_moments(L, P, route);
            moment_space = static_cast<double *>(alloc(sizeof(double) * L.moment_doubles));
        }
        const bool avx2 = opt.path == isa::baseline ? false : avx2_fma_available();
        if (moment_space != nullptr) {
            carve_moments(moment_space, L, w);
            done = moments(L, w, avx2, alloc, opt.progress);
        }
        if (done && !by_nufft(L, w, s, n, ht_vec, alloc, avx2, opt))
            for (int i = 0; i < n; ++i) {
                ht_vec[i] = at_distance(L, w, s[i], avx2);
                opt.progress("distances", i + 1, n);
            }
    }
    if (!done)
        fill_nan(ht_vec, n);
    std::free(moment_space);
    std::free(grid_space);
    std::free(s);
}

} // namespace fast
} // namespace ht
