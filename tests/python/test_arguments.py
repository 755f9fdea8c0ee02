"""Argument binding of `solve`: which call shapes bind, the exact binding
errors and the order in which they are detected, and what the module shows
to introspection."""

import collections
import importlib.machinery
import importlib.util

import pytest

import tourloom
from support import raised

MATRIX = [[0, 3, 9], [4, 0, 2], [7, 5, 0]]

BINDING_ERRORS = [
    ((), {}, "solve() missing 1 required positional argument: 'distance_matrix'"),
    ((), {"time_limit": 1}, "solve() missing 1 required positional argument: 'distance_matrix'"),
    (("x",) * 7, {}, "solve() takes from 1 to 6 positional arguments but 7 were given"),
    ((None,) * 8, {}, "solve() takes from 1 to 6 positional arguments but 8 were given"),
    ((None,) * 7, {"speed": 1}, "solve() takes from 1 to 6 positional arguments but 7 were given"),
    ((MATRIX,), {"distance_matrix": MATRIX}, "solve() got multiple values for argument 'distance_matrix'"),
    ((MATRIX, None), {"duration_matrix": None}, "solve() got multiple values for argument 'duration_matrix'"),
    ((), {"speed": 1}, "solve() got an unexpected keyword argument 'speed'"),
    ((MATRIX,), {"speed": 1, "distance_matrix": MATRIX}, "solve() got an unexpected keyword argument 'speed'"),
    ((MATRIX,), {"distance_matrix": MATRIX, "speed": 1}, "solve() got multiple values for argument 'distance_matrix'"),
    ((), {"Distance_matrix": MATRIX}, "solve() got an unexpected keyword argument 'Distance_matrix'"),
    ((MATRIX,), {"\udcff": 1}, "solve() got an unexpected keyword argument '\udcff'"),
]


@pytest.mark.parametrize(
    "args, kwargs, message",
    BINDING_ERRORS,
    ids=[
        "nothing",
        "only-a-later-keyword",
        "seven-positional-unconvertible",
        "eight-positional",
        "too-many-before-keywords",
        "matrix-twice",
        "duration-twice",
        "unknown-keyword-alone",
        "unknown-before-duplicate",
        "duplicate-before-unknown",
        "keyword-case-matters",
        "keyword-not-utf8",
    ],
)
def test_binding_error(args, kwargs, message):
    exc = raised(tourloom.solve, *args, **kwargs)
    assert type(exc) is TypeError
    assert str(exc) == message


def _summary(result):
    return (result.route, result.distance, result.iterations, result.schedule, result.lateness)


@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((MATRIX, None, None, None, None, None), {}),
        ((MATRIX,), {"time_limit": None}),
        ((), {"distance_matrix": MATRIX, "operation_times": None, "job_durations": None}),
        ((MATRIX, None), {"time_windows": None}),
    ],
    ids=["five-positional-none", "keyword-none", "all-keywords", "mixed"],
)
def test_none_is_absent(args, kwargs):
    assert _summary(tourloom.solve(*args, **kwargs)) == _summary(tourloom.solve(MATRIX))


Pair = collections.namedtuple("Pair", "start end")


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


# Each input is equivalent to the plain lists [[0, 7], [5, 0]]: a two-stop
# tour costs d[0][1] + d[1][0] = 7 + 5 = 12 whichever way it runs.
@pytest.mark.parametrize(
    "matrix",
    [
        [[0, 7], [5, 0]],
        ((0, 7), (5, 0)),
        [b"\x00\x07", b"\x05\x00"],
        [bytearray(b"\x00\x07"), range(5, -1, -5)],
        [[False, 7], [5, False]],
        [[Index(0), Index(7)], [Index(5), 0]],
        [memoryview(b"\x00\x07"), [5, 0]],
    ],
    ids=["lists", "tuples", "bytes", "bytearray-and-range", "bools", "index-objects", "memoryview"],
)
def test_accepted_sequences(matrix):
    assert tourloom.solve(matrix).distance == 12


def test_true_reads_as_one():
    assert tourloom.solve([[True]]).distance == 1


@pytest.mark.parametrize(
    "windows, hours",
    [
        ([[(0, 10)]], (3600, 7200)),
        ([[Pair(0, 10)]], Pair(3600, 7200)),
        (((Pair(Index(0), 10),),), (Index(3600), 7200)),
    ],
    ids=["tuples", "named-tuples", "index-items"],
)
def test_accepted_pairs(windows, hours):
    # One stop, a 60 s job in a window opening at 0: operations open at
    # 01:00, so the work waits an hour and runs 3600..3660.
    result = tourloom.solve([[0]], [[0]], [60], windows, hours)
    assert (result.waiting_time, result.working_time, result.end_time) == (3600, 60, 3660)


def test_module_attributes():
    public = sorted(name for name in vars(tourloom) if not name.startswith("__"))
    assert public == ["PyOutput", "solve"]
    assert tourloom.__all__ == ["solve", "PyOutput"]
    assert tourloom.__name__ == "tourloom"
    assert isinstance(tourloom.__doc__, str) and tourloom.__doc__


def test_solve_introspection():
    solve = tourloom.solve
    assert solve.__name__ == "solve"
    assert solve.__module__ == "tourloom"
    assert solve.__doc__ == "Solving the Traveling Salesman Problem with Time Windows."
    assert solve.__text_signature__ == (
        "(distance_matrix, duration_matrix=None, job_durations=None, "
        "time_windows=None, operation_times=None, time_limit=None)"
    )


def test_second_initialisation_gives_same_module():
    loader = importlib.machinery.ExtensionFileLoader("tourloom", tourloom.__file__)
    spec = importlib.util.spec_from_file_location("tourloom", tourloom.__file__, loader=loader)
    again = importlib.util.module_from_spec(spec)
    assert again is tourloom
    assert again.__all__ == ["solve", "PyOutput"]
