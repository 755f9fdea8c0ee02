"""Why a tour is late: which stops finished after their last window closed,
and which stops no tour at all can serve in time.

A `PyOutput` gives the tour's lateness as one sum. explain_lateness splits
it by stop, from the result's own schedule, and adds the stops that are late
in *every* tour, so that the data, not the search, is what to change there.

How a stop is late. The tour starts at the start of the first window (in
list order) of its first location. A stop's work waits for a window to
open; when the work would not end inside the window it starts in but a
later window exists, it moves to that later one (deferral); with daily
operating hours, work and travel also wait for the opening and pause at the
closing hour, to go on the next morning. The stop's lateness is how long
after the end of the *last* window of its list (the list as given) its work
finished; a stop without windows, or without work, is never late.

Late in every tour. Two tests, each sufficient on its own: a stop they name
is late in every tour solve can make of these arguments, so no search and
no time limit can help there. A stop that passes both may still be late in
every tour: they are lower bounds, not a search.

- work: the work is longer than the stop's longest window. Work is begun
  only when it would end inside the window it starts in, or when it cannot
  end before the last window closes, so it can fit no window. Proved for
  windows sorted by start and not overlapping, which is what solve expects;
  other lists are left to the second test.
- reach: the last window closes before the work can possibly finish. The
  tour starts at the first window of its first location; when that is not
  the stop, the stop is reached from some location l after l's work and the
  travel from l. Each of these, and the stop's own work, is timed as if it
  began at the earliest moment it can (no tour starts before the earliest
  first window of the other locations, no work before its location's
  earliest window) and went on whenever the daily hours are open. Waiting,
  deferral and closed hours only make a tour later, so the least of these
  finishes bounds every tour's. As every tour may start at any stop, a
  stop whose window fits its work is late everywhere only because of the
  operating hours: a window that lies in closed hours, or closes before the
  work can be done after the opening.

For such a stop `least_lateness` is a lower bound of its lateness in any
tour, and their sum (`unavoidable_lateness`) a lower bound of any tour's
lateness.
"""

from __future__ import annotations

import datetime
from dataclasses import dataclass
from typing import Any, Dict, List, Mapping, Optional, Sequence, Tuple

from .results import U64, ResultLike, _signed, result_to_dict

Window = Tuple[int, int]
DAY = 86400


@dataclass(frozen=True)
class LateStop:
    """A stop whose work finished after its last window closed. Times are
    signed Unix seconds, spans seconds."""

    location: int
    windows: Tuple[Window, ...]
    arrival: int  # when the tour got there: the end of the travel into it (the tour start for the first stop)
    work_start: int  # the first piece of its work, after any wait and deferral
    work_end: int  # the end of its last piece
    lateness: int  # work_end minus the end of the last window


@dataclass(frozen=True)
class AlwaysLateStop:
    """A stop that is late in every tour, with the figures that prove it.

    reasons holds "work" (work_seconds > longest_window) and/or "reach"
    (earliest_finish > last_window_end); see the module's documentation."""

    location: int
    reasons: Tuple[str, ...]
    work_seconds: int
    longest_window: int
    earliest_finish: int
    last_window_end: int
    least_lateness: int


@dataclass(frozen=True)
class LatenessReport:
    """What explain_lateness finds: the result's lateness, its late stops in
    the order the tour visits them, and the stops late in every tour (by
    location). str() gives it as text."""

    lateness: int
    late_stops: Tuple[LateStop, ...]
    late_in_every_tour: Tuple[AlwaysLateStop, ...]

    @property
    def unavoidable_lateness(self) -> int:
        """A lower bound of the lateness of any tour of these arguments."""
        return sum(stop.least_lateness for stop in self.late_in_every_tour)

    def __str__(self) -> str:
        return "\n".join(_report_lines(self))


