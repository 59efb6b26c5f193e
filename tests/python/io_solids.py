"""Solids of every kind the kernel makes, shared by the quillstone_io tests."""

import quillstone as qs

L_SHAPE = ["0", "0", "2", "0", "2", "1", "1", "1", "1", "2", "0", "2"]


def plate_with_holes(n=3):
    """A slab with an n x n grid of square holes: many T-junctions."""
    s = qs.make_box(str(2 * n + 1), str(2 * n + 1), "1", "slab")
    hole = qs.make_box("1", "1", "2", "hole")
    for i in range(n):
        for j in range(n):
            s = s.boolean("cut", hole.translate(str(2 * i + 1), str(2 * j + 1), "-1/2"))
    return s


def kinds():
    """(name, solid) pairs: builders, transforms, booleans, a chamfer, huge numbers."""
    box = qs.make_box("2", "3", "5", "b")
    other = qs.make_box("1", "1", "1", "o").translate("3/2", "1/3", "-1/7")
    big = "1" + "0" * 400
    return [
        ("box", box),
        ("thin box", qs.make_box("1/2", "1/3", "1", "t")),
        ("prism", qs.make_prism(L_SHAPE, "1/2", "p")),
        ("prismatoid", qs.make_prismatoid(["0", "0", "4", "0", "4", "4", "0", "4"], "0",
                                          ["1", "1", "3", "1", "3", "3", "1", "3"], "2", "pm")),
        ("union", box.boolean("union", other)),
        ("cut", box.boolean("cut", other)),
        ("intersect", box.boolean("intersect", other)),
        ("plate", plate_with_holes()),
        ("moved cut", box.boolean("cut", other).rotate_quarter(1, 1).mirror(0)
         .translate("1/3", "-2/9", "5")),
        ("chamfer", qs.make_box("4", "2", "1", "c").chamfer("1/10")),
        ("400 digits", qs.make_box(big, "1/" + big, "3", "h").translate(big, "1", "-" + big)),
        ("empty", box.boolean("intersect", box.translate("10", "0", "0"))),
    ]
