#!/usr/bin/env bash
# Leak checks of the extension module, on Debian's debug CPython
# (python3-dbg: built with Py_DEBUG, so it has sys.gettotalrefcount() and
# checks every call's result against the error indicator):
#
#   1. build the module for it: scripts/build-python-ext.sh python3-dbg
#      build/ext-python3-dbg (RelWithDebInfo, for line numbers in reports)
#   2. the whole Python suite on it; tests/python/test_leaks.py counts
#      sys.gettotalrefcount() over a thousand calls of every kind and fails
#      on any growth that scales with the calls
#   3. valgrind memcheck (PYTHONMALLOC=malloc) over tests/python/test_leaks.py
#      run as a loop, and over a short run of the argument fuzzer;
#      scripts/memcheck-report.py fails on any definitely lost block and on
#      any memory error with a frame in the module
#
#   scripts/test-python-leaks.sh                # all three steps
#   scripts/test-python-leaks.sh refcount       # steps 1 and 2
#   scripts/test-python-leaks.sh memcheck       # steps 1 and 3
#
# Missing pieces are installed with scripts/install-deps.sh pydebug.
# Environment: PYTHON_DBG (default python3-dbg), LEAK_ROUNDS (memcheck loop
# rounds per operation, default 20), MEMCHECK_FUZZ_CASES (default 300).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
PYTHON_DBG=${PYTHON_DBG:-python3-dbg}
LEAK_ROUNDS=${LEAK_ROUNDS:-20}
MEMCHECK_FUZZ_CASES=${MEMCHECK_FUZZ_CASES:-300}
EXT=$ROOT/build/ext-python3-dbg
LOGS=$ROOT/build/memcheck-python
DEBIAN_PYTEST=/usr/lib/python3/dist-packages

steps=("$@")
[[ ${#steps[@]} -eq 0 ]] && steps=(refcount memcheck)
for step in "${steps[@]}"; do
  case $step in
    refcount|memcheck) ;;
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    *) echo "test-python-leaks.sh: unknown step '$step' (refcount, memcheck)" >&2; exit 2 ;;
  esac
done

if ! command -v "$PYTHON_DBG" >/dev/null 2>&1 || ! command -v valgrind >/dev/null 2>&1 ||
   [[ ! -d $DEBIAN_PYTEST/pytest && ! -d $DEBIAN_PYTEST/_pytest ]]; then
  scripts/install-deps.sh pydebug
fi
if ! "$PYTHON_DBG" -c 'import sys; sys.exit(not hasattr(sys, "gettotalrefcount"))'; then
  echo "test-python-leaks.sh: $PYTHON_DBG is not a debug build (no sys.gettotalrefcount)" >&2
  exit 1
fi

BUILD_TYPE=RelWithDebInfo scripts/build-python-ext.sh "$PYTHON_DBG" "$EXT"
export PYTHONPATH=$EXT:$ROOT/python:$DEBIAN_PYTEST  # python/: tourloom_kit, for its tests

for step in "${steps[@]}"; do
  if [[ $step == refcount ]]; then
    printf '\n== refcount: the Python suite on %s\n' "$PYTHON_DBG"
    "$PYTHON_DBG" -m pytest tests/python -p no:cacheprovider -q
    # The numbers of the loop over every operation, shown.
    "$PYTHON_DBG" -m pytest tests/python/test_leaks.py -p no:cacheprovider -q -s -k over_everything | grep gettotalrefcount
  else
    printf '\n== memcheck: %s under valgrind, PYTHONMALLOC=malloc\n' "$PYTHON_DBG"
    rm -rf "$LOGS"
    mkdir -p "$LOGS"
    memcheck=(valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite
              --errors-for-leak-kinds=definite --track-origins=yes --num-callers=40 --xml=yes)
    PYTHONMALLOC=malloc "${memcheck[@]}" --xml-file="$LOGS/leak-loop.xml" \
      "$PYTHON_DBG" tests/python/test_leaks.py "$LEAK_ROUNDS"
    PYTHONMALLOC=malloc TOURLOOM_FUZZ_ITERATIONS=$MEMCHECK_FUZZ_CASES "${memcheck[@]}" --xml-file="$LOGS/fuzz.xml" \
      "$PYTHON_DBG" -m pytest tests/python/test_fuzz_arguments.py -p no:cacheprovider -q
    python3 scripts/memcheck-report.py "$LOGS/leak-loop.xml" "$LOGS/fuzz.xml"
  fi
done
