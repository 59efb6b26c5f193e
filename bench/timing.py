"""Helpers shared by the benchmark scripts: timings, number texts and the
n-gon of the prism workloads."""

import math
import time
from fractions import Fraction


def timed(runs, fn):
    """The shortest of `runs` timings of fn(), in seconds, and what fn() returned."""
    best = float("inf")
    result = None
    for _ in range(runs):
        t0 = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - t0)
    return best, result


def best_of(runs, fn):
    """The shortest of `runs` timings of fn(), in seconds."""
    return timed(runs, fn)[0]


def text(f):
    """A number as the module reads it: "p/q" from anything Fraction takes."""
    f = Fraction(f)
    return f"{f.numerator}/{f.denominator}"


def ngon(n, radius=Fraction(1), cx=Fraction(0), cy=Fraction(0)):
    """A convex n-gon's corners as (x, y) Fractions, exactly on a circle.

    Each corner comes from a rational approximation t of tan(theta / 2),
    mapped to ((1 - t^2) / (1 + t^2), 2t / (1 + t^2)); the angles are
    spread evenly, so the polygon is regular up to the rounding of t
    (bench/workloads.hpp builds the same corners).
    """
    pts = []
    for k in range(n):
        theta = -math.pi + 2 * math.pi * (k + 0.5) / n
        t = Fraction(math.tan(theta / 2)).limit_denominator(1000 * n)
        d = 1 + t * t
        pts.append((cx + radius * (1 - t * t) / d, cy + radius * 2 * t / d))
    return pts
