#!/usr/bin/env bash
# Build the extension module `tourloom` for one interpreter with CMake and
# copy it into a folder, ready for `import tourloom` with that folder on
# sys.path.
#
#   scripts/build-python-ext.sh <interpreter> <outdir>
#   scripts/build-python-ext.sh pypy3 build/ext-pypy3
#   scripts/build-python-ext.sh scripts/pypy-i386 build/ext-pypy-i386
#
# The interpreter is asked for its header folder, its extension suffix, its
# word size, its executable and its implementation; nothing about it is
# assumed. An interpreter that runs natively is handed to CMake's FindPython
# (Python_EXECUTABLE, Python_FIND_IMPLEMENTATIONS). A 32-bit interpreter gets
# a cross-compile (cmake/i386-linux-gnu.cmake, -m32) and, as it only runs
# under qemu-i386 (reached through scripts/pypy-i386), bypasses FindPython
# with the header folder and the suffix it reported. The build folder is build/python-<suffix>, so every
# interpreter keeps its own.
#
# Environment: CMAKE (default cmake), JOBS (default 2), BUILD_TYPE (default Release).
set -euo pipefail

if [[ $# -ne 2 ]]; then
  sed -n '2,17p' "$0" >&2
  exit 2
fi
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
interpreter=$1
outdir=$2
CMAKE=${CMAKE:-cmake}
JOBS=${JOBS:-2}
BUILD_TYPE=${BUILD_TYPE:-Release}

# One line each: include folder, EXT_SUFFIX, pointer size in bits,
# executable, implementation.
mapfile -t facts < <("$interpreter" -c '
import platform, struct, sys, sysconfig
print(sysconfig.get_paths()["include"])
print(sysconfig.get_config_var("EXT_SUFFIX"))
print(struct.calcsize("P") * 8)
print(sys.executable)
print(platform.python_implementation())')
include=${facts[0]:-}
suffix=${facts[1]:-}
bits=${facts[2]:-}
executable=${facts[3]:-}
implementation=${facts[4]:-}
if [[ -z $include || -z $suffix || -z $bits || -z $executable || -z $implementation ]]; then
  echo "build-python-ext: could not query $interpreter" >&2
  exit 1
fi
if [[ ! -f $include/Python.h ]]; then
  echo "build-python-ext: $interpreter reports headers in $include, but there is no Python.h" >&2
  exit 1
fi

tag=${suffix#.}
tag=${tag%.so}
builddir=$ROOT/build/python-$tag
if [[ $bits == 32 ]]; then
  python=(-DTOURLOOM_PYTHON_INCLUDE_DIR="$include" -DTOURLOOM_PYTHON_EXT_SUFFIX="$suffix"
          -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/i386-linux-gnu.cmake")
  cached="^TOURLOOM_PYTHON_INCLUDE_DIR:PATH=$include\$"
else
  python=(-DTOURLOOM_PYTHON_INCLUDE_DIR= -DTOURLOOM_PYTHON_EXT_SUFFIX=
          -DPython_EXECUTABLE="$executable" -DPython_FIND_IMPLEMENTATIONS="$implementation")
  cached="^Python_EXECUTABLE:[A-Z]*=$executable\$"
fi
gen=()
if command -v ninja >/dev/null 2>&1; then gen=(-G Ninja); fi
# A folder configured the other way, or for another interpreter, starts over.
if [[ -f $builddir/CMakeCache.txt ]] && ! grep -q "$cached" "$builddir/CMakeCache.txt"; then
  rm -rf "$builddir"
fi

echo "build-python-ext: $interpreter ($bits-bit, $suffix, headers in $include) -> $outdir"
"$CMAKE" -S "$ROOT" -B "$builddir" "${gen[@]}" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" \
  -DTOURLOOM_BUILD_PYTHON=ON -DTOURLOOM_BUILD_TESTS=OFF "${python[@]}" >/dev/null
"$CMAKE" --build "$builddir" --target tourloom -j "$JOBS"
mkdir -p "$outdir"
cp "$builddir/src/python/tourloom$suffix" "$outdir/"
echo "build-python-ext: built $outdir/tourloom$suffix"
