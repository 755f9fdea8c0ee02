"""The schedule: the worked tour event by event, the event union (PyEvent
and its variant classes), the payload classes, and the shape of every
schedule."""

import platform
import struct
import sys

import pytest

import tourloom
from support import HOUR, U64, at, index_message, never_descend, raised, schedule_rows

# The worked tour [2, 0, 1], its stops listed in tour order so that the
# identity route (what a search that never descends returns) is that tour.
# Distances [[1, 2, 3], [10, 20, 30], [100, 200, 300]]; travel 1 h between
# neighbouring indices, 2 h between 0 and 2; jobs 1 h, 30 min, 2 h; windows
# 0: 08-18, 1: 12-13 and 15-16, 2: 09-10 and 11-12; hours 08-17.
TOUR = [2, 0, 1]
_DIST = [[1, 2, 3], [10, 20, 30], [100, 200, 300]]
_TRAVEL = [[0, 1, 2], [1, 0, 1], [2, 1, 0]]
_JOBS = [1, 0.5, 2]
_WINDOWS = [[(8, 18)], [(12, 13), (15, 16)], [(9, 10), (11, 12)]]
WORKED = dict(
    distance_matrix=[[_DIST[a][b] for b in TOUR] for a in TOUR],
    duration_matrix=[[_TRAVEL[a][b] * HOUR for b in TOUR] for a in TOUR],
    job_durations=[round(_JOBS[a] * HOUR) for a in TOUR],
    time_windows=[[(at(s), at(e)) for s, e in _WINDOWS[a]] for a in TOUR],
    operation_times=(8 * HOUR, 17 * HOUR),
)
KINDS = ["Work", "Wait", "Travel"]


def test_worked_tour():
    result = tourloom.solve(**WORKED, time_limit=never_descend())
    # Distance 100 + 2 + 30 (old 2->0, 0->1, 1->2).
    assert (result.route, result.iterations, result.distance) == ([0, 1, 2], 0, 132)
    # Renamed stops: old 2 is 0, old 0 is 1, old 1 is 2. Hours after the
    # first midnight; 32 is 08:00 the next day.
    assert schedule_rows(result) == [
        ("PyEvent_Wait", None, 9, 11),
        ("PyEvent_Work", 0, 11, 13),
        ("PyEvent_Travel", None, 13, 15),
        ("PyEvent_Work", 1, 15, 16),
        ("PyEvent_Travel", None, 16, 17),
        ("PyEvent_Wait", None, 17, 32),
        ("PyEvent_Work", 2, 32, 32.5),
        ("PyEvent_Travel", None, 32.5, 33.5),
    ]
    # Late 1 h at old 2 (done 13:00, closed 12:00) and 16.5 h at old 1
    # (done 08:30 next day, last window closed 16:00).
    assert (result.lateness, result.working_time, result.waiting_time, result.traveling_time) == (
        17.5 * HOUR, 3.5 * HOUR, 17 * HOUR, 4 * HOUR)
    assert (result.start_time, result.end_time, result.duration) == (at(9), at(33.5), 24.5 * HOUR)
    # The search itself returns nothing worse under the ranking.
    key = ("lateness", "traveling_time", "duration", "waiting_time", "distance")
    found = tourloom.solve(**WORKED)
    assert [getattr(found, k) for k in key] <= [getattr(result, k) for k in key]


def test_schedule_shape():
    result = tourloom.solve(**WORKED)
    events = result.schedule
    windows = [event._0.window for event in events]
    assert windows[0][0] == result.start_time and windows[-1][1] == result.end_time
    assert all(a[1] == b[0] for a, b in zip(windows, windows[1:]))
    # The kinds add up to the totals: Travel and Wait are told apart by
    # kind, not by their position in the union.
    totals = dict.fromkeys(KINDS, 0)
    for event, (start, end) in zip(events, windows):
        totals[type(event).__name__[8:]] += end - start
    assert totals == {"Work": result.working_time, "Wait": result.waiting_time, "Travel": result.traveling_time}
    assert sorted(e._0.location for e in events if type(e).__name__ == "PyEvent_Work") == [0, 1, 2]
    again = result.schedule
    assert again is not events and again != events and all(a is not b for a, b in zip(events, again))


@pytest.fixture(scope="module")
def events():
    """One event of each kind, from the worked tour."""
    by_kind = {}
    for event in tourloom.solve(**WORKED, time_limit=never_descend()).schedule:
        by_kind.setdefault(type(event).__name__[8:], event)
    return by_kind


@pytest.mark.parametrize("kind", KINDS)
def test_variant_class(events, kind):
    event = events[kind]
    cls = type(event)
    base = cls.__bases__[0]
    assert cls.__bases__ == (base,) and base.__name__ == "PyEvent"
    assert [getattr(base, k) is cls for k in KINDS] == [k == kind for k in KINDS]
    assert (cls.__match_args__, cls.__text_signature__) == (("_0",), "(_0)" if SIGNATURES_KEPT else None)
    assert not any(hasattr(tourloom, n) for n in ("PyEvent", cls.__name__, type(event._0).__name__))
    # Each read makes a new payload object with the same contents.
    payloads = [event._0, event._0, event[0]]
    assert len(event) == 1 and len({id(p) for p in payloads}) == 3
    assert {type(p).__name__ for p in payloads} == {"Py" + kind} and len({p.window for p in payloads}) == 1


