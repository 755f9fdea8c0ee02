"""Delivery-day instances: a van leaves the depot (location 0) after
loading and serves every stop once, over one or more working days. Each
stop has work of 5 to 30 minutes and one to three windows, each on a
different half-day (morning 08:00-12:00, afternoon 13:00-17:00, or a
two-hour part of one); the van runs only within the daily hours
07:00-18:00 UTC; road distances and travel times are asymmetric (a
detour factor per direction). About 20 stops per working day.

The instances are generated from a seed and committed (bench/delivery/), so
that the benchmark never depends on this generator staying the same:

    python bench/delivery_day.py --out bench/delivery    # the committed set

Each file is JSON: `name`, `seed`, `days`, and the keyword arguments of
tourloom.solve (`distance_matrix` in metres, `duration_matrix` and
`job_durations` in seconds, `time_windows` as Unix seconds, `operation_times`
as seconds after midnight).
"""

from __future__ import annotations

import argparse
import json
import math
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from peers import DAY as KIND, Problem  # noqa: E402

DAY = 86_400

FIRST_DAY = 1_710_460_800  # 2024-03-15 00:00 UTC
HOURS = (7 * 3600, 18 * 3600)
HALF_DAYS = ((8 * 3600, 12 * 3600), (13 * 3600, 17 * 3600))
LOADING = 15 * 60  # work at the depot before the van leaves
AREA_M = 8000  # stops lie in a square of this side, the depot in the middle
SPEED_M_PER_H = 30_000
STOPS_PER_DAY = 20
# The committed set: (number of locations, seed).
SET = [(20, 1), (30, 2), (40, 3), (50, 4), (60, 5), (80, 6), (100, 7), (120, 8), (150, 9), (200, 10)]


def generate(n: int, seed: int) -> dict:
    """One instance of n locations (the depot included)."""
    if n < 2:
        raise ValueError("a delivery day needs the depot and at least one stop")
    rng = random.Random(seed)
    days = max(1, math.ceil((n - 1) / STOPS_PER_DAY))
    points = [(AREA_M // 2, AREA_M // 2)] + [(rng.randrange(AREA_M), rng.randrange(AREA_M)) for _ in range(n - 1)]
    distance = [[0] * n for _ in range(n)]
    travel = [[0] * n for _ in range(n)]
    for a in range(n):
        for b in range(n):
            if a != b:
                (ax, ay), (bx, by) = points[a], points[b]
                straight = math.isqrt((ax - bx) ** 2 + (ay - by) ** 2)
                detour = rng.randrange(1150, 1601)  # per mille, each direction on its own
                metres = straight * detour // 1000
                distance[a][b] = metres
                travel[a][b] = (metres * 3600 + SPEED_M_PER_H // 2) // SPEED_M_PER_H
    work = [LOADING] + [rng.randrange(5, 31) * 60 for _ in range(n - 1)]
    windows = [[(FIRST_DAY + HOURS[0], FIRST_DAY + HOURS[0] + 2 * LOADING)]]
    for _ in range(n - 1):
        count = rng.choice((1, 1, 2, 2, 3))
        halves = sorted(rng.sample(range(2 * days), min(count, 2 * days)))
        ws = []
        for half in halves:
            open_, close = HALF_DAYS[half % 2]
            day = FIRST_DAY + (half // 2) * DAY
            if rng.random() < 0.5:  # a two-hour part of the half-day
                open_ += rng.randrange(0, 5) * 1800
                close = open_ + 2 * 3600
            ws.append((day + open_, day + close))
        windows.append(ws)
    return {"name": "day%03d_s%d" % (n, seed), "seed": seed, "days": days, "distance_matrix": distance,
            "duration_matrix": travel, "job_durations": work, "time_windows": windows, "operation_times": HOURS}


SOLVE_KEYS = ("distance_matrix", "duration_matrix", "job_durations", "time_windows", "operation_times")


def solve_arguments(instance: dict) -> dict:
    args = {key: instance[key] for key in SOLVE_KEYS}
    args["time_windows"] = [[tuple(w) for w in ws] for ws in args["time_windows"]]
    args["operation_times"] = tuple(args["operation_times"])
    return args


def read(path: str) -> dict:
    with open(path) as f:
        return json.load(f)


def write(instance: dict, path: str) -> None:
    """One matrix row per line: readable diffs, modest size."""
    lines = ["{"]
    items = list(instance.items())
    for i, (key, value) in enumerate(items):
        comma = "," if i + 1 < len(items) else ""
        if isinstance(value, list) and value and isinstance(value[0], list):
            rows = ",\n    ".join(json.dumps(row, separators=(",", ":")) for row in value)
            lines.append('  "%s": [\n    %s\n  ]%s' % (key, rows, comma))
        else:
            lines.append('  "%s": %s%s' % (key, json.dumps(value, separators=(",", ":")), comma))
    lines.append("}")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def peer_problem(instance: dict) -> Problem:
    """The closest model a classic solver can take: hard windows on the
    start of service, each closing early enough for the work to end inside
    it; the van's departure after loading; the whole span of days as one
    shift. Not expressible there: lateness as a soft first objective, and
    the daily hours (no travel or work overnight, work cut at closing)."""
    base = instance["time_windows"][0][0][0]  # the depot's opening: time 0 for the peers
    work = instance["job_durations"]
    windows = [[]]
    for loc, ws in enumerate(instance["time_windows"][1:], start=1):
        windows.append([(a - base, b - base - work[loc]) for a, b in ws if b - a >= work[loc]])
    depot_open, depot_close = instance["time_windows"][0][0]
    last_close = base - base % DAY + (instance["days"] - 1) * DAY + instance["operation_times"][1]
    return Problem(
        kind=KIND, name=instance["name"], cost=instance["duration_matrix"], travel=instance["duration_matrix"],
        service=work, windows=windows, depot_start=(0, depot_close - depot_open - work[0]),
        deadline=last_close - base,
        unexpressed="daily hours (the van stops overnight; travel and work are cut at closing), "
                    "lateness ranked first as a soft objective",
        solve_arguments=solve_arguments(instance))


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", default=os.path.join(HERE, "delivery"))
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    for n, seed in SET:
        instance = generate(n, seed)
        write(instance, os.path.join(args.out, instance["name"] + ".json"))
        print("wrote %s (%d days)" % (instance["name"], instance["days"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
