#include "type_support.hpp"

#include "py_ref.hpp"
#include "pypy_compat.hpp"

namespace tourloom::python {

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

}  // namespace tourloom::python
