"""The portable wheel: built by scripts/wheel.sh, installed into a fresh
venv, its extension resolving every shared library inside the wheel, and
working with the system's FLINT and GMP out of reach; every library in it
under a licence that lets it be passed on, with the licence texts."""

import json
import platform
import re
import shutil
import subprocess
import zipfile
from pathlib import Path

import pytest

import quillstone as qs
from conftest import ROOT, VENV_BIN, run

# Libraries every manylinux system provides; everything else must be bundled.
SYSTEM_LIBS = re.compile(
    r"^(linux-vdso|ld-linux[-\w]*|libc|libm|libdl|librt|libpthread|libgcc_s|libstdc\+\+)\.so")

# The licences a bundled library may carry, and for each the full texts that
# must travel with it: the LGPLs (the LGPL 3 adds permissions to the GPL 3,
# so both), GMP's choice of the LGPL 3 or the GPL 2, and permissive ones.
# A library under the GPL alone would make the wheel unlawful to share.
LGPL3 = [r"GNU LESSER GENERAL PUBLIC LICENSE\s+Version 3", r"GNU GENERAL PUBLIC LICENSE\s+Version 3"]
ALLOWED = {
    "LGPL-2.1-or-later": [r"GNU LESSER GENERAL PUBLIC LICENSE\s+Version 2\.1"],
    "LGPL-3.0-or-later": LGPL3,
    "LGPL-3.0-or-later OR GPL-2.0-or-later": LGPL3 + [r"GNU GENERAL PUBLIC LICENSE\s+Version 2"],
    "MIT": [r"Permission is hereby granted, free of charge"],
    "BSD-2-Clause": [r"Redistribution and use in source and binary forms"],
}

# A few calls through the module; the same script runs here and in the fresh venv.
CALLS = """
import json, pickle, quillstone as qs, quillstone_io as qio, quillstone_cad as qc
plate = qs.make_box("4", "2", "1/2", "p").chamfer("1/10")
hole = qs.make_box("1/2", "1/2", "1", "h").translate("7/4", "3/4", "-1/4")
part = plate.boolean("cut", hole)
arc = [["1", "0", "0"], ["1", "1", "0"], ["0", "1", "0"]]
knots = ["0", "0", "0", "1", "1", "1"]
flat = [[["0", "0", "0"], ["0", "1", "0"]], [["1", "0", "0"], ["1", "1", "0"]]]
print(json.dumps([part.volume6_str(), part.canonical(), part.watertight_ok(),
                  str(qc.Part(part).rotated("z", 30).inertia),
                  qs.nurbs_curve_eval(2, arc, knots, "1/2", ["1", "1", "2"]),
                  qs.ssi_pairs(flat, flat, 2),
                  pickle.loads(pickle.dumps(part)).canonical() == part.canonical(),
                  qio.from_faces(qio.faces(part)).volume6_str()]))
"""


def ldd(path):
    """{soname: resolved path or None} of a shared object's dependencies."""
    out = subprocess.run(["ldd", str(path)], capture_output=True, text=True, check=True).stdout
    deps = {}
    for line in out.splitlines():
        m = re.match(r"\s*(\S+)(?: => (\S+|not found))?", line)
        if m:  # the loader itself is listed by its path
            name, path = m.group(1), m.group(2)
            deps[Path(name).name] = name if name.startswith("/") else (
                None if path in (None, "not found") else path)
    return deps


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    out = tmp_path_factory.mktemp("dist")
    # The first build on a machine whose FLINT links NTL builds FLINT too.
    run([ROOT / "scripts" / "wheel.sh", out], timeout=3600)
    wheels = list(out.glob("*.whl"))
    assert len(wheels) == 1, wheels
    return wheels[0]


