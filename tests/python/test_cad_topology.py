"""Logical faces and edges: the same counts, loops and edges whatever the
booleans split, checked against the same shapes built without splits and,
for random unions of unit cubes, against faces found independently from
the cubes' boundary squares."""

import itertools
import random
from fractions import Fraction

import pytest

import quillstone_cad as qc


def summary(part):
    """What a CAD user sees, independent of order: each face as its plane,
    its outer loop's points and its holes' point sets; each edge as its two
    end points, two planes and convexity."""
    faces = {(f.plane, frozenset(f.outer), frozenset(frozenset(h) for h in f.holes))
             for f in part.faces()}
    edges = {(frozenset((e.start, e.end)), frozenset(f.plane for f in e.faces), e.convex)
             for e in part.edges()}
    return faces, edges


def plate_with_holes(order):
    plate = qc.box(9, 9, 1)
    holes = [(1 + 3 * i, 1 + 3 * j) for i in range(3) for j in range(3)]
    for k in order:
        plate = plate - qc.box(1, 1, 3).moved(*holes[k], -1)
    return plate


CASES = [
    # (built without splits, the same built with splits)
    (qc.box(2, 1, 1), qc.box(1, 1, 1) | qc.box(1, 1, 1).moved(1)),
    (qc.prism([(0, 0), (4, 0), (4, 1), (1, 1), (1, 3), (0, 3)], 2),
     qc.box(4, 1, 2) | qc.box(1, 3, 2) | qc.box(2, 2, 2).moved(0, 0, 0) - qc.box(1, 1, 9).moved(1, 1, -1)),
    (qc.extrude([(0, 0), (6, 0), (6, 6), (0, 6)], [[(2, 2), (2, 4), (4, 4), (4, 2)]], 1),
     qc.box(6, 2, 1) | qc.box(6, 2, 1).moved(0, 4) | qc.box(2, 6, 1) | qc.box(2, 6, 1).moved(4)),
    (plate_with_holes(range(9)), plate_with_holes([4, 0, 8, 2, 6, 1, 7, 3, 5])),
]


@pytest.mark.parametrize("plain,split", CASES)
def test_faces_and_edges_do_not_see_the_split(plain, split):
    assert plain == split
    assert summary(split) == summary(plain)
    assert sum(f.area for f in split.faces()) == pytest.approx(plain.area, rel=1e-12)
    for f in split.faces():
        n = f.normal
        # Every loop point lies on the plane; the outer loop turns the way the
        # normal says, the holes the other way.
        for loop, sign in [(f.outer, 1)] + [(h, -1) for h in f.holes]:
            assert all(sum(a * b for a, b in zip(n, p)) == f.plane[3] for p in loop)
            area = [Fraction(0)] * 3
            for p, q in zip(loop, loop[1:] + loop[:1]):
                c = (p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0])
                area = [x + y for x, y in zip(area, c)]
            assert sign * sum(a * b for a, b in zip(area, n)) > 0
    # Each edge lies in both its faces' loops, once each way.
    for e in split.edges():
        for f in e.faces:
            loops = [f.outer, *f.holes]
            steps = {(p, q) for loop in loops for p, q in zip(loop, loop[1:] + loop[:1])}
            assert (e.start, e.end) in steps or (e.end, e.start) in steps


