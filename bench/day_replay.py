"""A delivery-day tour replayed in calendar time, independently of the
solver, with the rules tourloom's own evaluation follows: the tour starts at
the opening of its first location's first window; at each location the work
waits for a window and is deferred to a later window when it would not end
inside the one it starts in; work and travel wait for the daily opening and
are cut at the daily closing, to resume the next day; lateness is how long
work finished after the close of its location's last window. Times are
whole Unix seconds (UTC).

Used to judge every peer's tour on tourloom's objective, and tested against
tourloom's figures on the tours tourloom returns."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional, Sequence

DAY = 86_400

Window = tuple[int, int]


@dataclass
class Figures:
    distance: int
    lateness: int
    duration: int
    working_time: int
    waiting_time: int
    traveling_time: int
    start_time: int
    end_time: int

    def key(self) -> tuple:
        """The ranking of routes: lateness, travel, duration, waiting, distance."""
        return (self.lateness, self.traveling_time, self.duration, self.waiting_time, self.distance)


def next_window(windows: Sequence[Window], t: int) -> Optional[tuple[int, int]]:
    """(index of the window that applies at t, wait until it opens), or None
    after the end of the last window. A moment inside a window or at either
    end of it is in it; the search over the starts is the one the solver
    uses, so that lists with equal starts pick the same window."""
    if not windows or t > windows[-1][1]:
        return None
    size, base = len(windows), 0
    while size > 1:
        half = size // 2
        mid = base + half
        if not windows[mid][0] > t:
            base = mid
        size -= half
    if windows[base][0] == t:
        return base, 0
    i = base + 1 if windows[base][0] < t else base
    if i > 0 and windows[i - 1][0] <= t <= windows[i - 1][1]:
        return i - 1, 0
    return i, max(windows[i][0] - t, 0)


def hours_wait(hours: Optional[tuple[int, int]], t: int) -> int:
    """Seconds from t until the daily hours (start, end) are open; end is
    the closing moment and counts as closed."""
    if hours is None:
        return 0
    start, end = hours
    of_day = t % DAY
    if of_day < start:
        return start - of_day
    if of_day < end:
        return 0
    return DAY + start - of_day


@dataclass
class _Clock:
    now: int
    lateness: int = 0
    working: int = 0
    waiting: int = 0
    traveling: int = 0


def _act(clock: _Clock, length: int, windows: Optional[Sequence[Window]], hours, travel: bool) -> None:
    remaining, pending = length, 0
    while remaining > 0:
        if windows is not None:
            found = next_window(windows, clock.now)
            if found is not None:
                index, wait = found
                if wait > 0:
                    pending += wait
                    clock.now += wait
                at_end = next_window(windows, clock.now + remaining)
                if at_end is not None and windows[at_end[0]] != windows[index]:
                    # It would not end inside this window: start over in the next.
                    pending += at_end[1] + remaining
                    clock.now += at_end[1] + remaining
                    continue
        wait = hours_wait(hours, clock.now)
        if wait > 0:
            pending += wait
            clock.now += wait
            continue
        clock.waiting += pending
        pending = 0
        step = remaining
        if hours is not None:
            step = min(step, hours[1] - clock.now % DAY)
        if travel:
            clock.traveling += step
        else:
            clock.working += step
            if windows and step == remaining and clock.now + step > windows[-1][1]:
                clock.lateness += clock.now + step - windows[-1][1]
        clock.now += step
        remaining -= step
    clock.waiting += pending


def replay(route: Sequence[int], distance: Sequence[Sequence[int]], travel: Sequence[Sequence[int]],
           work: Sequence[int], windows: Sequence[Sequence[Window]],
           hours: Optional[tuple[int, int]] = None) -> Figures:
    """The figures of the closed tour `route`, as given (not rotated)."""
    route = list(route)
    if not route:
        raise ValueError("empty route")
    if hours is not None and (hours[1] - hours[0] == DAY or hours[0] == hours[1]):
        hours = None  # a whole day, or nothing: no restriction
    if hours is not None:
        hours = (hours[0] % DAY, hours[1] % DAY)
        if not hours[0] < hours[1]:
            raise ValueError("daily hours %r do not open before they close within a day" % (hours,))
    length = sum(distance[a][b] for a, b in zip(route, route[1:] + route[:1]))
    start = windows[route[0]][0][0]
    clock = _Clock(now=start)
    for i, loc in enumerate(route):
        _act(clock, work[loc], windows[loc], hours, travel=False)
        _act(clock, travel[loc][route[(i + 1) % len(route)]], None, hours, travel=True)
    return Figures(distance=length, lateness=clock.lateness, duration=clock.now - start,
                   working_time=clock.working, waiting_time=clock.waiting, traveling_time=clock.traveling,
                   start_time=start, end_time=clock.now)
