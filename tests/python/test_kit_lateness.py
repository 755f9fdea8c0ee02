"""tourloom_kit.explain_lateness against the module's own figures: the late
stops of every tour of small instances add up to the lateness solve gives
for that tour, and a stop called late in every tour is late in each one."""

import itertools
import random

import pytest

import tourloom
from support import HOUR, at, never_descend
from tourloom_kit import explain_lateness, result_to_dict

P = pytest.param
MINUTE = 60


def as_route(arguments, route):
    """The arguments relabelled so that `route` is the identity order, which
    a solve that never descends returns as it is: the module's own figures
    for that one tour. Location i of the copy is route[i] of the original."""
    pick = lambda values: [values[stop] for stop in route]  # noqa: E731
    relabelled = dict(arguments)
    for name in ("distance_matrix", "duration_matrix"):
        relabelled[name] = [pick(row) for row in pick(arguments[name])]
    relabelled["job_durations"] = pick(arguments["job_durations"])
    relabelled["time_windows"] = pick(arguments["time_windows"])
    return relabelled


def solve_route(arguments, route):
    relabelled = as_route(arguments, route)
    out = tourloom.solve(**relabelled, time_limit=never_descend())
    assert out.route == list(range(len(route)))
    return relabelled, out


def random_instance(rng, n):
    """Stops with one to three windows of a quarter to three hours over two
    days, work of 10 min to 3 h, 20 min to 2 h between stops, and half the
    time daily hours: deferrals, overnight pauses and stops nobody reaches
    in time all occur."""
    windows = []
    for _ in range(n):
        stop, clock = [], at(rng.uniform(6, 12))
        for _ in range(rng.randint(1, 3)):
            length = rng.randrange(15 * MINUTE, 3 * HOUR, MINUTE)
            stop.append((clock, clock + length))
            clock += length + rng.randrange(MINUTE, 10 * HOUR, MINUTE)
        windows.append(stop)
    travel = [[0 if i == j else rng.randrange(20 * MINUTE, 2 * HOUR, MINUTE) for j in range(n)] for i in range(n)]
    arguments = {
        "distance_matrix": [[rng.randrange(1, 50) for _ in range(n)] for _ in range(n)],
        "duration_matrix": travel,
        "job_durations": [rng.randrange(10 * MINUTE, 3 * HOUR, MINUTE) for _ in range(n)],
        "time_windows": windows,
    }
    if rng.random() < 0.5:
        arguments["operation_times"] = (8 * HOUR, 17 * HOUR)
    return arguments


def test_every_tour_of_random_instances_agrees_with_the_module():
    """For every tour of 5 stops: the late stops add up to the module's
    lateness (explain_lateness refuses a result whose do not), and every
    stop called late in every tour is late in each one, by at least its
    bound."""
    rng = random.Random(22)
    flagged = avoidable_late = 0
    for _ in range(12):
        arguments = random_instance(rng, 5)
        everywhere = explain_lateness(arguments, tourloom.solve(**arguments)).late_in_every_tour
        flagged += len(everywhere)
        for route in itertools.permutations(range(5)):
            relabelled, out = solve_route(arguments, route)
            report = explain_lateness(relabelled, out)
            assert report.lateness == out.lateness == sum(stop.lateness for stop in report.late_stops)
            late = {route[stop.location]: stop.lateness for stop in report.late_stops}
            for always in everywhere:
                assert late.get(always.location, 0) >= always.least_lateness, (route, always)
            assert out.lateness >= sum(always.least_lateness for always in everywhere)
            avoidable_late += len(set(late) - {always.location for always in everywhere})
    # Both verdicts occur, so neither half of the check is empty.
    assert flagged > 0 and avoidable_late > 0


# Stop 0 opens the day at 08:00; the other stops are set per case.
BASE_WINDOWS = [(at(8), at(18))]


def two_stops(work, windows, travel=30 * MINUTE, hours=None):
    arguments = {
        "distance_matrix": [[0, 1], [1, 0]],
        "duration_matrix": [[0, travel], [travel, 0]],
        "job_durations": [0, work],
        "time_windows": [BASE_WINDOWS, windows],
    }
    if hours:
        arguments["operation_times"] = hours
    return arguments


