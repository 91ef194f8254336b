// DFTYieldExponFast against the sum in quadruple precision, against the
// direct sum's own error, and against DFTYieldExpon's input contract.
#include "hankel_transf.h"
#include "hankel_transf_fast.h"

#include "fast_loops.h"
#include "fast_sum.h"
#include "grid.h"
#include "quad_reference.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using testutil::call;
using testutil::hex;

std::string hex(__float128 v)
{
    char buf[96];
    quadmath_snprintf(buf, sizeof buf, "%Qa", v);
    return buf;
}

// The grid both methods build for these distances, via the shared grid unit.
std::vector<double> grid_of(const std::vector<double> &d, ht::grid *g_out = nullptr)
{
    ht::grid g;
    if (ht::plan_grid(d.data(), static_cast<int>(d.size()), &g) != ht::plan_status::ok)
        return {};
    std::vector<double> x(static_cast<std::size_t>(g.num_samp_desired));
    ht::fill_grid(g, x.data());
    if (g_out != nullptr)
        *g_out = g;
    return x;
}

// n distances, log-uniform in [lo, lo*ratio] with both ends present, in
// random order; lo itself log-uniform in [1e-3, 1e3].
std::vector<double> random_set(std::uint64_t seed, double ratio, int n)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double lo = std::exp(std::log(1e-3) + u(rng) * std::log(1e6));
    std::vector<double> d{lo, lo * ratio};
    while (static_cast<int>(d.size()) < n)
        d.push_back(lo * std::exp(u(rng) * std::log(ratio)));
    d.resize(static_cast<std::size_t>(n));
    std::shuffle(d.begin(), d.end(), rng);
    return d;
}

std::vector<double> fast_ext(const std::vector<double> &d, ht::fast::isa path)
{
    std::vector<double> out(d.size());
    ht::fast::options opt;
    opt.path = path;
    ht::fast::sum(out.data(), d.data(), static_cast<int>(d.size()), opt);
    return out;
}

struct grid_query {
    int status, bad_index, N;
    double incr_desired, max_x;
};

grid_query query_grid(std::vector<double> d)
{
    grid_query q{-7, -7, -7, 0.0, 0.0};
    int n = static_cast<int>(d.size());
    DFTYieldExponGrid(&q.status, &q.bad_index, &q.N, &q.incr_desired, &q.max_x, d.data(), &n);
    return q;
}

double abs_err(double v, __float128 ref)
{
    return static_cast<double>(fabsq(static_cast<__float128>(v) - ref));
}

// ---------------------------------------------------------------------------
// Accuracy. Every set is checked against the quad reference on its own grid;
// the sets range from a single repeated distance (N = 7) to N ~ 500, with
// the number of distances scaled so the reference stays affordable.

