// libFuzzer harness for the transform entry points.
//
// Input layout: a little-endian int32 count, then raw binary64 distances.
// A count below 1 is taken as is: nothing may be read or written. Otherwise
// its low 16 bits give the number of distances n (capped at max_count; 0
// counts as 1) and its bits 16..30 select what runs:
//   bit 16      the fast sum's baseline loops too (ht::fast::isa::baseline);
//   bits 17-18  the fast sum's first (17) or second (18) allocation fails;
//   bits 19-21  ratio cap 16 * 4^k, k = 0..7 (16 .. 262144);
//   bit 22      no ratio cap: raw distances, grids of any size.
// The harness never reads past the input: when n exceeds the distances
// present it cycles through them (or uses 1.0 if there are none). All
// distances pass through bit for bit unless every one is valid and their
// ratio exceeds the cap; then the larger ones are clamped to the cap times
// the smallest. Invalid values (NaN, inf, 0, -0, negatives) are never
// touched. Which entries run depends on the grid's size N, so that each
// input stays cheap: the direct sum up to N = 80, the fast sum up to 4600,
// above that only the planner; refused calls run every entry (they cost
// nothing).
//
// Checked for every entry point that runs:
//   n < 1          nothing read (td_vec is null), nothing written;
//   bad distance   every output NaN;
//   valid          every output finite if the grid can be sized, else NaN,
//                  and with a capped ratio refusal happens only at the
//                  extremes of the range;
//   failed alloc   every output NaN, nothing leaked (LeakSanitizer);
//   always         nothing outside ht_vec[0..n) written, td_vec unchanged,
//                  and ht_vec == td_vec gives the same bits as two arrays.
// The planner and the grid query agree on every input. Where both run, the
// fast sum (both loop builds) agrees with the direct sum within a small
// multiple of the sum of the kernel values on the grid.
#include "hankel_transf.h"
#if defined(HANKEL_TRANSF_HAVE_FAST)
#include "fast_sum.h"
#include "hankel_transf_fast.h"
#endif
#include "grid.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using dft_fn = void (*)(double *, double *, int *);

constexpr int max_count = 24;
constexpr int direct_max_points = 80;
constexpr int fast_max_points = 2000;
constexpr int sum_check_max_points = 300;   // S costs N^2 eval_f calls
constexpr int guard = 16;
constexpr std::uint64_t guard_bits = 0x7ff4dead0000beefULL;   // a NaN the library never writes
constexpr std::uint64_t unset_bits = 0xc01c000000000000ULL;   // -7.0

std::uint64_t bits(double v)
{
    std::uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
}

