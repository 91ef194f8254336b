// The non-uniform FFT stage (src/fast/nufft.h): each ingredient against its
// own closed form or quadrature, the whole transform against the exact
// trigonometric sum in quadruple precision, and the per-distance stage
// against a direct evaluation of the same expansion. Tolerances are graded
// to the measured errors (in brackets) on this machine's AVX2+FMA path; each
// names the fault it is there to catch.
#include "hankel_transf.h"

#include "fast_cost.h"
#include "fast_loops.h"
#include "fast_sum.h"
#include "grid.h"
#include "nufft.h"
#include "quad_reference.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <quadmath.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using ht::fast::dd;
using ht::fast::nufft;
using ht::fast::nufft_shape;

std::string hexq(__float128 v)
{
    char buf[96];
    quadmath_snprintf(buf, sizeof buf, "%.6Qe", v);
    return buf;
}

// The kernel moments of the grid for distances [1, ratio], as the fast
// method computes them: A, B = first drift moment, C = second.
struct grid_moments {
    ht::grid g;
    std::size_t N = 0, M = 0;
    std::vector<double> x, A, B, C;
    double S = 0;   // sum of A = sum_{j,k} f
};

grid_moments moments_for(double ratio)
{
    grid_moments gm;
    const double d[2] = {1.0, ratio};
    EXPECT_EQ(ht::plan_grid(d, 2, &gm.g), ht::plan_status::ok);
    gm.N = static_cast<std::size_t>(gm.g.num_samp_desired);
    gm.M = 2 * gm.N - 1;
    gm.x.resize(gm.N);
    ht::fill_grid(gm.g, gm.x.data());
    std::vector<double> e(gm.N), x2(gm.N);
    ht::fast::grid_deviation(gm.x.data(), static_cast<int>(gm.N), gm.g.incr_desired, e.data());
    for (std::size_t j = 0; j < gm.N; ++j) {
        e[j] *= gm.g.max_s;
        x2[j] = gm.x[j] * gm.x[j];
    }
    const std::size_t padded = gm.M + 64;
    std::vector<double> lo(padded), row(gm.N), de(gm.N);
    gm.A.assign(padded, 0.0);
    gm.B.assign(padded, 0.0);
    gm.C.assign(padded, 0.0);
    double *const mom[3] = {gm.A.data(), gm.B.data(), gm.C.data()};
    ht::fast::antidiagonal_moments(x2.data(), e.data(), gm.N, 2, mom, lo.data(), row.data(),
                                   de.data(), ht::fast::avx2_fma_available());
    gm.A.resize(gm.M);
    gm.B.resize(gm.M);
    gm.C.resize(gm.M);
    for (double a : gm.A)
        gm.S += a;
    return gm;
}

struct cplx_q {
    __float128 re, im;
};

// sum_m c[m] exp(2 pi i (m - m0) r) with r = r.hi + r.lo exactly, every
// phase reduced modulo 1 in binary128 (113 bits: m*r is exact to ~1e-30).
cplx_q exact_transform(const std::vector<double> &c, std::size_t m0, dd r)
{
    const __float128 R = static_cast<__float128>(r.hi) + r.lo;
    __float128 re = 0, im = 0;
    for (std::size_t m = 0; m < c.size(); ++m) {
        __float128 ph = static_cast<__float128>(static_cast<long long>(m) -
                                                static_cast<long long>(m0)) * R;
        ph -= roundq(ph);
        const __float128 a = 2 * M_PIq * ph;
        re += c[m] * cosq(a);
        im += c[m] * sinq(a);
    }
    return {re, im};
}

double l1(const std::vector<double> &c)
{
    double s = 0;
    for (double v : c)
        s += std::fabs(v);
    return s;
}

// A prepared and loaded transform of the given vectors, owning its space.
struct loaded {
    std::vector<double> space;
    nufft p;
    loaded(const nufft_shape &sh, const std::vector<const double *> &c)
        : space(ht::fast::nufft_doubles(sh, static_cast<int>(c.size())))
    {
        p = ht::fast::nufft_prepare(sh, static_cast<int>(c.size()), space.data());
        EXPECT_TRUE(ht::fast::nufft_load(p, c.data()));
    }
};

