"""Batches of exact geometry on a Dask cluster.

Two batches, each a list of independent tasks:

- a parameter sweep of plates: chamfered plates of two sizes with grids of
  round holes (rows x columns x hole radius), each measured exactly;
- a surface-intersection search over every pair of patches of two surface
  models: a bicubic terrain and a tilted plane, each cut into patches.

Every quillstone call holds the interpreter lock, so the batches spread
over worker processes, not threads. Solids cross to the workers and back by
pickling, which importing quillstone_io enables; a PanicException raised in
a task reaches the caller as itself. The results are exact, so the cluster's
answers are identical to a serial run, which the script checks.

    python examples/batch_dask.py                    # a LocalCluster, one worker per core
    python examples/batch_dask.py --workers 2
    python examples/batch_dask.py tcp://host:8786    # a running cluster's scheduler
    python examples/batch_dask.py --speedup          # one worker against two

Every worker of a real cluster needs quillstone installed (the wheel from
scripts/wheel.sh installs anywhere). Run as a script, this file's functions
travel with the tasks; imported from other code, it must be importable on
the workers too (client.upload_file sends it).
"""

from __future__ import annotations

import argparse
import contextlib
import hashlib
import os
import sys
import time
from collections.abc import Sequence
from fractions import Fraction
from typing import Any, NamedTuple

from dask.distributed import Client, Future, LocalCluster, wait

import quillstone as qs
import quillstone_io as qio  # makes PySolid picklable; names PanicException

Net = list[list[list[str]]]


# --- The plate sweep -------------------------------------------------------

class PlateJob(NamedTuple):
    size: str  # which base plate
    rows: int
    cols: int
    radius: str


class PlateResult(NamedTuple):
    job: PlateJob
    volume6: str
    watertight: bool
    logical_faces: int
    fingerprint: str  # a digest of the canonical text: equal digests, equal solids


PLATE_SIZES = {"small": ("4", "3"), "large": ("6", "4")}
THICKNESS = "1/2"

# Points of the unit circle from Pythagorean triples, so that round holes
# have exact rational corners: 20 around.
_OCTANT = [(Fraction(1), Fraction(0)), (Fraction(12, 13), Fraction(5, 13)),
           (Fraction(4, 5), Fraction(3, 5)), (Fraction(3, 5), Fraction(4, 5)),
           (Fraction(5, 13), Fraction(12, 13))]
CIRCLE = [(x, y) if k == 0 else (-y, x) if k == 1 else (-x, -y) if k == 2 else (y, -x)
          for k in range(4) for x, y in _OCTANT]


def base_plates() -> dict[str, qs.PySolid]:
    """The plates before the holes: boxes with every edge chamfered."""
    return {name: qs.make_box(w, h, THICKNESS, "plate").chamfer("1/20")
            for name, (w, h) in PLATE_SIZES.items()}


def plate_jobs(quick: bool = False) -> list[PlateJob]:
    grids = [(2, 3), (3, 4)] if quick else [(2, 3), (3, 4), (4, 6), (5, 7), (6, 8)]
    radii = ["1/8"] if quick else ["1/8", "1/6"]
    # The longest first, so that the workers finish at about the same time.
    return [PlateJob(size, r, c, radius)
            for r, c in reversed(grids) for size in PLATE_SIZES for radius in radii]


# The tasks take and return only built-in values and solids: a class of this
# file would need the file itself on every worker to unpickle.

def hole_grid(plate: qs.PySolid, size: str, rows: int, cols: int, radius: str) -> qs.PySolid:
    """The plate with a rows x cols grid of round through holes, evenly spaced."""
    width, height = (Fraction(v) for v in PLATE_SIZES[size])
    r = Fraction(radius)
    part = plate
    for i in range(rows):
        for j in range(cols):
            cx = width * (2 * j + 1) / (2 * cols)
            cy = height * (2 * i + 1) / (2 * rows)
            loop = [str(c) for x, y in CIRCLE for c in (cx + r * x, cy + r * y)]
            hole = qs.make_prism(loop, "1", "hole").translate("0", "0", "-1/4")
            part = part.boolean("cut", hole)
    return part


