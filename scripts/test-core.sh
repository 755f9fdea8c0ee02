#!/usr/bin/env bash
# The C++ core tests, one leg per CMake preset (CMakePresets.json), each in
# build/core-<leg>; CTest runs and counts every GoogleTest case:
#
#   release   native Release build, warnings are errors
#   sanitize  AddressSanitizer + UndefinedBehaviorSanitizer, every report fatal
#   i386      32-bit cross-compile (cmake/i386-linux-gnu.cmake, warnings are
#             errors: -Wconversion sees a 32-bit size_t), every case run
#             under qemu-i386
#   memcheck  RelWithDebInfo, `ctest -T memcheck`: every case under valgrind;
#             any memory error and any definite or indirect leak fails it
#
#   scripts/test-core.sh                 # all four, in that order
#   scripts/test-core.sh sanitize i386   # just those legs
#
# Each leg is what a developer types by hand:
#   cmake --preset LEG && cmake --build --preset LEG && ctest --preset LEG
# (memcheck: cd build/core-memcheck && ctest -T memcheck).
# Environment: MEMCHECK_DIFFERENTIAL_INSTANCES (random instances per
# differential test in the memcheck leg, default 200; the full thousands
# would take most of an hour under valgrind).
# Needs what `scripts/install-deps.sh core` installs.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

header() {
  printf '\n==================================================================\n'
  printf '== core leg: %s\n' "$*"
  printf '==================================================================\n'
}

need() {
  command -v "$1" >/dev/null 2>&1 ||
    { echo "test-core: $1 not found; run scripts/install-deps.sh core" >&2; exit 1; }
}

# configure LEG ARGS...: a folder made by an older layout of the legs (another
# generator, another toolchain) cannot be reconfigured in place; start it
# afresh then.
configure() {
  local leg=$1; shift
  cmake --preset "$leg" "$@" >"$ROOT/build/configure-$leg.log" 2>&1 ||
    cmake --preset "$leg" --fresh "$@" >"$ROOT/build/configure-$leg.log" 2>&1 ||
    { cat "$ROOT/build/configure-$leg.log" >&2; exit 1; }
}

# Checks that the build is what the leg claims to test.
check_release() { :; }
check_memcheck() { :; }
check_sanitize() {
  # A sanitizer build that lost its instrumentation would pass silently.
  local bin=$1 symbols
  symbols=$(nm "$bin" 2>/dev/null; ldd "$bin")
  if ! grep -q -E '__asan_init|libasan' <<<"$symbols" || ! grep -q -E '__ubsan_handle_|libubsan' <<<"$symbols"; then
    echo "test-core: $bin is not built with ASan and UBSan" >&2
    exit 1
  fi
}
check_i386() {
  # The ELF class byte (offset 4): 1 = 32-bit.
  if [[ $(od -An -tu1 -j4 -N1 "$1" | tr -d ' ') != 1 ]]; then
    echo "test-core: $1 is not a 32-bit ELF file" >&2
    exit 1
  fi
  # Every case must run through the emulator (a machine with binfmt_misc
  # would run them without it, and without telling).
  local commands
  commands=$(ctest --preset i386 -N -V 2>/dev/null | grep 'Test command:' || true)
  if [[ -z $commands ]] || grep -v -q 'qemu-i386' <<<"$commands"; then
    echo "test-core: ctest would not run every test case under qemu-i386" >&2
    exit 1
  fi
}

run_leg() {
  local leg=$1 config=()
  case $leg in
    i386) need qemu-i386 ;;
    memcheck) need valgrind; config=(-DTOURLOOM_DIFFERENTIAL_INSTANCES="${MEMCHECK_DIFFERENTIAL_INSTANCES:-200}") ;;
  esac
  mkdir -p "$ROOT/build"
  configure "$leg" "${config[@]}"
  cmake --build --preset "$leg"
  "check_$leg" "$ROOT/build/core-$leg/tests/core/tourloom_core_tests"
  if [[ $leg == memcheck ]]; then
    # Dashboard mode reads DartConfiguration.tcl from the build folder.
    (cd "$ROOT/build/core-memcheck" && ctest -T memcheck --output-on-failure -j 2)
  else
    ctest --preset "$leg"
  fi
}

legs=("$@")
[[ ${#legs[@]} -eq 0 ]] && legs=(release sanitize i386 memcheck)
for leg in "${legs[@]}"; do
  case $leg in
    release|sanitize|i386|memcheck) ;;
    -h|--help) sed -n '2,22p' "$0"; exit 0 ;;
    *) echo "test-core.sh: unknown leg '$leg' (release, sanitize, i386, memcheck)" >&2; exit 2 ;;
  esac
done
need cmake
need ninja

for leg in "${legs[@]}"; do
  header "$leg"
  start=$SECONDS
  run_leg "$leg"
  printf '== core leg %s passed in %d s\n' "$leg" "$((SECONDS - start))"
done
