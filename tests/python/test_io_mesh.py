"""quillstone_io: mesh files in and out, arrays and the picture."""

import collections
import io
import os
import pickle
import re
import struct
import subprocess
import sys
import textwrap
import zipfile
from fractions import Fraction

import numpy as np
import pytest
import trimesh
from stl import mesh as stl_mesh

import quillstone as qs
import quillstone_io as qi
from io_solids import kinds, plate_with_holes

SOLIDS = [(n, s) for n, s in kinds() if n not in ("empty", "400 digits")]
IDS = [n for n, _ in SOLIDS]
WRITES = [("stl", {}), ("stl", {"binary": False}), ("obj", {}), ("off", {}),
          ("obj", {"exact": True}), ("off", {"exact": True}), ("3mf", {})]
WRITE_IDS = ["stl", "ascii stl", "obj", "off", "exact obj", "exact off", "3mf"]


def loose_edges(solid):
    """Face edges not matched end to end by an edge running back: T-junctions."""
    count = collections.Counter()
    for _, v, _, _ in qi.faces(solid):
        for i in range(len(v)):
            count[(tuple(v[i]), tuple(v[(i + 1) % len(v)]))] += 1
    return sum(1 for (a, b), k in count.items() if count[(b, a)] != k)


def test_the_solids_have_t_junctions_to_split():
    assert loose_edges(dict(SOLIDS)["plate"]) > 0 and loose_edges(dict(SOLIDS)["union"]) > 0


@pytest.mark.parametrize("fmt, options", WRITES, ids=WRITE_IDS)
@pytest.mark.parametrize("solid", [s for _, s in SOLIDS], ids=IDS)
def test_written_meshes_are_closed_for_other_readers_and_for_ours(tmp_path, solid, fmt, options):
    if fmt == "3mf":
        pytest.importorskip("networkx")  # what trimesh's 3MF reader needs
        pytest.importorskip("lxml")
    path = tmp_path / f"part.{fmt}"
    qi.write_mesh(solid, path, **options)
    theirs = trimesh.load(path, force="mesh")
    assert theirs.is_watertight
    # Binary STL holds 32-bit floats; the others shortest doubles.
    rel = 1e-6 if fmt == "stl" and options.get("binary", True) else 1e-12
    assert theirs.volume == pytest.approx(solid.volume(), rel=rel)
    ours = qi.read_mesh(path)
    assert ours.watertight_ok()
    if options.get("exact"):
        assert ours.volume6_str() == solid.volume6_str()
        assert ours.bbox() == solid.bbox()


@pytest.mark.parametrize("solid", [s for _, s in SOLIDS], ids=IDS)
def test_arrays_are_a_closed_outward_mesh(solid):
    v, t = qi.to_arrays(solid)
    assert v.dtype == np.float64 and t.dtype == np.int64 and v.shape[1] == t.shape[1] == 3
    # Shared vertices: no point twice.
    assert len(np.unique(v, axis=0)) == len(v)
    a, b, c = v[t[:, 0]], v[t[:, 1]], v[t[:, 2]]
    assert (np.linalg.norm(np.cross(b - a, c - a), axis=1) > 0).all()
    # Outward: the signed volume is the solid's.
    assert np.einsum("ij,ij->i", a, np.cross(b, c)).sum() / 6 == pytest.approx(solid.volume())
    m = trimesh.Trimesh(v, t, process=False)
    assert m.is_watertight and m.is_winding_consistent
    v[0, 0] += 1  # writable, and owned by the caller


def test_mesh_files_can_hold_no_coordinate_beyond_doubles(tmp_path):
    huge = dict(kinds())["400 digits"]
    for name in ("a.stl", "a.obj"):
        with pytest.raises(ValueError, match="beyond the range of"):
            qi.write_mesh(huge, tmp_path / name)
        assert not (tmp_path / name).exists()
    with pytest.raises(ValueError, match="binary STL"):
        qi.write_mesh(qs.make_box("1e39".replace("1e39", "1" + "0" * 39), "1", "1", "f"),
                      tmp_path / "f.stl")
    with pytest.raises(ValueError, match="OBJ and OFF only"):
        qi.write_mesh(qs.make_box("1", "1", "1", "b"), tmp_path / "b.stl", exact=True)


