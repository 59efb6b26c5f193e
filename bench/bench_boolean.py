"""Whole boolean operations from Python.

Three workloads, each timed as whole calls through the module:
  grid       200 box_boolean calls on a small integer grid (faces coincide
             and touch, so many point tests land exactly on a plane);
  plate      a 21 x 21 x 1 slab with a 10 x 10 grid of unit holes cut one
             after another (the working solid grows);
  staircase  the union of 50 steps, each turned a quarter more about z and
             raised by 1/2, overlapping the one below over a central square.
Reported: operations per second and, for the plate, the peak resident size
of the process (the plate runs first, so the peak is its own).

The share of vertex tests that the double filter decided is counted inside
the core, which the module does not expose; it comes from the C++ benchmark
bench/bench_classify.cpp, which runs the same three workloads from the same
generator on the core directly. If its binary is found (or given with
--cpp PATH) it is run and its counters are printed beside the Python times;
otherwise build it with
  cmake -S . -B build-bench -DQS_BUILD_PYTHON=OFF -DQS_BUILD_BENCH=ON
  cmake --build build-bench --target bench_classify
or pass --build to let this script do exactly that.

Usage: python3 bench/bench_boolean.py [--cpp PATH | --build] [--repeat N]
"""

import argparse
import glob
import json
import os
import resource
import subprocess
import sys

import quillstone as qs
from timing import timed

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OPS = ("union", "cut", "intersect")


class Lcg:
    """The generator of bench_classify.cpp: 64-bit LCG, high bits out."""

    def __init__(self, state):
        self.s = state

    def next(self):
        self.s = (self.s * 6364136223846793005 + 1442695040888963407) & (2**64 - 1)
        return self.s >> 33

    def pick(self, lo, hi):
        return lo + self.next() % (hi - lo + 1)


def grid_args():
    """The grid's 200 calls: six box sizes, the offset of the second box, the op."""
    g = Lcg(1)
    for i in range(200):
        sizes = [g.pick(1, 3) for _ in range(6)]
        at = [g.pick(-1, 3) for _ in range(3)]
        yield sizes, at, OPS[i % 3]


def grid():
    for sizes, at, op in grid_args():
        qs.box_boolean(*map(str, sizes + at), op)
    return 200


def holed_plate():
    s = qs.make_box("21", "21", "1", "slab")
    hole = qs.make_box("1", "1", "2", "hole")
    for i in range(10):
        for j in range(10):
            s = s.boolean("cut", hole.translate(str(2 * i + 1), str(2 * j + 1), "-1/2"))
    return s


def plate():
    assert holed_plate().volume6_str() == str(6 * (21 * 21 - 100)) + "/1"
    return 100


def step(k):
    s = qs.make_box("7/2", "1", "3/4", "step").translate("-1/2", "-1/2", "0")
    return s.rotate_quarter(2, k).translate("0", "0", f"{k}/2")


def spiral_staircase():
    s = step(0)
    for k in range(1, 50):
        s = s.boolean("union", step(k))
    return s


def staircase():
    spiral_staircase()
    return 49


def peak_rss_mib():
    # ru_maxrss is in KiB on Linux.
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def find_cpp():
    hits = sorted(glob.glob(os.path.join(ROOT, "build*", "bench_classify")), key=os.path.getmtime)
    return hits[-1] if hits else None


def build_cpp():
    build = os.path.join(ROOT, "build-bench")
    configure = ["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release"]
    configure += ["-DQS_BUILD_PYTHON=OFF", "-DQS_BUILD_BENCH=ON"]
    subprocess.run(configure, check=True, stdout=subprocess.DEVNULL)
    target = ["cmake", "--build", build, "--target", "bench_classify"]
    subprocess.run(target, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "bench_classify")


def cpp_counters(path):
    out = subprocess.run([path, "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    rows = {}
    for b in json.loads(out)["benchmarks"]:
        rows[b["name"]] = b
    return rows


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cpp", help="path of the bench_classify binary")
    ap.add_argument("--build", action="store_true", help="build bench_classify into build-bench first")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()

    rss_before = peak_rss_mib()
    results = {}
    results["plate"] = timed(args.repeat, plate)
    rss_plate = peak_rss_mib()
    results["grid"] = timed(args.repeat, grid)
    results["staircase"] = timed(args.repeat, staircase)

    cpp = args.cpp or (build_cpp() if args.build else find_cpp())
    counters = cpp_counters(cpp) if cpp else {}
    names = {"grid": "BM_BoxBooleanGrid", "plate": "BM_PlateOfHoles", "staircase": "BM_Staircase"}

    print(f"{'workload':<10} {'ops':>5} {'seconds':>9} {'ops/s':>9}   {'C++ ops/s':>9} {'filter share':>12}")
    for name in ("grid", "plate", "staircase"):
        secs, ops = results[name]
        row = counters.get(names[name])
        extra = f"{row['ops/s']:9.0f} {100 * row['filter_share']:11.1f}%" if row else f"{'-':>9} {'-':>12}"
        print(f"{name:<10} {ops:5d} {secs:9.3f} {ops / secs:9.1f}   {extra}")
    print(f"peak resident size: {rss_before:.1f} MiB after import, {rss_plate:.1f} MiB after the plate")
    if not counters:
        print("filter share: bench_classify not found; run with --build (see the docstring)", file=sys.stderr)


if __name__ == "__main__":
    main()
