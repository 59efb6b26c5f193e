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


def holed_plate():
    """bench_boolean.py's plate: a 21 x 21 x 1 slab with 10 x 10 unit holes."""
    s = qs.make_box("21", "21", "1", "slab")
    hole = qs.make_box("1", "1", "2", "hole")
    for i in range(10):
        for j in range(10):
            s = s.boolean("cut", hole.translate(str(2 * i + 1), str(2 * j + 1), "-1/2"))
    return s


def spiral_staircase():
    """bench_boolean.py's staircase: 50 steps, each turned a quarter more."""
    def step(k):
        s = qs.make_box("7/2", "1", "3/4", "step").translate("-1/2", "-1/2", "0")
        return s.rotate_quarter(2, k).translate("0", "0", f"{k}/2")
    s = step(0)
    for k in range(1, 50):
        s = s.boolean("union", step(k))
    return s


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
