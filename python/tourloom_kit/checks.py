"""Advice on the inputs of `tourloom.solve`, before calling it.

solve takes its inputs as they are: a ragged matrix, a short list or a
window that opens after it closes are not refused up front, and some of
them end the call with a PanicException deep inside the search. Units are
the other common trap: windows are Unix seconds (not milliseconds) and
operating hours are seconds after midnight (not hours). check_inputs looks
for all of that and says where, in plain sentences; it changes nothing and
solve itself behaves the same whether or not it was called.
"""

from __future__ import annotations

from typing import Any, List, Optional

DAY = 86400
# A Unix time in seconds above this is after the year 5138, while the same
# count read as milliseconds is 1973 onwards: a timestamp in milliseconds.
MILLISECONDS_FROM = 10**11


def check_inputs(distance_matrix: Any, duration_matrix: Any = None, job_durations: Any = None,
                 time_windows: Any = None, operation_times: Any = None, time_limit: Any = None) -> List[str]:
    """Advice on solve's arguments, one sentence each naming the argument
    (and the row or location); an empty list when nothing looks wrong."""
    advice: List[str] = []
    n = _check_matrix("distance_matrix", distance_matrix, None, advice)
    if duration_matrix is not None:
        _check_matrix("duration_matrix", duration_matrix, n, advice)
    if job_durations is not None:
        _check_list("job_durations", job_durations, n, advice)
    if time_windows is not None:
        _check_windows(time_windows, n, advice)
    if operation_times is not None:
        _check_hours(operation_times, advice)
    if time_limit is not None and not _is_integer(time_limit):
        advice.append("time_limit: %r is not an integer; give whole seconds, e.g. %d" % (time_limit, _round(time_limit)))
    timed = [duration_matrix is not None, job_durations is not None, time_windows is not None]
    if any(timed) and not all(timed):
        advice.append("duration_matrix, job_durations and time_windows make the time model only together; "
                      "with one of them missing, routes are judged by distance alone")
    return advice


def _round(value: Any) -> int:
    try:
        return int(round(float(value)))
    except (TypeError, ValueError):
        return 0


def _is_integer(value: Any) -> bool:
    import operator

    try:
        operator.index(value)
    except TypeError:
        return False
    return True


def _dtype_advice(name: str, value: Any, advice: List[str]) -> bool:
    """For a numpy array: advice on a dtype solve does not take, or on the
    negative entries of an integer array (found by numpy itself, so that a
    large matrix is not walked entry by entry); True when the entries still
    have to be looked at one by one."""
    dtype = getattr(value, "dtype", None)
    if dtype is None or not hasattr(value, "tolist"):
        return True
    if dtype.kind == "u":
        return False
    if dtype.kind == "i":
        negative = (value < 0).nonzero()
        if len(negative[0]):
            index = tuple(int(axis[0]) for axis in negative)
            advice.append("%s%s: %d is negative; solve takes 0 to 2**64 - 1"
                          % (name, "".join("[%d]" % k for k in index), int(value[index])))
        return False
    if dtype.kind == "b":
        advice.append("%s: a bool array is not read as numbers; cast it with .astype('uint64')" % name)
        return False
    if dtype.kind == "f":
        import math

        values = value.ravel().tolist()
        if all(math.isfinite(v) and v == int(v) and v >= 0 for v in values):
            advice.append("%s: a %s array is refused even though its values are whole numbers; "
                          "cast it with .astype('uint64')" % (name, dtype))
        else:
            advice.append("%s: a %s array is refused; round it to whole non-negative numbers and cast it "
                          "with .round().astype('uint64')" % (name, dtype))
        return False
    return True


def _entry_advice(name: str, where: str, value: Any, advice: List[str]) -> bool:
    if isinstance(value, float) and value.is_integer():
        advice.append("%s%s: %r is a float; solve takes integers only (int(%r))" % (name, where, value, value))
        return False
    if not _is_integer(value):
        advice.append("%s%s: %r is not an integer" % (name, where, value))
        return False
    import operator

    if operator.index(value) < 0:
        advice.append("%s%s: %r is negative; solve takes 0 to 2**64 - 1" % (name, where, value))
        return False
    return True


def _rows(value: Any) -> Optional[List[Any]]:
    if isinstance(value, (str, bytes)) or not hasattr(value, "__len__"):
        return None
    return list(value)


