// Bulk reading of exact lists on CPython: the items are read in place, with
// no iterator and no new reference per item.
#include "exact_lists.hpp"

#ifndef PYPY_VERSION
#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>


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

bool read_exact_square(PyObject* obj, SquareMatrix& out) {
    if (!PyList_CheckExact(obj)) return false;
    const Py_ssize_t n = PyList_GET_SIZE(obj);
    if (n == 0) return false;
    // First the shape, the types and the width; nothing between this survey
    // and the copy below can run Python code, so the lists stay as surveyed.
    std::uint64_t bits = 0;
    for (Py_ssize_t r = 0; r < n; ++r) {
        PyObject* row = PyList_GET_ITEM(obj, r);
        if (!PyList_CheckExact(row) || PyList_GET_SIZE(row) != n) return false;
        for (Py_ssize_t c = 0; c < n; ++c) {
            const std::optional<std::uint64_t> value = exact_count(PyList_GET_ITEM(row, c));
            if (!value) return false;
            bits |= *value;
        }
    }
    const auto size = static_cast<std::size_t>(n);
    out = SquareMatrix::filled(size, bits, [&](auto* flat) {
        using Entry = std::remove_pointer_t<decltype(flat)>;
        for (Py_ssize_t r = 0; r < n; ++r) {
            PyObject* row = PyList_GET_ITEM(obj, r);
            for (Py_ssize_t c = 0; c < n; ++c) *flat++ = static_cast<Entry>(*exact_count(PyList_GET_ITEM(row, c)));
        }
    });
    return true;
}

}  // namespace tourloom::python
#endif
