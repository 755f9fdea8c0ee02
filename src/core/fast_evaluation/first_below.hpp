#pragma once
// The first position from some start whose value lies below a bound, in
// O(log n) per question: the minima of the blocks of 2^l values from every
// position (a sparse table), built in O(n log n). The time path asks it how
// far a delayed clock can move the current tour's states as a whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tourloom::fast_evaluation {

class FirstBelow {
public:
    // Replaces the values.
    void assign(const std::vector<std::int64_t>& values) {
        const std::size_t n = values.size();
        std::size_t levels = 1;
        while ((std::size_t{1} << levels) <= n) ++levels;
        levels_.resize(levels);
        levels_[0] = values;
        for (std::size_t l = 1; l < levels; ++l) {
            const std::size_t half = std::size_t{1} << (l - 1);
            const std::vector<std::int64_t>& below = levels_[l - 1];
            std::vector<std::int64_t>& level = levels_[l];
            const std::size_t count = n + 1 - (std::size_t{1} << l);  // blocks that fit
            level.resize(count);
            for (std::size_t p = 0; p < count; ++p) level[p] = std::min(below[p], below[p + half]);
        }
    }

    // The least p >= from with values[p] < bound, or the size when none.
    std::size_t find(std::size_t from, std::int64_t bound) const noexcept {
        const std::size_t n = levels_.empty() ? 0 : levels_[0].size();
        std::size_t p = from;
        // Whole blocks no lower than the bound are stepped over, the largest
        // first; what is left before the answer is shorter than any block.
        for (std::size_t l = levels_.size(); l-- > 0;) {
            if (p + (std::size_t{1} << l) <= n && levels_[l][p] >= bound) p += std::size_t{1} << l;
        }
        return p < n ? p : n;
    }

private:
    std::vector<std::vector<std::int64_t>> levels_;  // levels_[l][p]: the least of values p .. p + 2^l − 1
};

}  // namespace tourloom::fast_evaluation
