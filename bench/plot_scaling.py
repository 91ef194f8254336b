#!/usr/bin/python3
"""Draws the time of a call against what was swept, log-log, from the CSV
files the benchmarks write (bench_fast_scale --csv=FILE, and any other file
with the same columns):

    sweep,x,N,n,method,seconds,how

sweep names the axis (ratio: largest/smallest distance; n: number of
distances), x its value, method the curve, how is "measured" or
"extrapolated" (drawn dashed, hollow markers). One panel per sweep.

    /usr/bin/python3 bench/plot_scaling.py OUT.png FILE.csv [FILE.csv ...]
"""
import csv
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

LABELS = {
    "ratio": "ratio largest / smallest distance (200 distances)",
    "n": "number of distances",
}
STYLE = {"direct-sum": ("C3", "s"), "today": ("C0", "o"), "new": ("C2", "^")}
NAMES = {
    "direct-sum": "DFTYieldExpon (direct sum)",
    "today": "fast method, direct moments",
    "new": "fast method, as chosen now",
}


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    rows = defaultdict(lambda: defaultdict(list))   # sweep -> method -> [(x, s, measured)]
    for path in argv[2:]:
        with open(path, newline="") as f:
            for r in csv.DictReader(f):
                rows[r["sweep"]][r["method"]].append(
                    (float(r["x"]), float(r["seconds"]), r["how"] == "measured"))
    sweeps = sorted(rows)
    fig, axes = plt.subplots(1, len(sweeps), figsize=(6.4 * len(sweeps), 4.8), squeeze=False)
    for ax, sweep in zip(axes[0], sweeps):
        for method, points in sorted(rows[sweep].items()):
            points.sort()
            color, marker = STYLE.get(method, ("k", "x"))
            xs = [p[0] for p in points]
            ys = [p[1] for p in points]
            ax.plot(xs, ys, color=color, lw=1, ls=":")
            meas = [p for p in points if p[2]]
            extr = [p for p in points if not p[2]]
            ax.plot([p[0] for p in meas], [p[1] for p in meas], color=color, marker=marker,
                    ls="-", lw=1.5, label=NAMES.get(method, method))
            if extr:
                ax.plot([p[0] for p in extr], [p[1] for p in extr], color=color, marker=marker,
                        mfc="none", ls="none", label=NAMES.get(method, method) + " (extrapolated)")
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel(LABELS.get(sweep, sweep))
        ax.set_ylabel("seconds per call (one core, thread CPU time)")
        ax.grid(True, which="major", alpha=0.3)
        ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(argv[1], dpi=110)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
