"""Misuse that once crashed the interpreter or gave a wrong answer: every
case here either crashed, hung or answered wrongly before it was mended."""

import os
import subprocess
import sys
import textwrap

import pytest

import quillstone as qs
from support import Panic

UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")


def run_python(code, **kwargs):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=120, **kwargs)


# --- Interpreter exit with calls in flight ---------------------------------


def test_interpreter_exit_with_calls_in_flight():
    # Daemon threads sit inside calls whose arguments keep giving up the
    # interpreter lock; at exit the interpreter ends them by unwinding their
    # stacks through the module.
    code = """
        import threading, time
        import quillstone as qs

        class Slow:
            def __init__(self, n):
                self.n = n
            def __len__(self):
                return self.n
            def __getitem__(self, i):
                time.sleep(0.0005)
                return "1"

        class SlowIndex:
            def __index__(self):
                time.sleep(0.0005)
                return 0

        def calls(k):
            while True:
                if k == 0:
                    qs.make_prism(Slow(10**9), "1", "p")
                elif k == 1:
                    qs.ssi_pairs([[Slow(3)]], [[Slow(3)]], 1)
                else:
                    qs.make_box("1", "1", "1", "b").mirror(SlowIndex())

        for k in range(6):
            threading.Thread(target=calls, args=(k % 3,), daemon=True).start()
        time.sleep(0.1)
    """
    for _ in range(3):
        done = run_python(code)
        assert done.returncode == 0, done.stderr
        assert done.stderr == ""


# --- A PySolid without a solid ---------------------------------------------


def test_no_statement_makes_a_pysolid_without_a_solid():
    box = qs.make_box("1", "1", "1", "b")
    with pytest.raises(TypeError):
        qs.PySolid.__new__ = lambda cls: object.__new__(cls)
    with pytest.raises(TypeError):
        object.__new__(qs.PySolid)
    with pytest.raises(TypeError):
        qs.PySolid.volume = lambda self: 0.0
    with pytest.raises(TypeError):
        del qs.PySolid.canonical
    with pytest.raises(TypeError, match="^No constructor defined for PySolid$"):
        qs.PySolid()
    with pytest.raises(TypeError, match="^No constructor defined for PySolid$"):
        qs.PySolid.__new__(qs.PySolid)
    with pytest.raises(TypeError):

        class Sub(qs.PySolid):
            pass

    assert box.volume6_str() == "6/1" and box.boolean("union", box).volume6_str() == "6/1"


# --- Lying sequences --------------------------------------------------------


class Lying:
    """Claims `length` items, has `real` of them, and records what was read."""

    def __init__(self, length, real, item="1"):
        self.length, self.real, self.item, self.reads = length, real, item, []

    def __len__(self):
        return self.length

    def __getitem__(self, i):
        self.reads.append(i)
        if i >= self.real:
            raise IndexError(i)
        return self.item(i) if callable(self.item) else self.item


@pytest.mark.parametrize("length", [2**40, 2**62, sys.maxsize])
def test_a_claimed_length_is_only_a_hint(length):
    seq = Lying(length, 3)
    with pytest.raises(IndexError):
        qs.make_prism(seq, "1", "p")
    assert seq.reads == [0, 1, 2, 3]
    with pytest.raises(IndexError):
        qs.nurbs_curve_eval(1, [["0", "0", "0"]] * 2, Lying(length, 2), "0")
    with pytest.raises(IndexError):
        qs.ssi_pairs([[Lying(length, 3)]], [[["0", "0", "0"]]], 0)


def test_the_first_bad_item_ends_the_read():
    seq = Lying(10, 10, item=lambda i: 7 if i == 2 else "1")
    with pytest.raises(TypeError, match="'loop_flat'"):
        qs.make_prism(seq, "1", "p")
    assert seq.reads == [0, 1, 2]
    # Nested: the first row's bad point ends the read before the next row.
    later = Lying(3, 3, item=["0", "0", "0"])
    with pytest.raises(TypeError, match="'net_a'"):
        qs.ssi_pairs([[["0", "0", 0]], [later]], [[["0", "0", "0"]]], 1)
    assert later.reads == []


# --- The memory bound of ssi_pairs under a tighter limit --------------------


@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer's shadow memory needs the address space")
def test_ssi_memory_bound_follows_the_address_space_limit():
    limit = 1536 << 20
    code = f"""
        import resource, sys
        sys.path.insert(0, {os.path.join(os.path.dirname(__file__), "..", "..", "bench")!r})
        from bench_nurbs import DOME
        import quillstone as qs
        resource.setrlimit(resource.RLIMIT_AS, ({limit}, {limit}))
        try:
            qs.ssi_pairs(DOME, DOME, 9)
        except MemoryError as exc:
            print(exc)
    """
    done = run_python(code)
    assert done.returncode == 0, done.stderr
    bound = int(done.stdout.split("memory bound of ")[1].split(" MiB")[0])
    assert 0 < bound < (limit >> 20) // 2


