"""python-tsp's two heuristics, local search and simulated annealing, each
with max_processing_time; seeded through the global random states (its only
way). Two columns, so this module holds two adapters."""

from __future__ import annotations

import random
import time

from peers import TSP, Answer, depot_first, missing_module


class _PythonTsp:
    def __init__(self, name: str, function: str):
        self.NAME = name
        self._function = function
        self.SETTINGS = ("%s(numpy matrix, perturbation_scheme='two_opt', max_processing_time=budget); "
                         "random.seed(0), numpy.random.seed(0)" % function)

    def missing(self):
        return missing_module("python_tsp.heuristics")

    def cannot(self, problem):
        return "time windows" if problem.kind != TSP else None

    def solve(self, problem, budget: int) -> Answer:
        import numpy as np
        from python_tsp import heuristics

        random.seed(0)
        np.random.seed(0)
        matrix = np.array(problem.cost, dtype=np.int64)
        start = time.perf_counter()
        tour, _ = getattr(heuristics, self._function)(matrix, perturbation_scheme="two_opt",
                                                      max_processing_time=float(budget))
        seconds = time.perf_counter() - start
        return Answer(route=depot_first([int(v) for v in tour]), seconds=seconds)


LOCAL_SEARCH = _PythonTsp("python-tsp LS", "solve_tsp_local_search")
ANNEALING = _PythonTsp("python-tsp SA", "solve_tsp_simulated_annealing")
