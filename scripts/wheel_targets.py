"""The interpreters tourloom ships wheels for, where each one lives, and how
to run it; the one table that scripts/build-wheels.sh and scripts/test_wheels.py
share.

A *system* is where an interpreter runs:

  host            the build machine itself (Debian 12): pyenv's CPythons,
                  Debian's pypy3
  pypy-i386       Debian 12's 32-bit PyPy unpacked into PYPY_I386_ROOT
                  (scripts/install-deps.sh pypy), under qemu-i386
  SUITE-amd64     a Debian root under build/roots (scripts/debian-root.sh),
                  entered with chroot
  SUITE-i386      the same for i386: entered with chroot where the kernel
                  runs i386 programs, else run with qemu-i386 -L ROOT

Nothing about an interpreter is written down here but where it is: its
headers, EXT_SUFFIX, word size and wheel tag are asked of it.

  python3 scripts/wheel_targets.py list           # every target
  python3 scripts/wheel_targets.py facts TARGET   # include, suffix, bits, tag
  python3 scripts/wheel_targets.py floor FILE.so  # its newest GLIBC_ version
  python3 scripts/wheel_targets.py wheel TARGET   # its wheel in dist/
  python3 scripts/wheel_targets.py executable TARGET  # its interpreter's path
  python3 scripts/wheel_targets.py pip-wheel 3.9  # PyPI's pip wheel for 3.9, cached
"""

from __future__ import annotations

import dataclasses
import functools
import glob
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


@dataclasses.dataclass(frozen=True)
class Place:
    """One interpreter on one system."""

    system: str  # host, pypy-i386, SUITE-amd64, SUITE-i386
    interpreter: str  # pyenv version ("3.9"), or a program name in the system
    packages: tuple[str, ...] = ()  # what the system's Debian root must hold

    @property
    def label(self) -> str:
        names = {"bullseye": "Debian 11", "bookworm": "Debian 12", "trixie": "Debian 13", "forky": "Debian testing"}
        if self.system == "host":
            return "Debian 12 x86_64"
        if self.system == "pypy-i386":
            return "Debian 12 i386 (qemu)"
        suite, arch = self.system.split("-")
        if arch == "amd64":
            return f"{names.get(suite, suite)} x86_64"
        return f"{names.get(suite, suite)} i386 ({'qemu' if is_emulated(self) else 'chroot'})"


@dataclasses.dataclass(frozen=True)
class Target:
    """A wheel: the interpreter whose headers build it, and every place it is tested."""

    name: str
    build: Place
    tested: tuple[Place, ...]


def _pyenv(version: str) -> Place:
    return Place("host", version)


# Debian 11's Python keeps distutils, which pip needs there, in
# python3-distutils; python3-venv brings it, as on a user's machine.
# The chroots get procps as well: the suite looks for leftover workers with pgrep.
_BULLSEYE_AMD64 = Place("bullseye-amd64", "python3.9", ("python3", "python3-venv", "procps"))
_BULLSEYE_I386 = Place("bullseye-i386", "python3.9", ("python3", "python3-venv", "python3-dev", "procps"))
_BOOKWORM_I386 = Place("bookworm-i386", "python3.11", ("python3", "python3-venv", "python3-dev", "procps"))
_TRIXIE = ("pypy3", "pypy3-dev")
# Debian 13's i386 root serves its PyPy and its CPython 3.13 alike.
_TRIXIE_I386 = _TRIXIE + ("python3.13", "python3.13-dev", "procps")
_FORKY = ("pypy3", "pypy3-dev", "python3.14", "python3.14-dev")
_CHROOT = ("procps",)

TARGETS: dict[str, Target] = {
    t.name: t
    for t in [
        # CPython 3.9 is proved on Debian 11 (glibc 2.31) as well.
        Target("cp39", _pyenv("3.9"), (_pyenv("3.9"), _BULLSEYE_AMD64)),
        Target("cp39-i686", _BULLSEYE_I386, (_BULLSEYE_I386,)),
        Target("cp310", _pyenv("3.10"), (_pyenv("3.10"),)),
        Target("cp311", _pyenv("3.11"), (_pyenv("3.11"),)),
        Target("cp311-i686", _BOOKWORM_I386, (_BOOKWORM_I386,)),
        Target("cp312", _pyenv("3.12"), (_pyenv("3.12"),)),
        Target("cp313", _pyenv("3.13"), (_pyenv("3.13"),)),
        Target("cp313-i686", Place("trixie-i386", "python3.13", _TRIXIE_I386), (Place("trixie-i386", "python3.13", _TRIXIE_I386),)),
        Target("cp314", Place("forky-amd64", "python3.14", _FORKY + _CHROOT), (Place("forky-amd64", "python3.14", _FORKY + _CHROOT),)),
        Target("cp314-i686", Place("forky-i386", "python3.14", _FORKY + _CHROOT), (Place("forky-i386", "python3.14", _FORKY + _CHROOT),)),
        Target("pp39", Place("host", "pypy3"), (Place("host", "pypy3"),)),
        Target("pp39-i686", Place("pypy-i386", "pypy3"), (Place("pypy-i386", "pypy3"),)),
        Target("pp311", Place("trixie-amd64", "pypy3", _TRIXIE + _CHROOT), (Place("trixie-amd64", "pypy3", _TRIXIE + _CHROOT),)),
        Target("pp311-i686", Place("trixie-i386", "pypy3", _TRIXIE_I386), (Place("trixie-i386", "pypy3", _TRIXIE_I386),)),
        Target("pp311-pp80", Place("forky-amd64", "pypy3", _FORKY + _CHROOT), (Place("forky-amd64", "pypy3", _FORKY + _CHROOT),)),
        Target("pp311-pp80-i686", Place("forky-i386", "pypy3", _FORKY + _CHROOT), (Place("forky-i386", "pypy3", _FORKY + _CHROOT),)),
    ]
}


