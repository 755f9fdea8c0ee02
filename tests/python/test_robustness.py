"""Hostile inputs and resource use: sequences whose protocol methods raise
or lie, lists changed while they are read, subclasses of the accepted
types, memory exhaustion, and no growth over thousands of calls."""

import gc
import os
import platform
import subprocess
import sys
import textwrap
import weakref

import pytest

import tourloom
from support import HOUR, U64, index_message, panic_class, raised

IS_PYPY = platform.python_implementation() == "PyPy"


class Hostile:
    """A sequence of `items` whose length and iteration misbehave on request."""

    def __init__(self, items, length=None, len_error=None, iter_result=None, iter_error=None, next_error=None):
        self.items = items
        self.length = len(items) if length is None else length
        self.len_error, self.iter_result, self.iter_error, self.next_error = len_error, iter_result, iter_error, next_error

    def __getitem__(self, i):  # makes it a sequence; `solve` iterates instead
        raise AssertionError("items must be taken by iteration")

    def __len__(self):
        if self.len_error is not None:
            raise self.len_error
        return self.length

    def __iter__(self):
        if self.iter_error is not None:
            raise self.iter_error
        if self.iter_result is not None:
            return self.iter_result
        return self._generate()

    def _generate(self):
        yield from self.items
        if self.next_error is not None:
            raise self.next_error


class Call:
    """An integer whose conversion runs `action` first."""

    def __init__(self, value, action):
        self.value, self.action = value, action

    def __index__(self):
        self.action()
        return self.value


# Length only pre-sizes the list: whatever it says, the items decide.
@pytest.mark.parametrize(
    "length, len_error",
    [(2**60, None), (sys.maxsize, None), (2**30, None), (-1, None), (None, RuntimeError("no length")), (None, MemoryError())],
    ids=["2**60", "maxsize", "2**30", "negative", "raises", "raises-memoryerror"],
)
def test_reported_length_is_only_a_hint(length, len_error):
    row = Hostile([7, 8], length=length, len_error=len_error)
    assert tourloom.solve([row, Hostile([8, 0], length=length, len_error=len_error)]).distance == 16
    assert tourloom.solve([[0]], job_durations=Hostile([0] * 3, length=length)).distance == 0


def _prefixed_iter_error():
    exc = TypeError("iteration refused")
    exc.__cause__ = OSError("underneath")
    return exc


@pytest.mark.parametrize(
    "make",
    [
        lambda: Hostile([], iter_error=RuntimeError("no iteration")),
        lambda: Hostile([1], next_error=ValueError("gave up after one")),
        lambda: Hostile([1], next_error=KeyboardInterrupt()),
        lambda: Hostile([], iter_error=SystemExit(3)),
    ],
    ids=["iter-raises", "next-raises", "next-interrupted", "iter-exits"],
)
def test_iteration_errors_pass_through(make):
    row = make()
    expected = row.iter_error or row.next_error
    assert raised(tourloom.solve, [row]) is expected
    assert raised(tourloom.solve, [[0]], job_durations=row) is expected


def test_iteration_typeerror_is_prefixed_and_keeps_cause():
    original = _prefixed_iter_error()
    exc = raised(tourloom.solve, [[0]], time_windows=[Hostile([], iter_error=original)])
    assert (type(exc), str(exc)) == (TypeError, "argument 'time_windows': iteration refused")
    assert exc.__cause__ is original.__cause__


def test_iter_returning_non_iterator():
    row = Hostile([], iter_result=5)
    exc = raised(tourloom.solve, [row])
    assert (type(exc), str(exc)) == (TypeError, "argument 'distance_matrix': " + str(raised(iter, row)))


class Weird:
    def __init__(self, result):
        self.result = result

    def __index__(self):
        return self.result


@pytest.mark.parametrize(
    "value, kind, message",
    [
        (Weird("7"), TypeError, None),
        (Weird(1.0), TypeError, None),
        (Weird(U64 - 1), None, U64 - 1),
        (Weird(U64), OverflowError, None),
        (Weird(-5), OverflowError, None),
    ],
    ids=["returns-str", "returns-float", "returns-max", "returns-2**64", "returns-negative"],
)
def test_index_results(value, kind, message):
    if kind is None:
        assert tourloom.solve([[value]]).distance == message
        return
    exc = raised(tourloom.solve, [[value]])
    assert type(exc) is kind
    if kind is TypeError:
        assert str(exc) == "argument 'distance_matrix': " + index_message(value)
    else:
        assert str(exc) == str(raised(tourloom.solve, [[int(value.result)]]))


