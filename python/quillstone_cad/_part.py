"""The Part: an immutable, exact solid with the operators, placements and
measures a Python user expects."""

from __future__ import annotations

import os
import tempfile
from collections.abc import Iterable
from decimal import Decimal, localcontext
from fractions import Fraction
from typing import Any, NamedTuple

import quillstone as _qs
import quillstone_io as _qio

from . import _native
from . import _section
from . import _topology as _tp
from ._numbers import Number, fraction_of, sequence, shown, text, to_fraction
from ._rotation import Matrix, axis_index, rotation_matrix

Point = tuple[Fraction, Fraction, Fraction]
#: The inertia tensor: three rows of three Fractions.
Tensor = tuple[Point, Point, Point]
_Path = str | os.PathLike[str]


class _Measures(NamedTuple):
    volume: Fraction
    centroid: Point | None
    # Integrals of (x-cx)^2, (y-cy)^2, (z-cz)^2, (x-cx)(y-cy), (y-cy)(z-cz),
    # (z-cz)(x-cx) over the part.
    central: tuple[Fraction, ...] | None


class Part:
    """An exact polyhedral solid: an immutable value over one
    ``quillstone.PySolid``.

    Every coordinate and every measure is an exact rational number.
    Numbers go in as ``int``, ``Fraction``, ``Decimal``, ``str`` (``'3/2'``,
    ``'0.1'``, ``'1e-3'``), numpy numbers or ``float`` (read as the shortest
    decimal that reads back as the same float: ``0.1`` is 1/10), and come
    out as ``fractions.Fraction``. A wrong type raises ``TypeError`` and a
    value that cannot be used ``ValueError``, each naming the argument.

    A Part never changes: every method that makes a solid returns a new
    Part. ``Part(solid)`` wraps any ``quillstone.PySolid``; ``part.solid``
    gives it back, for the kernel's own methods and for ``quillstone_io``.
    Parts pickle (through ``quillstone_io``).

    Equality is geometric: two Parts are equal (``==``) when they are the
    same set of points, exactly, however their faces are split or ordered
    (a box equals the union of its two halves), and equal Parts hash alike,
    so Parts can be set members and dictionary keys.

    Operators: ``a | b`` (union), ``a - b`` (difference), ``a & b``
    (intersection); :func:`quillstone_cad.union` and
    :func:`quillstone_cad.intersection` combine many.

    Measures (exact, as Fractions): :attr:`volume`, :attr:`bbox`,
    :attr:`centroid`, :attr:`inertia`; :attr:`area` as a float.
    """

    __slots__ = ("_solid", "_bounds", "_measures", "_closed", "_topology", "_merged")

    _solid: _qs.PySolid
    _bounds: tuple[Point, Point] | None
    _measures: _Measures | None
    _closed: bool | None
    _topology: _tp.Topology | None
    _merged: Part | None

    def __init__(self, solid: _qs.PySolid) -> None:
        if not isinstance(solid, _qs.PySolid):
            raise TypeError(f"solid: expected a quillstone.PySolid, got {type(solid).__name__}")
        object.__setattr__(self, "_solid", solid)
        for slot in ("_bounds", "_measures", "_closed", "_topology", "_merged"):
            object.__setattr__(self, slot, None)

    def __setattr__(self, name: str, value: Any) -> None:
        raise AttributeError(f"a Part is immutable: cannot set {name!r}")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"a Part is immutable: cannot delete {name!r}")

    def __reduce__(self) -> tuple[type[Part], tuple[_qs.PySolid]]:
        # The solid pickles through quillstone_io, which this package imports.
        return (Part, (self._solid,))

    def _cache(self, name: str, value: Any) -> Any:
        object.__setattr__(self, name, value)
        return value

    @property
    def solid(self) -> _qs.PySolid:
        """The ``quillstone.PySolid`` this Part holds."""
        return self._solid

    # ---- measures

    def _moments(self) -> _Measures:
        if self._measures is None:
            volume, centroid, central = _native.moments(self._solid)
            self._cache("_measures", _Measures(
                fraction_of(volume),
                None if centroid is None else _point(centroid),
                None if central is None else tuple(fraction_of(c) for c in central)))
        assert self._measures is not None
        return self._measures

    @property
    def volume(self) -> Fraction:
        """The volume, exactly; zero for a Part without faces."""
        return self._moments().volume

    @property
    def bbox(self) -> tuple[Point, Point]:
        """The two corners ``(lo, hi)`` of the bounding box, exactly.

        Raises ValueError for a Part without faces, which has no box (see
        :attr:`is_empty`)."""
        if self._bounds is None:
            raw = _native.bbox(self._solid)
            if raw is None:
                raise ValueError("bbox: the part is empty")
            self._cache("_bounds", (_point(raw[0]), _point(raw[1])))
        assert self._bounds is not None
        return self._bounds

    @property
    def is_empty(self) -> bool:
        """Whether the part has no faces (an intersection of parts apart,
        a difference that took everything)."""
        return _native.face_count(self._solid) == 0

    @property
    def centroid(self) -> Point:
        """The centre of mass (unit density), exactly.

        The integrals of x, y and z over the solid, divided by the volume;
        they are rational because the corners are. Raises ValueError for a
        part of volume zero."""
        c = self._moments().centroid
        if c is None:
            raise ValueError("centroid: the part has no volume")
        return c

    @property
    def inertia(self) -> Tensor:
        """The inertia tensor about the centroid, for unit density, exactly.

        ``I[i][i]`` is the integral of the squared distance from the axis
        through the centroid along i (``Ixx`` integrates ``y^2 + z^2``),
        ``I[i][j]`` for i != j the negated product integral (``Ixy`` is
        ``-`` the integral of ``x y``), coordinates taken from the centroid.
        Multiply by a density for a mass. Raises ValueError for a part of
        volume zero."""
        c = self._moments().central
        if c is None:
            raise ValueError("inertia: the part has no volume")
        xx, yy, zz, xy, yz, zx = c
        return ((yy + zz, -xy, -zx), (-xy, xx + zz, -yz), (-zx, -yz, xx + yy))

    @property
    def area(self) -> float:
        """The surface area as a float (an area is a sum of square roots).

        Within one unit in the last place of the exact area, and the nearest
        float to it unless the exact area lies within a relative 2^-1000 of a
        point halfway between two floats."""
        return _native.area(self._solid)

    @property
    def is_closed(self) -> bool:
        """Whether the surface is closed (``PySolid.watertight_ok``): every
        Part the builders and booleans make is; one wrapped from elsewhere
        may not be."""
        if self._closed is None:
            self._cache("_closed", self._solid.watertight_ok())
        assert self._closed is not None
        return self._closed

    # ---- faces and edges

    def _logical(self) -> _tp.Topology:
        if self._topology is None:
            self._cache("_topology", _tp.Topology(self))
        assert self._topology is not None
        return self._topology

    def faces(self) -> _tp.FaceList:
        """The logical faces: the maximal planar regions of the surface,
        however many pieces booleans cut them into, each with its plane,
        outer loop and holes (exact points), labels and area
        (:class:`quillstone_cad.Face`). Found once, then kept."""
        return self._logical().faces

    def edges(self) -> _tp.EdgeList:
        """The logical edges: the maximal straight segments along which two
        logical faces meet at an angle, each with its two faces, end points,
        length and whether it is convex (:class:`quillstone_cad.Edge`).
        Select with ``parallel_to``, ``of``, ``max``, ``min``, ``labelled``,
        ``where`` and the set operators."""
        return self._logical().edges

    # ---- placement

    def moved(self, x: Number = 0, y: Number = 0, z: Number = 0) -> Part:
        """The part moved by the vector (x, y, z)."""
        v = [to_fraction(x, "x"), to_fraction(y, "y"), to_fraction(z, "z")]
        return Part(self._solid.translate(*map(text, v)))

    def scaled(self, fx: Number, fy: Number | None = None, fz: Number | None = None) -> Part:
        """The part scaled about the origin: by `fx` along every axis, or by
        `fx`, `fy` and `fz` along x, y and z.

        Negative factors mirror (the faces stay wound outward); a zero
        factor, which would flatten the part, raises ValueError."""
        if (fy is None) != (fz is None):
            raise TypeError("scaled: give one factor or three (fx, fy, fz)")
        names = ("fx", "fy", "fz")
        given = (fx, fx, fx) if fy is None else (fx, fy, fz)
        f = [to_fraction(v, n) for v, n in zip(given, names)]
        for v, n, raw in zip(f, names, given):
            if v == 0:
                raise ValueError(f"{n}: a zero factor flattens the part, got {shown(raw)}")
        return Part(self._solid.scale(*map(text, f)))

    def mirrored(self, axis: str | int) -> Part:
        """The mirror image in the coordinate plane through the origin across
        `axis` ('x', 'y', 'z' or 0, 1, 2): ``mirrored('x')`` negates every x."""
        return Part(self._solid.mirror(axis_index(axis)))

    def rotated(self, axis: object, degrees: Number, *, tol: Number = 1e-12,
                center: object = None) -> Part:
        """The part turned by `degrees` about `axis`, counter-clockwise seen
        from the axis's tip, exactly.

        `axis` is 'x', 'y', 'z' (or 0, 1, 2) or a direction of three
        numbers; the axis passes through `center` (three numbers, default
        the origin). The rotation's matrix is rational and exactly
        orthogonal, so nothing is rounded and the part keeps its exact
        shape. Of the rotations whose half angle has a rational tangent and
        whose angle lies within `tol` degrees of `degrees`, it takes the one
        of the smallest denominator, so the numbers stay short
        (:func:`quillstone_cad.rotation_angle` tells the angle used).
        Multiples of 90 degrees about a coordinate axis are exact, with
        ``tol=0`` too. Faces whose unit normals are rational keep them, so a
        rotated part can still be chamfered.
        """
        m = rotation_matrix(axis, degrees, tol)
        shift: tuple[Fraction, ...] = (Fraction(0),) * 3
        if center is not None:
            c = _vector(center, "center")
            # p -> R (p - c) + c
            shift = tuple(c[i] - sum(m[i][j] * c[j] for j in range(3)) for i in range(3))
        return self._affine(m, shift)

    def transformed(self, matrix: object) -> Part:
        """The part under the affine map ``p -> M p + t`` given as a 3 x 4
        matrix ``[M | t]`` or a 4 x 4 one whose last row is (0, 0, 0, 1):
        rows of numbers, nested sequences or a numpy array.

        Any invertible rational map: rotations, shears, non-uniform scales.
        A map whose determinant is negative turns the faces over so the
        part stays wound outward; a singular one (determinant zero) would
        flatten the part and raises ValueError.
        """
        rows = sequence(matrix, "matrix")
        if len(rows) not in (3, 4):
            raise ValueError(f"matrix: expected 3 or 4 rows, got {len(rows)}")
        m = []
        for i, row in enumerate(rows):
            items = sequence(row, f"matrix[{i}]")
            if len(items) != 4:
                raise ValueError(f"matrix[{i}]: expected 4 numbers, got {len(items)}")
            m.append([to_fraction(v, f"matrix[{i}][{j}]") for j, v in enumerate(items)])
        if len(m) == 4 and m[3] != [0, 0, 0, 1]:
            raise ValueError("matrix: the last row of a 4 x 4 affine map must be (0, 0, 0, 1), "
                             f"got ({', '.join(str(v) for v in m[3])})")
        lin: Matrix = tuple(tuple(r[:3]) for r in m[:3])  # type: ignore[assignment]
        return self._affine(lin, (m[0][3], m[1][3], m[2][3]))

    def _affine(self, m: Matrix, t: tuple[Fraction, ...]) -> Part:
        det = (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
               - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
               + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]))
        if det == 0:
            raise ValueError("matrix: singular (determinant 0), it would flatten the part")
        texts = [text(v) for i in range(3) for v in (*m[i], t[i])]
        return Part(_native.affine(self._solid, texts))

    # ---- other operations

    def chamfer(self, d: Number, edges: _tp.Edge | Iterable[_tp.Edge] | None = None, *,
                d2: Number | None = None, tol: Number | None = None) -> Part:
        """The part with the chosen edges bevelled: `edges` (one
        :class:`quillstone_cad.Edge` or any number, from ``part.edges()``),
        or every convex edge when None.

        Each bevel takes `d` into the edge's first face and `d2` (default
        `d`) into its second, at right angles to the edge. Faces that
        booleans split bevel like any other (the rims of holes, the edges
        of pockets). A convex edge loses its bevel; a reflex (inside) edge
        gets one added: the material between its two faces and the bevel
        plane. Where two chosen edges meet at a face's inside corner their
        bevels are mitred; where three convex ones meet at a corner of
        three faces the corner is trimmed.

        A setback is exact when the edge's length times the length of the
        face's normal is rational (every face of the builders, rotated or
        not, and every edge between them along an axis); otherwise `tol`
        allows a setback within `tol` of the distance, and without it
        ValueError names the edge. A distance that is not positive, or so
        large that a bevel runs off its face or into another bevel on the
        same face (other than at a shared end), raises ValueError naming it;
        nothing is changed then.
        """
        dist = to_fraction(d, "d")
        if dist <= 0:
            raise ValueError(f"d: must be positive, got {shown(d)}")
        dist2 = dist if d2 is None else to_fraction(d2, "d2")
        if dist2 <= 0:
            raise ValueError(f"d2: must be positive, got {shown(d2)}")
        tolerance = None
        if tol is not None:
            tolerance = to_fraction(tol, "tol")
            if not 0 < tolerance < min(dist, dist2):
                raise ValueError(f"tol: must be positive and less than the distances, got {shown(tol)}")
        topo = self._logical()
        chosen = topo.edges.convex() if edges is None else _own_edges(edges, topo)
        if not chosen:
            return self
        solid, _ = _native.bevel(self._solid, topo.capsule, [e.index for e in chosen], text(dist),
                                 text(dist2), None if tolerance is None else text(tolerance))
        return Part(solid)

    def merged(self) -> Part:
        """The same points with each logical face cut into a few convex
        pieces, using only the corners of its loops, so that no T-junction
        is left between pieces: the faces of booleans' results merged again.
        Later booleans and mesh files get smaller; :meth:`save` and
        :meth:`to_arrays` use it. Each piece is labelled as its face's
        largest original piece. Made once, then kept."""
        if self._merged is None:
            self._cache("_merged", Part(_native.merged(self._solid, self._logical().capsule)))
        assert self._merged is not None
        return self._merged

    def section(self, x: Number | None = None, y: Number | None = None, z: Number | None = None,
                *, plane: object = None) -> _section.Section:
        """The cut by a plane, exactly: ``section(z=2)`` (or x=, y=), or
        ``plane=`` three points or a point and a normal, each of three
        numbers. Gives a :class:`quillstone_cad.Section`: polygons with
        holes as exact points, their exact areas, and ``save("cut.svg")``.
        Where a face lies in the plane the section holds it. A plane that
        misses the part raises ValueError naming the argument."""
        ints, name = _section.plane_through(x, y, z, plane)
        return _section.section(self._solid, ints, name)

    # ---- booleans

    def _boolean(self, op: str, other: Part) -> Part:
        return Part(self._solid.boolean(op, other._solid))

    def __or__(self, other: Part) -> Part:
        """The union: the points in either part."""
        if not isinstance(other, Part):
            return NotImplemented
        return self._boolean("union", other)

    def __sub__(self, other: Part) -> Part:
        """The difference: the points of this part that are not in `other`."""
        if not isinstance(other, Part):
            return NotImplemented
        return self._boolean("cut", other)

    def __and__(self, other: Part) -> Part:
        """The intersection: the points in both parts."""
        if not isinstance(other, Part):
            return NotImplemented
        return self._boolean("intersect", other)

    # ---- equality

    def _key(self) -> tuple[object, ...]:
        """Measures that do not depend on how the faces are split or
        ordered: equal point sets have equal keys."""
        m = self._moments()
        bounds = None if self.is_empty else self.bbox
        return (m.volume, bounds, m.centroid, m.central)

    def __eq__(self, other: object) -> bool:
        """Exact geometric equality: the same point set, whatever the split.

        Parts whose volume, box, centroid or inertia differ are unequal at
        once, and parts whose faces have the same corners are equal at
        once. Otherwise their surfaces are compared plane by plane: on each
        plane that carries faces, the faces of one part must cover exactly
        what the faces of the other cover, wound the same way (an exact sum
        of the areas where faces overlap, with no boolean). A part whose
        surface is not closed has no inside: two such parts are equal when
        their faces have the same corners (``PySolid.canonical``)."""
        if not isinstance(other, Part):
            return NotImplemented
        if other._solid is self._solid:
            return True
        if self._key() != other._key():
            return False
        if self._solid.canonical() == other._solid.canonical():
            return True
        if not (self.is_closed and other.is_closed):
            return False
        same = _native.same_surface(self._solid, other._solid)
        if same is None:  # a face that is not convex: by the intersection
            return (self & other).volume == self.volume
        return same

    def __hash__(self) -> int:
        return hash(self._key())

    def __repr__(self) -> str:
        """``<Part: 6 faces, volume 1, bounds (0, 0, 0) to (1, 1, 1)>``;
        fractions longer than 12 characters are shown as ``~`` and their
        nearest float."""
        faces = _native.face_count(self._solid)
        if faces == 0:
            return "<Part: empty>"
        lo, hi = self.bbox
        return (f"<Part: {faces} faces, volume {_short(self.volume)}, "
                f"bounds {_short_point(lo)} to {_short_point(hi)}>")

    # ---- meshes, files, pictures

    def to_arrays(self) -> tuple[Any, Any]:
        """``(vertices, triangles)`` as numpy arrays, float64 (n, 3) and int64
        (m, 3): a closed triangle mesh, triangles counter-clockwise seen
        from outside (``quillstone_io.to_arrays``) of the logical faces
        (:meth:`merged`). Needs numpy."""
        return _qio.to_arrays(self.merged()._solid)

    def to_trimesh(self) -> Any:
        """The part as a ``trimesh.Trimesh`` (watertight for a closed part,
        coordinates rounded to floats). Needs trimesh."""
        try:
            import trimesh
        except ImportError as exc:
            raise ImportError("to_trimesh needs trimesh: pip install trimesh") from exc
        vertices, triangles = self.to_arrays()
        return trimesh.Trimesh(vertices=vertices, faces=triangles, process=False)

    def save(self, path: _Path, *, exact: bool = False, binary: bool = True,
             format: str | None = None) -> None:
        """Writes the part to `path`, in the format its extension (or
        `format`) names.

        STEP (``.step``, ``.stp``): an ISO 10303-21 file (AP214) that CAD
        systems read as a solid: one closed shell per shell, one planar face
        per logical face with its holes, shared edges and vertices, the
        nearest doubles as coordinates, each face named by its labels.

        Meshes (``quillstone_io.write_mesh``): OBJ, OFF, STL (binary, or
        ASCII with ``binary=False``) or 3MF, the logical faces triangulated
        (:meth:`merged`). Coordinates are written as floats; ``exact=True``
        (OBJ and OFF) adds the exact ones, which
        :func:`quillstone_cad.load` reads back."""
        kind = (format or os.path.splitext(os.fspath(path))[1].lstrip(".")).lower()
        if kind in ("step", "stp"):
            name = os.path.splitext(os.path.basename(os.fspath(path)))[0]
            data = _native.step_text(self._logical().capsule, name).encode("utf-8")
            folder = os.path.dirname(os.path.abspath(os.fspath(path)))
            with tempfile.NamedTemporaryFile("wb", dir=folder, delete=False) as f:
                f.write(data)
            os.replace(f.name, path)
            return
        _qio.write_mesh(self.merged()._solid, path, exact, binary, format=format)

    def render(self, path: _Path, *, view: tuple[float, float] = (35.26, -45.0),
               size: tuple[float, float] = (6.0, 6.0), dpi: int = 100,
               title: str | None = None) -> None:
        """Writes a PNG picture of the part (``quillstone_io.render``): faces
        shaded and coloured by label, seen from ``view`` = (elevation,
        azimuth) in degrees. Needs matplotlib."""
        _qio.render(self._solid, path, view=view, size=size, dpi=dpi, title=title)

    def _repr_png_(self) -> bytes | None:
        """The picture Jupyter shows; None (the text form is shown instead)
        without matplotlib or for an empty part."""
        if self.is_empty:
            return None
        try:
            with tempfile.TemporaryDirectory() as folder:
                path = os.path.join(folder, "part.png")
                _qio.render(self._solid, path, size=(4.0, 4.0), dpi=80)
                with open(path, "rb") as f:
                    return f.read()
        except ImportError:
            return None


