#!/usr/bin/env bash
# Sets up what the tour needs (no test tools) and runs the example tour.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh tour
echo "tour: running examples/tour.py"
.venv/bin/python examples/tour.py
