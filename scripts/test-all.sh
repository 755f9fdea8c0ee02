#!/usr/bin/env bash
# The whole test suite, as CI runs it (.ci/run):
#   1. install what the legs need (scripts/install-deps.sh, idempotent)
#   2. the C++ core legs (scripts/test-core.sh: the CMake presets release,
#      sanitize, i386, memcheck)
#   3. a minute of fuzzing the core (scripts/fuzz-core.sh 60, or
#      FUZZ_SECONDS), after replaying the inputs of earlier findings
#   4. the Python legs (scripts/test-python.sh): a representative set of the
#      glibc 2.17 wheels, each installed into a fresh environment of its
#      interpreter and tested there (cp311 with the kit's extras, PyPy 3.9
#      x86_64 and 32-bit, CPython 3.9 on Debian 12 and in a Debian 11 root,
#      CPython 3.14 in a Debian testing root); stubtest and the README's
#      typed recipe. Every wheel: python3 scripts/test_wheels.py --all --build
#   5. leak checks of the module (scripts/test-python-leaks.sh): reference
#      counts on Debian's debug CPython, and valgrind memcheck
#   6. every example, smoke-run with small time limits (scripts/test-examples.sh)
#   7. the benchmark tools' tests and a quick benchmark smoke run
#      (scripts/test-bench.sh)
#   8. the descent benchmark at tiny sizes (scripts/bench-descent.sh --smoke)
#   9. the documentation (scripts/test-docs.sh): the site built strictly and
#      offline, every example of its pages run and its output compared, and
#      the site checked in headless Chromium
# Exits non-zero on the first failure.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

timings=()
step() {
  local name=$1; shift
  printf '\n##################################################################\n'
  printf '## %s\n' "$name"
  printf '##################################################################\n'
  local start=$SECONDS
  "$@"
  timings+=("$(printf '%-14s %5d s' "$name" "$((SECONDS - start))")")
}

step install-deps bash scripts/install-deps.sh
# pip may just have put cmake/ninja on PATH.
hash -r
step core bash scripts/test-core.sh
step fuzz-core bash scripts/fuzz-core.sh "${FUZZ_SECONDS:-60}"
step python bash scripts/test-python.sh
step python-leaks bash scripts/test-python-leaks.sh
# The examples, smoke-run with small time limits (reuses build/venv-cpython).
step examples bash scripts/test-examples.sh
# Tests of the benchmark tools (tests/bench) and a quick benchmark smoke run.
step bench-tools bash scripts/test-bench.sh
# The descent benchmark builds and runs at tiny sizes (no timing is judged).
step descent-bench bash scripts/bench-descent.sh --smoke
# The documentation site, its examples, and a browser check (reuses build/venv-cpython).
step docs bash scripts/test-docs.sh

printf '\n== test-all: every step passed\n'
printf '   %s\n' "${timings[@]}"
