// Hot loops of the fast method. This file alone may contract a*b+c into
// FMA (-ffp-contract=fast, set in CMakeLists.txt): nothing here relies on
// the order of roundings beyond TwoSum, which has no products to contract.
// The bodies are written once and instantiated in a baseline function and,
// on x86-64, a target("avx2,fma") function; the CPU is probed at run time,
// never at build time. Other targets build the baseline bodies only (with
// whatever vector unit and FMA their baseline has).
#include "fast_loops.h"
#include "vec4.h"

#include "constants.h"
#include "drift.h"
#include "eft.h"
#include "rounding_guard.h"

namespace ht {
namespace fast {
namespace {

// (1 + 4 pi^2 r)^(-3/4) = 1 / (sqrt(b) * sqrt(sqrt(b))): three correctly
// rounded operations and a product instead of pow, so the loop vectorises.
// `scale` (1 or 2) is folded into the division exactly.
[[gnu::always_inline]] inline double kernel(double r, double scale)
{
    const double b = r * four_pi_sq + 1.0;
    const double sb = __builtin_sqrt(b);
    return scale / (sb * __builtin_sqrt(sb));
}

// a + f, its rounding error added to lo.
[[gnu::always_inline]] inline void add_compensated(double &a, double &lo, double f)
{
    const dd t = two_sum(a, f);
    a = t.hi;
    lo += t.lo;
}

// Row j of the upper triangle at a time: the kernel values (the costly
// part, vectorised) go into A in double-double and into row[]; each drift
// moment then multiplies row[] by (e_j + e_k) once more and adds it in, a
// short streaming loop per order.
[[gnu::always_inline]] inline void moments_body(
    const double *__restrict x2, const double *__restrict e, std::size_t N, int P,
    double *const *mom, double *__restrict lo, double *__restrict row,
    double *__restrict de)
{
    double *__restrict A = mom[0];
    for (std::size_t j = 0; j < N; ++j) {
        const double xj2 = x2[j];
        const double ej = e[j];
        {
            const std::size_t m = j + j;
            const double f = kernel(xj2 + xj2, 1.0);
            add_compensated(A[m], lo[m], f);
            double t = f;
            for (int p = 1; p <= P; ++p) {
                t *= ej + ej;
                mom[p][m] += t;
            }
        }
        // Row j right of the diagonal counts for (j,k) and (k,j).
        double *__restrict Aj = A + j;
        double *__restrict lj = lo + j;
        for (std::size_t k = j + 1; k < N; ++k) {
            const double f = kernel(xj2 + x2[k], 2.0);
            add_compensated(Aj[k], lj[k], f);
            row[k] = f;
            de[k] = ej + e[k];
        }
        for (int p = 1; p <= P; ++p) {
            double *__restrict mj = mom[p] + j;
            for (std::size_t k = j + 1; k < N; ++k) {
                row[k] *= de[k];
                mj[k] += row[k];
            }
        }
    }
    const std::size_t M = N + N - 1;
    for (std::size_t m = 0; m < M; ++m) {
        A[m] += lo[m];
        lo[m] = 0.0;
    }
}

// D + iE = sum_p coef[p] i^p mom_p: even orders are real, odd ones
// imaginary (coef carries the sign of i^p for p >= 2). P is a template
// argument so that the loop over the orders unrolls.
template <int P>
[[gnu::always_inline]] inline void block_sums_order(
    const double *const *mom, const double *coef, std::size_t nblocks,
    const double *__restrict wr, const double *__restrict wi,
    double *__restrict re, double *__restrict im)
{
    v4d cf[P + 1];
    for (int p = 1; p <= P; ++p)
        cf[p] = v4d{coef[p], coef[p], coef[p], coef[p]};
    for (std::size_t q = 0; q < nblocks; ++q) {
        const std::size_t base = q * block_width;
        v4d acc_re = {0, 0, 0, 0};
        v4d acc_im = {0, 0, 0, 0};
        for (std::size_t t = 0; t < block_width; t += 4) {
            v4d D = load4(mom[0] + base + t);
            v4d E = {0, 0, 0, 0};
            for (int p = 1; p <= P; ++p) {
                const v4d v = cf[p] * load4(mom[p] + base + t);
                if (p % 2 != 0)
                    E += v;
                else
                    D += v;
            }
            const v4d c = load4(wr + t);
            const v4d s = load4(wi + t);
            acc_re += c * D - s * E;
            acc_im += c * E + s * D;
        }
        re[q] = (acc_re[0] + acc_re[1]) + (acc_re[2] + acc_re[3]);
        im[q] = (acc_im[0] + acc_im[1]) + (acc_im[2] + acc_im[3]);
    }
}

[[gnu::always_inline]] inline void block_sums_body(
    const double *const *mom, int P, const double *coef, std::size_t nblocks,
    const double *wr, const double *wi, double *re, double *im)
{
    static_assert(max_drift_order == 8, "one case per order");
    switch (P) {
    case 0: block_sums_order<0>(mom, coef, nblocks, wr, wi, re, im); break;
    case 1: block_sums_order<1>(mom, coef, nblocks, wr, wi, re, im); break;
    case 2: block_sums_order<2>(mom, coef, nblocks, wr, wi, re, im); break;
    case 3: block_sums_order<3>(mom, coef, nblocks, wr, wi, re, im); break;
    case 4: block_sums_order<4>(mom, coef, nblocks, wr, wi, re, im); break;
    case 5: block_sums_order<5>(mom, coef, nblocks, wr, wi, re, im); break;
    case 6: block_sums_order<6>(mom, coef, nblocks, wr, wi, re, im); break;
    case 7: block_sums_order<7>(mom, coef, nblocks, wr, wi, re, im); break;
    default: block_sums_order<8>(mom, coef, nblocks, wr, wi, re, im); break;
    }
}

void moments_baseline(const double *x2, const double *e, std::size_t N, int P,
                      double *const *mom, double *lo, double *row, double *de)
{
    moments_body(x2, e, N, P, mom, lo, row, de);
}

#if defined(HANKEL_TRANSF_FAST_HAVE_AVX2)
[[gnu::target("avx2,fma")]]
void moments_avx2(const double *x2, const double *e, std::size_t N, int P,
                  double *const *mom, double *lo, double *row, double *de)
{
    moments_body(x2, e, N, P, mom, lo, row, de);
}
#endif

void block_sums_baseline(const double *const *mom, int P, const double *coef,
                         std::size_t nblocks, const double *wr, const double *wi,
                         double *re, double *im)
{
    block_sums_body(mom, P, coef, nblocks, wr, wi, re, im);
}

#if defined(HANKEL_TRANSF_FAST_HAVE_AVX2)
[[gnu::target("avx2,fma")]]
void block_sums_avx2(const double *const *mom, int P, const double *coef,
                     std::size_t nblocks, const double *wr, const double *wi,
                     double *re, double *im)
{
    block_sums_body(mom, P, coef, nblocks, wr, wi, re, im);
}
#endif

} // namespace

bool avx2_fma_available() noexcept
{
#if defined(HANKEL_TRANSF_FAST_HAVE_AVX2)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

void antidiagonal_moments(const double *x2, const double *e, std::size_t N, int P,
                          double *const *mom, double *lo, double *row, double *de,
                          bool use_avx2) noexcept
{
#if defined(HANKEL_TRANSF_FAST_HAVE_AVX2)
    if (use_avx2) {
        moments_avx2(x2, e, N, P, mom, lo, row, de);
        return;
    }
#endif
    (void)use_avx2;
    moments_baseline(x2, e, N, P, mom, lo, row, de);
}

void block_sums(const double *const *mom, int P, const double *coef, std::size_t nblocks,
                const double *wr, const double *wi, double *re, double *im,
                bool use_avx2) noexcept
{
#if defined(HANKEL_TRANSF_FAST_HAVE_AVX2)
    if (use_avx2) {
        block_sums_avx2(mom, P, coef, nblocks, wr, wi, re, im);
        return;
    }
#endif
    (void)use_avx2;
    block_sums_baseline(mom, P, coef, nblocks, wr, wi, re, im);
}

} // namespace fast
} // namespace ht
