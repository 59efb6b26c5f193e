"""Chamfers of solids that are not convex: each cutter takes its own edge's
bevel and nothing else.

Expected numbers come from what a solid is made of, never from the chamfer:
the outline of a prism gives the exact volume its bevels take and the planes
its faces lie in; the unit cells a solid is made of give the material of
every probe box kept 3 * dist away from every edge, and a bound on what the
bevels of its convex edges can take.
"""

import itertools
import math
from fractions import Fraction as F

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import quillstone as q
from support import text

D = F(1, 20)


def flat(pts):
    return [text(c) for p in pts for c in p]


def v6(solid):
    return F(solid.volume6_str())


def box(dx, dy, dz, at=(0, 0, 0)):
    return q.make_box(text(dx), text(dy), text(dz), "b").translate(*map(text, at))


L_PLATE = [(0, 0), (2, 0), (2, 1), (1, 1), (1, 2), (0, 2)]


def staircase(k):
    pts = [(0, 0), (k, 0)]
    for i in range(k):
        pts.append((k - i, i + 1))
        if i + 1 < k:
            pts.append((k - i - 1, i + 1))
    return pts + [(0, k)]


# A square spiral: the lines of most of its edges leave the solid at a convex
# corner and enter it again further on.
SPIRAL = [(0, 0), (6, 0), (6, 6), (1, 6), (1, 2), (4, 2), (4, 4), (3, 4), (3, 3), (2, 3),
          (2, 5), (5, 5), (5, 1), (0, 1)]
OUTLINES = {"L plate": L_PLATE, "staircase": staircase(4), "spiral": SPIRAL}


# --- Prisms over rectilinear outlines --------------------------------------


def area2(pts):
    n = len(pts)
    return sum(pts[i][0] * pts[(i + 1) % n][1] - pts[(i + 1) % n][0] * pts[i][1] for i in range(n))


def corners(pts):
    """(convex, reflex) vertex counts."""
    n, sign = len(pts), 1 if area2(pts) > 0 else -1
    convex = 0
    for i in range(n):
        (ax, ay), (bx, by), (cx, cy) = pts[i - 1], pts[i], pts[(i + 1) % n]
        convex += sign * ((bx - ax) * (cy - by) - (by - ay) * (cx - bx)) > 0
    return convex, n - convex


def removed_from_prism(pts, h, d):
    """Each bevel takes its length times d^2/2; at an outside corner the three
    bevels overlap and the corner trim leaves 2d^3/3 of that in place; each
    inside corner's mitre takes a pyramid of d^3/3 more."""
    n = len(pts)
    perimeter = sum(abs(pts[(i + 1) % n][0] - pts[i][0]) + abs(pts[(i + 1) % n][1] - pts[i][1])
                    for i in range(n))
    c, r = corners(pts)
    return (perimeter + c * F(h) / 2) * d * d - (4 * c - 2 * r) * d**3 / 3


def plane(a, b, c, k):
    """Unoriented plane a x + b y + c z = k, scaled to a first coefficient of 1."""
    lead = next(v for v in (a, b, c) if v)
    return tuple(F(v) / lead for v in (a, b, c, k))


def prism_planes(pts, h, d):
    """The planes of the chamfered prism: caps, sides, a bevel above and below
    each side, and at each convex corner a vertical bevel and two corner
    triangles."""
    n, sign = len(pts), 1 if area2(pts) > 0 else -1
    sides = []
    for i in range(n):
        (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
        nx, ny = sign * (by - ay), -sign * (bx - ax)  # outward, axis-aligned
        length = abs(nx) + abs(ny)
        nx, ny = nx // length, ny // length
        sides.append((nx, ny, nx * ax + ny * ay))
    out = {plane(0, 0, 1, 0), plane(0, 0, 1, h)}
    for nx, ny, o in sides:
        out |= {plane(nx, ny, 0, o), plane(nx, ny, 1, o + h - d), plane(nx, ny, -1, o - d)}
    for i in range(n):
        (x1, y1, o1), (x2, y2, o2) = sides[i - 1], sides[i]
        (ax, ay), (bx, by), (cx, cy) = pts[i - 1], pts[i], pts[(i + 1) % n]
        if sign * ((bx - ax) * (cy - by) - (by - ay) * (cx - bx)) > 0:
            nx, ny, o = x1 + x2, y1 + y2, o1 + o2
            out |= {plane(nx, ny, 0, o - d), plane(nx, ny, 1, o + h - 2 * d),
                    plane(nx, ny, -1, o - 2 * d)}
    return out


def face_points(solid):
    return [[tuple(F(c) for c in p.split(",")) for p in face.split("|")]
            for face in solid.canonical().split(";") if face]


def planes_of(solid):
    out = set()
    for pts in face_points(solid):
        p0 = pts[0]
        for p1, p2 in itertools.combinations(pts[1:], 2):
            u = [a - b for a, b in zip(p1, p0)]
            v = [a - b for a, b in zip(p2, p0)]
            n = (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])
            if any(n):
                out.add(plane(*n, sum(a * b for a, b in zip(n, p0))))
                break
    return out


