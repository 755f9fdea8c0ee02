#include "penalties/distance/distance_matrix.hpp"

#include <algorithm>
#include <limits>

namespace tourloom::penalties::distance::distance_matrix {

namespace {

// Copies the rows into a new flat block of `Entry`, releasing each row as
// soon as it is copied, so that the raw rows and the block are never both
// held whole. The block is left uninitialised (its pages are only taken as
// they are written) and filled from the last row up: the rows were
// allocated in order, so the freed memory is at the top of the heap, which
// the allocator hands back to the system as it goes.
template <class Entry>
std::unique_ptr<Entry[]> flatten(RawMatrix& rows) {
    const std::size_t n = rows.size();
    auto flat = std::make_unique_for_overwrite<Entry[]>(n * n);
    for (std::size_t a = n; a-- > 0;) {
        Entry* out = flat.get() + a * n;
        for (const std::uint64_t v : rows[a]) *out++ = static_cast<Entry>(v);
        RawList().swap(rows[a]);
    }
    return flat;
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
        flat16_ = flatten<std::uint16_t>(rows);
    } else if (largest <= std::numeric_limits<std::uint32_t>::max()) {
        width_ = EntryWidth::Bits32;
        flat32_ = flatten<std::uint32_t>(rows);
    } else {
        width_ = EntryWidth::Bits64;
        flat64_ = flatten<std::uint64_t>(rows);
    }
}

}  // namespace tourloom::penalties::distance::distance_matrix
