"""Builders: Parts from sizes, polygons, arrays, trimesh meshes and files."""

from __future__ import annotations

import array
import os
from collections.abc import Sequence
from fractions import Fraction
from typing import Any

import quillstone as _qs
import quillstone_io as _qio

from . import _native
from ._numbers import Number, positive, sequence, shown, text, to_fraction
from ._part import Part, union
from ._rotation import unit_directions

Point2 = tuple[Fraction, Fraction]
_Path = str | os.PathLike[str]


def _label(label: object) -> str:
    if not isinstance(label, str):
        raise TypeError(f"label: expected a str, got {type(label).__name__}")
    try:
        label.encode("utf-8")
    except UnicodeEncodeError as exc:
        raise ValueError(f"label: not encodable as UTF-8, got {shown(label)}") from exc
    return label


def _polygon(value: object, name: str) -> list[Point2]:
    """At least three 2D points, no two neighbours the same, enclosing an area."""
    items = sequence(value, name)
    pts: list[Point2] = []
    for i, item in enumerate(items):
        coords = sequence(item, f"{name}[{i}]")
        if len(coords) != 2:
            raise ValueError(f"{name}[{i}]: expected 2 coordinates (x, y), got {len(coords)}")
        pts.append((to_fraction(coords[0], f"{name}[{i}][0]"),
                    to_fraction(coords[1], f"{name}[{i}][1]")))
    if len(pts) < 3:
        raise ValueError(f"{name}: a polygon needs at least 3 points, got {len(pts)}")
    for i in range(len(pts)):
        if pts[i] == pts[i - 1]:
            raise ValueError(f"{name}: points {(i - 1) % len(pts)} and {i} are the same")
    if _area2(pts) == 0:
        raise ValueError(f"{name}: the polygon encloses no area")
    return pts


def _area2(pts: Sequence[Point2]) -> Fraction:
    """Twice the signed area, positive counter-clockwise."""
    return sum((pts[i - 1][0] * pts[i][1] - pts[i][0] * pts[i - 1][1]
                for i in range(len(pts))), Fraction(0))


def _flat(pts: Sequence[Point2]) -> list[str]:
    return [text(c) for p in pts for c in p]


def _checked(part: Part, volume: Fraction, name: str) -> Part:
    """`part`, which a polygon made, if it is closed with the volume the
    polygon's area gives; a self-intersecting polygon gives neither."""
    if part.volume != volume or not part.is_closed:
        raise ValueError(f"{name}: the polygon is not simple (its edges cross or touch)")
    return part


def box(x: Number, y: Number, z: Number, *, center: bool = False, label: str = "box") -> Part:
    """The box of sizes `x`, `y`, `z` (all positive), from the origin to
    (x, y, z), or centred on the origin with ``center=True``.

    Faces are labelled ``label.bottom`` (z low), ``.top``, ``.front`` (y
    low), ``.back``, ``.right`` (x high) and ``.left``."""
    size = [positive(x, "x"), positive(y, "y"), positive(z, "z")]
    solid = _qs.make_box(text(size[0]), text(size[1]), text(size[2]), _label(label))
    if center:
        solid = solid.translate(*(text(-s / 2) for s in size))
    return Part(solid)


def prism(points: object, h: Number, *, label: str = "prism") -> Part:
    """The right prism of height `h` over a simple polygon in the xy-plane,
    from z = 0 to z = h.

    `points` is a sequence of (x, y) corners in either winding. The caps
    are cut into triangles (``label.bottom``, ``label.top``), the walls are
    ``label.side0``, ``label.side1``, ... A polygon whose edges cross
    raises ValueError."""
    return _prism(_polygon(points, "points"), positive(h, "h"), _label(label), "points")


def _prism(pts: list[Point2], height: Fraction, label: str, name: str) -> Part:
    part = Part(_qs.make_prism(_flat(pts), text(height), label))
    return _checked(part, abs(_area2(pts)) / 2 * height, name)


def prismatoid(bottom: object, z0: Number, top: object, z1: Number, *,
               label: str = "prismatoid") -> Part:
    """The solid between the polygon `bottom` at height `z0` and the polygon
    `top` at height `z1` (above `z0`): corner i of one is joined to corner
    i of the other, so both need the same number of corners, in the same
    winding. Frustums, wedges, tapers.

    The sides between matched corners are two triangles each
    (``label.side{i}``); both caps are triangulated."""
    b = _polygon(bottom, "bottom")
    t = _polygon(top, "top")
    if len(t) != len(b):
        raise ValueError(f"top: expected {len(b)} corners like bottom, got {len(t)}")
    if (_area2(b) > 0) != (_area2(t) > 0):
        raise ValueError("top: runs the other way round from bottom")
    lo, hi = to_fraction(z0, "z0"), to_fraction(z1, "z1")
    if hi <= lo:
        raise ValueError(f"z1: must be above z0, got {shown(z1)}")
    part = Part(_qs.make_prismatoid(_flat(b), text(lo), _flat(t), text(hi), _label(label)))
    if not part.is_closed or part.volume <= 0:
        raise ValueError("bottom: the polygons are not simple, or their sides cross")
    return part


