"""A result of `tourloom.solve` as plain data: a dictionary that pickles and
crosses process boundaries, schedule rows, a pandas table, and the tour
rotated to start where the caller wants."""

from __future__ import annotations

from typing import Any, Dict, List, Mapping, Sequence, Union

from ._extras import require

U64 = 2**64

# The schedule's event classes by name: they are not attributes of the
# module, only reachable through the events themselves.
_KINDS = {"PyEvent_Work": "work", "PyEvent_Wait": "wait", "PyEvent_Travel": "travel"}

_FIELDS = ("distance", "route", "lateness", "duration", "working_time", "waiting_time", "traveling_time",
           "start_time", "end_time", "iterations", "time_taken_microseconds")

ResultLike = Union[Any, Mapping[str, Any]]  # a PyOutput, or what result_to_dict made of one


def result_to_dict(result: Any) -> Dict[str, Any]:
    """Every attribute of a PyOutput as plain ints and lists (the values
    exactly as the object gives them), the schedule as a list of
    {"kind", "location", "start", "end"} dictionaries ("location" is None
    except for work), or None without a time model."""
    plain: Dict[str, Any] = {name: getattr(result, name) for name in _FIELDS}
    schedule = result.schedule
    if schedule is None:
        plain["schedule"] = None
    else:
        plain["schedule"] = [
            {"kind": _KINDS[type(event).__name__], "location": getattr(event._0, "location", None),
             "start": event._0.window[0], "end": event._0.window[1]}
            for event in schedule
        ]
    return plain


def _signed(value: int) -> int:
    """Unix seconds as the module hands them out (unsigned 64-bit: a date
    before 1970 arrives as v + 2**64) back to their signed value."""
    return value - U64 if value >= 2**63 else value


def schedule_rows(result: ResultLike) -> List[Dict[str, Any]]:
    """One row per schedule event, in schedule order:
    position, kind ("work", "wait", "travel"), location (work only, else
    None), stop (the location a row serves: its own for work, the next
    work's for travel and waiting, the tour's first for the way back),
    start and end (signed Unix seconds) and seconds. Empty without a time
    model."""
    plain = result if isinstance(result, Mapping) else result_to_dict(result)
    events = plain["schedule"] or []
    route = plain["route"]
    rows: List[Dict[str, Any]] = []
    stop = route[0] if route else None
    for event in reversed(events):
        if event["kind"] == "work":
            stop = event["location"]
        start, end = _signed(event["start"]), _signed(event["end"])
        rows.append({"kind": event["kind"], "location": event["location"], "stop": stop,
                     "start": start, "end": end, "seconds": end - start})
    rows.reverse()
    for position, row in enumerate(rows):
        row["position"] = position
    return [{key: row[key] for key in ("position", "kind", "location", "stop", "start", "end", "seconds")}
            for row in rows]


def schedule_frame(result: ResultLike) -> Any:
    """schedule_rows as a pandas DataFrame, with start and end as UTC
    timestamps and location as a nullable integer. Needs pandas (the `kit`
    extra)."""
    pd = require("pandas", "kit")
    columns = ["position", "kind", "location", "stop", "start", "end", "seconds"]
    frame = pd.DataFrame(schedule_rows(result), columns=columns)
    frame["location"] = frame["location"].astype("Int64")
    frame["stop"] = frame["stop"].astype("Int64")
    for column in ("start", "end"):
        frame[column] = pd.to_datetime(frame[column].astype("int64"), unit="s", utc=True)
    return frame


def rotate_to(route: Sequence[int], depot: int) -> List[int]:
    """The same closed tour, starting at `depot`; ValueError when the route
    does not visit it."""
    route = list(route)
    try:
        at = route.index(depot)
    except ValueError:
        raise ValueError("location %r is not in the route" % (depot,)) from None
    return route[at:] + route[:at]


__all__ = ["result_to_dict", "schedule_rows", "schedule_frame", "rotate_to"]
