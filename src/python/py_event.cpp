// The schedule event union: the open base class PyEvent and one final class
// per variant (PyEvent_Work, PyEvent_Wait, PyEvent_Travel). A variant object
// holds its tag and a copy of its payload and never changes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "arguments.hpp"
#include "conversion.hpp"
#include "errors.hpp"
#include "py_ref.hpp"
#include "py_types.hpp"
#include "type_support.hpp"
#include "value_object.hpp"

namespace tourloom::python {
namespace {

using penalties::time::time_output::Event;

// The class attributes of PyEvent that name the variants, by tag.
constexpr const char* variant_attributes[] = {"Work", "Wait", "Travel"};

template <EventTag Tag>
PyObject* payload_of(PyObject* self) {
    const EventValue* value = checked<EventValue>(self, variant_class(Tag));
    if (value == nullptr) return nullptr;
    // Objects are only made with their class's own tag; a mismatch would be
    // a fault of this module.
    if (value->tag != Tag) {
        panic("internal error: entered unreachable code: Wrong complex enum variant found in variant wrapper PyClass");
    }
    return new_payload(*value);
}

template <EventTag Tag>
PyObject* get_payload(PyObject* self, void*) noexcept {
    return guarded<PyObject*>(nullptr, [&] { return payload_of<Tag>(self); });
}

Py_ssize_t variant_length(PyObject*) noexcept { return 1; }

// Like a one-item tuple, but the index converts as an unsigned integer:
// there is no counting from the end.
template <EventTag Tag>
PyObject* variant_item(PyObject* self, PyObject* key) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::uint64_t index = 0;
        if (!extract_u64(key, index)) {
            prefix_argument_name("idx");
            return nullptr;
        }
        if (index > SIZE_MAX) {
            PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
            return nullptr;
        }
        if (index != 0) {
            PyErr_SetString(PyExc_IndexError, "tuple index out of range");
            return nullptr;
        }
        return payload_of<Tag>(self);
    });
}

template <EventTag Tag>
PyObject* variant_new(PyTypeObject*, PyObject* args, PyObject* kwargs) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        static const char* const parameters[] = {"_0"};
        static const FunctionDescription description{class_name(variant_class(Tag)), "__new__", parameters, 1, 1};
        PyObject* slots[1];
        if (!bind_tuple_dict(description, args, kwargs, slots)) return nullptr;
        const EventValue* payload = checked<EventValue>(slots[0], payload_class(Tag));
        if (payload == nullptr) {
            prefix_argument_name("_0");
            return nullptr;
        }
        EventValue value = *payload;
        value.tag = Tag;
        return new_event(value);
    });
}

bool finish_variant(PyTypeObject* type) {
    PyRef match_args = PyRef::steal(Py_BuildValue("(s)", "_0"));
    return match_args && PyObject_SetAttrString(reinterpret_cast<PyObject*>(type), "__match_args__", match_args.get()) == 0;
}

// PyEvent is created before its variants, whose base it is; it names them
// in its class attributes Work, Wait and Travel.
bool finish_base(PyTypeObject* base) {
    for (const EventTag tag : {EventTag::Work, EventTag::Wait, EventTag::Travel}) {
        PyObject* variant = reinterpret_cast<PyObject*>(class_type(variant_class(tag)));
        if (PyObject_SetAttrString(reinterpret_cast<PyObject*>(base), variant_attributes[static_cast<std::size_t>(tag)],
                                   variant) < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

ClassBody event_body() {
    static PyType_Slot slots[] = {
        {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
        {0, nullptr},
    };
    return {0, slots, finish_base};
}

template <EventTag Tag>
ClassBody variant_body() {
    // The text signature "(_0)". Made once and never freed, like the class.
    static const std::string& doc = *new std::string(std::string(class_name(variant_class(Tag))) + "(_0)\n--\n\n");
    static PyGetSetDef getset[] = {
        {"_0", get_payload<Tag>, nullptr, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    static PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(doc.c_str())},
        {Py_tp_new, reinterpret_cast<void*>(variant_new<Tag>)},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<EventValue>)},
        {Py_tp_getset, getset},
        {Py_mp_length, reinterpret_cast<void*>(variant_length)},
        {Py_mp_subscript, reinterpret_cast<void*>(variant_item<Tag>)},
        {0, nullptr},
    };
    return {value_object_size<EventValue>, slots, finish_variant};
}
template ClassBody variant_body<EventTag::Work>();
template ClassBody variant_body<EventTag::Wait>();
template ClassBody variant_body<EventTag::Travel>();

EventValue event_value(const Event& event) noexcept {
    const auto unix = [](Instant t) { return static_cast<std::uint64_t>(t.unix_seconds()); };
    EventValue value;
    switch (event.kind) {
        case Event::Kind::Work: value.tag = EventTag::Work; value.location = event.location; break;
        case Event::Kind::Wait: value.tag = EventTag::Wait; break;
        case Event::Kind::Travel: value.tag = EventTag::Travel; break;
    }
    value.start = unix(event.window.start());
    value.end = unix(event.window.end());
    return value;
}

PyObject* new_event(const EventValue& value) { return new_object(variant_class(value.tag), value); }

}  // namespace tourloom::python
