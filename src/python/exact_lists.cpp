// The bulk reads of square and rectangular lists of lists, the same on every
// interpreter: a survey of the rows, one block of the right size and width,
// and a copy into it.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "exact_lists.hpp"

namespace tourloom::python {

bool read_exact_square(PyObject* obj, SquareMatrix& out) {
    const std::optional<ExactRows> rows = survey_exact_rows(obj);
    if (!rows || rows->count != rows->width) return false;
    bool filled = false;
    SquareMatrix square = SquareMatrix::filled(rows->count, rows->bits, [&](auto* flat) {
        filled = fill_exact_rows(obj, *rows, flat);
    });
    if (!filled) return false;
    out = std::move(square);
    return true;
}

bool read_exact_table(PyObject* obj, RawTable& out) {
    const std::optional<ExactRows> rows = survey_exact_rows(obj);
    if (!rows) return false;
    bool filled = false;
    RawTable table = RawTable::filled(rows->count, rows->width, [&](std::uint64_t* flat) {
        filled = fill_exact_rows(obj, *rows, flat);
    });
    if (!filled) return false;
    out = std::move(table);
    return true;
}

}  // namespace tourloom::python