def union(*parts: Part | Iterable[Part]) -> Part:
    """The union of any number of parts (or of one iterable of parts),
    combined pairwise in a balanced order so that no operand grows much
    larger than the others. The union of nothing is an empty part."""
    items = _parts(parts, "union")
    if not items:
        return Part(_qs.make_box("0", "0", "0", "empty"))
    return _balanced(items, "union")


def intersection(*parts: Part | Iterable[Part]) -> Part:
    """The intersection of one or more parts (or of one iterable of parts),
    combined pairwise in a balanced order."""
    items = _parts(parts, "intersection")
    if not items:
        raise ValueError("intersection: needs at least one part")
    return _balanced(items, "intersect")


def _parts(args: tuple[object, ...], fn: str) -> list[Part]:
    if len(args) == 1 and not isinstance(args[0], Part):
        args = tuple(sequence(args[0], "parts"))
    for i, p in enumerate(args):
        if not isinstance(p, Part):
            raise TypeError(f"parts[{i}]: expected a Part, got {type(p).__name__}")
    return list(args)  # type: ignore[arg-type]


def _balanced(items: list[Part], op: str) -> Part:
    while len(items) > 1:
        paired = [items[i]._boolean(op, items[i + 1]) for i in range(0, len(items) - 1, 2)]
        if len(items) % 2:
            paired.append(items[-1])
        items = paired
    return items[0]


