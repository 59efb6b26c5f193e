"""The Dask batch example on a two-worker LocalCluster: the same results as
the serial run, solids crossing to the workers and back, a PanicException
from a task reaching the caller as itself, and the script run against a
scheduler address as on a real cluster."""

import importlib
import sys
import threading

import pytest
from dask.distributed import Client

import quillstone_io as qio
from conftest import ROOT, VENV_BIN, run

SCRIPT = ROOT / "examples" / "batch_dask.py"


# Imported by name, and importable by the workers, which the cluster starts
# with this process's sys.path.
sys.path.insert(0, str(SCRIPT.parent))
bd = importlib.import_module("batch_dask")


@pytest.fixture(scope="module")
def cluster():
    with bd.local_cluster(2) as c:
        yield c


@pytest.fixture
def client(cluster):
    with Client(cluster) as c:
        yield c


def test_cluster_batch_is_identical_to_the_serial_run(client):
    assert len(client.scheduler_info()["workers"]) == 2
    batch = bd.run_on_cluster(client, quick=True)
    serial = bd.run_serial(quick=True)
    assert batch == serial
    # Both halves did real work: holes were cut, and some pairs were certified apart.
    assert all(r.watertight and r.logical_faces > 30 for r in batch.plates)
    assert any(r.candidates for r in batch.pairs) and not all(r.candidates for r in batch.pairs)


def test_solids_cross_to_the_workers_and_back(client):
    plate = bd.base_plates()["small"]
    job = ("small", 2, 3, "1/8")
    part = client.submit(bd.hole_grid, plate, *job).result()
    here = bd.hole_grid(plate, *job)
    assert part.canonical() == here.canonical()
    assert part.volume6_str() == here.volume6_str()


def test_panic_in_a_task_reaches_the_caller_as_itself(client):
    bad = [[["0", "0", "0"], ["0", "1", "0"]], [["1", "0", "0"], ["1", "1", "1/0"]]]
    future = client.submit(bd.search_row, bad, bd.tilted_plane(1), 1, pure=False)
    # In a thread of its own, so that a gather that never returns fails the test.
    caught = []

    def fetch():
        try:
            bd.gather(client, [future])
        except BaseException as exc:  # noqa: B036 - PanicException is one
            caught.append(exc)

    worker = threading.Thread(target=fetch, daemon=True)
    worker.start()
    worker.join(60)
    assert caught, "the failure of the task never reached the caller"
    assert type(caught[0]) is qio.PanicException and "denominator == 0" in str(caught[0])
    # The cluster goes on working.
    [[(candidates, _)]] = bd.gather(client, [client.submit(bd.search_row, bd.terrain(1)[0],
                                                           bd.tilted_plane(1), 2)])
    assert candidates > 0


def test_script_runs_against_a_scheduler_address(cluster):
    proc = run([VENV_BIN / "python", SCRIPT, cluster.scheduler_address, "--quick"])
    assert f"on the cluster at {cluster.scheduler_address}" in proc.stdout
    assert "identical to the serial run: True" in proc.stdout
    assert "failed on its worker: PanicException" in proc.stdout
