"""solve_many under faults: workers killed with SIGKILL mid-batch, the
driving process killed and the batch resumed from its store, stores that
belong to other batches or whose last line was cut short.

The tests that kill workers of solve_many's own pool run wherever the pool
does (its workers are forked); the driver test starts a second interpreter
and skips where sys.executable cannot be started (the 32-bit PyPy under
qemu-i386 on a kernel that cannot run i386 programs itself)."""

import json
import os
import pickle
import signal
import subprocess
import sys
import textwrap
import time
import types
from concurrent.futures import ProcessPoolExecutor

import pytest

import tourloom_kit.batch as batch
from kit_processes import Killer, children, exists, is_answer_to, rings, skip_unless_spawning
from tourloom_kit import SolveError, StoreError, WorkerDied, result_to_dict, solve_many
from tourloom_kit.store import ResultStore

P = pytest.param
TESTS = os.path.dirname(os.path.abspath(__file__))


def test_a_worker_killed_mid_batch_costs_no_result():
    instances = rings(6)
    # Solves of 1 s on two workers; the first worker dies half a second into its first solve.
    with Killer(limit=1) as killer:
        results = solve_many(instances, 1, processes=2)
    assert len(killer.killed) == 1
    assert all(is_answer_to(i, r) for i, r in zip(instances, results))  # every one, each in its place
    assert children() - killer.before == set()  # the pools' workers are gone


def test_an_instance_whose_worker_dies_three_times_is_a_worker_died_error():
    with Killer(limit=None, delay=0.3) as killer:
        with pytest.raises(WorkerDied) as caught:
            solve_many(rings(1), 2, processes=2)
    # The instance is given to a worker three times (the first try and
    # RETRIES = 2 more), and every one of those workers is killed.
    assert len(killer.killed) == 1 + batch.RETRIES
    error = caught.value
    assert isinstance(error, SolveError)
    assert (error.index, error.kind) == (0, "WorkerDied")
    assert error.message.startswith("the worker process solving it died 3 times")
    assert error.results == [{"error": "WorkerDied", "message": error.message}]


def test_a_given_pool_that_breaks_keeps_the_results_finished_before():
    instances = rings(6)
    # A ProcessPoolExecutor fails every unfinished solve when one worker
    # dies: by then (2.4 s after the worker started) its first solve of 1 s
    # is done even on a busy machine, and the third round of the six
    # (3 s at the earliest) is not.
    with ProcessPoolExecutor(max_workers=2) as pool, Killer(limit=1, delay=2.4):
        with pytest.raises(SolveError) as caught:
            solve_many(instances, 1, executor=pool)
    error = caught.value
    assert error.kind == "BrokenProcessPool"
    finished = [(i, r) for i, r in enumerate(error.results) if r is not None and "error" not in r]
    assert len(finished) >= 1 and all(is_answer_to(instances[i], r) for i, r in finished)
    assert error.index == min(i for i, r in enumerate(error.results) if r is not None and "error" in r)


def test_solve_error_pickles_with_its_fields():
    for error in (SolveError(3, "TypeError", "no", [None, {"route": [0]}]), WorkerDied(1, "WorkerDied", "died")):
        copy = pickle.loads(pickle.dumps(error))
        assert type(copy) is type(error) and str(copy) == str(error)
        assert (copy.index, copy.kind, copy.message, copy.results) == (error.index, error.kind, error.message,
                                                                      error.results)


def stored_lines(path):
    """The store's whole result lines as {index: result}, and whether every
    line is whole (ends with its newline)."""
    with open(path, "rb") as f:
        data = f.read()
    complete = data[:data.rfind(b"\n") + 1]
    lines = [json.loads(line) for line in complete.split(b"\n")[1:-1]]
    return {line.pop("index"): line for line in lines}, data.endswith(b"\n")


def count_solves(monkeypatch):
    """Make solve_one (what processes=1 runs for each instance) count its calls."""
    calls = []
    real = batch.solve_one

    def counting(instance, time_limit):
        calls.append(instance)
        return real(instance, time_limit)

    monkeypatch.setattr(batch, "solve_one", counting)
    return calls


