#!/usr/bin/env bash
# Install what tourloom's build and test legs need on a Debian 12 x86_64
# machine, as root, without questions.
#
#   scripts/install-deps.sh            # everything
#   scripts/install-deps.sh core       # C++ legs: cmake, ninja, GoogleTest, -m32, qemu-i386, valgrind
#   scripts/install-deps.sh pypy       # x86_64 PyPy + headers, pytest for PyPy,
#                                      # and the 32-bit PyPy unpacked into $PYPY_I386_ROOT
#   scripts/install-deps.sh fuzz       # clang-$FUZZ_CLANG_VERSION with its libFuzzer and
#                                      # sanitizer runtimes (scripts/fuzz-core.sh)
#   scripts/install-deps.sh pydebug    # Debian's debug CPython (python3-dbg, with its
#                                      # headers), pytest for it, valgrind
#                                      # (scripts/test-python-leaks.sh)
#   scripts/install-deps.sh docs       # Chromium and its WebDriver for the documentation
#                                      # site's browser check (scripts/test-docs.sh)
#   scripts/install-deps.sh roots      # debootstrap, qemu-user, objdump and unzip: the
#                                      # Debian roots of other suites that wheels are
#                                      # built against and tested in (scripts/debian-root.sh
#                                      # makes them on demand, cached in build/roots)
#
# Idempotent: whatever is already there is skipped, and `apt-get update` runs
# only when something has to be installed: once per call (a second time only
# right after the i386 architecture is first added, so that its lists exist).
# PYPY_I386_ROOT (default /opt/pypy-i386) chooses where the 32-bit PyPy goes.
# FUZZ_CLANG_VERSION (default 16) chooses the clang of the fuzz part.
#
# The 32-bit PyPy is unpacked with `dpkg -x`, never installed with apt: the
# maintainer scripts of pypy3:i386 run the i386 binary, which this kernel
# cannot execute directly, and that leaves dpkg broken.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
PYPY_I386_ROOT=${PYPY_I386_ROOT:-/opt/pypy-i386}
FUZZ_CLANG_VERSION=${FUZZ_CLANG_VERSION:-16}

log() { printf '[install-deps] %s\n' "$*"; }

if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=(sudo -E); else
    echo "install-deps.sh: needs root (or sudo)" >&2; exit 1
  fi
else
  SUDO=()
fi

APT_OPTS=(-y -q -o DPkg::Lock::Timeout=600 --no-install-recommends)

# retry CMD...: up to three tries, for a registry that hiccups.
retry() {
  local n
  for n in 1 2 3; do
    "$@" && return 0
    [[ $n -lt 3 ]] && { log "failed (try $n of 3), retrying in 15 s: $*"; sleep 15; }
  done
  return 1
}

apt_updated=0
apt_update_once() {
  if [[ $apt_updated -eq 0 ]]; then
    log "apt-get update"
    # A mirror mid-sync fails one index (seen: the i386 security list) while
    # every other list is fine. That is no reason to stop: apt-get install
    # says so itself if a package needed no longer resolves.
    local out status=0
    out=$(retry "${SUDO[@]}" apt-get update -q -o DPkg::Lock::Timeout=600 2>&1) || status=$?
    printf '%s\n' "$out" | tail -n 3
    if [[ $status -ne 0 ]]; then
      log "apt-get update failed for: $(printf '%s\n' "$out" | sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' | sort -u | tr '\n' ' ')"
      log "going on with the lists that did download"
    fi
    apt_updated=1
  fi
}

