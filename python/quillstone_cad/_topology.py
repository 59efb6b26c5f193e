"""Faces and edges as a CAD user sees them, and selections of them.

The core finds them (``_native.topology``): the pieces a boolean leaves in
one plane become one logical face, and the places where two logical faces
meet become logical edges. Here they become :class:`Face` and :class:`Edge`
values, gathered in :class:`FaceList` and :class:`EdgeList`, which select
the way CAD scripting users know: ``part.edges().parallel_to("z").max("x")``.
"""

from __future__ import annotations

import gc
import math
from collections.abc import Callable, Iterable, Iterator, Sequence
from fractions import Fraction
from typing import TYPE_CHECKING, Any, Generic, TypeVar, overload

from . import _native
from ._numbers import fraction_of
from ._rotation import axis_vector

if TYPE_CHECKING:
    from ._part import Part

Point = tuple[Fraction, Fraction, Fraction]


_Num = Fraction | int


def _dot(a: Sequence[_Num], b: Sequence[_Num]) -> _Num:
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def _cross(a: Sequence[_Num], b: Sequence[_Num]) -> tuple[_Num, _Num, _Num]:
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def _point(text: str) -> Point:
    x, y, z = text.split(",")
    return (fraction_of(x), fraction_of(y), fraction_of(z))


class Topology:
    """A part's logical faces and edges, made once per Part (internal)."""

    __slots__ = ("capsule", "faces", "edges", "open_segments", "_texts", "_points", "_centers",
                 "__weakref__")

    def __init__(self, part: Part) -> None:
        # Many objects at once, none of them garbage: the cyclic collector's
        # passes over the growing lists would make this grow faster than
        # the part.
        collecting = gc.isenabled()
        gc.disable()
        try:
            capsule, texts, faces, edges, open_segments = _native.topology(part.solid)
            self.capsule = capsule
            self.open_segments: int = open_segments
            self._texts: list[str] = texts
            self._points: list[Point | None] = [None] * len(texts)
            self._centers: list[Point] | None = None
            self.faces = FaceList(Face(self, i, raw) for i, raw in enumerate(faces))
            self.edges = EdgeList(Edge(self, i, raw) for i, raw in enumerate(edges))
        finally:
            if collecting:
                gc.enable()

    def point(self, i: int) -> Point:
        p = self._points[i]
        if p is None:
            p = self._points[i] = _point(self._texts[i])
        return p

    def center(self, face: int) -> Point:
        if self._centers is None:
            self._centers = [_point(t) for t in _native.face_centroids(self.capsule)]
        return self._centers[face]


class Face:
    """A logical face: a maximal planar region of the part's surface,
    however many pieces booleans cut it into.

    ``plane`` is ``(a, b, c, d)``, coprime integers with ``a x + b y + c z
    = d`` on the face and ``(a, b, c)`` pointing out of the part. ``outer``
    is the outer loop, counter-clockwise seen from outside, and ``holes``
    the inner loops, clockwise; their points are exact, and they hold every
    corner and every point where the face on the other side changes (the
    ends of the face's edges). ``labels`` are the labels of its pieces,
    ``area`` its area as a float, ``center`` its exact centroid, ``edges``
    its edges. Faces compare by identity within their part.
    """

    __slots__ = ("_topo", "index", "_plane_texts", "_plane", "labels", "area", "shell", "_loops",
                 "_loop_edges")

    def __init__(self, topo: Topology, index: int, raw: Any) -> None:
        plane, loops, loop_edges, labels, area, shell = raw
        self._topo = topo
        #: The face's place in ``part.faces()``.
        self.index: int = index
        self._plane_texts: list[str] = plane
        self._plane: tuple[int, int, int, int] | None = None
        self.labels: tuple[str, ...] = tuple(labels)
        self.area: float = area
        #: Which closed shell of the part the face belongs to, from 0.
        self.shell: int = shell
        self._loops: list[tuple[int, ...]] = loops
        self._loop_edges: list[tuple[int, ...]] = loop_edges

    @property
    def plane(self) -> tuple[int, int, int, int]:
        """``(a, b, c, d)``: ``a x + b y + c z = d``, ``(a, b, c)`` outward."""
        if self._plane is None:
            a, b, c, d = (fraction_of(v).numerator for v in self._plane_texts)
            self._plane = (a, b, c, d)
        return self._plane

    @property
    def normal(self) -> tuple[int, int, int]:
        """The outward normal ``(a, b, c)`` of :attr:`plane`, as integers."""
        a, b, c, _ = self.plane
        return (a, b, c)

    @property
    def outer(self) -> tuple[Point, ...]:
        """The outer loop, counter-clockwise seen from outside."""
        return tuple(self._topo.point(i) for i in self._loops[0])

    @property
    def holes(self) -> tuple[tuple[Point, ...], ...]:
        """The holes' loops, each clockwise seen from outside."""
        return tuple(tuple(self._topo.point(i) for i in loop) for loop in self._loops[1:])

    @property
    def center(self) -> Point:
        """The centroid of the face's area, exactly."""
        return self._topo.center(self.index)

    @property
    def edges(self) -> EdgeList:
        """The face's edges, along its outer loop and then its holes."""
        edges = self._topo.edges
        return EdgeList(edges[e] for loop in self._loop_edges for e in loop if e >= 0)

    def __repr__(self) -> str:
        a, b, c, d = self.plane
        holes = len(self._loops) - 1
        return (f"<Face {self.index}: {a}x + {b}y + {c}z = {d}, {len(self._loops[0])} corners"
                f"{f', {holes} holes' if holes else ''}, area {self.area:.6g}, "
                f"labels {', '.join(self.labels)}>")


