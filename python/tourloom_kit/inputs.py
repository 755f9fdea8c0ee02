"""Every rule about the inputs of a solve, in one place: what natural Python
data is converted into the plain form `tourloom.solve` takes, what would
end that call in a PanicException or mislead it silently, and what looks
like a mistake of units.

`normalise` walks the six arguments once and returns the converted
arguments with a list of findings. Each finding is one of three outcomes:

- CONVERTED: tourloom.solve would refuse the value, but its meaning is
  clear (a list as a pair, a whole float, an aware datetime, a DataFrame);
  tourloom_kit.solve converts it without a word.
- WARNED: the value is valid but probably in the wrong unit (windows in
  1970 or after 2100, operating hours that read like hours or minutes);
  tourloom_kit.solve solves it and warns with UnitsWarning.
- REFUSED: the value would panic deep inside the solve, be silently
  ignored or give a wrong figure; tourloom_kit.solve raises the finding's
  exception (ValueError, or TypeError for a wrong type).

check_inputs turns all three into advice sentences; tourloom_kit.solve
acts on them. Both therefore agree by construction.
"""

from __future__ import annotations

import datetime as dt
import math
import numbers
import operator
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Sequence, Set, Tuple

CONVERTED, WARNED, REFUSED = "converted", "warned", "refused"

U64_MAX = 2**64 - 1
# The longest span the solver represents, in whole seconds (its spans count
# milliseconds in a signed 64-bit integer): durations and the time limit.
LONGEST_SPAN = 9_223_372_036_854_775
# The last Unix second the solver represents (31 December 262142, 23:59:59).
LAST_INSTANT = 8_210_266_876_799
DAY = 86400
HOUR = 3600
# Window times outside these years are almost always in another unit.
PLAUSIBLE_FROM = 946_684_800  # 2000-01-01 UTC
PLAUSIBLE_UNTIL = 4_102_444_800  # 2100-01-01 UTC
# A Unix time in seconds above this is after the year 5138, while the same
# count read as milliseconds is 1973 onwards: a timestamp in milliseconds.
MILLISECONDS_FROM = 10**11
# A time limit above this holds the interpreter (Ctrl-C included) longer
# than anyone waits on purpose; in milliseconds it would be 3.6 s.
LONG_LIMIT = HOUR
EPOCH = dt.datetime(1970, 1, 1, tzinfo=dt.timezone.utc)
NAMES = ("distance_matrix", "duration_matrix", "job_durations", "time_windows", "operation_times", "time_limit")


class UnitsWarning(UserWarning):
    """An input of tourloom_kit.solve that is valid but looks like the wrong
    unit. Once sure, silence it with
    warnings.filterwarnings("ignore", category=tourloom_kit.UnitsWarning)."""


@dataclass(frozen=True)
class Finding:
    """One thing found about one argument: `where` is the index part
    (`"[2][0]"`) or empty; str() gives the whole sentence."""
    argument: str
    where: str
    text: str
    outcome: str
    error: type = ValueError
    prefixed: bool = True  # False: the text names the argument itself

    def __str__(self) -> str:
        return "%s%s: %s" % (self.argument, self.where, self.text) if self.prefixed else self.text


@dataclass
class Normalised:
    """The arguments for tourloom.solve (valid only when nothing is
    refused) and what was found on the way."""
    arguments: Dict[str, Any]
    findings: List[Finding] = field(default_factory=list)

    def of(self, outcome: str) -> List[Finding]:
        return [f for f in self.findings if f.outcome == outcome]


class _Bad(Exception):
    """An entry that cannot be read as a whole number of seconds."""

    def __init__(self, text: str, error: type = TypeError):
        super().__init__(text)
        self.text, self.error = text, error


class _Findings:
    def __init__(self) -> None:
        self.found: List[Finding] = []
        self._once: Set[Tuple[str, str]] = set()
        self.row_maxima: Dict[str, List[int]] = {}

    def refuse(self, argument: str, where: str, text: str, error: type = ValueError, prefixed: bool = True) -> None:
        self.found.append(Finding(argument, where, text, REFUSED, error, prefixed))

    def warn(self, argument: str, where: str, text: str) -> None:
        self.found.append(Finding(argument, where, text, WARNED))

    def convert(self, argument: str, where: str, text: str, key: str = "") -> None:
        """Conversions are said once per argument and kind: one sentence
        about floats in a matrix, not one per entry."""
        if (argument, key or text) in self._once:
            return
        self._once.add((argument, key or text))
        self.found.append(Finding(argument, where, text, CONVERTED))


