#pragma once
// The Python classes that carry a result out: `PyOutput` (py_output.cpp),
// the event union `PyEvent` with its variant classes `PyEvent_Work`,
// `PyEvent_Wait`, `PyEvent_Travel` (py_event.cpp), and the payload classes
// `PyWork`, `PyWait`, `PyTravel` (py_payload.cpp).
//
// Every class is a heap type created on first use and kept for the life of
// the process. The getters throw `Panic` (or std::bad_alloc) when a class
// cannot be created; callers run under `guarded`.
#include <Python.h>

#include <cstddef>
#include <cstdint>

#include "lib.hpp"

namespace tourloom::python {

// The variants of the event union, in the order of their tags.
enum class EventTag : unsigned char { Work = 0, Wait = 1, Travel = 2 };

// One schedule event as Python sees it: the tag and the payload, with the
// window converted to Unix seconds stored as unsigned 64-bit (two's
// complement for dates before 1970). `location` is meaningful for Work only.
struct EventValue {
    EventTag tag = EventTag::Work;
    std::size_t location = 0;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};

PyTypeObject* output_type();
// A new PyOutput that owns `record`; null with an error set on failure.
PyObject* new_output(tourloom::PyOutput&& record);

// The event value of an engine event (by kind, never by position).
EventValue event_value(const penalties::time::time_output::Event& event) noexcept;

PyTypeObject* event_variant_type(EventTag tag);
// A new variant object (of the tag's class) holding `value`.
PyObject* new_event(const EventValue& value);

PyTypeObject* payload_type(EventTag tag);
// A new payload object (PyWork, PyWait or PyTravel by the tag) holding a copy.
PyObject* new_payload(const EventValue& value);
// The value a payload object holds; `obj` must be of payload_type(tag).
const EventValue& payload_value(PyObject* obj) noexcept;

// The class names, indexed by tag.
const char* variant_class_name(EventTag tag) noexcept;
const char* payload_class_name(EventTag tag) noexcept;

}  // namespace tourloom::python
