#pragma once
// Pieces shared by the Python classes of the module: creating a heap type
// once, the refusal of constructors and of subclasses, and the "cannot be
// converted" error that names an object's type.
//
// Type specs and their slot, member and method tables live in function-local
// statics of the function that creates the type, so they are built when the
// type is first needed.
#include <Python.h>

namespace tourloom::python {

// Specs name classes "tourloom.NAME": the class's `__name__` and
// `__qualname__` are NAME, its `__module__` is "tourloom" (a name without a
// dot would leave `__module__` unset, which CPython 3.11 warns about).
//
// PyType_FromSpecWithBases; on failure the interpreter's error is printed
// and a panic "failed to create type object for NAME" is thrown.
PyTypeObject* create_type(PyType_Spec& spec, PyObject* bases);

// tp_new of the classes Python may not instantiate:
// TypeError "No constructor defined for NAME" with the `__name__` of `type`.
PyObject* no_constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;

// tp_dealloc of objects that own no resources: frees the object and drops
// the reference to its heap type that allocation took.
void dealloc_plain(PyObject* self) noexcept;

// A new instance of `type` with its memory zeroed; null with an error set.
PyObject* allocate(PyTypeObject* type) noexcept;

// A new reference to the `__qualname__` of `type`, or to the text
// "<failed to extract type name>" when it cannot be read.
PyObject* type_qualname(PyTypeObject* type) noexcept;

// TypeError "'T' object cannot be converted to 'TARGET'" (T the qualified
// name of the object's type). Always returns null.
PyObject* raise_cannot_convert(PyObject* obj, const char* target) noexcept;

// Classes marked final: not subclassable, and without an instance
// dictionary. CPython enforces both by itself (no Py_TPFLAGS_BASETYPE, no
// dict offset). PyPy does neither, so there the classes also carry an
// `__init_subclass__` that refuses subclasses, a tp_setattro that refuses
// new attributes and a `__dict__` that cannot be read (so that vars() and
// writes through the dictionary fail as well), each with CPython's wording.
// Only object.__setattr__ called by hand still reaches PyPy's hidden
// dictionary. On CPython all three entries are end markers: put them last
// in their tables.
PyMethodDef final_class_method() noexcept;
PyType_Slot final_class_setattr_slot() noexcept;
PyGetSetDef final_class_getset() noexcept;
// Marks a created class as final; `spec_name` is the name it was created with.
void register_final_type(PyTypeObject* type, const char* spec_name) noexcept;

}  // namespace tourloom::python
