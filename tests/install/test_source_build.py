"""What a user without the requirements sees: setup.sh refuses an old
Python before it installs anything, says in one message what it cannot
install without root or without a network, and CMake names every missing
piece with its packages in one message."""

import os
import re
import shutil
import tempfile

import pytest

from conftest import ROOT, VENV_BIN, run

HIDE_SYSTEM = "-DCMAKE_IGNORE_PREFIX_PATH=/usr;/usr/local"
# What each missing piece is called in the message, and its Debian package.
PIECES = {
    "a C++20 compiler": "g++",
    "GMP with its headers": "libgmp-dev",
    "FLINT with its headers": "libflint-dev",
    "the headers of Python 3.11 or newer": "python3-dev",
    "GoogleTest": "libgtest-dev",
}


def missing_items(text):
    """The '- what' lines of the message, each with its Debian line."""
    return re.findall(r"- (.+)\n\s+Debian/Ubuntu: apt-get install ([\w.+-]+)", text)


def test_cmake_names_every_missing_piece_once(tmp_path):
    proc = run([VENV_BIN / "cmake", "-S", ROOT, "-B", tmp_path / "b", "-G", "Ninja",
                "-DQS_BUILD_TESTS=ON", HIDE_SYSTEM, "-DPython_INCLUDE_DIR=/nonexistent"],
               env={"CXX": "/nonexistent/c++"}, check=False)
    out = proc.stdout + proc.stderr
    assert proc.returncode != 0
    assert out.count("CMake Error") == 1, out
    items = missing_items(out)
    assert len(items) == len(PIECES), out
    for (what, package), (name, expected) in zip(items, PIECES.items()):
        assert what.startswith(name) and package == expected, (what, package)
    assert out.count("other systems:") == len(PIECES)
    assert "CMAKE_PREFIX_PATH" in out


def test_cmake_names_only_what_is_missing(tmp_path):
    proc = run([VENV_BIN / "cmake", "-S", ROOT, "-B", tmp_path / "b", "-G", "Ninja",
                "-DQS_BUILD_PYTHON=OFF", "-DQS_BUILD_TESTS=ON",
                "-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON"], check=False)
    out = proc.stdout + proc.stderr
    assert proc.returncode != 0
    assert [p for _, p in missing_items(out)] == ["libgtest-dev"], out


def test_pip_install_shows_the_message(tmp_path):
    # What `pip install .` prints on a machine without a compiler or libraries.
    proc = run([VENV_BIN / "python", "-m", "pip", "wheel", "--no-build-isolation", "--no-deps",
                "-w", tmp_path, f"-Cbuild-dir={tmp_path / 'build'}",
                f"-Ccmake.define.CMAKE_IGNORE_PREFIX_PATH=/usr;/usr/local", "."],
               env={"CXX": "/nonexistent/c++"}, check=False)
    out = proc.stdout + proc.stderr
    assert proc.returncode != 0
    assert "quillstone cannot be built" in out
    assert [p for _, p in missing_items(out)] == ["g++", "libgmp-dev", "libflint-dev"], out


def test_setup_refuses_an_old_python_first(tmp_path):
    # A stand-in for Python 3.10 that answers only the version questions.
    fake = tmp_path / "python3.10"
    fake.write_text('#!/bin/sh\ncase "$2" in *"version_info[:3]"*) echo 3.10.12 ;; esac\n'
                    'exit 1\n')
    fake.chmod(0o755)
    proc = run([ROOT / "scripts" / "setup.sh", "tour"], env={"PYTHON": str(fake)}, check=False)
    assert proc.returncode == 1
    assert "needs Python 3.11 or newer" in proc.stderr
    assert f"Python 3.10.12 ({fake})" in proc.stderr
    assert "PYTHON=" in proc.stderr
    assert proc.stdout == ""  # nothing was installed or made before the check


@pytest.fixture
def setup_copy():
    """setup.sh and the script it sources, in a folder any user may read."""
    folder = tempfile.mkdtemp(prefix="qs-setup-")
    os.chmod(folder, 0o755)
    shutil.copytree(ROOT / "scripts", os.path.join(folder, "scripts"),
                    ignore=lambda _, names: [n for n in names if n not in
                                             ("setup.sh", "packages.sh")])
    yield folder
    shutil.rmtree(folder)


def test_setup_names_what_it_cannot_install(setup_copy, tmp_path):
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        pytest.skip("needs root to run setup.sh as another user")
    # Without root or sudo: every package looks missing to a stand-in for
    # dpkg-query, and nothing is tried before the message.
    fake = tmp_path / "bin"
    fake.mkdir()
    (fake / "dpkg-query").write_text("#!/bin/sh\nexit 1\n")
    (fake / "dpkg-query").chmod(0o755)
    shutil.copytree(fake, os.path.join(setup_copy, "bin"))
    as_nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    no_root = run([*as_nobody, "env", f"PATH={setup_copy}/bin:/usr/bin:/bin",
                   "PYTHON=/usr/bin/python3", f"{setup_copy}/scripts/setup.sh", "tour"],
                  check=False)
    # Without a network: the package index cannot be reached.
    no_net = run([f"{setup_copy}/scripts/setup.sh", "tour"], check=False,
                 env={"PIP_INDEX_URL": "http://127.0.0.1:9/simple", "PIP_FIND_LINKS": "",
                      "PIP_CONFIG_FILE": os.devnull, "PIP_RETRIES": "0",
                      "PYTHON": str(VENV_BIN / "python")})
    for proc, lines in [
            (no_root, ["these system packages are missing: g++ libgmp-dev libflint-dev",
                       "As root, run:  apt-get install g++ libgmp-dev libflint-dev"]),
            (no_net, ["pip could not reach a package index for: ",
                      "PIP_INDEX_URL"])]:
        assert proc.returncode == 1, proc.stdout + proc.stderr
        for line in lines:
            assert line in proc.stderr, proc.stderr
        assert "Traceback" not in proc.stderr and "installing system packages" not in proc.stdout
