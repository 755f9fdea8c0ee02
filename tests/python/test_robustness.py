"""Hostile inputs and resources: sequences whose protocol methods raise or
lie, lists changed while they are read, subclasses of the accepted types,
memory exhaustion, and nothing kept over many calls."""

import gc
import os
import platform
import subprocess
import sys
import textwrap
import weakref

import pytest

import tourloom
from support import HOUR, U64, ShortText, index_message, panic_class, raised

IS_PYPY = platform.python_implementation() == "PyPy"
P = pytest.param


class Hostile:
    """A sequence of `items` whose length and iteration misbehave on request."""

    def __init__(self, items, length=None, len_error=None, iter_result=None, iter_error=None, next_error=None):
        self.items, self.length = items, len(items) if length is None else length
        self.len_error, self.iter_result, self.iter_error, self.next_error = len_error, iter_result, iter_error, next_error

    def __getitem__(self, i):  # makes it a sequence; `solve` must iterate instead
        raise AssertionError("items must be taken by iteration")

    def __len__(self):
        if self.len_error is not None:
            raise self.len_error
        return self.length

    def __iter__(self):
        if self.iter_error is not None:
            raise self.iter_error
        return self.iter_result if self.iter_result is not None else self._generate()

    def _generate(self):
        yield from self.items
        if self.next_error is not None:
            raise self.next_error


# The length only pre-sizes the list: whatever it claims, the items decide.
@pytest.mark.parametrize(
    "length, len_error",
    [(2**60, None), (sys.maxsize, None), (2**30, None), (-1, None), (None, RuntimeError("no length")), (None, MemoryError())],
    ids=["2**60", "maxsize", "2**30", "negative", "raises", "raises-memoryerror"],
)
def test_reported_length_is_only_a_hint(length, len_error):
    matrix = [Hostile([7, 8], length, len_error), Hostile([8, 0], length, len_error)]
    assert tourloom.solve(matrix).distance == 16


def with_cause(exc):
    exc.__cause__ = OSError("underneath")
    return exc


@pytest.mark.parametrize(
    "make, expected",
    [
        P(lambda: Hostile([], iter_error=RuntimeError("no iteration")), None, id="iter-raises"),
        P(lambda: Hostile([1], next_error=ValueError("gave up")), None, id="next-raises"),
        P(lambda: Hostile([1], next_error=KeyboardInterrupt()), None, id="next-interrupted"),
        P(lambda: Hostile([], iter_error=with_cause(TypeError("refused"))), "argument 'job_durations': refused", id="iter-typeerror"),
        P(lambda: Hostile([], iter_result=5), "argument 'job_durations': " + str(raised(iter, Hostile([], iter_result=5))),
          id="iter-returns-non-iterator"),
    ],
)
def test_iteration_errors(make, expected):
    jobs = make()
    original = jobs.iter_error or jobs.next_error
    exc = raised(tourloom.solve, [[0]], job_durations=jobs)
    if expected is None:  # not a TypeError: raised as it was
        assert exc is original
    else:
        assert (type(exc), str(exc)) == (TypeError, expected)
        assert exc.__cause__ is getattr(original, "__cause__", None)


class Returns:
    def __init__(self, result):
        self.result = result

    def __index__(self):
        return self.result


@pytest.mark.parametrize(
    "result, expected",
    [
        P("7", (TypeError, "argument 'distance_matrix': " + index_message(Returns("7"))), id="str"),
        P(1.0, (TypeError, "argument 'distance_matrix': " + index_message(Returns(1.0))), id="float"),
        P(U64, (OverflowError, str(raised(tourloom.solve, [[U64]]))), id="2**64"),
        P(-5, (OverflowError, str(raised(tourloom.solve, [[-5]]))), id="negative"),
        P(U64 - 1, U64 - 1, id="largest"),
    ],
)
def test_index_results(result, expected):
    if isinstance(expected, int):
        assert tourloom.solve([[Returns(result)]]).distance == expected
    else:
        exc = raised(tourloom.solve, [[Returns(result)]])
        assert (type(exc), str(exc)) == expected


