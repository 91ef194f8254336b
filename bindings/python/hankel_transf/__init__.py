"""Diagonal grid transform of an isotropic spectral kernel.

numpy front end to the C libraries ``libhankel_transf.so`` (the kernel and the
exact sum) and ``libhankel_transf_fast.so`` (the fast sum and the grid query):

    >>> import hankel_transf
    >>> hankel_transf.transform([1, 2])                   # the bare sum
    array([1.89664643, 0.37175514])
    >>> hankel_transf.transform([1, 2], method="fast")    # same sum, O(N) memory
    array([1.89664643, 0.37175514])
    >>> hankel_transf.grid([1, 2]).N
    12

and, built on the sum, a Gaussian random field with covariance exp(-d):

    >>> z = hankel_transf.exponential_field((512, 512), 0.05, rng=1)

The libraries are loaded on first use: from the files named by
``HANKEL_TRANSF_LIB`` and ``HANKEL_TRANSF_FAST_LIB`` when those are set, else
by soname (``libhankel_transf.so.1``, ``libhankel_transf_fast.so.1``) through
the dynamic loader (``LD_LIBRARY_PATH``, the ``ldconfig`` cache).
"""

from ._core import METHODS, Grid, eval_f, grid, transform
from ._field import exponential_field, lattice_kernel

__version__ = "1.0.0"

__all__ = ["METHODS", "Grid", "eval_f", "exponential_field", "grid", "lattice_kernel",
           "transform", "__version__"]