// Targets: the phase steps s*h of distances log-uniform over the call (as the
// method uses them: small r, where |G| is close to sum |c|, included), a few
// negative ones (the upper half of the fine grid), and some far outside
// [-1/2, 1/2] (the reduction modulo 1).
std::vector<dd> targets_for(const ht::grid &g, int n, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double ratio = g.max_s / g.min_s;
    std::vector<dd> r;
    for (int i = 0; i < n; ++i) {
        const double s = g.min_s * std::exp(u(rng) * std::log(ratio));
        dd q = ht::fast::two_prod(s, g.incr_desired);
        if (i % 5 == 3)
            q.hi = -q.hi, q.lo = -q.lo;
        if (i % 7 == 6)
            q.hi += 4097.0;   // exact: q.hi < 1/2
        r.push_back(q);
    }
    return r;
}

// Largest |transform - exact| / sum|c| over the targets, for each vector.
std::vector<double> transform_errors(const nufft &p, const std::vector<std::vector<double>> &c,
                                     const std::vector<dd> &targets)
{
    std::vector<double> worst(c.size(), 0.0);
    std::vector<double> out(2 * c.size());
    for (const dd &r : targets) {
        ht::fast::nufft_eval(p, r, out.data(), ht::fast::avx2_fma_available());
        for (std::size_t v = 0; v < c.size(); ++v) {
            const cplx_q ref = exact_transform(c[v], p.sh.m0, r);
            const double err = static_cast<double>(
                fmaxq(fabsq(out[2 * v] - ref.re), fabsq(out[2 * v + 1] - ref.im)));
            worst[v] = std::max(worst[v], err / l1(c[v]));
        }
    }
    return worst;
}