TEST(FastAccuracy, WithinQuadReferenceAndNoWorseThanDirectSum)
{
    struct set_shape {
        std::uint64_t seed;
        double ratio;
    };
    const set_shape shapes[] = {
        {11, 1.0},  {12, 1.7},  {13, 3.2},  {14, 6.5},  {15, 11.0}, {16, 19.0},
        {17, 33.0}, {18, 47.0}, {19, 64.0}, {20, 88.0}, {21, 110.0},
    };
    const bool have_avx2 = ht::fast::avx2_fma_available();
    const double tol = 1e-14;

    double sum_fast = 0, sum_base = 0, sum_exact = 0, max_fast = 0, max_base = 0;
    int count = 0;
    auto check_set = [&](const std::vector<double> &d, const char *label) {
        const std::vector<double> x = grid_of(d);
        ASSERT_FALSE(x.empty());
        const ht_test::quad_reference ref(x);
        const double S = ref.total();
        const std::vector<double> fast = call(DFTYieldExponFast, d);
        const std::vector<double> exact = call(DFTYieldExpon, d);
        const std::vector<double> base = fast_ext(d, ht::fast::isa::baseline);
        for (std::size_t i = 0; i < d.size(); ++i) {
            const __float128 r = ref.at(d[i] / ht::sqrt2);
            const double ef = abs_err(fast[i], r) / S;
            const double eb = abs_err(base[i], r) / S;
            const double ex = abs_err(exact[i], r) / S;
            EXPECT_LE(ef, tol) << label << " N=" << x.size() << " d=" << hex(d[i])
                               << " fast=" << hex(fast[i]) << " ref=" << hex(r)
                               << " S=" << hex(S);
            EXPECT_LE(eb, tol) << label << " (baseline loops) N=" << x.size()
                               << " d=" << hex(d[i]) << " fast=" << hex(base[i])
                               << " ref=" << hex(r) << " S=" << hex(S);
            sum_fast += ef;
            sum_base += eb;
            sum_exact += ex;
            max_fast = std::max(max_fast, ef);
            max_base = std::max(max_base, eb);
            ++count;
        }
    };

    for (const set_shape &sp : shapes) {
        const std::vector<double> probe = random_set(sp.seed, sp.ratio, 2);
        const double N = static_cast<double>(grid_of(probe).size());
        const int n = static_cast<int>(std::clamp(1.2e6 / (N * N / 2), 3.0, 24.0));
        check_set(random_set(sp.seed, sp.ratio, n),
                  ("seed " + std::to_string(sp.seed)).c_str());
    }
    // The benchmark's small workload: 1..100, N = 452.
    std::vector<double> w1;
    for (int i = 0; i < 8; ++i)
        w1.push_back(std::pow(100.0, i / 7.0));
    check_set(w1, "1..100");

    std::printf("[ accuracy ] %d distances: max |fast-ref|/S = %.3g (baseline loops %.3g%s)\n"
                "[ accuracy ] sum of errors/S: fast %.3g, baseline %.3g, direct sum %.3g\n",
                count, max_fast, max_base, have_avx2 ? "" : ", no AVX2 on this CPU",
                sum_fast, sum_base, sum_exact);
    EXPECT_LE(sum_fast, sum_exact);
    EXPECT_LE(sum_base, sum_exact);
}

// The grid's drift from even spacing grows like N^2 in phase: negligible at
// N ~ 500, ~3e-15 * S at N = 4502 if ignored, 4e-14 * S at N = 45003. The
// method's own error does not grow with N, so this size is held to 1e-15 * S
// (measured ~1e-17), which the drift terms alone would break. The quad
// reference is unaffordable here; the pairwise double-double one is good to
// a few 1e-16 * S.
TEST(FastAccuracy, LargeGridAgainstPairwiseReference)
{
    std::vector<double> d;   // the benchmark's 1..1000 workload: N = 4502
    for (int i = 0; i < 200; ++i)
        d.push_back(std::pow(1000.0, i / 199.0));
    const std::vector<double> x = grid_of(d);
    ASSERT_EQ(x.size(), 4502u);
    const std::vector<double> fast = call(DFTYieldExponFast, d);
    double max_err = 0;
    for (int i : {0, 57, 199}) {
        double S = 0;
        const double ref = ht_test::pairwise_reference(x, d[i] / ht::sqrt2, &S);
        const double err = std::fabs(fast[i] - ref) / S;
        EXPECT_LE(err, 1e-15) << "d=" << hex(d[i]) << " fast=" << hex(fast[i])
                              << " ref=" << hex(ref) << " S=" << hex(S);
        max_err = std::max(max_err, err);
    }
    std::printf("[ accuracy ] N = 4502: max |fast-ref|/S = %.3g\n", max_err);
}

// The method splits each grid point into x_0 + j*h + e_j; a point that is
// not reproduced exactly would shift every phase at large N.
TEST(FastGrid, DeviationReproducesEveryBuiltPoint)
{
    const double ratios[] = {1.0, 37.0, 1e3, 1e4};
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        const double ratio = ratios[seed - 1];
        ht::grid g;
        const std::vector<double> x = grid_of(random_set(seed, ratio, 3), &g);
        ASSERT_FALSE(x.empty());
        const int N = static_cast<int>(x.size());
        std::vector<double> e(x.size());
        ht::fast::grid_deviation(x.data(), N, g.incr_desired, e.data());
        double max_e = 0;
        int bad = 0;
        for (int j = 0; j < N && bad < 5; ++j) {
            // Exact in binary128: every point is a multiple of ulp(h)/2 and
            // spans fewer than 113 bits.
            const __float128 exact = static_cast<__float128>(x[j]) - x[0]
                                     - static_cast<__float128>(j) * g.incr_desired;
            const __float128 diff = fabsq(static_cast<__float128>(e[j]) - exact);
            if (diff > fabsq(exact) * 0x1p-52Q) {
                ++bad;
                ADD_FAILURE() << "N=" << N << " j=" << j << " x_j=" << hex(x[j])
                              << " e_j=" << hex(e[j]) << " exact=" << hex(exact);
            }
            max_e = std::max(max_e, std::fabs(e[j]));
        }
        if (ratio >= 1e3)  // repeated addition must have drifted off the progression
            EXPECT_GT(max_e, 0.0) << "N=" << N;
    }
}

