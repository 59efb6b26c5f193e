"""quillstone_cad's logical faces on two large parts, CPU seconds in one run:
faces(), edges(), merged(), to_arrays(), the STEP writer and a section of
the union of two balls of 81,920 triangles each (an icosahedron subdivided
six times, corners rounded to multiples of 2^-20, the second moved by (30,
20, 10)), and of a 21 x 21 x 1 plate with 10 x 10 unit holes, whose every
edge is then chamfered; and faces() per piece on plates of 10 x 10 to
40 x 40 holes, for its growth. faces() includes the core's work, which
edges(), merged() and the STEP writer then reuse, as a Part does, and
to_arrays() triangulates the kept merged(); the section is of a fresh Part. With cadquery-ocp-novtk installed,
each STEP file is read back and its volume compared with the part's.

Usage: python3 bench/bench_cad_faces.py [--subdivisions 6]
"""

import argparse
import os
import tempfile
import time
from fractions import Fraction

import quillstone_cad as qc
import quillstone_io as qio
from bench_cad import icosphere


def cpu(fn):
    t = time.process_time()
    result = fn()
    return result, time.process_time() - t


def read_step_volume(path):
    try:
        from OCP.BRepGProp import BRepGProp
        from OCP.GProp import GProp_GProps
        from OCP.STEPControl import STEPControl_Reader
    except ImportError:
        return None
    reader = STEPControl_Reader()
    reader.ReadFile(path)
    reader.TransferRoots()
    props = GProp_GProps()
    BRepGProp.VolumeProperties_s(reader.OneShape(), props)
    return props.Mass()


def rows(name, solid, folder, chamfer=False):
    fresh = lambda: qc.Part(solid)  # noqa: E731
    pieces = len(qio.faces(solid))
    part = fresh()
    faces, t = cpu(part.faces)
    print(f"{name}: {pieces} pieces, {len(faces)} faces")
    print(f"  faces()      {t:8.2f} s")
    edges, t = cpu(part.edges)
    print(f"  edges()      {t:8.2f} s  ({len(edges)} edges)")
    # The rows below reuse the faces found above, as a Part does after its
    # first faces() or edges(): each is its own work only.
    merged, t = cpu(part.merged)
    print(f"  merged()     {t:8.2f} s  ({len(qio.faces(merged.solid))} pieces)")
    triangles, t = cpu(lambda: len(part.to_arrays()[1]))
    before = len(qio.to_arrays(solid)[1])
    print(f"  to_arrays()  {t:8.2f} s  ({triangles} triangles; {before} from the pieces)")
    path = os.path.join(folder, name + ".step")
    _, t = cpu(lambda: part.save(path))
    volume = read_step_volume(path)
    check = "" if volume is None else \
        f"  (read back: volume off by {abs(volume / float(solid.volume()) - 1):.1e} relative)"
    print(f"  STEP         {t:8.2f} s{check}")
    lo, hi = part.bbox
    z = (lo[2] + hi[2]) / 2 + Fraction(1, 3)
    cut, t = cpu(lambda: fresh().section(z=z))
    print(f"  section      {t:8.2f} s  ({len(cut.polygons)} polygons, area {float(cut.area):.6g})")
    if chamfer:
        done, t = cpu(lambda: part.chamfer("1/10", part.edges()))
        print(f"  chamfer all  {t:8.2f} s  ({len(part.edges())} edges, closed: {done.is_closed})")


def plate_of_holes(n):
    plate = qc.box(2 * n + 1, 2 * n + 1, 1)
    for i in range(n):
        for j in range(n):
            plate = plate - qc.box(1, 1, 3).moved(1 + 2 * i, 1 + 2 * j, -1)
    return plate


def scaling():
    """faces() per piece on plates of n x n holes: flat for n log n."""
    print("faces() on plates of n x n holes:")
    for n in (10, 20, 40):
        solid = plate_of_holes(n).solid
        pieces = len(qio.faces(solid))
        _, t = cpu(qc.Part(solid).faces)
        print(f"  n = {n:3d}: {pieces:6d} pieces, {t:6.2f} s, {1e6 * t / pieces:6.1f} us per piece")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--subdivisions", type=int, default=6)
    args = parser.parse_args()
    folder = tempfile.mkdtemp()
    rows("plate", plate_of_holes(10).solid, folder, chamfer=True)
    scaling()
    v, t = icosphere(args.subdivisions)
    union, took = cpu(lambda: qc.from_arrays(v, t) | qc.from_arrays(v + [30.0, 20.0, 10.0], t))
    print(f"(the union of two balls of {len(t)} triangles took {took:.1f} s)")
    rows("balls", union.solid, folder)


if __name__ == "__main__":
    main()
