// The fast method stage by stage, each against quadruple precision, at the
// size where its rounding refinements show. Every tolerance below is graded
// to the error measured on this machine (both loop builds) and sits below
// what the same stage gives with the refinement taken out; the comments give
// both figures.
#include "fast_loops.h"
#include "fast_sum.h"
#include "grid.h"
#include "phase.h"
#include "quad_reference.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testutil::hex;
using ht_test::qabs;
using ht_test::qcos;
using ht_test::qpow;
using ht_test::qrint;
using ht_test::qsin;
using ht_test::quad;
using ht_test::quad_pi;

// ulp of the binary64 nearest v; the smallest subnormal for 0 (a sum of
// zero terms must come out exactly 0).
double ulp_of(quad v)
{
    const double d = std::fabs(static_cast<double>(v));
    if (d == 0.0)
        return std::numeric_limits<double>::denorm_min();
    return std::ldexp(1.0, std::max(std::ilogb(d) - 52, -1074));
}

double err_of(double got, quad want)
{
    return static_cast<double>(qabs(static_cast<quad>(got) - want));
}

// The fast method's stages on a grid of the test's choosing: drift and
// moments once, then any number of distances. h and sigma are what the
// method would take from a built grid (incr_desired and max_s). The order P
// of the drift expansion is the one the method would choose unless given;
// the moments take the direct route unless told otherwise, since the
// refinements below are the direct route's.
class stages {
public:
    stages(const std::vector<double> &x, double h, double sigma, bool avx2, int P = -1,
           ht::fast::moment_route route = ht::fast::moment_route::direct)
        : L_(ht::fast::layout_for(x.size())), grid_space_(L_.grid_doubles), avx2_(avx2)
    {
        ht::fast::carve_grid(grid_space_.data(), L_, w_);
        std::copy(x.begin(), x.end(), w_.x);
        const int chosen = ht::fast::drift_order(ht::fast::drift(L_, w_, h, sigma));
        ht::fast::plan_moments(L_, P >= 0 ? P : chosen, route);
        moment_space_.resize(L_.moment_doubles);
        ht::fast::carve_moments(moment_space_.data(), L_, w_);
        EXPECT_TRUE(ht::fast::moments(L_, w_, avx2_, std::malloc));
    }
    double at(double s) { return ht::fast::at_distance(L_, w_, s, avx2_); }
    const ht::fast::layout &layout() const { return L_; }
    const ht::fast::work &work() const { return w_; }
    int order() const { return L_.P; }

private:
    ht::fast::layout L_;
    std::vector<double> grid_space_, moment_space_;
    ht::fast::work w_;
    bool avx2_;
};

ht::grid plan(const std::vector<double> &d)
{
    ht::grid g;
    EXPECT_EQ(ht::plan_grid(d.data(), static_cast<int>(d.size()), &g), ht::plan_status::ok);
    return g;
}

std::vector<double> built_grid(const ht::grid &g)
{
    std::vector<double> x(static_cast<std::size_t>(g.num_samp_desired));
    ht::fill_grid(g, x.data());
    return x;
}

// The loop builds this CPU can run: baseline always, AVX2+FMA when present.
std::vector<bool> paths()
{
    std::vector<bool> p{false};
    if (ht::fast::avx2_fma_available())
        p.push_back(true);
    return p;
}

const char *path_name(bool avx2) { return avx2 ? "AVX2+FMA" : "baseline"; }

// ---------------------------------------------------------------------------
// Phase arithmetic.

