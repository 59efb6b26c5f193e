"""Part.chamfer on chosen edges: removed and added volumes against closed
forms (the kernel's chamfer of a plain box for the outside corners, the
bevel's triangle times the length elsewhere), probes beside chosen and
unchosen edges, asymmetric and reflex bevels, and the refusals."""

import random
from fractions import Fraction as F

import pytest

import quillstone_cad as qc


def holed_plate(n, order=None):
    """A (2n+1)-square plate, 1 thick, with n x n unit holes."""
    plate = qc.box(2 * n + 1, 2 * n + 1, 1)
    spots = [(1 + 2 * i, 1 + 2 * j) for i in range(n) for j in range(n)]
    for k in order or range(len(spots)):
        plate = plate - qc.box(1, 1, 3, label="hole").moved(*spots[k], -1)
    return plate


def box_removed(size, d):
    """What the kernel's chamfer takes off a plain box: the rule for the
    outside corners."""
    b = qc.box(*size)
    return b.volume - qc.Part(b.solid.chamfer(str(d))).volume


@pytest.mark.parametrize("n,d", [(10, F(1, 10)), (3, F(1, 4))])
def test_every_edge_of_a_plate_of_holes_in_closed_form(n, d):
    plate = holed_plate(n)
    # Each hole: 8 rim edges of length 1, each d^2/2 per length, and each
    # of their 16 mitred ends reaches d^3/6 past the corner; 4 reflex
    # corners of height 1 filled with d^2/2 each.
    per_hole = 8 * d**2 / 2 + 16 * d**3 / 6 - 4 * d**2 / 2
    expected = box_removed((2 * n + 1, 2 * n + 1, 1), d) + n * n * per_hole
    every = plate.chamfer(d, plate.edges())
    assert plate.volume - every.volume == expected
    assert every.is_closed
    # The same plate with the holes cut in another order.
    order = list(range(n * n))
    random.Random(n).shuffle(order)
    other = holed_plate(n, order)
    assert other.chamfer(d, other.edges()) == every
    # Only the convex edges (the default): no fillers.
    assert plate.volume - plate.chamfer(d).volume == expected + n * n * 4 * d**2 / 2


def probe(edge, size):
    """A small cube in the material at the middle of an axis-parallel edge:
    inside the bevel's triangle for a bevel of more than twice its size."""
    m = edge.center
    n0, n1 = (f.normal for f in edge.faces)
    lo = [m[i] - (size if (n0[i] > 0 or n1[i] > 0) else 0) for i in range(3)]
    along = [i for i in range(3) if edge.direction[i] != 0][0]
    lo[along] = m[along] - size / 2
    return qc.box(size, size, size).moved(*lo)


def test_only_the_chosen_edges_lose_their_bevel():
    part = holed_plate(1)
    d = F(1, 5)
    edges = part.edges().convex()
    chosen = edges.parallel_to("x") | edges.labelled("hole").max("z")
    done = part.chamfer(d, chosen)
    for e in edges:
        p = probe(e, d / 4)
        kept = (p & done).volume
        assert kept == (0 if e in chosen else p.volume), e
    assert done.is_closed and done.volume < part.volume


def test_asymmetric_and_reflex_bevels():
    box = qc.box(2, 3, 4)
    edge = box.edges().max("z").max("x")  # along y: the top face first, then the right
    assert [f.normal for f in edge[0].faces] == [(0, 0, 1), (1, 0, 0)]
    d, d2 = F(1, 5), F(1, 2)
    cut = box.chamfer(d, edge, d2=d2)
    assert box.volume - cut.volume == 3 * d * d2 / 2
    top = cut.faces().facing("z")[0]
    assert max(p[0] for p in top.outer) == 2 - d
    right = cut.faces().facing("x")[0]
    assert max(p[2] for p in right.outer) == 4 - d2
    # An L: its one reflex edge, 20 long, gets its triangle added; both kinds
    # together add and take what each does alone.
    L = qc.prism([(0, 0), (40, 0), (40, 5), (5, 5), (5, 30), (0, 30)], 20)
    inner = L.edges().reflex()
    assert len(inner) == 1 and len(L.edges().convex()) == 17
    assert L.chamfer(1, inner).volume - L.volume == 20 * F(1, 2)
    assert L.chamfer(1, inner, d2=3).volume - L.volume == 20 * F(3, 2)
    outside = L.edges().parallel_to("z").convex()
    both = L.chamfer(1, inner | outside)
    assert both.volume - L.volume == 10 - 5 * 20 * F(1, 2)
    assert both.is_closed


