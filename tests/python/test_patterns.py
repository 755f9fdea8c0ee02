"""Structural pattern matching on schedule events (Python 3.10 and later;
conftest.py keeps this module away from older interpreters)."""

import platform

import pytest

import tourloom
from support import HOUR, at


def _schedule():
    # Wait 07:00-08:00 for the hours, work 08:00-09:00, travel 09:00-09:30.
    result = tourloom.solve([[0]], [[HOUR // 2]], [HOUR], [[(at(7), at(12))]], (8 * HOUR, 17 * HOUR))
    return result.schedule


def classify(event, base):
    match event:
        case base.Work(payload):
            return ("work", payload.location, payload.window)
        case base.Wait(_0=payload):
            return ("wait", None, payload.window)
        case base.Travel(payload):
            return ("travel", None, payload.window)
    return None


def test_class_patterns_dispatch_on_variant():
    events = _schedule()
    base = type(events[0]).__bases__[0]
    assert [classify(event, base) for event in events] == [
        ("wait", None, (at(7), at(8))),
        ("work", 0, (at(8), at(9))),
        ("travel", None, (at(9), at(9.5))),
    ]


def test_bound_payload_is_a_new_object():
    work = _schedule()[1]
    base = type(work).__bases__[0]
    match work:
        case base.Work(payload):
            assert type(payload).__name__ == "PyWork" and payload is not work._0
        case _:
            pytest.fail("a work event did not match PyEvent.Work")
    match work:
        case base.Travel(_) | base.Wait(_):
            pytest.fail("a work event matched another variant")


# PyPy's C-API layer counts every C type with a mapping subscript as a
# mapping for pattern matching (a C type cannot declare itself neither), so
# there `case {}` takes an event; CPython follows the type's flags.
PYPY_MAPS_C_SUBSCRIPTS = platform.python_implementation() == "PyPy"


@pytest.mark.parametrize("index", [0, 1, 2], ids=["wait", "work", "travel"])
def test_neither_sequence_nor_mapping(index):
    event = _schedule()[index]
    match event:
        case [_]:
            pytest.fail("an event matched a sequence pattern")
        case {} if not PYPY_MAPS_C_SUBSCRIPTS:
            pytest.fail("an event matched a mapping pattern")
        case _:
            pass
    assert len(event) == 1