// cis() turns a reduced phase (cycles) into cos and sin of 2 pi phase. Its
// first-order correction for the low part of the angle keeps each value
// within libm's own error of the true one, in ulps of that value (of 2^-30
// for smaller values): measured max 1.01 ulp over 4e5 phases (glibc 2.36). Without the correction, or with its sign
// flipped in either line, values near angle 0 or pi are off by up to 2e-16
// absolute, hundreds of ulps of a small sine; with the low part of 2 pi
// dropped, by 1e-16 near pi.
TEST(FastPhase, RotationIsWithinAnUlpOfEachValue)
{
    std::mt19937_64 rng(2718);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    std::vector<double> phases{0.5, -0.5, 0.25, -0.25, 0.125, 1e-3, 0.4999999999, -0.4999999,
                               0.2500000001, 1.0 / 3.0};
    for (int i = 0; i < 20000; ++i)
        phases.push_back(u(rng));
    double worst = 0;
    std::string where;
    for (double hi : phases) {
        // A low part as reduce_phase leaves it: below half an ulp of hi.
        const double lo = std::ldexp(u(rng), std::ilogb(hi) - 53);
        double c, s;
        ht::fast::cis(ht::fast::dd{hi, lo}, &c, &s);
        const quad ang = 2 * quad_pi * (static_cast<quad>(hi) + lo);
        const quad want_c = qcos(ang), want_s = qsin(ang);
        for (auto [got, want, name] : {std::tuple{c, want_c, "cos"}, std::tuple{s, want_s, "sin"}}) {
            // ulps of the value, or of 2^-30 for smaller values: below that
            // the correction itself (~1e-16) is all there is to the value.
            const double e = err_of(got, want) / ulp_of(std::max(qabs(want), quad(0x1p-30)));
            if (e > worst) {
                worst = e;
                where = std::string(name) + " of phase " + hex(hi) + " + " + hex(lo) + ": got "
                        + hex(got) + ", want " + ht_test::hex(want);
            }
        }
    }
    std::printf("[ phase    ] cis: max error %.3g ulp (%s)\n", worst, where.c_str());
    EXPECT_LE(worst, 1.5) << where;
}

// reduce_phase(a, m, q) = frac(a + m*q) in cycles, from double-double a and
// q and an integer m. Every integer part is removed exactly, so what is left
// is the rounding of m*q.lo and of the sums of low parts: relative to the
// unreduced phase |a| + m|q|, measured max 2.5e-32 (about 2^-105), for
// phases of up to 4e4 cycles as the grids of N up to 1e5 give. Without a.lo,
// p.lo or q.lo the phase would be off by up to 2^-53 of its size.
TEST(FastPhase, ReductionKeepsTheFractionToDoubleDoubleAccuracy)
{
    std::mt19937_64 rng(314);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    double worst = 0;
    for (int i = 0; i < 4000; ++i) {
        // As at_distance forms them for a grid of N points from x_0 to -x_0
        // and a scaled distance s: a = s*(2 x_0), q = s*h, split exactly.
        const double N = std::floor(8 + u(rng) * 1e5);
        const double s = std::exp(std::log(1e-3) + u(rng) * std::log(1e6));
        const double x0 = -(0.25 + u(rng)) * N / s / 4.5;
        const double h = -2 * x0 / (N - 1);
        const ht::fast::dd a = ht::fast::two_prod(s, x0 + x0);
        const ht::fast::dd q = ht::fast::two_prod(s, h);
        const double m = std::floor(u(rng) * (2 * N - 1));
        const ht::fast::dd r = ht::fast::reduce_phase(a, m, q);
        // The same in binary128: a and q are exact there, m*q nearly so.
        const quad exact = (static_cast<quad>(a.hi) + a.lo)
                                 + m * (static_cast<quad>(q.hi) + q.lo);
        const quad want = exact - qrint(exact);
        quad diff = (static_cast<quad>(r.hi) + r.lo) - want;
        diff = diff - qrint(diff);   // either end of [-1/2, 1/2] is the same phase
        ASSERT_LE(qabs(static_cast<quad>(r.hi)), quad(0.5) + quad(0x1p-50));
        const double size = std::fabs(a.hi) + m * std::fabs(q.hi);
        worst = std::max(worst, static_cast<double>(qabs(diff)) / size);
    }
    std::printf("[ phase    ] reduction: max error %.3g of the unreduced phase\n", worst);
    EXPECT_LE(worst, 6e-32);
}

