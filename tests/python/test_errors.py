"""Conversion errors of `solve` (the parameter prefix on exactly TypeError,
the kept __cause__, parameter order) and the panic exception."""

import pytest

import tourloom
from support import HOUR, U64, index_message, panic_class, raised

ONE = [[0]]
TIMED = {"distance_matrix": ONE, "duration_matrix": [[0]], "job_durations": [0], "time_windows": [[(0, 1)]]}
P = pytest.param


def arg(name, text):
    return TypeError, "argument '%s': %s" % (name, text)


STR = "Can't extract `str` to `Vec`"


@pytest.mark.parametrize(
    "kwargs, expected",
    [
        P({"distance_matrix": "abc"}, arg("distance_matrix", STR), id="str-matrix"),
        P({"distance_matrix": ["ab"]}, arg("distance_matrix", STR), id="str-row"),
        P({"distance_matrix": None}, arg("distance_matrix", "'NoneType' object cannot be converted to 'Sequence'"), id="none"),
        P({"distance_matrix": [5]}, arg("distance_matrix", "'int' object cannot be converted to 'Sequence'"), id="int-row"),
        P({"distance_matrix": [{0: 1}]}, arg("distance_matrix", "'dict' object cannot be converted to 'Sequence'"), id="dict-row"),
        P({"distance_matrix": [[1.5]]}, arg("distance_matrix", index_message(1.5)), id="float-entry"),
        P({"distance_matrix": ONE, "duration_matrix": [(0,), "x"]}, arg("duration_matrix", STR), id="str-duration-row"),
        P({"distance_matrix": ONE, "job_durations": "12"}, arg("job_durations", STR), id="str-jobs"),
        P({"distance_matrix": ONE, "job_durations": [None]}, arg("job_durations", index_message(None)), id="none-job"),
        P({"distance_matrix": ONE, "time_windows": 7}, arg("time_windows", "'int' object cannot be converted to 'Sequence'"), id="int-windows"),
        P({"distance_matrix": ONE, "time_windows": [[[1, 2]]]}, arg("time_windows", "'list' object cannot be converted to 'PyTuple'"), id="list-pair"),
        P({"distance_matrix": ONE, "time_windows": [[(1, 2, 3)]]}, (ValueError, "expected tuple of length 2, but got tuple of length 3"), id="triple"),
        P({"distance_matrix": ONE, "time_windows": [[()]]}, (ValueError, "expected tuple of length 2, but got tuple of length 0"), id="empty-pair"),
        P({"distance_matrix": ONE, "time_windows": [[(1, "2")]]}, arg("time_windows", index_message("2")), id="str-in-pair"),
        P({"distance_matrix": ONE, "operation_times": [1, 2]}, arg("operation_times", "'list' object cannot be converted to 'PyTuple'"), id="list-hours"),
        P({"distance_matrix": ONE, "operation_times": (1, 2, 3)}, (ValueError, "expected tuple of length 2, but got tuple of length 3"), id="triple-hours"),
        P({"distance_matrix": ONE, "time_limit": "5"}, arg("time_limit", index_message("5")), id="str-limit"),
        P({"distance_matrix": "abc", "time_windows": 7}, arg("distance_matrix", STR), id="first-parameter-wins"),
        P({"distance_matrix": ONE, "job_durations": [1.5], "time_windows": 7}, arg("job_durations", index_message(1.5)), id="earlier-wins"),
    ],
)
def test_conversion_error(kwargs, expected):
    exc = raised(tourloom.solve, **kwargs)
    assert (type(exc), str(exc)) == expected


# The interpreter's own OverflowError, unprefixed: the same text wherever
# the value sits.
@pytest.mark.parametrize("value", [-1, U64, -(2**70)], ids=["minus-one", "2**64", "very-negative"])
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
    assert len(texts) == 1 and not texts.pop().startswith("argument")


class RaisesOnIndex:
    def __init__(self, exc):
        self.exc = exc

    def __index__(self):
        raise self.exc


def chained(exc, cause):
    exc.__cause__ = cause
    return exc


@pytest.mark.parametrize(
    "exc, text",
    [
        P(chained(TypeError("bad index"), ValueError("root")), "argument 'job_durations': bad index", id="typeerror-with-cause"),
        P(TypeError("no cause"), "argument 'job_durations': no cause", id="typeerror-without-cause"),
        P(chained(type("SubTypeError", (TypeError,), {})("sub"), KeyError("k")), None, id="typeerror-subclass"),
        P(ZeroDivisionError("other kind"), None, id="other-error"),
    ],
)
def test_error_raised_by_index(exc, text):
    err = raised(tourloom.solve, ONE, job_durations=[RaisesOnIndex(exc)])
    if text is None:  # anything but exactly TypeError is raised as it was
        assert err is exc
    else:
        assert (type(err), str(err)) == (TypeError, text)
        assert err is not exc and err.__cause__ is exc.__cause__


@pytest.mark.parametrize(
    "kwargs, message",
    [
        P({"distance_matrix": []}, "index out of bounds: the len is 0 but the index is 0", id="empty-matrix"),
        P(dict(TIMED, distance_matrix=[[0, 1], [1, 0]], duration_matrix=[[0, 0], [0, 0]], time_windows=[[(0, 1)], []]),
          "index out of bounds: the len is 1 but the index is 1", id="jobs-shorter-than-route"),
        P({"distance_matrix": ONE, "time_windows": [[(HOUR, 0)]]}, "assertion failed: start <= end", id="window-backwards"),
        # 8210266876800 is the first second after year 262142.
        P(dict(TIMED, time_windows=[[(0, 8210266876800)]]), "called `Option::unwrap()` on a `None` value", id="window-too-late"),
        P(dict(TIMED, operation_times=(0, 2 * 86400)), "assertion failed: daily_start < daily_end", id="hours-two-days"),
        P(dict(TIMED, operation_times=(79200, 108000)), "assertion failed: daily_start < daily_end", id="hours-overnight"),
        P(dict(TIMED, job_durations=[2**63]), "TimeDelta::seconds out of bounds", id="job-too-long"),
        P({"distance_matrix": ONE, "time_limit": 9223372036854776}, "TimeDelta::seconds out of bounds", id="limit-too-long"),
    ],
)
def test_panic(kwargs, message, capsys):
    exc = raised(tourloom.solve, **kwargs)
    lines = capsys.readouterr().err.splitlines()
    assert type(exc) is panic_class() and exc.args == (message,)
    # One diagnostic line naming a source place and the message.
    assert len(lines) == 1
    assert lines[0].startswith("tourloom: panicked at src/") and lines[0].endswith(": " + message)


def test_panic_exception_class():
    cls = panic_class()
    assert (cls.__name__, cls.__module__, cls.__bases__) == ("PanicException", "tourloom_runtime", (BaseException,))
    assert "BaseException" in cls.__doc__ and not hasattr(tourloom, "PanicException")
    assert panic_class() is cls  # created once
    with pytest.raises(cls):
        try:
            tourloom.solve(ONE, time_windows=[[(1, 0)]])
        except Exception:  # must not catch it
            pytest.fail("PanicException was caught as an Exception")
