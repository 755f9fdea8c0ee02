// Distance matrices stored in 16, 32 or 64 bits: the width is the narrowest
// that holds the largest entry, every entry reads back exactly with the same
// panics as before, and the distance scans on every width make exactly the
// straightforward evaluation's search, entries at each width's limit included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <type_traits>

#include "fast_evaluation/eligibility.hpp"
#include "solver.hpp"
#include "test_support.hpp"

namespace tourloom::solver {
namespace {

using penalizer::DistanceMatrix;
using Rng = std::mt19937_64;

constexpr std::uint64_t u16_max = UINT16_MAX;
constexpr std::uint64_t u32_max = UINT32_MAX;
constexpr std::uint64_t u64_max = UINT64_MAX;

std::size_t below(Rng& rng, std::size_t bound) { return static_cast<std::size_t>(rng() % bound); }

int instance_count(int fallback) {
    const char* env = std::getenv("TOURLOOM_DIFFERENTIAL_INSTANCES");
    return env != nullptr ? std::atoi(env) : fallback;
}

TEST(DistanceWidth, NarrowestWidthHoldingTheLargestEntry) {
    struct Case { std::uint64_t largest; EntryWidth width; };
    const Case cases[] = {
        {0, EntryWidth::Bits16},           {u16_max, EntryWidth::Bits16},     {u16_max + 1, EntryWidth::Bits32},
        {u32_max, EntryWidth::Bits32},     {u32_max + 1, EntryWidth::Bits64}, {u64_max, EntryWidth::Bits64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "largest " << c.largest);
        // The largest entry anywhere but first; every entry must read back as given.
        const RawMatrix m{{0, 1, 2}, {3, 4, c.largest}, {c.largest / 2, c.largest - c.largest / 3, 7}};
        const DistanceMatrix matrix(m);
        ASSERT_TRUE(matrix.is_square());
        EXPECT_EQ(matrix.width(), c.width);
        for (std::size_t a = 0; a < 3; ++a)
            for (std::size_t b = 0; b < 3; ++b) {
                EXPECT_EQ(matrix.distance(a, b), m[a][b]);
                EXPECT_EQ(matrix.unchecked(a, b), m[a][b]);
            }
        EXPECT_TRUE(panics_with([&] { (void)matrix.distance(3, 0); }, "index out of bounds: the len is 3 but the index is 3"));
        EXPECT_TRUE(panics_with([&] { (void)matrix.distance(0, 5); }, "index out of bounds: the len is 3 but the index is 5"));
        EXPECT_TRUE(panics_with([&] { (void)matrix.distance(9, 7); }, "index out of bounds: the len is 3 but the index is 9"));
    }
}

// A block filled straight (as the binding does from an array's buffer) is
// the block the rows give: same width, same entries, whether or not it is
// large enough for huge pages; copies are deep and equal, a matrix moved
// from is empty.
TEST(DistanceWidth, FilledBlockIsTheOneTheRowsGive) {
    Rng rng(0xb10c);
    for (const std::uint64_t limit : {u16_max, u16_max + 1, u32_max, u32_max + 1, u64_max}) {
        for (const std::size_t n : {1U, 3U, 1025U}) {  // 1025² 16-bit entries pass 2 MiB
            SCOPED_TRACE(testing::Message() << "limit " << limit << " n=" << n);
            RawMatrix m(n, RawList(n, 0));
            for (auto& row : m)
                for (auto& v : row) v = rng() % (limit / 2 + 1);
            m[n / 2][n - 1] = limit;
            std::uint64_t bits = 0;
            for (const auto& row : m)
                for (const std::uint64_t v : row) bits |= v;
            const SquareMatrix filled = SquareMatrix::filled(n, bits, [&](auto* out) {
                for (const auto& row : m)
                    for (const std::uint64_t v : row) *out++ = static_cast<std::remove_pointer_t<decltype(out)>>(v);
            });
            const DistanceMatrix from_rows(m);
            EXPECT_EQ(filled.width(), from_rows.width());
            EXPECT_EQ(filled.width(), width_holding(limit));
            SquareMatrix copy = filled;
            EXPECT_TRUE(copy == filled);
            const DistanceMatrix from_block(std::move(copy));
            EXPECT_EQ(copy.size(), 0U);
            ASSERT_TRUE(from_block.is_square());
            ASSERT_EQ(from_block.row_count(), n);
            for (std::size_t a = 0; a < n; a += 1 + n / 7)
                for (std::size_t b = 0; b < n; ++b) ASSERT_EQ(from_block.distance(a, b), m[a][b]);
            EXPECT_EQ(from_block.distance(n / 2, n - 1), limit);
            EXPECT_TRUE(panics_with([&] { (void)from_block.distance(n, 0); },
                                    "index out of bounds: the len is " + std::to_string(n) + " but the index is " +
                                        std::to_string(n)));
        }
    }
}

// Ragged matrices keep their rows as given: each lookup is tested against
// the row it reads.
TEST(DistanceWidth, RaggedMatricesKeepTheirRows) {
    const DistanceMatrix matrix(RawMatrix{{0, u64_max}, {1}, {2, 3, 4, 5}});
    EXPECT_FALSE(matrix.is_square());
    EXPECT_EQ(matrix.distance(0, 1), u64_max);
    EXPECT_EQ(matrix.distance(2, 3), 5U);
    EXPECT_TRUE(panics_with([&] { (void)matrix.distance(1, 1); }, "index out of bounds: the len is 1 but the index is 1"));
    EXPECT_TRUE(panics_with([&] { (void)matrix.distance(3, 0); }, "index out of bounds: the len is 3 but the index is 3"));
}

TEST(DistanceWidth, SymmetryIsDetectedExactly) {
    Rng rng(0x5e77);
    for (const std::size_t n : {1U, 2U, 63U, 64U, 65U, 130U}) {
        SCOPED_TRACE(testing::Message() << "n=" << n);
        RawMatrix m(n, RawList(n, 0));
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b <= a; ++b) m[a][b] = m[b][a] = rng() % 1'000;
        EXPECT_TRUE(fast_evaluation::distance_is_symmetric(DistanceMatrix(m)));
        if (n < 2) continue;
        // One entry off the diagonal broken, anywhere, in either triangle.
        const std::size_t a = below(rng, n), b = (a + 1 + below(rng, n - 1)) % n;
        m[a][b] += 1;
        EXPECT_FALSE(fast_evaluation::distance_is_symmetric(DistanceMatrix(m)));
    }
}

// Entries up to `limit`, many exactly at it or next to it, at least one at it
// (so that it fixes the width), the rest spread over every magnitude below.
RawMatrix limit_matrix(Rng& rng, std::size_t n, std::uint64_t limit, bool symmetric) {
    RawMatrix m(n, RawList(n, 0));
    for (auto& row : m)
        for (auto& v : row) {
            switch (rng() % 5) {
                case 0: v = limit; break;
                case 1: v = limit - rng() % 3; break;
                case 2: v = rng() % 4; break;  // ties
                default: v = (rng() >> (rng() % 64)) % limit; break;
            }
        }
    if (symmetric)
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < a; ++b) m[a][b] = m[b][a];
    const std::size_t a = below(rng, n), b = below(rng, n);
    m[a][b] = m[b][a] = limit;
    return m;
}