def test_row_cleared_while_read():
    # The first item empties its own row: only that item is read.
    row = [None, 5, 6]
    row[0] = Call(4, row.clear)
    assert tourloom.solve([row]).distance == 4


def test_matrix_grows_while_read():
    # Reading row 0 appends row 1 ([8, 0]) to the matrix: a two-stop tour of
    # 3 + 8.
    matrix = []
    added = []

    def grow():
        if not added:
            added.append(True)
            matrix.append([8, 0])

    matrix.append([Call(0, grow), 3])
    assert tourloom.solve(matrix).distance == 11


def test_matrix_shrinks_while_read():
    # Reading row 0 removes row 1: a one-stop tour of d[0][0] = 9.
    matrix = [[0, 1], [1, 0]]
    matrix[0][0] = Call(9, matrix.pop)
    result = tourloom.solve(matrix)
    assert (result.route, result.distance) == ([0], 9)


class IterList(list):
    def __iter__(self):
        return iter([5])

    def __len__(self):
        return 2**60


class LoudInt(int):
    def __index__(self):
        raise AssertionError("an int is read as it is")


class StrRow(str):
    pass


class StubbornTuple(tuple):
    def __getitem__(self, i):
        return 99


def test_subclasses():
    assert tourloom.solve([IterList([1, 2])]).distance == 5  # items from iteration
    assert tourloom.solve([[LoudInt(6)]]).distance == 6
    exc = raised(tourloom.solve, [StrRow("ab")])
    assert str(exc) == "argument 'distance_matrix': Can't extract `str` to `Vec`"
    # A pair's items are the tuple's own, not what __getitem__ claims.
    result = tourloom.solve([[0]], [[0]], [0], [[StubbornTuple((HOUR, HOUR))]])
    assert result.start_time == HOUR
    exc = raised(tourloom.solve, [[0]], operation_times=StubbornTuple((1, 2, 3)))
    assert (type(exc), str(exc)) == (ValueError, "expected tuple of length 2, but got tuple of length 3")


MEMORY_SCRIPT = textwrap.dedent(
    """
    import resource, sys
    sys.path[:0] = {path!r}
    import tourloom

    def vm_bytes():
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith("VmSize:"):
                    return int(line.split()[1]) * 1024

    # Room for the interpreter to go on, not for 2**62 converted values.
    limit = vm_bytes() + 96 * 2**20
    resource.setrlimit(resource.RLIMIT_AS, (limit, resource.getrlimit(resource.RLIMIT_AS)[1]))
    try:
        tourloom.solve([range(2**62)])
    except MemoryError:
        print("MemoryError")
    """
)


def _can_spawn():
    try:
        return subprocess.run([sys.executable, "-c", "pass"], timeout=60).returncode == 0
    except OSError:
        return False


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
@pytest.mark.skipif(IS_PYPY, reason="PyPy's own garbage collector aborts once the address space is exhausted")
def test_memory_exhaustion_is_memoryerror():
    if not _can_spawn():
        pytest.skip("this interpreter cannot be started as a subprocess here")
    script = MEMORY_SCRIPT.format(path=[os.path.dirname(tourloom.__file__)])
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=300)
    assert (done.returncode, done.stdout.strip()) == (0, "MemoryError"), done.stderr[-2000:]


