"""tourloom itself, through the same interface as the peers: its own model
of each instance (the classic sets modelled as the benchmark README says;
delivery days with every window, the work durations and the daily hours)."""

from __future__ import annotations

import time

from peers import Answer, missing_module

NAME = "tourloom"
SETTINGS = "solve(..., time_limit=budget); classic sets: k = 1000 model; delivery days: the instance as given"


def missing():
    return missing_module("tourloom")


def cannot(problem):
    return None


def solve(problem, budget: int) -> Answer:
    import tourloom

    start = time.perf_counter()
    out = tourloom.solve(**problem.solve_arguments, time_limit=budget)
    seconds = time.perf_counter() - start
    figures = {"distance": out.distance, "iterations": out.iterations}
    if out.lateness is not None:
        figures.update(lateness=out.lateness, duration=out.duration, working_time=out.working_time,
                       waiting_time=out.waiting_time, traveling_time=out.traveling_time,
                       start_time=out.start_time, end_time=out.end_time)
    # The tour as returned (it need not start at the depot): the replay of
    # exactly this route must reproduce the figures above.
    return Answer(route=list(out.route), seconds=seconds, note="%d descents" % out.iterations, figures=figures)
