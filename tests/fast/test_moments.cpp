// The moment stage of the fast method at large N: the kernel's exponential
// sum, the FFT route against the direct one, and, on grids where no
// reference sum is affordable, each step against its own direct evaluation
// on a seeded sample of anti-diagonals.
#include "drift.h"
#include "expsum.h"
#include "fast_cost.h"
#include "fast_loops.h"
#include "fast_sum.h"
#include "grid.h"
#include "moments_fft.h"
#include "phase.h"
#include "antidiagonal_check.h"
#include "quad_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using ht::fast::dd;
using ht::fast::layout;
using ht::fast::moment_route;
using ht::fast::work;
using ht_test::accumulator;
using ht_test::kernel;

// A grid as sum() builds it, its drift and the order it needs, and its
// moments on one route. Moments of order P are computed (at least the
// order the grid needs).
class staged_grid {
public:
    explicit staged_grid(std::vector<double> d) : L_(ht::fast::layout_for(1))
    {
        EXPECT_EQ(ht::plan_grid(d.data(), static_cast<int>(d.size()), &g_), ht::plan_status::ok);
        L_ = ht::fast::layout_for(static_cast<std::size_t>(g_.num_samp_desired));
        grid_space_.resize(L_.grid_doubles);
        ht::fast::carve_grid(grid_space_.data(), L_, w_);
        ht::fill_grid(g_, w_.x);
        delta_max_ = ht::fast::drift(L_, w_, g_.incr_desired, g_.max_s);
        order_ = ht::fast::drift_order(delta_max_);
    }

    // Accumulates the moments; false if the route failed.
    bool run(moment_route route, int P)
    {
        ht::fast::plan_moments(L_, P, route);
        moment_space_.assign(L_.moment_doubles, 0.0);
        ht::fast::carve_moments(moment_space_.data(), L_, w_);
        return ht::fast::moments(L_, w_, ht::fast::avx2_fma_available(), std::malloc);
    }

    const layout &L() const { return L_; }
    const work &w() const { return w_; }
    work &w_mut() { return w_; }
    const ht::grid &g() const { return g_; }
    int order() const { return order_; }
    double delta_max() const { return delta_max_; }
    double max_eps() const
    {
        double m = 0;
        for (std::size_t j = 0; j < L_.N; ++j)
            m = std::max(m, std::fabs(w_.e[j]));
        return m;
    }
    std::vector<double> moment(int p) const
    {
        return std::vector<double>(w_.mom[p], w_.mom[p] + L_.stride);
    }

private:
    ht::grid g_;
    layout L_;
    work w_;
    std::vector<double> grid_space_, moment_space_;
    double delta_max_ = 0;
    int order_ = -1;
};

// ---------------------------------------------------------------------------
// The exponential sum.

// b^(-3/4) = sum w exp(-t b) over 1 <= b <= b_max, for kernel ranges from a
// single value to 600 decades. The terms as built (evaluated in long double) are
// held to 2.5e-16 relative (measured 1.9e-16: the rounding of the nodes,
// of t = tau/b_max and of the common factor b_max^(-3/4)); summed in
// double, each term adds the rounding of its exponent and its exp
// (measured 8.2e-16).
TEST(ExpSum, RelativeErrorOverTheWholeKernelRange)
{
    const double ranges[] = {1.0, 1.0 + 0x1p-20, 89.8264, 1e4, 8.88e7, 1e10, 1e40, 1e300};
    double worst_quad = 0, worst_double = 0;
    for (const double b_max : ranges) {
        const std::size_t n = ht::fast::expsum_size(b_max);
        ASSERT_GT(n, 0u) << b_max;
        std::vector<ht::fast::exp_term> terms(n + 1);
        ASSERT_EQ(ht::fast::expsum_terms(b_max, terms.data()), n);
        for (std::size_t l = 0; l < n; ++l)   // positive: FFT errors stay relative to S
            ASSERT_TRUE(terms[l].t > 0 && terms[l].w > 0) << "b_max " << b_max << " term " << l;
        for (int i = 0; i <= 400; ++i) {
            const double b = i == 400 ? b_max : std::exp(std::log(b_max) * i / 400.0);
            // long double: 64 bits (x86) or 113 (aarch64), enough to see 1e-17
            const long double ref = std::pow(static_cast<long double>(b), -0.75L);
            long double q = 0;
            double d = 0;
            for (std::size_t l = 0; l < n; ++l) {
                q += terms[l].w * std::exp(-static_cast<long double>(b) * terms[l].t);
                d += terms[l].w * std::exp(-b * terms[l].t);
            }
            const double eq = static_cast<double>(std::fabs(q / ref - 1));
            const double ed = static_cast<double>(std::fabs(d / ref - 1));
            EXPECT_LE(eq, 2.5e-16) << "b_max " << b_max << " b " << b;
            EXPECT_LE(ed, 1.2e-15) << "b_max " << b_max << " b " << b;
            worst_quad = std::max(worst_quad, eq);
            worst_double = std::max(worst_double, ed);
        }
    }
    std::printf("[ expsum ] max relative error: table %.3g, evaluated in double %.3g\n",
                worst_quad, worst_double);
    EXPECT_EQ(ht::fast::expsum_size(89.8264), 36u);   // smallest distance 1
    for (const double bad : {0.5, 1e301, HUGE_VAL, std::nan("")})
        EXPECT_EQ(ht::fast::expsum_size(bad), 0u) << bad;
}

