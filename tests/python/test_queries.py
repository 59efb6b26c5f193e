"""watertight_ok, logical_faces and bbox, with properties over random prisms."""

import math
from fractions import Fraction

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import quillstone as q
from support import panic_of, text

HAS_OPS = hasattr(q.PySolid, "boolean")
needs_ops = pytest.mark.skipif(not HAS_OPS, reason="transforms and booleans not built yet")
SETTINGS = settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.too_slow])


# Star-shaped simple polygons around the origin: distinct integer directions
# sorted by angle, each scaled by a positive rational radius. The four axis
# directions keep every angular gap below a half turn, so the loop is simple.
AXES = [(1, 0), (0, 1), (-1, 0), (0, -1)]
direction = st.tuples(st.integers(-3, 3), st.integers(-3, 3)).filter(lambda d: d != (0, 0))
# Small whole radii put vertices on other vertices' diagonals often.
radius = st.one_of(st.integers(1, 3).map(Fraction),
                   st.fractions(min_value=Fraction(1, 8), max_value=Fraction(9), max_denominator=12))


def primitive(d):
    g = math.gcd(*d)
    return (d[0] // g, d[1] // g)


@st.composite
def star_polygons(draw):
    dirs = {primitive(d) for d in draw(st.lists(direction, max_size=10))} | set(AXES)
    dirs = sorted(dirs, key=lambda d: math.atan2(d[1], d[0]))
    pts = [(r * dx, r * dy) for (dx, dy), r in
           zip(dirs, draw(st.lists(radius, min_size=len(dirs), max_size=len(dirs))))]
    if draw(st.booleans()):
        pts.reverse()
    return pts


def area2(pts):
    n = len(pts)
    return sum(pts[i][0] * pts[(i + 1) % n][1] - pts[(i + 1) % n][0] * pts[i][1] for i in range(n))


def bottom_triangles(solid):
    """The cap triangles at z = 0, read back from the canonical text."""
    tris = []
    for face in solid.canonical().split(";"):
        pts = [tuple(Fraction(c) for c in p.split(",")) for p in face.split("|")]
        if len(pts) == 3 and all(p[2] == 0 for p in pts):
            tris.append([p[:2] for p in pts])
    return tris


def flat(pts):
    return [text(c) for p in pts for c in p]


heights = st.fractions(min_value=Fraction(1, 9), max_value=Fraction(5), max_denominator=9)


@SETTINGS
@given(star_polygons(), heights)
def test_random_prism_is_closed_with_exact_volume(pts, h):
    s = q.make_prism(flat(pts), text(h), "s")
    assert s.watertight_ok()
    assert Fraction(s.volume6_str()) == 3 * abs(area2(pts)) * h
    # The caps tile the polygon: no triangle overlaps another or leaves it.
    assert sum(abs(area2(t)) for t in bottom_triangles(s)) == abs(area2(pts))
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    assert s.bbox() == [float(min(xs)), float(min(ys)), 0.0,
                        float(max(xs)), float(max(ys)), float(h)]


def test_query_results_on_the_surface():
    unit = q.make_box("1", "1", "1", "b")
    assert unit.watertight_ok() is True and unit.logical_faces() == 6
    assert not q.make_prismatoid(["0", "0", "1", "0", "1", "1", "0", "1"], "0",
                                 ["0", "0", "1", "0", "1", "1", "0", "1", "1/2", "2"], "1",
                                 "p").watertight_ok()
    empty = q.make_box("0", "0", "0", "b")
    assert empty.watertight_ok() and empty.logical_faces() == 0
    exc = panic_of(empty.bbox)
    assert exc.args == ("index out of bounds: the len is 0 but the index is 0",)
    assert q.make_box("-1", "2", "1/3", "b").bbox() == [-1.0, 0.0, 0.0, 0.0, 2.0, 0.3333333333333333]
    big = q.make_box("1" + "0" * 400, "1", "1", "b").bbox()
    assert big[3] == math.inf and big[4] == 1.0
    for name in ("watertight_ok", "logical_faces", "bbox"):
        with pytest.raises(TypeError):
            getattr(unit, name)(1)


@needs_ops
def test_queries_after_transforms_worked_cases():
    unit = q.make_box("1", "1", "1", "b")
    assert unit.translate("1/2", "0", "0").bbox() == [0.5, 0.0, 0.0, 1.5, 1.0, 1.0]
    assert unit.mirror(2).bbox() == [0.0, 0.0, -1.0, 1.0, 1.0, 0.0]
    assert unit.scale("0", "1", "1").logical_faces() == 2
    assert unit.rotate_quarter(1, 3).watertight_ok()


transforms = st.one_of(
    st.tuples(st.just("translate"), st.tuples(*[st.fractions(-5, 5, max_denominator=7)] * 3)),
    st.tuples(st.just("scale"),
              st.tuples(*[st.fractions(-3, 3, max_denominator=5).filter(bool)] * 3)),
    st.tuples(st.just("mirror"), st.tuples(st.integers(0, 2))),
    st.tuples(st.just("rotate_quarter"), st.tuples(st.integers(0, 2), st.integers(-5, 5))),
)


def apply(solid, t):
    name, args = t
    if name in ("translate", "scale"):
        return getattr(solid, name)(*[text(a) for a in args])
    return getattr(solid, name)(*args)


@needs_ops
@SETTINGS
@given(star_polygons(), heights, st.lists(transforms, min_size=1, max_size=3))
def test_transforms_keep_closedness_and_plane_count(pts, h, ts):
    s = q.make_prism(flat(pts), text(h), "s")
    t = s
    for step in ts:
        t = apply(t, step)
    assert t.watertight_ok()
    assert t.logical_faces() == s.logical_faces()


@needs_ops
@SETTINGS
@given(star_polygons(), heights, st.tuples(*[st.fractions(-7, 7, max_denominator=9)] * 3))
def test_bbox_of_translated_prism_is_translated(pts, h, shift):
    s = q.make_prism(flat(pts), text(h), "s").translate(*[text(c) for c in shift])
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    lo = [min(xs) + shift[0], min(ys) + shift[1], shift[2]]
    hi = [max(xs) + shift[0], max(ys) + shift[1], h + shift[2]]
    assert s.bbox() == [float(v) for v in lo + hi]


@needs_ops
@SETTINGS
@given(star_polygons(), heights, star_polygons(), heights,
       st.tuples(*[st.fractions(-3, 3, max_denominator=4)] * 3),
       st.sampled_from(["union", "cut", "intersect"]))
def test_booleans_of_closed_solids_are_closed(pa, ha, pb, hb, shift, op):
    a = q.make_prism(flat(pa), text(ha), "a")
    b = q.make_prism(flat(pb), text(hb), "b").translate(*[text(c) for c in shift])
    r = a.boolean(op, b)
    assert r.watertight_ok()
    # A box against the prism as well: mixed face counts and T-junctions.
    box = q.make_box("3", "2", text(hb), "c").translate(*[text(c) for c in shift])
    assert a.boolean(op, box).watertight_ok()
