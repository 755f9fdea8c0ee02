# Sourced by the scripts that build wheels and test them installed. Knows the
# interpreters tourloom ships wheels for, by target name:
#
#   cp39 cp310 cp311 cp312 cp313   CPython 3.9 ... 3.13 (pyenv's versions, or
#                                  python3.X on PATH)
#   pp39                           PyPy 3.9 x86_64 (Debian's pypy3)
#   pp39-i686                      PyPy 3.9 for 32-bit x86, run under
#                                  qemu-i386 (scripts/pypy-i386)
#
# and makes virtual environments of them with pip bootstrapped from PyPI's
# pip wheel (Debian's PyPy has no pip and no ensurepip wheels). Needs ROOT.

TOURLOOM_TARGETS=(cp39 cp310 cp311 cp312 cp313 pp39 pp39-i686)

# target_interpreter TARGET: print the command that starts the interpreter.
target_interpreter() {
  local target=$1 minor exe
  case $target in
    cp3*)
      minor=${target#cp3}
      local root
      root=$(pyenv root 2>/dev/null || echo "$HOME/.pyenv")
      for exe in "$root"/versions/3."$minor".*/bin/python3."$minor" "$(command -v python3."$minor" || true)"; do
        if [[ -x $exe ]] && "$exe" -c "import sys; assert sys.version_info[:2] == (3, $minor)" >/dev/null 2>&1; then
          echo "$exe"
          return 0
        fi
      done ;;
    pp39)
      exe=$(command -v pypy3 || true)
      if [[ -n $exe ]] && "$exe" -c 'import sys; assert sys.version_info[:2] == (3, 9)' >/dev/null 2>&1; then
        echo "$exe"
        return 0
      fi ;;
    pp39-i686)
      echo "$ROOT/scripts/pypy-i386"
      return 0 ;;
    *)
      echo "python-env: unknown target '$target' (${TOURLOOM_TARGETS[*]})" >&2
      return 2 ;;
  esac
  echo "python-env: no interpreter found for $target" >&2
  return 1
}

# interpreter_facts INTERPRETER: set py_include (header folder), py_suffix
# (EXT_SUFFIX), py_bits (word size) and py_tag (the wheel tag
# interpreter-abi-platform that pip on it accepts), as the interpreter itself
# reports them.
interpreter_facts() {
  local facts
  mapfile -t facts < <("$1" -c '
import struct, sys, sysconfig
print(sysconfig.get_paths()["include"])
print(sysconfig.get_config_var("EXT_SUFFIX"))
print(struct.calcsize("P") * 8)
impl = {"cpython": "cp", "pypy": "pp"}[sys.implementation.name]
version = "%d%d" % sys.version_info[:2]
soabi = sysconfig.get_config_var("SOABI") or ""
abi = soabi.replace("-", "_").replace(".", "_") if impl == "pp" else "cp" + version + sys.abiflags
print(impl + version + "-" + abi + "-" + sysconfig.get_platform().replace("-", "_").replace(".", "_"))')
  py_include=${facts[0]:-}
  py_suffix=${facts[1]:-}
  py_bits=${facts[2]:-}
  py_tag=${facts[3]:-}
  if [[ -z $py_include || -z $py_suffix || -z $py_bits || -z $py_tag ]]; then
    echo "python-env: could not query $1" >&2
    return 1
  fi
}

# pip_wheel_for VERSION: print the path of PyPI's newest pip wheel that runs
# on Python VERSION (e.g. 3.9), downloaded once into build/pip-wheels.
pip_wheel_for() {
  local dir=$ROOT/build/pip-wheels/$1 whl
  whl=$(compgen -G "$dir/pip-*.whl" | head -n1 || true)
  if [[ -z $whl ]]; then
    mkdir -p "$dir"
    python3 -m pip download -q --disable-pip-version-check --no-deps --only-binary :all: \
      --python-version "$1" -d "$dir" pip >&2
    whl=$(compgen -G "$dir/pip-*.whl" | head -n1)
  fi
  echo "$whl"
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
  if [[ $target == pp39-i686 ]]; then
    # The environment's interpreter is an i386 binary the kernel cannot
    # start: a script beside bin/ starts it under the emulator, as if by its
    # path in bin/, so that it finds the environment and keeps the binary as
    # sys.executable (pip reads the ELF header there to know which manylinux
    # wheels fit). Subprocesses of sys.executable therefore cannot start.
    env_python=$dir/python-qemu
    printf '#!/bin/sh\n# %s under qemu-i386, in this environment.\nPYPY_I386_ARGV0="%s" PYPY_I386_ROOT="%s" exec "%s" "$@"\n' \
      "$(readlink -f "$dir/bin/python")" "$dir/bin/python" "${PYPY_I386_ROOT:-/opt/pypy-i386}" "$ROOT/scripts/pypy-i386" >"$env_python"
    chmod +x "$env_python"
  fi
  version=$("$env_python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
  whl=$(pip_wheel_for "$version")
  if [[ $target == pp39-i686 ]]; then
    # pip runs straight from its wheel: installing it first would cost the
    # emulator as much again as the install it is needed for.
    env_pip=("$env_python" "$whl/pip")
  else
    "$env_python" "$whl/pip" install -q --disable-pip-version-check --no-index "$whl"
    env_pip=("$env_python" -m pip)
  fi
}
