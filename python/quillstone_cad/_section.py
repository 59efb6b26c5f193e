"""Exact sections of a part by a plane, and their pictures."""

from __future__ import annotations

import html
import math
import os
from fractions import Fraction
from typing import NamedTuple

from quillstone import PySolid

from . import _native
from ._numbers import fraction_of, points, to_fraction

Point = tuple[Fraction, Fraction, Fraction]


class Polygon(NamedTuple):
    """One region of a section: its outer loop (counter-clockwise seen from
    the tip of the plane's normal), its holes (clockwise) and its area."""

    outer: tuple[Point, ...]
    holes: tuple[tuple[Point, ...], ...]
    #: Exact (a ``Fraction``) where the plane's normal has a rational
    #: length, as every plane along an axis has; otherwise a float.
    area: Fraction | float


def _isqrt_exact(n: int) -> int | None:
    r = math.isqrt(n)
    return r if r * r == n else None


def plane_through(x: object, y: object, z: object, plane: object) -> tuple[tuple[int, int, int, int], str]:
    """The plane a section was asked for, as coprime integers (a, b, c, d)
    with a x + b y + c z = d, and the name of the argument that gave it."""
    given = [(n, v) for n, v in (("x", x), ("y", y), ("z", z), ("plane", plane)) if v is not None]
    if len(given) != 1:
        raise TypeError("section: give exactly one of x=, y=, z= or plane=")
    name, value = given[0]
    if name != "plane":
        normal = [Fraction(0)] * 3
        normal["xyz".index(name)] = Fraction(1)
        offset = to_fraction(value, name)
    else:
        pts = points(value, "plane", 3)
        if len(pts) == 3:  # three points
            u = [pts[1][i] - pts[0][i] for i in range(3)]
            v = [pts[2][i] - pts[0][i] for i in range(3)]
            normal = [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]
            if not any(normal):
                raise ValueError("plane: the three points lie on one line")
        elif len(pts) == 2:  # a point and a normal
            normal = list(pts[1])
            if not any(normal):
                raise ValueError("plane: the normal is the zero vector")
        else:
            raise ValueError("plane: expected three points, or a point and a normal, "
                             f"got {len(pts)} items")
        offset = sum((n * c for n, c in zip(normal, pts[0])), Fraction(0))
    scale = math.lcm(*(f.denominator for f in (*normal, offset)))
    ints = [int(f * scale) for f in (*normal, offset)]
    g = math.gcd(*ints)
    a, b, c, d = (k // g for k in ints)
    return (a, b, c, d), name


class Section:
    """The cut of a part by a plane: the region of the plane that the part
    fills, as exact polygons with holes.

    ``plane`` is ``(a, b, c, d)``, coprime integers with ``a x + b y + c z
    = d``; ``polygons`` are :class:`Polygon` values whose points are exact
    ``Fraction`` triples; ``area`` is their total area. Where a face of the
    part lies in the plane the section holds it. ``save(path)`` writes an
    SVG picture, seen from the tip of the normal; Jupyter shows the same.
    """

    __slots__ = ("plane", "polygons", "area")

    def __init__(self, plane: tuple[int, int, int, int], polygons: tuple[Polygon, ...],
                 area: Fraction | float) -> None:
        self.plane = plane
        self.polygons = polygons
        self.area = area

    def __repr__(self) -> str:
        a, b, c, d = self.plane
        area = self.area if isinstance(self.area, float) else f"{float(self.area):.6g}"
        return (f"<Section by {a}x + {b}y + {c}z = {d}: {len(self.polygons)} polygons, "
                f"{sum(len(p.holes) for p in self.polygons)} holes, area {area}>")

    def _frame(self) -> tuple[tuple[float, ...], tuple[float, ...]]:
        # Two in-plane directions u, v with u x v along the normal: for the
        # planes along an axis the axes themselves.
        n = [float(c) for c in self.plane[:3]]
        axes = {(0, 0, 1): ((1, 0, 0), (0, 1, 0)), (1, 0, 0): ((0, 1, 0), (0, 0, 1)),
                (0, 1, 0): ((0, 0, 1), (1, 0, 0))}
        key = tuple(int(c) for c in n)
        if key in axes:
            u0, v0 = axes[key]
            return tuple(map(float, u0)), tuple(map(float, v0))
        length = math.sqrt(sum(c * c for c in n))
        n = [c / length for c in n]
        k = min(range(3), key=lambda i: abs(n[i]))
        e = [0.0, 0.0, 0.0]
        e[k] = 1.0
        u = [n[1] * e[2] - n[2] * e[1], n[2] * e[0] - n[0] * e[2], n[0] * e[1] - n[1] * e[0]]
        lu = math.sqrt(sum(c * c for c in u))
        u = [c / lu for c in u]
        v = [n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]]
        return tuple(u), tuple(v)

    def svg(self, *, size: float = 400.0) -> str:
        """The section as an SVG document, `size` pixels on its longer side."""
        u, v = self._frame()
        loops = [[p.outer, *p.holes] for p in self.polygons]
        flat = [[(sum(float(c) * d for c, d in zip(pt, u)), -sum(float(c) * d for c, d in zip(pt, v)))
                 for pt in loop] for poly in loops for loop in poly]
        xs = [x for loop in flat for x, _ in loop] or [0.0]
        ys = [y for loop in flat for _, y in loop] or [0.0]
        w = max(xs) - min(xs) or 1.0
        h = max(ys) - min(ys) or 1.0
        pad = 0.02 * max(w, h)
        scale = size / max(w, h)
        paths = []
        at = 0
        for poly in loops:
            d = []
            for _ in poly:
                loop = flat[at]
                at += 1
                d.append("M " + " L ".join(f"{x:.9g} {y:.9g}" for x, y in loop) + " Z")
            paths.append(f'<path d="{" ".join(d)}"/>')
        a, b, c, dd = self.plane
        title = html.escape(f"section by {a}x + {b}y + {c}z = {dd}")
        return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w * scale:.6g}" '
                f'height="{h * scale:.6g}" viewBox="{min(xs) - pad:.9g} {min(ys) - pad:.9g} '
                f'{w + 2 * pad:.9g} {h + 2 * pad:.9g}">\n<title>{title}</title>\n'
                f'<g fill="#7aa6c2" fill-rule="evenodd" stroke="#1d3f57" '
                f'stroke-width="{max(w, h) / size:.6g}">\n' + "\n".join(paths) + "\n</g>\n</svg>\n")

    def save(self, path: str | os.PathLike[str]) -> None:
        """Writes the SVG picture (:meth:`svg`) to `path`."""
        data = self.svg()
        with open(path, "w", encoding="utf-8") as f:
            f.write(data)

    def _repr_svg_(self) -> str:
        return self.svg()


def section(solid: PySolid, plane: tuple[int, int, int, int], name: str) -> Section:
    texts, regions, scaled = _native.section(solid, [str(k) for k in plane])
    if not regions:
        raise ValueError(f"{name}: the plane {plane[0]}x + {plane[1]}y + {plane[2]}z = {plane[3]} "
                         "misses the part")
    points = [tuple(fraction_of(c) for c in t.split(",")) for t in texts]
    root = _isqrt_exact(plane[0] ** 2 + plane[1] ** 2 + plane[2] ** 2)
    polygons = []
    for (outer, holes), s in zip(regions, scaled):
        exact = fraction_of(s)
        area: Fraction | float = exact / root if root else float(exact) / math.sqrt(
            plane[0] ** 2 + plane[1] ** 2 + plane[2] ** 2)
        polygons.append(Polygon(tuple(points[i] for i in outer),  # type: ignore[misc]
                                tuple(tuple(points[i] for i in h) for h in holes), area))  # type: ignore[misc]
    total: Fraction | float = sum((p.area for p in polygons), Fraction(0) if root else 0.0)
    return Section(plane, tuple(polygons), total)

