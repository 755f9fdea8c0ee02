#pragma once
// The travel durations of the time model: the caller's counts of seconds as
// they were read (a RawTable, one block), each checked once to make a span,
// and read back as a Span on access. Kept as 8-byte counts rather than
// 16-byte spans, and without a second copy: the table the binding filled
// is the table the solve keeps.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "raw_table.hpp"
#include "time/span.hpp"

namespace tourloom::penalties::time::duration_table {

class DurationTable {
public:
    // One row of durations, [to].
    class Row {
    public:
        explicit Row(std::span<const std::uint64_t> counts) noexcept : counts_(counts) {}
        std::size_t size() const noexcept { return counts_.size(); }
        // Entry `to`, below size().
        Span operator[](std::size_t to) const { return Span::from_seconds(static_cast<std::int64_t>(counts_[to])); }

    private:
        std::span<const std::uint64_t> counts_;
    };

    DurationTable() = default;
    // Takes the counts after `check` has accepted each of them in row order
    // (the time model's conversion, which panics on the first bad one).
    template <class Check>
    DurationTable(RawTable counts, Check&& check) : counts_(std::move(counts)) {
        for (const std::uint64_t c : counts_.entries()) check(c);
    }

    std::size_t size() const noexcept { return counts_.size(); }
    // Row `from`, below size().
    Row operator[](std::size_t from) const noexcept { return Row(counts_[from]); }

private:
    RawTable counts_;
};

}  // namespace tourloom::penalties::time::duration_table
