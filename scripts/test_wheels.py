"""Test tourloom's wheels as users install them, each in the interpreter and
system it is for, and print one table: wheel, tag, glibc floor (objdump -T),
size, where tested, tests passed.

  python3 scripts/test_wheels.py cp311 pp39-i686   # those wheels, every place each is tested
  python3 scripts/test_wheels.py --all             # every target of scripts/wheel_targets.py
  python3 scripts/test_wheels.py --build cp39      # scripts/build-wheels.sh first

For each place: a fresh virtual environment of that interpreter (inside its
Debian root for a chroot), pip bootstrapped from PyPI's pip wheel, `pip
install` of the wheel from dist/ with pytest (and numpy where PyPI has a wheel
for it), then the Python suite (tests/python) from a folder outside the
source tree, after checking that `tourloom` comes from the environment. The
suite throws and catches PanicException inside the module on every target.

Exits non-zero when any place fails. Environment: PYTEST_ARGS (extra pytest
arguments).
"""

from __future__ import annotations

import argparse
import contextlib
import dataclasses
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import wheel_targets as wt  # noqa: E402

ROOT = wt.ROOT
WORK = ROOT / "build" / "wheel-test"
# Inside a chroot, where the environment, the wheel and the suite are copied.
CHROOT_WORK = "/tmp/tourloom-wheel-test"
# A suite still running after this is hung (the emulated one ends in about
# 2 minutes, the others in 1): it is ended and the place fails, instead of
# holding the whole run. A single hung test ends its suite sooner, with the
# stacks of its threads (tests/python/conftest.py).
SUITE_LIMIT_S = 900


@dataclasses.dataclass
class Outcome:
    target: str
    wheel: str
    tag: str
    floor: str
    size_kib: int
    place: str
    interpreter: str = "?"
    tests: str = "not run"
    ok: bool = False
    seconds: int = 0


def log(message: str) -> None:
    print(f"[test-wheels] {message}", flush=True)


def module_floor(wheel: Path) -> str:
    with zipfile.ZipFile(wheel) as archive, tempfile.TemporaryDirectory() as scratch:
        (module,) = [n for n in archive.namelist() if re.fullmatch(r"tourloom\.[^/]*\.so", n)]
        return wt.glibc_floor(archive.extract(module, scratch))


def run(command: list[str], **kwargs) -> subprocess.CompletedProcess:
    return subprocess.run(command, check=True, **kwargs)


class Environment:
    """A fresh virtual environment of one place's interpreter, with pip."""

    def __init__(self, place: wt.Place, name: str):
        self.place = place
        self.root = wt.system_root(place) if wt.is_chroot(place) else None
        if self.root is not None:
            self.inside = f"{CHROOT_WORK}/{name}"  # the path the chroot sees
            self.outside = Path(str(self.root) + self.inside)
        else:
            self.outside = WORK / name
            self.inside = str(self.outside)
        shutil.rmtree(self.outside, ignore_errors=True)
        self.outside.mkdir(parents=True)
        venv = f"{self.inside}/venv"
        run(wt.command(place) + ["-m", "venv", "--without-pip", venv])
        if wt.is_chroot(place):
            self.python = [*wt.enter(place, self.root), f"{venv}/bin/python"]
        elif wt.is_emulated(place):
            # The i386 binary cannot be started by the kernel: the emulator
            # starts it as if by its path in the environment, so that it finds
            # pyvenv.cfg and keeps the binary as sys.executable (pip reads its
            # ELF header to know which manylinux wheels fit).
            self.python = wt.command(place, argv0=f"{venv}/bin/python")
        else:
            self.python = [f"{venv}/bin/python"]
        self.version = self.ask("import sys; print('%d.%d' % sys.version_info[:2])")
        pip = self.bring(wt.pip_wheel_for(self.version))
        if wt.is_emulated(place):
            # pip runs straight from its wheel: installing it first would
            # cost the emulator as much again as the install it is needed for.
            self.pip = self.python + [f"{pip}/pip"]
        else:
            run(self.python + [f"{pip}/pip", "install", "-q", "--disable-pip-version-check", "--no-index", pip])
            self.pip = self.python + ["-m", "pip"]

    def ask(self, code: str) -> str:
        return run(self.python + ["-c", code], stdout=subprocess.PIPE, text=True).stdout.strip().splitlines()[-1]

    def bring(self, path: Path) -> str:
        """The path under which this environment's interpreter sees `path`."""
        if self.root is None:
            return str(path)
        copy = self.outside / path.name
        if path.is_dir():
            shutil.copytree(path, copy, ignore=shutil.ignore_patterns("__pycache__"))
        else:
            shutil.copy2(path, copy)
        return f"{self.inside}/{path.name}"


