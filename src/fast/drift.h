// The grid's drift from even spacing, the line it is measured from, and the
// order of the expansion in it that the fast method needs.
//
// The built grid (repeated addition) is written x_j = x0 + j*h + e_j with a
// line (x0, h) held as double-doubles and a tiny drift e_j. The phase of a
// pair then splits into theta_m (m = j + k, exact) and
// delta_jk = 2*pi*s*(e_j + e_k), and cos(theta + delta) is expanded in delta
// to order P, leaving at most |delta|^(P+1)/(P+1)! of every kernel value.
#ifndef HANKEL_TRANSF_FAST_DRIFT_H
#define HANKEL_TRANSF_FAST_DRIFT_H

#include "eft.h"

#include <cstddef>

namespace ht {
namespace fast {

// Highest order of the expansion: every stage is written for it.
constexpr int max_drift_order = 8;

// The expansion's remainder, relative to S = sum f, that the order is
// chosen to stay below: under the rounding error of either moment route.
constexpr double drift_remainder_bound = 1e-17;

// The smallest P >= 0 with delta_max^(P+1)/(P+1)! <= drift_remainder_bound,
// or -1 when even max_drift_order does not reach it (delta_max >= 0.051,
// grids of about 5e7 points and more) or delta_max is not finite.
int drift_order(double delta_max) noexcept;

// e[j] = x[j] - (x[0] + j*h), evaluated exactly and rounded once, for
// j < N. For the grid fill_grid builds, with h its spacing incr_desired,
// x[j] == x[0] + j*h + e[j] up to that one rounding; any other x works too.
void grid_deviation(const double *x, int N, double h, double *e) noexcept;

struct line {
    dd x0, h;   // x_j = x0 + j*h + e_j; hi + lo unevaluated, |lo| <= ulp(hi)/2
};

// The least-squares line through the deviations e[j] (as grid_deviation
// leaves them for x and h), shifted to centre their range. Rewrites e[j] as
// the deviation from it: x[j] == x0 + j*h + e[j] up to four roundings of the
// size of max|e| (2^-53 relative each). Much of the drift of a grid built by
// repeated addition is such a trend: the fit cuts max|e| by 3.6 to 15 on
// the grids of 4502 to 4.5e6 points.
line fit_line(const double *x, std::size_t N, double h, double *e) noexcept;

// The drift the fast method expands in: e[j] = (x[j] - the line) * sigma,
// from the fitted line, unless the spacing's own line x[0] + j*h needs the
// same order (grids below a few 1e5 points), whose phases are simpler.
// Returns the line and sets *delta_max to 4*pi*max|e|, the largest phase
// perturbation 2*pi*s*(e_j + e_k)/sigma of any pair at any s <= sigma.
line measure_drift(const double *x, std::size_t N, double h, double sigma, double *e,
                   double *delta_max) noexcept;

} // namespace fast
} // namespace ht

#endif
