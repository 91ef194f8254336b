"""lattice_kernel() and exponential_field(): from the kernel to a Gaussian random field.

The continuum kernel k(d) = 2**0.25 / (2*pi*Gamma(3/4)) * d**-0.25 * K_{1/4}(d)
is the inverse Fourier transform of f(w) = (1 + 4*pi**2*|w|**2)**(-3/4). Its
square f**2 is the spectral density of exp(-|h|) divided by 2*pi, so its
self-convolution in the plane is exp(-d) / (2*pi): white noise convolved with
sqrt(2*pi) * k is a field of covariance exp(-d). Here that convolution is done
on a lattice, with k sampled by one call of the library's sum.
"""

import math
import numbers
import os
import sys

import numpy as np

from ._core import METHODS, _format_bytes, transform

DEFAULT_HALF_WIDTH = 8.0

# The library call's largest distance, at the least. Its frequency grid's
# spacing is about sqrt(2) / (3 * largest): too coarse to resolve f, whose
# scale is 1/(2*pi), when the largest distance is a few units. Measured at
# spacing 0.05, relative error of the sum times the cell area against k at
# d = 1 and 2: 6e-2 and 3.6e-1 with largest 2, 5e-4 and 4e-3 with 4, 9e-6
# and 4e-5 with 11.3 (half-width 8's corner).
_GRID_REACH = 12.0

# The cell integral at the origin, where k(d) ~ 0.333 * d**-0.5 is singular:
# the mass of k inside the disc of radius a, m(a) = 2*pi * int_0^a k(r) r dr.
#  - a < 1: termwise integral of the power series of K_{1/4} (DLMF 10.25.2,
#    10.27.4):  m(a) = pi/Gamma(3/4) * sum_k (a*a/4)**k / k! *
#    [a**1.5 / ((2k + 3/2) Gamma(k + 3/4)) - a**2 / (sqrt(2) (2k + 2) Gamma(k + 5/4))].
#    The factor (a*a/4)**k / k! is below 4**-k / k!, so 20 terms leave less
#    than 1e-30; the two series cancel by at most a factor 5.4 (at a = 1), so
#    the relative error is below 2e-15.
#  - a >= 1:  m(a) = 1 - 2**0.25 / Gamma(3/4) * a**0.75 * K_{3/4}(a), since
#    d/dr[r**0.75 K_{3/4}(r)] = -r**0.75 K_{1/4}(r) (DLMF 10.29) and k's total
#    mass is f(0) = 1. K_{3/4}(a) = int_0^inf exp(-a cosh t) cosh(3t/4) dt
#    (DLMF 10.32) by the trapezoidal rule, step 1/8 on [0, 8]: the integrand
#    is entire and even, and on the strip |Im t| <= pi/3 its modulus is at most
#    exp(-(a/2) cosh t) cosh(3t/4), so the rule's error is below
#    2 K_{3/4}(1/2) exp(-2*pi*(pi/3)*8) < 1e-22 (Trefethen and Weideman, SIAM
#    Review 56 (2014), Thm 5.1); the cut at t = 8 drops less than exp(-1400).
#    As m(a) >= 0.49 there, its relative error is a few units of rounding.
# The two forms agree to 1e-15 on [0.03, 3]; tests/test_field.py holds both to
# quadrature of the closed form.
_SERIES_TERMS = 20
_TRAPEZOID_STEP = 0.125
_TRAPEZOID_END = 8.0


def _disc_mass(a):
    """The continuum kernel's integral over the disc of radius ``a`` > 0."""
    g34 = math.gamma(0.75)
    if a < 1.0:
        total, power = 0.0, 1.0
        for k in range(_SERIES_TERMS):
            total += power * (a**1.5 / ((2 * k + 1.5) * math.gamma(k + 0.75))
                              - a * a / (math.sqrt(2.0) * (2 * k + 2) * math.gamma(k + 1.25)))
            power *= a * a / (4.0 * (k + 1))
        return math.pi / g34 * total
    t = np.arange(0.0, _TRAPEZOID_END + _TRAPEZOID_STEP / 2, _TRAPEZOID_STEP)
    integrand = np.exp(-a * np.cosh(t)) * np.cosh(0.75 * t)
    k34 = _TRAPEZOID_STEP * (math.fsum(integrand) - integrand[0] / 2)
    return 1.0 - 2.0**0.25 / g34 * a**0.75 * k34


