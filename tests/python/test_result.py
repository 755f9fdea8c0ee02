"""PyOutput: attributes None together, unit conversions and full-range
values, fresh lists, and a class closed to construction, extension and
writing."""

import platform
import time
import weakref

import pytest

import tourloom
from support import DAY, HOUR, U64, at, raised

ATTRIBUTES = [
    "distance", "route", "lateness", "duration", "working_time", "waiting_time", "traveling_time",
    "start_time", "end_time", "iterations", "time_taken_microseconds", "schedule",
]
TIME_ATTRIBUTES = ATTRIBUTES[2:9] + ["schedule"]
M = [[0, 4, 1], [4, 0, 2], [1, 2, 0]]
DURATIONS = [[0, HOUR, HOUR], [HOUR, 0, HOUR], [HOUR, HOUR, 0]]
JOBS = [HOUR] * 3
WINDOWS = [[(at(8), at(18))]] * 3


def test_attributes_in_declared_order():
    assert [n for n in vars(tourloom.PyOutput) if not n.startswith("_")] == ATTRIBUTES


# A time model needs durations, jobs and windows; lacking any, the time
# attributes are None together.
@pytest.mark.parametrize(
    "kwargs",
    [
        pytest.param({}, id="nothing"),
        pytest.param({"duration_matrix": DURATIONS, "job_durations": JOBS}, id="no-windows"),
        pytest.param({"job_durations": JOBS, "time_windows": WINDOWS, "operation_times": (0, HOUR)}, id="no-durations"),
    ],
)
def test_without_time_model(kwargs):
    result = tourloom.solve(M, **kwargs)
    assert [getattr(result, name) for name in TIME_ATTRIBUTES] == [None] * 8
    assert [type(getattr(result, n)) for n in ("distance", "iterations", "time_taken_microseconds")] == [int] * 3
    timed = tourloom.solve(M, DURATIONS, JOBS, WINDOWS)
    assert [type(getattr(timed, name)) for name in TIME_ATTRIBUTES] == [int] * 7 + [list]


def test_zero_durations_give_empty_schedule():
    windows = [[(at(9), at(10))], [(at(6), at(7)), (at(8), at(9))], [(at(7), at(8))]]
    result = tourloom.solve(M, [[0] * 3] * 3, [0, 0, 0], windows)
    assert result.schedule == []
    assert [result.lateness, result.duration, result.working_time, result.waiting_time, result.traveling_time] == [0] * 5
    # The tour starts at the first window of its first stop.
    assert result.start_time == result.end_time == windows[result.route[0]][0][0]


def test_route_is_a_fresh_list_at_every_read():
    result = tourloom.solve(M)
    first, second = result.route, result.route
    assert first == second and first is not second
    first[0] = 42
    assert result.route == second


# One stop: the tour is d[0][0]; d[0][1] + d[1][0] = 2**63 + (2**63 - 1).
@pytest.mark.parametrize(
    "matrix, distance",
    [([[0]], 0), ([[2**32]], 2**32), ([[2**63]], 2**63), ([[U64 - 1]], U64 - 1), ([[0, 2**63], [2**63 - 1, 0]], U64 - 1)],
    ids=["0", "2**32", "2**63", "2**64-1", "sum-2**64-1"],
)
def test_distance_full_range(matrix, distance):
    assert tourloom.solve(matrix).distance == distance


# A single-instant window and nothing to do: the tour starts and ends there.
# Counts of 2**63 and above are dates before 1970 and come back unchanged.
@pytest.mark.parametrize(
    "value",
    [0, 2**32, 8210266876799, U64 - DAY, U64 - 1, U64 - 8334601315200],
    ids=["epoch", "2**32", "last-second-262142", "1969-12-31", "second-before-epoch", "first-second-262143BC"],
)
def test_instants_full_range(value):
    result = tourloom.solve([[0]], [[0]], [0], [[(value, value)]])
    assert (result.start_time, result.end_time, result.schedule) == (value, value, [])


def test_dates_before_1970():
    # 1969-12-31, window 10:00-12:00, a 1 h job, 30 min back: work
    # 10:00-11:00, travel 11:00-11:30.
    base = U64 - DAY
    result = tourloom.solve([[5]], [[HOUR // 2]], [HOUR], [[(at(10, base=base), at(12, base=base))]])
    assert (result.start_time, result.end_time) == (at(10, base=base), at(11.5, base=base))
    assert [e._0.window for e in result.schedule] == [
        (at(10, base=base), at(11, base=base)),
        (at(11, base=base), at(11.5, base=base)),
    ]
    assert (result.duration, result.working_time, result.traveling_time) == (5400, 3600, 1800)


def test_time_taken_is_in_microseconds():
    # The search stops only once more than the 1 s limit has passed, and
    # the time it measured lies inside the call.
    begin = time.perf_counter()
    result = tourloom.solve([[0]], time_limit=1)
    wall = time.perf_counter() - begin
    assert 1_000_000 <= result.time_taken_microseconds <= wall * 1_000_000
    assert result.iterations >= 1


def test_class_is_closed():
    exc = raised(tourloom.PyOutput, 1, distance=2)
    assert (type(exc), str(exc)) == (TypeError, "No constructor defined for PyOutput")

    def subclass():
        class Derived(tourloom.PyOutput):
            pass

    exc = raised(subclass)
    assert (type(exc), str(exc)) == (TypeError, "type 'tourloom.PyOutput' is not an acceptable base type")
    result = tourloom.solve(M)
    assert type(raised(setattr, result, "colour", "red")) is AttributeError
    assert not hasattr(result, "colour")
    assert result == result and result != tourloom.solve(M)  # identity
    if platform.python_implementation() != "PyPy":  # every PyPy object takes weak references
        assert type(raised(weakref.ref, result)) is TypeError


@pytest.mark.parametrize("name", ATTRIBUTES)
def test_attribute_cannot_be_set_or_deleted(name):
    def read(r):  # events compare by identity; their windows carry the content
        value = getattr(r, name)
        return [e._0.window for e in value] if name == "schedule" else value

    result = tourloom.solve(M, DURATIONS, JOBS, WINDOWS)
    before = read(result)
    assert type(raised(setattr, result, name, 7)) is AttributeError
    assert type(raised(delattr, result, name)) is AttributeError
    assert read(result) == before
