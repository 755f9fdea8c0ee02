#!/usr/bin/env bash
# The main job on a fresh machine: install tourloom with pip (the CMake build
# through scikit-build-core) into a virtual environment, then solve the
# example delivery day and print its tour and schedule.
#
#   scripts/run-example.sh          one descent: the same answer every run
#   scripts/run-example.sh 2        restarts for 2 seconds
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VENV=${VENV:-$ROOT/build/venv-example}
PYTHON=${PYTHON:-python3}

if [[ ! -x $VENV/bin/python ]]; then
  "$PYTHON" -m venv "$VENV"
fi
"$VENV/bin/python" -m pip install --quiet "$ROOT"
exec "$VENV/bin/python" "$ROOT/examples/delivery_day.py" "$@"
