#!/usr/bin/env bash
# Make (or reuse) a minimal Debian root of one suite and architecture under
# build/roots/, holding the interpreters that tourloom's wheels are built
# against and tested in:
#
#   scripts/debian-root.sh SUITE ARCH PACKAGE...   # prints the root's path
#   scripts/debian-root.sh bullseye amd64 python3.9 python3.9-dev python3.9-venv
#
# amd64: `debootstrap --variant=minbase`, run with `chroot ROOT`.
# i386: made so that it works whether or not the kernel runs i386 programs.
# debootstrap's second stage (the maintainer scripts) would need that, so
# only the first stage (--foreign) runs: it resolves and downloads every
# package, and each one is then unpacked with `dpkg -x`. Its programs run
# with `chroot ROOT` where the kernel runs them, else under
# `qemu-i386 -L ROOT` (scripts/wheel_targets.py decides).
#
# A root is reused while its suite, architecture and package list are the
# same (ROOT/.tourloom-root records them); anything else makes it anew.
# Environment: DEBIAN_MIRROR (default: debootstrap's own), TOURLOOM_ROOTS
# (default build/roots).
set -euo pipefail

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [[ $# -lt 3 ]]; then sed -n '2,18p' "$0" >&2; exit 2; fi
suite=$1 arch=$2
shift 2
packages=$(printf '%s\n' "$@" | sort -u | paste -sd, -)
roots=${TOURLOOM_ROOTS:-$ROOT_DIR/build/roots}
root=$roots/$suite-$arch
stamp="$suite $arch $packages"

log() { printf '[debian-root] %s\n' "$*" >&2; }

# One maker per root at a time; a second caller waits, then reuses it.
mkdir -p "$roots"
exec 9>"$roots/$suite-$arch.lock"
flock 9
while pgrep -f "debootstrap .* $root( |\$)" >/dev/null; do sleep 5; done
if [[ -f $root/.tourloom-root && $(cat "$root/.tourloom-root") == "$stamp" ]]; then
  echo "$root"
  exit 0
fi
if [[ $(id -u) -ne 0 ]]; then
  echo "debian-root.sh: debootstrap and chroot need root" >&2
  exit 1
fi
command -v debootstrap >/dev/null 2>&1 || {
  echo "debian-root.sh: no debootstrap; run scripts/install-deps.sh roots" >&2; exit 1; }

# debootstrap names no script for suites newer than itself: those bootstrap
# like unstable.
script=()
[[ -e /usr/share/debootstrap/scripts/$suite ]] || script=(/usr/share/debootstrap/scripts/sid)
mirror=()
[[ -n ${DEBIAN_MIRROR:-} ]] && mirror=("$DEBIAN_MIRROR")
[[ ${#script[@]} -gt 0 && ${#mirror[@]} -eq 0 ]] &&
  mirror=("$(sed -n 's/^def_mirror="\(.*\)"$/\1/p' "$(command -v debootstrap)" | head -n1)")

log "making $suite $arch in $root ($packages)"
start=$SECONDS
rm -rf "$root"
mkdir -p "$roots"
options=(--variant=minbase --arch="$arch" --include="$packages")
[[ $arch == i386 ]] && options+=(--foreign)
attempt=1
until debootstrap "${options[@]}" "$suite" "$root" "${mirror[@]}" "${script[@]}" >"$roots/$suite-$arch.log" 2>&1; do
  if [[ $attempt -ge 3 ]]; then
    tail -n 20 "$roots/$suite-$arch.log" >&2
    echo "debian-root.sh: debootstrap $suite $arch failed (log: $roots/$suite-$arch.log)" >&2
    exit 1
  fi
  log "debootstrap failed (try $attempt of 3), again in 15 s"
  attempt=$((attempt + 1))
  sleep 15
  rm -rf "$root"
done
if [[ $arch == i386 ]]; then
  for deb in "$root"/var/cache/apt/archives/*.deb; do dpkg -x "$deb" "$root"; done
fi
# Name resolution inside the chroot, for pip.
cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
echo "$stamp" >"$root/.tourloom-root"
log "$suite $arch ready in $((SECONDS - start)) s"
echo "$root"
