"""What a user without the requirements sees: setup.sh refuses an old
Python before it installs anything, and CMake names every missing piece with
its packages in one message."""

import re

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
