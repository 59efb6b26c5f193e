"""quillstone_cad.Part: exact equality whatever the faces' split, a hash
that agrees with it, and the exact measures against independent
computations: closed forms, a decomposition into boxes, trimesh, and
square roots summed in 60 digits."""

import itertools
import math
import pickle
import random
from decimal import Decimal, localcontext
from fractions import Fraction

import pytest

import quillstone as qs
import quillstone_cad as qc
import quillstone_io as qio


def box_at(size, at=(0, 0, 0)):
    return qc.box(*size).moved(*at)


def test_equality_is_of_point_sets_and_the_hash_agrees():
    whole = qc.box(2, 1, 1)
    halves = qc.box(1, 1, 1) | qc.box(1, 1, 1).moved(1)
    assert whole.solid.canonical() != halves.solid.canonical()  # split differently
    assert whole == halves and hash(whole) == hash(halves) and len({whole, halves}) == 1
    # The same box three more ways: by a quarter turn, by a mirror, as an extrusion.
    turned = qc.box(1, 2, 1).rotated("z", -90).moved(0, 1)
    assert turned == whole and hash(turned) == hash(whole)
    assert qc.box(2, 1, 1).mirrored("x").moved(2) == whole
    assert qc.prism([(0, 0), (2, 0), (2, 1), (0, 1)], 1) == whole
    sliver = Fraction(1, 10**30)
    assert whole != qc.box(2 + sliver, 1, 1)
    assert whole != whole - box_at((sliver, sliver, sliver))
    # Same volume, box, centroid and inertia, yet not the same points: the
    # two differences decide.
    a = box_at((1, 1, 1)) | box_at((1, 1, 1), (2, 2, 0)) | box_at((1, 1, 1), (0, 2, 1)) \
        | box_at((1, 1, 1), (2, 0, 1))
    b = a.mirrored("x").moved(3)
    assert a._key() == b._key() and a != b
    # Unions of the same boxes in other orders split the faces otherwise;
    # the plane-by-plane test agrees with the intersection's volume.
    rng = random.Random(5)
    for _ in range(6):
        boxes = [box_at([rng.randint(1, 3) for _ in range(3)],
                        [rng.randint(0, 3) for _ in range(3)]) for _ in range(4)]
        one = boxes[0] | boxes[1] | boxes[2] | boxes[3]
        other = (boxes[3] | boxes[1]) | (boxes[2] | boxes[0])
        nudged = other | box_at((Fraction(1, 10**9),) * 3, one.bbox[1])
        assert one == other and (one & other).volume == one.volume
        assert one != nudged and (one & nudged).volume == one.volume < nudged.volume
    assert pickle.loads(pickle.dumps(whole)) == whole
    assert whole != "box" and not (whole == 1)
    with pytest.raises(AttributeError):
        whole.volume = 3


def box_moments(lo, hi):
    """Volume, first moments and second moments about the origin of the box
    lo..hi, in closed form."""
    v = math.prod(h - l for l, h in zip(lo, hi))
    first = [v * (l + h) / 2 for l, h in zip(lo, hi)]
    second = {}
    for i, j in itertools.combinations_with_replacement(range(3), 2):
        if i == j:
            second[i, j] = v * (hi[i] ** 2 + hi[i] * lo[i] + lo[i] ** 2) / 3
        else:
            second[i, j] = first[i] * first[j] / v
    return v, first, second


def expected_measures(boxes):
    """The measures of a union of boxes by cutting space into the cells of
    all the boxes' planes and summing the closed forms of the cells inside."""
    cuts = [sorted({c for lo, hi in boxes for c in (lo[k], hi[k])}) for k in range(3)]
    v, first, second = Fraction(0), [Fraction(0)] * 3, {}
    for cell in itertools.product(*(zip(c, c[1:]) for c in cuts)):
        mid = [(a + b) / 2 for a, b in cell]
        if any(all(lo[k] < mid[k] < hi[k] for k in range(3)) for lo, hi in boxes):
            cv, cf, cs = box_moments([a for a, _ in cell], [b for _, b in cell])
            v += cv
            first = [f + g for f, g in zip(first, cf)]
            for key, val in cs.items():
                second[key] = second.get(key, 0) + val
    c = [f / v for f in first]
    central = {k: val - v * c[k[0]] * c[k[1]] for k, val in second.items()}
    inertia = [[central[1, 1] + central[2, 2], -central[0, 1], -central[0, 2]],
               [-central[0, 1], central[0, 0] + central[2, 2], -central[1, 2]],
               [-central[0, 2], -central[1, 2], central[0, 0] + central[1, 1]]]
    return v, tuple(c), tuple(tuple(r) for r in inertia)


def test_measures_of_unions_of_boxes_against_a_decomposition_into_cells():
    rng = random.Random(21)
    for _ in range(12):
        boxes = []
        for _ in range(rng.randint(1, 4)):
            lo = [Fraction(rng.randint(-8, 8), rng.choice([1, 2, 3])) for _ in range(3)]
            boxes.append((lo, [c + Fraction(rng.randint(1, 9), rng.choice([1, 4])) for c in lo]))
        part = qc.union([box_at([h - l for l, h in zip(lo, hi)], lo) for lo, hi in boxes])
        volume, centroid, inertia = expected_measures(boxes)
        assert (part.volume, part.centroid, part.inertia) == (volume, centroid, inertia)
        lo = tuple(min(b[0][k] for b in boxes) for k in range(3))
        hi = tuple(max(b[1][k] for b in boxes) for k in range(3))
        assert part.bbox == (lo, hi)
    # Denominators whose common multiple is too long to share: the moments
    # are then summed in groups, to the same values.
    far, other = Fraction(1, 3**700), Fraction(1, 5**400)
    boxes = [([far, -far, 2 * far], [1 + far, 2 - far, 3 + 2 * far]),
             ([5 + other, 0, 0], [6 + other, 1, 1])]
    part = box_at((1, 2, 3), boxes[0][0]) | box_at((1, 1, 1), boxes[1][0])
    assert (part.volume, part.centroid, part.inertia) == expected_measures(boxes)

