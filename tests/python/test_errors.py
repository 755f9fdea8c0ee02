"""Conversion errors of `solve` (the parameter prefix on TypeError only, the
kept __cause__, the order of parameters) and the panic exception."""

import pytest

import tourloom
from support import HOUR, U64, index_message, panic_class, raised

ONE = [[0]]
TIMED = {"duration_matrix": [[0]], "job_durations": [0]}


def prefixed(name, text):
    return "argument '%s': %s" % (name, text)


CONVERSION_ERRORS = [
    ({"distance_matrix": "abc"}, TypeError, prefixed("distance_matrix", "Can't extract `str` to `Vec`")),
    ({"distance_matrix": ["ab"]}, TypeError, prefixed("distance_matrix", "Can't extract `str` to `Vec`")),
    ({"distance_matrix": None}, TypeError, prefixed("distance_matrix", "'NoneType' object cannot be converted to 'Sequence'")),
    ({"distance_matrix": 5}, TypeError, prefixed("distance_matrix", "'int' object cannot be converted to 'Sequence'")),
    ({"distance_matrix": [5]}, TypeError, prefixed("distance_matrix", "'int' object cannot be converted to 'Sequence'")),
    ({"distance_matrix": [{0: 1}]}, TypeError, prefixed("distance_matrix", "'dict' object cannot be converted to 'Sequence'")),
    ({"distance_matrix": [[1.5]]}, TypeError, prefixed("distance_matrix", index_message(1.5))),
    ({"distance_matrix": [[None]]}, TypeError, prefixed("distance_matrix", index_message(None))),
    ({"distance_matrix": ONE, "duration_matrix": [(0,), "x"]}, TypeError, prefixed("duration_matrix", "Can't extract `str` to `Vec`")),
    ({"distance_matrix": ONE, "job_durations": "12"}, TypeError, prefixed("job_durations", "Can't extract `str` to `Vec`")),
    ({"distance_matrix": ONE, "job_durations": [[1]]}, TypeError, prefixed("job_durations", index_message([1]))),
    ({"distance_matrix": ONE, "time_windows": 7}, TypeError, prefixed("time_windows", "'int' object cannot be converted to 'Sequence'")),
    ({"distance_matrix": ONE, "time_windows": ["x"]}, TypeError, prefixed("time_windows", "Can't extract `str` to `Vec`")),
    ({"distance_matrix": ONE, "time_windows": [[[1, 2]]]}, TypeError, prefixed("time_windows", "'list' object cannot be converted to 'PyTuple'")),
    ({"distance_matrix": ONE, "time_windows": [[(1, 2, 3)]]}, ValueError, "expected tuple of length 2, but got tuple of length 3"),
    ({"distance_matrix": ONE, "time_windows": [[()]]}, ValueError, "expected tuple of length 2, but got tuple of length 0"),
    ({"distance_matrix": ONE, "time_windows": [[(1, "2")]]}, TypeError, prefixed("time_windows", index_message("2"))),
    ({"distance_matrix": ONE, "operation_times": [1, 2]}, TypeError, prefixed("operation_times", "'list' object cannot be converted to 'PyTuple'")),
    ({"distance_matrix": ONE, "operation_times": (1, 2, 3)}, ValueError, "expected tuple of length 2, but got tuple of length 3"),
    ({"distance_matrix": ONE, "time_limit": 1.5}, TypeError, prefixed("time_limit", index_message(1.5))),
    ({"distance_matrix": ONE, "time_limit": "5"}, TypeError, prefixed("time_limit", index_message("5"))),
    ({"distance_matrix": "abc", "time_windows": 7}, TypeError, prefixed("distance_matrix", "Can't extract `str` to `Vec`")),
    ({"distance_matrix": ONE, "job_durations": [1.5], "time_windows": 7}, TypeError, prefixed("job_durations", index_message(1.5))),
]


@pytest.mark.parametrize(
    "kwargs, kind, message",
    CONVERSION_ERRORS,
    ids=[
        "str-matrix",
        "str-row",
        "none-matrix",
        "int-matrix",
        "int-row",
        "dict-row",
        "float-entry",
        "none-entry",
        "str-duration-row",
        "str-jobs",
        "list-job",
        "int-windows",
        "str-window-list",
        "list-pair",
        "triple",
        "empty-pair",
        "str-pair-item",
        "list-hours",
        "triple-hours",
        "float-limit",
        "str-limit",
        "first-parameter-wins",
        "earlier-parameter-wins",
    ],
)
def test_conversion_error(kwargs, kind, message):
    exc = raised(tourloom.solve, **kwargs)
    assert type(exc) is kind
    assert str(exc) == message


