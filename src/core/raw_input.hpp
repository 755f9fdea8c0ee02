#pragma once
// The inputs of a solve as the binding converts them: plain unsigned 64-bit
// counts, not yet interpreted. Rows may have any lengths.
#include <cstdint>
#include <utility>
#include <vector>

namespace tourloom {

using RawMatrix = std::vector<std::vector<std::uint64_t>>;       // [from][to]
using RawList = std::vector<std::uint64_t>;                       // one value per location
using RawPair = std::pair<std::uint64_t, std::uint64_t>;          // (start, end)
using RawTimeWindows = std::vector<std::vector<RawPair>>;         // per location, its (start, end) pairs

}  // namespace tourloom
