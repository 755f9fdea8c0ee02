"""tourloom_kit: results as plain data and rows, input advice, batches over
a process pool or any executor, the schedule chart, the classic reader."""

import os
import pickle
import signal
import subprocess
import sys
import textwrap
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

import tourloom
import tourloom_kit
from support import HOUR, MIDNIGHT, TIMED, at
from tourloom_kit import (BatchInterrupted, MissingExtra, SolveError, check_inputs, result_to_dict, rotate_to,
                          schedule_rows, solve_many, tsptw)

P = pytest.param

DISTANCE_ONLY = {"distance_matrix": [[0, 5, 1, 9], [5, 0, 2, 4], [1, 2, 0, 7], [9, 4, 7, 0]]}


def plain(result):
    """Every attribute of a result, read one by one."""
    events = None if result.schedule is None else [
        (type(e).__name__, getattr(e._0, "location", None), e._0.window) for e in result.schedule]
    return ([getattr(result, name) for name in ("distance", "route", "lateness", "duration", "working_time",
                                                 "waiting_time", "traveling_time", "start_time", "end_time",
                                                 "iterations")], events)


def as_plain(d):
    events = None if d["schedule"] is None else [
        ("PyEvent_" + e["kind"].capitalize(), e["location"], (e["start"], e["end"])) for e in d["schedule"]]
    return ([d[name] for name in ("distance", "route", "lateness", "duration", "working_time", "waiting_time",
                                  "traveling_time", "start_time", "end_time", "iterations")], events)


@pytest.mark.parametrize("kwargs", [P(TIMED, id="time-model"), P(DISTANCE_ONLY, id="distance-only")])
def test_result_to_dict_holds_every_attribute_and_pickles(kwargs):
    result = tourloom.solve(**kwargs)
    d = result_to_dict(result)
    assert as_plain(d) == plain(result)
    assert d["time_taken_microseconds"] == result.time_taken_microseconds
    assert pickle.loads(pickle.dumps(d)) == d


def test_schedule_rows_name_the_stop_each_event_serves():
    result = tourloom.solve(**TIMED)
    rows = schedule_rows(result)
    assert rows == schedule_rows(result_to_dict(result))
    assert [r["position"] for r in rows] == list(range(len(result.schedule)))
    route = result.route
    visits = [r["stop"] for r in rows if r["kind"] == "work"]
    assert [v for i, v in enumerate(visits) if i == 0 or visits[i - 1] != v] == route
    for before, row in zip(rows, rows[1:]):
        assert before["end"] == row["start"]
        if row["kind"] != "work":
            following = next((r for r in rows[row["position"]:] if r["kind"] == "work"), None)
            assert row["stop"] == (following["location"] if following else route[0])
            assert row["location"] is None
    assert all(r["seconds"] == r["end"] - r["start"] for r in rows)
    assert {"wait", "travel", "work"} <= {r["kind"] for r in rows}
    assert schedule_rows(tourloom.solve(**DISTANCE_ONLY)) == []


def test_schedule_rows_give_dates_before_1970_as_negative_seconds():
    # One location, a window on 1969-12-31: the module hands times out as
    # unsigned 64-bit values.
    start = 2**64 - 86400
    result = tourloom.solve([[0]], [[0]], [HOUR], [[(start, start + 2 * HOUR)]])
    assert result.start_time == start
    assert [(r["start"], r["end"]) for r in schedule_rows(result)] == [(-86400, -86400 + HOUR)]


def test_schedule_frame_is_the_rows_as_a_table():
    pd = pytest.importorskip("pandas", reason="pandas is not installed (the kit extra)")
    result = tourloom.solve(**TIMED)
    frame = tourloom_kit.schedule_frame(result)
    rows = schedule_rows(result)
    assert list(frame["kind"]) == [r["kind"] for r in rows]
    assert list(frame["stop"]) == [r["stop"] for r in rows]
    assert [None if pd.isna(v) else v for v in frame["location"]] == [r["location"] for r in rows]
    assert [int(t.timestamp()) for t in frame["start"]] == [r["start"] for r in rows]
    assert str(frame["end"].dt.tz) == "UTC"


@pytest.mark.parametrize("route, depot, rotated", [
    ([0, 1, 2], 0, [0, 1, 2]), ([2, 0, 1], 0, [0, 1, 2]), ([1, 2, 0], 0, [0, 1, 2]),
    ([3, 1, 0, 2], 0, [0, 2, 3, 1]), ([3, 1, 0, 2], 2, [2, 3, 1, 0]), ((5,), 5, [5]),
], ids=str)
def test_rotate_to(route, depot, rotated):
    assert rotate_to(route, depot) == rotated


def test_rotate_to_a_location_not_on_the_route():
    with pytest.raises(ValueError, match="location 4 is not in the route"):
        rotate_to([0, 1, 2], 4)


GOOD = dict(distance_matrix=[[0, 1], [1, 0]], duration_matrix=[[0, 60], [60, 0]], job_durations=[60, 60],
            time_windows=[[(MIDNIGHT, MIDNIGHT + HOUR)], [(MIDNIGHT + HOUR, MIDNIGHT + 2 * HOUR)]],
            operation_times=(6 * HOUR, 18 * HOUR), time_limit=1)


