"""The modelling layer's cost over the kernel: quillstone_cad against the
PySolid calls it wraps, measured in one run.

Rows, each the best of --repeat runs:
  box boolean      Part | Part against PySolid.boolean('union', ...) on two
                   overlapping boxes, the two taken in turns: the layer's
                   overhead per call
  mesh boolean     the same on two balls of 20,480 triangles each (an
                   icosahedron subdivided five times, corners rounded to
                   multiples of 2^-20): the overhead should be noise
  == same split   Part == Part on two balls of 10,092 triangles (the ball
                   of bench_io.py) made as separate objects with the same faces: the measures agree,
                   then the corners do
  == other split   the ball against its union with a small box inside it,
                   the same points with faces split otherwise (the worst
                   case: the measures agree, so the intersection is made)
  == unequal       the ball against one moved by 2^-20 (the measures
                   differ, so no boolean is made)
The parts are made anew for every run, so no measure is cached.

Usage: python3 bench/bench_cad.py [--repeat N]
"""

import argparse

import numpy as np

import quillstone_cad as qc
import quillstone_io as qio
from bench_io import ball
from timing import best_of

SCALE = 2**20


def icosphere(subdivisions, radius=100):
    """Vertices (rounded to multiples of 2^-20, as float64) and triangles."""
    t = (1 + 5**0.5) / 2
    verts = [(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0), (0, -1, t), (0, 1, t),
             (0, -1, -t), (0, 1, -t), (t, 0, -1), (t, 0, 1), (-t, 0, -1), (-t, 0, 1)]
    verts = [np.array(v, dtype=float) / np.linalg.norm(v) for v in verts]
    tris = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9), (5, 11, 4),
            (11, 10, 2), (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2), (3, 2, 6), (3, 6, 8),
            (3, 8, 9), (4, 9, 5), (2, 4, 11), (6, 2, 10), (8, 6, 7), (9, 8, 1)]
    for _ in range(subdivisions):
        mids = {}

        def mid(a, b):
            key = (min(a, b), max(a, b))
            if key not in mids:
                m = verts[a] + verts[b]
                verts.append(m / np.linalg.norm(m))
                mids[key] = len(verts) - 1
            return mids[key]

        tris = [t for a, b, c in tris
                for t in ((a, mid(a, b), mid(c, a)), (b, mid(b, c), mid(a, b)),
                          (c, mid(c, a), mid(b, c)), (mid(a, b), mid(b, c), mid(c, a)))]
    v = np.round(np.array(verts) * radius * SCALE) / SCALE
    return v, np.array(tris, dtype=np.int64)


def overhead(repeat, a, b):
    """The best kernel and layer times, the two taken in turns so that a
    change of load on the machine touches both alike."""
    kernel = layer = float("inf")
    for _ in range(repeat):
        kernel = min(kernel, best_of(1, lambda: a.solid.boolean("union", b.solid)))
        layer = min(layer, best_of(1, lambda: a | b))
    return kernel, layer


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    print(f"{'workload':<14} {'kernel':>12} {'layer':>12} {'overhead':>12}")

    a = qc.box(1, 1, 1)
    b = qc.box(1, 1, 1).moved("1/2", "1/3", "1/4")
    kernel, layer = overhead(args.repeat * 200, a, b)
    print(f"{'box boolean':<14} {kernel * 1e6:>10.1f}us {layer * 1e6:>10.1f}us "
          f"{(layer - kernel) * 1e6:>10.1f}us")

    v, t = icosphere(5)
    a = qc.from_arrays(v, t)
    b = qc.from_arrays(v + [30.0, 20.0, 10.0], t)
    assert len(t) == 20480 and a.is_closed
    kernel, layer = overhead(args.repeat, a, b)
    print(f"{'mesh boolean':<14} {kernel * 1e3:>10.1f}ms {layer * 1e3:>10.1f}ms "
          f"{(layer - kernel) * 1e3:>10.1f}ms  ({(layer / kernel - 1) * 100:+.1f}%)")

    solid = ball(29)
    moved = solid.translate(f"1/{SCALE}", "0", "0")
    other = solid.translate("1", "0", "0").translate("-1", "0", "0")
    assert qc.Part(solid).solid is solid and len(qio.faces(solid)) == 10092
    split = (qc.Part(solid) | qc.box(10, 10, 10, center=True)).solid
    assert split.canonical() != solid.canonical()
    rows = [("== same split", other, True), ("== other split", split, True),
            ("== unequal", moved, False)]
    for name, second, same in rows:
        took = best_of(args.repeat, lambda: qc.Part(solid) == qc.Part(second))
        assert (qc.Part(solid) == qc.Part(second)) == same
        print(f"{name:<14} {'':>12} {took * 1e3:>10.1f}ms")


if __name__ == "__main__":
    main()
