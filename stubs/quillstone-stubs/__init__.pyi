"""Exact-arithmetic solid modelling: polyhedral solids, booleans, chamfers
and NURBS, with every number an exact rational.

Numbers go in and come out as texts: '3/2', '-7', '1_000', and out always
as numerator/denominator ('5/1', '0/1', '-3/4'). A text that is not such a
number aborts the call with PanicException, which derives from
BaseException (not Exception) and is reachable as
quillstone_io.PanicException. docs/api.md has the whole reference.
"""

from collections.abc import Sequence
from typing import SupportsIndex, final

__all__ = [
    "PySolid",
    "make_box",
    "make_prism",
    "make_prismatoid",
    "box_boolean",
    "box_form",
    "nurbs_curve_eval",
    "nurbs_surface_eval",
    "ssi_pairs",
]

# A control net: rows along u, each a row of points along v, each point a
# sequence of coordinate texts (x, y, z, or homogeneous wx, wy, wz, w).
_Net = Sequence[Sequence[Sequence[str]]]

@final
class PySolid:
    """An immutable polyhedral solid with labelled faces.

    Made only by the module's builders and by methods of other solids;
    calling the class raises TypeError. Every method that returns a solid
    returns a new one and leaves this one unchanged.
    """

    def translate(self, x: str, y: str, z: str) -> PySolid:
        """The solid moved by the vector (x, y, z)."""

    def scale(self, fx: str, fy: str, fz: str) -> PySolid:
        """The solid with every x multiplied by fx, y by fy and z by fz.

        A negative product fx*fy*fz turns every face over, so the faces stay
        wound outward; a zero factor flattens the solid.
        """

    def mirror(self, axis: SupportsIndex) -> PySolid:
        """The mirror image: coordinate number axis (0 x, 1 y, 2 z) negated.

        Faces are turned over so they stay wound outward. An axis above 2
        raises PanicException (index out of bounds); a negative one
        OverflowError.
        """

    def rotate_quarter(self, axis: SupportsIndex, quarters: SupportsIndex) -> PySolid:
        """The solid turned by quarters quarter turns about axis (0 x, 1 y, 2 z).

        A positive turn is counter-clockwise seen from the positive end of
        the axis (about z, (1, 0, 0) goes to (0, 1, 0)). quarters is taken
        modulo 4 and may be negative; axis is taken modulo 3.
        """

    def boolean(self, op: str, other: PySolid) -> PySolid:
        """The union, cut (self minus other) or intersect of two solids.

        op is exactly 'union', 'cut' or 'intersect'; any other text raises
        PanicException('unknown op'). Faces that a boolean splits come back
        in pieces with their labels; nothing is merged.
        """

    def chamfer(self, dist: str) -> PySolid:
        """Every convex edge bevelled by dist, measured on both faces.

        Edges shared by exactly two faces that meet at a convex angle are
        bevelled, and corners where three bevelled edges meet are trimmed;
        concave (reflex) edges stay sharp. Raises ValueError for a negative
        dist and for an edge next to a face whose unit normal is irrational
        ("chamfer: non-rational face normal (K2)").
        """

    def volume(self) -> float:
        """The volume, computed exactly and then correctly rounded."""

    def volume6_str(self) -> str:
        """Six times the signed volume, exactly, as 'num/den' (a box 1x2x3: '36/1')."""

    def canonical(self) -> str:
        """A text that identifies the boundary's point sets.

        Independent of face order, vertex order, winding and labels: equal
        texts mean the same faces with the same corners.
        """

    def watertight_ok(self) -> bool:
        """Whether every piece of every edge is matched by edges running the
        other way (T-junctions count as closed)."""

    def logical_faces(self) -> int:
        """The number of distinct planes that carry faces."""

    def bbox(self) -> list[float]:
        """[xmin, ymin, zmin, xmax, ymax, zmax], each correctly rounded.

        A solid without faces raises PanicException.
        """

def make_box(dx: str, dy: str, dz: str, prefix: str) -> PySolid:
    """The box from the origin to (dx, dy, dz).

    Faces labelled prefix.bottom, .top, .front, .back, .right, .left.
    A zero size flattens the box (faces of no area are dropped).
    """

def make_prism(loop_flat: Sequence[str], h: str, prefix: str) -> PySolid:
    """The right prism over a polygon in the xy-plane, from z = 0 to z = h.

    loop_flat is the flat list x0, y0, x1, y1, ... of the polygon's corners
    in either winding. Faces labelled prefix.bottom, prefix.top and
    prefix.side0, prefix.side1, ... (side i runs from corner i to i + 1).
    """

def make_prismatoid(
    bottom: Sequence[str], z0: str, top: Sequence[str], z1: str, prefix: str
) -> PySolid:
    """The solid between the polygon bottom at height z0 and top at z1.

    Both polygons are flat lists x0, y0, x1, y1, ...; bottom corner i is
    joined to top corner i, so top needs at least as many corners as bottom
    (fewer raise PanicException).
    """

def box_boolean(
    dx: str, dy: str, dz: str, ex: str, ey: str, ez: str, tx: str, ty: str, tz: str, op: str
) -> tuple[str, str]:
    """(six times the volume, canonical text) of a boolean of two boxes.

    The boxes run from the origin to (dx, dy, dz) and from (tx, ty, tz) to
    (tx + ex, ty + ey, tz + ez); op is 'union', 'cut' or 'intersect'. No
    solid is made.
    """

def box_form(dx: str, dy: str, dz: str) -> tuple[str, str]:
    """(six times the volume, canonical text) of the box to (dx, dy, dz)."""

def nurbs_curve_eval(
    degree: SupportsIndex,
    cps: Sequence[Sequence[str]],
    knots: Sequence[str],
    t: str,
    weights: Sequence[str] | None = None,
) -> list[str]:
    """The exact point [x, y, z] of a NURBS curve at parameter t.

    cps are control points (x, y, z) with one weight each in weights (None:
    all 1), or homogeneous (wx, wy, wz, w) without weights. knots are the
    usual len(cps) + degree + 1 knots; parameters outside their range
    extend the end pieces.
    """

def nurbs_surface_eval(
    pu: SupportsIndex,
    pv: SupportsIndex,
    net: _Net,
    ku: Sequence[str],
    kv: Sequence[str],
    u: str,
    v: str,
    weights: Sequence[Sequence[str]] | None = None,
) -> list[str]:
    """The exact point [x, y, z] of a tensor-product NURBS surface at (u, v).

    net[i][j] is a control point; i runs along u (degree pu, knots ku), j
    along v (degree pv, knots kv). weights[i][j] belongs to net[i][j].
    """

def ssi_pairs(
    net_a: _Net,
    net_b: _Net,
    depth: SupportsIndex,
    a_box: Sequence[str] | None = None,
    b_box: Sequence[str] | None = None,
) -> list[list[str]]:
    """Parameter boxes where two Bezier patches may intersect.

    Both patches are subdivided depth times; pairs whose control-point boxes
    are apart are dropped. Each entry is [au0, au1, av0, av1, bu0, bu1, bv0,
    bv1]; an empty list proves the patches do not meet. a_box and b_box
    (u0, u1, v0, v1) name the patches' parameter ranges, by default 0 to 1.
    """
