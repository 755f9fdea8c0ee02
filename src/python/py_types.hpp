#pragma once
// The Python classes that carry a result out: `PyOutput` (py_output.cpp),
// the event union `PyEvent` with its variant classes `PyEvent_Work`,
// `PyEvent_Wait`, `PyEvent_Travel` (py_event.cpp), and the payload classes
// `PyWork`, `PyWait`, `PyTravel` (py_payload.cpp). What they share (names,
// flags, creation) is in types.cpp; each file gives only its class's body.
//
// Functions that may create a class throw `Panic` (or std::bad_alloc) when
// it cannot be created; callers run under `guarded`.
#include <Python.h>

#include <cstddef>
#include <cstdint>

#include "lib.hpp"
#include "types.hpp"

namespace tourloom::python {

// The variants of the event union, in the order of their tags.
enum class EventTag : unsigned char { Work = 0, Wait = 1, Travel = 2 };

constexpr ClassId variant_class(EventTag tag) noexcept {
    return static_cast<ClassId>(index_of(ClassId::EventWork) + static_cast<std::size_t>(tag));
}
constexpr ClassId payload_class(EventTag tag) noexcept {
    return static_cast<ClassId>(index_of(ClassId::Work) + static_cast<std::size_t>(tag));
}
static_assert(variant_class(EventTag::Travel) == ClassId::EventTravel && payload_class(EventTag::Travel) == ClassId::Travel);

// One schedule event as Python sees it: the tag and the payload, with the
// window converted to Unix seconds stored as unsigned 64-bit (two's
// complement for dates before 1970). `location` is meaningful for Work only.
struct EventValue {
    EventTag tag = EventTag::Work;
    std::size_t location = 0;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};

// A new PyOutput that owns `record`; null with an error set on failure
// (`record` then stays with the caller).
PyObject* new_output(tourloom::PyOutput&& record);

// The event value of an engine event (by kind, never by position).
EventValue event_value(const penalties::time::time_output::Event& event) noexcept;

// A new variant object (of the tag's class) holding `value`.
PyObject* new_event(const EventValue& value);

// A new payload object (PyWork, PyWait or PyTravel by the tag) holding a copy.
PyObject* new_payload(const EventValue& value);

// The bodies the class table is made of.
ClassBody output_body();
ClassBody event_body();
template <EventTag Tag>
ClassBody variant_body();
template <EventTag Tag>
ClassBody payload_body();

}  // namespace tourloom::python
