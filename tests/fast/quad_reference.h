// The diagonal grid transform in quadruple precision on a given double
// grid: the yardstick for both the direct and the fast sum.
#ifndef HANKEL_TRANSF_TEST_QUAD_REFERENCE_H
#define HANKEL_TRANSF_TEST_QUAD_REFERENCE_H

#include "quad.h"

#include <vector>

namespace ht_test {

class quad_reference {
public:
    // x: the double grid. Tabulates f(x_j, x_k) = (1 + c (x_j^2 + x_k^2))^(-3/4)
    // for j <= k in quad (f is symmetric), with c = ht::four_pi_sq, the
    // binary64 value of 4 pi^2 both sums use: the constant is part of the
    // kernel's definition (eval_f), so its rounding (6.3e-17 relative, which
    // moves every kernel value by up to 4.8e-17 relative) is not charged to
    // either method.
    explicit quad_reference(std::vector<double> x);

    // sum_{j,k} f(x_j, x_k) * cos(2 pi s (x_j + x_k)), pi and all arithmetic in
    // quad, s and x the given doubles.
    quad at(double s) const;

    // S = sum_{j,k} f(x_j, x_k) >= |at(s)| for every s.
    double total() const { return total_; }

private:
    std::vector<double> x_;
    std::vector<quad> f_;   // packed upper triangle, off-diagonal doubled
    double total_ = 0;
};

// The same sum pair by pair in double and double-double, for grids too
// large for the quad reference: f by pow in double (a few ulps per term),
// the phase s*(x_j + x_k) formed exactly, reduced modulo 1 exactly and
// turned into a cosine good to about one ulp. It agrees with the quad
// reference to 1.4e-17 * S at N = 452 and 902, mostly the rounding of its
// own result. Cost: N*(N+1)/2 pow and cos.
// *total (if not null) receives S = sum f(x_j, x_k).
double pairwise_reference(const std::vector<double> &x, double s, double *total = nullptr);

// cos(2 pi s (xj + xk)) good to about one ulp: the phase formed exactly in
// double-double and reduced modulo 1 exactly before the cosine.
double cos_cycles(double s, double xj, double xk);

} // namespace ht_test

#endif