double from_bits(std::uint64_t u)
{
    double v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

[[noreturn]] void fail(const char *entry, const char *what, int i, double got)
{
    std::fprintf(stderr, "%s: %s at %d: %a\n", entry, what, i, got);
    std::abort();
}

bool valid(double d) { return d > 0.0 && d <= DBL_MAX; }

// n outputs with guard cells on both sides.
struct guarded {
    std::vector<double> buf;
    int n;
    explicit guarded(int count) : buf(static_cast<std::size_t>(count > 0 ? count : 0) + 2 * guard), n(count)
    {
        for (auto &v : buf)
            v = from_bits(guard_bits);
        for (int i = 0; i < n; ++i)
            data()[i] = from_bits(unset_bits);
    }
    double *data() { return buf.data() + guard; }
    void check_guards(const char *entry) const
    {
        const int inner = n > 0 ? n : 0;
        for (int i = 0; i < static_cast<int>(buf.size()); ++i) {
            const bool inside = i >= guard && i < guard + inner;
            if (!inside && bits(buf[static_cast<std::size_t>(i)]) != guard_bits)
                fail(entry, "write outside ht_vec", i - guard, buf[static_cast<std::size_t>(i)]);
        }
    }
};

#if defined(HANKEL_TRANSF_HAVE_FAST)
// The fast sum through its internal entry: loop build and allocator chosen.
bool fast_baseline = false;
std::size_t alloc_calls = 0, fail_alloc = 0;   // fail_alloc 0: never

void *failing_alloc(std::size_t bytes)
{
    return ++alloc_calls == fail_alloc ? nullptr : std::malloc(bytes);
}

void fast_internal(double *ht_vec, double *td_vec, int *length_td)
{
    ht::fast::options opt;
    opt.path = fast_baseline ? ht::fast::isa::baseline : ht::fast::isa::automatic;
    alloc_calls = 0;
    opt.alloc = failing_alloc;
    ht::fast::sum(ht_vec, td_vec, *length_td, opt);
}
#endif

std::vector<double> run(const char *name, dft_fn fn, const std::vector<double> &td)
{
    const int n = static_cast<int>(td.size());
    std::vector<double> in = td;
    guarded out(n);
    int n_arg = n;
    fn(out.data(), in.data(), &n_arg);
    out.check_guards(name);
    if (n_arg != n)
        fail(name, "count modified", 0, n_arg);
    if (std::memcmp(in.data(), td.data(), td.size() * sizeof(double)) != 0)
        fail(name, "td_vec modified", 0, 0.0);

    // In place: the distances sit in the output array itself.
    guarded alias(n);
    std::memcpy(alias.data(), td.data(), td.size() * sizeof(double));
    n_arg = n;
    fn(alias.data(), alias.data(), &n_arg);
    alias.check_guards(name);
    for (int i = 0; i < n; ++i)
        if (bits(alias.data()[i]) != bits(out.data()[i]))
            fail(name, "in-place result differs from separate arrays", i, alias.data()[i]);
    return std::vector<double>(out.data(), out.data() + n);
}

void check_empty(const char *name, dft_fn fn, int n)
{
    guarded out(4);
    int n_arg = n;
    fn(out.data(), nullptr, &n_arg);   // nothing may be read
    for (int i = 0; i < 4; ++i)
        if (bits(out.data()[i]) != unset_bits)
            fail(name, "n < 1 wrote an output", i, out.data()[i]);
    out.check_guards(name);
}

void check_policy(const char *name, const std::vector<double> &ht, bool all_valid, bool sizable)
{
    for (int i = 0; i < static_cast<int>(ht.size()); ++i) {
        const double v = ht[static_cast<std::size_t>(i)];
        if (all_valid && sizable) {
            if (!std::isfinite(v))
                fail(name, "valid input gave a non-finite value", i, v);
        } else if (!std::isnan(v)) {
            fail(name, all_valid ? "unsizable grid gave a number" : "bad distance gave a number", i, v);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::int32_t count = 0;
    if (size >= 4) {
        std::uint32_t u = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8
                          | static_cast<std::uint32_t>(data[2]) << 16
                          | static_cast<std::uint32_t>(data[3]) << 24;
        std::memcpy(&count, &u, sizeof count);
    } else if (size > 0) {
        count = static_cast<std::int8_t>(data[0]);
    }

    if (count < 1) {
        check_empty("DFTYieldExpon", &DFTYieldExpon, count);
#if defined(HANKEL_TRANSF_HAVE_FAST)
        check_empty("DFTYieldExponFast", &DFTYieldExponFast, count);
#endif
        return 0;
    }

    const std::uint32_t flags = static_cast<std::uint32_t>(count) >> 16;
    const int low = count & 0xffff;
    const int n = low == 0 ? 1 : (low < max_count ? low : max_count);
    const bool also_baseline = flags & 1u;
    const std::size_t fail_nth = (flags & 2u) ? 1 : (flags & 4u) ? 2 : 0;
    const bool capped = !(flags & 0x40u);
    const double cap = 16.0 * std::ldexp(1.0, 2 * static_cast<int>((flags >> 3) & 7u));

    const std::size_t avail = size >= 4 ? (size - 4) / sizeof(double) : 0;
    std::vector<double> td(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        if (avail == 0) {
            td[static_cast<std::size_t>(i)] = 1.0;
        } else {
            std::uint64_t u = 0;
            const std::uint8_t *p = data + 4 + (static_cast<std::size_t>(i) % avail) * sizeof(double);
            for (int b = 7; b >= 0; --b)
                u = u << 8 | p[b];
            td[static_cast<std::size_t>(i)] = from_bits(u);
        }
    }

    bool all_valid = true;
    double dmin = DBL_MAX, dmax = 0.0;
    for (double d : td) {
        all_valid = all_valid && valid(d);
        if (valid(d)) {
            dmin = d < dmin ? d : dmin;
            dmax = d > dmax ? d : dmax;
        }
    }
    if (capped && all_valid && dmax / cap > dmin) {
        const double top = dmin * cap;   // < dmax, so finite
        for (double &d : td)
            d = d > top ? top : d;
        dmax = top;
    }

    ht::grid g;
    int bad_index = -1;
    const ht::plan_status st = ht::plan_grid(td.data(), n, &g, &bad_index);
    if ((st == ht::plan_status::bad_distance) == all_valid)
        fail("plan_grid", "bad_distance disagrees with the inputs", 0, 0.0);
    if (st == ht::plan_status::bad_distance && valid(td[static_cast<std::size_t>(bad_index)]))
        fail("plan_grid", "named a valid distance as the bad one", bad_index, td[static_cast<std::size_t>(bad_index)]);
    const bool sizable = st == ht::plan_status::ok;
    // With the ratio capped, only the extremes of the range are unsizable:
    // a smallest distance whose extent 2 max_x overflows (below about
    // 1.18e-308), or 2 max_s overflowing.
    if (capped && all_valid && !sizable && !(dmin < 1.2e-308 || dmax > DBL_MAX / 2))
        fail("plan_grid", "refused a moderate grid; smallest distance", 0, dmin);
    const int N = sizable ? g.num_samp_desired : 0;

#if defined(HANKEL_TRANSF_HAVE_FAST)
    {
        int status = -1, q_bad = -7, q_N = -7, nn = n;
        double q_h = 0.0, q_max_x = 0.0;
        std::vector<double> in = td;
        DFTYieldExponGrid(&status, &q_bad, &q_N, &q_h, &q_max_x, in.data(), &nn);
        if ((status == HANKEL_TRANSF_GRID_OK) != sizable || q_N != N
            || (sizable && (bits(q_h) != bits(g.incr_desired) || bits(q_max_x) != bits(g.max_x)))
            || q_bad != (st == ht::plan_status::bad_distance ? bad_index : -1))
            fail("DFTYieldExponGrid", "disagrees with the planner; status", 0, status);
    }
#endif

    std::vector<double> direct;
    if (!sizable || N <= direct_max_points) {
        direct = run("DFTYieldExpon", &DFTYieldExpon, td);
        check_policy("DFTYieldExpon", direct, all_valid, sizable);
    }

#if defined(HANKEL_TRANSF_HAVE_FAST)
    if (sizable && N > fast_max_points)
        return 0;
    std::vector<std::vector<double>> fast;
    fail_alloc = 0;
    fast_baseline = false;
    fast.push_back(run("DFTYieldExponFast", &DFTYieldExponFast, td));
    if (also_baseline) {
        fast_baseline = true;
        fast.push_back(run("fast sum, baseline loops", &fast_internal, td));
    }
    for (const auto &f : fast)
        check_policy("DFTYieldExponFast", f, all_valid, sizable);
    if (fail_nth != 0) {
        fail_alloc = fail_nth;
        fast_baseline = false;
        const std::vector<double> failed = run("fast sum, failed allocation", &fast_internal, td);
        check_policy("fast sum, failed allocation", failed, all_valid, false);
        fail_alloc = 0;
    }
    if (all_valid && sizable && N <= sum_check_max_points) {
        // S = sum of the kernel over the grid bounds |ht| and scales every
        // method's rounding error. The direct sum's own error grows with
        // the phase, about 2 pi * 1.5 * ratio cycles, hence the margin
        // over the fast method's 1.5e-16 S.
        std::vector<double> x(static_cast<std::size_t>(N));
        ht::fill_grid(g, x.data());
        double S = 0.0;
        for (double xj : x)
            for (double xk : x)
                S += eval_f(xj, xk);
        for (int i = 0; i < n; ++i) {
            const std::size_t k = static_cast<std::size_t>(i);
            if (!direct.empty() && !(std::fabs(fast[0][k] - direct[k]) <= 1e-12 * S))
                fail("DFTYieldExponFast", "differs from the direct sum by more than 1e-12 S", i, fast[0][k]);
            if (fast.size() > 1 && !(std::fabs(fast[1][k] - fast[0][k]) <= 1e-14 * S))
                fail("fast sum, baseline loops", "differs from the default loops by more than 1e-14 S", i, fast[1][k]);
        }
    }
#endif
    return 0;
}
