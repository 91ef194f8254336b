// Error-free transformations: a + b and a * b as an unevaluated pair
// hi + lo with hi the rounded result and lo its exact rounding error.
// They stay exact only under round-to-nearest binary64 arithmetic without
// reassociation: rounding_guard.h refuses builds that break them.
#ifndef HANKEL_TRANSF_FAST_EFT_H
#define HANKEL_TRANSF_FAST_EFT_H

#include "rounding_guard.h"

#include <cmath>

namespace ht {
namespace fast {

struct dd {
    double hi, lo;
};

// Knuth's TwoSum: six operations, no ordering of |a|, |b| needed. It has no
// products, so contraction into FMA cannot touch it.
[[gnu::always_inline]] inline dd two_sum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// TwoProd through a fused multiply-add (exact unless a*b under- or overflows).
[[gnu::always_inline]] inline dd two_prod(double a, double b)
{
    const double p = a * b;
    return {p, std::fma(a, b, -p)};
}

} // namespace fast
} // namespace ht

#endif
