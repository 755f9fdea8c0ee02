"""Exact lists of exact ints are read in bulk (straight into the narrow
distance block for a square list of lists); every outcome (the result, or
the exception's type and text) must be the one the item-by-item reading
gives. The reference for that reading is the same values as tuples, which
only the item path reads."""

import random

import pytest

import tourloom
from support import U64, outcome

P = pytest.param


def as_tuples(value):
    """The same values with every list turned into a tuple, recursively."""
    return tuple(as_tuples(v) for v in value) if isinstance(value, list) else value


def assert_same_as_items(**kwargs):
    got = outcome(**kwargs)
    assert got == outcome(**{k: as_tuples(v) for k, v in kwargs.items()})
    return got


def square(n, top, seed=0):
    """An n x n list of lists of ints in [0, top], zero diagonal, holding `top`
    at (n - 1, 0) so that it is the last entry read that sets the width."""
    rng = random.Random(seed)
    rows = [[0 if a == b else rng.randrange(min(top, 1000) + 1) for b in range(n)] for a in range(n)]
    rows[n - 1][0] = top
    return rows


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Int(int):
    def __index__(self):  # never called: an int subclass is read as the int it is
        return 12345


# Around every width the block can take, and the ends of the range (on a
# 32-bit PyPy the lists beyond 2^31 are not in its integer strategy and take
# the item path; both must give the same).
WIDTH_EDGES = [0, 1, 2**15, 2**16 - 1, 2**16, 2**31 - 1, 2**31, 2**32 - 1, 2**32, 2**63 - 1, 2**63, U64 - 1]


@pytest.mark.parametrize("top", WIDTH_EDGES, ids=lambda v: f"top={v}")
@pytest.mark.parametrize("n", [1, 2, 5, 40])
def test_square_distances_of_every_width(n, top):
    rows = square(n, top)
    got = assert_same_as_items(distance_matrix=rows)
    if n >= 2 and top < 2**62:
        assert got[1] == sum(rows[a][b] for a, b in zip(got[0], got[0][1:] + got[0][:1]))


def test_a_lone_top_value_is_read_exactly():
    # [[0, v], [0, 0]]: the only tour costs v, which shows the width chosen holds it.
    for v in WIDTH_EDGES:
        assert tourloom.solve([[0, v], [0, 0]]).distance == v


# Inputs the bulk read must decline at some point (the first row, a middle
# one, the last entry), leaving the item path to give its value or its error.
DECLINED = [
    P([[0, -1], [1, 0]], id="negative"),
    P([[0, 1], [1, -(2**70)]], id="negative-big-last"),
    P([[0, U64], [1, 0]], id="too-big"),
    P([[0, -1, U64], [1, 0, 2], [3, 4, 0]], id="first-error-wins"),
    P([[0, 1, 2], [1, 0, 2], [3, 4, 1.5]], id="float-last"),
    P([[0, True], [False, 0]], id="bools"),
    P([[0, Int(7)], [Int(3), 0]], id="int-subclass"),
    P([[0, Index(7)], [Index(3), 0]], id="index-objects"),
    P([[0, Index(-1)], [3, 0]], id="index-negative"),
    P([[0, "7"], [3, 0]], id="str-item"),
    P([[0, None], [3, 0]], id="none-item"),
    P([[0, 1], (1, 0)], id="tuple-row"),
    P([[0, 1], type("Row", (list,), {})([1, 0])], id="list-subclass-row"),
    P([[0, 1, 2], [1, 0], [2, 1, 0]], id="ragged"),
    P([[0, 1, 2], [1, 0, 2]], id="two-by-three"),
    P([[0, 1], [1, 0, 5]], id="long-row"),
    P([[], []], id="empty-rows"),
    P([[]], id="one-empty-row"),
    P([], id="no-rows"),
    P([[0, 2**40], [2**40, 0]], id="beyond-32-bit-word"),
    P([[0, 2**63 + 5], [7, 0]], id="beyond-64-bit-word"),
]


@pytest.mark.parametrize("rows", DECLINED)
def test_distances_the_bulk_read_declines(rows):
    assert_same_as_items(distance_matrix=rows)


@pytest.mark.parametrize("rows", DECLINED)
def test_duration_rows_and_job_durations(rows):
    n = 2
    windows = [[(1_700_000_000, 1_700_100_000)]] * n
    distances = [[0, 1], [1, 0]]
    assert_same_as_items(distance_matrix=distances, duration_matrix=rows, job_durations=[60] * n, time_windows=windows)
    for jobs in rows:
        if isinstance(jobs, list):
            assert_same_as_items(distance_matrix=distances, duration_matrix=[[0, 5], [5, 0]], job_durations=jobs,
                                 time_windows=windows)


@pytest.mark.parametrize("seed", range(12))
def test_random_time_model_inputs(seed):
    rng = random.Random(seed)
    n = rng.randrange(1, 30)
    top = rng.choice(WIDTH_EDGES[:9])
    base = 1_700_000_000
    windows = [[(base + 3600 * k, base + 3600 * (k + 2))] for k in range(n)]
    assert_same_as_items(distance_matrix=square(n, top, seed), duration_matrix=square(n, rng.choice([600, 86_400]), seed + 1),
                         job_durations=[rng.randrange(3600) for _ in range(n)], time_windows=windows,
                         operation_times=(8 * 3600, 18 * 3600))


def test_a_row_grown_while_reading_is_read_as_grown():
    # The item path reads the lists as they are when it reaches them: an
    # item's __index__ that adds a row makes the matrix ragged.
    class Grow:
        def __index__(self):
            rows.append([1, 2, 3])
            return 4

    rows = [[0, 5, 7], [5, 0, Grow()], [7, 3, 0]]
    got = outcome(distance_matrix=rows)
    assert len(rows) == 4
    assert got == outcome(distance_matrix=[[0, 5, 7], [5, 0, 4], [7, 3, 0], [1, 2, 3]])


def test_a_list_read_after_an_item_changed_it():
    # An earlier argument's item changes a later list: the later one is read
    # as changed, through the bulk read or not.
    jobs = [60, 60]

    class Spoil:
        def __index__(self):
            jobs[1] = -1
            return 0

    distances = [[0, 1], [1, 0]]
    windows = [[(1_700_000_000, 1_700_100_000)]] * 2
    got = outcome(distance_matrix=distances, duration_matrix=[[0, Spoil()], [1, 0]], job_durations=jobs,
                  time_windows=windows)
    assert got[0] == "OverflowError"
