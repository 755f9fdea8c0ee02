"""The delivery-day replay (bench/day_replay.py) that judges every peer's
tour on tourloom's objective: worked cases by hand, and exact agreement
with tourloom's own figures on the tours tourloom returns."""

import random

import pytest

import day_replay
import delivery_day

H = 3600
D0 = 1_710_460_800  # a midnight, UTC


def at(hours, day=0):
    return D0 + day * 86_400 + round(hours * H)


def work_at_one_location(work, windows, hours, start):
    """Figures of a tour that starts at `start` at a location of no work and
    goes, without travel, to one with `work` and `windows`."""
    return day_replay.replay([0, 1], [[0, 0], [0, 0]], [[0, 0], [0, 0]], [0, work], [[(start, start)], windows],
                             hours)


def test_worked_tour():
    # Three locations, hours 08:00-17:00; route [2, 0, 1] starts at 09:00
    # (the first window of 2), waits to 11:00, works 11-13 (1 h late), travels
    # 13-15, works at 0 15-16, travels 16-17, waits to 08:00, works at 1 until
    # 08:30 (16 h 30 min after its last window closed), travels to 09:30.
    distance = [[1, 2, 3], [10, 20, 30], [100, 200, 300]]
    travel = [[0, H, 2 * H], [H, 0, H], [2 * H, H, 0]]
    work = [H, H // 2, 2 * H]
    windows = [[(at(8), at(18))], [(at(12), at(13)), (at(15), at(16))], [(at(9), at(10)), (at(11), at(12))]]
    got = day_replay.replay([2, 0, 1], distance, travel, work, windows, (8 * H, 17 * H))
    assert got == day_replay.Figures(distance=132, lateness=17 * H + H // 2, duration=24 * H + H // 2,
                                     working_time=3 * H + H // 2, waiting_time=17 * H, traveling_time=4 * H,
                                     start_time=at(9), end_time=at(9.5, day=1))


@pytest.mark.parametrize("work, windows, hours, start, waiting, lateness, end", [
    (H, [], None, at(9), 0, 0, at(10)),
    (H, [(at(10), at(12))], None, at(9), H, 0, at(11)),
    (H, [(at(10), at(12)), (at(14), at(16))], None, at(11.5), 2.5 * H, 0, at(15)),
    (H, [(at(10), at(12))], None, at(11.5), 0, H / 2, at(12.5)),
    (H, [(at(10), at(10.5))], None, at(9), H, H / 2, at(11)),
    (H, [(at(10), at(11)), (at(11.25), at(13))], None, at(10.5), H, 0, at(12.5)),  # not at 11:15
    (3 * H, [], (8 * H, 17 * H), at(16), 15 * H, 0, at(10, day=1)),
    (H, [(at(18), at(19))], (8 * H, 17 * H), at(16), 16 * H, 14 * H, at(9, day=1)),
    (H, [], (8 * H, 17 * H), at(17), 15 * H, 0, at(9, day=1)),  # the closing moment is closed
    (0, [(at(10), at(12))], None, at(13), 0, 0, at(13)),  # no work: no window applies
    (3 * H, [(at(8), at(18))], (8 * H, 17 * H), at(16), 15 * H, 16 * H, at(10, day=1)),  # late by the last piece
    (H, [(at(10), at(11)), (at(12), at(13))], None, at(10.5), 1.5 * H, 0, at(13)),  # deferred exactly to an opening
], ids=["plain", "wait-for-window", "next-window", "late", "too-short", "deferred-past-gap", "cut-overnight",
        "window-after-hours", "starts-at-closing", "zero-work", "cut-then-late", "deferred-to-opening"])
def test_work_at_one_location(work, windows, hours, start, waiting, lateness, end):
    got = work_at_one_location(work, windows, hours, start)
    assert (got.waiting_time, got.lateness, got.end_time) == (waiting, lateness, end)
    assert got.working_time == work
    assert got.duration == got.working_time + got.waiting_time + got.traveling_time == end - start


def test_travel_waits_for_the_opening_and_is_cut_at_closing():
    # work 0 at a location open all day, then 3 h of travel from 15:00 with
    # hours 08-17: 2 h, overnight wait, 1 h.
    windows = [[(at(15), at(23))], [(at(0), at(23, day=3))]]
    got = day_replay.replay([0, 1], [[0, 5], [7, 0]], [[0, 3 * H], [0, 0]], [0, 0], windows, (8 * H, 17 * H))
    assert (got.traveling_time, got.waiting_time, got.end_time, got.distance) == (3 * H, 15 * H, at(9, day=1), 12)


@pytest.mark.parametrize("hours", [(0, 86_400), (3600, 90_000), (28_800, 28_800)], ids=str)
def test_whole_or_empty_day_means_no_hours(hours):
    windows = [[(at(20), at(23))]]
    assert day_replay.replay([0], [[0]], [[0]], [2 * H], windows, hours).end_time == at(22)


def test_next_window_with_equal_starts_follows_the_search():
    ws = [(at(8), at(9)), (at(8), at(10)), (at(8), at(11))]
    assert day_replay.next_window(ws, at(8)) == (2, 0)
    assert day_replay.next_window(ws, at(9.5)) == (2, 0)
    assert day_replay.next_window(ws, at(11) + 1) is None


# ------------------------------------------------ against tourloom itself

def random_instance(rng, n):
    """Small instances rich in the cases that matter: several windows, some
    outside the hours or shorter than the work, long travel across closing."""
    travel = [[0 if a == b else rng.randrange(0, 4 * H) for b in range(n)] for a in range(n)]
    distance = [[rng.randrange(0, 1000) for _ in range(n)] for _ in range(n)]
    work = [rng.choice((0, 60, 15 * 60, H, 3 * H)) for _ in range(n)]
    windows = []
    for _ in range(n):
        ws, t = [], at(rng.randrange(0, 20))
        for _ in range(rng.choice((1, 1, 2, 3))):
            t += rng.randrange(0, 10 * H)
            end = t + rng.choice((0, 30 * 60, 2 * H, 6 * H))
            ws.append((t, end))
            t = end + 1
        windows.append(ws)
    hours = rng.choice((None, (8 * H, 17 * H), (6 * H, 22 * H), (90_000, 97_200)))
    return distance, travel, work, windows, hours


@pytest.mark.parametrize("seed", range(40))
def test_replay_matches_tourloom_on_its_own_tours(seed):
    tourloom = pytest.importorskip("tourloom")
    rng = random.Random(seed)
    distance, travel, work, windows, hours = random_instance(rng, rng.randrange(1, 9))
    out = tourloom.solve(distance, travel, work, windows, hours)
    got = day_replay.replay(out.route, distance, travel, work, windows, hours)
    assert got == day_replay.Figures(distance=out.distance, lateness=out.lateness, duration=out.duration,
                                     working_time=out.working_time, waiting_time=out.waiting_time,
                                     traveling_time=out.traveling_time, start_time=out.start_time,
                                     end_time=out.end_time)


@pytest.mark.parametrize("n, seed", [(12, 101), (25, 102), (40, 103)], ids=str)
def test_replay_matches_tourloom_on_delivery_days(n, seed):
    tourloom = pytest.importorskip("tourloom")
    instance = delivery_day.generate(n, seed)
    args = delivery_day.solve_arguments(instance)
    out = tourloom.solve(**args)
    got = day_replay.replay(out.route, *(args[k] for k in delivery_day.SOLVE_KEYS))
    assert (got.distance, got.lateness, got.duration, got.working_time, got.waiting_time, got.traveling_time,
            got.start_time, got.end_time) == (out.distance, out.lateness, out.duration, out.working_time,
                                              out.waiting_time, out.traveling_time, out.start_time, out.end_time)
