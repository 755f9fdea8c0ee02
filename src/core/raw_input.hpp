#pragma once
// The inputs of a solve as the binding converts them: plain unsigned 64-bit
// counts, not yet interpreted. Rows may have any lengths (RawList, RawMatrix
// and RawTable: raw_table.hpp).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "raw_table.hpp"
#include "square_matrix.hpp"

namespace tourloom {

using RawPair = std::pair<std::uint64_t, std::uint64_t>;          // (start, end)
using RawTimeWindows = std::vector<std::vector<RawPair>>;         // per location, its (start, end) pairs
// A distance matrix as rows, or, when whoever read it knew it square with at
// least one row, straight as the narrow block the solve keeps.
using RawDistances = std::variant<RawMatrix, SquareMatrix>;

// The number of locations: the number of rows.
inline std::size_t row_count(const RawDistances& d) noexcept {
    return std::visit([](const auto& m) { return m.size(); }, d);
}

// The six inputs of one solve as converted, in the order the binding reads
// them: distances, the three lists of the time model, the daily hours and
// the time limit in whole seconds. An absent optional was not given.
struct RawInput {
    RawDistances distance_matrix{};
    std::optional<RawTable> duration_matrix{};
    std::optional<RawList> job_durations{};
    std::optional<RawTimeWindows> time_windows{};
    std::optional<RawPair> operation_times{};
    std::optional<std::uint64_t> time_limit{};
};

}  // namespace tourloom
