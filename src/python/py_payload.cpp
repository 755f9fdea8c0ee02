// The payload classes PyWork, PyWait and PyTravel: plain read-only records,
// one per event variant, that only the event objects create.
#include "errors.hpp"
#include "py_ref.hpp"
#include "py_types.hpp"
#include "pypy_compat.hpp"
#include "type_support.hpp"
#include "value_object.hpp"

namespace tourloom::python {
namespace {

PyObject* get_location(PyObject* self, void*) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const EventValue* p = checked<EventValue>(self, ClassId::Work);
        return p != nullptr ? long_from_u64(p->location) : nullptr;
    });
}

template <EventTag Tag>
PyObject* get_window(PyObject* self, void*) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const EventValue* p = checked<EventValue>(self, payload_class(Tag));
        if (p == nullptr) return nullptr;
        PyRef start = PyRef::steal(long_from_u64(p->start));
        PyRef end = PyRef::steal(long_from_u64(p->end));
        if (!start || !end) return nullptr;
        PyRef window = PyRef::steal(PyTuple_New(2));
        if (!window) return nullptr;
        PyTuple_SET_ITEM(window.get(), 0, start.release());
        PyTuple_SET_ITEM(window.get(), 1, end.release());
        return window.release();
    });
}

// Work has `location` before `window`; Wait and Travel only `window`.
template <EventTag Tag>
PyGetSetDef* payload_getset() {
    if constexpr (Tag == EventTag::Work) {
        static PyGetSetDef getset[] = {
            {"location", get_location, nullptr, nullptr, nullptr},
            {"window", get_window<Tag>, nullptr, nullptr, nullptr},
            {nullptr, nullptr, nullptr, nullptr, nullptr},
        };
        return getset;
    } else {
        static PyGetSetDef getset[] = {
            {"window", get_window<Tag>, nullptr, nullptr, nullptr},
            {nullptr, nullptr, nullptr, nullptr, nullptr},
        };
        return getset;
    }
}

}  // namespace

template <EventTag Tag>
ClassBody payload_body() {
    static PyType_Slot slots[] = {
        {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<EventValue>)},
        {Py_tp_getset, payload_getset<Tag>()},
        {0, nullptr},
    };
    return {value_object_size<EventValue>, slots, nullptr};
}
template ClassBody payload_body<EventTag::Work>();
template ClassBody payload_body<EventTag::Wait>();
template ClassBody payload_body<EventTag::Travel>();

PyObject* new_payload(const EventValue& value) { return new_object(payload_class(value.tag), value); }

}  // namespace tourloom::python