@pytest.mark.parametrize("name", OUTLINES)
@pytest.mark.parametrize("h", [1, 2])
def test_rectilinear_prism_loses_exactly_its_bevels(name, h):
    pts = OUTLINES[name]
    d = F(1, 10)
    s = q.make_prism(flat(pts), str(h), "s")
    r = s.chamfer(text(d))
    assert v6(s) - v6(r) == 6 * removed_from_prism(pts, h, d)
    assert r.watertight_ok()
    assert r.bbox() == s.bbox()
    assert planes_of(r) == prism_planes(pts, h, d)
    assert r.logical_faces() == len(prism_planes(pts, h, d))


def test_logical_faces_are_3n_plus_3c_plus_2_when_no_two_planes_agree():
    # An L with arms of unequal length, so no two corners share a plane.
    pts = [(0, 0), (5, 0), (5, 2), (2, 2), (2, 3), (0, 3)]
    c, _ = corners(pts)
    assert len(prism_planes(pts, 1, F(1, 10))) == 3 * len(pts) + 3 * c + 2
    r = q.make_prism(flat(pts), "1", "s").chamfer("1/10")
    assert r.logical_faces() == 3 * len(pts) + 3 * c + 2


# Skylines: unit-based columns of distinct heights on a common floor, so that
# no two sides share a line.
@st.composite
def skylines(draw):
    n = draw(st.integers(2, 5))
    widths = draw(st.lists(st.integers(1, 3), min_size=n, max_size=n))
    heights = draw(st.permutations(range(1, n + 2)))[:n]
    xs = list(itertools.accumulate([0] + widths))
    pts = [(0, 0), (xs[-1], 0)]
    for i in reversed(range(n)):
        pts += [(xs[i + 1], heights[i]), (xs[i], heights[i])]
    return pts


transforms = st.sampled_from([
    ("rotate_quarter", (0, 1)), ("rotate_quarter", (1, 3)), ("rotate_quarter", (2, 2)),
    ("mirror", (0,)), ("mirror", (2,)), ("translate", ("1/3", "-2", "5/7")),
])


