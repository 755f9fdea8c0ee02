#pragma once
// The texts the module's classes share: the refusal of constructors and the
// "cannot be converted" error that names an object's type.
#include <Python.h>

namespace tourloom::python {

// tp_new of the classes Python may not instantiate:
// TypeError "No constructor defined for NAME" with the `__name__` of `type`.
PyObject* no_constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;

// A new reference to the `__qualname__` of `type`, or to the text
// "<failed to extract type name>" when it cannot be read.
PyObject* type_qualname(PyTypeObject* type) noexcept;

// TypeError "'T' object cannot be converted to 'TARGET'" (T the qualified
// name of the object's type). Always returns null.
PyObject* raise_cannot_convert(PyObject* obj, const char* target) noexcept;

}  // namespace tourloom::python
