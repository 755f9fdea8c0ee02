"""Reference leaks, counted by a debug interpreter: every kind of call the
module answers (successful solves with every read of the result and its
schedule, each kind of failure of the binding, of the conversion and of the
solve, the event classes' own errors) repeated many times must leave
sys.gettotalrefcount() where it was. Only interpreters built with Py_DEBUG
have that count (scripts/test-python-leaks.sh runs this on Debian's
python3-dbg); elsewhere the tests are skipped.

Run as a script, `python test_leaks.py [ROUNDS]` repeats every operation
ROUNDS times without checks: the loop that runs under valgrind."""

import gc
import sys

import pytest

import tourloom

HOUR = 3600
M = [[0, 7, 9], [7, 0, 4], [9, 4, 0]]
TIMED = dict(
    distance_matrix=M,
    duration_matrix=[[0, 600, 900], [600, 0, 300], [900, 300, 0]],
    job_durations=[300, 600, 600],
    time_windows=[[(1_700_030_000, 1_700_040_000)], [(1_700_031_000, 1_700_032_000)],
                  [(1_700_033_000, 1_700_034_000), (1_700_036_000, 1_700_037_000)]],
    operation_times=(6 * HOUR, 18 * HOUR),
)
RESULT = tourloom.solve(**TIMED)
EVENT = RESULT.schedule[0]
ATTRIBUTES = ["distance", "route", "lateness", "duration", "working_time", "waiting_time", "traveling_time",
              "start_time", "end_time", "iterations", "time_taken_microseconds", "schedule"]


def expect(kind, call, *args, **kwargs):
    try:
        call(*args, **kwargs)
    except BaseException as exc:
        if type(exc).__name__ != kind:
            raise AssertionError("%s instead of %s" % (type(exc).__name__, kind)) from exc
        return
    raise AssertionError("no %s raised" % kind)


class Raises:
    """A sequence whose iteration raises `exc`, an integer whose __index__
    raises it."""

    def __init__(self, exc):
        self.exc = exc

    def __getitem__(self, i):
        raise AssertionError("read by index")

    def __len__(self):
        raise self.exc

    def __iter__(self):
        raise self.exc

    def __index__(self):
        raise self.exc


class NoLength(list):
    def __len__(self):
        raise ValueError("no length")


def with_cause(exc):
    exc.__cause__ = OSError("underneath")
    return exc


def read_everything():
    result = tourloom.solve(**TIMED)
    for name in ATTRIBUTES:
        getattr(result, name)
    for event in result.schedule:
        payload = event._0
        payload.window, event[0].window, len(event), getattr(payload, "location", None)
        type(event)(payload)._0.window
        type(event)(_0=payload)


BIG = list(range(3000))


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


HUGE = [[Index(10**12 + 7 * a + b) for b in range(3)] for a in range(3)]  # no cached ints

