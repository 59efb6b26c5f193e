"""Chamfer by 1/10 of a unit cube, the L plate, a staircase plate, and the
plate of holes and the spiral staircase of bench_boolean.py.

Times whole calls through the Python surface (the solids are built first,
outside the timing). Exact cut counts (edges and corners) and cuts per
second come from the C++ twin, bench/bench_chamfer.cpp; this script reports
time per call, faces in and out, and the share of the volume the chamfer
took, which shows at once whether cutters reach past their own bevels.

Usage: python bench/bench_chamfer.py [--repeat N]
"""

import argparse
from fractions import Fraction

import quillstone as qs
from bench_boolean import holed_plate, spiral_staircase
from timing import best_of


def flat(points):
    return [str(v) for p in points for v in p]


L_PLATE = [(0, 0), (2, 0), (2, 1), (1, 1), (1, 2), (0, 2)]


def staircase(steps):
    pts = [(0, 0), (steps, 0)]
    for i in range(steps):
        pts.append((steps - i, i + 1))
        if i + 1 < steps:
            pts.append((steps - i - 1, i + 1))
    return pts + [(0, steps)]


def faces(solid):
    text = solid.canonical()
    return len(text.split(";")) if text else 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()
    cases = [
        ("unit cube", qs.make_box("1", "1", "1", "c"), 20),
        ("L plate", qs.make_prism(flat(L_PLATE), "1", "l"), 10),
        ("staircase of 8", qs.make_prism(flat(staircase(8)), "1", "s"), args.repeat),
        ("plate 10x10 holes", holed_plate(), args.repeat),
        ("spiral staircase", spiral_staircase(), 1),
    ]
    print(f"{'solid':<20}{'faces in':>9}{'faces out':>10}{'taken':>9}{'ms/call':>11}")
    for name, solid, runs in cases:
        result = solid.chamfer("1/10")
        taken = 1 - Fraction(result.volume6_str()) / Fraction(solid.volume6_str())
        t = best_of(runs, lambda: solid.chamfer("1/10"))
        print(f"{name:<20}{faces(solid):>9}{faces(result):>10}{float(taken):>8.2%}{t * 1e3:>11.2f}")


if __name__ == "__main__":
    main()
