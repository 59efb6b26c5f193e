"""quillstone_cad as a package: mypy --strict passes on it, stubtest finds
its annotations and its native module's stub true to the installed code,
its guide's examples (the bracket tutorial among them) give the output
they show, and every public name has a docstring and a place in the guide."""

import doctest
import inspect

import quillstone_cad as qc
from conftest import ROOT, VENV_BIN, run

GUIDE = ROOT / "docs" / "cad.md"


def test_package_type_checks_strictly():
    proc = run([VENV_BIN / "python", "-m", "mypy", "--no-incremental", "--strict",
                "python/quillstone_cad"], cwd=ROOT, check=False)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_stubtest_against_the_installed_package(tmp_path):
    proc = run([VENV_BIN / "python", "-m", "mypy.stubtest", "quillstone_cad"], cwd=tmp_path,
               check=False)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_the_guide_and_its_tutorial_run_as_shown():
    failed, attempted = doctest.testfile(str(GUIDE), module_relative=False,
                                         optionflags=doctest.ELLIPSIS)
    assert attempted > 30 and failed == 0


def test_every_public_name_is_documented_and_in_the_guide():
    guide = GUIDE.read_text()
    for name in qc.__all__:
        obj = getattr(qc, name)
        if inspect.isfunction(obj) or inspect.isclass(obj):
            assert inspect.getdoc(obj), name
            assert f"`{name}(" in guide or f"`{name}`" in guide, name
    for name, member in inspect.getmembers(qc.Part):
        if not name.startswith("_") or name in ("__eq__", "__or__", "__sub__", "__and__"):
            assert inspect.getdoc(member), name
