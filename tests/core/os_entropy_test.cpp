#include "os_entropy.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using tourloom::fill_from_os_entropy;

std::vector<std::uint32_t> filled(std::size_t count) {
    std::vector<std::uint32_t> words(count, 0);
    fill_from_os_entropy(words);
    return words;
}

// Every word is written, whatever the length: a source that returned short
// would leave the zeros of the buffer behind.
class OsEntropyLengths : public ::testing::TestWithParam<std::size_t> {};

TEST_P(OsEntropyLengths, WritesEveryWord) {
    const auto words = filled(GetParam());
    const auto zeros = static_cast<std::size_t>(std::count(words.begin(), words.end(), 0u));
    // One zero word in 2^32 by chance; more than one means words were skipped.
    EXPECT_LE(zeros, 1u) << "of " << words.size();
}

INSTANTIATE_TEST_SUITE_P(Sizes, OsEntropyLengths,
                         ::testing::Values(std::size_t{1}, std::size_t{63}, std::size_t{624},  // mt19937's state
                                           std::size_t{70'000}),  // past one getrandom read of 256 bytes
                         [](const auto& sizes) { return "words_" + std::to_string(sizes.param); });

TEST(OsEntropy, TwoFillsDiffer) {
    EXPECT_NE(filled(624), filled(624));
}

TEST(OsEntropy, EmptySpanIsFine) {
    std::vector<std::uint32_t> none;
    fill_from_os_entropy(none);
    EXPECT_TRUE(none.empty());
}

}  // namespace
