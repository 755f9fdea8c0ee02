# Sourced by scripts/test-python.sh for its legs on the build machine's own
# CPython (cpython, typing), and by scripts/module-python.sh for FULL_EXTRAS:
# a virtual environment of a target's interpreter
# with pip bootstrapped from PyPI's pip wheel. Where each interpreter is, and
# which wheel in dist/ is its, is scripts/wheel_targets.py's to say; every
# other wheel is tested by scripts/test_wheels.py. Needs ROOT.

# What the cpython leg installs beside the wheel, and the docs examples
# beside the source tree: every extra, and what the kit's array and Dask
# paths use.
FULL_EXTRAS="[test,kit,plot]"
FULL_COMPANIONS=(numpy "dask[distributed]")

# target_interpreter TARGET: print the path of the target's interpreter.
target_interpreter() {
  python3 "$ROOT/scripts/wheel_targets.py" executable "$1"
}

# pip_wheel_for VERSION: PyPI's newest pip wheel for Python VERSION, cached.
pip_wheel_for() {
  python3 "$ROOT/scripts/wheel_targets.py" pip-wheel "$1"
}

# make_env TARGET DIR: a fresh virtual environment of TARGET's interpreter in
# DIR; sets env_python to the command that runs it and env_pip to the
# command that runs pip for it.
make_env() {
  local target=$1 dir=$2 interpreter version whl
  interpreter=$(target_interpreter "$target")
  rm -rf "$dir"
  "$interpreter" -m venv --without-pip "$dir"
  env_python=$dir/bin/python
  version=$("$env_python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
  whl=$(pip_wheel_for "$version")
  "$env_python" "$whl/pip" install -q --disable-pip-version-check --no-index "$whl"
  env_pip=("$env_python" -m pip)
}
