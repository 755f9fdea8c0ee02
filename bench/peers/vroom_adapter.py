"""VROOM through pyvroom: one vehicle starting and ending at the depot 0,
one job per other location with its service time and windows (it takes
several)."""

from __future__ import annotations

import datetime as dt
import time

from peers import TSP, Answer, missing_module

NAME = "VROOM"
SETTINGS = ("pyvroom Input: durations matrix = travel (TSP: the distances), costs matrix = arc cost; "
            "1 vehicle start = end = 0, time_window = (departure + depot service, deadline); jobs with "
            "default_service and every time window; solve(exploration_level=5, nb_threads=1, timeout=budget)")


def missing():
    return missing_module("vroom")


def cannot(problem):
    return None


def solve(problem, budget: int) -> Answer:
    import vroom

    n = problem.n
    cost = [list(row) for row in problem.cost]
    inp = vroom.Input()
    inp.set_durations_matrix(profile="car", matrix_input=cost if problem.kind == TSP else
                             [list(row) for row in problem.travel])
    inp.set_costs_matrix(profile="car", matrix_input=cost)
    vehicle = {}
    if problem.kind != TSP:
        leave = problem.depot_start[0] + problem.service[0]
        end = problem.deadline if problem.deadline is not None else problem.horizon
        vehicle["time_window"] = vroom.TimeWindow(leave, end)
    inp.add_vehicle(vroom.Vehicle(0, start=0, end=0, **vehicle))
    jobs = []
    for loc in range(1, n):
        extra = {}
        if problem.kind != TSP:
            extra = {"default_service": problem.service[loc],
                     "time_windows": [vroom.TimeWindow(a, b) for a, b in sorted(problem.windows[loc])]}
        jobs.append(vroom.Job(loc, location=loc, **extra))
    inp.add_job(jobs)
    start = time.perf_counter()
    solution = inp.solve(exploration_level=5, nb_threads=1, timeout=dt.timedelta(seconds=budget))
    seconds = time.perf_counter() - start
    routes = solution.routes
    steps = routes[routes["type"] == "job"]
    route = [0] + [int(loc) for loc in steps["location_index"]]
    if sorted(route) != list(range(n)):
        return Answer(route=None, seconds=seconds, note="%d of %d jobs unassigned" % (n - len(route), n - 1))
    return Answer(route=route, seconds=seconds)
