#include "penalties/distance/distance_matrix.hpp"

#include <algorithm>
#include <limits>

namespace tourloom::penalties::distance::distance_matrix {

namespace {

// Copies the rows into `flat` as `Entry`, releasing each row as soon as it is
// copied, so that the raw rows and the flat block are never both held whole.
template <class Entry>
void flatten(RawMatrix& rows, std::vector<Entry>& flat) {
    flat.reserve(rows.size() * rows.size());
    for (auto& row : rows) {
        for (const std::uint64_t v : row) flat.push_back(static_cast<Entry>(v));
        RawList().swap(row);
    }
}

}  // namespace

DistanceMatrix::DistanceMatrix(RawMatrix rows) : n_(rows.size()) {
    square_ = n_ > 0;
    std::uint64_t largest = 0;
    for (const auto& row : rows) {
        square_ = square_ && row.size() == n_;
        if (!square_) break;
        for (const std::uint64_t v : row) largest = std::max(largest, v);
    }
    if (!square_) {
        rows_ = std::move(rows);
        return;
    }
    if (largest <= std::numeric_limits<std::uint16_t>::max()) {
        width_ = EntryWidth::Bits16;
        flatten(rows, flat16_);
    } else if (largest <= std::numeric_limits<std::uint32_t>::max()) {
        width_ = EntryWidth::Bits32;
        flatten(rows, flat32_);
    } else {
        width_ = EntryWidth::Bits64;
        flatten(rows, flat64_);
    }
}

}  // namespace tourloom::penalties::distance::distance_matrix