def test_refusals_name_the_argument_and_change_nothing():
    box = qc.box(1, 1, 1)
    other = qc.box(1, 1, 1)
    with pytest.raises(ValueError, match="edges"):
        box.chamfer("1/10", other.edges()[:1])
    with pytest.raises(TypeError, match="edges"):
        box.chamfer("1/10", ["edge"])
    for bad in (0, -1):
        with pytest.raises(ValueError, match="^d:"):
            box.chamfer(bad)
    with pytest.raises(ValueError, match="^d2:"):
        box.chamfer(1, d2=0)
    # Opposite bevels on a face of width 1 meet past the middle.
    with pytest.raises(ValueError, match="^d: 3/5 is larger than the faces allow"):
        box.chamfer("3/5")
    assert box.chamfer("1/2").is_closed
    # A face whose normal (1, 2, 0) has no rational length: its vertical
    # edges need tol, and then take a setback within it.
    wedge = qc.prism([(0, 0), (2, 0), (0, 1)], 1)
    slanted = wedge.edges().where(lambda e: (1, 2, 0) in [f.normal for f in e.faces])
    vertical = slanted.parallel_to("z").max("x")
    with pytest.raises(ValueError, match="edge .* tol="):
        wedge.chamfer("1/10", vertical)
    near = wedge.chamfer("1/10", vertical, d2="1/10", tol="1/1000")
    assert near.is_closed
    # The corner's triangle has legs within tol of 1/10 (the angle there
    # is acute, so the area is the legs' product times its sine / 2).
    sine = 1 / 5**0.5
    assert abs(float(wedge.volume - near.volume) - 0.01 * sine / 2) < 2 * 0.001 * 0.1
    with pytest.raises(ValueError, match="^tol:"):
        wedge.chamfer("1/10", vertical, tol="1/5")
    assert box.chamfer("1/10", []) is box


def grown_cells(rng, size):
    """Random grid cells grown from one, none touching another only at a
    corner (that would leave an edge between four faces)."""
    while True:
        cells = {(0, 0)}
        while len(cells) < size:
            x, y = rng.choice(sorted(cells))
            dx, dy = rng.choice([(1, 0), (-1, 0), (0, 1), (0, -1)])
            cells.add((x + dx, y + dy))
        corners = {(x + i, y + j) for x, y in cells for i in (0, 1) for j in (0, 1)}
        around = {p: [(p[0] - i, p[1] - j) in cells for i in (0, 1) for j in (0, 1)]
                  for p in corners}
        if not any(a == [True, False, False, True] or a == [False, True, True, False]
                   for a in around.values()):
            return cells, around


def test_random_unions_of_columns_against_the_corner_rules():
    # Columns 1 x 1 x 2 united: every face split where the columns meet.
    # Chamfered on every convex edge, each edge loses d^2/2 per length;
    # each corner where three convex edges meet gives back 2 d^3/3 (the
    # box's rule) and each mitred inside corner of the top and bottom takes
    # d^3/3 more. Chosen reflex edges (the inside vertical ones) get their
    # d^2/2 per length back.
    rng = random.Random(2022)
    for _ in range(12):
        cells, around = grown_cells(rng, rng.randrange(3, 11))
        part = qc.union(qc.box(1, 1, 2).moved(x, y) for x, y in sorted(cells))
        sides = sum((x + i, y + j) not in cells for x, y in cells
                    for i, j in [(1, 0), (-1, 0), (0, 1), (0, -1)])
        convex = sum(a.count(True) == 1 for a in around.values())
        reflex = sum(a.count(True) == 3 for a in around.values())
        d = F(1, rng.choice([3, 4, 7, 10]))
        removed = (2 * sides + 2 * convex) * d**2 / 2 - 2 * convex * 2 * d**3 / 3 \
            + 2 * reflex * d**3 / 3
        assert part.volume - part.chamfer(d).volume == removed, cells
        every = part.chamfer(d, part.edges())
        assert part.volume - every.volume == removed - reflex * 2 * d**2 / 2, cells
        assert every.is_closed
