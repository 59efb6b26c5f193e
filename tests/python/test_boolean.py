"""Booleans, the canonical form and the box entry points."""

import os
import threading
from fractions import Fraction

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import quillstone as qs
from support import Panic, text

UNIT_TEXT = (
    "0/1,0/1,0/1|0/1,0/1,1/1|0/1,1/1,0/1|0/1,1/1,1/1;"
    "0/1,0/1,0/1|0/1,0/1,1/1|1/1,0/1,0/1|1/1,0/1,1/1;"
    "0/1,0/1,0/1|0/1,1/1,0/1|1/1,0/1,0/1|1/1,1/1,0/1;"
    "0/1,0/1,1/1|0/1,1/1,1/1|1/1,0/1,1/1|1/1,1/1,1/1;"
    "0/1,1/1,0/1|0/1,1/1,1/1|1/1,1/1,0/1|1/1,1/1,1/1;"
    "1/1,0/1,0/1|1/1,0/1,1/1|1/1,1/1,0/1|1/1,1/1,1/1"
)




def box(dx, dy, dz, at=("0", "0", "0"), prefix="b"):
    return qs.make_box(str(dx), str(dy), str(dz), prefix).translate(*map(str, at))


def v6(solid):
    return Fraction(solid.volume6_str())


# --- An independent exact reference ----------------------------------------
# The textbook recursive partitioning-tree boolean over Fractions, with no
# double filter: what the kernel must reproduce piece for piece.


def _sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def _cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def _dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def _face(verts, plane=None):
    if plane is None:
        n = _cross(_sub(verts[1], verts[0]), _sub(verts[2], verts[0]))
        plane = (n, _dot(n, verts[0]))
    return (tuple(verts), plane)


def _area_zero(verts):
    a = [Fraction(0)] * 3
    for i in range(1, len(verts) - 1):
        c = _cross(_sub(verts[i], verts[0]), _sub(verts[i + 1], verts[0]))
        a = [x + y for x, y in zip(a, c)]
    return not any(a)


def _split(plane, face, cf, cb, fr, bk):
    (n, d) = plane
    verts, fplane = face
    sides = []
    for p in verts:
        s = _dot(n, p) - d
        sides.append((s > 0) - (s < 0))
    cls = (1 if 1 in sides else 0) | (2 if -1 in sides else 0)
    if cls == 0:
        (cf if _dot(n, fplane[0]) > 0 else cb).append(face)
    elif cls == 1:
        fr.append(face)
    elif cls == 2:
        bk.append(face)
    else:
        f, b = [], []
        for i, p in enumerate(verts):
            q = verts[(i + 1) % len(verts)]
            si, sj = sides[i], sides[(i + 1) % len(verts)]
            if si != -1:
                f.append(p)
            if si != 1:
                b.append(p)
            if si * sj < 0:
                e = _sub(q, p)
                t = (d - _dot(n, p)) / _dot(n, e)
                x = tuple(pc + t * ec for pc, ec in zip(p, e))
                f.append(x)
                b.append(x)
        for piece, out in ((f, fr), (b, bk)):
            if len(piece) >= 3 and not _area_zero(piece):
                out.append((tuple(piece), fplane))


class _Node:
    def __init__(self):
        self.plane, self.faces, self.front, self.back = None, [], None, None

    def insert(self, faces):
        if not faces:
            return
        if self.plane is None:
            self.plane = faces[0][1]
        fr, bk = [], []
        for f in faces:
            _split(self.plane, f, self.faces, self.faces, fr, bk)
        if fr:
            self.front = self.front or _Node()
            self.front.insert(fr)
        if bk:
            self.back = self.back or _Node()
            self.back.insert(bk)

    def clip(self, faces):
        if self.plane is None:
            return list(faces)
        fr, bk = [], []
        for f in faces:
            _split(self.plane, f, fr, bk, fr, bk)
        if self.front:
            fr = self.front.clip(fr)
        bk = self.back.clip(bk) if self.back else []
        return fr + bk

    def clip_to(self, other):
        self.faces = other.clip(self.faces)
        for c in (self.front, self.back):
            if c:
                c.clip_to(other)

    def invert(self):
        self.faces = [(v[::-1], (tuple(-c for c in p[0]), -p[1])) for v, p in self.faces]
        if self.plane:
            self.plane = (tuple(-c for c in self.plane[0]), -self.plane[1])
        for c in (self.front, self.back):
            if c:
                c.invert()
        self.front, self.back = self.back, self.front

    def all(self):
        out = list(self.faces)
        for c in (self.front, self.back):
            if c:
                out += c.all()
        return out


