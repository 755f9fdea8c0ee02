// The module `tourloom`: its initialisation and the `solve` entry point,
// which binds and converts the arguments, runs the engine and wraps the
// result record in a PyOutput.
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "arguments.hpp"
#include "conversion.hpp"
#include "errors.hpp"
#include "lib.hpp"
#include "py_ref.hpp"
#include "py_types.hpp"
#include "pypy_compat.hpp"
#include "types.hpp"

namespace tourloom::python {
namespace {

// The parameters of `solve`, in their order; each names the slot its
// argument is bound to.
enum class Parameter : std::size_t {
    distance_matrix,
    duration_matrix,
    job_durations,
    time_windows,
    operation_times,
    time_limit,
};
constexpr std::size_t parameter_count = static_cast<std::size_t>(Parameter::time_limit) + 1;

constexpr const char* solve_parameters[parameter_count] = {
    "distance_matrix", "duration_matrix", "job_durations", "time_windows", "operation_times", "time_limit",
};

constexpr FunctionDescription solve_description{nullptr, "solve", solve_parameters,
                                                static_cast<Py_ssize_t>(parameter_count), 1};

constexpr std::size_t at(Parameter p) noexcept { return static_cast<std::size_t>(p); }

// An optional argument: absent when not given or None; otherwise converted
// by `extract`. On a conversion error the parameter's name is put in front
// of a TypeError.
template <class T, class Extract>
bool convert_optional(PyObject* const* slots, Parameter p, std::optional<T>& out, Extract&& extract) {
    PyObject* obj = slots[at(p)];
    if (obj == nullptr || obj == Py_None) return true;
    T value{};
    if (!extract(obj, value)) {
        prefix_argument_name(solve_parameters[at(p)]);
        return false;
    }
    out.emplace(std::move(value));
    return true;
}

PyObject* solve(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject* slots[parameter_count];
        if (!bind_fastcall(solve_description, args, nargs, kwnames, slots)) return nullptr;

        // Strictly in parameter order: the first failure ends the call.
        RawInput input;
        if (!extract_distances(slots[at(Parameter::distance_matrix)], input.distance_matrix)) {
            prefix_argument_name(solve_parameters[at(Parameter::distance_matrix)]);
            return nullptr;
        }
        if (!convert_optional(slots, Parameter::duration_matrix, input.duration_matrix, extract_table) ||
            !convert_optional(slots, Parameter::job_durations, input.job_durations, extract_list) ||
            !convert_optional(slots, Parameter::time_windows, input.time_windows, extract_time_windows) ||
            !convert_optional(slots, Parameter::operation_times, input.operation_times, extract_pair) ||
            !convert_optional(slots, Parameter::time_limit, input.time_limit, extract_u64)) {
            return nullptr;
        }

        tourloom::PyOutput record = tourloom::solve(std::move(input));
        return new_output(std::move(record));
    });
}

PyMethodDef solve_method = {
    "solve",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(solve)),
    METH_FASTCALL | METH_KEYWORDS,
    "solve(distance_matrix, duration_matrix=None, job_durations=None, time_windows=None, "
    "operation_times=None, time_limit=None)\n--\n\n"
    "Solving the Traveling Salesman Problem with Time Windows.",
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "tourloom",
    "A Traveling-Salesman-with-Time-Windows solver, implemented as a native Python module.",
    0,        // no per-module state
    nullptr,  // `solve` is added by the initialisation body
    nullptr, nullptr, nullptr, nullptr,
};

// The module, once initialisation has succeeded; a second initialisation in
// the process returns the same object.
PyObject* g_module = nullptr;

// Appends `name` to the module's `__all__` (created empty when missing) and
// sets the attribute of that name to `value`.
bool add_public(PyObject* module, PyObject* name, PyObject* value) noexcept {
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    if (!PyList_Check(all.get())) {
        PyErr_SetString(PyExc_TypeError, "`__all__` must be a list");
        return false;
    }
    if (PyList_Append(all.get(), name) < 0) return false;
    return PyObject_SetAttr(module, name, value) == 0;
}

bool add_named(PyObject* module, PyObject* value) noexcept {
    PyRef name = PyRef::steal(PyObject_GetAttrString(value, "__name__"));
    return name && add_public(module, name.get(), value);
}

PyObject* initialise() {
    if (g_module != nullptr) {
        Py_INCREF(g_module);
        return g_module;
    }
    PyRef module = PyRef::steal(PyModule_Create2(&module_definition, 1013));
    if (!module) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        }
        return nullptr;
    }
    PyRef name = PyRef::steal(module_name(module.get()));
    if (!name) return nullptr;
    PyRef function = PyRef::steal(PyCFunction_NewEx(&solve_method, module.get(), name.get()));
    if (!function || !add_named(module.get(), function.get())) return nullptr;
    if (!add_named(module.get(), reinterpret_cast<PyObject*>(class_type(ClassId::Output)))) return nullptr;

    g_module = module.release();
    Py_INCREF(g_module);  // one reference for the cell, one for the caller
    return g_module;
}

}  // namespace
}  // namespace tourloom::python

PyMODINIT_FUNC PyInit_tourloom(void) {
    return tourloom::python::guarded<PyObject*>(nullptr, tourloom::python::initialise);
}
