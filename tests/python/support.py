"""Shared by the Python tests."""

from fractions import Fraction

import pytest

import quillstone as qs


def _panic_type():
    # The type is not a module attribute; a malformed number reveals it.
    try:
        qs.make_box("x", "1", "1", "p")
    except BaseException as exc:  # noqa: B036 - it derives from BaseException only
        return type(exc)
    raise AssertionError("a malformed number did not abort the call")


Panic = _panic_type()


def panic_of(fn, *args, **kwargs):
    """Runs fn, expects the kernel's PanicException, and returns it."""
    with pytest.raises(Panic) as info:
        fn(*args, **kwargs)
    exc = info.value
    assert type(exc).__name__ == "PanicException"
    assert not isinstance(exc, Exception)
    return exc


def text(f):
    """A number as the kernel writes it: numerator, '/', denominator."""
    f = Fraction(f)
    return f"{f.numerator}/{f.denominator}"
