"""Reading within bounds: memory in proportion to the file whatever it says,
3MF placements, and polygons read as triangles."""

import io
import os
import subprocess
import sys
import textwrap
import zipfile
from fractions import Fraction

import pytest

import quillstone as qs
import quillstone_io as qi
from io_solids import kinds

UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")
CUBE = qs.make_box("1", "1", "1", "c")

# What a whole read may take beyond the interpreter, for a file of n bytes:
# the faces' bound (64 n and 64 MiB) with room for the file itself, the
# checks that follow and the allocator's slack.
def allowed(n):
    return 4 * (64 * n + (64 << 20))


def model_xml(objects, items):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<model unit="millimeter" '
            'xmlns="http://schemas.microsoft.com/3dmanufacturing/core/2015/02">'
            f"<resources>{objects}</resources><build>{items}</build></model>")


def cube_object(oid=1, name="cube"):
    v, t = qi.to_arrays(CUBE)
    verts = "".join(f'<vertex x="{a}" y="{b}" z="{c}"/>' for a, b, c in v.tolist())
    tris = "".join(f'<triangle v1="{a}" v2="{b}" v3="{c}"/>' for a, b, c in t.tolist())
    return (f'<object id="{oid}" name="{name}" type="model"><mesh><vertices>{verts}</vertices>'
            f"<triangles>{tris}</triangles></mesh></object>")


