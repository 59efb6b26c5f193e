"""NURBS curve and surface evaluation and the subdivision search."""

import random
from fractions import Fraction

import pytest

import quillstone as qs
from support import panic_of, text




def idx(length, index):
    return f"index out of bounds: the len is {length} but the index is {index}"


def texts(values):
    return [text(Fraction(v)) for v in values]


SQUARE = [[["0", "0", "0"], ["0", "1", "0"]], [["1", "0", "0"], ["1", "1", "0"]]]


def lifted(z):
    return [[[x, y, z] for x, y, _ in row] for row in SQUARE]


# ---------------------------------------------------------------- worked values


def test_curve_worked_values():
    assert qs.nurbs_curve_eval(1, [["0", "0", "0"], ["2", "4", "6"]], ["0", "0", "1", "1"], "1/2") == [
        "1/1", "2/1", "3/1"]
    quad = [["0", "0", "0"], ["1", "2", "0"], ["2", "0", "0"]]
    knots = ["0", "0", "0", "1", "1", "1"]
    assert qs.nurbs_curve_eval(2, quad, knots, "1/2", ["1", "2", "1"]) == ["1/1", "4/3", "0/1"]
    hom = [["0", "0", "0", "1"], ["2", "4", "0", "2"], ["2", "0", "0", "1"]]
    assert qs.nurbs_curve_eval(degree=2, cps=hom, knots=knots, t="1/2", weights=None) == [
        "1/1", "4/3", "0/1"]
    assert qs.nurbs_curve_eval(2, quad, knots, "2") == ["4/1", "-8/1", "0/1"]
    # Weights all 2 are the same as no weights.
    assert qs.nurbs_curve_eval(2, quad, knots, "1/3", ["2"] * 3) == qs.nurbs_curve_eval(2, quad, knots, "1/3")


def test_surface_worked_values():
    net = [[["0", "0", "0"], ["0", "1", "0"]], [["1", "0", "0"], ["1", "1", "1"]]]
    k = ["0", "0", "1", "1"]
    assert qs.nurbs_surface_eval(1, 1, net, k, k, "1/2", "1/2") == ["1/2", "1/2", "1/4"]
    assert qs.nurbs_surface_eval(1, 1, net, k, k, "1/2", "1/2", [["1", "1"], ["1", "3"]]) == [
        "2/3", "2/3", "1/2"]
    assert qs.nurbs_surface_eval(1, 1, net, k, k, "0", "1") == ["0/1", "1/1", "0/1"]


def test_ssi_worked_values():
    assert qs.ssi_pairs(SQUARE, lifted("1"), 0) == [["0/1", "1/1", "0/1", "1/1"] * 2]
    assert qs.ssi_pairs(SQUARE, lifted("1"), 1) == []
    same = qs.ssi_pairs(SQUARE, SQUARE, 1)
    assert len(same) == 16
    assert same[0] == ["0/1", "1/2", "0/1", "1/2", "0/1", "1/2", "0/1", "1/2"]
    assert same[1] == ["0/1", "1/2", "0/1", "1/2", "0/1", "1/2", "1/2", "1/1"]
    wall = [[["1/3", "0", "-1"], ["1/3", "0", "1"]], [["1/3", "1", "-1"], ["1/3", "1", "1"]]]
    d1 = qs.ssi_pairs(SQUARE, wall, 1)
    assert len(d1) == 8 and all(e[:2] == ["0/1", "1/2"] for e in d1)
    assert len(qs.ssi_pairs(SQUARE, wall, 2)) == 20
    # Depth 0 never looks at the nets.
    assert qs.ssi_pairs([], [], 0, ["2", "0", "5", "5"]) == [["2/1", "0/1", "5/1", "5/1", "0/1", "1/1", "0/1", "1/1"]]
    halves = qs.ssi_pairs(SQUARE, SQUARE, 1, a_box=("2", "0", "5", "5"), b_box=None)
    assert {tuple(e[:4]) for e in halves} == {("2/1", "1/1", "5/1", "5/1"), ("1/1", "0/1", "5/1", "5/1")}


# ------------------------------------------------- independent Cox-de Boor check


def basis(knots, p, i, t, last_span):
    """N_{i,p}(t) by the Cox-de Boor recursion; the last non-empty span is closed."""
    if p == 0:
        if knots[i] <= t < knots[i + 1]:
            return Fraction(1)
        return Fraction(1 if i == last_span and t == knots[i + 1] else 0)
    value = Fraction(0)
    den = knots[i + p] - knots[i]
    if den:
        value += (t - knots[i]) / den * basis(knots, p - 1, i, t, last_span)
    den = knots[i + p + 1] - knots[i + 1]
    if den:
        value += (knots[i + p + 1] - t) / den * basis(knots, p - 1, i + 1, t, last_span)
    return value


def random_fraction(rng, lo=-9, hi=9):
    return Fraction(rng.randint(lo, hi), rng.randint(1, 6))


