#!/usr/bin/env bash
# Build and run the C++ core tests (ctest target tourloom_core_tests) in up to
# four legs, each in its own folder under build/:
#
#   release   native Release build with -DTOURLOOM_WERROR=ON      build/core-release
#   sanitize  AddressSanitizer + UndefinedBehaviorSanitizer,       build/core-sanitize
#             every report fatal
#   i386      32-bit build (-m32), tests run under qemu-i386 -L /  build/core-i386
#   memcheck  native RelWithDebInfo build, the test binary run     build/core-memcheck
#             under valgrind memcheck: any memory error and any
#             definite or indirect leak fails the leg
#
#   scripts/test-core.sh                 # all four, in that order
#   scripts/test-core.sh sanitize i386   # just those legs
#
# Environment: JOBS (default 2), SANITIZE_BUILD_TYPE (default Debug),
# CMAKE (default: cmake on PATH), I386_WERROR (default ON: warnings are errors
# in the 32-bit leg too, where -Wconversion sees a 32-bit size_t),
# MEMCHECK_DIFFERENTIAL_INSTANCES (random instances per differential test in
# the memcheck leg, default 200; the full thousands would take most of an
# hour under valgrind).
# Needs what `scripts/install-deps.sh core` installs.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-2}
CMAKE=${CMAKE:-cmake}
CTEST=${CTEST:-$(dirname "$(command -v "$CMAKE")")/ctest}
[[ -x $CTEST ]] || CTEST=ctest
SANITIZE_BUILD_TYPE=${SANITIZE_BUILD_TYPE:-Debug}
I386_WERROR=${I386_WERROR:-ON}

GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi

header() {
  printf '\n==================================================================\n'
  printf '== core leg: %s\n' "$*"
  printf '==================================================================\n'
}

# configure DIR ARGS... : (re)configure a build folder; start afresh when it
# was made with another generator, which CMake refuses to switch.
configure() {
  local dir=$1; shift
  local want=${GEN[1]:-"Unix Makefiles"}
  if [[ -f $dir/CMakeCache.txt ]] && ! grep -qx "CMAKE_GENERATOR:INTERNAL=$want" "$dir/CMakeCache.txt"; then
    echo "test-core: $dir was configured with another generator; removing it"
    rm -rf "$dir"
  fi
  "$CMAKE" -S "$ROOT" -B "$dir" "${GEN[@]}" -DTOURLOOM_BUILD_TESTS=ON "$@"
}

build_and_test() {
  local dir=$1 leg=$2
  "$CMAKE" --build "$dir" --target tourloom_core_tests -j "$JOBS"
  check_binary "$dir"
  # GoogleTest writes a report of every test case; ctest itself only sees
  # the one registered binary. (One report file: fine while the binary is
  # registered as a single ctest test.)
  local report=$dir/gtest-report.xml rc=0
  rm -f "$report"
  GTEST_OUTPUT="xml:$report" "$CTEST" --test-dir "$dir" --output-on-failure -j "$JOBS" || rc=$?
  summarize "$leg" "$report" "$rc"
  return "$rc"
}

# summarize LEG REPORT RC: print "core-LEG: N passed, N failed[, N skipped]".
summarize() {
  local leg=$1 report=$2 rc=$3
  if [[ ! -s $report ]]; then
    echo "test-core: no GoogleTest report at $report" >&2
    [[ $rc -ne 0 ]] && return 0
    exit 1
  fi
  local failed completed skipped
  failed=$(sed -n 's/^<testsuites [^>]*failures="\([0-9]*\)".*/\1/p' "$report" | head -n1)
  completed=$(grep -c 'result="completed"' "$report" || true)
  skipped=$(grep -c 'result="skipped"' "$report" || true)
  if [[ -z $failed || $completed -eq 0 ]]; then
    echo "test-core: leg $leg ran no test case" >&2
    exit 1
  fi
  local line="core-$leg: $((completed - failed)) passed, $failed failed"
  [[ $skipped -gt 0 ]] && line+=", $skipped skipped"
  echo "$line"
}

# Per-leg checks that the build really is what the leg claims to test.
check_binary() { :; }

# The ELF class byte (offset 4): 1 = 32-bit, 2 = 64-bit.
elf_class() { od -An -tu1 -j4 -N1 "$1" | tr -d ' '; }

leg_release() {
  header "release (native, Release, -DTOURLOOM_WERROR=ON)"
  local dir=$ROOT/build/core-release
  check_binary() { :; }
  configure "$dir" -DCMAKE_BUILD_TYPE=Release -DTOURLOOM_WERROR=ON -DTOURLOOM_SANITIZE=
  build_and_test "$dir" release
}

