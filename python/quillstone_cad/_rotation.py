"""Exact rotations: rational orthogonal matrices near a wanted angle, and the
rational unit directions of the circle polygons.

A rotation with a rational matrix cannot turn by most angles exactly (30
degrees would need sqrt(3)), but rational ones lie arbitrarily close: the
rotation whose half angle has the rational tangent t is

    cos = (1 - t^2) / (1 + t^2),  sin = 2 t / (1 + t^2),

and about any rational axis u the quaternion (w, r u) with rational w and r
gives a rational orthogonal matrix. Among the rationals whose rotation lies
within the tolerance, the one with the smallest denominator is taken, so
the numbers stay short.
"""

from __future__ import annotations

import math
from fractions import Fraction

from ._numbers import sequence, to_fraction

Vector = tuple[Fraction, Fraction, Fraction]
Matrix = tuple[Vector, Vector, Vector]

_AXES = {"x": 0, "y": 1, "z": 2}


def axis_index(axis: object, name: str = "axis") -> int:
    """A coordinate axis given as 'x', 'y', 'z' (any case) or 0, 1, 2."""
    if isinstance(axis, str):
        if axis.lower() in _AXES:
            return _AXES[axis.lower()]
        raise ValueError(f"{name}: expected 'x', 'y' or 'z', got {axis!r}")
    if isinstance(axis, int) and not isinstance(axis, bool):
        if axis in (0, 1, 2):
            return axis
        raise ValueError(f"{name}: expected 0, 1 or 2, got {axis!r}")
    raise TypeError(f"{name}: expected 'x', 'y', 'z' or 0, 1, 2, got {type(axis).__name__}")


def axis_vector(axis: object, name: str = "axis") -> Vector:
    """A direction: a coordinate axis or three numbers, not all zero,
    scaled so that its largest component is 1 in magnitude."""
    if isinstance(axis, (str, int)):
        e = [Fraction(0)] * 3
        e[axis_index(axis, name)] = Fraction(1)
        return (e[0], e[1], e[2])
    items = sequence(axis, name)
    if len(items) != 3:
        raise ValueError(f"{name}: expected 3 numbers, got {len(items)}")
    u = tuple(to_fraction(c, f"{name}[{i}]") for i, c in enumerate(items))
    if not any(u):
        raise ValueError(f"{name}: the zero vector has no direction")
    # Scaled so that its largest component is 1: only the direction counts,
    # and floats made from it can neither overflow nor vanish.
    largest = max(abs(c) for c in u)
    return (u[0] / largest, u[1] / largest, u[2] / largest)


def simplest_between(lo: Fraction, hi: Fraction) -> Fraction:
    """The rational of smallest denominator in [lo, hi] (then of smallest
    magnitude), by the continued fraction both ends share."""
    if lo > hi:
        lo, hi = hi, lo
    if lo <= 0 <= hi:
        return Fraction(0)
    if hi < 0:
        return -simplest_between(-hi, -lo)
    # 0 < lo <= hi: collect the shared continued fraction terms.
    terms: list[int] = []
    while True:
        f = lo.numerator // lo.denominator
        if f == lo or f + 1 <= hi:
            terms.append(f if f == lo else f + 1)
            break
        terms.append(f)
        lo, hi = 1 / (hi - f), 1 / (lo - f)
    value = Fraction(terms.pop())
    while terms:
        value = terms.pop() + 1 / value
    return value


def _quaternion_matrix(w: Fraction, v: Vector) -> Matrix:
    x, y, z = v
    n = w * w + x * x + y * y + z * z
    return (
        ((w * w + x * x - y * y - z * z) / n, 2 * (x * y - w * z) / n, 2 * (x * z + w * y) / n),
        (2 * (x * y + w * z) / n, (w * w - x * x + y * y - z * z) / n, 2 * (y * z - w * x) / n),
        (2 * (x * z - w * y) / n, 2 * (y * z + w * x) / n, (w * w - x * x - y * y + z * z) / n),
    )