# ------------------------------------------------------------ single values

def _is_text(value: Any) -> bool:
    return isinstance(value, (str, bytes))


def _whole(value: Any) -> Tuple[int, bool]:
    """(the value as an int, whether it had to be converted from a float);
    _Bad when it is not a whole number."""
    if isinstance(value, int):
        return int(value), False
    if _is_text(value):
        raise _Bad("%r is text, not a number; convert it with int()" % (value,))
    if isinstance(value, dt.datetime):
        raise _Bad("%r is a date; only time_windows take dates" % (value,))
    if isinstance(value, numbers.Real) and not isinstance(value, numbers.Integral):
        number = float(value)
        if not math.isfinite(number):
            raise _Bad("%r is not a finite number" % (value,), ValueError)
        if not number.is_integer():
            raise _Bad("%r is not a whole number; round it first (round(x))" % (value,), ValueError)
        return int(number), True
    try:
        return operator.index(value), False
    except TypeError:
        raise _Bad("%r (%s) is not a number" % (value, type(value).__name__)) from None


def _in_range(number: int, highest: int, unit: str) -> Optional[str]:
    """Why `number` is out of 0..highest, or None."""
    limit = ("2**64 - 1" if highest == U64_MAX else "%d" % highest) + (" " + unit if unit else "")
    if number < 0:
        return "%d is negative; give 0 to %s" % (number, limit)
    if number > highest:
        return "%d is out of range: at most %s" % (number, limit)
    return None


def _instant(value: Any) -> Tuple[int, bool]:
    """A window time as Unix seconds; (seconds, converted). An aware
    datetime gives its Unix time; its fraction of a second is left for the
    caller to round inwards."""
    if type(value).__name__ == "NaTType":
        raise _Bad("NaT is a missing time; every window needs a start and an end", ValueError)
    if isinstance(value, dt.datetime):
        if value.tzinfo is None or value.utcoffset() is None:
            raise _Bad("%s is a naive datetime: it names no timezone, and tourloom's times are UTC; make it "
                       "aware, e.g. value.replace(tzinfo=datetime.timezone.utc) for a UTC time" % value,
                       ValueError)
        return _unix(value), True
    if type(value).__name__ == "datetime64":
        raise _Bad("%s is a numpy datetime64, which names no timezone; convert UTC values with "
                   ".astype('datetime64[s]').astype('int64')" % value, ValueError)
    return _whole(value)


def _unix(moment: dt.datetime) -> int:
    delta = moment - EPOCH
    return delta.days * DAY + delta.seconds


def _fraction(moment: Any) -> bool:
    return isinstance(moment, dt.datetime) and (moment.microsecond != 0 or getattr(moment, "nanosecond", 0) != 0)


# ------------------------------------------------------------ containers

def _numpy(value: Any) -> bool:
    return type(value).__module__ == "numpy" and type(value).__name__ == "ndarray"


def _pandas(value: Any) -> bool:
    return type(value).__module__.startswith("pandas") and hasattr(value, "to_numpy")


def _unwrap(name: str, value: Any, found: _Findings) -> Any:
    """A DataFrame or Series stands for its values."""
    if _pandas(value):
        found.convert(name, "", "a pandas %s is refused by tourloom.solve; pass .to_numpy() "
                      "(tourloom_kit.solve takes its values)" % type(value).__name__)
        return value.to_numpy()
    return value


def _items(value: Any) -> Optional[List[Any]]:
    """The items of a list-like value (a list itself, not a copy), or None
    for a scalar or text."""
    if type(value) is list:
        return value
    if _is_text(value) or not hasattr(value, "__len__") or not hasattr(value, "__iter__"):
        return None
    if isinstance(value, dict):
        return None
    return list(value)


def _kind(value: Any) -> str:
    return type(value).__name__


