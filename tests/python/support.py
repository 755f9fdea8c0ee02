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