// ---------------------------------------------------------------------------
// Input outside the contract: the same answer as DFTYieldExpon.

constexpr double guard = 12345.0;
const double nan_v = std::numeric_limits<double>::quiet_NaN();
const double inf_v = std::numeric_limits<double>::infinity();

std::size_t alloc_calls = 0;
std::size_t fail_on_call = 0;   // 0: never fail

void *counting_alloc(std::size_t bytes)
{
    ++alloc_calls;
    if (alloc_calls == fail_on_call)
        return nullptr;
    return std::malloc(bytes);
}

// The grid query on worked sets: the values the sums are documented to use,
// and the cell area that turns the bare sum into the continuum transform's
// Riemann sum.
TEST(FastGridQuery, ReportsTheWorkedGrids)
{
    grid_query q = query_grid({1.4142135623730951});
    EXPECT_EQ(q.status, HANKEL_TRANSF_GRID_OK);
    EXPECT_EQ(q.bad_index, -1);
    EXPECT_EQ(q.N, 7);
    EXPECT_EQ(q.incr_desired, 0.25);
    EXPECT_EQ(q.max_x, 0.75);
    q = query_grid({2.0, 1.0});
    EXPECT_EQ(q.N, 12);   // the quotient lands one ulp above 9
    EXPECT_TRUE(testutil::same_bits(q.incr_desired, 0.19284730395996752));
    EXPECT_TRUE(testutil::same_bits(q.max_x, 1.0606601717798214));
    EXPECT_EQ(query_grid({3.0, 6.0}).N, 11);
    EXPECT_EQ(query_grid({1.0, 1000.0}).N, 4502);
}

TEST(FastBadInput, NaNEverywhereAndNothingAllocatedLikeDirectSum)
{
    const std::vector<std::vector<double>> cases = {
        {nan_v}, {1.0, nan_v, 2.0}, {inf_v, 1.0}, {1.0, -inf_v}, {0.0},
        {2.0, -0.0}, {-1.0, 3.0}, {3.0, 2.0, -5e-324},
        // grids that cannot be sized: 1/(2 min_s) overflows; N beyond
        // INT_MAX; N fits an int but an N x N table would not fit size_t.
        {1e-310, 1.0}, {1.0, 1e10}, {4e8, 1.0},
        {1.3e308}, // 2 max_s overflows
    };
    for (std::size_t c = 0; c < cases.size(); ++c) {
        const std::vector<double> &d = cases[c];
        const int n = static_cast<int>(d.size());
        // The grid query refuses the same calls, naming the first bad distance.
        const std::ptrdiff_t first_bad = std::find_if(d.begin(), d.end(), [](double v) {
            return !(v > 0.0 && std::isfinite(v));
        }) - d.begin();
        const grid_query q = query_grid(d);
        if (first_bad < n) {
            EXPECT_EQ(q.status, HANKEL_TRANSF_GRID_BAD_DISTANCE) << "case " << c;
            EXPECT_EQ(q.bad_index, first_bad) << "case " << c;
        } else {
            EXPECT_EQ(q.status, d[0] < 1e-300   ? HANKEL_TRANSF_GRID_EXTENT_OVERFLOW
                                : d[0] > 1e308 ? HANKEL_TRANSF_GRID_SPACING_UNDERFLOW
                                                : HANKEL_TRANSF_GRID_TOO_MANY_POINTS)
                << "case " << c;
            EXPECT_EQ(q.bad_index, -1) << "case " << c;
        }
        EXPECT_EQ(q.N, 0);
        EXPECT_TRUE(std::isnan(q.incr_desired) && std::isnan(q.max_x));
        for (auto fn : {DFTYieldExpon, DFTYieldExponFast}) {
            std::vector<double> out(d.size() + 2, guard);
            std::vector<double> td = d;
            int nn = n;
            fn(out.data(), td.data(), &nn);
            const bool fast = fn == DFTYieldExponFast;
            for (int i = 0; i < n; ++i)
                EXPECT_TRUE(std::isnan(out[i])) << (fast ? "fast" : "direct") << " case d[0]="
                                                << hex(d[0]) << " i=" << i;
            EXPECT_EQ(out[n], guard);
            EXPECT_EQ(out[n + 1], guard);
            EXPECT_EQ(0, std::memcmp(td.data(), d.data(), d.size() * sizeof(double)));
        }
        alloc_calls = 0;
        fail_on_call = 0;
        std::vector<double> out(d.size());
        ht::fast::options opt;
        opt.alloc = counting_alloc;
        ht::fast::sum(out.data(), d.data(), n, opt);
        EXPECT_EQ(alloc_calls, 0u) << "d[0]=" << hex(d[0]);
    }
}