# The interpreter's own OverflowError passes through without the parameter
# name: the same text wherever the value sits.
@pytest.mark.parametrize("value", [-1, U64, 2**100, -(2**70)], ids=["minus-one", "2**64", "2**100", "very-negative"])
def test_out_of_range_integer_is_unprefixed(value):
    placements = [
        {"distance_matrix": [[value]]},
        {"distance_matrix": ONE, "job_durations": [value]},
        {"distance_matrix": ONE, "time_windows": [[(0, value)]]},
        {"distance_matrix": ONE, "operation_times": (value, 0)},
        {"distance_matrix": ONE, "time_limit": value},
    ]
    errors = [raised(tourloom.solve, **kwargs) for kwargs in placements]
    assert {type(e) for e in errors} == {OverflowError}
    texts = {str(e) for e in errors}
    assert len(texts) == 1
    assert not texts.pop().startswith("argument")


class RaisesOnIndex:
    def __init__(self, exc):
        self.exc = exc

    def __index__(self):
        raise self.exc


class SpecialTypeError(TypeError):
    pass


def _chained(exc, cause):
    exc.__cause__ = cause
    return exc


@pytest.mark.parametrize(
    "exc, prefixed_text",
    [
        (_chained(TypeError("bad index"), ValueError("root")), "argument 'job_durations': bad index"),
        (TypeError("no cause"), "argument 'job_durations': no cause"),
        (_chained(SpecialTypeError("subclass"), KeyError("k")), None),
        (ZeroDivisionError("other kind"), None),
    ],
    ids=["typeerror-with-cause", "typeerror-without-cause", "typeerror-subclass", "other-error"],
)
def test_error_from_index_conversion(exc, prefixed_text):
    err = raised(tourloom.solve, ONE, job_durations=[RaisesOnIndex(exc)])
    if prefixed_text is None:
        # Anything but exactly TypeError is raised as it was.
        assert err is exc
    else:
        assert type(err) is TypeError and err is not exc
        assert str(err) == prefixed_text
        assert err.__cause__ is exc.__cause__


# Each input breaks one precondition inside the solve. The clock values are
# arbitrary; 8210266876800 is the first second after year 262142.
PANICS = [
    ({"distance_matrix": []}, "index out of bounds: the len is 0 but the index is 0"),
    ({"distance_matrix": [[0, 1], [1, 0]], "duration_matrix": [[0, 0], [0, 0]], "job_durations": [0], "time_windows": [[], []]},
     "index out of bounds: the len is 0 but the index is 0"),
    ({"distance_matrix": [[0, 1], [1, 0]], "duration_matrix": [[0, 0], [0, 0]], "job_durations": [0], "time_windows": [[(0, 1)], []]},
     "index out of bounds: the len is 1 but the index is 1"),
    ({"distance_matrix": ONE, "time_windows": [[(HOUR, 0)]]}, "assertion failed: start <= end"),
    (dict(TIMED, distance_matrix=ONE, time_windows=[[(0, 8210266876800)]]), "called `Option::unwrap()` on a `None` value"),
    (dict(TIMED, distance_matrix=ONE, time_windows=[[(0, 1)]], operation_times=(0, 2 * 86400)), "assertion failed: daily_start < daily_end"),
    (dict(TIMED, distance_matrix=ONE, time_windows=[[(0, 1)]], operation_times=(79200, 108000)), "assertion failed: daily_start < daily_end"),
    (dict(TIMED, distance_matrix=ONE, job_durations=[2**63]), "TimeDelta::seconds out of bounds"),
    ({"distance_matrix": ONE, "time_limit": 2**63}, "TimeDelta::seconds out of bounds"),
    ({"distance_matrix": ONE, "time_limit": 9223372036854776}, "TimeDelta::seconds out of bounds"),
]


@pytest.mark.parametrize(
    "kwargs, message",
    PANICS,
    ids=[
        "empty-matrix",
        "no-window-to-start",
        "jobs-shorter-than-route",
        "window-start-after-end",
        "window-past-year-262142",
        "hours-two-days",
        "hours-overnight",
        "job-too-long",
        "limit-2**63",
        "limit-just-too-long",
    ],
)
def test_panic(kwargs, message, capsys):
    exc = raised(tourloom.solve, **kwargs)
    # One diagnostic line naming a source place and the message.
    lines = capsys.readouterr().err.splitlines()
    assert type(exc) is panic_class()
    assert exc.args == (message,)
    assert len(lines) == 1
    assert lines[0].startswith("tourloom: panicked at src/") and lines[0].endswith(": " + message)


def test_panic_exception_class():
    cls = panic_class()
    assert cls.__name__ == "PanicException"
    assert cls.__module__ == "tourloom_runtime"
    assert cls.__bases__ == (BaseException,)
    assert not issubclass(cls, Exception)
    assert "BaseException" in cls.__doc__
    assert not hasattr(tourloom, "PanicException")
    assert panic_class() is cls  # created once


def test_panic_passes_exception_handlers():
    with pytest.raises(BaseException) as info:
        try:
            tourloom.solve(ONE, time_windows=[[(1, 0)]])
        except Exception:  # must not catch it
            pytest.fail("PanicException was caught as an Exception")
    assert type(info.value) is panic_class()
