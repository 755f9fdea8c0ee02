#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>

#include "lib.hpp"
#include "solver.hpp"
#include "test_support.hpp"

namespace tourloom::solver {
namespace {

using penalizer::DistanceMatrix;
using penalizer::DistanceTotal;

constexpr std::uint64_t u64_max = UINT64_MAX;

Route identity(std::size_t n) {
    Route r(n);
    std::iota(r.begin(), r.end(), std::size_t{0});
    return r;
}

Solver solver_for(RawMatrix m, std::optional<Span> limit = std::nullopt) {
    const std::size_t n = m.size();
    Penalizer p(DistanceMatrix(std::move(m)), std::nullopt);
    Solution initial = p.penalize(identity(n), false);
    return Solver(std::move(p), limit, n, std::move(initial));
}

RawMatrix random_matrix(std::size_t n, std::mt19937_64& rng, bool symmetric) {
    RawMatrix m(n, RawList(n, 0));
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b)
            if (a != b && (!symmetric || a < b)) m[a][b] = rng() % 1'000;
    if (symmetric)
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < a; ++b) m[a][b] = m[b][a];
    return m;
}

// T(n−1) + 2T(n−2) + 2T(n−3) + T(n−4) + T(n−5) + T(n−6), with T(m) = m(m+1)/2:
// for n = 10, 45 + 72 + 56 + 21 + 15 + 10 = 219.
TEST(Sweep, CandidatesPerSweepWhenNothingIsAccepted) {
    struct Case { std::size_t n; std::uint64_t candidates; };
    const Case cases[] = {{1, 0}, {2, 1}, {3, 5}, {4, 14}, {7, 81}, {10, 219}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        Solver s = solver_for(RawMatrix(c.n, RawList(c.n, 7)));  // every tour is equally long
        EXPECT_FALSE(s.sweep());
        EXPECT_EQ(s.evaluations(), c.candidates);
        EXPECT_EQ(s.current_solution().route, identity(c.n));
    }
}

TEST(Sweep, TwoLocationsNeverSwap) {
    const auto out = solve({.distance_matrix = RawMatrix{{0, 3}, {8, 0}}});
    EXPECT_EQ(out.route, (Route{0, 1}));
    EXPECT_EQ(out.distance, 11u);
}

TEST(Solve, UnlimitedIsOneDeterministicDescentToALocalOptimum) {
    std::mt19937_64 rng(20261208);
    for (int trial = 0; trial < 20; ++trial) {
        const std::size_t n = 3 + static_cast<std::size_t>(trial % 9);
        const RawMatrix m = random_matrix(n, rng, trial % 2 == 0);
        SCOPED_TRACE(testing::Message() << "trial " << trial << " n=" << n);
        const auto a = solve({.distance_matrix = m});
        const auto b = solve({.distance_matrix = m});
        EXPECT_EQ(a.iterations, 1u);
        EXPECT_EQ(a.route, b.route);
        EXPECT_EQ(a.distance, b.distance);
        Route sorted = a.route;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, identity(n));
        // No neighbour of the result is shorter, and it is no longer than the identity.
        Solver again = solver_for(m);
        Penalizer p(DistanceMatrix(m), std::nullopt);
        Solver at_result(std::move(p), std::nullopt, n, Penalizer(DistanceMatrix(m), std::nullopt).penalize(a.route, false));
        EXPECT_FALSE(at_result.sweep());
        EXPECT_LE(DistanceTotal::of(a.distance), again.current_solution().distance);
    }
}

TEST(Solve, UnlimitedSolveRunsNoRestart) {
    // One location: no sweep has candidates, so any evaluation would be a restart's.
    Solver s = solver_for({{4}});
    s.run();
    EXPECT_EQ(s.iterations(), 1u);
    EXPECT_EQ(s.evaluations(), 0u);
    Solver limited = solver_for({{4}}, Span::from_seconds(-1));
    limited.run();
    EXPECT_EQ(limited.evaluations(), 0u);
}

