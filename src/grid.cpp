#include "grid.h"

#include "rounding_guard.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ht {

static bool acceptable_distance(double d)
{
    // false for NaN, +-inf, +-0 and negatives
    return d > 0.0 && d <= std::numeric_limits<double>::max();
}

plan_status plan_grid(const double *td_vec, int n, grid *g, int *bad_index)
{
    if (n < 1)
        return plan_status::no_distances;
    for (int i = 0; i < n; ++i)
        if (!acceptable_distance(td_vec[i])) {
            if (bad_index != nullptr)
                *bad_index = i;
            return plan_status::bad_distance;
        }

    double min_s = td_vec[0] / sqrt2;
    double max_s = min_s;
    for (int i = 1; i < n; ++i) {
        const double si = td_vec[i] / sqrt2;
        if (si > max_s)
            max_s = si;
        else if (si < min_s)
            min_s = si;
    }

    const double max_x = (1.0 / (min_s + min_s)) * half_width_factor;
    const double min_x = -max_x;
    const double t = (1.0 / (max_s + max_s)) * two_thirds;
    const double range = max_x - min_x;
    // A tiny min_s overflows 1.5/(2 min_s); a huge max_s (2 max_s overflows)
    // drives t to 0. Either way the quotient below would be inf or NaN.
    if (!std::isfinite(max_x))
        return plan_status::extent_overflow;
    if (!(t > 0.0))
        return plan_status::spacing_underflow;
    const double intervals = std::ceil(range / t);
    // N = intervals + 2 must be an int; the check also rejects inf before the
    // float-to-int conversion, which would be undefined for it.
    if (!(intervals <= static_cast<double>(INT_MAX - 2)))
        return plan_status::too_many_points;
    const int num_samp_desired_no_endpt = static_cast<int>(intervals) + 1;
    const int num_samp_desired = num_samp_desired_no_endpt + 1;
    // The N x N table's byte count must not wrap: GSL multiplies it unchecked.
    const std::size_t N = static_cast<std::size_t>(num_samp_desired);
    if (N > SIZE_MAX / sizeof(double) / N)
        return plan_status::too_many_points;

    g->min_s = min_s;
    g->max_s = max_s;
    g->max_x = max_x;
    g->min_x = min_x;
    g->target_spacing = t;
    g->num_samp_desired_no_endpt = num_samp_desired_no_endpt;
    g->incr_desired = range / static_cast<double>(num_samp_desired_no_endpt);
    g->num_samp_desired = num_samp_desired;
    return plan_status::ok;
}

void scale_distances(const double *td_vec, int n, double *s)
{
    for (int i = 0; i < n; ++i)
        s[i] = td_vec[i] / sqrt2;
}

void fill_grid(const grid &g, double *x)
{
    x[0] = g.min_x;
    for (int i = 1; i < g.num_samp_desired; ++i)
        x[i] = x[i - 1] + g.incr_desired;
}

bool plan_call(double *ht_vec, const double *td_vec, int n, grid *g)
{
    switch (plan_grid(td_vec, n, g)) {
    case plan_status::ok:
        return true;
    case plan_status::no_distances:
        return false;
    case plan_status::bad_distance:
    case plan_status::extent_overflow:
    case plan_status::spacing_underflow:
    case plan_status::too_many_points:
        break;
    }
    fill_nan(ht_vec, n);
    return false;
}

void fill_nan(double *ht_vec, int n)
{
    for (int i = 0; i < n; ++i)
        ht_vec[i] = std::numeric_limits<double>::quiet_NaN();
}

} // namespace ht
