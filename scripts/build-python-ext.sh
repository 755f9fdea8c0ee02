#!/usr/bin/env bash
# Build the extension module `tourloom` for one interpreter with CMake and
# copy it into a folder, ready for `import tourloom` with that folder on
# sys.path.
#
#   scripts/build-python-ext.sh <interpreter> <outdir>
#   scripts/build-python-ext.sh pypy3 build/ext-pypy3
#   scripts/build-python-ext.sh scripts/pypy-i386 build/ext-pypy-i386
#
# The interpreter is asked for its header folder, its extension suffix and
# its word size; nothing about it is assumed. A 32-bit interpreter gets a
# cross-compile with cmake/i386-linux-gnu.cmake (the 32-bit PyPy runs under
# qemu-i386 and is reached through scripts/pypy-i386). Wheels, which CI
# tests installed, come from scripts/build-wheels.sh; this is for the debug
# interpreter of scripts/test-python-leaks.sh and for quick local builds.
# The build folder is build/python-<suffix>, so every interpreter keeps its
# own.
#
# Environment: CMAKE (default cmake), JOBS (default 2), BUILD_TYPE (default Release).
set -euo pipefail

if [[ $# -ne 2 ]]; then
  sed -n '2,19p' "$0" >&2
  exit 2
fi
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
interpreter=$1
outdir=$2
CMAKE=${CMAKE:-cmake}
JOBS=${JOBS:-2}
BUILD_TYPE=${BUILD_TYPE:-Release}

# shellcheck source=python-env.sh
source "$ROOT/scripts/python-env.sh"
interpreter_facts "$interpreter"
include=$py_include
suffix=$py_suffix
bits=$py_bits
if [[ ! -f $include/Python.h ]]; then
  echo "build-python-ext: $interpreter reports headers in $include, but there is no Python.h" >&2
  exit 1
fi

tag=${suffix#.}
tag=${tag%.so}
builddir=$ROOT/build/python-$tag
flags=()
if [[ $bits == 32 ]]; then
  flags+=(-DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/i386-linux-gnu.cmake")
fi
gen=()
if command -v ninja >/dev/null 2>&1; then gen=(-G Ninja); fi
if [[ -f $builddir/CMakeCache.txt ]] && ! grep -q "^TOURLOOM_PYTHON_INCLUDE_DIR:PATH=$include\$" "$builddir/CMakeCache.txt"; then
  rm -rf "$builddir"
fi

echo "build-python-ext: $interpreter ($bits-bit, $suffix, headers in $include) -> $outdir"
"$CMAKE" -S "$ROOT" -B "$builddir" "${gen[@]}" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" \
  -DTOURLOOM_BUILD_PYTHON=ON -DTOURLOOM_BUILD_TESTS=OFF \
  -DTOURLOOM_PYTHON_INCLUDE_DIR="$include" -DTOURLOOM_PYTHON_EXT_SUFFIX="$suffix" "${flags[@]}" >/dev/null
"$CMAKE" --build "$builddir" --target tourloom -j "$JOBS"
mkdir -p "$outdir"
cp "$builddir/src/python/tourloom$suffix" "$outdir/"
echo "build-python-ext: built $outdir/tourloom$suffix"
