#!/usr/bin/env python3
"""Plot the library's grid sum against the continuous transform it approximates.

DFTYieldExpon returns the bare sum over an N x N frequency grid. Times the
cell area incr_desired^2 it is a Riemann sum for the inverse 2-D Fourier
transform of f(x) = (1 + 4 pi^2 |x|^2)^(-3/4), which is radial in d:

    F(d) = 2^(1/4) / (2 pi Gamma(3/4)) * d^(-1/4) * K_{1/4}(d)

The grid's extent comes from the smallest distance of a call and its spacing
from the largest, so the picture shows two calls with different ranges.

    plot_kernel.py [-o docs/kernel.png] [--lib PATH] [--fast-lib PATH] [--points 60]

Needs the package hankel_transf (pip install bindings/python, or
PYTHONPATH=bindings/python) and the C libraries it finds (see its docs);
--lib and --fast-lib name the library files, as HANKEL_TRANSF_LIB and
HANKEL_TRANSF_FAST_LIB do.
"""
import argparse
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from scipy.special import gamma, kv  # noqa: E402

import hankel_transf  # noqa: E402

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# Each call: (smallest distance, largest distance, colour)
CALLS = [(0.05, 12.0, "tab:blue"), (0.2, 2.5, "tab:orange")]


def continuum(d):
    return 2.0**0.25 / (2.0 * math.pi * gamma(0.75)) * d**-0.25 * kv(0.25, d)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("-o", "--output", default=os.path.join(SOURCE_DIR, "docs", "kernel.png"))
    ap.add_argument("--lib", default=None, help="path to libhankel_transf.so")
    ap.add_argument("--fast-lib", default=None, help="path to libhankel_transf_fast.so")
    ap.add_argument("--points", type=int, default=60, help="distances per call")
    opts = ap.parse_args(argv)

    # read when the package first loads a library, which is below
    for path, var in ((opts.lib, "HANKEL_TRANSF_LIB"), (opts.fast_lib, "HANKEL_TRANSF_FAST_LIB")):
        if path:
            os.environ[var] = path
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(7.5, 6.5),
                                      gridspec_kw={"height_ratios": [3, 2]})
    lo = min(c[0] for c in CALLS)
    hi = max(c[1] for c in CALLS)
    dense = np.geomspace(lo, hi, 400)
    top.loglog(dense, continuum(dense), color="black", lw=1.2,
               label=r"$F(d)=\frac{2^{1/4}}{2\pi\,\Gamma(3/4)}\,d^{-1/4}K_{1/4}(d)$")

    for d_min, d_max, colour in CALLS:
        d = np.geomspace(d_min, d_max, opts.points)
        grid = hankel_transf.grid(d)
        approx = hankel_transf.transform(d, scaled=True)   # the sum times grid.spacing**2
        exact = continuum(d)
        label = "one call, d in [%g, %g]: N = %d, incr = %.3g" % (d_min, d_max, grid.N,
                                                                   grid.spacing)
        # the sum can fall below zero where F is tiny: show magnitudes
        top.loglog(d, np.abs(approx), "o", ms=3, color=colour, label=label)
        bottom.loglog(d, np.abs(approx - exact) / exact, "-o", ms=2.5, lw=0.8, color=colour)

    top.set_ylabel(r"sum $\times$ incr$^2$ and $F(d)$")
    top.set_title("Grid sum times cell area vs. the continuous transform")
    top.legend(fontsize=8, loc="lower left")
    top.grid(True, which="major", alpha=0.3)
    bottom.set_ylabel("relative error")
    bottom.set_xlabel("distance d")
    bottom.grid(True, which="major", alpha=0.3)
    bottom.text(0.02, 0.92, "small d: frequency grid cut off at 1.5/(2 min s)",
                transform=bottom.transAxes, fontsize=8, va="top")
    bottom.text(0.98, 0.08, "large d: periodic images and the grid's hard edge\n"
                            "outlast the exponentially small F(d)",
                transform=bottom.transAxes, fontsize=8, ha="right")
    fig.tight_layout()
    out_dir = os.path.dirname(os.path.abspath(opts.output))
    os.makedirs(out_dir, exist_ok=True)
    fig.savefig(opts.output, dpi=100)
    print(opts.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