@functools.lru_cache(maxsize=None)
def system_root(place: Place) -> Path | None:
    """The folder the system's files live in (None: the build machine's own)."""
    if place.system == "host":
        return None
    if place.system == "pypy-i386":
        return Path(os.environ.get("PYPY_I386_ROOT", "/opt/pypy-i386"))
    suite, arch = place.system.split("-")
    made = subprocess.run(
        ["bash", str(ROOT / "scripts/debian-root.sh"), suite, arch, *place.packages],
        check=True, stdout=subprocess.PIPE, text=True,
    )
    return Path(made.stdout.strip().splitlines()[-1])


def is_i386(place: Place) -> bool:
    return place.system.endswith("i386")


@functools.lru_cache(maxsize=None)
def kernel_runs(root: Path) -> bool:
    """Whether this kernel runs the root's own programs (an x86_64 kernel
    with 32-bit support runs i386 ones), found by starting one."""
    if os.environ.get("TOURLOOM_I386_EMULATED") == "1":
        return False
    try:
        return subprocess.run(["setarch", "i686", "chroot", str(root), "/bin/true"],
                              stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        return False


def is_emulated(place: Place) -> bool:
    """Whether the place's interpreter runs under qemu-i386: the unpacked
    32-bit PyPy always (it has no system around it to chroot into), an i386
    root only where the kernel cannot run it. A root the kernel runs is
    entered with chroot like an amd64 one: a real i386 system, whose
    interpreter can start itself again (the emulator's children cannot)."""
    if place.system == "pypy-i386":
        return True
    if not is_i386(place):
        return False
    root = system_root(place)
    return root is None or not kernel_runs(root)


def is_chroot(place: Place) -> bool:
    return place.system.endswith("-amd64") or (is_i386(place) and not is_emulated(place))


def enter(place: Place, root: Path) -> list[str]:
    """The command prefix that runs a program inside a chroot place's root.
    An i386 root runs with the i686 personality, as a 32-bit system on a
    64-bit kernel does: otherwise uname, and with it sysconfig's platform and
    the wheel tag its interpreter reports, would say x86_64."""
    return (["setarch", "i686"] if is_i386(place) else []) + ["chroot", str(root)]


def executable(place: Place) -> str:
    """The interpreter's path as the system itself sees it."""
    if place.system == "host":
        if place.interpreter[0].isdigit():
            pyenv_root = os.environ.get("PYENV_ROOT", os.path.expanduser("~/.pyenv"))
            minor = place.interpreter
            for exe in sorted(glob.glob(f"{pyenv_root}/versions/{minor}.*/bin/python{minor}")) + [
                shutil.which(f"python{minor}") or ""
            ]:
                if exe and os.access(exe, os.X_OK):
                    return exe
            raise LookupError(f"no CPython {minor} (pyenv or python{minor} on PATH)")
        found = shutil.which(place.interpreter)
        if not found:
            raise LookupError(f"no {place.interpreter} on PATH")
        return found
    return f"/usr/bin/{place.interpreter}"


def command(place: Place, program: str | None = None, argv0: str | None = None) -> list[str]:
    """The command line that starts `program` (default: the interpreter) on
    the place's system; argv0 is the path it is to believe it was started as
    (a virtual environment's bin/python, so that it runs in that environment)."""
    program = program or executable(place)
    if place.system == "pypy-i386":
        # That root's own wrapper knows its layout.
        return ["env", *([f"PYPY_I386_ARGV0={argv0}"] if argv0 else []), str(ROOT / "scripts/pypy-i386")]
    root = system_root(place)
    if root is None:
        return [program] if argv0 is None else ["sh", "-c", 'exec -a "$0" "$@"', argv0, program]
    if is_chroot(place):
        inner = [program] if argv0 is None else ["/bin/sh", "-c", 'exec -a "$0" "$@"', argv0, program]
        # Debian 11's sh has no exec -a; bash has.
        if argv0 is not None:
            inner[0] = "/bin/bash"
        return [*enter(place, root), *inner]
    # qemu-i386 finds the loader and libraries under -L ROOT; no ld.so.cache
    # was made there (no maintainer script ran), so the library folders are
    # named outright.
    guest_program = program if program.startswith(str(root)) else str(root) + program
    return [
        "env", "LD_LIBRARY_PATH=/lib/i386-linux-gnu:/usr/lib/i386-linux-gnu:" + str(root) + "/usr/lib/i386-linux-gnu",
        "qemu-i386", "-L", str(root), *(["-0", argv0] if argv0 else []), guest_program,
    ]


_FACTS = r"""
import struct, sys, sysconfig
print(sysconfig.get_paths()["include"])
print(sysconfig.get_config_var("EXT_SUFFIX"))
print(struct.calcsize("P") * 8)
impl = {"cpython": "cp", "pypy": "pp"}[sys.implementation.name]
version = "%d%d" % sys.version_info[:2]
soabi = sysconfig.get_config_var("SOABI") or ""
abi = soabi.replace("-", "_").replace(".", "_") if impl == "pp" else "cp" + version + getattr(sys, "abiflags", "")
print(impl + version + "-" + abi + "-" + sysconfig.get_platform().replace("-", "_").replace(".", "_"))
"""


@dataclasses.dataclass(frozen=True)
class Facts:
    include: str  # header folder, as a path on the build machine
    suffix: str  # EXT_SUFFIX
    bits: int
    tag: str  # interpreter-abi-platform that pip on it accepts


def facts(place: Place) -> Facts:
    out = subprocess.run(command(place) + ["-c", _FACTS], check=True, stdout=subprocess.PIPE, text=True)
    include, suffix, bits, tag = out.stdout.split()[:4]
    root = system_root(place)
    # A chrooted interpreter reports its own paths; the build machine reads
    # them inside the root.
    if root is not None and not include.startswith(str(root)):
        include = str(root) + include
    return Facts(include, suffix, int(bits), tag)


def wheel_pattern(tag: str) -> str:
    """The file names (glob) of the repaired wheels for an interpreter's own
    tag, e.g. cp39-cp39-linux_i686 -> tourloom-*-cp39-cp39-*manylinux*_i686.whl
    (auditwheel puts both manylinux2014 and manylinux_2_17 in the name)."""
    interpreter_abi, arch = tag.rsplit("-linux_", 1)
    return f"tourloom-*-{interpreter_abi}-*manylinux*_{arch}.whl"


def wheel_of(target: str) -> Path:
    """The wheel scripts/build-wheels.sh left in dist/ for the target."""
    tag = facts(TARGETS[target].build).tag
    found = sorted((ROOT / "dist").glob(wheel_pattern(tag)))
    if not found:
        raise FileNotFoundError(f"no wheel for {tag} in dist/ (scripts/build-wheels.sh {target})")
    return found[-1]


def pip_wheel_for(version: str) -> Path:
    """PyPI's newest pip wheel that runs on Python `version`, fetched once."""
    folder = ROOT / "build" / "pip-wheels" / version
    found = sorted(folder.glob("pip-*.whl"))
    if not found:
        folder.mkdir(parents=True, exist_ok=True)
        subprocess.run([sys.executable, "-m", "pip", "download", "-q", "--disable-pip-version-check", "--no-deps",
                        "--only-binary", ":all:", "--python-version", version, "-d", str(folder), "pip"], check=True)
        found = sorted(folder.glob("pip-*.whl"))
    return found[-1]


def glibc_floor(module: str) -> str:
    """The newest glibc symbol version a shared object asks for (objdump -T):
    the oldest glibc it loads on."""
    return newest_glibc(subprocess.run(["objdump", "-T", module], check=True, stdout=subprocess.PIPE, text=True).stdout)


def newest_glibc(dynamic_symbols: str) -> str:
    """The newest GLIBC_x.y[.z] in `objdump -T` output, compared as numbers."""
    versions = set(re.findall(r"\bGLIBC_([0-9]+(?:\.[0-9]+)+)\b", dynamic_symbols))
    if not versions:
        return "none"
    return max(versions, key=lambda v: tuple(int(part) for part in v.split(".")))


def main(argv: list[str]) -> int:
    if argv[:1] == ["list"]:
        print("\n".join(TARGETS))
        return 0
    if len(argv) == 2 and argv[0] == "facts" and argv[1] in TARGETS:
        f = facts(TARGETS[argv[1]].build)
        print(f.include, f.suffix, f.bits, f.tag, sep="\n")
        return 0
    if len(argv) == 2 and argv[0] == "wheel" and argv[1] in TARGETS:
        print(wheel_of(argv[1]))
        return 0
    if len(argv) == 2 and argv[0] == "executable" and argv[1] in TARGETS:
        print(executable(TARGETS[argv[1]].build))
        return 0
    if len(argv) == 2 and argv[0] == "pip-wheel":
        print(pip_wheel_for(argv[1]))
        return 0
    if len(argv) == 2 and argv[0] == "floor":
        print(glibc_floor(argv[1]))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
