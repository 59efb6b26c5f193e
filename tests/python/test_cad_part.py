"""quillstone_cad.Part: exact equality whatever the faces' split, a hash
that agrees with it, and the exact measures."""

from fractions import Fraction

import quillstone as qs
import quillstone_cad as qc


def box(x, y, z, at=("0", "0", "0")):
    return qc.Part(qs.make_box(str(x), str(y), str(z), "b").translate(*map(str, at)))


def test_equality_is_of_point_sets_and_the_hash_agrees():
    whole = box(2, 1, 1)
    halves = box(1, 1, 1) | box(1, 1, 1, at=(1, 0, 0))
    assert whole.solid.canonical() != halves.solid.canonical()  # split differently
    assert whole == halves and hash(whole) == hash(halves)
    sliver = Fraction(1, 10**30)
    assert whole != box(2 + sliver, 1, 1)
    assert whole != whole - box(sliver, sliver, sliver)
    assert whole.volume == 2 and whole.bbox == ((0, 0, 0), (2, 1, 1))
