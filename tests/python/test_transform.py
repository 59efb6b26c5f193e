"""translate, scale, mirror and rotate_quarter."""

from fractions import Fraction

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quillstone as qs
from support import Panic, text


UNIT = qs.make_box("1", "1", "1", "b")


def corners(solid):
    """The set of corner points named in the canonical text."""
    pts = set()
    for face in solid.canonical().split(";"):
        for p in face.split("|"):
            pts.add(tuple(Fraction(c) for c in p.split(",")))
    return pts


def test_translate():
    moved = UNIT.translate("1/2", "0", "0")
    assert corners(moved) == {(x + Fraction(1, 2), y, z) for x, y, z in corners(UNIT)}
    assert moved.volume6_str() == "6/1"
    assert UNIT.volume6_str() == "6/1"  # the original is untouched
    assert UNIT.translate("1/3", "0", "0").volume6_str() == "6/1"
    assert UNIT.translate(z="1", y="0", x="0").canonical() == UNIT.translate("0", "0", "1").canonical()


def test_scale():
    assert UNIT.scale("2", "3", "5").canonical() == qs.make_box("2", "3", "5", "b").canonical()
    assert UNIT.scale("-1", "1", "1").volume6_str() == "6/1"  # flipped back outward
    assert UNIT.scale("-1", "-1", "1").volume6_str() == "6/1"  # no flip needed
    assert UNIT.scale("-1", "-1", "-1").volume6_str() == "6/1"
    flat = UNIT.scale("0", "1", "1")
    assert flat.volume6_str() == "0/1"
    # No face is dropped by a transform: a box of width 0 built directly
    # keeps two faces, the scaled one keeps all six (four of them flattened
    # into lines, the two end faces merged into one text).
    assert len(flat.canonical().split(";")) == 5
    assert len(qs.make_box("0", "1", "1", "b").canonical().split(";")) == 1


def test_mirror():
    m = UNIT.mirror(0)
    assert m.volume6_str() == "6/1"
    assert corners(m) == {(-x, y, z) for x, y, z in corners(UNIT)}
    assert m.canonical() == qs.make_box("-1", "1", "1", "b").canonical()
    assert m.mirror(0).canonical() == UNIT.canonical()
    assert UNIT.mirror(axis=2).volume6_str() == "6/1"
    for axis in (3, 5, 2**64 - 1):
        with pytest.raises(Panic) as info:
            UNIT.mirror(axis)
        assert str(info.value) == f"index out of bounds: the len is 3 but the index is {axis}"
    empty = qs.make_box("0", "0", "0", "e")
    assert empty.mirror(7).canonical() == ""  # no vertex, no failure
    with pytest.raises(OverflowError):
        UNIT.mirror(-1)
    with pytest.raises(OverflowError):
        UNIT.mirror(2**64)
    with pytest.raises(TypeError, match="axis"):
        UNIT.mirror("0")


def test_rotate_quarter():
    # One step about z maps (1, 0, 0) to (0, 1, 0): the box goes to x in [-1, 0].
    turned = UNIT.rotate_quarter(2, 1)
    assert corners(turned) == {(-y, x, z) for x, y, z in corners(UNIT)}
    assert turned.canonical() == qs.make_box("-1", "1", "1", "b").canonical()
    assert UNIT.rotate_quarter(2, -1).canonical() == UNIT.rotate_quarter(2, 3).canonical()
    assert corners(UNIT.rotate_quarter(2, -1)) == {(y, -x, z) for x, y, z in corners(UNIT)}
    assert UNIT.rotate_quarter(2, 4).canonical() == UNIT.canonical()
    assert UNIT.rotate_quarter(2, -4).canonical() == UNIT.canonical()
    assert UNIT.rotate_quarter(0, 1).canonical() == qs.make_box("1", "-1", "1", "b").canonical()
    assert UNIT.rotate_quarter(1, 1).canonical() == qs.make_box("1", "1", "-1", "b").canonical()
    assert UNIT.rotate_quarter(3, 1).canonical() == UNIT.rotate_quarter(0, 1).canonical()
    assert UNIT.rotate_quarter(4, 1).canonical() == UNIT.rotate_quarter(1, 1).canonical()
    assert turned.volume6_str() == "6/1"
    # The axis wraps on 64 bits before the remainder: 2^64 - 1 gives the
    # pair (0, 1), a turn about z.
    assert UNIT.rotate_quarter(2**64 - 1, 1).canonical() == turned.canonical()
    assert UNIT.rotate_quarter(0, 2**63 - 1).canonical() == UNIT.rotate_quarter(0, 3).canonical()
    assert UNIT.rotate_quarter(0, -(2**63)).canonical() == UNIT.canonical()
    with pytest.raises(OverflowError):
        UNIT.rotate_quarter(0, 2**63)
    with pytest.raises(OverflowError):
        UNIT.rotate_quarter(-1, 0)
    with pytest.raises(TypeError, match="quarters"):
        UNIT.rotate_quarter(0, "1")


def test_argument_order():
    with pytest.raises(TypeError, match="'y'"):
        UNIT.translate("1", 2, "x")  # y's type before x's text
    with pytest.raises(Panic, match="InvalidDigit"):
        UNIT.translate("1", "x", "1/0")  # y before z
    with pytest.raises(Panic, match="denominator == 0"):
        UNIT.scale("1/0", "x", "1")
    with pytest.raises(TypeError, match="fz"):
        UNIT.scale("1", "1", None)
    with pytest.raises(TypeError):
        UNIT.translate("1", "1")
    with pytest.raises(TypeError):
        qs.PySolid.translate(5, "1", "1", "1")


coords = st.fractions(min_value=-5, max_value=5, max_denominator=9).map(text)
sizes = st.fractions(min_value=Fraction(1, 9), max_value=4, max_denominator=9).map(text)


@st.composite
def solids(draw):
    """A box, or a box with a corner taken out (faces in pieces)."""
    s = qs.make_box(draw(sizes), draw(sizes), draw(sizes), "s")
    s = s.translate(draw(coords), draw(coords), draw(coords))
    if draw(st.booleans()):
        corner = qs.make_box("1", "1", "1", "c").translate(draw(coords), draw(coords), draw(coords))
        s = s.boolean("cut", corner)
    return s


@settings(max_examples=60, deadline=None)
@given(solids(), st.integers(min_value=0, max_value=5), coords, coords, coords)
def test_round_trips(s, axis, x, y, z):
    before = s.canonical()
    turned = s
    for _ in range(4):
        turned = turned.rotate_quarter(axis, 1)
    assert turned.canonical() == before
    assert s.rotate_quarter(axis, 1).rotate_quarter(axis, -1).canonical() == before
    if axis <= 2:
        assert s.mirror(axis).mirror(axis).canonical() == before
        assert s.mirror(axis).volume6_str() == s.volume6_str()
    neg = [str(-Fraction(c)) for c in (x, y, z)]
    assert s.translate(x, y, z).translate(*neg).canonical() == before
    assert s.translate(x, y, z).volume6_str() == s.volume6_str()
    assert s.rotate_quarter(axis, 1).volume6_str() == s.volume6_str()
