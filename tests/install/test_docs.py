"""The README's example prints exactly what the README shows, the API
reference's examples give the output they show and it covers every function
and method of both modules, and the tour uses every function and method."""

import contextlib
import doctest
import inspect
import io
import re
import runpy
import sys

import quillstone as qs
import quillstone_io as qio
from conftest import ROOT, VENV_BIN, run

FUNCTIONS = qs.__all__[1:]
METHODS = [n for n, _ in inspect.getmembers(qs.PySolid, inspect.ismethoddescriptor)
           if not n.startswith("__")]


def test_surface_is_what_the_docs_cover():
    assert len(FUNCTIONS) == 8 and len(METHODS) == 12


def test_readme_example_prints_what_the_readme_shows():
    text = (ROOT / "README.md").read_text()
    blocks = re.findall(r"```python\n(.*?)```\s*It prints:\s*```text\n(.*?)```", text, re.S)
    assert blocks, "no example with its output in the README"
    for code, shown in blocks:
        proc = run([VENV_BIN / "python", "-c", code])
        assert proc.stdout == shown


def test_api_reference_examples_hold():
    failed, attempted = doctest.testfile(str(ROOT / "docs" / "api.md"), module_relative=False,
                                         optionflags=doctest.ELLIPSIS)
    assert attempted > 40 and failed == 0


def test_api_reference_has_a_section_for_every_function_and_method():
    text = (ROOT / "docs" / "api.md").read_text()
    core, companion = text.split("\n## The companion module quillstone_io\n")
    headings = set(re.findall(r"^### `(?:PySolid\.)?(\w+)\(", core, re.M))
    assert headings == set(FUNCTIONS) | set(METHODS)
    for name in METHODS:
        assert f"### `PySolid.{name}(" in core
    companion = companion.split("\n## ")[0]
    named = {n for line in re.findall(r"^### (.*)$", companion, re.M)
             for n in re.findall(r"`(\w+)", line)}
    assert named == set(qio.__all__)


def test_tour_uses_every_function_and_method():
    called = set()

    def profile(frame, event, arg):
        if event != "c_call":
            return
        if getattr(arg, "__module__", None) == "quillstone":
            called.add(arg.__name__)
        elif isinstance(getattr(arg, "__self__", None), qs.PySolid):
            called.add("PySolid." + arg.__name__)

    out = io.StringIO()
    sys.setprofile(profile)
    try:
        with contextlib.redirect_stdout(out):
            runpy.run_path(str(ROOT / "examples" / "tour.py"), run_name="__main__")
    finally:
        sys.setprofile(None)
    assert called == set(FUNCTIONS) | {"PySolid." + m for m in METHODS}
    assert "Traceback" not in out.getvalue() and out.getvalue().count("== ") >= 5
