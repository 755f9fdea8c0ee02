"""PyOutput: which attributes are None together, unit conversions and
full-range values, fresh lists at every read, and a class that cannot be
built, extended or written to from Python."""

import platform
import time
import weakref

import pytest

import tourloom
from support import DAY, HOUR, U64, at, never_descend, raised

ATTRIBUTES = [
    "distance",
    "route",
    "lateness",
    "duration",
    "working_time",
    "waiting_time",
    "traveling_time",
    "start_time",
    "end_time",
    "iterations",
    "time_taken_microseconds",
    "schedule",
]
TIME_ATTRIBUTES = ATTRIBUTES[2:9] + ["schedule"]

MATRIX = [[0, 4, 1], [4, 0, 2], [1, 2, 0]]
DURATIONS = [[0, HOUR, HOUR], [HOUR, 0, HOUR], [HOUR, HOUR, 0]]
JOBS = [HOUR, HOUR, HOUR]
WINDOWS = [[(at(8), at(18))]] * 3


def test_attributes_in_declared_order():
    declared = [name for name in vars(tourloom.PyOutput) if not name.startswith("_")]
    assert declared == ATTRIBUTES


# A time model needs all three of durations, jobs and windows; with any of
# them missing the time attributes are None together.
@pytest.mark.parametrize(
    "kwargs",
    [
        {},
        {"duration_matrix": DURATIONS, "job_durations": JOBS},
        {"duration_matrix": DURATIONS, "time_windows": WINDOWS},
        {"job_durations": JOBS, "time_windows": WINDOWS, "operation_times": (0, HOUR)},
    ],
    ids=["nothing", "no-windows", "no-jobs", "no-durations"],
)
def test_without_time_model(kwargs):
    result = tourloom.solve(MATRIX, **kwargs)
    assert [getattr(result, name) for name in TIME_ATTRIBUTES] == [None] * 8
    assert sorted(result.route) == [0, 1, 2]
    for name in ("distance", "iterations", "time_taken_microseconds"):
        assert type(getattr(result, name)) is int


def test_with_time_model_all_time_attributes_are_ints():
    result = tourloom.solve(MATRIX, DURATIONS, JOBS, WINDOWS)
    for name in TIME_ATTRIBUTES[:-1]:
        assert type(getattr(result, name)) is int
    assert type(result.schedule) is list


def test_zero_durations_give_empty_schedule():
    windows = [[(at(9), at(10))], [(at(6), at(7)), (at(8), at(9))], [(at(7), at(8))]]
    result = tourloom.solve(MATRIX, [[0] * 3] * 3, [0, 0, 0], windows)
    assert result.schedule == []
    assert [result.lateness, result.duration, result.working_time, result.waiting_time, result.traveling_time] == [0] * 5
    # The tour starts at the first window of its first stop.
    assert result.start_time == result.end_time == windows[result.route[0]][0][0]


def test_route_is_a_fresh_list_at_every_read():
    result = tourloom.solve(MATRIX)
    first = result.route
    second = result.route
    assert first == second and first is not second
    first.append(99)
    first[0] = 42
    assert result.route == second


# One stop, so the tour is d[0][0]: any 64-bit value comes back unchanged.
@pytest.mark.parametrize("value", [0, 1, 2**32, 2**63, U64 - 1], ids=["0", "1", "2**32", "2**63", "2**64-1"])
def test_distance_full_range(value):
    assert tourloom.solve([[value]]).distance == value


def test_distance_sum_reaches_top_of_range():
    # d[0][1] + d[1][0] = 2**63 + (2**63 - 1) = 2**64 - 1
    assert tourloom.solve([[0, 2**63], [2**63 - 1, 0]]).distance == U64 - 1


# A single-instant window at `value` with nothing to do: the tour starts and
# ends there. Values of 2**63 and above are dates before 1970 and come back
# as the same count.
@pytest.mark.parametrize(
    "value",
    [0, 2**32, 8210266876799, U64 - DAY, U64 - 1, U64 - 8334601315200],
    ids=["epoch", "2**32", "last-second-of-262142", "1969-12-31", "one-second-before-epoch", "first-second-of-262143BC"],
)
def test_instants_full_range(value):
    result = tourloom.solve([[0]], [[0]], [0], [[(value, value)]])
    assert (result.start_time, result.end_time, result.schedule) == (value, value, [])


def test_dates_before_1970_in_figures_and_schedule():
    # Window 10:00-12:00 on 1969-12-31 (day -1), a 1 h job, 30 min back to
    # the start: work 10:00-11:00, travel 11:00-11:30.
    base = U64 - DAY
    result = tourloom.solve([[5]], [[HOUR // 2]], [HOUR], [[(at(10, base=base), at(12, base=base))]])
    assert (result.start_time, result.end_time) == (at(10, base=base), at(11.5, base=base))
    windows = [event._0.window for event in result.schedule]
    assert windows == [(at(10, base=base), at(11, base=base)), (at(11, base=base), at(11.5, base=base))]
    assert (result.duration, result.working_time, result.traveling_time) == (5400, 3600, 1800)


def test_negative_limit_is_accepted_and_stops_at_once():
    result = tourloom.solve(MATRIX, time_limit=never_descend())
    assert (result.route, result.iterations) == ([0, 1, 2], 0)


def test_time_taken_is_in_microseconds():
    # The loop ends only once more than the 1 s limit has passed, and the
    # measured time lies inside the call.
    begin = time.perf_counter()
    result = tourloom.solve([[0]], time_limit=1)
    wall = time.perf_counter() - begin
    assert 1_000_000 <= result.time_taken_microseconds <= wall * 1_000_000
    assert result.iterations >= 1


def test_no_constructor():
    exc = raised(tourloom.PyOutput)
    assert type(exc) is TypeError and str(exc) == "No constructor defined for PyOutput"
    assert str(raised(tourloom.PyOutput, 1, distance=2)) == "No constructor defined for PyOutput"


def test_not_subclassable():
    def subclass():
        class Derived(tourloom.PyOutput):
            pass

    exc = raised(subclass)
    assert type(exc) is TypeError
    assert str(exc) == "type 'tourloom.PyOutput' is not an acceptable base type"


def rows_or_value(value):
    # Event objects compare by identity; their windows carry the content.
    if isinstance(value, list) and value and hasattr(value[0], "_0"):
        return [event._0.window for event in value]
    return value


@pytest.mark.parametrize("name", ATTRIBUTES)
def test_attribute_cannot_be_set_or_deleted(name):
    result = tourloom.solve(MATRIX, DURATIONS, JOBS, WINDOWS)
    before = rows_or_value(getattr(result, name))
    assert type(raised(setattr, result, name, 7)) is AttributeError
    assert type(raised(delattr, result, name)) is AttributeError
    assert rows_or_value(getattr(result, name)) == before


def test_no_new_attributes():
    result = tourloom.solve(MATRIX)
    assert type(raised(setattr, result, "colour", "red")) is AttributeError
    assert not hasattr(result, "colour")


@pytest.mark.skipif(platform.python_implementation() == "PyPy", reason="every PyPy object accepts weak references")
def test_no_weak_references():
    assert type(raised(weakref.ref, tourloom.solve(MATRIX))) is TypeError


def test_identity_semantics():
    a = tourloom.solve(MATRIX)
    b = tourloom.solve(MATRIX)
    assert a == a and a != b
    assert hash(a) == hash(a)
