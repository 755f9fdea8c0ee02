// The first position below a bound, against a linear search, on sizes around
// the powers of two where the table's blocks end.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "fast_evaluation/first_below.hpp"

namespace tourloom::fast_evaluation {
namespace {

std::size_t linear(const std::vector<std::int64_t>& v, std::size_t from, std::int64_t bound) {
    for (std::size_t p = from; p < v.size(); ++p)
        if (v[p] < bound) return p;
    return v.size();
}

TEST(FirstBelow, AgreesWithALinearSearch) {
    std::mt19937_64 rng(0xf1257);
    FirstBelow table;
    for (const std::size_t n : {0U, 1U, 2U, 3U, 4U, 5U, 7U, 8U, 9U, 15U, 16U, 17U, 31U, 33U, 64U, 100U, 257U}) {
        for (int round = 0; round < 20; ++round) {
            std::vector<std::int64_t> v(n);
            for (auto& x : v) x = round % 4 == 0 ? INT64_MAX - static_cast<std::int64_t>(rng() % 3)
                                                 : static_cast<std::int64_t>(rng() % 50);
            table.assign(v);  // reused: a shorter table replaces a longer one
            for (std::size_t from = 0; from <= n; ++from) {
                for (const std::int64_t bound : {std::int64_t{0}, std::int64_t{1}, std::int64_t{25}, std::int64_t{50},
                                                 static_cast<std::int64_t>(rng() % 60), INT64_MAX}) {
                    ASSERT_EQ(table.find(from, bound), linear(v, from, bound))
                        << "n=" << n << " round " << round << " from " << from << " bound " << bound;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tourloom::fast_evaluation