def _rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def _churn(events, rounds):
    """Successful, failing and panicking calls and every kind of read."""
    panic = panic_class()
    for i in range(rounds):
        # 2000 unused job durations and windows ride along into the engine.
        big = [10**12 + i + k for k in range(2000)]
        result = tourloom.solve([[1, 2], [3, 4]], [[0, 60], [60, 0]], [60, 60] + big, [[(0, 10**6)]] * 2 + [[(1, 2)]] * 300)
        for name in ("distance", "route", "lateness", "duration", "start_time", "end_time", "time_taken_microseconds"):
            getattr(result, name)
        for event in result.schedule:
            event._0.window, event[0], len(event), type(event)(event._0)
            raised(event.__getitem__, 1)
        raised(tourloom.solve, [[0]], job_durations=big + [1.5])
        raised(tourloom.solve, [[0]], job_durations=big + [-1])
        raised(tourloom.solve, [[0]], time_windows=[[(2, 1)]] + [[(0, k) for k in big]])
        raised(tourloom.solve, [[0]], speed=big)
        raised(type(events[0]), big)
        exc = raised(tourloom.solve, [[0]], time_limit=2**63)
        assert type(exc) is panic


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
def test_no_growth_over_many_calls(capsys):
    events = tourloom.solve([[1, 2], [3, 4]], [[0, 60], [60, 0]], [60, 60], [[(0, 10**6)]] * 2).schedule
    rounds = 150 if sys.maxsize < 2**32 else 500 if IS_PYPY else 1000  # the 32-bit leg runs emulated
    totalrefs = getattr(sys, "gettotalrefcount", None)
    _churn(events, rounds // 3)
    gc.collect()
    before, refs_before = _rss(), totalrefs and totalrefs()
    _churn(events, rounds)
    gc.collect()
    grown = _rss() - before
    capsys.readouterr()  # the panics' diagnostic lines
    # A round converts about 4000 fresh ints and 2000-entry lists: keeping
    # one converted list costs 16 KB a round, keeping the ints far more.
    # PyPy's collector grows its heap in steps of several MB before it
    # settles, so there only gross leaks stand out.
    assert grown < (48 if IS_PYPY else 1) * 2**20, grown
    if totalrefs:
        assert totalrefs() - refs_before < 100


class Num:
    """An integer that can be watched with a weak reference."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Row(list):
    pass


def test_inputs_are_released(capsys):
    def calls():
        row = Row([Num(0), Num(5)])
        jobs = Row([Num(1), Num(2)])
        windows = Row([Row([(Num(0), Num(100))]), Row([(Num(0), Num(100))])])
        matrix = Row([row, Row([Num(5), Num(0)])])
        watched = [row, jobs, windows, matrix, row[0], jobs[1], windows[0], windows[1][0][1]]
        tourloom.solve(matrix, matrix, jobs, windows, (Num(0), Num(HOUR)), Num(0))
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


def _result_types():
    result = tourloom.solve([[0]], [[0]], [1], [[(0, 1)]])
    event = result.schedule[0]
    return [tourloom.PyOutput, type(event), type(event._0)]


@pytest.mark.skipif(not IS_PYPY, reason="weak references to results exist only on PyPy")
def test_results_are_released_pypy():
    def reads():
        result = tourloom.solve([[0, 1], [1, 0]], [[0, 9], [9, 0]], [3, 4], [[(0, 50)], [(0, 50)]])
        objs = [result] + result.schedule
        objs += [e._0 for e in result.schedule] + [e[0] for e in result.schedule]
        return [weakref.ref(o) for o in objs]

    refs = reads()
    for _ in range(3):
        gc.collect()
    assert [r() for r in refs] == [None] * len(refs)


@pytest.mark.skipif(not hasattr(sys, "getrefcount"), reason="needs reference counts")
def test_references_are_returned():
    row = [10**15, 10**16]
    matrix = [row, [10**17, 10**18]]
    bad = [10**15, 2.5]
    pair = (2**40, 2**40 + 5)
    hours = (2**20, 2**20 + HOUR)
    # Every live result object holds its class: leaked results, or a
    # deallocation that forgets the class, show in the classes' counts.
    watched = _result_types() + [row, matrix, bad, pair, hours] + row + bad + list(pair) + list(hours)
    before = [sys.getrefcount(o) for o in watched]
    for _ in range(50):
        result = tourloom.solve(matrix, [[0, 7], [7, 0]], [3, 4], [[pair], [pair]], hours)
        [(e._0.window, e[0], type(e)(e._0)) for e in result.schedule]
        raised(tourloom.solve, matrix, job_durations=bad)
        raised(tourloom.solve, matrix, time_windows=[[pair, bad]])
        del result
    assert [sys.getrefcount(o) for o in watched] == before
