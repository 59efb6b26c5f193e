"""Numbers in and out of the modelling layer.

Every number a caller hands in becomes an exact ``Fraction`` here, and
every failure names the argument it came from: ``TypeError`` for a value of
a type that is no number, ``ValueError`` for a number that cannot be used.
"""

from __future__ import annotations

import numbers
import re
from collections.abc import Iterable, Sequence
from decimal import Decimal
from fractions import Fraction
from typing import Protocol, TypeAlias, Union


class SupportsItem(Protocol):
    """What numpy's scalar types have in common (numpy is optional)."""

    def item(self) -> object: ...


#: Anything taken as a number: ``int``, ``Fraction``, ``Decimal``, ``str``
#: (``'3/2'``, ``'0.1'``, ``'1e-3'``), ``float`` (read as the shortest
#: decimal that reads back as it) and numpy's integers and floats.
Number: TypeAlias = Union[int, float, str, Fraction, Decimal, SupportsItem]

# The exponent of a decimal text is bounded: "1e999999999" would ask for a
# billion-digit integer.
_MAX_EXPONENT = 9999
_FRACTION_TEXT = re.compile(r"([+-]?\d+(?:_\d+)*)(?:/([+-]?\d+(?:_\d+)*))?")
_DECIMAL_TEXT = re.compile(r"([+-]?)(\d*)(?:\.(\d*))?(?:[eE]([+-]?\d+))?")


def shown(value: object) -> str:
    """`value` for a message, cut short when its text is long."""
    try:
        text = repr(value)
    except Exception:  # a hostile __repr__ must not hide the real failure
        text = f"<{type(value).__name__} object>"
    return text if len(text) <= 60 else text[:57] + "..."


def _refuse(name: str, value: object, why: str) -> ValueError:
    return ValueError(f"{name}: {why}, got {shown(value)}")


def _from_text(text: str, name: str) -> Fraction:
    t = text.strip()
    m = _FRACTION_TEXT.fullmatch(t)
    if m:
        num = int(m.group(1))
        if m.group(2) is None:
            return Fraction(num)
        den = int(m.group(2))
        if den == 0:
            raise _refuse(name, text, "a zero denominator")
        return Fraction(num, den)
    m = _DECIMAL_TEXT.fullmatch(t)
    if m and (m.group(2) or m.group(3)):
        sign, whole, frac, exp = m.groups()
        frac = frac or ""
        e = int(exp) if exp else 0
        if abs(e) > _MAX_EXPONENT:
            raise _refuse(name, text, f"an exponent beyond {_MAX_EXPONENT}")
        value = Fraction(int((whole or "0") + frac)) * Fraction(10) ** (e - len(frac))
        return -value if sign == "-" else value
    raise _refuse(name, text, "not a number text such as '3/2', '0.1' or '1e-3'")


def _from_decimal(value: Decimal, name: str) -> Fraction:
    if not value.is_finite():
        raise _refuse(name, value, "not a finite number")
    exponent = value.as_tuple().exponent
    if isinstance(exponent, int) and abs(exponent) > _MAX_EXPONENT + 100:
        raise _refuse(name, value, f"an exponent beyond {_MAX_EXPONENT}")
    return Fraction(value)


def to_fraction(value: object, name: str) -> Fraction:
    """`value` as an exact Fraction, or TypeError / ValueError naming `name`.

    A ``float`` is read as the shortest decimal text that reads back as the
    same float (``repr``), so ``0.1`` is 1/10 rather than the binary
    fraction the float holds; a numpy float the same way at its own
    precision (``numpy.float32(0.1)`` is 1/10 too). NaN and the infinities
    are refused. ``bool`` is refused: ``True`` is no size.
    """
    if isinstance(value, Fraction):
        return value
    if isinstance(value, bool):
        raise TypeError(f"{name}: expected a number, got a bool ({value!r})")
    if isinstance(value, int):
        return Fraction(value)
    if isinstance(value, float):
        if value != value or value in (float("inf"), float("-inf")):
            raise _refuse(name, value, "not a finite number")
        # repr is the shortest text that reads back as the same float; a
        # float subclass (numpy.float64) may repr differently.
        return _from_text(float.__repr__(value), name)
    if isinstance(value, str):
        return _from_text(value, name)
    if isinstance(value, Decimal):
        return _from_decimal(value, name)
    if type(value).__module__ == "numpy":
        return _from_numpy(value, name)
    if isinstance(value, numbers.Rational):
        return Fraction(int(value.numerator), int(value.denominator))
    raise TypeError(f"{name}: expected a number (int, Fraction, Decimal, str, float), "
                    f"got {type(value).__name__}")


