// Allocation failure and unsizable grids. The contract: with GSL's error
// handler off, a table or work array that cannot be had gives all-NaN
// output and releases whatever was taken; with the default handler a failed
// table aborts; a grid that cannot even be sized is refused before any
// allocation. Address-space limits are set only in forked children.
#include "hankel_transf.h"
#include "hankel_transf_fast.h"

#include "counting_malloc.h"
#include "grid.h"
#include "test_util.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include <gsl/gsl_errno.h>
#include <gtest/gtest.h>

#if defined(__has_feature)
#  if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) \
      || __has_feature(memory_sanitizer)
#    define ROBUST_SHADOW_MEMORY 1
#  endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) \
    || defined(HANKEL_TRANSF_ROBUST_SANITIZED)
#  define ROBUST_SHADOW_MEMORY 1
#endif

namespace {

using dft_fn = void (*)(double *, double *, int *);

using testutil::guarded_output;

// Current virtual size of this process in bytes, from /proc.
std::size_t current_vm_bytes()
{
    std::FILE *f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return 0;
    char line[256];
    unsigned long kb = 0;
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::sscanf(line, "VmSize: %lu kB", &kb) == 1)
            break;
    std::fclose(f);
    return static_cast<std::size_t>(kb) * 1024;
}

// Leaves this much address space above what the process already maps: ample
// for the grid, s and a small work array, far short of any multi-GB block.
constexpr std::size_t headroom = std::size_t{256} << 20;

void limit_address_space()
{
    const std::size_t vm = current_vm_bytes();
    if (vm == 0) {
        std::fprintf(stderr, "cannot read VmSize\n");
        _exit(3);
    }
    struct rlimit rl;
    rl.rlim_cur = rl.rlim_max = vm + headroom;
    if (setrlimit(RLIMIT_AS, &rl) != 0) {
        std::perror("setrlimit");
        _exit(3);
    }
}

int points_per_axis(std::vector<double> td)
{
    ht::grid g;
    if (ht::plan_grid(td.data(), static_cast<int>(td.size()), &g) != ht::plan_status::ok)
        return -1;
    return g.num_samp_desired;
}

// Runs in the forked child: the call under an address-space limit, then the
// checks. Writes what went wrong to stderr and exits non-zero on any fault;
// an alarm turns an allocation that unexpectedly succeeded (and would then
// grind through the sum) into a failure rather than a hang.
[[noreturn]] void child_call_under_limit(dft_fn fn, std::vector<double> td, bool handler_off)
{
    if (handler_off)
        gsl_set_error_handler_off();
    // Warm up first so that lazy one-time allocations (stdio, libm, the
    // loader) are not mistaken for leaks of the call being measured.
    {
        double one[1] = {1.0};
        int n1 = 1;
        fn(one, one, &n1);
    }
    const int n = static_cast<int>(td.size());
    guarded_output out(n);
    limit_address_space();
    alarm(60);

    const counting::snapshot before = counting::now();
    int n_arg = n;
    fn(out.data(), td.data(), &n_arg);
    const counting::snapshot after = counting::now();

    std::string err = out.check_all_nan();
    if (counting::enabled()) {
        if (after.live != before.live)
            err += "blocks live before the call " + std::to_string(before.live) + ", after "
                   + std::to_string(after.live) + ": not everything taken was released\n";
        if (after.failed == before.failed)
            err += "no allocation failed: the limit did not bite\n";
    }
    if (!err.empty()) {
        std::fputs(err.c_str(), stderr);
        _exit(1);
    }
    _exit(0);
}

#if defined(ROBUST_SHADOW_MEMORY)
#  define SKIP_IF_SHADOW_MEMORY() \
      GTEST_SKIP() << "address-space limits conflict with sanitizer shadow memory"
#else
#  define SKIP_IF_SHADOW_MEMORY() (void)0
#endif

// Ratio 5000: N = 22 502 points, so the table is 8 N^2 = 4.05 GB while the
// grid and s take a few hundred kB.
const std::vector<double> table_too_big{1.0, 5000.0, 2.0, 17.0};

