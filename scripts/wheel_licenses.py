"""Puts the licence of every library that auditwheel bundled into the
wheel's .dist-info/licenses/bundled/: a folder per library with its
copyright record and the full texts of its licences, and LIBRARIES.txt,
which names each file of quillstone.libs/ with its library, version,
licence (an SPDX expression) and folder. METADATA names every text as a
License-File, and RECORD is written anew.

    python scripts/wheel_licenses.py REPAIRED.whl UNREPAIRED.whl [FLINT_PREFIX]

The unrepaired wheel's modules, resolved by ldd (with the LD_LIBRARY_PATH
that auditwheel saw), tell where each bundled library came from: a Debian
package, whose copyright record and version dpkg knows, or the FLINT built
by scripts/flint_without_ntl.sh in FLINT_PREFIX.
"""

import base64
import hashlib
import re
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

COMMON = Path("/usr/share/common-licenses")

# What each library is released under, as its authors state it. A library
# missing here is recorded as "unknown", which the wheel's test refuses.
LICENCES = {
    "libgmp": ("GMP", "LGPL-3.0-or-later OR GPL-2.0-or-later"),
    "libmpfr": ("MPFR", "LGPL-3.0-or-later"),
    "libntl": ("NTL", "LGPL-2.1-or-later"),
    "libgf2x": ("gf2x", "GPL-2.0-or-later"),
}
# FLINT moved from LGPL 2.1 to LGPL 3 with version 3.
FLINT = {2: "LGPL-2.1-or-later", 3: "LGPL-3.0-or-later"}

# The full text of each licence, from Debian's common licences. The LGPL 3
# is a set of permissions added to the GPL 3, so both travel with it.
TEXTS = {
    "LGPL-2.1": ["LGPL-2.1"],
    "LGPL-3.0": ["LGPL-3", "GPL-3"],
    "GPL-2.0": ["GPL-2"],
    "GPL-3.0": ["GPL-3"],
}


def sh(*cmd):
    return subprocess.run(cmd, capture_output=True, text=True, check=True).stdout


def origins(unrepaired):
    """{file name: real path} of every library the modules load, transitively."""
    found = {}
    with tempfile.TemporaryDirectory() as tmp:
        with zipfile.ZipFile(unrepaired) as whl:
            mods = [n for n in whl.namelist() if n.endswith(".so")]
            whl.extractall(tmp, mods)
        for mod in mods:
            for path in re.findall(r"=> (/\S+)", sh("ldd", str(Path(tmp) / mod))):
                real = Path(path).resolve()
                found[real.name] = real
    return found


def base_name(bundled):
    """libgmp-1a2b3c4d.so.10.4.1 (auditwheel's name) -> libgmp"""
    return re.match(r"(.+?)(?:-[0-9a-f]{8})?(?:\.so|$)", bundled).group(1)


def original_of(bundled, found):
    """The library that auditwheel copied to quillstone.libs/BUNDLED."""
    plain = re.sub(r"-[0-9a-f]{8}(?=\.so)", "", bundled)
    if plain in found:
        return found[plain]
    same = [p for n, p in found.items() if base_name(n) == base_name(bundled)]
    if len(same) != 1:
        sys.exit(f"wheel: cannot tell where {bundled} came from")
    return same[0]


def describe(lib, flint_prefix):
    """(library and version, SPDX expression, {name in the wheel: text file})."""
    name = base_name(lib.name)
    if flint_prefix and lib.is_relative_to(flint_prefix):
        texts = {p.name: p for p in sorted((flint_prefix / "share/licenses/flint").iterdir())}
        source = (flint_prefix / ".complete").read_text().strip()   # flint=2.9.0-5
        major = int(re.search(r"=(?:\d+:)?(\d+)", source).group(1))
        return (f"FLINT {source.split('=')[1]} (Debian's source package, built without NTL)",
                FLINT.get(major, "unknown"), texts)
    # A package may still ship the library under /lib, which /usr/lib merges.
    names = [str(lib)] + (["/" + str(lib.relative_to("/usr"))] if lib.is_relative_to("/usr") else [])
    owners = [subprocess.run(["dpkg-query", "-S", n], capture_output=True, text=True).stdout
              for n in names]
    package = next((o.split(":")[0] for o in owners if o), "")
    if not package:
        sys.exit(f"wheel: {lib} is not from a package that dpkg knows")
    version = sh("dpkg-query", "-W", "-f=${Version}", package)
    what, licence = LICENCES.get(name, (name, "unknown"))
    if name == "libflint":
        what, licence = "FLINT", FLINT.get(int(re.match(r"(?:\d+:)?(\d+)", version).group(1)),
                                           "unknown")
    texts = {"copyright": Path("/usr/share/doc") / package / "copyright"}
    return f"{what} {version} (Debian's {package})", licence, texts


def licence_texts(expression):
    """{name: path} of the full texts that an SPDX expression names."""
    texts = {}
    for ident in re.findall(r"[A-Za-z]+-[\d.]+", expression):
        for name in TEXTS.get(ident, []):
            texts[name] = COMMON / name
    return texts


def add(entries, name, data):
    info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
    info.external_attr = 0o644 << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    entries[name] = (info, data)


def record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def main(repaired, unrepaired, flint_prefix=None):
    repaired = Path(repaired)
    flint_prefix = Path(flint_prefix).resolve() if flint_prefix else None
    found = origins(unrepaired)
    with zipfile.ZipFile(repaired) as whl:
        entries = {info.filename: (info, whl.read(info)) for info in whl.infolist()}
    info = next(n.split("/")[0] for n in entries if n.endswith(".dist-info/METADATA"))
    licenses = f"{info}/licenses/bundled"
    table = ["# The shared libraries bundled in quillstone.libs/: each file, the library",
             "# and its version, its licence (an SPDX expression) and the folder beside",
             "# this file that holds its copyright record and licence texts.", ""]
    added = []
    for member in sorted(n for n in entries if n.startswith("quillstone.libs/") and n[-1] != "/"):
        lib = original_of(Path(member).name, found)
        what, licence, texts = describe(lib, flint_prefix)
        # The full texts, unless the library's own copy is already one of them.
        own = {path.read_bytes() for path in texts.values()}
        texts.update({n: p for n, p in licence_texts(licence).items() if p.read_bytes() not in own})
        folder = base_name(lib.name).removeprefix("lib")
        for name, path in texts.items():
            add(entries, f"{licenses}/{folder}/{name}", path.read_bytes())
            added.append(f"bundled/{folder}/{name}")
        table.append("\t".join([member, what, licence, f"{folder}/"]))
    add(entries, f"{licenses}/LIBRARIES.txt", ("\n".join(table) + "\n").encode())
    added.append("bundled/LIBRARIES.txt")
    meta_info, metadata = entries[f"{info}/METADATA"]
    head, sep, body = metadata.decode().partition("\n\n")
    head += "".join(f"\nLicense-File: {name}" for name in added)
    entries[f"{info}/METADATA"] = (meta_info, (head + sep + body).encode())
    record = f"{info}/RECORD"
    record_info, _ = entries.pop(record)
    lines = [record_line(n, d) for n, (_, d) in entries.items()] + [f"{record},,", ""]
    entries[record] = (record_info, "\n".join(lines).encode())
    with zipfile.ZipFile(repaired, "w", zipfile.ZIP_DEFLATED) as whl:
        for info_, data in entries.values():
            whl.writestr(info_, data)


if __name__ == "__main__":
    main(*sys.argv[1:])
