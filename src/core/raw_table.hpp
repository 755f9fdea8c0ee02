#pragma once
// Rows of unsigned 64-bit counts, of any lengths, stored end to end in one
// block: how a duration matrix is read and then kept by the time model, so
// that no list of row vectors and no second copy of the entries is made.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tourloom {

using RawList = std::vector<std::uint64_t>;  // one value per location
using RawMatrix = std::vector<RawList>;      // [from][to], rows of any lengths

class RawTable {
public:
    RawTable() = default;  // no rows

    // The rows of `rows`, each released as soon as it is copied (implicit: a
    // nested vector is the table it spells out).
    RawTable(RawMatrix rows);  // NOLINT(google-explicit-constructor)

    // `count` rows of `width` entries each, all written by `fill(words)`,
    // `words` pointing to the count * width entries, row by row.
    template <class Fill>
    static RawTable filled(std::size_t count, std::size_t width, Fill&& fill) {
        RawTable t;
        t.words_.resize(checked_product(count, width));
        t.ends_.resize(count);
        std::size_t end = 0;  // below count * width, checked above
        for (std::size_t& row_end : t.ends_) row_end = end += width;
        fill(t.words_.data());
        return t;
    }

    std::size_t size() const noexcept { return ends_.size(); }
    // Row `k`, below size().
    std::span<const std::uint64_t> operator[](std::size_t k) const noexcept {
        const std::size_t begin = k == 0 ? 0 : ends_[k - 1];
        return {words_.data() + begin, ends_[k] - begin};
    }
    // Every entry, row after row.
    std::span<const std::uint64_t> entries() const noexcept { return words_; }

    friend bool operator==(const RawTable&, const RawTable&) = default;

private:
    // count * width, or bad_alloc when that does not fit a size_t.
    static std::size_t checked_product(std::size_t count, std::size_t width);

    std::vector<std::uint64_t> words_;
    std::vector<std::size_t> ends_;  // one past the last entry of each row
};

}  // namespace tourloom
