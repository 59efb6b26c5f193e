"""check=True and quillstone_io.validate: faces that do not bound a solid are
refused, exactly; the same solids made by booleans of valid solids pass."""

import struct

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import quillstone as qs
import quillstone_io as qi
from io_solids import kinds

BOX = qs.make_box("2", "2", "2", "a")
OTHER = BOX.translate("1", "1", "1")


def joined(*solids):
    """The faces of several solids as one list, as a file would hold them."""
    return [f for s in solids for f in qi.faces(s)]


def three_mf_twice(tmp_path):
    """A 3MF file whose build places its one object twice."""
    import zipfile
    path = tmp_path / "twice.3mf"
    qi.write_mesh(BOX, path)
    with zipfile.ZipFile(path) as z:
        parts = {n: z.read(n) for n in z.namelist()}
    model = next(n for n in parts if n.endswith(".model"))
    parts[model] = parts[model].replace(b'<item objectid="1"/>',
                                        b'<item objectid="1"/><item objectid="1"/>')
    with zipfile.ZipFile(path, "w") as z:
        for n, body in parts.items():
            z.writestr(n, body)
    return path


# (faces, the message check=True gives, the kind validate() reports)
REFUSED = [
    ("two overlapping cubes in one shell", joined(BOX, OTHER),
     r"^faces \d+ and \d+: the faces cross$", "cross"),
    ("a cube inside a cube, both outward", joined(BOX, qs.make_box("1", "1", "1", "i")
                                                   .translate("1/2", "1/2", "1/2")),
     r"^face 6: the winding number is 1 in front of it and 2 behind", None),
    ("every face twice", joined(BOX, BOX), r"^faces (\d+) and (\d+): the second face repeats the first$",
     "repeat"),
    ("an inner sheet with two sides", joined(qs.make_box("1", "2", "2", "l"),
                                             qs.make_box("1", "2", "2", "r").translate("1", "0", "0")),
     r"^faces \d and \d+: the faces lie back to back", "back to back"),
    ("two cubes overlapping in a face", joined(BOX, BOX.translate("2", "1", "0")),
     r"^faces \d and \d+: the faces lie back to back", "back to back"),
    ("an inward cube beside a cube", joined(BOX, qs.make_box("-1", "1", "1", "n")
                                            .translate("5", "0", "0")),
     r"^face 6: the winding number is -1 in front of it and 0 behind", None),
]


@pytest.mark.parametrize("faces, message, kind", [r[1:] for r in REFUSED],
                         ids=[r[0] for r in REFUSED])
def test_faces_that_bound_no_solid_are_refused(faces, message, kind):
    with pytest.raises(ValueError, match=message):
        qi.from_faces(faces)
    loose = qi.from_faces(faces, check=False)
    report = qi.validate(loose)
    assert not report and report.closed and report.problem
    if kind:
        assert report.crossings and report.crossings[0][2] == kind and report.winding is None
    else:
        assert not report.crossings and report.winding != (0, 1)


def test_the_same_solids_made_by_booleans_pass():
    made = [BOX.boolean("union", OTHER), BOX.boolean("cut", OTHER), BOX.boolean("intersect", OTHER),
            BOX.boolean("cut", qs.make_box("1", "1", "1", "i").translate("1/2", "1/2", "1/2")),
            qs.make_box("1", "2", "2", "l").boolean("union", qs.make_box("1", "2", "2", "r")
                                                       .translate("1", "0", "0"))]
    for s in made:
        back = qi.from_faces(qi.faces(s))
        assert back.volume6_str() == s.volume6_str()
        assert qi.validate(s).winding == (0, 1)
    # The union of the overlapping cubes has the volume of its region.
    assert made[0].volume6_str() == str(6 * (8 + 8 - 1)) + "/1"


def test_touching_along_edges_and_corners_is_fine():
    for other in (BOX.translate("2", "2", "0"), BOX.translate("2", "2", "2"),
                  BOX.translate("2", "2", "1")):
        s = qi.from_faces(joined(BOX, other))
        assert s.volume6_str() == "96/1" and qi.validate(s).ok
        assert s.boolean("union", qs.make_box("1", "1", "1", "p")).watertight_ok()
    cavity = qi.from_faces(joined(qs.make_box("4", "4", "4", "o"),
                                  qs.make_box("-1", "1", "1", "c").translate("2", "1", "1")))
    assert cavity.volume6_str() == str(6 * 63) + "/1"
    assert qi.validate(cavity).winding == (0, 1)


