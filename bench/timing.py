"""Timing helpers shared by the benchmark scripts."""

import time


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
