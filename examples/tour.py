"""A short tour of quillstone: exact solids and exact answers.

Run it with scripts/tour.sh (which also installs everything), or with any
Python that has the package installed: python examples/tour.py
"""

from fractions import Fraction

import quillstone as qs


def section(title):
    print()
    print(f"== {title}")


def boxes():
    section("Boxes and their exact volumes")
    unit = qs.make_box("1", "1", "1", "unit")
    print("unit box: 6V =", unit.volume6_str(), " V =", unit.volume())
    thin = qs.make_box("1/2", "1/3", "1", "thin")
    print("1/2 x 1/3 x 1 box: 6V =", thin.volume6_str(), " V =", thin.volume())
    huge = qs.make_box("1" + "0" * 400, "1", "1", "huge")
    print("a 400-digit box: 6V has", len(huge.volume6_str()), "characters;", "V =", huge.volume())
    try:
        qs.make_box("1", "x", "1", "bad")
    except BaseException as exc:  # the kernel's panics are not Exceptions
        print("a malformed number aborts the call:", type(exc).__name__, "-", exc)


def plates():
    section("A prism plate, a cut, and the queries")
    l_shape = ["0", "0", "2", "0", "2", "1", "1", "1", "1", "2", "0", "2"]
    plate = qs.make_prism(l_shape, "1/2", "plate")
    print("L-shaped plate: 6V =", plate.volume6_str(), " watertight:", plate.watertight_ok(),
          " logical faces:", plate.logical_faces())
    hole = qs.make_box("1/2", "1/2", "1", "hole").translate("1/4", "5/4", "-1/4")
    cut = plate.boolean("cut", hole)
    print("with a hole cut through the upright arm: 6V =", cut.volume6_str())
    print("  watertight:", cut.watertight_ok(), " logical faces:", cut.logical_faces(),
          " bbox:", cut.bbox())


def chamfers():
    section("A chamfered plate")
    plate = qs.make_box("4", "2", "1/2", "plate")
    bevelled = plate.chamfer("1/10")
    print("4 x 2 x 1/2 plate, every edge bevelled by 1/10 and every corner trimmed:")
    print("  6V =", bevelled.volume6_str(), " V =", bevelled.volume(),
          " watertight:", bevelled.watertight_ok(), " logical faces:", bevelled.logical_faces())
    try:
        qs.make_prism(["1", "0", "2", "1", "1", "2", "0", "1"], "1", "d").chamfer("1/10")
    except ValueError as exc:
        print("a diamond's sides have no rational unit normal:", exc)


def booleans():
    section("Booleans, transforms and the canonical text")
    a = qs.make_box("1", "1", "1", "a")
    b = qs.make_box("1", "1", "1", "b").translate("1/2", "1/2", "0")
    for op in ("union", "cut", "intersect"):
        print(f"unit box {op} the same box moved by (1/2, 1/2, 0): 6V =", a.boolean(op, b).volume6_str())
    piece = a.boolean("intersect", b)
    print("the intersection, as text independent of face order, winding and labels:")
    print(" ", piece.canonical().replace(";", ";\n  "))
    same = qs.make_box("1/2", "1/2", "1", "c").translate("1/2", "1/2", "0")
    print("equal to a 1/2 x 1/2 x 1 box placed there:", piece.canonical() == same.canonical())
    turned = piece.rotate_quarter(2, 1).rotate_quarter(2, 1).rotate_quarter(2, 1).rotate_quarter(2, 1)
    print("four quarter turns about z give it back:", turned.canonical() == piece.canonical())
    print("box_boolean summarises a boolean of two boxes without making solids:",
          qs.box_boolean("1", "1", "1", "1", "1", "1", "1/2", "0", "0", "cut")[0])


def splines():
    section("Exact NURBS and an intersection search")
    arc = [["1", "0", "0"], ["1", "1", "0"], ["0", "1", "0"]]
    # Weights 1, 1, 2 trace x = (1 - t^2)/(1 + t^2), y = 2t/(1 + t^2): a quarter of the unit circle.
    point = qs.nurbs_curve_eval(2, arc, ["0", "0", "0", "1", "1", "1"], "1/2", ["1", "1", "2"])
    print("a point of an exact quarter circle:", point,
          " x^2 + y^2 =", sum(Fraction(c) ** 2 for c in point))
    flat = [[["0", "0", "0"], ["0", "1", "0"]], [["1", "0", "0"], ["1", "1", "0"]]]
    wall = [[["1/3", "0", "-1"], ["1/3", "0", "1"]], [["1/3", "1", "-1"], ["1/3", "1", "1"]]]
    pairs = qs.ssi_pairs(flat, wall, 3)
    print("a square against a wall at x = 1/3, three levels deep:", len(pairs), "candidate box pairs,")
    print("  all with the square's u in", min(Fraction(p[0]) for p in pairs), "to",
          max(Fraction(p[1]) for p in pairs))
    lifted = [[[x, y, "1"] for x, y, _ in row] for row in flat]
    print("the square against a copy lifted by 1:", qs.ssi_pairs(flat, lifted, 1),
          "(empty: certified apart)")


def main():
    boxes()
    booleans()
    plates()
    chamfers()
    splines()


if __name__ == "__main__":
    main()
