// Internal: the kernel's and the phase's constants, shared by the direct sum
// and the fast method. Each value is the binary64 nearest the real number.
#ifndef HANKEL_TRANSF_CONSTANTS_H
#define HANKEL_TRANSF_CONSTANTS_H

namespace ht {

// 4*pi^2, the kernel's scale: f = (1 + four_pi_sq * r)^(-3/4).
constexpr double four_pi_sq = 39.47841760435743;      // 0x4043BD3CC9BE45DE

// 2*pi = two_pi + two_pi_lo to about 2^-107 relative. The direct sum uses
// two_pi alone; the fast method the pair, to turn an exactly reduced phase
// in cycles into radians with one rounding.
constexpr double two_pi = 6.283185307179586;          // 0x401921FB54442D18
constexpr double two_pi_lo = 2.4492935982947064e-16;  // 0x3CB1A62633145C07

} // namespace ht

#endif
