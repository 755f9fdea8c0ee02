"""tsplib95's distances against the TSPLIB rules written out independently
here, against known tour lengths, and the benchmark's TSPLIB side against
the solver."""

import math
import os

import pytest
import tourloom

from tourloom_kit import tsplib

NAMES = ["a280", "att48", "berlin52", "burma14", "ch130", "ch150", "d198", "eil101", "eil51", "eil76", "kroA100",
         "kroA150", "kroA200", "kroB100", "lin105", "lin318", "pcb442", "pr1002", "rat783", "rd100", "st70",
         "ulysses22"]


def nint(x):
    return int(x + 0.5)


def euc_2d(a, b):
    return nint(math.hypot(a[0] - b[0], a[1] - b[1]))


def att(a, b):
    r = math.sqrt(((a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2) / 10.0)
    t = nint(r)
    return t + 1 if t < r else t


def geo_radians(x):
    degrees = int(x)  # truncation, as TSPLIB's (int) cast
    return 3.141592 * (degrees + 5.0 * (x - degrees) / 3.0) / 180.0


def geo(a, b):
    lat_a, lon_a = geo_radians(a[0]), geo_radians(a[1])
    lat_b, lon_b = geo_radians(b[0]), geo_radians(b[1])
    q1 = math.cos(lon_a - lon_b)
    q2 = math.cos(lat_a - lat_b)
    q3 = math.cos(lat_a + lat_b)
    return int(6378.388 * math.acos(0.5 * ((1.0 + q1) * q2 - (1.0 - q1) * q3)) + 1.0)


RULES = {"EUC_2D": euc_2d, "ATT": att, "GEO": geo}


def coordinates(path):
    """(edge weight type, [(x, y)] in file order), read without tsplib95."""
    kind, points, in_section = None, [], False
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line.startswith("EDGE_WEIGHT_TYPE"):
                kind = line.split(":", 1)[1].strip()
            elif line == "NODE_COORD_SECTION":
                in_section = True
            elif line in ("EOF", ""):
                in_section = False
            elif in_section:
                _, x, y = line.split()
                points.append((float(x), float(y)))
    return kind, points


@pytest.fixture(scope="module")
def matrices(data):
    cache = {}

    def get(name):
        if name not in cache:
            cache[name] = tsplib.load_matrix(os.path.join(data, "tsplib", name + ".tsp"))
        return cache[name]
    return get


def test_every_instance_has_an_optimum(data):
    optimal = tsplib.read_optimal(os.path.join(data, "tsplib", "optimal.txt"))
    stems = [os.path.basename(p)[:-4] for p in tsplib.instance_paths(os.path.join(data, "tsplib"))]
    assert sorted(optimal) == sorted(stems) == sorted(NAMES)


@pytest.mark.parametrize("name", NAMES)
def test_tsplib95_weights_follow_the_tsplib_rules(data, matrices, name):
    kind, points = coordinates(os.path.join(data, "tsplib", name + ".tsp"))
    stem, matrix, weight_type = matrices(name)
    assert stem == name and weight_type == kind and len(matrix) == len(points)
    rule = RULES[kind]
    # every pair up to 300 locations, every 7th row beyond (about 150 000 pairs for pr1002)
    rows = range(0, len(points), 1 if len(points) <= 300 else 7)
    for i in rows:
        expected = [rule(points[i], q) for q in points]
        expected[i] = 0  # GEO's formula gives 1 here; load_matrix clears the diagonal
        assert matrix[i] == expected, "row %d" % i


def held_karp(matrix):
    """Exact shortest closed tour through every location, by dynamic
    programming over subsets (n up to about 15)."""
    n = len(matrix)
    full = 1 << (n - 1)
    best = [[math.inf] * n for _ in range(full)]  # best[subset of 1..n-1][last]
    for j in range(1, n):
        best[1 << (j - 1)][j] = matrix[0][j]
    for subset in range(1, full):
        row = best[subset]
        for last in range(1, n):
            here = row[last]
            if here == math.inf:
                continue
            for nxt in range(1, n):
                bit = 1 << (nxt - 1)
                if not subset & bit:
                    cost = here + matrix[last][nxt]
                    if cost < best[subset | bit][nxt]:
                        best[subset | bit][nxt] = cost
    return min(best[full - 1][j] + matrix[j][0] for j in range(1, n))


def test_burma14_optimum_by_exhaustive_search(data, matrices):
    # GEO distances: the exact optimum over tsplib95's matrix is the published one.
    optimal = tsplib.read_optimal(os.path.join(data, "tsplib", "optimal.txt"))
    assert held_karp(matrices("burma14")[1]) == optimal["burma14"] == 3323


def test_pcb442_canonical_tour(matrices):
    # TSPLIB's own check for EUC_2D implementations: the tour 1, 2, ..., 442
    # of pcb442 has length 221440.
    matrix = matrices("pcb442")[1]
    n = len(matrix)
    assert sum(matrix[i][(i + 1) % n] for i in range(n)) == 221440


@pytest.mark.parametrize("name", [n for n in NAMES if n not in ("pr1002", "rat783")])
def test_one_descent_never_beats_the_optimum(data, matrices, name):
    optimal = tsplib.read_optimal(os.path.join(data, "tsplib", "optimal.txt"))[name]
    matrix = matrices(name)[1]
    out = tourloom.solve(matrix)
    n = len(matrix)
    assert sorted(out.route) == list(range(n))
    assert out.distance == sum(matrix[a][b] for a, b in zip(out.route, out.route[1:] + out.route[:1]))
    assert out.distance >= optimal