// Gauss-Legendre nodes and weights on [-1, 1] in binary128 (Newton on P_n).
void gauss_legendre_q(int n, std::vector<__float128> *x, std::vector<__float128> *w)
{
    for (int i = 0; i < n; ++i) {
        __float128 z = cosq(M_PIq * (i + 0.75Q) / (n + 0.5Q)), dp = 0;
        for (int it = 0; it < 60; ++it) {
            __float128 p0 = 1, p1 = z;
            for (int k = 2; k <= n; ++k) {
                const __float128 p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            dp = n * (z * p1 - p0) / (z * z - 1);
            z -= p1 / dp;
        }
        x->push_back(z);
        w->push_back(2 / ((1 - z * z) * dp * dp));
    }
}

// ---------------------------------------------------------------------------
// The ingredients.

// Psi, the kernel's Fourier transform, by the library's quadrature against
// the same integral by 400-node Gauss-Legendre in binary128 on a finer
// partition (accurate to ~1e-30): every coefficient is divided by it.
// [measured 1.2e-16 at width 16, 4e-16 at width 18, where the phases reach
// 2.2 cycles] Catches: too few nodes (32 leave 2.4e-15 at width 16 and 6e-11
// at width 18), a wrong beta, node scale or weight.
TEST(NufftKernel, DeconvolutionMatchesTheKernelsFourierTransform)
{
    for (int width : {16, 18}) {
        const std::size_t M = 9003;
        const std::size_t K = width == 16 ? 36012 : 18006;
        const nufft_shape sh = ht::fast::nufft_shape_with(M, K, width);
        std::vector<double> space(ht::fast::nufft_doubles(sh, 1));
        const nufft p = ht::fast::nufft_prepare(sh, 1, space.data());
        // The reference integral: 2 * int_0^{w/2} psi(x) cos(2 pi xi x) dx by
        // composite Gauss-Legendre on 40 panels of 10 nodes, in binary128,
        // panels graded towards x = w/2 where psi has its square-root edge.
        std::vector<__float128> gl_x, gl_w;
        gauss_legendre_q(10, &gl_x, &gl_w);
        const __float128 half = width / 2.0Q;
        auto psi = [&](__float128 x) {
            const __float128 z = 2 * x / width;
            return expq(static_cast<__float128>(sh.beta) * (sqrtq(1 - z * z) - 1));
        };
        double worst = 0;
        for (std::size_t m : {std::size_t(0), std::size_t(1), std::size_t(1000), std::size_t(2250),
                              std::size_t(3333), M / 2}) {
            const __float128 xi = static_cast<__float128>(m) / static_cast<__float128>(K);
            __float128 acc = 0;
            const int panels = 40;
            for (int k = 0; k < panels; ++k) {
                // x = half * (1 - (1 - u)^2): panels shrink towards the edge
                const __float128 u0 = static_cast<__float128>(k) / panels;
                const __float128 u1 = static_cast<__float128>(k + 1) / panels;
                for (int q = 0; q < 10; ++q) {
                    const __float128 node = gl_x[q], wq = gl_w[q];
                    const __float128 u = (u0 + u1) / 2 + (u1 - u0) / 2 * node;
                    const __float128 x = half * (1 - (1 - u) * (1 - u));
                    const __float128 dx = half * 2 * (1 - u) * (u1 - u0) / 2;
                    acc += wq * dx * psi(x) * cosq(2 * M_PIq * xi * x);
                }
            }
            const __float128 want = 1 / (2 * acc);
            const double err = static_cast<double>(fabsq((p.deconv[m] - want) / want));
            EXPECT_LE(err, 6e-16) << "width " << width << " m'=" << m << " got " << p.deconv[m]
                                  << " want " << hexq(want);
            worst = std::max(worst, err);
        }
        std::printf("[ nufft    ] width %d: 1/Psi relative error <= %.2g\n", width, worst);
    }
}

// Each of the w polynomial pieces against the kernel itself, on a dense
// sweep of offsets. [measured 2.2e-16 absolute, 1 = the kernel's peak]
// Catches: a lower degree (11 leaves 8.7e-14), a piece shifted by one cell,
// the Chebyshev points or the monomial conversion wrong.
TEST(NufftKernel, PiecesMatchTheKernel)
{
    for (int width : {16, 18}) {
        const nufft_shape sh = ht::fast::nufft_shape_with(9003, 36012, width);
        std::vector<double> space(ht::fast::nufft_doubles(sh, 1));
        const nufft p = ht::fast::nufft_prepare(sh, 1, space.data());
        double worst = 0;
        for (int i = 0; i < sh.lanes; ++i)
            for (int k = 0; k <= 200; ++k) {
                const double t = -1.0 + k / 100.0;
                double v = 0;
                for (int j = 0; j <= sh.degree; ++j)
                    v = v * t + p.poly[j * sh.lanes + i];
                const long double x = (t + 1) / 2.0L + sh.width / 2.0L - 1 - i;
                const double want = static_cast<double>(ht::fast::nufft_kernel(sh, x));
                worst = std::max(worst, std::fabs(v - want));
            }
        EXPECT_LE(worst, 5e-16) << "width " << width;
        std::printf("[ nufft    ] width %d: pieces within %.2g of the kernel\n", width, worst);
    }
}

// ---------------------------------------------------------------------------
// The transform.

// The moment vectors of the N = 4502 grid (the W4 workload's) against the
// exact sum, relative to sum |c|. [measured: A 9.4e-18, B 1.2e-17, with the
// automatic shape; width 14 gives 1.1e-16, 13 1.7e-15; 30 nodes 3e-16] On
// these smooth vectors a target rounded to double costs only ~1e-17 (their
// transforms are concentrated near r = 0, where the rounding is small):
// SmallAndSignedVectors below holds the phase precision.
TEST(NufftTransform, MomentVectorsAgainstExactSum)
{
    const grid_moments gm = moments_for(1000.0);
    ASSERT_EQ(gm.N, 4502u);
    const std::vector<std::vector<double>> c = {gm.A, gm.B};
    const nufft_shape sh = ht::fast::nufft_shape_for(gm.M, 2);
    EXPECT_GE(sh.K, 4 * gm.M);
    EXPECT_EQ(sh.width, 16);
    const loaded t(sh, {gm.A.data(), gm.B.data()});
    const std::vector<double> err = transform_errors(t.p, c, targets_for(gm.g, 24, 7));
    EXPECT_LE(err[0], 4e-17);
    EXPECT_LE(err[1], 4e-17);
    std::printf("[ nufft    ] M = %zu, K = %zu: max error / sum|c|: A %.2g, B %.2g\n", gm.M,
                sh.K, err[0], err[1]);
}

// The compact regime's twin for very large grids (s >= 2, width 18), forced
// here on the same vectors. [measured 1.8e-17] Catches a width too narrow
// for the lower oversampling (16 gives 1.3e-16).
TEST(NufftTransform, LowOversamplingRegimeAgainstExactSum)
{
    const grid_moments gm = moments_for(1000.0);
    const nufft_shape wide = ht::fast::nufft_shape_for(gm.M, 1 << 14);   // 256 MB at s = 4
    EXPECT_LT(wide.K, 3 * gm.M);
    EXPECT_EQ(wide.width, 18);
    const loaded t(wide, {gm.A.data()});
    const std::vector<double> err = transform_errors(t.p, {gm.A}, targets_for(gm.g, 16, 8));
    EXPECT_LE(err[0], 4e-17);
    std::printf("[ nufft    ] s = %.2f, width 18: max error / sum|c| %.2g\n",
                static_cast<double>(wide.K) / gm.M, err[0]);
}

// Small, odd and even M, signed coefficients, a single mode: the index
// bookkeeping (centre, wrap of the window, conjugate half), and the target's
// phase at the highest frequency: r rounded to double before use would cost
// 2 pi |m'| |r.lo|, 3e-14 for m' = 500 at r = 0.3 + 1e-17, and the position
// r*K rounded to double 2 pi |m'| ulp(r*K) / K. With few terms nothing
// averages out: the error is a couple of ulps of sum |c|. [measured 2.2e-16]
TEST(NufftTransform, SmallAndSignedVectors)
{
    std::mt19937_64 rng(3);
    std::normal_distribution<double> nd(0.0, 1.0);
    for (std::size_t M : {std::size_t(1), std::size_t(2), std::size_t(13), std::size_t(64),
                          std::size_t(1001)}) {
        std::vector<double> c(M);
        for (double &v : c)
            v = nd(rng);
        std::vector<double> mode(M, 0.0);
        mode[M - 1] = 1.0;   // the highest frequency alone
        const loaded t(ht::fast::nufft_shape_for(M, 2), {c.data(), mode.data()});
        std::vector<dd> targets;
        for (double r : {0.0, 0.5, -0.5, 0.25, -0.1234567, 1e-300, 0.4999999999999})
            targets.push_back(dd{r, 0.0});
        targets.push_back(dd{0.3, 1e-17});
        const std::vector<double> err = transform_errors(t.p, {c, mode}, targets);
        EXPECT_LE(err[0], 4.5e-16) << "M=" << M;
        EXPECT_LE(err[1], 4.5e-16) << "M=" << M;
    }
}

// ---------------------------------------------------------------------------
// The per-distance stage.

// ht(s) = Re(e^{2 pi i s (2 x0 + m0 h)} sum_p (i ps)^p/p! G_p(s h)) against the
// same expansion summed term by term in binary128. The drift vectors are
// scaled up so that every order up to the fourth moves the result by far
// more than the tolerance, and the line (x0, h) has low parts. Catches: a
// wrong sign of i, a wrong factorial, an order left out, the outer phase
// without its m0 h part, a low part of x0 or h dropped.
TEST(NufftStage, DriftOrdersAgainstTermByTermSum)
{
    const grid_moments gm = moments_for(300.0);
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const int P = 4;
    std::vector<std::vector<double>> mom(P + 1);
    mom[0] = gm.A;
    mom[1] = gm.B;
    mom[2] = gm.C;
    for (int p = 3; p <= P; ++p) {
        mom[p].resize(gm.M);
        for (std::size_t m = 0; m < gm.M; ++m)
            mom[p][m] = gm.A[m] * u(rng) * 1e-2;
    }
    const double boost[P + 1] = {1.0, 1e6, 1e12, 1.0, 1.0};
    for (int p = 1; p <= P; ++p)
        for (double &v : mom[p])
            v *= boost[p];
    std::vector<const double *> ptr;
    for (const auto &v : mom)
        ptr.push_back(v.data());
    ht::fast::moment_set ms;
    ms.mom = ptr.data();
    ms.P = P;
    ms.M = gm.M;
    // A line with low parts, as a fitted one has, scaled to the phases they
    // reach on the largest grids (s*2*x0.lo ~ 1e-10 cycles at N = 4.5e6):
    // here 2e-12 and 1e-11 cycles.
    ms.x0 = dd{gm.x[0], gm.x[0] * 0x1p-48};
    ms.h = dd{gm.g.incr_desired, gm.g.incr_desired * 0x1p-57};
    ms.sigma = gm.g.max_s;

    std::vector<double> s = {gm.g.min_s, gm.g.max_s, 1.7, 33.3, 100.0};
    std::vector<double> out(s.size());
    ASSERT_TRUE(ht::fast::nufft_distances(ms, s.data(), static_cast<int>(s.size()), out.data(),
                                          std::malloc, ht::fast::avx2_fma_available(), {}));
    const std::size_t m0 = (gm.M - 1) / 2;
    double worst = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const __float128 sq = s[i];
        const __float128 ps = 2 * M_PIq * sq / static_cast<__float128>(ms.sigma);
        __float128 want = 0, size = 0;
        for (std::size_t m = 0; m < gm.M; ++m) {
            const __float128 x0 = static_cast<__float128>(ms.x0.hi) + ms.x0.lo;
            const __float128 h = static_cast<__float128>(ms.h.hi) + ms.h.lo;
            __float128 ph = sq * (2 * x0 + static_cast<__float128>(m) * h);
            ph -= roundq(ph);
            const __float128 c = cosq(2 * M_PIq * ph), sn = sinq(2 * M_PIq * ph);
            // sum_p (i ps)^p / p! mom_p: real part from even p, imaginary from odd
            __float128 re = 0, im = 0, f = 1;
            for (int p = 0; p <= P; ++p) {
                const __float128 term = f * mom[p][m];
                switch (p % 4) {
                case 0: re += term; break;
                case 1: im += term; break;
                case 2: re -= term; break;
                default: im -= term; break;
                }
                size += fabsq(term);
                f *= ps / (p + 1);
            }
            want += c * re - sn * im;
        }
        (void)m0;
        const double err = static_cast<double>(fabsq(out[i] - want) / size);
        EXPECT_LE(err, 4e-17) << "s=" << s[i] << " got " << out[i] << " want " << hexq(want);
        worst = std::max(worst, err);
    }
    std::printf("[ nufft    ] stage, P = 4: max error / sum|terms| %.2g\n", worst);
}

