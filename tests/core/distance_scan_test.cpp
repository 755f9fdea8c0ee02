// The distance scan's row search: each instruction set's first negative gain
// against a candidate-by-candidate loop, and on long routes (pieces of rows,
// layouts kept across accepted moves) the first improving j of every shape
// against the candidates' own totals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "fast_evaluation/first_negative.hpp"
#include "fast_evaluation/packed_distance_delta.hpp"
#include "local_moves.hpp"
#include "raw_input.hpp"

namespace tourloom::fast_evaluation {
namespace {

using Rng = std::mt19937_64;

// A draw in [0, bound), narrowed explicitly: size_t is 32 bits on i386.
std::size_t below(Rng& rng, std::size_t bound) { return static_cast<std::size_t>(rng() % bound); }

template <class Entry>
std::size_t plain_first_negative(const GainRun<Entry>& r, GainLayout layout) {
    for (std::size_t x = 0; x < r.count; ++x) {
        std::int64_t g = -r.fixed;
        for (int t = 0; t < layout.adds; ++t) g += r.add[t][x];
        for (int t = 0; t < layout.subtracts; ++t) g -= r.subtract[t][x];
        if (layout.turn) g += r.turn[x];
        if (g < 0) return x;
    }
    return r.count;
}

template <class Entry>
void expect_every_set_agrees(Rng& rng, std::uint64_t largest) {
    const GainLayout layouts[] = {{2, 1, false}, {2, 1, true}, {3, 2, false}, {4, 2, false}};
    const InstructionSet sets[] = {InstructionSet::Portable, InstructionSet::Sse2, InstructionSet::Avx2};
    for (int c = 0; c < 3'000; ++c) {
        const GainLayout layout = layouts[c % 4];
        // Lengths around the blocks of 64 and the vector widths.
        const std::size_t count = c % 7 == 0 ? below(rng, 4) : below(rng, 300);
        // Every gain at least 0 (some exactly 0), then a few planted
        // negative ones: the search must find the first, wherever in a block
        // or a vector it lies.
        const std::uint64_t low = largest / 2, high_subtract = largest / 8;
        std::vector<std::vector<Entry>> arrays(6, std::vector<Entry>(count + 1));
        std::vector<std::int64_t> turn(count + 1);
        for (std::size_t t = 0; t < 6; ++t)
            for (auto& e : arrays[t])
                e = static_cast<Entry>(t < 4 ? low + rng() % (largest - low + 1) : rng() % (high_subtract + 1));
        for (auto& t : turn) t = static_cast<std::int64_t>(rng() % (largest + 1));
        const auto plant = [&](std::size_t x, bool negative) {
            for (std::size_t t = 0; t < 6; ++t) arrays[t][x] = static_cast<Entry>(t < 4 ? (negative ? 0 : low) : high_subtract);
            turn[x] = 0;
        };
        for (int k = 0, planted = static_cast<int>(rng() % 4); count > 0 && k < planted; ++k) plant(below(rng, count), k > 0);
        GainRun<Entry> run{};
        for (int t = 0; t < 4; ++t) run.add[t] = arrays[static_cast<std::size_t>(t)].data();
        for (int t = 0; t < 2; ++t) run.subtract[t] = arrays[static_cast<std::size_t>(4 + t)].data();
        run.turn = turn.data();
        run.count = count;
        run.fixed = static_cast<std::int64_t>(low) * layout.adds - static_cast<std::int64_t>(high_subtract) * layout.subtracts;
        const std::size_t expected = plain_first_negative(run, layout);
        for (const InstructionSet set : sets) {
            if (!available(set)) continue;
            ASSERT_EQ(first_negative(run, layout, set), expected)
                << "case " << c << " set " << static_cast<int>(set) << " count " << count;
        }
    }
}

TEST(DistanceScan, EveryInstructionSetFindsTheFirstNegativeGain) {
    Rng rng(0x5cad);
    expect_every_set_agrees<std::uint16_t>(rng, UINT16_MAX);
    expect_every_set_agrees<std::uint16_t>(rng, 9);
    expect_every_set_agrees<std::uint32_t>(rng, UINT32_MAX);
    expect_every_set_agrees<std::uint32_t>(rng, 17);
}

TEST(DistanceScan, ChosenSetIsOneTheProcessorReports) {
    EXPECT_TRUE(available(scan_instruction_set()));
#if !defined(__x86_64__)
    EXPECT_FALSE(available(InstructionSet::Avx2));
#endif
#if !defined(__i386__)
    EXPECT_FALSE(available(InstructionSet::Sse2));
#endif
}

// An n × n matrix of draws in [0, spread] (`zero_diagonal`: 0 from a
// location to itself), mirrored when `symmetric`, with `largest` in one
// corner so that the narrow width is the one the test asks for.
RawMatrix random_rows(Rng& rng, std::size_t n, std::uint64_t largest, std::uint64_t spread, bool symmetric,
                      bool zero_diagonal) {
    RawMatrix rows(n, RawList(n));
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) rows[a][b] = zero_diagonal && a == b ? 0 : rng() % (spread + 1);
    if (symmetric)
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < a; ++b) rows[a][b] = rows[b][a];
    rows[0][n - 1] = largest;
    if (symmetric) rows[n - 1][0] = largest;
    return rows;
}