def _array_matrix(name: str, array: Any, highest: int, unit: str, found: _Findings) -> Optional[Any]:
    """A 2-D numpy array checked by numpy itself (a large matrix is not
    walked entry by entry); the array to pass on, or None when refused."""
    import numpy as np

    if array.ndim != 2:
        found.refuse(name, "", "expected a square matrix, got a %d-dimensional array of shape %s"
                     % (array.ndim, array.shape), TypeError)
        return None
    kind = array.dtype.kind
    if kind == "b":
        found.refuse(name, "", "a bool array is not a matrix of numbers; cast it with .astype('uint64')", TypeError)
        return None
    if kind == "f":
        finite = np.isfinite(array)
        if not finite.all():
            i, j = (int(k[0]) for k in np.nonzero(~finite))
            found.refuse(name, "[%d][%d]" % (i, j), "%r is not a finite number" % float(array[i, j]))
            return None
        fractional = array != np.floor(array)
        if fractional.any():
            i, j = (int(k[0]) for k in np.nonzero(fractional))
            found.refuse(name, "[%d][%d]" % (i, j), "%r is not a whole number; round the array first (.round())"
                         % float(array[i, j]))
            return None
        found.convert(name, "", "a %s array is refused by tourloom.solve even though its values are whole numbers; "
                      "cast it with .astype('uint64') (tourloom_kit.solve does)" % array.dtype)
    elif kind not in "iu":
        return array.tolist()  # object arrays and the like: entry by entry
    if array.size:
        low, high = array.min(), array.max()
        if low < 0 or high > highest:
            bad = (array < 0) if low < 0 else (array > highest)
            i, j = (int(k[0]) for k in np.nonzero(bad))
            found.refuse(name, "[%d][%d]" % (i, j), _in_range(int(array[i, j]), highest, unit) or "")
            return None
    return array.astype(np.uint64) if kind == "f" else array


def _row(name: str, i: int, row: Any, highest: int, unit: str,
         found: _Findings) -> Optional[Tuple[List[int], int]]:
    """One matrix row or list as ints, with its largest entry; None when an
    entry is refused (one sentence per row is enough)."""
    entries = row if type(row) is list else list(row)
    if set(map(type, entries)) <= {int}:
        # The common case at C speed: plain ints, only the range to check.
        if not entries:
            return entries, 0
        high = max(entries)
        if high <= highest and min(entries) >= 0:
            return entries, high
    converted = []
    for j, entry in enumerate(entries):
        where = "[%d][%d]" % (i, j) if i >= 0 else "[%d]" % j
        try:
            number, from_float = _whole(entry)
        except _Bad as bad:
            found.refuse(name, where, bad.text, bad.error)
            return None
        if from_float:
            found.convert(name, where, "%r is a float; tourloom.solve takes integers only (tourloom_kit.solve "
                          "converts whole floats)" % (entry,), key="float")
        problem = _in_range(number, highest, unit)
        if problem:
            found.refuse(name, where, problem)
            return None
        converted.append(number)
    return converted, max(converted, default=0)


def _matrix(name: str, value: Any, n: Optional[int], highest: int, unit: str,
            found: _Findings) -> Tuple[Optional[Any], Optional[int]]:
    """(the converted matrix or None, its number of rows or None); a list
    matrix's row maxima are kept in found.row_maxima[name]."""
    value = _unwrap(name, value, found)
    if _numpy(value):
        checked = _array_matrix(name, value, highest, unit, found)
        if checked is None:
            return None, (value.shape[0] if value.ndim == 2 else None)
        if not isinstance(checked, list):
            rows, columns = checked.shape
            if rows == 0:
                found.refuse(name, "", "no locations; give at least one row")
                return None, None
            if rows != columns:
                found.refuse(name, "", "a %d x %d array; the matrix must be square, one row and one column per "
                             "location" % (rows, columns))
                return None, rows
            if n is not None and rows != n:
                found.refuse(name, "", "%d rows for the %d locations of distance_matrix; give one row and one column "
                             "per location" % (rows, n))
                return None, rows
            return checked, rows
        value = checked
    rows = _items(value)
    if rows is None:
        found.refuse(name, "", "expected a square matrix (a list of rows, a numpy array or a DataFrame), got %s"
                     % _kind(value), TypeError)
        return None, None
    if not rows:
        found.refuse(name, "", "no locations; give at least one row")
        return None, None
    if n is not None and len(rows) != n:
        found.refuse(name, "", "%d rows for the %d locations of distance_matrix; give one row and one column per "
                     "location" % (len(rows), n))
    matrix: List[List[int]] = []
    maxima: List[int] = []
    found.row_maxima[name] = maxima
    good = True
    for i, row in enumerate(rows):
        entries = _items(row)
        if entries is None:
            found.refuse(name, "[%d]" % i, "row %d is %s %s, not a list of numbers; the matrix needs one row per "
                         "location" % (i, "an" if _kind(row)[0] in "aeiou" else "a", _kind(row)), TypeError)
            good = False
            continue
        if len(entries) != len(rows):
            found.refuse(name, "", "row %d has %d entries, expected %d (the matrix has %d rows and must be square)"
                         % (i, len(entries), len(rows), len(rows)))
            good = False
            continue
        converted = _row(name, i, entries, highest, unit, found)
        if converted is None:
            good = False
        else:
            matrix.append(converted[0])
            maxima.append(converted[1])
    return (matrix if good else None), len(rows)


