"""The validity check (no faces crossing, shells nested) and what it adds to
reading: on the holed plate of bench_boolean.py, on icospheres of 20,480 and
81,920 triangles (trimesh, radius 1) and on the ball of bench_io.py.

Columns, each the best of --repeat runs of one whole call:
  faces         the solid's faces; triangles: those of its binary STL
  validate      quillstone_io.validate of the solid read from that STL:
                closedness, crossings, winding
  read          read_mesh(the STL), check=True: parse, every face rule,
                closedness, the validity check
  unchecked     read_mesh(the same, check=False): parse and face rules only
  share         (read - unchecked) / read: the part of a checked read that
                its checks take
  loads         loads(dumps(s)): the one-pass checks (face rules, closedness)
  loads check   loads(dumps(s), check=True): the validity check as well
With --baseline DIR (a build installed by pip install --target DIR), loads
and read are also timed with that build, in a child process, in the same
run, for the ratio.

Usage: python3 bench/bench_validity.py [--repeat N] [--baseline DIR]
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

import quillstone_io as qio
from bench_boolean import holed_plate
from bench_io import ball
from timing import best_of


def solids():
    import trimesh
    out = [("plate", holed_plate())]
    with tempfile.TemporaryDirectory() as tmp:
        for sub in (5, 6):
            m = trimesh.creation.icosphere(subdivisions=sub, radius=1)
            path = os.path.join(tmp, "s.stl")
            m.export(path)
            out.append((f"icosphere {len(m.faces)}", qio.read_mesh(path)))
    out.append(("ball", ball(92)))
    return out


# Timed in a child for the baseline build: reads the STL and the text
# written by this build, so both builds see the same inputs.
CHILD = """
import json, sys, time
sys.path.insert(0, sys.argv[1])
import quillstone_io as qio
repeat, stl, text_path = int(sys.argv[2]), sys.argv[3], sys.argv[4]
text = open(text_path).read()
def best(fn):
    times = []
    for _ in range(repeat):
        t = time.perf_counter(); fn(); times.append(time.perf_counter() - t)
    return min(times)
print(json.dumps({"read": best(lambda: qio.read_mesh(stl)), "loads": best(lambda: qio.loads(text))}))
"""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--baseline", help="a folder with another build of quillstone and quillstone_io")
    args = ap.parse_args()
    print(f"{'solid':<18} {'faces':>7} {'triangles':>9} {'validate':>9} {'read':>8} {'unchecked':>9} {'share':>6} "
          f"{'loads':>8} {'loads check':>11}" + (f" {'base read':>9} {'base loads':>10}"
                                                   if args.baseline else ""))
    with tempfile.TemporaryDirectory() as tmp:
        for name, s in solids():
            stl, text_path = os.path.join(tmp, "s.stl"), os.path.join(tmp, "s.txt")
            qio.write_mesh(s, stl)
            text = qio.dumps(s)
            with open(text_path, "w") as f:
                f.write(text)
            back = qio.read_mesh(stl)
            t_val = best_of(args.repeat, lambda: qio.validate(back))
            t_read = best_of(args.repeat, lambda: qio.read_mesh(stl))
            t_raw = best_of(args.repeat, lambda: qio.read_mesh(stl, check=False))
            t_loads = best_of(args.repeat, lambda: qio.loads(text))
            t_loads_check = best_of(args.repeat, lambda: qio.loads(text, check=True))
            row = (f"{name:<18} {len(qio.faces(s)):>7} {len(qio.faces(back)):>9} {1e3 * t_val:>7.1f}ms "
                   f"{1e3 * t_read:>6.1f}ms {1e3 * t_raw:>7.1f}ms {(t_read - t_raw) / t_read:>6.2f} "
                   f"{1e3 * t_loads:>6.1f}ms "
                   f"{1e3 * t_loads_check:>9.1f}ms")
            if args.baseline:
                out = subprocess.run([sys.executable, "-c", CHILD, args.baseline, str(args.repeat),
                                      stl, text_path], capture_output=True, text=True, check=True)
                base = json.loads(out.stdout)
                row += f" {1e3 * base['read']:>7.1f}ms {1e3 * base['loads']:>8.1f}ms"
            print(row, flush=True)


if __name__ == "__main__":
    main()
