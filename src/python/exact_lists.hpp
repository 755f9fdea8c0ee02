#pragma once
// Bulk reading of plain lists: an exact list whose items are all exact ints
// in [0, 2^64) is read without visiting its items one by one through the C
// API. On PyPy every such visit makes a fresh object for the C side (about
// ten times what CPython pays per item), so there the list is read by a few
// lines of Python that the interpreter's JIT compiles; on CPython the items
// are read in place.
//
// A bulk read only takes inputs whose item-by-item reading runs no Python
// code and is known to give the same values; it runs no Python code of the
// caller's either. Anything else is declined without an error set and the
// caller reads the object item by item, which then gives its own values or
// its own error, text and place in the order of errors. A declined attempt
// leaves nothing behind that the item path could notice.
//
// Each function returns true with `out` filled when it took `obj`; false
// with no error set when it declined; false with an error set only for an
// error that must not be swallowed (an interrupt arriving meanwhile).
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "raw_input.hpp"
#include "raw_table.hpp"
#include "square_matrix.hpp"

namespace tourloom::python {

// An exact list of exact ints in [0, 2^64).
bool read_exact_list(PyObject* obj, RawList& out);
// An exact list of n >= 1 exact lists of n such ints each, straight into the
// narrow block the solve keeps (the entries are surveyed for their width
// first, so no wider copy is ever made).
bool read_exact_square(PyObject* obj, SquareMatrix& out);
// An exact list of one or more exact lists of the same length, at least one,
// of such ints: straight into one table.
bool read_exact_table(PyObject* obj, RawTable& out);

// The two steps the last two share, one implementation per interpreter.
// The survey: the shape of such rows and the bitwise OR of their entries
// (which gives the width the largest entry needs), or nothing.
struct ExactRows {
    std::size_t count;
    std::size_t width;
    std::uint64_t bits;
};
std::optional<ExactRows> survey_exact_rows(PyObject* obj);
// The copy, straight after the survey: every entry into `out`, row by row,
// each of which holds them all (chosen from the survey's bits). False when
// it declined after all (the rows changed meanwhile).
bool fill_exact_rows(PyObject* obj, const ExactRows& rows, std::uint16_t* out);
bool fill_exact_rows(PyObject* obj, const ExactRows& rows, std::uint32_t* out);
bool fill_exact_rows(PyObject* obj, const ExactRows& rows, std::uint64_t* out);

}  // namespace tourloom::python