def clamped_knots(rng, p, n):
    """n + p + 1 knots, ends repeated p + 1 times, interior knots repeated up to p times."""
    interior = []
    while len(interior) < n - p - 1:
        k = Fraction(rng.randint(1, 11), 12)
        interior += [k] * min(rng.randint(1, p), n - p - 1 - len(interior))
    return [Fraction(0)] * (p + 1) + sorted(interior) + [Fraction(1)] * (p + 1)


def sample_params(rng, knots):
    picks = {Fraction(0), Fraction(1), rng.choice(knots)}
    picks.update(Fraction(rng.randint(0, 36), 36) for _ in range(3))
    return sorted(picks)


@pytest.mark.parametrize("trial", range(12))
def test_curve_matches_cox_de_boor(trial):
    rng = random.Random(trial)
    for p in range(1, 5):
        n = p + 1 + rng.randint(0, 5)
        knots = clamped_knots(rng, p, n)
        last = n - 1
        pts = [[random_fraction(rng) for _ in range(3)] for _ in range(n)]
        ws = [Fraction(rng.randint(1, 9), rng.randint(1, 4)) for _ in range(n)]
        for t in sample_params(rng, knots):
            bs = [basis(knots, p, i, t, last) * ws[i] for i in range(n)]
            den = sum(bs)
            want = [sum(b * pt[c] for b, pt in zip(bs, pts)) / den for c in range(3)]
            got = qs.nurbs_curve_eval(p, [texts(pt) for pt in pts], texts(knots), text(t), texts(ws))
            assert got == texts(want), (p, n, t)
            hom = [texts([w * c for c in pt] + [w]) for pt, w in zip(pts, ws)]
            assert qs.nurbs_curve_eval(p, hom, texts(knots), text(t)) == got


@pytest.mark.parametrize("trial", range(6))
def test_surface_matches_cox_de_boor(trial):
    rng = random.Random(100 + trial)
    pu, pv = rng.randint(1, 4), rng.randint(1, 4)
    nu, nv = pu + 1 + rng.randint(0, 3), pv + 1 + rng.randint(0, 3)
    ku, kv = clamped_knots(rng, pu, nu), clamped_knots(rng, pv, nv)
    net = [[[random_fraction(rng) for _ in range(3)] for _ in range(nv)] for _ in range(nu)]
    ws = [[Fraction(rng.randint(1, 9), rng.randint(1, 4)) for _ in range(nv)] for _ in range(nu)]
    net_t = [[texts(pt) for pt in row] for row in net]
    ws_t = [texts(row) for row in ws]
    for u in sample_params(rng, ku)[:4]:
        for v in sample_params(rng, kv)[:4]:
            nus = [basis(ku, pu, i, u, nu - 1) for i in range(nu)]
            nvs = [basis(kv, pv, j, v, nv - 1) for j in range(nv)]
            terms = [(nus[i] * nvs[j] * ws[i][j], net[i][j]) for i in range(nu) for j in range(nv)]
            den = sum(b for b, _ in terms)
            want = [sum(b * pt[c] for b, pt in terms) / den for c in range(3)]
            got = qs.nurbs_surface_eval(pu, pv, net_t, texts(ku), texts(kv), text(u), text(v), ws_t)
            assert got == texts(want), (pu, pv, u, v)


# ------------------------------------------------------------ ssi_pairs properties


def bicubic(height):
    """A 4 x 4 Cartesian net over the unit square with the given z(i, j)."""
    return [[[text(Fraction(i, 3)), text(Fraction(j, 3)), text(Fraction(height(i, j)))]
             for j in range(4)] for i in range(4)]


DOME = bicubic(lambda i, j: (i - 1) * (2 - i) + (j - 1) * (2 - j) + 2)
TILT = bicubic(lambda i, j: Fraction(i - j, 5) + Fraction(1, 7))


def contains(outer, inner):
    lo, hi = sorted(map(Fraction, outer))
    return all(lo <= Fraction(x) <= hi for x in inner)


def test_ssi_children_nest_in_parents():
    levels = [qs.ssi_pairs(DOME, TILT, d) for d in range(5)]
    assert all(levels)
    for parents, children in zip(levels, levels[1:]):
        boxes = [[tuple(e[k:k + 2]) for k in (0, 2, 4, 6)] for e in parents]
        for e in children:
            kid = [e[k:k + 2] for k in (0, 2, 4, 6)]
            assert any(all(contains(p[k], kid[k]) for k in range(4)) for p in boxes), e
        # Each child quarters its parent's A box and B box.
        widths = {Fraction(e[1]) - Fraction(e[0]) for e in children}
        assert widths == {Fraction(1, 2 ** levels.index(children))}


@pytest.mark.parametrize("net", [SQUARE, DOME, TILT, [[["1", "2", "3"]]]])
def test_ssi_patch_against_itself_never_empty(net):
    for depth in (1, 3):
        assert qs.ssi_pairs(net, net, depth)


