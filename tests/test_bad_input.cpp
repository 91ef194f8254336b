// Calls outside the caller's guarantees. There is no error channel, so the
// answer is in ht_vec; nothing outside ht_vec[0..n) may ever be written.
#include "hankel_transf.h"
#include "test_util.h"

#include <cmath>
#include <limits>
#include <vector>

using testutil::hex;

namespace {

using testutil::guarded_output;

::testing::AssertionResult all_nan(std::vector<double> td)
{
    guarded_output out(static_cast<int>(td.size()));
    int n = static_cast<int>(td.size());
    DFTYieldExpon(out.data(), td.data(), &n);
    const std::string err = out.check_all_nan();
    if (!err.empty())
        return ::testing::AssertionFailure() << err;
    return ::testing::AssertionSuccess();
}

const double inf = std::numeric_limits<double>::infinity();
const double qnan = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(BadInput, CountBelowOneReadsAndWritesNothing)
{
    // Null arrays: any read or write would crash.
    for (int n : {0, -1, -2147483647 - 1}) {
        int len = n;
        DFTYieldExpon(nullptr, nullptr, &len);
        EXPECT_EQ(len, n);
    }
    guarded_output out(1, 0.25);
    double td = 1.0;
    int zero = 0;
    DFTYieldExpon(out.data(), &td, &zero);
    EXPECT_EQ(out[0], 0.25);
    EXPECT_EQ(out.check_guards(), "");
}

TEST(BadInput, InvalidDistanceAnywhereMakesEveryOutputNaN)
{
    for (double bad : {qnan, -qnan, inf, -inf, 0.0, -0.0, -1.0, -1e-300,
                       -std::numeric_limits<double>::denorm_min()}) {
        for (int pos = 0; pos < 3; ++pos) {
            std::vector<double> td = {1.0, 2.0, 3.0};
            td[pos] = bad;
            EXPECT_TRUE(all_nan(td)) << "distance " << hex(bad) << " at " << pos;
        }
        EXPECT_TRUE(all_nan({bad})) << hex(bad);
    }
}

TEST(BadInput, NaNOutputIsQuiet)
{
    std::vector<double> td = {1.0, -1.0};
    std::vector<double> ht(2);
    int n = 2;
    DFTYieldExpon(ht.data(), td.data(), &n);
    // exponent all ones, top mantissa bit set
    EXPECT_EQ(testutil::bits(ht[0]) & 0x7ff8000000000000ULL, 0x7ff8000000000000ULL);
}

TEST(BadInput, InvalidDistanceInPlace)
{
    std::vector<double> v = {1.0, qnan, 2.0};
    int n = 3;
    DFTYieldExpon(v.data(), v.data(), &n);
    for (double h : v)
        EXPECT_TRUE(std::isnan(h));
}

TEST(BadInput, GridsThatCannotBeSizedGiveNaN)
{
    const double sub = std::numeric_limits<double>::denorm_min();
    EXPECT_TRUE(all_nan({sub}));                  // 1/(2 min_s) overflows
    EXPECT_TRUE(all_nan({1e-310, 1e-310}));
    EXPECT_TRUE(all_nan({1.0, 1e9}));             // N ~ 4.5e9 > INT_MAX
    EXPECT_TRUE(all_nan({1e-300, 1e300}));        // quotient is infinite
    EXPECT_TRUE(all_nan({1.0, 3.5e8}));           // N ~ 1.6e9: 8 N^2 wraps size_t
    EXPECT_TRUE(all_nan({1.7e308}));              // 2 max_s overflows
}

TEST(BadInput, ExtremeSizableDistancesGiveFiniteValues)
{
    // The smallest and largest distances the grid can still be sized for.
    for (double d : {1e-300, 1e300, 2.2250738585072014e-308 * 4}) {
        std::vector<double> td = {d};
        double ht = 0;
        int n = 1;
        DFTYieldExpon(&ht, td.data(), &n);
        EXPECT_TRUE(std::isfinite(ht)) << hex(d);
    }
}
