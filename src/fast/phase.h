// Phase arithmetic of the fast method: phases are kept in cycles as
// double-doubles, reduced modulo 1 exactly, and only then turned into a
// cosine and sine. Compiled with -ffp-contract=off like every unit but the
// hot loops.
#ifndef HANKEL_TRANSF_FAST_PHASE_H
#define HANKEL_TRANSF_FAST_PHASE_H

#include "constants.h"
#include "eft.h"

#include <cmath>

namespace ht {
namespace fast {

// The fractional part, in cycles, of a + m*q, with |result.hi| <= 1/2 + tiny.
// m is an integer below 2^53. Every integer part is removed from an exact
// value (x - nearbyint(x) is exact in binary floating point), so the phase
// keeps about 1e-32 cycles of absolute accuracy however many cycles it spans:
// what is left is the rounding of m*q.lo and of the final additions.
inline dd reduce_phase(dd a, double m, dd q)
{
    const dd p = two_prod(m, q.hi);
    const double ah = a.hi - std::nearbyint(a.hi);
    const double ph = p.hi - std::nearbyint(p.hi);
    const dd s = two_sum(ah, ph);
    const double sh = s.hi - std::nearbyint(s.hi);
    const double rest = s.lo + (a.lo + (p.lo + m * q.lo));
    return two_sum(sh, rest);
}

// cos and sin of 2*pi*phase for a reduced phase (|phase.hi| <= 1/2 + tiny).
// The angle is formed as ang + ang_lo (2*pi as two_pi + two_pi_lo, the
// product split exactly), and the first-order correction in ang_lo is applied
// to the libm values of ang:
//   cos(ang + l) = cos(ang) - sin(ang)*l + O(l^2),
//   sin(ang + l) = sin(ang) + cos(ang)*l + O(l^2),  |l| <= ~2.3e-16.
// Absolute error: libm's (glibc: < 1 ulp of a value <= 1) plus ~1e-32;
// without the correction it would be up to |l|, one more ulp near 0 and pi.
inline void cis(dd phase, double *c, double *s)
{
    const dd p = two_prod(two_pi, phase.hi);
    const double ang_lo = p.lo + (two_pi_lo * phase.hi + two_pi * phase.lo);
    const double sn = std::sin(p.hi);
    const double cs = std::cos(p.hi);
    *c = cs - sn * ang_lo;
    *s = sn + cs * ang_lo;
}

} // namespace fast
} // namespace ht

#endif
