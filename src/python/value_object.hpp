#pragma once
// The layout of every instance that holds one C++ value (the result, the
// event variants and the payloads), with the three operations on it: the
// checked access of a getter, creation, and tp_dealloc.
#include <Python.h>

#include <new>
#include <type_traits>
#include <utility>

#include "type_support.hpp"
#include "types.hpp"

namespace tourloom::python {

template <class T>
struct ValueObject {
    PyObject_HEAD
    T value;
};

template <class T>
inline constexpr int value_object_size = static_cast<int>(sizeof(ValueObject<T>));

// The value `self` holds, when it is an instance of class `id`; otherwise
// null with TypeError "'T' object cannot be converted to 'NAME'". A foreign
// object arrives here only through a descriptor called by hand; the check
// keeps that from reading foreign memory.
template <class T>
const T* checked(PyObject* self, ClassId id) {
    if (Py_TYPE(self) != class_type(id)) {
        raise_cannot_convert(self, class_name(id));
        return nullptr;
    }
    return &reinterpret_cast<const ValueObject<T>*>(self)->value;
}

// A new instance of class `id` that holds `value`; null with an error set
// (and `value` untouched) when it cannot be allocated.
template <class V>
PyObject* new_object(ClassId id, V&& value) {
    using T = std::remove_cvref_t<V>;
    PyObject* obj = PyType_GenericAlloc(class_type(id), 0);
    if (obj == nullptr) return nullptr;
    new (&reinterpret_cast<ValueObject<T>*>(obj)->value) T(std::forward<V>(value));
    return obj;
}

// tp_dealloc: destroys the value, frees the object and drops the reference
// to its heap type that allocation took.
template <class T>
void dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<ValueObject<T>*>(self)->value.~T();
    type->tp_free(self);
    Py_DECREF(type);
}

}  // namespace tourloom::python
