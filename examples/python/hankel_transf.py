"""ctypes access to libhankel_transf and libhankel_transf_fast.

    from hankel_transf import HankelTransf
    ht = HankelTransf()                          # libraries found as below
    ht.transform([1.0, 2.0])                     # direct sum
    ht.transform([1.0, 2.0], method="fast")      # same sums, faster method
    ht.eval_f(3.0, 4.0)                          # the kernel itself

With numpy importable, transform() returns a float64 array and accepts
anything numpy can turn into a 1-D float64 array; a C-contiguous float64
input is passed to the library without a copy. Without numpy it takes any
sequence of numbers and returns a list.

Library lookup, first match wins:
  1. the lib= / fast_lib= arguments;
  2. HANKEL_TRANSF_LIB / HANKEL_TRANSF_FAST_LIB;
  3. a build directory: build_dir= or HANKEL_TRANSF_BUILD_DIR, default
     <source tree>/build; the fast library is looked for there and in src/fast;
  4. the soname (libhankel_transf.so.1, ...) on the dynamic loader's path,
     which is where an installed copy is found.

The fast library is only loaded when the fast method is first asked for.
The library decides what bad input gives (NaN in every output, nothing
written for n < 1); nothing here re-checks distances.
"""

import ctypes
import os

try:
    import numpy as _np
except ImportError:
    _np = None

__all__ = ["HankelTransf", "HAVE_NUMPY"]

HAVE_NUMPY = _np is not None

_SOVERSION = "1"
_INT_MAX = 2**31 - 1
_DOUBLE_P = ctypes.POINTER(ctypes.c_double)
_INT_P = ctypes.POINTER(ctypes.c_int)
_SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _find_library(stem, explicit, env_var, build_dir, subdirs):
    if explicit:
        return explicit
    if os.environ.get(env_var):
        return os.environ[env_var]
    if build_dir is None:
        build_dir = os.environ.get("HANKEL_TRANSF_BUILD_DIR") or os.path.join(_SOURCE_DIR, "build")
    for sub in subdirs:
        candidate = os.path.join(build_dir, sub, stem + ".so")
        if os.path.exists(candidate):
            return candidate
    return stem + ".so." + _SOVERSION


def _bind_transform(cdll, name):
    fn = getattr(cdll, name)
    fn.argtypes = [_DOUBLE_P, _DOUBLE_P, _INT_P]
    fn.restype = None
    return fn


class HankelTransf:
    """The two libraries, loaded by path. One instance may be shared by
    threads: the library keeps no state."""

    METHODS = ("exact", "fast")

    def __init__(self, lib=None, fast_lib=None, build_dir=None):
        self.lib_path = _find_library("libhankel_transf", lib, "HANKEL_TRANSF_LIB",
                                      build_dir, [""])
        self.fast_lib_path = _find_library("libhankel_transf_fast", fast_lib,
                                           "HANKEL_TRANSF_FAST_LIB", build_dir,
                                           ["", os.path.join("src", "fast")])
        self._lib = ctypes.CDLL(self.lib_path)
        self._eval_f = self._lib.eval_f
        self._eval_f.argtypes = [ctypes.c_double, ctypes.c_double]
        self._eval_f.restype = ctypes.c_double
        self._fns = {"exact": _bind_transform(self._lib, "DFTYieldExpon")}

    def _function(self, method):
        if method not in self.METHODS:
            raise ValueError("method must be one of %s, not %r" % (self.METHODS, method))
        if method not in self._fns:
            fast = ctypes.CDLL(self.fast_lib_path)
            self._fns[method] = _bind_transform(fast, "DFTYieldExponFast")
        return self._fns[method]

    def eval_f(self, x1, x2):
        """f(x1, x2) = (1 + 4 pi^2 (x1^2 + x2^2))^(-3/4)."""
        return self._eval_f(x1, x2)

    def transform(self, distances, method="exact", out=None):
        """The diagonal transform at each distance, in input order.

        The frequency grid is built from the smallest and largest distance of
        this call, so each value depends on the others passed with it.

        out: optional destination of the same length: with numpy a writable
        C-contiguous float64 array (it may be `distances` itself: the library
        reads every distance before writing), without numpy a list. It is
        filled and returned.
        """
        fn = self._function(method)
        if _np is not None:
            return self._transform_numpy(fn, distances, out)
        return self._transform_list(fn, distances, out)

    @staticmethod
    def _count(n):
        if n > _INT_MAX:
            raise OverflowError("at most %d distances per call" % _INT_MAX)
        return ctypes.c_int(n)

    def _transform_numpy(self, fn, distances, out):
        td = _np.ascontiguousarray(distances, dtype=_np.float64)
        if td.ndim != 1:
            raise ValueError("distances must be one-dimensional, got shape %s" % (td.shape,))
        n = self._count(td.shape[0])
        if out is None:
            out = _np.empty_like(td)
        elif not (isinstance(out, _np.ndarray) and out.dtype == _np.float64
                  and out.shape == td.shape and out.flags.c_contiguous
                  and out.flags.writeable):
            raise ValueError("out must be a writable C-contiguous float64 array of shape %s"
                             % (td.shape,))
        fn(out.ctypes.data_as(_DOUBLE_P), td.ctypes.data_as(_DOUBLE_P), ctypes.byref(n))
        return out

    def _transform_list(self, fn, distances, out):
        values = [float(d) for d in distances]
        n = self._count(len(values))
        if out is not None and (not isinstance(out, list) or len(out) != len(values)):
            raise ValueError("out must be a list of %d elements" % len(values))
        # one buffer for both: the library reads all distances before writing
        buf = (ctypes.c_double * len(values))(*values)
        fn(buf, buf, ctypes.byref(n))
        if out is None:
            return list(buf)
        out[:] = buf
        return out