DRIVER = textwrap.dedent("""
    import sys
    sys.path.insert(0, {tests!r})
    from kit_processes import rings
    from tourloom_kit import solve_many
    solve_many(rings(8), 1, processes=2, store={store!r})
""")


# Workers that die while their instance would be on its way to them (killed
# as soon as they start, here, with instances larger than a pipe holds).
# Written into a pool's pipe, the rest of an instance blocked the pool's
# feeding thread, and the pool's shutdown with it, for ever: on Python
# before 3.11 always, and on any Python while another pool's worker lived,
# since every worker forked later holds the pipe's other end too. With one
# worker killed the batch ends with every result (that hang came in about
# half the runs); with every worker killed, with WorkerDied.
LARGE_INSTANCES_KILLED = textwrap.dedent("""
    import sys
    sys.path.insert(0, {tests!r})
    from kit_processes import Killer
    from tourloom_kit import WorkerDied, solve_many
    n = {n}
    large = dict(distance_matrix=[[0 if i == j else 1 + (7 * i + 13 * j) % 1000 for j in range(n)] for i in range(n)])
    with Killer(limit={limit}, delay=0) as killer:
        try:
            results = solve_many([large] * {count}, 1, processes=2)
            print("solved", len(results), all(r["route"] for r in results), len(killer.killed))
        except WorkerDied as died:
            print("died", died.index, len(killer.killed) >= 3)
""")


