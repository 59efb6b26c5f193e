"""The type stubs: they match the installed module exactly, type checkers
find and use them, and the examples type-check against them."""

import ast
import inspect

import quillstone as qs
from conftest import ROOT, VENV_BIN, run

STUB = ROOT / "stubs" / "quillstone-stubs" / "__init__.pyi"


def mypy(*args, cwd):
    return run([VENV_BIN / "python", "-m", "mypy", "--no-incremental", *args], cwd=cwd,
               check=False)


def test_stubtest_against_the_installed_module(tmp_path):
    # Run away from the source tree so only installed files are seen.
    proc = run([VENV_BIN / "python", "-m", "mypy.stubtest", "quillstone"], cwd=tmp_path,
               check=False)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_stubtest_against_the_installed_companion_module(tmp_path):
    proc = run([VENV_BIN / "python", "-m", "mypy.stubtest", "quillstone_io"], cwd=tmp_path,
               check=False)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_examples_type_check_strictly():
    proc = mypy("--strict", "examples", cwd=ROOT)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_mypy_finds_the_stubs_and_catches_misuse(tmp_path):
    bad = tmp_path / "misuse.py"
    bad.write_text(
        "import quillstone as qs\n"
        "box = qs.make_box(1, '1', '1', 'b')\n"          # a number must be a str
        "total: int = qs.make_box('1', '1', '1', 'b').volume6_str()\n"
        "qs.make_prism(['0', '0'], '1', 'p').rotate_quarter(2, '1')\n"
        "qs.ssi_pairs([], [], 1, a_box=('0', '1'), c_box=None)\n")
    proc = mypy(bad, cwd=tmp_path)
    lines = [line for line in proc.stdout.splitlines() if ": error:" in line]
    assert {line.split(":")[1] for line in lines} == {"2", "3", "4", "5"}, proc.stdout
    assert "import-not-found" not in proc.stdout and "import-untyped" not in proc.stdout


def test_every_stub_has_a_docstring_and_the_module_keeps_its_own():
    tree = ast.parse(STUB.read_text())
    defs = [n for n in ast.walk(tree) if isinstance(n, (ast.FunctionDef, ast.ClassDef))]
    assert len(defs) == 1 + 8 + 12
    for node in defs:
        assert ast.get_docstring(node), node.name
    # The module's own docstrings are the bare signature blocks.
    for name in qs.__all__[1:]:
        doc = getattr(qs, name).__doc__
        assert name == "ssi_pairs" or doc is None or not doc.strip(), (name, doc)
    assert qs.PySolid.__doc__ is None
    for name, member in inspect.getmembers(qs.PySolid, inspect.ismethoddescriptor):
        if not name.startswith("__"):
            assert not (member.__doc__ or "").strip(), name
