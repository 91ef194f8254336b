#!/usr/bin/env python3
"""Simulate a Gaussian random field with covariance exp(-d) and check its covariance.

The kernel's self-convolution is exp(-d) / (2 pi), so white noise convolved
with sqrt(2 pi) times the kernel has covariance exp(-d). This draws fields
with hankel_transf.exponential_field and plots one of them beside their
empirical covariance and the lattice kernel's self-convolution, against
exp(-d).

    field.py [-o docs/field.png] [--size 1024] [--spacing 0.05] [--fields 4]
             [--seed 1] [--lib PATH] [--fast-lib PATH]

Needs the package hankel_transf (pip install bindings/python, or
PYTHONPATH=bindings/python) and the C libraries it finds; --lib and
--fast-lib name the library files, as HANKEL_TRANSF_LIB and
HANKEL_TRANSF_FAST_LIB do.
"""
import argparse
import io
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from PIL import Image  # noqa: E402  (matplotlib's own dependency)

import hankel_transf  # noqa: E402

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
REACH = 4.0         # distances shown
HALF_WIDTH = 8.0    # the kernel's reach, exponential_field's default


def axis_covariance(z, lags):
    """Mean of z[p] * z[p + lag] over the pairs along both axes (the mean is
    known to be 0, so it is not estimated)."""
    n0, n1 = z.shape
    return np.array([0.5 * (np.mean(z[:, :n1 - l] * z[:, l:]) + np.mean(z[:n0 - l] * z[l:]))
                     for l in lags])


def lattice_covariance(K, spacing, lags):
    """2 pi spacing**2 sum_j K[j] K[j + lag] along an axis, and 1 at lag 0
    (where exponential_field adds the cell variance the lattice sum misses)."""
    m = (K.shape[0] - 1) // 2
    size = 2 * K.shape[0]
    spectrum = np.fft.rfft2(K, s=(size, size))
    conv = np.fft.irfft2(spectrum * spectrum, s=(size, size))
    cov = 2 * math.pi * spacing**2 * conv[2 * m, 2 * m + lags]
    cov[lags == 0] = 1.0
    return cov


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("-o", "--output", default=os.path.join(SOURCE_DIR, "docs", "field.png"))
    ap.add_argument("--size", type=int, default=1024, help="lattice points per side")
    ap.add_argument("--spacing", type=float, default=0.05, help="lattice spacing (range 1)")
    ap.add_argument("--fields", type=int, default=4, help="fields for the empirical covariance")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--lib", default=None, help="path to libhankel_transf.so")
    ap.add_argument("--fast-lib", default=None, help="path to libhankel_transf_fast.so")
    opts = ap.parse_args(argv)
    for path, var in ((opts.lib, "HANKEL_TRANSF_LIB"), (opts.fast_lib, "HANKEL_TRANSF_FAST_LIB")):
        if path:
            os.environ[var] = path     # read when the package first loads a library

    rng = np.random.default_rng(opts.seed)
    shape = (opts.size, opts.size)
    fields = [hankel_transf.exponential_field(shape, opts.spacing, rng=rng, half_width=HALF_WIDTH)
              for _ in range(opts.fields)]
    lags = np.arange(0, min(int(round(REACH / opts.spacing)), opts.size - 1) + 1)
    d = lags * opts.spacing
    empirical = np.mean([axis_covariance(z, lags) for z in fields], axis=0)
    K = hankel_transf.lattice_kernel(HALF_WIDTH, opts.spacing)
    lattice = lattice_covariance(K, opts.spacing, lags)

    fig = plt.figure(figsize=(11, 4.8))
    grid = fig.add_gridspec(2, 2, width_ratios=[1, 1.15], height_ratios=[3, 1.3])
    ax_field = fig.add_subplot(grid[:, 0])
    side = opts.size * opts.spacing
    im = ax_field.imshow(fields[0], cmap="RdBu_r", vmin=-3, vmax=3, origin="lower",
                         extent=(0, side, 0, side), interpolation="antialiased")
    fig.colorbar(im, ax=ax_field, shrink=0.8)
    ax_field.set_title("%d x %d field, spacing %g" % (opts.size, opts.size, opts.spacing))

    ax_cov = fig.add_subplot(grid[0, 1])
    ax_cov.plot(d, np.exp(-d), color="black", lw=1.5, label=r"$e^{-d}$")
    step = max(1, len(lags) // 40)
    ax_cov.plot(d[::step], empirical[::step], "o", ms=3.5, color="tab:orange",
                label="empirical, %d field%s" % (opts.fields, "s" * (opts.fields > 1)))
    ax_cov.plot(d[::step], lattice[::step], "+", ms=6, color="tab:blue",
                label=r"lattice kernel: $2\pi h^2\, K \star K$")
    ax_cov.set_ylabel("covariance")
    ax_cov.set_title("Covariance against distance d")
    ax_cov.legend(fontsize=8)
    ax_cov.grid(True, alpha=0.3)
    ax_cov.tick_params(labelbottom=False)

    ax_dev = fig.add_subplot(grid[1, 1], sharex=ax_cov)
    ax_dev.plot(d[1:], (lattice[1:] - np.exp(-d[1:])) * 1e3, color="tab:blue", lw=1)
    ax_dev.axhline(0, color="black", lw=0.8)
    ax_dev.set_ylabel("lattice minus $e^{-d}$\n(units of $10^{-3}$)", fontsize=8)
    ax_dev.set_xlabel("distance d")
    ax_dev.grid(True, alpha=0.3)

    fig.tight_layout()
    os.makedirs(os.path.dirname(os.path.abspath(opts.output)), exist_ok=True)
    # a noisy image compresses badly: 256 colours take the file from 400 kB to 140 kB
    buffer = io.BytesIO()
    fig.savefig(buffer, dpi=100)
    buffer.seek(0)
    Image.open(buffer).convert("RGB").quantize(256).save(opts.output, optimize=True)
    print(opts.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