def explain_lateness(arguments: Mapping[str, Any], result: ResultLike) -> LatenessReport:
    """For each late stop of `result` (a PyOutput, or what result_to_dict
    made of one), its windows, when the tour arrived, when its work started
    and finished and by how much it was late; and the stops that are late
    in every tour of `arguments`, the keyword arguments the result was
    solved with (duration_matrix, job_durations and time_windows needed).

    The every-tour tests read the whole duration matrix, so the cost grows
    with the square of the number of stops (a few seconds for a thousand).

    Raises ValueError when the result has no schedule (solved without a time
    model) or when its schedule does not add up to its lateness with these
    arguments' windows (the result belongs to other arguments)."""
    plain = result if isinstance(result, Mapping) else result_to_dict(result)
    if plain["schedule"] is None:
        raise ValueError("the result has no schedule: it was solved without a time model "
                         "(duration_matrix, job_durations and time_windows are all needed for one)")
    missing = [name for name in ("duration_matrix", "job_durations", "time_windows") if arguments.get(name) is None]
    if missing:
        raise ValueError("arguments: %s missing; give the keyword arguments the result was solved with"
                         % " and ".join(missing))
    windows = [tuple((_signed(int(start)), _signed(int(end))) for start, end in stop)
               for stop in arguments["time_windows"]]
    work = [int(seconds) for seconds in arguments["job_durations"]]
    travel = [[int(seconds) for seconds in row] for row in arguments["duration_matrix"]]
    hours = _daily_hours(arguments.get("operation_times"))

    late_stops = tuple(_late_stops(plain, windows))
    lateness = int(plain["lateness"])
    found = sum(stop.lateness for stop in late_stops)
    if found != lateness:
        raise ValueError("the result's lateness is %d s but its schedule with these time_windows makes %d s: "
                         "the result was solved with other arguments" % (lateness, found))
    # The predecessors' earliest finished work, by tour start (two at most).
    done_after: Dict[int, List[Optional[int]]] = {}
    first_two = _first_two(windows)
    always = tuple(stop for stop in (_always_late(s, windows, work, travel, hours, done_after, first_two)
                                     for s in range(len(plain["route"]))) if stop is not None)
    return LatenessReport(lateness, late_stops, always)


def _late_stops(plain: Mapping[str, Any], windows: Sequence[Tuple[Window, ...]]) -> List[LateStop]:
    """The late stops, from the schedule: work cut by the closing hour comes
    as several work events of one location, and only its last piece counts."""
    events = plain["schedule"]
    arrival = _signed(int(plain["start_time"]))
    pieces: Dict[int, List[int]] = {}  # location -> [arrival, first start, last end]
    order: List[int] = []
    for event in events:
        start, end = _signed(event["start"]), _signed(event["end"])
        if event["kind"] == "travel":
            arrival = end
        elif event["kind"] == "work":
            location = event["location"]
            if location not in pieces:
                pieces[location] = [arrival, start, end]
                order.append(location)
            pieces[location][2] = end
    late = []
    for location in order:
        stop_windows = windows[location] if location < len(windows) else ()
        if not stop_windows:
            continue
        came, start, end = pieces[location]
        over = end - stop_windows[-1][1]
        if over > 0:
            late.append(LateStop(location, stop_windows, came, start, end, over))
    return late


def _always_late(stop: int, windows: Sequence[Tuple[Window, ...]], work: Sequence[int],
                 travel: Sequence[Sequence[int]], hours: Optional[Tuple[int, int]],
                 done_after: Dict[int, List[Optional[int]]], first_two: Tuple[int, int]) -> Optional[AlwaysLateStop]:
    if stop >= len(windows) or stop >= len(work) or not windows[stop] or work[stop] <= 0:
        return None
    own = windows[stop]
    seconds = work[stop]
    last_end = own[-1][1]
    longest = max(end - start for start, end in own)
    finish = _earliest_finish(stop, windows, work, travel, hours, done_after, first_two)
    reasons = []
    if _sorted_apart(own) and seconds > longest:
        reasons.append("work")
    if finish > last_end:
        reasons.append("reach")
    if not reasons:
        return None
    # Lateness is in whole seconds and, for either reason, above zero.
    return AlwaysLateStop(stop, tuple(reasons), seconds, longest, finish, last_end, max(finish - last_end, 1))


def _first_two(windows: Sequence[Tuple[Window, ...]]) -> Tuple[int, int]:
    """The two locations whose first windows open earliest (-1 where there
    is none): the earliest start of a tour that some location other than a
    given stop begins is the first one's, or the second one's for the first."""
    order = [l for _, l in sorted((stop[0][0], l) for l, stop in enumerate(windows) if stop)[:2]]
    order += [-1] * (2 - len(order))
    return order[0], order[1]