// ---------------------------------------------------------------------------
// Per-distance evaluation: one anti-diagonal at a time. With A = 1 on
// anti-diagonal m alone, the sum is cos(theta_m), theta_m = 2 pi s (2 x_0 +
// m h); with B = 1 it is -sin(theta_m) * 2 pi s / sigma; with C = 1 it is
// -cos(theta_m) * (2 pi s / sigma)^2 / 2. theta_m reaches 2 pi * 1.5e4
// cycles here, so the step s*h must enter as a double-double: rounded to
// double, it moves the last anti-diagonal's phase by up to 2e-12 rad.
// Errors relative to the factor (1, 2 pi s / sigma, its square / 2):
// measured max 2.2e-16; with the plain-double step, 1.3e-12.
TEST(FastEvaluation, EachAntiDiagonalGivesItsExactTerm)
{
    const ht::grid g = plan({1.0, 1000.0});   // N = 4502, 9003 anti-diagonals
    const std::vector<double> x = built_grid(g);
    // The line is the spacing's own (x_0, h), set by hand with order 2 and no
    // drift: the moments below are the test's, one anti-diagonal at a time.
    ht::fast::layout L = ht::fast::layout_for(x.size());
    ht::fast::plan_moments(L, 2, ht::fast::moment_route::direct);
    std::vector<double> grid_space(L.grid_doubles), moment_space(L.moment_doubles);
    ht::fast::work w;
    ht::fast::carve_grid(grid_space.data(), L, w);
    ht::fast::carve_moments(moment_space.data(), L, w);
    std::copy(x.begin(), x.end(), w.x);
    const double h = g.incr_desired, sigma = g.max_s, x0 = x[0];
    w.ln = ht::fast::line{{x0, 0.0}, {h, 0.0}};
    w.sigma = sigma;

    std::mt19937_64 rng(1618);
    std::uniform_int_distribution<std::size_t> pick_m(0, L.M - 1);
    std::uniform_real_distribution<double> pick_d(1.0, 1000.0);
    std::vector<std::size_t> ms{0, 1, 31, 32, 33, L.M / 2, L.M - 2, L.M - 1};
    for (int i = 0; i < 24; ++i)
        ms.push_back(pick_m(rng));
    double worst = 0;
    for (bool avx2 : paths()) {
        for (int k = 0; k < 12; ++k) {
            const double s = (k == 0 ? 1000.0 : pick_d(rng)) / ht::sqrt2;
            const quad fac = 2 * quad_pi * s / sigma;
            for (std::size_t m : ms) {
                quad cyc = s * (2 * static_cast<quad>(x0)
                                      + static_cast<quad>(m) * h);
                cyc -= qrint(cyc);
                const quad th = 2 * quad_pi * cyc;
                const quad factor[3] = {1, fac, fac * fac / 2};
                const quad want[3] = {qcos(th), -qsin(th) * fac, -qcos(th) * fac * fac / 2};
                for (int which = 0; which < 3; ++which) {
                    for (int p = 0; p < 3; ++p)
                        std::fill(w.mom[p], w.mom[p] + L.stride, 0.0);
                    w.mom[which][m] = 1.0;
                    const double got = ht::fast::at_distance(L, w, s, avx2);
                    const double e = err_of(got, want[which]) / static_cast<double>(factor[which]);
                    worst = std::max(worst, e);
                    EXPECT_LE(e, 1e-15) << path_name(avx2) << " moment " << "ABC"[which]
                                        << " m=" << m << " s=" << hex(s) << " got " << hex(got)
                                        << " want " << ht_test::hex(want[which]);
                }
            }
        }
    }
    std::printf("[ evaluate ] one anti-diagonal: max relative error %.3g\n", worst);
}