def test_the_counts_of_known_shapes():
    plate = plate_with_holes(range(9))
    assert (len(plate.faces()), len(plate.edges())) == (6 + 9 * 4, 12 + 9 * 12)
    assert len(plate.edges().reflex()) == 9 * 4  # the holes' vertical corners
    top = plate.faces().facing("z")
    assert len(top) == 1 and len(top[0].holes) == 9 and top[0].labels == ("box.top",)
    # Two cubes that share only an edge: the edge carries four faces, and
    # each face pairs with the one that closes its own cube.
    pair = qc.box(1, 1, 1) | qc.box(1, 1, 1).moved(1, 1, 0)
    assert (len(pair.faces()), len(pair.edges())) == (12, 24)
    assert all(len(f.outer) == 4 for f in pair.faces())
    for e in pair.edges():
        f, g = e.faces
        assert f.shell == g.shell
    assert len({f.shell for f in pair.faces()}) == 2
    # Tops of one plane: (corners of the outer loop, holes, area) of each.
    for part, tops in [
        # Two regions that touch at a point stay two faces.
        (qc.box(2, 2, 1) - qc.box(1, 1, 3).moved(0, 0, -1) - qc.box(1, 1, 3).moved(1, 1, -1),
         [(4, 0, 1), (4, 0, 1)]),
        # An island in a hole: the hole belongs to the face around it.
        ((qc.box(6, 6, 1) - qc.box(4, 4, 3).moved(1, 1, -1)) | qc.box(2, 2, 1).moved(2, 2),
         [(4, 1, 20), (4, 0, 4)]),
        # A hole whose corner touches a notch of the outline: one face.
        (qc.box(4, 4, 1) - qc.box(1, 1, 3).moved(1, 1, -1) - qc.box(1, 1, 3).moved(0, 0, -1),
         [(6, 1, 14)]),
    ]:
        got = [(len(f.outer), len(f.holes), f.area) for f in part.faces().facing("z")]
        assert sorted(got) == sorted(tops)


def test_selections():
    part = qc.box(4, 2, 1) - qc.box(1, 1, 3, label="hole").moved(1, "1/2", -1)
    edges = part.edges()
    vertical = edges.parallel_to("z")
    assert len(vertical) == 8 and all(e.direction[:2] == (0, 0) for e in vertical)
    top = part.faces().max("z")
    assert len(top) == 1 and top[0].center[2] == 1
    assert set(edges.of(top[0])) == set(top[0].edges) and len(top[0].edges) == 8
    right = edges.max("x")
    assert len(right) == 4 and {e.center[0] for e in right} == {4}
    assert edges.max("x").max("z") == edges.of(top[0]).max("x")
    assert len(edges.min("x")) == 4
    holes = edges.labelled("hole")
    assert len(holes) == 12 and holes == edges.where(lambda e: any(
        lab.startswith("hole.") for lab in e.labels))
    assert (vertical | holes) - (vertical & holes) == (vertical - holes) | (holes - vertical)
    assert len(vertical & holes) == 4 and len(edges.reflex()) == 4
    assert edges.parallel_to((1, 0, 0)) == edges.parallel_to("x")
    assert list(edges[2:4]) == [edges[2], edges[3]]
    with pytest.raises(ValueError):
        edges | qc.box(1, 1, 1).edges()
    with pytest.raises(ValueError, match="axis"):
        edges.max("w")
    assert sum(f.area for f in part.faces()) == pytest.approx(part.area)


def voxel_faces(cells):
    """The logical faces of a union of unit cubes, found from the boundary
    squares: squares of one plane and side that share a side join."""
    cells = set(cells)
    squares = []
    for c in cells:
        for axis, side in itertools.product(range(3), (-1, 1)):
            n = list(c)
            n[axis] += side
            if tuple(n) not in cells:
                squares.append((c, axis, side))
    index = {s: i for i, s in enumerate(squares)}
    parent = list(range(len(squares)))

    def root(i):
        while parent[i] != i:
            parent[i] = parent[parent[i]]
            i = parent[i]
        return i

    for (c, axis, side) in squares:
        for other in range(3):
            if other == axis:
                continue
            for step in (-1, 1):
                n = list(c)
                n[other] += step
                t = (tuple(n), axis, side)
                if t in index:
                    parent[root(index[t])] = root(index[(c, axis, side)])
    return len({root(i) for i in range(len(squares))}), len(squares)


def test_random_unions_of_cubes_against_their_squares():
    rng = random.Random(22)
    for _ in range(6):
        cells = {(rng.randrange(3), rng.randrange(3), rng.randrange(2)) for _ in range(7)}
        part = qc.union(qc.box(1, 1, 1).moved(*c) for c in cells)
        faces, squares = voxel_faces(cells)
        assert len(part.faces()) == faces, cells
        assert sum(f.area for f in part.faces()) == pytest.approx(squares)
        # Every loop edge of every face is one of the part's edges, and each
        # edge is in the loops of its two faces.
        steps = 0
        for f in part.faces():
            steps += sum(len(loop) for loop in [f.outer, *f.holes])
        assert steps == 2 * len(part.edges())
