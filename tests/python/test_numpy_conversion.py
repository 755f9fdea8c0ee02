"""numpy arrays as arguments of solve: whether read from the buffer or item
by item, every outcome (the result, or the exception's type and text) is
the one the item-by-item reading gives. The reference for that reading is
the same array taken apart into lists of its own items (numpy scalars, or
sub-arrays where the array has more dimensions than the level expects),
which solve can only read item by item."""

import sys

import pytest

import tourloom
from support import U64, outcome, raised

np = pytest.importorskip("numpy", reason="numpy is not installed for this interpreter (no wheel for it on PyPI)")

P = pytest.param


def taken_apart(value, depth):
    """The lists that iterating `value` gives, `depth` levels deep."""
    if depth == 0 or not isinstance(value, np.ndarray) or value.ndim == 0:
        return value  # a 0-d array cannot be iterated: the reading fails on it as it is
    return [taken_apart(item, depth - 1) for item in value]


DEPTH = {"distance_matrix": 2, "duration_matrix": 2, "job_durations": 1}


def assert_same_as_items(**kwargs):
    reference = {k: taken_apart(v, DEPTH.get(k, 0)) for k, v in kwargs.items()}
    assert outcome(**kwargs) == outcome(**reference)
    return outcome(**kwargs)


def matrix(dtype, n=5, high=None):
    """An asymmetric n x n matrix of `dtype` with a zero diagonal."""
    info = np.iinfo(np.dtype(dtype))
    high = high or min(info.max, 97)
    values = (np.arange(n * n).reshape(n, n) * 37 + 11) % high
    np.fill_diagonal(values, 0)
    return values.astype(dtype)


INTEGER_DTYPES = ["int8", "int16", "int32", "int64", "uint8", "uint16", "uint32", "uint64"]
BYTE_ORDERS = ["<", ">"]
DTYPES = [order + np.dtype(name).str[1:] for name in INTEGER_DTYPES for order in BYTE_ORDERS]


@pytest.mark.parametrize("dtype", DTYPES)
def test_every_integer_dtype_and_byte_order(dtype):
    distances = matrix(dtype)
    assert distances.dtype == np.dtype(dtype)
    result = assert_same_as_items(distance_matrix=distances)
    assert result == outcome(distance_matrix=distances.tolist())  # the values themselves


@pytest.mark.parametrize("dtype", DTYPES)
def test_the_time_model_from_arrays(dtype):
    n = 5
    hour = 3600
    durations = matrix(dtype, n)  # seconds of travel
    work = np.array([0, 60, 30, 90, 120], dtype=dtype)
    windows = [[(1_700_000_000, 1_700_000_000 + 10 * hour)] for _ in range(n)]
    assert_same_as_items(distance_matrix=matrix(dtype, n), duration_matrix=durations, job_durations=work,
                         time_windows=windows, operation_times=(6 * hour, 18 * hour))


# The largest entry fixes how narrow the solve keeps a square array; the
# entries are scaled so that any one read in too few bits changes the tour or
# its distance.
WIDTH_LIMITS = [(2**8 - 1, "u1"), (2**16 - 1, "u2"), (2**16, "i4"), (2**32 - 1, "u4"), (2**32, "i8"),
                (2**63 - 1, "i8"), (U64 - 1, "u8")]


