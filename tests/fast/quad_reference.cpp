#include "quad_reference.h"

#include <quadmath.h>

#include <cmath>
#include <utility>

namespace ht_test {

quad_reference::quad_reference(std::vector<double> x) : x_(std::move(x))
{
    const std::size_t N = x_.size();
    const __float128 four_pi_sq = 4 * M_PIq * M_PIq;
    f_.reserve(N * (N + 1) / 2);
    __float128 S = 0;
    for (std::size_t j = 0; j < N; ++j) {
        const __float128 xj = x_[j];
        for (std::size_t k = j; k < N; ++k) {
            const __float128 xk = x_[k];
            const __float128 f = powq(1 + four_pi_sq * (xj * xj + xk * xk), -0.75Q);
            const __float128 w = (k == j) ? f : 2 * f;
            f_.push_back(w);
            S += w;
        }
    }
    total_ = static_cast<double>(S);
}

__float128 quad_reference::at(double s) const
{
    const std::size_t N = x_.size();
    const __float128 two_pi_s = 2 * M_PIq * static_cast<__float128>(s);
    __float128 sum = 0;
    std::size_t idx = 0;
    for (std::size_t j = 0; j < N; ++j) {
        const __float128 xj = x_[j];
        for (std::size_t k = j; k < N; ++k)   // (j,k) and (k,j): same sum x_j + x_k, exactly
            sum += f_[idx++] * cosq(two_pi_s * (xj + static_cast<__float128>(x_[k])));
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
    const dd a = two_prod(6.283185307179586, f.hi);
    const double a_lo = a.lo + (2.4492935982947064e-16 * f.hi + 6.283185307179586 * f.lo);
    return std::cos(a.hi) - std::sin(a.hi) * a_lo;
}

double pairwise_reference(const std::vector<double> &x, double s, double *total)
{
    const std::size_t N = x.size();
    double acc = 0, comp = 0, S = 0;
    for (std::size_t j = 0; j < N; ++j) {
        for (std::size_t k = j; k < N; ++k) {
            const double b = (x[j] * x[j] + x[k] * x[k]) * 39.47841760435743 + 1.0;
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