def ref_box(d, at):
    """Corners and loops of the kernel's box, placed at `at`."""
    corners = []
    for i in range(8):
        c = (d[0] if i in (1, 2, 5, 6) else 0, d[1] if i in (2, 3, 6, 7) else 0, d[2] if i >= 4 else 0)
        corners.append(tuple(Fraction(x) + Fraction(a) for x, a in zip(c, at)))
    loops = [(0, 3, 2, 1), (4, 5, 6, 7), (0, 1, 5, 4), (2, 3, 7, 6), (1, 2, 6, 5), (3, 0, 4, 7)]
    faces = [_face([corners[i] for i in loop]) for loop in loops]
    return [f for f in faces if not _area_zero(f[0])]


def ref_boolean(op, fa, fb):
    if (op == "cut" and not fa) or (op == "intersect" and not (fa and fb)):
        return []
    a, b = _Node(), _Node()
    a.insert(fa)
    b.insert(fb)
    if op == "union":
        a.clip_to(b); b.clip_to(a); b.invert(); b.clip_to(a); b.invert(); a.insert(b.all())  # noqa: E702
    elif op == "cut":
        a.invert(); a.clip_to(b); b.clip_to(a); b.invert(); b.clip_to(a); b.invert()  # noqa: E702
        a.insert(b.all()); a.invert()  # noqa: E702
    else:
        a.invert(); b.clip_to(a); b.invert(); a.clip_to(b); b.clip_to(a)  # noqa: E702
        a.insert(b.all()); a.invert()  # noqa: E702
    return [f for f in a.all() if not _area_zero(f[0])]


def ref_canonical(faces):
    texts = set()
    for verts, _ in faces:
        texts.add("|".join(sorted(",".join(text(c) for c in p) for p in verts)))
    return ";".join(sorted(texts))


def ref_volume6(faces):
    total = Fraction(0)
    for verts, _ in faces:
        for i in range(1, len(verts) - 1):
            total += _dot(verts[0], _cross(verts[i], verts[i + 1]))
    return total


# --- Worked values ------------------------------------------------------------


def test_box_form_values():
    assert qs.box_form("1", "1", "1") == ("6/1", UNIT_TEXT)
    assert len(UNIT_TEXT) == 287
    assert qs.box_form("2", "3", "5")[0] == "180/1"
    assert qs.box_form("0", "0", "0") == ("0/1", "")
    assert qs.box_form("0", "1", "1") == ("0/1", "0/1,0/1,0/1|0/1,0/1,1/1|0/1,1/1,0/1|0/1,1/1,1/1")
    half = ";".join(
        "|".join(
            ",".join(["1/2" if (k == 0 and c == "1/1") else c for k, c in enumerate(p.split(","))])
            for p in ft.split("|")
        )
        for ft in UNIT_TEXT.split(";")
    )
    assert qs.box_form("1/2", "1", "1")[1] == half
    assert qs.make_box("1", "1", "1", "any").canonical() == UNIT_TEXT


def test_box_boolean_values():
    unit = ("1", "1", "1", "1", "1", "1")
    assert qs.box_boolean(*unit, "1/2", "0", "0", "union")[0] == "9/1"
    assert qs.box_boolean(*unit, "1/2", "0", "0", "cut")[0] == "3/1"
    assert qs.box_boolean(*unit, "1/2", "0", "0", "intersect")[0] == "3/1"
    assert qs.box_boolean(*unit, "2", "0", "0", "intersect") == ("0/1", "")
    assert qs.box_boolean(*unit, "2", "0", "0", "union")[0] == "12/1"
    # Keywords give the same.
    kw = dict(dx="1", dy="1", dz="1", ex="1", ey="1", ez="1", tx="1/2", ty="0", tz="0", op="cut")
    assert qs.box_boolean(**kw) == qs.box_boolean(*unit, "1/2", "0", "0", "cut")


