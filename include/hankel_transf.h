/*
 * hankel_transf.h - isotropic spectral kernel and its diagonal grid transform.
 *
 * Plain C ABI, usable from C and C++, meant to be loaded at run time and
 * resolved by symbol name (dlopen/dlsym, Python ctypes, R's .C, ...).
 * The shared library libhankel_transf.so exports exactly two symbols:
 * eval_f and DFTYieldExpon.
 *
 * Arithmetic: IEEE-754 binary64, round to nearest, one rounding per
 * operation in the order documented below (no fused multiply-add, no
 * reassociation, no wider intermediates). Results are reproducible to the
 * bit for a given libm (pow, cos, ceil).
 */
#ifndef HANKEL_TRANSF_H
#define HANKEL_TRANSF_H

#if defined(_WIN32)
#  if defined(HANKEL_TRANSF_BUILDING)
#    define HANKEL_TRANSF_API __declspec(dllexport)
#  else
#    define HANKEL_TRANSF_API
#  endif
#elif defined(__GNUC__) && defined(HANKEL_TRANSF_BUILDING)
#  define HANKEL_TRANSF_API __attribute__((visibility("default")))
#else
#  define HANKEL_TRANSF_API
#endif

/* No C++ exception ever leaves these functions. */
#if defined(__cplusplus)
#  define HANKEL_TRANSF_NOEXCEPT noexcept
#else
#  define HANKEL_TRANSF_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * eval_f - the spectral kernel at one frequency point (x1, x2):
 *
 *     f(x1, x2) = (1 + 4*pi^2 * (x1^2 + x2^2))^(-3/4)
 *
 * evaluated as  r_part          = x1*x1 + x2*x2
 *               denom_bef_power = r_part * 39.47841760435743 + 1.0
 *               result          = pow(denom_bef_power, -0.75)
 *
 * Frequencies are in cycles per unit distance. f(0, 0) == 1 exactly; f is
 * even in each argument and symmetric under swapping them. Nothing is
 * validated: an infinite argument gives 0, and so does any point where
 * r_part * 39.47841760435743 overflows (|x| >= 2.13e153 on an axis,
 * 1.51e153 on the diagonal), where the true value is near 1e-231; a NaN
 * argument gives NaN.
 *
 * Thread safety: pure, reentrant, no state.
 */
HANKEL_TRANSF_API double eval_f(double x1, double x2) HANKEL_TRANSF_NOEXCEPT;

/*
 * DFTYieldExpon - the kernel's inverse 2-D Fourier transform, sampled on the
 * diagonal, by direct summation over a frequency grid.
 *
 *   ht_vec     out: n doubles, ht_vec[i] = ht(td_vec[i]), in input order.
 *   td_vec     in:  n distances d > 0, any order, repeats allowed.
 *   length_td  in:  address of n (32-bit int). Every argument is an address
 *                   so that hosts passing everything by reference (R's .C,
 *                   Fortran) can call it directly.
 *
 * For each distance d, with s = d / sqrt(2) (a division, not a product):
 *
 *     ht(d) = sum_{j=0}^{N-1} sum_{k=0}^{N-1} f(x_j, x_k) * cos(2*pi*(s*x_j + s*x_k))
 *
 * The result is the bare sum: it is NOT multiplied by the cell area
 * incr_desired^2. The grid x_0..x_{N-1} is rebuilt in every call from the
 * smallest and largest distance of that call, so one distance's result
 * depends on the others passed with it:
 *
 *     max_x = (1 / (min_s + min_s)) * 1.5,    min_x = -max_x
 *     t     = (1 / (max_s + max_s)) * 0.6666666666666666
 *     num_samp_desired_no_endpt = (int) ceil((max_x - min_x) / t) + 1
 *     incr_desired = (max_x - min_x) / num_samp_desired_no_endpt
 *     N = num_samp_desired_no_endpt + 1,  x_0 = min_x,  x_i = x_{i-1} + incr_desired
 *
 * so N = ceil(4.5 * max_d / min_d) + 2 give or take one point. The call
 * keeps an N x N kernel table (8*N^2 bytes: 162 MB for a ratio of 1000) and
 * costs n * N^2 cosines.
 *
 * Memory: the call allocates its work arrays and table and frees them
 * before returning; nothing outlives the call. ht_vec may be td_vec itself
 * or overlap it: all distances are read before any output is written.
 *
 * Input outside the contract (there is no error channel, so the answer is
 * in ht_vec; nothing outside ht_vec[0..n) is ever written):
 *   - n < 1: returns at once; nothing is read or written.
 *   - any distance NaN, infinite, zero, negative or -0: every ht_vec[i] is
 *     set to a quiet NaN; nothing is allocated.
 *   - a grid that cannot be sized: every ht_vec[i] is NaN; nothing is
 *     allocated. That is a smallest distance whose extent 1.5/(2*min_s)
 *     or range 2*max_x is not finite (below about 1.18e-308; subnormal
 *     distances from there to 2.2e-308 are still sized), a largest
 *     distance whose double 2*max_s overflows (above about 1.27e308), or
 *     a ratio giving N beyond INT_MAX or 8*N*N bytes beyond PTRDIFF_MAX
 *     (ratios above about 2.39e8).
 *   - a smallest distance below about 1e-153 is computed as the arithmetic
 *     gives it, although the grid then reaches |x| beyond 1.5e153, where
 *     eval_f's 4*pi^2*r overflows and the kernel comes out 0 instead of a
 *     value near 1e-231: the sum is 0, or a few central terms. Keep
 *     distances above about 1e-150 in the unit chosen.
 *   - the work arrays cannot be allocated, or gsl_matrix_alloc returns NULL
 *     (only possible when the host has switched GSL's error handler off):
 *     every ht_vec[i] is NaN and everything already taken is released.
 *     With GSL's default error handler in place, a failed table allocation
 *     calls that handler, which aborts the process.
 *
 * Thread safety: keeps no state and takes no locks; concurrent calls are
 * safe as long as each writes its own ht_vec.
 */
HANKEL_TRANSF_API void DFTYieldExpon(double *ht_vec, double *td_vec,
                                     int *length_td) HANKEL_TRANSF_NOEXCEPT;

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* HANKEL_TRANSF_H */
