#include "hankel_transf.h"
#include "literal_reference.h"
#include "test_util.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

using testutil::describe;
using testutil::hex;
using testutil::same_bits;
using testutil::ten_digits;

namespace {

std::vector<double> transform(std::vector<double> td)
{
    return testutil::call(DFTYieldExpon, std::move(td));
}

} // namespace

TEST(TransformWorkedValues, SingleDistances)
{
    EXPECT_TRUE(ten_digits(transform({1.4142135623730951})[0], 0.7434014215));
    EXPECT_TRUE(ten_digits(transform({1.0})[0], 0.8376631361));
    for (double h : transform({1.0, 1.0, 1.0}))
        EXPECT_TRUE(ten_digits(h, 0.8376631361));
}

TEST(TransformWorkedValues, PairFollowsInputOrder)
{
    const auto a = transform({1.0, 2.0});
    EXPECT_TRUE(ten_digits(a[0], 1.896646434));
    EXPECT_TRUE(ten_digits(a[1], 0.3717551400));
    const auto b = transform({2.0, 1.0});
    EXPECT_TRUE(same_bits(b[0], a[1]));
    EXPECT_TRUE(same_bits(b[1], a[0]));
}

TEST(TransformWorkedValues, OtherDistancesSetTheGrid)
{
    // The same distance, different companions: different grid, different sum.
    EXPECT_TRUE(ten_digits(transform({1.0})[0], 0.8376631361));
    EXPECT_TRUE(ten_digits(transform({1.0, 2.0})[0], 1.896646434));
}

// Seeded random distance sets: counts 1..40, ratios up to 50, overall scale
// from 1e-4 to 1e4, with repeats and permutations. Every output must match
// the literal transcription to the bit.
TEST(TransformMatchesLiteralReference, RandomSetsBitForBit)
{
    std::mt19937_64 rng(0x5eed2026);
    std::uniform_int_distribution<int> count(1, 40);
    std::uniform_real_distribution<double> log_scale(std::log(1e-4), std::log(1e4));
    std::uniform_real_distribution<double> log_ratio(0.0, std::log(50.0));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int set = 0; set < 60; ++set) {
        const int n = count(rng);
        const double scale = std::exp(log_scale(rng));
        const double ratio = std::exp(log_ratio(rng));
        std::vector<double> td(n);
        for (auto &d : td)
            d = scale * std::exp(unit(rng) * std::log(ratio));
        if (n > 2 && set % 3 == 0)
            td[n - 1] = td[0];   // repeats
        const auto want = literal::transform(td);
        const auto got = transform(td);
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(same_bits(got[i], want.ht[i]))
                << "set " << set << " (N = " << want.num_samp_desired << ") output " << i
                << " of distances " << describe(td);

        // A permutation of the input permutes the output and nothing else.
        std::vector<int> perm(n);
        for (int i = 0; i < n; ++i)
            perm[i] = i;
        std::shuffle(perm.begin(), perm.end(), rng);
        std::vector<double> td_perm(n);
        for (int i = 0; i < n; ++i)
            td_perm[i] = td[perm[i]];
        const auto got_perm = transform(td_perm);
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(same_bits(got_perm[i], got[perm[i]])) << "set " << set << " position " << i;
    }
}

// Extreme scales, computed as the arithmetic gives them: where the grid's
// outer kernel values overflow to 0 (smallest distance below ~1e-153, a
// subnormal one included) and near the largest distance that can be sized.
TEST(TransformMatchesLiteralReference, ExtremeScalesBitForBit)
{
    const std::vector<std::vector<double>> sets = {
        {1e-300}, {1.2e-308, 2e-308, 5e-308}, {9.9e-154, 3e-153}, {1e-160, 1e-159, 4e-160},
        {1e300, 3e300}, {1.2e308},
    };
    for (const auto &td : sets) {
        const auto want = literal::transform(td);
        const auto got = transform(td);
        for (std::size_t i = 0; i < td.size(); ++i)
            EXPECT_TRUE(same_bits(got[i], want.ht[i])) << "output " << i << " of " << describe(td);
    }
}

// The distances are scaled into a private array before the first output is
// written, so in-place and overlapping calls see the original distances.
TEST(TransformAliasing, InPlaceAndOverlapByOneEitherWay)
{
    const std::vector<double> td = {0.7, 1.9, 1.3, 2.6, 0.9, 1.1};
    const int n = static_cast<int>(td.size());
    const auto want = transform(td);

    std::vector<double> same = td;
    int len = n;
    DFTYieldExpon(same.data(), same.data(), &len);
    for (int i = 0; i < n; ++i)
        EXPECT_TRUE(same_bits(same[i], want[i])) << "in place, output " << i;

    // ht_vec one element behind td_vec: ht[i] overwrites td[i-1].
    std::vector<double> buf(n + 1);
    std::copy(td.begin(), td.end(), buf.begin() + 1);
    DFTYieldExpon(buf.data(), buf.data() + 1, &len);
    for (int i = 0; i < n; ++i)
        EXPECT_TRUE(same_bits(buf[i], want[i])) << "output before input, output " << i;

    // ht_vec one element ahead of td_vec: ht[i] overwrites td[i+1].
    std::copy(td.begin(), td.end(), buf.begin());
    buf[n] = -1.0;
    DFTYieldExpon(buf.data() + 1, buf.data(), &len);
    for (int i = 0; i < n; ++i)
        EXPECT_TRUE(same_bits(buf[i + 1], want[i])) << "output after input, output " << i;
}

TEST(TransformValues, EqualDistancesGiveEqualOutputsAtAnyScale)
{
    for (double d : {1e-300, 1e-153, 1e-12, 3e-3, 7.0, 1e9, 1e300}) {
        const auto ht = transform({d, d, d});
        EXPECT_TRUE(std::isfinite(ht[0])) << "d = " << hex(d);
        EXPECT_TRUE(same_bits(ht[0], ht[1])) << "d = " << hex(d);
        EXPECT_TRUE(same_bits(ht[0], ht[2])) << "d = " << hex(d);
    }
}
