"""A symmetric TSP from TSPLIB with tourloom: distances only, no time model.

    python examples/tsplib_instance.py                    # berlin52, 2 s of search
    python examples/tsplib_instance.py kroA100 --time-limit 5
    python examples/tsplib_instance.py --data /path/to/benchmarks

Reads <data>/tsplib/<name>.tsp (data defaults to ../shared/benchmarks beside
the repository) and compares the tour with the proven optimum listed in
optimal.txt there. Without that folder it solves a small embedded instance.
The reader below handles node coordinates with the EUC_2D, ATT and GEO
distance rules; for the other TSPLIB formats use the tsplib95 package.
"""

import argparse
import math
import os
import sys

import tourloom

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


def nint(x):
    return int(x + 0.5)


def geo_radians(x):
    degrees = int(x)
    return 3.141592 * (degrees + 5.0 * (x - degrees) / 3.0) / 180.0


def distance(kind, a, b):
    """TSPLIB's distance rules (Reinelt 1995, section 2)."""
    dx, dy = a[0] - b[0], a[1] - b[1]
    if kind == "EUC_2D":
        return nint(math.sqrt(dx * dx + dy * dy))
    if kind == "ATT":
        r = math.sqrt((dx * dx + dy * dy) / 10.0)
        return nint(r) + 1 if nint(r) < r else nint(r)
    if kind == "GEO":
        lat_a, lon_a, lat_b, lon_b = (geo_radians(v) for v in (a[0], a[1], b[0], b[1]))
        q1, q2, q3 = math.cos(lon_a - lon_b), math.cos(lat_a - lat_b), math.cos(lat_a + lat_b)
        return int(6378.388 * math.acos(0.5 * ((1.0 + q1) * q2 - (1.0 - q1) * q3)) + 1.0)
    raise SystemExit("this example reads EUC_2D, ATT and GEO instances only, not %s" % kind)


def read_tsp(text):
    """(name, distance matrix) of a TSPLIB file with a NODE_COORD_SECTION."""
    name, kind, points, section = "?", None, [], False
    for line in text.splitlines():
        line = line.strip()
        if section and line and line != "EOF":
            _, x, y = line.split()[:3]
            points.append((float(x), float(y)))
            continue
        key, _, value = line.partition(":")
        key, value = key.strip(), value.strip()
        if key == "NAME":
            name = value
        elif key == "EDGE_WEIGHT_TYPE":
            kind = value
        elif key == "NODE_COORD_SECTION":
            section = True
    matrix = [[0 if i == j else distance(kind, a, b) for j, b in enumerate(points)] for i, a in enumerate(points)]
    return name, matrix


def optimum_of(data, name):
    try:
        with open(os.path.join(data, "tsplib", "optimal.txt")) as f:
            for line in f:
                key, _, value = line.partition(":")
                if key.strip() == name:
                    return int(value)
    except OSError:
        pass
    return None


def main():
    parser = argparse.ArgumentParser(description="Solve one TSPLIB instance with tourloom.")
    parser.add_argument("name", nargs="?", default="berlin52", help="instance name (default %(default)s)")
    parser.add_argument("--time-limit", type=int, default=2, help="seconds of search (default %(default)s)")
    parser.add_argument("--data", default=DEFAULT_DATA, help="benchmark folder (default %(default)s)")
    args = parser.parse_args()

    path = os.path.join(args.data, "tsplib", args.name + ".tsp")
    if os.path.exists(path):
        with open(path) as f:
            name, matrix = read_tsp(f.read())
        name = args.name
        optimum = optimum_of(args.data, args.name)
    else:
        print("(no %s here: solving the embedded 12-town instance instead)" % path)
        name, matrix = read_tsp(EMBEDDED)
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
