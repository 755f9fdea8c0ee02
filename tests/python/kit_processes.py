"""Helpers of the fault tests of tourloom_kit: the processes a test process
has started (read from /proc), whether this interpreter can start itself,
and small instances whose results identify them."""

import functools
import os
import random
import signal
import subprocess
import sys
import threading
import time


def children(pid=None):
    """Pids of the live (or not yet reaped) processes whose parent is `pid`
    (default: this process)."""
    pid = os.getpid() if pid is None else pid
    found = set()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                # "pid (command) state ppid ...": the command may hold spaces and parentheses.
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue  # ended while the folder was read
        if int(fields[1]) == pid:
            found.add(int(entry))
    return found


def exists(pid):
    """Whether a process of that pid exists at all, a zombie included."""
    return os.path.exists("/proc/%d" % pid)


@functools.lru_cache(maxsize=None)
def can_start_own_interpreter():
    """Whether sys.executable can be started as a program, found by starting
    it. The 32-bit PyPy runs under qemu-i386 and its executable is an i386
    binary: a kernel without 32-bit support refuses it ("Exec format
    error"), one with it runs it (then the i386 runtime must be found)."""
    try:
        return subprocess.run([sys.executable, "-c", "pass"], timeout=120).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def skip_unless_spawning(pytest):
    return pytest.mark.skipif(not can_start_own_interpreter(),
                              reason="this interpreter cannot start its own executable (the 32-bit PyPy under "
                                     "qemu-i386): no child interpreter, so nothing to end or resume")


# Held by a Killer while it reads /proc and kills, and by every fork of this
# process: a worker forked while the Killer's thread was inside a read
# inherits whatever lock that read held, and on PyPy such a worker was seen
# to wait on it for ever. Forks wait for the scan to finish instead.
_scan = threading.Lock()


def _release_scan():
    _scan.release()


os.register_at_fork(before=_scan.acquire, after_in_parent=_release_scan, after_in_child=_release_scan)


class Killer(threading.Thread):
    """Kills with SIGKILL, as the out-of-memory killer would, the worker
    processes this process starts after the Killer is made: the first
    `limit` of them (None: every one), each `delay` seconds after it is
    first seen. `killed` lists their pids."""

    def __init__(self, limit=None, delay=0.5):
        super().__init__(daemon=True)
        self.limit, self.delay = limit, delay
        self.before = children()
        self.killed = []
        self.done = threading.Event()

    def run(self):
        seen = {}
        while not self.done.is_set() and (self.limit is None or len(self.killed) < self.limit):
            with _scan:
                now = time.monotonic()
                for pid in children() - self.before - set(self.killed):
                    seen.setdefault(pid, now)
                    if now - seen[pid] >= self.delay and (self.limit is None or len(self.killed) < self.limit):
                        try:
                            os.kill(pid, signal.SIGKILL)
                        except ProcessLookupError:
                            continue
                        self.killed.append(pid)
            time.sleep(0.02)

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.done.set()
        self.join(timeout=5)


def ring(n, seed):
    """A distance-only instance of n stops (n tells the instances of a batch
    apart: its route has n entries)."""
    rng = random.Random(seed)
    points = [(rng.randrange(1000), rng.randrange(1000)) for _ in range(n)]
    return {"distance_matrix": [[abs(ax - bx) + abs(ay - by) for bx, by in points] for ax, ay in points]}


def rings(count, first=8):
    return [ring(first + i, seed=i) for i in range(count)]


def tour_length(instance, route):
    matrix = instance["distance_matrix"]
    return sum(matrix[a][b] for a, b in zip(route, route[1:] + route[:1]))


def is_answer_to(instance, result):
    """Whether a result is a tour of the instance's stops whose distance is
    that tour's length: the answer to that instance and no other."""
    n = len(instance["distance_matrix"])
    return sorted(result["route"]) == list(range(n)) and result["distance"] == tour_length(instance,
                                                                                            result["route"])
