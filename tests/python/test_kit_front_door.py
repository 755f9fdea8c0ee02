"""tourloom_kit.solve: what a newcomer's mistakes give through the front
door (a solve, an error naming the argument, or a warning naming it; never
a panic, never silence), and that check_inputs says the same things."""

import datetime as dt
import warnings

import pytest

import tourloom
import tourloom_kit
from support import HOUR, MIDNIGHT, at, panic_class
from tourloom_kit import UnitsWarning, check_inputs

P = pytest.param
UTC = dt.timezone.utc

DISTANCES = [[0, 7, 9], [7, 0, 4], [9, 4, 0]]
TRAVEL = [[0, 600, 900], [600, 0, 300], [900, 300, 0]]
WORK = [300, 600, 600]
WINDOWS = [[(at(8), at(12))], [(at(9), at(13))], [(at(10), at(15))]]
HOURS = (6 * HOUR, 18 * HOUR)
BASE = dict(distance_matrix=DISTANCES, duration_matrix=TRAVEL, job_durations=WORK, time_windows=WINDOWS,
            operation_times=HOURS)


def np():
    return pytest.importorskip("numpy", reason="numpy is not installed for this interpreter")


def pd():
    return pytest.importorskip("pandas", reason="pandas is not installed (the kit extra)")


def figures(result):
    events = None if result.schedule is None else [
        (type(e).__name__, getattr(e._0, "location", None), e._0.window) for e in result.schedule]
    return (result.route, result.distance, result.lateness, result.start_time, result.end_time, events)


def aware(unix):
    return dt.datetime.fromtimestamp(unix, UTC)


# Natural data that means exactly BASE (or BASE with a time limit): the front
# door must give what tourloom.solve gives on the plain form.
SAME_AS_PLAIN = [
    P(lambda: {"time_windows": [[list(w) for w in ws] for ws in WINDOWS]}, {}, id="windows-as-lists-json"),
    P(lambda: {"operation_times": list(HOURS)}, {}, id="hours-as-list"),
    P(lambda: {"time_windows": [[(aware(a), aware(b))] for ((a, b),) in WINDOWS]}, {}, id="aware-datetimes"),
    P(lambda: {"time_windows": [[(aware(a).astimezone(dt.timezone(dt.timedelta(hours=-5))), b)]
                                for ((a, b),) in WINDOWS]}, {}, id="aware-datetime-other-zone"),
    # 08:00:00.5 rounds inwards to 08:00:01, 12:00:00.9 to 12:00:00.
    P(lambda: {"time_windows": [[(aware(at(8)) + dt.timedelta(microseconds=500000),
                                  aware(at(12)) + dt.timedelta(microseconds=900000))]] + WINDOWS[1:]},
      {"time_windows": [[(at(8) + 1, at(12))]] + WINDOWS[1:]}, id="datetime-fractions-round-inwards"),
    P(lambda: {"time_windows": [[(at(10), at(15)), (at(8), at(9))], [(at(9), at(11)), (at(10), at(13))],
                                WINDOWS[2]]},
      {"time_windows": [[(at(8), at(9)), (at(10), at(15))], [(at(9), at(13))], WINDOWS[2]]},
      id="windows-sorted-and-merged"),
    P(lambda: {"distance_matrix": [[float(v) for v in row] for row in DISTANCES], "job_durations": [300.0, 600, 600]},
      {}, id="whole-floats"),
    P(lambda: {"time_limit": 0.5}, {"time_limit": 1}, id="float-limit-rounds-up"),
    P(lambda: {"time_limit": 0.0}, {"time_limit": 0}, id="float-zero-limit"),
    P(lambda: {"operation_times": (dt.timedelta(hours=6), dt.timedelta(hours=18))}, {}, id="hours-as-timedeltas"),
    P(lambda: {"operation_times": (8 * HOUR, 86400)}, {"operation_times": (8 * HOUR, 86399)},
      id="closing-at-midnight"),
    P(lambda: {"distance_matrix": np().array(DISTANCES, dtype=float)}, {}, id="numpy-float-whole"),
    P(lambda: {"distance_matrix": np().array(DISTANCES, dtype=np().int16),
               "duration_matrix": np().array(TRAVEL, dtype=np().uint32)}, {}, id="numpy-int"),
    P(lambda: {"time_windows": [np().array(ws) for ws in WINDOWS]}, {}, id="numpy-k-by-2-windows"),
    P(lambda: {"time_windows": np().array(WINDOWS)}, {}, id="numpy-n-by-k-by-2-windows"),
    P(lambda: {"job_durations": np().array(WORK, dtype=float)}, {}, id="numpy-float-jobs"),
    P(lambda: {"distance_matrix": pd().DataFrame(DISTANCES), "duration_matrix": pd().DataFrame(TRAVEL)}, {},
      id="dataframes"),
    P(lambda: {"job_durations": pd().Series(WORK)}, {}, id="series"),
]