@pytest.mark.parametrize("change, advice", [
    P({}, [], id="nothing-to-say"),
    P({"distance_matrix": [[0, 1], [1]]}, ["distance_matrix: row 1 has 1 entries, expected 2"], id="ragged"),
    P({"duration_matrix": [[0, 1, 2], [1, 0, 2], [2, 1, 0]]}, ["duration_matrix: 3 rows for the 2 locations"],
      id="duration-shape"),
    P({"job_durations": [60]}, ["job_durations: 1 entries for 2 locations"], id="short-jobs"),
    P({"time_windows": [[(MIDNIGHT, MIDNIGHT + 1)]]}, ["time_windows: 1 entries for 2 locations"], id="short-windows"),
    P({"time_windows": [[(MIDNIGHT + 9, MIDNIGHT)], [(MIDNIGHT, MIDNIGHT + 1)]]},
      ["time_windows[0][0]: opens at %d after it closes" % (MIDNIGHT + 9)], id="reversed-window"),
    P({"time_windows": [[(MIDNIGHT, MIDNIGHT + 10), (MIDNIGHT + 5, MIDNIGHT + 20)], [(MIDNIGHT, MIDNIGHT + 1)]]},
      ["time_windows[0][1]: overlaps the window before it"], id="overlapping"),
    P({"time_windows": [[(MIDNIGHT + 50, MIDNIGHT + 60), (MIDNIGHT, MIDNIGHT + 10)], [(MIDNIGHT, MIDNIGHT + 1)]]},
      ["time_windows[0][1]: comes before the window before it"], id="unsorted"),
    P({"time_windows": [[(MIDNIGHT * 1000, MIDNIGHT * 1000 + 1000)], [(MIDNIGHT * 1000, MIDNIGHT * 1000 + 1)]]},
      ["time_windows[0][0]: looks like Unix time in milliseconds"], id="milliseconds"),
    P({"operation_times": (8, 17)}, ["operation_times: (8, 17) looks like hours; give seconds after midnight, "
                                     "e.g. (28800, 61200)"], id="hours"),
    P({"operation_times": (18 * HOUR, 6 * HOUR)}, ["operation_times: the day opens at 64800 and closes at 21600"],
      id="hours-reversed"),
    P({"operation_times": [6 * HOUR, 18 * HOUR]}, ["operation_times: expected a tuple"], id="hours-list"),
    P({"job_durations": [60, -1]}, ["job_durations[1]: -1 is negative"], id="negative"),
    P({"distance_matrix": [[0, 1.0], [1, 0]]}, ["distance_matrix[0][1]: 1.0 is a float"], id="float"),
    P({"time_limit": 1.5}, ["time_limit: 1.5 is not an integer"], id="float-limit"),
    P({"duration_matrix": None}, ["duration_matrix is missing: give duration_matrix, job_durations and time_windows"],
      id="partial-time-model"),
])
def test_check_inputs(change, advice):
    found = check_inputs(**dict(GOOD, **change))
    assert len(found) == len(advice), found
    for sentence, start in zip(found, advice):
        assert sentence.startswith(start), (sentence, start)


def test_check_inputs_names_the_cast_for_a_float_array():
    np = pytest.importorskip("numpy", reason="numpy is not installed for this interpreter")
    found = check_inputs(np.array([[0.0, 2.0], [2.0, 0.0]]))
    assert found == ["distance_matrix: a float64 array is refused by tourloom.solve even though its values are whole "
                     "numbers; cast it with .astype('uint64') (tourloom_kit.solve does)"]
    assert "round the array" in check_inputs(np.array([[0.0, 2.5], [2.0, 0.0]]))[0]
    assert check_inputs(np.array([[0, 2], [2, 0]])) == []
    assert check_inputs(np.array([[0, 2], [-2, 0]]), job_durations=np.array([1], np.uint8)) == [
        "distance_matrix[1][0]: -2 is negative; give 0 to 2**64 - 1",
        "job_durations: 1 entries for 2 locations; give exactly one per location",
        "duration_matrix and time_windows are missing: give duration_matrix, job_durations and time_windows "
        "together, or none of them"]


INSTANCES = [TIMED, DISTANCE_ONLY, (DISTANCE_ONLY["distance_matrix"],), dict(TIMED, job_durations=[0, 0, 0])]


def direct(instance):
    result = (tourloom.solve(**instance) if isinstance(instance, dict) else tourloom.solve(*instance))
    return as_plain(result_to_dict(result))


@pytest.mark.parametrize("how", [
    P({"processes": 1}, id="in-process"),
    P({"processes": 2}, id="process-pool"),
    P({"executor": "threads"}, id="given-executor"),
])
def test_solve_many_gives_direct_results_in_input_order(how):
    if how.get("executor") == "threads":
        with ThreadPoolExecutor(max_workers=2) as pool:
            results = solve_many(INSTANCES * 2, executor=pool)
    else:
        results = solve_many(INSTANCES * 2, **how)
    assert [as_plain(r) for r in results] == [direct(i) for i in INSTANCES * 2]


