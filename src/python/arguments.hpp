#pragma once
// Binding of a call's arguments to named parameters, with the interpreter's
// usual wording for every binding error. Parameters are all
// positional-or-keyword; the first `required` of them must be given.
#include <Python.h>

namespace tourloom::python {

struct FunctionDescription {
    const char* class_name;  // owning class, or nullptr for a module function
    const char* name;
    const char* const* parameters;
    Py_ssize_t parameter_count;
    Py_ssize_t required;  // leading parameters that have no default
};

// Fast call with keyword names (METH_FASTCALL | METH_KEYWORDS): positional
// arguments in `args`, keyword values after them, their names in `kwnames`.
// Fills `slots` (parameter_count borrowed references, null for "not given").
// On failure returns false with a TypeError set. Checks in this order: too
// many positional arguments, then each keyword in the caller's order, then
// the missing required parameters.
bool bind_fastcall(const FunctionDescription& fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   PyObject** slots) noexcept;

// The same for a tuple of positional arguments and an optional dict of
// keyword arguments (the form tp_new receives).
bool bind_tuple_dict(const FunctionDescription& fn, PyObject* args, PyObject* kwargs, PyObject** slots) noexcept;

// When the pending error is exactly a TypeError (not a subclass), replaces it
// by TypeError("argument 'NAME': " + str(error)) that keeps the original's
// __cause__. Any other error stays as it is.
void prefix_argument_name(const char* name) noexcept;

}  // namespace tourloom::python
