#!/usr/bin/env bash
# Build the core's libFuzzer harness (fuzz/core_fuzz.cpp) with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer, replay every committed
# input that once broke it (fuzz/regressions/), then fuzz for a while.
#
#   scripts/fuzz-core.sh            # 60 s of fuzzing
#   scripts/fuzz-core.sh 600        # ten minutes
#
# Starts from the seeds in fuzz/corpus/core plus whatever earlier runs on
# this machine added to build/fuzz/corpus (new inputs go there, never into
# the committed seeds). A finding (a broken check, a sanitizer report, a
# timeout or running out of memory) is written to build/fuzz/findings/ and
# makes the script exit non-zero; copy it to fuzz/regressions/ once fixed.
#
# Environment: FUZZ_CLANG_VERSION (default 16), JOBS (default 2),
# FUZZ_TIMEOUT (seconds one input may take, default 30), CMAKE (default cmake).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SECONDS_TO_FUZZ=${1:-60}
if ! [[ $SECONDS_TO_FUZZ =~ ^[0-9]+$ ]]; then
  echo "fuzz-core.sh: the fuzzing time must be a whole number of seconds, not '$SECONDS_TO_FUZZ'" >&2
  exit 2
fi
FUZZ_CLANG_VERSION=${FUZZ_CLANG_VERSION:-16}
export FUZZ_CLANG_VERSION
JOBS=${JOBS:-2}
FUZZ_TIMEOUT=${FUZZ_TIMEOUT:-30}
CMAKE=${CMAKE:-cmake}
BUILD=$ROOT/build/fuzz

bash "$ROOT/scripts/install-deps.sh" fuzz
hash -r

GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
if [[ -f $BUILD/CMakeCache.txt ]] && ! grep -qx "CMAKE_GENERATOR:INTERNAL=${GEN[1]:-Unix Makefiles}" "$BUILD/CMakeCache.txt"; then
  rm -rf "$BUILD"
fi
"$CMAKE" -S "$ROOT" -B "$BUILD" "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="clang++-$FUZZ_CLANG_VERSION" \
  -DTOURLOOM_BUILD_FUZZ=ON -DTOURLOOM_BUILD_TESTS=OFF -DTOURLOOM_SANITIZE= >/dev/null
"$CMAKE" --build "$BUILD" --target core_fuzz -j "$JOBS"
FUZZER=$BUILD/fuzz/core_fuzz

# Symbolized stack traces in reports.
SYMBOLIZER=$(command -v "llvm-symbolizer-$FUZZ_CLANG_VERSION" || echo "/usr/lib/llvm-$FUZZ_CLANG_VERSION/bin/llvm-symbolizer")
if [[ -x $SYMBOLIZER ]]; then export ASAN_SYMBOLIZER_PATH=$SYMBOLIZER; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

passed=0
failed=0
summary() { echo "fuzz-core: $passed passed, $failed failed"; }

# Each input that once broke a check must pass now.
shopt -s nullglob
regressions=("$ROOT"/fuzz/regressions/*)
shopt -u nullglob
for input in "${regressions[@]}"; do
  if "$FUZZER" -timeout="$FUZZ_TIMEOUT" "$input" >"$BUILD/replay.log" 2>&1; then
    passed=$((passed + 1))
  else
    echo "fuzz-core: regression input $(basename "$input") fails again:" >&2
    tail -n 40 "$BUILD/replay.log" >&2
    failed=$((failed + 1))
  fi
done
echo "fuzz-core: replayed ${#regressions[@]} regression inputs, $failed failed"

mkdir -p "$BUILD/corpus" "$BUILD/findings"
echo "fuzz-core: fuzzing for $SECONDS_TO_FUZZ s (findings go to $BUILD/findings/)"
rc=0
"$FUZZER" -max_total_time="$SECONDS_TO_FUZZ" -timeout="$FUZZ_TIMEOUT" -rss_limit_mb=4096 \
  -print_final_stats=1 -artifact_prefix="$BUILD/findings/" \
  "$BUILD/corpus" "$ROOT/fuzz/corpus/core" >"$BUILD/fuzz.log" 2>&1 || rc=$?
# The progress lines and the suggested dictionary are many; keep the log
# whole, show the rest of its end.
sed '/^###### Recommended dictionary/,/^###### End of recommended dictionary/d' "$BUILD/fuzz.log" |
  grep -v -E '^(#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|RELOAD)|[[:space:]]+NEW_(FUNC|PC))' | tail -n 60
if [[ $rc -eq 0 ]]; then
  passed=$((passed + 1))
else
  echo "fuzz-core: the fuzzer stopped with exit code $rc; the input is in $BUILD/findings/" >&2
  failed=$((failed + 1))
fi
summary
[[ $failed -eq 0 ]]