def test_solve_many_reports_the_first_failing_instance():
    short_jobs = {"distance_matrix": [[0, 1], [1, 0]], "duration_matrix": [[0, 1], [1, 0]], "job_durations": [1],
                  "time_windows": [[(0, 9)], [(0, 9)]]}
    bad = [DISTANCE_ONLY, {"distance_matrix": "x"}, short_jobs]
    with pytest.raises(SolveError) as caught:
        solve_many(bad, processes=2)
    assert (caught.value.index, caught.value.kind) == (1, "TypeError")
    assert caught.value.message == "argument 'distance_matrix': Can't extract `str` to `Vec`"
    with pytest.raises(SolveError) as caught:
        solve_many(bad[2:], processes=1)
    assert (caught.value.index, caught.value.kind) == (0, "PanicException")


def test_solve_many_progress_bar():
    pytest.importorskip("tqdm", reason="tqdm is not installed (the kit extra)")
    assert len(solve_many([DISTANCE_ONLY] * 3, processes=1, progress=True)) == 3


def test_missing_extras_are_named(monkeypatch):
    monkeypatch.setitem(sys.modules, "pandas", None)  # import pandas now fails
    with pytest.raises(MissingExtra, match=r"needs pandas, which is not installed: pip install 'tourloom\[kit\]'"):
        tourloom_kit.schedule_frame(tourloom.solve(**TIMED))
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    with pytest.raises(MissingExtra, match=r"tourloom\[plot\]"):
        tourloom_kit.plot_schedule(tourloom.solve(**TIMED))


# Ctrl-C in the middle of a batch whose solves take a second each: the
# parent stops at once, the workers are ended, finished results are kept.
INTERRUPTED = textwrap.dedent("""
    import signal, os, sys, time
    # Ctrl-C reaches a terminal's foreground program as KeyboardInterrupt, even
    # where this test itself runs with SIGINT ignored (started in the background).
    signal.signal(signal.SIGINT, signal.default_int_handler)
    from tourloom_kit import BatchInterrupted, solve_many
    instance = {"distance_matrix": [[0, 1, 2], [1, 0, 1], [2, 1, 0]]}
    try:
        solve_many([instance] * 40, 1, processes=2)
    except BatchInterrupted as stop:
        finished = [r for r in stop.results if r is not None]
        print("interrupted", len(finished), all(r["route"] for r in finished), flush=True)
""")


@pytest.mark.skipif(sys.maxsize < 2**32, reason="the emulated 32-bit PyPy cannot start sys.executable directly")
def test_ctrl_c_ends_the_workers_and_keeps_finished_results():
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED], stdout=subprocess.PIPE, text=True,
                             start_new_session=True)
    time.sleep(3.5 if "__pypy__" not in sys.builtin_module_names else 8)
    started = time.monotonic()
    os.killpg(child.pid, signal.SIGINT)  # as a terminal's Ctrl-C: the whole group
    out, _ = child.communicate(timeout=60)
    ended_in = time.monotonic() - started
    words = out.split()
    assert words[0] == "interrupted" and 1 <= int(words[1]) < 40 and words[2] == "True", out
    assert ended_in < 10  # not the 20 s the rest of the batch would take
    assert child.returncode == 0
    # No worker outlives the parent.
    leftover = subprocess.run(["pgrep", "-s", str(child.pid)], stdout=subprocess.PIPE, text=True).stdout.split()
    assert leftover == []


def test_plot_schedule_draws_every_event():
    pytest.importorskip("matplotlib", reason="matplotlib is not installed (the plot extra)")
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    result = tourloom.solve(**TIMED)
    ax = tourloom_kit.plot_schedule(result, names=["depot", "farm", "mill"], operation_times=TIMED["operation_times"])
    bars = [c for c in ax.collections if type(c).__name__ == "PolyCollection"]
    assert len(bars) == len(result.schedule)
    labels = [t.get_text() for t in ax.get_yticklabels()]
    names = ["depot", "farm", "mill"]
    assert labels == ["%d. %s" % (i + 1, names[loc]) for i, loc in enumerate(result.route)] + [
        "back at %s" % names[result.route[0]]]
    assert any(t.get_text().startswith(" midnight") for t in ax.texts)
    plt.close(ax.figure)
    with pytest.raises(ValueError, match="no schedule"):
        tourloom_kit.plot_schedule(tourloom.solve(**DISTANCE_ONLY))


def test_time_window_text_errors_name_the_source_and_line():
    with pytest.raises(tsptw.FormatError, match=r"^inline:3: row 2 of the travel-time matrix has 1 entries"):
        tsptw.parse_instance("2\n0 1\n1\n0 5\n0 5\n", "inline")
    instance = tsptw.parse_instance("2\n0 1.5\n1.5 0\n0 50\n1 5\n", "inline", scale=10)
    assert (instance.name, instance.times, instance.windows) == ("inline", [[0, 15], [15, 0]], [(0, 500), (10, 50)])
