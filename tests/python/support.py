"""Shared by the Python tests."""

from fractions import Fraction

import pytest

import quillstone_io


# The type of an aborted call: not an attribute of quillstone, named by
# quillstone_io.
Panic = quillstone_io.PanicException


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
