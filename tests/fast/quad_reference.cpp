#include "quad_reference.h"

#include "constants.h"
#include "rounding_guard.h"


#include <cmath>
#include <utility>

namespace ht_test {

quad_reference::quad_reference(std::vector<double> x) : x_(std::move(x))
{
    const std::size_t N = x_.size();
    // The kernel as the library defines it: 4 pi^2 is the binary64 constant
    // (6.3e-17 relative below 4 pi^2), everything else exact.
    const quad four_pi_sq = ht::four_pi_sq;
    f_.reserve(N * (N + 1) / 2);
    quad S = 0;
    for (std::size_t j = 0; j < N; ++j) {
        const quad xj = x_[j];
        for (std::size_t k = j; k < N; ++k) {
            const quad xk = x_[k];
            const quad f = qpow(1 + four_pi_sq * (xj * xj + xk * xk), quad(-0.75));
            const quad w = (k == j) ? f : 2 * f;
            f_.push_back(w);
            S += w;
        }
    }
    total_ = static_cast<double>(S);
}

quad quad_reference::at(double s) const
{
    const std::size_t N = x_.size();
    const quad two_pi_s = 2 * quad_pi * static_cast<quad>(s);
    quad sum = 0;
    std::size_t idx = 0;
    for (std::size_t j = 0; j < N; ++j) {
        const quad xj = x_[j];
        for (std::size_t k = j; k < N; ++k)   // (j,k) and (k,j): same sum x_j + x_k, exactly
            sum += f_[idx++] * qcos(two_pi_s * (xj + static_cast<quad>(x_[k])));
    }
    return sum;
}

} // namespace ht_test

namespace ht_test {
namespace {

struct dd {
    double hi, lo;
};

dd two_sum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

dd two_prod(double a, double b)
{
    const double p = a * b;
    return {p, std::fma(a, b, -p)};
}

} // namespace

double cos_cycles(double s, double xj, double xk)
{
    const dd t = two_sum(xj, xk);                     // exact
    const dd p = two_prod(s, t.hi);                   // exact
    const double whole = p.hi - std::nearbyint(p.hi); // exact
    const dd f = two_sum(whole, p.lo + s * t.lo);     // cycles in [-1/2, 1/2]
    const dd a = two_prod(ht::two_pi, f.hi);
    const double a_lo = a.lo + (ht::two_pi_lo * f.hi + ht::two_pi * f.lo);
    return std::cos(a.hi) - std::sin(a.hi) * a_lo;
}

double pairwise_reference(const std::vector<double> &x, double s, double *total)
{
    const std::size_t N = x.size();
    double acc = 0, comp = 0, S = 0;
    for (std::size_t j = 0; j < N; ++j) {
        for (std::size_t k = j; k < N; ++k) {
            const double b = (x[j] * x[j] + x[k] * x[k]) * ht::four_pi_sq + 1.0;
            const double w = (k == j ? 1.0 : 2.0) * std::pow(b, -0.75);
            S += w;
            const dd t = two_sum(acc, w * cos_cycles(s, x[j], x[k]));
            acc = t.hi;
            comp += t.lo;
        }
    }
    if (total != nullptr)
        *total = S;
    return acc + comp;
}

} // namespace ht_test