TEST(FastBadInput, NonPositiveCountReadsAndWritesNothing)
{
    for (int n : {0, -1, std::numeric_limits<int>::min()}) {
        int nn = n;
        DFTYieldExponFast(nullptr, nullptr, &nn);   // would fault on any access
        int status = -7, bad = -7, N = -7;
        double h = 0, mx = 0;
        DFTYieldExponGrid(&status, &bad, &N, &h, &mx, nullptr, &nn);
        EXPECT_EQ(status, HANKEL_TRANSF_GRID_NO_DISTANCES);
        EXPECT_EQ(bad, -1);
        double out = guard, td = 1.0;
        nn = n;
        DFTYieldExponFast(&out, &td, &nn);
        EXPECT_EQ(out, guard);
        EXPECT_EQ(nn, n);
    }
}

TEST(FastBadInput, FailedAllocationGivesNaNAndReleasesEverything)
{
    const std::vector<double> d = random_set(5, 9.0, 4);
    for (std::size_t k : {1u, 2u}) {
        alloc_calls = 0;
        fail_on_call = k;
        std::vector<double> out(d.size() + 1, guard);
        ht::fast::options opt;
        opt.alloc = counting_alloc;
        ht::fast::sum(out.data(), d.data(), static_cast<int>(d.size()), opt);
        for (std::size_t i = 0; i < d.size(); ++i)
            EXPECT_TRUE(std::isnan(out[i])) << "allocation " << k << " failed, i=" << i;
        EXPECT_EQ(out[d.size()], guard);
        EXPECT_EQ(alloc_calls, k);   // gave up at the failure
    }
    fail_on_call = 0;
    // LeakSanitizer (sanitizer build) reports anything not released.
}

// ---------------------------------------------------------------------------
// ht_vec may be td_vec or overlap it by one element either way.

TEST(FastAliasing, InPlaceAndOverlappingMatchSeparateBuffers)
{
    const std::vector<double> d = random_set(7, 20.0, 6);
    const int n = static_cast<int>(d.size());
    const std::vector<double> expected = call(DFTYieldExponFast, d);
    auto same = [&](const double *got, const char *what) {
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(hex(got[i]), hex(expected[i])) << what << " i=" << i;
    };

    std::vector<double> buf = d;
    int nn = n;
    DFTYieldExponFast(buf.data(), buf.data(), &nn);
    same(buf.data(), "in place");

    std::vector<double> before(d.size() + 1);   // outputs start one before the inputs
    std::copy(d.begin(), d.end(), before.begin() + 1);
    nn = n;
    DFTYieldExponFast(before.data(), before.data() + 1, &nn);
    same(before.data(), "ht_vec = td_vec - 1");

    std::vector<double> after(d.size() + 1);    // outputs start one after the inputs
    std::copy(d.begin(), d.end(), after.begin());
    nn = n;
    DFTYieldExponFast(after.data() + 1, after.data(), &nn);
    same(after.data() + 1, "ht_vec = td_vec + 1");
}

} // namespace