def test_box_boolean_failure_order():
    args = ["1", "1", "1", "1", "1", "1", "0", "0", "0", "union"]
    for op in ("Union", "cut ", "", " union", "intersection", "union\0"):
        with pytest.raises(Panic, match="^unknown op$"):
            qs.box_boolean(*args[:9], op)
    # Numbers are parsed in order dx .. tz and before op is looked at.
    bad = list(args)
    bad[4], bad[8], bad[9] = "1/0", "x", "nope"
    with pytest.raises(Panic, match="denominator == 0"):
        qs.box_boolean(*bad)
    bad[4] = "1"
    with pytest.raises(Panic, match="InvalidDigit"):
        qs.box_boolean(*bad)
    # Conversion comes first of all and names the argument.
    bad[3] = 1
    with pytest.raises(TypeError, match="ex"):
        qs.box_boolean(*bad)
    with pytest.raises(TypeError, match="op"):
        qs.box_boolean(*args[:9], None)
    with pytest.raises(TypeError, match="dz"):
        qs.box_form("1", "1", 1.0)
    with pytest.raises(TypeError):
        qs.box_form("1", "1")


def test_identical_and_self():
    a = box(1, 1, 1)
    assert a.boolean("union", a).canonical() == UNIT_TEXT
    empty = a.boolean("cut", a)
    assert empty.canonical() == "" and empty.volume6_str() == "0/1"
    assert a.boolean("intersect", box(1, 1, 1, prefix="other")).canonical() == UNIT_TEXT


def test_disjoint_and_empty_operands():
    a = box(2, 2, 2)
    far = box(1, 1, 1, at=(5, 5, 5))
    assert a.boolean("cut", far).canonical() == a.canonical()
    assert a.boolean("intersect", far).canonical() == ""
    none = qs.make_box("0", "0", "0", "none")
    assert none.canonical() == ""
    assert a.boolean("union", none).canonical() == a.canonical()
    assert none.boolean("union", a).canonical() == a.canonical()
    assert a.boolean("cut", none).volume6_str() == "48/1"
    # The empty set minus anything, and anything met with it, is empty.
    assert none.boolean("cut", a).canonical() == ""
    assert a.boolean("intersect", none).canonical() == ""
    assert none.boolean("intersect", a).canonical() == ""
    assert none.boolean("intersect", none).canonical() == ""
    # So identities hold through a chain that passes an empty result.
    gone = a.boolean("cut", a)
    assert gone.boolean("cut", far).canonical() == ""
    assert gone.boolean("intersect", a).canonical() == ""
    assert gone.boolean("union", far).canonical() == far.canonical()
    assert qs.box_boolean("0", "0", "0", "2", "2", "2", "0", "0", "0", "cut") == ("0/1", "")
    assert qs.box_boolean("2", "2", "2", "0", "0", "0", "1", "1", "1", "intersect") == ("0/1", "")
    with pytest.raises(Panic, match="^unknown op$"):
        none.boolean("Cut", a)


def test_pieces_are_not_merged():
    # The corner cut leaves the three touched faces of A in pieces.
    a = box(2, 2, 2)
    r = a.boolean("cut", box(1, 1, 1, at=("3/2", "3/2", "3/2")))
    assert v6(r) == 48 - Fraction(6, 8)
    assert len(r.canonical().split(";")) > 9


def test_boolean_arguments():
    a = box(1, 1, 1)
    with pytest.raises(TypeError, match="other"):
        a.boolean("union", 3)
    with pytest.raises(TypeError, match="other"):
        a.boolean("union", other="not a solid")
    with pytest.raises(TypeError, match="op"):
        a.boolean(3, 4)  # op is converted before other is looked at
    with pytest.raises(TypeError):
        a.boolean("union")
    with pytest.raises(TypeError):
        qs.PySolid.boolean(3, "union", a)
    with pytest.raises(Panic, match="^unknown op$"):
        a.boolean("UNION", a)
    assert a.boolean(op="union", other=a).canonical() == UNIT_TEXT
    # A failed call leaves the operand as it was and the module usable.
    assert a.canonical() == UNIT_TEXT


def test_canonical_arguments_and_label_independence():
    with pytest.raises(TypeError):
        box(1, 1, 1).canonical(1)
    assert box(1, 2, 3, prefix="p").canonical() == box(1, 2, 3, prefix="q").canonical()
    # A face-flipped copy has the same text.
    assert box(1, 2, 3).mirror(0).mirror(0).canonical() == box(1, 2, 3).canonical()


# --- Properties ---------------------------------------------------------------

grid = st.integers(min_value=0, max_value=3)
size = st.integers(min_value=1, max_value=3)
frac = st.fractions(min_value=-2, max_value=2, max_denominator=7)
pos_frac = st.fractions(min_value=Fraction(1, 7), max_value=3, max_denominator=7)


