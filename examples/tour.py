"""A short tour of quillstone: exact solids and exact answers.

Run it with scripts/tour.sh (which also installs everything), or with any
Python that has the package installed: python examples/tour.py
"""

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


def main():
    boxes()
    booleans()


if __name__ == "__main__":
    main()
