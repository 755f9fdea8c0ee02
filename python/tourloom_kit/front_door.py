"""tourloom_kit.solve: tourloom.solve behind a forgiving front door.

tourloom.solve takes exactly what its converter reads (integers, tuples as
pairs, lists or integer arrays) and trusts the rest: a short list or a
window that closes before it opens ends the call with a PanicException
(which `except Exception` does not catch), and wrong units are solved
without a word. This door converts the data people naturally have, refuses
what cannot work with an exception naming the argument and the location,
warns about suspicious units, and only then calls the module. The rules
live in tourloom_kit.inputs, which check_inputs reads as well.
"""

from __future__ import annotations

import warnings
from typing import Any

from .inputs import REFUSED, WARNED, UnitsWarning, normalise


def solve(distance_matrix: Any, duration_matrix: Any = None, job_durations: Any = None, time_windows: Any = None,
          operation_times: Any = None, time_limit: Any = None) -> Any:
    """Solve like tourloom.solve (same six arguments, same PyOutput), after
    checking and converting the arguments.

    Converted without a word: pandas DataFrames and Series (their values);
    numpy float arrays of whole numbers; any length-2 sequence as a window
    or as operation_times (lists, as JSON gives them; numpy rows); a numpy
    (k, 2) array as one location's windows; timezone-aware datetimes as
    window ends (a fraction of a second rounded inwards); timedeltas as
    operating hours; a float time_limit, rounded up to whole seconds; each
    location's windows sorted and overlapping ones merged; a closing hour of
    86400 read as 86399.

    Refused, before any work: ValueError (TypeError for a wrong type)
    naming the argument and the row or location, saying what to do: an
    empty or non-square matrix, lists that do not have one entry per
    location, a location without windows, a window or operating hours out
    of order, an entry out of the solve's range, naive datetimes, a
    negative or oversized time_limit, a time model given in part.

    Warned (UnitsWarning, a UserWarning): window times before 2000 or after
    2100, operating hours that look like hours or minutes, zero work at a
    location with windows, a time limit over an hour.

    tourloom.solve stays the exact door: it converts nothing and costs
    nothing extra. tourloom_kit.check_inputs returns the same findings as
    sentences instead of acting on them."""
    prepared = normalise(distance_matrix, duration_matrix, job_durations, time_windows, operation_times, time_limit)
    refused = prepared.of(REFUSED)
    if refused:
        first = refused[0]
        more = len(refused) - 1
        message = str(first)
        if more:
            message += " (and %d more: tourloom_kit.check_inputs lists them all)" % more
        raise first.error(message)
    for finding in prepared.of(WARNED):
        warnings.warn(str(finding), UnitsWarning, stacklevel=2)
    import tourloom

    return tourloom.solve(**prepared.arguments)


__all__ = ["solve"]