def licence_faults(files):
    """What keeps a wheel ({name: bytes}) from being shared: each bundled
    library that its licence list leaves out, whose licence is not allowed,
    or whose licence texts are missing."""
    info = next(n.split("/")[0] for n in files if n.endswith(".dist-info/METADATA"))
    bundled = f"{info}/licenses/bundled/"
    listed = {}
    for line in files[bundled + "LIBRARIES.txt"].decode().splitlines():
        if line and not line.startswith("#"):
            member, _, licence, folder = line.split("\t")
            listed[member] = (licence, folder)
    faults = []
    for member in sorted(n for n in files if n.startswith("quillstone.libs/") and n[-1] != "/"):
        if member not in listed:
            faults.append(f"{member}: not in the licence list")
            continue
        licence, folder = listed[member]
        if licence not in ALLOWED:
            faults.append(f"{member}: {licence} is not allowed")
            continue
        texts = b"\n".join(d for n, d in files.items() if n.startswith(bundled + folder)).decode()
        for heading in ALLOWED[licence]:
            if not re.search(heading, texts):
                faults.append(f"{member}: no text matching {heading!r}")
    return faults


def test_every_bundled_library_may_be_shared(wheel):
    with zipfile.ZipFile(wheel) as whl:
        files = {n: whl.read(n) for n in whl.namelist()}
    assert licence_faults(files) == []
    info = next(n.split("/")[0] for n in files if n.endswith(".dist-info/METADATA"))
    metadata = files[f"{info}/METADATA"].decode()
    assert "License-Expression: Apache-2.0" in metadata
    assert files[f"{info}/licenses/LICENSE"] == (ROOT / "LICENSE").read_bytes()
    # Every licence file is named in the metadata, and is where it says.
    named = set(re.findall(r"^License-File: (.+)$", metadata, re.M))
    shipped = {n.removeprefix(f"{info}/licenses/") for n in files
               if "/licenses/" in n and n[-1] != "/"}
    assert named == shipped and len(shipped) > 5
    # RECORD covers the added files.
    record = files[f"{info}/RECORD"].decode()
    assert all(f"{info}/licenses/{n}," in record for n in shipped)


def test_licence_check_refuses_what_may_not_be_shared(wheel):
    with zipfile.ZipFile(wheel) as whl:
        files = {n: whl.read(n) for n in whl.namelist()}
    info = next(n.split("/")[0] for n in files if n.endswith(".dist-info/METADATA"))
    bundled = f"{info}/licenses/bundled/"
    listing = bundled + "LIBRARIES.txt"
    gmp = next(line.split("\t")[0] for line in files[listing].decode().splitlines()
               if "libgmp" in line)
    # A GPL-only library listed as such, one not listed at all, and GMP's
    # folder without the GPL 3 that its LGPL 3 needs.
    files["quillstone.libs/libgf2x-0123abcd.so.3.0.0"] = b""
    files["quillstone.libs/libfoo-0123abcd.so.1"] = b""
    files[listing] += b"quillstone.libs/libgf2x-0123abcd.so.3.0.0\tgf2x 1.3\tGPL-2.0-or-later\tgf2x/\n"
    for name in [n for n in files if n.startswith(bundled + "gmp/")]:
        if b"GNU GENERAL PUBLIC LICENSE\n                       Version 3" in files[name]:
            del files[name]
    faults = licence_faults(files)
    assert faults[0] == "quillstone.libs/libfoo-0123abcd.so.1: not in the licence list"
    assert faults[1] == "quillstone.libs/libgf2x-0123abcd.so.3.0.0: GPL-2.0-or-later is not allowed"
    assert len(faults) == 3 and faults[2].startswith(gmp + ": no text matching") \
        and "Version 3" in faults[2]


@pytest.fixture(scope="module")
def fresh_venv(wheel, tmp_path_factory):
    venv = tmp_path_factory.mktemp("venv")
    run([VENV_BIN / "python", "-m", "venv", venv])
    run([venv / "bin" / "python", "-m", "pip", "install", "-q", "--no-index", "--no-deps", wheel])
    return venv


