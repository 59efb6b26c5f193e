"""Timing helper shared by the benchmark scripts."""

import time


def best_of(runs, fn):
    """The shortest of `runs` timings of fn(), in seconds."""
    best = float("inf")
    for _ in range(runs):
        t0 = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - t0)
    return best