class Edge:
    """A logical edge: a maximal straight segment along which two logical
    faces meet at an angle.

    ``faces`` are the two faces (the first has the lower index), ``start``
    and ``end`` the exact end points, running along the first face's loop
    (counter-clockwise seen from outside), ``direction`` is ``end - start``,
    ``length`` a float, ``convex`` whether the material's angle at the edge
    is at most 180 degrees (``reflex`` the opposite: an inside corner).
    Edges compare by identity within their part.
    """

    __slots__ = ("_topo", "index", "_a", "_b", "_faces", "convex")

    def __init__(self, topo: Topology, index: int, raw: Any) -> None:
        a, b, f0, f1, convex = raw
        self._topo = topo
        #: The edge's place in ``part.edges()``.
        self.index: int = index
        self._a: int = a
        self._b: int = b
        self._faces = (f0, f1)
        self.convex: bool = convex

    @property
    def reflex(self) -> bool:
        """Whether the material's angle at the edge exceeds 180 degrees."""
        return not self.convex

    @property
    def faces(self) -> tuple[Face, Face]:
        faces = self._topo.faces
        return (faces[self._faces[0]], faces[self._faces[1]])

    @property
    def start(self) -> Point:
        return self._topo.point(self._a)

    @property
    def end(self) -> Point:
        return self._topo.point(self._b)

    @property
    def direction(self) -> Point:
        """``end - start``, exactly."""
        a, b = self.start, self.end
        return (b[0] - a[0], b[1] - a[1], b[2] - a[2])

    @property
    def length(self) -> float:
        return math.sqrt(float(_dot(self.direction, self.direction)))

    @property
    def center(self) -> Point:
        """The midpoint, exactly."""
        a, b = self.start, self.end
        return ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2)

    @property
    def labels(self) -> tuple[str, ...]:
        """The labels of both faces."""
        f, g = self.faces
        return tuple(sorted(set(f.labels) | set(g.labels)))

    def __repr__(self) -> str:
        def short(p: Point) -> str:
            return "(" + ", ".join(f"{float(c):.6g}" for c in p) + ")"

        return (f"<Edge {self.index}: {short(self.start)} to {short(self.end)}, faces "
                f"{self._faces[0]} and {self._faces[1]}, {'convex' if self.convex else 'reflex'}>")


T = TypeVar("T", Face, Edge)
S = TypeVar("S", bound="Selection[Any]")


def _labelled(labels: tuple[str, ...], names: tuple[str, ...]) -> bool:
    # A name matches a label or the prefix before its dot ("hole" matches
    # "hole.side3", the label a builder's `label="hole"` gives).
    return any(lab == n or lab.startswith(n + ".") for lab in labels for n in names)


