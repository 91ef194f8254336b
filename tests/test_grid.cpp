// The grid is where the last bits matter most: one ulp in the quotient adds
// a grid point and changes every output. These cases fail if the build
// fuses, reorders or widens any of the grid's operations.
#include "grid.h"
#include "hankel_transf.h"
#include "literal_reference.h"
#include "test_util.h"

#include <cmath>
#include <limits>
#include <random>
#include <vector>

using testutil::describe;
using testutil::same_bits;

namespace {

struct built {
    ht::plan_status status;
    ht::grid g;
    std::vector<double> x;
};

built build(const std::vector<double> &td)
{
    built b;
    b.status = ht::plan_grid(td.data(), static_cast<int>(td.size()), &b.g);
    if (b.status == ht::plan_status::ok) {
        b.x.resize(static_cast<std::size_t>(b.g.num_samp_desired));
        ht::fill_grid(b.g, b.x.data());
    }
    return b;
}

int points(const std::vector<double> &td)
{
    const built b = build(td);
    EXPECT_EQ(b.status, ht::plan_status::ok) << describe(td);
    return b.g.num_samp_desired;
}

} // namespace

TEST(Grid, RootTwoGivesTheQuarterGrid)
{
    const built b = build({1.4142135623730951});
    ASSERT_EQ(b.status, ht::plan_status::ok);
    EXPECT_TRUE(same_bits(b.g.min_s, 1.0));
    EXPECT_TRUE(same_bits(b.g.max_x, 0.75));
    EXPECT_EQ(b.g.num_samp_desired_no_endpt, 6);
    EXPECT_TRUE(same_bits(b.g.incr_desired, 0.25));
    const std::vector<double> want = {-0.75, -0.5, -0.25, 0.0, 0.25, 0.5, 0.75};
    ASSERT_EQ(b.x.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i)
        EXPECT_TRUE(same_bits(b.x[i], want[i])) << "x[" << i << "]";
}

TEST(Grid, RepeatedAdditionLeavesItsTraces)
{
    const built b = build({1.0});
    ASSERT_EQ(b.g.num_samp_desired, 7);
    EXPECT_TRUE(same_bits(b.g.max_x, 1.0606601717798214));
    EXPECT_TRUE(same_bits(b.g.min_x, -1.0606601717798214));
    EXPECT_TRUE(same_bits(b.g.incr_desired, 0.3535533905932738));
    EXPECT_TRUE(same_bits(b.x[3], -1.1102230246251565e-16));   // not 0
    EXPECT_TRUE(same_bits(b.x[6], 1.0606601717798212));        // not max_x
}

TEST(Grid, QuotientOneUlpAboveAnIntegerAddsAPoint)
{
    const built b12 = build({1.0, 2.0});
    EXPECT_EQ(b12.g.num_samp_desired_no_endpt, 11);
    EXPECT_EQ(b12.g.num_samp_desired, 12);
    EXPECT_TRUE(same_bits(b12.g.incr_desired, 0.19284730395996752));
    // The library's own extent and target spacing put the quotient one ulp
    // above 9, so its ceiling is 10.
    EXPECT_TRUE(same_bits((b12.g.max_x - b12.g.min_x) / b12.g.target_spacing, 9.000000000000002));

    // Same ratio, exact quotient 9: one point fewer.
    const built b36 = build({3.0, 6.0});
    EXPECT_TRUE(same_bits((b36.g.max_x - b36.g.min_x) / b36.g.target_spacing, 9.0));
    EXPECT_EQ(b36.g.num_samp_desired_no_endpt, 10);
    EXPECT_EQ(b36.g.num_samp_desired, 11);

    // Input order does not change the grid.
    const built b21 = build({2.0, 1.0});
    EXPECT_EQ(b21.x, b12.x);
}

TEST(Grid, PointCountsForRatios)
{
    EXPECT_EQ(points({1.0, 1.5}), 9);
    EXPECT_EQ(points({1.0, 3.0}), 16);
    EXPECT_EQ(points({1.0, 10.0}), 47);
    EXPECT_EQ(points({1.0, 100.0}), 452);
    EXPECT_EQ(points({1.0, 1000.0}), 4502);
    EXPECT_EQ(points({100.0, 1.0, 50.0}), 452);
}

TEST(Grid, EqualDistancesGiveSevenPointsAtAnyScale)
{
    for (double d = 1e-153; d < 1e300; d *= 9.7) {
        EXPECT_EQ(points({d}), 7) << d;
        EXPECT_EQ(points({d, d, d, d}), 7) << d;
    }
    EXPECT_EQ(points({1e300}), 7);
}