def extension_modules(venv):
    site = next((venv / "lib").glob("python3*/site-packages"))
    mods = sorted(site.glob("*.abi3.so")) + sorted(site.glob("quillstone_io/*.abi3.so")) + \
        sorted(site.glob("quillstone_cad/*.abi3.so"))
    assert [m.name.split(".")[0] for m in mods] == ["quillstone", "_native", "_native"], mods
    return site, mods


def test_wheel_is_tagged_manylinux_abi3(wheel):
    assert re.fullmatch(
        rf"quillstone-[\d.]+-cp311-abi3-manylinux_2_\d+_{platform.machine()}\.whl", wheel.name)
    names = zipfile.ZipFile(wheel).namelist()
    bundled = [n for n in names if n.startswith("quillstone.libs/")]
    for lib in ("libflint", "libgmp"):
        assert any(Path(n).name.startswith(lib + "-") for n in bundled), names
    # Both modules, with their type information.
    for name in ("quillstone-stubs/__init__.pyi", "quillstone.pyi", "quillstone_io/__init__.py",
                 "quillstone_io/__init__.pyi", "quillstone_io/py.typed"):
        assert name in names
    for package in ("quillstone_io", "quillstone_cad"):
        assert any(re.fullmatch(rf"{package}/_native\.abi3\.so", n) for n in names), names
        assert not any(n.startswith(f"{package}/native/") for n in names)  # no C++ sources
    assert "quillstone_cad/py.typed" in names


def test_dependencies_resolve_inside_the_wheel(fresh_venv):
    site, mods = extension_modules(fresh_venv)
    libs = (site / "quillstone.libs").resolve()
    for mod in mods:
        for name, path in ldd(mod).items():
            if SYSTEM_LIBS.match(name):
                continue
            assert path is not None, f"{mod.name}: {name} not found"
            assert Path(path).resolve().parent == libs, f"{mod.name}: {name} => {path}"
    # And the bundled libraries find each other there too.
    for lib in libs.iterdir():
        for name, path in ldd(lib).items():
            if not SYSTEM_LIBS.match(name):
                assert path is not None and Path(path).resolve().parent == libs, (lib, name, path)


def test_fresh_venv_gives_the_same_answers(fresh_venv):
    out = run([fresh_venv / "bin" / "python", "-c", CALLS], cwd=fresh_venv).stdout
    here = subprocess.run([VENV_BIN / "python", "-c", CALLS], capture_output=True, text=True,
                          check=True).stdout
    assert json.loads(out) == json.loads(here)
    assert json.loads(out)[0] == "11251/500"
    assert json.loads(out)[-2:] == [True, "11251/500"]


def test_imports_with_the_system_libraries_hidden(fresh_venv, tmp_path):
    # The libraries that the module built here links from the system.
    system = sorted({str(Path(p).resolve()) for n, p in ldd(qs.__file__).items()
                     if p and not SYSTEM_LIBS.match(n)})
    assert any("libflint" in p for p in system), system
    if shutil.which("unshare") is None or subprocess.run(
            ["unshare", "-m", "true"], capture_output=True, check=False).returncode != 0:
        pytest.skip("needs unshare -m (root) to hide the system libraries")
    # In a private mount namespace each of them becomes an empty file.
    probe = tmp_path / "probe.py"
    probe.write_text("import ctypes, sys\n"
                     "for p in sys.argv[1:]:\n"
                     "    try:\n"
                     "        ctypes.CDLL(p)\n"
                     "    except OSError:\n"
                     "        continue\n"
                     "    sys.exit('still loadable: ' + p)\n")
    calls = tmp_path / "calls.py"
    calls.write_text(CALLS)
    py = fresh_venv / "bin" / "python"
    hide = "".join(f"mount --bind /dev/null {p} && " for p in system)
    script = f"{hide}{py} {probe} {' '.join(system)} && {py} {calls}"
    out = run(["unshare", "-m", "sh", "-c", script], cwd=fresh_venv).stdout
    assert json.loads(out)[0] == "11251/500"