# Name -> one operation. Each kind of failure on its own, so that a leak
# shows which path it is on.
OPERATIONS = {
    "solve-plain": lambda: tourloom.solve(M).route,
    "solve-timed-read-everything": read_everything,
    "solve-index-objects-huge-values": lambda: (lambda r: (r.distance, r.route))(
        tourloom.solve(HUGE, job_durations=HUGE[0], operation_times=(Index(1), Index(2)), time_limit=Index(2**64 - 1))),
    "solve-many-values": lambda: tourloom.solve([BIG[:60]] * 60, time_limit=2**64 - 1).distance,
    "missing-argument": lambda: expect("TypeError", tourloom.solve),
    "too-many-positional": lambda: expect("TypeError", tourloom.solve, M, None, None, None, None, None, None),
    "unexpected-keyword": lambda: expect("TypeError", tourloom.solve, M, speed=BIG),
    "multiple-values": lambda: expect("TypeError", tourloom.solve, M, distance_matrix=M),
    "str-argument": lambda: expect("TypeError", tourloom.solve, [BIG, "ab"]),
    "not-a-sequence": lambda: expect("TypeError", tourloom.solve, M, job_durations=5),
    "float-after-many": lambda: expect("TypeError", tourloom.solve, M, job_durations=BIG + [1.5]),
    "list-pair": lambda: expect("TypeError", tourloom.solve, M, operation_times=[1, 2]),
    "typeerror-with-cause": lambda: expect("TypeError", tourloom.solve, M,
                                           time_windows=Raises(with_cause(TypeError("no")))),
    "pair-length": lambda: expect("ValueError", tourloom.solve, M, time_windows=[[(1, 2, 3)]]),
    "negative": lambda: expect("OverflowError", tourloom.solve, [BIG + [-1]]),
    "too-large": lambda: expect("OverflowError", tourloom.solve, M, time_limit=2**64),
    "own-error-from-iter": lambda: expect("KeyError", tourloom.solve, M, job_durations=Raises(KeyError("k"))),
    "own-error-from-index": lambda: expect("ValueError", tourloom.solve, [[Raises(ValueError("v"))]]),
    "length-error-ignored": lambda: tourloom.solve([NoLength([0])]).route,
    "panic-window": lambda: expect("PanicException", tourloom.solve, M, TIMED["duration_matrix"], [1, 1, 1],
                                   [[(2, 1)]] * 3),
    "panic-time-limit": lambda: expect("PanicException", tourloom.solve, M, time_limit=2**63),
    "panic-short-jobs": lambda: expect("PanicException", tourloom.solve, M, TIMED["duration_matrix"], [1],
                                       TIMED["time_windows"]),
    "event-index-error": lambda: expect("IndexError", EVENT.__getitem__, 1),
    "event-index-overflow": lambda: expect("OverflowError", EVENT.__getitem__, -1),
    "event-index-type": lambda: expect("TypeError", EVENT.__getitem__, "0"),
    "event-wrong-payload": lambda: expect("TypeError", type(EVENT), RESULT),
    "event-binding": lambda: expect("TypeError", type(EVENT), EVENT._0, _0=EVENT._0),
    "no-constructor": lambda: expect("TypeError", tourloom.PyOutput, M),
    "read-only": lambda: expect("AttributeError", setattr, RESULT, "distance", 1),
    "foreign-descriptor": lambda: expect("TypeError", vars(tourloom.PyOutput)["route"].__get__, EVENT, type(EVENT)),
}


class Discard:
    """sys.stderr while panics write their line: keeps nothing."""

    def write(self, s):
        return len(s)

    def flush(self):
        pass


def repeat(operation, rounds):
    kept, sys.stderr = sys.stderr, Discard()
    try:
        for _ in range(rounds):
            operation()
    finally:
        sys.stderr = kept


needs_debug = pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"),
                                 reason="needs an interpreter built with Py_DEBUG")
ROUNDS = 1000


@needs_debug
@pytest.mark.parametrize("name", list(OPERATIONS))
def test_reference_total_stays_flat(name):
    operation = OPERATIONS[name]
    repeat(operation, 20)  # first uses create classes and caches
    gc.collect()
    before = sys.gettotalrefcount()
    repeat(operation, ROUNDS)
    gc.collect()
    grown = sys.gettotalrefcount() - before
    # A reference kept once per call would add ROUNDS; what stays below is
    # the loop's own noise.
    assert grown < ROUNDS // 20, "%s: %d references over %d rounds" % (name, grown, ROUNDS)


@needs_debug
def test_reference_total_stays_flat_over_everything():
    def everything():
        for operation in OPERATIONS.values():
            operation()

    repeat(everything, 5)
    gc.collect()
    before = sys.gettotalrefcount()
    repeat(everything, ROUNDS // 4)
    gc.collect()
    after = sys.gettotalrefcount()
    print("\ngettotalrefcount over %d rounds of %d operations: %d before, %d after, %+.3f per round"
          % (ROUNDS // 4, len(OPERATIONS), before, after, (after - before) / (ROUNDS // 4)))
    assert after - before < ROUNDS // 20


if __name__ == "__main__":
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    for operation in OPERATIONS.values():
        repeat(operation, rounds)
    gc.collect()
    print("test_leaks: %d operations, %d rounds each" % (len(OPERATIONS), rounds))