def _classes(events):
    """Every class of the module by name, reached through the objects."""
    work = events["Work"]
    base = type(work).__bases__[0]
    classes = [tourloom.PyOutput, base] + [getattr(base, k) for k in KINDS]
    classes += [type(events[k]._0) for k in KINDS]
    return {cls.__name__: cls for cls in classes}


# PyPy 7.3 for Python 3.11 (7.3.19) makes a class from its spec without
# keeping the doc slot, and a C class's text signature comes only from
# there: on it the variants have none (their doc is empty on every
# interpreter). PyPy 8.0 keeps it.
SIGNATURES_KEPT = not (platform.python_implementation() == "PyPy" and sys.version_info >= (3, 10)
                       and getattr(sys, "pypy_version_info", (8,))[:1] < (8,))


# Names without a module prefix, the module "tourloom", no documentation
# but the variants' text signature.
@pytest.mark.parametrize(
    "name, signature",
    [pytest.param(name, signature, id=name) for name, signature in [
        ("PyOutput", None), ("PyEvent", None), ("PyEvent_Work", "(_0)"), ("PyEvent_Wait", "(_0)"),
        ("PyEvent_Travel", "(_0)"), ("PyWork", None), ("PyWait", None), ("PyTravel", None)]],
)
def test_class_names_and_documentation(events, name, signature):
    cls = _classes(events)[name]
    assert (cls.__name__, cls.__qualname__, cls.__module__) == (name, name, "tourloom")
    assert not cls.__doc__ and getattr(cls, "__text_signature__", None) == (signature if SIGNATURES_KEPT else None)


WIDE = struct.calcsize("P") * 8 == 64
BEYOND_WORD = (IndexError, "tuple index out of range") if WIDE else (OverflowError, "out of range integral type conversion attempted")


class Zero:
    def __index__(self):
        return 0


@pytest.mark.parametrize(
    "index, expected",
    [
        (0, None), (False, None), (Zero(), None),
        (1, (IndexError, "tuple index out of range")),
        (True, (IndexError, "tuple index out of range")),
        (2**32, BEYOND_WORD),
        (U64 - 1, BEYOND_WORD),
        (1.5, (TypeError, "argument 'idx': " + index_message(1.5))),
    ],
    ids=["zero", "false", "index-object", "one", "true", "2**32", "2**64-1", "float"],
)
def test_indexing(events, index, expected):
    event = events["Work"]
    if expected is None:
        assert event[index].window == event._0.window
    else:
        exc = raised(event.__getitem__, index)
        assert (type(exc), str(exc)) == expected


@pytest.mark.parametrize("index", [-1, U64])
def test_index_outside_64_bits(events, index):
    # No counting from the end: the interpreter's OverflowError, unprefixed,
    # as `solve` reports the same value.
    exc = raised(events["Wait"].__getitem__, index)
    assert (type(exc), str(exc)) == (OverflowError, str(raised(tourloom.solve, [[index]])))


@pytest.mark.parametrize("kind", KINDS)
def test_construct(events, kind):
    event = events[kind]
    cls, good = type(event), event._0
    for made in (cls(good), cls(_0=good)):
        assert type(made) is cls and made is not event and made._0.window == good.window
        assert getattr(made._0, "location", None) == getattr(good, "location", None)
    other = events["Wait" if kind != "Wait" else "Work"]._0
    name = cls.__name__
    for args, kwargs, message in [
        ((), {}, name + ".__new__() missing 1 required positional argument: '_0'"),
        ((good, good), {}, name + ".__new__() takes 1 positional arguments but 2 were given"),
        ((good,), {"_0": good}, name + ".__new__() got multiple values for argument '_0'"),
        ((), {"speed": 1}, name + ".__new__() got an unexpected keyword argument 'speed'"),
        ((other,), {}, "argument '_0': '%s' object cannot be converted to 'Py%s'" % (type(other).__name__, kind)),
        ((5,), {}, "argument '_0': 'int' object cannot be converted to 'Py%s'" % kind),
    ]:
        exc = raised(cls, *args, **kwargs)
        assert (type(exc), str(exc)) == (TypeError, message)


@pytest.mark.parametrize("kind", KINDS)
def test_classes_are_closed(events, kind):
    event = events[kind]
    for obj, attribute in ((event, "_0"), (event._0, "window")):
        cls = type(obj)

        def subclass():
            class Derived(cls):
                pass

        exc = raised(subclass)
        assert (type(exc), str(exc)) == (TypeError, "type 'tourloom.%s' is not an acceptable base type" % cls.__name__)
        assert type(raised(setattr, obj, attribute, None)) is AttributeError
        assert type(raised(setattr, obj, "note", None)) is AttributeError
    payload = event._0
    exc = raised(type(payload))
    assert (type(exc), str(exc)) == (TypeError, "No constructor defined for Py" + kind)
    assert hasattr(payload, "location") == (kind == "Work")


def test_union_base_is_open_but_not_constructible(events):
    base = type(events["Work"]).__bases__[0]

    class Custom(base):
        pass

    for cls in (base, Custom):
        exc = raised(cls)
        assert (type(exc), str(exc)) == (TypeError, "No constructor defined for " + cls.__name__)