CUBE_OBJ = """# a cube of side 0.1, by hand
o cube
v 0 0 0
v 0.1 0 0
v 0.1 0.1 0
v 0 0.1 0
v 0 0 1e-1
v .1 0 1E-1
v 0.10 0.1 0.1
v 0 +0.1 0.1
g bottom
f 1 4 3 2
g walls
f 1 2 6 5
f 2/7 3/8 7/9 6/1
f 3//1 4//1 8//1 7//1
f -8 -4 -1 -5
g top
f 5 6 7 8
"""


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_bytes(text.encode() if isinstance(text, str) else text)
    return path


def test_decimals_are_read_as_exact_fractions(tmp_path):
    cube = qi.read_mesh(write(tmp_path, "cube.obj", CUBE_OBJ))
    assert cube.volume6_str() == "3/500"  # 6 * (1/10)^3, not the doubles' volume
    assert cube.bbox() == [0.0, 0.0, 0.0, 0.1, 0.1, 0.1]
    assert [f[0] for f in qi.faces(cube)] == ["bottom"] + ["walls"] * 4 + ["top"]
    assert qi.faces(cube)[1][1][1] == ["1/10", "0/1", "0/1"]
    # w divides; colours after x y z are skipped.
    text = CUBE_OBJ.replace("v 0.1 0 0\n", "v 0.2 0 0 2\n").replace("v 0 0 0\n",
                                                                     "v 0 0 0 1 0.5 0.5\n")
    assert qi.read_mesh(write(tmp_path, "w.obj", text)).volume6_str() == "3/500"


OFF_TETRA = """OFF
# a corner tetrahedron
4 4 0
0 0 0
1.5 0 0
0 1.5 0 0.2 0.2 0.2
0 0 1.5

3 0 2 1
3 0 1 3
3 0 3 2 255 0 0
3 1 2 3
"""


def test_off_files(tmp_path):
    t = qi.read_mesh(write(tmp_path, "t.off", OFF_TETRA))
    assert t.volume6_str() == "27/8" and t.watertight_ok()
    inline = OFF_TETRA.replace("OFF\n# a corner tetrahedron\n4 4 0", "COFF 4 4 0")
    assert qi.read_mesh(write(tmp_path, "i.off", inline)).volume6_str() == "27/8"


def tetra_arrays(scale):
    v = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]], dtype=np.float64) * scale
    f = np.array([[0, 2, 1], [0, 1, 3], [0, 3, 2], [1, 2, 3]])
    return v, f


def f32(x):
    return Fraction(float(np.float32(x)))


@pytest.mark.parametrize("ascii_", [False, True], ids=["binary", "ascii"])
def test_stl_written_by_numpy_stl(tmp_path, ascii_):
    v, f = tetra_arrays(0.1)
    m = stl_mesh.Mesh(np.zeros(len(f), dtype=stl_mesh.Mesh.dtype))
    m.vectors[:] = v[f]
    path = tmp_path / "t.stl"
    m.save(str(path), mode=stl_mesh.stl.Mode.ASCII if ascii_ else stl_mesh.stl.Mode.BINARY)
    t = qi.read_mesh(path)
    # Binary: the float32 nearest 0.1, exactly. ASCII: the decimal numpy-stl printed.
    side = f32(0.1) if not ascii_ else max(
        Fraction(w) for line in path.read_text().splitlines() if "vertex" in line
        for w in line.split()[1:])
    assert Fraction(t.volume6_str()) == side ** 3


def test_stl_written_by_trimesh(tmp_path):
    box = trimesh.creation.box(extents=(2.0, 3.0, 0.5))
    for name, kind in (("b.stl", "stl"), ("a.stl", "stl_ascii")):
        path = tmp_path / name
        data = box.export(file_type=kind)
        path.write_bytes(data if isinstance(data, bytes) else data.encode())
        s = qi.read_mesh(path)
        assert s.volume6_str() == "18/1" and s.watertight_ok() and s.logical_faces() == 6
    obj = tmp_path / "t.obj"
    obj.write_text(box.export(file_type="obj"))
    assert qi.read_mesh(obj).volume6_str() == "18/1"


def test_inward_meshes_are_turned_over(tmp_path):
    inward = OFF_TETRA.replace("3 0 2 1", "3 0 1 2").replace("3 0 1 3", "3 0 3 1").replace(
        "3 0 3 2 255", "3 0 2 3 255").replace("3 1 2 3", "3 1 3 2")
    t = qi.read_mesh(write(tmp_path, "in.off", inward))
    assert t.volume6_str() == "27/8"


