"""Placements and the round builders: exact rotations within their
tolerance, general affine maps against the points they map, and faces
that keep rational unit normals so the chamfer takes them."""

import math
import random
from fractions import Fraction

import pytest

import quillstone_cad as qc
import quillstone_io as qio
from quillstone_cad import _rotation


def is_square(q):
    q = Fraction(q)
    return q >= 0 and all(math.isqrt(n) ** 2 == n for n in (q.numerator, q.denominator))


def rational_unit_normals(part):
    return all(is_square(sum(Fraction(c) ** 2 for c in normal))
               for _, _, normal, _ in qio.faces(part.solid))


def test_rotations_are_exactly_orthogonal_and_within_tolerance():
    rng = random.Random(4)
    axes = ["x", "y", "z", 2, (0, 0, -3), (1, 2, 2), (1, 1, 0), (-2, 3, 7)]
    for _ in range(60):
        axis = rng.choice(axes)
        degrees = rng.choice([rng.uniform(-720, 720), rng.randint(-8, 8) * 45, 179.9999])
        tol = rng.choice([1e-12, 1e-6, 0.5, "1/1000"])
        m = qc.rotation_matrix(axis, degrees, tol)
        for i in range(3):
            for j in range(3):
                assert sum(m[i][k] * m[j][k] for k in range(3)) == (i == j)
        det = sum(m[0][i] * (m[1][(i + 1) % 3] * m[2][(i + 2) % 3]
                             - m[1][(i + 2) % 3] * m[2][(i + 1) % 3]) for i in range(3))
        assert det == 1
        u = [float(c) for c in _rotation.axis_vector(axis)]
        assert all(math.isclose(sum(float(m[i][k]) * u[k] for k in range(3)), u[i],
                                abs_tol=1e-12) for i in range(3))  # the axis stays
        turned = qc.rotation_angle(degrees, tol, axis)
        off = (turned - degrees + 180) % 360 - 180
        assert abs(off) <= float(Fraction(tol)) * (1 + 1e-6) + 1e-12
    # Quarter turns are exact even with tol=0, and match the kernel's.
    brick = qc.box(2, 1, 1)
    assert qc.rotation_angle(90, 0) == 90.0
    assert brick.rotated("z", 90, tol=0).solid.canonical() == \
        brick.solid.rotate_quarter(2, 1).canonical()
    with pytest.raises(ValueError, match="tol"):
        brick.rotated("z", 30, tol=0)


def test_a_simple_angle_gives_short_numbers_and_rotations_compose():
    # 2 atan(1/2) is the angle of the 3-4-5 triangle.
    m = qc.rotation_matrix("z", math.degrees(2 * math.atan(0.5)))
    assert (m[0][0], m[1][0]) == (Fraction(3, 5), Fraction(4, 5))
    part = qc.box(3, 2, 1).moved(-1, 0, 0)
    about = (Fraction(1, 3), 2, -1)
    once = part.rotated((1, 1, 1), 120, center=about)
    # Three turns of 120 degrees about (1, 1, 1) permute the axes: exactly back.
    assert once.rotated((1, 1, 1), 120, center=about).rotated(
        (1, 1, 1), 120, center=about) == part
    assert once.volume == part.volume and once != part


def test_transformed_maps_every_vertex_and_keeps_the_faces_outward():
    rng = random.Random(7)
    part = qc.box(1, 2, 3) | qc.box(2, 1, 1).moved(1, 1, 1)
    for _ in range(8):
        m = [[Fraction(rng.randint(-4, 4), rng.randint(1, 3)) for _ in range(4)]
             for _ in range(3)]
        lin = [r[:3] for r in m]
        det = sum(lin[0][i] * (lin[1][(i + 1) % 3] * lin[2][(i + 2) % 3]
                               - lin[1][(i + 2) % 3] * lin[2][(i + 1) % 3]) for i in range(3))
        if det == 0:
            with pytest.raises(ValueError, match="singular"):
                part.transformed(m)
            continue
        moved = part.transformed(m + [[0, 0, 0, 1]])
        assert moved.volume == part.volume * abs(det)
        want = [[sum(r[k] * Fraction(c) for k, c in enumerate(v)) + r[3] for r in m]
                for _, verts, _, _ in qio.faces(part.solid) for v in verts]
        got = [[Fraction(c) for c in v] for _, verts, _, _ in qio.faces(moved.solid)
               for v in verts]
        assert got == want or sorted(got) == sorted(want)  # loops reversed when det < 0
        # Every stored plane agrees with its loop, turned outward: the checks
        # of from_faces pass and the shell is closed.
        assert qio.from_faces(qio.faces(moved.solid)).volume6_str() == \
            moved.solid.volume6_str()
    assert part.transformed([[-1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0]]) == part.mirrored("x")
    assert part.scaled(-1, 2, 1) == part.mirrored(0).transformed(
        [[1, 0, 0, 0], [0, 2, 0, 0], [0, 0, 1, 0]])
    assert part.scaled(2).volume == 8 * part.volume


def test_round_builders_have_rational_unit_normals_so_they_chamfer():
    for segments in (3, 5, 8, 12, 32, 61):
        cyl = qc.cylinder(1, 2, segments=segments)
        assert rational_unit_normals(cyl)
        assert qc.cylinder(1, 2, segments=segments) == cyl  # the same every time
        pts = qc.circle(1, segments=segments)
        assert len(pts) == segments and pts[0][0] == 1  # circumscribed, first side at x = 1
        assert cyl.volume > math.pi * 2  # circumscribed
        assert cyl.volume < math.pi * 2 / math.cos(math.pi / segments) ** 2 * 1.05
    tilted = qc.cylinder(1, 2, segments=16).rotated((1, 2, 3), 37)
    assert rational_unit_normals(tilted)
    bevelled = tilted.chamfer("1/20")
    assert bevelled.is_closed and bevelled.volume < tilted.volume
    frustum = qc.cone(5, 2, 4, segments=10)  # slant 3-4-5
    assert rational_unit_normals(frustum)
    assert not rational_unit_normals(qc.cone(2, 1, 1, segments=10))


def test_extrude_with_holes_and_its_refusals():
    outline = [(0, 0), (4, 0), (4, 1), (1, 1), (1, 3), (0, 3)]
    holes = [qc.circle("1/4", center=(3, "1/2")), qc.circle("1/4", center=("1/2", 2))]
    plate = qc.extrude(outline, holes, "1/2")
    cuts = qc.prism(outline, "1/2") - qc.prism(holes[0], "1/2") - qc.prism(holes[1], "1/2")
    assert plate == cuts and plate.is_closed
    with pytest.raises(ValueError, match="holes"):
        qc.extrude(outline, [qc.circle(1, center=(3, "1/2"))], 1)
    with pytest.raises(ValueError, match=r"holes\[1\]"):
        qc.extrude(outline, [holes[0], [(0, 0), (1, 1)]], 1)
    with pytest.raises(ValueError, match="points"):
        qc.prism([(0, 0), (2, 2), (2, 0), (0, 2)], 1)  # a bow tie
