#pragma once
// A shortcut of the list and matrix conversion for numpy arrays of integers:
// the values are read straight from the array's buffer instead of through
// one Python scalar and one __index__ call per entry.
//
// The shortcut only ever takes an input whose item-by-item reading is known
// to succeed with the same values: an object whose type is exactly
// numpy.ndarray (a subclass may iterate differently), of one integer item
// type in either byte order, with the number of dimensions the level
// expects (1 for a list, 2 for a matrix), and without a negative entry.
// Everything else is declined without an error set, and the caller reads
// the object item by item, which then gives its own values or its own
// error, text and place in the order of errors.
//
// numpy is never imported: the array is recognised by its type's name.
#include <Python.h>

#include "raw_input.hpp"
#include "square_matrix.hpp"

namespace tourloom::python {

// True with `out` filled when the shortcut took `obj`; false, with no error
// set and nothing meaningful in `out`, when the item path has to read it.
bool read_integer_array(PyObject* obj, RawList& out);
bool read_integer_matrix(PyObject* obj, RawMatrix& out);
// The same into one table, rows end to end.
bool read_integer_table(PyObject* obj, RawTable& out);
// The same for a square array of at least one row, read straight into the
// narrow block the solve keeps, so that no 64-bit copy is ever made.
bool read_integer_square(PyObject* obj, SquareMatrix& out);

}  // namespace tourloom::python
