"""quillstone_io: exact faces out and in, the lossless text, pickling, the panic type."""

import concurrent.futures
import copy
import gc
import multiprocessing
import pickle
from fractions import Fraction

import pytest

import quillstone as qs
import quillstone_io as qi
from io_solids import kinds

KINDS = kinds()
IDS = [name for name, _ in KINDS]
PROBE = qs.make_box("1", "1", "1", "probe").translate("1/2", "1/3", "1/4")


def same(a, b):
    """Identical for every query, face for face, and under a further boolean and chamfer."""
    assert qi.faces(a) == qi.faces(b)
    assert a.canonical() == b.canonical()
    assert a.volume6_str() == b.volume6_str()
    assert a.watertight_ok() == b.watertight_ok()
    assert a.logical_faces() == b.logical_faces()
    for op in ("union", "cut", "intersect"):
        assert a.boolean(op, PROBE).canonical() == b.boolean(op, PROBE).canonical(), op


@pytest.mark.parametrize("solid", [s for _, s in KINDS], ids=IDS)
def test_round_trips_keep_everything(solid):
    same(qi.from_faces(qi.faces(solid)), solid)
    same(qi.loads(qi.dumps(solid)), solid)
    same(pickle.loads(pickle.dumps(solid)), solid)
    same(copy.deepcopy(solid), solid)


def test_faces_are_the_stored_ones():
    box = qs.make_box("1", "2", "3", "b")
    label, verts, normal, offset = qi.faces(box)[1]
    assert label == "b.top"
    assert verts == [["0/1", "0/1", "3/1"], ["1/1", "0/1", "3/1"], ["1/1", "2/1", "3/1"],
                     ["0/1", "2/1", "3/1"]]
    assert (normal, offset) == (["0/1", "0/1", "2/1"], "6/1")
    # A boolean piece keeps the plane of the face it was cut from, even where
    # its own first three vertices would give another normal.
    cut = box.boolean("cut", qs.make_box("1", "1", "5", "h").translate("1/2", "1/2", "-1"))
    tops = [f for f in qi.faces(cut) if f[0] == "b.top"]
    assert len(tops) > 1 and all(f[2:] == (["0/1", "0/1", "2/1"], "6/1") for f in tops)


def test_faces_leaves_the_collector_as_it_found_it():
    box = qs.make_box("1", "1", "1", "b")
    try:
        gc.disable()
        qi.faces(box)
        assert not gc.isenabled()
        gc.enable()
        qi.faces(box)
        assert gc.isenabled()
        with pytest.raises(TypeError):
            qi.faces(5)
        assert gc.isenabled()
    finally:
        gc.enable()


def test_chamfer_of_a_round_tripped_solid():
    s = qs.make_box("3", "2", "1", "c")
    for back in (qi.from_faces(qi.faces(s)), qi.loads(qi.dumps(s))):
        assert back.chamfer("1/7").canonical() == s.chamfer("1/7").canonical()


def test_missing_planes_are_computed():
    box = qs.make_box("2", "3", "5", "b")
    bare = [(label, verts) for label, verts, _, _ in qi.faces(box)]
    rebuilt = qi.from_faces(bare)
    assert qi.faces(rebuilt) == qi.faces(box)
    nones = [(label, verts, None, None) for label, verts, _, _ in qi.faces(box)]
    assert qi.faces(qi.from_faces(nones)) == qi.faces(box)


def insert_between(loop, a, b, point):
    """The loop with point inserted on its edge from a to b (or b to a)."""
    n = len(loop)
    for i in range(n):
        if {tuple(loop[i]), tuple(loop[(i + 1) % n])} == {a, b}:
            return loop[:i + 1] + [point] + loop[i + 1:]
    raise AssertionError("no such edge")


