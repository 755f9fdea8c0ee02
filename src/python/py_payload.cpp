// The payload classes PyWork, PyWait and PyTravel: plain read-only records,
// one per event variant, that only the event objects create.
#include <array>
#include <cstddef>

#include "errors.hpp"
#include "py_ref.hpp"
#include "py_types.hpp"
#include "pypy_compat.hpp"
#include "type_support.hpp"

namespace tourloom::python {
namespace {

struct PayloadObject {
    PyObject_HEAD
    EventValue value;
};

std::array<PyTypeObject*, 3> g_payload_types{};

std::size_t index_of(EventTag tag) noexcept { return static_cast<std::size_t>(tag); }

// The tag travels in the getter's closure.
void* closure_of(EventTag tag) noexcept { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(tag)); }
EventTag tag_of(void* closure) noexcept {
    return static_cast<EventTag>(reinterpret_cast<std::uintptr_t>(closure));
}

// Getters can be reached with a foreign object only by calling a descriptor
// by hand; the check keeps that from reading foreign memory.
const PayloadObject* checked(PyObject* self, EventTag tag) {
    if (Py_TYPE(self) != payload_type(tag)) {
        raise_cannot_convert(self, payload_class_name(tag));
        return nullptr;
    }
    return reinterpret_cast<const PayloadObject*>(self);
}

PyObject* get_location(PyObject* self, void*) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const PayloadObject* p = checked(self, EventTag::Work);
        return p != nullptr ? long_from_u64(p->value.location) : nullptr;
    });
}

PyObject* get_window(PyObject* self, void* closure) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const PayloadObject* p = checked(self, tag_of(closure));
        if (p == nullptr) return nullptr;
        PyRef start = PyRef::steal(long_from_u64(p->value.start));
        PyRef end = PyRef::steal(long_from_u64(p->value.end));
        if (!start || !end) return nullptr;
        PyRef window = PyRef::steal(PyTuple_New(2));
        if (!window) return nullptr;
        PyTuple_SET_ITEM(window.get(), 0, start.release());
        PyTuple_SET_ITEM(window.get(), 1, end.release());
        return window.release();
    });
}

PyTypeObject* create_payload_type(EventTag tag) {
    static PyGetSetDef work_getset[] = {
        {"location", get_location, nullptr, nullptr, nullptr},
        {"window", get_window, nullptr, nullptr, closure_of(EventTag::Work)},
        final_class_getset(),
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    static PyGetSetDef wait_getset[] = {
        {"window", get_window, nullptr, nullptr, closure_of(EventTag::Wait)},
        final_class_getset(),
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    static PyGetSetDef travel_getset[] = {
        {"window", get_window, nullptr, nullptr, closure_of(EventTag::Travel)},
        final_class_getset(),
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    static PyMethodDef methods[] = {final_class_method(), {nullptr, nullptr, 0, nullptr}};
    static PyGetSetDef* getsets[] = {work_getset, wait_getset, travel_getset};
    static PyType_Slot slots[3][6];
    static PyType_Spec specs[3];

    static constexpr const char* spec_names[] = {"tourloom.PyWork", "tourloom.PyWait", "tourloom.PyTravel"};
    const std::size_t i = index_of(tag);
    slots[i][0] = {Py_tp_new, reinterpret_cast<void*>(no_constructor)};
    slots[i][1] = {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_plain)};
    slots[i][2] = {Py_tp_getset, getsets[i]};
    slots[i][3] = {Py_tp_methods, methods};
    slots[i][4] = final_class_setattr_slot();
    slots[i][5] = {0, nullptr};
    specs[i] = {spec_names[i], static_cast<int>(sizeof(PayloadObject)), 0, Py_TPFLAGS_DEFAULT, slots[i]};
    PyTypeObject* type = create_type(specs[i], nullptr);
    register_final_type(type, specs[i].name);
    return type;
}

}  // namespace

const char* payload_class_name(EventTag tag) noexcept {
    static constexpr const char* names[] = {"PyWork", "PyWait", "PyTravel"};
    return names[index_of(tag)];
}

PyTypeObject* payload_type(EventTag tag) {
    PyTypeObject*& type = g_payload_types[index_of(tag)];
    if (type == nullptr) type = create_payload_type(tag);
    return type;
}

PyObject* new_payload(const EventValue& value) {
    PyObject* obj = allocate(payload_type(value.tag));
    if (obj == nullptr) return nullptr;
    reinterpret_cast<PayloadObject*>(obj)->value = value;
    return obj;
}

const EventValue& payload_value(PyObject* obj) noexcept { return reinterpret_cast<const PayloadObject*>(obj)->value; }

}  // namespace tourloom::python
