"""transform(), grid() and eval_f(): numpy arrays in and out of the C calls."""

import ctypes
import math
from typing import NamedTuple

import numpy as np

from . import _lib

METHODS = ("exact", "fast")
_INT_MAX = 2**31 - 1

# DFTYieldExponGrid's status values, as include/hankel_transf_fast.h numbers them.
_OK, _BAD_DISTANCE, _EXTENT_OVERFLOW, _SPACING_UNDERFLOW, _TOO_MANY_POINTS, _NO_DISTANCES = \
    range(6)
_SUM_SYMBOL = {"exact": "DFTYieldExpon", "fast": "DFTYieldExponFast"}


class Grid(NamedTuple):
    """The frequency grid of one call, as the C planner sizes it.

    The grid runs from ``-max_x`` in ``N - 1`` steps of ``spacing`` (by
    repeated addition, so the last point need not be exactly ``max_x``).
    """

    N: int
    """Points per axis."""
    spacing: float
    """The step ``incr_desired``; the sum times ``spacing**2`` is a Riemann sum."""
    max_x: float
    """The extent: 1.5 times the Nyquist frequency of the smallest scaled distance."""


def _real_array(values, name):
    """``values`` as an ndarray of integer or floating dtype, else TypeError."""
    if isinstance(values, np.ma.MaskedArray):
        raise TypeError("%s: masked arrays are not accepted (the mask would be ignored); "
                        "pass %s.compressed() or %s.filled(value)" % (name, name, name))
    arr = np.asarray(values)
    if arr.dtype.kind not in "iuf":
        got = ("an array of dtype %s" % arr.dtype if isinstance(values, (np.ndarray, list, tuple))
               else type(values).__name__)
        raise TypeError("%s must be real numbers (integer or floating point), not %s"
                        % (name, got))
    return arr


def _where(arr, flat_index):
    """``d[i, j] = value`` for the element at ``flat_index`` (C order) of ``arr``."""
    if arr.ndim == 0:
        return "d = %r" % (arr[()].item(),)
    index = np.unravel_index(flat_index, arr.shape)
    return "d[%s] = %r" % (", ".join(str(int(i)) for i in index), arr.flat[flat_index].item())


def _bad_distance_reason(value):
    if math.isnan(value):
        return "is NaN"
    if math.isinf(value):
        return "is infinite"
    return "is zero" if value == 0 else "is negative"


def _plan(arr, td):
    """Ask the C planner for the grid of distances ``td`` (flat float64 copy of
    ``arr``); ValueError naming the distance at fault unless it can be built."""
    status, bad, n_points = ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
    spacing, max_x = ctypes.c_double(), ctypes.c_double()
    n = ctypes.c_int(td.size)
    _lib.load(_lib.FAST).DFTYieldExponGrid(
        ctypes.byref(status), ctypes.byref(bad), ctypes.byref(n_points), ctypes.byref(spacing),
        ctypes.byref(max_x), td.ctypes.data_as(ctypes.POINTER(ctypes.c_double)), ctypes.byref(n))
    st = status.value
    if st == _OK:
        return Grid(n_points.value, spacing.value, max_x.value)
    if st == _NO_DISTANCES:
        raise ValueError("no distances: the grid is built from the smallest and largest one")
    if st == _BAD_DISTANCE:
        raise ValueError("%s %s: every distance must be positive and finite"
                         % (_where(arr, bad.value), _bad_distance_reason(td[bad.value])))
    smallest, largest = _where(arr, int(np.argmin(td))), _where(arr, int(np.argmax(td)))
    if st == _EXTENT_OVERFLOW:
        raise ValueError("the smallest distance, %s, is too small: the grid's extent "
                         "1.5/(2*d/sqrt(2)) is not a finite number" % smallest)
    if st == _SPACING_UNDERFLOW:
        raise ValueError("the largest distance, %s, is too large: the grid's spacing "
                         "underflows to zero" % largest)
    if st == _TOO_MANY_POINTS:
        raise ValueError("the largest distance, %s, is too many times the smallest, %s: the grid "
                         "would need about 4.5 times that ratio points per axis, more than "
                         "can be addressed" % (largest, smallest))
    raise RuntimeError("DFTYieldExponGrid returned unknown status %d" % st)


