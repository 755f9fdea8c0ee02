// The schedule event union: the open base class PyEvent and one final class
// per variant (PyEvent_Work, PyEvent_Wait, PyEvent_Travel). A variant object
// holds its tag and a copy of its payload and never changes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "arguments.hpp"
#include "conversion.hpp"
#include "errors.hpp"
#include "py_ref.hpp"
#include "py_types.hpp"
#include "type_support.hpp"

namespace tourloom::python {
namespace {

using penalties::time::time_output::Event;

struct EventObject {
    PyObject_HEAD
    EventValue value;
};

PyTypeObject* g_event_base = nullptr;
std::array<PyTypeObject*, 3> g_variant_types{};

std::size_t index_of(EventTag tag) noexcept { return static_cast<std::size_t>(tag); }

void* closure_of(EventTag tag) noexcept { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(tag)); }
EventTag tag_of(void* closure) noexcept {
    return static_cast<EventTag>(reinterpret_cast<std::uintptr_t>(closure));
}

// A foreign object arrives here only through a descriptor called by hand.
const EventObject* checked(PyObject* self, EventTag tag) {
    if (Py_TYPE(self) != event_variant_type(tag)) {
        raise_cannot_convert(self, variant_class_name(tag));
        return nullptr;
    }
    return reinterpret_cast<const EventObject*>(self);
}

PyObject* payload_of(PyObject* self, EventTag tag) {
    const EventObject* event = checked(self, tag);
    if (event == nullptr) return nullptr;
    // Objects are only made with their class's own tag; a mismatch would be
    // a fault of this module.
    if (event->value.tag != tag) {
        panic("internal error: entered unreachable code: Wrong complex enum variant found in variant wrapper PyClass");
    }
    return new_payload(event->value);
}

PyObject* get_payload(PyObject* self, void* closure) noexcept {
    return guarded<PyObject*>(nullptr, [&] { return payload_of(self, tag_of(closure)); });
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
        return payload_of(self, Tag);
    });
}

template <EventTag Tag>
PyObject* variant_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        static const char* const parameters[] = {"_0"};
        static const FunctionDescription description{variant_class_name(Tag), "__new__", parameters, 1, 1};
        PyObject* slots[1];
        if (!bind_tuple_dict(description, args, kwargs, slots)) return nullptr;
        if (Py_TYPE(slots[0]) != payload_type(Tag)) {
            raise_cannot_convert(slots[0], payload_class_name(Tag));
            prefix_argument_name("_0");
            return nullptr;
        }
        EventValue value = payload_value(slots[0]);
        value.tag = Tag;
        PyObject* obj = allocate(type);
        if (obj == nullptr) return nullptr;
        reinterpret_cast<EventObject*>(obj)->value = value;
        return obj;
    });
}

PyTypeObject* create_base() {
    static PyType_Slot slots[] = {
        {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
        {0, nullptr},
    };
    static PyType_Spec spec = {"tourloom.PyEvent", 0, 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, slots};
    return create_type(spec, nullptr);
}

template <EventTag Tag>
PyTypeObject* create_variant(PyTypeObject* base) {
    static constexpr const char* spec_names[] = {"tourloom.PyEvent_Work", "tourloom.PyEvent_Wait",
                                                 "tourloom.PyEvent_Travel"};
    static const char* const docs[] = {"PyEvent_Work(_0)\n--\n\n", "PyEvent_Wait(_0)\n--\n\n",
                                       "PyEvent_Travel(_0)\n--\n\n"};
    static PyGetSetDef getset[] = {
        {"_0", get_payload, nullptr, nullptr, closure_of(Tag)},
        final_class_getset(),
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    static PyMethodDef methods[] = {final_class_method(), {nullptr, nullptr, 0, nullptr}};
    static PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(docs[index_of(Tag)])},
        {Py_tp_new, reinterpret_cast<void*>(variant_new<Tag>)},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_plain)},
        {Py_tp_getset, getset},
        {Py_tp_methods, methods},
        {Py_mp_length, reinterpret_cast<void*>(variant_length)},
        {Py_mp_subscript, reinterpret_cast<void*>(variant_item<Tag>)},
        final_class_setattr_slot(),
        {0, nullptr},
    };
    static PyType_Spec spec = {spec_names[index_of(Tag)], static_cast<int>(sizeof(EventObject)), 0,
                               Py_TPFLAGS_DEFAULT, slots};
    PyRef bases = PyRef::steal(PyTuple_Pack(1, reinterpret_cast<PyObject*>(base)));
    if (!bases) throw std::bad_alloc();
    PyTypeObject* type = create_type(spec, bases.get());
    register_final_type(type, spec.name);
#if !defined(PYPY_VERSION) && PY_VERSION_HEX < 0x030A0000
    // CPython 3.9 drops the signature line when it copies a heap type's
    // doc; put the full text back so that `__text_signature__` is "(_0)".
    const std::size_t size = std::strlen(docs[index_of(Tag)]) + 1;
    if (void* doc = PyObject_Malloc(size)) {
        std::memcpy(doc, docs[index_of(Tag)], size);
        PyObject_Free(const_cast<char*>(type->tp_doc));
        type->tp_doc = static_cast<const char*>(doc);
    }
#endif

    PyRef match_args = PyRef::steal(Py_BuildValue("(s)", "_0"));
    if (!match_args ||
        PyObject_SetAttrString(reinterpret_cast<PyObject*>(type), "__match_args__", match_args.get()) < 0) {
        PyErr_Print();
        panic(std::string("failed to create type object for ") + variant_class_name(Tag));
    }
    return type;
}

// PyEvent first (the variants' base), then the variants, then the class
// attributes PyEvent.Work / .Wait / .Travel that name them.
void create_event_types() {
    if (g_event_base == nullptr) g_event_base = create_base();
    if (g_variant_types[0] == nullptr) g_variant_types[0] = create_variant<EventTag::Work>(g_event_base);
    if (g_variant_types[1] == nullptr) g_variant_types[1] = create_variant<EventTag::Wait>(g_event_base);
    if (g_variant_types[2] == nullptr) g_variant_types[2] = create_variant<EventTag::Travel>(g_event_base);
    static constexpr const char* attributes[] = {"Work", "Wait", "Travel"};
    for (std::size_t i = 0; i < 3; ++i) {
        if (PyObject_SetAttrString(reinterpret_cast<PyObject*>(g_event_base), attributes[i],
                                   reinterpret_cast<PyObject*>(g_variant_types[i])) < 0) {
            PyErr_Print();
            panic("failed to create type object for PyEvent");
        }
    }
}

}  // namespace

const char* variant_class_name(EventTag tag) noexcept {
    static constexpr const char* names[] = {"PyEvent_Work", "PyEvent_Wait", "PyEvent_Travel"};
    return names[index_of(tag)];
}

PyTypeObject* event_variant_type(EventTag tag) {
    PyTypeObject* type = g_variant_types[index_of(tag)];
    if (type == nullptr || g_variant_types[2] == nullptr) {
        create_event_types();
        type = g_variant_types[index_of(tag)];
    }
    return type;
}

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

PyObject* new_event(const EventValue& value) {
    PyObject* obj = allocate(event_variant_type(value.tag));
    if (obj == nullptr) return nullptr;
    reinterpret_cast<EventObject*>(obj)->value = value;
    return obj;
}

}  // namespace tourloom::python