def test_place(target: str, wheel: Path, place: wt.Place, outcome: Outcome) -> None:
    name = f"{target}@{place.system}"
    env = Environment(place, name)
    outcome.interpreter = env.ask(
        "import sys; print(sys.implementation.name, sys.version.split()[0], '%d-bit' % (sys.maxsize.bit_length() + 1))")
    pip_install = env.pip + ["install", "-q", "--disable-pip-version-check"]
    if env.root is not None:
        # The chroot has no index of its own: the build machine's pip fetches
        # what the suite needs, for the root's interpreter, into a wheelhouse.
        house = env.outside / "wheelhouse"
        fetch_for_chroot(env, wheel, house)
        pip_install += ["--no-index", "--find-links", f"{env.inside}/wheelhouse"]
        run(pip_install + ["tourloom[test]"] + (["numpy"] if any(house.glob("numpy-*")) else []))
    else:
        run(pip_install + [env.bring(wheel) + "[test]"])
        if not wt.is_emulated(place):
            # numpy's tests need a numpy wheel; where PyPI has none they skip.
            if subprocess.run(pip_install + ["--only-binary", ":all:", "numpy"]).returncode != 0:
                log(f"{name}: no numpy wheel; its tests skip")
    suite = env.bring(ROOT / "tests" / "python")
    scratch = env.bring(Path(tempfile.mkdtemp(prefix="tourloom-scratch-")))
    where = env.ask("import sys, sysconfig, tourloom; print(tourloom.__file__.startswith(sysconfig.get_paths()['platlib']))")
    if where != "True":
        raise RuntimeError(f"{name}: tourloom is not imported from the environment")
    # chroot and qemu keep the working folder; pytest starts outside the tree.
    command = env.python + ["-m", "pytest", suite, "-p", "no:cacheprovider", "-q",
                            *shlex.split(os.environ.get("PYTEST_ARGS", ""))]
    if env.root is not None:
        enter = wt.enter(env.place, env.root)
        command = [*enter, "/bin/sh", "-c", f"cd {shlex.quote(scratch)} && exec \"$@\"", "sh", *command[len(enter):]]
        cwd = None
    else:
        cwd = scratch
    first = ""
    returncode, output = run_suite(command, cwd, env.root, name)
    if hung(returncode, output):
        # A hang is tried once more (a failure is not), so that a rare one
        # does not cost the whole run; its stacks are printed above, and the
        # table says so. (The one seen under the emulator was the kit's:
        # workers forked holding an import lock, since fixed.)
        log(f"{name}: the suite hung; running it once more")
        first = "hung once, then "
        returncode, output = run_suite(command, cwd, env.root, name)
    if returncode is None:
        outcome.tests = f"{first}hung: ended after {SUITE_LIMIT_S} s"
    else:
        outcome.tests = first + (pytest_summary(output) or f"exit {returncode}")
    outcome.ok = returncode == 0


def run_suite(command: list[str], cwd: str | None, root: Path | None, name: str) -> tuple[int | None, str]:
    """Run the suite; its exit status (None: ended after SUITE_LIMIT_S) and
    its output, whose end is printed (more of it after a failure, where a
    hang's stacks come before the end)."""
    # The suite runs in a session of its own and writes to a file, not a
    # pipe: a process it leaves behind can neither keep this script waiting
    # for the end of its output nor outlive the place; it is reported, then
    # ended.
    with system_mounts(root), tempfile.TemporaryFile("w+") as out:
        suite = subprocess.Popen(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, text=True,
                                 start_new_session=True)
        try:
            returncode: int | None = suite.wait(timeout=SUITE_LIMIT_S)
        except subprocess.TimeoutExpired:
            returncode = None
        if end_session(suite.pid) and returncode is not None:
            log(f"{name}: the suite left processes behind; ended")
        out.seek(0)
        output = out.read()
    print(output[-3000:] if returncode == 0 else output[-30000:], end="", flush=True)
    if returncode is None:
        log(f"{name}: the suite had not ended after {SUITE_LIMIT_S} s; ended")
    return returncode, output


def hung(returncode: int | None, output: str) -> bool:
    """Whether the suite was ended for hanging: by SUITE_LIMIT_S, or by the
    suite's own guard (tests/python/conftest.py), which prints faulthandler's
    "Timeout (H:MM:SS)!" and the threads' stacks, and exits before pytest's
    count line."""
    if returncode is None:
        return True
    stacks = re.search(r"Timeout \(\d+:\d\d:\d\d\)!\n(Current thread|Thread) 0x", output)
    return returncode != 0 and stacks is not None and not pytest_summary(output)


def end_session(session: int) -> bool:
    """Kill what is left of the process group `session`; whether anything was."""
    try:
        os.killpg(session, signal.SIGKILL)
    except ProcessLookupError:
        return False
    return True


