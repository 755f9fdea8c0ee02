#pragma once
// Conversion of the Python arguments of `solve` into the plain owned values
// the engine takes. Each function returns false with a Python error set when
// the object does not convert; allocation failure throws std::bad_alloc.
//
// - integer: an int (or subclass) read as unsigned 64-bit, or any object
//   whose __index__ gives one; negative or >= 2^64 is the interpreter's
//   OverflowError.
// - list: any sequence except str, read by iterating it (a numpy array of
//   integers straight from its buffer: buffer_conversion.hpp; an exact list
//   of exact ints in bulk: exact_lists.hpp); its reported length only
//   pre-sizes the result, up to a modest bound.
// - pair: a tuple (or subclass) of exactly two integers.
#include <Python.h>

#include <cstdint>

#include "raw_input.hpp"

namespace tourloom::python {

bool extract_u64(PyObject* obj, std::uint64_t& out);
bool extract_list(PyObject* obj, RawList& out);
bool extract_matrix(PyObject* obj, RawMatrix& out);
// A matrix read like extract_matrix into one table: a numpy array, or an
// exact list of equally long exact lists of exact ints, straight into it.
bool extract_table(PyObject* obj, RawTable& out);
// A matrix of distances: read like extract_matrix, but a square numpy array
// or an exact square list of lists of exact ints goes straight into the
// narrow block the solve keeps.
bool extract_distances(PyObject* obj, RawDistances& out);
bool extract_pair(PyObject* obj, RawPair& out);
bool extract_time_windows(PyObject* obj, RawTimeWindows& out);

}  // namespace tourloom::python