def _segments(segments: object) -> int:
    if isinstance(segments, bool) or not isinstance(segments, int):
        raise TypeError(f"segments: expected an int, got {type(segments).__name__}")
    if not 3 <= segments <= 100_000:
        raise ValueError(f"segments: expected 3 to 100000, got {segments}")
    return segments


def circle(r: Number, *, segments: int = 32, center: object = (0, 0)) -> list[Point2]:
    """The corners of the polygon with `segments` sides circumscribed about
    the circle of radius `r` round `center`, counter-clockwise: every side
    touches the circle, and every side's outward normal is a rational unit
    vector (from a Pythagorean triple), near the regular polygon's.

    The same arguments give the same points on every machine. Use it for
    the outline or the holes of :func:`extrude`."""
    radius = positive(r, "r")
    n = _segments(segments)
    c = sequence(center, "center")
    if len(c) != 2:
        raise ValueError(f"center: expected 2 coordinates, got {len(c)}")
    cx, cy = to_fraction(c[0], "center[0]"), to_fraction(c[1], "center[1]")
    dirs = unit_directions(n)
    out = []
    for k in range(n):
        # The corner where side k (normal dirs[k]) meets side k + 1.
        (c0, s0), (c1, s1) = dirs[k], dirs[(k + 1) % n]
        d = c0 * s1 - s0 * c1
        out.append((cx + radius * (s1 - s0) / d, cy + radius * (c0 - c1) / d))
    return out


def _ring_faces(lower: list[Point2], z0: Fraction, upper: list[Point2] | None,
                z1: Fraction, apex: Point2 | None, label: str) -> list[Any]:
    """The faces of a convex solid between a polygon at z0 and, at z1, the
    polygon `upper` (same count) or the point `apex`: caps whole, sides
    quads or triangles. Both polygons run counter-clockwise."""
    def p3(p: Point2, z: Fraction) -> list[str]:
        return [text(p[0]), text(p[1]), text(z)]

    n = len(lower)
    faces: list[Any] = [(f"{label}.bottom", [p3(p, z0) for p in reversed(lower)])]
    if upper is not None:
        faces.append((f"{label}.top", [p3(p, z1) for p in upper]))
    for k in range(n):
        a, b = lower[k], lower[(k + 1) % n]
        if upper is None:
            assert apex is not None
            loop = [p3(a, z0), p3(b, z0), p3(apex, z1)]
        else:
            loop = [p3(a, z0), p3(b, z0), p3(upper[(k + 1) % n], z1), p3(upper[k], z1)]
        faces.append((f"{label}.side{k}", loop))
    return faces


def cylinder(r: Number, h: Number, *, segments: int = 32, center: bool = False,
             label: str = "cylinder") -> Part:
    """A cylinder of radius `r` and height `h` along z: the prism over the
    polygon :func:`circle` gives, with `segments` sides circumscribed about
    the circle, from z = 0 to h (centred on the origin with ``center=True``).

    Every face has a rational unit normal, so every edge can be chamfered,
    and the same arguments give the same solid everywhere. Faces:
    ``label.bottom``, ``label.top`` (one each) and ``label.side{k}``."""
    radius, height = positive(r, "r"), positive(h, "h")
    poly = circle(radius, segments=segments)
    z0 = -height / 2 if center else Fraction(0)
    return Part(_qio.from_faces(_ring_faces(poly, z0, poly, z0 + height, None, _label(label))))


def cone(r1: Number, r2: Number, h: Number, *, segments: int = 32,
         label: str = "cone") -> Part:
    """A cone or frustum along z: radius `r1` at z = 0, `r2` at z = h (either
    may be 0, not both), its sections the polygons of :func:`circle`.

    The caps have rational unit normals. A side face's unit normal is
    rational (so its edges can be chamfered) exactly when `h` and
    ``r1 - r2`` are, after scaling to whole numbers, two legs of a
    Pythagorean triple, such as h = 4 and r1 - r2 = 3; otherwise the
    chamfer refuses those edges."""
    a = to_fraction(r1, "r1")
    b = to_fraction(r2, "r2")
    for v, name, raw in ((a, "r1", r1), (b, "r2", r2)):
        if v < 0:
            raise ValueError(f"{name}: must not be negative, got {shown(raw)}")
    if a == 0 and b == 0:
        raise ValueError("r1: r1 and r2 cannot both be 0")
    height = positive(h, "h")
    n = _segments(segments)
    name = _label(label)
    if a == 0:
        # Built upside down, then turned over by a mirror in z.
        flipped = Part(_qio.from_faces(_ring_faces(circle(b, segments=n), Fraction(0), None,
                                                   height, (Fraction(0), Fraction(0)), name)))
        return flipped.mirrored("z").moved(0, 0, height)
    upper = circle(b, segments=n) if b else None
    apex = None if b else (Fraction(0), Fraction(0))
    return Part(_qio.from_faces(_ring_faces(circle(a, segments=n), Fraction(0), upper,
                                            height, apex, name)))