// ---------------------------------------------------------------------------
// The FFT route against the direct route, every order, on grids both can
// afford. The direct route rounds each kernel value once, so the difference
// is the FFT route's error: sum_m |fft - direct| / (S (2 max|eps|)^p),
// measured 2.3e-16 .. 6.9e-16 for p = 0 and below 1.8e-16 for p >= 1. Orders up to 3 are asked for
// even where the grid needs fewer, so that every product of the binomial
// expansion is exercised.
TEST(FftMoments, MatchTheDirectRouteOnBuiltGrids)
{
    const std::vector<std::vector<double>> sets = {
        {1.0, 100.0},     // N = 452, b_max = 90: 36 terms
        {1e-3, 1.0},      // N = 4502, b_max = 8.9e7: 95 terms
        {70.0, 70000.0},  // N = 4502, b_max = 1.02: 17 terms, nearly constant kernel
        {0.3, 4.0},       // N = 62
        {1.4142135623730951},   // N = 7, one distance
    };
    double worst = 0;
    for (const std::vector<double> &d : sets) {
        staged_grid st(d);
        const int P = std::max(3, st.order());
        // The exponential sum is built for b <= kernel_range: the grid's corners.
        const double *x = st.w().x;
        const std::size_t last = st.L().N - 1;
        for (const double xe : {x[0], x[last]})
            EXPECT_LE((xe * xe + xe * xe) * ht::four_pi_sq + 1.0,
                      ht::fast::kernel_range(st.L(), st.w()));
        ASSERT_TRUE(st.run(moment_route::direct, P));
        std::vector<std::vector<double>> direct;
        for (int p = 0; p <= P; ++p)
            direct.push_back(st.moment(p));
        ASSERT_TRUE(st.run(moment_route::fft, P));
        const std::size_t M = st.L().M;
        double S = 0;
        for (std::size_t m = 0; m < M; ++m)
            S += direct[0][m];
        const double scale = 2.0 * st.max_eps();
        for (int p = 0; p <= P; ++p) {
            const std::vector<double> fft = st.moment(p);
            double err = 0;
            for (std::size_t m = 0; m < M; ++m)
                err += std::fabs(fft[m] - direct[static_cast<std::size_t>(p)][m]);
            for (std::size_t m = M; m < st.L().stride; ++m)
                ASSERT_EQ(fft[m], 0.0) << "padding m=" << m;
            // No drift at all (N = 7): the drift moments must come out 0.
            const double rel = p == 0 ? err / S : scale > 0 ? err / (S * std::pow(scale, p)) : err;
            EXPECT_LE(rel, 1.5e-15) << "N=" << st.L().N << " p=" << p;
            std::printf("[ fft moments ] N=%zu p=%d: sum |fft-direct| / (S (2 max|eps|)^p) = %.3g\n",
                        st.L().N, p, rel);
            worst = std::max(worst, rel);
        }
    }
}

