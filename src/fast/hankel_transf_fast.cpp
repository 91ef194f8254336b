#include "hankel_transf_fast.h"

#include "fast_sum.h"

extern "C" void DFTYieldExponFast(double *ht_vec, double *td_vec, int *length_td) noexcept
{
    const int n = *length_td;
    ht::fast::sum(ht_vec, td_vec, n);
}