@pytest.mark.parametrize("arguments, route, expected", [
    # Tour 0, 1 starts 08:00; stop 1 reached 08:30, its only window
    # 09:00-09:30 is shorter than the hour of work: waits, works 09:00-10:00,
    # 30 min late.
    P(two_stops(HOUR, [(at(9), at(9.5))]), [0, 1], [(1, at(8.5), at(9), at(10), 30 * MINUTE)], id="wait-then-late"),
    # Reached 10:30 inside 10:00-11:00, 11:30 would fall in the gap, so the
    # work moves to 14:00-14:30 and ends 15:00: 30 min late, started 14:00.
    P(two_stops(HOUR, [(at(10), at(11)), (at(14), at(14.5))], travel=5 * HOUR // 2), [0, 1],
      [(1, at(10.5), at(14), at(15), 30 * MINUTE)], id="deferred-then-late"),
    # Daily hours 08:00-17:00: 3 h of work reached at 16:00 is cut at 17:00
    # and ends 10:00 next day; only that last piece counts: 10:00 against
    # the 12:00 close of the next day's window is in time, but against a
    # 09:00 close it is 1 h late.
    P(two_stops(3 * HOUR, [(at(15), at(9, day=1))], travel=8 * HOUR, hours=(8 * HOUR, 17 * HOUR)), [0, 1],
      [(1, at(16), at(16), at(10, day=1), HOUR)], id="cut-overnight"),
    P(two_stops(3 * HOUR, [(at(15), at(12, day=1))], travel=8 * HOUR, hours=(8 * HOUR, 17 * HOUR)), [0, 1],
      [], id="cut-overnight-in-time"),
    # Starting at stop 1 (09:00, its first window) and travelling to stop 0
    # is in time: stop 0 has no work.
    P(two_stops(HOUR, [(at(9), at(10))]), [1, 0], [], id="first-stop-in-time"),
])
def test_late_stops_of_one_tour(arguments, route, expected):
    relabelled, out = solve_route(arguments, route)
    report = explain_lateness(relabelled, out)
    got = [(route[s.location], s.arrival, s.work_start, s.work_end, s.lateness) for s in report.late_stops]
    assert got == expected
    assert report.lateness == out.lateness


@pytest.mark.parametrize("arguments, expected", [
    # An hour of work, longest window 45 min: "work". The earliest finish is
    # 08:00 + 30 min travel + 1 h = 09:30, before the 10:45 close.
    P(two_stops(HOUR, [(at(9), at(9.5)), (at(10), at(10.75))]), [(1, ("work",), 1)], id="work-longer-than-windows"),
    # Closes 08:45; from stop 0 (tour start 08:00, no work, 30 min away)
    # the work ends 08:30 + 1 h = 09:30 at the earliest; as first stop, its
    # own window opens 08:00 + 1 h = 09:00: 15 min late at least.
    P(two_stops(HOUR, [(at(8), at(8.75))]), [(1, ("work", "reach"), 15 * MINUTE)], id="work-and-reach"),
    # Daily hours 08:00-17:00 and a window 18:00-19:00: whichever way it is
    # reached, 30 min of work is done 08:00-08:30 next day at the earliest,
    # 13 h 30 min after the window closed. Without the hours it fits.
    P(two_stops(30 * MINUTE, [(at(18), at(19))], hours=(8 * HOUR, 17 * HOUR)), [(1, ("reach",), 13.5 * HOUR)],
      id="window-in-closed-hours"),
    P(two_stops(30 * MINUTE, [(at(18), at(19))]), [], id="window-without-hours"),
    # Hours 08:00-17:00, a window 16:50-17:10 for 30 min of work: cut at
    # 17:00 with 20 min left for 08:00 next day, 15 h 10 min late. The 20 min
    # window is shorter than the work too.
    P(two_stops(30 * MINUTE, [(at(16 + 5 / 6), at(17 + 1 / 6))], hours=(8 * HOUR, 17 * HOUR)),
      [(1, ("work", "reach"), 15 * HOUR + 10 * MINUTE)], id="cut-by-closing"),
    # 30 min of work in a 09:00-10:00 window, 30 min away: fits.
    P(two_stops(30 * MINUTE, [(at(9), at(10))]), [], id="fits"),
    # No work: never late, however short the window.
    P(two_stops(0, [(at(5), at(5))]), [], id="no-work"),
    # Windows out of order: lateness counts from the last in the list, which
    # closes 08:30; first in the tour the stop works from 09:00 (its first
    # window), reached from stop 0 from 08:30 at the earliest: 1 h late at
    # least, by "reach". The work test does not judge such a list.
    P(two_stops(HOUR, [(at(9), at(12)), (at(8), at(8.5))]), [(1, ("reach",), HOUR)], id="unsorted"),
])
def test_late_in_every_tour(arguments, expected):
    report = explain_lateness(arguments, tourloom.solve(**arguments))
    assert [(s.location, s.reasons, s.least_lateness) for s in report.late_in_every_tour] == expected


def test_report_from_plain_data_and_as_text():
    arguments = two_stops(HOUR, [(at(9), at(9.5))])
    out = tourloom.solve(**arguments)
    report = explain_lateness(arguments, out)
    assert explain_lateness(arguments, result_to_dict(out)) == report
    # Both tours work at stop 1 from 09:00 to 10:00; 1, 0 is shorter (no
    # wait). Late by 30 min, unavoidable by both tests: the hour does not fit
    # the 30 min window, and it cannot begin before the window opens.
    assert str(report) == "\n".join([
        "late by 0:30:00 in total, at 1 stop:",
        "  location 1: late by 0:30:00; arrived 2023-11-15 09:00:00, worked 2023-11-15 09:00:00 to "
        "2023-11-15 10:00:00; windows 2023-11-15 09:00:00 to 2023-11-15 09:30:00",
        "late in every tour (change these in the data), at least 0:30:00 in total:",
        "  location 1: its work (1:00:00) is longer than its longest window (0:30:00) and its last window "
        "closes at 2023-11-15 09:30:00, before its work can finish (2023-11-15 10:00:00 at the earliest); "
        "at least 0:30:00 late",
    ])


LATE = two_stops(HOUR, [(at(9), at(9.5))])


@pytest.mark.parametrize("solved_with, explained_with, message", [
    P({"distance_matrix": LATE["distance_matrix"]}, LATE, "the result has no schedule: it was solved without a time "
      "model", id="no-time-model"),
    P(LATE, {"distance_matrix": LATE["distance_matrix"]}, "arguments: duration_matrix and job_durations and "
      "time_windows missing", id="arguments-missing"),
    # The 30 min by which stop 1 is late are in time for a window to 12:00.
    P(LATE, dict(LATE, time_windows=[BASE_WINDOWS, [(at(9), at(12))]]), "the result's lateness is 1800 s but its "
      "schedule with these time_windows makes 0 s", id="other-windows"),
])
def test_refused(solved_with, explained_with, message):
    out = tourloom.solve(**solved_with)
    with pytest.raises(ValueError) as raised:
        explain_lateness(explained_with, out)
    assert str(raised.value).startswith(message)
