"""make_prism and make_prismatoid through the Python surface."""

import pytest

import quillstone as q
from support import panic_of

SQUARE = ["0", "0", "1", "0", "1", "1", "0", "1"]
L_PLATE = ["0", "0", "2", "0", "2", "1", "1", "1", "1", "2", "0", "2"]


def test_l_plate_caps_tile_the_polygon():
    # The reflex corner (1,1) lies on the first candidate ear's diagonal.
    p = q.make_prism(L_PLATE, "1", "l")
    assert p.watertight_ok() and p.volume6_str() == "18/1" and p.logical_faces() == 8
    caps = {face for face in p.canonical().split(";") if face.count("|") == 2
            and all(pt.endswith(",0/1") for pt in face.split("|"))}
    assert caps == {"0/1,0/1,0/1|1/1,1/1,0/1|2/1,1/1,0/1",
                    "0/1,0/1,0/1|2/1,0/1,0/1|2/1,1/1,0/1",
                    "0/1,0/1,0/1|0/1,2/1,0/1|1/1,1/1,0/1",
                    "0/1,2/1,0/1|1/1,1/1,0/1|1/1,2/1,0/1"}


def test_arguments_and_bad_input():
    by_kw = q.make_prism(h="-1", prefix="p", loop_flat=tuple(SQUARE))
    assert by_kw.canonical() == q.make_prism(SQUARE, "-1", "p").canonical()
    assert by_kw.volume6_str() == "-6/1"
    assert by_kw.bbox() == [0.0, 0.0, -1.0, 1.0, 1.0, 0.0]
    for bad in (("0011", "1", "p"), (["0", 0, "1", "0"], "1", "p"), (SQUARE, 1, "p"), (SQUARE, "1")):
        with pytest.raises(TypeError):
            q.make_prism(*bad)
    # The loop is parsed before the height.
    assert "Empty" in str(panic_of(q.make_prism, ["", "0"], "x", "p"))
    assert "InvalidDigit" in str(panic_of(q.make_prism, ["0", "0"], "x", "p"))
    # One point: no faces, so no bounding box.
    panic_of(q.make_prism(["0", "0"], "1", "s").bbox)
    # Self-intersecting and collinear loops finish.
    assert q.make_prism(["0", "0", "2", "2", "2", "0", "0", "2"], "1", "b").volume6_str() == "0/1"
    assert q.make_prism(["0", "0", "1", "0", "2", "0", "3", "0"], "1", "c").volume6_str() == "0/1"


def test_prismatoid():
    top = ["1/4", "1/4", "3/4", "1/4", "3/4", "3/4", "1/4", "3/4"]
    f = q.make_prismatoid(SQUARE, "0", top, "1", "f")
    assert f.watertight_ok() and f.volume6_str() == "7/2"
    # A clockwise bottom reverses both loops: the pairing is kept and the
    # clockwise top turns counter-clockwise.
    cw = q.make_prismatoid(bottom=["0", "0", "0", "1", "1", "1", "1", "0"], z0="0",
                           top=["1/4", "1/4", "1/4", "3/4", "3/4", "3/4", "3/4", "1/4"], z1="1",
                           prefix="f")
    assert cw.watertight_ok() and cw.volume6_str() == "7/2"
    exc = panic_of(q.make_prismatoid, SQUARE, "0", ["0", "0", "1", "0", "1", "1"], "1", "p")
    assert exc.args == ("index out of bounds: the len is 3 but the index is 3",)
    with pytest.raises(TypeError):
        q.make_prismatoid(SQUARE, "0", "0011", "1", "p")
    # bottom, z0, top, z1 in that order.
    assert "Empty" in str(panic_of(q.make_prismatoid, SQUARE, "", ["x"], "x", "p"))
    assert "InvalidDigit" in str(panic_of(q.make_prismatoid, SQUARE, "0", ["x", "0"], "", "p"))