@pytest.mark.parametrize("natural, plain", SAME_AS_PLAIN)
def test_natural_data_solves_as_its_plain_form(natural, plain):
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # none of these deserves a warning
        result = tourloom_kit.solve(**dict(BASE, **natural()))
    expected = tourloom.solve(**dict(BASE, **plain))
    assert figures(result) == figures(expected)


# change, exception, the whole message's beginning
REFUSED = [
    P(lambda: {"duration_matrix": [[0, 1], [1, 0]]}, ValueError,
      "duration_matrix: 2 rows for the 3 locations of distance_matrix; give one row and one column per location",
      id="2x2-durations-for-3"),
    P(lambda: {"distance_matrix": []}, ValueError, "distance_matrix: no locations; give at least one row",
      id="empty-matrix"),
    P(lambda: {"time_windows": [[], WINDOWS[1], WINDOWS[2]]}, ValueError,
      "time_windows[0]: no windows: a location needs at least one", id="empty-window-list"),
    P(lambda: {"time_windows": [[(at(9), at(8))], WINDOWS[1], WINDOWS[2]]}, ValueError,
      "time_windows[0][0]: opens at %d after it closes at %d; give (start, end) with start <= end" % (at(9), at(8)),
      id="window-reversed"),
    P(lambda: {"operation_times": (18 * HOUR, 6 * HOUR)}, ValueError,
      "operation_times: the day opens at 64800 and closes at 21600; the opening must come first", id="hours-reversed"),
    P(lambda: {"operation_times": (22 * HOUR, 30 * HOUR)}, ValueError,
      "operation_times: 108000 is not a time of day", id="hours-past-midnight"),
    P(lambda: {"distance_matrix": [[0, 1], [1, 0], [2, 2]]}, ValueError,
      "distance_matrix: row 0 has 2 entries, expected 3 (the matrix has 3 rows and must be square)", id="3x2-matrix"),
    P(lambda: {"distance_matrix": [[0, 1, 2], [1, 0], [2, 1, 0]]}, ValueError,
      "distance_matrix: row 1 has 2 entries, expected 3", id="ragged-matrix"),
    P(lambda: {"job_durations": None}, ValueError,
      "job_durations is missing: give duration_matrix, job_durations and time_windows together, or none of them",
      id="time-model-in-part"),
    P(lambda: {"duration_matrix": None, "time_windows": None}, ValueError,
      "duration_matrix and time_windows are missing: give", id="time-model-one-of-three"),
    P(lambda: {"duration_matrix": None, "job_durations": None, "time_windows": None}, ValueError,
      "operation_times: operating hours apply only with a time model", id="hours-without-model"),
    P(lambda: {"job_durations": [300, 600]}, ValueError,
      "job_durations: 2 entries for 3 locations; give exactly one per location", id="short-jobs"),
    P(lambda: {"time_windows": WINDOWS + WINDOWS[:1]}, ValueError,
      "time_windows: 4 entries for 3 locations", id="windows-for-4"),
    P(lambda: {"time_windows": [ws[0] for ws in WINDOWS]}, TypeError,
      "time_windows[0]: (%d, %d) is one window, not a list of windows; give [(start, end)]" % WINDOWS[0][0],
      id="one-pair-per-location"),
    P(lambda: {"time_windows": [[(at(8), at(9), at(10))]] + WINDOWS[1:]}, ValueError,
      "time_windows[0][0]: a window is a pair (start, end)", id="window-of-three"),
    P(lambda: {"time_windows": [[(dt.datetime(2023, 11, 15, 8), dt.datetime(2023, 11, 15, 12))]] + WINDOWS[1:]},
      ValueError, "time_windows[0][0]: 2023-11-15 08:00:00 is a naive datetime: it names no timezone, and "
      "tourloom's times are UTC; make it aware", id="naive-datetime"),
    P(lambda: {"time_windows": [[(at(8), 8_210_266_876_800)]] + WINDOWS[1:]}, ValueError,
      "time_windows[0][0]: 8210266876800 is out of range: at most 8210266876799", id="window-past-last-date"),
    P(lambda: {"duration_matrix": [[0, 2**70, 1], [1, 0, 1], [1, 1, 0]]}, ValueError,
      "duration_matrix[0][1]: 1180591620717411303424 is out of range: at most 9223372036854775 seconds",
      id="entry-2-to-the-70"),
    P(lambda: {"distance_matrix": [[0, 2**64, 1], [1, 0, 1], [1, 1, 0]]}, ValueError,
      "distance_matrix[0][1]: 18446744073709551616 is out of range: at most 2**64 - 1", id="distance-past-u64"),
    P(lambda: {"distance_matrix": [[0, 2**63, 1], [2**63, 0, 1], [1, 1, 0]]}, ValueError,
      "distance_matrix: distances so large that a tour's total can pass 2**64 - 1", id="distance-sum-wraps"),
    P(lambda: {"job_durations": [300, -5, 600]}, ValueError,
      "job_durations[1]: -5 is negative; give 0 to 9223372036854775 seconds", id="negative-work"),
    P(lambda: {"duration_matrix": [[0, 10**12, 1], [1, 0, 1], [1, 1, 0]],
               "time_windows": [[(at(8), 8_000_000_000_000)]] + WINDOWS[1:]}, ValueError,
      "duration_matrix: with these windows and durations a tour can end after the solver's last date",
      id="tour-past-last-date"),
    P(lambda: {"job_durations": [300.5, 600, 600]}, ValueError,
      "job_durations[0]: 300.5 is not a whole number; round it first", id="fractional-work"),
    P(lambda: {"distance_matrix": [["0", "7", "9"], [7, 0, 4], [9, 4, 0]]}, TypeError,
      "distance_matrix[0][0]: '0' is text, not a number", id="text-entries"),
    P(lambda: {"distance_matrix": "0 7 9"}, TypeError, "distance_matrix: expected a square matrix", id="text-matrix"),
    P(lambda: {"distance_matrix": [1, 2, 3]}, TypeError, "distance_matrix[0]: row 0 is an int, not a list",
      id="flat-list"),
    P(lambda: {"job_durations": 300}, TypeError,
      "job_durations: expected one entry per location, got int 300; for the same value everywhere give [value] * n",
      id="scalar-work"),
    P(lambda: {"time_limit": -1}, ValueError,
      "time_limit: -1 is negative; give 0 (no search), a positive number of seconds, or None", id="negative-limit"),
    P(lambda: {"time_limit": 2**63}, ValueError,
      "time_limit: 9223372036854775808 is out of range: at most 9223372036854775 seconds", id="oversized-limit"),
    P(lambda: {"time_limit": float("inf")}, ValueError, "time_limit: inf is not a finite number", id="endless-limit"),
    P(lambda: {"time_limit": "5"}, TypeError, "time_limit: '5' is not a number of seconds", id="text-limit"),
    P(lambda: {"time_limit": True}, TypeError, "time_limit: True is not a number of seconds", id="bool-limit"),
    P(lambda: {"distance_matrix": np().array([[0, np().nan, 1], [1, 0, 1], [1, 1, 0]])}, ValueError,
      "distance_matrix[0][1]: nan is not a finite number", id="numpy-nan"),
    P(lambda: {"distance_matrix": np().array([[0, 2.5, 1], [1, 0, 1], [1, 1, 0]])}, ValueError,
      "distance_matrix[0][1]: 2.5 is not a whole number; round the array first", id="numpy-fraction"),
    P(lambda: {"distance_matrix": np().array([[0, -7, 9], [7, 0, 4], [9, 4, 0]])}, ValueError,
      "distance_matrix[0][1]: -7 is negative", id="numpy-negative"),
    P(lambda: {"distance_matrix": np().zeros((3, 2), dtype=int)}, ValueError,
      "distance_matrix: a 3 x 2 array; the matrix must be square", id="numpy-3x2"),
    P(lambda: {"time_windows": [[(pd().NaT, at(9))]] + WINDOWS[1:]}, ValueError,
      "time_windows[0][0]: NaT is a missing time; every window needs a start and an end", id="pandas-nat"),
    P(lambda: {"time_windows": [np().array([[at(8), at(9)]], dtype="datetime64[s]")] + WINDOWS[1:]}, ValueError,
      "time_windows[0][0]: 2023-11-15T08:00:00 is a numpy datetime64, which names no timezone",
      id="numpy-datetime64"),
]