// Ratio 2.2e8: N is about 9.9e8, so the grid array alone is 7.9 GB, while
// 8 N^2 still fits in size_t: a sizable grid whose work array fails.
const std::vector<double> grid_too_big{3.0, 6.6e8};

TEST(AllocationFailureDeathTest, TableRefusedWithHandlerOffGivesNaNAndReleasesAll)
{
    SKIP_IF_SHADOW_MEMORY();
    const int N = points_per_axis(table_too_big);
    ASSERT_GT(N, 20000);
    ASSERT_GT(8.0 * N * N, 4.0 * headroom);
    EXPECT_EXIT(child_call_under_limit(&DFTYieldExpon, table_too_big, true),
                ::testing::ExitedWithCode(0), "");
}

TEST(AllocationFailureDeathTest, WorkArrayRefusedGivesNaNAndReleasesAllEvenWithDefaultHandler)
{
    SKIP_IF_SHADOW_MEMORY();
    const int N = points_per_axis(grid_too_big);
    ASSERT_GT(8.0 * N, 4.0 * headroom);
    // The work arrays come from malloc, not GSL: the default handler is never
    // involved and the call must come back with NaN, not abort.
    EXPECT_EXIT(child_call_under_limit(&DFTYieldExpon, grid_too_big, false),
                ::testing::ExitedWithCode(0), "");
}

TEST(AllocationFailureDeathTest, TableRefusedWithDefaultHandlerAborts)
{
    SKIP_IF_SHADOW_MEMORY();
    EXPECT_EXIT(
        {
            limit_address_space();
            alarm(60);
            std::vector<double> td = table_too_big;
            std::vector<double> ht(td.size());
            int n = static_cast<int>(td.size());
            DFTYieldExpon(ht.data(), td.data(), &n);
        },
        ::testing::KilledBySignal(SIGABRT), "gsl: .*failed to allocate");
}

TEST(AllocationFailureDeathTest, FastWorkArraysRefusedGiveNaNAndReleaseAll)
{
    SKIP_IF_SHADOW_MEMORY();
    // N is about 2e8: every O(N) array is 1.6 GB, well past the headroom.
    const std::vector<double> td{1.0, 4.4e7, 3.0};
    ASSERT_GT(8.0 * points_per_axis(td), 4.0 * headroom);
    EXPECT_EXIT(child_call_under_limit(&DFTYieldExponFast, td, true),
                ::testing::ExitedWithCode(0), "");
}

std::vector<std::pair<const char *, dft_fn>> entries()
{
    return {{"DFTYieldExpon", &DFTYieldExpon}, {"DFTYieldExponFast", &DFTYieldExponFast}};
}

// Grids that cannot be sized, each just past one of the limits. The call
// must refuse before touching the allocator: a wrapped or huge size that
// reached malloc would either fail slowly, or succeed small and be
// overrun.
TEST(UnsizableGrid, RefusedWithNaNBeforeAnyAllocation)
{
    const double dmin = DBL_MIN;
    const std::vector<std::pair<const char *, std::vector<double>>> cases{
        // 1/(2 min_s) itself overflows.
        {"subnormal 1e-309", {1e-309}},
        {"smallest subnormal beside 1", {1.0, std::numeric_limits<double>::denorm_min()}},
        // 1/(2 min_s) is finite but the extent 2 max_x overflows.
        {"subnormal DBL_MIN/2", {dmin / 2}},
        // 2 max_s overflows, so the target spacing is 0.
        {"DBL_MAX", {DBL_MAX}},
        {"DBL_MAX beside 1", {1.0, DBL_MAX}},
        // N beyond INT_MAX.
        {"ratio 1e9", {1.0, 1e9}},
        {"ratio 4.8e8 (N just past INT_MAX)", {1.0, 4.8e8, 2.0}},
        // N fits an int but 8 N^2 wraps size_t.
        {"ratio 3.6e8", {1.0, 3.6e8}},
        {"ratio 4.7e8", {4.7e8, 1.0}},
    };
    for (const auto &e : entries()) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(e.first) + ": " + c.first);
            std::vector<double> td = c.second;
            const int n = static_cast<int>(td.size());
            guarded_output out(n);
            int n_arg = n;
            const counting::snapshot before = counting::now();
            e.second(out.data(), td.data(), &n_arg);
            const counting::snapshot after = counting::now();
            EXPECT_EQ(out.check_all_nan(), "");
            if (counting::enabled()) {
                EXPECT_EQ(after.calls, before.calls) << "allocation attempted";
            }
            EXPECT_EQ(n_arg, n);
            EXPECT_EQ(std::memcmp(td.data(), c.second.data(), td.size() * sizeof(double)), 0)
                << "td_vec modified";
        }
    }
}

