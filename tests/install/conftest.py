"""Shared by the install checks: the repository, the development venv and
a runner that reports what a failed command printed."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
# The venv whose Python runs these tests; its bin holds cmake, mypy, auditwheel.
VENV_BIN = Path(sys.executable).parent


def run(cmd, *, env=None, cwd=ROOT, check=True, timeout=600):
    """Runs cmd and returns the finished process, output captured as text."""
    full_env = dict(os.environ)
    full_env["PATH"] = f"{VENV_BIN}{os.pathsep}{full_env.get('PATH', '')}"
    full_env.update(env or {})
    proc = subprocess.run(
        [str(c) for c in cmd], cwd=cwd, env=full_env, capture_output=True, text=True,
        timeout=timeout, check=False,
    )
    if check and proc.returncode != 0:
        pytest.fail(f"{cmd} exited {proc.returncode}\n--- stdout\n{proc.stdout}\n"
                    f"--- stderr\n{proc.stderr}")
    return proc
