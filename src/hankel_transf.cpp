// The kernel and its direct diagonal transform. The order of every rounding
// below is part of the contract: build with -ffp-contract=off.
#include "hankel_transf.h"

#include "constants.h"
#include "grid.h"
#include "hankel_transf_internal.h"
#include "rounding_guard.h"

#include <cmath>
#include <cstdlib>

#include <gsl/gsl_matrix.h>

namespace {
constexpr double exponent = -0.75;
// An N x N gsl_matrix that owns its block, as gsl_matrix_alloc makes it.
// gsl_matrix_alloc itself leaks its header when the block cannot be had and
// the error handler is off, so the block is taken first and the header
// built around it; every failure releases whatever was obtained.
gsl_matrix *alloc_table(size_t N)
{
    gsl_block *block = gsl_block_alloc(N * N);
    if (block == nullptr)
        return nullptr;
    gsl_matrix *m = gsl_matrix_alloc_from_block(block, 0, N, N, N);
    if (m == nullptr) {
        gsl_block_free(block);
        return nullptr;
    }
    m->owner = 1;   // gsl_matrix_free releases the block with the header
    return m;
}

} // namespace

extern "C" double eval_f(double x1, double x2) noexcept
{
    const double r_part = x1 * x1 + x2 * x2;
    const double denom_bef_power = r_part * ht::four_pi_sq + 1.0;
    return std::pow(denom_bef_power, exponent);
}

namespace ht {

void direct_sum(double *ht_vec, const double *td_vec, int n,
                const progress_hook &progress) noexcept
{
    // Validate, find the extremes, size the grid: nothing is allocated
    // until the call is known to be sizable.
    grid g;
    if (!plan_call(ht_vec, td_vec, n, &g))
        return;
    const int N = g.num_samp_desired;

    // The table is only asked for once both work arrays are had. With GSL's
    // default handler a failed table aborts inside; a NULL return means the
    // host switched the handler off.
    double *s = static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(n)));
    double *x = static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(N)));
    gsl_matrix *f_val_mat =
        s != nullptr && x != nullptr ? alloc_table(static_cast<size_t>(N)) : nullptr;
    if (f_val_mat == nullptr) {
        std::free(s);
        std::free(x);
        fill_nan(ht_vec, n);
        return;
    }
    // All distances are copied before any output is written, so ht_vec may
    // alias td_vec.
    scale_distances(td_vec, n, s);
    fill_grid(g, x);

    // The whole table, both triangles, before any sum.
    for (int j = 0; j < N; ++j) {
        double *row = gsl_matrix_ptr(f_val_mat, static_cast<size_t>(j), 0);
        for (int k = 0; k < N; ++k)
            row[k] = eval_f(x[j], x[k]);
    }

    // One plain accumulator per distance, rows outer, columns inner.
    // s[i]*x[j] is rounded on its own before the addition, so hoisting it out
    // of the inner loop leaves every bit unchanged.
    for (int i = 0; i < n; ++i) {
        const double si = s[i];
        double sum = 0.0;
        for (int j = 0; j < N; ++j) {
            const double *row = gsl_matrix_const_ptr(f_val_mat, static_cast<size_t>(j), 0);
            const double sxj = si * x[j];
            for (int k = 0; k < N; ++k) {
                const double cos_part = std::cos((sxj + si * x[k]) * two_pi);
                sum = sum + row[k] * cos_part;
            }
        }
        ht_vec[i] = sum;
        progress("distances", i + 1, n);
    }

    gsl_matrix_free(f_val_mat);
    std::free(s);
    std::free(x);
}

} // namespace ht

extern "C" void DFTYieldExpon(double *ht_vec, double *td_vec, int *length_td) noexcept
{
    const int n = *length_td;
    ht::direct_sum(ht_vec, td_vec, n);
}
