"""How fast Ctrl-C stops a long call.

Each workload runs in this process while a helper process sends SIGINT after
a delay; the figure is the time from the signal to the KeyboardInterrupt in
Python. It covers the wait for the next poll of the core loops and the
release of everything the call had built, which is most of it on the larger
workloads. Every workload runs far longer than the delay when nobody
interrupts it.

Usage: python bench/bench_interrupt.py [--quick]   (--quick: smaller shapes)
"""

import math
import os
import signal
import subprocess
import sys
import time
from fractions import Fraction

import quillstone as qs

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_nurbs import DOME  # noqa: E402
from bench_prism import ngon  # noqa: E402


def interrupt_after(call, delay):
    """Seconds from SIGINT, sent `delay` seconds into call(), to the
    KeyboardInterrupt; None when the call finished first."""
    killer = subprocess.Popen(
        [sys.executable, "-c",
         "import os, signal, time\n"
         "print('ready', flush=True)\n"
         f"time.sleep({delay})\n"
         "print(time.monotonic(), flush=True)\n"
         f"os.kill({os.getpid()}, signal.SIGINT)\n"],
        stdout=subprocess.PIPE, text=True)
    killer.stdout.readline()
    try:
        call()
    except KeyboardInterrupt:
        caught = time.monotonic()
        return caught - float(killer.stdout.readline())
    finally:
        signal.signal(signal.SIGINT, lambda *_: None)  # a late signal is ignored
        killer.kill()
        killer.wait()
        signal.signal(signal.SIGINT, signal.default_int_handler)
    return None


def prism_pair(n):
    a = qs.make_prism(ngon(n), "1", "a")
    b = qs.make_prism(ngon(n, cx=Fraction(1, 3), cy=Fraction(1, 5)), "1", "b")
    return a, b.translate("0", "0", "1/2")


def pythagorean_plate(triples):
    """A convex plate whose edges all have rational lengths, so every edge
    can be bevelled: the axis directions and the eight turns and mirrors of
    each Pythagorean triple, in angle order, 4 + 8 * len(triples) sides."""
    steps = {(1, 0), (0, 1), (-1, 0), (0, -1)}
    for a, b, _ in triples:
        for x, y in ((a, b), (b, a)):
            steps |= {(x, y), (-x, y), (x, -y), (-x, -y)}
    flat, x, y = [], 0, 0
    for dx, dy in sorted(steps, key=lambda d: math.atan2(d[1], d[0])):
        flat += [str(x), str(y)]
        x, y = x + dx, y + dy
    return qs.make_prism(flat, "1", "plate")


TRIPLES = [(3, 4, 5), (5, 12, 13), (8, 15, 17), (7, 24, 25), (20, 21, 29), (12, 35, 37),
           (9, 40, 41), (28, 45, 53), (11, 60, 61), (16, 63, 65), (33, 56, 65), (48, 55, 73),
           (13, 84, 85), (36, 77, 85), (39, 80, 89), (65, 72, 97)]


def workloads(quick):
    n = 1024 if quick else 2048
    a, b = prism_pair(n)
    yield f"union of two {n}-gon prisms", lambda: a.boolean("union", b), (0.5, 2.0)
    if not quick:
        c, d = prism_pair(4096)
        yield "union of two 4096-gon prisms", lambda: c.boolean("union", d), (0.5, 3.0)
    plate = pythagorean_plate(TRIPLES[:8] if quick else TRIPLES)
    sides = 4 + 8 * (8 if quick else 16)
    yield f"chamfer of a {sides}-sided plate", lambda: plate.chamfer("1/2"), (0.5, 3.0)
    yield "ssi_pairs of coincident bicubic patches, depth 8", (
        lambda: qs.ssi_pairs(DOME, DOME, 8)), (0.2, 0.6, 1.0)
    digits = "7" * (10_000_000 if quick else 30_000_000)
    yield f"make_box with a {len(digits):,}-digit number", (
        lambda: qs.make_box(digits, digits, "1", "n")), (0.2,)
    texts = [str(k) for k in range(2_000_000)]
    yield "make_prism over 2,000,000 texts", lambda: qs.make_prism(texts, "1", "p"), (0.2,)


def main():
    quick = "--quick" in sys.argv
    signal.signal(signal.SIGINT, signal.default_int_handler)
    print(f"{'workload':<52} {'signal after s':>14} {'to exception ms':>16}")
    for name, call, delays in workloads(quick):
        for delay in delays:
            latency = interrupt_after(call, delay)
            shown = "finished first" if latency is None else f"{latency * 1000:.1f}"
            print(f"{name:<52} {delay:>14.1f} {shown:>16}", flush=True)


if __name__ == "__main__":
    main()
