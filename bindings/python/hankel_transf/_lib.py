"""Finding and loading the two C libraries.

Each library is loaded the first time a function needs it, then kept for the
life of the process. The first of these that applies is used:

1. The file named by an environment variable: ``HANKEL_TRANSF_LIB`` for
   ``libhankel_transf.so`` (the kernel and the exact sum),
   ``HANKEL_TRANSF_FAST_LIB`` for ``libhankel_transf_fast.so`` (the fast sum
   and the grid query). When the variable is set and not empty, that file is
   the only one tried.
2. The soname, ``libhankel_transf.so.1`` / ``libhankel_transf_fast.so.1``,
   through the dynamic loader: ``LD_LIBRARY_PATH``, then the ``ldconfig``
   cache and the system's library directories.

The soname's major version is the C ABI's, so an incompatible library is
never picked up by name.
"""

import ctypes
import os
import threading
from typing import Dict, NamedTuple, Optional, Tuple

SOVERSION = "1"

_DOUBLE_P = ctypes.POINTER(ctypes.c_double)
_INT_P = ctypes.POINTER(ctypes.c_int)
# (restype, argtypes) of the sums: ht_vec, td_vec, &n
_SUM = (None, [_DOUBLE_P, _DOUBLE_P, _INT_P])
# status, bad_index, N, incr_desired, max_x, td_vec, &n
_GRID = (None, [_INT_P, _INT_P, _INT_P, _DOUBLE_P, _DOUBLE_P, _DOUBLE_P, _INT_P])


class _LibraryInfo(NamedTuple):
    stem: str
    env: str
    role: str
    symbols: Dict[str, Tuple[object, list]]


EXACT = _LibraryInfo("libhankel_transf", "HANKEL_TRANSF_LIB", "the kernel and the exact sum",
                     {"eval_f": (ctypes.c_double, [ctypes.c_double, ctypes.c_double]),
                      "DFTYieldExpon": _SUM})
FAST = _LibraryInfo("libhankel_transf_fast", "HANKEL_TRANSF_FAST_LIB",
                    "the fast sum and the grid query",
                    {"DFTYieldExponFast": _SUM, "DFTYieldExponGrid": _GRID})


class Library:
    """A loaded library: ``path`` as it was opened, one attribute per symbol."""

    def __init__(self, info, path, cdll):
        self.path = path
        for name, (restype, argtypes) in info.symbols.items():
            try:
                fn = getattr(cdll, name)
            except AttributeError:
                raise OSError("hankel_transf: %s does not export %s: it is not %s.so.%s "
                              "(set %s to the right file)"
                              % (path, name, info.stem, SOVERSION, info.env)) from None
            fn.restype = restype
            fn.argtypes = argtypes
            setattr(self, name, fn)
        self.gsl_errors_off = _GslErrorsOff(cdll)


class _GslErrorsOff:
    """Context manager: GSL's error handler switched off while any call is inside.

    GSL's default handler aborts the process when an allocation fails, which
    would take the interpreter down with a large exact call; with the handler
    off the library answers NaN instead, which transform() turns into a
    MemoryError. The handler is process-wide, so overlapping calls from
    several threads are counted and the caller's handler is put back when the
    last one leaves. A library built without a shared GSL leaves it alone.
    """

    def __init__(self, cdll):
        try:
            self._off = cdll.gsl_set_error_handler_off
            self._set = cdll.gsl_set_error_handler
        except AttributeError:
            self._off = None
            return
        self._off.restype = self._set.restype = ctypes.c_void_p
        self._off.argtypes = []
        self._set.argtypes = [ctypes.c_void_p]
        self._lock = threading.Lock()
        self._depth = 0
        self._saved = None

    def __enter__(self):
        if self._off is not None:
            with self._lock:
                if self._depth == 0:
                    self._saved = self._off()
                self._depth += 1

    def __exit__(self, *exc):
        if self._off is not None:
            with self._lock:
                self._depth -= 1
                if self._depth == 0:
                    self._set(self._saved)


_loaded: Dict[str, Library] = {}
_lock = threading.Lock()


def load(info: _LibraryInfo) -> Library:
    """The library ``info`` describes, loaded on first use; OSError saying what was tried."""
    with _lock:
        lib = _loaded.get(info.stem)
        if lib is None:
            lib = _loaded[info.stem] = _open(info)
        return lib


def _open(info: _LibraryInfo) -> Library:
    explicit: Optional[str] = os.environ.get(info.env) or None
    if explicit is not None:
        path = os.path.abspath(explicit)
        tried = "%s=%s" % (info.env, explicit)
    else:
        path = "%s.so.%s" % (info.stem, SOVERSION)
        tried = ("the dynamic loader with %s (LD_LIBRARY_PATH, then the ldconfig cache "
                 "and the system library directories)" % path)
    try:
        cdll = ctypes.CDLL(path)
    except OSError as e:
        raise OSError(
            "hankel_transf: cannot load %s (%s).\n  tried: %s\n  error: %s\n"
            "Install the C libraries (cmake --install BUILD --prefix PREFIX), then run "
            "ldconfig for a system prefix, or add PREFIX/lib to LD_LIBRARY_PATH, or set %s "
            "to the file's path." % (info.stem, info.role, tried, e, info.env)) from None
    return Library(info, path, cdll)
