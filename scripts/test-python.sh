#!/usr/bin/env bash
# The Python suite (tests/python) against tourloom as a user installs it: the
# wheels of scripts/build-wheels.sh (into dist/), each `pip install`ed into a
# fresh virtual environment of its interpreter and tested there, from outside
# the source tree, so that the only tourloom to import is the installed one.
#
#   cpython    the wheel of python3 (cp311 here)       build/venv-cpython
#              with the kit and plot extras, numpy and dask's distributed,
#              and examples/delivery_day.py; then tests/scripts (the wheel
#              scripts' own logic)
#   typing     in build/venv-cpython: mypy's stubtest of tourloom.pyi against
#              the installed module, and the README's typed recipe through
#              `mypy --strict` and run (tests/typing)
#   any wheel target of scripts/wheel_targets.py (cp39 ... cp314, cp39-i686,
#              pp39, pp39-i686, pp311 ...): scripts/test_wheels.py, in every
#              system the target is tested on (cp39 on Debian 12 and in a
#              Debian 11 root, cp314 in a Debian testing root, pp311 in a
#              Debian 13 root; i686 roots with chroot where the kernel runs
#              32-bit programs, the unpacked 32-bit PyPy under qemu-i386);
#              pypy and pypy-i386 name pp39 and pp39-i686
#
#   scripts/test-python.sh          # what CI runs: cpython typing pp39 pp39-i686 cp39 cp314 pp311
#   scripts/test-python.sh cp39 cp313
#   python3 scripts/test_wheels.py --all --build   # every wheel, with its table
#
# Each wheel is built once per run; build/venv-cpython stays for the examples
# and the benchmark tools (scripts/module-python.sh). Environment:
# PYTEST_ARGS (extra pytest arguments, e.g. "-x -k schedule").
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

# wheel_of TARGET: the wheel build-wheels.sh left in dist/ for TARGET.
wheel_of() {
  python3 "$ROOT/scripts/wheel_targets.py" wheel "$1"
}

# A scratch folder outside the tree for pytest to start from.
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT

leg_cpython() {
  local venv=$ROOT/build/venv-cpython target wheel
  target=$(leg_target cpython)
  wheel=$(wheel_of "$target")
  echo "test-python: $(basename "$wheel") into a fresh $venv"
  make_env "$target" "$venv"
  "${env_pip[@]}" install -q --disable-pip-version-check "$wheel$FULL_EXTRAS" "${FULL_COMPANIONS[@]}"
  (
    cd "$SCRATCH"
    "$env_python" -c '
import sys, sysconfig, tourloom
where = tourloom.__file__
print("tourloom from", where, "on", sys.implementation.name, sys.version.split()[0])
assert where.startswith(sysconfig.get_paths()["platlib"]), "not the installed module: " + where'
    "$env_python" -m pytest "$ROOT/tests/python" -p no:cacheprovider -q "${EXTRA[@]}"
    "$env_python" "$ROOT/examples/delivery_day.py" >/dev/null
  )
  # The wheel scripts' own logic (glibc floors, wheel names, pytest counts).
  "$env_python" -m pytest "$ROOT/tests/scripts" -p no:cacheprovider -q
}

leg_typing() {
  local venv target wheel
  venv=$ROOT/build/venv-cpython
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

mapfile -t known < <(python3 "$ROOT/scripts/wheel_targets.py" list)
legs=("$@")
[[ ${#legs[@]} -eq 0 ]] && legs=(cpython typing pp39 pp39-i686 cp39 cp314 pp311)
targets=() wheel_legs=()
for leg in "${legs[@]}"; do
  case $leg in
    -h|--help) sed -n '2,29p' "$0"; exit 0 ;;
    cpython|typing) ;;
    *) target=$(leg_target "$leg")
       [[ " ${known[*]} " == *" $target "* ]] ||
         { echo "test-python.sh: unknown leg '$leg' (cpython, typing, pypy, pypy-i386, ${known[*]})" >&2; exit 2; }
       wheel_legs+=("$target") ;;
  esac
  target=$(leg_target "$leg")
  [[ " ${targets[*]} " == *" $target "* ]] || targets+=("$target")
done

header "wheels: ${targets[*]}"
bash "$ROOT/scripts/build-wheels.sh" "${targets[@]}"

declare -A outcome seconds
failed=0
# run_leg NAME COMMAND...: one leg, its outcome and time kept under NAME.
run_leg() {
  local leg=$1
  shift
  header "$leg"
  start=$SECONDS
  # Outside any `if`, so that errexit holds inside the leg's subshell.
  set +e
  (set -e; "$@")
  status=$?
  set -e
  if [[ $status -eq 0 ]]; then outcome[$leg]=passed; else outcome[$leg]=FAILED; failed=1; fi
  seconds[$leg]=$((SECONDS - start))
}
for leg in "${legs[@]}"; do
  case $leg in
    cpython) run_leg cpython leg_cpython ;;
    typing) run_leg typing leg_typing ;;
  esac
done
if [[ ${#wheel_legs[@]} -gt 0 ]]; then
  run_leg "${wheel_legs[*]}" python3 "$ROOT/scripts/test_wheels.py" "${wheel_legs[@]}"
fi

printf '\n== python legs\n'
for leg in "${!outcome[@]}"; do printf '   %-40s %-7s %4ss\n' "$leg" "${outcome[$leg]}" "${seconds[$leg]}"; done
exit $failed