# pkg_installed NAME[:ARCH] -> true when dpkg says it is fully installed.
pkg_installed() {
  [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}

# apt_install PKG... : install the ones that are missing, in one apt-get call.
apt_install() {
  local missing=() p
  for p in "$@"; do pkg_installed "$p" || missing+=("$p"); done
  if [[ ${#missing[@]} -eq 0 ]]; then
    log "already installed: $*"
    return 0
  fi
  apt_update_once
  log "apt-get install ${missing[*]}"
  retry "${SUDO[@]}" apt-get install "${APT_OPTS[@]}" "${missing[@]}"
}

# version_ge A B -> true when version A >= B.
version_ge() { [[ $(printf '%s\n%s\n' "$2" "$1" | sort -V | head -n1) == "$2" ]]; }

install_build_tools() {
  # cmake >= 3.25 (CMakePresets.json, version 6) and ninja. On this kind of
  # machine both come from pip and are on PATH already; a machine without
  # them gets them from pip (or from Debian when there is no pip).
  local need=()
  local cmv
  cmv=$(cmake --version 2>/dev/null | sed -n 's/^cmake version \([0-9.]*\).*/\1/p' || true)
  if [[ -z $cmv ]] || ! version_ge "$cmv" 3.25; then need+=(cmake); fi
  if ! command -v ninja >/dev/null 2>&1; then need+=(ninja); fi
  if [[ ${#need[@]} -eq 0 ]]; then
    log "cmake $cmv and ninja $(ninja --version) present"
    return 0
  fi
  if command -v python3 >/dev/null 2>&1 && python3 -m pip --version >/dev/null 2>&1; then
    log "pip install ${need[*]}"
    # A Debian-managed python3 refuses (externally managed): Debian's
    # packages below take over then.
    python3 -m pip install -q --disable-pip-version-check "${need[@]}" ||
      log "pip could not install ${need[*]}; trying Debian's packages"
    hash -r
    # pyenv-style installs put new console scripts behind shims.
    if command -v pyenv >/dev/null 2>&1; then pyenv rehash || true; fi
  fi
  local deb=()
  command -v cmake >/dev/null 2>&1 || deb+=(cmake)
  command -v ninja >/dev/null 2>&1 || deb+=(ninja-build)
  if [[ ${#deb[@]} -gt 0 ]]; then apt_install "${deb[@]}"; fi
  log "cmake: $(cmake --version | head -n1); ninja: $(ninja --version)"
}

install_core() {
  install_build_tools
  # g++ for the native legs, g++-multilib for -m32, GoogleTest sources in
  # /usr/src/googletest, qemu-i386 to run the 32-bit test binary, valgrind
  # for the memcheck leg.
  apt_install g++ g++-multilib libgtest-dev qemu-user valgrind
}

ensure_i386_arch() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "dpkg --add-architecture i386"
    "${SUDO[@]}" dpkg --add-architecture i386
    apt_updated=0   # the lists must now include i386
  fi
}

# Runtime libraries the 32-bit PyPy loads (Debian 12 names). They are
# unpacked into the interpreter's own root beside it, never installed as
# multiarch packages: those must match their amd64 twins version for version,
# which a half-synced mirror cannot promise.
I386_LIBS=(libc6:i386 libstdc++6:i386 libgcc-s1:i386 libffi8:i386 libexpat1:i386 libbz2-1.0:i386
           zlib1g:i386 liblzma5:i386 libgdbm6:i386 libncursesw6:i386 libtinfo6:i386
           libsqlite3-0:i386 libssl3:i386)

# pypy_i386_version: the version of pypy3:i386 to unpack: that of the x86_64
# pypy3, unless the i386 lists do not know it (an index that failed to
# download, e.g. the i386 security list mid-sync): then the newest the i386
# lists offer. Being unpacked, not installed, it need not match its twin.
pypy_i386_version() {
  local amd64 offered
  amd64=$(dpkg-query -W -f='${Version}' pypy3 2>/dev/null || true)
  offered=$(apt-cache madison pypy3:i386 2>/dev/null | awk -F'|' '{gsub(/ /, "", $2); print $2}')
  if [[ -n $amd64 ]] && grep -qxF -- "$amd64" <<<"$offered"; then
    echo "$amd64"
  elif [[ -n $offered ]]; then
    log "pypy3:i386 $amd64 is not in the i386 lists; taking $(head -n1 <<<"$offered")" >&2
    head -n1 <<<"$offered"
  else
    echo "$amd64"
  fi
}

pypy_i386_ok() {
  local exe="$PYPY_I386_ROOT/usr/bin/pypy3"
  [[ -x $exe && -f $PYPY_I386_ROOT/.unpacked ]] || return 1
  compgen -G "$PYPY_I386_ROOT/usr/include/pypy3*/Python.h" >/dev/null || return 1
  # The unpacked interpreter must match the packages apt would give now.
  local want
  want=$(pypy_i386_version)
  [[ -n $want && $(cat "$PYPY_I386_ROOT/.unpacked") == "$want" ]] || return 1
  command -v qemu-i386 >/dev/null 2>&1 || return 1
  [[ -e $PYPY_I386_ROOT/lib/ld-linux.so.2 ]] || return 1
  PYPY_I386_ROOT=$PYPY_I386_ROOT "$(dirname "${BASH_SOURCE[0]}")/pypy-i386" \
    -c 'import sys, ssl, sqlite3, lzma; assert sys.maxsize == 2**31 - 1' >/dev/null 2>&1
}

install_pypy() {
  apt_install qemu-user g++-multilib pypy3 pypy3-dev \
    python3-pytest python3-exceptiongroup python3-tomli
  ensure_i386_arch

  if pypy_i386_ok; then
    log "32-bit PyPy already unpacked in $PYPY_I386_ROOT"
    return 0
  fi
  apt_update_once
  local ver tmp
  ver=$(pypy_i386_version)
  tmp=$(mktemp -d)
  log "unpacking pypy3:i386 $ver into $PYPY_I386_ROOT"
  # Same version as the x86_64 pypy3. pypy3-dev (headers, Architecture: all)
  # goes into the same root, so that the include folder the 32-bit
  # interpreter reports through sysconfig exists.
  # pypy3-dev (Architecture: all) at the version the lists have for it.
  local dev
  dev=$(apt-cache madison pypy3-dev | awk -F'|' -v want="$ver" '{gsub(/ /, "", $2); if ($2 == want) print $2}' | head -n1)
  (cd "$tmp" && chmod 777 . && retry apt-get download -q "pypy3:i386=$ver" "pypy3-lib:i386=$ver" "pypy3-dev${dev:+=$dev}" \
    "${I386_LIBS[@]}")
  "${SUDO[@]}" rm -rf "$PYPY_I386_ROOT"
  "${SUDO[@]}" mkdir -p "$PYPY_I386_ROOT"
  local d
  for d in "$tmp"/*.deb; do "${SUDO[@]}" dpkg -x "$d" "$PYPY_I386_ROOT"; done
  rm -rf "$tmp"
  # The interpreter looks for libpypy3*-c.so next to itself as well.
  local lib
  for lib in "$PYPY_I386_ROOT"/usr/lib/i386-linux-gnu/libpypy3*-c.so; do
    "${SUDO[@]}" cp "$lib" "$PYPY_I386_ROOT/usr/bin/"
  done
  echo "$ver" | "${SUDO[@]}" tee "$PYPY_I386_ROOT/.unpacked" >/dev/null
  if ! pypy_i386_ok; then
    echo "install-deps.sh: the unpacked 32-bit PyPy in $PYPY_I386_ROOT does not run" >&2
    exit 1
  fi
  log "32-bit PyPy ready in $PYPY_I386_ROOT"
}

install_fuzz() {
  install_build_tools
  # libFuzzer and the sanitizer runtimes live in libclang-rt-N-dev, which
  # must match the compiler's version. Debian 12's default clang (14) cannot
  # compile the core: libstdc++ 12's <source_location> needs clang 15 or later.
  apt_install "clang-$FUZZ_CLANG_VERSION" "libclang-rt-$FUZZ_CLANG_VERSION-dev" libgtest-dev
  log "clang: $("clang++-$FUZZ_CLANG_VERSION" --version | head -n1)"
}

install_roots() {
  # binutils for objdump -T (the glibc floor of each wheel), unzip to look
  # into wheels.
  apt_install debootstrap qemu-user binutils unzip
}

install_pydebug() {
  install_build_tools
  # python3-dbg is the interpreter built with Py_DEBUG (sys.gettotalrefcount)
  # and brings its own headers (python3.X-dbg, include folder python3.Xd);
  # Debian's pytest is pure Python and serves it as well.
  apt_install g++ python3-dbg python3-pytest python3-exceptiongroup python3-tomli valgrind
  log "debug interpreter: $(python3-dbg -c 'import sys; print(sys.version.split()[0], hasattr(sys, "gettotalrefcount"))')"
}

install_docs() {
  # The site itself is built by pinned PyPI packages in a venv of its own
  # (scripts/build-docs.sh); only the browser that checks it comes from Debian.
  apt_install chromium chromium-driver python3-venv
  log "browser: $(chromium --version 2>/dev/null || echo 'chromium not runnable')"
}

parts=("$@")
[[ ${#parts[@]} -eq 0 ]] && parts=(all)
for part in "${parts[@]}"; do
  case $part in
    core) install_core ;;
    pypy) install_pypy ;;
    fuzz) install_fuzz ;;
    pydebug) install_pydebug ;;
    docs) install_docs ;;
    roots) install_roots ;;
    all) install_core; install_pypy; install_fuzz; install_pydebug; install_docs; install_roots ;;
    -h|--help) sed -n '2,26p' "$0"; exit 0 ;;
    *) echo "install-deps.sh: unknown part '$part' (core, pypy, fuzz, pydebug, docs, roots, all)" >&2; exit 2 ;;
  esac
done
log "done"