// ---------------------------------------------------------------------------
// Moments. A is accumulated in double-double and rounded once: against the
// exact sums of the exact kernel it is off by the kernel's own rounding
// (sqrt-based, about one ulp per value), measured max 1.9 ulp of A_m and
// 0.35 ulp on average at N = 452 (1.5 / 0.35 at N = 1001). Summed in plain
// double the same moments are off by up to 7.8 ulp (10 at N = 1001), 1.2 on
// average. B and C are plain sums of terms of both signs (B) or tiny ones;
// they are held to a few ulps of the sum of their terms' magnitudes.
TEST(FastMoments, AntiDiagonalSumsAgainstQuadruplePrecision)
{
    const ht::grid g = plan({1.0, 100.0});
    std::vector<double> x = built_grid(g);
    // Drift far larger than a built grid's, so that B and C are not lost
    // below the rounding of A.
    std::mt19937_64 rng(8128);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (double &v : x)
        v += 1e-6 * g.incr_desired * u(rng);
    const std::size_t N = x.size();
    for (bool avx2 : paths()) {
        stages st(x, g.incr_desired, g.max_s, avx2, 2);
        const ht::fast::work &w = st.work();
        const std::size_t M = st.layout().M;
        std::vector<quad> A(M, 0), B(M, 0), C(M, 0), Babs(M, 0), Cabs(M, 0);
        const quad four_pi_sq = 4 * quad_pi * quad_pi;
        for (std::size_t j = 0; j < N; ++j)
            for (std::size_t k = 0; k < N; ++k) {
                const quad xj = x[j], xk = x[k];
                const quad f = qpow(1 + four_pi_sq * (xj * xj + xk * xk), quad(-0.75));
                const quad de = static_cast<quad>(w.e[j]) + w.e[k];
                A[j + k] += f;
                B[j + k] += f * de;
                C[j + k] += f * de * de;
                Babs[j + k] += qabs(f * de);
                Cabs[j + k] += f * de * de;
            }
        double worst_a = 0, sum_a = 0, worst_b = 0, worst_c = 0;
        for (std::size_t m = 0; m < M; ++m) {
            const double ea = err_of(w.mom[0][m], A[m]) / ulp_of(A[m]);
            worst_a = std::max(worst_a, ea);
            sum_a += ea;
            worst_b = std::max(worst_b, err_of(w.mom[1][m], B[m]) / ulp_of(Babs[m]));
            worst_c = std::max(worst_c, err_of(w.mom[2][m], C[m]) / ulp_of(Cabs[m]));
        }
        std::printf("[ moments  ] %s, N = %zu: A max %.3g ulp, mean %.3g; B max %.3g, C max %.3g"
                    " ulp of the sum of magnitudes\n",
                    path_name(avx2), N, worst_a, sum_a / M, worst_b, worst_c);
        EXPECT_LE(worst_a, 3.0) << path_name(avx2);
        EXPECT_LE(sum_a / M, 0.5) << path_name(avx2);
        EXPECT_LE(worst_b, 8.0) << path_name(avx2);
        EXPECT_LE(worst_c, 8.0) << path_name(avx2);
    }
}

