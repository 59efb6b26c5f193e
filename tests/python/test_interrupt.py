"""Ctrl-C stops a long call: KeyboardInterrupt arrives promptly, nothing is
returned and the operands are as they were."""

import os
import signal
import subprocess
import sys
import time
from fractions import Fraction

import pytest

import quillstone as qs

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "bench"))
from bench_prism import ngon  # noqa: E402

# Seconds from the signal to the exception: the next poll comes within a
# millisecond; the rest is freeing what the call had built, slower under
# the sanitizers. Uninterrupted, each call below runs for seconds.
BOUND = 2.0 if "asan" in os.environ.get("LD_PRELOAD", "") else 1.0


def interrupt_during(call, after):
    """Runs call() while another process sends SIGINT after `after` seconds.
    Returns the seconds from the signal to the KeyboardInterrupt; fails if
    the call returned instead."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    killer = subprocess.Popen(
        [sys.executable, "-c",
         "import os, signal, sys, time\n"
         "print('ready', flush=True)\n"
         f"time.sleep({after})\n"
         "print(time.monotonic(), flush=True)\n"
         f"os.kill({os.getpid()}, signal.SIGINT)\n"],
        stdout=subprocess.PIPE, text=True)
    try:
        assert killer.stdout.readline() == "ready\n"
        try:
            call()
        except KeyboardInterrupt:
            caught = time.monotonic()
        else:
            pytest.fail("the call ended before the signal came")
        sent = float(killer.stdout.readline())
        return caught - sent
    finally:
        # A signal that comes too late must not stop the test run.
        signal.signal(signal.SIGINT, lambda *_: None)
        killer.kill()
        killer.wait()
        signal.signal(signal.SIGINT, previous)


def test_ctrl_c_stops_a_long_boolean_and_leaves_operands_unchanged():
    # Uninterrupted, this union takes some seconds.
    a = qs.make_prism(ngon(1024), "1", "a")
    b = qs.make_prism(ngon(1024, cx=Fraction(1, 3), cy=Fraction(1, 5)), "1", "b")
    b = b.translate("0", "0", "1/2")
    before = (a.canonical(), b.canonical())
    assert interrupt_during(lambda: a.boolean("union", b), 0.3) < BOUND
    assert (a.canonical(), b.canonical()) == before
    # The module goes on working, and the same operands still combine.
    small = qs.make_box("1", "1", "1", "s")
    assert small.boolean("cut", small.translate("1/2", "0", "0")).volume6_str() == "3/1"


def test_ctrl_c_stops_a_deep_subdivision_search():
    # Coincident quintic patches: some seconds and half a million pairs at
    # depth 8.
    net = [[[f"{i}/5", f"{j}/5", str(i * j % 3)] for j in range(6)] for i in range(6)]
    assert interrupt_during(lambda: qs.ssi_pairs(net, net, 8), 0.3) < BOUND
