"""Numbers into quillstone_cad: every type accepted with its exact value,
every bad one refused with its argument's name, and a fuzzer that calls
every function and method with hostile values and sees only TypeError and
ValueError, never a PanicException."""

import os
from decimal import Decimal
from fractions import Fraction

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import quillstone_cad as qc
import quillstone_io as qio

GOOD = [
    (3, Fraction(3)),
    (Fraction(3, 7), Fraction(3, 7)),
    (Decimal("0.1"), Fraction(1, 10)),
    ("3/2", Fraction(3, 2)),
    (" -6/-4 ", Fraction(3, 2)),
    ("0.1", Fraction(1, 10)),
    ("1e-3", Fraction(1, 1000)),
    ("2.5E2", Fraction(250)),
    (0.1, Fraction(1, 10)),
    (1e22, Fraction(10**22)),
    (np.int64(5), Fraction(5)),
    (np.uint8(200), Fraction(200)),
    (np.float64(0.1), Fraction(1, 10)),
    (np.float32(0.1), Fraction(1, 10)),
    (np.float16(0.5), Fraction(1, 2)),
]

BAD = [
    (None, TypeError, "NoneType"),
    (True, TypeError, "bool"),
    (np.bool_(True), TypeError, "bool"),
    ([1], TypeError, "list"),
    (b"1", TypeError, "bytes"),
    (1j, TypeError, "complex"),
    ("one", ValueError, "'one'"),
    ("1/0", ValueError, "zero denominator"),
    ("1e99999", ValueError, "exponent"),
    ("", ValueError, "''"),
    (float("nan"), ValueError, "nan"),
    (float("-inf"), ValueError, "inf"),
    (Decimal("NaN"), ValueError, "NaN"),
    (np.float32("inf"), ValueError, "inf"),
]


@pytest.mark.parametrize("value, exact", GOOD)
def test_every_number_type_gives_its_exact_value(value, exact):
    assert qc.box(value, 1, 1).bbox[1][0] == exact
    assert qc.box(1, 1, 1).moved(0, value).bbox[0][1] == exact


@pytest.mark.parametrize("value, error, shown", BAD)
def test_every_bad_number_is_refused_naming_its_argument(value, error, shown):
    with pytest.raises(error, match="y") as info:
        qc.box(1, value, 1)
    assert str(info.value).startswith("y:") and shown in str(info.value)
    with pytest.raises(error, match="^degrees"):
        qc.box(1, 1, 1).rotated("z", value)


def test_values_that_cannot_be_used_are_refused_by_name():
    part = qc.box(1, 1, 1)
    cases = [
        (lambda: qc.box(0, 1, 1), "x"),
        (lambda: qc.cylinder(1, -2), "h"),
        (lambda: qc.cylinder(1, 1, segments=2), "segments"),
        (lambda: qc.cone(0, 0, 1), "r1"),
        (lambda: qc.prismatoid([(0, 0), (1, 0), (0, 1)], 1, [(0, 0), (1, 0), (0, 1)], 0), "z1"),
        (lambda: qc.prism([(0, 0), (1, 1), (2, 2)], 1), "points"),
        (lambda: part.scaled(0), "fx"),
        (lambda: part.mirrored("w"), "axis"),
        (lambda: part.rotated((0, 0, 0), 10), "axis"),
        (lambda: part.rotated("z", 10, tol=-1), "tol"),
        (lambda: part.transformed([[1, 0, 0, 0]] * 3), "matrix"),
        (lambda: part.transformed([[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0], [0, 0, 1, 1]]),
         "matrix"),
        (lambda: part.chamfer(-1), "d"),
        (lambda: qc.from_arrays([[0, 0, 0]] * 3, [[0, 1, 5]]), "vertex index 5"),
        (lambda: qc.from_arrays(np.zeros((3, 2)), [[0, 1, 2]]), "vertices"),
    ]
    for call, name in cases:
        with pytest.raises(ValueError, match=name):
            call()