def three_mf(xml, padding=""):
    """A 3MF archive of the model, with padding before its resources."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("3D/3dmodel.model", xml.replace("<resources>", padding + "<resources>", 1))
    return out.getvalue()


def doubling(levels):
    """Objects that each place the one below twice: 2^levels cubes."""
    objs = [cube_object(1)]
    for k in range(2, levels + 2):
        objs.append(f'<object id="{k}"><components><component objectid="{k - 1}"/>'
                    f'<component objectid="{k - 1}" transform="1 0 0 0 1 0 0 0 1 2 0 0"/>'
                    "</components></object>")
    return three_mf(model_xml("".join(objs), f'<item objectid="{levels + 1}"/>'))


# The largest decimal read (1100 digits, exponent -400): some 1.2 KB exact.
HUGE = "1." + "1" * 1099 + "e-400"

HOSTILE = [
    ("10,000 build items of one object", "items.3mf",
     lambda: three_mf(model_xml(cube_object(), '<item objectid="1"/>' * 10_000))),
    ("128 MiB of XML in a small archive", "big.3mf",
     lambda: three_mf(model_xml(cube_object(), '<item objectid="1"/>'),
                      padding='<metadata name="a">b</metadata>' * (4 << 20))),
    ("a comment of 128 MiB", "comment.3mf",
     lambda: three_mf(model_xml(cube_object(), '<item objectid="1"/>'),
                      padding="<!--" + " " * (128 << 20) + "-->")),
    ("components doubling 20 times", "double.3mf", lambda: doubling(20)),
    ("one huge vertex named 800,000 times in a face", "face.obj",
     lambda: f"v {HUGE} {HUGE} {HUGE}\nv {HUGE} 1 0\nv 0 0 1\nf".encode() + b" 1 2" * 400_000
     + b" 3\n"),
    ("a huge vertex in 150,000 triangles", "fan.obj",
     lambda: f"v {HUGE} {HUGE} {HUGE}\nv 0 1 0\nv 1 0 0\n".encode() + b"f 1 2 3\n" * 150_000),
    ("a long name over many faces", "name.obj",
     lambda: b"v 0 0 0\nv 1 0 0\nv 0 1 0\ng " + b"n" * 1_000_000 + b"\n" + b"f 1 2 3\n" * 100_000),
]


@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer's shadow memory needs the address space")
@pytest.mark.parametrize("name, make", [h[1:] for h in HOSTILE], ids=[h[0] for h in HOSTILE])
def test_hostile_files_stay_within_memory_in_proportion_to_their_size(tmp_path, name, make):
    path = tmp_path / name
    path.write_bytes(make())
    size = path.stat().st_size
    assert size < 2_000_000
    code = f"""
        import resource
        import quillstone_io as qi
        def used():  # the address space the process holds now
            with open("/proc/self/statm") as f:
                return int(f.read().split()[0]) * resource.getpagesize()
        limit = used() + {allowed(size)}
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        for check in (True, False):
            try:
                qi.read_mesh({str(path)!r}, check=check)
                print("read")
            except qi.MeshFormatError as exc:
                print("refused:", exc.reason)
            except MemoryError:
                print("out of memory")
    """
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert "out of memory" not in done.stdout, done.stdout
    # With checks, none of them is a solid.
    assert done.stdout.splitlines()[0].startswith("refused"), done.stdout


def test_the_bound_passes_real_files(tmp_path):
    # The largest solids of the tests, in every format, read back within the
    # same bound (measured by the bound's own count, not the process's).
    part = dict(kinds())["plate"]
    for name in ("p.stl", "p.obj", "p.off", "p.3mf"):
        qi.write_mesh(part, tmp_path / name)
        assert qi.read_mesh(tmp_path / name).volume6_str() == part.volume6_str()


def test_build_items_and_components_place_their_objects(tmp_path):
    xml = model_xml(cube_object(1, "a") + '<object id="2" name="pair"><components>'
                    '<component objectid="1" transform="1 0 0 0 1 0 0 0 1 2 0 0"/>'
                    '<component objectid="1" transform="0 1 0 -1 0 0 0 0 1 0 5 0"/>'
                    "</components></object>",
                    '<item objectid="1"/><item objectid="2" transform="1 0 0 0 1 0 0 0 -1 0 0 4"/>')
    path = tmp_path / "placed.3mf"
    path.write_bytes(three_mf(xml))
    s = qi.read_mesh(path)
    # Three unit cubes: one as it is; one moved to x = 2, one turned a
    # quarter about z to (-y, x + 5, z), both then mirrored to z = 4 - z.
    assert s.volume6_str() == "18/1" and qi.validate(s).ok
    assert s.bbox() == [-1.0, 0.0, 0.0, 3.0, 6.0, 4.0]
    assert {f[0] for f in qi.faces(s)} == {"a"}
    loop = xml.replace('<object id="1" name="a"', '<object id="1" name="a"', 1).replace(
        'objectid="1" transform="0 1 0', 'objectid="2" transform="0 1 0')
    path.write_bytes(three_mf(loop))
    with pytest.raises(qi.MeshFormatError, match="nest in a loop"):
        qi.read_mesh(path)


def tilted_cube(corners):
    """An OBJ of a unit cube with its corners as given, written with 6
    decimals, as quads."""
    verts = "".join("v " + " ".join(f"{c:.6f}" for c in p) + "\n" for p in corners)
    return verts + "f 1 4 3 2\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\nf 5 6 7 8\n"


UNIT = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1)]


def turned(p):
    """p turned by 0.7 radians about the axis (1, 2, 3)."""
    import math
    a = 0.7
    k = [x / math.sqrt(14) for x in (1, 2, 3)]
    c, s = math.cos(a), math.sin(a)
    dot = sum(ki * pi for ki, pi in zip(k, p))
    cross = (k[1] * p[2] - k[2] * p[1], k[2] * p[0] - k[0] * p[2], k[0] * p[1] - k[1] * p[0])
    return tuple(p[i] * c + cross[i] * s + k[i] * dot * (1 - c) for i in range(3))


def test_polygons_read_as_triangles(tmp_path):
    path = tmp_path / "tilted.obj"
    path.write_text(tilted_cube([turned(p) for p in UNIT]))
    with pytest.raises(qi.MeshFormatError, match=r"not on the face's plane \(read_mesh\(\.\.\., "
                                                 r"triangulate=True\)"):
        qi.read_mesh(path)
    s = qi.read_mesh(path, triangulate=True)
    faces = qi.faces(s)
    assert len(faces) == 12 and all(len(f[1]) == 3 for f in faces)
    assert abs(s.volume() - 1) < 1e-5 and qi.validate(s).ok
    # Each quad a, b, c, d is the triangles (a, b, c) and (a, c, d) of its
    # own vertices, exactly.
    corners = [line.split()[1:] for line in path.read_text().splitlines() if line.startswith("v ")]
    as_text = [[f"{Fraction(c).numerator}/{Fraction(c).denominator}" for c in p] for p in corners]
    quads = [[int(i) - 1 for i in line.split()[1:]] for line in path.read_text().splitlines()
             if line.startswith("f ")]
    expected = [[as_text[q[0]], as_text[q[i]], as_text[q[i + 1]]] for q in quads for i in (1, 2)]
    assert sorted(f[1] for f in faces) == sorted(expected)
    # A flat cube read as triangles keeps its volume exactly.
    path.write_text(tilted_cube(UNIT))
    assert len(qi.faces(qi.read_mesh(path))) == 6
    split = qi.read_mesh(path, triangulate=True)
    assert split.volume6_str() == "6/1" and len(qi.faces(split)) == 12
