#!/usr/bin/env bash
# Time per descent on the same instances in one run (Release build): the plain
# baseline, the straightforward evaluation and the fast paths, then what short
# time limits return. Prints tables; the full run takes about half an hour.
# `--smoke` runs tiny sizes only. TOURLOOM_BENCHMARKS (default
# ../shared/benchmarks beside the repository) holds the classic instances.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DIR=$ROOT/build/bench
GEN=()
if command -v ninja >/dev/null 2>&1 && [[ ! -f $DIR/CMakeCache.txt ]]; then GEN=(-G Ninja); fi
cmake -S "$ROOT" -B "$DIR" "${GEN[@]}" -DCMAKE_BUILD_TYPE=Release -DTOURLOOM_BUILD_BENCH=ON -DTOURLOOM_BUILD_TESTS=OFF >/dev/null
cmake --build "$DIR" --target tourloom_descent_bench -j "${JOBS:-2}" >/dev/null
exec "$DIR/bench/tourloom_descent_bench" --data "${TOURLOOM_BENCHMARKS:-$(dirname "$ROOT")/shared/benchmarks}" "$@"
