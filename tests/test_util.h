// Shared helpers for the suites: bitwise comparison reported in hexfloat.
#ifndef HANKEL_TRANSF_TESTS_UTIL_H
#define HANKEL_TRANSF_TESTS_UTIL_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testutil {

inline std::uint64_t bits(double v)
{
    std::uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
}

inline std::string hex(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%a (%.17g)", v, v);
    return buf;
}

inline ::testing::AssertionResult same_bits(double got, double want)
{
    if (bits(got) == bits(want))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << hex(got) << ", want " << hex(want);
}

inline std::string describe(const std::vector<double> &v)
{
    std::string out = "{";
    for (std::size_t i = 0; i < v.size(); ++i)
        out += (i ? ", " : "") + hex(v[i]);
    return out + "}";
}

// got rounds to want at ten significant digits: within half a unit of the
// tenth digit (plus a little slack for want's own decimal representation).
inline ::testing::AssertionResult ten_digits(double got, double want)
{
    double diff = std::fabs(got - want);
    double unit = std::pow(10.0, std::floor(std::log10(std::fabs(want))) - 9);
    if (diff <= 0.5 * unit * (1 + 1e-6))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << hex(got) << ", want " << want;
}

// An output array with guard cells on both sides holding a NaN bit pattern
// the library never produces; outputs start as a finite value so that a
// missing write is visible too.
class guarded_output {
public:
    static constexpr int guard = 32;
    static constexpr std::uint64_t guard_bits = 0x7ff4dead0000beefULL;

    explicit guarded_output(int n, double fill = -7.0)
        : n_(n), buf_(static_cast<std::size_t>(n) + 2 * guard)
    {
        double g;
        std::memcpy(&g, &guard_bits, sizeof g);
        for (auto &v : buf_)
            v = g;
        for (int i = 0; i < n_; ++i)
            data()[i] = fill;
    }
    double *data() { return buf_.data() + guard; }
    double operator[](int i) const { return buf_[static_cast<std::size_t>(guard + i)]; }

    // Empty when every guard cell is intact, else what was overwritten.
    std::string check_guards() const
    {
        std::string err;
        for (std::size_t i = 0; i < buf_.size(); ++i) {
            const bool inside = i >= guard && i < static_cast<std::size_t>(guard + n_);
            if (!inside && bits(buf_[i]) != guard_bits)
                err += "guard cell " + std::to_string(static_cast<long>(i) - guard)
                       + " overwritten with " + hex(buf_[i]) + "\n";
        }
        return err;
    }

    // Empty when every guard cell is intact and every output is NaN.
    std::string check_all_nan() const
    {
        std::string err;
        for (int i = 0; i < n_; ++i)
            if (!std::isnan((*this)[i]))
                err += "ht_vec[" + std::to_string(i) + "] = " + hex((*this)[i]) + "\n";
        return err + check_guards();
    }

private:
    int n_;
    std::vector<double> buf_;
};

// One call of an entry point on fresh arrays: the outputs, in input order.
inline std::vector<double> call(void (*fn)(double *, double *, int *), std::vector<double> td)
{
    std::vector<double> ht(td.size());
    int n = static_cast<int>(td.size());
    fn(ht.data(), td.data(), &n);
    return ht;
}

} // namespace testutil

#endif
