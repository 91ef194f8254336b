// The drift of the built grid from its line, and the order of the expansion
// in it. Error-free transformations: compiled with -ffp-contract=off.
#include "drift.h"

#include "constants.h"
#include "rounding_guard.h"

#include <algorithm>
#include <cmath>

namespace ht {
namespace fast {

int drift_order(double delta_max) noexcept
{
    if (!(delta_max >= 0.0 && delta_max < HUGE_VAL))
        return -1;
    double remainder = delta_max;   // delta^(P+1)/(P+1)!
    for (int P = 0; P <= max_drift_order; ++P) {
        if (remainder <= drift_remainder_bound)
            return P;
        remainder *= delta_max / (P + 2);
    }
    return -1;
}

void grid_deviation(const double *x, int N, double h, double *e) noexcept
{
    const double x0 = x[0];
    for (int j = 0; j < N; ++j) {
        // x_j - x_0 and j*h are both exact as double-doubles and agree to
        // within N ulps, so their leading parts cancel exactly (Sterbenz).
        const dd d = two_sum(x[j], -x0);
        const dd p = two_prod(static_cast<double>(j), h);
        e[j] = (d.hi - p.hi) + (d.lo - p.lo);
    }
}

line fit_line(const double *x, std::size_t N, double h, double *e) noexcept
{
    // Least squares in the centred index u = j - (N-1)/2:
    // slope = sum u e / sum u^2, sum u^2 = N (N^2 - 1) / 12.
    const double n = static_cast<double>(N);
    const double centre = 0.5 * (n - 1.0);
    double sum_e = 0.0, sum_ue = 0.0;
    for (std::size_t j = 0; j < N; ++j) {
        sum_e += e[j];
        sum_ue += (static_cast<double>(j) - centre) * e[j];
    }
    const double sum_uu = n * (n * n - 1.0) / 12.0;
    const double slope = N > 1 ? sum_ue / sum_uu : 0.0;
    double offset = sum_e / n - slope * centre;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (std::size_t j = 0; j < N; ++j) {
        const double r = e[j] - (offset + static_cast<double>(j) * slope);
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    offset += 0.5 * (lo + hi);
    for (std::size_t j = 0; j < N; ++j)
        e[j] = e[j] - (offset + static_cast<double>(j) * slope);
    return {two_sum(x[0], offset), two_sum(h, slope)};
}

namespace {

double largest(const double *e, std::size_t N)
{
    double m = 0.0;
    for (std::size_t j = 0; j < N; ++j)
        m = std::max(m, std::fabs(e[j]));
    return m;
}

} // namespace

line measure_drift(const double *x, std::size_t N, double h, double sigma, double *e,
                   double *delta_max) noexcept
{
    // delta = 2*pi*(s/sigma)*|eps_j + eps_k| <= 4*pi*max|eps| for s <= sigma.
    const double scale = 2.0 * two_pi;
    grid_deviation(x, static_cast<int>(N), h, e);
    const double raw = scale * (sigma * largest(e, N));
    line ln = fit_line(x, N, h, e);
    double delta = scale * (sigma * largest(e, N));
    if (drift_order(raw) >= 0 && drift_order(delta) == drift_order(raw)) {
        // No order saved: keep the simpler line through x[0] with step h.
        grid_deviation(x, static_cast<int>(N), h, e);
        ln = {{x[0], 0.0}, {h, 0.0}};
        delta = raw;
    }
    for (std::size_t j = 0; j < N; ++j)
        e[j] = sigma * e[j];
    *delta_max = delta;
    return ln;
}

} // namespace fast
} // namespace ht
