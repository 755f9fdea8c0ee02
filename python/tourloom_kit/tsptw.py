"""Classic TSP-with-time-windows instances: reading them, turning them into
arguments for `tourloom.solve`, and judging a tour by the classic rules.

File format (one item per line, blank lines ignored):

    n                      locations, the depot 0 included
    t[0][0] ... t[0][n-1]  n rows of n travel times (service time included)
    ...
    ready_0 due_0          n time windows
    ...

Times may carry decimals. Every time is multiplied by `scale` and rounded
half up to a whole number (Dumas: scale 1, whole numbers only; Langevin and
the Solomon-based set: scale 100). All figures below are in these scaled
units; `BestKnown.cost` stays in the published units.

A classic tour starts at the depot at time 0, may wait at a customer until
its window opens, must begin service no later than its due time, and is
back at the depot no later than the depot's due time. Its cost is the sum of
t along the closed tour.

The model for `solve` scales classic time by K = 1000 seconds per unit so
that one second of work fits in:
    distance_matrix      t
    job_durations        1 everywhere (work of zero length ignores windows)
    duration_matrix      K*t - 1 where positive, else 0
    time_windows         [(B + K*ready, B + K*due + K)] for a customer,
                         [(B, B + 1)] for the depot
Arriving at a customer takes exactly K*t after the work at the previous one
began, except over a zero-length edge, which takes one second: the clock
runs ahead of K * (classic time) by fewer than K seconds as long as fewer
than K zero-length edges follow each other, and the extra K - 1 seconds of
every window absorb that. So a tour that starts at the depot has zero
lateness exactly when every customer is served by its due time. The return
deadline is not a window: the tour is back in time exactly when
end_time < B + K*(due_0 + 1) (the same slack; with no zero-length edge
before the return, end_time <= B + K*due_0).
"""

from __future__ import annotations

import io
import os
from dataclasses import dataclass, field
from decimal import ROUND_HALF_UP, Decimal, InvalidOperation
from typing import Any, Dict, Iterable, Iterator, List, Optional, Sequence, Tuple

from .inputs import LAST_INSTANT, REFUSED, normalise
from .results import rotate_to

K = 1000
BASE = 1_700_000_000  # a Unix time: 2023-11-14 22:13:20 UTC
# The largest scaled time whose window, modelled with K and BASE, still
# ends on a date the solver represents.
LARGEST_TIME = (LAST_INSTANT - BASE) // K - 1


class FormatError(ValueError):
    """A malformed instance or best-known file; the message names the file
    and the line."""

    def __init__(self, path: str, line: Optional[int], what: str):
        self.path, self.line, self.what = path, line, what
        where = path if line is None else "%s:%d" % (path, line)
        super().__init__("%s: %s" % (where, what))


@dataclass(frozen=True)
class Instance:
    name: str
    times: list[list[int]]  # scaled travel times, [from][to]
    windows: list[tuple[int, int]]  # scaled (ready, due) per location
    scale: int

    @property
    def n(self) -> int:
        return len(self.times)


@dataclass(frozen=True)
class BestKnown:
    name: str
    cost: Decimal  # published units
    violations: int
    tour: list[int]  # customers in visiting order, depot 0 left out


def _tokens(path: str, f: Iterable[str]) -> Iterator[Tuple[int, List[str]]]:
    """(line number, tokens) of every non-blank line."""
    try:
        for number, line in enumerate(f, start=1):
            tokens = line.split()
            if tokens:
                yield number, tokens
    except UnicodeDecodeError as e:
        raise FormatError(path, None, "not a text file (%s)" % e.reason) from None


def _lines(path: str) -> Iterator[Tuple[int, List[str]]]:
    with open(path, encoding="ascii", errors="strict") as f:
        yield from _tokens(path, f)


def _scaled(path: str, line: int, token: str, scale: int) -> int:
    try:
        value = Decimal(token)
    except InvalidOperation:
        raise FormatError(path, line, "%r is not a number" % token) from None
    if not value.is_finite():
        raise FormatError(path, line, "%r is not a finite number" % token)
    if value < 0:
        raise FormatError(path, line, "negative time %s" % token)
    scaled = value * scale
    if scaled > LARGEST_TIME:
        raise FormatError(path, line, "time %s is out of the solve's range (at most %d after scaling by %d)"
                          % (token, LARGEST_TIME, scale))
    whole = scaled.to_integral_value(rounding=ROUND_HALF_UP)
    if scale == 1 and whole != scaled:
        raise FormatError(path, line, "time %s is not a whole number (this set is read unscaled)" % token)
    return int(whole)


def read_instance(path: str, scale: int = 1) -> Instance:
    """Read one instance file; FormatError (naming the file and the line) on
    anything malformed."""
    return _instance(path, _lines(path), scale, os.path.basename(path))


def parse_instance(text: str, name: str = "<text>", scale: int = 1) -> Instance:
    """The same as read_instance for the text of a file; errors name `name`."""
    return _instance(name, _tokens(name, io.StringIO(text)), scale, name)