def _check_matrix(name: str, matrix: Any, n: Optional[int], advice: List[str]) -> Optional[int]:
    rows = _rows(matrix)
    if rows is None:
        advice.append("%s: expected a list of rows (a square matrix), got %s" % (name, type(matrix).__name__))
        return n
    entries_left = _dtype_advice(name, matrix, advice)
    if not rows:
        advice.append("%s: no locations (solve needs at least one row)" % name)
    if n is not None and len(rows) != n:
        advice.append("%s: %d rows for the %d locations of distance_matrix" % (name, len(rows), n))
    for i, row in enumerate(rows):
        if isinstance(row, (str, bytes)) or not hasattr(row, "__len__"):
            advice.append("%s: row %d is a %s, not a list" % (name, i, type(row).__name__))
            continue
        if len(row) != len(rows):
            advice.append("%s: row %d has %d entries, expected %d (the matrix has %d rows and must be square)"
                          % (name, i, len(row), len(rows), len(rows)))
        if not entries_left:
            continue
        for j, entry in enumerate(row):
            if not _entry_advice(name, "[%d][%d]" % (i, j), entry, advice):
                break  # one sentence per row is enough
    return len(rows)


def _check_list(name: str, values: Any, n: Optional[int], advice: List[str]) -> None:
    entries = _rows(values)
    if entries is None:
        advice.append("%s: expected a list with one entry per location, got %s" % (name, type(values).__name__))
        return
    if n is not None and len(entries) < n:
        advice.append("%s: %d entries for %d locations; the solve would fail with a PanicException"
                      % (name, len(entries), n))
    if not _dtype_advice(name, values, advice):
        return
    for i, entry in enumerate(entries):
        if not _entry_advice(name, "[%d]" % i, entry, advice):
            return


def _check_windows(time_windows: Any, n: Optional[int], advice: List[str]) -> None:
    locations = _rows(time_windows)
    if locations is None:
        advice.append("time_windows: expected one list of (start, end) tuples per location")
        return
    if n is not None and len(locations) < n:
        advice.append("time_windows: %d entries for %d locations; the solve would fail with a PanicException"
                      % (len(locations), n))
    milliseconds = None
    for location, windows in enumerate(locations):
        pairs = _rows(windows)
        if pairs is None:
            advice.append("time_windows[%d]: expected a list of (start, end) tuples, got %s"
                          % (location, type(windows).__name__))
            continue
        previous = None
        for k, pair in enumerate(pairs):
            where = "time_windows[%d][%d]" % (location, k)
            if not isinstance(pair, tuple) or len(pair) != 2:
                advice.append("%s: a window is a tuple (start, end), got %r" % (where, pair))
                continue
            if not all(_entry_advice(where, "", v, advice) for v in pair):
                continue
            start, end = (int(v) for v in pair)
            if start > end:
                advice.append("%s: opens at %d after it closes at %d; the solve would fail with a PanicException"
                              % (where, start, end))
            elif previous is not None and start < previous[1]:
                kind = "overlaps" if start >= previous[0] else "comes before"
                advice.append("%s: %s the window before it (%d, %d); give each location's windows sorted and "
                              "apart" % (where, kind, previous[0], previous[1]))
            if milliseconds is None and max(start, end) >= MILLISECONDS_FROM:
                milliseconds = where
            previous = (start, end)
    if milliseconds is not None:
        advice.append("%s: looks like Unix time in milliseconds; solve takes seconds (divide by 1000)" % milliseconds)


def _check_hours(operation_times: Any, advice: List[str]) -> None:
    if not isinstance(operation_times, tuple) or len(operation_times) != 2:
        advice.append("operation_times: expected a tuple (daily start, daily end), got %r" % (operation_times,))
        return
    if not all(_entry_advice("operation_times", "", v, advice) for v in operation_times):
        return
    start, end = (int(v) for v in operation_times)
    if end <= 24 and start < end:
        advice.append("operation_times: (%d, %d) looks like hours; give seconds after midnight, e.g. (%d, %d)"
                      % (start, end, start * 3600, end * 3600))
    elif start >= end:
        advice.append("operation_times: the day opens at %d and closes at %d; the opening must come first "
                      "(the solve would fail with a PanicException)" % (start, end))
    elif end > DAY:
        advice.append("operation_times: closes at %d, after the end of the day (%d seconds)" % (end, DAY))


__all__ = ["check_inputs"]