// ---------------------------------------------------------------------------
// The transform inside the fast method (ht::fast::sum, options::distances).

std::vector<double> fast_sum(const std::vector<double> &d, ht::fast::distance_route r,
                             void *(*alloc)(std::size_t) = nullptr,
                             ht::progress_hook progress = {},
                             ht::fast::moment_route moments = ht::fast::moment_route::automatic)
{
    std::vector<double> out(d.size());
    ht::fast::options opt;
    opt.distances = r;
    opt.moments = moments;
    opt.alloc = alloc;
    opt.progress = progress;
    ht::fast::sum(out.data(), d.data(), static_cast<int>(d.size()), opt);
    return out;
}

std::vector<double> log_uniform(int n, double lo, double hi, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> d{lo, hi};
    while (static_cast<int>(d.size()) < n)
        d.push_back(lo * std::exp(u(rng) * std::log(hi / lo)));
    std::shuffle(d.begin(), d.end(), rng);
    return d;
}

// The W4 grid (N = 4502), 300 distances: the transform against today's route
// at every distance and against the pairwise double-double sum (good to a
// few 1e-16 S by its own bound, tests/fast/quad_reference.h) at three.
// [measured: 2.3e-17 S from today's route, 2.9e-18 S from the pairwise sum]
TEST(NufftSum, W4GridAgainstDirectRouteAndPairwiseSum)
{
    const std::vector<double> d = log_uniform(300, 1.0, 1000.0, 21);
    const std::vector<double> nu = fast_sum(d, ht::fast::distance_route::nufft);
    const std::vector<double> di = fast_sum(d, ht::fast::distance_route::direct);
    ht::grid g;
    ASSERT_EQ(ht::plan_grid(d.data(), static_cast<int>(d.size()), &g), ht::plan_status::ok);
    std::vector<double> x(static_cast<std::size_t>(g.num_samp_desired));
    ht::fill_grid(g, x.data());
    double S = 0, worst_direct = 0, worst_ref = 0;
    for (std::size_t i : {std::size_t(0), std::size_t(1), std::size_t(150)}) {
        const double ref = ht_test::pairwise_reference(x, d[i] / ht::sqrt2, &S);
        const double err = std::fabs(nu[i] - ref) / S;
        EXPECT_LE(err, 2e-17) << "d=" << testutil::hex(d[i]) << " nufft=" << testutil::hex(nu[i])
                              << " ref=" << testutil::hex(ref);
        worst_ref = std::max(worst_ref, err);
    }
    for (std::size_t i = 0; i < d.size(); ++i) {
        const double err = std::fabs(nu[i] - di[i]) / S;
        EXPECT_LE(err, 4e-17) << "d=" << testutil::hex(d[i]) << " nufft=" << testutil::hex(nu[i])
                              << " direct=" << testutil::hex(di[i]);
        worst_direct = std::max(worst_direct, err);
    }
    std::printf("[ nufft    ] N = 4502: max |nufft - direct route| / S = %.2g, "
                "|nufft - pairwise| / S = %.2g\n", worst_direct, worst_ref);
}

