#!/usr/bin/env bash
# Installs what quillstone needs on a fresh Debian-like machine: the system
# libraries (only those missing), a virtual environment in .venv, and the
# package itself with its test tools. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
for pkg in g++ libgmp-dev libflint-dev libgtest-dev libbenchmark-dev \
           python3-dev python3-venv; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
fi

PY="${PYTHON:-python3}"
if [ ! -x .venv/bin/python ]; then
  "$PY" -m venv .venv
fi
.venv/bin/python -m pip install -q --upgrade pip
# CMake 3.26 or newer (for stable-ABI modules) and Ninja come from PyPI:
# Debian's CMake is older.
.venv/bin/python -m pip install -q "cmake>=3.26" ninja
.venv/bin/python -m pip install -q ".[test]"