@pytest.mark.parametrize("largest,dtype", WIDTH_LIMITS)
@pytest.mark.parametrize("layout", ["<", ">", "strided"])
def test_entries_at_every_storage_width_read_exactly(largest, dtype, layout):
    base = BASE.astype(np.uint64)
    scaled = base * np.uint64(max(1, largest // (2 * 96))) + base % np.uint64(5)
    scaled[2, 5] = largest
    arr = scaled.astype(np.dtype(dtype).newbyteorder(layout if layout != "strided" else "="))
    if layout == "strided":
        arr = np.repeat(arr, 2, axis=1)[:, ::2]  # every entry, two items apart
    assert int(arr.max()) == largest
    result = assert_same_as_items(distance_matrix=arr)
    assert result == outcome(distance_matrix=scaled.tolist())


def test_extreme_values():
    top = np.array([[0, U64 - 1], [0, 0]], dtype=np.uint64)
    assert assert_same_as_items(distance_matrix=top)[1] == U64 - 1
    signed_top = np.array([[0, 2**63 - 1], [0, 0]], dtype=np.int64)
    assert assert_same_as_items(distance_matrix=signed_top)[1] == 2**63 - 1
    # 2**64 - 1 seconds of work is read as -1 s by the time model.
    huge = np.array([U64 - 1, 2**63], dtype=np.uint64)
    assert_same_as_items(distance_matrix=top, duration_matrix=np.zeros((2, 2), np.uint64), job_durations=huge,
                         time_windows=[[(0, 10)], [(0, 10)]])


@pytest.mark.parametrize("argument", ["distance_matrix", "job_durations"])
def test_a_0d_array_is_not_a_list(argument):
    kwargs = {"distance_matrix": BASE, argument: np.array(5)}
    assert outcome(**kwargs) == ("TypeError", "argument '%s': iteration over a 0-d array" % argument)


BASE = matrix("int64", 6)


@pytest.mark.parametrize(
    "view",
    [
        P(lambda m: m, id="contiguous"),
        P(lambda m: np.asfortranarray(m), id="fortran-order"),
        P(lambda m: m.T, id="transposed"),
        P(lambda m: m[::-1, ::-1], id="negative-strides"),
        P(lambda m: np.vstack([m, m])[::2, :], id="every-other-row"),
        P(lambda m: np.hstack([m, m, m])[:, 1::3], id="column-stride"),
        P(lambda m: np.broadcast_to(m[0], m.shape), id="zero-row-stride"),
        P(lambda m: _read_only(m.copy()), id="read-only"),
        P(lambda m: _unaligned(m), id="unaligned-field"),
        P(lambda m: m[:0], id="no-rows"),
        P(lambda m: m[:, :0], id="empty-rows"),
        P(lambda m: m[:1, :1], id="one-location"),
    ],
)
def test_strides_and_shapes_of_a_matrix(view):
    arr = view(BASE)
    assert_same_as_items(distance_matrix=arr)
    if arr.size and arr.shape[0] == arr.shape[1]:
        assert outcome(distance_matrix=arr) == outcome(distance_matrix=arr.tolist())


def _read_only(m):
    m.setflags(write=False)
    return m


def _unaligned(m):
    record = np.zeros(m.shape, dtype=[("pad", "u1"), ("value", "<i8")])
    record["value"] = m
    return record["value"]


@pytest.mark.parametrize(
    "rows",
    [
        P(lambda m: [row for row in m], id="list-of-array-rows"),
        P(lambda m: tuple(m[:, j] for j in range(m.shape[1])), id="tuple-of-strided-columns"),
        P(lambda m: [list(m[0])] + list(m[1:]), id="mixed-rows"),
    ],
)
def test_arrays_as_rows_of_a_list(rows):
    assert outcome(distance_matrix=rows(BASE)) == outcome(distance_matrix=taken_apart(rows(BASE), 2)) == \
        outcome(distance_matrix=[list(map(int, r)) for r in rows(BASE)])


NEGATIVE = BASE.copy()
NEGATIVE[3, 4] = -7


@pytest.mark.parametrize(
    "kwargs",
    [
        P({"distance_matrix": NEGATIVE}, id="negative-in-matrix"),
        P({"distance_matrix": NEGATIVE.astype(np.int8)}, id="negative-int8"),
        P({"distance_matrix": NEGATIVE.astype(">i2")}, id="negative-big-endian"),
        P({"distance_matrix": NEGATIVE[::-1]}, id="negative-reversed"),
        P({"distance_matrix": BASE, "duration_matrix": NEGATIVE}, id="negative-in-durations"),
        P({"distance_matrix": BASE, "job_durations": np.array([1, 2, -3, 4, 5, 6])}, id="negative-job"),
        P({"distance_matrix": np.full((2, 2), -1)}, id="all-negative"),
        P({"distance_matrix": NEGATIVE, "job_durations": "x"}, id="matrix-error-comes-first"),
        P({"distance_matrix": [[0, 1], [1, 0]], "job_durations": np.array([-1, 0]), "time_windows": 7},
          id="job-error-before-windows"),
        P({"distance_matrix": BASE.astype(float)}, id="float-matrix"),
        P({"distance_matrix": BASE.astype(float)[::2]}, id="float-strided"),
        P({"distance_matrix": BASE.astype(bool)}, id="bool-matrix"),
        P({"distance_matrix": BASE.astype(object)}, id="object-matrix"),
        P({"distance_matrix": np.array([[0, 2**70], [0, 0]], dtype=object)}, id="object-too-large"),
        P({"distance_matrix": BASE.astype("datetime64[s]")}, id="datetime-matrix"),
        P({"distance_matrix": BASE.astype("timedelta64[s]")}, id="timedelta-matrix"),
        P({"distance_matrix": BASE.astype(complex)}, id="complex-matrix"),
        P({"distance_matrix": BASE.astype("S4")}, id="bytes-matrix"),
        P({"distance_matrix": BASE.astype("U4")}, id="str-matrix"),
        P({"distance_matrix": np.array(5)}, id="0-d-matrix"),
        P({"distance_matrix": BASE[0]}, id="1-d-matrix"),
        P({"distance_matrix": BASE.reshape(2, 3, 6)}, id="3-d-matrix"),
        P({"distance_matrix": BASE, "job_durations": np.array(5)}, id="0-d-list"),
        P({"distance_matrix": BASE, "job_durations": BASE}, id="2-d-list"),
        P({"distance_matrix": BASE, "job_durations": BASE[:, :1]}, id="column-vector-list"),
        P({"distance_matrix": BASE, "time_windows": np.zeros((6, 1, 2), np.int64)}, id="array-windows"),
        P({"distance_matrix": BASE, "operation_times": np.array([1, 2])}, id="array-hours"),
        P({"distance_matrix": BASE, "time_limit": np.array(0)}, id="0-d-time-limit"),
        P({"distance_matrix": BASE, "time_limit": np.array([0])}, id="1-d-time-limit"),
    ],
)
def test_what_the_buffer_cannot_take_is_read_item_by_item(kwargs):
    assert_same_as_items(**kwargs)


def test_negative_entry_gives_the_interpreters_own_overflow_error():
    exc = raised(tourloom.solve, NEGATIVE)
    assert (type(exc), str(exc)) == (type(raised(tourloom.solve, [[-7]])), str(raised(tourloom.solve, [[-7]])))
    assert isinstance(exc, OverflowError)


def test_a_subclass_is_read_through_its_own_iteration():
    class Reversed(np.ndarray):
        def __iter__(self):
            return iter([self[i] for i in range(len(self) - 1, -1, -1)])

    arr = BASE.view(Reversed)
    expected = [[int(v) for v in reversed(row)] for row in BASE[::-1]]
    assert outcome(distance_matrix=arr) == outcome(distance_matrix=expected)
    assert outcome(distance_matrix=arr) != outcome(distance_matrix=BASE)


def test_a_class_merely_named_ndarray_is_not_taken_for_numpy():
    ndarray = type("ndarray", (list,), {"__module__": "numpy"})
    fake = ndarray([ndarray([0, 3]), ndarray([4, 0])])
    assert outcome(distance_matrix=fake) == outcome(distance_matrix=[[0, 3], [4, 0]])


def test_the_array_is_left_as_it_was():
    arr = BASE.copy()
    count = getattr(sys, "getrefcount", lambda _: 0)
    before = count(arr)
    for _ in range(3):
        tourloom.solve(arr, time_limit=0)
        raised(tourloom.solve, arr, job_durations=NEGATIVE)  # declined by the buffer, then read item by item
    assert count(arr) == before
    assert np.array_equal(arr, BASE) and arr.flags.writeable
    arr.resize((3, 12), refcheck=False)  # refused while a buffer export is still held
