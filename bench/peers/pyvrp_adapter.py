"""PyVRP: one vehicle type with one vehicle, a depot and one client per
location; several windows per stop as a required client group (one client
per window at the same location, exactly one of them visited)."""

from __future__ import annotations

import time

from peers import TSP, Answer, missing_module

NAME = "PyVRP"
SETTINGS = ("ProblemData: 1 vehicle type x 1 vehicle, distance = matrix (diagonal set to 0), "
            "duration = travel; tw_early/tw_late on the start of service, service_duration; "
            "several windows: one optional client per window in a required ClientGroup; "
            "vehicle tw_early/start_late = departure window, tw_late = deadline; "
            "solve(stop=MaxRuntime(budget), seed=0, display=False)")


def missing():
    return missing_module("pyvrp")


def cannot(problem):
    return None


def solve(problem, budget: int) -> Answer:
    import numpy as np
    import pyvrp
    from pyvrp.stop import MaxRuntime

    n = problem.n
    dist = np.array(problem.cost, dtype=np.int64)
    np.fill_diagonal(dist, 0)  # PyVRP refuses a non-zero diagonal
    if problem.kind == TSP:
        dur = np.zeros_like(dist)
        windows = [[(0, np.iinfo(np.int64).max)]] * n
        service = [0] * n
    else:
        dur = np.array(problem.travel, dtype=np.int64)
        np.fill_diagonal(dur, 0)
        windows = problem.windows
        service = problem.service
    locations = [pyvrp.Location(0, 0) for _ in range(n)]
    clients, groups, owner = [], [], []
    for loc in range(1, n):
        ws = windows[loc]
        if len(ws) == 1:
            clients.append(pyvrp.Client(loc, service_duration=service[loc], tw_early=ws[0][0], tw_late=ws[0][1]))
            owner.append(loc)
            continue
        members = []
        for early, late in ws:
            members.append(len(clients))
            clients.append(pyvrp.Client(loc, service_duration=service[loc], tw_early=early, tw_late=late,
                                        required=False, group=len(groups)))
            owner.append(loc)
        groups.append(pyvrp.ClientGroup(members, required=True))
    vehicle = {}
    if problem.kind != TSP:
        vehicle = {"tw_early": problem.depot_start[0], "start_late": problem.depot_start[1],
                   "tw_late": problem.deadline if problem.deadline is not None else problem.horizon}
    data = pyvrp.ProblemData(locations=locations, clients=clients,
                             depots=[pyvrp.Depot(0, service_duration=service[0])],
                             vehicle_types=[pyvrp.VehicleType(1, **vehicle)],
                             distance_matrices=[dist], duration_matrices=[dur], groups=groups)
    start = time.perf_counter()
    result = pyvrp.solve(data, stop=MaxRuntime(budget), seed=0, display=False)
    seconds = time.perf_counter() - start
    routes = result.best.routes()
    if len(routes) != 1:
        return Answer(route=None, seconds=seconds, note="%d routes" % len(routes))
    route = [0]
    for activity in routes[0].schedule():
        if activity.is_client():
            route.append(owner[activity.idx])
    note = "" if result.best.is_feasible() else "PyVRP says infeasible"
    return Answer(route=route if sorted(route) == list(range(n)) else None, seconds=seconds,
                  note=note if sorted(route) == list(range(n)) else "visits %d of %d locations" % (len(route), n))
