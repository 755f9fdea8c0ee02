#pragma once
// An n × n block of unsigned entries, row by row, in the fewest bits that
// hold its largest entry. Real distances (metres, seconds) are mostly far
// below 65 536 or 2^32, and the narrow block is both what a solve holds in
// memory and what the search reads per candidate.
//
// It is filled once, by whoever reads the entries (the rows of a converted
// list of lists, or an array's buffer straight away), so that no wider copy
// of the matrix ever exists beside it.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

namespace tourloom {

enum class EntryWidth : unsigned char { Bits16, Bits32, Bits64 };

// The narrowest width that holds `largest`. Any value with the same highest
// set bit gives the same width, so the bitwise OR of all entries (cheaper to
// gather than their maximum) does as well as the largest entry.
constexpr EntryWidth width_holding(std::uint64_t largest) noexcept {
    if (largest <= std::numeric_limits<std::uint16_t>::max()) return EntryWidth::Bits16;
    if (largest <= std::numeric_limits<std::uint32_t>::max()) return EntryWidth::Bits32;
    return EntryWidth::Bits64;
}

class SquareMatrix {
public:
    SquareMatrix() = default;  // 0 × 0

    // An n × n matrix whose entries are written by `fill(out)`, `out`
    // pointing to the n * n entries, row by row, of the type that
    // width_holding(largest) chooses (std::uint16_t, std::uint32_t or
    // std::uint64_t), so `fill` must take any of them. The entries start
    // uninitialised and `fill` writes every one; none may exceed the width.
    template <class Fill>
    static SquareMatrix filled(std::size_t n, std::uint64_t largest, Fill&& fill) {
        SquareMatrix m(n, width_holding(largest));
        switch (m.width_) {
            case EntryWidth::Bits16: fill(m.data<std::uint16_t>()); break;
            case EntryWidth::Bits32: fill(m.data<std::uint32_t>()); break;
            case EntryWidth::Bits64: fill(m.data<std::uint64_t>()); break;
        }
        return m;
    }

    SquareMatrix(const SquareMatrix& other);
    SquareMatrix& operator=(const SquareMatrix& other);
    // A matrix moved from is 0 × 0.
    SquareMatrix(SquareMatrix&& other) noexcept
        : n_(std::exchange(other.n_, 0)), width_(other.width_), block_(std::move(other.block_)) {}
    SquareMatrix& operator=(SquareMatrix&& other) noexcept {
        n_ = std::exchange(other.n_, 0);
        width_ = other.width_;
        block_ = std::move(other.block_);
        return *this;
    }

    std::size_t size() const noexcept { return n_; }
    EntryWidth width() const noexcept { return width_; }

    // Entry (from, to); both below size().
    std::uint64_t operator()(std::size_t from, std::size_t to) const noexcept {
        const std::size_t k = from * n_ + to;
        switch (width_) {
            case EntryWidth::Bits16: return data<std::uint16_t>()[k];
            case EntryWidth::Bits32: return data<std::uint32_t>()[k];
            case EntryWidth::Bits64: break;
        }
        return data<std::uint64_t>()[k];
    }

    // The entries row by row when they are stored as `Entry`, else nullptr.
    template <class Entry>
    const Entry* entries() const noexcept {
        return width_ == width_of<Entry>() ? data<Entry>() : nullptr;
    }

    friend bool operator==(const SquareMatrix& a, const SquareMatrix& b) noexcept;

private:
    struct Free {
        void operator()(void* p) const noexcept;
    };

    SquareMatrix(std::size_t n, EntryWidth width);

    template <class Entry>
    static constexpr EntryWidth width_of() noexcept {
        static_assert(sizeof(Entry) == 2 || sizeof(Entry) == 4 || sizeof(Entry) == 8);
        return sizeof(Entry) == 2 ? EntryWidth::Bits16 : sizeof(Entry) == 4 ? EntryWidth::Bits32 : EntryWidth::Bits64;
    }
    template <class Entry>
    Entry* data() const noexcept {
        return static_cast<Entry*>(block_.get());
    }
    std::size_t bytes() const noexcept;

    std::size_t n_ = 0;
    EntryWidth width_ = EntryWidth::Bits16;
    std::unique_ptr<void, Free> block_;
};

}  // namespace tourloom