HOSTILE = st.sampled_from([
    None, True, -1, 0, 2**200, -(2**70), 10**-300, float("nan"), float("inf"), 1e308,
    "x", "", "1/0", "1e999999", "\ud800", "-0", "3/2", b"1", [], [1, 2], [[1, 2, 3]] * 3,
    [[0, 0], [1, 1], [2, 2]], ("x", "y"), {"a": 1}, object(), np.float32("nan"),
    np.array([[0.0, 0.0, 0.0]]), Fraction(-1, 3), Decimal("-0"), 3.0, "z", 2, 7,
])

BOX = qc.box(1, 2, 3)
CALLS = {
    "box": (qc.box, [1, 1, 1]),
    "prism": (qc.prism, [[(0, 0), (1, 0), (0, 1)], 1]),
    "prismatoid": (qc.prismatoid, [[(0, 0), (2, 0), (0, 2)], 0, [(0, 0), (1, 0), (0, 1)], 1]),
    "cylinder": (qc.cylinder, [1, 1]),
    "cone": (qc.cone, [1, 0, 1]),
    "extrude": (qc.extrude, [[(0, 0), (4, 0), (0, 4)], [[(1, 1), (2, 1), (1, 2)]], 1]),
    "circle": (qc.circle, [1]),
    "from_arrays": (qc.from_arrays, [*qio.to_arrays(BOX.solid)]),
    "from_trimesh": (qc.from_trimesh, [BOX]),
    "load": (qc.load, ["nowhere.stl"]),
    "union": (qc.union, [BOX, BOX]),
    "intersection": (qc.intersection, [BOX, BOX]),
    "rotation_angle": (qc.rotation_angle, [30, 1e-9, "z"]),
    "rotation_matrix": (qc.rotation_matrix, ["z", 30, 1e-9]),
    "Part": (qc.Part, [BOX.solid]),
    "moved": (BOX.moved, [1, 2, 3]),
    "scaled": (BOX.scaled, [1, 2, 3]),
    "mirrored": (BOX.mirrored, ["x"]),
    "rotated": (BOX.rotated, ["z", 30]),
    "transformed": (BOX.transformed, [[[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0]]]),
    "chamfer": (BOX.chamfer, ["1/10"]),
    "or": (BOX.__or__, [BOX]),
    "sub": (BOX.__sub__, [BOX]),
    "and": (BOX.__and__, [BOX]),
    "eq": (BOX.__eq__, [BOX]),
}
KEYWORDS = {"cylinder": ["segments", "center"], "cone": ["segments"], "box": ["center"],
            "rotated": ["tol", "center"], "circle": ["segments", "center"],
            "from_arrays": ["check", "label"], "load": ["format"]}


@settings(max_examples=int(os.environ.get("QS_FUZZ_EXAMPLES", "300")), deadline=None,
          database=None, suppress_health_check=list(HealthCheck))
@given(st.sampled_from(sorted(CALLS)), st.data())
def test_hostile_arguments_raise_only_type_and_value_errors(name, data):
    fn, args = CALLS[name]
    args = list(args)
    kwargs = {}
    for _ in range(data.draw(st.integers(1, 2))):
        slots = len(args) + len(KEYWORDS.get(name, []))
        k = data.draw(st.integers(0, slots - 1))
        if k < len(args):
            args[k] = data.draw(HOSTILE)
        else:
            kwargs[KEYWORDS[name][k - len(args)]] = data.draw(HOSTILE)
    try:
        result = fn(*args, **kwargs)
    except (TypeError, ValueError, FileNotFoundError):
        return
    except qio.PanicException as exc:  # noqa: B014  (a BaseException)
        pytest.fail(f"{name}{tuple(args)} {kwargs}: PanicException {exc}")
    if isinstance(result, qc.Part):
        repr(result)
        hash(result)