def binary_stl(triangles, count=None):
    data = b"solid but binary".ljust(80, b" ") + struct.pack("<I", len(triangles) if count is None
                                                             else count)
    for tri in triangles:
        data += struct.pack("<12fH", 0, 0, 0, *[c for p in tri for c in p], 0)
    return data


TETRA = [[(0, 0, 0), (0, 1, 0), (1, 0, 0)], [(0, 0, 0), (1, 0, 0), (0, 0, 1)],
         [(0, 0, 0), (0, 0, 1), (0, 1, 0)], [(1, 0, 0), (0, 1, 0), (0, 0, 1)]]

BAD_FILES = [
    ("non-planar quad", "q.obj", CUBE_OBJ.replace("v 0 0 1e-1", "v 0 0 0.2"),
     r"^face 5 \(line 19\): vertex 3 is not on the face's plane \(read_mesh\(\.\.\., "
     r"triangulate=True\) reads each polygon as triangles of its own vertices\)$"),
    ("open", "o.obj", CUBE_OBJ.replace("f 5 6 7 8\n", ""),
     r"^face \d \(line \d+\): the edge from vertex \d to vertex \d is not matched"),
    ("one face turned", "t.obj", CUBE_OBJ.replace("f 5 6 7 8", "f 8 7 6 5"),
     r"^face \d \(line \d+\): the edge from vertex \d to vertex \d is not matched"),
    ("nan", "n.obj", CUBE_OBJ.replace("v 0.1 0.1 0\n", "v 0.1 nan 0\n"),
     r"^line 5: malformed number 'nan' \(expected a finite decimal number\)$"),
    ("inf", "i.off", OFF_TETRA.replace("1.5 0 0", "inf 0 0"), r"^line 5: malformed number 'inf'"),
    ("huge exponent", "e.off", OFF_TETRA.replace("1.5 0 0", "1e99999 0 0"),
     r"^line 5: malformed number '1e99999'"),
    ("a byte that is not text in a number", "b.off",
     OFF_TETRA.replace("1.5 0 0", "1.\xff\x005 0 0").encode("latin-1"),
     r"^line 5: malformed number '1\.\\xff\\x005' \(expected"),
    ("a long word cut", "w.obj", CUBE_OBJ.replace("v 0.1 0 0\n", "v 0.1" + "\u00e9" * 30 + " 0 0\n"),
     "^line 4: malformed number '0.1" + "\u00e9" * 19 + r"\.\.\.' \(expected"),
    ("index out of range", "r.obj", CUBE_OBJ.replace("f 5 6 7 8", "f 5 6 7 9"),
     r"^line 19: vertex index 9 does not exist \(8 vertices so far\)$"),
    ("index zero", "z.obj", CUBE_OBJ.replace("f 5 6 7 8", "f 0 6 7 8"),
     r"^line 19: vertex index 0 does not exist"),
    ("off index out of range", "r.off", OFF_TETRA.replace("3 1 2 3", "3 1 2 4"),
     r"^line 12: vertex index 4 does not exist \(the file has 4 vertices\)$"),
    ("off cut short", "c.off", OFF_TETRA[:OFF_TETRA.index("3 1 2 3")],
     r"^line 12: the text ends early"),
    ("truncated binary stl", "c.stl", binary_stl(TETRA)[:-10],
     r"^binary STL cut short: the header announces 4 triangles \(284 bytes\), the file has 274 "
     r"bytes$"),
    ("nan in binary stl", "n.stl", binary_stl(TETRA[:3] + [[(1, 0, 0), (0, float("nan"), 0),
                                                            (0, 0, 1)]]),
     r"^face 3: vertex 1 has a coordinate that is not a finite number$"),
    ("ascii stl cut short", "a.stl", "solid x\nfacet normal 0 0 0\nouter loop\nvertex 0 0 0\n",
     r"^line 5: the text ends early"),
    ("exact line disagrees", "x.obj", "v 0.5 0 0\n#qs-exact 1/3 0/1 0/1\n",
     r"^line 2: the exact coordinates disagree with the vertex on line 1$"),
    ("group name not utf-8", "u.obj", CUBE_OBJ.replace("g walls", "g w\xe4lls").encode("latin-1"),
     r"^line 13: the name is not UTF-8 text$"),
    ("solid name not utf-8", "u.stl", b"solid caf\xe9\nendsolid\n",
     r"^line 1: the name is not UTF-8 text$"),
    ("empty", "e.obj", "", "^no faces$"),
    ("vertices only", "v.obj", "v 0 0 0\nv 1 0 0\n", "^no faces$"),
    ("faces without area", "l.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n2 0 0\n3 0 1 2\n",
     "^no faces: every face has zero area$"),
]