local_moves::Route shuffled_route(Rng& rng, std::size_t n) {
    local_moves::Route route(n);
    std::iota(route.begin(), route.end(), std::size_t{0});
    std::shuffle(route.begin(), route.end(), rng);
    return route;
}

// Whole rows of every shape on routes of hundreds of locations, with moves
// accepted along the way as a scan does: the first j whose candidate total
// is below the current one.
template <class Entry, bool symmetric>
void expect_rows_match_totals(Rng& rng, std::size_t n, std::uint64_t largest) {
    const RawMatrix rows = random_rows(rng, n, largest, largest, symmetric, true);
    const penalties::distance::distance_matrix::DistanceMatrix matrix(rows);
    PackedDistanceDelta<Entry, symmetric> delta(matrix);
    local_moves::Route route = shuffled_route(rng, n);
    delta.refresh(route);
    int accepted = 0;
    for (const auto& nb : local_moves::sweep_order) {
        local_moves::with_shape(nb.shape, [&](auto s) {
            constexpr local_moves::Shape shape = s.value;
            for (int row = 0; row < 12; ++row) {
                const std::size_t i = row == 0 ? 0 : below(rng, n - nb.min_gap);
                for (std::size_t from = i + nb.min_gap; from < n;) {
                    std::size_t expected = from;
                    while (expected < n && !(delta.template candidate_total<shape>(nb.k, i, expected) < delta.total()))
                        ++expected;
                    const std::size_t found = delta.template first_improving<shape>(nb.k, i, from);
                    ASSERT_EQ(found, expected) << "shape " << static_cast<int>(shape) << " k=" << nb.k << " i=" << i
                                               << " from " << from;
                    if (found == n) break;
                    nb.move(route, i, found);
                    delta.refresh(route);
                    ++accepted;
                    from = found + 1;
                }
            }
        });
        if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GT(accepted, 20);
}

TEST(DistanceScan, RowsOfLongRoutesMatchTheCandidatesTotals) {
    Rng rng(0x10a6);
    for (const std::size_t n : {130U, 300U, 700U}) {
        SCOPED_TRACE(testing::Message() << "n=" << n);
        expect_rows_match_totals<std::uint16_t, true>(rng, n, UINT16_MAX);
        expect_rows_match_totals<std::uint16_t, false>(rng, n, 1'000);
        expect_rows_match_totals<std::uint32_t, true>(rng, n, UINT32_MAX);
        expect_rows_match_totals<std::uint32_t, false>(rng, n, UINT32_MAX);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// After an accepted reversal or rotation the edges and hops are moved rather
// than read again; whatever the stretch (a single position, the first or the
// last ones, the whole route) the state must be the one a delta built afresh
// on the new route has: its total, every candidate's total, and every row's
// first improving j. Other rearrangements (swaps of the ends, rotations by
// other counts, shuffles) take the full re-read and must agree as well; and
// so must the state after a move of the search that the delta is told of
// (accepted) instead of finding it.
template <class Entry, bool symmetric>
void expect_refresh_matches_fresh(Rng& rng, std::size_t n, std::uint64_t largest, int steps) {
    const bool ties = rng() % 2 == 0;
    const RawMatrix rows = random_rows(rng, n, largest, ties ? 4 : largest, symmetric, false);
    const penalties::distance::distance_matrix::DistanceMatrix matrix(rows);
    PackedDistanceDelta<Entry, symmetric> delta(matrix);
    local_moves::Route route = shuffled_route(rng, n);
    delta.refresh(route);
    const auto tour_total = [&](const local_moves::Route& r) {
        std::uint64_t t = 0;
        for (std::size_t p = 0; p < n; ++p) t += rows[r[p]][r[(p + 1) % n]];
        return t;
    };
    for (int step = 0; step < steps; ++step) {
        // The stretch: short ones, ones at either end, the whole route.
        const int pick = static_cast<int>(rng() % 6);
        std::size_t length = pick <= 1 ? 1 + below(rng, std::min<std::size_t>(5, n)) : pick == 2 ? n : 1 + below(rng, n);
        std::size_t lo = pick == 3 ? 0 : pick == 4 ? n - length : below(rng, n - length + 1);
        std::size_t hi = lo + length - 1;
        const auto at = [&](std::size_t p) { return route.begin() + static_cast<std::ptrdiff_t>(p); };
        const int kind = static_cast<int>(rng() % 14);
        std::size_t r = 0;
        if (kind >= 10) {
            const local_moves::Neighbourhood& nb = local_moves::sweep_order[below(rng, std::size(local_moves::sweep_order))];
            if (n <= nb.min_gap) continue;
            // Some from the first position, some to the last.
            const std::size_t i = kind == 10 ? 0 : below(rng, n - nb.min_gap);
            const std::size_t j = kind == 11 ? n - 1 : i + nb.min_gap + below(rng, n - nb.min_gap - i);
            lo = i;
            hi = j;
            nb.move(route, i, j);
            local_moves::with_shape(nb.shape, [&](auto s) { delta.template accepted<s.value>(nb.k, i, j, route); });
            r = nb.k;
        } else if (kind < 4) {
            std::reverse(at(lo), at(hi + 1));
        } else if (kind < 8) {
            // The counts a move rotates by, either way round, and (rarely) others.
            const std::size_t counts[] = {1, 2, 3, length - 1, length - 2, length - 3, 1 + below(rng, length)};
            r = counts[kind == 7 ? 6 : below(rng, 6)];
            if (r >= 1 && r < length) std::rotate(at(lo), at(lo + r), at(hi + 1));
        } else if (kind == 8) {
            std::iter_swap(at(lo), at(hi));
        } else {
            std::shuffle(at(lo), at(hi + 1), rng);
        }
        if (kind < 10) delta.refresh(route);
        PackedDistanceDelta<Entry, symmetric> fresh(matrix);
        fresh.refresh(route);
        SCOPED_TRACE(testing::Message() << "step " << step << " lo=" << lo << " hi=" << hi << " kind " << kind
                                        << " r=" << r);
        ASSERT_EQ(delta.total(), fresh.total());
        ASSERT_EQ(delta.total(), tour_total(route));
        for (const auto& nb : local_moves::sweep_order) {
            local_moves::with_shape(nb.shape, [&](auto s) {
                constexpr local_moves::Shape shape = s.value;
                for (std::size_t i = 0; i + nb.min_gap < n; ++i) {
                    for (std::size_t j = i + nb.min_gap; j < n; ++j) {
                        const std::uint64_t got = delta.template candidate_total<shape>(nb.k, i, j);
                        ASSERT_EQ(got, fresh.template candidate_total<shape>(nb.k, i, j))
                            << "shape " << static_cast<int>(shape) << " k=" << nb.k << " i=" << i << " j=" << j;
                        if (n <= 12) {  // and against the tour the move makes
                            local_moves::Route moved = route;
                            nb.move(moved, i, j);
                            ASSERT_EQ(got, tour_total(moved)) << "shape " << static_cast<int>(shape) << " k=" << nb.k
                                                              << " i=" << i << " j=" << j;
                        }
                    }
                    ASSERT_EQ(delta.template first_improving<shape>(nb.k, i, i + nb.min_gap),
                              fresh.template first_improving<shape>(nb.k, i, i + nb.min_gap))
                        << "shape " << static_cast<int>(shape) << " k=" << nb.k << " i=" << i;
                }
            });
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}

TEST(DistanceScan, RefreshAfterReversalsAndRotationsMatchesAFreshDelta) {
    Rng rng(0x5e9a);
    for (std::size_t n = 2; n <= 12; ++n) {
        SCOPED_TRACE(testing::Message() << "n=" << n);
        for (int trial = 0; trial < 3; ++trial) {
            expect_refresh_matches_fresh<std::uint16_t, true>(rng, n, UINT16_MAX, 60);
            expect_refresh_matches_fresh<std::uint16_t, false>(rng, n, UINT16_MAX, 60);
            expect_refresh_matches_fresh<std::uint32_t, true>(rng, n, UINT32_MAX, 60);
            expect_refresh_matches_fresh<std::uint32_t, false>(rng, n, UINT32_MAX, 60);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
    for (const std::size_t n : {33U, 64U, 131U}) {
        SCOPED_TRACE(testing::Message() << "n=" << n);
        expect_refresh_matches_fresh<std::uint16_t, true>(rng, n, UINT16_MAX, 25);
        expect_refresh_matches_fresh<std::uint16_t, false>(rng, n, 1'000, 25);
        expect_refresh_matches_fresh<std::uint32_t, true>(rng, n, UINT32_MAX, 25);
        expect_refresh_matches_fresh<std::uint32_t, false>(rng, n, UINT32_MAX, 25);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace tourloom::fast_evaluation
