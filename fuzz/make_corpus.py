#!/usr/bin/env python3
"""Writes the seed corpus for fuzz_dft: a little-endian int32 count followed
by raw little-endian binary64 distances. A positive count carries the number
of distances in its low 16 bits and the harness's switches above them (see
fuzz_dft.cpp). Run from anywhere; rewrites fuzz/corpus/ next to this
script."""
import math
import os
import struct
import sys

DBL_MAX = sys.float_info.max
DBL_MIN = sys.float_info.min
DENORM_MIN = 5e-324

# Switches in the count's high bits.
BASELINE = 1 << 16          # the fast sum's baseline loops too
FAIL_FIRST = 1 << 17        # the fast sum's first allocation fails
FAIL_SECOND = 1 << 18       # ... its second
UNCAPPED = 1 << 22          # raw distances, grids of any size


def cap(k):
    """Ratio cap 16 * 4^k."""
    return k << 19

SEEDS = {
    "three_distances": (3, [1.0, 2.5, 7.0]),
    "single": (1, [0.5]),
    "repeats_descending": (5, [9.0, 9.0, 4.0, 1.5, 1.5]),
    "count_beyond_data": (1000, [1.0, 2.0]),
    "count_negative": (-5, [1.0]),
    "count_zero": (0, []),
    "count_without_data": (3, []),
    "nan_among_valid": (3, [1.0, math.nan, 2.0]),
    "negative_zero": (2, [-0.0, 1.0]),
    "infinity": (2, [math.inf, 1.0]),
    "negative": (2, [3.0, -3.0]),
    "subnormal_beside_one": (2, [DENORM_MIN, 1.0]),
    "smallest_normal": (1, [DBL_MIN]),
    "huge_ratio": (2, [1.0, 1e9]),
    "near_max": (2, [DBL_MAX / 2, DBL_MAX / 3]),
    "max": (1, [DBL_MAX]),
    "baseline_loops": (BASELINE | 4, [0.3, 1.7, 4.4, 2.0]),
    "alloc_fails_first": (FAIL_FIRST | 2, [1.0, 3.0]),
    "alloc_fails_second": (FAIL_SECOND | BASELINE | 3, [2.0, 0.5, 9.0]),
    "ratio_1000_fast_only": (cap(3) | BASELINE | 2, [1.0, 1000.0]),
    "uncapped_planner_only": (UNCAPPED | 2, [1.0, 1e7]),
    "uncapped_too_many_points": (UNCAPPED | FAIL_FIRST | 2, [1.0, 3e8]),
}


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(out, exist_ok=True)
    for name, (count, distances) in SEEDS.items():
        blob = struct.pack("<i", count) + b"".join(struct.pack("<d", d) for d in distances)
        with open(os.path.join(out, name), "wb") as f:
            f.write(blob)
    # Shorter than a count: the harness reads the one byte as a small count.
    with open(os.path.join(out, "short_input"), "wb") as f:
        f.write(b"\x02")


if __name__ == "__main__":
    main()