@st.composite
def box_pair(draw, coords, sizes):
    d = [draw(sizes) for _ in range(3)]
    e = [draw(sizes) for _ in range(3)]
    t = [draw(coords) for _ in range(3)]
    return d, e, t


def _volumes(d, e, t):
    out = {}
    for op in ("union", "cut", "intersect"):
        out[op] = Fraction(qs.box_boolean(*map(text, d + e + t), op)[0])
    return out


def _check_volume_identities(d, e, t):
    va = Fraction(qs.box_form(*map(text, d))[0])
    vb = Fraction(qs.box_form(*map(text, e))[0])
    v = _volumes(d, e, t)
    assert v["union"] + v["intersect"] == va + vb
    assert v["cut"] == va - v["intersect"]
    # The exact overlap, from the intervals.
    overlap = 1
    for k in range(3):
        lo, hi = max(0, t[k]), min(d[k], t[k] + e[k])
        overlap *= max(Fraction(0), Fraction(hi) - Fraction(lo))
    assert v["intersect"] == 6 * overlap
    # Swapping the operands: union and intersect keep their volume.
    a = box(*map(text, d))
    b = box(*map(text, e), at=tuple(map(text, t)))
    assert v6(b.boolean("union", a)) == v["union"]
    assert v6(b.boolean("intersect", a)) == v["intersect"]


@settings(max_examples=150, deadline=None)
@given(box_pair(st.integers(min_value=-2, max_value=3), size))
def test_volume_identities_on_grid(p):
    _check_volume_identities(*p)


@settings(max_examples=100, deadline=None)
@given(box_pair(frac, pos_frac))
def test_volume_identities_with_rational_offsets(p):
    _check_volume_identities(*p)


@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(box_pair(grid, size), st.integers(min_value=0, max_value=3), st.integers(min_value=0, max_value=2))
def test_matches_independent_reference(p, quarters, axis):
    d, e, t = p
    a = box(*map(text, d), prefix="A")
    b = box(*map(text, e), at=tuple(map(text, t)), prefix="B").rotate_quarter(axis, quarters)
    fa = ref_box(d, (0, 0, 0))
    fb = ref_box(e, t)
    fb = [_face([_rot(p_, axis, quarters) for p_ in v]) for v, _ in fb]
    for op in ("union", "cut", "intersect"):
        r = a.boolean(op, b)
        ref = ref_boolean(op, fa, fb)
        assert r.canonical() == ref_canonical(ref), op
        assert v6(r) == ref_volume6(ref), op


def _rot(p, axis, quarters):
    p = list(p)
    i, j = (axis + 1) % 3, (axis + 2) % 3
    for _ in range(quarters % 4):
        p[i], p[j] = -p[j], p[i]
    return tuple(p)


@settings(max_examples=40, deadline=None)
@given(box_pair(grid, size))
def test_identical_operands(p):
    d, _, t = p
    a = box(*map(text, d), at=tuple(map(text, t)))
    b = box(*map(text, d), at=tuple(map(text, t)), prefix="other")
    assert a.boolean("union", b).canonical() == a.canonical()
    assert a.boolean("intersect", b).canonical() == a.canonical()
    assert a.boolean("cut", b).canonical() == ""


# --- A deep tree on a small stack ---------------------------------------------


def test_deep_tree_on_small_thread_stack():
    """A diagonal chain of 2048 unit boxes touching at corners: its tree is a
    chain about as deep as the boxes are many. Every walk must run on the
    heap; a thread with a 64 KiB stack would overflow on recursion."""
    result = {}

    def work():
        try:
            s = qs.make_box("1", "1", "1", "c")
            k = 1
            while k < 2048:
                s = s.boolean("union", s.translate(str(k), str(k), str(k)))
                k *= 2
            result["v6"] = s.volume6_str()
            result["faces"] = len(s.canonical().split(";"))
        except BaseException as exc:  # noqa: B036 - reported below
            result["error"] = exc

    # The sanitizers' redzones make every frame several times larger.
    under_asan = "asan" in os.environ.get("LD_PRELOAD", "")
    old = threading.stack_size((512 if under_asan else 64) * 1024)
    try:
        th = threading.Thread(target=work)
        th.start()
        th.join()
    finally:
        threading.stack_size(old)
    assert "error" not in result, result.get("error")
    assert result["v6"] == str(6 * 2048) + "/1"
    assert result["faces"] == 6 * 2048
