"""ssi_pairs and nurbs_surface_eval against plain-Python Fraction code.

Usage: python bench/bench_nurbs.py [max_reference_depth]

The search runs two bicubic 4 x 4 patches that cross along a closed curve
(a dome and a tilted plane) at depths 4 to 8; the reference (the same
algorithm in bench/ssi_reference.py) runs up to max_reference_depth
(default 6). Then one bicubic 8 x 8 NURBS surface is evaluated on a grid
of parameters by both.
"""

import os
import sys
from fractions import Fraction

import quillstone as qs

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ssi_reference as ref  # noqa: E402
from timing import text, timed  # noqa: E402


def bicubic(height):
    return [[[text(Fraction(i, 3)), text(Fraction(j, 3)), text(height(i, j))] for j in range(4)]
            for i in range(4)]


DOME = bicubic(lambda i, j: (i - 1) * (2 - i) + (j - 1) * (2 - j) + 2)
TILT = bicubic(lambda i, j: Fraction(i - j, 5) + Fraction(1, 7))


def bench_ssi(max_ref):
    print("ssi_pairs: bicubic dome x tilted plane (crossing along a closed curve)")
    print(f"{'depth':>5} {'pairs':>8} {'examined':>9} {'native s':>10} {'level s':>9} "
          f"{'pairs/s':>10} {'reference s':>12} {'speed-up':>9}")
    sizes = [1] + [len(qs.ssi_pairs(DOME, TILT, d)) for d in range(1, 9)]
    prev = 0.0
    for depth in range(4, 9):
        runs = 5 if depth <= 6 else 2
        t_native, res = timed(runs, lambda: qs.ssi_pairs(DOME, TILT, depth))
        if depth == 4:
            prev, _ = timed(5, lambda: qs.ssi_pairs(DOME, TILT, 3))
        examined = sum(sizes[:depth])  # pairs subdivided over all levels
        line = (f"{depth:>5} {len(res):>8} {examined:>9} {t_native:>10.4f} {t_native - prev:>9.4f} "
                f"{examined / t_native:>10.0f}")
        prev = t_native
        if depth <= max_ref:
            t_ref, res_ref = timed(1, lambda: ref.ssi_pairs(DOME, TILT, depth))
            assert res_ref == res, "reference disagrees"
            line += f" {t_ref:>12.3f} {t_ref / t_native:>8.0f}x"
        else:
            line += f" {'(skipped)':>12}"
        print(line)


def bench_surface():
    n, p = 8, 3
    knots = ["0"] * 4 + ["1/5", "2/5", "3/5", "4/5"] + ["1"] * 4
    net = [[[text(Fraction(i, 7)), text(Fraction(j, 7)), text(Fraction((i * j) % 5 - 2, 3))]
            for j in range(n)] for i in range(n)]
    weights = [[text(Fraction(1 + (i + 2 * j) % 3, 2)) for j in range(n)] for i in range(n)]
    params = [text(Fraction(k, 13)) for k in range(14)]
    grid = [(u, v) for u in params for v in params]

    def native():
        return [qs.nurbs_surface_eval(p, p, net, knots, knots, u, v, weights) for u, v in grid]

    def python():
        return [ref.surface_eval(p, p, net, knots, knots, u, v, weights) for u, v in grid]

    t_native, got = timed(5, native)
    t_ref, want = timed(1, python)
    assert got == want, "reference disagrees"
    print()
    print(f"nurbs_surface_eval: bicubic 8 x 8 rational net, {len(grid)} parameter pairs")
    print(f"  native    : {len(grid) / t_native:10.0f} evaluations/s")
    print(f"  reference : {len(grid) / t_ref:10.0f} evaluations/s (Cox-de Boor on Fraction)")
    print(f"  speed-up  : {t_ref / t_native:10.0f}x")


def main():
    max_ref = int(sys.argv[1]) if len(sys.argv) > 1 else 6
    bench_ssi(max_ref)
    bench_surface()


if __name__ == "__main__":
    main()
