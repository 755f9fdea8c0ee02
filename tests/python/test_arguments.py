"""Argument binding of `solve`: the call shapes that bind, the exact binding
errors in the order they are detected, and what introspection shows."""

import collections
import importlib.machinery
import importlib.util

import pytest

import tourloom
from support import ShortText, raised

M = [[0, 3, 9], [4, 0, 2], [7, 5, 0]]
P = pytest.param


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        P((), {}, "solve() missing 1 required positional argument: 'distance_matrix'", id="nothing"),
        P((), {"time_limit": 1}, "solve() missing 1 required positional argument: 'distance_matrix'", id="later-keyword-only"),
        P(("x",) * 7, {}, "solve() takes from 1 to 6 positional arguments but 7 were given", id="seven-unconvertible"),
        P((None,) * 7, {"speed": 1}, "solve() takes from 1 to 6 positional arguments but 7 were given", id="too-many-first"),
        P((M,), {"distance_matrix": M}, "solve() got multiple values for argument 'distance_matrix'", id="matrix-twice"),
        P((M, None), {"duration_matrix": None}, "solve() got multiple values for argument 'duration_matrix'", id="none-twice"),
        P((), {"speed": 1}, "solve() got an unexpected keyword argument 'speed'", id="unknown-not-missing"),
        P((M,), {"speed": 1, "distance_matrix": M}, "solve() got an unexpected keyword argument 'speed'", id="unknown-first"),
        P((M,), {"distance_matrix": M, "speed": 1}, "solve() got multiple values for argument 'distance_matrix'", id="duplicate-first"),
        P((), {"Distance_matrix": M}, "solve() got an unexpected keyword argument 'Distance_matrix'", id="case-matters"),
        P((M,), {"\udcff": 1}, "solve() got an unexpected keyword argument '\udcff'", id="not-utf8"),
    ],
)
def test_binding_error(args, kwargs, message):
    exc = raised(tourloom.solve, *args, **kwargs)
    assert (type(exc), str(exc)) == (TypeError, message)


# A keyword name is matched, and shown, by its whole text, whatever its
# class says its length is.
@pytest.mark.parametrize(
    "name, message",
    [
        P(ShortText("distance_matrix"), None, id="matrix"),
        P(ShortText("time_limit"), "solve() missing 1 required positional argument: 'distance_matrix'", id="later"),
        P(ShortText("speed_of_the_vehicle"), "solve() got an unexpected keyword argument 'speed_of_the_vehicle'",
          id="unknown"),
        P(ShortText("di"), "solve() got an unexpected keyword argument 'di'", id="prefix-only"),
        P(type("Name", (str,), {})("distance_matrix"), None, id="plain-subclass"),
    ],
)
def test_keyword_names_are_read_whole(name, message):
    for _ in range(20):  # a write past a buffer may show only later
        if message is None:
            assert tourloom.solve(**{name: M}).distance == 3 + 2 + 7
        else:
            exc = raised(tourloom.solve, **{name: M})
            assert (type(exc), str(exc)) == (TypeError, message)


@pytest.mark.parametrize(
    "args, kwargs",
    [
        P((M, None, None, None, None, None), {}, id="five-positional-none"),
        P((M,), {"time_limit": None}, id="keyword-none"),
        P((), {"distance_matrix": M, "operation_times": None, "job_durations": None}, id="all-keywords"),
    ],
)
def test_none_is_absent(args, kwargs):
    def summary(r):
        return (r.route, r.distance, r.iterations, r.schedule, r.lateness)

    assert summary(tourloom.solve(*args, **kwargs)) == summary(tourloom.solve(M))


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


# Each is [[0, 7], [5, 0]]: a two-stop tour costs 7 + 5 whichever way it runs.
@pytest.mark.parametrize(
    "matrix",
    [
        P(((0, 7), (5, 0)), id="tuples"),
        P([b"\x00\x07", b"\x05\x00"], id="bytes"),
        P([bytearray(b"\x00\x07"), range(5, -1, -5)], id="bytearray-range"),
        P([memoryview(b"\x00\x07"), [5, False]], id="memoryview-bool"),
        P([[Index(0), Index(7)], [Index(5), 0]], id="index-objects"),
    ],
)
def test_accepted_sequences(matrix):
    assert tourloom.solve(matrix).distance == 12


Pair = collections.namedtuple("Pair", "start end")


@pytest.mark.parametrize(
    "windows, hours",
    [
        P([[(0, 10)]], (3600, 7200), id="tuples"),
        P(((Pair(Index(0), 10),),), Pair(Index(3600), 7200), id="named-tuples"),
    ],
)
def test_accepted_pairs(windows, hours):
    # A 60 s job in a window opening at 0; operations open at 01:00, so it
    # waits an hour and runs 3600..3660.
    result = tourloom.solve([[0]], [[0]], [60], windows, hours)
    assert (result.waiting_time, result.working_time, result.end_time) == (3600, 60, 3660)


def test_module_and_function():
    assert sorted(n for n in vars(tourloom) if not n.startswith("__")) == ["PyOutput", "solve"]
    assert tourloom.__all__ == ["solve", "PyOutput"]
    assert tourloom.__doc__
    solve = tourloom.solve
    assert (solve.__name__, solve.__module__) == ("solve", "tourloom")
    assert solve.__doc__ == "Solving the Traveling Salesman Problem with Time Windows."
    assert solve.__text_signature__ == (
        "(distance_matrix, duration_matrix=None, job_durations=None, "
        "time_windows=None, operation_times=None, time_limit=None)"
    )


def test_second_initialisation_gives_same_module():
    loader = importlib.machinery.ExtensionFileLoader("tourloom", tourloom.__file__)
    spec = importlib.util.spec_from_file_location("tourloom", tourloom.__file__, loader=loader)
    again = importlib.util.module_from_spec(spec)
    assert again is tourloom and again.__all__ == ["solve", "PyOutput"]
