#!/usr/bin/env python3
"""Time exponential_field and its parts on one core.

    bench_field.py [--size 1024] [--spacing 0.05] [--repeat 5] [--lib PATH] [--fast-lib PATH]

Reports, for each step, the median over the repeats of the thread's CPU time
and of the wall time: the lattice kernel (one library call), the normal
draws, the FFT convolution, and the whole call. numpy's FFT and random
generator run on the calling thread, so the CPU time is one core's.
Needs the package hankel_transf (pip install bindings/python, or
PYTHONPATH=bindings/python) and the C libraries it finds.
"""
import argparse
import math
import os
import platform
import statistics
import sys
import time

import numpy as np


def _cpu():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.machine()


def timed(fn, repeat):
    cpu, wall = [], []
    for _ in range(repeat):
        c0, w0 = time.thread_time(), time.perf_counter()
        fn()
        cpu.append(time.thread_time() - c0)
        wall.append(time.perf_counter() - w0)
    return statistics.median(cpu), statistics.median(wall)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--size", type=int, default=1024)
    ap.add_argument("--spacing", type=float, default=0.05)
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--lib", default=None, help="path to libhankel_transf.so")
    ap.add_argument("--fast-lib", default=None, help="path to libhankel_transf_fast.so")
    opts = ap.parse_args(argv)
    for path, var in ((opts.lib, "HANKEL_TRANSF_LIB"), (opts.fast_lib, "HANKEL_TRANSF_FAST_LIB")):
        if path:
            os.environ[var] = path
    import hankel_transf
    from hankel_transf import _field

    shape, spacing = (opts.size, opts.size), opts.spacing
    m = _field._cells(_field.DEFAULT_HALF_WIDTH, spacing)
    torus, nbytes = _field._field_plan(shape, m)
    rng = np.random.default_rng(1)
    weights = _field._kernel(m, spacing, "fast") * (math.sqrt(2 * math.pi) * spacing)
    noise = rng.standard_normal(torus)
    hankel_transf.exponential_field(shape, spacing, rng=rng)       # load the libraries

    print("%s, Python %s, numpy %s" % (_cpu(), platform.python_version(), np.__version__))
    print("%d x %d field at spacing %g: kernel %d x %d (half-width %g), noise on %d x %d, "
          "about %.0f MB of work space"
          % (shape[0], shape[1], spacing, 2 * m + 1, 2 * m + 1, _field.DEFAULT_HALF_WIDTH,
             torus[0], torus[1], nbytes / 1e6))
    steps = [
        ("lattice kernel (one library call)",
         lambda: hankel_transf.lattice_kernel(_field.DEFAULT_HALF_WIDTH, spacing)),
        ("normal draws", lambda: (rng.standard_normal(torus), rng.standard_normal(shape))),
        ("FFT convolution", lambda: _field._convolve(noise, weights, shape)),
        ("exponential_field, whole call",
         lambda: hankel_transf.exponential_field(shape, spacing, rng=rng)),
    ]
    print("%-34s %10s %10s" % ("median of %d" % opts.repeat, "CPU s", "wall s"))
    for name, fn in steps:
        cpu, wall = timed(fn, opts.repeat)
        print("%-34s %10.3f %10.3f" % (name, cpu, wall))
    return 0


if __name__ == "__main__":
    sys.exit(main())
