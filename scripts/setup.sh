#!/usr/bin/env bash
# Installs what quillstone needs on a fresh machine: the system packages
# that are missing (on Debian and Ubuntu, through apt-get), a virtual
# environment in .venv, and the package itself. Safe to run again: a second
# run installs nothing new and only rebuilds what changed.
#
#   scripts/setup.sh tour   what the example tour needs
#   scripts/setup.sh test   that, plus the C++ test framework and the test tools
#
# PYTHON=/path/to/python3.12 picks the interpreter (3.11 or newer).
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-test}"
case "$mode" in
  tour | test) ;;
  *) echo "usage: scripts/setup.sh [tour|test]" >&2; exit 2 ;;
esac
start=$SECONDS
who=setup
. scripts/packages.sh

# 1. Python 3.11 or newer, before anything else is installed.
version_of() { "$1" -c 'import sys; print("%d.%d.%d" % sys.version_info[:3])' 2>/dev/null; }
executable_of() { "$1" -c 'import sys; print(sys.executable)'; }
recent_enough() { "$1" -c 'import sys; sys.exit(sys.version_info < (3, 11))' 2>/dev/null; }
if [ -n "${PYTHON:-}" ]; then
  candidates=("$PYTHON")
else
  candidates=(python3 python3.14 python3.13 python3.12 python3.11)
fi
PY=""
for c in "${candidates[@]}"; do
  if command -v "$c" >/dev/null && recent_enough "$c"; then PY="$(executable_of "$c")"; break; fi
done
if [ -z "$PY" ] && [ -z "${PYTHON:-}" ] && ! command -v python3 >/dev/null && have_dpkg; then
  need_packages python3 python3-venv python3-dev  # a bare Debian or Ubuntu image
  recent_enough python3 && PY="$(executable_of python3)"
fi
if [ -z "$PY" ]; then
  first="${candidates[0]}"
  if command -v "$first" >/dev/null; then
    found="$first is Python $(version_of "$first") ($(command -v "$first"))"
  else
    found="no $first was found"
  fi
  cat >&2 <<EOF
setup: quillstone needs Python 3.11 or newer, and $found.
setup: install a newer Python, for example on Ubuntu 22.04
setup:   sudo apt-get install python3.11 python3.11-venv python3.11-dev
setup: then run this again with PYTHON=python3.11 in front.
EOF
  exit 1
fi
pyver="$(version_of "$PY")"
say "using Python $pyver ($PY)"

# 2. System packages: a C++20 compiler, GMP and FLINT with their headers,
# and for a distribution's own Python its headers and venv.
if have_dpkg; then
  pkgs=(g++ libgmp-dev libflint-dev)
  [ "$mode" = test ] && pkgs+=(libgtest-dev)
  case "$(readlink -f "$PY")" in
    /usr/bin/*)
      minor="${pyver%.*}"
      pkgs+=("python$minor-dev" "python$minor-venv") ;;
  esac
  need_packages "${pkgs[@]}"
else
  say "not a Debian-like system: make sure a C++20 compiler, GMP and FLINT (with headers)"
  say "and your Python's headers are installed; CMake names whatever is missing"
fi

# 3. The virtual environment, made anew when another interpreter made it.
identity() { "$1" -c 'import sys; print(sys.base_prefix, sys.version)' 2>/dev/null; }
if [ -e .venv ] && [ "$(identity .venv/bin/python || true)" != "$(identity "$PY")" ]; then
  say "the .venv was made by another Python; making it anew"
  rm -rf .venv
fi
if [ ! -x .venv/bin/python ]; then
  say "making the virtual environment .venv"
  "$PY" -m venv .venv
fi

# 4. Build tools into the venv (Debian 12's CMake is older than the 3.26
# that stable-ABI modules need), then the package built against them, so
# a rerun rebuilds only what changed.
say "installing the build tools (scikit-build-core, CMake, Ninja)"
# Debian 12's venv brings pip 23.0.1, which lacks -C (--config-settings for
# pip wheel), used by the tests and the wheel build.
pip_install "pip>=23.1"
pip_install "scikit-build-core>=0.11" "cmake>=3.26" ninja
# The tour saves a picture, which needs matplotlib (the "plot" extra).
target=".[plot]"
[ "$mode" = test ] && target=".[test]"
say "building and installing quillstone (a first build takes about a minute)"
pip_install --no-build-isolation "$target"
say "done in $((SECONDS - start)) s"
