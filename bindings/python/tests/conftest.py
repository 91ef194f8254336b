"""The library files the package loaded, opened a second time by path, so
that tests can call each C function by its own name and compare bit for bit."""
import ctypes
import os

import numpy as np
import pytest

import hankel_transf

_D = ctypes.POINTER(ctypes.c_double)


def _mapped_file(stem):
    with open("/proc/self/maps") as maps:
        for line in maps:
            path = line.split(None, 5)[-1].strip()
            if os.path.basename(path).startswith(stem + ".so"):
                return path
    raise AssertionError("%s is not mapped into this process" % stem)


class Raw:
    def __init__(self):
        hankel_transf.transform([1.0], method="exact")
        hankel_transf.transform([1.0], method="fast")
        self.paths = [_mapped_file(s) for s in ("libhankel_transf", "libhankel_transf_fast")]
        self.exact_lib, self.fast_lib = (ctypes.CDLL(p) for p in self.paths)
        self.exact_lib.eval_f.restype = ctypes.c_double
        self.exact_lib.eval_f.argtypes = [ctypes.c_double, ctypes.c_double]

    def _sum(self, fn, d):
        td = np.array(d, dtype=np.float64)
        ht = np.empty_like(td)
        fn(ht.ctypes.data_as(_D), td.ctypes.data_as(_D), ctypes.byref(ctypes.c_int(td.size)))
        return ht

    def exact(self, d):
        return self._sum(self.exact_lib.DFTYieldExpon, d)

    def fast(self, d):
        return self._sum(self.fast_lib.DFTYieldExponFast, d)


@pytest.fixture(scope="session")
def raw():
    return Raw()
