# Sourced by the scripts that run Python code against the installed module.
# Sets `py` to an interpreter where tourloom and pytest import: $EXAMPLES_PYTHON
# if set; else the venv the cpython leg of scripts/test-python.sh leaves at
# build/venv-cpython; else a venv of its own, build/venv-examples, with what
# the cpython leg installs (python-env.sh: the examples plot, use numpy and Dask). Needs ROOT.
py=${EXAMPLES_PYTHON:-}
if [[ -z $py ]]; then
  if "$ROOT/build/venv-cpython/bin/python" -c 'import tourloom, pytest' >/dev/null 2>&1; then
    py=$ROOT/build/venv-cpython/bin/python
  else
    venv=$ROOT/build/venv-examples
    [[ -x $venv/bin/python ]] || "${PYTHON:-python3}" -m venv "$venv"
    # shellcheck source=python-env.sh
    source "$ROOT/scripts/python-env.sh"
    "$venv/bin/python" -m pip install -q "$ROOT$FULL_EXTRAS" "${FULL_COMPANIONS[@]}"
    py=$venv/bin/python
  fi
fi
