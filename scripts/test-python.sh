#!/usr/bin/env bash
# Build the extension module and run the same pytest suite (tests/python) on
# each interpreter tourloom supports, one leg each:
#
#   cpython    `pip install .[test,kit,plot]` (scikit-build-core) into a fresh
#              venv, build/venv-cpython, with numpy and dask's distributed
#              from PyPI; pytest there; the example runs as a check
#   pypy       scripts/build-python-ext.sh pypy3 -> build/ext-pypy3; Debian's
#              python3-pytest through PYTHONPATH; numpy and tqdm from PyPI's
#              PyPy wheels, unpacked into build/pypy-deps by a CPython pip
#   pypy-i386  scripts/build-python-ext.sh scripts/pypy-i386 (-m32) ->
#              build/ext-pypy-i386; the same pytest, under qemu-i386 (no numpy:
#              PyPI has no wheel for it, so those tests skip)
# tourloom_kit comes from python/ on the PyPy legs.
#
#   scripts/test-python.sh                 # all three, in that order
#   scripts/test-python.sh pypy pypy-i386  # just those legs
#
# Missing PyPy pieces are installed with scripts/install-deps.sh pypy.
# Environment: PYTHON (default python3) for the cpython leg, PYTEST_ARGS
# (extra pytest arguments, e.g. "-x -k schedule").
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
PYTHON=${PYTHON:-python3}
read -r -a EXTRA <<<"${PYTEST_ARGS:-}"
DEBIAN_PYTEST=/usr/lib/python3/dist-packages
PYTEST=(-m pytest tests/python -p no:cacheprovider -q "${EXTRA[@]}")

header() {
  printf '\n==================================================================\n'
  printf '== python leg: %s\n' "$*"
  printf '==================================================================\n'
}

need_pypy_deps() {
  command -v pypy3 >/dev/null 2>&1 || return 0
  [[ -d $DEBIAN_PYTEST/pytest || -d $DEBIAN_PYTEST/_pytest ]] || return 0
  [[ -x ${PYPY_I386_ROOT:-/opt/pypy-i386}/usr/bin/pypy3 ]] || return 0
  command -v qemu-i386 >/dev/null 2>&1 || return 0
  return 1
}

leg_cpython() {
  local venv=$ROOT/build/venv-cpython
  "$PYTHON" -m venv --clear "$venv"
  "$venv/bin/python" -m pip install -q ".[test,kit,plot]" numpy "dask[distributed]"
  "$venv/bin/python" -c 'import sys, tourloom; print("tourloom from", tourloom.__file__, "on", sys.version.split()[0])'
  "$venv/bin/python" "${PYTEST[@]}"
  "$venv/bin/python" examples/delivery_day.py >/dev/null
}

# PyPy wheels for the x86_64 PyPy (which has no pip of its own), fetched by
# a CPython pip for that interpreter's tag into build/pypy-deps.
pypy_deps() {
  local deps=$ROOT/build/pypy-deps tag
  tag=$(pypy3 -c 'import sys; v = sys.version_info; print("%d%d" % (v[0], v[1]))')
  if PYTHONPATH=$deps pypy3 -c 'import numpy, tqdm' >/dev/null 2>&1; then return 0; fi
  local tools=$ROOT/build/venv-tools
  [[ -x $tools/bin/python ]] || "$PYTHON" -m venv "$tools"
  "$tools/bin/python" -m pip install -q --upgrade --target "$deps" --only-binary=:all: --implementation pp \
    --python-version "${tag:0:1}.${tag:1}" --abi "pypy${tag}_pp73" --platform manylinux2014_x86_64 numpy tqdm
}

leg_pypy() {
  scripts/build-python-ext.sh pypy3 build/ext-pypy3
  pypy_deps
  PYTHONPATH=$ROOT/build/ext-pypy3:$ROOT/python:$ROOT/build/pypy-deps:$DEBIAN_PYTEST pypy3 "${PYTEST[@]}"
}

leg_pypy_i386() {
  scripts/build-python-ext.sh scripts/pypy-i386 build/ext-pypy-i386
  PYTHONPATH=$ROOT/build/ext-pypy-i386:$ROOT/python:$DEBIAN_PYTEST scripts/pypy-i386 "${PYTEST[@]}"
}

legs=("$@")
[[ ${#legs[@]} -eq 0 ]] && legs=(cpython pypy pypy-i386)
for leg in "${legs[@]}"; do
  case $leg in
    cpython) ;;
    pypy|pypy-i386)
      if need_pypy_deps && [[ -x scripts/install-deps.sh ]]; then scripts/install-deps.sh pypy; fi ;;
    -h|--help) sed -n '2,24p' "$0"; exit 0 ;;
    *) echo "test-python.sh: unknown leg '$leg' (cpython, pypy, pypy-i386)" >&2; exit 2 ;;
  esac
done

declare -A outcome seconds
failed=0
for leg in "${legs[@]}"; do
  header "$leg"
  start=$SECONDS
  # Outside any `if`, so that errexit holds inside the leg's subshell.
  set +e
  (set -e; "leg_${leg//-/_}")
  status=$?
  set -e
  if [[ $status -eq 0 ]]; then outcome[$leg]=passed; else outcome[$leg]=FAILED; failed=1; fi
  seconds[$leg]=$((SECONDS - start))
done

printf '\n== python legs\n'
for leg in "${legs[@]}"; do printf '   %-10s %-7s %4ss\n' "$leg" "${outcome[$leg]}" "${seconds[$leg]}"; done
exit $failed
