"""Geometry in and out: quillstone_io on the plate of bench_boolean.py and on
a ball of about 100,000 triangles.

Each row is one whole call through the module, the best of --repeat runs:
  faces       faces(s): every face as Python lists of texts
  from_faces  from_faces(faces(s)) (the list made beforehand): parse, check
              every face, check closedness
  dumps       dumps(s): the lossless text
  loads       loads(text) (the text made beforehand): parse and check
  pickle      pickle.loads(pickle.dumps(s)), which rides on dumps and loads
  stl write   write_mesh to a binary STL file: T-junction split,
              triangulation, floats, the file written
  stl read    read_mesh of that file: exact floats, every check
  ascii stl   the same two for ASCII STL
  to_arrays   to_arrays(s): the same mesh as numpy arrays
  boolean     s cut by a small box at one corner, for scale: loads(dumps(s))
              should cost no more than this (run once on the ball: minutes)
MB/s is the size of what the row reads or writes (the text for dumps,
loads and pickle; the text's size also for faces and from_faces, as the
measure of the solid; the file for STL; the arrays for to_arrays) over the
time.

The comb: a unit cube whose front face is cut into 10,000 strips, so that
four long edges each meet 10,000 short ones (the closedness check and the
T-junction split on few lines with many edges).

The ball: a cube's six faces cut into an n x n grid, each grid point moved
onto a sphere of radius 100 to the nearest multiple of 2^-20, each square
cut into two triangles; built once through from_faces.

Usage: python3 bench/bench_io.py [--repeat N] [--grid N]
"""

import argparse
import os
import pickle
import tempfile
import time

import quillstone as qs
import quillstone_io as qio
from bench_boolean import holed_plate
from timing import best_of


def ball(n):
    scale = 2**20

    def point(c):
        length = sum(x * x for x in c) ** 0.5
        return [f"{round(100 * x / length * scale)}/{scale}" for x in c]

    faces = []
    for axis in range(3):
        for sign in (-1, 1):
            def grid(i, j):
                c = [0, 0, 0]
                c[axis] = sign * n
                c[(axis + 1) % 3] = 2 * i - n
                c[(axis + 2) % 3] = 2 * j - n
                return point(c)
            for i in range(n):
                for j in range(n):
                    a, b, c, d = grid(i, j), grid(i + 1, j), grid(i + 1, j + 1), grid(i, j + 1)
                    # Counter-clockwise seen from outside on either side.
                    quad = [a, b, c, d] if sign > 0 else [a, d, c, b]
                    faces.append(("ball.side", [quad[0], quad[1], quad[2]]))
                    faces.append(("ball.side", [quad[0], quad[2], quad[3]]))
    return qio.from_faces(faces)


def comb(n):
    cube = qs.make_box("1", "1", "1", "comb")
    faces = []
    for label, verts, normal, offset in qio.faces(cube):
        if normal[1] == "0/1" or offset != "0/1":
            faces.append((label, verts, normal, offset))
            continue
        for i in range(n):  # the face y = 0, seen from -y: x then z
            x0, x1 = f"{i}/{n}", f"{i + 1}/{n}"
            faces.append((label, [[x0, "0", "0"], [x1, "0", "0"], [x1, "0", "1"], [x0, "0", "1"]]))
    return qio.from_faces(faces)


def rows(s, repeat, tmp):
    text = qio.dumps(s)
    size = len(text.encode())
    faces = qio.faces(s)
    stl = os.path.join(tmp, "s.stl")
    ascii_stl = os.path.join(tmp, "a.stl")
    qio.write_mesh(s, stl)
    qio.write_mesh(s, ascii_stl, binary=False)
    arrays = qio.to_arrays(s)
    lo = [str(int(x) - 1) for x in s.bbox()[:3]]
    corner = qs.make_box("3/2", "3/2", "3/2", "cutter").translate(*lo)
    out = [
        ("faces", lambda: qio.faces(s), size),
        ("from_faces", lambda: qio.from_faces(faces), size),
        ("dumps", lambda: qio.dumps(s), size),
        ("loads", lambda: qio.loads(text), size),
        ("pickle", lambda: pickle.loads(pickle.dumps(s)), 2 * size),
        ("stl write", lambda: qio.write_mesh(s, stl), os.path.getsize(stl)),
        ("stl read", lambda: qio.read_mesh(stl), os.path.getsize(stl)),
        ("ascii stl write", lambda: qio.write_mesh(s, ascii_stl, binary=False),
         os.path.getsize(ascii_stl)),
        ("ascii stl read", lambda: qio.read_mesh(ascii_stl), os.path.getsize(ascii_stl)),
        ("to_arrays", lambda: qio.to_arrays(s), arrays[0].nbytes + arrays[1].nbytes),
        ("boolean", lambda: s.boolean("cut", corner), None),
    ]
    # A boolean of the big ball takes minutes: once is enough there.
    return [(name, best_of(1 if name == "boolean" and len(faces) > 20000 else repeat, fn), nbytes)
            for name, fn, nbytes in out]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--grid", type=int, default=92, help="ball grid size n: 12 n^2 triangles")
    args = ap.parse_args()

    t0 = time.perf_counter()
    big = ball(args.grid)
    built = time.perf_counter() - t0
    solids = [("plate", holed_plate()), ("comb", comb(10_000)), ("ball", big)]
    print(f"(the ball built through from_faces in {built:.2f} s)")
    with tempfile.TemporaryDirectory() as tmp:
        for name, s in solids:
            print(f"\n{name}: {len(qio.faces(s))} faces, text {len(qio.dumps(s)) / 1e6:.2f} MB")
            print(f"{'call':<16} {'ms':>10} {'MB/s':>8}")
            results = rows(s, args.repeat, tmp)
            for call, secs, nbytes in results:
                rate = f"{nbytes / secs / 1e6:8.1f}" if nbytes else f"{'-':>8}"
                print(f"{call:<16} {1e3 * secs:10.2f} {rate}")
            t = dict((c, secs) for c, secs, _ in results)
            print(f"loads(dumps(s)) / boolean: {(t['dumps'] + t['loads']) / t['boolean']:.2f}")


if __name__ == "__main__":
    main()
