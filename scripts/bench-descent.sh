#!/usr/bin/env bash
# Time per descent on the same instances in one run (Release build): the plain
# baseline, the straightforward evaluation and the fast paths, then what short
# time limits return. Prints tables; the full run takes about an hour on the
# shared machine. `--smoke` runs tiny sizes only; `--distance` only the
# distance-only table, `--time-only` only the time-model tables.
# TOURLOOM_BENCHMARKS (default ../shared/benchmarks beside the repository)
# holds the classic instances.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DIR=$ROOT/build/bench
GEN=()
if command -v ninja >/dev/null 2>&1 && [[ ! -f $DIR/CMakeCache.txt ]]; then GEN=(-G Ninja); fi
# Quiet while the build succeeds; its whole output when it does not.
quietly() {
  local log
  if ! log=$("$@" 2>&1); then
    printf '%s\n' "$log" >&2
    echo "bench-descent: failed: $*" >&2
    exit 1
  fi
}
quietly cmake -S "$ROOT" -B "$DIR" "${GEN[@]}" -DCMAKE_BUILD_TYPE=Release -DTOURLOOM_BUILD_BENCH=ON -DTOURLOOM_BUILD_TESTS=OFF
quietly cmake --build "$DIR" --target tourloom_descent_bench -j "${JOBS:-2}"
exec "$DIR/bench/tourloom_descent_bench" --data "${TOURLOOM_BENCHMARKS:-$(dirname "$ROOT")/shared/benchmarks}" "$@"
