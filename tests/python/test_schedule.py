"""The schedule: the worked tour event by event, the event union classes
(PyEvent and its variants), the payload classes, and the shape every
schedule has."""

import struct

import pytest

import tourloom
from support import HOUR, U64, at, index_message, never_descend, raised, schedule_rows

# The worked tour [2, 0, 1] with its stops listed in tour order, so that the
# identity route, which a search that never descends returns, is that tour.
# Original data: distances [[1, 2, 3], [10, 20, 30], [100, 200, 300]];
# travel 1 h between neighbouring indices, 2 h between 0 and 2; jobs 1 h,
# 30 min, 2 h; windows 0: 08-18, 1: 12-13 and 15-16, 2: 09-10 and 11-12;
# operating hours 08-17.
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


def worked_result(**extra):
    return tourloom.solve(**dict(WORKED, **extra))


def test_worked_tour():
    result = worked_result(time_limit=never_descend())
    assert (result.route, result.iterations) == ([0, 1, 2], 0)
    # Distance 100 + 2 + 30 (old 2->0, 0->1, 1->2).
    assert result.distance == 132
    # Stops renamed: old 2 is 0, old 0 is 1, old 1 is 2. Hours after
    # midnight of the first day; 32 is 08:00 on the next.
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
    # Late 1 h at old 2 (done 13:00, window closed 12:00) and 16.5 h at
    # old 1 (done 08:30 next day, last window closed 16:00).
    assert result.lateness == 17.5 * HOUR
    assert (result.working_time, result.waiting_time, result.traveling_time) == (3.5 * HOUR, 17 * HOUR, 4 * HOUR)
    assert (result.start_time, result.end_time, result.duration) == (at(9), at(33.5), 24.5 * HOUR)


def test_search_never_returns_worse_than_identity():
    key = ("lateness", "traveling_time", "duration", "waiting_time", "distance")
    found = worked_result()
    identity = worked_result(time_limit=never_descend())
    assert [getattr(found, k) for k in key] <= [getattr(identity, k) for k in key]
    assert sorted(found.route) == [0, 1, 2]


def test_schedule_shape():
    result = worked_result()
    events = result.schedule
    windows = [event._0.window for event in events]
    assert windows[0][0] == result.start_time and windows[-1][1] == result.end_time
    assert all(a[1] == b[0] for a, b in zip(windows, windows[1:]))
    assert all(start < end for start, end in windows)
    # The kinds add up to the report's totals: Travel and Wait are told apart
    # by kind, not by position in the union.
    totals = {"PyEvent_Work": 0, "PyEvent_Wait": 0, "PyEvent_Travel": 0}
    for event, (start, end) in zip(events, windows):
        totals[type(event).__name__] += end - start
    assert totals == {
        "PyEvent_Work": result.working_time,
        "PyEvent_Wait": result.waiting_time,
        "PyEvent_Travel": result.traveling_time,
    }
    assert {event._0.location for event in events if type(event).__name__ == "PyEvent_Work"} == {0, 1, 2}


def test_schedule_is_new_at_every_read():
    result = worked_result()
    first, second = result.schedule, result.schedule
    assert first is not second and first != second
    assert all(a is not b for a, b in zip(first, second))
    assert [e._0.window for e in first] == [e._0.window for e in second]


@pytest.fixture(scope="module")
def events():
    """One event of each kind, from the worked tour."""
    by_kind = {}
    for event in worked_result(time_limit=never_descend()).schedule:
        by_kind.setdefault(type(event).__name__, event)
    return by_kind


KINDS = ["Work", "Wait", "Travel"]


@pytest.mark.parametrize("kind", KINDS)
def test_variant_class(events, kind):
    event = events["PyEvent_" + kind]
    cls = type(event)
    base = cls.__bases__[0]
    assert cls.__bases__ == (base,) and base.__name__ == "PyEvent"
    assert getattr(base, kind) is cls
    assert [getattr(base, k) is cls for k in KINDS] == [k == kind for k in KINDS]
    assert cls.__match_args__ == ("_0",)
    assert cls.__text_signature__ == "(_0)"
    assert not hasattr(tourloom, cls.__name__) and not hasattr(tourloom, "PyEvent")
    assert not hasattr(tourloom, type(event._0).__name__)