class Selection(Sequence[T], Generic[T]):
    """An ordered set of faces or edges of one part: a read-only sequence
    that selects further and combines as sets (``|``, ``&``, ``-``), every
    result in the part's order."""

    __slots__ = ("_items",)

    def __init__(self, items: Iterable[T] = ()) -> None:
        seen: dict[int, T] = {}
        for x in items:
            seen.setdefault(x.index, x)
        topos = {id(x._topo) for x in seen.values()}
        if len(topos) > 1:
            raise ValueError("a selection holds faces or edges of one part only")
        self._items: tuple[T, ...] = tuple(seen[k] for k in sorted(seen))

    @overload
    def __getitem__(self, i: int) -> T: ...
    @overload
    def __getitem__(self: S, i: slice) -> S: ...
    def __getitem__(self, i: int | slice) -> Any:
        if isinstance(i, slice):
            return type(self)(self._items[i])
        return self._items[i]

    def __len__(self) -> int:
        return len(self._items)

    def __iter__(self) -> Iterator[T]:
        return iter(self._items)

    def __contains__(self, x: object) -> bool:
        return any(x is y for y in self._items)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Selection):
            return NotImplemented
        return len(self) == len(other) and all(a is b for a, b in zip(self, other))

    def __hash__(self) -> int:
        return hash(tuple(id(x) for x in self._items))

    def _combine(self: S, other: object, keep: Callable[[bool, bool], bool]) -> S:
        if not isinstance(other, type(self)):
            return NotImplemented  # type: ignore[no-any-return]
        mine = {x.index: x for x in self._items}
        theirs = {x.index: x for x in other._items}
        if mine and theirs and next(iter(mine.values()))._topo is not next(iter(theirs.values()))._topo:
            raise ValueError("cannot combine selections of two different parts")
        both = {**mine, **theirs}
        return type(self)(x for k, x in both.items() if keep(k in mine, k in theirs))

    def __or__(self: S, other: S) -> S:
        return self._combine(other, lambda a, b: a or b)

    def __and__(self: S, other: S) -> S:
        return self._combine(other, lambda a, b: a and b)

    def __sub__(self: S, other: S) -> S:
        return self._combine(other, lambda a, b: a and not b)

    def where(self: S, predicate: Callable[[T], object]) -> S:
        """Those for which ``predicate(item)`` is true."""
        return type(self)(x for x in self._items if predicate(x))

    filter = where

    def labelled(self: S, *names: str) -> S:
        """Those carrying a label that is one of `names` or starts with one
        and a dot (``labelled("hole")`` finds ``hole.side3``); an edge
        carries the labels of both its faces."""
        for n in names:
            if not isinstance(n, str):
                raise TypeError(f"names: expected str, got {type(n).__name__}")
        return type(self)(x for x in self._items if _labelled(x.labels, names))

    def _extreme(self: S, axis: object, sign: int) -> S:
        d = axis_vector(axis)
        if not self._items:
            return type(self)()
        key = [sign * _dot(x.center, d) for x in self._items]
        best = max(key)
        return type(self)(x for x, k in zip(self._items, key) if k == best)

    def max(self: S, axis: object) -> S:
        """Those whose center lies farthest along `axis` ('x', 'y', 'z' or a
        direction of three numbers), all that tie exactly."""
        return self._extreme(axis, 1)

    def min(self: S, axis: object) -> S:
        """Those whose center lies least far along `axis`, all that tie."""
        return self._extreme(axis, -1)

    def __repr__(self) -> str:
        name = type(self).__name__
        if len(self._items) <= 6:
            return f"{name}({list(self._items)!r})"
        return f"{name}(<{len(self._items)} items: {self._items[0]!r}, ...>)"


class FaceList(Selection[Face]):
    """Faces of one part; see :class:`Selection`."""

    __slots__ = ()

    def parallel_to(self, axis: object) -> FaceList:
        """Faces whose plane runs along `axis` (their normal is square to
        it): ``parallel_to("z")`` gives the walls."""
        d = axis_vector(axis)
        return FaceList(f for f in self if _dot(f.normal, d) == 0)

    def facing(self, axis: object) -> FaceList:
        """Faces whose outward normal points along `axis` ('x', 'y', 'z' or
        a direction): ``facing("z")`` gives the faces looking up,
        ``facing((0, 0, -1))`` those looking down."""
        d = axis_vector(axis)
        return FaceList(f for f in self
                        if not any(_cross(f.normal, d)) and _dot(f.normal, d) > 0)

    @property
    def edges(self) -> EdgeList:
        """The edges of any of these faces."""
        return EdgeList(e for f in self for e in f.edges)


class EdgeList(Selection[Edge]):
    """Edges of one part; see :class:`Selection`."""

    __slots__ = ()

    def parallel_to(self, axis: object) -> EdgeList:
        """Edges along `axis` ('x', 'y', 'z' or a direction of three numbers)."""
        d = axis_vector(axis)
        return EdgeList(e for e in self if not any(_cross(e.direction, d)))

    def of(self, *faces: Face | Iterable[Face]) -> EdgeList:
        """Edges of any of the given faces (faces or selections of them)."""
        wanted: set[int] = set()
        for f in faces:
            for face in ([f] if isinstance(f, Face) else f):
                if not isinstance(face, Face):
                    raise TypeError(f"faces: expected a Face, got {type(face).__name__}")
                wanted.add(id(face))
        return EdgeList(e for e in self if any(id(f) in wanted for f in e.faces))

    def convex(self) -> EdgeList:
        """The convex edges (outside corners)."""
        return EdgeList(e for e in self if e.convex)

    def reflex(self) -> EdgeList:
        """The reflex edges (inside corners)."""
        return EdgeList(e for e in self if not e.convex)
