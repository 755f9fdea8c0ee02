#include "arguments.hpp"

#include <cstring>

#include "py_ref.hpp"
#include "pypy_compat.hpp"

namespace tourloom::python {
namespace {

// "solve" or "PyEvent_Work.__new__", as the messages show it before "()".
PyObject* display_name(const FunctionDescription& fn) noexcept {
    return fn.class_name != nullptr ? PyUnicode_FromFormat("%s.%s", fn.class_name, fn.name)
                                    : PyUnicode_FromString(fn.name);
}

bool too_many_positional(const FunctionDescription& fn, Py_ssize_t given) noexcept {
    PyRef name = PyRef::steal(display_name(fn));
    if (!name) return false;
    if (fn.required == fn.parameter_count) {
        PyErr_Format(PyExc_TypeError, "%U() takes %zd positional arguments but %zd were given", name.get(),
                     fn.parameter_count, given);
    } else {
        PyErr_Format(PyExc_TypeError, "%U() takes from %zd to %zd positional arguments but %zd were given",
                     name.get(), fn.required, fn.parameter_count, given);
    }
    return false;
}

bool unexpected_keyword(const FunctionDescription& fn, PyObject* keyword) noexcept {
    PyRef name = PyRef::steal(display_name(fn));
    if (!name) return false;
    PyRef shown = PyRef::steal(PyObject_Str(keyword));
    PyRef text = shown ? PyRef::steal(exact_text(shown.get())) : PyRef();
    if (!text) return false;
    PyErr_Format(PyExc_TypeError, "%U() got an unexpected keyword argument '%U'", name.get(), text.get());
    return false;
}

bool multiple_values(const FunctionDescription& fn, Py_ssize_t index) noexcept {
    PyRef name = PyRef::steal(display_name(fn));
    if (!name) return false;
    PyErr_Format(PyExc_TypeError, "%U() got multiple values for argument '%s'", name.get(), fn.parameters[index]);
    return false;
}

// "'a'", "'a' and 'b'", "'a', 'b' and 'c'".
bool missing_required(const FunctionDescription& fn, PyObject* const* slots) noexcept {
    Py_ssize_t count = 0;
    for (Py_ssize_t i = 0; i < fn.required; ++i) count += slots[i] == nullptr ? 1 : 0;
    PyRef names = PyRef::steal(PyUnicode_FromString(""));
    Py_ssize_t listed = 0;
    for (Py_ssize_t i = 0; i < fn.required && names; ++i) {
        if (slots[i] != nullptr) continue;
        const char* sep = listed == 0 ? "" : (listed + 1 == count ? " and " : ", ");
        names = PyRef::steal(PyUnicode_FromFormat("%U%s'%s'", names.get(), sep, fn.parameters[i]));
        ++listed;
    }
    PyRef name = PyRef::steal(display_name(fn));
    if (!names || !name) return false;
    PyErr_Format(PyExc_TypeError, "%U() missing %zd required positional argument%s: %U", name.get(), count,
                 count == 1 ? "" : "s", names.get());
    return false;
}

// The parameter whose name equals `keyword` byte for byte, or -1. A name
// that cannot be read as UTF-8 matches nothing.
Py_ssize_t parameter_index(const FunctionDescription& fn, PyObject* keyword) noexcept {
    Py_ssize_t size = 0;
    PyRef exact = PyUnicode_Check(keyword) ? PyRef::steal(exact_text(keyword)) : PyRef();
    const char* text = exact ? PyUnicode_AsUTF8AndSize(exact.get(), &size) : nullptr;
    if (text == nullptr) {
        PyErr_Clear();
        return -1;
    }
    for (Py_ssize_t i = 0; i < fn.parameter_count; ++i) {
        const char* p = fn.parameters[i];
        if (std::strlen(p) == static_cast<std::size_t>(size) && std::memcmp(p, text, static_cast<std::size_t>(size)) == 0) {
            return i;
        }
    }
    return -1;
}

bool bind_positional(const FunctionDescription& fn, PyObject* const* args, Py_ssize_t nargs,
                     PyObject** slots) noexcept {
    for (Py_ssize_t i = 0; i < fn.parameter_count; ++i) slots[i] = nullptr;
    for (Py_ssize_t i = 0; i < nargs && i < fn.parameter_count; ++i) slots[i] = args[i];
    if (nargs > fn.parameter_count) return too_many_positional(fn, nargs);
    return true;
}

bool bind_keyword(const FunctionDescription& fn, PyObject* keyword, PyObject* value, PyObject** slots) noexcept {
    const Py_ssize_t index = parameter_index(fn, keyword);
    if (index < 0) return unexpected_keyword(fn, keyword);
    if (slots[index] != nullptr) return multiple_values(fn, index);
    slots[index] = value;
    return true;
}

bool check_required(const FunctionDescription& fn, PyObject* const* slots) noexcept {
    for (Py_ssize_t i = 0; i < fn.required; ++i) {
        if (slots[i] == nullptr) return missing_required(fn, slots);
    }
    return true;
}

}  // namespace

bool bind_fastcall(const FunctionDescription& fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   PyObject** slots) noexcept {
    if (!bind_positional(fn, args, nargs, slots)) return false;
    const Py_ssize_t nkw = kwnames != nullptr ? PyTuple_Size(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        if (!bind_keyword(fn, PyTuple_GetItem(kwnames, k), args[nargs + k], slots)) return false;
    }
    return check_required(fn, slots);
}

bool bind_tuple_dict(const FunctionDescription& fn, PyObject* args, PyObject* kwargs, PyObject** slots) noexcept {
    // Only the first parameter_count + 1 positional arguments are ever
    // looked at, so a short fixed buffer suffices.
    constexpr Py_ssize_t buffer_size = 8;
    PyObject* positional[buffer_size];
    const Py_ssize_t nargs = PyTuple_Size(args);
    if (nargs < 0 || fn.parameter_count >= buffer_size) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "bad argument tuple");
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs && i < buffer_size; ++i) positional[i] = PyTuple_GetItem(args, i);
    if (!bind_positional(fn, positional, nargs, slots)) return false;
    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            if (!bind_keyword(fn, key, value, slots)) return false;
        }
    }
    return check_required(fn, slots);
}

void prefix_argument_name(const char* name) noexcept {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef owned_type = PyRef::steal(type), owned_value = PyRef::steal(value), owned_tb = PyRef::steal(traceback);
    if (value == nullptr || Py_TYPE(value) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_Restore(owned_type.release(), owned_value.release(), owned_tb.release());
        return;
    }
    PyRef shown = PyRef::steal(PyObject_Str(value));
    PyRef text = shown ? PyRef::steal(exact_text(shown.get())) : PyRef();
    PyRef message = text ? PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get())) : PyRef();
    PyRef replacement =
        message ? PyRef::steal(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr)) : PyRef();
    if (!replacement) {
        // Could not build the new error (no memory): report the original.
        PyErr_Clear();
        PyErr_Restore(owned_type.release(), owned_value.release(), owned_tb.release());
        return;
    }
    PyObject* cause = PyException_GetCause(value);  // new reference or null
    if (cause != nullptr) PyException_SetCause(replacement.get(), cause);  // steals `cause`
    PyErr_SetObject(PyExc_TypeError, replacement.get());
}

}  // namespace tourloom::python