// One descent on the straightforward and on the fast evaluation from the
// same start, sweep by sweep: the same candidates, in the same order, with
// the same outcome.
void expect_same_descent(const RawMatrix& m, const Route& start, bool packed) {
    const auto make = [&](Evaluation e) {
        Penalizer p(DistanceMatrix(m), std::nullopt);
        Solution initial = p.penalize(start, false);
        return std::make_unique<Solver>(std::move(p), std::nullopt, m.size(), std::move(initial), e);
    };
    auto reference = make(Evaluation::Reference);
    auto fast = make(Evaluation::Automatic);
    ASSERT_TRUE(fast->uses_fast_distance());
    ASSERT_EQ(fast->uses_packed_distance(), packed);
    for (int sweep = 0;; ++sweep) {
        SCOPED_TRACE(testing::Message() << "sweep " << sweep);
        const bool r = reference->sweep();
        ASSERT_EQ(fast->sweep(), r);
        ASSERT_EQ(reference->current_solution(), fast->current_solution());
        ASSERT_EQ(reference->evaluations(), fast->evaluations());
        if (!r) break;
    }
}

TEST(DistanceWidth, DescentsAtEachWidthsLimitMatchTheReference) {
    struct Case { const char* name; std::uint64_t limit; bool packed; };
    const Case cases[] = {
        {"16 bits, 65535", u16_max, true},
        {"32 bits, 65536", u16_max + 1, true},
        {"32 bits, 2^32 - 1", u32_max, true},
        {"64 bits, 2^32", u32_max + 1, false},
        {"64 bits, 2^64 - 1 (128-bit totals)", u64_max, false},
    };
    Rng rng(0xd157a7ce);
    // The count is for the whole test, shared among the widths.
    const int count = std::max(1, instance_count(1'500) / static_cast<int>(std::size(cases)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int index = 0; index < count; ++index) {
            // Mostly small tours, where the wrap-around and whole-route
            // cases are dense; every tenth larger.
            const std::size_t n = index % 10 == 9 ? 20 + below(rng, 41) : 1 + below(rng, 12);
            const bool symmetric = index % 2 == 0;
            SCOPED_TRACE(testing::Message() << "instance " << index << " n=" << n << (symmetric ? " symmetric" : ""));
            const RawMatrix m = limit_matrix(rng, n, c.limit, symmetric);
            Route start(n);
            std::iota(start.begin(), start.end(), std::size_t{0});
            std::shuffle(start.begin(), start.end(), rng);
            expect_same_descent(m, start, c.packed);
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
}  // namespace tourloom::solver
