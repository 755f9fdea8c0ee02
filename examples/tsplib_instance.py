"""A symmetric TSP from TSPLIB with tourloom: distances only, no time model.

    python examples/tsplib_instance.py                    # berlin52, 2 s of search
    python examples/tsplib_instance.py kroA100 --time-limit 5
    python examples/tsplib_instance.py --data /path/to/benchmarks

Reads <data>/tsplib/<name>.tsp (data defaults to ../shared/benchmarks beside
the repository) and compares the tour with the proven optimum listed in
optimal.txt there. Without that folder it solves a small embedded instance.
The files are read by tourloom_kit.tsplib through the tsplib95 package
(`pip install 'tourloom[kit]'`), which knows every TSPLIB distance rule.
"""

import argparse
import os
import sys

import tourloom
from tourloom_kit import tsplib

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_DATA = os.path.join(os.path.dirname(REPO), "shared", "benchmarks")

# Twelve made-up towns (EUC_2D coordinates), used when no data folder exists.
EMBEDDED = """NAME : towns12
TYPE : TSP
DIMENSION : 12
EDGE_WEIGHT_TYPE : EUC_2D
NODE_COORD_SECTION
1 60 200
2 180 200
3 80 180
4 140 180
5 20 160
6 100 160
7 200 160
8 140 140
9 40 120
10 100 120
11 180 100
12 60 80
EOF
"""


def optimum_of(data, name):
    try:
        return tsplib.read_optimal(os.path.join(data, "tsplib", "optimal.txt")).get(name)
    except OSError:
        return None


def main():
    parser = argparse.ArgumentParser(description="Solve one TSPLIB instance with tourloom.")
    parser.add_argument("name", nargs="?", default="berlin52", help="instance name (default %(default)s)")
    parser.add_argument("--time-limit", type=int, default=2, help="seconds of search (default %(default)s)")
    parser.add_argument("--data", default=DEFAULT_DATA, help="benchmark folder (default %(default)s)")
    args = parser.parse_args()

    path = os.path.join(args.data, "tsplib", args.name + ".tsp")
    if os.path.exists(path):
        name, matrix, _ = tsplib.load_matrix(path)
        optimum = optimum_of(args.data, args.name)
    else:
        print("(no %s here: solving the embedded 12-town instance instead)" % path)
        name, matrix, _ = tsplib.parse_matrix(EMBEDDED)
        optimum = None

    result = tourloom.solve(matrix, time_limit=args.time_limit)

    n = len(matrix)
    tour = result.route + result.route[:1]
    print("%s: %d cities, %d s of search, %d descents" % (name, n, args.time_limit, result.iterations))
    print("tour length %d" % result.distance, end="")
    if optimum:
        print(" (optimum %d, gap %.2f %%)" % (optimum, 100.0 * (result.distance - optimum) / optimum))
    else:
        print()
    # TSPLIB numbers its cities from 1.
    print("tour: " + " ".join(str(city + 1) for city in tour))
    # The reported distance is the closed tour's, last city back to the first.
    assert result.distance == sum(matrix[a][b] for a, b in zip(tour, tour[1:]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