def _own_edges(edges: object, topo: _tp.Topology) -> _tp.EdgeList:
    items = [edges] if isinstance(edges, _tp.Edge) else sequence(edges, "edges")
    for i, e in enumerate(items):
        if not isinstance(e, _tp.Edge):
            raise TypeError(f"edges[{i}]: expected an Edge of part.edges(), got {type(e).__name__}")
        if e._topo is not topo:
            raise ValueError(f"edges[{i}]: {e!r} is an edge of another part; take the edges "
                             "from this part's edges()")
    return _tp.EdgeList(items)  # type: ignore[arg-type]


def _vector(value: object, name: str) -> tuple[Fraction, Fraction, Fraction]:
    items = sequence(value, name)
    if len(items) != 3:
        raise ValueError(f"{name}: expected 3 numbers, got {len(items)}")
    x, y, z = (to_fraction(v, f"{name}[{i}]") for i, v in enumerate(items))
    return (x, y, z)


def _short(value: Fraction) -> str:
    s = str(value)
    if len(s) <= 12:
        return s
    # Through Decimal, which has no overflow for huge values.
    with localcontext() as ctx:
        ctx.prec = 9
        near = Decimal(value.numerator) / Decimal(value.denominator)
    return f"~{near:g}" if abs(near.adjusted()) > 300 else f"~{float(near):.9g}"


def _short_point(p: Point) -> str:
    return "(" + ", ".join(_short(c) for c in p) + ")"


def _point(texts: list[str]) -> Point:
    return (fraction_of(texts[0]), fraction_of(texts[1]), fraction_of(texts[2]))
