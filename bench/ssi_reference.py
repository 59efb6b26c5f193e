"""The subdivision search and Cox-de Boor evaluation in plain Python.

This is what a caller would write without the extension: the same
algorithm as quillstone.ssi_pairs, on fractions.Fraction, and a textbook
basis-function evaluation of a NURBS surface. Used by bench_nurbs.py as
the baseline.
"""

from fractions import Fraction

HALF = Fraction(1, 2)


def parse_net(net):
    return [[[Fraction(c) for c in pt] for pt in row] for row in net]


def control_box(net):
    dim = len(net[0][0])
    lo = hi = None
    for row in net:
        for p in row:
            q = p[:3] if dim == 3 else [p[0] / p[3], p[1] / p[3], p[2] / p[3]]
            if lo is None:
                lo, hi = list(q), list(q)
                continue
            for c in range(3):
                if q[c] < lo[c]:
                    lo[c] = q[c]
                elif q[c] > hi[c]:
                    hi[c] = q[c]
    return lo + hi


def boxes_overlap(a, b):
    return all(a[c] <= b[c + 3] and b[c] <= a[c + 3] for c in range(3))


def split_curves(polygons, dim):
    lefts, rights = [], []
    for poly in polygons:
        p = [list(pt) for pt in poly]
        n = len(p)
        left, right = [p[0]], [p[n - 1]]
        for f in range(1, n):
            for i in range(n - f):
                p[i] = [(p[i][c] + p[i + 1][c]) * HALF for c in range(dim)]
            left.append(p[0])
            right.append(p[n - f - 1])
        right.reverse()
        lefts.append(left)
        rights.append(right)
    return lefts, rights


def subdivide_patch(net, box):
    u0, u1, v0, v1 = box
    dim, rows, cols = len(net[0][0]), len(net), len(net[0])
    columns = [[net[i][j] for i in range(rows)] for j in range(cols)]
    lo_u, hi_u = split_curves(columns, dim)
    mu, mv = (u0 + u1) * HALF, (v0 + v1) * HALF
    out = []
    for half, ua, ub in ((lo_u, u0, mu), (hi_u, mu, u1)):
        half_net = [[half[j][i] for j in range(cols)] for i in range(rows)]
        lo_v, hi_v = split_curves(half_net, dim)
        out.append((lo_v, (ua, ub, v0, mv)))
        out.append((hi_v, (ua, ub, mv, v1)))
    return out


def ssi_pairs(net_a, net_b, depth):
    unit = (Fraction(0), Fraction(1), Fraction(0), Fraction(1))
    pairs = [((parse_net(net_a), unit), (parse_net(net_b), unit))]
    for _ in range(depth):
        nxt = []
        for (na, ba), (nb, bb) in pairs:
            if not boxes_overlap(control_box(na), control_box(nb)):
                continue
            kids_a = subdivide_patch(na, ba)
            kids_b = subdivide_patch(nb, bb)
            boxes_b = [control_box(n) for n, _ in kids_b]
            for xa in kids_a:
                box_x = control_box(xa[0])
                for yb, box_y in zip(kids_b, boxes_b):
                    if boxes_overlap(box_x, box_y):
                        nxt.append((xa, yb))
        if not nxt:
            return []
        pairs = nxt
    return [[f"{x.numerator}/{x.denominator}" for x in (*a[1], *b[1])] for a, b in pairs]


def basis(knots, p, i, t, last):
    if p == 0:
        if knots[i] <= t < knots[i + 1]:
            return Fraction(1)
        return Fraction(1 if i == last and t == knots[i + 1] else 0)
    value = Fraction(0)
    den = knots[i + p] - knots[i]
    if den:
        value += (t - knots[i]) / den * basis(knots, p - 1, i, t, last)
    den = knots[i + p + 1] - knots[i + 1]
    if den:
        value += (knots[i + p + 1] - t) / den * basis(knots, p - 1, i + 1, t, last)
    return value


def surface_eval(pu, pv, net, ku, kv, u, v, weights):
    """S(u, v) = sum N_i(u) M_j(v) w_ij P_ij / sum N_i(u) M_j(v) w_ij."""
    ku = [Fraction(k) for k in ku]
    kv = [Fraction(k) for k in kv]
    u, v = Fraction(u), Fraction(v)
    nu, nv = len(net), len(net[0])
    bu = [basis(ku, pu, i, u, nu - 1) for i in range(nu)]
    bv = [basis(kv, pv, j, v, nv - 1) for j in range(nv)]
    num = [Fraction(0)] * 3
    den = Fraction(0)
    for i in range(nu):
        if not bu[i]:
            continue
        for j in range(nv):
            b = bu[i] * bv[j] * Fraction(weights[i][j])
            if b:
                den += b
                for c in range(3):
                    num[c] += b * Fraction(net[i][j][c])
    return [f"{x.numerator}/{x.denominator}" for x in (n / den for n in num)]