def test_loops_starting_along_a_side_keep_their_plane_under_transforms():
    # A unit cube whose bottom starts with a midpoint: vertices 0, 1, 2 lie
    # on one line, so the rule of the builders gives no normal, and each
    # transform would take the plane from them again.
    cube = qs.make_box("1", "1", "1", "b")
    faces = [(label, verts) for label, verts, _, _ in qi.faces(cube)]
    a, b, mid = ("0/1", "0/1", "0/1"), ("0/1", "1/1", "0/1"), ["0/1", "1/2", "0/1"]
    faces = [(label, insert_between(verts, a, b, mid) if a in map(tuple, verts) and
              b in map(tuple, verts) else verts) for label, verts in faces]
    bottom = faces[0][1]
    k = bottom.index(mid)
    faces[0] = (faces[0][0], bottom[k - 1:] + bottom[:k - 1])
    assert faces[0][1][1] == mid
    s = qi.from_faces(faces)
    assert s.volume6_str() == "6/1"
    # The same loop, started one vertex later.
    stored = qi.faces(s)[0][1]
    assert stored == faces[0][1][1:] + faces[0][1][:1]
    moved, ref = s.translate("1/3", "0", "0"), cube.translate("1/3", "0", "0")
    nx, ny, nz = (Fraction(c) for c in qi.faces(moved)[0][2])
    assert nx == ny == 0 and nz < 0
    for op in ("union", "cut", "intersect"):
        got = moved.boolean(op, PROBE)
        assert got.volume6_str() == ref.boolean(op, PROBE).volume6_str(), op
        assert got.watertight_ok(), op


def unit_faces():
    return qi.faces(qs.make_box("1", "1", "1", "u"))


def test_inward_shells_are_turned_over():
    inside_out = qs.make_box("-1", "1", "1", "n")
    assert inside_out.volume6_str() == "-6/1"
    turned = qi.from_faces(qi.faces(inside_out))
    assert turned.volume6_str() == "6/1" and turned.watertight_ok()
    assert turned.canonical() == inside_out.canonical()
    # check=False and loads take it as it is.
    assert qi.from_faces(qi.faces(inside_out), check=False).volume6_str() == "-6/1"
    assert qi.loads(qi.dumps(inside_out)).volume6_str() == "-6/1"


def with_face(i, face):
    faces = unit_faces()
    faces[i] = face
    return faces


BAD_FACES = [
    ("two vertices", with_face(2, ("x", [["0", "0", "0"], ["1", "0", "0"]], None, None)),
     r"^face 2: a face needs at least 3 vertices, got 2$"),
    ("off its plane", with_face(1, ("x", [["0", "0", "1"], ["1", "0", "1"], ["1", "1", "1"],
                                          ["0", "1", "2"]], None, None)),
     r"^face 1: vertex 3 is not on the face's plane$"),
    ("wrong offset", with_face(1, ("x", unit_faces()[1][1], ["0", "0", "1"], "2")),
     r"^face 1: vertex 0 is not on the face's plane$"),
    ("zero normal", with_face(4, ("x", unit_faces()[4][1], ["0", "0", "0"], "0")),
     r"^face 4: the normal is zero$"),
    ("normal against the loop", with_face(1, ("x", unit_faces()[1][1], ["0", "0", "-1"], "-1")),
     r"^face 1: the loop runs clockwise seen from the side the normal points to$"),
    ("reflex corner", with_face(1, ("x", [["0", "0", "1"], ["2", "0", "1"], ["2", "1", "1"],
                                          ["1", "1", "1"], ["1", "2", "1"], ["0", "2", "1"]],
                                    None, None)),
     r"^face 1: the loop is not convex at vertex 3$"),
    ("folds back", with_face(1, ("x", [["0", "0", "1"], ["1", "0", "1"], ["1", "1", "1"],
                                       ["1", "2", "1"], ["1", "1", "1"], ["0", "1", "1"]],
                                 None, None)),
     r"^face 1: the loop folds back at vertex 3$"),
    ("twice around", with_face(1, ("x", [["0", "0", "1"], ["4", "0", "1"], ["1", "3", "1"],
                                         ["2", "-1", "1"], ["3", "3", "1"]], None, None)),
     r"^face 1: the loop goes around more than once$"),
    ("open", unit_faces()[:5],
     r"^face \d: the edge from vertex \d to vertex \d is not matched by edges running the other "
     r"way, so the surface is not closed$"),
    ("one face turned", with_face(3, (unit_faces()[3][0], unit_faces()[3][1][::-1])),
     r"^face \d: the edge from vertex \d to vertex \d is not matched"),
    ("decimal", with_face(0, ("x", [["0.5", "0", "0"]] + unit_faces()[0][1][1:], None, None)),
     r"^face 0, vertex 0: malformed number '0.5'"),
    ("nan", with_face(5, ("x", [["nan", "0", "0"]] + unit_faces()[5][1][1:], None, None)),
     r"^face 5, vertex 0: malformed number 'nan'"),
    ("zero denominator", with_face(5, ("x", unit_faces()[5][1], None, "1/0")),
     r"^face 5 offset: malformed number '1/0' \(denominator == 0\)$"),
    ("two coordinates", with_face(2, ("x", [["0", "0"]] + unit_faces()[2][1][1:], None, None)),
     r"^face 2, vertex 0: expected 3 coordinates, got 2$"),
    ("three items", with_face(2, ("x", unit_faces()[2][1], None)),
     r"^face 2: expected \(label, vertices, normal, offset\) or \(label, vertices\), got 3 items$"),
]


