"""PySolid.chamfer through the Python surface."""

from fractions import Fraction

import pytest

import quillstone as q

K2 = "chamfer: non-rational face normal (K2)"


def six_v(solid):
    return Fraction(solid.volume6_str())


def chamfered_box6(a, b, c, d):
    """6V of an a x b x c box with all edges bevelled by d, corners trimmed."""
    return 6 * (a * b * c - 2 * d * d * (a + b + c) + Fraction(16, 3) * d**3)


def flat(points):
    return [str(v) for p in points for v in p]


def test_box_loses_exactly_its_edges_and_corners():
    box = q.make_box("2", "3", "5", "p")
    r = box.chamfer("1/10")
    assert six_v(r) == chamfered_box6(2, 3, 5, Fraction(1, 10))
    assert r.watertight_ok()
    # 6 faces, 12 bevels, 8 corner triangles.
    assert r.logical_faces() == 26
    # The operand is left as it was.
    assert box.volume6_str() == "180/1"


def test_non_rational_normals_and_lengths():
    diamond = q.make_prism(flat([(1, 0), (2, 1), (1, 2), (0, 1)]), "1", "d")
    with pytest.raises(ValueError, match=r"^chamfer: non-rational face normal \(K2\)$"):
        diamond.chamfer("1/10")
    # A corner tetrahedron: its slanted normal along (1, 2, 2) is fine, but
    # the edges of that face along (2, -1, 0) and (2, 0, -1) are not.
    tetra = q.make_prismatoid(flat([(0, 0), (2, 0), (0, 1)]), "0",
                              flat([(0, 0), (0, 0), (0, 0)]), "1", "t")
    assert six_v(tetra) == 2
    with pytest.raises(ValueError, match="^chamfer: non-rational edge length$"):
        tetra.chamfer("1/10")


def test_distance_zero_and_bad_distances():
    box = q.make_box("2", "3", "5", "b")
    assert box.chamfer("0").canonical() == box.canonical()
    assert box.chamfer(dist="0").volume6_str() == "180/1"
    with pytest.raises(ValueError, match="^chamfer: negative distance$"):
        box.chamfer("-1/10")
    with pytest.raises(TypeError, match="dist"):
        box.chamfer(0.1)
    with pytest.raises(TypeError):
        box.chamfer()
    with pytest.raises(BaseException) as info:
        box.chamfer("a tenth")
    assert type(info.value).__name__ == "PanicException"


def test_distance_beyond_the_faces_does_not_fail():
    # From d = 1/2 on, the unit cube's bevels overrun each other and the
    # corner trims leave the octahedron |x-1/2| + |y-1/2| + |z-1/2| <= 3/2 - 2d.
    box = q.make_box("1", "1", "1", "b")
    for d in [Fraction(1, 2), Fraction(3, 5)]:
        r = box.chamfer(str(d))
        radius = Fraction(3, 2) - 2 * d
        assert six_v(r) == 6 * Fraction(4, 3) * radius**3
        assert r.logical_faces() == 8
        assert r.watertight_ok()


def test_reflex_edges_stay_sharp():
    # The L-plate's vertical edge at (1, 1) is reflex: a subtracted cutter
    # there would cut into the plate across the edge, so it is left alone.
    plate = q.make_prism(flat([(0, 0), (2, 0), (2, 1), (1, 1), (1, 2), (0, 2)]), "1", "L")
    d = Fraction(1, 10)
    r = plate.chamfer(str(d))
    assert r.watertight_ok()
    probe = q.make_box("1/50", "1/50", "1/5", "probe").translate("99/100", "99/100", "2/5")
    assert six_v(r.boolean("intersect", probe)) == six_v(plate.boolean("intersect", probe))
    assert six_v(r) < six_v(plate)


def test_zero_distance_and_empty_solids_are_returned_unchanged():
    diamond = q.make_prism(flat([(1, 0), (2, 1), (1, 2), (0, 1)]), "1", "d")
    assert diamond.chamfer("0").canonical() == diamond.canonical()
    empty = q.make_box("0", "0", "0", "e")
    assert empty.chamfer("1/10").canonical() == ""
    with pytest.raises(ValueError, match="negative"):
        empty.chamfer("-1")


def test_distance_that_consumes_the_solid_leaves_nothing():
    # At d = 1 the bevels of opposite edges of the unit cube meet in the
    # planes x + y = 1 and so on: nothing of positive volume is left, and
    # later cutters must not come back inside out.
    for d in ["1", "2"]:
        r = q.make_box("1", "1", "1", "b").chamfer(d)
        assert r.volume6_str() == "0/1"
        assert r.canonical() == ""
