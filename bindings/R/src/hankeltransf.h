#ifndef HANKELTRANSF_R_H
#define HANKELTRANSF_R_H

#include <Rinternals.h>

SEXP ht_grid(SEXP d);
SEXP ht_exact(SEXP d);
SEXP ht_fast(SEXP d);

#endif
