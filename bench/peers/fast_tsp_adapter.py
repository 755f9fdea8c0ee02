"""fast-tsp: symmetric integer matrices with entries below 65 536 only."""

from __future__ import annotations

import time

from peers import TSP, Answer, depot_first, is_symmetric, missing_module

NAME = "fast-tsp"
SETTINGS = "find_tour(matrix, duration_seconds=budget, max_threads=1)"


def missing():
    return missing_module("fast_tsp")


def cannot(problem):
    if problem.kind != TSP:
        return "time windows"
    if not is_symmetric(problem.cost):
        return "an asymmetric matrix"
    if max(max(row) for row in problem.cost) >= 65536:
        return "distances of 65 536 or more"
    return None


def solve(problem, budget: int) -> Answer:
    import fast_tsp

    start = time.perf_counter()
    tour = fast_tsp.find_tour([list(row) for row in problem.cost], duration_seconds=float(budget), max_threads=1)
    seconds = time.perf_counter() - start
    return Answer(route=depot_first(list(tour)), seconds=seconds)