// A grid whose moments only the FFT route can afford (the direct route would
// take minutes): 200 distances in [1, 1e5], N = 450 003, the drift order the
// grid needs (2). On 25 seeded anti-diagonals, against their direct sums in
// double-double:
//  - the moments, as an estimate of sum_m |error| / S (M/25 times the
//    sample's sum): measured 5.1e-16 for mom_0, below 5e-17 for the others;
//  - the expansion against sum f cos(2 pi s (x_j + x_k)) at the largest
//    distance, where the drift matters most: measured 2.7e-16 S; stopping
//    one order short leaves 4.3e-14 S, above the 1e-14 S the method promises;
//  - at_distance itself with the moments zeroed outside the sample, against
//    the sample's references: measured 8.4e-17 S (a phase off by one ulp of
//    the spacing's low part would show as 1e-11 S here).
TEST(FftMoments, SampledAntiDiagonalsOfAHalfMillionPointGrid)
{
    staged_grid st({1.0, 1e5});
    const std::size_t N = st.L().N;
    ASSERT_EQ(N, 450003u);
    const int P = st.order();
    ASSERT_EQ(P, 2);
    ASSERT_TRUE(st.run(moment_route::fft, P));
    const ht_test::sampled_errors err = ht_test::check_sampled(st.L(), st.w_mut(), 25, 5, st.g().max_s);
    for (int p = 0; p <= P; ++p) {
        const double est = err.moments[static_cast<std::size_t>(p)];
        std::printf("[ sampled ] N=%zu p=%d: estimated sum |fft-direct| / (S (2 max|eps|)^p) = %.3g\n",
                    N, p, est);
        EXPECT_LE(est, 1.5e-15) << "p=" << p;
    }
    std::printf("[ sampled ] expansion to order %d: %.3g S, to order %d: %.3g S\n", P,
                err.expansion, P - 1, err.expansion_short);
    std::printf("[ sampled ] at_distance on the sampled anti-diagonals: %.3g S\n", err.end_to_end);
    EXPECT_LE(err.expansion, 1e-15);
    EXPECT_GT(err.expansion_short, 1e-14);
    EXPECT_LE(err.end_to_end, 5e-16);
}

// ---------------------------------------------------------------------------
// The drift and its order.

// The fitted line reproduces every built point (x_j - x0 - j*h - e_j
// evaluated in double-double), and leaves less drift than the spacing's own
// line x_0 + j*incr_desired.
TEST(Drift, FittedLineReproducesTheGridWithLessDrift)
{
    for (const double ratio : {1e3, 1e4, 1e5}) {
        ht::grid g;
        const double d[2] = {1.0, ratio};
        ASSERT_EQ(ht::plan_grid(d, 2, &g), ht::plan_status::ok);
        const std::size_t N = static_cast<std::size_t>(g.num_samp_desired);
        std::vector<double> x(N), e(N), raw(N);
        ht::fill_grid(g, x.data());
        ht::fast::grid_deviation(x.data(), static_cast<int>(N), g.incr_desired, raw.data());
        e = raw;
        const ht::fast::line ln = ht::fast::fit_line(x.data(), N, g.incr_desired, e.data());
        double max_raw = 0, max_fit = 0;
        for (std::size_t j = 0; j < N; ++j) {
            max_raw = std::max(max_raw, std::fabs(raw[j]));
            max_fit = std::max(max_fit, std::fabs(e[j]));
        }
        int bad = 0;
        for (std::size_t j = 0; j < N && bad < 5; ++j) {
            // x_j - x0 - j*h - e_j in double-double: each step exact or
            // rounded at 2^-106 of terms below 2 max|x|.
            const dd d0 = ht::fast::two_sum(x[j], -ln.x0.hi);
            const dd jh = ht::fast::two_prod(static_cast<double>(j), ln.h.hi);
            const dd d1 = ht::fast::two_sum(d0.hi, -jh.hi);
            const double miss = d1.hi + (d1.lo + d0.lo - jh.lo - ln.x0.lo
                                         - static_cast<double>(j) * ln.h.lo - e[j]);
            if (std::fabs(miss) > 4 * 0x1p-53 * max_raw) {
                ++bad;
                ADD_FAILURE() << "N=" << N << " j=" << j << " misses by " << miss
                              << " (max drift " << max_raw << ")";
            }
        }
        EXPECT_LT(max_fit * 3, max_raw) << "N=" << N;
    }
}