def _earliest_finish(stop: int, windows: Sequence[Tuple[Window, ...]], work: Sequence[int],
                     travel: Sequence[Sequence[int]], hours: Optional[Tuple[int, int]],
                     done_after: Dict[int, List[Optional[int]]], first_two: Tuple[int, int]) -> int:
    """The earliest moment the stop's work can be finished in any tour: each
    leg (the work before, the travel, the wait for the stop's earliest
    window, its work) done as soon as the hours allow; windows, deferral
    and waits can only make it later."""
    opens = min(start for start, _ in windows[stop])
    # First in the tour: the tour starts at the stop's own first window.
    begin = max(windows[stop][0][0], opens)
    # Otherwise another location starts the tour, and the stop is reached
    # from some location l after l's work and the travel from l. A later
    # begin never finishes earlier, so the earliest arrival decides.
    first = first_two[1] if first_two[0] == stop else first_two[0]
    if first >= 0:
        tour_start = windows[first][0][0]
        if tour_start not in done_after:
            done_after[tour_start] = _work_done(windows, work, hours, tour_start)
        done = done_after[tour_start]
        reachable = [(finished, travel[l][stop]) for l, finished in enumerate(done[:len(travel)])
                     if l != stop and finished is not None and stop < len(travel[l])]
        if hours is None:  # travel is then plain addition
            arrivals = [finished + way for finished, way in reachable]
        else:
            arrivals = [_as_soon_as_open(finished, way, hours) for finished, way in reachable]
        if arrivals:
            begin = min(begin, max(min(arrivals), opens))
    return _as_soon_as_open(begin, work[stop], hours)


def _work_done(windows: Sequence[Tuple[Window, ...]], work: Sequence[int], hours: Optional[Tuple[int, int]],
               tour_start: int) -> List[Optional[int]]:
    """For each location, the earliest its work can be done in a tour that
    starts at tour_start: begun no earlier than that nor than the
    location's earliest window (None without a job duration)."""
    done: List[Optional[int]] = []
    for l, stop in enumerate(windows):
        if l >= len(work):
            done.append(None)
            continue
        begin = max(tour_start, min((opening for opening, _ in stop), default=tour_start))
        done.append(_as_soon_as_open(begin, work[l], hours))
    return done


def _as_soon_as_open(moment: int, seconds: int, hours: Optional[Tuple[int, int]]) -> int:
    """When `seconds` of work or travel begun at `moment` end if they go on
    whenever the daily hours (start, end) are open, as the tour does."""
    if seconds <= 0:
        return moment
    if hours is None:
        return moment + seconds
    opening, closing = hours
    clock = moment % DAY
    if clock < opening:
        moment += opening - clock
    elif clock >= closing:
        moment += DAY - clock + opening
    today = min(seconds, closing - moment % DAY)
    if today == seconds:
        return moment + seconds
    # The rest goes into the following days, a whole open stretch each,
    # the last one possibly in part.
    days, rest = divmod(seconds - today, closing - opening)
    if rest == 0:
        days, rest = days - 1, closing - opening
    return moment - moment % DAY + (days + 1) * DAY + opening + rest


def _daily_hours(operation_times: Any) -> Optional[Tuple[int, int]]:
    """The hours as solve reads them: a whole day or an empty stretch means
    none; otherwise both ends taken as times of day."""
    if operation_times is None:
        return None
    start, end = (int(value) for value in operation_times)
    if (end - start) % U64 == DAY or end == start:
        return None
    return start % DAY, end % DAY


def _sorted_apart(windows: Sequence[Window]) -> bool:
    return all(earlier[1] < later[0] for earlier, later in zip(windows, windows[1:]))


def _clock(seconds: int) -> str:
    return datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S")


def _span(seconds: int) -> str:
    hours, rest = divmod(seconds, 3600)
    return "%d:%02d:%02d" % (hours, rest // 60, rest % 60)


def _report_lines(report: LatenessReport) -> List[str]:
    if not report.late_stops:
        lines = ["on time: no stop finished after its last window"]
    else:
        lines = ["late by %s in total, at %d stop%s:" % (_span(report.lateness), len(report.late_stops),
                                                        "" if len(report.late_stops) == 1 else "s")]
    for stop in report.late_stops:
        lines.append("  location %d: late by %s; arrived %s, worked %s to %s; windows %s"
                     % (stop.location, _span(stop.lateness), _clock(stop.arrival), _clock(stop.work_start),
                        _clock(stop.work_end), ", ".join("%s to %s" % (_clock(a), _clock(b)) for a, b in stop.windows)))
    if report.late_in_every_tour:
        lines.append("late in every tour (change these in the data), at least %s in total:"
                     % _span(report.unavoidable_lateness))
    for always in report.late_in_every_tour:
        why = []
        if "work" in always.reasons:
            why.append("its work (%s) is longer than its longest window (%s)"
                       % (_span(always.work_seconds), _span(always.longest_window)))
        if "reach" in always.reasons:
            why.append("its last window closes at %s, before its work can finish (%s at the earliest)"
                       % (_clock(always.last_window_end), _clock(always.earliest_finish)))
        lines.append("  location %d: %s; at least %s late"
                     % (always.location, " and ".join(why), _span(always.least_lateness)))
    return lines


__all__ = ["explain_lateness", "LatenessReport", "LateStop", "AlwaysLateStop"]
