"""A short tour of quillstone: every function and method once, with exact answers.

Run it with scripts/tour.sh (which also installs everything), or with any
Python that has the package installed: python examples/tour.py
"""

import os
import pickle
import tempfile
from fractions import Fraction

import quillstone as qs
import quillstone_io as qio


def section(title: str) -> None:
    print()
    print(f"== {title}")


def boxes() -> None:
    section("Boxes and exact numbers")
    unit = qs.make_box("1", "1", "1", "unit")
    print("unit box: 6V =", unit.volume6_str(), " V =", unit.volume())
    thin = qs.make_box("1/2", "1/3", "1", "thin")
    print("1/2 x 1/3 x 1 box: 6V =", thin.volume6_str(), " V =", thin.volume())
    huge = qs.make_box("1" + "0" * 400, "1", "1", "huge")
    print("a 400-digit box: 6V has", len(huge.volume6_str()), "characters; V =", huge.volume())
    six_v, text = qs.box_form("1", "2", "3")
    print("box_form summarises a box without a solid: 6V =", six_v, "and", text.count(";") + 1,
          "faces in its canonical text")
    try:
        qs.make_box("1", "x", "1", "bad")
    except qio.PanicException as exc:  # a BaseException, not an Exception
        print("a malformed number aborts the call:", type(exc).__name__, "-", exc)


def shapes() -> None:
    section("Prisms, prismatoids and the queries")
    l_shape = ["0", "0", "2", "0", "2", "1", "1", "1", "1", "2", "0", "2"]
    plate = qs.make_prism(l_shape, "1/2", "plate")
    print("L-shaped plate: 6V =", plate.volume6_str(), " watertight:", plate.watertight_ok(),
          " logical faces:", plate.logical_faces(), " bbox:", plate.bbox())
    square = ["0", "0", "2", "0", "2", "2", "0", "2"]
    inner = ["1/2", "1/2", "3/2", "1/2", "3/2", "3/2", "1/2", "3/2"]
    frustum = qs.make_prismatoid(square, "0", inner, "1", "frustum")
    print("a frustum from a 2 x 2 square to a 1 x 1 square: 6V =", frustum.volume6_str(),
          "(V = 7/3)  logical faces:", frustum.logical_faces())


def transforms() -> None:
    section("Transforms and the canonical text")
    brick = qs.make_box("2", "1", "1", "brick")
    print("brick moved by (1/3, 0, 0): bbox", brick.translate("1/3", "0", "0").bbox())
    print("scaled by (1/2, 3, 1): bbox", brick.scale("1/2", "3", "1").bbox())
    mirrored = brick.mirror(1)
    print("mirrored in y (axis 1): bbox", mirrored.bbox(), " 6V still", mirrored.volume6_str())
    turned = brick.rotate_quarter(2, 1)
    print("a quarter turn about z takes +x to +y: bbox", turned.bbox())
    back = turned.rotate_quarter(2, -1)
    print("and a turn of -1 brings it back, face for face:", back.canonical() == brick.canonical())


def booleans() -> None:
    section("Booleans")
    a = qs.make_box("1", "1", "1", "a")
    b = qs.make_box("1", "1", "1", "b").translate("1/2", "1/2", "0")
    for op in ("union", "cut", "intersect"):
        print(f"unit box {op} the same box moved by (1/2, 1/2, 0): 6V =",
              a.boolean(op, b).volume6_str())
    piece = a.boolean("intersect", b)
    same = qs.make_box("1/2", "1/2", "1", "c").translate("1/2", "1/2", "0")
    print("the intersection equals a 1/2 x 1/2 x 1 box placed there:",
          piece.canonical() == same.canonical())
    print("box_boolean does the same for two boxes without making solids:",
          qs.box_boolean("1", "1", "1", "1", "1", "1", "1/2", "1/2", "0", "intersect")[0])


