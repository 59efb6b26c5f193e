#!/usr/bin/env bash
# Sets up everything and runs the example tour.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
.venv/bin/python examples/tour.py