// The accuracy suite's kind of sets (seeded, N = 7 .. 500, lowest distance
// from 1e-3 to 1e3) with the transform forced, against binary128: every
// distance within 1e-14 S, and the errors summed over the sets no larger than
// DFTYieldExpon's. [measured: max 5.7e-17 S, sum 7.5e-16 S against 4.5e-15 S]
TEST(NufftSum, AccuracySetsAgainstQuadReference)
{
    const double ratios[] = {1.0, 1.7, 6.5, 19.0, 47.0, 110.0};
    double sum_nufft = 0, sum_exact = 0, worst = 0;
    int count = 0;
    for (std::size_t k = 0; k < 6; ++k) {
        std::mt19937_64 rng(100 + k);
        const double lo = std::exp(std::log(1e-3) + std::uniform_real_distribution<double>(0, 1)(rng) *
                                                        std::log(1e6));
        const std::vector<double> d = log_uniform(12, lo, lo * ratios[k], 200 + k);
        ht::grid g;
        ASSERT_EQ(ht::plan_grid(d.data(), 12, &g), ht::plan_status::ok);
        std::vector<double> x(static_cast<std::size_t>(g.num_samp_desired));
        ht::fill_grid(g, x.data());
        const ht_test::quad_reference ref(x);
        const double S = ref.total();
        const std::vector<double> nu = fast_sum(d, ht::fast::distance_route::nufft);
        const std::vector<double> ex = testutil::call(DFTYieldExpon, d);
        for (std::size_t i = 0; i < d.size(); ++i) {
            const __float128 r = ref.at(d[i] / ht::sqrt2);
            const double e = static_cast<double>(fabsq(nu[i] - r)) / S;
            EXPECT_LE(e, 1e-14) << "N=" << x.size() << " d=" << testutil::hex(d[i]);
            sum_nufft += e;
            sum_exact += static_cast<double>(fabsq(ex[i] - r)) / S;
            worst = std::max(worst, e);
            ++count;
        }
    }
    std::printf("[ nufft    ] %d distances: max error %.2g S, sum %.2g S (DFTYieldExpon %.2g S)\n",
                count, worst, sum_nufft, sum_exact);
    EXPECT_LE(worst, 1.5e-16);
    EXPECT_LE(sum_nufft, sum_exact);
}

