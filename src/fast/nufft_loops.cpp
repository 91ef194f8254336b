// The non-uniform FFT's per-target loop. Like fast_loops.cpp this file may
// contract a*b + c into FMA (-ffp-contract=fast): it holds no error-free
// transformation, only a polynomial and a dot product, whose rounding
// errors are part of the measured error either way.
#include "nufft_loops.h"

#include "fast_loops.h"
#include "vec4.h"
#include "rounding_guard.h"

namespace ht {
namespace fast {
namespace {

// The polynomials for `chunks` groups of 4 pieces at once, split into even
// and odd powers, p(t) = E(t^2) + t*O(t^2), each by Horner's rule in t^2:
// two independent chains of half the length. `degree` is odd; the rows run
// from t^degree down to t^0.
template <int chunks>
[[gnu::always_inline]] inline void kernel_values(const double *__restrict poly, int degree,
                                                 double t, double *__restrict k)
{
    constexpr int lanes = 4 * chunks;
    const v4d tv = {t, t, t, t};
    const v4d uv = tv * tv;
    v4d odd[chunks], even[chunks];
#pragma GCC unroll 8
    for (int c = 0; c < chunks; ++c) {
        odd[c] = load4(poly + 4 * c);
        even[c] = load4(poly + lanes + 4 * c);
    }
    for (int j = 2; j <= degree; j += 2)
#pragma GCC unroll 8
        for (int c = 0; c < chunks; ++c) {
            odd[c] = odd[c] * uv + load4(poly + j * lanes + 4 * c);
            even[c] = even[c] * uv + load4(poly + (j + 1) * lanes + 4 * c);
        }
#pragma GCC unroll 8
    for (int c = 0; c < chunks; ++c)
        odd[c] = even[c] + tv * odd[c];
    __builtin_memcpy(k, odd, sizeof odd);
}

// out[0..2V) = sum_{i < lanes} k_i * g[i*2V + 0..2V), in four interleaved
// partial sums so that the additions do not wait on each other. The padding
// pieces have k_i = 0 and the fine grid extends `lanes` points past K, so
// running to lanes reads valid memory and adds nothing.
template <int V>
[[gnu::always_inline]] inline void weighted_sum(const double *__restrict k, int lanes,
                                                const double *__restrict g,
                                                double *__restrict out)
{
    constexpr int row = 2 * V;
    double acc[4][row] = {};
    for (int i = 0; i < lanes; i += 4) {
#pragma GCC unroll 4
        for (int u = 0; u < 4; ++u) {
            const double ki = k[i + u];
            const double *gi = g + (i + u) * row;
#pragma GCC unroll 16
            for (int j = 0; j < row; ++j)
                acc[u][j] += ki * gi[j];
        }
    }
#pragma GCC unroll 16
    for (int j = 0; j < row; ++j)
        out[j] = (acc[0][j] + acc[1][j]) + (acc[2][j] + acc[3][j]);
}

[[gnu::always_inline]] inline void weighted_sum_any(const double *__restrict k, int lanes,
                                                    const double *__restrict g, int V,
                                                    double *__restrict out)
{
    for (int j = 0; j < 2 * V; ++j)
        out[j] = 0.0;
    for (int i = 0; i < lanes; ++i)
        for (int j = 0; j < 2 * V; ++j)
            out[j] += k[i] * g[i * 2 * V + j];
}

[[gnu::always_inline]] inline void interpolate_body(const double *poly, int degree, int lanes,
                                                    double t, const double *g,
                                                    int V, double *out)
{
    alignas(32) double k[nufft_max_lanes];
    switch (lanes / 4) {
    case 1: kernel_values<1>(poly, degree, t, k); break;
    case 2: kernel_values<2>(poly, degree, t, k); break;
    case 3: kernel_values<3>(poly, degree, t, k); break;
    case 4: kernel_values<4>(poly, degree, t, k); break;
    case 5: kernel_values<5>(poly, degree, t, k); break;
    default: kernel_values<6>(poly, degree, t, k); break;
    }
    switch (V) {
    case 1: weighted_sum<1>(k, lanes, g, out); break;
    case 2: weighted_sum<2>(k, lanes, g, out); break;
    case 3: weighted_sum<3>(k, lanes, g, out); break;
    case 4: weighted_sum<4>(k, lanes, g, out); break;
    case 5: weighted_sum<5>(k, lanes, g, out); break;
    case 6: weighted_sum<6>(k, lanes, g, out); break;
    default: weighted_sum_any(k, lanes, g, V, out); break;
    }
}

void interpolate_baseline(const double *poly, int degree, int lanes, double t,
                          const double *g, int V, double *out)
{
    interpolate_body(poly, degree, lanes, t, g, V, out);
}

#if defined(HANKEL_TRANSF_FAST_HAVE_AVX2)
[[gnu::target("avx2,fma")]]
void interpolate_avx2(const double *poly, int degree, int lanes, double t,
                      const double *g, int V, double *out)
{
    interpolate_body(poly, degree, lanes, t, g, V, out);
}
#endif

} // namespace

void nufft_interpolate(const double *poly, int degree, int lanes, double t,
                       const double *g, int V, double *out, bool use_avx2) noexcept
{
#if defined(HANKEL_TRANSF_FAST_HAVE_AVX2)
    if (use_avx2) {
        interpolate_avx2(poly, degree, lanes, t, g, V, out);
        return;
    }
#endif
    (void)use_avx2;
    interpolate_baseline(poly, degree, lanes, t, g, V, out);
}

} // namespace fast
} // namespace ht