class Call:
    """An integer whose conversion runs `action` first."""

    def __init__(self, value, action):
        self.value, self.action = value, action

    def __index__(self):
        self.action()
        return self.value


def _cleared_row():
    row = [None, 5, 6]
    row[0] = Call(4, row.clear)  # only the first item is read: d[0][0] = 4
    return [row], [0], 4


def _grown_matrix():
    matrix = []
    matrix.append([Call(0, lambda: len(matrix) == 1 and matrix.append([8, 0])), 3])
    return matrix, [0, 1], 3 + 8  # row 1 arrives while row 0 is read


def _shrunk_matrix():
    matrix = [[None, 1], [1, 0]]
    matrix[0][0] = Call(9, matrix.pop)  # row 1 leaves while row 0 is read
    return matrix, [0], 9


@pytest.mark.parametrize("make", [_cleared_row, _grown_matrix, _shrunk_matrix], ids=["row-cleared", "matrix-grown", "matrix-shrunk"])
def test_lists_changed_while_read(make):
    matrix, route, distance = make()
    result = tourloom.solve(matrix)
    assert (result.route, result.distance) == (route, distance)


class IterList(list):
    def __iter__(self):
        return iter([5])

    def __len__(self):
        return 2**60


class LoudInt(int):
    def __index__(self):
        raise AssertionError("an int is read as it is")


class StubbornTuple(tuple):
    def __getitem__(self, i):
        return 99


def test_subclasses():
    assert tourloom.solve([IterList([1, 2])]).distance == 5  # items come from iteration
    assert tourloom.solve([[LoudInt(6)]]).distance == 6
    exc = raised(tourloom.solve, [type("Text", (str,), {})("ab")])
    assert str(exc) == "argument 'distance_matrix': Can't extract `str` to `Vec`"
    # A pair's items are the tuple's own, not what __getitem__ claims.
    assert tourloom.solve([[0]], [[0]], [0], [[StubbornTuple((HOUR, HOUR))]]).start_time == HOUR
    exc = raised(tourloom.solve, [[0]], operation_times=StubbornTuple((1, 2, 3)))
    assert (type(exc), str(exc)) == (ValueError, "expected tuple of length 2, but got tuple of length 3")


def _fake_iter(self):
    return iter((98, 97))


# PyPy gives C code a tuple subclass as a copy made through the subclass's
# own __iter__ and __len__; the pair must still be the items the tuple holds.
@pytest.mark.parametrize(
    "methods, items",
    [
        P({"__iter__": _fake_iter}, (HOUR, 2 * HOUR), id="iter"),
        P({"__getitem__": lambda self, i: 99}, (HOUR, 2 * HOUR), id="getitem"),
        P({"__iter__": _fake_iter, "__len__": lambda self: 2, "__getitem__": lambda self, i: 99}, (HOUR, 2 * HOUR),
          id="iter-len-getitem"),
        P({"__iter__": _fake_iter, "__len__": lambda self: 2}, (HOUR, 2 * HOUR, 3 * HOUR), id="three-items-iter-len"),
    ],
)
def test_pair_items_are_the_tuples_own(methods, items):
    pair = type("Pair", (tuple,), methods)(items)
    if len(items) == 2:
        assert tourloom.solve([[0]], [[0]], [0], [[pair]]).start_time == HOUR  # not 98
        tourloom.solve([[0]], operation_times=pair)  # (98, 97) would panic: start after end
    else:
        expected = (ValueError, "expected tuple of length 2, but got tuple of length 3")
        for kwargs in ({"time_windows": [[pair]]}, {"operation_times": pair}):
            exc = raised(tourloom.solve, [[0]], **kwargs)
            assert (type(exc), str(exc)) == expected