def extrude(outer: object, holes: object, h: Number, *, label: str = "extrude") -> Part:
    """The prism of height `h` over a polygon with holes, from z = 0 to h.

    `outer` is the outline, `holes` a sequence of polygons inside it (each
    a sequence of (x, y) corners, either winding), not touching it or each
    other. :func:`circle` makes round ones. The holes are cut from the
    outline's prism, so the caps come in pieces (labels ``label.*`` and
    ``label.hole{i}.*``). ValueError when a hole crosses the outline or
    another hole."""
    outline = _polygon(outer, "outer")
    loops = [_polygon(item, f"holes[{i}]") for i, item in enumerate(sequence(holes, "holes"))]
    height = positive(h, "h")
    name = _label(label)
    base = _prism(outline, height, name, "outer")
    if not loops:
        return base
    cutters = [_prism(loop, height, f"{name}.hole{i}", f"holes[{i}]")
               for i, loop in enumerate(loops)]
    result = base - union(cutters)
    expected = base.volume - sum((c.volume for c in cutters), Fraction(0))
    if result.volume != expected:
        raise ValueError("holes: every hole must lie inside the outline, apart from the others")
    return result


def from_arrays(vertices: object, triangles: object, *, check: bool = True,
                label: str = "mesh") -> Part:
    """A Part from a triangle mesh: `vertices` an (n, 3) array of numbers,
    `triangles` an (m, 3) array of vertex indices (numpy arrays or nested
    sequences), each triangle counter-clockwise seen from outside.

    Float coordinates are read as their shortest decimal (0.1 is 1/10), as
    everywhere in this package. Every triangle is checked, and with
    ``check`` (the default) the mesh must be closed; a closed mesh wound
    inwards is turned over. ValueError names what is wrong."""
    coords = _coordinates(vertices)
    indices = _indices(triangles, "triangles")
    return Part(_native.from_mesh(coords, indices, 3, _label(label), bool(check)))


def _coordinates(vertices: object) -> list[str]:
    """The vertices' coordinates as number texts, three per vertex."""
    dtype = getattr(vertices, "dtype", None)
    shape = getattr(vertices, "shape", None)
    if dtype is not None and shape is not None:
        if len(shape) != 2 or shape[1] != 3:
            raise ValueError(f"vertices: expected shape (n, 3), got {tuple(shape)}")
        if dtype.kind == "f" and dtype.itemsize == 8:
            flat = vertices.ravel().tolist()  # type: ignore[attr-defined]
            bad = [v for v in flat if v != v or v in (float("inf"), float("-inf"))]
            if bad:
                raise ValueError(f"vertices: not a finite number, got {bad[0]!r}")
            return list(map(float.__repr__, flat))
        if dtype.kind in "iu":
            return list(map(str, vertices.ravel().tolist()))  # type: ignore[attr-defined]
    out: list[str] = []
    for i, row in enumerate(sequence(vertices, "vertices")):
        coords = sequence(row, f"vertices[{i}]")
        if len(coords) != 3:
            raise ValueError(f"vertices[{i}]: expected 3 coordinates, got {len(coords)}")
        out.extend(text(to_fraction(c, f"vertices[{i}][{j}]")) for j, c in enumerate(coords))
    return out


def _indices(triangles: object, name: str) -> bytes:
    shape = getattr(triangles, "shape", None)
    if shape is not None and getattr(triangles, "dtype", None) is not None:
        if len(shape) != 2 or shape[1] != 3:
            raise ValueError(f"{name}: expected shape (m, 3), got {tuple(shape)}")
        rows: list[Any] = triangles.tolist()  # type: ignore[attr-defined]
    else:
        rows = list(sequence(triangles, name))
    flat = array.array("q")
    for i, row in enumerate(rows):
        items = sequence(row, f"{name}[{i}]")
        if len(items) != 3:
            raise ValueError(f"{name}[{i}]: expected 3 vertex indices, got {len(items)}")
        for j, v in enumerate(items):
            if isinstance(v, bool) or not hasattr(v, "__index__"):
                raise TypeError(f"{name}[{i}][{j}]: expected an int, got {type(v).__name__}")
            k = v.__index__()
            if not 0 <= k < 2**62:
                raise ValueError(f"{name}[{i}][{j}]: no such vertex, got {k}")
            flat.append(k)
    return flat.tobytes()


def from_trimesh(mesh: Any, *, check: bool = True, label: str = "mesh") -> Part:
    """A Part from a ``trimesh.Trimesh``: its vertices and faces as
    :func:`from_arrays` takes them."""
    vertices = getattr(mesh, "vertices", None)
    faces = getattr(mesh, "faces", None)
    if vertices is None or faces is None:
        raise TypeError(f"mesh: expected a trimesh.Trimesh, got {type(mesh).__name__}")
    return from_arrays(vertices, faces, check=check, label=label)


def load(path: _Path, *, check: bool = True, format: str | None = None) -> Part:
    """A Part from a mesh file: OBJ, OFF, STL or 3MF
    (``quillstone_io.read_mesh``), numbers read exactly (``0.1`` is 1/10)."""
    return Part(_qio.read_mesh(path, check, format=format))
