"""The module surface: signatures, argument matching, failures, lifetime."""

import ctypes
import gc
import inspect
import os
import sys

import pytest

import quillstone as qs
from support import Panic



def test_module_contents():
    assert qs.__doc__ == ""
    public = {n for n in dir(qs) if not n.startswith("__")}
    assert public == set(qs.__all__)
    assert not hasattr(qs, "PanicException")
    assert not hasattr(qs, "__version__")


FUNCTIONS = [
    ("make_box", "(dx, dy, dz, prefix)"),
    ("make_prism", "(loop_flat, h, prefix)"),
    ("make_prismatoid", "(bottom, z0, top, z1, prefix)"),
    ("box_boolean", "(dx, dy, dz, ex, ey, ez, tx, ty, tz, op)"),
    ("box_form", "(dx, dy, dz)"),
    ("nurbs_curve_eval", "(degree, cps, knots, t, weights=None)"),
    ("nurbs_surface_eval", "(pu, pv, net, ku, kv, u, v, weights=None)"),
    ("ssi_pairs", "(net_a, net_b, depth, a_box=None, b_box=None)"),
]

METHODS = [
    ("translate", "(self, /, x, y, z)"),
    ("scale", "(self, /, fx, fy, fz)"),
    ("mirror", "(self, /, axis)"),
    ("rotate_quarter", "(self, /, axis, quarters)"),
    ("boolean", "(self, /, op, other)"),
    ("chamfer", "(self, /, dist)"),
    ("volume", "(self, /)"),
    ("volume6_str", "(self, /)"),
    ("canonical", "(self, /)"),
    ("watertight_ok", "(self, /)"),
    ("logical_faces", "(self, /)"),
    ("bbox", "(self, /)"),
]


def test_signatures_and_table_order():
    assert qs.__all__ == ["PySolid"] + [name for name, _ in FUNCTIONS]
    for name, sig in FUNCTIONS:
        assert str(inspect.signature(getattr(qs, name))) == sig, name
    methods = [n for n, v in vars(qs.PySolid).items() if n != "__new__" and callable(v)]
    assert methods == [name for name, _ in METHODS]
    for name, sig in METHODS:
        assert str(inspect.signature(getattr(qs.PySolid, name))) == sig, name
    assert qs.PySolid.__doc__ is None
    assert qs.PySolid.__bases__ == (object,)
    assert not hasattr(qs.make_box("1", "1", "1", "b"), "__dict__")


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


def test_integer_arguments_go_through_the_index_protocol():
    box = qs.make_box("1", "1", "1", "b")
    assert box.mirror(Index(0)).canonical() == box.mirror(0).canonical()
    assert box.rotate_quarter(axis=Index(2), quarters=Index(-1)).canonical() == (
        box.rotate_quarter(2, 3).canonical()
    )
    assert box.mirror(True).canonical() == box.mirror(1).canonical()  # bool is an int
    with pytest.raises(OverflowError):
        box.mirror(-1)
    with pytest.raises(OverflowError):
        box.mirror(2**64)
    with pytest.raises(OverflowError):
        box.rotate_quarter(0, 2**63)
    assert box.rotate_quarter(0, -(2**63)).canonical() == box.canonical()
    with pytest.raises(TypeError, match="'axis'"):
        box.mirror(0.0)
    with pytest.raises(TypeError, match="'quarters'"):
        box.rotate_quarter(0, "1")
    with pytest.raises(TypeError, match="'degree'"):
        qs.nurbs_curve_eval(1.5, [["0", "0", "0"]], ["0"], "0")


def test_position_and_keyword_give_equal_solids():
    a = qs.make_box("1", "1", "1", "b")
    b = qs.make_box(dx="1", dy="1", dz="1", prefix="b")
    c = qs.make_box("1", "1", dz="1", prefix="b")
    assert a.volume6_str() == b.volume6_str() == c.volume6_str() == "6/1"
    assert a is not b


class Sub(str):
    pass


def test_str_subclasses_are_accepted():
    s = qs.make_box(Sub("2"), Sub("3"), "5", Sub("p"))
    assert s.volume6_str() == "180/1"
    assert s.volume() == 30.0