def _per_location(name: str, value: Any, n: Optional[int], highest: int, unit: str,
                  found: _Findings) -> Optional[List[int]]:
    value = _unwrap(name, value, found)
    if _numpy(value):
        value = value.tolist()
    entries = _items(value)
    if entries is None:
        found.refuse(name, "", "expected one entry per location, got %s %r; for the same value everywhere give "
                     "[value] * n" % (_kind(value), value), TypeError)
        return None
    if n is not None and len(entries) != n:
        found.refuse(name, "", "%d entries for %d locations; give exactly one per location" % (len(entries), n))
        return None
    converted = _row(name, -1, entries, highest, unit, found)
    return None if converted is None else converted[0]


# ------------------------------------------------------------ time windows

def _pair(value: Any) -> Optional[List[Any]]:
    items = _items(_unwrap("", value, _Findings()))
    return items if items is not None and len(items) == 2 else None


def _windows(value: Any, n: Optional[int], found: _Findings) -> Optional[List[List[Tuple[int, int]]]]:
    name = "time_windows"
    value = _unwrap(name, value, found)
    if _numpy(value) and value.ndim == 3:
        value = list(value)  # one (k, 2) array per location
    locations = _items(value)
    if locations is None:
        found.refuse(name, "", "expected one list of (start, end) windows per location, got %s" % _kind(value),
                     TypeError)
        return None
    if n is not None and len(locations) != n:
        found.refuse(name, "", "%d entries for %d locations; give one list of windows per location"
                     % (len(locations), n))
    result: List[List[Tuple[int, int]]] = []
    good = True
    for location, windows in enumerate(locations):
        converted = _location_windows(location, windows, found)
        if converted is None:
            good = False
        else:
            result.append(converted)
    return result if good else None


def _location_windows(location: int, windows: Any, found: _Findings) -> Optional[List[Tuple[int, int]]]:
    name, where = "time_windows", "[%d]" % location
    windows = _unwrap(name, windows, found)
    pairs = _items(windows)
    if pairs is None:
        found.refuse(name, where, "expected a list of (start, end) windows, got %s" % _kind(windows), TypeError)
        return None
    if len(pairs) == 2 and all(_pair(p) is None and not _is_text(p) and _items(p) is None for p in pairs):
        found.refuse(name, where, "%r is one window, not a list of windows; give [(start, end)]"
                     % (tuple(pairs),), TypeError)
        return None
    if not pairs:
        found.refuse(name, where, "no windows: a location needs at least one (for a location open at any time give "
                     "one window over the whole planning period)")
        return None
    if _numpy(windows):
        found.convert(name, where, "a numpy array of windows is refused by tourloom.solve; give a list of tuples "
                      "(tourloom_kit.solve converts it)", key="array")
    read: List[Tuple[int, int]] = []
    for k, pair in enumerate(pairs):
        here = "%s[%d]" % (where, k)
        items = _pair(pair)
        if items is None:
            found.refuse(name, here, "a window is a pair (start, end), got %r" % (pair,),
                         TypeError if _items(pair) is None else ValueError)
            return None
        if not isinstance(pair, tuple):
            found.convert(name, here, "a window as %s is refused by tourloom.solve, which takes tuples "
                          "(tourloom_kit.solve converts it)" % _kind(pair), key="pair")
        try:
            (start, converted_start), (end, converted_end) = _instant(items[0]), _instant(items[1])
        except _Bad as bad:
            found.refuse(name, here, bad.text, bad.error)
            return None
        if isinstance(items[0], dt.datetime) or isinstance(items[1], dt.datetime):
            found.convert(name, here, "datetimes are refused by tourloom.solve, which takes Unix seconds "
                          "(tourloom_kit.solve converts aware datetimes)", key="datetime")
        elif converted_start or converted_end:
            found.convert(name, here, "a float is refused by tourloom.solve, which takes integers only "
                          "(tourloom_kit.solve converts whole floats)", key="float")
        # A fraction of a second is rounded inwards, so that the window never
        # grows beyond what was given.
        start += _fraction(items[0])
        for number in (start, end):
            problem = _in_range(number, LAST_INSTANT, "(Unix seconds, the solver's last date is in the year "
                                                      "262142)")
            if problem:
                found.refuse(name, here, problem)
                return None
        if start > end:
            found.refuse(name, here, "opens at %d after it closes at %d; give (start, end) with start <= end"
                         % (start, end))
            return None
        read.append((start, end))
    return _sorted_apart(location, read, found)


