"""solve_in_process: one solve in a child interpreter, which Ctrl-C or a
timeout ends at once, leaving no process behind, while the caller's threads
run on. Every test here starts a child interpreter, so the module skips
where sys.executable cannot be started (the 32-bit PyPy under qemu-i386 on
a kernel that cannot run i386 programs itself; where it can, they run)."""

import os
import pickle
import signal
import subprocess
import sys
import textwrap
import threading
import time
import types

import pytest

import tourloom
from kit_processes import can_start_own_interpreter, children, exists, ring
from support import TIMED, at, raised
from tourloom_kit import PanicException, result_to_dict, solve_in_process

P = pytest.param
TESTS = os.path.dirname(os.path.abspath(__file__))

pytestmark = pytest.mark.skipif(not can_start_own_interpreter(),
                                reason="this interpreter cannot start its own executable (the 32-bit PyPy under "
                                       "qemu-i386), so it has no child to solve in")

LONG = ring(60, seed=1)  # a solve with a time limit runs for all of it


@pytest.fixture
def no_child_left():
    """Checks that a test leaves no child process, not even an unreaped
    (zombie) one."""
    before = children()
    yield
    assert children() - before == set()


def comparable(plain):
    return {k: v for k, v in plain.items() if k != "time_taken_microseconds"}


@pytest.mark.parametrize("arguments, keywords", [
    P((), TIMED, id="keywords-time-model"),
    P((TIMED["distance_matrix"], TIMED["duration_matrix"]), {"job_durations": TIMED["job_durations"],
                                                             "time_windows": TIMED["time_windows"]},
      id="positional-and-keywords"),
    P((LONG["distance_matrix"],), {}, id="positional-distance-only"),
])
def test_gives_the_direct_result_as_plain_data(arguments, keywords, no_child_left):
    # No time limit: one descent, so the result depends on the inputs alone.
    direct = result_to_dict(tourloom.solve(*arguments, **keywords))
    assert comparable(solve_in_process(*arguments, **keywords)) == comparable(direct)


@pytest.mark.parametrize("arguments", [
    P({"distance_matrix": "x"}, id="type-error"),
    P({"distance_matrix": [[0, -1], [1, 0]]}, id="overflow-error"),
    P(dict(TIMED, operation_times=(1, 2, 3)), id="value-error"),
    P({"distance_matrix": [[0, 1], [1, 0]], "time_limit": 2**63}, id="panic-time-limit"),
    P(dict(TIMED, time_windows=[[(at(9), at(8))]] * 3), id="panic-window"),
    P({"distance_matrix": []}, id="panic-empty"),
])
def test_fails_as_a_direct_call_does(arguments, no_child_left):
    direct = raised(tourloom.solve, **arguments)
    error = raised(solve_in_process, **arguments)
    assert (type(error).__name__, str(error)) == (type(direct).__name__, str(direct))
    if type(direct).__name__ == "PanicException":
        assert type(error) is PanicException and not isinstance(error, Exception)
        copy = pickle.loads(pickle.dumps(error))
        assert (type(copy), str(copy)) == (PanicException, str(direct))
    else:
        assert type(error) is type(direct)


def test_the_callers_threads_run_during_the_solve(no_child_left):
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.01)

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        started = time.monotonic()
        result = solve_in_process(**LONG, time_limit=1)
        ended = time.monotonic()
    finally:
        stop.set()
        ticker.join()
    during = [t for t in ticks if started + 0.2 < t < ended - 0.2]
    # 100 ticks a second when the thread runs; a direct solve would let it run not once.
    assert len(during) > 20 and max(b - a for a, b in zip(during, during[1:])) < 0.25
    assert sorted(result["route"]) == list(range(60))


def test_a_timeout_ends_the_child_within_a_second(no_child_left):
    started = time.monotonic()
    with pytest.raises(TimeoutError, match=r"^the solve did not finish within 1 s; its process was ended$"):
        solve_in_process(**LONG, time_limit=30, timeout=1)
    assert time.monotonic() - started < 3  # 1 s, and the ending of the child, not the 30 s


def test_a_child_that_dies_raises_child_process_error(no_child_left):
    before = children()

    def kill_the_child():
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            new = children() - before
            if new:
                time.sleep(0.5)  # into the solve
                os.kill(new.pop(), signal.SIGKILL)
                return
            time.sleep(0.02)

    killer = threading.Thread(target=kill_the_child)
    killer.start()
    try:
        error = raised(solve_in_process, **LONG, time_limit=10, timeout=30)
    finally:
        killer.join()
    assert type(error) is ChildProcessError
    assert str(error) == "the solving process ended without an answer (killed by SIGKILL)"


def test_the_progress_bar_runs_over_the_time_limit(monkeypatch, no_child_left):
    bars = []

    class Bar:
        def __init__(self, **options):
            self.options, self.n, self.refreshed, self.closed = options, 0, 0, False
            self.total = options["total"]
            bars.append(self)

        def refresh(self):
            self.refreshed += 1

        def close(self):
            self.closed = True

    monkeypatch.setitem(sys.modules, "tqdm", types.SimpleNamespace(tqdm=Bar))
    solve_in_process(**LONG, time_limit=1, progress=True)
    [bar] = bars
    assert (bar.total, bar.options["unit"], bar.closed) == (1, "s", True)
    assert bar.refreshed >= 4 and 0.8 <= bar.n <= 1  # a fifth of a second each, up to the limit


# Ctrl-C from a terminal: SIGINT to the whole foreground group. The child
# has a session of its own, so the caller alone answers, by ending it.
INTERRUPTED = textwrap.dedent("""
    import signal, sys, time
    # Ctrl-C reaches a terminal's foreground program as KeyboardInterrupt, even
    # where this test itself runs with SIGINT ignored (started in the background).
    signal.signal(signal.SIGINT, signal.default_int_handler)
    sys.path.insert(0, {tests!r})
    from kit_processes import ring
    from tourloom_kit import solve_in_process
    print("solving", flush=True)
    try:
        solve_in_process(**ring(60, seed=1), time_limit=30)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
""")


def test_ctrl_c_ends_the_child_at_once_and_leaves_no_process():
    script = subprocess.Popen([sys.executable, "-c", INTERRUPTED.format(tests=TESTS)], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        assert script.stdout.readline() == "solving\n"
        time.sleep(0.5)  # the child is starting up or solving
        solving = children(script.pid)
        assert solving, "no child to interrupt"
        started = time.monotonic()
        os.killpg(script.pid, signal.SIGINT)
        out, err = script.communicate(timeout=30)
        ended_in = time.monotonic() - started
    finally:
        if script.poll() is None:
            script.kill()
    assert (out, err, script.returncode) == ("interrupted\n", "", 0)  # no traceback from anyone
    assert not any(exists(pid) for pid in solving)
    assert ended_in < 3  # the parent's own exit included; the solve had 28 s left
    # Nothing of its session is left.
    leftover = subprocess.run(["pgrep", "-s", str(script.pid)], stdout=subprocess.PIPE, text=True).stdout.split()
    assert leftover == []


def test_a_script_without_a_main_guard_runs_once(tmp_path):
    # The child imports nothing of the caller's program: a script (or a
    # notebook, or a docs runner) needs no `if __name__ == "__main__":`.
    script = tmp_path / "unguarded.py"
    script.write_text("from tourloom_kit import solve_in_process\n"
                      "print('top level', solve_in_process([[0, 1, 2], [1, 0, 1], [2, 1, 0]])['distance'])\n")
    out = subprocess.run([sys.executable, str(script)], stdout=subprocess.PIPE, text=True, timeout=60).stdout
    assert out == "top level 4\n"
