"""Booleans of real meshes: this build, optionally a baseline build, and a
floating-point mesh library (manifold3d, when installed).

Operands: icospheres of radius 1 made by trimesh (1,280 to 81,920
triangles), written as binary STL and read back with quillstone_io.read_mesh,
so every float is the fraction it is.
  drill N      the sphere minus a 1/2 x 1/2 x 4 box through its centre
  union N      the sphere with a copy of itself moved by (3/10, 1/5, 1/10)
  intersect N  the same two, intersected
Timed: the boolean alone, on operands built beforehand (for the peer: the
boolean and the mesh it gives, since it is lazy). Peak resident memory is
that of the whole worker process (reading the operands included).

Every engine runs in a process of its own, started afresh for each
workload, and the runs are interleaved (baseline, this build, peer, then
again); each cell is the median of --repeat runs. An engine whose first run
of a workload takes over --slow seconds runs it that once (the baseline's
large unions take minutes). For the two builds the results must be
identical: the hash of quillstone_io.dumps of each is compared.

Usage:
  python bench/bench_mesh.py [--baseline DIR] [--repeat N] [--slow S]
                              [--sizes 1280,5120,20480,81920] [--only drill,union]
DIR holds another build (`pip install --target DIR <checkout>`).
"""

import argparse
import hashlib
import json
import math
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.abspath(__file__)
OPS = {"drill": "cut", "union": "union", "intersect": "intersect"}


def icosphere(n):
    """trimesh's icosphere of radius 1 with n triangles (20 * 4^k)."""
    import trimesh

    k = round(math.log(n / 20, 4))
    return trimesh.creation.icosphere(subdivisions=k, radius=1.0)


class Quillstone:
    def __init__(self):
        import quillstone
        import quillstone_io

        self.qs, self.qio = quillstone, quillstone_io

    def operands(self, work, n):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "sphere.stl")
            icosphere(n).export(path)
            a = self.qio.read_mesh(path)
        if work == "drill":
            b = self.qs.make_box("1/2", "1/2", "4", "drill").translate("-1/4", "-1/4", "-2")
        else:
            b = a.translate("3/10", "1/5", "1/10")
        return a, b

    def run(self, work, n):
        a, b = self.operands(work, n)
        t0 = time.perf_counter()
        r = a.boolean(OPS[work], b)
        seconds = time.perf_counter() - t0
        digest = hashlib.sha256(self.qio.dumps(r).encode()).hexdigest()[:16]
        return seconds, f"{r.volume():.12g} {len(self.qio.faces(r))} faces #{digest}"


class Manifold:
    def __init__(self):
        import manifold3d

        self.m = manifold3d

    def run(self, work, n):
        import numpy as np

        mesh = icosphere(n)
        a = self.m.Manifold(self.m.Mesh(np.asarray(mesh.vertices, dtype=np.float32),
                                        np.asarray(mesh.faces, dtype=np.uint32)))
        if work == "drill":
            b = self.m.Manifold.cube((0.5, 0.5, 4.0)).translate((-0.25, -0.25, -2.0))
        else:
            b = a.translate((0.3, 0.2, 0.1))
        t0 = time.perf_counter()
        r = a - b if work == "drill" else (a + b if work == "union" else a ^ b)
        r.to_mesh()
        return time.perf_counter() - t0, f"{r.volume():.6g}"


def worker(engine):
    """Answers one JSON line per workload line read from stdin."""
    runner = Quillstone() if engine == "quillstone" else Manifold()
    for line in sys.stdin:
        work, n = line.split()
        seconds, check = runner.run(work, int(n))
        rss = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        print(json.dumps({"seconds": seconds, "check": check, "rss": rss}), flush=True)


class Engine:
    def __init__(self, label, engine, path=None):
        env = dict(os.environ)
        if path:
            env["PYTHONPATH"] = os.pathsep.join([path] + env.get("PYTHONPATH", "").split(os.pathsep))
        self.label = label
        self.proc = subprocess.Popen([sys.executable, HERE, "--worker", engine],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                     env=env)

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


def exponent(sizes, times):
    """The least-squares slope of log time against log size."""
    xs, ys = [math.log(s) for s in sizes], [math.log(t) for t in times]
    mx, my = statistics.mean(xs), statistics.mean(ys)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--worker", help=argparse.SUPPRESS)
    ap.add_argument("--baseline", help="directory holding a baseline build of the module")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--slow", type=float, default=5.0,
                    help="an engine's first run over this many seconds is its only one")
    ap.add_argument("--sizes", default="1280,5120,20480,81920")
    ap.add_argument("--only", help="comma-separated works: drill, union, intersect")
    args = ap.parse_args()
    if args.worker:
        worker(args.worker)
        return

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
    sizes = [int(s) for s in args.sizes.split(",")]
    works = args.only.split(",") if args.only else list(OPS)

    print(f"medians of {args.repeat} interleaved runs (one run where the first took over "
          f"{args.slow:g} s): boolean time in ms, and peak MiB of the worker")
    header = f"{'workload':<18}" + "".join(f"{label + ' ms':>15}{'MiB':>7}" for label in labels)
    if args.baseline:
        header += f"{'speed-up':>10}"
    if "manifold3d" in labels:
        header += f"{'vs peer':>9}"
    print(header)
    medians, mismatches = {}, []
    for work in works:
        for n in sizes:
            w = f"{work} {n}"
            engines = [Engine(label, engine, path) for label, engine, path in columns]
            times = {e.label: [] for e in engines}
            rss, checks = {}, {}
            for _ in range(args.repeat):
                for e in engines:
                    if times[e.label] and times[e.label][0] > args.slow:
                        continue
                    r = e.run(w)
                    times[e.label].append(r["seconds"])
                    rss[e.label] = max(rss.get(e.label, 0), r["rss"])
                    checks[e.label] = r["check"]
            for e in engines:
                e.close()
            med = {k: statistics.median(v) for k, v in times.items()}
            medians[w] = med
            row = f"{w:<18}" + "".join(f"{med[l] * 1e3:15.1f}{rss[l]:7.0f}" for l in labels)
            if args.baseline:
                row += f"{med['baseline'] / med['this build']:9.1f}x"
                if checks["baseline"] != checks["this build"]:
                    mismatches.append(w)
            if "manifold3d" in med:
                row += f"{med['this build'] / med['manifold3d']:8.1f}x"
            print(row, flush=True)

    big = [n for n in sizes if n >= 5120]
    if len(big) >= 2:
        print(f"growth exponent of the time in the triangle count, {big[0]} to {big[-1]}:")
        for work in works:
            fits = "  ".join(
                f"{label} {exponent(big, [medians[f'{work} {n}'][label] for n in big]):.2f}"
                for label in labels)
            print(f"  {work:<10} {fits}")
    if args.baseline:
        print("results identical to the baseline" if not mismatches
              else f"RESULTS DIFFER from the baseline: {', '.join(mismatches)}")
    print("speed-up: baseline time / this build's; vs peer: this build's time / manifold3d's")


if __name__ == "__main__":
    main()