class _ShortQualname(type):
    def __getattribute__(cls, name):
        return ShortText("QualifiedName") if name == "__qualname__" else super().__getattribute__(name)


class _Odd(metaclass=_ShortQualname):
    pass


# Text that goes into a message in whole, whatever its class says its
# length is: the text of an object's own TypeError, a type's qualified name,
# an attribute's name.
@pytest.mark.parametrize(
    "call, expected",
    [
        P(lambda: tourloom.solve([[0]], job_durations=Hostile([], iter_error=TypeError(ShortText("refused by it")))),
          (TypeError, "argument 'job_durations': refused by it"), id="own-typeerror"),
        P(lambda: tourloom.solve([_Odd()]),
          (TypeError, "argument 'distance_matrix': 'QualifiedName' object cannot be converted to 'Sequence'"),
          id="qualname"),
        P(lambda: setattr(tourloom.solve([[0]]), ShortText("colour_of_it"), 1),
          (AttributeError, "'tourloom.PyOutput' object has no attribute 'colour_of_it'"), id="attribute-name"),
    ],
)
def test_texts_of_misstated_length(call, expected):
    kind, text = expected
    for _ in range(20):  # a write past a buffer may show only later
        exc = raised(call)
        # CPython 3.13 adds " and no __dict__ for setting new attributes" to
        # its own message; the text up to the closing quote is what counts.
        assert type(exc) is kind and str(exc).startswith(text), str(exc)


def _closed_objects():
    result = tourloom.solve([[0, 1], [1, 0]], [[0, 60], [60, 0]], [30, 30], [[(0, 100)], [(1000, 2000)]])
    events = result.schedule
    return [result] + events + [e._0 for e in events]


# None of the module's objects has an instance dictionary: not through
# __dict__ or vars() either, which PyPy would otherwise give them.
def test_no_instance_dictionary():
    for obj in _closed_objects():
        name = type(obj).__name__
        assert type(raised(getattr, obj, "__dict__")) is AttributeError, name
        assert type(raised(vars, obj)) is TypeError, name
        assert type(raised(setattr, obj, "colour", "red")) is AttributeError, name
        assert not hasattr(obj, "colour"), name


MEMORY_SCRIPT = """
import resource, sys
sys.path[:0] = {path!r}
import tourloom
with open("/proc/self/status") as f:
    vm = next(int(line.split()[1]) * 1024 for line in f if line.startswith("VmSize:"))
# Room for the interpreter to go on, not for 2**62 converted values.
resource.setrlimit(resource.RLIMIT_AS, (vm + 96 * 2**20, resource.getrlimit(resource.RLIMIT_AS)[1]))
try:
    tourloom.solve([range(2**62)])
except MemoryError:
    print("MemoryError")
"""


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
@pytest.mark.skipif(IS_PYPY, reason="PyPy's own collector aborts once the address space is exhausted")
def test_memory_exhaustion_is_memoryerror():
    script = MEMORY_SCRIPT.format(path=[os.path.dirname(tourloom.__file__)])
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=300)
    assert (done.returncode, done.stdout.strip()) == (0, "MemoryError"), done.stderr[-2000:]


def _churn(rounds):
    """Successful, failing and panicking calls, and every kind of read."""
    for i in range(rounds):
        big = [10**12 + i + k for k in range(2000)]  # unused jobs and windows ride along
        result = tourloom.solve([[1, 2], [3, 4]], [[0, 60], [60, 0]], [60, 60] + big, [[(0, 10**6)]] * 2 + [[(1, 2)]] * 300)
        for name in ("route", "lateness", "start_time", "time_taken_microseconds"):
            getattr(result, name)
        for event in result.schedule:
            event._0.window, event[0], type(event)(event._0), raised(event.__getitem__, 1), raised(type(event), big)
        raised(tourloom.solve, [[0]], job_durations=big + [1.5])
        raised(tourloom.solve, [[0]], job_durations=big + [-1])
        raised(tourloom.solve, [[0]], time_windows=[[(2, 1)]] + [[(0, k) for k in big]])
        raised(tourloom.solve, [[0]], speed=big)
        raised(tourloom.solve, [[0]], time_limit=2**63)