// The cost model's choice at the workloads it was measured on, and sum()
// following it: the automatic route gives the bits of the route chosen.
TEST(NufftSum, RouteChoiceFollowsTheCostModel)
{
    using ht::fast::nufft_pays;
    for (const ht::fast::cost_model &c : {ht::fast::avx2_fma_cost, ht::fast::baseline_cost}) {
        EXPECT_TRUE(nufft_pays(4502, 1000000, c));   // W4
        EXPECT_TRUE(nufft_pays(4502, 1000, c));
        EXPECT_FALSE(nufft_pays(4502, 100, c));      // set-up 2.5 ms, 11-15 us per distance
        EXPECT_FALSE(nufft_pays(452, 200, c));       // W1
        EXPECT_FALSE(nufft_pays(450003, 200, c));    // W5: set-up 0.4 s, 1.1 ms per distance
        // W6: the direct pass streams 4 moment arrays of 72 MB per distance
        // (measured 5.4 s for 200, against 4.1 s by the transform), but the
        // transform's 1.35 GB would more than double the call's: not taken
        EXPECT_TRUE(nufft_pays(4500003, 200, c, 3));
        EXPECT_FALSE(ht::fast::nufft_fits(4500003, 3, 0.4e9));
        EXPECT_TRUE(nufft_pays(450003, 2000, c));
    }
    EXPECT_FALSE(nufft_pays(4502, 200, ht::fast::avx2_fma_cost));   // W2: calibrated 2.0 ms against 2.4 ms
    const ht::fast::cost_model &here = ht::fast::current_cost();
    const std::vector<double> few = log_uniform(40, 1.0, 100.0, 5);
    const std::vector<double> many = log_uniform(3000, 1.0, 100.0, 6);
    EXPECT_TRUE(ht::fast::nufft_fits(4502, 1, 1e5));   // W4: 1.5 MB
    EXPECT_TRUE(ht::fast::nufft_fits(450003, 2, 7e7)); // W5 grid: 208 MB
    ASSERT_FALSE(nufft_pays(452, 40, here));
    ASSERT_TRUE(nufft_pays(452, 3000, here));
    const std::vector<double> few_auto = fast_sum(few, ht::fast::distance_route::automatic);
    const std::vector<double> few_direct = fast_sum(few, ht::fast::distance_route::direct);
    const std::vector<double> many_auto = fast_sum(many, ht::fast::distance_route::automatic);
    const std::vector<double> many_nufft = fast_sum(many, ht::fast::distance_route::nufft);
    const std::vector<double> many_direct = fast_sum(many, ht::fast::distance_route::direct);
    EXPECT_EQ(0, std::memcmp(few_auto.data(), few_direct.data(), few.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(many_auto.data(), many_nufft.data(), many.size() * sizeof(double)));
    // the two routes differ in the last bits: the comparison above can fail
    EXPECT_NE(0, std::memcmp(many_nufft.data(), many_direct.data(), many.size() * sizeof(double)));
}

std::size_t alloc_calls = 0, fail_call = 0;
void *failing_alloc(std::size_t bytes)
{
    return ++alloc_calls == fail_call ? nullptr : std::malloc(bytes);
}

// The transform's work space and FFTW's room are the call's fourth and
// fifth allocations (after the distances, the grid and the moments). When either cannot be
// had the call still answers, by the direct route; progress is reported once
// per distance, in order, either way.
TEST(NufftSum, WorkSpaceRefusedFallsBackToDirectRoute)
{
    const std::vector<double> d = log_uniform(500, 1.0, 30.0, 8);
    const std::vector<double> direct = fast_sum(d, ht::fast::distance_route::direct);
    struct seen {
        long long next = 1, total = 0;
        bool in_order = true;
    };
    auto hook = [](void *ctx, const char *stage, long long done, long long total) {
        seen &s = *static_cast<seen *>(ctx);
        s.in_order = s.in_order && std::string(stage) == "distances" && done == s.next &&
                     (s.total == 0 || total == s.total);
        s.total = total;
        ++s.next;
    };
    for (std::size_t fail : {std::size_t(0), std::size_t(4), std::size_t(5)}) {
        alloc_calls = 0;
        fail_call = fail;
        seen progress;
        const std::vector<double> out =
            fast_sum(d, ht::fast::distance_route::nufft, failing_alloc, ht::progress_hook{hook, &progress});
        EXPECT_EQ(alloc_calls, fail == 4 ? 4u : 5u);
        EXPECT_TRUE(progress.in_order && progress.next == 501 && progress.total == 500)
            << "fail " << fail;
        const bool same = std::memcmp(out.data(), direct.data(), d.size() * sizeof(double)) == 0;
        EXPECT_EQ(same, fail != 0) << "allocation " << fail << " refused";
    }
    fail_call = 0;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define NUFFT_SHADOW_MEMORY 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NUFFT_SHADOW_MEMORY 1
#endif
#endif

std::size_t vm_bytes()
{
    std::FILE *f = std::fopen("/proc/self/status", "r");
    unsigned long kb = 0;
    char line[256];
    while (f != nullptr && std::fgets(line, sizeof line, f) != nullptr)
        if (std::sscanf(line, "VmSize: %lu kB", &kb) == 1)
            break;
    if (f != nullptr)
        std::fclose(f);
    return static_cast<std::size_t>(kb) << 10;
}

// In a forked child: the call under an address-space limit `room` bytes above
// what is mapped, which must come back with the direct route's bits.
[[noreturn]] void call_short_of_memory(const std::vector<double> &d,
                                       const std::vector<double> &want, std::size_t room)
{
    std::vector<double> out(d.size());
    struct rlimit rl;
    rl.rlim_cur = rl.rlim_max = vm_bytes() + room;
    if (setrlimit(RLIMIT_AS, &rl) != 0)
        _exit(3);
    alarm(60);
    ht::fast::options opt;   // the moments by the direct pass, which needs no FFTW
    opt.moments = ht::fast::moment_route::direct;
    ht::fast::sum(out.data(), d.data(), static_cast<int>(d.size()), opt);
    _exit(std::memcmp(out.data(), want.data(), d.size() * sizeof(double)) == 0 ? 0 : 1);
}

// A real shortage instead of a refusing allocator: N = 13503, 600 distances
// (the transform's turn), the moments by the direct pass (the FFT moment
// route's own shortage answers NaN, fft_moments), room for the direct
// route's work space (1.2 MB)
// but not for the transform's (6 MB), then for its work space but not for
// FFTW's plan. FFTW would abort the process if it ran out itself.
TEST(NufftSumDeathTest, ShortOfMemoryFallsBackInsteadOfAborting)
{
#if defined(NUFFT_SHADOW_MEMORY)
    GTEST_SKIP() << "address-space limits conflict with sanitizer shadow memory";
#endif
    const std::vector<double> d = log_uniform(600, 1.0, 3000.0, 12);
    const nufft_shape sh = ht::fast::nufft_shape_for(2 * 13503 - 1, 3);
    const std::size_t space = 8 * ht::fast::nufft_doubles(sh, 3);
    ASSERT_TRUE(ht::fast::nufft_pays(13503, 600));
    const std::vector<double> want = fast_sum(d, ht::fast::distance_route::direct, nullptr, {},
                                              ht::fast::moment_route::direct);
    for (std::size_t room : {std::size_t(3) << 20, space + (std::size_t(2) << 20)})
        EXPECT_EXIT(call_short_of_memory(d, want, room), ::testing::ExitedWithCode(0), "")
            << "room " << room;
}

// Several threads each running the transform (FFTW planning included) on
// grids of their own, against the same calls made one at a time: bit for bit.
// Run under ThreadSanitizer by scripts/test.sh (label concurrency).
TEST(NufftConcurrency, ThreadsGiveTheSerialBits)
{
    std::vector<std::vector<double>> sets;
    for (int t = 0; t < 6; ++t)
        sets.push_back(log_uniform(300, 1.0, 20.0 + 17.0 * t, 40 + t));
    std::vector<std::vector<double>> serial;
    for (const auto &d : sets)
        serial.push_back(fast_sum(d, ht::fast::distance_route::nufft));
    std::vector<std::vector<double>> got(sets.size());
    std::atomic<int> go{0};
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < sets.size(); ++t)
        threads.emplace_back([&, t] {
            while (go.load() == 0) {
            }
            for (int rep = 0; rep < 3; ++rep)
                got[t] = fast_sum(sets[t], ht::fast::distance_route::nufft);
        });
    go = 1;
    for (auto &th : threads)
        th.join();
    for (std::size_t t = 0; t < sets.size(); ++t)
        EXPECT_EQ(0, std::memcmp(got[t].data(), serial[t].data(), sets[t].size() * sizeof(double)))
            << "set " << t;
}

} // namespace
