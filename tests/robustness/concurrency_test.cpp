// Concurrent calls: the entry points keep no state, so eight threads calling
// them at once, each with its own output array, must reproduce the
// single-threaded results to the bit. Built under ThreadSanitizer this also
// proves the absence of data races on anything the calls touch.
#include "hankel_transf.h"
#include "hankel_transf_fast.h"

#include "test_util.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using dft_fn = void (*)(double *, double *, int *);

constexpr int kThreads = 8;
constexpr int kRounds = 6;

// Distance sets chosen so that calls differ in grid size, in order and in
// which path they take: a shared grid for several distances, a single
// distance, repeats in descending order, and one bad value (the NaN path
// must be just as thread-safe as the summing path).
std::vector<std::vector<double>> distance_sets()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {
        {1.0, 2.5, 7.0, 12.0, 0.75, 3.25, 20.0},
        {0.03125},
        {9.0, 9.0, 4.0, 1.5, 1.5, 0.5},
        {123.0, 4567.0, 1234.5},
        {2.0, nan, 1.0},
    };
}

// Sets only the fast method can afford in a thread pool: N = 4502 takes its
// FFT route for the moments, so FFTW plans, executes and destroys plans
// from every thread at once (the direct sum would need seconds per call).
std::vector<std::vector<double>> fast_only_sets()
{
    return {{1.0, 1000.0, 31.6, 250.0}};
}

struct entry {
    const char *name;
    dft_fn fn;
};

std::vector<entry> entries()
{
    return {{"DFTYieldExpon", &DFTYieldExpon}, {"DFTYieldExponFast", &DFTYieldExponFast}};
}

std::vector<double> call(dft_fn fn, std::vector<double> td, bool in_place)
{
    int n = static_cast<int>(td.size());
    if (in_place) {
        fn(td.data(), td.data(), &n);
        return td;
    }
    std::vector<double> ht(td.size(), -1.0);
    fn(ht.data(), td.data(), &n);
    return ht;
}

::testing::AssertionResult same_bits(const std::vector<double> &got,
                                     const std::vector<double> &want)
{
    if (got.size() == want.size()
        && std::memcmp(got.data(), want.data(), got.size() * sizeof(double)) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got " << testutil::describe(got) << "\nwant " << testutil::describe(want);
}

// Releases every thread at once so that the calls genuinely overlap.
class start_gate {
public:
    explicit start_gate(int parties) : waiting_(parties) {}
    void arrive_and_wait()
    {
        waiting_.fetch_sub(1, std::memory_order_acq_rel);
        while (waiting_.load(std::memory_order_acquire) > 0)
            std::this_thread::yield();
    }

private:
    std::atomic<int> waiting_;
};

// One result slot per (thread, round, set): written by exactly one thread,
// read by the main thread only after join().
struct slot {
    std::vector<double> ht;
};

TEST(Concurrency, TransformsFromEightThreadsMatchSerialBits)
{
    for (const entry &e : entries()) {
        SCOPED_TRACE(e.name);
        auto sets = distance_sets();
        if (e.fn == &DFTYieldExponFast)
            for (const auto &td : fast_only_sets())
                sets.push_back(td);
        std::vector<std::vector<double>> serial, serial_in_place;
        for (const auto &td : sets) {
            serial.push_back(call(e.fn, td, false));
            serial_in_place.push_back(call(e.fn, td, true));
            // Aliasing must not change a bit either.
            ASSERT_TRUE(same_bits(serial_in_place.back(), serial.back()));
        }

        const std::size_t per_thread = kRounds * sets.size();
        std::vector<slot> results(kThreads * per_thread);
        start_gate gate(kThreads);
        std::vector<std::thread> pool;
        for (int t = 0; t < kThreads; ++t) {
            pool.emplace_back([&, t] {
                gate.arrive_and_wait();
                for (int r = 0; r < kRounds; ++r)
                    for (std::size_t k = 0; k < sets.size(); ++k) {
                        // Each thread walks the sets from a different start
                        // and alternates in-place and separate outputs, so
                        // unlike calls run side by side.
                        const std::size_t s = (k + static_cast<std::size_t>(t)) % sets.size();
                        const bool in_place = ((t + r) % 2) == 1;
                        results[t * per_thread + r * sets.size() + s].ht =
                            call(e.fn, sets[s], in_place);
                    }
            });
        }
        for (auto &th : pool)
            th.join();

        for (int t = 0; t < kThreads; ++t)
            for (int r = 0; r < kRounds; ++r)
                for (std::size_t s = 0; s < sets.size(); ++s)
                    EXPECT_TRUE(same_bits(results[t * per_thread + r * sets.size() + s].ht,
                                          serial[s]))
                        << "thread " << t << ", round " << r << ", set " << s;
    }
}

TEST(Concurrency, KernelFromEightThreadsMatchesSerialBits)
{
    // Arguments across the range the transform uses and beyond: zero, both
    // signs, tiny and huge magnitudes, infinities and NaN.
    std::vector<double> args;
    for (int i = -300; i <= 300; ++i)
        args.push_back(std::ldexp(static_cast<double>(i), -5) * 1.0000001);
    args.push_back(std::numeric_limits<double>::denorm_min());
    args.push_back(1e200);
    args.push_back(std::numeric_limits<double>::infinity());
    args.push_back(std::numeric_limits<double>::quiet_NaN());

    const std::size_t m = args.size();
    std::vector<double> serial(m * m);
    for (std::size_t a = 0; a < m; ++a)
        for (std::size_t b = 0; b < m; ++b)
            serial[a * m + b] = eval_f(args[a], args[b]);

    std::vector<std::vector<double>> per_thread(kThreads, std::vector<double>(m * m));
    start_gate gate(kThreads);
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
        pool.emplace_back([&, t] {
            gate.arrive_and_wait();
            std::vector<double> &out = per_thread[t];
            // Threads sweep in opposite directions to interleave differently.
            for (std::size_t q = 0; q < m * m; ++q) {
                const std::size_t idx = (t % 2) ? (m * m - 1 - q) : q;
                out[idx] = eval_f(args[idx / m], args[idx % m]);
            }
        });
    }
    for (auto &th : pool)
        th.join();

    for (int t = 0; t < kThreads; ++t) {
        if (std::memcmp(per_thread[t].data(), serial.data(), m * m * sizeof(double)) == 0)
            continue;
        for (std::size_t idx = 0; idx < m * m; ++idx)
            EXPECT_TRUE(testutil::same_bits(per_thread[t][idx], serial[idx]))
                << "thread " << t << ", eval_f(" << testutil::hex(args[idx / m]) << ", "
                << testutil::hex(args[idx % m]) << ")";
    }
}

} // namespace
