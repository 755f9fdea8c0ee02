#!/usr/bin/env bash
# Tests of the benchmark tools in bench/ (tests/bench: the time-window
# reader and model, the classic replay, tsplib95's distances, the quality
# runner), then smoke runs of the conversion benchmark (which fails when an
# array's result differs from the list's; n = 800 is past the size that
# asks for huge pages) and of the quality benchmark (--quick, one descent
# per instance). Tests that need ../shared/benchmarks skip without it.
#
#   scripts/test-bench.sh
#
# Interpreter: see scripts/module-python.sh. tsplib95 is
# installed into build/bench-deps and put on PYTHONPATH, leaving the venv
# as it was.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

# shellcheck source=module-python.sh
source "$ROOT/scripts/module-python.sh"

deps=$ROOT/build/bench-deps
if ! PYTHONPATH=$deps "$py" -c 'import tsplib95' >/dev/null 2>&1; then
  "$py" -m pip install -q --target "$deps" tsplib95
fi
export PYTHONPATH=$deps${PYTHONPATH:+:$PYTHONPATH}

"$py" -m pytest tests/bench -q -p no:cacheprovider
"$py" bench/conversion_bench.py --sizes 100,800 --repeats 1

data=${TOURLOOM_BENCHMARKS:-$(dirname "$ROOT")/shared/benchmarks}
if [[ -d $data ]]; then
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
  "$py" bench/quality.py --quick --budgets descent --out "$out" --data "$data"
else
  echo "test-bench: no benchmark data at $data; quality smoke run skipped"
fi