TEST(Solve, ZeroAndNegativeLimits) {
    const RawMatrix m{{0, 1, 9}, {9, 0, 1}, {1, 9, 0}};
    const auto negative = solve({.distance_matrix = m, .time_limit = u64_max});  // −1 s
    EXPECT_EQ(negative.iterations, 0u);
    EXPECT_EQ(negative.route, identity(3));
    const auto zero = solve({.distance_matrix = m, .time_limit = 0});
    // Only a first clock reading equal to the start lets a descent begin.
    EXPECT_LE(zero.iterations, 1u);
    if (zero.iterations == 0) {
        EXPECT_EQ(zero.route, identity(3));
    }
}

TEST(Solve, LimitedSearchRestartsUntilTheLimitHasPassed) {
    std::mt19937_64 rng(7);
    const RawMatrix m = random_matrix(12, rng, false);
    const auto unlimited = solve({.distance_matrix = m});
    const auto out = solve({.distance_matrix = m, .time_limit = 1});
    EXPECT_GT(out.iterations, 1u);
    EXPECT_GT(out.time_taken, Span::from_seconds(1));
    // The first descent is the unlimited one; restarts can only improve on it.
    EXPECT_LE(out.distance, unlimited.distance);
}

TEST(Solve, LimitConversion) {
    const RawMatrix m{{0}};
    EXPECT_NO_THROW(solve({.distance_matrix = m, .time_limit = u64_max - 5}));
    EXPECT_TRUE(panics_with(
        [&] { solve({.distance_matrix = m, .time_limit = 9'223'372'036'854'776}); },
        "TimeDelta::seconds out of bounds"));
    EXPECT_TRUE(panics_with(
        [&] { solve({.distance_matrix = m, .time_limit = 9'223'372'036'854'775'808ULL}); },
        "TimeDelta::seconds out of bounds"));
    // Time-model errors come before the limit's.
    EXPECT_TRUE(panics_with([&] { solve({.distance_matrix = m, .time_windows = RawTimeWindows{{{2, 1}}}, .time_limit = 9'223'372'036'854'776}); },
                            "assertion failed: start <= end"));
}

TEST(Solve, PanicsFromEvaluation) {
    struct Case { const char* name; RawMatrix m; const char* message; };
    const Case cases[] = {
        {"no locations", {}, "index out of bounds: the len is 0 but the index is 0"},
        // The identity route reads only row 2's first entry; the first
        // candidate (1 0 2) needs entry 1 of row 2.
        {"ragged row met by a candidate", {{0, 1, 1}, {1, 0, 1}, {1}}, "index out of bounds: the len is 1 but the index is 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(panics_with([&] { solve({.distance_matrix = c.m}); },
                                c.message));
    }
}

// Time arithmetic failures surface through a whole solve, from the first
// evaluation on (such inputs never take a fast path).
TEST(Solve, TimeRangePanicsThroughTheDriver) {
    const std::uint64_t last = 8'210'266'876'799;  // the last representable second
    struct Case { const char* name; RawList jobs; RawTimeWindows windows; std::optional<RawPair> hours; const char* message; };
    const Case cases[] = {
        {"work past the end of time", {100, 1}, {{{last - 10, last}}, {{last - 10, last}}}, std::nullopt,
         "`DateTime + TimeDelta` overflowed"},
        {"a night's wait past the end of time", {1, 1}, {{{last - 10, last}}, {{last - 10, last}}}, RawPair{0, 3'600},
         "`DateTime + TimeDelta` overflowed"},
        {"window after the last date", {1, 1}, {{{last, last + 1}}, {{0, 1}}}, std::nullopt,
         "called `Option::unwrap()` on a `None` value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(panics_with([&] { solve({.distance_matrix = RawMatrix{{0, 1}, {1, 0}}, .duration_matrix = RawMatrix{{0, 5}, {5, 0}}, .job_durations = c.jobs, .time_windows = c.windows, .operation_times = c.hours}); },
                                c.message));
    }
}

// A tour through entries near 2^64 must not look short by wrapping around.
TEST(Solve, DistanceTotalsNeverWrap) {
    // Forward cycle 0→1→2→0 costs 30; the reverse cycle costs 2^65 + 3,
    // which a 64-bit sum would see as 3.
    const auto out = solve({.distance_matrix = RawMatrix{{0, 10, u64_max}, {5, 0, 10}, {10, u64_max, 0}}});
    EXPECT_EQ(out.distance, 30u);
    EXPECT_EQ(out.route, identity(3));
    // A best tour of exactly 2^64 − 1 is reported as it is...
    const auto edge = solve({.distance_matrix = RawMatrix{{0, u64_max - 1}, {1, 0}}});
    EXPECT_EQ(edge.distance, u64_max);
    // ...and one beyond cannot be reported.
    EXPECT_TRUE(panics_with([] { solve({.distance_matrix = RawMatrix{{0, u64_max}, {1, 0}}}); },
                            "attempt to add with overflow"));
}

TEST(Solve, TimeModelResultCarriesTheSchedule) {
    const std::uint64_t day = static_cast<std::uint64_t>(test_day);
    const std::uint64_t h = 3'600;
    const auto out = solve({.distance_matrix = RawMatrix{{1, 2, 3}, {10, 20, 30}, {100, 200, 300}}, .duration_matrix = RawMatrix{{0, h, 2 * h}, {h, 0, h}, {2 * h, h, 0}}, .job_durations = RawList{h, h / 2, 2 * h}, .time_windows = RawTimeWindows{{{day + 8 * h, day + 18 * h}}, {{day + 12 * h, day + 13 * h}, {day + 15 * h, day + 16 * h}}, {{day + 9 * h, day + 10 * h}, {day + 11 * h, day + 12 * h}}}, .operation_times = RawPair{8 * h, 17 * h}});
    ASSERT_TRUE(out.time_report);
    const auto& r = *out.time_report;
    ASSERT_FALSE(r.events.empty());
    // Events are contiguous and cover the tour.
    EXPECT_EQ(r.events.front().window.start(), r.start_time);
    EXPECT_EQ(r.events.back().window.end(), r.end_time);
    for (std::size_t k = 1; k < r.events.size(); ++k) EXPECT_EQ(r.events[k].window.start(), r.events[k - 1].window.end());
    EXPECT_EQ(r.duration, r.working_time + r.waiting_time + r.traveling_time);
    // The search never ends worse than the identity route.
    penalizer::Penalizer p(DistanceMatrix({{1, 2, 3}, {10, 20, 30}, {100, 200, 300}}),
                           penalties::time::time_input::transform(
                               RawMatrix{{0, h, 2 * h}, {h, 0, h}, {2 * h, h, 0}}, RawList{h, h / 2, 2 * h},
                               RawTimeWindows{{{day + 8 * h, day + 18 * h}},
                                              {{day + 12 * h, day + 13 * h}, {day + 15 * h, day + 16 * h}},
                                              {{day + 9 * h, day + 10 * h}, {day + 11 * h, day + 12 * h}}},
                               RawPair{8 * h, 17 * h}));
    const Solution found{out.route, out.time_report, DistanceTotal::of(out.distance)};
    EXPECT_FALSE(p.is_better(p.penalize(identity(3), false), found));
}

TEST(Shuffle, PermutationsOfThreeAreUniform) {
    std::map<Route, int> counts;
    const int draws = 60'000;
    for (int k = 0; k < draws; ++k) {
        Route r = identity(3);
        shuffle(r);
        ++counts[r];
    }
    ASSERT_EQ(counts.size(), 6u);
    // Each count is binomial(60000, 1/6): mean 10000, sd ≈ 91; 6 sd either way.
    for (const auto& [route, count] : counts) EXPECT_NEAR(count, 10'000, 550);
}

}  // namespace
}  // namespace tourloom::solver