def _distances(d):
    """(``d`` as given, as a flat contiguous float64 array)."""
    arr = _real_array(d, "d")
    if arr.size > _INT_MAX:
        raise ValueError("d has %d elements; one call takes at most %d" % (arr.size, _INT_MAX))
    return arr, np.ascontiguousarray(arr, dtype=np.float64).reshape(-1)


def grid(d):
    """The frequency grid a call of :func:`transform` with distances ``d`` uses.

    Parameters
    ----------
    d : array_like of real numbers
        Distances, any shape; only the smallest and the largest matter.

    Returns
    -------
    Grid
        Named tuple ``(N, spacing, max_x)``: points per axis, the step
        ``incr_desired`` and the extent. It comes from the same planning code
        both sums run, so it is exactly the grid of ``transform(d)``.

    Raises
    ------
    TypeError
        ``d`` is not real numbers (None, strings, bytes, complex, boolean,
        objects) or is a masked array.
    ValueError
        ``d`` is empty, or holds a distance that is NaN, infinite, zero or
        negative (the message names it and its index), or the grid cannot be
        sized (the smallest distance below about 1.18e-308, the largest near the float64
        maximum, or the ratio of the two too large for the grid's size to be
        addressed).

    Examples
    --------
    >>> hankel_transf.grid([1, 2])
    Grid(N=12, spacing=0.19284730395996752, max_x=1.0606601717798214)
    """
    arr, td = _distances(d)
    return _plan(arr, td)


def _checked_out(out, shape):
    if not isinstance(out, np.ndarray) or isinstance(out, np.ma.MaskedArray):
        raise TypeError("out must be a numpy.ndarray of float64, not %s" % type(out).__name__)
    if out.dtype != np.float64:
        raise TypeError("out must have dtype float64, not %s" % out.dtype)
    if out.shape != shape:
        raise ValueError("out has shape %s, but d has shape %s" % (out.shape, shape))
    if not out.flags.writeable:
        raise ValueError("out is read-only")
    return out


