// Internal: the four-double vector the hot loops are written in (GCC/Clang
// vector extension). It compiles to SSE2 pairs in the baseline builds and to
// AVX registers in the target("avx2,fma") builds of the same bodies, and to
// NEON pairs off x86-64.
#ifndef HANKEL_TRANSF_FAST_VEC4_H
#define HANKEL_TRANSF_FAST_VEC4_H

namespace ht {
namespace fast {

typedef double v4d __attribute__((vector_size(32)));

// An unaligned load of p[0..4).
[[gnu::always_inline]] inline v4d load4(const double *p)
{
    v4d v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

} // namespace fast
} // namespace ht

#endif
