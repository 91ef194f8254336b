/* Registers the package's native routines; R_useDynamicSymbols(FALSE) keeps
 * .Call from looking anything else up by name. */
#include <R.h>
#include <Rinternals.h>
#include <R_ext/Rdynload.h>

#include "hankeltransf.h"

static const R_CallMethodDef call_methods[] = {
    {"grid", (DL_FUNC) &ht_grid, 1},
    {"exact_sum", (DL_FUNC) &ht_exact, 1},
    {"fast_sum", (DL_FUNC) &ht_fast, 1},
    {NULL, NULL, 0}
};

void R_init_hankeltransf(DllInfo *dll)
{
    R_registerRoutines(dll, NULL, call_methods, NULL, NULL);
    R_useDynamicSymbols(dll, FALSE);
    R_forceSymbols(dll, TRUE);
}