def _rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
def test_no_growth_over_many_calls(capsys):
    rounds = 150 if sys.maxsize < 2**32 else 500 if IS_PYPY else 1000  # the 32-bit leg runs emulated
    totalrefs = getattr(sys, "gettotalrefcount", lambda: 0)
    _churn(rounds // 3)
    gc.collect()
    refs_before = totalrefs()
    # PyPy's collector grows its heap in steps of several MB before it
    # settles, on some machines by hundreds of MB over the first periods; a
    # leak grows in every period, so the least of a few still shows it.
    growths = []
    for _ in range(3 if IS_PYPY else 1):
        before = _rss()
        _churn(rounds)
        gc.collect()
        growths.append(_rss() - before)
    grown = min(growths)
    capsys.readouterr()  # the panics' diagnostic lines
    # Keeping one converted list would cost 16 KB a round, keeping the ints
    # far more; on PyPy only gross leaks stand out.
    assert grown < (48 if IS_PYPY else 1) * 2**20, growths
    assert totalrefs() - refs_before < 100


class Num:
    """An integer that can be watched with a weak reference."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def test_inputs_and_results_are_released(capsys):
    class Row(list):
        pass

    def calls():
        jobs = Row([Num(1), Num(2)])
        windows = Row([Row([(Num(0), Num(100))]), Row([(Num(0), Num(100))])])
        matrix = Row([Row([Num(0), Num(5)]), Row([Num(5), Num(0)])])
        watched = [jobs, windows, matrix, matrix[0][1], jobs[1], windows[0], windows[1][0][1]]
        result = tourloom.solve(matrix, matrix, jobs, windows, (Num(0), Num(HOUR)), Num(0))
        if IS_PYPY:  # only PyPy lets results be watched this way
            watched += [result] + result.schedule + [e._0 for e in result.schedule] + [e[0] for e in result.schedule]
        raised(tourloom.solve, matrix, job_durations=Row([Num(1), 2.5]))
        raised(tourloom.solve, matrix, job_durations=Row([Num(1), Num(-1)]))
        raised(tourloom.solve, matrix, time_windows=Row([Row([(Num(9), Num(1))])]))
        raised(tourloom.solve, matrix, speed=jobs)
        return [weakref.ref(o) for o in watched]

    refs = calls()
    for _ in range(3):
        gc.collect()
    capsys.readouterr()
    assert [r() for r in refs] == [None] * len(refs)


@pytest.mark.skipif(not hasattr(sys, "getrefcount"), reason="needs reference counts")
def test_references_are_returned(capsys):
    row, bad = [10**15, 10**16], [10**15, 2.5]
    matrix = [row, [10**17, 10**18]]
    pair, hours = (2**40, 2**40 + 5), (2**20, 2**20 + HOUR)
    first = tourloom.solve([[0]], [[0]], [1], [[(0, 1)]]).schedule[0]
    # Every live result holds its class: leaked results, or a deallocation
    # that forgets the class, show in the classes' counts.
    watched = [tourloom.PyOutput, type(first), type(first._0), panic_class(), row, matrix, bad, pair, hours]
    watched += row + bad + list(pair) + list(hours)
    before = [sys.getrefcount(o) for o in watched]
    for _ in range(50):
        result = tourloom.solve(matrix, [[0, 7], [7, 0]], [3, 4], [[pair], [pair]], hours)
        [(e._0.window, e[0], type(e)(e._0)) for e in result.schedule]
        raised(tourloom.solve, matrix, job_durations=bad)
        raised(tourloom.solve, matrix, time_windows=[[pair, bad]])
        raised(tourloom.solve, matrix, time_limit=2**63)
        del result
    capsys.readouterr()
    assert [sys.getrefcount(o) for o in watched] == before
