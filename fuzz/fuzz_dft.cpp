// libFuzzer harness for the transform entry points.
//
// Input layout: a little-endian int32 count, then raw binary64 distances.
// The count is taken as is (negative, zero, larger than the data); the
// harness never reads past the input: when the count exceeds the distances
// present it cycles through them (or uses 1.0 if there are none), capped at
// max_count. All distances pass through bit for bit unless every one is
// valid and their ratio would make the grid large; then the larger ones are
// clamped to max_ratio times the smallest so that each run stays cheap.
// Invalid values (NaN, inf, 0, -0, negatives) are never touched.
//
// Checked for every entry point:
//   n < 1          nothing read (td_vec is null), nothing written;
//   bad distance   every output NaN;
//   valid          every output finite if the grid can be sized, else NaN,
//                  and refusal happens only at the extremes of the range;
//   always         nothing outside ht_vec[0..n) written, td_vec unchanged,
//                  and ht_vec == td_vec gives the same bits as two arrays.
// The fast entry, when built in, must agree with the direct sum within a
// small multiple of the sum of the kernel values on the grid.
#include "hankel_transf.h"
#if defined(HANKEL_TRANSF_HAVE_FAST)
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
constexpr double max_ratio = 16.0;
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

    const std::size_t avail = size >= 4 ? (size - 4) / sizeof(double) : 0;
    const int n = count < max_count ? count : max_count;
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
    if (all_valid && dmax / max_ratio > dmin) {
        const double cap = dmin * max_ratio;   // < dmax, so finite
        for (double &d : td)
            d = d > cap ? cap : d;
        dmax = cap;
    }

    ht::grid g;
    const ht::plan_status st = ht::plan_grid(td.data(), n, &g);
    if ((st == ht::plan_status::bad_distance) == all_valid)
        fail("plan_grid", "bad_distance disagrees with the inputs", 0, 0.0);
    const bool sizable = st == ht::plan_status::ok;
    // With the ratio bounded, only the extremes of the range are unsizable:
    // 1/(2 min_s) or the extent overflowing, or 2 max_s overflowing.
    if (all_valid && !sizable && !(dmin < DBL_MIN || dmax > DBL_MAX / 2))
        fail("plan_grid", "refused a moderate grid; smallest distance", 0, dmin);

    const std::vector<double> direct = run("DFTYieldExpon", &DFTYieldExpon, td);
    check_policy("DFTYieldExpon", direct, all_valid, sizable);

#if defined(HANKEL_TRANSF_HAVE_FAST)
    const std::vector<double> fast = run("DFTYieldExponFast", &DFTYieldExponFast, td);
    check_policy("DFTYieldExponFast", fast, all_valid, sizable);
    if (all_valid && sizable) {
        // S = sum of the kernel over the grid bounds |ht| and scales both
        // methods' rounding errors. The direct sum's own error grows with
        // the phase, at most about 2 pi * 1.5 * max_ratio here, hence the
        // margin over the fast method's 1e-14 S.
        std::vector<double> x(static_cast<std::size_t>(g.num_samp_desired));
        ht::fill_grid(g, x.data());
        double S = 0.0;
        for (double xj : x)
            for (double xk : x)
                S += eval_f(xj, xk);
        for (int i = 0; i < n; ++i) {
            const double diff = std::fabs(fast[static_cast<std::size_t>(i)] - direct[static_cast<std::size_t>(i)]);
            if (!(diff <= 1e-12 * S))
                fail("DFTYieldExponFast", "differs from the direct sum by more than 1e-12 S", i,
                     fast[static_cast<std::size_t>(i)]);
        }
    }
#endif
    return 0;
}