def _tangent_near(half_lo: float, half_hi: float, scale: float = 1.0) -> Fraction:
    """The simplest rational q such that atan(q / scale) is, for certain,
    between the two half angles (radians, within (-pi/2, pi/2)); the
    nearest double when the doubles cannot tell the interval apart."""
    lo, hi = math.tan(half_lo) * scale, math.tan(half_hi) * scale
    # tan and the product are within an ulp or two; keep clear of both ends.
    margin = 8 * math.ulp(max(abs(lo), abs(hi)))
    if hi - lo > 2 * margin:
        return simplest_between(Fraction(lo + margin), Fraction(hi - margin))
    return Fraction(math.tan((half_lo + half_hi) / 2) * scale)


def _turn(degrees: object, tol: object) -> tuple[Fraction, float]:
    a = to_fraction(degrees, "degrees") % 360
    t = to_fraction(tol, "tol")
    if t < 0:
        raise ValueError(f"tol: must not be negative, got {tol!r}")
    return a, float(min(t, Fraction(360)))


def _check_tol(rest: Fraction, tol: float) -> None:
    if rest and tol == 0:
        raise ValueError("tol: 0 allows only multiples of 90 degrees about a coordinate "
                         "axis (no other angle has a rational rotation); give tol > 0")


def rotation_matrix(axis: object, degrees: object, tol: object = 1e-12) -> Matrix:
    """The exact rotation `rotated` uses: a 3 x 3 tuple of Fractions,
    orthogonal exactly (R R^T = I, det R = 1), turning by an angle within
    `tol` degrees of `degrees` about `axis`, counter-clockwise seen from the
    axis's tip. Multiples of 90 degrees about a coordinate axis are exact."""
    u = axis_vector(axis)
    a, tol_f = _turn(degrees, tol)
    nonzero = [i for i in range(3) if u[i]]
    if len(nonzero) == 1:
        # A coordinate axis, perhaps reversed: quarter turns exactly, then a
        # rational turn of at most 45 degrees either way.
        i = nonzero[0]
        if u[i] < 0:
            a = (-a) % 360
        quarters = int((a + 45) // 90)
        rest = a - 90 * quarters
        _check_tol(rest, tol_f)
        t = Fraction(0)
        if rest:
            phi = math.radians(float(rest))
            half_tol = math.radians(tol_f) / 2
            t = _tangent_near(phi / 2 - half_tol, phi / 2 + half_tol)
        e = [Fraction(0)] * 3
        e[i] = t
        m = _quaternion_matrix(Fraction(1), (e[0], e[1], e[2]))
        for _ in range(quarters % 4):
            m = _quarter_after(m, i)
        return m
    if tol_f == 0:
        _check_tol(Fraction(1), 0.0)
    # Any other axis: the quaternion (w, r u) turns by 2 atan(r |u| / w).
    length = math.sqrt(float(u[0] ** 2 + u[1] ** 2 + u[2] ** 2))
    angle = math.radians(float(a if a <= 180 else a - 360))
    half_tol = math.radians(tol_f) / 2
    if abs(angle) <= math.pi / 2:
        # r |u| = tan(half): r is the simplest rational in the scaled range.
        r = _tangent_near(angle / 2 - half_tol, angle / 2 + half_tol, 1 / length)
        return _quaternion_matrix(Fraction(1), (r * u[0], r * u[1], r * u[2]))
    # Near half a turn the tangent grows without bound: take w = |u| cot(half)
    # with the vector part u itself.
    sign = 1 if angle > 0 else -1
    w = _tangent_near(math.pi / 2 - abs(angle) / 2 - half_tol,
                      math.pi / 2 - abs(angle) / 2 + half_tol, length)
    return _quaternion_matrix(w, (sign * u[0], sign * u[1], sign * u[2]))


def _quarter_after(m: Matrix, axis: int) -> Matrix:
    """The quarter turn about coordinate `axis` applied after `m`."""
    i, j = (axis + 1) % 3, (axis + 2) % 3
    rows = [list(r) for r in m]
    rows[i], rows[j] = [-c for c in m[j]], list(m[i])
    return (tuple(rows[0]), tuple(rows[1]), tuple(rows[2]))  # type: ignore[return-value]


def rotation_angle(degrees: object, tol: object = 1e-12, axis: object = "z") -> float:
    """The angle in degrees, in (-180, 180], that ``rotated(axis, degrees,
    tol=tol)`` turns by: within `tol` of `degrees` (modulo 360)."""
    m = rotation_matrix(axis, degrees, tol)
    u = axis_vector(axis)
    # The angle from the matrix: cos from the trace, sin from the skew part
    # along the axis.
    cos = (float(m[0][0] + m[1][1] + m[2][2]) - 1) / 2
    skew = (float(m[2][1] - m[1][2]), float(m[0][2] - m[2][0]), float(m[1][0] - m[0][1]))
    length = math.sqrt(sum(float(c) ** 2 for c in u))
    sin = sum(s * float(c) for s, c in zip(skew, u)) / (2 * length)
    return math.degrees(math.atan2(sin, cos))


_DIRECTIONS: dict[int, tuple[tuple[Fraction, Fraction], ...]] = {}


def unit_directions(segments: int) -> tuple[tuple[Fraction, Fraction], ...]:
    """`segments` rational unit vectors (c, s), c^2 + s^2 == 1, near the
    angles 360 k / segments, counter-clockwise from (1, 0).

    Each comes from the simplest rational tangent of its half angle within
    a window of 1/64 of a step, found in integer arithmetic only, so the
    same `segments` gives the same vectors on every machine. The polygon's
    mirror symmetries in both axes are kept exactly: each vector is made in
    the first quarter of the turn and carried to its place by sign changes
    (no rational unit vector lies at 45 degrees, so the diagonal symmetry
    cannot be kept with them).
    """
    if segments in _DIRECTIONS:
        return _DIRECTIONS[segments]
    out = []
    window = Fraction(360, segments * 64)
    for k in range(segments):
        a = Fraction(360 * k, segments)
        if a <= 90:
            c, s = _quarter(a, window)
        elif a <= 180:
            c, s = _quarter(180 - a, window)
            c = -c
        elif a <= 270:
            c, s = _quarter(a - 180, window)
            c, s = -c, -s
        else:
            c, s = _quarter(360 - a, window)
            s = -s
        out.append((c, s))
    if len(_DIRECTIONS) < 64:
        _DIRECTIONS[segments] = tuple(out)
    return tuple(out)


def _quarter(degrees: Fraction, window: Fraction) -> tuple[Fraction, Fraction]:
    """The direction near `degrees` (0 to 90), made from the first eighth."""
    if degrees > 45:
        c, s = _eighth(90 - degrees, window)
        return s, c
    return _eighth(degrees, window)


def _eighth(degrees: Fraction, window: Fraction) -> tuple[Fraction, Fraction]:
    if degrees == 0:
        return Fraction(1), Fraction(0)
    lo = max(degrees - window, Fraction(0))
    t = simplest_between(_tan_half(lo), _tan_half(degrees + window))
    return (1 - t * t) / (1 + t * t), 2 * t / (1 + t * t)


_BITS = 96
_ONE = 1 << _BITS


def _fixed_pi() -> int:
    """pi * 2^_BITS, by Machin's formula in integers."""
    def atan_inv(x: int) -> int:
        scale = _ONE << 16
        total, term, n, sign = 0, scale // x, 1, 1
        while term:
            total += sign * (term // n)
            term //= x * x
            n += 2
            sign = -sign
        return total

    return (16 * atan_inv(5) - 4 * atan_inv(239)) >> 16


_PI = _fixed_pi()


def _tan_half(degrees: Fraction) -> Fraction:
    """tan(degrees / 2) to about 2^-90, in integers only (0 <= degrees <= 46)."""
    x = degrees.numerator * _PI // (360 * degrees.denominator)  # the half angle, fixed point
    sin, cos, term, n = 0, 0, _ONE, 0
    while term:
        if n % 2 == 0:
            cos += term if n % 4 == 0 else -term
        else:
            sin += term if n % 4 == 1 else -term
        n += 1
        term = term * x // (_ONE * n)
    return Fraction(sin, cos)
