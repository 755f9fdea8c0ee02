#!/usr/bin/env bash
# Tests of the benchmark tools in bench/ (tests/bench: the time-window
# reader and model, the classic replay, tsplib95's distances, the quality
# runner), then a smoke run of the quality benchmark (--quick, one descent
# per instance). Tests that need ../shared/benchmarks skip without it.
#
#   scripts/test-bench.sh
#
# Interpreter as in scripts/test-examples.sh (build/venv-cpython when
# tourloom and pytest import there, else build/venv-examples). tsplib95 is
# installed into build/bench-deps and put on PYTHONPATH, leaving the venv
# as it was.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

py=${EXAMPLES_PYTHON:-}
if [[ -z $py ]]; then
  if build/venv-cpython/bin/python -c 'import tourloom, pytest' >/dev/null 2>&1; then
    py=$ROOT/build/venv-cpython/bin/python
  else
    venv=$ROOT/build/venv-examples
    [[ -x $venv/bin/python ]] || "${PYTHON:-python3}" -m venv "$venv"
    "$venv/bin/python" -m pip install -q "$ROOT[test]"
    py=$venv/bin/python
  fi
fi

deps=$ROOT/build/bench-deps
if ! PYTHONPATH=$deps "$py" -c 'import tsplib95' >/dev/null 2>&1; then
  "$py" -m pip install -q --target "$deps" tsplib95
fi
export PYTHONPATH=$deps${PYTHONPATH:+:$PYTHONPATH}

"$py" -m pytest tests/bench -q -p no:cacheprovider

data=${TOURLOOM_BENCHMARKS:-$(dirname "$ROOT")/shared/benchmarks}
if [[ -d $data ]]; then
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
  "$py" bench/quality.py --quick --budgets descent --out "$out" --data "$data"
else
  echo "test-bench: no benchmark data at $data; quality smoke run skipped"
fi
