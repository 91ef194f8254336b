// The grid is where the last bits matter most: one ulp in the quotient adds
// a grid point and changes every output. These cases fail if the build
// fuses, reorders or widens any of the grid's operations.
#include "grid.h"
#include "literal_reference.h"
#include "test_util.h"

#include <cmath>
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
    for (double d = 1e-300; d < 1e300; d *= 9.7) {
        EXPECT_EQ(points({d}), 7) << d;
        EXPECT_EQ(points({d, d, d, d}), 7) << d;
    }
    EXPECT_EQ(points({1e300}), 7);
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
    // d / sqrt2 and d * (1/sqrt2) differ in the last bit for many d.
    const std::vector<double> td = {1.0, 3.0, 0.1, 7.25, 0.07, 12.3456789};
    std::vector<double> s(td.size());
    ht::scale_distances(td.data(), static_cast<int>(td.size()), s.data());
    for (std::size_t i = 0; i < td.size(); ++i)
        EXPECT_TRUE(same_bits(s[i], literal::rnd(td[i] / 1.4142135623730951)));
    const built b = build(td);
    EXPECT_TRUE(same_bits(b.g.min_s, s[4]));
    EXPECT_TRUE(same_bits(b.g.max_s, s[5]));
}
