// Internal C++ entry points shared by the exported functions and the tool.
#ifndef HANKEL_TRANSF_INTERNAL_H
#define HANKEL_TRANSF_INTERNAL_H

#include "progress.h"

namespace ht {

// DFTYieldExpon with a progress hook, called with stage "distances" after
// each output value is written. Same contract, same bits.
void direct_sum(double *ht_vec, const double *td_vec, int n,
                const progress_hook &progress = progress_hook()) noexcept;

} // namespace ht

#endif
