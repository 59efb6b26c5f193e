"""The Part: an immutable, exact solid with the operators and measures a
Python user expects."""

from __future__ import annotations

from fractions import Fraction
from typing import Any

import quillstone as _qs

from . import _native
from ._numbers import fraction_of

Point = tuple[Fraction, Fraction, Fraction]


class Part:
    """An exact polyhedral solid: an immutable value over one
    ``quillstone.PySolid``.

    Every coordinate and every measure is an exact rational number; numbers
    come out as ``fractions.Fraction``. A Part never changes: every method
    that makes a solid returns a new Part.

    ``Part(solid)`` wraps any ``quillstone.PySolid``; ``part.solid`` gives
    it back, for the kernel's own methods and for ``quillstone_io``.

    Two Parts are equal (``==``) when they are the same point set, exactly,
    however their faces are split or ordered: a box equals the union of its
    two halves. Equal Parts hash alike, so Parts can be set members and
    dictionary keys.

    Operators: ``a | b`` (union), ``a - b`` (difference), ``a & b``
    (intersection).
    """

    __slots__ = ("_solid", "_bounds")

    _solid: _qs.PySolid
    _bounds: tuple[Point, Point] | None | bool

    def __init__(self, solid: _qs.PySolid) -> None:
        if not isinstance(solid, _qs.PySolid):
            raise TypeError(f"solid: expected a quillstone.PySolid, got {type(solid).__name__}")
        object.__setattr__(self, "_solid", solid)
        object.__setattr__(self, "_bounds", False)  # not yet computed

    def __setattr__(self, name: str, value: Any) -> None:
        raise AttributeError(f"a Part is immutable: cannot set {name!r}")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"a Part is immutable: cannot delete {name!r}")

    def __reduce__(self) -> tuple[type[Part], tuple[_qs.PySolid]]:
        # The solid pickles through quillstone_io, which this package imports.
        return (Part, (self._solid,))

    @property
    def solid(self) -> _qs.PySolid:
        """The ``quillstone.PySolid`` this Part holds."""
        return self._solid

    # ---- measures

    @property
    def volume(self) -> Fraction:
        """The volume, exactly (zero for a Part without faces)."""
        return fraction_of(self._solid.volume6_str()) / 6

    @property
    def bbox(self) -> tuple[Point, Point] | None:
        """The two corners ``(lo, hi)`` of the bounding box, exactly; None for
        a Part without faces."""
        if self._bounds is False:
            raw = _native.bbox(self._solid)
            bounds = None if raw is None else (
                _point(raw[0]), _point(raw[1]))
            object.__setattr__(self, "_bounds", bounds)
        return self._bounds  # type: ignore[return-value]

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

    def __eq__(self, other: object) -> bool:
        """Exact geometric equality: the same point set."""
        if not isinstance(other, Part):
            return NotImplemented
        if other._solid is self._solid:
            return True
        if self.volume != other.volume or self.bbox != other.bbox:
            return False
        return (self - other).volume == 0 and (other - self).volume == 0

    def __hash__(self) -> int:
        return hash((self.volume, self.bbox))

    def __repr__(self) -> str:
        """``<Part: 6 faces, volume 1, bounds (0, 0, 0) to (1, 1, 1)>``: long
        fractions are shown as ``~`` and their nearest float."""
        box = self.bbox
        faces = _native.face_count(self._solid)
        if box is None:
            return "<Part: empty>"
        return (f"<Part: {faces} faces, volume {_short(self.volume)}, "
                f"bounds {_short_point(box[0])} to {_short_point(box[1])}>")


def _short(value: Fraction) -> str:
    text = str(value)
    return text if len(text) <= 12 else f"~{float(value):.9g}"


def _short_point(p: Point) -> str:
    return "(" + ", ".join(_short(c) for c in p) + ")"


def _point(texts: list[str]) -> Point:
    return (fraction_of(texts[0]), fraction_of(texts[1]), fraction_of(texts[2]))