def _centre_cell(spacing):
    """The lattice kernel at the origin: the continuum kernel's mass in the
    disc of the cell's area (radius spacing/sqrt(pi)), per unit area."""
    return _disc_mass(spacing / math.sqrt(math.pi)) / (spacing * spacing)


def _positive_real(value, name):
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError("%s must be a real number, not %s" % (name, type(value).__name__))
    value = float(value)
    if not value > 0.0 or math.isinf(value):
        raise ValueError("%s must be positive and finite, not %r" % (name, value))
    return value


def _checked_method(method):
    if method not in METHODS:
        raise ValueError("method must be one of %s, not %r" % (METHODS, method))


def _cells(half_width, spacing):
    """Lattice steps from the kernel's centre to its edge, ``half_width / spacing``
    rounded to the nearest integer (0.7 / 0.1 is 6.999999999999999: 7 steps)."""
    steps = half_width / spacing
    if steps > 2.0**53:
        raise ValueError("half_width / spacing = %.3g: a kernel that many cells wide "
                         "cannot be allocated" % steps)
    return int(round(steps))


def _memory_limit():
    """Bytes a work space may take: what can be addressed, and at most the
    machine's physical memory where the system reports it."""
    limit = sys.maxsize
    try:
        limit = min(limit, os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES"))
    except (AttributeError, ValueError, OSError):
        pass
    return limit


def _check_work_space(nbytes, what):
    limit = _memory_limit()
    if nbytes > limit:
        raise ValueError("%s needs about %s of work space, more than this machine can "
                         "allocate (%s)" % (what, _format_bytes(nbytes), _format_bytes(limit)))


class _Refuse:
    """Context manager: a MemoryError inside becomes the ValueError the caller
    is promised, naming what was being built."""

    def __init__(self, what, nbytes):
        self.what, self.nbytes = what, nbytes

    def __enter__(self):
        return self

    def __exit__(self, kind, exc, tb):
        if kind is not None and issubclass(kind, MemoryError):
            raise ValueError("%s needs about %s of work space, which could not be allocated"
                             % (self.what, _format_bytes(self.nbytes))) from None
        return False


def _kernel_bytes(m):
    # quadrant of squared offsets and np.unique's sort and inverse (int64),
    # then the full kernel (float64)
    return 32 * (m + 1) ** 2 + 8 * (2 * m + 1) ** 2


def _kernel(m, spacing, method):
    """The (2m+1) x (2m+1) lattice kernel; the caller has checked its size."""
    i = np.arange(m + 1, dtype=np.int64)
    squared = i[:, None] ** 2 + i[None, :] ** 2          # exact: every offset's |.|**2
    distinct, where = np.unique(squared, return_inverse=True)
    values = np.empty(distinct.size + 1)
    values[0] = _centre_cell(spacing)                     # distinct[0] == 0
    if distinct.size > 1:
        # One call on every distinct distance. The sum's grid is fitted to the
        # smallest (spacing) and the largest: its extent to the first, which
        # band-limits the kernel to the lattice's frequencies; its spacing to
        # the second, so a near corner is pushed out to _GRID_REACH.
        d = values[1:]
        d[:-1] = np.sqrt(distinct[1:].astype(np.float64)) * spacing
        d[-1] = max(_GRID_REACH, d[-2])
        transform(d, method=method, scaled=True, out=d)
    quadrant = values[:-1][where.reshape(squared.shape)]
    half = np.concatenate([quadrant[:0:-1], quadrant], axis=0)
    return np.concatenate([half[:, :0:-1], half], axis=1)


def lattice_kernel(half_width, spacing, method="fast"):
    """The continuum kernel sampled on a square lattice, for process convolution.

    The kernel ``k(d) = 2**0.25 / (2*pi*Gamma(3/4)) * d**-0.25 * K_{1/4}(d)``
    is the inverse 2-D Fourier transform of ``f`` (see :func:`transform`);
    its self-convolution in the plane is ``exp(-d) / (2*pi)``. On the lattice
    the same holds for sums: ``spacing**2 * sum_j K[j] * K[j + m]`` is
    ``exp(-d) / (2*pi)`` at ``d = spacing * |m|``, to the accuracy below.

    Parameters
    ----------
    half_width : float
        Extent of the kernel from its centre to the middle of each edge, in
        the same length unit as ``spacing``; it is cut to ``M`` lattice steps,
        ``half_width / spacing`` rounded to the nearest integer.
    spacing : float
        Lattice spacing, in units of the covariance's range (the ``d`` of
        ``exp(-d)``).
    method : {"fast", "exact"}, optional
        The library's sum the values come from (see :func:`transform`);
        ``"exact"`` costs about ``n * N**2`` cosines, minutes for
        ``half_width / spacing`` of 100 and more.

    Returns
    -------
    ndarray
        float64 of shape ``(2*M + 1, 2*M + 1)``; ``K[M + i, M + j]``
        approximates ``k(spacing * sqrt(i**2 + j**2))``.

    Notes
    -----
    Off the centre the values are the library's sum times the grid's cell
    area, ``transform(d, method, scaled=True)``, in one call on the
    lattice's distinct distances ``d = spacing * sqrt(i**2 + j**2)``, found
    exactly from the integer squares ``i**2 + j**2``. That call's frequency
    grid is fitted to the smallest and largest distance: its extent, set by
    ``spacing``, cuts ``f`` off beyond 1.5 times the lattice's Nyquist
    frequency and so band-limits the kernel, which is what makes the lattice
    sums accurate; its resolution is set by the largest distance, which is
    taken out to 12 when the lattice's corner is nearer (that one extra
    distance's value is not used). At spacing 0.05 and half-width 6 (5250
    distances) the lattice self-convolution is 1.00145 * exp(-d) / (2*pi),
    the factor varying by 2.8e-4 over ``d`` in [0.25, 3]; ``k`` itself
    sampled at the same points varies by 2.4e-3. At spacing 0.1 the
    variation is 1.9e-3, at 0.025 4.6e-4.

    ``k`` is singular at the origin, like ``0.333 * d**-0.5``, so the centre
    value is no sample but the kernel's integral over the disc of the cell's
    area (radius ``a = spacing / sqrt(pi)``) divided by that area.
    ``m(a) = 1 - 2**0.25 / Gamma(3/4) * a**0.75 * K_{3/4}(a)`` is the mass
    of ``k`` within radius ``a`` (from ``d/dr[r**0.75 K_{3/4}(r)] =
    -r**0.75 K_{1/4}(r)`` and ``k``'s total mass ``f(0) = 1``); it is
    evaluated by its power series for ``a < 1`` and by the trapezoidal rule
    on an integral for ``K_{3/4}`` beyond, to a relative error below 2e-15.
    Without it (centre 0) the self-convolution's factor varies by 2.8e-2;
    with the leading term ``4/3 * 0.333 * a**-0.5`` alone, by 3.9e-3. The
    square cell's average is 0.47 % lower at spacing 0.05 and moves the
    variation by less than 1e-4 either way (half-widths 6 and 8).

    Cost: about ``M**2 / 3`` distances on a grid of ``N`` about
    ``4.5 * max(1.41 * half_width, 12) / spacing`` points, so the fast
    method's time grows as ``M**3``: 0.02 s for ``M = 120``, 0.4 s for 400,
    2.4 s for 800 (one core). A fine spacing costs time even for a small
    kernel, the grid reaching 12 all the same: 3.6 s at spacing 0.001 and
    half-width 0.003 (``N = 54002``).

    Raises
    ------
    TypeError
        ``half_width`` or ``spacing`` is not a real number.
    ValueError
        ``half_width`` or ``spacing`` is not positive and finite; ``method``
        is unknown; the kernel would need more memory than the machine has.

    Examples
    --------
    >>> K = hankel_transf.lattice_kernel(6, 0.05)
    >>> K.shape
    (241, 241)
    >>> round(float(K[120, 120]), 6)           # the centre cell's average
    2.325248
    """
    half_width = _positive_real(half_width, "half_width")
    spacing = _positive_real(spacing, "spacing")
    _checked_method(method)
    m = _cells(half_width, spacing)
    what = "a lattice kernel of %d x %d cells" % (2 * m + 1, 2 * m + 1)
    _check_work_space(_kernel_bytes(m), what)
    with _Refuse(what, _kernel_bytes(m)):
        return _kernel(m, spacing, method)


def _checked_shape(shape):
    """``shape`` as two positive Python ints; TypeError or ValueError naming it."""
    if isinstance(shape, (str, bytes)):
        raise TypeError("shape must be two integers, not %s" % type(shape).__name__)
    if isinstance(shape, (numbers.Integral, np.integer)) or np.ndim(shape) != 1:
        raise ValueError("shape must be two lattice sizes (rows, columns), not %r" % (shape,))
    dims = list(shape)
    if len(dims) != 2:
        raise ValueError("shape must have two sizes (rows, columns), not %d: %r"
                         % (len(dims), tuple(dims)))
    for n in dims:
        if isinstance(n, (bool, np.bool_)) or not isinstance(n, (numbers.Integral, np.integer)):
            raise TypeError("shape must hold integers, not %s (%r)" % (type(n).__name__, n))
    if min(dims) < 1:
        raise ValueError("shape %r is empty: both sizes must be at least 1"
                         % (tuple(int(n) for n in dims),))
    return int(dims[0]), int(dims[1])


def _checked_rng(rng):
    if rng is None or isinstance(rng, np.random.Generator):
        return np.random.default_rng(rng)
    if isinstance(rng, (bool, np.bool_)) or not isinstance(rng, (numbers.Integral, np.integer)):
        raise TypeError("rng must be a numpy.random.Generator, an int seed or None, not %s"
                        % type(rng).__name__)
    if rng < 0:
        raise ValueError("rng: a seed must be a non-negative integer, not %d" % rng)
    return np.random.default_rng(int(rng))


def _fft_size(n):
    """The smallest 2**a * 3**b * 5**c >= n, a length numpy's FFT does quickly."""
    best, odd5 = n << 1, 1
    while odd5 < best:
        odd = odd5
        while odd < best:
            # the least odd * 2**c >= n
            best = min(best, odd << ((n - 1) // odd).bit_length())
            odd *= 3
        odd5 *= 5
    return best


def _field_plan(shape, m):
    """The noise lattice: a torus at least the field plus the kernel's reach
    (2*m cells) in each direction, so that no two points of the field see the
    same noise cell through the wrap; each side the next length numpy's FFT
    does quickly. Returns it and the bytes the field's work takes."""
    torus = (_fft_size(shape[0] + 2 * m), _fft_size(shape[1] + 2 * m))
    nbytes = (2 * 8 * torus[0] * torus[1]                   # the noise, the convolution
              + 2 * 16 * torus[0] * (torus[1] // 2 + 1)     # its spectrum and the kernel's
              + 2 * 8 * shape[0] * shape[1]                 # the field and its cell noise
              + _kernel_bytes(m))
    return torus, nbytes


def _convolve(noise, weights, shape):
    """``weights`` convolved with ``noise``, circularly on the noise's lattice,
    by FFT; the first ``shape`` points (each the sum over the noise the
    weights cover when their corner is on it)."""
    spectrum = np.fft.rfft2(noise)
    spectrum *= np.fft.rfft2(weights, s=noise.shape)
    return np.fft.irfft2(spectrum, s=noise.shape)[:shape[0], :shape[1]].copy()


def exponential_field(shape, spacing, *, rng=None, method="fast",
                      half_width=DEFAULT_HALF_WIDTH):
    """One sample of a zero-mean Gaussian field with covariance ``exp(-d)``.

    The field on a ``shape[0] x shape[1]`` square lattice of the given
    spacing, made by convolving white noise with the lattice kernel
    (process convolution). Element ``[i, j]`` is the field at
    ``(i * spacing, j * spacing)``. For covariance ``s**2 * exp(-d / r)``,
    ask for ``spacing / r`` and multiply the result by ``s``.

    Parameters
    ----------
    shape : (int, int)
        Rows and columns, both at least 1.
    spacing : float
        Lattice spacing, in units of the covariance's range.
    rng : numpy.random.Generator, int or None, optional
        Where the normal draws come from: a generator (advanced by the
        call), a seed for ``numpy.random.default_rng``, or None for fresh
        entropy. The same seed and arguments give the same field.
    method : {"fast", "exact"}, optional
        The library sum the kernel comes from (see :func:`lattice_kernel`).
    half_width : float, optional
        The kernel's reach (default 8): the field's covariance is that of
        the kernel cut at this distance. Measured at spacing 0.05 over
        ``d`` from 3 to 6: 8 keeps the covariance within 8.4e-5 of
        ``exp(-d)``, 6 within 3.4e-4, 4 within 3.6e-3.

    Returns
    -------
    ndarray
        float64 of shape ``shape``.

    Notes
    -----
    Normalisation. With ``K`` the lattice kernel (:func:`lattice_kernel`)
    and ``xi`` independent standard normal draws on a lattice at least
    ``2*M`` cells larger than the field in each direction,

        ``Z = sqrt(2*pi) * spacing * (K * xi)  +  sqrt(v) * eta``

    where ``*`` is the lattice convolution: white noise of unit intensity
    has variance ``1 / spacing**2`` per cell, so each cell's noise enters
    as ``spacing**2 * K * xi / spacing``; and ``sqrt(2*pi)`` turns the
    kernel's self-convolution ``exp(-d) / (2*pi)`` into ``exp(-d)``. So
    ``Cov(Z[p], Z[q]) = 2*pi * spacing**2 * sum_j K[j] K[j + p - q]`` for
    ``p != q``. At ``p == q`` that lattice sum falls short of 1: the
    variation of ``k`` inside each cell is lost, 1.7 % at spacing 0.05,
    3.4 % at 0.1, 16 % at 0.5, 29 % at 1. The second term puts it back:
    ``eta`` is independent standard normal noise, one draw per cell, and
    ``v = 1 - 2*pi * spacing**2 * sum_j K[j]**2``, so that the variance
    is 1 and no other covariance changes.

    Accuracy of the covariance, against ``exp(-d)`` over ``d`` up to 6,
    measured along the axes and diagonals: at most 1.4e-3 off at spacing
    0.05, 2.1e-3 at 0.1, 5.1e-3 at 0.2, 9.3e-3 at 0.5, 1.1e-2 at 2; exact
    at ``d = 0``. The convolution is circular, by FFT, on that larger
    lattice: the kernel reaches ``M`` cells, so no two points of the field
    see the same noise through the wrap and the field is not periodic.

    Cost: the kernel (see :func:`lattice_kernel`; 0.03 s at spacing 0.05),
    the normal draws and three 2-D FFTs of the larger lattice: 0.14 s for
    a 1024 x 1024 field at spacing 0.05 on one core (``bench/bench_field.py``).

    Raises
    ------
    TypeError
        ``shape`` holds something other than integers; ``spacing`` or
        ``half_width`` is not a real number; ``rng`` is not a Generator,
        an int or None.
    ValueError
        ``shape`` is not two sizes or has a size below 1; ``spacing`` or
        ``half_width`` is not positive and finite; ``rng`` is a negative
        seed; ``method`` is unknown; the lattice is so large that its work
        space cannot be allocated (the message gives its size).

    Examples
    --------
    >>> z = hankel_transf.exponential_field((200, 300), 0.05, rng=1)
    >>> z.shape
    (200, 300)
    """
    shape = _checked_shape(shape)
    spacing = _positive_real(spacing, "spacing")
    half_width = _positive_real(half_width, "half_width")
    _checked_method(method)
    rng = _checked_rng(rng)
    m = _cells(half_width, spacing)
    torus, nbytes = _field_plan(shape, m)
    what = "a %d x %d field (noise on %d x %d cells)" % (shape + torus)
    _check_work_space(nbytes, what)
    with _Refuse(what, nbytes):
        weights = _kernel(m, spacing, method)
        weights *= math.sqrt(2.0 * math.pi) * spacing
        cell_variance = 1.0 - float(np.sum(weights * weights))
        if cell_variance < 0.0:
            # the lattice sum approaches 1 from below (the sub-cell variation
            # it misses); measured positive for spacings 1e-2 to 10,
            # half-widths 1e-2 to 20
            raise RuntimeError("lattice kernel's variance %.17g exceeds 1 at spacing %r"
                               % (1.0 - cell_variance, spacing))
        field = _convolve(rng.standard_normal(torus), weights, shape)
        field += math.sqrt(cell_variance) * rng.standard_normal(shape)
    return field
