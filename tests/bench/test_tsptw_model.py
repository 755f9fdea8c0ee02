"""The classic replay, and the model of a classic instance for tourloom.solve
checked against it: a tour is put first by relabelling the locations, so
that solve(time_limit=0), which returns the identity order unsearched,
reports that tour's own figures and schedule."""

import os
import random

import pytest
import tourloom

from tourloom_kit import tsptw
from tourloom_kit.tsptw import BASE, K

# Four locations; t symmetric.
TIMES = [[0, 3, 5, 4],
         [3, 0, 2, 6],
         [5, 2, 0, 1],
         [4, 6, 1, 0]]
WINDOWS = [(0, 30), (5, 8), (0, 20), (9, 12)]
SMALL = tsptw.Instance("small", TIMES, WINDOWS, 1)

# route, feasible, cost, service starts of the depot-first tour, return, late (location, start, due)
REPLAYS = [
    # 1 at 3, waits to 5; 2 at 5+2=7; 3 at 8, waits to 9; back at 9+4=13
    ([0, 1, 2, 3], True, 10, [0, 5, 7, 9], 13, []),
    # the same tour rotated: replayed from the depot all the same
    ([2, 3, 0, 1], True, 10, [0, 5, 7, 9], 13, []),
    # 3 at 4, waits to 9; 2 at 10; 1 at 12 > 8; back at 15
    ([0, 3, 2, 1], False, 10, [0, 9, 10, 12], 15, [(1, 12, 8)]),
    # 2 at 5; 1 at 7; 3 at 13 > 12; back at 17
    ([0, 2, 1, 3], False, 17, [0, 5, 7, 13], 17, [(3, 13, 12)]),
]


@pytest.mark.parametrize("route, feasible, cost, starts, back, late", REPLAYS, ids=[str(r[0]) for r in REPLAYS])
def test_classic_replay_by_hand(route, feasible, cost, starts, back, late):
    classic = tsptw.classic_timeline(SMALL, route)
    assert (classic.feasible, classic.cost, classic.starts, classic.back, classic.late) == (
        feasible, cost, starts, back, late)


def test_return_deadline_is_checked():
    # [0, 1, 2, 3] is back at 13 (above); a depot due at 12 makes it late there.
    tight = tsptw.Instance("tight", TIMES, [(0, 12)] + WINDOWS[1:], 1)
    classic = tsptw.classic_timeline(tight, [0, 1, 2, 3])
    assert not classic.feasible and classic.late == [(0, 13, 12)]


def test_replay_refuses_a_route_that_is_not_a_permutation():
    with pytest.raises(ValueError, match="not a permutation"):
        tsptw.classic_timeline(SMALL, [0, 1, 1, 3])


def test_solve_arguments_follow_the_model():
    args = tsptw.solve_arguments(SMALL)
    assert args["distance_matrix"] is SMALL.times
    # k*t - 1 for t > 0: t = 3 gives 2999; the diagonal (t = 0) stays 0
    assert args["duration_matrix"][0] == [0, 2999, 4999, 3999]
    assert args["job_durations"] == [1, 1, 1, 1]
    assert args["time_windows"][0] == [(BASE, BASE + 1)]
    # customer 1, window (5, 8): (B + 5k, B + 8k + k)
    assert args["time_windows"][1] == [(BASE + 5000, BASE + 9000)]


def relabel(instance, tour):
    """The instance with location i standing for tour[i]."""
    times = [[instance.times[a][b] for b in tour] for a in tour]
    return tsptw.Instance(instance.name, times, [instance.windows[a] for a in tour], instance.scale)


def solve_tour(instance, tour):
    """tourloom's figures for the closed tour `tour` (depot first)."""
    relabelled = relabel(instance, tour)
    out = tourloom.solve(**tsptw.solve_arguments(relabelled), time_limit=0)
    if out.iterations != 0:
        # Only when the clock reads the same instant twice does a zero limit
        # let a descent run; then the route is no longer the given tour.
        pytest.skip("a descent ran under time_limit=0")
    assert out.route == list(range(instance.n))
    return relabelled, out


