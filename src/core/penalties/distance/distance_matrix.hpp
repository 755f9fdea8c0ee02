#pragma once
// Distances between locations, and the exact total of a closed tour.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "panic.hpp"
#include "raw_input.hpp"
#include "square_matrix.hpp"

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
    constexpr bool fits_u64() const noexcept { return high == 0; }
    friend constexpr auto operator<=>(const DistanceTotal&, const DistanceTotal&) = default;
    friend constexpr DistanceTotal operator+(DistanceTotal a, const DistanceTotal& b) noexcept {
        a.high += b.high;
        a += b.low;
        return a;
    }
    // Precondition: a >= b (a part taken out of the total it belongs to).
    friend constexpr DistanceTotal operator-(DistanceTotal a, const DistanceTotal& b) noexcept {
        a.high -= b.high;
        a.high -= __builtin_sub_overflow(a.low, b.low, &a.low) ? 1U : 0U;
        return a;
    }
};

// Unsigned 64-bit distances, [from][to]. Rows may have any lengths; a square
// matrix (the usual case) is kept as one flat n × n block in the narrowest
// width, which is the only copy the solve holds and what the fast search
// reads.
class DistanceMatrix {
public:
    explicit DistanceMatrix(RawMatrix rows);
    explicit DistanceMatrix(SquareMatrix square) noexcept;
    explicit DistanceMatrix(RawDistances distances);

    // Entry `to` of row `from`; panics with the index message, testing
    // `from` against the number of rows first, then `to` against that row.
    std::uint64_t distance(std::size_t from, std::size_t to) const {
        if (is_square()) {
            const std::size_t n = square_.size();
            if (from >= n) panic_index(n, from);
            if (to >= n) panic_index(n, to);
            return square_(from, to);
        }
        return at(at(rows_, from), to);
    }

    std::size_t row_count() const noexcept { return is_square() ? square_.size() : rows_.size(); }
    // Every row has row_count() entries, and there is at least one.
    bool is_square() const noexcept { return square_.size() != 0; }
    // Square only.
    EntryWidth width() const noexcept { return square_.width(); }
    // Square only: no bounds test.
    std::uint64_t unchecked(std::size_t from, std::size_t to) const noexcept { return square_(from, to); }
    // Square only: the n × n entries row by row when they are stored as
    // `Entry`, else nullptr.
    template <class Entry>
    const Entry* entries() const noexcept {
        return square_.entries<Entry>();
    }

private:
    SquareMatrix square_;  // square matrices
    RawMatrix rows_;       // any other shape
};

}  // namespace tourloom::penalties::distance::distance_matrix