def chamfers() -> None:
    section("Chamfered plates")
    plate = qs.make_box("4", "2", "1/2", "plate")
    bevelled = plate.chamfer("1/10")
    print("4 x 2 x 1/2 plate, every edge bevelled by 1/10 and every corner trimmed:")
    print("  6V =", bevelled.volume6_str(), " V =", bevelled.volume(),
          " watertight:", bevelled.watertight_ok(), " logical faces:", bevelled.logical_faces())
    hole = qs.make_box("1/2", "1/2", "1", "hole").translate("7/4", "3/4", "-1/4")
    part = bevelled.boolean("cut", hole)
    print("  with a square hole cut after the chamfer: 6V =", part.volume6_str(),
          " watertight:", part.watertight_ok())
    ell = qs.make_prism(["0", "0", "2", "0", "2", "1", "1", "1", "1", "2", "0", "2"], "1", "L")
    print("an L plate by 1/10: the inside corner mitred, its reflex edge left sharp:")
    print("  6V =", ell.chamfer("1/10").volume6_str(), "of", ell.volume6_str())
    try:
        qs.make_prism(["1", "0", "2", "1", "1", "2", "0", "1"], "1", "d").chamfer("1/10")
    except ValueError as exc:
        print("a diamond's sides have no rational unit normal:", exc)
    geometry_out(part)


def geometry_out(part: qs.PySolid) -> None:
    section("The part leaves the kernel: quillstone_io")
    folder = os.path.join(tempfile.gettempdir(), "quillstone-tour")
    os.makedirs(folder, exist_ok=True)
    stl = os.path.join(folder, "part.stl")
    qio.write_mesh(part, stl)
    back = qio.read_mesh(stl)
    print("written as a closed STL mesh and read back:", stl)
    print("  watertight:", back.watertight_ok(), " 6V read back =", back.volume6_str(),
          "(the 32-bit floats of STL, read exactly)")
    same = pickle.loads(pickle.dumps(part))
    print("pickled and unpickled, the same solid:", same.canonical() == part.canonical())
    try:
        picture = os.path.join(folder, "part.png")
        qio.render(part, picture, title="the chamfered plate with its hole")
        print("a picture of the part:", picture)
    except ImportError as exc:
        print("no picture:", exc)


def splines() -> None:
    section("Exact NURBS and an intersection search")
    arc = [["1", "0", "0"], ["1", "1", "0"], ["0", "1", "0"]]
    # Weights 1, 1, 2 trace x = (1 - t^2)/(1 + t^2), y = 2t/(1 + t^2): a quarter of the unit circle.
    point = qs.nurbs_curve_eval(2, arc, ["0", "0", "0", "1", "1", "1"], "1/2", ["1", "1", "2"])
    print("a point of an exact quarter circle:", point,
          " x^2 + y^2 =", sum(Fraction(c) ** 2 for c in point))
    # The arc swept along z from 0 to 2: a quarter of a cylinder.
    net = [[[x, y, "0"], [x, y, "2"]] for x, y, _ in arc]
    weights = [["1", "1"], ["1", "1"], ["2", "2"]]
    point = qs.nurbs_surface_eval(2, 1, net, ["0", "0", "0", "1", "1", "1"], ["0", "0", "1", "1"],
                                  "1/2", "1/4", weights)
    print("the arc swept to a cylinder, at u = 1/2, v = 1/4:", point)
    flat = [[["0", "0", "0"], ["0", "1", "0"]], [["1", "0", "0"], ["1", "1", "0"]]]
    wall = [[["1/3", "0", "-1"], ["1/3", "0", "1"]], [["1/3", "1", "-1"], ["1/3", "1", "1"]]]
    pairs = qs.ssi_pairs(flat, wall, 3)
    print("a square against a wall at x = 1/3, three levels deep:", len(pairs),
          "candidate box pairs,")
    print("  all with the square's u in", min(Fraction(p[0]) for p in pairs), "to",
          max(Fraction(p[1]) for p in pairs))
    lifted = [[[x, y, "1"] for x, y, _ in row] for row in flat]
    print("the square against a copy lifted by 1:", qs.ssi_pairs(flat, lifted, 1),
          "(empty: certified apart)")


def main() -> None:
    boxes()
    shapes()
    transforms()
    booleans()
    chamfers()
    splines()


if __name__ == "__main__":
    main()