@pytest.mark.parametrize("faces, message", [b[1:] for b in BAD_FACES], ids=[b[0] for b in BAD_FACES])
def test_bad_faces_are_refused_by_name(faces, message):
    with pytest.raises(ValueError, match=message):
        qi.from_faces(faces)


def test_open_and_unchecked():
    five = unit_faces()[:5]
    s = qi.from_faces(five, check=False)
    assert not s.watertight_ok() and len(qi.faces(s)) == 5
    # Per-face rules hold even unchecked.
    with pytest.raises(ValueError, match="^face 0: a face needs"):
        qi.from_faces([("x", [["0", "0", "0"]])], check=False)


def test_faces_without_area_are_dropped():
    faces = unit_faces() + [("line", [["0", "0", "0"], ["1", "0", "0"], ["2", "0", "0"]])]
    assert len(qi.faces(qi.from_faces(faces))) == 6
    assert qi.faces(qi.from_faces([])) == []


@pytest.mark.parametrize("faces, message", [
    ("abc", r"^faces: expected a sequence of faces, got 'str'$"),
    (5, r"^faces: expected a sequence of faces, got 'int'$"),
    ([5], r"^face 0: expected a \(label, vertices, normal, offset\) sequence, got 'int'$"),
    ([(1, [])], r"^face 0: the label must be a str, got 'int'$"),
    ([("x", [[0, 0, 0]])], r"^face 0, vertex 0: expected a number text such as '1/3', got 'int'$"),
    ([("x", [[0.5, "0", "0"]])], r"^face 0, vertex 0: expected a number text such as '1/3', "
                                 r"got 'float'$"),
    ([("x", ["000"])], r"^face 0, vertex 0: expected a sequence of 3 number texts, got 'str'$"),
])
def test_wrong_types_are_type_errors(faces, message):
    with pytest.raises(TypeError, match=message):
        qi.from_faces(faces)


def test_labels_of_any_text_survive():
    labels = ['with "quotes"', "back\\slash", "new\nline\r\ttab", "", "ünïcødé ✓", " spaced "]
    faces = [(lab, f[1], f[2], f[3]) for lab, f in zip(labels, unit_faces())]
    s = qi.from_faces(faces)
    assert [f[0] for f in qi.faces(qi.loads(qi.dumps(s)))] == labels
    assert [f[0] for f in qi.faces(pickle.loads(pickle.dumps(s)))] == labels


def test_every_cut_of_the_text_is_refused_with_its_line():
    text = qi.dumps(qs.make_prism(["0", "0", "1", "0", "0", "1"], "1", "p"))
    lines = text.splitlines(keepends=True)
    for n in range(len(lines)):
        with pytest.raises(ValueError, match=r"^line \d+: "):
            qi.loads("".join(lines[:n]))
    assert qi.loads(text.replace("\n", "\r\n")).volume6_str() == "3/1"


