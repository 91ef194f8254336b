// Internal C++ entry points shared by the exported functions and the tool.
#ifndef HANKEL_TRANSF_INTERNAL_H
#define HANKEL_TRANSF_INTERNAL_H

namespace ht {

// Called after each output value is written: done of total distances.
using progress_fn = void (*)(void *ctx, int done, int total);

// DFTYieldExpon with an optional progress hook (may be null). Same contract,
// same bits. The hook must not throw.
void direct_sum(double *ht_vec, const double *td_vec, int n,
                progress_fn progress, void *ctx) noexcept;

} // namespace ht

#endif