leg_sanitize() {
  header "sanitize (native, $SANITIZE_BUILD_TYPE, -fsanitize=address,undefined, reports fatal)"
  local dir=$ROOT/build/core-sanitize
  check_binary() {
    # A sanitizer build that lost its instrumentation would pass silently.
    if ! nm "$1/tests/core/tourloom_core_tests" 2>/dev/null | grep -q '__asan_init' ||
       ! nm "$1/tests/core/tourloom_core_tests" 2>/dev/null | grep -q '__ubsan_handle_'; then
      if ! ldd "$1/tests/core/tourloom_core_tests" | grep -q 'libasan' ||
         ! ldd "$1/tests/core/tourloom_core_tests" | grep -q 'libubsan'; then
        echo "test-core: tourloom_core_tests is not built with ASan and UBSan" >&2
        exit 1
      fi
    fi
  }
  configure "$dir" -DCMAKE_BUILD_TYPE="$SANITIZE_BUILD_TYPE" \
    -DTOURLOOM_SANITIZE=address,undefined \
    -DCMAKE_CXX_FLAGS="-fno-sanitize-recover=all" \
    -DTOURLOOM_WERROR=OFF
  # Compiled with -fno-sanitize-recover=all; the options make sure that any
  # report (UBSan included) ends the run with a failure and a stack trace.
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=0:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1:print_summary=1} \
    build_and_test "$dir" sanitize
}

leg_i386() {
  header "i386 (-m32, Release, -DTOURLOOM_WERROR=$I386_WERROR, tests run under qemu-i386 -L /)"
  local dir=$ROOT/build/core-i386
  if ! command -v qemu-i386 >/dev/null 2>&1; then
    echo "test-core: qemu-i386 not found; run scripts/install-deps.sh core" >&2
    exit 1
  fi
  check_binary() {
    local bin=$1/tests/core/tourloom_core_tests
    if [[ $(elf_class "$bin") != 1 ]]; then
      echo "test-core: $bin is not a 32-bit ELF file" >&2
      exit 1
    fi
    if ! grep -q 'qemu-i386' "$1/tests/core/CTestTestfile.cmake"; then
      echo "test-core: ctest would not run the tests under qemu-i386" >&2
      exit 1
    fi
  }
  configure "$dir" -DCMAKE_BUILD_TYPE=Release -DTOURLOOM_WERROR="$I386_WERROR" -DTOURLOOM_SANITIZE= \
    -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32 \
    -DCMAKE_EXE_LINKER_FLAGS=-m32 -DCMAKE_SHARED_LINKER_FLAGS=-m32 -DCMAKE_MODULE_LINKER_FLAGS=-m32 \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=qemu-i386;-L;/"
  build_and_test "$dir" i386
}

leg_memcheck() {
  header "memcheck (native, RelWithDebInfo, tests run under valgrind memcheck)"
  local dir=$ROOT/build/core-memcheck
  if ! command -v valgrind >/dev/null 2>&1; then
    echo "test-core: valgrind not found; run scripts/install-deps.sh core" >&2
    exit 1
  fi
  configure "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOURLOOM_WERROR=ON -DTOURLOOM_SANITIZE=
  "$CMAKE" --build "$dir" --target tourloom_core_tests -j "$JOBS"
  # Run directly rather than through ctest, so that valgrind wraps the test
  # binary itself. Leaks of memory still reachable at exit (GoogleTest's
  # registries) are not errors; definite and indirect ones are.
  local report=$dir/gtest-report.xml rc=0 log=$dir/valgrind.log
  rm -f "$report"
  TOURLOOM_DIFFERENTIAL_INSTANCES=${MEMCHECK_DIFFERENTIAL_INSTANCES:-200} GTEST_OUTPUT="xml:$report" \
    valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
      --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --log-file="$log" \
      "$dir/tests/core/tourloom_core_tests" || rc=$?
  grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|All heap blocks were freed' "$log" || true
  if [[ $rc -eq 99 ]]; then
    echo "test-core: valgrind found memory errors or leaks; see $log" >&2
    sed -n '/^==[0-9]*== [A-Z].*/p' "$log" | head -n 60 >&2
  fi
  summarize memcheck "$report" "$rc"
  return "$rc"
}

legs=("$@")
[[ ${#legs[@]} -eq 0 ]] && legs=(release sanitize i386 memcheck)
for leg in "${legs[@]}"; do
  case $leg in
    release|sanitize|i386|memcheck) ;;
    *) echo "test-core.sh: unknown leg '$leg' (release, sanitize, i386, memcheck)" >&2; exit 2 ;;
  esac
done

for leg in "${legs[@]}"; do
  start=$SECONDS
  "leg_$leg"
  printf '== core leg %s passed in %d s\n' "$leg" "$((SECONDS - start))"
done