def assert_model_matches_replay(instance, tour):
    classic = tsptw.classic_timeline(instance, tour)
    relabelled, out = solve_tour(instance, tour)
    assert out.distance == classic.cost
    assert tsptw.module_verdict(relabelled, out) == classic.feasible
    assert (out.lateness == 0) == all(location == 0 for location, _, _ in classic.late)
    # Every work starts k * (classic start) seconds after B, plus fewer than
    # k seconds of one-second steps over zero-length edges, and lasts 1 s.
    works = [e._0 for e in out.schedule if type(e).__name__ == "PyEvent_Work"]
    assert [w.location for w in works] == list(range(instance.n))
    for work, start in zip(works, classic.starts):
        begin, end = work.window
        assert K * start <= begin - BASE < K * start + K
        assert end == begin + 1
    assert K * classic.back <= out.end_time - BASE < K * classic.back + K
    return classic


@pytest.mark.parametrize("route", [r[0] for r in REPLAYS if r[0][0] == 0], ids=str)
def test_model_matches_replay_on_the_small_instance(route):
    assert_model_matches_replay(SMALL, route)


# Customers 1 and 2 share a place: t[1][2] = 0.
ZERO = [[0, 5, 5],
        [5, 0, 0],
        [5, 0, 0]]


@pytest.mark.parametrize("due_2, due_0, feasible", [
    (5, 10, True),    # 2 is served at 5 exactly (model: B + 5001) and the tour is back at 10 exactly
    (4, 10, False),   # 2 is served at 5 > 4
    (5, 9, False),    # back at 10 > 9
], ids=str)
def test_zero_length_edges_stay_within_the_slack(due_2, due_0, feasible):
    instance = tsptw.Instance("zero", ZERO, [(0, due_0), (0, 5), (0, due_2)], 1)
    classic = assert_model_matches_replay(instance, [0, 1, 2])
    assert classic.feasible == feasible
    _, out = solve_tour(instance, [0, 1, 2])
    # work at 1 from B+5000 to B+5001; the zero edge takes no time; work at 2
    # from B+5001 to B+5002; travel 5k - 1 = 4999: back at B + 10001, one
    # second past B + k*10, which the return deadline's slack admits.
    assert out.end_time == BASE + 10001
    assert tsptw.return_deadline(instance) == BASE + K * due_0 + K - 1


SETS = [("Dumas", 1), ("Langevin", 100), ("SolomonPotvinBengio", 100)]


def published(data, folder, scale):
    folder = os.path.join(data, "tsptw", folder)
    for name, entry in sorted(tsptw.read_best_known(os.path.join(folder, "best_known.txt")).items()):
        yield tsptw.read_instance(os.path.join(folder, name), scale), [0] + entry.tour


@pytest.mark.parametrize("folder, scale", SETS, ids=[s[0] for s in SETS])
def test_every_best_known_tour_is_feasible_with_zero_lateness(data, folder, scale):
    for instance, tour in published(data, folder, scale):
        classic = assert_model_matches_replay(instance, tour)
        assert classic.feasible, instance.name


@pytest.mark.parametrize("folder, scale, name", [
    ("Dumas", 1, "n20w100.001.txt"),
    ("Dumas", 1, "n40w20.002.txt"),
    ("Dumas", 1, "n100w40.001.txt"),
    ("Langevin", 100, "N40ft409.dat"),
    ("SolomonPotvinBengio", 100, "rc_201.1.txt"),
], ids=lambda v: str(v))
def test_verdicts_agree_on_perturbed_best_known_tours(data, folder, scale, name):
    instance = tsptw.read_instance(os.path.join(data, "tsptw", folder, name), scale)
    best = tsptw.read_best_known(os.path.join(data, "tsptw", folder, "best_known.txt"))[name]
    rng = random.Random(name)
    outcomes = set()
    for _ in range(40):
        tour = [0] + best.tour
        for _ in range(rng.randint(1, 3)):
            i = rng.randrange(1, instance.n - 1)
            tour[i], tour[i + 1] = tour[i + 1], tour[i]
        outcomes.add(assert_model_matches_replay(instance, tour).feasible)
    outcomes.add(assert_model_matches_replay(instance, [0] + best.tour[::-1]).feasible)
    assert outcomes == {True, False}  # both verdicts were exercised
