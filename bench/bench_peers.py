"""Booleans side by side: this build, optionally a baseline build, and a
floating-point mesh library (manifold3d from PyPI, an optional benchmark
dependency; its column is skipped with a message when it is absent).

Workloads (the same numbers as bench/workloads.hpp for the C++ kernels):
  prism N cap op  two N-gon prisms with rational corners on the unit circle,
                  the second moved by (1/2, 1/3); caps "coplanar" (both
                  from z = 0 to 1) or "shifted" (the second raised by 1/2).
                  Timed: the boolean alone, on operands built beforehand
                  (for the peer: the boolean and the mesh it gives).
  plate           a 21 x 21 x 1 slab with a 10 x 10 grid of unit holes cut
                  one after another, moves of the hole included.
  boxes           200 box booleans on a small integer grid (box_boolean:
                  both boxes built, combined, volume and canonical text).

Every engine runs in a process of its own, started afresh for each
workload: a process's heap remembers what ran before (after the 1024-gon
booleans glibc hands out chunks scattered over hundreds of megabytes, and
the plate then takes up to twice as long), so no workload is timed in a
heap that another one shaped. The runs are interleaved (baseline, this
build, peer, then again) and each cell is the median of --repeat runs, so
load from elsewhere on the machine hits all columns alike.
A workload whose first round takes under 0.2 s on every engine is given
--repeat-short rounds instead: a burst of load spans several such short
runs, and more of them keep the median steady.
For the two builds the results are compared too: the volume and a hash of
the canonical text must be the same, or the script says so.

Usage:
  python bench/bench_peers.py [--baseline DIR] [--repeat N] [--repeat-short N]
                               [--sizes 16,64,256,1024] [--only plate,boxes]
DIR holds another build of the module (for example from
`pip install --target DIR <checkout>`); it is put first on that worker's path.
"""

import argparse
import hashlib
import json
import math
import os
import statistics
import subprocess
import sys
import time
from fractions import Fraction

from bench_boolean import OPS, grid_args, holed_plate
from timing import ngon, text

HERE = os.path.abspath(__file__)


# --- Workloads ---------------------------------------------------------------


class Quillstone:
    def __init__(self):
        import quillstone

        self.qs = quillstone
        self.prisms = {}

    def prism_pair(self, n, cap):
        key = (n, cap)
        if key not in self.prisms:
            flat = lambda pts: [text(c) for p in pts for c in p]
            a = self.qs.make_prism(flat(ngon(n)), "1", "a")
            b = self.qs.make_prism(flat(ngon(n, cx=Fraction(1, 2), cy=Fraction(1, 3))), "1", "b")
            if cap == "shifted":
                b = b.translate("0", "0", "1/2")
            self.prisms[key] = (a, b)
        return self.prisms[key]

    def prism(self, n, cap, op):
        a, b = self.prism_pair(n, cap)
        t0 = time.perf_counter()
        r = a.boolean(op, b)
        return time.perf_counter() - t0, self.summary(r.volume6_str(), r.canonical())

    def plate(self):
        t0 = time.perf_counter()
        s = holed_plate()  # the boxes' building is timed too, as for the peer
        return time.perf_counter() - t0, self.summary(s.volume6_str(), s.canonical())

    def boxes(self):
        args = list(grid_args())
        t0 = time.perf_counter()
        out = [self.qs.box_boolean(*map(str, sizes + at), op) for sizes, at, op in args]
        elapsed = time.perf_counter() - t0
        return elapsed, self.summary(";".join(v for v, _ in out), "".join(c for _, c in out))

    @staticmethod
    def summary(volume6, canonical):
        return f"{volume6[:40]} #{hashlib.sha256(canonical.encode()).hexdigest()[:16]}"


class Manifold:
    def __init__(self):
        import manifold3d

        self.m = manifold3d
        self.prisms = {}

    def prism_pair(self, n, cap):
        key = (n, cap)
        if key not in self.prisms:
            def solid(pts, z):
                section = self.m.CrossSection([[(float(x), float(y)) for x, y in pts]])
                return self.m.Manifold.extrude(section, 1.0).translate((0, 0, z))

            a = solid(ngon(n), 0.0)
            b = solid(ngon(n, cx=Fraction(1, 2), cy=Fraction(1, 3)),
                      0.5 if cap == "shifted" else 0.0)
            self.prisms[key] = (a, b)
        return self.prisms[key]

    @staticmethod
    def apply(op, a, b):
        return a + b if op == "union" else (a - b if op == "cut" else a ^ b)

    def prism(self, n, cap, op):
        a, b = self.prism_pair(n, cap)
        t0 = time.perf_counter()
        r = self.apply(op, a, b)
        r.to_mesh()  # the library is lazy: ask for the result
        return time.perf_counter() - t0, f"{6 * r.volume():.6g}"

    def plate(self):
        cube = self.m.Manifold.cube
        t0 = time.perf_counter()
        s = cube((21.0, 21.0, 1.0))
        hole = cube((1.0, 1.0, 2.0))
        for i in range(10):
            for j in range(10):
                s = s - hole.translate((2 * i + 1.0, 2 * j + 1.0, -0.5))
        s.to_mesh()
        return time.perf_counter() - t0, f"{6 * s.volume():.6g}"

    def boxes(self):
        cube = self.m.Manifold.cube
        args = list(grid_args())
        t0 = time.perf_counter()
        total = 0.0
        for sizes, at, op in args:
            a = cube(tuple(map(float, sizes[:3])))
            b = cube(tuple(map(float, sizes[3:]))).translate(tuple(map(float, at)))
            r = self.apply(op, a, b)
            r.to_mesh()
            total += r.volume()
        return time.perf_counter() - t0, f"{6 * total:.6g}"