// On the largest grid the benchmarks run (1e6 distances' worth of ratio:
// N = 4.5e6) the drift reaches delta_max = 7.9e-5 after the fit and needs
// the third order. Sampled anti-diagonals through the points of largest
// drift, moments summed directly: the chosen order keeps
// |sum f e^(i delta) - expansion| at the rounding level of the anti-diagonal
// (measured 1e-17 of its mass); one order less leaves 1e-14 .. 4e-14 of it.
TEST(Drift, ChosenOrderHoldsOnTheLargestBenchmarkGrid)
{
    ht::grid g;
    const double d[2] = {1.0, 1e6};
    ASSERT_EQ(ht::plan_grid(d, 2, &g), ht::plan_status::ok);
    layout L = ht::fast::layout_for(static_cast<std::size_t>(g.num_samp_desired));
    std::vector<double> space(L.grid_doubles);
    work w;
    ht::fast::carve_grid(space.data(), L, w);
    ht::fill_grid(g, w.x);
    const double delta_max = ht::fast::drift(L, w, g.incr_desired, g.max_s);
    const int P = ht::fast::drift_order(delta_max);
    std::printf("[ drift ] N=%zu: delta_max %.3g, order %d\n", L.N, delta_max, P);
    ASSERT_EQ(P, 3);

    // Anti-diagonals through the diagonal points of largest |eps|.
    std::vector<std::size_t> order(L.N);
    for (std::size_t j = 0; j < L.N; ++j)
        order[j] = j;
    std::partial_sort(order.begin(), order.begin() + 3, order.end(),
                      [&](std::size_t a, std::size_t b) { return std::fabs(w.e[a]) > std::fabs(w.e[b]); });
    const double kappa = ht::two_pi;   // 2 pi s / sigma at the largest distance
    double worst = 0, worst_short = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t m = 2 * order[static_cast<std::size_t>(i)];
        const std::vector<double> mom = ht_test::antidiagonal_moments(w, L.N, m, P);
        // sum f e^(i kappa (eps_j + eps_k)) directly, and its Taylor sums.
        accumulator re, im;
        const std::size_t j0 = m >= L.N ? m - (L.N - 1) : 0;
        for (std::size_t j = j0; j + j <= m; ++j) {
            const std::size_t k = m - j;
            const double f = (j == k ? 1.0 : 2.0) * kernel(w.x[j], w.x[k]);
            const double delta = kappa * (w.e[j] + w.e[k]);
            const double half = std::sin(0.5 * delta);
            re.add(f);                        // cos(delta) = 1 - 2 sin^2(delta/2),
            re.add(-2.0 * f * half * half);   // the small part kept to full precision
            im.add(f * std::sin(delta));
        }
        auto miss = [&](int order_used) {
            double r = mom[0], s = 0, power = 1;
            for (int p = 1; p <= order_used; ++p) {
                power = power * kappa / p;
                const double v = ((p / 2) % 2 == 0 ? power : -power) * mom[static_cast<std::size_t>(p)];
                (p % 2 != 0 ? s : r) += v;
            }
            return std::hypot(r - re.value(), s - im.value()) / mom[0];
        };
        worst = std::max(worst, miss(P));
        worst_short = std::max(worst_short, miss(P - 1));
    }
    std::printf("[ drift ] order %d: %.3g of the anti-diagonal's mass, order %d: %.3g\n", P, worst,
                P - 1, worst_short);
    EXPECT_LE(worst, 5e-16);
    EXPECT_GT(worst_short, 2e-15);
}

