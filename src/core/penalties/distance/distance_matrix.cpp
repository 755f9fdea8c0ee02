#include "penalties/distance/distance_matrix.hpp"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <variant>

namespace tourloom::penalties::distance::distance_matrix {

namespace {

bool all_rows_full(const RawMatrix& rows) noexcept {
    return !rows.empty() && std::all_of(rows.begin(), rows.end(), [&](const RawList& r) { return r.size() == rows.size(); });
}

// Copies the rows into a new flat block, releasing each row as soon as it is
// copied, so that the raw rows and the block are never both held whole. The
// block is filled from the last row up: the rows were allocated in order, so
// the freed memory is at the top of the heap, which the allocator hands back
// to the system as it goes.
SquareMatrix flatten(RawMatrix& rows) {
    std::uint64_t largest = 0;
    for (const RawList& row : rows) largest = std::max(largest, *std::max_element(row.begin(), row.end()));
    const std::size_t n = rows.size();
    return SquareMatrix::filled(n, largest, [&](auto* flat) {
        using Entry = std::remove_pointer_t<decltype(flat)>;
        for (std::size_t a = n; a-- > 0;) {
            Entry* out = flat + a * n;
            for (const std::uint64_t v : rows[a]) *out++ = static_cast<Entry>(v);
            RawList().swap(rows[a]);
        }
    });
}

}  // namespace

DistanceMatrix::DistanceMatrix(RawMatrix rows) {
    if (all_rows_full(rows)) {
        square_ = flatten(rows);
    } else {
        rows_ = std::move(rows);
    }
}

DistanceMatrix::DistanceMatrix(SquareMatrix square) noexcept : square_(std::move(square)) {}

DistanceMatrix::DistanceMatrix(RawDistances distances)
    : DistanceMatrix(std::visit([](auto& d) { return DistanceMatrix(std::move(d)); }, distances)) {}

}  // namespace tourloom::penalties::distance::distance_matrix
