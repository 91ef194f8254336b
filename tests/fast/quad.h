// Quadruple precision (IEEE binary128) for the reference sums: __float128
// with libquadmath on x86, long double where that is binary128 already
// (aarch64 Linux). The names below are the suites' only contact with either.
#ifndef HANKEL_TRANSF_TEST_QUAD_H
#define HANKEL_TRANSF_TEST_QUAD_H

#include <cfloat>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <quadmath.h>
#define HT_TEST_QUAD_QUADMATH 1
#elif LDBL_MANT_DIG == 113
#include <cmath>
#include <cstdio>
#else
#error "no binary128 type on this target: the reference sums need one"
#endif

namespace ht_test {

#if defined(HT_TEST_QUAD_QUADMATH)
typedef __float128 quad;
const quad quad_pi = M_PIq;
inline quad qpow(quad a, quad b) { return powq(a, b); }
inline quad qcos(quad a) { return cosq(a); }
inline quad qsin(quad a) { return sinq(a); }
inline quad qabs(quad a) { return fabsq(a); }
inline quad qrint(quad a) { return rintq(a); }
inline std::string hex(quad v)
{
    char buf[96];
    quadmath_snprintf(buf, sizeof buf, "%Qa", v);
    return buf;
}
#else
typedef long double quad;
const quad quad_pi = 3.141592653589793238462643383279502884L;
inline quad qpow(quad a, quad b) { return std::pow(a, b); }
inline quad qcos(quad a) { return std::cos(a); }
inline quad qsin(quad a) { return std::sin(a); }
inline quad qabs(quad a) { return std::fabs(a); }
inline quad qrint(quad a) { return std::rint(a); }
inline std::string hex(quad v)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%La", v);
    return buf;
}
#endif

} // namespace ht_test

#endif
