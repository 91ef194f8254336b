/*
 * hankel_transf_fast.h - fast evaluation of the diagonal grid transform.
 *
 * Plain C ABI, usable from C and C++, meant to be loaded at run time and
 * resolved by symbol name (dlopen/dlsym, Python ctypes, R's .C, ...).
 * The shared library libhankel_transf_fast.so exports exactly two symbols:
 * DFTYieldExponFast, the sum, and DFTYieldExponGrid, which reports the grid
 * a call of either sum would use, or why it would refuse the call. It does
 * not contain eval_f or DFTYieldExpon; link or load libhankel_transf.so as
 * well if those are wanted.
 */
#ifndef HANKEL_TRANSF_FAST_H
#define HANKEL_TRANSF_FAST_H

#if defined(_WIN32)
#  if defined(HANKEL_TRANSF_FAST_BUILDING)
#    define HANKEL_TRANSF_FAST_API __declspec(dllexport)
#  else
#    define HANKEL_TRANSF_FAST_API
#  endif
#elif defined(__GNUC__) && defined(HANKEL_TRANSF_FAST_BUILDING)
#  define HANKEL_TRANSF_FAST_API __attribute__((visibility("default")))
#else
#  define HANKEL_TRANSF_FAST_API
#endif

/* No C++ exception ever leaves this function. */
#if defined(__cplusplus)
#  define HANKEL_TRANSF_FAST_NOEXCEPT noexcept
#else
#  define HANKEL_TRANSF_FAST_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * DFTYieldExponFast - the same quantity as DFTYieldExpon (hankel_transf.h),
 * on the same frequency grid, computed in O(N log N + n*N) operations and
 * O(N + n) memory instead of O(n*N^2) operations and an N x N table.
 *
 *   ht_vec     out: n doubles, ht_vec[i] = ht(td_vec[i]), in input order.
 *   td_vec     in:  n distances d > 0 (same length unit as DFTYieldExpon;
 *                   frequencies are in cycles per that unit), any order,
 *                   repeats allowed.
 *   length_td  in:  address of n (32-bit int).
 *
 * For each distance d, with s = d / sqrt(2) (a division):
 *
 *     ht(d) = sum_{j=0}^{N-1} sum_{k=0}^{N-1} f(x_j, x_k) * cos(2*pi*s*(x_j + x_k)),
 *     f(x1, x2) = (1 + 4*pi^2 * (x1^2 + x2^2))^(-3/4)
 *
 * The result is the bare sum (no cell area). The grid x_0..x_{N-1} and its
 * size N are built from the smallest and largest distance of the call by
 * the very code DFTYieldExpon uses, so they are bit-identical to its grid;
 * as there, one distance's result depends on the others passed with it.
 *
 * Accuracy: not bit-identical to DFTYieldExpon, and not reproducible to the
 * bit across CPUs (on x86-64 a vectorised path with fused multiply-add is
 * chosen at run time when the CPU has AVX2 and FMA). Against the sum
 * evaluated in quadruple precision on the same grid, with
 * S = sum_{j,k} f(x_j, x_k) >= |ht(d)|, measured errors are below 5e-17 * S
 * on grids of N >= 400 points with spacing at most 0.1 (largest distance
 * above about 5: many grid points carry S), 1e-17 * S at N = 4502, and up
 * to 4.5e-16 * S (about 2 ulp of S) on smaller or coarser grids, where few
 * points carry S and each anti-diagonal's phase is applied as two
 * rotations of about an ulp each. Beyond a few thousand points the kernel's
 * moments are computed through an exponential sum and FFTs: below
 * 1e-16 * S against a pairwise double-double sum up to N = 45003, and below
 * 1e-15 * S where each step is checked on sampled anti-diagonals
 * (N = 4.5e5 and 4.5e6). DFTYieldExpon's own rounding error grows with the
 * phase 2*pi*s*|x| (2e-14 * S at N = 4502); on coarse grids at tiny scales
 * it can be several times smaller than this function's.
 *
 * Cost: once per call, the kernel's anti-diagonal moments of orders 0..P
 * (P = 1 to 3 for N up to 4.5e6, from the grid's drift from even spacing):
 * N*(N+1)/2 kernel evaluations for grids of up to a few thousand points;
 * beyond, T*(P+1) real FFTs of length about 2N, T = 36 for a smallest
 * distance of 1 (growing with the logarithm of 1/smallest distance). Then,
 * for each distance, either about 2N*(P+1) multiply-adds and 2N/32 + 32
 * sine/cosine pairs (few distances), or, when a cost model expects it to be
 * faster and its work space stays in proportion (from a few hundred
 * distances on), all distances at once by a non-uniform FFT: O(N log N)
 * once, then about 60 ns per distance (10^6 distances at N = 4502: 0.06 s
 * instead of 10 s). 200 distances: 5.5 ms at N = 4502, 0.08 s at
 * N = 45003, 1.3 s at N = 450003, 30 to 35 s at N = 4.5e6 (one core). Memory: about (2P + 9)*N + n doubles of work space for grids
 * of up to a few thousand points (400 kB at N = 4502), about (4P + 11)*N
 * on the FFT moment route, FFTW's own tables included (820 MB at
 * N = 4.5e6), plus about 60*N doubles on the distances' FFT route (90*N
 * while it is set up); allocated and freed within the call. When the
 * distances' FFT route's space cannot be had the call takes the other
 * route. FFTW, which computes the FFTs, allocates its plans itself and
 * aborts the process when that fails; each stage first takes twice the
 * room its plans need and releases it just before planning, which leaves
 * that only to a race with other threads. Nothing outlives the call but
 * FFTW's planner data. ht_vec may be td_vec itself or overlap it: all
 * distances are read before any output is written.
 *
 * Input outside the contract (the same policy as DFTYieldExpon; there is no
 * error channel, so the answer is in ht_vec; nothing outside ht_vec[0..n)
 * is ever written):
 *   - n < 1: returns at once; nothing is read or written.
 *   - any distance NaN, infinite, zero, negative or -0: every ht_vec[i] is
 *     set to a quiet NaN; nothing is allocated.
 *   - a grid DFTYieldExpon could not size (a smallest distance below
 *     about 1.18e-308, a largest above about 1.27e308, or a ratio above
 *     about 2.39e8; see hankel_transf.h): every ht_vec[i] is NaN; nothing
 *     is allocated. As there, a smallest distance below about 1e-153 is
 *     computed although the kernel comes out 0 on the grid's outer points.
 *   - the work space cannot be allocated (the grid and the moments; see
 *     above for the distances' FFT route): every ht_vec[i] is NaN and
 *     everything already taken is released.
 *   - a grid whose drift from even spacing needs an expansion beyond order
 *     8 to stay within the accuracy above (none up to a ratio of 2e7; the
 *     first seen at 3e7, N = 1.35e8, whose work space would be some
 *     45 GB): every ht_vec[i] is NaN.
 *
 * Thread safety: keeps no state of its own and starts no threads;
 * concurrent calls are safe as long as each writes its own ht_vec. FFTW's
 * planner is not reentrant: on first use the library turns on FFTW's own
 * planner lock (fftw_make_planner_thread_safe, once), so FFT plans are made
 * (and destroyed) one at a time, and a host that plans with the same
 * libfftw3 in other threads is covered by the same lock. Plans use
 * FFTW_ESTIMATE on arrays aligned alike in every call: no timing runs, the
 * same result every time.
 */
HANKEL_TRANSF_FAST_API void DFTYieldExponFast(double *ht_vec, double *td_vec,
                                              int *length_td) HANKEL_TRANSF_FAST_NOEXCEPT;

/* Values of DFTYieldExponGrid's *status. The sums answer every status but
 * OK as the policy above says: NO_DISTANCES touches nothing, the others
 * leave NaN in every output. */
#define HANKEL_TRANSF_GRID_OK 0                 /* computed on the grid reported */
#define HANKEL_TRANSF_GRID_BAD_DISTANCE 1       /* td_vec[*bad_index] is NaN, infinite, 0, -0 or < 0 */
#define HANKEL_TRANSF_GRID_EXTENT_OVERFLOW 2    /* the smallest distance is too small
                                                   (below about 1.18e-308): the extent
                                                   1.5/(2*min_s) or 2*max_x overflows */
#define HANKEL_TRANSF_GRID_SPACING_UNDERFLOW 3  /* the largest distance is too large:
                                                   2*max_s overflows */
#define HANKEL_TRANSF_GRID_TOO_MANY_POINTS 4    /* the ratio largest/smallest is too large:
                                                   N beyond INT_MAX or 8*N*N bytes beyond
                                                   PTRDIFF_MAX */
#define HANKEL_TRANSF_GRID_NO_DISTANCES 5       /* *length_td < 1 */

/*
 * DFTYieldExponGrid - the frequency grid of a call, without computing it.
 *
 *   status            out: one of HANKEL_TRANSF_GRID_* above.
 *   bad_index         out: with HANKEL_TRANSF_GRID_BAD_DISTANCE, the 0-based
 *                     index of the first refused distance; -1 otherwise.
 *   num_samp_desired  out: N, points per axis (0 unless status is OK).
 *   incr_desired      out: the grid spacing h (NaN unless status is OK).
 *                     The bare sum times h*h approximates the continuum
 *                     transform (the sum is a Riemann sum with cell h*h).
 *   max_x             out: the grid's extent; it runs from -max_x by
 *                     repeated addition of h (NaN unless status is OK).
 *   td_vec, length_td in: exactly as for DFTYieldExpon/DFTYieldExponFast.
 *
 * Every argument is passed by address, as for the sums, so that R's .C and
 * Python's ctypes call it alike. It runs the planning code both sums run
 * (the same object code, linked into both libraries), so a call it reports
 * as OK is computed on exactly this grid by DFTYieldExpon and
 * DFTYieldExponFast, and a call it refuses gets NaN from both. It reads
 * td_vec[0..n) once, allocates nothing, keeps no state and is safe to call
 * from any number of threads.
 */
HANKEL_TRANSF_FAST_API void DFTYieldExponGrid(int *status, int *bad_index,
                                              int *num_samp_desired, double *incr_desired,
                                              double *max_x, double *td_vec,
                                              int *length_td) HANKEL_TRANSF_FAST_NOEXCEPT;

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* HANKEL_TRANSF_FAST_H */
