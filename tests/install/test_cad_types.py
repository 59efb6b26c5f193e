"""quillstone_cad is typed: mypy --strict passes on the package, and
stubtest finds its annotations and its native module's stub true to the
installed code."""

from conftest import ROOT, VENV_BIN, run


def test_package_type_checks_strictly():
    proc = run([VENV_BIN / "python", "-m", "mypy", "--no-incremental", "--strict",
                "python/quillstone_cad"], cwd=ROOT, check=False)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_stubtest_against_the_installed_package(tmp_path):
    proc = run([VENV_BIN / "python", "-m", "mypy.stubtest", "quillstone_cad"], cwd=tmp_path,
               check=False)
    assert proc.returncode == 0, proc.stdout + proc.stderr
