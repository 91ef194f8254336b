// Anti-diagonal moments through the exponential sum of the kernel and
// FFTW's real transforms. See moments_fft.h for the route and
// docs/fast-method.md for the error analysis.
#include "moments_fft.h"

#include "constants.h"
#include "drift.h"
#include "expsum.h"
#include "fftw_planning.h"

#include <fftw3.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace ht {
namespace fast {
namespace {

// Binomial coefficients C(p, a), p <= max_drift_order.
constexpr double binomial[max_drift_order + 1][max_drift_order + 1] = {
    {1}, {1, 1}, {1, 2, 1}, {1, 3, 3, 1}, {1, 4, 6, 4, 1}, {1, 5, 10, 10, 5, 1},
    {1, 6, 15, 20, 15, 6, 1}, {1, 7, 21, 35, 35, 21, 7, 1}, {1, 8, 28, 56, 70, 56, 28, 8, 1},
};
static_assert(max_drift_order == 8, "the binomial table has one row per order");

// A Gaussian factor below e^-700 is stored as 0: its products are below
// 1e-300 of the term's weight, and subnormal inputs would slow the FFT.
constexpr double negligible_exponent = 700.0;

bool seven_smooth(std::size_t n)
{
    for (std::size_t p : {2u, 3u, 5u, 7u})
        while (n % p == 0)
            n /= p;
    return n == 1;
}

bool aligned(const double *p)
{
    return reinterpret_cast<std::uintptr_t>(p) % fft_alignment == 0;
}

// In-place real transforms of length L (64-bit sizes: L may exceed INT_MAX).
fftw_plan plan_forward(std::size_t L, double *buf)
{
    fftw_iodim64 dim = {static_cast<std::ptrdiff_t>(L), 1, 1};
    return fftw_plan_guru64_dft_r2c(1, &dim, 0, nullptr, buf,
                                    reinterpret_cast<fftw_complex *>(buf), FFTW_ESTIMATE);
}

fftw_plan plan_inverse(std::size_t L, double *buf)
{
    fftw_iodim64 dim = {static_cast<std::ptrdiff_t>(L), 1, 1};
    return fftw_plan_guru64_dft_c2r(1, &dim, 0, nullptr, reinterpret_cast<fftw_complex *>(buf),
                                    buf, FFTW_ESTIMATE);
}

// G[a] = g * eps^a on the grid, zero-padded to L, for one term w exp(-t b).
void fill_factors(const double *x2, const double *eps, std::size_t N, std::size_t L, int P,
                  exp_term term, double *const *G)
{
    const double root_w = std::sqrt(term.w);
    for (std::size_t j = 0; j < N; ++j) {
        const double y = term.t * (0.5 + x2[j] * four_pi_sq);
        double v = y < negligible_exponent ? root_w * std::exp(-y) : 0.0;
        G[0][j] = v;
        for (int a = 1; a <= P; ++a) {
            v *= eps[j];
            G[a][j] = v;
        }
    }
    for (int a = 0; a <= P; ++a)
        std::memset(G[a] + N, 0, sizeof(double) * (L - N));
}

// acc_p += sum_{a+b=p} C(p,a) G_a G_b over the K complex frequencies.
void accumulate(double *const *G, double *const *acc, int P, std::size_t K)
{
    for (std::size_t k = 0; k < 2 * K; k += 2) {
        double re[max_drift_order + 1], im[max_drift_order + 1];
        for (int a = 0; a <= P; ++a) {
            re[a] = G[a][k];
            im[a] = G[a][k + 1];
        }
        for (int p = 0; p <= P; ++p) {
            double sr = 0.0, si = 0.0;
            for (int a = 0; a + a < p; ++a) {   // pairs (a, p-a) and (p-a, a)
                const double c = 2.0 * binomial[p][a];
                const int b = p - a;
                sr += c * (re[a] * re[b] - im[a] * im[b]);
                si += c * (re[a] * im[b] + im[a] * re[b]);
            }
            if (p % 2 == 0) {
                const int a = p / 2;
                const double c = binomial[p][a];
                sr += c * (re[a] * re[a] - im[a] * im[a]);
                si += c * (2.0 * re[a] * im[a]);
            }
            acc[p][k] += sr;
            acc[p][k + 1] += si;
        }
    }
}

} // namespace

std::size_t fft_length(std::size_t N) noexcept
{
    std::size_t L = N + N - 1;
    L += L % 2;
    while (!seven_smooth(L))
        L += 2;
    return L;
}

std::size_t fft_moment_length(std::size_t N) noexcept
{
    return fft_length(N) + 2;
}

std::size_t fft_work_doubles(std::size_t N, int P, double b_max) noexcept
{
    const std::size_t per = fft_aligned_count(fft_moment_length(N));
    const std::size_t terms = expsum_size(b_max) * (sizeof(exp_term) / sizeof(double));
    return static_cast<std::size_t>(P + 1) * per + terms + fft_alignment / sizeof(double);
}

bool fft_moments(const double *x2, const double *eps, std::size_t N, int P, double b_max,
                 double *const *mom, std::size_t mom_length, void *(*alloc)(std::size_t),
                 const progress_hook &progress) noexcept
{
    const std::size_t T = expsum_size(b_max);
    if (P < 0 || P > max_drift_order || T == 0 || N == 0)
        return false;
    for (int p = 0; p <= P; ++p)
        if (!aligned(mom[p]))
            return false;
    const std::size_t L = fft_length(N);
    const std::size_t len = L + 2;
    const std::size_t per = fft_aligned_count(len);
    if (mom_length < len)
        return false;

    void *raw = alloc(sizeof(double) * fft_work_doubles(N, P, b_max));
    if (raw == nullptr)
        return false;
    double *G[max_drift_order + 1];
    double *base = fft_aligned(raw);
    for (int a = 0; a <= P; ++a)
        G[a] = base + static_cast<std::size_t>(a) * per;
    exp_term *terms = reinterpret_cast<exp_term *>(base + static_cast<std::size_t>(P + 1) * per);
    expsum_terms(b_max, terms);

    // Room for FFTW's two plans, taken and released just before planning.
    if (!fftw_room(L, alloc)) {
        std::free(raw);
        return false;
    }
    fftw_planning_lock_on();
    const fftw_plan forward = plan_forward(L, G[0]);
    const fftw_plan inverse = plan_inverse(L, mom[0]);
    const bool planned = forward != nullptr && inverse != nullptr;
    if (planned) {
        for (int p = 0; p <= P; ++p)
            std::memset(mom[p], 0, sizeof(double) * len);
        const std::size_t K = L / 2 + 1;
        for (std::size_t l = 0; l < T; ++l) {
            fill_factors(x2, eps, N, L, P, terms[l], G);
            for (int a = 0; a <= P; ++a)
                fftw_execute_dft_r2c(forward, G[a], reinterpret_cast<fftw_complex *>(G[a]));
            accumulate(G, mom, P, K);
            progress("moment terms", static_cast<long long>(l + 1), static_cast<long long>(T));
        }
        const std::size_t M = N + N - 1;
        const double Ld = static_cast<double>(L);   // exact: L < 2^53
        for (int p = 0; p <= P; ++p) {
            fftw_execute_dft_c2r(inverse, reinterpret_cast<fftw_complex *>(mom[p]), mom[p]);
            for (std::size_t m = 0; m < M; ++m)
                mom[p][m] /= Ld;
            std::memset(mom[p] + M, 0, sizeof(double) * (mom_length - M));
        }
    }
    if (forward != nullptr)
        fftw_destroy_plan(forward);
    if (inverse != nullptr)
        fftw_destroy_plan(inverse);
    std::free(raw);
    return planned;
}

} // namespace fast
} // namespace ht