def worker(engine):
    """Answers one JSON line per workload line read from stdin."""
    runner = Quillstone() if engine == "quillstone" else Manifold()
    for line in sys.stdin:
        name = line.split()
        if name[0] == "prism":
            seconds, check = runner.prism(int(name[1]), name[2], name[3])
        else:
            seconds, check = getattr(runner, name[0])()
        print(json.dumps({"seconds": seconds, "check": check}), flush=True)


# --- Driver ------------------------------------------------------------------


class Engine:
    def __init__(self, label, engine, path=None):
        env = dict(os.environ)
        if path:
            env["PYTHONPATH"] = os.pathsep.join([path] + env.get("PYTHONPATH", "").split(os.pathsep))
        self.label = label
        self.proc = subprocess.Popen(
            [sys.executable, HERE, "--worker", engine],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, env=env)

    def run(self, workload):
        self.proc.stdin.write(workload + "\n")
        self.proc.stdin.flush()
        line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError(f"{self.label} worker stopped on {workload}")
        return json.loads(line)

    def close(self):
        self.proc.stdin.close()
        self.proc.wait()


def peer_available():
    probe = subprocess.run([sys.executable, "-c", "import manifold3d"], capture_output=True)
    return probe.returncode == 0


def fmt_ms(s):
    return f"{s * 1e3:10.2f}"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--worker", help=argparse.SUPPRESS)
    ap.add_argument("--baseline", help="directory holding a baseline build of the module")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--repeat-short", type=int, default=25,
                    help="rounds for workloads under 0.2 s on every engine")
    ap.add_argument("--sizes", default="16,64,256,1024")
    ap.add_argument("--only", help="comma-separated workload prefixes, e.g. plate,boxes")
    args = ap.parse_args()
    if args.worker:
        worker(args.worker)
        return

    # (label, engine, module path) of each column; the workers start afresh
    # for every workload.
    columns = []
    if args.baseline:
        columns.append(("baseline", "quillstone", os.path.abspath(args.baseline)))
    columns.append(("this build", "quillstone", None))
    if peer_available():
        columns.append(("manifold3d", "manifold", None))
    else:
        print("manifold3d is not installed: the peer column is skipped "
              "(pip install manifold3d to add it)")
    labels = [c[0] for c in columns]

    workloads = [f"prism {n} {cap} {op}" for n in map(int, args.sizes.split(","))
                 for cap in ("coplanar", "shifted") for op in OPS]
    workloads += ["plate", "boxes"]
    if args.only:
        keep = tuple(args.only.split(","))
        workloads = [w for w in workloads if w.startswith(keep)]

    header = f"{'workload':<28}" + "".join(f"{label + ' ms':>14}" for label in labels)
    if args.baseline:
        header += f"{'speed-up':>10}"
    if labels[-1] == "manifold3d":
        header += f"{'vs peer':>9}"
    print(f"medians of {args.repeat} interleaved runs ({args.repeat_short} for workloads "
          "under 0.2 s), milliseconds per workload")
    print(header)
    medians = {}
    mismatches = []
    for w in workloads:
        engines = [Engine(label, engine, path) for label, engine, path in columns]
        times = {e.label: [] for e in engines}
        checks = {}
        rounds, done = args.repeat, 0
        while done < rounds:
            for e in engines:
                r = e.run(w)
                times[e.label].append(r["seconds"])
                checks[e.label] = r["check"]
            done += 1
            if done == 1 and all(t[0] < 0.2 for t in times.values()):
                rounds = max(rounds, args.repeat_short)
        med = {k: statistics.median(v) for k, v in times.items()}
        medians[w] = med
        for e in engines:
            e.close()
        row = f"{w:<28}" + "".join(f"{fmt_ms(med[label]):>14}" for label in labels)
        if args.baseline:
            row += f"{med['baseline'] / med['this build']:9.2f}x"
            if checks["baseline"] != checks["this build"]:
                mismatches.append(w)
        if "manifold3d" in med:
            row += f"{med['this build'] / med['manifold3d']:8.1f}x"
        print(row, flush=True)

    sizes = sorted(map(int, args.sizes.split(",")))
    if len(sizes) >= 2 and all(f"prism {n} {c} {op}" in medians for n in sizes[-2:]
                               for c in ("coplanar", "shifted") for op in OPS):
        lo, hi = sizes[-2], sizes[-1]
        print(f"growth exponent of the prism time in n, from n = {lo} to {hi} "
              "(mean over caps and ops):")
        for label in labels:
            exps = [math.log(medians[f"prism {hi} {c} {op}"][label] /
                             medians[f"prism {lo} {c} {op}"][label]) / math.log(hi / lo)
                    for c in ("coplanar", "shifted") for op in OPS]
            print(f"  {label:<12} {statistics.mean(exps):.2f}")
    if args.baseline:
        print("results identical to the baseline" if not mismatches
              else f"RESULTS DIFFER from the baseline: {', '.join(mismatches)}")
    print("speed-up: baseline time / this build's; vs peer: this build's time / manifold3d's")


if __name__ == "__main__":
    main()
