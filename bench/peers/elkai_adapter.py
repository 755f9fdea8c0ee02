"""elkai (LKH): no time limit, only a number of runs. One run is timed
first; if it took less than the budget, a second call makes as many runs as
fit in the budget by that measure. The time reported is the whole of both
calls, so it can exceed the budget."""

from __future__ import annotations

import time

from peers import TSP, Answer, depot_first, missing_module

NAME = "elkai"
SETTINGS = ("DistanceMatrix(list).solve_tsp(runs=1), then, if that took t < budget, "
            "solve_tsp(runs=max(1, floor(budget / t) - 1)) and the better of the two; time = both calls")


def missing():
    return missing_module("elkai")


def cannot(problem):
    return "time windows" if problem.kind != TSP else None


def _length(cost, tour):
    return sum(cost[a][b] for a, b in zip(tour, tour[1:] + tour[:1]))


def solve(problem, budget: int) -> Answer:
    import elkai

    cost = [list(row) for row in problem.cost]
    matrix = elkai.DistanceMatrix(cost)
    start = time.perf_counter()
    best = list(matrix.solve_tsp(runs=1))[:-1]  # it repeats the start at the end
    one = time.perf_counter() - start
    runs = 1
    if one < budget:
        more = max(1, int(budget / max(one, 1e-6)) - 1)
        tour = list(matrix.solve_tsp(runs=more))[:-1]
        runs += more
        if _length(cost, tour) < _length(cost, best):
            best = tour
    seconds = time.perf_counter() - start
    return Answer(route=depot_first(best), seconds=seconds, note="%d runs" % runs)
