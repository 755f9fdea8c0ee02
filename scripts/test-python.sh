#!/usr/bin/env bash
# The Python suite (tests/python) against tourloom as a user installs it: for
# each leg, the wheel of that interpreter (scripts/build-wheels.sh, into
# dist/), `pip install` of it into a fresh virtual environment of the
# interpreter, then pytest there, from outside the source tree, so that the
# only tourloom to import is the installed one.
#
#   cpython    the wheel of python3 (cp311 here)       build/venv-cpython
#              with the kit and plot extras, numpy and dask's distributed
#   pypy       PyPy 3.9 x86_64 (pp39), with numpy      build/venv-pp39
#              and tqdm
#   pypy-i386  PyPy 3.9 for 32-bit x86 (pp39-i686);    build/venv-pp39-i686
#              pip and pytest run under qemu-i386 (no numpy: PyPI has no
#              wheel for it, so those tests skip)
#   typing     in build/venv-cpython: mypy's stubtest of tourloom.pyi against
#              the installed module, and the README's typed recipe through
#              `mypy --strict` and run (tests/typing)
#   any wheel target of scripts/python-env.sh (cp39 ... cp313, pp39, pp39-i686)
#
#   scripts/test-python.sh                    # cpython pypy pypy-i386 typing
#   scripts/test-python.sh cp39 cp313         # the same suite on those wheels
#
# Each wheel is built once per run and reused by every leg that needs it;
# build/venv-cpython stays for the examples and the benchmark tools
# (scripts/module-python.sh). Missing PyPy pieces are installed with
# scripts/install-deps.sh pypy. Environment: PYTEST_ARGS (extra pytest
# arguments, e.g. "-x -k schedule").
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
# shellcheck source=python-env.sh
source "$ROOT/scripts/python-env.sh"
read -r -a EXTRA <<<"${PYTEST_ARGS:-}"

header() {
  printf '\n==================================================================\n'
  printf '== python leg: %s\n' "$*"
  printf '==================================================================\n'
}

# leg_target LEG: the wheel target a leg installs.
leg_target() {
  case $1 in
    cpython|typing) python3 -c 'import sys; print("cp%d%d" % sys.version_info[:2])' ;;
    pypy) echo pp39 ;;
    pypy-i386) echo pp39-i686 ;;
    *) echo "$1" ;;
  esac
}

leg_venv() {
  case $1 in
    cpython|typing) echo "$ROOT/build/venv-cpython" ;;
    *) echo "$ROOT/build/venv-$(leg_target "$1")" ;;
  esac
}

# leg_packages LEG WHEEL: what a leg installs besides pytest: the kit's
# extras and numpy and dask's distributed where PyPI has wheels for them
# (numpy and tqdm for the x86_64 PyPy; no numpy for the 32-bit PyPy, whose
# numpy tests skip).
leg_packages() {
  case $1 in
    cpython|typing) echo "$2[test,kit,plot] numpy dask[distributed]" ;;
    pypy|pp39) echo "$2[test] numpy tqdm" ;;
    pypy-i386|pp39-i686) echo "$2[test]" ;;
    *) echo "$2[test,kit] numpy" ;;
  esac
}

# wheel_of TARGET: the wheel build-wheels.sh left in dist/ for TARGET.
wheel_of() {
  local interpreter
  interpreter=$(target_interpreter "$1")
  interpreter_facts "$interpreter"
  local abi=${py_tag%-*} arch=${py_tag##*-linux_}
  compgen -G "$ROOT/dist/tourloom-*-$abi-*manylinux*_$arch.whl" | head -n1
}

# A scratch folder outside the tree for pytest to start from.
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT

run_suite() {
  local leg=$1 target venv wheel
  target=$(leg_target "$leg")
  venv=$(leg_venv "$leg")
  wheel=$(wheel_of "$target")
  echo "test-python: $(basename "$wheel") into a fresh $venv"
  make_env "$target" "$venv"
  local extras
  read -r -a extras <<<"$(leg_packages "$leg" "$wheel")"
  "${env_pip[@]}" install -q --disable-pip-version-check "${extras[@]}"
  (
    cd "$SCRATCH"
    "$env_python" -c '
import sys, sysconfig, tourloom
where = tourloom.__file__
print("tourloom from", where, "on", sys.implementation.name, sys.version.split()[0], "%d-bit" % (sys.maxsize.bit_length() + 1))
assert where.startswith(sysconfig.get_paths()["platlib"]), "not the installed module: " + where'
    "$env_python" -m pytest "$ROOT/tests/python" -p no:cacheprovider -q "${EXTRA[@]}"
    if [[ $leg == cpython ]]; then "$env_python" "$ROOT/examples/delivery_day.py" >/dev/null; fi
  )
}

leg_typing() {
  local venv target wheel
  venv=$(leg_venv typing)
  target=$(leg_target typing)
  wheel=$(wheel_of "$target")
  if [[ -x $venv/bin/python ]]; then
    env_python=$venv/bin/python
    env_pip=("$env_python" -m pip)
  else
    make_env "$target" "$venv"
  fi
  # The wheel just built, whatever an earlier run left in the environment.
  "${env_pip[@]}" install -q --disable-pip-version-check --force-reinstall --no-deps "$wheel"
  "${env_pip[@]}" install -q --disable-pip-version-check "$wheel[test]" mypy numpy
  (cd "$SCRATCH" && "$env_python" -m pytest "$ROOT/tests/typing" -p no:cacheprovider -q "${EXTRA[@]}")
}

legs=("$@")
[[ ${#legs[@]} -eq 0 ]] && legs=(cpython pypy pypy-i386 typing)
targets=()
for leg in "${legs[@]}"; do
  case $leg in
    -h|--help) sed -n '2,29p' "$0"; exit 0 ;;
    cpython|pypy|pypy-i386|typing) ;;
    *) [[ " ${TOURLOOM_TARGETS[*]} " == *" $leg "* ]] ||
         { echo "test-python.sh: unknown leg '$leg' (cpython, pypy, pypy-i386, typing, ${TOURLOOM_TARGETS[*]})" >&2; exit 2; } ;;
  esac
  target=$(leg_target "$leg")
  [[ " ${targets[*]} " == *" $target "* ]] || targets+=("$target")
done

header "wheels: ${targets[*]}"
bash "$ROOT/scripts/build-wheels.sh" "${targets[@]}"

declare -A outcome seconds
failed=0
for leg in "${legs[@]}"; do
  header "$leg"
  start=$SECONDS
  # Outside any `if`, so that errexit holds inside the leg's subshell.
  set +e
  if [[ $leg == typing ]]; then (set -e; leg_typing); else (set -e; run_suite "$leg"); fi
  status=$?
  set -e
  if [[ $status -eq 0 ]]; then outcome[$leg]=passed; else outcome[$leg]=FAILED; failed=1; fi
  seconds[$leg]=$((SECONDS - start))
done

printf '\n== python legs\n'
for leg in "${legs[@]}"; do printf '   %-10s %-7s %4ss\n' "$leg" "${outcome[$leg]}" "${seconds[$leg]}"; done
exit $failed
