#include "conversion.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "buffer_conversion.hpp"
#include "exact_lists.hpp"
#include "py_ref.hpp"
#include "pypy_compat.hpp"
#include "type_support.hpp"

namespace tourloom::python {
namespace {

// A sequence's length only sizes the first allocation. An object may report
// any length (2**60, say) while yielding few items, so the pre-size is
// capped and the vector grows as items actually arrive.
constexpr Py_ssize_t presize_limit = 4096;

template <class T, class Item>
bool extract_sequence(PyObject* obj, std::vector<T>& out, Item&& convert_item) {
    if (PyUnicode_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(obj)) {
        raise_cannot_convert(obj, "Sequence");
        return false;
    }
    Py_ssize_t length = PySequence_Size(obj);
    if (length < 0) {
        PyErr_Clear();  // the length is only a hint
        length = 0;
    }
    out.clear();
    out.reserve(static_cast<std::size_t>(std::min(length, presize_limit)));

    PyRef iterator = PyRef::steal(PyObject_GetIter(obj));
    if (!iterator) return false;
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        T value{};
        if (!convert_item(item.get(), value)) return false;
        out.push_back(std::move(value));
    }
    return !PyErr_Occurred();
}

// The tuple whose items a pair is read from. PyPy hands C code a tuple
// subclass as a copy made through the subclass's own __iter__ and __len__,
// so there a subclass is read through tuple's own __getitem__, which gives
// the items the object really holds, as an exact tuple.
PyRef tuple_items(PyObject* obj) {
#ifdef PYPY_VERSION
    if (!PyTuple_CheckExact(obj)) {
        PyRef whole = PyRef::steal(PySlice_New(nullptr, nullptr, nullptr));
        if (!whole) return PyRef();
        return PyRef::steal(PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyTuple_Type), "__getitem__", "OO",
                                                obj, whole.get()));
    }
#endif
    return PyRef::borrow(obj);
}

}  // namespace

bool extract_u64(PyObject* obj, std::uint64_t& out) {
    std::uint64_t value = 0;
    if (PyLong_Check(obj)) {
        value = long_as_u64(obj);
    } else {
        PyRef index = PyRef::steal(PyNumber_Index(obj));
        if (!index) return false;
        value = long_as_u64(index.get());
    }
    // 2^64 - 1 is a valid value as well as the error marker.
    if (value == UINT64_MAX && PyErr_Occurred()) return false;
    out = value;
    return true;
}

// A numpy array of integers is read from its buffer, and an exact list of
// exact ints in bulk, when that gives exactly what reading it item by item
// would; anything else is read item by item. A bulk read that fails with an
// error that must not be swallowed ends the reading there.
bool extract_list(PyObject* obj, RawList& out) {
    return read_integer_array(obj, out) || read_exact_list(obj, out) ||
           (!PyErr_Occurred() && extract_sequence(obj, out, extract_u64));
}

bool extract_matrix(PyObject* obj, RawMatrix& out) {
    return read_integer_matrix(obj, out) || extract_sequence(obj, out, extract_list);
}

bool extract_table(PyObject* obj, RawTable& out) {
    if (read_integer_table(obj, out) || read_exact_table(obj, out)) return true;
    if (PyErr_Occurred()) return false;
    RawMatrix rows;
    if (!extract_matrix(obj, rows)) return false;
    out = RawTable(std::move(rows));
    return true;
}

bool extract_distances(PyObject* obj, RawDistances& out) {
    if (SquareMatrix square; read_integer_square(obj, square) || read_exact_square(obj, square)) {
        out = std::move(square);
        return true;
    }
    if (PyErr_Occurred()) return false;
    RawMatrix rows;
    if (!extract_matrix(obj, rows)) return false;
    out = std::move(rows);
    return true;
}

bool extract_pair(PyObject* obj, RawPair& out) {
    if (!PyTuple_Check(obj)) {
        raise_cannot_convert(obj, "PyTuple");
        return false;
    }
    PyRef tuple = tuple_items(obj);
    if (!tuple) return false;
    const Py_ssize_t length = PyTuple_Size(tuple.get());
    if (length != 2) {
        PyErr_Format(PyExc_ValueError, "expected tuple of length 2, but got tuple of length %zd", length);
        return false;
    }
    return extract_u64(PyTuple_GetItem(tuple.get(), 0), out.first) &&
           extract_u64(PyTuple_GetItem(tuple.get(), 1), out.second);
}

bool extract_time_windows(PyObject* obj, RawTimeWindows& out) {
    return extract_sequence(obj, out,
                            [](PyObject* row, std::vector<RawPair>& pairs) { return extract_sequence(row, pairs, extract_pair); });
}

}  // namespace tourloom::python