@pytest.mark.parametrize("change, error, message", REFUSED)
def test_mistakes_are_refused_naming_the_argument(change, error, message):
    with pytest.raises(Exception) as caught:  # an Exception: never a PanicException
        tourloom_kit.solve(**dict(BASE, **change()))
    assert type(caught.value) is error
    assert str(caught.value).startswith(message), str(caught.value)
    # check_inputs gives the same sentence among its advice.
    assert any(message.startswith(a) or a.startswith(message) for a in check_inputs(**dict(BASE, **change())))


@pytest.mark.parametrize("change", [
    P({"time_windows": [[], WINDOWS[1], WINDOWS[2]]}, id="empty-window-list"),
    P({"time_windows": [[(at(9), at(8))], WINDOWS[1], WINDOWS[2]]}, id="window-reversed"),
    P({"operation_times": (18 * HOUR, 6 * HOUR)}, id="hours-reversed"),
    P({"operation_times": (8 * HOUR, 86400)}, id="closing-at-midnight"),
    P({"duration_matrix": [[0, 1], [1, 0]]}, id="short-durations"),
    P({"distance_matrix": []}, id="empty-matrix"),
])
def test_what_the_door_handles_panics_in_the_module_itself(change):
    # The reason for the door: the plain call ends in a PanicException here.
    with pytest.raises(panic_class()):
        tourloom.solve(**dict(BASE, **change))


