#!/usr/bin/python3
"""Draws the fast method's scaling figure from benchmark CSV files.

    bench/plot_scaling.py [-o docs/scaling.png] FILE.csv [FILE.csv ...]

Each file has the header  sweep,x,N,route,seconds,how  with one row per
(sweep, x, route): sweep is "n" (x = number of distances, fixed grid) or
"ratio" (x = largest/smallest distance, fixed number of distances); how is
"measured" or "extrapolated". bench_nufft --sweep=FILE writes the "n" sweep,
bench_fast_scale --csv=FILE the "ratio" sweep.
One log-log panel per sweep present; measured points are filled and joined
by solid lines, extrapolated ones hollow on dashed lines.
"""
import argparse
import csv
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Route name in the files -> label and colour; unknown routes get matplotlib's.
ROUTES = {
    "DFTYieldExpon": ("DFTYieldExpon (direct sum)", "tab:gray"),
    "direct": ("fast method, direct per-distance route", "tab:blue"),
    "nufft": ("fast method, non-uniform FFT", "tab:orange"),
    "direct-moments": ("fast method, direct moment pass", "tab:purple"),
    "automatic": ("fast method as the library picks", "tab:green"),
}
AXES = {
    "n": "number of distances n",
    "ratio": "largest / smallest distance",
}


def read(paths):
    rows = []
    for path in paths:
        with open(path, newline="") as f:
            for r in csv.DictReader(f):
                rows.append({"sweep": r["sweep"], "x": float(r["x"]), "N": r.get("N", ""),
                             "route": r["route"], "seconds": float(r["seconds"]),
                             "how": r["how"]})
    return rows


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("files", nargs="+")
    ap.add_argument("-o", "--output", default=os.path.join(SOURCE_DIR, "docs", "scaling.png"))
    opts = ap.parse_args(argv)
    rows = read(opts.files)
    sweeps = [s for s in ("n", "ratio") if any(r["sweep"] == s for r in rows)]
    if not sweeps:
        print("no rows with sweep n or ratio", file=sys.stderr)
        return 1
    fig, axes = plt.subplots(1, len(sweeps), figsize=(6.5 * len(sweeps), 4.8), squeeze=False)
    for ax, sweep in zip(axes[0], sweeps):
        mine = [r for r in rows if r["sweep"] == sweep]
        for route in dict.fromkeys(r["route"] for r in mine):
            label, colour = ROUTES.get(route, (route, None))
            pts = sorted((r["x"], r["seconds"], r["how"]) for r in mine if r["route"] == route)
            xs = [p[0] for p in pts]
            ys = [p[1] for p in pts]
            # the automatic choice coincides with one of the routes: drawn thin on top
            thin = route == "automatic"
            line, = ax.plot(xs, ys, ":" if thin else "-", color=colour, label=label,
                            lw=1.0 if thin else 1.5, zorder=3 if thin else 2)
            colour = line.get_color()
            if thin:
                ax.plot(xs, ys, "x", color=colour, ms=6, zorder=3)
                continue
            # extrapolated stretches dashed over the solid line's colour
            for (x0, y0, h0), (x1, y1, h1) in zip(pts, pts[1:]):
                if "extrapolated" in (h0, h1):
                    ax.plot([x0, x1], [y0, y1], "--", color="white", lw=1.5)
            for x, y, how in pts:
                ax.plot([x], [y], "o", color=colour,
                        mfc=colour if how == "measured" else "white", ms=5)
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel(AXES[sweep])
        ax.set_ylabel("CPU seconds per call (one thread)")
        grids = sorted({r["N"] for r in mine if r["N"]}, key=float)
        title = "time against n" if sweep == "n" else "time against the ratio"
        if sweep == "n" and len(grids) == 1:
            title += f" (N = {grids[0]})"
        ax.set_title(title)
        ax.grid(True, which="major", alpha=0.3)
        ax.legend(fontsize=8, loc="upper left")
    fig.text(0.99, 0.01, "filled: measured, hollow and dashed: extrapolated",
             ha="right", va="bottom", fontsize=8)
    fig.tight_layout()
    fig.savefig(opts.output, dpi=110)
    print(opts.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