// The sizable neighbours of the cases above must still be computed.
TEST(UnsizableGrid, SizableNeighboursGiveFiniteValues)
{
    const std::vector<std::pair<const char *, std::vector<double>>> cases{
        {"DBL_MIN", {DBL_MIN}},
        {"DBL_MIN and 2 DBL_MIN", {DBL_MIN, 2 * DBL_MIN}},
        {"DBL_MAX/2", {DBL_MAX / 2}},
        {"1e308 and 2e307", {1e308, 2e307}},
        // Grid points so large that their squares overflow, one close to 0.
        {"2.3e-306 and 1.4e-307", {0x1.a003a000002p-1016, 0x1.a003a000002p-1020}},
    };
    for (const auto &e : entries()) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(e.first) + ": " + c.first);
            std::vector<double> td = c.second;
            std::vector<double> ht(td.size(), std::numeric_limits<double>::quiet_NaN());
            int n = static_cast<int>(td.size());
            const counting::snapshot before = counting::now();
            e.second(ht.data(), td.data(), &n);
            const counting::snapshot after = counting::now();
            for (double v : ht)
                EXPECT_TRUE(std::isfinite(v)) << testutil::hex(v);
            // The counters see the library's allocations, so the refusal
            // test above is not vacuous.
            if (counting::enabled()) {
                EXPECT_GT(after.calls, before.calls);
                EXPECT_EQ(after.live, before.live);
            }
        }
    }
}

// The planner's own edge: bisect on the largest distance (smallest fixed at
// 1) to the two adjacent doubles where it switches from sizing the grid to
// refusing it. The refusal must be exactly where 8 N^2 stops fitting in
// size_t, not earlier: the last accepted N is the largest N with
// 8 N^2 <= SIZE_MAX and the first refused one exceeds it.
TEST(Planner, LargestSizableRatioIsAccepted)
{
    static_assert(sizeof(std::size_t) == 8, "the bracket below assumes a 64-bit size_t");
    auto plan = [](double max_d, ht::grid *g) {
        const double td[2] = {1.0, max_d};
        return ht::plan_grid(td, 2, g);
    };
    double lo = 3e8, hi = 4e8;
    ht::grid g;
    ASSERT_EQ(plan(lo, &g), ht::plan_status::ok);
    ASSERT_EQ(plan(hi, &g), ht::plan_status::too_many_points);
    while (std::nextafter(lo, hi) < hi) {
        const double mid = lo + (hi - lo) / 2;
        const double m = (mid > lo && mid < hi) ? mid : std::nextafter(lo, hi);
        (plan(m, &g) == ht::plan_status::ok ? lo : hi) = m;
    }
    ASSERT_EQ(plan(lo, &g), ht::plan_status::ok);
    const unsigned __int128 N = static_cast<unsigned __int128>(g.num_samp_desired);
    const unsigned __int128 limit = SIZE_MAX;
    EXPECT_LE(8 * N * N, limit) << "accepted a grid whose table size wraps";
    EXPECT_GT(8 * (N + 1) * (N + 1), limit)
        << "refused N = " << static_cast<unsigned long long>(N + 1)
        << " although its table size fits; last accepted max distance " << testutil::hex(lo);
    // The accepted grid is consistent: N points spaced incr_desired span
    // the extent, and spacing is below the target.
    EXPECT_EQ(g.num_samp_desired, g.num_samp_desired_no_endpt + 1);
    EXPECT_LT(g.incr_desired, g.target_spacing);
    EXPECT_GT(g.incr_desired * g.num_samp_desired_no_endpt, 0.999999 * (g.max_x - g.min_x));
}

} // namespace
