// Internal: the frequency grid shared by the direct sum, the fast method and
// the command-line tool. Every value here fixes the last bits of the grid, so
// this unit must be compiled with -ffp-contract=off.
#ifndef HANKEL_TRANSF_GRID_H
#define HANKEL_TRANSF_GRID_H

#include <cstddef>

namespace ht {

constexpr double sqrt2 = 1.4142135623730951;        // 0x3FF6A09E667F3BCD
constexpr double half_width_factor = 1.5;           // grid reaches 1.5x Nyquist of min_s
constexpr double two_thirds = 0.6666666666666666;   // 0x3FE5555555555555

struct grid {
    double min_s = 0, max_s = 0;     // extremes of the scaled distances d / sqrt2
    double max_x = 0, min_x = 0;     // extent; min_x == -max_x
    double target_spacing = 0;       // only sizes the grid
    int num_samp_desired_no_endpt = 0;
    double incr_desired = 0;         // actual spacing, < target_spacing
    int num_samp_desired = 0;        // N, points per axis
};

// Why a call is refused. The three "grid cannot be sized" reasons are told
// apart so that hosts can say which end of the distances is at fault.
enum class plan_status {
    ok,
    bad_distance,     // NaN, infinite, zero, negative or -0
    extent_overflow,  // smallest distance too small: 1.5 / (2 min_s) is not finite
    spacing_underflow,// largest distance too large: 2 max_s overflows, spacing 0
    too_many_points,  // ratio too large: N > INT_MAX, or 8*N*N > SIZE_MAX
    no_distances,     // n < 1
};

// True for the three reasons a grid cannot be sized.
constexpr bool unsizable(plan_status st)
{
    return st == plan_status::extent_overflow || st == plan_status::spacing_underflow ||
           st == plan_status::too_many_points;
}

// Reads td_vec[0..n) and sizes the grid without allocating; with n < 1 it
// reads nothing. min_s and max_s are the extremes of td_vec[i] / sqrt2,
// found in input order with the "greater, else smaller" scan, so they equal
// the extremes of the array that scale_distances() fills. On bad_distance,
// *bad_index (when not null) is the index of the first refused distance.
// *g is written only on ok.
plan_status plan_grid(const double *td_vec, int n, grid *g, int *bad_index = nullptr);

// s[i] = td_vec[i] / sqrt2 (a division, not a product with 1/sqrt2).
void scale_distances(const double *td_vec, int n, double *s);

// x[0] = min_x, x[i] = x[i-1] + incr_desired for i < N: repeated addition,
// so x[N-1] need not equal max_x and the middle point need not be 0.
void fill_grid(const grid &g, double *x);

// Writes a quiet NaN to ht_vec[0..n).
void fill_nan(double *ht_vec, int n);

// The common entry of every sum: true when the call goes on with *g sized.
// Otherwise the call is already answered: n < 1 touches nothing, refused
// distances or an unsizable grid leave NaN in ht_vec[0..n). Allocates nothing.
bool plan_call(double *ht_vec, const double *td_vec, int n, grid *g);

} // namespace ht

#endif
