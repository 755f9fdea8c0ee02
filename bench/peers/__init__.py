"""Peer solvers side by side with tourloom: one small adapter per solver.

Every adapter turns a `Problem` (one instance in a solver-neutral form) into
that solver's own model with the given time budget and hands back an
`Answer`: the closed tour and the
time the call really took. The benchmark judges every tour by its own
replay; an adapter never reports feasibility.

An adapter module has:
    NAME        the column name in the tables
    SETTINGS    every setting used, as one line for the tables
    missing()   None when the solver imports, else the import error
    cannot(p)   None when the solver can take problem p, else what it
                cannot express
    solve(p, budget) -> Answer
"""

from __future__ import annotations

import importlib
from dataclasses import dataclass, field
from typing import Optional

# Kinds of problem.
TSP = "tsp"  # symmetric or not, distances only
CLASSIC = "classic"  # hard windows on the start of service, a return deadline
DAY = "day"  # a delivery day: several windows, work durations, daily hours


@dataclass(frozen=True)
class Problem:
    """One instance as the peers see it. Times are whole numbers in the
    instance's own unit (seconds for delivery days, scaled classic units
    otherwise), measured from 0 = the earliest moment of the instance."""

    kind: str
    name: str
    cost: list[list[int]]  # arc cost the solver minimises
    travel: list[list[int]] = field(default_factory=list)  # travel time; empty for TSP
    service: list[int] = field(default_factory=list)  # time spent at each location
    # Windows on the START of service, per location (the depot's entry is
    # ignored); several per location for delivery days; empty for TSP.
    windows: list[list[tuple[int, int]]] = field(default_factory=list)
    depot_start: tuple[int, int] = (0, 0)  # when the tour may leave the depot
    deadline: Optional[int] = None  # latest return to the depot
    # What this instance has that no peer model holds (delivery days: the
    # daily hours); said once in the tables.
    unexpressed: str = ""
    # The same instance as keyword arguments of tourloom.solve (its own,
    # richer model: soft windows, daily hours), time limit left out.
    solve_arguments: dict = field(default_factory=dict)

    @property
    def n(self) -> int:
        return len(self.cost)

    @property
    def horizon(self) -> int:
        """An upper bound on every moment of a sensible schedule."""
        if self.deadline is not None:
            return self.deadline
        ends = [late for ws in self.windows for _, late in ws]
        return max(ends + [self.depot_start[1]]) + max(self.service or [0]) + max(max(r) for r in self.travel)


@dataclass
class Answer:
    # The closed tour, a permutation of the locations (peers start it at the
    # depot; tourloom's may start anywhere); None: no complete tour.
    route: Optional[list[int]]
    seconds: float  # wall-clock time of the call
    note: str = ""
    figures: dict = field(default_factory=dict)  # what the solver itself says, to cross-check


# module[:attribute] of each solver, in table order.
SOLVERS = ["tourloom_adapter", "ortools_adapter", "pyvrp_adapter", "vroom_adapter", "fast_tsp_adapter",
           "python_tsp_adapter:LOCAL_SEARCH", "python_tsp_adapter:ANNEALING", "elkai_adapter"]


def solver(entry: str):
    module, _, attribute = entry.partition(":")
    loaded = importlib.import_module("peers." + module)
    return getattr(loaded, attribute) if attribute else loaded


def solvers() -> list:
    return [solver(s) for s in SOLVERS]


def missing_module(name: str) -> Optional[str]:
    """None when `name` imports, else the error in one line."""
    try:
        importlib.import_module(name)
    except Exception as e:  # an ImportError, or a wheel that fails to load
        return "%s: %s" % (type(e).__name__, str(e).splitlines()[0] if str(e) else "")
    return None


def depot_first(route: list[int]) -> list[int]:
    at = route.index(0)
    return route[at:] + route[:at]


def is_symmetric(matrix: list[list[int]]) -> bool:
    n = len(matrix)
    return all(matrix[i][j] == matrix[j][i] for i in range(n) for j in range(i + 1, n))
