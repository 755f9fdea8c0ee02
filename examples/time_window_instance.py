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

The model for `solve` (one classic time unit = K seconds, so that the one
second of work each location needs fits in):
  distance_matrix = t             (so `distance` is the classic cost)
  job_durations   = 1             (work of zero length would ignore windows)
  duration_matrix = K*t - 1 where positive, else 0
  time_windows    = [(B + K*ready, B + K*due + K)] per customer, [(B, B + 1)] at the depot
With that, a tour that starts at the depot has zero lateness exactly when
every customer is served in time; the return deadline is checked on
`end_time`.
"""

import argparse
import os
import sys
from decimal import ROUND_HALF_UP, Decimal

import tourloom

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_DATA = os.path.join(os.path.dirname(REPO), "shared", "benchmarks")
K = 1000
B = 1_700_000_000  # any Unix time will do

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


def read_instance(text, scale):
    """(travel times, windows), every time multiplied by scale and rounded."""
    lines = [line.split() for line in text.splitlines() if line.strip()]
    n = int(lines[0][0])

    def whole(token):
        return int((Decimal(token) * scale).to_integral_value(rounding=ROUND_HALF_UP))
    times = [[whole(v) for v in row] for row in lines[1:1 + n]]
    windows = [(whole(a), whole(b)) for a, b in lines[1 + n:1 + 2 * n]]
    if len(times) != n or len(windows) != n or any(len(row) != n for row in times):
        raise SystemExit("not an instance of %d locations" % n)
    return times, windows


def model(times, windows):
    """Keyword arguments for tourloom.solve."""
    return {
        "distance_matrix": times,
        "duration_matrix": [[K * t - 1 if t > 0 else 0 for t in row] for row in times],
        "job_durations": [1] * len(times),
        "time_windows": [[(B, B + 1)]] + [[(B + K * ready, B + K * due + K)] for ready, due in windows[1:]],
    }


def classic_replay(times, windows, route):
    """Rows (location, arrival, service start, window) of the depot-first tour,
    the time back at the depot, and whether every deadline is met."""
    at = route.index(0)
    tour = route[at:] + route[:at]
    clock, rows, feasible = 0, [], True
    for prev, loc in zip(tour, tour[1:]):
        arrival = clock + times[prev][loc]
        clock = max(arrival, windows[loc][0])
        rows.append((loc, arrival, clock, windows[loc]))
        feasible = feasible and clock <= windows[loc][1]
    back = clock + times[tour[-1]][0]
    return rows, back, feasible and back <= windows[0][1]


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
    times, windows = read_instance(text, scale)

    result = tourloom.solve(**model(times, windows), time_limit=args.time_limit)

    rows, back, feasible = classic_replay(times, windows, result.route)
    # The solver's own verdict: no lateness, and back at the depot in time
    # (a zero-length edge costs the model one second, hence the K - 1 of slack).
    solver_says = result.lateness == 0 and result.end_time <= B + K * windows[0][1] + K - 1
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