def measure_plate(plate: qs.PySolid, size: str, rows: int, cols: int,
                  radius: str) -> tuple[str, bool, int, str]:
    """The holed plate's exact measures: the fields of PlateResult after job."""
    part = hole_grid(plate, size, rows, cols, radius)
    digest = hashlib.sha256(part.canonical().encode()).hexdigest()[:16]
    return part.volume6_str(), part.watertight_ok(), part.logical_faces(), digest


# --- The patch-pair search --------------------------------------------------

Region = tuple[str, str, str, str]


class PairResult(NamedTuple):
    a: int  # patch numbers in the two models
    b: int
    candidates: int
    # The region of A's parameters that the candidates cover, exactly:
    # u0, u1, v0, v1 ('' when the patches are certified apart).
    a_region: Region


def terrain(n: int) -> list[Net]:
    """n x n bicubic patches over [0, n]^2 with heights from a fixed rule."""
    def patch(i: int, j: int) -> Net:
        return [[[str(Fraction(3 * i + a, 3)), str(Fraction(3 * j + b, 3)),
                  str(Fraction(((3 * i + a) * 7 + (3 * j + b) * 5) % 11 - 5, 10))]
                 for b in range(4)] for a in range(4)]
    return [patch(i, j) for i in range(n) for j in range(n)]


def tilted_plane(n: int) -> list[Net]:
    """The plane z = x/7 - y/9 + 1/20 over [0, n]^2 as n x n bilinear patches."""
    def corner(x: int, y: int) -> list[str]:
        return [str(x), str(y), str(Fraction(x, 7) - Fraction(y, 9) + Fraction(1, 20))]
    return [[[corner(i + a, j + b) for b in range(2)] for a in range(2)]
            for i in range(n) for j in range(n)]


def search_row(net_a: Net, nets_b: Sequence[Net], depth: int) -> list[tuple[int, Region]]:
    """ssi_pairs of one patch of A against every patch of B, each candidate
    list reduced (the Python stage) to its count and the A region it covers."""
    out = []
    for b, net_b in enumerate(nets_b):
        pairs = qs.ssi_pairs(net_a, net_b, depth)
        region: Region = ("", "", "", "")
        if pairs:
            u0 = min(Fraction(p[0]) for p in pairs)
            u1 = max(Fraction(p[1]) for p in pairs)
            v0 = min(Fraction(p[2]) for p in pairs)
            v1 = max(Fraction(p[3]) for p in pairs)
            region = (str(u0), str(u1), str(v0), str(v1))
        out.append((len(pairs), region))
    return out


def surface_models(quick: bool = False) -> tuple[list[Net], list[Net], int]:
    n = 2 if quick else 4
    return terrain(n), tilted_plane(n), 6 if quick else 10


# --- Running the batches ----------------------------------------------------

class Batch(NamedTuple):
    plates: list[PlateResult]
    pairs: list[PairResult]


def collect(jobs: list[PlateJob], measures: list[tuple[str, bool, int, str]],
            rows: list[list[tuple[int, Region]]]) -> Batch:
    return Batch([PlateResult(job, *m) for job, m in zip(jobs, measures)],
                 [PairResult(a, b, *r) for a, row in enumerate(rows) for b, r in enumerate(row)])


def run_serial(quick: bool = False) -> Batch:
    plates = base_plates()
    jobs = plate_jobs(quick)
    measures = [measure_plate(plates[job.size], *job) for job in jobs]
    nets_a, nets_b, depth = surface_models(quick)
    return collect(jobs, measures, [search_row(net, nets_b, depth) for net in nets_a])


def run_on_cluster(client: Client, quick: bool = False) -> Batch:
    # The base plates are built here and pickled to every worker once. Fresh
    # keys for every run (a list, not a dict whose keys would name them;
    # hash=False, pure=False): a batch run twice on one client must not meet
    # the first run's data while that is being freed.
    built = base_plates()
    plates = dict(zip(built, client.scatter(list(built.values()), broadcast=True, hash=False)))
    jobs = plate_jobs(quick)
    plate_futures = [client.submit(measure_plate, plates[job.size], *job, pure=False)
                     for job in jobs]
    nets_a, nets_b, depth = surface_models(quick)
    [shared_b] = client.scatter([nets_b], broadcast=True, hash=False)
    row_futures = [client.submit(search_row, net, shared_b, depth, pure=False) for net in nets_a]
    return collect(jobs, gather(client, plate_futures), gather(client, row_futures))


