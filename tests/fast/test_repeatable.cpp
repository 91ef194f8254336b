// Results are a function of the input alone: whatever the heap held before
// a call, the same distances give the same bits. A malloc that hands out
// old data (as a long-running host's heap does) stands in for a reused heap;
// fresh pages from mmap are zero and would hide a read of memory the call
// never wrote.
#include "fast_sum.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using testutil::same_bits;

// Every byte of the block set to those of a double near 1e300.
void *poisoned_alloc(std::size_t bytes)
{
    static const unsigned char pattern[8] = {0x9c, 0x75, 0x88, 0x3c, 0xe4, 0xa6, 0x3e, 0x7e};
    unsigned char *p = static_cast<unsigned char *>(std::malloc(bytes));
    for (std::size_t i = 0; p != nullptr && i < bytes; ++i)
        p[i] = pattern[i % 8];
    return p;
}

std::vector<double> fast(const std::vector<double> &d, ht::fast::moment_route moments,
                         ht::fast::distance_route distances, void *(*alloc)(std::size_t))
{
    std::vector<double> out(d.size());
    ht::fast::options opt;
    opt.moments = moments;
    opt.distances = distances;
    opt.alloc = alloc;
    ht::fast::sum(out.data(), d.data(), static_cast<int>(d.size()), opt);
    return out;
}

} // namespace

// N = 1173: the FFT moment route wrote fft_length(N) + 2 = 2354 entries of
// each moment array and the per-distance loop read whole blocks of 32,
// 2368 of them; the 14 entries between came from the heap (5008.9 for a
// value of 0.4459 on a reused heap).
TEST(FastRepeatable, FftMomentsThenDirectDistancesOnAReusedHeap)
{
    const std::vector<double> d = {5.703224996314095, 191.3748832094303, 1483.8682479993222};
    const auto clean = fast(d, ht::fast::moment_route::fft, ht::fast::distance_route::direct,
                            nullptr);
    for (int call = 0; call < 2; ++call) {
        const auto again = fast(d, ht::fast::moment_route::fft, ht::fast::distance_route::direct,
                                poisoned_alloc);
        for (std::size_t i = 0; i < d.size(); ++i)
            EXPECT_TRUE(same_bits(again[i], clean[i])) << "d = " << d[i] << ", call " << call;
    }
}
