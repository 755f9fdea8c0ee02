#include "type_support.hpp"

#include <array>
#include <cstddef>
#include <cstring>
#include <string>

#include "panic.hpp"
#include "py_ref.hpp"
#include "pypy_compat.hpp"

namespace tourloom::python {

PyTypeObject* create_type(PyType_Spec& spec, PyObject* bases) {
    PyObject* type = PyType_FromSpecWithBases(&spec, bases);
    if (type == nullptr) {
        PyErr_Print();
        const char* dot = std::strrchr(spec.name, '.');
        panic(std::string("failed to create type object for ") + (dot != nullptr ? dot + 1 : spec.name));
    }
    return reinterpret_cast<PyTypeObject*>(type);
}

PyObject* no_constructor(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__"));
    PyRef text = name && PyUnicode_Check(name.get()) ? PyRef::steal(exact_text(name.get())) : PyRef();
    if (text) {
        PyErr_Format(PyExc_TypeError, "No constructor defined for %U", text.get());
    } else {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, "No constructor defined for <unknown>");
    }
    return nullptr;
}

void dealloc_plain(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* allocate(PyTypeObject* type) noexcept { return PyType_GenericAlloc(type, 0); }

PyObject* type_qualname(PyTypeObject* type) noexcept {
    PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__qualname__"));
    PyObject* text = name && PyUnicode_Check(name.get()) ? exact_text(name.get()) : nullptr;
    if (text != nullptr) return text;
    PyErr_Clear();
    return PyUnicode_FromString("<failed to extract type name>");
}

PyObject* raise_cannot_convert(PyObject* obj, const char* target) noexcept {
    PyRef name = PyRef::steal(type_qualname(Py_TYPE(obj)));
    if (name) PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name.get(), target);
    return nullptr;
}

namespace {

struct FinalType {
    PyTypeObject* type;
    const char* spec_name;
};
// Seven classes of the module are final; a fixed table is enough.
std::array<FinalType, 8> g_final_types{};

#ifdef PYPY_VERSION
const char* final_name(PyTypeObject* type) noexcept {
    for (const FinalType& f : g_final_types) {
        if (f.type == type) return f.spec_name;
    }
    return type->tp_name;
}

// On PyPy `cls` is the new subclass: the refusing class is the first final
// class in its method resolution order.
PyObject* refuse_subclass(PyObject* cls, PyObject*, PyObject*) noexcept {
    PyRef mro = PyRef::steal(PyObject_GetAttrString(cls, "__mro__"));
    if (!mro) return nullptr;
    const Py_ssize_t n = PyTuple_Check(mro.get()) ? PyTuple_Size(mro.get()) : 0;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* base = PyTuple_GetItem(mro.get(), i);
        for (const FinalType& f : g_final_types) {
            if (f.type != nullptr && base == reinterpret_cast<PyObject*>(f.type)) {
                PyErr_Format(PyExc_TypeError, "type '%s' is not an acceptable base type", f.spec_name);
                return nullptr;
            }
        }
    }
    Py_RETURN_NONE;
}

// 1 when a class in the MRO of `type` defines `name`, 0 when none does, -1
// with an error set. Only membership is asked: fetching a getset descriptor
// into C crashes the 32-bit PyPy.
int class_defines(PyTypeObject* type, PyObject* name) noexcept {
    PyRef mro = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__mro__"));
    if (!mro) return -1;
    const Py_ssize_t n = PyTuple_Check(mro.get()) ? PyTuple_Size(mro.get()) : 0;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyRef dict = PyRef::steal(PyObject_GetAttrString(PyTuple_GetItem(mro.get(), i), "__dict__"));
        if (!dict) return -1;
        const int found = PySequence_Contains(dict.get(), name);
        if (found != 0) return found;
    }
    return 0;
}

// A name the class defines (the read-only getters, `__class__`, ...) is
// assigned the usual way, through object.__setattr__ / __delattr__, and
// the descriptor refuses it; every other name is refused here.
int refuse_new_attribute(PyObject* self, PyObject* name, PyObject* value) noexcept {
    const int defined = class_defines(Py_TYPE(self), name);
    if (defined < 0) return -1;
    if (defined == 0) {
        PyRef text = PyRef::steal(exact_text(name));
        if (text) {
            PyErr_Format(PyExc_AttributeError, "'%s' object has no attribute '%U'", final_name(Py_TYPE(self)), text.get());
        }
        return -1;
    }
    PyRef method = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(&PyBaseObject_Type),
                                                       value != nullptr ? "__setattr__" : "__delattr__"));
    if (!method) return -1;
    PyRef done = PyRef::steal(PyObject_CallFunctionObjArgs(method.get(), self, name, value, nullptr));
    return done ? 0 : -1;
}

PyObject* refuse_dict(PyObject* self, void*) noexcept {
    PyErr_Format(PyExc_AttributeError, "'%s' object has no attribute '__dict__'", final_name(Py_TYPE(self)));
    return nullptr;
}
#endif

}  // namespace

PyMethodDef final_class_method() noexcept {
#ifdef PYPY_VERSION
    return {"__init_subclass__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(refuse_subclass)),
            METH_VARARGS | METH_KEYWORDS | METH_CLASS, nullptr};
#else
    return {nullptr, nullptr, 0, nullptr};
#endif
}

PyType_Slot final_class_setattr_slot() noexcept {
#ifdef PYPY_VERSION
    return {Py_tp_setattro, reinterpret_cast<void*>(refuse_new_attribute)};
#else
    return {0, nullptr};
#endif
}

PyGetSetDef final_class_getset() noexcept {
#ifdef PYPY_VERSION
    return {"__dict__", refuse_dict, nullptr, nullptr, nullptr};
#else
    return {nullptr, nullptr, nullptr, nullptr, nullptr};
#endif
}

void register_final_type(PyTypeObject* type, const char* spec_name) noexcept {
    for (FinalType& slot : g_final_types) {
        if (slot.type == nullptr || slot.type == type) {
            slot = {type, spec_name};
            return;
        }
    }
}

}  // namespace tourloom::python
