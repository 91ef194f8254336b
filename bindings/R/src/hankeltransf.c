/* .Call glue between R and the hankel_transf C libraries.
 *
 * The C functions take every argument by address and answer refused input
 * with NaN; the R code asks DFTYieldExponGrid first, so that refused input
 * is reported by value and reason, and only calls a sum on a grid that can
 * be sized. Distances arrive as a plain double vector (the R code coerces).
 *
 * A single call cannot be interrupted: the libraries offer no hook to poll
 * R_CheckUserInterrupt from, and abandoning a call would leak its tables.
 */
#include <limits.h>

#include <R.h>
#include <Rinternals.h>

#include <gsl/gsl_errno.h>
#include <hankel_transf.h>
#include <hankel_transf_fast.h>

#include "hankeltransf.h"

/* The count as the libraries take it; long vectors do not fit in an int. */
static int distance_count(SEXP d)
{
    if (TYPEOF(d) != REALSXP)
        Rf_error("distances must be a double vector");
    if (XLENGTH(d) > INT_MAX)
        Rf_error("at most %d distances per call", INT_MAX);
    return (int) XLENGTH(d);
}

/* The header's status codes, by the names the R code reports them by. */
static const char *status_name(int status)
{
    switch (status) {
    case HANKEL_TRANSF_GRID_OK: return "ok";
    case HANKEL_TRANSF_GRID_BAD_DISTANCE: return "bad_distance";
    case HANKEL_TRANSF_GRID_EXTENT_OVERFLOW: return "extent_overflow";
    case HANKEL_TRANSF_GRID_SPACING_UNDERFLOW: return "spacing_underflow";
    case HANKEL_TRANSF_GRID_TOO_MANY_POINTS: return "too_many_points";
    case HANKEL_TRANSF_GRID_NO_DISTANCES: return "no_distances";
    default: return "unknown";
    }
}

/* list(status, bad_index (1-based, NA if none), N, spacing, max_x) */
SEXP ht_grid(SEXP d)
{
    int n = distance_count(d);
    int status = HANKEL_TRANSF_GRID_NO_DISTANCES, bad_index = -1, num_samp = 0;
    double incr = R_NaN, max_x = R_NaN;
    if (n > 0)
        DFTYieldExponGrid(&status, &bad_index, &num_samp, &incr, &max_x, REAL(d), &n);
    const char *names[] = {"status", "bad_index", "N", "spacing", "max_x", ""};
    SEXP out = PROTECT(Rf_mkNamed(VECSXP, names));
    SET_VECTOR_ELT(out, 0, Rf_mkString(status_name(status)));
    SET_VECTOR_ELT(out, 1, Rf_ScalarInteger(bad_index < 0 ? NA_INTEGER : bad_index + 1));
    SET_VECTOR_ELT(out, 2, Rf_ScalarInteger(num_samp));
    SET_VECTOR_ELT(out, 3, Rf_ScalarReal(incr));
    SET_VECTOR_ELT(out, 4, Rf_ScalarReal(max_x));
    UNPROTECT(1);
    return out;
}

/* The direct sum. GSL's default error handler aborts the process when the
 * N x N table cannot be allocated; with the handler off the library frees
 * what it took and answers NaN, which the R code turns into an error. The
 * previous handler (another package's, perhaps) is put back at once. */
SEXP ht_exact(SEXP d)
{
    int n = distance_count(d);
    SEXP out = PROTECT(Rf_allocVector(REALSXP, n));
    if (n > 0) {
        gsl_error_handler_t *previous = gsl_set_error_handler_off();
        DFTYieldExpon(REAL(out), REAL(d), &n);
        gsl_set_error_handler(previous);
    }
    UNPROTECT(1);
    return out;
}

/* The fast method: the same sum in O(N + n) memory. */
SEXP ht_fast(SEXP d)
{
    int n = distance_count(d);
    SEXP out = PROTECT(Rf_allocVector(REALSXP, n));
    if (n > 0)
        DFTYieldExponFast(REAL(out), REAL(d), &n);
    UNPROTECT(1);
    return out;
}