@pytest.mark.parametrize("kind", KINDS)
def test_payload_read_gives_new_objects(events, kind):
    event = events["PyEvent_" + kind]
    assert len(event) == 1
    payloads = [event._0, event._0, event[0]]
    assert len({id(p) for p in payloads}) == 3
    assert {type(p).__name__ for p in payloads} == {"Py" + kind}
    assert len({p.window for p in payloads}) == 1


WORD_BITS = struct.calcsize("P") * 8


class Index:
    def __index__(self):
        return 0


@pytest.mark.parametrize(
    "index, kind, message",
    [
        (0, None, None),
        (False, None, None),
        (Index(), None, None),
        (1, IndexError, "tuple index out of range"),
        (True, IndexError, "tuple index out of range"),
        (U64 - 1, OverflowError, "out of range integral type conversion attempted")
        if WORD_BITS == 32
        else (U64 - 1, IndexError, "tuple index out of range"),
        (2**32, OverflowError, "out of range integral type conversion attempted")
        if WORD_BITS == 32
        else (2**32, IndexError, "tuple index out of range"),
        (1.5, TypeError, "argument 'idx': " + index_message(1.5)),
        ("0", TypeError, "argument 'idx': " + index_message("0")),
    ],
    ids=["zero", "false", "index-object", "one", "true", "2**64-1", "2**32", "float", "str"],
)
def test_indexing(events, index, kind, message):
    event = events["PyEvent_Work"]
    if kind is None:
        assert event[index].window == event._0.window
    else:
        exc = raised(event.__getitem__, index)
        assert (type(exc), str(exc)) == (kind, message)


@pytest.mark.parametrize("index", [-1, U64])
def test_index_out_of_64_bits(events, index):
    # No counting from the end: the interpreter's OverflowError, as `solve`
    # reports it for the same value, without a parameter name.
    exc = raised(events["PyEvent_Wait"].__getitem__, index)
    assert type(exc) is OverflowError
    assert str(exc) == str(raised(tourloom.solve, [[index]]))


@pytest.mark.parametrize("kind", KINDS)
def test_construct_from_payload(events, kind):
    event = events["PyEvent_" + kind]
    cls = type(event)
    for made in (cls(event._0), cls(_0=event._0)):
        assert type(made) is cls and made is not event
        assert made._0.window == event._0.window
        assert getattr(made._0, "location", None) == getattr(event._0, "location", None)


@pytest.mark.parametrize("kind", KINDS)
def test_construct_errors(events, kind):
    cls = type(events["PyEvent_" + kind])
    other = events["PyEvent_Wait" if kind != "Wait" else "PyEvent_Work"]._0
    good = events["PyEvent_" + kind]._0
    name = cls.__name__
    cases = [
        ((), {}, name + ".__new__() missing 1 required positional argument: '_0'"),
        ((good, good), {}, name + ".__new__() takes 1 positional arguments but 2 were given"),
        ((good,), {"_0": good}, name + ".__new__() got multiple values for argument '_0'"),
        ((), {"speed": 1}, name + ".__new__() got an unexpected keyword argument 'speed'"),
        ((other,), {}, "argument '_0': '%s' object cannot be converted to 'Py%s'" % (type(other).__name__, kind)),
        ((5,), {}, "argument '_0': 'int' object cannot be converted to 'Py%s'" % kind),
    ]
    for args, kwargs, message in cases:
        exc = raised(cls, *args, **kwargs)
        assert (type(exc), str(exc)) == (TypeError, message)


@pytest.mark.parametrize("kind", KINDS)
def test_classes_cannot_be_extended_or_written(events, kind):
    event = events["PyEvent_" + kind]
    for cls, attribute in ((type(event), "_0"), (type(event._0), "window")):

        def subclass():
            class Derived(cls):
                pass

        exc = raised(subclass)
        assert (type(exc), str(exc)) == (TypeError, "type 'tourloom.%s' is not an acceptable base type" % cls.__name__)
        obj = event if cls is type(event) else event._0
        assert type(raised(setattr, obj, attribute, None)) is AttributeError
        assert type(raised(setattr, obj, "note", None)) is AttributeError
    if kind == "Work":
        assert type(raised(setattr, event._0, "location", 3)) is AttributeError
    else:
        assert not hasattr(event._0, "location")


def test_no_constructors(events):
    base = type(events["PyEvent_Work"]).__bases__[0]

    class Custom(base):  # the union's base class stays open
        pass

    for cls in [base, Custom] + [type(e._0) for e in events.values()]:
        exc = raised(cls)
        assert (type(exc), str(exc)) == (TypeError, "No constructor defined for " + cls.__name__)