def _from_numpy(value: object, name: str) -> Fraction:
    if isinstance(value, numbers.Integral):
        return Fraction(int(value))
    kind = getattr(getattr(value, "dtype", None), "kind", None)
    if kind == "f" and isinstance(value, numbers.Real):
        if value != value or abs(float(value)) == float("inf"):
            raise _refuse(name, value, "not a finite number")
        # numpy writes a float as the shortest text that reads back as it
        # at the float's own precision.
        return _from_text(str(value), name)
    if kind == "b":
        raise TypeError(f"{name}: expected a number, got a bool ({value!r})")
    raise TypeError(f"{name}: expected a number, got numpy {type(value).__name__}")


# Python converts between int and str at most 4300 digits at a time (its
# guard against quadratic conversions of hostile input); exact results are
# often longer, so they go in pieces of this many digits.
_PIECE = 4000


def _int_of(digits: str) -> int:
    if len(digits) <= _PIECE:
        return int(digits)
    sign = -1 if digits[0] == "-" else 1
    digits = digits.lstrip("+-")
    n = 0
    for i in range(0, len(digits), _PIECE):
        piece = digits[i:i + _PIECE]
        n = n * 10 ** len(piece) + int(piece)
    return sign * n


def _digits(n: int) -> str:
    if n.bit_length() < 3 * _PIECE:  # under 10^_PIECE
        return str(n)
    pieces = []
    rest = abs(n)
    while rest:
        rest, r = divmod(rest, 10**_PIECE)
        pieces.append(r)
    return ("-" if n < 0 else "") + str(pieces[-1]) + "".join(
        str(p).zfill(_PIECE) for p in reversed(pieces[:-1]))


def text(value: Fraction) -> str:
    """The kernel's number text of an exact value."""
    return f"{_digits(value.numerator)}/{_digits(value.denominator)}"


def fraction_of(text: str) -> Fraction:
    """A kernel number text ('3/2', '5/1') as a Fraction."""
    num, _, den = text.partition("/")
    return Fraction(_int_of(num), _int_of(den or "1"))


def positive(value: object, name: str) -> Fraction:
    """`value` as a Fraction that must be greater than zero."""
    f = to_fraction(value, name)
    if f <= 0:
        raise _refuse(name, value, "must be positive")
    return f


def points(value: object, name: str, dim: int) -> list[tuple[Fraction, ...]]:
    """A sequence of points of `dim` numbers each, as tuples of Fractions."""
    items = sequence(value, name)
    out = []
    for i, item in enumerate(items):
        coords = sequence(item, f"{name}[{i}]")
        if len(coords) != dim:
            raise ValueError(f"{name}[{i}]: expected {dim} coordinates, got {len(coords)}")
        out.append(tuple(to_fraction(c, f"{name}[{i}][{j}]") for j, c in enumerate(coords)))
    return out


def sequence(value: object, name: str) -> Sequence[object]:
    """`value` as a list of its items; a str, bytes or mapping is refused."""
    if isinstance(value, (str, bytes, bytearray, dict)) or not isinstance(value, Iterable):
        raise TypeError(f"{name}: expected a sequence, got {type(value).__name__}")
    try:
        return list(value)
    except (TypeError, ValueError) as exc:
        raise TypeError(f"{name}: expected a sequence, got {type(value).__name__}") from exc
