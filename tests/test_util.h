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

} // namespace testutil

#endif
