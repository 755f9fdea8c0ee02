"""Each peer adapter on tiny instances of every kind, when its solver is
importable (skipped otherwise: CI runs without the peers), and the parts of
the comparison that do not need them."""

import json
import os

import pytest

import compare
import day_replay
import delivery_day
import peers
import tsptw
from peers import ortools_adapter

TSP_TOUR = [[0, 30, 50, 40, 20], [30, 0, 40, 50, 36], [50, 40, 0, 30, 36], [40, 50, 30, 0, 20],
            [20, 36, 36, 20, 0]]
# Around the rectangle with the midpoint of one side: 140, the shortest tour.

CLASSIC = tsptw.Instance(name="tiny", times=[[0, 3, 5, 4], [3, 0, 2, 6], [5, 2, 0, 1], [4, 6, 1, 0]],
                         windows=[(0, 30), (5, 8), (0, 20), (9, 12)], scale=1)
# The only feasible tours visit 1 before 3; the best is 0 1 2 3 (cost 10).


def tsp_problem():
    return peers.Problem(kind=peers.TSP, name="square5", cost=TSP_TOUR,
                         solve_arguments={"distance_matrix": TSP_TOUR})


def classic_problem():
    return peers.Problem(kind=peers.CLASSIC, name="tiny", cost=CLASSIC.times, travel=CLASSIC.times,
                         service=[0] * 4, windows=[[w] for w in CLASSIC.windows], deadline=CLASSIC.windows[0][1],
                         solve_arguments=tsptw.solve_arguments(CLASSIC))


DAY = delivery_day.generate(8, 3)


def solver_or_skip(entry):
    solver = peers.solver(entry)
    why = solver.missing()
    if why:
        pytest.skip("%s is not importable: %s" % (solver.NAME, why))
    return solver


ENTRIES = [pytest.param(s, id=s.replace("_adapter", "")) for s in peers.SOLVERS]
TIME_WINDOWS = {"tourloom", "OR-Tools", "PyVRP", "VROOM"}


@pytest.mark.parametrize("entry", ENTRIES)
def test_adapter_finds_the_shortest_tiny_tour(entry):
    solver = solver_or_skip(entry)
    answer = solver.solve(tsp_problem(), 1)
    assert sorted(answer.route) == list(range(5))
    assert tsptw.tour_cost(TSP_TOUR, answer.route) == 140
    assert 0 < answer.seconds < 30


@pytest.mark.parametrize("entry", ENTRIES)
def test_adapter_meets_classic_windows(entry):
    solver = solver_or_skip(entry)
    problem = classic_problem()
    if solver.NAME not in TIME_WINDOWS:
        assert solver.cannot(problem) == "time windows"
        return
    assert solver.cannot(problem) is None
    answer = solver.solve(problem, 1)
    replay = tsptw.classic_timeline(CLASSIC, answer.route)
    assert replay.feasible, replay.late
    assert replay.cost == 10


@pytest.mark.parametrize("entry", ENTRIES)
def test_adapter_on_a_delivery_day(entry):
    solver = solver_or_skip(entry)
    problem = delivery_day.peer_problem(DAY)
    if solver.NAME not in TIME_WINDOWS:
        assert solver.cannot(problem) is not None
        return
    answer = solver.solve(problem, 1)
    assert sorted(answer.route) == list(range(len(DAY["job_durations"])))
    args = delivery_day.solve_arguments(DAY)
    judged = day_replay.replay(peers.depot_first(answer.route), *(args[k] for k in delivery_day.SOLVE_KEYS))
    # A small day with room to spare: every solver's tour, judged by the
    # calendar rules, keeps every window.
    assert judged.lateness == 0


def test_ortools_model_takes_a_best_known_tour(data):
    """A 'no solution' from OR-Tools is its search, not our model: the model
    accepts a published feasible tour."""
    pytest.importorskip("ortools")
    folder = os.path.join(data, "tsptw", "Dumas")
    name = "n40w40.001.txt"
    instance = tsptw.read_instance(os.path.join(folder, name), 1)
    best = tsptw.read_best_known(os.path.join(folder, "best_known.txt"))[name]
    problem, _ = compare.load_problem("Dumas", os.path.join(folder, name))
    for droppable in (False, True):
        manager, routing, _ = ortools_adapter.model(problem, droppable)
        routing.CloseModel()
        assignment = routing.ReadAssignmentFromRoutes([best.tour], True)
        assert assignment is not None
        assert assignment.ObjectiveValue() == tsptw.tour_cost(instance.times, [0] + best.tour)
        late = list(best.tour)
        late[0], late[-1] = late[-1], late[0]
        assert tsptw.classic_timeline(instance, [0] + late).feasible is False
        assert routing.ReadAssignmentFromRoutes([late], True) is None


# ------------------------------------------------ without the peers

def test_committed_delivery_days_are_the_generators():
    for n, seed in delivery_day.SET:
        instance = delivery_day.generate(n, seed)
        path = os.path.join(compare.DAY_FOLDER, instance["name"] + ".json")
        assert delivery_day.read(path) == json.loads(json.dumps(instance)), instance["name"]


@pytest.mark.parametrize("n, seed", delivery_day.SET, ids=str)
def test_delivery_day_shape(n, seed):
    inst = delivery_day.generate(n, seed)
    hours = inst["operation_times"]
    windows = inst["time_windows"]
    assert len(inst["distance_matrix"]) == len(inst["duration_matrix"]) == len(windows) == n
    assert any(inst["distance_matrix"][a][b] != inst["distance_matrix"][b][a] for a in range(n) for b in range(a))
    for ws in windows[1:]:
        assert 1 <= len(ws) <= 3
        halves = [((a - delivery_day.FIRST_DAY) // 43_200) for a, _ in ws]
        assert len(set(halves)) == len(halves), "two windows on one half-day"
        for a, b in ws:
            assert hours[0] <= a % 86_400 < b % 86_400 <= hours[1]
    problem = delivery_day.peer_problem(inst)
    assert all(early <= late for ws in problem.windows[1:] for early, late in ws)
    assert all(problem.windows[1:]), "a stop left without a window the work fits in"


def test_delivery_day_best_ranks_lateness_first():
    base = {"set": compare.DAY_SET, "instance": "d", "budget": "1", "status": "ok", "duration_s": "9",
            "waiting_s": "0", "distance": "5", "time_s": "1.0", "problems": ""}
    rows = [dict(base, solver="a", lateness_s="0", traveling_s="120", feasible="yes"),
            dict(base, solver="b", lateness_s="60", traveling_s="100", feasible="no"),
            dict(base, solver="c", lateness_s="0", traveling_s="150", feasible="yes")]
    compare.day_best(rows)
    assert [r["gap_pct"] for r in rows] == ["0.000", "", "25.000"]
    assert [r["_at_best"] for r in rows] == [True, False, False]
    lines = {s["solver"]: s for s in compare.summary(rows, compare.DAY_SET, "1")}
    assert [(lines[k]["feasible"], lines[k]["mean_gap"], lines[k]["at_best"]) for k in "abc"] == [
        (1, 0.0, 1), (0, None, 0), (1, 25.0, 0)]
    assert lines["b"]["mean_lateness_h"] == pytest.approx(60 / 3600)
