"""A classic TSP-with-time-windows instance solved with tourloom, and the
tour checked by the classic rules.

    python examples/time_window_instance.py                  # Dumas n20w20.001, 1 s
    python examples/time_window_instance.py Langevin/N40ft401.dat --time-limit 3
    python examples/time_window_instance.py path/to/instance.txt

An instance name is looked up under <data>/tsptw (data defaults to
../shared/benchmarks beside the repository); without that folder a small
embedded instance is solved. File format: n, an n x n matrix of travel
times (service included), then n lines `ready due`; the depot is 0.

Classic rules: start at the depot at time 0, wait at a customer until its
window opens, begin service no later than its due time, be back at the
depot by its due time; the cost is the sum of travel times.

The model for `solve` and the classic replay come from tourloom_kit.tsptw
(see its docstring): one classic time unit becomes K seconds, so that the
one second of work each location needs fits in, and a tour that starts at
the depot has zero lateness exactly when every customer is served in time;
the return deadline is checked on `end_time`.
"""

import argparse
import os
import sys
from decimal import Decimal

import tourloom
from tourloom_kit import rotate_to, tsptw

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_DATA = os.path.join(os.path.dirname(REPO), "shared", "benchmarks")

# Seven customers around a depot, made up for this example.
EMBEDDED = """8
0 12 18 9 22 15 11 20
12 0 8 14 16 21 7 25
18 8 0 17 9 24 12 19
9 14 17 0 19 8 16 13
22 16 9 19 0 26 18 10
15 21 24 8 26 0 22 17
11 7 12 16 18 22 0 28
20 25 19 13 10 17 28 0
0 200
20 60
35 80
95 140
60 110
110 150
0 40
120 170
"""


def main():
    parser = argparse.ArgumentParser(description="Solve a classic TSPTW instance with tourloom.")
    parser.add_argument("instance", nargs="?", default="Dumas/n20w20.001.txt",
                        help="a file, or a name under <data>/tsptw (default %(default)s)")
    parser.add_argument("--time-limit", type=int, default=1, help="seconds of search (default %(default)s)")
    parser.add_argument("--data", default=DEFAULT_DATA, help="benchmark folder (default %(default)s)")
    parser.add_argument("--scale", type=int, help="time scale (default: 100 when the file has decimals, else 1)")
    args = parser.parse_args()

    path = args.instance if os.path.isfile(args.instance) else os.path.join(args.data, "tsptw", args.instance)
    if os.path.isfile(path):
        with open(path) as f:
            text = f.read()
        name = os.path.relpath(path, os.path.join(args.data, "tsptw")) if path.startswith(args.data) else path
    else:
        print("(no %s here: solving the embedded 8-location instance instead)" % path)
        text, name, path = EMBEDDED, "embedded", None
    scale = args.scale or (100 if "." in text else 1)
    instance = tsptw.parse_instance(text, name, scale)
    times, windows = instance.times, instance.windows

    result = tourloom.solve(**tsptw.solve_arguments(instance), time_limit=args.time_limit)

    classic = tsptw.classic_timeline(instance, result.route)
    feasible, back = classic.feasible, classic.back
    depot_first = rotate_to(result.route, 0)
    rows = [(loc, classic.arrivals[i], classic.starts[i], windows[loc]) for i, loc in enumerate(depot_first)][1:]
    # The solver's own verdict: no lateness, and back at the depot in time.
    solver_says = tsptw.module_verdict(instance, result)
    print("%s: %d customers, times x%d, %d s of search, %d descents" % (
        name, len(times) - 1, scale, args.time_limit, result.iterations))
    print()
    print("  %4s  %9s  %9s  %9s  %9s" % ("stop", "arrival", "ready", "service", "due"))
    line = "  %4s  %9s  %9s  %9s  %9s  %s"
    for loc, arrival, start, (ready, due) in rows:
        print((line % (loc, arrival, ready, start, due, "LATE" if start > due else "")).rstrip())
    print((line % (0, back, "", "", windows[0][1], "LATE" if back > windows[0][1] else "")).rstrip())
    print()
    print("cost %s, classic-feasible: %s (solver: lateness %d s, so %s)" % (
        Decimal(result.distance) / scale, "yes" if feasible else "NO", result.lateness,
        "feasible" if solver_says else "infeasible"))
    if path:
        best = os.path.join(os.path.dirname(path), "best_known.txt")
        if os.path.exists(best):
            for line in open(best):
                parts = line.split()
                if parts and parts[0] == os.path.basename(path):
                    print("best known %s" % parts[1])
    return 0 if feasible == solver_says else 1


if __name__ == "__main__":
    sys.exit(main())
