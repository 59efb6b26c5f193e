"""Helpers shared by the benchmark scripts: timings and number texts."""

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