// ---------------------------------------------------------------------------
// The drift expansion. It holds for any deviations e_j of the grid from its
// line, to the order P chosen from the largest phase perturbation
// delta = 2 pi s (e_j + e_k), so it is checked on grids with deviations far
// larger than a built grid has (1e-10 h at N = 452), against the quad
// reference on that same grid. The order chosen reaches the rounding level;
// the order these distances need is one below it (the choice covers the
// worst pair at the largest distance), and one order less than that is far
// off, so the case shows the highest term it needs. Measured, max |err| / S
// over ten distances 1..100 (both loop builds):
//
//   deviations   P = 0     1         2          3          4
//   1e-6 h       1.3e-10   1.7e-15   1.0-2.8e-17  (chosen: 3, the same)
//   1e-4 h       1.3e-8    1.7e-11   1.9e-15    3.5-5.9e-17  (chosen: 4, the same)
TEST(FastDrift, EachOrderOfTheExpansionMattersOnAGridWithLargeDeviations)
{
    const ht::grid g = plan({1.0, 100.0});
    const std::vector<double> built = built_grid(g);
    std::vector<double> d;
    for (int i = 0; i < 10; ++i)
        d.push_back(std::pow(100.0, i / 9.0));
    const struct {
        double deviation;
        int chosen, needed;
        double tol, short_at_least;
    } levels[] = {{1e-6, 3, 2, 1e-16, 1e-15}, {1e-4, 4, 3, 1.5e-16, 1e-15}};
    for (const auto &lv : levels) {
        std::mt19937_64 rng(496);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        std::vector<double> x = built;
        for (double &v : x)
            v += lv.deviation * g.incr_desired * u(rng);
        const ht_test::quad_reference ref(x);
        const double S = ref.total();
        std::vector<quad> want;
        for (double di : d)
            want.push_back(ref.at(di / ht::sqrt2));
        for (bool avx2 : paths()) {
            auto worst_of = [&](stages &st) {
                double worst = 0;
                for (std::size_t i = 0; i < d.size(); ++i)
                    worst = std::max(worst, err_of(st.at(d[i] / ht::sqrt2), want[i]) / S);
                return worst;
            };
            stages chosen(x, g.incr_desired, g.max_s, avx2);
            EXPECT_EQ(chosen.order(), lv.chosen) << "deviation " << lv.deviation;
            stages needed(x, g.incr_desired, g.max_s, avx2, lv.needed);
            stages short_one(x, g.incr_desired, g.max_s, avx2, lv.needed - 1);
            const double e_chosen = worst_of(chosen), e_needed = worst_of(needed),
                         e_short = worst_of(short_one);
            EXPECT_LE(e_chosen, lv.tol) << path_name(avx2) << " deviation " << lv.deviation;
            EXPECT_LE(e_needed, lv.tol) << path_name(avx2) << " deviation " << lv.deviation;
            EXPECT_GE(e_short, lv.short_at_least)
                << path_name(avx2) << " deviation " << lv.deviation
                << ": the case no longer shows the highest order it needs";
            std::printf("[ drift    ] %s, deviations %.0e h: order %d (chosen) %.3g, "
                        "%d %.3g, %d %.3g\n", path_name(avx2), lv.deviation, chosen.order(),
                        e_chosen, lv.needed, e_needed, lv.needed - 1, e_short);
        }
    }
}

