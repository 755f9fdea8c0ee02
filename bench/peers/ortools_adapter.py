"""OR-Tools routing: one vehicle from and back to the depot 0, arc cost from
the matrix (RegisterTransitMatrix), windows through a time dimension."""

from __future__ import annotations

import time

from peers import TSP, Answer, missing_module  # noqa: F401

NAME = "OR-Tools"
SETTINGS = ("routing, 1 vehicle, depot 0, arc cost = matrix (RegisterTransitMatrix); first solution "
            "PATH_CHEAPEST_ARC, metaheuristic GUIDED_LOCAL_SEARCH, time_limit = budget; windows: time dimension, "
            "transit = service + travel, slack and capacity up to the horizon, CumulVar(i).SetRange(first open, "
            "last close) and RemoveInterval on the gaps, depot start cumul in its departure window, end cumul <= "
            "deadline, every visit in a disjunction with penalty 10 n max(cost) + 1 (a tour that drops one is "
            "counted as no tour); without the disjunctions no first solution was found on most time-window "
            "instances with any first-solution strategy")


def missing():
    return missing_module("ortools")


def cannot(problem):
    return None


def model(problem, droppable=True):
    """(manager, routing model, time dimension or None) for one problem."""
    from ortools.constraint_solver import pywrapcp

    n = problem.n
    manager = pywrapcp.RoutingIndexManager(n, 1, 0)
    routing = pywrapcp.RoutingModel(manager)
    cost = routing.RegisterTransitMatrix([list(row) for row in problem.cost])
    routing.SetArcCostEvaluatorOfAllVehicles(cost)
    dim = None
    if problem.kind != TSP:
        service = problem.service or [0] * n
        transit = routing.RegisterTransitMatrix(
            [[service[i] + problem.travel[i][j] for j in range(n)] for i in range(n)])
        horizon = problem.horizon
        routing.AddDimension(transit, horizon, horizon, False, "Time")
        dim = routing.GetDimensionOrDie("Time")
        for loc in range(1, n):
            windows = sorted(problem.windows[loc])
            cumul = dim.CumulVar(manager.NodeToIndex(loc))
            cumul.SetRange(windows[0][0], windows[-1][1])
            for (_, late), (early, _) in zip(windows, windows[1:]):
                if early > late + 1:
                    cumul.RemoveInterval(late + 1, early - 1)
        dim.CumulVar(routing.Start(0)).SetRange(*problem.depot_start)
        dim.CumulVar(routing.End(0)).SetRange(0, problem.deadline if problem.deadline is not None else horizon)
        if droppable:
            # Visits may be dropped at a high price, so that a first solution
            # exists when no greedy order meets every window; a tour with a
            # dropped visit is no tour.
            penalty = 10 * n * max(max(row) for row in problem.cost) + 1
            for loc in range(1, n):
                routing.AddDisjunction([manager.NodeToIndex(loc)], penalty)
    return manager, routing, dim


def solve(problem, budget: int, first=None, droppable=True) -> Answer:
    from ortools.constraint_solver import pywrapcp, routing_enums_pb2

    manager, routing, _ = model(problem, droppable)
    params = pywrapcp.DefaultRoutingSearchParameters()
    strategy = routing_enums_pb2.FirstSolutionStrategy
    if first is None:
        first = "PATH_CHEAPEST_ARC"
    params.first_solution_strategy = getattr(strategy, first)
    params.local_search_metaheuristic = routing_enums_pb2.LocalSearchMetaheuristic.GUIDED_LOCAL_SEARCH
    params.time_limit.FromMilliseconds(int(budget * 1000))
    start = time.perf_counter()
    solution = routing.SolveWithParameters(params)
    seconds = time.perf_counter() - start
    if solution is None:
        return Answer(route=None, seconds=seconds, note="status %d, no solution" % routing.status())
    route, index = [], routing.Start(0)
    dropped = sum(1 for loc in range(1, problem.n) if solution.Value(routing.NextVar(manager.NodeToIndex(loc)))
                  == manager.NodeToIndex(loc))
    if dropped:
        return Answer(route=None, seconds=seconds, note="%d visits dropped" % dropped)
    while not routing.IsEnd(index):
        route.append(manager.IndexToNode(index))
        index = solution.Value(routing.NextVar(index))
    return Answer(route=route, seconds=seconds)