@settings(max_examples=25, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(skylines(), st.integers(1, 2), st.lists(transforms, max_size=3))
def test_moved_skyline_prism_loses_exactly_its_bevels(pts, h, moves):
    d = F(1, 10)
    s = q.make_prism(flat(pts), str(h), "s")
    for name, args in moves:
        s = getattr(s, name)(*args)
    r = s.chamfer(text(d))
    assert v6(s) - v6(r) == 6 * removed_from_prism(pts, h, d)
    assert r.watertight_ok()
    assert r.bbox() == s.bbox()
    assert r.logical_faces() == len(prism_planes(pts, h, d))


# --- Solids as unit cells: probes and bounds -------------------------------


def prism_cells(pts, h):
    """Unit cells whose centre lies inside the outline, in h layers."""
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    n, cells = len(pts), set()
    for i in range(min(xs), max(xs)):
        for j in range(min(ys), max(ys)):
            cx, cy = i + F(1, 2), j + F(1, 2)
            crossings = sum(1 for k in range(n)
                            if pts[k][0] == pts[(k + 1) % n][0] > cx
                            and min(pts[k][1], pts[(k + 1) % n][1]) < cy
                            < max(pts[k][1], pts[(k + 1) % n][1]))
            if crossings % 2:
                cells |= {(i, j, k) for k in range(h)}
    return cells


def box_cells(lo, hi):
    return set(itertools.product(*[range(a, b) for a, b in zip(lo, hi)]))


def edges(cells):
    """Unit grid segments (start, axis, occupied) where the solid has an edge:
    one of the four cells round the segment occupied (convex), three
    (reflex), or two across a diagonal."""
    out = {}
    for cell in cells:
        for axis in range(3):
            b, c = (axis + 1) % 3, (axis + 2) % 3
            for db, dc in itertools.product((0, 1), repeat=2):
                g = list(cell)
                g[b] += db
                g[c] += dc
                g = tuple(g)
                if (g, axis) in out:
                    continue
                round_it = []
                for ob, oc in itertools.product((-1, 0), repeat=2):
                    x = list(g)
                    x[b] += ob
                    x[c] += oc
                    round_it.append(tuple(x) in cells)
                k = sum(round_it)
                if k in (1, 3) or (k == 2 and round_it[0] == round_it[3]):
                    out[(g, axis)] = k
    return out


def overlap(cells, lo, hi):
    """Volume of the cells inside the box from lo to hi."""
    total = F(0)
    ranges = [range(math.floor(a), math.ceil(b)) for a, b in zip(lo, hi)]
    for cell in itertools.product(*ranges):
        if cell in cells:
            v = F(1)
            for t in range(3):
                v *= min(hi[t], cell[t] + 1) - max(lo[t], cell[t])
            total += v
    return total


def probes(cells, d):
    """Boxes of side 1/2 round points of the half-unit lattice, at least 3d
    from every edge in the max norm (never more than the true distance), that
    hold some material. With 3d below 1/4, a box comes that close to a
    segment only when its centre has the segment's two other coordinates."""
    assert 3 * d < F(1, 4)
    es = edges(cells)
    span = [range(2 * min(c[t] for c in cells) - 1, 2 * max(c[t] for c in cells) + 4)
            for t in range(3)]
    out = []
    for centre in itertools.product(*span):
        c = [F(v, 2) for v in centre]
        near = False
        for a in range(3):
            if any(c[t].denominator != 1 for t in range(3) if t != a):
                continue
            g = [int(v) for v in c]
            # Segments from g_a to g_a + 1 within 1/4 + 3d of the box along a.
            for start in range(math.floor(c[a]) - 1, math.floor(c[a]) + 1):
                g[a] = start
                near = near or (tuple(g), a) in es
        lo, hi = [v - F(1, 4) for v in c], [v + F(1, 4) for v in c]
        if not near and overlap(cells, lo, hi) > 0:
            out.append((lo, hi))
    return out


def notch():
    return box(2, 2, 2).boolean("cut", box(2, 2, 2, (1, 1, 1))), \
        box_cells((0, 0, 0), (2, 2, 2)) - {(1, 1, 1)}


def through_slot():
    return box(3, 2, 1).boolean("cut", box(1, 2, 3, (1, 1, -1))), \
        box_cells((0, 0, 0), (3, 2, 1)) - {(1, 1, 0)}


def step():
    return box(2, 1, 2).boolean("cut", box(2, 3, 2, (1, -1, 1))), \
        box_cells((0, 0, 0), (2, 1, 2)) - {(1, 0, 1)}


def pocket():
    return box(3, 3, 2).boolean("cut", box(1, 1, 2, (1, 1, 1))), \
        box_cells((0, 0, 0), (3, 3, 2)) - {(1, 1, 1)}


def boss():
    return box(3, 3, 1).boolean("union", box(1, 1, 1, (1, 1, 1))), \
        box_cells((0, 0, 0), (3, 3, 1)) | {(1, 1, 1)}


BOOLEAN_SOLIDS = {"notch": notch, "through slot": through_slot, "step": step,
                  "pocket": pocket, "boss": boss}


def cases():
    for name, pts in OUTLINES.items():
        yield name, lambda pts=pts: (q.make_prism(flat(pts), "2", "s"), prism_cells(pts, 2))
    yield from BOOLEAN_SOLIDS.items()


@pytest.mark.parametrize("name, make", list(cases()), ids=[c[0] for c in cases()])
def test_probes_away_from_every_edge_keep_their_material(name, make):
    solid, cells = make()
    assert 6 * overlap(cells, (-9,) * 3, (9,) * 3) == v6(solid)
    r = solid.chamfer(text(D))
    boxes = probes(cells, D)
    assert boxes
    for lo, hi in boxes:
        probe = box(*[b - a for a, b in zip(lo, hi)], lo)
        assert v6(r.boolean("intersect", probe)) == 6 * overlap(cells, lo, hi), (lo, hi)


@pytest.mark.parametrize("name", BOOLEAN_SOLIDS)
def test_solids_from_booleans_lose_at_most_their_bevels(name):
    solid, cells = BOOLEAN_SOLIDS[name]()
    convex = sum(1 for k in edges(cells).values() if k == 1)
    for d in (F(1, 10), F(1, 4)):
        r = solid.chamfer(text(d))
        # A bevel runs out at most d past either end of its unit of edge.
        bound = convex * (1 + 2 * d) * d * d / 2
        assert 0 < v6(solid) - v6(r) <= 6 * bound
        assert r.watertight_ok()
        assert r.bbox() == solid.bbox()


@pytest.mark.parametrize("d", ["1/2", "1", "3", "1000000000000"])
def test_distance_beyond_the_features_leaves_a_closed_part_of_the_solid(d):
    solids = [q.make_prism(flat(pts), "1", "s") for pts in OUTLINES.values()]
    solids += [make()[0] for make in BOOLEAN_SOLIDS.values()]
    for s in solids:
        r = s.chamfer(d)
        assert r.watertight_ok()
        assert 0 <= v6(r) <= v6(s)
        # Only material is taken away: what is left lies inside the solid.
        if r.canonical():
            assert v6(r.boolean("intersect", s)) == v6(r)