// The smallest distance is bounded by the extent: the planner refuses a call
// only when 1.5/(2 min_s) or the range 2 max_x is not finite. Bisected on the
// smallest distance, alone and with a ratio of 100, the boundary lies at
// 1.18e-308 (some subnormal distances are accepted), and the grid there is
// built with finite points. Between that and about 1e-153 the call is
// computed as given although eval_f returns 0 on the grid's outer points,
// where 4 pi^2 (x1^2 + x2^2) overflows: that is the kernel's arithmetic, and
// the header says so.
TEST(Grid, SmallestDistanceIsBoundedByTheExtent)
{
    for (double ratio : {1.0, 100.0}) {
        auto plan = [ratio](double d, ht::grid *g) {
            const double td[2] = {d, d * ratio};
            return ht::plan_grid(td, 2, g);
        };
        double lo = 1e-309, hi = 1e-307;   // refused, accepted
        ht::grid g;
        ASSERT_EQ(plan(lo, &g), ht::plan_status::extent_overflow);
        ASSERT_EQ(plan(hi, &g), ht::plan_status::ok);
        while (std::nextafter(lo, hi) < hi) {
            const double mid = 0.5 * (lo + hi);
            const double m = (mid > lo && mid < hi) ? mid : std::nextafter(lo, hi);
            (plan(m, &g) == ht::plan_status::ok ? hi : lo) = m;
        }
        EXPECT_GT(hi, 1.17e-308) << "ratio " << ratio;
        EXPECT_LT(hi, 1.19e-308) << "ratio " << ratio;
        const built b = build({hi, hi * ratio});
        ASSERT_EQ(b.status, ht::plan_status::ok);
        for (double x : b.x)
            EXPECT_TRUE(std::isfinite(x)) << "ratio " << ratio;
        // Far below the kernel's own limit: its outer values are 0 there.
        EXPECT_EQ(eval_f(b.x.front(), b.x.front()), 0.0);
    }
}

TEST(Grid, MatchesLiteralReferenceBitForBit)
{
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> log_d(std::log(1e-6), std::log(1e6));
    std::uniform_int_distribution<int> count(1, 12);
    for (int set = 0; set < 400; ++set) {
        std::vector<double> td(static_cast<std::size_t>(count(rng)));
        double lo = 1e300, hi = 0;
        for (auto &d : td) {
            d = std::exp(log_d(rng));
            lo = std::fmin(lo, d);
            hi = std::fmax(hi, d);
        }
        if (hi / lo > 2e4)   // keep the grid below ~1e5 points
            td = {lo, lo * (1.0 + 2e4 * (set % 7) / 6.0)};
        const built b = build(td);
        ASSERT_EQ(b.status, ht::plan_status::ok);
        const auto want = literal::make_grid(td);
        ASSERT_TRUE(same_bits(b.g.max_x, want.max_x)) << describe(td);
        ASSERT_TRUE(same_bits(b.g.incr_desired, want.incr_desired)) << describe(td);
        ASSERT_EQ(b.g.num_samp_desired_no_endpt, want.num_samp_desired_no_endpt) << describe(td);
        ASSERT_EQ(b.g.num_samp_desired, want.num_samp_desired) << describe(td);
        for (std::size_t i = 0; i < b.x.size(); ++i)
            ASSERT_TRUE(same_bits(b.x[i], want.x[i])) << describe(td) << " x[" << i << "]";
    }
}

TEST(Grid, ScaledDistancesAreDivisionsByRootTwo)
{
    // For 0.66, 0.73 and 0.88, d / sqrt2 and d * (1/sqrt2) differ in the
    // last bit; 0.66 and 0.88 are also the extremes the planner keeps.
    const std::vector<double> td = {0.73, 0.88, 0.66, 0.7};
    const double inv_sqrt2 = 1.0 / 1.4142135623730951;
    int differ = 0;
    for (double d : td)
        differ += testutil::bits(d / 1.4142135623730951) != testutil::bits(d * inv_sqrt2);
    ASSERT_EQ(differ, 3) << "the premise: three of these distances tell the two apart";
    std::vector<double> s(td.size());
    ht::scale_distances(td.data(), static_cast<int>(td.size()), s.data());
    for (std::size_t i = 0; i < td.size(); ++i)
        EXPECT_TRUE(same_bits(s[i], literal::rnd(td[i] / 1.4142135623730951))) << td[i];
    const built b = build(td);
    EXPECT_TRUE(same_bits(b.g.min_s, 0.66 / 1.4142135623730951));
    EXPECT_TRUE(same_bits(b.g.max_s, 0.88 / 1.4142135623730951));
}

// The distance check itself, not a later symptom: every refused value, at
// every position, is named by its index before anything is sized.
TEST(Grid, RefusedDistanceIsNamedAtTheCheck)
{
    const double refused[] = {-1.0, -1e-300, -std::numeric_limits<double>::denorm_min(),
                              -std::numeric_limits<double>::max(), 0.0, -0.0,
                              std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
    for (double bad : refused) {
        for (int pos = 0; pos < 3; ++pos) {
            std::vector<double> td = {2.0, 1.0, 3.0};
            td[pos] = bad;
            ht::grid g;
            int index = -1;
            EXPECT_EQ(ht::plan_grid(td.data(), 3, &g, &index), ht::plan_status::bad_distance)
                << testutil::hex(bad) << " at " << pos;
            EXPECT_EQ(index, pos) << testutil::hex(bad);
        }
        // Alone, a negative distance would otherwise size a perfectly
        // ordinary grid from |d|.
        ht::grid g;
        EXPECT_EQ(ht::plan_grid(&bad, 1, &g), ht::plan_status::bad_distance) << testutil::hex(bad);
    }
}