# change, the warning's beginning; the solve still runs on the values given
WARNED = [
    P({"time_windows": [[(480, 720)], [(540, 780)], [(600, 900)]]},
      "time_windows[0][0]: 480 is in the first week of 1970: this looks like seconds (or minutes) from the start of "
      "a day", id="minutes-of-day"),
    P({"time_windows": [[(8 * HOUR, 12 * HOUR)], [(9 * HOUR, 13 * HOUR)], [(10 * HOUR, 15 * HOUR)]]},
      "time_windows[0][0]: 28800 is in the first week of 1970", id="seconds-of-day"),
    P({"time_windows": [[(a * 1000, b * 1000)] for ((a, b),) in WINDOWS]},
      "time_windows[0][0]: looks like Unix time in milliseconds", id="milliseconds"),
    P({"time_windows": [[(at(8) - 30 * 365 * 86400, at(9))]] + WINDOWS[1:]},
      "time_windows[0][0]: %d is in the year 1993" % (at(8) - 30 * 365 * 86400), id="year-1993"),
    P({"operation_times": (8, 17)},
      "operation_times: (8, 17) looks like hours; give seconds after midnight, e.g. (28800, 61200)", id="hours"),
    P({"operation_times": (480, 1020)},
      "operation_times: (480, 1020) looks like minutes; give seconds after midnight, e.g. (28800, 61200)",
      id="minutes"),
    P({"operation_times": (8 * HOUR, 8 * HOUR)}, "operation_times: opens and closes at the same time", id="no-hours"),
    P({"job_durations": [300, 0, 600]}, "job_durations[1]: 0 seconds of work is never held to the location's windows",
      id="zero-work"),
]


@pytest.mark.parametrize("change, message", WARNED)
def test_suspicious_units_are_solved_with_a_warning_naming_the_argument(change, message):
    with pytest.warns(UnitsWarning) as caught:
        result = tourloom_kit.solve(**dict(BASE, **change))
    assert [str(w.message)[:len(message)] for w in caught] == [message]
    assert caught[0].filename == __file__  # points at the caller's line
    assert figures(result) == figures(tourloom.solve(**dict(BASE, **change)))


def test_a_long_time_limit_is_warned_about_before_the_search():
    # 5000 s would really search for 5000 s: only the advice is asked here.
    assert check_inputs(DISTANCES, time_limit=5000) == [
        "time_limit: 5000 seconds (1.4 hours) of search, which nothing interrupts (not even Ctrl-C); if it is "
        "milliseconds, divide by 1000"]


def test_several_refusals_are_counted_in_the_message():
    with pytest.raises(ValueError) as caught:
        tourloom_kit.solve([[0, 1], [1]], job_durations=[1], time_limit=-1)
    assert str(caught.value).endswith("(and 3 more: tourloom_kit.check_inputs lists them all)")
    assert len(check_inputs([[0, 1], [1]], job_durations=[1], time_limit=-1)) == 4


def test_conversions_are_advice_for_the_plain_module():
    advice = check_inputs(**dict(BASE, time_windows=[[list(w) for w in ws] for ws in WINDOWS], time_limit=0.5))
    assert advice == [
        "time_windows[0][0]: a window as list is refused by tourloom.solve, which takes tuples (tourloom_kit.solve "
        "converts it)",
        "time_limit: 0.5 is not an integer; tourloom.solve takes whole seconds (tourloom_kit.solve rounds it up to 1)"]


def test_the_door_takes_a_large_list_matrix_unchanged():
    # Plain int rows are checked at C speed and passed on as they are.
    from tourloom_kit.inputs import normalise

    matrix = [[abs(i - j) for j in range(300)] for i in range(300)]
    prepared = normalise(matrix)
    assert prepared.findings == []
    assert prepared.arguments["distance_matrix"] == matrix
