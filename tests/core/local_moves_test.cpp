#include <gtest/gtest.h>

#include <numeric>

#include "local_moves.hpp"

namespace tourloom::local_moves {
namespace {

Route identity(std::size_t n) {
    Route r(n);
    std::iota(r.begin(), r.end(), std::size_t{0});
    return r;
}

TEST(LocalMoves, FirstCandidateOfEachScanOnSeven) {
    struct Case { const char* name; Move move; std::size_t j; Route expected; };
    const Case cases[] = {
        {"reverse_segment", reverse_segment, 1, {1, 0, 2, 3, 4, 5, 6}},
        {"swap_positions", swap_positions, 3, {3, 1, 2, 0, 4, 5, 6}},
        {"rotate_left_1", rotate_left_1, 2, {1, 2, 0, 3, 4, 5, 6}},
        {"rotate_right_1", rotate_right_1, 2, {2, 0, 1, 3, 4, 5, 6}},
        {"rotate_left_2", rotate_left_2, 3, {2, 3, 0, 1, 4, 5, 6}},
        {"rotate_right_2", rotate_right_2, 4, {3, 4, 0, 1, 2, 5, 6}},
        {"rotate_left_3", rotate_left_3, 5, {3, 4, 5, 0, 1, 2, 6}},
        {"rotate_right_3", rotate_right_3, 6, {4, 5, 6, 0, 1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Route r = identity(7);
        c.move(r, 0, c.j);
        EXPECT_EQ(r, c.expected);
    }
}

// Inside a segment that does not start at 0, against the position mappings:
// reversal s'[p] = s[L−1−p]; left by k s'[p] = s[(p+k) mod L]; right by k
// s'[p] = s[(p+L−k) mod L].
TEST(LocalMoves, PositionMappingsOnInnerSegments) {
    struct Case { const char* name; Move move; std::size_t k; bool left; bool reversal; };
    const Case cases[] = {
        {"reverse_segment", reverse_segment, 0, false, true}, {"rotate_left_1", rotate_left_1, 1, true, false},
        {"rotate_right_1", rotate_right_1, 1, false, false},  {"rotate_left_2", rotate_left_2, 2, true, false},
        {"rotate_right_2", rotate_right_2, 2, false, false},  {"rotate_left_3", rotate_left_3, 3, true, false},
        {"rotate_right_3", rotate_right_3, 3, false, false},
    };
    for (const auto& c : cases) {
        for (std::size_t i = 1; i < 4; ++i) {
            for (std::size_t j = i + std::max<std::size_t>(c.k, 1); j < 11; ++j) {
                SCOPED_TRACE(testing::Message() << c.name << " i=" << i << " j=" << j);
                const Route before = identity(12);
                Route after = before;
                c.move(after, i, j);
                const std::size_t len = j - i + 1;
                for (std::size_t p = 0; p < 12; ++p) {
                    std::size_t expected = before[p];
                    if (p >= i && p <= j) {
                        const std::size_t q = p - i;
                        const std::size_t from = c.reversal ? len - 1 - q : c.left ? (q + c.k) % len : (q + len - c.k) % len;
                        expected = before[i + from];
                    }
                    ASSERT_EQ(after[p], expected) << "position " << p;
                }
            }
        }
    }
}

TEST(LocalMoves, SwapTouchesTwoPositionsOnly) {
    Route r = identity(6);
    swap_positions(r, 1, 5);
    EXPECT_EQ(r, (Route{0, 5, 2, 3, 4, 1}));
}

}  // namespace
}  // namespace tourloom::local_moves