@pytest.mark.parametrize("edit, message", [
    (lambda t: t.replace("quillstone solid 1", "quillstone solid 2"),
     r"^line 1: unknown version '2' \(this reader knows version 1\)$"),
    (lambda t: "hello\n" + t, r"^line 1: not a quillstone solid text"),
    (lambda t: t.replace("faces 6", "faces 7"), r"^line 39: expected 'face', found 'end'$"),
    (lambda t: t.replace("faces 6", "faces 5"), r"^line 33: expected 'end' after 5 faces$"),
    (lambda t: t + "more\n", r"^line 40: text after 'end'$"),
    (lambda t: t.replace("1/1 1/1 1/1", "1/1 1/1 2/1", 1),
     r"^face 1 \(line 9\): vertex 2 is not on the face's plane$"),
    (lambda t: t.replace("1/1 1/1 1/1", "1.0 1/1 1/1", 1), r"^line 13: malformed number '1.0'$"),
    (lambda t: t.replace("1/1 1/1 1/1", "+1 1/1 1/1", 1), r"^line 13: malformed number '\+1'$"),
    (lambda t: t.replace("1/1 1/1 1/1", "1" + "\u00e9" * 30 + " 1/1 1/1", 1),
     "^line 13: malformed number '1" + "\u00e9" * 20 + r"\.\.\.'$"),
    (lambda t: t.replace("1/1 1/1 1/1", "1/0 1/1 1/1", 1),
     r"^line 13: malformed number '1/0'$"),
    (lambda t: t.replace("1/1 1/1 1/1", "1/1 1/1", 1), r"^line 13: expected 3 numbers$"),
    (lambda t: t.replace("1/1 1/1 1/1", "1/1 1/1 1/1 1/1", 1),
     r"^line 13: unexpected '1/1' at the end of the line$"),
    (lambda t: t.replace('"u.top"', '"u.top'), r"^line 9: the label's closing quote is missing$"),
    (lambda t: t.replace('"u.top"', '"u\\qtop"'), r"^line 9: a bad escape in a label$"),
    (lambda t: t.replace('"u.top"', '"u\\xfftop"'), r"^line 9: a bad escape in a label$"),
    (lambda t: t.replace("face 4 \"u.top\"", "face 2 \"u.top\"", 1),
     r"^face 1 \(line 9\): a face needs at least 3 vertices, got 2$"),
    (lambda t: t.replace('"u.top"', '"u.\udcfftop"'), r"^line 9: the label is not UTF-8 text$"),
])
def test_malformed_text_names_the_line(edit, message):
    text = qi.dumps(qs.make_box("1", "1", "1", "u"))
    with pytest.raises(qi.MeshFormatError, match=message) as info:
        qi.loads(edit(text))
    assert info.value.file is None and info.value.line is not None


def test_loads_checks_what_from_faces_checks():
    box = qs.make_box("2", "2", "2", "b")
    text = qi.dumps(box)
    # A face with area and a zero normal: booleans would cut along nothing.
    zero = text.replace("plane 0/1 0/1 4/1 8/1", "plane 0/1 0/1 0/1 0/1")
    assert zero != text
    with pytest.raises(qi.MeshFormatError, match=r"^face 1 \(line 9\): the normal is zero$"):
        qi.loads(zero)
    # Open shells: refused unless the text says so, as dumps does for them.
    five = qi.dumps(qi.from_faces(qi.faces(box)[:5], check=False))
    assert "\nfaces 5 open\n" in five
    with pytest.raises(qi.MeshFormatError, match=r"^face \d \(line \d+\): the edge from vertex \d "
                                                 r"to vertex \d is not matched .* says 'faces <n> open'"):
        qi.loads(five.replace("faces 5 open", "faces 5"))
    opened = pickle.loads(pickle.dumps(qi.loads(five)))
    assert len(qi.faces(opened)) == 5 and not opened.watertight_ok()
    with pytest.raises(qi.MeshFormatError, match="says the solid is open"):
        qi.loads(five, check=True)
    # Crossing faces: only check=True looks for them; pickling skips that.
    crossing = qi.from_faces(qi.faces(box) + qi.faces(box.translate("1", "1", "1")), check=False)
    text = qi.dumps(crossing)
    assert qi.faces(qi.loads(text)) == qi.faces(crossing)
    assert qi.faces(pickle.loads(pickle.dumps(crossing))) == qi.faces(crossing)
    with pytest.raises(qi.MeshFormatError, match=r"^faces \d+ \(line \d+\) and \d+ \(line \d+\): "
                                                 r"the faces cross$"):
        qi.loads(text, check=True)
    assert qi.loads(qi.dumps(box), check=True).volume6_str() == "48/1"