# --- Sub-interpreters -------------------------------------------------------


def test_only_the_main_interpreter_loads_the_module_whichever_imports_first():
    # A fresh process, so that a sub-interpreter can be the first to import.
    code = """
        def sub_run(code):
            try:
                import _interpreters as si
            except ImportError:
                import _xxsubinterpreters as si
                interp = si.create()
                try:
                    si.run_string(interp, code)
                    return "ok"
                except si.RunFailedError as exc:
                    return str(exc)
                finally:
                    si.destroy(interp)
            # Single-phase modules load only in sub-interpreters of this kind.
            interp = si.create(si.new_config("legacy"))
            try:
                err = si.run_string(interp, code)
                return "ok" if err is None else err.formatted
            finally:
                si.destroy(interp)

        print(sub_run("import quillstone"))
        import quillstone
        print(quillstone.make_box("1", "1", "1", "b").volume6_str())
        print(sub_run("import quillstone"))
    """
    done = run_python(code)
    assert done.returncode == 0, done.stderr
    first, main, later = done.stdout.splitlines()
    assert "ImportError" in first and "ImportError" in later
    assert main == "6/1"


# --- Lone surrogates --------------------------------------------------------


def test_lone_surrogates():
    invalid = "ParseBigIntError { kind: InvalidDigit }"
    for text in ("1\ud800", "\udfff", "-\ud800", "1/\ud800"):
        with pytest.raises(Panic, match=invalid):
            qs.make_box("1", text, "1", "b")
    # The malformed text is met in parse order, after every conversion.
    with pytest.raises(TypeError, match="'prefix'"):
        qs.make_box("\ud800", "1", "1", 5)
    with pytest.raises(Panic, match=invalid):
        qs.make_prism(["0", "0", "1", "\ud800", "0", "1"], "1", "p")
    with pytest.raises(Panic, match=invalid):
        qs.nurbs_curve_eval(0, [["0", "0", "0"]], ["0", "\ud800"], "0")
    with pytest.raises(TypeError, match="'prefix'"):
        qs.make_box("1", "1", "1", "p\ud800")
    with pytest.raises(TypeError, match="'prefix'"):
        qs.make_prismatoid(["0", "0"], "0", ["0", "0"], "1", "\udc80")
    box = qs.make_box("1", "1", "1", "b")
    with pytest.raises(TypeError, match="'op'"):
        box.boolean("union\ud800", box)
    with pytest.raises(TypeError, match="'op'"):
        qs.box_boolean(*["1"] * 9, "\ud800")
    with pytest.raises(TypeError, match="unexpected keyword"):
        qs.make_box("1", "1", "1", "b", **{"\ud800": "1"})


# --- NURBS points of mixed length -------------------------------------------


def test_longer_control_points_keep_their_extra_coordinates():
    # The second point is homogeneous with weight 1: at t = 1 the curve is
    # there.
    assert qs.nurbs_curve_eval(1, [["0", "0"], ["1", "1", "1"]], ["0", "0", "1", "1"], "1") == [
        "1/1", "1/1", "1/1"]
    # Halfway, the first three entries blend (the short point's third is its
    # weight) and the fourth stays the longer point's.
    assert qs.nurbs_curve_eval(1, [["0", "0"], ["2", "4", "6"]], ["0", "0", "1", "1"],
                               "1/2") == ["1/1", "2/1", "7/2"]
    # The row of the short point keeps a fourth entry for the pass along u.
    net = [[["0", "0"], ["0", "1", "0"]], [["1", "0", "0"], ["1", "1", "1"]]]
    assert qs.nurbs_surface_eval(1, 1, net, ["0", "0", "1", "1"], ["0", "0", "1", "1"], "1",
                                 "1") == ["1/1", "1/1", "1/1"]
    # In the subdivision the extra coordinates play no part.
    square = [[["0", "0", "0"], ["0", "1", "0"]], [["1", "0", "0"], ["1", "1", "0"]]]
    longer = [[["0", "0", "0"], ["0", "1", "0", "7"]], [["1", "0", "0", "5"], ["1", "1", "0"]]]
    assert qs.ssi_pairs(longer, square, 2) == qs.ssi_pairs(square, square, 2)


# --- Prismatoid with an empty top -------------------------------------------


def test_prismatoid_reads_the_far_top_point_first():
    square = ["0", "0", "1", "0", "1", "1", "0", "1"]
    with pytest.raises(Panic, match="^index out of bounds: the len is 0 but the index is 1$"):
        qs.make_prismatoid(square, "0", [], "1", "p")
    with pytest.raises(Panic, match="^index out of bounds: the len is 3 but the index is 3$"):
        qs.make_prismatoid(square, "0", ["0", "0", "1", "0", "1", "1"], "1", "p")
