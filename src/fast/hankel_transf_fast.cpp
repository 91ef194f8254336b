#include "hankel_transf_fast.h"

#include "fast_sum.h"
#include "grid.h"

#include <limits>

extern "C" void DFTYieldExponFast(double *ht_vec, double *td_vec, int *length_td) noexcept
{
    const int n = *length_td;
    ht::fast::sum(ht_vec, td_vec, n);
}

extern "C" void DFTYieldExponGrid(int *status, int *bad_index, int *num_samp_desired,
                                  double *incr_desired, double *max_x, double *td_vec,
                                  int *length_td) noexcept
{
    const int n = *length_td;
    ht::grid g;
    int bad = -1;
    const ht::plan_status st = ht::plan_grid(td_vec, n, &g, &bad);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    *bad_index = st == ht::plan_status::bad_distance ? bad : -1;
    *num_samp_desired = st == ht::plan_status::ok ? g.num_samp_desired : 0;
    *incr_desired = st == ht::plan_status::ok ? g.incr_desired : nan;
    *max_x = st == ht::plan_status::ok ? g.max_x : nan;
    switch (st) {
    case ht::plan_status::ok:
        *status = HANKEL_TRANSF_GRID_OK;
        break;
    case ht::plan_status::bad_distance:
        *status = HANKEL_TRANSF_GRID_BAD_DISTANCE;
        break;
    case ht::plan_status::extent_overflow:
        *status = HANKEL_TRANSF_GRID_EXTENT_OVERFLOW;
        break;
    case ht::plan_status::spacing_underflow:
        *status = HANKEL_TRANSF_GRID_SPACING_UNDERFLOW;
        break;
    case ht::plan_status::too_many_points:
        *status = HANKEL_TRANSF_GRID_TOO_MANY_POINTS;
        break;
    case ht::plan_status::no_distances:
        *status = HANKEL_TRANSF_GRID_NO_DISTANCES;
        break;
    }
}