@skip_unless_spawning(pytest)
@pytest.mark.parametrize("limit, count, expected", [
    P(1, 4, "solved 4 True 1", id="one-killed"),
    P(None, 2, "died 0 True", id="every-one-killed"),
])
def test_workers_killed_before_their_large_instances_arrive_end_the_batch(limit, count, expected):
    pypy = "__pypy__" in sys.builtin_module_names
    script = LARGE_INSTANCES_KILLED.format(tests=TESTS, n=400 if pypy else 1200, limit=limit, count=count)
    run = subprocess.run([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True, timeout=120 if pypy else 40)
    assert (run.stdout, run.returncode) == (expected + "\n", 0)


# A pool's worker is forked while the driver's other threads run: another
# pool's feeder pickling a call, a manager unpickling a result. On PyPy the
# pickle module is Python code that imports the module of every class it
# writes or reads, under importlib's lock for that module; a worker forked
# while a thread held one inherited it held by nobody and waited for it for
# ever at its first call. Here a thread holds the locks of the modules a
# call is read from for the first second, while the workers start.
HELD_IMPORT_LOCKS = textwrap.dedent("""
    import sys, threading
    from importlib import _bootstrap
    sys.path.insert(0, {tests!r})
    from kit_processes import rings
    from tourloom_kit import solve_many
    held, locks = threading.Event(), [_bootstrap._get_module_lock(name)
                                      for name in ("concurrent.futures.process", "tourloom_kit.batch")]
    def importer():
        for lock in locks:
            lock.acquire()
        held.set()
        threading.Event().wait(1)
        for lock in locks:
            lock.release()
    threading.Thread(target=importer).start()
    held.wait()
    results = solve_many(rings(2), 0, processes=2)
    print(len(results), all(r["route"] for r in results))
""")


@skip_unless_spawning(pytest)
def test_workers_forked_while_a_thread_holds_an_import_lock_still_solve():
    run = subprocess.run([sys.executable, "-c", HELD_IMPORT_LOCKS.format(tests=TESTS)], stdout=subprocess.PIPE,
                         text=True, timeout=120 if "__pypy__" in sys.builtin_module_names else 30)
    assert (run.stdout, run.returncode) == ("2 True\n", 0)


@skip_unless_spawning(pytest)
def test_a_driver_killed_mid_batch_resumes_and_solves_only_the_rest(tmp_path):
    store = str(tmp_path / "batch.jsonl")
    driver = subprocess.Popen([sys.executable, "-c", DRIVER.format(tests=TESTS, store=store)])
    try:
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and (not os.path.exists(store) or len(stored_lines(store)[0]) < 3):
            time.sleep(0.05)
        workers = children(driver.pid)
        driver.send_signal(signal.SIGKILL)  # as the out-of-memory killer or a killed job would
        driver.wait(timeout=30)
    finally:
        if driver.poll() is None:
            driver.kill()
    before, _ = stored_lines(store)
    assert 3 <= len(before) < 8 and workers
    # Its workers end with it (their solves look at no signal and would run on).
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and any(exists(pid) for pid in workers):
        time.sleep(0.05)
    assert not any(exists(pid) for pid in workers)

    instances = rings(8)
    results = solve_many(instances, 1, processes=2, store=store)
    after, whole = stored_lines(store)
    assert whole and sorted(after) == list(range(8))  # every instance stored once, no line torn
    for index, result in before.items():  # stored results come back unchanged, not solved again
        assert results[index] == result == after[index]
    assert all(is_answer_to(i, r) for i, r in zip(instances, results))


@pytest.mark.parametrize("cut", [
    P(lambda data: data[:-10], id="last-result-torn"),
    P(lambda data: data[:data.index(b"\n") - 5], id="first-line-torn"),
])
def test_a_torn_line_is_dropped_and_solved_again(tmp_path, monkeypatch, cut):
    store = tmp_path / "batch.jsonl"
    instances = rings(4)
    direct = solve_many(instances, None, processes=1, store=store)
    data = store.read_bytes()
    store.write_bytes(cut(data))
    kept, _ = stored_lines(store)  # the whole lines alone
    calls = count_solves(monkeypatch)
    results = solve_many(instances, None, processes=1, store=store)
    assert len(calls) == 4 - len(kept)

    def comparable(r):
        return {k: v for k, v in r.items() if k != "time_taken_microseconds"}

    assert [comparable(r) for r in results] == [comparable(r) for r in direct]
    after, whole = stored_lines(store)
    assert whole and sorted(after) == [0, 1, 2, 3]
    assert all(after[index] == result for index, result in kept.items())


def other_instance(instances):
    changed = [dict(i) for i in instances]
    changed[2] = {"distance_matrix": [row[:] for row in changed[2]["distance_matrix"]]}
    changed[2]["distance_matrix"][0][1] += 1
    return changed


@pytest.mark.parametrize("batch_args, message", [
    P(lambda i: (other_instance(i), None), "belongs to another batch: it was written for 4 instances with "
      "time_limit=None, this batch has 4 instances", id="one-entry-changed"),
    P(lambda i: (i, 0), "with time_limit=None, this batch has 4 instances with time_limit=0", id="other-time-limit"),
    P(lambda i: (i + i[:1], None), "this batch has 5 instances", id="more-instances"),
    P(lambda i: ([(d["distance_matrix"],) for d in i], None), "belongs to another batch", id="positional"),
])
def test_a_store_of_another_batch_is_refused_untouched(tmp_path, batch_args, message):
    store = tmp_path / "batch.jsonl"
    instances = rings(4)
    solve_many(instances[:2], None, processes=1)  # nothing stored: no store given
    solve_many(instances, None, processes=1, store=store)
    data, modified = store.read_bytes(), store.stat().st_mtime_ns
    others, time_limit = batch_args(instances)
    with pytest.raises(StoreError, match="^" + str(store) + " ") as caught:
        solve_many(others, time_limit, processes=1, store=store)
    assert message in str(caught.value)
    assert (store.read_bytes(), store.stat().st_mtime_ns) == (data, modified)


def damage(data, line, replacement):
    lines = data.split(b"\n")
    lines[line] = replacement
    return b"\n".join(lines)


@pytest.mark.parametrize("spoil, message", [
    P(lambda data: b"stop,lat,lon\n1,2,3\n", " is not a store of solve_many (its first line is not a store's)",
      id="another-file"),
    P(lambda data: b"stop,lat", " is not a store of solve_many (it does not start with a store's first line)",
      id="another-file-one-line"),
    P(lambda data: damage(data, 2, b'{"index": 1, "rou'), ": line 3 is not a stored result of this batch",
      id="line-broken-inside"),
    P(lambda data: damage(data, 2, b'{"index": 9}'), ": line 3 is not a stored result of this batch",
      id="index-out-of-range"),
    P(lambda data: damage(data, 2, data.split(b"\n")[1]), ": line 3 stores instance 0 a second time",
      id="index-twice"),
])
def test_a_damaged_store_is_refused_untouched(tmp_path, spoil, message):
    store = tmp_path / "batch.jsonl"
    instances = rings(3)
    solve_many(instances, None, processes=1, store=store)
    store.write_bytes(spoil(store.read_bytes()))
    data = store.read_bytes()
    with pytest.raises(StoreError) as caught:
        solve_many(instances, None, processes=1, store=store)
    assert str(caught.value) == str(store) + message
    assert store.read_bytes() == data


def test_a_store_in_use_by_another_batch_is_refused(tmp_path):
    store = tmp_path / "batch.jsonl"
    instances = rings(2)
    holder = ResultStore(store, instances, None)
    try:
        with pytest.raises(StoreError, match="is in use by another batch$"):
            solve_many(instances, None, processes=1, store=store)
    finally:
        holder.close()
    assert len(solve_many(instances, None, processes=1, store=store)) == 2


def test_the_progress_bar_starts_at_the_stored_count(tmp_path, monkeypatch):
    store = tmp_path / "batch.jsonl"
    instances = rings(5)
    solve_many(instances[:5], None, processes=1, store=store)
    data = store.read_bytes()
    store.write_bytes(data[:data.rstrip(b"\n").rfind(b"\n") + 1])  # the last result line removed
    bars = []

    class Bar:
        def __init__(self, **options):
            self.options, self.updates = options, 0
            bars.append(self)

        def update(self, n):
            self.updates += n

        def close(self):
            pass

    monkeypatch.setitem(sys.modules, "tqdm", types.SimpleNamespace(tqdm=Bar))
    solve_many(instances, None, processes=1, store=store, progress=True)
    assert [(bar.options["total"], bar.options["initial"], bar.updates) for bar in bars] == [(5, 4, 1)]


def test_stored_results_equal_what_result_to_dict_gives(tmp_path):
    import tourloom
    from support import HOUR, at

    timed = {"distance_matrix": [[0, 7, 9], [7, 0, 4], [9, 4, 0]],
             "duration_matrix": [[0, HOUR, 2 * HOUR], [HOUR, 0, HOUR], [2 * HOUR, HOUR, 0]],
             "job_durations": [HOUR, HOUR, 2 * HOUR],
             "time_windows": [[(at(8), at(9))], [(at(12), at(16))], [(at(14, day=1), at(20, day=1))]],
             "operation_times": (8 * HOUR, 18 * HOUR)}
    store = tmp_path / "batch.jsonl"
    solve_many([timed], None, processes=1, store=store)
    stored = stored_lines(store)[0][0]
    direct = result_to_dict(tourloom.solve(**timed))
    assert {k: v for k, v in stored.items() if k != "time_taken_microseconds"} == \
        {k: v for k, v in direct.items() if k != "time_taken_microseconds"}


def test_a_whole_store_is_resumed_without_a_solve(tmp_path, monkeypatch):
    store = tmp_path / "batch.jsonl"
    instances = rings(3)
    first = solve_many(instances, None, processes=1, store=store)
    calls = count_solves(monkeypatch)
    assert solve_many(instances, None, processes=1, store=store) == first and calls == []
    # solve reads an array or a tuple of rows item by item, with the same result: the same batch.
    same = [{"distance_matrix": tuple(tuple(row) for row in instances[0]["distance_matrix"])}] + instances[1:]
    try:
        import numpy as np
    except ImportError:
        pass  # no numpy for this interpreter
    else:
        same[1] = {"distance_matrix": np.array(instances[1]["distance_matrix"], dtype="uint16")}
    assert solve_many(same, None, processes=1, store=store) == first and calls == []
