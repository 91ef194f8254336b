// The kernel as a sum of exponentials: for 1 <= b <= b_max,
//
//   b^(-3/4) = sum_l w_l * exp(-t_l * b)   (every w_l, t_l > 0),
//
// relative error below 1e-16 (see expsum.cpp). With b = 1 + 4 pi^2 (x^2 + y^2)
// each term factors, w exp(-t b) = g(x) g(y) with g(x) = sqrt(w) exp(-t (1/2 + 4 pi^2 x^2)),
// which turns every anti-diagonal kernel moment into a sum of convolutions.
#ifndef HANKEL_TRANSF_FAST_EXPSUM_H
#define HANKEL_TRANSF_FAST_EXPSUM_H

#include "constants.h"

#include <cstddef>

namespace ht {
namespace fast {

struct exp_term {
    double t, w;   // w * exp(-t * b)
};

// b = 1 + 4 pi^2 (x_j^2 + x_k^2) at its largest on a grid whose points
// satisfy x^2 <= x2max (both coordinates at the grid's end): the b_max the
// sum must cover.
inline double kernel_range_at(double x2max) noexcept
{
    return 1.0 + four_pi_sq * (x2max + x2max);
}

// Largest b_max the sum is built for: above it the weights b_max^(-3/4) and
// the rates 1/b_max head for underflow (and a kernel whose range spans more
// than 600 decades is better summed directly).
constexpr double expsum_max_range = 1e300;

// The number of terms for 1 <= b <= b_max: 1 + ceil(log(39 b_max) / (15/64)),
// i.e. 17 at b_max = 1, 36 at 90, 115 at 1e10. 0 when b_max is not in
// [1, expsum_max_range] (or NaN).
std::size_t expsum_size(double b_max) noexcept;

// Writes expsum_size(b_max) terms to out, tail rule first, then trapezoid
// nodes in increasing t. Returns their count.
std::size_t expsum_terms(double b_max, exp_term *out) noexcept;

} // namespace fast
} // namespace ht

#endif