def test_prism_measures_in_closed_form_and_meshes_files_pictures_round_trip(tmp_path):
    # The L of two boxes, as a prism: the same measures as the boxes' cells.
    outline = [(0, 0), (3, 0), (3, 1), (1, 1), (1, "5/2"), (0, "5/2")]
    part = qc.prism(outline, "1/2")
    boxes = [([0, 0, 0], [3, 1, Fraction(1, 2)]), ([0, 1, 0], [1, Fraction(5, 2), Fraction(1, 2)])]
    assert (part.volume, part.centroid, part.inertia) == expected_measures(boxes)
    # Whole and half coordinates are floats exactly, so every mesh road
    # gives back the same part.
    assert qc.from_trimesh(part.to_trimesh()) == part
    assert qc.from_arrays(*part.to_arrays()) == part
    turned = part.rotated("z", 30)
    turned.save(tmp_path / "part.obj", exact=True)
    assert qc.load(tmp_path / "part.obj") == turned
    assert part._repr_png_()[:8] == b"\x89PNG\r\n\x1a\n"
    assert qc.union()._repr_png_() is None


def test_measures_of_turned_prisms_and_cylinders_against_trimesh():
    trimesh = pytest.importorskip("trimesh")
    parts = [qc.prism([(0, 0), (3, 0), (3, 1), (1, 1), (1, 2), (0, 2)], "1/2"),
             qc.cylinder(2, 3, segments=24).rotated((1, 2, 2), 40).moved(1, -2, 5),
             qc.cone(3, 1, 4, segments=12) - qc.box(1, 1, 9, center=True)]
    for part in parts:
        mesh = trimesh.Trimesh(*qio.to_arrays(part.solid), process=False)
        assert math.isclose(float(part.volume), mesh.volume, rel_tol=1e-12)
        assert math.isclose(part.area, mesh.area, rel_tol=1e-12)
        for ours, theirs in zip(part.centroid, mesh.center_mass):
            assert math.isclose(float(ours), theirs, rel_tol=1e-9, abs_tol=1e-12)
        scale = float(max(abs(c) for row in part.inertia for c in row))
        for ours, theirs in zip(part.inertia, mesh.moment_inertia):
            for a, b in zip(ours, theirs):
                assert abs(float(a) - b) <= 1e-9 * scale


def test_area_is_the_nearest_float_to_the_exact_sum_of_square_roots():
    parts = [qc.box(1, 2, 3), qc.cylinder("1/3", 7, segments=40),
             qc.box(1, 1, 1).rotated("x", 33).rotated((1, 1, 0), 71)]
    for part in parts:
        with localcontext() as ctx:
            ctx.prec = 60
            total = Decimal(0)
            for _, verts, _, _ in qio.faces(part.solid):
                p = [[Fraction(c) for c in v] for v in verts]
                a = [Fraction(0)] * 3
                for u, w in zip(p[1:], p[2:]):
                    d1 = [x - y for x, y in zip(u, p[0])]
                    d2 = [x - y for x, y in zip(w, p[0])]
                    cr = (d1[1] * d2[2] - d1[2] * d2[1], d1[2] * d2[0] - d1[0] * d2[2],
                          d1[0] * d2[1] - d1[1] * d2[0])
                    a = [x + y for x, y in zip(a, cr)]
                q = sum(x * x for x in a)
                total += (Decimal(q.numerator) / Decimal(q.denominator)).sqrt() / 2
        assert part.area == float(total)
    assert qc.box(1, 2, 3).area == 22.0


def test_repr_and_the_empty_part():
    assert repr(qc.box(1, 2, "1/3")) == "<Part: 6 faces, volume 2/3, bounds (0, 0, 0) to (1, 2, 1/3)>"
    assert "~0.333333333" in repr(qc.box(Fraction(1, 3) + Fraction(1, 10**20), 1, 1))
    empty = qc.box(1, 1, 1) & qc.box(1, 1, 1).moved(5)
    assert empty.is_empty and repr(empty) == "<Part: empty>" and empty.volume == 0
    assert empty == qc.union() and empty != qc.box(1, 1, 1)
    for name in ("bbox", "centroid", "inertia"):
        with pytest.raises(ValueError, match=name):
            getattr(empty, name)
    assert qc.Part(qs.make_box("1", "1", "1", "b")) == qc.box(1, 1, 1)
    with pytest.raises(TypeError, match="solid"):
        qc.Part("box")


def test_booleans_of_many_parts():
    cubes = [qc.box(1, 1, 1).moved(i) for i in range(7)]
    assert qc.union(*cubes) == qc.box(7, 1, 1) == qc.union(cubes)
    slabs = [qc.box(3, 3, 3).moved(i, -i, i) for i in range(3)]
    assert qc.intersection(slabs) == qc.box(1, 1, 1).moved(2, 0, 2)
    assert (cubes[0] | cubes[1]) - cubes[1] == cubes[0]
    with pytest.raises(ValueError, match="intersection"):
        qc.intersection()
    with pytest.raises(TypeError, match=r"parts\[1\]"):
        qc.union(cubes[0], 5)
    with pytest.raises(TypeError):
        cubes[0] | 1
