// Bulk reading of exact lists on PyPy. A list of ints there is stored
// unboxed (its "integer strategy"); handing each item to C code makes a new
// object for it, which costs about 150 ns per entry. The same reading
// written in Python is compiled by the JIT into a loop over the unboxed
// values that writes straight into our memory through a cffi pointer: a few
// nanoseconds per entry.
//
// Only a list in the integer strategy is taken: its items are exact ints
// that fit a machine word, so reading them runs no Python code and gives
// what the item path would read. Negative values are left to the item
// path's OverflowError; values beyond a machine word (2^63 on 64-bit
// PyPy, 2^31 on 32-bit) are not stored in that strategy and take the item
// path as well.
#include "exact_lists.hpp"

#ifdef PYPY_VERSION
#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>

#include "py_ref.hpp"

namespace tourloom::python {
namespace {

// Each function returns False (or -1) to decline; an exception from it
// (another thread changing a list meanwhile, say) declines as well.
constexpr const char* reader_source = R"(
from __pypy__ import strategy
from _cffi_backend import FFI

_ffi = FFI()
_INTS = "IntegerListStrategy"


def read_list(values, n, address):
    if strategy(values) != _INTS:
        return False
    out = _ffi.cast("uint64_t *", address)
    for k in range(n):
        out[k] = values[k]  # a negative value raises OverflowError: declined
    return len(values) == n


def survey_rows(rows):
    if not rows or type(rows[0]) is not list or not rows[0]:
        return None
    width = len(rows[0])
    bits = 0
    for r in range(len(rows)):
        row = rows[r]
        if type(row) is not list or len(row) != width or strategy(row) != _INTS:
            return None
        for value in row:
            if value < 0:
                return None
            bits |= value
    return bits, width


def fill_rows(rows, count, width, address, entry_type):
    out = _ffi.cast(entry_type, address)
    start = 0
    for r in range(count):
        row = rows[r]
        if type(row) is not list or len(row) != width or strategy(row) != _INTS:
            return False
        for c in range(width):
            out[start + c] = row[c]
        start += width
    return len(rows) == count
)";

struct Readers {
    PyObject* read_list;
    PyObject* survey_rows;
    PyObject* fill_rows;
};

// The compiled readers, made on first use and kept for the process; null
// when this PyPy lacks what they need (then everything takes the item path).
const Readers* readers() noexcept {
    static Readers made{};
    static const bool ready = [] {
        PyRef globals = PyRef::steal(PyDict_New());
        if (!globals || PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins()) < 0) {
            PyErr_Clear();
            return false;
        }
        PyRef done = PyRef::steal(PyRun_String(reader_source, Py_file_input, globals.get(), globals.get()));
        if (!done) {
            PyErr_Clear();
            return false;
        }
        made.read_list = PyDict_GetItemString(globals.get(), "read_list");
        made.survey_rows = PyDict_GetItemString(globals.get(), "survey_rows");
        made.fill_rows = PyDict_GetItemString(globals.get(), "fill_rows");
        if (made.read_list == nullptr || made.survey_rows == nullptr || made.fill_rows == nullptr) return false;
        Py_INCREF(made.read_list);
        Py_INCREF(made.survey_rows);
        Py_INCREF(made.fill_rows);
        return true;
    }();
    return ready ? &made : nullptr;
}

// A reader's result; null when it raised. An ordinary exception declines
// (its error is cleared); anything else, an interrupt say, stays set.
PyRef declined_on_error(PyObject* result) noexcept {
    if (result == nullptr && PyErr_ExceptionMatches(PyExc_Exception)) PyErr_Clear();
    return PyRef::steal(result);
}

template <class Entry>
constexpr const char* entry_type() noexcept {
    if constexpr (sizeof(Entry) == 2) return "uint16_t *";
    if constexpr (sizeof(Entry) == 4) return "uint32_t *";
    return "uint64_t *";
}

}  // namespace

bool read_exact_list(PyObject* obj, RawList& out) {
    if (!PyList_CheckExact(obj)) return false;
    const Readers* r = readers();
    if (r == nullptr) return false;
    const Py_ssize_t n = PyList_Size(obj);
    if (n <= 0) return false;  // an empty list has no integer strategy; the item path is as quick
    out.assign(static_cast<std::size_t>(n), 0);
    PyRef address = declined_on_error(PyLong_FromVoidPtr(out.data()));
    if (!address) return false;
    PyRef taken = declined_on_error(PyObject_CallFunction(r->read_list, "OnO", obj, n, address.get()));
    return taken && taken.get() == Py_True;
}

std::optional<ExactRows> survey_exact_rows(PyObject* obj) {
    if (!PyList_CheckExact(obj)) return std::nullopt;
    const Readers* r = readers();
    if (r == nullptr) return std::nullopt;
    PyRef surveyed = declined_on_error(PyObject_CallFunctionObjArgs(r->survey_rows, obj, nullptr));
    if (!surveyed || surveyed.get() == Py_None) return std::nullopt;
    // The OR of the entries fits a machine word and so a C long, as does
    // the width (PyLong_AsLongLong is misdeclared on 32-bit PyPy:
    // pypy_compat.hpp).
    long bits = -1, width = -1;
    if (!PyArg_ParseTuple(surveyed.get(), "ll", &bits, &width) || bits < 0 || width <= 0) {
        if (PyErr_Occurred() && PyErr_ExceptionMatches(PyExc_Exception)) PyErr_Clear();
        return std::nullopt;
    }
    const Py_ssize_t count = PyList_Size(obj);
    if (count <= 0) return std::nullopt;
    return ExactRows{static_cast<std::size_t>(count), static_cast<std::size_t>(width), static_cast<std::uint64_t>(bits)};
}

namespace {

template <class Entry>
bool copy_rows(PyObject* obj, const ExactRows& rows, Entry* out) {
    const Readers* r = readers();
    PyRef address = declined_on_error(PyLong_FromVoidPtr(out));
    if (r == nullptr || !address) return false;
    PyRef done = declined_on_error(PyObject_CallFunction(r->fill_rows, "OnnOs", obj, static_cast<Py_ssize_t>(rows.count),
                                                         static_cast<Py_ssize_t>(rows.width), address.get(),
                                                         entry_type<Entry>()));
    return done && done.get() == Py_True;
}

}  // namespace

bool fill_exact_rows(PyObject* obj, const ExactRows& rows, std::uint16_t* out) { return copy_rows(obj, rows, out); }
bool fill_exact_rows(PyObject* obj, const ExactRows& rows, std::uint32_t* out) { return copy_rows(obj, rows, out); }
bool fill_exact_rows(PyObject* obj, const ExactRows& rows, std::uint64_t* out) { return copy_rows(obj, rows, out); }

}  // namespace tourloom::python
#endif
