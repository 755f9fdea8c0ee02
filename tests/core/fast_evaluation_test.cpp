// The fast evaluation paths against the straightforward one: on thousands of
// seeded random instances, a descent must accept the same candidates in the
// same order and end with the same solution, figures and all.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>

#include "fast_evaluation/eligibility.hpp"
#include "solver.hpp"
#include "test_support.hpp"

namespace tourloom::solver {
namespace {

using penalizer::DistanceMatrix;
using Rng = std::mt19937_64;

constexpr std::uint64_t u64_max = UINT64_MAX;
constexpr std::uint64_t h = 3'600;

// A draw in [0, bound): the generator's 64-bit words narrowed explicitly,
// since size_t is 32 bits wide on the primary target.
std::size_t below(Rng& rng, std::size_t bound) { return static_cast<std::size_t>(rng() % bound); }

int instance_count(int fallback) {
    const char* env = std::getenv("TOURLOOM_DIFFERENTIAL_INSTANCES");
    return env != nullptr ? std::atoi(env) : fallback;
}

// Mostly small instances (where ties and edge cases are dense), a few large:
// the reference path costs O(n^3) per sweep.
std::size_t draw_size(Rng& rng, int index, int large_every) {
    if (index % large_every == large_every - 1) return 30 + below(rng, 31);
    return 1 + below(rng, 14);
}

RawMatrix distances(Rng& rng, std::size_t n, bool symmetric) {
    const int flavour = static_cast<int>(rng() % 4);
    RawMatrix m(n, RawList(n, 0));
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < n; ++b) {
            std::uint64_t v = 0;
            switch (flavour) {
                case 0: v = rng() % 1'000; break;
                case 1: v = rng() % 3; break;  // many ties
                case 2: v = rng() % 4 == 0 ? u64_max - rng() % 5 : rng() % 100; break;  // "forbidden" edges
                default: v = rng() >> (rng() % 64); break;  // any magnitude
            }
            m[a][b] = v;
        }
    }
    if (symmetric)
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < a; ++b) m[a][b] = m[b][a];
    return m;
}

// `m` with a random time model of every shape the fast path must take.
RawInput time_instance(Rng& rng, RawMatrix m, bool symmetric) {
    const std::size_t n = m.size();
    const std::uint64_t day = static_cast<std::uint64_t>(test_day);
    RawMatrix durations(n, RawList(n, 0));
    RawList jobs;
    RawTimeWindows windows;
    std::optional<RawPair> hours;
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b)
            durations[a][b] = a == b ? 0 : rng() % 8 == 0 ? 0 : rng() % (3 * h);
    if (symmetric)
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < a; ++b) durations[a][b] = durations[b][a];
    if (rng() % 10 == 0) durations[below(rng, n)][below(rng, n)] = u64_max - rng() % 100;  // a negative span
    for (std::size_t a = 0; a < n; ++a) jobs.push_back(rng() % 6 == 0 ? 0 : rng() % (2 * h));
    const bool tight = rng() % 2 == 0;
    for (std::size_t a = 0; a < n; ++a) {
        std::vector<RawPair> w;
        const std::size_t count = 1 + below(rng, 3);
        std::uint64_t t0 = day + rng() % (tight ? 12 * h : 36 * h);
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint64_t len = rng() % 5 == 0 ? 0 : rng() % (tight ? 2 * h : 6 * h);
            w.push_back({t0, t0 + len});
            t0 += len + rng() % (8 * h);
        }
        if (rng() % 12 == 0) std::swap(w.front(), w.back());  // out of order: still deterministic
        windows.push_back(std::move(w));
    }
    if (rng() % 2 == 0) {
        const std::uint64_t open = 5 * h + rng() % (5 * h);
        hours = RawPair{open, open + 4 * h + rng() % (10 * h)};
    }
    return {std::move(m), std::move(durations), std::move(jobs), std::move(windows), hours, std::nullopt};
}

Route shuffled(std::size_t n, Rng& rng) {
    Route r(n);
    std::iota(r.begin(), r.end(), std::size_t{0});
    std::shuffle(r.begin(), r.end(), rng);
    return r;
}

// The penalizer of an instance, with its time model when it has one.
Penalizer penalizer_of(const RawInput& in) {
    return Penalizer(DistanceMatrix(in.distance_matrix),
                     penalties::time::time_input::transform(in.duration_matrix, in.job_durations, in.time_windows,
                                                            in.operation_times));
}