def _sorted_apart(location: int, windows: List[Tuple[int, int]], found: _Findings) -> List[Tuple[int, int]]:
    """The solve reads each location's windows as sorted and apart; in any
    other order it silently picks the wrong window. A location's windows are
    a set of times, so sorting them and merging the ones that overlap keeps
    their meaning (lateness counts from the last end either way)."""
    merged: List[Tuple[int, int]] = []
    for k, (start, end) in enumerate(windows):
        if k and start < windows[k - 1][1]:
            previous = windows[k - 1]
            kind = "overlaps" if start >= previous[0] else "comes before"
            found.convert("time_windows", "[%d][%d]" % (location, k),
                          "%s the window before it (%d, %d); tourloom.solve needs each location's windows sorted "
                          "and apart (tourloom_kit.solve sorts and merges them)" % (kind, previous[0], previous[1]),
                          key="order%d" % location)
    for start, end in sorted(windows):
        if merged and start < merged[-1][1]:
            merged[-1] = (merged[-1][0], max(merged[-1][1], end))
        else:
            merged.append((start, end))
    return merged


def _window_units(windows: List[List[Tuple[int, int]]], found: _Findings) -> None:
    """One warning for the first window time outside 2000-2100."""
    for location, pairs in enumerate(windows):
        for k, pair in enumerate(pairs):
            for value in pair:
                if PLAUSIBLE_FROM <= value < PLAUSIBLE_UNTIL:
                    continue
                where = "[%d][%d]" % (location, k)
                if value >= MILLISECONDS_FROM:
                    text = ("looks like Unix time in milliseconds (%d is in the year %d as seconds); solve takes "
                            "seconds (divide by 1000)" % (value, _year(value)))
                elif value < 8 * DAY:
                    text = ("%d is in the first week of 1970: this looks like seconds (or minutes) from the start "
                            "of a day, but window times are Unix seconds, UTC; add the Unix time of the day's "
                            "midnight, e.g. int(datetime(2024, 3, 18, tzinfo=timezone.utc).timestamp())" % value)
                else:
                    text = ("%d is in the year %d; window times are Unix seconds, UTC (check the unit)"
                            % (value, _year(value)))
                found.warn("time_windows", where, text)
                return