def test_a_3mf_that_places_its_object_twice_is_refused(tmp_path):
    with pytest.raises(qi.MeshFormatError, match="the second face repeats the first"):
        qi.read_mesh(three_mf_twice(tmp_path))


def test_validate_reports_open_solids_and_every_kind_the_kernel_makes():
    five = qi.from_faces(qi.faces(BOX)[:5], check=False)
    report = qi.validate(five)
    assert not report.closed and report.open_edge[0] in range(5) and report.winding is None
    assert "not closed" in report.problem
    for name, s in kinds():
        report = qi.validate(s)
        assert report.ok and report.closed and report.crossings == [], name
        assert report.winding == ((0, 0) if name == "empty" else (0, 1)), name
    many = qi.validate(qi.from_faces(joined(BOX, BOX), check=False), max_crossings=100)
    assert sorted(c[:2] for c in many.crossings) == [(i, i + 6) for i in range(6)]


# ---- Random unions of boxes through every format and back


def union_of(boxes):
    s = None
    for (x, y, z), (dx, dy, dz) in boxes:
        b = qs.make_box(str(dx), str(dy), str(dz), "u").translate(str(x), str(y), str(z))
        s = b if s is None else s.boolean("union", b)
    return s


def poke_through(vertices, triangles):
    """The mesh with its highest vertex moved below the lowest point: the
    triangles around it now pass through the faces beneath."""
    v = vertices.copy()
    top = int(np.argmax(v[:, 2] + 1e-3 * v[:, 0] + 1e-6 * v[:, 1]))
    v[top] = [v[top, 0] + 1 / 8, v[top, 1] + 1 / 16, v[:, 2].min() - 1]
    return v, triangles


def mesh_files(v, t):
    """(name, bytes) of the mesh in every format."""
    from quillstone_io import _threemf
    three_mf = _threemf.write(v.astype("<f8").tobytes(), t.astype("<i8").tobytes())
    v, t = v.tolist(), t.tolist()
    obj = "".join(f"v {a!r} {b!r} {c!r}\n" for a, b, c in v)
    obj += "".join(f"f {i + 1} {j + 1} {k + 1}\n" for i, j, k in t)
    off = f"OFF\n{len(v)} {len(t)} 0\n" + "".join(f"{a!r} {b!r} {c!r}\n" for a, b, c in v)
    off += "".join(f"3 {i} {j} {k}\n" for i, j, k in t)
    stl = "solid p\n" + "".join(
        "facet normal 0 0 0\nouter loop\n" + "".join(f"vertex {v[n][0]!r} {v[n][1]!r} {v[n][2]!r}\n"
                                                    for n in tri) + "endloop\nendfacet\n"
        for tri in t) + "endsolid p\n"
    binary = b"p".ljust(80) + struct.pack("<I", len(t)) + b"".join(
        struct.pack("<12fH", 0, 0, 0, *(c for n in tri for c in v[n]), 0) for tri in t)
    return [("p.obj", obj.encode()), ("p.off", off.encode()), ("a.stl", stl.encode()),
            ("b.stl", binary), ("p.3mf", three_mf)]


BOXES = st.lists(st.tuples(st.tuples(*[st.integers(0, 4)] * 3), st.tuples(*[st.integers(1, 3)] * 3)),
                 min_size=1, max_size=4)
FORMATS = [("p.stl", {}), ("a.stl", {"binary": False}), ("p.obj", {}), ("p.off", {}),
           ("e.obj", {"exact": True}), ("p.3mf", {})]


@settings(max_examples=25, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(BOXES)
def test_unions_of_boxes_survive_every_format_and_a_poke_is_refused(tmp_path, boxes):
    s = union_of(boxes)
    for name, options in FORMATS:
        path = tmp_path / name
        qi.write_mesh(s, path, **options)
        back = qi.read_mesh(path)  # every check, crossings and nesting included
        assert back.volume6_str() == s.volume6_str(), name
        assert qi.validate(back).winding == (0, 1)
    v, t = poke_through(*qi.to_arrays(s))
    for name, data in mesh_files(v, t):
        path = tmp_path / name
        path.write_bytes(data)
        with pytest.raises(qi.MeshFormatError, match=r"cross|passes through|winding") as info:
            qi.read_mesh(path)
        assert "not closed" not in str(info.value)
        assert not qi.validate(qi.read_mesh(path, check=False))