// Every order of the expansion, end to end: a grid whose points stray from
// their line by +-0.14 % of the spacing, alternately (synthetic: far more
// than any built grid, and a pattern no fitted line absorbs), so that on
// every even anti-diagonal the phase perturbation is the full
// delta_max = 0.07 at the largest distance, s = 1/(2h), where the even
// anti-diagonals add in phase. Order 8 leaves at most 1.1e-16 S there, order
// 7 up to 1.4e-14 S. at_distance from both routes' moments against the
// pairwise double-double reference on the same points: order 8 measured
// 8.7e-18 S (direct moments) and 6.4e-17 S (FFT), order 7 7.1e-15 S.
TEST(Expansion, EveryOrderOnAGridThatStraysFromItsLine)
{
    const std::size_t N = 301;
    const double h = 0.01, sigma = 0.5 / h;   // distances up to sigma
    const double stray = 0.07 / (2.0 * ht::two_pi * sigma);   // delta_max = 4 pi sigma stray
    std::vector<double> x(N);
    for (std::size_t j = 0; j < N; ++j)
        x[j] = -1.5 + static_cast<double>(j) * h + (j % 2 == 0 ? stray : -stray);

    layout L = ht::fast::layout_for(N);
    std::vector<double> grid_space(L.grid_doubles), moment_space;
    work w;
    ht::fast::carve_grid(grid_space.data(), L, w);
    std::copy(x.begin(), x.end(), w.x);
    const double delta_max = ht::fast::drift(L, w, h, sigma);
    EXPECT_GT(delta_max, 0.05);
    EXPECT_EQ(ht::fast::drift_order(delta_max), -1);   // sum() would refuse such a grid

    const bool avx2 = ht::fast::avx2_fma_available();
    const double distances[] = {sigma, 0.61 * sigma, 3.3};
    for (moment_route route : {moment_route::direct, moment_route::fft}) {
        const char *name = route == moment_route::fft ? "fft" : "direct";
        for (int P : {ht::fast::max_drift_order, ht::fast::max_drift_order - 1}) {
            ht::fast::plan_moments(L, P, route);
            moment_space.assign(L.moment_doubles, 0.0);
            ht::fast::carve_moments(moment_space.data(), L, w);
            ASSERT_TRUE(ht::fast::moments(L, w, avx2, std::malloc));
            double worst = 0;
            for (const double s : distances) {
                double S = 0;
                const double ref = ht_test::pairwise_reference(x, s, &S);
                worst = std::max(worst, std::fabs(ht::fast::at_distance(L, w, s, avx2) - ref) / S);
            }
            std::printf("[ expansion ] %s moments, order %d: max |error| / S = %.3g\n", name, P, worst);
            if (P == ht::fast::max_drift_order)
                EXPECT_LE(worst, 2e-16) << name;
            else
                EXPECT_GT(worst, 2e-15) << name;
        }
    }
}

// ---------------------------------------------------------------------------
// The route through sum().

// Small grids stay on the direct route, which only rounds (the accuracy
// suite's sets, N <= 500); from a few thousand points on the FFT route is
// several times cheaper; a kernel range of hundreds of decades needs so many
// terms that the direct route wins again at moderate N.
TEST(Route, CostModelKeepsSmallGridsDirect)
{
    EXPECT_EQ(ht::fast::cheaper_route(452, 1, 89.8), moment_route::direct);
    EXPECT_EQ(ht::fast::cheaper_route(4502, 1, 89.8), moment_route::fft);
    EXPECT_EQ(ht::fast::cheaper_route(450003, 2, 89.8), moment_route::fft);
    EXPECT_EQ(ht::fast::cheaper_route(4502, 1, 1e250), moment_route::direct);
    EXPECT_EQ(ht::fast::cheaper_route(4502, 1, HUGE_VAL), moment_route::direct);
}

std::size_t alloc_calls = 0, fail_on_call = 0;

void *counting_alloc(std::size_t bytes)
{
    return ++alloc_calls == fail_on_call ? nullptr : std::malloc(bytes);
}

// On the FFT route a call allocates five times: distances, grid, moments,
// the FFT's own work space, and room for FFTW's plans (taken and released
// at once before planning, fftw_planning.h). Each failing gives NaN in every
// output and releases everything (LeakSanitizer checks in the sanitizer
// build); with none failing the call is computed.
TEST(Route, FftRouteFailedAllocationGivesNaN)
{
    const std::vector<double> d{1.0, 40.0, 7.5, 1000.0};
    ht::fast::options opt;
    opt.alloc = counting_alloc;
    opt.moments = moment_route::fft;
    for (std::size_t k = 1; k <= 6; ++k) {
        alloc_calls = 0;
        fail_on_call = k;
        std::vector<double> out(d.size() + 1, 12345.0);
        ht::fast::sum(out.data(), d.data(), static_cast<int>(d.size()), opt);
        for (std::size_t i = 0; i < d.size(); ++i)
            EXPECT_EQ(std::isnan(out[i]), k <= 5) << "allocation " << k << " failed, i=" << i;
        EXPECT_EQ(out[d.size()], 12345.0);
        EXPECT_EQ(alloc_calls, std::min<std::size_t>(k, 5));
    }
    fail_on_call = 0;
}

} // namespace
