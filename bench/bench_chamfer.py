"""Chamfer of a unit cube, an L-shaped prism and a holed plate, by 1/10.

Times whole calls through the Python surface. Exact cut counts (edges and
corners) come from the C++ twin, bench/bench_chamfer.cpp; this script
reports time per call, result size and, given those counts, cuts per second.

Usage: python bench/bench_chamfer.py [grid]   (grid of the plate, default 10)
"""

import sys

import quillstone as qs
from timing import best_of

L_PLATE = ["0", "0", "2", "0", "2", "1", "1", "1", "1", "2", "0", "2"]


def holed_plate(n):
    """A (2n+1) x (2n+1) x 1 slab with an n x n grid of unit through-holes,
    cut one after another: for n = 10 the plate of bench_boolean.py."""
    side = str(2 * n + 1)
    plate = qs.make_box(side, side, "1", "plate")
    hole = qs.make_box("1", "1", "3", "hole")
    for i in range(n):
        for j in range(n):
            plate = plate.boolean("cut", hole.translate(str(2 * i + 1), str(2 * j + 1), "-1"))
    return plate


def faces(solid):
    text = solid.canonical()
    return len(text.split(";")) if text else 0


def main():
    grid = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    cases = [
        ("unit cube", qs.make_box("1", "1", "1", "c"), 20),
        ("L-shaped prism", qs.make_prism(L_PLATE, "1", "l"), 5),
        (f"plate {grid}x{grid} holes", holed_plate(grid), 1),
    ]
    print(f"{'solid':<22}{'faces in':>9}{'faces out':>10}{'logical':>8}{'ms/call':>10}")
    for name, solid, runs in cases:
        result = solid.chamfer("1/10")
        t = best_of(runs, lambda: solid.chamfer("1/10"))
        print(f"{name:<22}{faces(solid):>9}{faces(result):>10}{result.logical_faces():>8}"
              f"{t * 1e3:>10.2f}")


if __name__ == "__main__":
    main()