@pytest.mark.parametrize("name, text, message", [b[1:] for b in BAD_FILES],
                         ids=[b[0] for b in BAD_FILES])
def test_bad_files_are_refused_with_their_place(tmp_path, name, text, message):
    path = write(tmp_path, name, text)
    with pytest.raises(qi.MeshFormatError) as info:
        qi.read_mesh(path)
    exc = info.value
    assert exc.file == str(path) and str(exc).startswith(f"{path}: ")
    text = str(exc)[len(str(path)) + 2:]
    assert re.search(message, text)
    # The place is also kept in parts.
    line = re.match(r"^(?:face \d+ \()?line (\d+)", text)
    assert exc.line == (int(line.group(1)) if line else None)
    assert text.endswith(exc.reason) and (exc.part is None or text.startswith(exc.part))
    # It pickles with its parts, as a worker process hands it back.
    back = pickle.loads(pickle.dumps(exc))
    assert type(back) is qi.MeshFormatError and str(back) == str(exc)


def three_mf_parts(tmp_path):
    good = tmp_path / "good.3mf"
    qi.write_mesh(qs.make_box("1", "1", "1", "b"), good)
    with zipfile.ZipFile(good) as z:
        return good.read_bytes(), {n: z.read(n) for n in z.namelist()}


def zipped(parts, method=zipfile.ZIP_DEFLATED):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", method) as z:
        for name, body in parts.items():
            z.writestr(name, body)
    return out.getvalue()


def with_header_bits(data, local, central, edit):
    """data with edit(bytearray, offset) applied to every zip header."""
    b = bytearray(data)
    for sig, off in ((b"PK\x03\x04", local), (b"PK\x01\x02", central)):
        k = b.find(sig)
        while k >= 0:
            edit(b, k + off)
            k = b.find(sig, k + 4)
    return bytes(b)


def set_method(b, at):
    b[at:at + 2] = struct.pack("<H", 99)


def set_encrypted(b, at):
    b[at] |= 1