@contextlib.contextmanager
def system_mounts(root: Path | None):
    """/proc and a tmpfs /dev/shm in a chroot while the suite runs, as on a
    booted system (the memory tests read /proc; multiprocessing's locks live
    in /dev/shm); unmounted afterwards whatever happens."""
    mounted = []
    try:
        if root is not None:
            for kind, where in (("proc", root / "proc"), ("tmpfs", root / "dev" / "shm")):
                where.mkdir(parents=True, exist_ok=True)
                run(["mount", "-t", kind, kind, str(where)])
                mounted.append(where)
        yield
    finally:
        for where in reversed(mounted):
            subprocess.run(["umount", "-l", str(where)])


def pytest_summary(output: str) -> str:
    """pytest's last count line without its time: "3 failed, 320 passed, 35 skipped"."""
    counts = [line for line in output.splitlines()
              if re.search(r"\d+ (passed|failed|errors?|skipped|deselected)\b.* in [\d.]+s", line)]
    return re.sub(r"^[= ]*(.*?) in [\d.]+s.*$", r"\1", counts[-1]) if counts else ""


def fetch_for_chroot(env: Environment, wheel: Path, house: Path) -> None:
    """The wheel, pytest with its dependencies and, where PyPI has a wheel
    for the root's interpreter, numpy, downloaded into `house`."""
    house.mkdir()
    shutil.copy2(wheel, house)
    interpreter, abi, platform = wheel.name[:-len(".whl")].split("-")[-3:]
    arch = platform.rsplit("_", 1)[-1] if not platform.endswith("x86_64") else "x86_64"
    download = [sys.executable, "-m", "pip", "download", "-q", "--disable-pip-version-check", "--only-binary",
                ":all:", "--python-version", env.version, "-d", str(house)]
    # pip download judges environment markers by the build machine's Python,
    # not by --python-version: pytest's backports for older versions come
    # by name (pure Python, unused where not needed).
    run(download + ["pytest>=7", "exceptiongroup", "tomli", "typing_extensions"])
    numpy = download + ["--implementation", interpreter[:2], "--abi", abi, "--no-deps",
                        *(f"--platform=manylinux_2_{minor}_{arch}" for minor in (17, 28)), "numpy"]
    if subprocess.run(numpy, stderr=subprocess.DEVNULL).returncode != 0:
        log(f"{env.place.label}: no numpy wheel for {interpreter}-{abi}; its tests skip")


def print_table(outcomes: list[Outcome]) -> None:
    headers = ("wheel", "tag", "glibc", "KiB", "tested on", "interpreter", "tests", "s")
    rows = [(o.wheel, o.tag, o.floor, str(o.size_kib), o.place, o.interpreter, o.tests, str(o.seconds))
            for o in outcomes]
    widths = [max(len(h), *(len(r[i]) for r in rows)) for i, h in enumerate(headers)]
    line = lambda cells: "  ".join(c.ljust(w) for c, w in zip(cells, widths)).rstrip()  # noqa: E731
    print("\n== wheels tested installed")
    print(line(headers))
    print(line(["-" * w for w in widths]))
    for row in rows:
        print(line(row))


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("targets", nargs="*", help="wheel targets (scripts/wheel_targets.py list)")
    parser.add_argument("--all", action="store_true", help="every target")
    parser.add_argument("--build", action="store_true", help="run scripts/build-wheels.sh for them first")
    args = parser.parse_args(argv)
    # Started in the background by a script (`... &`), this process inherits
    # an ignored SIGINT, and exec hands an ignored signal on: the suite's
    # Ctrl-C test would interrupt a child that cannot hear it. A handler,
    # unlike an ignore, is reset to the default in every program started.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    targets = list(wt.TARGETS) if args.all else args.targets
    unknown = [t for t in targets if t not in wt.TARGETS]
    if not targets or unknown:
        parser.error(f"name targets or --all; unknown: {unknown}; known: {' '.join(wt.TARGETS)}")
    if args.build:
        run(["bash", str(ROOT / "scripts/build-wheels.sh"), *targets])
    outcomes = []
    for target in targets:
        wheel = wt.wheel_of(target)
        tag = wheel.name[:-len(".whl")].split("-", 2)[2]
        for place in wt.TARGETS[target].tested:
            outcome = Outcome(target, wheel.name, tag, module_floor(wheel), (wheel.stat().st_size + 1023) // 1024,
                              place.label)
            log(f"{wheel.name} on {place.label}")
            start = time.monotonic()
            try:
                test_place(target, wheel, place, outcome)
            except (subprocess.CalledProcessError, RuntimeError, OSError) as error:
                log(f"{wheel.name} on {place.label} failed: {error}")
                outcome.tests = f"error: {error}"[:60]
            outcome.seconds = round(time.monotonic() - start)
            outcomes.append(outcome)
    print_table(outcomes)
    return 0 if all(o.ok for o in outcomes) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