@pytest.mark.parametrize(
    "call, needle",
    [
        (lambda: qs.make_box(1, "1", "1", "b"), "'dx'"),
        (lambda: qs.make_box("1", 1.0, "1", "b"), "'dy'"),
        (lambda: qs.make_box("1", "1", b"1", "b"), "'dz'"),
        (lambda: qs.make_box("1", "1", "1", None), "'prefix'"),
        (lambda: qs.make_box("1", "1", "1"), "prefix"),
        (lambda: qs.make_box(), "dx"),
        (lambda: qs.make_box("1", "1", "1", "b", "x"), "5 were given"),
        (lambda: qs.make_box("1", "1", "1", "b", colour="red"), "colour"),
        (lambda: qs.make_box("1", "1", "1", "b", dx="2"), "multiple values"),
        (lambda: qs.PySolid(), "No constructor defined for PySolid"),
        (lambda: qs.PySolid.volume(5), "PySolid"),
        (lambda: qs.make_box("1", "1", "1", "b").volume(1), "1 was given"),
        (lambda: qs.make_box("1", "1", "1", "b").volume6_str(x=1), "'x'"),
    ],
)
def test_type_errors(call, needle):
    with pytest.raises(TypeError, match=needle):
        call()


def test_first_bad_argument_is_reported():
    with pytest.raises(TypeError, match="'dy'"):
        qs.make_box("1", 2, 3, "b")


def test_panic_escapes_exception_handlers_and_module_keeps_working():
    caught = None
    try:
        try:
            qs.make_box("1", "x", "1", "b")
        except Exception:  # must not catch it
            pytest.fail("PanicException was caught as an Exception")
    except BaseException as exc:  # noqa: B036
        caught = exc
    assert type(caught).__bases__ == (BaseException,)
    assert caught.args == (
        "called `Result::unwrap()` on an `Err` value: ParseBigIntError { kind: InvalidDigit }",
    )
    assert type(caught) is Panic  # created once, the same type every time
    assert qs.make_box("1", "1", "1", "b").volume6_str() == "6/1"


@pytest.mark.parametrize(
    "args, text",
    [
        (("x", "y", "1"), "InvalidDigit"),  # dx decides, before dy
        (("1", "", "1"), "kind: Empty"),
        (("1", "1", "3/0"), "denominator == 0"),
        (("1", "1", "1 "), "InvalidDigit"),
    ],
)
def test_parse_failures(args, text):
    with pytest.raises(Panic) as info:
        qs.make_box(*args, "b")
    assert text in info.value.args[0]


def test_volume_values():
    cases = [
        (("1", "1", "1"), "6/1", 1.0),
        (("1/2", "1/3", "1"), "1/1", 0.16666666666666666),
        (("2", "3", "5"), "180/1", 30.0),
        (("0", "0", "0"), "0/1", 0.0),
        (("-1", "1", "1"), "-6/1", -1.0),
        (("0", "1", "1"), "0/1", 0.0),
    ]
    for sizes, v6, v in cases:
        s = qs.make_box(*sizes, "v")
        assert s.volume6_str() == v6
        assert s.volume() == v
    big = qs.make_box("1" + "0" * 400, "1", "1", "v")
    assert big.volume6_str() == "6" + "0" * 400 + "/1"
    assert big.volume() == float("inf")
    # The volume is divided exactly before its one rounding: 1/3 * 1/7 * 1/11.
    assert qs.make_box("1/3", "1/7", "1/11", "v").volume() == 1 / 231


def test_second_initialisation_returns_the_same_module():
    lib = ctypes.PyDLL(qs.__file__)
    init = lib.PyInit_quillstone
    init.restype = ctypes.py_object
    assert init() is qs


def test_failed_calls_create_nothing():
    gc.collect()
    for _ in range(100):  # warm up caches
        try:
            qs.make_box("1", "1", "x", "b")
        except BaseException:  # noqa: B036
            pass
    before = sys.getallocatedblocks()
    for _ in range(5000):
        try:
            qs.make_box("1", "1", "x", "b")
        except BaseException:  # noqa: B036
            pass
        try:
            qs.make_box("1", "1", 1, "b")
        except TypeError:
            pass
    gc.collect()
    assert sys.getallocatedblocks() - before < 50


def rss_kib():
    with open(f"/proc/{os.getpid()}/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the sanitizer holds freed memory in quarantine")
def test_no_leak_over_many_calls():
    def burst(n):
        for i in range(n):
            s = qs.make_box("1/3", "2", str(i), "leak")
            s.volume6_str()
            s.volume()
            try:
                qs.make_box("1", "1", "1/0", "b")
            except BaseException:  # noqa: B036
                pass

    burst(20000)  # let allocators reach their steady state
    start = rss_kib()
    burst(100000)
    grown = rss_kib() - start
    # A leaked box is several hundred bytes: 100,000 of them would be tens of MiB.
    assert grown < 4096, f"resident size grew by {grown} KiB"