DAMAGED_3MF = [
    # (name, how the file is damaged, what the standard library raised before)
    ("truncated", lambda data, parts: data[:len(data) // 2], "BadZipFile"),
    ("corrupt deflate stream", lambda data, parts: data.replace(
        data[data.index(b"3D/3dmodel.model") + 30:][:20], b"\xff" * 20, 1), "zlib.error"),
    ("unknown compression", lambda data, parts: with_header_bits(data, 8, 10, set_method),
     "NotImplementedError"),
    ("encrypted", lambda data, parts: with_header_bits(data, 6, 8, set_encrypted), "RuntimeError"),
    ("unknown xml encoding", lambda data, parts: zipped(
        {n: b.replace(b'encoding="UTF-8"', b'encoding="x-none"') for n, b in parts.items()}),
     "LookupError"),
    ("huge vertex index", lambda data, parts: zipped(
        {n: b.replace(b'v1="0"', b'v1="' + b"9" * 30 + b'"', 1) for n, b in parts.items()}),
     "OverflowError"),
    ("malformed xml", lambda data, parts: zipped(
        {n: b.replace(b"</vertices>", b"</vertex>", 1) for n, b in parts.items()}), "ParseError"),
]


@pytest.mark.parametrize("damage", [d[1] for d in DAMAGED_3MF], ids=[d[0] for d in DAMAGED_3MF])
def test_damaged_3mf_files_raise_mesh_format_error(tmp_path, damage):
    data, parts = three_mf_parts(tmp_path)
    path = tmp_path / "bad.3mf"
    path.write_bytes(damage(data, parts))
    with pytest.raises(qi.MeshFormatError) as info:
        qi.read_mesh(path)
    assert info.value.file == str(path)


LINE_ENDS = [("lf", lambda b: b), ("crlf", lambda b: b.replace(b"\n", b"\r\n")),
             ("cr", lambda b: b.replace(b"\n", b"\r")),
             ("bom", lambda b: b"\xef\xbb\xbf" + b),
             ("bom crlf", lambda b: b"\xef\xbb\xbf" + b.replace(b"\n", b"\r\n"))]


@pytest.mark.parametrize("edit", [e[1] for e in LINE_ENDS], ids=[e[0] for e in LINE_ENDS])
@pytest.mark.parametrize("fmt, options", [("obj", {"exact": True}), ("off", {"exact": True}),
                                          ("stl", {"binary": False})], ids=["obj", "off", "stl"])
def test_line_ends_and_byte_order_marks(tmp_path, edit, fmt, options):
    part = dict(kinds())["union"]
    path = tmp_path / f"p.{fmt}"
    qi.write_mesh(part, path, **options)
    plain = qi.read_mesh(path)
    path.write_bytes(edit(path.read_bytes()))
    back = qi.read_mesh(path)
    assert qi.faces(back) == qi.faces(plain)
    if fmt != "stl":
        assert back.volume6_str() == part.volume6_str()


def test_a_failed_write_leaves_the_old_file(tmp_path):
    # A file size limit makes the write fail part way, as a full disk does.
    path = tmp_path / "part.stl"
    qi.write_mesh(qs.make_box("1", "1", "1", "old"), path)
    old = path.read_bytes()
    code = f"""
        import resource, signal
        import quillstone_io as qi
        from io_solids import plate_with_holes
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))
        try:
            qi.write_mesh(plate_with_holes(), {str(path)!r}, binary=False)
        except OSError as exc:
            print("failed", exc.errno)
    """
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=120, cwd=os.path.dirname(__file__))
    assert done.stdout.startswith("failed"), done.stdout + done.stderr
    assert path.read_bytes() == old
    assert os.listdir(tmp_path) == ["part.stl"]  # no temporary file left behind
    qi.write_mesh(plate_with_holes(), path)  # a write that succeeds replaces it
    assert qi.read_mesh(path).volume6_str() == plate_with_holes().volume6_str()


def test_a_binary_stl_whose_header_says_solid(tmp_path):
    t = qi.read_mesh(write(tmp_path, "t.stl", binary_stl(TETRA)))
    assert t.volume6_str() == "1/1"


def test_formats_by_name(tmp_path):
    path = write(tmp_path, "cube.txt", CUBE_OBJ)
    with pytest.raises(ValueError, match="cannot tell the mesh format from the extension '.txt'"):
        qi.read_mesh(path)
    assert qi.read_mesh(path, format="OBJ").volume6_str() == "3/500"
    with pytest.raises(ValueError, match="unknown mesh format 'ply'"):
        qi.read_mesh(path, format="ply")
    open_ = qi.read_mesh(write(tmp_path, "o.obj", CUBE_OBJ.replace("f 5 6 7 8\n", "")),
                         check=False)
    assert not open_.watertight_ok()


def test_exact_files_keep_labels_as_groups(tmp_path):
    part = plate_with_holes(2)
    qi.write_mesh(part, tmp_path / "p.obj", exact=True)
    back = qi.read_mesh(tmp_path / "p.obj")
    assert {f[0] for f in qi.faces(back)} == {f[0] for f in qi.faces(part)}
    assert back.volume6_str() == part.volume6_str()
    assert back.boolean("cut", part).volume6_str() == "0/1"


def test_render_writes_a_png(tmp_path):
    part = qs.make_box("4", "2", "1", "plate").chamfer("1/10").boolean(
        "cut", qs.make_box("1", "1", "2", "hole").translate("3/2", "1/2", "-1/2"))
    path = tmp_path / "part.png"
    qi.render(part, path, title="a chamfered plate")
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    width, height = struct.unpack(">II", data[16:24])
    assert (width, height) == (600, 600)
    # Not a blank canvas: the faces' colours are there.
    from matplotlib import image
    pixels = image.imread(path)
    assert len(np.unique(pixels.reshape(-1, pixels.shape[2]), axis=0)) > 50


@pytest.mark.parametrize("missing, call", [
    ("numpy", lambda s, p: qi.to_arrays(s)),
    ("matplotlib", lambda s, p: qi.render(s, p)),
])
def test_missing_optional_packages_are_named(monkeypatch, tmp_path, missing, call):
    for name in list(sys.modules):
        if name == missing or name.startswith(missing + "."):
            monkeypatch.delitem(sys.modules, name)
    monkeypatch.setitem(sys.modules, missing, None)  # import now fails
    extra = "arrays" if missing == "numpy" else "plot"
    with pytest.raises(ImportError, match=rf"needs {missing}: pip install 'quillstone\[{extra}\]'"):
        call(qs.make_box("1", "1", "1", "b"), tmp_path / "x.png")