def test_ssi_far_apart_and_touching():
    far = [[[text(Fraction(c) + 10 * (k == 0)) for k, c in enumerate(pt)] for pt in row] for row in DOME]
    assert qs.ssi_pairs(DOME, far, 1) == []
    assert len(qs.ssi_pairs(DOME, far, 0)) == 1
    # Squares sharing the edge x = 1 stay in contact at any depth.
    beside = [[[str(int(x) + 1), y, z] for x, y, z in row] for row in SQUARE]
    assert qs.ssi_pairs(SQUARE, beside, 6)


def test_ssi_homogeneous_unit_weights_match_cartesian():
    hom = [[pt + ["1"] for pt in row] for row in DOME]
    assert qs.ssi_pairs(hom, TILT, 4) == qs.ssi_pairs(DOME, TILT, 4)
    # Scaling every homogeneous point by the same weight changes nothing either.
    w3 = [[[text(3 * Fraction(c)) for c in pt] + ["3"] for pt in row] for row in DOME]
    assert qs.ssi_pairs(TILT, w3, 3) == qs.ssi_pairs(TILT, DOME, 3)


# --------------------------------------------------------------------- bad input


def test_str_for_sequence_is_refused():
    knots = ["0", "0", "1", "1"]
    pts = [["0", "0", "0"], ["1", "1", "1"]]
    for kw, bad in [("cps", "00"), ("cps", ["000", "111"]), ("knots", "0011"), ("weights", "11")]:
        args = dict(degree=1, cps=pts, knots=knots, t="0", weights=None)
        args[kw] = bad
        with pytest.raises(TypeError, match=f"{kw}.*Can't extract `str` to `Vec`"):
            qs.nurbs_curve_eval(**args)
    with pytest.raises(TypeError, match="net.*Can't extract"):
        qs.nurbs_surface_eval(1, 1, [["000"]], knots, knots, "0", "0")
    with pytest.raises(TypeError, match="b_box.*Can't extract"):
        qs.ssi_pairs(SQUARE, SQUARE, 1, None, "0101")
    with pytest.raises(TypeError):
        qs.nurbs_curve_eval(1, pts, knots, 0)
    with pytest.raises(OverflowError):
        qs.nurbs_curve_eval(-1, pts, knots, "0")


def test_failures_reach_python_as_panics():
    # The texts themselves are checked in the C++ tests; here one of each kind
    # crosses the surface, and the module keeps working afterwards.
    pts = [["0", "0", "0"], ["1", "1", "1"]]
    assert str(panic_of(qs.nurbs_curve_eval, 1, pts, ["0", "0"], "0")) == idx(2, 2)
    assert str(panic_of(qs.nurbs_curve_eval, 1, pts, ["0", "0", "1", "1"], "1", ["1", "0"])) == \
        "attempt to divide by zero"
    down = [str(9 - i) for i in range(10)]
    assert str(panic_of(qs.nurbs_curve_eval, 6, pts, down, "50")) == idx(2, 2)
    assert "Empty" in str(panic_of(qs.nurbs_curve_eval, 1, [["x"]], ["0", ""], "y", ["z"]))
    k = ["0", "0", "1", "1"]
    short_weights = [["1", "1"]]
    assert str(panic_of(qs.nurbs_surface_eval, 1, 1, [pts, pts], k, k, "0", "0", short_weights)) == idx(1, 1)
    assert str(panic_of(qs.ssi_pairs, SQUARE, SQUARE, 0, ["0", "1", "0"])) == idx(3, 3)
    ragged = [SQUARE[0] + [["0", "2", "0"]], SQUARE[1]]
    assert str(panic_of(qs.ssi_pairs, ragged, SQUARE, 2)) == idx(2, 2)
    assert "InvalidDigit" in str(panic_of(qs.ssi_pairs, [[["0", "0", "1x"]]], SQUARE, 0))
    assert qs.nurbs_curve_eval(1, pts, k, "1/2") == ["1/2", "1/2", "1/2"]


def test_ssi_huge_depth_is_memory_error_and_module_survives():
    with pytest.raises(MemoryError, match="memory bound"):
        qs.ssi_pairs(SQUARE, SQUARE, 2 ** 64 - 1)
    assert len(qs.ssi_pairs(SQUARE, SQUARE, 1)) == 16


def test_ssi_patches_touching_at_a_corner_end_at_the_level_bound():
    # Only the corner pair survives each level, so memory never runs out;
    # the level bound ends the search instead of letting it run for ever.
    far = [[["1", "1", "0"], ["1", "2", "0"]], [["2", "1", "0"], ["2", "2", "0"]]]
    assert len(qs.ssi_pairs(SQUARE, far, 12)) == 1
    with pytest.raises(MemoryError, match="2048 levels with 1 candidate pairs"):
        qs.ssi_pairs(SQUARE, far, 2 ** 64 - 1)
