#pragma once
// Distances between locations, and the exact total of a closed tour.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "panic.hpp"
#include "raw_input.hpp"

namespace tourloom::penalties::distance::distance_matrix {

// The exact sum of up to 2^64 distances of 64 bits each. Tours that use
// entries near 2^64 (callers write those to forbid an edge) must not wrap
// around and look short, so totals are kept in 128 bits. (Plain `__int128`
// does not exist on 32-bit x86, the primary target.)
struct DistanceTotal {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    static constexpr DistanceTotal of(std::uint64_t v) noexcept { return {0, v}; }
    constexpr DistanceTotal& operator+=(std::uint64_t v) noexcept {
        high += __builtin_add_overflow(low, v, &low) ? 1U : 0U;
        return *this;
    }
    constexpr DistanceTotal& operator-=(std::uint64_t v) noexcept {
        high -= __builtin_sub_overflow(low, v, &low) ? 1U : 0U;
        return *this;
    }
    constexpr bool fits_u64() const noexcept { return high == 0; }
    friend constexpr auto operator<=>(const DistanceTotal&, const DistanceTotal&) = default;
};

// Rows of unsigned 64-bit distances, [from][to]; rows may have any lengths.
class DistanceMatrix {
public:
    explicit DistanceMatrix(RawMatrix rows) : rows_(std::move(rows)) {}

    // Entry `to` of row `from`; panics with the index message, testing
    // `from` against the number of rows first, then `to` against that row.
    std::uint64_t distance(std::size_t from, std::size_t to) const { return at(at(rows_, from), to); }

    std::size_t row_count() const noexcept { return rows_.size(); }
    const RawMatrix& rows() const noexcept { return rows_; }

private:
    RawMatrix rows_;
};

}  // namespace tourloom::penalties::distance::distance_matrix
