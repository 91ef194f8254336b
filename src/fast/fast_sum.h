// Internal C++ entry points of the fast method, shared by the exported
// function, the command-line tool and the tests.
#ifndef HANKEL_TRANSF_FAST_SUM_H
#define HANKEL_TRANSF_FAST_SUM_H

#include "progress.h"

#include <cstddef>

namespace ht {
namespace fast {

// Which build of the vectorised loops runs.
enum class isa {
    automatic,   // AVX2+FMA when the CPU has both, else baseline
    baseline,    // x86-64 baseline (SSE2), no fused multiply-add
    avx2_fma,    // only honoured when the CPU has AVX2 and FMA
};

struct options {
    isa path = isa::automatic;
    // malloc-compatible; whatever it returns is released with std::free.
    // Null means std::malloc.
    void *(*alloc)(std::size_t) = nullptr;
    // Called with stage "distances" after each output value is written.
    progress_hook progress;
};

// DFTYieldExponFast: same arguments, contract and bits.
void sum(double *ht_vec, const double *td_vec, int n,
         const options &opt = options()) noexcept;

// True when the AVX2+FMA build of the loops can run on this CPU.
bool avx2_fma_available() noexcept;

// e[j] = x[j] - (x[0] + j*h), evaluated exactly and rounded once, for
// j < N. x is the grid as fill_grid built it and h its spacing
// incr_desired, so x[j] == x[0] + j*h + e[j] up to that one rounding.
void grid_deviation(const double *x, int N, double h, double *e) noexcept;

} // namespace fast
} // namespace ht

#endif