def _instance(path: str, lines: Iterator[Tuple[int, List[str]]], scale: int, name: str) -> Instance:
    if scale < 1:
        raise ValueError("scale must be a positive integer")
    first = next(lines, None)
    if first is None:
        raise FormatError(path, None, "empty file: expected the number of locations on the first line")
    number, tokens = first
    if len(tokens) != 1 or not tokens[0].isdigit() or int(tokens[0]) < 2:
        raise FormatError(path, number, "expected the number of locations (a whole number, at least 2), found %r"
                          % " ".join(tokens))
    n = int(tokens[0])

    def take(what: str) -> tuple[int, list[str]]:
        item = next(lines, None)
        if item is None:
            raise FormatError(path, None, "file ends early: expected %s" % what)
        return item

    times = []
    for i in range(n):
        number, tokens = take("row %d of %d of the travel-time matrix" % (i + 1, n))
        if len(tokens) != n:
            raise FormatError(path, number, "row %d of the travel-time matrix has %d entries, expected %d"
                              % (i + 1, len(tokens), n))
        times.append([_scaled(path, number, token, scale) for token in tokens])
    windows = []
    for i in range(n):
        number, tokens = take("time window %d of %d" % (i + 1, n))
        if len(tokens) != 2:
            raise FormatError(path, number, "time window of location %d: expected 'ready due', found %d values"
                              % (i, len(tokens)))
        ready, due = (_scaled(path, number, token, scale) for token in tokens)
        if ready > due:
            raise FormatError(path, number, "time window of location %d opens after it closes (%s > %s)"
                              % (i, tokens[0], tokens[1]))
        windows.append((ready, due))
    extra = next(lines, None)
    if extra is not None:
        raise FormatError(path, extra[0], "unexpected content after the last time window: %r" % " ".join(extra[1]))
    instance = Instance(name=name, times=times, windows=windows, scale=scale)
    # Each time fits, but their sums along a tour may not: the same rules as
    # tourloom_kit.solve's, on the model this instance becomes.
    refused = [f for f in normalise(**solve_arguments(instance)).findings if f.outcome == REFUSED]
    if refused:
        raise FormatError(path, None, "out of the solve's range once modelled: %s" % refused[0])
    return instance


def read_best_known(path: str) -> Dict[str, BestKnown]:
    """Read a best_known.txt: `instance cost violations customer...` per
    line, '#' starts a comment line."""
    table: Dict[str, BestKnown] = {}
    for number, tokens in _lines(path):
        if tokens[0].startswith("#"):
            continue
        if len(tokens) < 3:
            raise FormatError(path, number, "expected 'instance cost violations customer...', found %r"
                              % " ".join(tokens))
        name = tokens[0]
        try:
            cost = Decimal(tokens[1])
        except InvalidOperation:
            raise FormatError(path, number, "cost %r is not a number" % tokens[1]) from None
        if not cost.is_finite() or cost < 0:
            raise FormatError(path, number, "cost %r is not a non-negative number" % tokens[1])
        if not all(token.isdigit() for token in tokens[2:]):
            raise FormatError(path, number, "violations and the tour must be whole numbers")
        tour = [int(token) for token in tokens[3:]]
        if sorted(tour) != list(range(1, len(tour) + 1)):
            raise FormatError(path, number, "the tour is not a permutation of the customers 1..%d" % len(tour))
        if name in table:
            raise FormatError(path, number, "instance %s listed twice" % name)
        table[name] = BestKnown(name=name, cost=cost, violations=int(tokens[2]), tour=tour)
    return table


# ----------------------------------------------------------------- the model

def solve_arguments(instance: Instance, k: int = K, base: int = BASE) -> Dict[str, Any]:
    """Keyword arguments for `tourloom.solve` (time limit not included)."""
    times = instance.times
    windows = [[(base, base + 1)]]
    windows += [[(base + k * ready, base + k * due + k)] for ready, due in instance.windows[1:]]
    return {
        "distance_matrix": times,
        "duration_matrix": [[k * t - 1 if t > 0 else 0 for t in row] for row in times],
        "job_durations": [1] * instance.n,
        "time_windows": windows,
    }


def return_deadline(instance: Instance, k: int = K, base: int = BASE) -> int:
    """The last Unix second at which the modelled tour may end (see the
    module docstring for the K - 1 seconds of slack)."""
    return base + k * instance.windows[0][1] + k - 1


def module_verdict(instance: Instance, result: Any, k: int = K, base: int = BASE) -> bool:
    """Whether the solver's own figures say the tour is classic-feasible."""
    return bool(result.lateness == 0 and result.end_time <= return_deadline(instance, k, base))


# -------------------------------------------------------- the classic rules

def tour_cost(times: Sequence[Sequence[int]], route: Sequence[int]) -> int:
    """Sum of t along the closed tour (any rotation gives the same)."""
    return sum(times[a][b] for a, b in zip(route, list(route[1:]) + list(route[:1])))


@dataclass
class Classic:
    cost: int
    feasible: bool
    starts: list[int]  # service start per position of the depot-first tour
    back: int  # arrival at the depot
    late: list[tuple[int, int, int]] = field(default_factory=list)  # (location, start, due)
    arrivals: list[int] = field(default_factory=list)  # arrival per position, the depot's own start first


def classic_timeline(instance: Instance, route: Sequence[int]) -> Classic:
    """Replay the tour by the classic rules, from the depot at time 0."""
    n = instance.n
    if sorted(route) != list(range(n)):
        raise ValueError("route is not a permutation of 0..%d" % (n - 1))
    tour = rotate_to(route, 0)
    times, windows = instance.times, instance.windows
    clock = 0
    starts, arrivals = [0], [0]
    late = []
    for prev, loc in zip(tour, tour[1:]):
        ready, due = windows[loc]
        arrivals.append(clock + times[prev][loc])
        clock = max(arrivals[-1], ready)
        starts.append(clock)
        if clock > due:
            late.append((loc, clock, due))
    back = clock + times[tour[-1]][0]
    if back > windows[0][1]:
        late.append((0, back, windows[0][1]))
    return Classic(cost=tour_cost(times, tour), feasible=not late, starts=starts, back=back, late=late,
                   arrivals=arrivals)