def _year(unix: int) -> int:
    return 1970 + int(unix // (365.2425 * DAY))


# ------------------------------------------------------------ operating hours

def _seconds_of_day(value: Any) -> Tuple[int, bool]:
    if isinstance(value, dt.timedelta):
        whole = value.days * DAY + value.seconds
        if value.microseconds:
            raise _Bad("%r is not a whole number of seconds" % (value,), ValueError)
        return whole, True
    return _whole(value)


def _hours(value: Any, found: _Findings) -> Optional[Tuple[int, int]]:
    name = "operation_times"
    items = _pair(value)
    if items is None:
        found.refuse(name, "", "expected a pair (daily start, daily end) in seconds after midnight UTC, got %r"
                     % (value,), TypeError if _items(value) is None else ValueError)
        return None
    if not isinstance(value, tuple):
        found.convert(name, "", "expected a tuple (daily start, daily end), got %s; tourloom.solve refuses it "
                      "(tourloom_kit.solve converts it)" % _kind(value))
    try:
        (start, a), (end, b) = _seconds_of_day(items[0]), _seconds_of_day(items[1])
    except _Bad as bad:
        found.refuse(name, "", bad.text, bad.error)
        return None
    if a or b:
        found.convert(name, "", "timedelta or float values are refused by tourloom.solve, which takes whole "
                      "seconds (tourloom_kit.solve converts them)")
    for number in (start, end):
        if number < 0 or number > DAY:
            found.refuse(name, "", "%d is not a time of day: give seconds after midnight UTC, 0 to 86400" % number)
            return None
    if start == end:
        found.warn(name, "", "opens and closes at the same time (%d), which means no restriction on the hours; "
                   "give None for that" % start)
        return start, end
    if start > end:
        found.refuse(name, "", "the day opens at %d and closes at %d; the opening must come first (hours cannot "
                     "run past midnight)" % (start, end))
        return None
    if end <= 24:
        found.warn(name, "", "(%d, %d) looks like hours; give seconds after midnight, e.g. (%d, %d)"
                   % (start, end, start * HOUR, end * HOUR))
    elif end <= 24 * 60:
        found.warn(name, "", "(%d, %d) looks like minutes; give seconds after midnight, e.g. (%d, %d)"
                   % (start, end, start * 60, end * 60))
    if end == DAY and start != 0:
        # The solver reads 86400 as the next midnight, 00:00, which comes
        # before any opening: closing at the end of the day is 86399.
        found.convert(name, "", "a closing time of 86400 (midnight) makes tourloom.solve fail; give 86399 "
                      "(tourloom_kit.solve does)")
        end = DAY - 1
    return start, end


# ------------------------------------------------------------ time limit

def _limit(value: Any, found: _Findings) -> Optional[int]:
    name = "time_limit"
    if isinstance(value, bool) or _is_text(value) or not isinstance(value, numbers.Real):
        found.refuse(name, "", "%r is not a number of seconds; give whole seconds (0 for no search) or None for "
                     "one descent" % (value,), TypeError)
        return None
    if not isinstance(value, numbers.Integral):
        number = float(value)
        if not math.isfinite(number):
            found.refuse(name, "", "%r is not a finite number of seconds; give None for one descent" % (value,))
            return None
        seconds = math.ceil(number)
        if seconds != number:
            found.convert(name, "", "%r is not an integer; tourloom.solve takes whole seconds (tourloom_kit.solve "
                          "rounds it up to %d)" % (value, seconds))
    else:
        seconds = operator.index(value)
    if seconds < 0:
        found.refuse(name, "", "%r is negative; give 0 (no search), a positive number of seconds, or None (one "
                     "descent)" % (value,))
        return None
    if seconds > LONGEST_SPAN:
        found.refuse(name, "", "%d is out of range: at most %d seconds" % (seconds, LONGEST_SPAN))
        return None
    if seconds > LONG_LIMIT:
        found.warn(name, "", "%d seconds (%.1f hours) of search, which nothing interrupts (not even Ctrl-C); if it "
                   "is milliseconds, divide by 1000" % (seconds, seconds / HOUR))
    return seconds


# ------------------------------------------------------------ the whole model

def _tour_fits(durations: Any, maxima: Optional[List[int]], jobs: List[int], windows: List[List[Tuple[int, int]]],
               hours: Optional[Tuple[int, int]], found: _Findings) -> None:
    """Refuse times so large that some tour runs past the solver's last date
    or its sums of seconds overflow (a PanicException mid-search)."""
    travel = sum(int(v) for v in (maxima if maxima is not None else _row_maxima(durations)))
    stretch = 1
    if hours is not None and 0 < hours[1] - hours[0] < DAY:
        stretch = -(-DAY // (hours[1] - hours[0]))  # a day per opening at most
    n = len(jobs)
    # Every clock step is at most the latest window end plus all the work and
    # travel so far, stretched by the closed hours, plus a night's wait per
    # action.
    span = stretch * (travel + sum(jobs)) + (2 * n + 1) * DAY * (stretch > 1)
    latest = max(end for pairs in windows for _, end in pairs) + span
    earliest = min(start for pairs in windows for start, _ in pairs)
    if latest > LAST_INSTANT:
        found.refuse("duration_matrix", "", "with these windows and durations a tour can end after the solver's last "
                     "date (the year 262142); check the units of duration_matrix, job_durations and time_windows")
    elif n * (latest - earliest) > LONGEST_SPAN:
        found.refuse("duration_matrix", "", "with these windows and durations the total lateness of a tour can "
                     "exceed the solver's longest span; check the units of duration_matrix, job_durations and "
                     "time_windows")


def _row_maxima(matrix: Any) -> List[int]:
    if _numpy(matrix):
        return [int(v) for v in matrix.max(axis=1).tolist()]
    return [max(row) for row in matrix]


def _distances_fit(matrix: Any, found: _Findings) -> None:
    """The tour's distance is summed in 64 bits without a check: a total
    that can pass 2**64 - 1 would silently wrap to a small number."""
    maxima = found.row_maxima.get("distance_matrix") if isinstance(matrix, list) else None
    if sum(int(v) for v in (maxima if maxima is not None else _row_maxima(matrix))) > U64_MAX:
        found.refuse("distance_matrix", "", "distances so large that a tour's total can pass 2**64 - 1, where the "
                     "solver's sum wraps round; scale them down")


def normalise(distance_matrix: Any, duration_matrix: Any = None, job_durations: Any = None, time_windows: Any = None,
              operation_times: Any = None, time_limit: Any = None) -> Normalised:
    """The six arguments of a solve converted for tourloom.solve, with
    everything found on the way (see the module docstring)."""
    found = _Findings()
    distances, n = _matrix("distance_matrix", distance_matrix, None, U64_MAX, "", found)
    if distances is not None:
        _distances_fit(distances, found)
    given = {"duration_matrix": duration_matrix is not None, "job_durations": job_durations is not None,
             "time_windows": time_windows is not None}
    durations = jobs = windows = hours = limit = None
    if duration_matrix is not None:
        durations, _ = _matrix("duration_matrix", duration_matrix, n, LONGEST_SPAN, "seconds", found)
    if job_durations is not None:
        jobs = _per_location("job_durations", job_durations, n, LONGEST_SPAN, "seconds", found)
    if time_windows is not None:
        windows = _windows(time_windows, n, found)
        if windows is not None:
            _window_units(windows, found)
    if operation_times is not None:
        hours = _hours(operation_times, found)
    if time_limit is not None:
        limit = _limit(time_limit, found)
    missing = [name for name, present in given.items() if not present]
    if missing and len(missing) < 3:
        found.refuse(missing[0], "", _missing_text(missing), prefixed=False)
    elif missing and operation_times is not None:
        found.refuse("operation_times", "", "operating hours apply only with a time model: give duration_matrix, "
                     "job_durations and time_windows too, or leave operation_times out")
    if jobs is not None and windows is not None and n is not None and len(jobs) == n:
        for location, work in enumerate(jobs):
            if work == 0:
                found.warn("job_durations", "[%d]" % location, "0 seconds of work is never held to the location's "
                           "windows (no lateness is counted there); give at least 1 second if its windows matter")
                break
    refused = any(f.outcome == REFUSED for f in found.found)
    if not refused and durations is not None and jobs is not None and windows is not None:
        maxima = found.row_maxima.get("duration_matrix") if isinstance(durations, list) else None
        _tour_fits(durations, maxima, jobs, windows, hours, found)
    arguments = {"distance_matrix": distances, "duration_matrix": durations, "job_durations": jobs,
                 "time_windows": windows, "operation_times": hours, "time_limit": limit}
    return Normalised(arguments, found.found)


def _missing_text(missing: Sequence[str]) -> str:
    which = missing[0] if len(missing) == 1 else "%s and %s" % tuple(missing)
    return "%s %s missing: give duration_matrix, job_durations and time_windows together, or none of them" % (
        which, "is" if len(missing) == 1 else "are")


__all__ = ["normalise", "Normalised", "Finding", "UnitsWarning", "CONVERTED", "WARNED", "REFUSED"]
