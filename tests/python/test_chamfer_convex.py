"""Chamfers of convex solids against results recorded before the chamfer
learned about non-convex corners: on a convex solid every cutter only ever
met its own edge's bevel, so those results were right and must not move by
a byte (volume, closedness, logical faces, bounding box, canonical text).

Run this file as a script with --record to write the fixture anew; do that
only for a change that is meant to alter convex chamfers.
"""

import json
import os
import sys

import pytest

import quillstone as q

FIXTURE = os.path.join(os.path.dirname(__file__), "data", "convex_chamfers.json")


def flat(points):
    return [str(v) for p in points for v in p]


def box(a, b, c):
    return q.make_box(a, b, c, "p")


def prism(points, h):
    return q.make_prism(flat(points), h, "s")


TRIANGLE_345 = [(0, 0), (4, 0), (0, 3)]
TRIANGLE_345_DOUBLE = [(0, 0), (8, 0), (0, 6)]
TRIANGLE_5_12_13 = [(0, 0), (12, 0), (0, 5)]
PARALLELOGRAM = [(0, 0), (4, 0), (7, 4), (3, 4)]
TRAPEZOID = [(0, 0), (10, 0), (7, 4), (3, 4)]
# Sides along (4,0), (3,4), (0,5), (-4,3), (-3,-4), (0,-8): all of rational length.
HEXAGON = [(0, 0), (4, 0), (7, 4), (7, 9), (3, 12), (0, 8)]
RECT = [(0, 0), (10, 0), (10, 4), (0, 4)]


def cases():
    """(name, solid, dist) for every recorded chamfer."""
    unit = box("1", "1", "1")
    out = [(f"unit cube by {d}", unit, d) for d in ["1/10", "1/4", "1/2", "3/5", "1", "2"]]
    out += [
        ("box 2x3x5 by 1/10", box("2", "3", "5"), "1/10"),
        ("box 2x3x5 by 1/3", box("2", "3", "5"), "1/3"),
        ("box 1/2x3x7/3 by 1/7", box("1/2", "3", "7/3"), "1/7"),
        ("long box 1x1x4", box("1", "1", "4"), "1/10"),
        ("long box 10x1x1", box("10", "1", "1"), "1/10"),
        ("long box 1x10x1/2", box("1", "10", "1/2"), "1/10"),
        ("3-4-5 plate", prism(TRIANGLE_345, "1"), "1/10"),
        ("3-4-5 plate doubled", prism(TRIANGLE_345_DOUBLE, "1"), "1/10"),
        ("3-4-5 plate by 1/2", prism(TRIANGLE_345, "1"), "1/2"),
        ("5-12-13 prism", prism(TRIANGLE_5_12_13, "2"), "1/5"),
        ("parallelogram prism", prism(PARALLELOGRAM, "2"), "1/4"),
        ("trapezoid prism", prism(TRAPEZOID, "3"), "1/3"),
        ("hexagon prism", prism(HEXAGON, "3"), "1/5"),
        ("square prism", prism([(0, 0), (1, 0), (1, 1), (0, 1)], "1"), "1/10"),
        ("wedge prismatoid",
         q.make_prismatoid(flat(RECT), "0", flat([(3, 0), (10, 0), (10, 4), (3, 4)]), "4", "w"),
         "1/2"),
        ("trapezoid prismatoid",
         q.make_prismatoid(flat(RECT), "0", flat([(3, 0), (7, 0), (7, 4), (3, 4)]), "4", "t"),
         "1/2"),
        ("oblique prismatoid",
         q.make_prismatoid(flat(RECT), "0", flat([(3, 0), (13, 0), (13, 4), (3, 4)]), "4", "o"),
         "1/3"),
    ]
    b = box("2", "3", "5")
    t = prism(TRIANGLE_345, "1")
    out += [
        ("box translated", b.translate("1/3", "-2", "7"), "1/10"),
        ("box turned about x", b.rotate_quarter(0, 1), "1/10"),
        ("box turned about y", b.rotate_quarter(1, 3), "1/10"),
        ("box mirrored", b.mirror(1), "1/10"),
        ("box scaled", b.scale("1/2", "2", "-1"), "1/10"),
        ("3-4-5 plate turned about z", t.rotate_quarter(2, 1), "1/10"),
        ("3-4-5 plate turned about x", t.rotate_quarter(0, 1), "1/10"),
        ("3-4-5 plate mirrored and moved", t.mirror(0).translate("5", "1/2", "-3"), "1/10"),
        ("hexagon prism turned about y", prism(HEXAGON, "3").rotate_quarter(1, 2), "1/5"),
    ]
    return out


def result(solid, dist):
    r = solid.chamfer(dist)
    empty = r.canonical() == ""
    return {
        "volume6": r.volume6_str(),
        "watertight": r.watertight_ok(),
        "logical_faces": r.logical_faces(),
        "bbox": None if empty else r.bbox(),  # an empty solid has none
        "canonical": r.canonical(),
    }


def recorded():
    with open(FIXTURE) as f:
        return json.load(f)


@pytest.mark.parametrize("name, solid, dist", cases(), ids=[c[0] for c in cases()])
def test_convex_chamfer_is_unchanged(name, solid, dist):
    want = recorded()[name]
    got = result(solid, dist)
    for key in ("volume6", "watertight", "logical_faces", "bbox"):
        assert got[key] == want[key], key
    assert got["canonical"] == want["canonical"]


def test_every_recorded_case_is_checked():
    assert sorted(recorded()) == sorted(c[0] for c in cases())


if __name__ == "__main__":
    if sys.argv[1:] != ["--record"]:
        sys.exit("usage: test_chamfer_convex.py --record")
    data = {name: result(solid, dist) for name, solid, dist in cases()}
    os.makedirs(os.path.dirname(FIXTURE), exist_ok=True)
    with open(FIXTURE, "w") as f:
        json.dump(data, f, indent=1, sort_keys=True)
        f.write("\n")