def test_loads_and_dumps_types():
    with pytest.raises(TypeError):
        qi.loads(b"quillstone solid 1")
    with pytest.raises(TypeError, match="expected PySolid"):
        qi.dumps("not a solid")
    with pytest.raises(TypeError, match="expected PySolid"):
        qi.faces(None)


# Workers: module-level so that every start method can find them.
def canonical_of(solid):
    return solid.canonical()


def grow(solid):
    return solid.boolean("union", solid.translate("1/2", "0", "0"))


def fail_in_worker(text):
    return qs.make_box(text, "1", "1", "w")


def test_solids_cross_process_boundaries():
    solids = [s for _, s in KINDS]
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        assert pool.map(canonical_of, solids) == [s.canonical() for s in solids]
        grown = pool.map(grow, solids[:4])
    assert [g.canonical() for g in grown] == [grow(s).canonical() for s in solids[:4]]
    with concurrent.futures.ProcessPoolExecutor(2) as ex:
        assert list(ex.map(canonical_of, solids)) == [s.canonical() for s in solids]


def test_panic_in_a_worker_reaches_the_parent_as_itself():
    with concurrent.futures.ProcessPoolExecutor(1) as ex:
        with pytest.raises(qi.PanicException, match="InvalidDigit"):
            ex.submit(fail_in_worker, "one").result()
        # The worker pool is still usable after it.
        assert ex.submit(fail_in_worker, "2").result().volume6_str() == "12/1"


def test_ctrl_c_stops_a_long_loads():
    from test_interrupt import BOUND, interrupt_during
    # Half a million convex quads with thirty-digit fractions: uninterrupted,
    # some seconds of parsing and checking.
    b = "123456789012345678901234567890"
    face = (f'face 4 "t"\nplane 0/1 0/1 1/1 5/7\n{b}/3 0/1 5/7\n1/1 {b}/11 5/7\n'
            f"-{b}/13 1/1 5/7\n-1/1 -{b}/17 5/7\n")
    n = 500_000
    text = f"quillstone solid 1\nfaces {n}\n" + face * n + "end\n"
    assert interrupt_during(lambda: qi.loads(text), 0.2) < BOUND
    assert qi.loads(qi.dumps(PROBE)).canonical() == PROBE.canonical()


def test_the_panic_type():
    # What quillstone raises is the type quillstone_io names.
    with pytest.raises(BaseException) as info:
        qs.make_box("x", "1", "1", "p")
    assert type(info.value) is qi.PanicException
    assert qi.PanicException.__module__ == "quillstone_io"
    assert qi.PanicException.__bases__ == (BaseException,)
    exc = pickle.loads(pickle.dumps(qi.PanicException("denominator == 0")))
    assert type(exc) is qi.PanicException and exc.args == ("denominator == 0",)


def test_quillstone_keeps_its_surface():
    assert qs.__all__ == ["PySolid", "make_box", "make_prism", "make_prismatoid", "box_boolean",
                          "box_form", "nurbs_curve_eval", "nurbs_surface_eval", "ssi_pairs"]
    assert {n for n in dir(qs) if not n.startswith("__")} == set(qs.__all__)
    assert not hasattr(qs, "PanicException")
    assert all(v is not qi.PanicException for v in vars(qs).values())
    methods = [n for n, v in vars(qs.PySolid).items() if n != "__new__" and callable(v)]
    assert len(methods) == 12
    assert not any(n.startswith("__reduce") for n in vars(qs.PySolid))