// One descent on each path from the same start; the same search must happen.
void expect_same_descent(const RawInput& in, const Route& start, bool expect_fast) {
    const auto make = [&](Evaluation e) {
        Penalizer p = penalizer_of(in);
        Solution initial = p.penalize(start, false);
        return std::make_unique<Solver>(std::move(p), std::nullopt, row_count(in.distance_matrix), std::move(initial), e);
    };
    auto reference = make(Evaluation::Reference);
    auto fast = make(Evaluation::Automatic);
    ASSERT_EQ(fast->uses_fast_distance() || fast->uses_fast_time(), expect_fast);
    ASSERT_FALSE(reference->uses_fast_distance() || reference->uses_fast_time());
    // Sweep by sweep, so a divergence is caught where it starts.
    for (int sweep = 0;; ++sweep) {
        SCOPED_TRACE(testing::Message() << "sweep " << sweep);
        const bool r = reference->sweep();
        const bool f = fast->sweep();
        ASSERT_EQ(r, f);
        ASSERT_EQ(reference->current_solution().route, fast->current_solution().route);
        ASSERT_EQ(reference->current_solution(), fast->current_solution());
        ASSERT_EQ(reference->evaluations(), fast->evaluations());
        if (!r) break;
    }
}

TEST(FastEvaluation, DistanceDescentsMatchTheReference) {
    Rng rng(0x70417100);
    const int count = instance_count(2'000);
    for (int index = 0; index < count; ++index) {
        const std::size_t n = draw_size(rng, index, 40);
        const bool symmetric = rng() % 2 == 0;
        SCOPED_TRACE(testing::Message() << "instance " << index << " n=" << n << (symmetric ? " symmetric" : ""));
        expect_same_descent({.distance_matrix = distances(rng, n, symmetric)}, shuffled(n, rng), true);
        if (HasFatalFailure()) return;
    }
}

TEST(FastEvaluation, TimeDescentsMatchTheReference) {
    Rng rng(0x71e417100);
    const int count = instance_count(1'000);
    for (int index = 0; index < count; ++index) {
        const std::size_t n = draw_size(rng, index, 250);
        const bool symmetric = rng() % 2 == 0;
        SCOPED_TRACE(testing::Message() << "instance " << index << " n=" << n << (symmetric ? " symmetric" : ""));
        RawMatrix m = distances(rng, n, symmetric);
        const RawInput in = time_instance(rng, std::move(m), symmetric);
        expect_same_descent(in, shuffled(n, rng), true);
        if (HasFatalFailure()) return;
    }
}

// Large tours of several kinds, compared candidate by candidate: at a few
// stages of a descent, whole scans of every neighbourhood for some i (so the
// relocations' kept stretch is exercised) must give the reference's verdicts.
// With operating hours: tours late everywhere (delays move whole days'
// stretches up to the close) and delivery rounds (ordered windows on
// several half-days, works in time with room to their window's end).
enum class Profile { Late, NeverWaits, SeveralWindowsAndHours, Classic, LateWithHours, DeliveryDays };

RawInput profile_instance(Rng& rng, RawMatrix m, Profile profile) {
    const std::size_t n = m.size();
    const std::uint64_t day = static_cast<std::uint64_t>(test_day);
    RawMatrix durations(n, RawList(n, 0));
    RawList jobs;
    RawTimeWindows windows;
    std::optional<RawPair> hours;
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) durations[a][b] = a == b ? 0 : 60 + rng() % (h / 2);
    for (std::size_t a = 0; a < n; ++a) jobs.push_back(profile == Profile::Classic ? 1 : 60 + rng() % h);
    for (std::size_t a = 0; a < n; ++a) {
        std::vector<RawPair> w;
        switch (profile) {
            case Profile::Late: {  // everything due within two hours of a tour of days
                const std::uint64_t from = day + rng() % h;
                w.push_back({from, from + rng() % h});
                break;
            }
            case Profile::NeverWaits:  // open from the start on: no window is waited for
                w.push_back({day - rng() % h, day + rng() % (n * h)});
                break;
            case Profile::SeveralWindowsAndHours: {
                std::uint64_t from = day + rng() % (n * h / 4);
                for (std::size_t k = 0, count = 1 + below(rng, 3); k < count; ++k) {
                    const std::uint64_t len = rng() % (3 * h);
                    w.push_back({from, from + len});
                    from += rng() % 3 == 0 ? len / 2 : len + rng() % (12 * h);  // some overlap
                }
                break;
            }
            case Profile::Classic: {
                const std::uint64_t from = day + rng() % (n * h / 8);
                w.push_back({from, from + rng() % (3 * h)});
                break;
            }
            case Profile::LateWithHours: {
                const std::uint64_t from = day + 8 * h + rng() % h;
                w.push_back({from, from + rng() % h});
                break;
            }
            case Profile::DeliveryDays: {
                // Half-days over a span the tour covers in working hours.
                std::uint64_t half = rng() % (n / 4 + 2);
                for (std::size_t k = 0, count = 1 + below(rng, 3); k < count; ++k) {
                    const std::uint64_t from = day + (half / 2) * 86'400 + (half % 2 == 0 ? 8 : 13) * h + rng() % h;
                    w.push_back({from, from + h + rng() % (2 * h)});
                    half += 1 + rng() % 3;
                }
                break;
            }
        }
        windows.push_back(std::move(w));
    }
    if (profile == Profile::SeveralWindowsAndHours || profile == Profile::LateWithHours ||
        profile == Profile::DeliveryDays)
        hours = RawPair{8 * h, 18 * h};
    return {std::move(m), std::move(durations), std::move(jobs), std::move(windows), hours, std::nullopt};
}

TEST(FastEvaluation, TimeVerdictsMatchTheReferenceOnLargeTours) {
    Rng rng(0x1a59e);
    // The memcheck leg asks for fewer instances: it runs the smallest size only.
    const std::vector<std::size_t> sizes =
        instance_count(1'000) < 1'000 ? std::vector<std::size_t>{60} : std::vector<std::size_t>{60, 120, 200};
    const Profile profiles[] = {Profile::Late,    Profile::NeverWaits,    Profile::SeveralWindowsAndHours,
                                Profile::Classic, Profile::LateWithHours, Profile::DeliveryDays};
    for (const Profile profile : profiles) {
        for (const std::size_t n : sizes) {
            SCOPED_TRACE(testing::Message() << "profile " << static_cast<int>(profile) << " n=" << n);
            RawMatrix m = distances(rng, n, false);
            const RawInput in = profile_instance(rng, std::move(m), profile);
            Penalizer p = penalizer_of(in);
            Solution initial = p.penalize(shuffled(n, rng), false);
            Solver solver(std::move(p), std::nullopt, n, std::move(initial));
            ASSERT_TRUE(solver.uses_fast_time());
            const Penalizer& penalizer = solver.penalizer();
            for (int stage = 0; stage < 3; ++stage) {
                SCOPED_TRACE(testing::Message() << "stage " << stage);
                const Solution& current = solver.current_solution();
                fast_evaluation::TimeResume fast(penalizer.distance_matrix(), *penalizer.time_scheduler());
                fast.refresh(current);
                for (const auto& nb : local_moves::sweep_order) {
                    for (const std::size_t i : {std::size_t{0}, std::size_t{1}, below(rng, n / 2), below(rng, n - nb.min_gap)}) {
                        for (std::size_t j = i + nb.min_gap; j < n; ++j) {
                            Route route = current.route;
                            nb.move(route, i, j);
                            const bool expected = penalizer.is_better(penalizer.penalize(std::move(route), false), current);
                            ASSERT_EQ(fast.improves(nb.shape, nb.k, i, j), expected)
                                << "shape " << static_cast<int>(nb.shape) << " k=" << nb.k << " i=" << i << " j=" << j;
                        }
                    }
                }
                if (!solver.sweep()) break;
            }
        }
    }
}

// Inputs the fast paths cannot vouch for run on the reference path, and so
// fail exactly as the reference does.
TEST(FastEvaluation, IneligibleInputsTakeTheReferencePath) {
    const std::uint64_t day = static_cast<std::uint64_t>(test_day);
    const RawMatrix square{{0, 1, 2}, {1, 0, 3}, {2, 3, 0}};
    const RawTimeWindows windows{{{day, day + h}}, {{day, day + h}}, {{day, day + h}}};
    const RawMatrix durations{{0, 60, 60}, {60, 0, 60}, {60, 60, 0}};
    const RawMatrix ragged{{0, 1, 2}, {1, 0}, {2, 3, 0}};
    const auto timed = [&](RawMatrix m, RawMatrix d, RawList jobs, RawTimeWindows w) {
        return RawInput{.distance_matrix = std::move(m), .duration_matrix = std::move(d), .job_durations = std::move(jobs),
                        .time_windows = std::move(w)};
    };
    struct Case { const char* name; RawInput in; };
    const Case cases[] = {
        {"ragged distances", {.distance_matrix = ragged}},
        {"short rows in time mode", timed(ragged, durations, {1, 1, 1}, windows)},
        {"short job list", timed(square, durations, {1, 1}, windows)},
        {"short duration row", timed(square, {{0, 60, 60}, {60, 0}, {60, 60, 0}}, {1, 1, 1}, windows)},
        {"a location without windows", timed(square, durations, {1, 1, 1}, {{{day, day + h}}, {}, {{day, day + h}}})},
        {"windows at the end of time",
         timed(square, durations, {1'000, 1'000, 1'000},
               {{{day, day + h}}, {{8'210'266'876'700, 8'210'266'876'700}}, {{day, day + h}}})},
        {"huge job durations", timed(square, durations, {1, 9'000'000'000'000'000, 1}, windows)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Penalizer p = penalizer_of(c.in);
        const auto& scheduler = p.time_scheduler();
        const DistanceMatrix& matrix = p.distance_matrix();
        const bool eligible = scheduler ? fast_evaluation::time_path_eligible(matrix, *scheduler)
                                        : fast_evaluation::distance_path_eligible(matrix);
        EXPECT_FALSE(eligible);
    }
}

}  // namespace
}  // namespace tourloom::solver