def gather(client: Client, futures: list[Future[Any]]) -> list[Any]:
    """The futures' results in order; a task's failure is raised here as itself.

    Dask's own gather re-raises a task's exception inside the client's event
    loop, which passes on only subclasses of Exception: with a PanicException
    (a BaseException) it would wait for ever. So wait, then raise the first
    failure in the caller's thread.
    """
    wait(futures)
    for future in futures:
        if future.status == "error":
            raise future.exception().with_traceback(future.traceback())
    return list(client.gather(futures))


def local_cluster(workers: int) -> LocalCluster:
    return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                        dashboard_address=":0")  # any free port: clusters side by side


def timed_batch(client: Client, quick: bool) -> tuple[Batch, float]:
    start = time.perf_counter()
    batch = run_on_cluster(client, quick)
    return batch, time.perf_counter() - start


def show_panic_in_a_task(client: Client) -> None:
    """A malformed coordinate aborts its task; the caller catches the very type."""
    bad = [[["0", "0", "0"], ["0", "1", "0"]], [["1", "0", "0"], ["1", "1", "one"]]]
    future = client.submit(search_row, bad, tilted_plane(1), 1)
    try:
        gather(client, [future])
    except qio.PanicException as exc:
        print("a patch with the coordinate 'one' failed on its worker:",
              type(exc).__name__, "-", exc)


def report(batch: Batch) -> None:
    lightest = min(batch.plates, key=lambda r: Fraction(r.volume6))
    job = lightest.job
    print(f"{len(batch.plates)} plates measured; the lightest: {job.size}, {job.rows} x {job.cols}"
          f" holes of radius {job.radius}, 6V = {lightest.volume6},"
          f" {lightest.logical_faces} logical faces,"
          f" watertight: {all(r.watertight for r in batch.plates)}")
    meeting = [r for r in batch.pairs if r.candidates]
    print(f"{len(batch.pairs)} patch pairs searched; {len(meeting)} may meet"
          f" ({sum(r.candidates for r in meeting)} candidate boxes),"
          f" {len(batch.pairs) - len(meeting)} certified apart")


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("scheduler", nargs="?",
                        help="address of a running scheduler (default: start a LocalCluster)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="workers of the LocalCluster (default: one per core)")
    parser.add_argument("--quick", action="store_true", help="a small batch, for a check")
    parser.add_argument("--speedup", action="store_true",
                        help="time the batch on a LocalCluster of one worker and of --workers")
    parser.add_argument("--repeat", type=int, default=3,
                        help="with --speedup, runs of each cluster (default 3)")
    args = parser.parse_args(argv)

    start = time.perf_counter()
    serial = run_serial(args.quick)
    serial_time = time.perf_counter() - start
    print(f"serial run in this process: {serial_time:.2f} s")
    report(serial)

    if args.speedup:
        # Both clusters stay up and take turns, and each keeps its best time,
        # so that a burst of other load on the machine does not decide.
        counts = sorted({1, args.workers})
        best = {n: float("inf") for n in counts}
        with contextlib.ExitStack() as stack:
            clients = {n: stack.enter_context(Client(stack.enter_context(local_cluster(n))))
                       for n in counts}
            for client in clients.values():
                timed_batch(client, args.quick)  # warm the workers: imports, first calls
            for _ in range(args.repeat):
                for n, client in clients.items():
                    batch, elapsed = timed_batch(client, args.quick)
                    assert batch == serial, "the cluster's results differ from the serial run"
                    print(f"{n} worker(s): {elapsed:.2f} s")
                    best[n] = min(best[n], elapsed)
        if args.workers > 1:
            print(f"best of {args.repeat}: 1 worker {best[1]:.2f} s, {args.workers} workers"
                  f" {best[args.workers]:.2f} s, speed-up {best[1] / best[args.workers]:.2f}x")
        return 0

    with contextlib.ExitStack() as stack:
        if args.scheduler:
            client = stack.enter_context(Client(args.scheduler))
            where = f"the cluster at {args.scheduler}"
        else:
            cluster = stack.enter_context(local_cluster(args.workers))
            client = stack.enter_context(Client(cluster))
            where = f"a LocalCluster of {args.workers} worker(s)"
        batch, elapsed = timed_batch(client, args.quick)
        print(f"on {where}: {elapsed:.2f} s")
        same = batch == serial
        print("identical to the serial run:", same)
        show_panic_in_a_task(client)
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