// ---------------------------------------------------------------------------
// The whole method at N = 4502, where its rounding refinements show, against
// the pairwise double-double reference (at N = 452-902 it agrees with the
// quad reference to 1.4e-17 S, mostly the rounding of its own result).
//
// 1..1000 on its built grid (the benchmark's second workload): measured max
// 1.3e-17 S (AVX2+FMA), 1.3e-17 S (baseline); held to 3e-17 S. The grid's
// drift costs 2.7e-15 S without the first-order term B.
//
// 1e-3..1 on its built grid shifted by 0.3 max_x: the shift breaks the
// grid's symmetry, so that a wrong phase step is not cancelled by the mirror
// anti-diagonal. Measured max 1.9e-18 S (AVX2+FMA), 7.5e-18 S (baseline);
// held to 2e-17 S. Without the Neumaier compensation of the block sums,
// 1.2e-16 S; with the phase step s*h in plain double, 4.4e-16 S; with A
// summed in plain double, or without cis's low-order correction, 3e-17 S.
TEST(FastAccuracy, LargeGridsAgainstPairwiseReference)
{
    struct large_case {
        const char *name;
        double lo, ratio, shift, tol;
        std::vector<int> picks;   // of 200 log-spaced distances
    };
    const large_case cases[] = {
        {"1..1000", 1.0, 1000.0, 0.0, 3e-17, {0, 57, 199}},
        {"1e-3..1 shifted", 1e-3, 1000.0, 0.3, 2e-17, {0, 40, 80, 120, 160, 199}},
    };
    for (const large_case &c : cases) {
        const ht::grid g = plan({c.lo, c.lo * c.ratio});
        std::vector<double> x = built_grid(g);
        ASSERT_EQ(x.size(), 4502u);
        for (double &v : x)
            v += c.shift * g.max_x;
        std::vector<double> want, S(c.picks.size());
        std::vector<double> d;
        for (std::size_t i = 0; i < c.picks.size(); ++i) {
            d.push_back(c.lo * std::pow(c.ratio, c.picks[i] / 199.0));
            want.push_back(ht_test::pairwise_reference(x, d.back() / ht::sqrt2, &S[i]));
        }
        for (bool avx2 : paths()) {
            stages st(x, g.incr_desired, g.max_s, avx2);
            double worst = 0;
            for (std::size_t i = 0; i < d.size(); ++i) {
                const double got = st.at(d[i] / ht::sqrt2);
                const double err = std::fabs(got - want[i]) / S[i];
                worst = std::max(worst, err);
                EXPECT_LE(err, c.tol) << c.name << ", " << path_name(avx2) << ": d = "
                                      << hex(d[i]) << " got " << hex(got) << " want "
                                      << hex(want[i]) << " S = " << hex(S[i]);
            }
            std::printf("[ accuracy ] N = 4502, %s, %s: max |fast-ref|/S = %.3g\n", c.name,
                        path_name(avx2), worst);
        }
    }
}

// ---------------------------------------------------------------------------
// The loops' build is chosen at run time: AVX2+FMA exactly when the CPU has
// both. The two builds differ in the last bits, so the default is seen to be
// the AVX2+FMA build on a CPU that has it, and the baseline elsewhere.

// The CPU's own word, independent of the compiler's probe.
bool cpuinfo_has_avx2_and_fma()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("flags", 0) == 0) {
            std::istringstream words(line.substr(line.find(':') + 1));
            bool avx2 = false, fma = false;
            for (std::string w; words >> w;) {
                avx2 = avx2 || w == "avx2";
                fma = fma || w == "fma";
            }
            return avx2 && fma;
        }
    return false;
}

TEST(FastDispatch, DefaultIsTheAVX2BuildExactlyWhenTheCPUHasIt)
{
#if defined(__x86_64__) && defined(__linux__)
    EXPECT_EQ(ht::fast::avx2_fma_available(), cpuinfo_has_avx2_and_fma());
#else
    EXPECT_FALSE(ht::fast::avx2_fma_available());
#endif
    std::vector<double> d;
    for (int i = 0; i < 40; ++i)
        d.push_back(0.3 * std::pow(60.0, i / 39.0));
    const int n = static_cast<int>(d.size());
    std::vector<double> automatic(d.size()), baseline(d.size());
    ht::fast::sum(automatic.data(), d.data(), n);
    ht::fast::options opt;
    opt.path = ht::fast::isa::baseline;
    ht::fast::sum(baseline.data(), d.data(), n, opt);

    const ht::grid g = plan(d);
    stages st(built_grid(g), g.incr_desired, g.max_s, ht::fast::avx2_fma_available());
    int differ = 0;
    for (int i = 0; i < n; ++i) {
        EXPECT_TRUE(testutil::same_bits(automatic[i], st.at(d[i] / ht::sqrt2))) << "d = " << hex(d[i]);
        differ += testutil::bits(automatic[i]) != testutil::bits(baseline[i]);
    }
    std::printf("[ dispatch ] AVX2+FMA %s; default and baseline differ in %d of %d outputs\n",
                ht::fast::avx2_fma_available() ? "available" : "not available", differ, n);
    if (ht::fast::avx2_fma_available())
        EXPECT_GT(differ, 0) << "the two builds agree bit for bit here: the check shows nothing";
    else
        EXPECT_EQ(differ, 0);
}

} // namespace