def transform(d, method="exact", scaled=False, out=None):
    """The kernel's diagonal grid transform at each distance of ``d``.

    For each distance, with ``s = d / sqrt(2)``, the sum
    ``ht(d) = sum_{j,k} f(x_j, x_k) * cos(2*pi*(s*x_j + s*x_k))`` over the
    ``N x N`` grid that :func:`grid` reports for the whole of ``d``. The grid
    is built from the smallest and largest distance of the call, so one
    distance's value depends on the others passed with it.

    Parameters
    ----------
    d : array_like of real numbers
        Distances, any shape and order, integers accepted.
    method : {"exact", "fast"}, optional
        ``"exact"``: the direct sum ``DFTYieldExpon``, reproducible to the bit,
        O(n*N**2) time and an ``N x N`` table (8*N**2 bytes).
        ``"fast"``: ``DFTYieldExponFast``, the same sum on the same grid, more
        accurate, O(N*log(N) + n*N) time and O(N) memory; not bit-identical to
        the exact method, nor across CPUs.
    scaled : bool, optional
        If True, multiply by the cell area ``grid(d).spacing**2``: in the
        middle of the call's range of distances this approximates the
        continuum transform ``2**0.25 / (2*pi*Gamma(3/4)) * d**-0.25 * K_{1/4}(d)``.
    out : ndarray, optional
        A writable float64 array of ``d``'s shape to receive the result; it
        may be ``d`` itself. It is written only once the whole call has
        succeeded, and returned.

    Returns
    -------
    ndarray
        float64, of ``d``'s shape (a numpy float64 scalar for a scalar ``d``,
        an empty array for an empty one), or ``out``.

    Raises
    ------
    TypeError
        ``d`` is not real numbers (None, strings, bytes, complex, boolean,
        objects) or is a masked array; ``scaled`` is not a bool; ``out`` is
        not a float64 ndarray.
    ValueError
        ``method`` is unknown; a distance is NaN, infinite, zero or negative,
        or the grid cannot be sized (the message names the distance and its
        index); ``d`` has more than 2**31 - 1 elements; ``out`` has the wrong
        shape or is read-only.
    MemoryError
        The library could not allocate its work space (with the exact method,
        most likely the ``N x N`` table: use ``method="fast"``).
    OSError
        A C library cannot be loaded (see the package's documentation).

    Examples
    --------
    >>> hankel_transf.transform([1, 2])
    array([1.89664643, 0.37175514])
    >>> hankel_transf.transform([2, 1], method="fast")
    array([0.37175514, 1.89664643])
    """
    if method not in METHODS:
        raise ValueError("method must be one of %s, not %r" % (METHODS, method))
    if not isinstance(scaled, (bool, np.bool_)):
        raise TypeError("scaled must be True or False, not %r" % (scaled,))
    arr, td = _distances(d)
    if out is not None:
        _checked_out(out, arr.shape)
    result = np.empty(td.shape, dtype=np.float64)
    if td.size > 0:
        g = _plan(arr, td)
        _call_sum(method, g, result, td)
        if scaled:
            result *= g.spacing * g.spacing
    result = result.reshape(arr.shape)
    if out is not None:
        out[...] = result
        return out
    return result[()] if result.ndim == 0 else result


def _call_sum(method, g, result, td):
    lib = _lib.load(_lib.EXACT if method == "exact" else _lib.FAST)
    fn = getattr(lib, _SUM_SYMBOL[method])
    ptr = ctypes.POINTER(ctypes.c_double)
    with lib.gsl_errors_off:
        fn(result.ctypes.data_as(ptr), td.ctypes.data_as(ptr), ctypes.byref(ctypes.c_int(td.size)))
    # The grid was accepted, so only a failed allocation leaves NaN everywhere.
    if np.isnan(result).all():
        if method == "exact":
            raise MemoryError("the exact method's %d x %d table (%s) could not be allocated; "
                              'method="fast" computes the same sum in O(N) memory'
                              % (g.N, g.N, _format_bytes(8.0 * g.N * g.N)))
        raise MemoryError("the fast method's work space for N = %d could not be allocated" % g.N)


def eval_f(x1, x2):
    """The spectral kernel ``f(x1, x2) = (1 + 4*pi**2*(x1**2 + x2**2))**(-3/4)``.

    Parameters
    ----------
    x1, x2 : array_like of real numbers
        Frequencies (cycles per unit distance), broadcast against each other.

    Returns
    -------
    ndarray or numpy.float64
        The library's ``eval_f`` at each pair, bit for bit (one C call per
        pair); a scalar for scalar arguments. Nothing is validated: NaN gives NaN, an infinite
        argument 0.

    Examples
    --------
    >>> float(hankel_transf.eval_f(0, 0))
    1.0
    """
    a = np.asarray(_real_array(x1, "x1"), dtype=np.float64)
    b = np.asarray(_real_array(x2, "x2"), dtype=np.float64)
    fn = _lib.load(_lib.EXACT).eval_f
    out = np.empty(np.broadcast_shapes(a.shape, b.shape), dtype=np.float64)
    for i, (u, v) in enumerate(np.broadcast(a, b)):
        out.flat[i] = fn(float(u), float(v))
    return out[()] if out.ndim == 0 else out


def _format_bytes(n):
    """n bytes in decimal units, three significant digits: '4.05 GB'."""
    for unit in ("B", "kB", "MB", "GB", "TB", "PB"):
        if n < 1000 or unit == "PB":
            return "%.3g %s" % (n, unit)
        n /= 1000.0
