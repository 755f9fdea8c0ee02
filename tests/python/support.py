"""Shared helpers of the Python tests: clock arithmetic, the panic class,
and a few inputs used by several test modules."""

import tourloom

HOUR = 3600
DAY = 86400
U64 = 2**64
# Midnight (UTC) that starts 2023-11-15: a day boundary, so clock times read
# as plain offsets.
MIDNIGHT = 1_700_006_400
assert MIDNIGHT % DAY == 0


def at(hours, day=0, base=MIDNIGHT):
    """Unix seconds of a clock time `hours` after midnight of day `day`."""
    return base + day * DAY + round(hours * HOUR)


def raised(call, *args, **kwargs):
    """The exception (of any kind) that `call` raises; fails if it returns."""
    try:
        call(*args, **kwargs)
    except BaseException as exc:  # PanicException is not an Exception
        return exc
    raise AssertionError("no exception raised")


def outcome(**kwargs):
    """Everything a solve gives back, as plain values, or the exception it
    raised as (class name, message): what two ways of giving the same input
    must agree on."""
    try:
        out = tourloom.solve(**kwargs)
    except BaseException as exc:  # the panic exception is not an Exception
        return type(exc).__name__, str(exc)
    schedule = None if out.schedule is None else [(type(e).__name__, e._0.window) for e in out.schedule]
    return out.route, out.distance, out.lateness, out.duration, out.start_time, out.end_time, schedule


# Three stops; one opens late, so the tour waits there, and one opens only
# the next day, so that the tour waits overnight.
TIMED = {
    "distance_matrix": [[0, 7, 9], [7, 0, 4], [9, 4, 0]],
    "duration_matrix": [[0, HOUR, 2 * HOUR], [HOUR, 0, HOUR], [2 * HOUR, HOUR, 0]],
    "job_durations": [HOUR, HOUR, 2 * HOUR],
    "time_windows": [[(at(8), at(9))], [(at(12), at(16))], [(at(14, day=1), at(20, day=1))]],
    "operation_times": (8 * HOUR, 18 * HOUR),
}


def panic_class():
    """The module's panic exception class (it is not a module attribute)."""
    return type(raised(tourloom.solve, []))


def index_message(obj):
    """The interpreter's own text for an object that is not an integer."""
    import operator

    return str(raised(operator.index, obj))


def schedule_rows(result, base=MIDNIGHT):
    """The schedule as (kind, location or None, start, end) rows, times in
    hours after `base`."""
    rows = []
    for event in result.schedule:
        payload = event._0
        start, end = payload.window
        rows.append(
            (
                type(event).__name__,
                getattr(payload, "location", None),
                (start - base) / HOUR,
                (end - base) / HOUR,
            )
        )
    return rows


class ShortText(str):
    """Text whose class misstates its length. PyPy hands a str subclass to
    C code as a copy sized by its __len__; reading or formatting that copy
    runs past its buffer."""

    def __len__(self):
        return 2


def never_descend():
    """A time limit that ends the search before its first descent: 2**64 - 1
    is read as -1 second, so the identity route comes back as it is."""
    return U64 - 1
