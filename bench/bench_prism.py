"""Prisms, the closedness and plane-count queries, and a prism boolean.

Usage: python bench/bench_prism.py
"""

import math
import sys
import time
from fractions import Fraction

import quillstone as qs
import timing
from timing import best_of, text


def ngon(n, radius=Fraction(1), cx=Fraction(0), cy=Fraction(0)):
    """timing.ngon's corners as make_prism takes them: x0, y0, x1, ... texts."""
    return [text(c) for p in timing.ngon(n, radius, cx, cy) for c in p]


def bench_make_prism():
    print("make_prism over regular-ish n-gons (rational corners on the unit circle)")
    prev = None
    for n in (100, 1000, 5000):
        loop = ngon(n)
        runs = 5 if n < 5000 else 2
        t = best_of(runs, lambda: qs.make_prism(loop, "1", "p"))
        growth = ""
        if prev:
            pn, pt = prev
            exponent = math.log(t / pt) / math.log(n / pn)
            growth = f"  (growth exponent vs n={pn}: {exponent:.2f})"
        print(f"  n = {n:5d}: {t * 1e3:10.2f} ms/call{growth}")
        prev = (n, t)


def plate():
    """The boolean benchmark's plate: a 10 x 10 grid of pockets cut one by one."""
    slab = qs.make_box("10", "10", "1", "slab")
    pocket = qs.make_box("1/2", "1/2", "1", "pocket")
    for i in range(10):
        for j in range(10):
            cutter = pocket.translate(f"{4 * i + 1}/4", f"{4 * j + 1}/4", "1/2")
            slab = slab.boolean("cut", cutter)
    return slab


def bench_queries():
    if not hasattr(qs.PySolid, "boolean"):
        print("watertight_ok / logical_faces on the plate: skipped, boolean is not built")
        return
    t0 = time.perf_counter()
    p = plate()
    build = time.perf_counter() - t0
    faces = p.canonical().count(";") + 1
    print(f"plate: built in {build:.2f} s, {faces} distinct faces, "
          f"watertight {p.watertight_ok()}, {p.logical_faces()} logical faces")
    for name in ("watertight_ok", "logical_faces"):
        fn = getattr(p, name)
        t = best_of(5, fn)
        print(f"  {name:14s}: {t * 1e3:8.2f} ms/call, {t / faces * 1e6:6.2f} us/face")


def bench_prism_boolean():
    if not hasattr(qs.PySolid, "boolean"):
        print("boolean of two 256-gon prisms: skipped, boolean is not built")
        return
    a = qs.make_prism(ngon(256), "1", "a")
    b = qs.make_prism(ngon(256, cx=Fraction(1, 2), cy=Fraction(1, 3)), "1", "b").translate(
        "0", "0", "1/2")
    print("boolean of two 256-gon prisms, partly overlapping")
    for op in ("union", "cut", "intersect"):
        t = best_of(3, lambda: a.boolean(op, b))
        r = a.boolean(op, b)
        print(f"  {op:9s}: {t * 1e3:8.2f} ms/call, watertight {r.watertight_ok()}")


def main():
    sections = sys.argv[1:] or ["prism", "queries", "boolean"]
    if "prism" in sections:
        bench_make_prism()
    if "queries" in sections:
        bench_queries()
    if "boolean" in sections:
        bench_prism_boolean()


if __name__ == "__main__":
    main()
