"""What `solve` computes, end to end: tours judged by distance alone, and
tours in calendar time worked out by hand."""

import itertools

import pytest

import tourloom
from support import HOUR, at, never_descend, panic_class, raised, schedule_rows


def tour_length(matrix, route):
    return sum(matrix[a][b] for a, b in zip(route, route[1:] + route[:1]))


ASYMMETRIC = [
    [0, 12, 30, 7, 41, 19],
    [9, 0, 14, 25, 3, 33],
    [28, 6, 0, 17, 22, 4],
    [11, 31, 8, 0, 16, 27],
    [35, 2, 26, 13, 0, 10],
    [5, 24, 18, 29, 20, 0],
]


@pytest.mark.parametrize(
    "matrix",
    [[[7]], [[0, 5], [5, 0]], [row[:4] for row in ASYMMETRIC[:4]], ASYMMETRIC, [row + [999] for row in ASYMMETRIC]],
    ids=["one-stop", "two-stops", "four-stops", "six-stops", "long-rows"],
)
def test_distance_only(matrix):
    n = len(matrix)
    result = tourloom.solve(matrix)
    assert sorted(result.route) == list(range(n))
    assert tour_length(matrix, list(range(n))) >= result.distance == tour_length(matrix, result.route)
    # Without a limit: one descent, and the same answer every time.
    again = tourloom.solve(matrix)
    assert (result.iterations, again.route, again.distance) == (1, result.route, result.distance)


def test_ties_and_optimum():
    # [1, 0] closes the same tour as [0, 1], so it is never better.
    assert tourloom.solve([[0, 3], [8, 0]]).route == [0, 1]
    # Three stops close two tours (150 the identity's way, 3 the other);
    # one reversal turns the first into the second.
    matrix = [[0, 50, 1], [1, 0, 50], [50, 1, 0]]
    assert min(tour_length(matrix, list(p)) for p in itertools.permutations(range(3))) == 3
    assert tourloom.solve(matrix).distance == 3


def test_negative_limit_returns_identity():
    result = tourloom.solve(ASYMMETRIC, time_limit=never_descend())
    assert (result.route, result.iterations) == (list(range(6)), 0)


def test_short_row_panics_when_read():
    exc = raised(tourloom.solve, [[0, 1, 2], [1, 0], [2, 1, 0]])  # the identity route reads d[1][2]
    assert (type(exc), exc.args) == (panic_class(), ("index out of bounds: the len is 2 but the index is 2",))


# One stop: the work there, then the travel back to itself. Windows and
# hours in hours after midnight; rows (kind, start, end) in hours; figures
# (lateness, working, waiting, traveling, end) in hours.
@pytest.mark.parametrize(
    "windows, hours, job, travel, rows, figures",
    [
        pytest.param([(10, 12)], None, 1, 0, [("Work", 10, 11)], (0, 1, 0, 0, 11), id="in-window"),
        # The window closes at 10:30: finished 30 min late.
        pytest.param([(10, 10.5)], None, 1, 0, [("Work", 10, 11)], (0.5, 1, 0, 0, 11), id="late"),
        # 10:00 + 1 h ends in the gap, so the work waits for the 14:00 window.
        pytest.param([(10, 10.5), (14, 16)], None, 1, 0, [("Wait", 10, 14), ("Work", 14, 15)], (0, 1, 4, 0, 15), id="deferred"),
        # Cut at the 17:00 close, resumed 08:00 (hour 32), done 34 against a
        # window closed at 23: 11 h late.
        pytest.param([(16, 23)], (8, 17), 3, 0, [("Work", 16, 17), ("Wait", 17, 32), ("Work", 32, 34)],
                     (11, 3, 15, 0, 34), id="cut-at-closing"),
        # Done 32.5 against a window closed at 16.5: 16 h late; the travel
        # runs in the next day's hours.
        pytest.param([(16.5, 16.5)], (8, 17), 1, 2,
                     [("Work", 16.5, 17), ("Wait", 17, 32), ("Work", 32, 32.5), ("Travel", 32.5, 34.5)],
                     (16, 1, 15, 2, 34.5), id="travel-next-day"),
        # (0, 86400) is a whole day, so no hours: the work runs past midnight.
        pytest.param([(23, 24)], (0, 24), 2, 0, [("Work", 23, 25)], (1, 2, 0, 0, 25), id="whole-day-hours"),
        # (90000, 97200) reduces to 01:00-03:00.
        pytest.param([(0, 48)], (25, 27), 1, 0, [("Wait", 0, 1), ("Work", 1, 2)], (0, 1, 1, 0, 2), id="hours-after-midnight"),
    ],
)
def test_one_stop_in_time(windows, hours, job, travel, rows, figures):
    result = tourloom.solve(
        [[0]],
        [[round(travel * HOUR)]],
        [round(job * HOUR)],
        [[(at(s), at(e)) for s, e in windows]],
        None if hours is None else (round(hours[0] * HOUR), round(hours[1] * HOUR)),
    )
    assert schedule_rows(result) == [("PyEvent_" + k, 0 if k == "Work" else None, s, e) for k, s, e in rows]
    lateness, working, waiting, traveling, end = figures
    assert (result.start_time, result.end_time) == (at(windows[0][0]), at(end))
    assert (result.lateness, result.working_time, result.waiting_time, result.traveling_time) == (
        lateness * HOUR, working * HOUR, waiting * HOUR, traveling * HOUR)
    assert result.duration == result.end_time - result.start_time


def test_lateness_outweighs_duration():
    # Stop 0 opens 08:00-09:00, stop 1 20:00-21:00 the day before; 1 h jobs,
    # 1 h travel each way; both routes cost distance 4 + 6.
    # [0, 1]: work 08-09, travel 09-10, stop 1 long closed: work 10-11
    #   (14 h late), travel 11-12. Duration 4 h.
    # [1, 0]: work 20-21, travel 21-22, wait 22-08, work 08-09, travel
    #   09-10. Duration 14 h, never late: the better one.
    args = ([[0, 4], [6, 0]], [[0, HOUR], [HOUR, 0]], [HOUR, HOUR], [[(at(8), at(9))], [(at(20, day=-1), at(21, day=-1))]])
    result = tourloom.solve(*args)
    assert (result.route, result.distance, result.lateness) == ([1, 0], 10, 0)
    assert (result.start_time, result.end_time, result.waiting_time) == (at(20, day=-1), at(10), 10 * HOUR)
    late = tourloom.solve(*args, time_limit=never_descend())
    assert (late.route, late.lateness, late.duration) == ([0, 1], 14 * HOUR, 4 * HOUR)
