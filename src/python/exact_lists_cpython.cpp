// Bulk reading of exact lists on CPython: the items are read in place, with
// no iterator and no new reference per item.
#include "exact_lists.hpp"

#ifndef PYPY_VERSION
#include <cstddef>
#include <cstdint>
#include <optional>


namespace tourloom::python {
namespace {

// The value of an exact int in [0, 2^64), or nothing, with no error set, for
// any other object or value. PyLong_AsLongLongAndOverflow reads values of
// one or two digits without the byte-array detour that
// PyLong_AsUnsignedLongLong takes beyond 2^30 (Unix times, for one).
std::optional<std::uint64_t> exact_count(PyObject* item) noexcept {
    if (!PyLong_CheckExact(item)) return std::nullopt;
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(item, &overflow);
    if (overflow == 0 && value >= 0) return static_cast<std::uint64_t>(value);
    if (overflow <= 0) {  // negative (an exact int never fails otherwise)
        PyErr_Clear();
        return std::nullopt;
    }
    const std::uint64_t large = PyLong_AsUnsignedLongLong(item);  // 2^63 and above
    if (large == UINT64_MAX && PyErr_Occurred()) {
        PyErr_Clear();
        return std::nullopt;
    }
    return large;
}

}  // namespace

bool read_exact_list(PyObject* obj, RawList& out) {
    if (!PyList_CheckExact(obj)) return false;
    const Py_ssize_t n = PyList_GET_SIZE(obj);
    out.resize(static_cast<std::size_t>(n));
    for (Py_ssize_t k = 0; k < n; ++k) {
        const std::optional<std::uint64_t> value = exact_count(PyList_GET_ITEM(obj, k));
        if (!value) return false;
        out[static_cast<std::size_t>(k)] = *value;
    }
    return true;
}

std::optional<ExactRows> survey_exact_rows(PyObject* obj) {
    if (!PyList_CheckExact(obj) || PyList_GET_SIZE(obj) == 0) return std::nullopt;
    PyObject* first = PyList_GET_ITEM(obj, 0);
    if (!PyList_CheckExact(first) || PyList_GET_SIZE(first) == 0) return std::nullopt;
    const Py_ssize_t count = PyList_GET_SIZE(obj), width = PyList_GET_SIZE(first);
    std::uint64_t bits = 0;
    for (Py_ssize_t r = 0; r < count; ++r) {
        PyObject* row = PyList_GET_ITEM(obj, r);
        if (!PyList_CheckExact(row) || PyList_GET_SIZE(row) != width) return std::nullopt;
        for (Py_ssize_t c = 0; c < width; ++c) {
            const std::optional<std::uint64_t> value = exact_count(PyList_GET_ITEM(row, c));
            if (!value) return std::nullopt;
            bits |= *value;
        }
    }
    return ExactRows{static_cast<std::size_t>(count), static_cast<std::size_t>(width), bits};
}

namespace {

// Nothing between the survey and this copy can run Python code, so the
// lists are still as surveyed and every entry converts.
template <class Entry>
bool copy_rows(PyObject* obj, const ExactRows& rows, Entry* out) {
    const auto count = static_cast<Py_ssize_t>(rows.count), width = static_cast<Py_ssize_t>(rows.width);
    for (Py_ssize_t r = 0; r < count; ++r) {
        PyObject* row = PyList_GET_ITEM(obj, r);
        for (Py_ssize_t c = 0; c < width; ++c) *out++ = static_cast<Entry>(*exact_count(PyList_GET_ITEM(row, c)));
    }
    return true;
}

}  // namespace

bool fill_exact_rows(PyObject* obj, const ExactRows& rows, std::uint16_t* out) { return copy_rows(obj, rows, out); }
bool fill_exact_rows(PyObject* obj, const ExactRows& rows, std::uint32_t* out) { return copy_rows(obj, rows, out); }
bool fill_exact_rows(PyObject* obj, const ExactRows& rows, std::uint64_t* out) { return copy_rows(obj, rows, out); }

}  // namespace tourloom::python
#endif
