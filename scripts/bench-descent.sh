#!/usr/bin/env bash
# Time per descent, straightforward evaluation against the fast paths, on the
# same instances in one run (Release build). Prints a table; takes a few
# minutes. `--smoke` runs tiny sizes only; `--distance` only the distance-only
# table against the plain baseline (about half an hour on the shared machine).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DIR=$ROOT/build/bench
GEN=()
if command -v ninja >/dev/null 2>&1 && [[ ! -f $DIR/CMakeCache.txt ]]; then GEN=(-G Ninja); fi
cmake -S "$ROOT" -B "$DIR" "${GEN[@]}" -DCMAKE_BUILD_TYPE=Release -DTOURLOOM_BUILD_BENCH=ON -DTOURLOOM_BUILD_TESTS=OFF >/dev/null
cmake --build "$DIR" --target tourloom_descent_bench -j "${JOBS:-2}" >/dev/null
exec "$DIR/bench/tourloom_descent_bench" "$@"
