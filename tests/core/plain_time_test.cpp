// The simulation on plain second counts against the checked one, action by
// action; and the monotonicity the time path's bounds rest on, checked on
// the checked simulation itself (so the property is the system's, not the
// fast kernel's).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "fast_evaluation/plain_time.hpp"
#include "penalties/time/time_input.hpp"
#include "penalties/time/time_output.hpp"
#include "test_support.hpp"

namespace tourloom::fast_evaluation {
namespace {

using penalties::time::time_input::TimeScheduler;
using penalties::time::time_input::transform;
using penalties::time::time_output::travel_report;
using penalties::time::time_output::work_report;
using Rng = std::mt19937_64;

constexpr std::uint64_t h = 3'600;
const std::uint64_t day = static_cast<std::uint64_t>(test_day);

// One location's windows in many shapes: sorted, touching, overlapping,
// out of order, sharing starts, of zero length, over several days.
std::vector<RawPair> random_windows(Rng& rng) {
    std::vector<RawPair> w;
    const std::size_t count = 1 + rng() % 4;
    std::uint64_t t = day + rng() % (30 * h);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint64_t len = rng() % 4 == 0 ? 0 : rng() % (5 * h);
        w.push_back({t, t + len});
        switch (rng() % 5) {
            case 0: break;                                   // the next shares this start
            case 1: t += len; break;                         // touching
            case 2: t += len / 2; break;                     // overlapping
            default: t += len + rng() % (20 * h); break;     // a gap
        }
    }
    if (rng() % 6 == 0) std::swap(w.front(), w.back());
    return w;
}

std::optional<RawPair> random_hours(Rng& rng) {
    if (rng() % 3 == 0) return std::nullopt;
    const std::uint64_t open = rng() % (12 * h);
    return RawPair{open, open + 1 + rng() % (86'400 - open - 1)};
}

// A one-location model (the travel from it to itself) for each case.
TimeScheduler scheduler_of(std::uint64_t job, std::uint64_t travel, std::vector<RawPair> windows,
                           std::optional<RawPair> hours) {
    return *transform(RawMatrix{{travel}}, RawList{job}, RawTimeWindows{std::move(windows)}, hours);
}

std::uint64_t random_duration(Rng& rng) {
    switch (rng() % 5) {
        case 0: return 0;
        case 1: return UINT64_MAX - rng() % 10;  // negative: the action does nothing
        case 2: return rng() % 600;
        case 3: return rng() % (3 * h);
        default: return rng() % (40 * h);         // over several closings
    }
}

TEST(PlainTime, ActionsMatchTheCheckedSimulation) {
    Rng rng(0x91a17);
    for (int c = 0; c < 20'000; ++c) {
        const auto windows = random_windows(rng);
        const auto hours = random_hours(rng);
        const std::uint64_t job = random_duration(rng), travel = random_duration(rng);
        SCOPED_TRACE(testing::Message() << "case " << c);
        const TimeScheduler s = scheduler_of(job, travel, windows, hours);
        const PlainTimeModel plain(s, 1);
        const auto* open = s.operation_times ? &*s.operation_times : nullptr;
        for (int k = 0; k < 8; ++k) {
            const auto t = static_cast<std::int64_t>(day - 6 * h + rng() % (60 * h));
            const auto work = work_report(s.job_durations[0], s.time_windows[0], open, unix_at(t), 0, false);
            std::int64_t lateness = 0;
            ASSERT_EQ(plain.work(t, 0, lateness), work.end_time.unix_seconds()) << "work from " << t;
            ASSERT_EQ(lateness, work.lateness.seconds()) << "work from " << t;
            const auto drive = travel_report(s.duration_matrix[0][0], open, unix_at(t), false);
            ASSERT_EQ(plain.travel(t, 0, 0), drive.end_time.unix_seconds()) << "travel from " << t;
        }
    }
}

// Consumption of open time that ends exactly at a close, or a second before
// or after it, today or several open days on: the cases a random start
// almost never hits, from starts before, at, inside and after the hours.
TEST(PlainTime, OpenTimeEndsAlikeAtEveryCloseBoundary) {
    for (const RawPair& hours : {RawPair{8 * h, 18 * h}, RawPair{0, 86'399}, RawPair{23 * h, 23 * h + 1}}) {
        const auto open = static_cast<std::int64_t>(hours.first), close = static_cast<std::int64_t>(hours.second);
        const std::int64_t length = close - open;
        for (const std::int64_t time_of_day : {std::int64_t{0}, open - 1, open, open + 1, (open + close) / 2, close - 1,
                                               close, close + 1, std::int64_t{86'399}}) {
            if (time_of_day < 0 || time_of_day > 86'399) continue;
            const std::int64_t passed = std::clamp<std::int64_t>(time_of_day - open, 0, length);
            for (const std::int64_t days : {1, 2, 3}) {
                for (const std::int64_t off : {-1, 0, 1}) {
                    const std::int64_t d = days * length - passed + off;
                    if (d <= 0) continue;
                    SCOPED_TRACE(testing::Message() << "hours " << open << ".." << close << ", from " << time_of_day
                                                    << ", for " << d);
                    const TimeScheduler s = scheduler_of(0, static_cast<std::uint64_t>(d), {{day, day + 1}}, hours);
                    const PlainTimeModel plain(s, 1);
                    const std::int64_t t = static_cast<std::int64_t>(day) + time_of_day;
                    const auto drive = travel_report(s.duration_matrix[0][0], &*s.operation_times, unix_at(t), false);
                    ASSERT_EQ(plain.travel(t, 0, 0), drive.end_time.unix_seconds());
                }
            }
        }
    }
}

// Every start in a range, for windows and hours of a few hundred seconds:
// of two starts the later never ends earlier nor gathers less lateness, for
// one window (with or without hours) and for any window list whose starts
// lie by its last end once the later start is past that end.
TEST(PlainTime, MonotoneWhereTheBoundsRelyOnIt) {
    Rng rng(0x5eed);
    for (int c = 0; c < 1'500; ++c) {
        const bool single = c % 2 == 0;
        std::vector<RawPair> windows;
        std::uint64_t t = day + rng() % 300;
        for (std::size_t k = 0, count = single ? 1 : 2 + static_cast<std::size_t>(rng() % 3); k < count; ++k) {
            const std::uint64_t len = rng() % 60;
            windows.push_back({t, t + len});
            t += len + rng() % 80;
        }
        std::optional<RawPair> hours;
        if (rng() % 2 == 0) {
            // Short opening hours just after midnight (the test day starts at
            // midnight), so that closings fall among the starts tried.
            const std::uint64_t open = rng() % 400;
            hours = RawPair{open, open + 20 + rng() % 200};
        }
        const std::uint64_t job = 1 + rng() % 120;
        SCOPED_TRACE(testing::Message() << "case " << c << (single ? " single" : " several"));
        const TimeScheduler s = scheduler_of(job, 0, windows, hours);
        const auto* open = s.operation_times ? &*s.operation_times : nullptr;
        const std::int64_t last_end = s.time_windows[0].back().end().unix_seconds();
        std::optional<std::pair<std::int64_t, std::int64_t>> earlier;  // (end, lateness) one second before
        for (std::int64_t start = static_cast<std::int64_t>(day) - 100; start < static_cast<std::int64_t>(day) + 700; ++start) {
            const auto r = work_report(s.job_durations[0], s.time_windows[0], open, unix_at(start), 0, false);
            const std::pair now{r.end_time.unix_seconds(), r.lateness.seconds()};
            if (earlier && (single || start > last_end)) {
                ASSERT_LE(earlier->first, now.first) << "start " << start;
                ASSERT_LE(earlier->second, now.second) << "start " << start;
            }
            // Across the last end: any earlier start ends no later than one past it.
            if (!single && start == last_end + 1) {
                for (std::int64_t before = static_cast<std::int64_t>(day) - 100; before <= last_end; ++before) {
                    const auto b = work_report(s.job_durations[0], s.time_windows[0], open, unix_at(before), 0, false);
                    ASSERT_LE(b.end_time.unix_seconds(), now.first) << "starts " << before << " and " << start;
                    ASSERT_LE(b.lateness.seconds(), now.second) << "starts " << before << " and " << start;
                }
            }
            earlier = now;
        }
    }
}

// Several ordered windows, with or without hours: where a work from some
// start was held up by nothing but its window's opening and the hours, no
// later start ends earlier or gathers less lateness.
TEST(PlainTime, LaterStartsNoBetterWhereOnlyTheOpeningHeldUp) {
    Rng rng(0x0dde7);
    int held = 0;
    for (int c = 0; c < 400; ++c) {
        std::vector<RawPair> windows;
        std::uint64_t t = day + rng() % 300;
        for (std::size_t k = 0, count = 2 + static_cast<std::size_t>(rng() % 3); k < count; ++k) {
            const std::uint64_t len = rng() % 60;
            windows.push_back({t, t + len});
            t += len + 1 + rng() % 80;  // ordered: each ends before the next starts
        }
        std::optional<RawPair> hours;
        if (rng() % 2 == 0) {
            const std::uint64_t open = rng() % 400;
            hours = RawPair{open, open + 20 + rng() % 200};
        }
        const TimeScheduler s = scheduler_of(1 + rng() % 120, 0, windows, hours);
        const PlainTimeModel plain(s, 1);
        ASSERT_TRUE(plain.ordered(0));
        const auto* open = s.operation_times ? &*s.operation_times : nullptr;
        const auto finish = [&](std::int64_t start) {
            const auto r = work_report(s.job_durations[0], s.time_windows[0], open, unix_at(start), 0, false);
            return std::pair{r.end_time.unix_seconds(), r.lateness.seconds()};
        };
        const auto begin = static_cast<std::int64_t>(day) - 100;
        for (std::int64_t start = begin; start < begin + 800; start += 7) {
            const auto here = finish(start);
            if (here.first != plain.finish_held_by_hours_only(start, 0)) continue;
            ++held;
            SCOPED_TRACE(testing::Message() << "case " << c << ", held by the opening only from " << start);
            // Every later start within the next 300 s: the windows and short
            // days here all fall inside that reach.
            for (std::int64_t later = start + 1; later < start + 300; ++later) {
                const auto there = finish(later);
                ASSERT_LE(here.first, there.first) << "later start " << later;
                ASSERT_LE(here.second, there.second) << "later start " << later;
            }
        }
    }
    EXPECT_GT(held, 300);  // the property was put to the test
}

// The margins the time path moves stretches by, against the checked
// simulation: an action started later by up to its margin ends exactly that
// much later, with its lateness grown by the delay when it says so and
// unchanged otherwise; one second past a finite margin it does not.
TEST(PlainTime, ActionsMoveAsAWholeWithinTheirMargin) {
    Rng rng(0xc1ea2);
    int moved = 0, bounded = 0;
    for (int c = 0; c < 20'000; ++c) {
        auto windows = random_windows(rng);
        if (c % 2 == 0) std::sort(windows.begin(), windows.end());  // more ordered lists
        const auto hours = random_hours(rng);
        const std::uint64_t job = random_duration(rng), travel = random_duration(rng);
        SCOPED_TRACE(testing::Message() << "case " << c);
        const TimeScheduler s = scheduler_of(job, travel, windows, hours);
        const PlainTimeModel plain(s, 1);
        const auto* open = s.operation_times ? &*s.operation_times : nullptr;
        const auto work = [&](std::int64_t t) {
            const auto r = work_report(s.job_durations[0], s.time_windows[0], open, unix_at(t), 0, false);
            return std::pair{r.end_time.unix_seconds(), r.lateness.seconds()};
        };
        const auto drive = [&](std::int64_t t) {
            return travel_report(s.duration_matrix[0][0], open, unix_at(t), false).end_time.unix_seconds();
        };
        for (int k = 0; k < 8; ++k) {
            const auto t = static_cast<std::int64_t>(day - 6 * h + rng() % (60 * h));
            bool late = false;
            const std::int64_t work_margin = plain.work_clear(t, 0, late);
            const std::int64_t travel_margin = plain.travel_clear(t, 0, 0);
            const auto base = work(t);
            const std::int64_t base_arrival = drive(t);
            // Unbounded margins are tried as far as several days.
            const auto delays = [&](std::int64_t margin) {
                const std::int64_t top = std::min<std::int64_t>(margin, 5 * 86'400);
                return std::vector<std::int64_t>{1, 1 + static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(top)), top};
            };
            if (work_margin > 0) {
                ++moved;
                for (const std::int64_t d : delays(work_margin)) {
                    const auto later = work(t + d);
                    ASSERT_EQ(later.first, base.first + d) << "work from " << t << " later by " << d;
                    ASSERT_EQ(later.second, base.second + (late ? d : 0)) << "work from " << t << " later by " << d;
                }
            }
            if (work_margin != PlainTimeModel::unbounded) {
                const auto past = work(t + work_margin + 1);
                const bool same = past.first == base.first + work_margin + 1 &&
                                  past.second == base.second + (late ? work_margin + 1 : 0);
                bounded += same ? 0 : 1;
                // A margin of zero may be cautious (a wait, a deferral);
                // a positive one is where the shift ends.
                if (work_margin > 0) {
                    ASSERT_FALSE(same) << "work from " << t << ": margin " << work_margin << " is short";
                }
            }
            if (travel_margin > 0) {
                for (const std::int64_t d : delays(travel_margin))
                    ASSERT_EQ(drive(t + d), base_arrival + d) << "travel from " << t << " later by " << d;
            }
            if (travel_margin > 0 && travel_margin != PlainTimeModel::unbounded) {
                ASSERT_NE(drive(t + travel_margin + 1), base_arrival + travel_margin + 1) << "travel from " << t;
            }
        }
    }
    EXPECT_GT(moved, 40'000);   // most actions have a margin
    EXPECT_GT(bounded, 20'000);  // and many a finite one
}

// Several windows: a later start can end earlier (a deferral into a later
// window), which is why the bounds are not used there before the last end.
TEST(PlainTime, SeveralWindowsAreNotMonotoneBeforeTheLastEnd) {
    const TimeScheduler s = scheduler_of(36, 0, {{day + 7, day + 55}, {day + 56, day + 108}, {day + 135, day + 185}},
                                         std::nullopt);
    const PlainTimeModel plain(s, 1);
    std::int64_t lateness = 0;
    const auto t = static_cast<std::int64_t>(day);
    // From 55 the work is deferred twice, to 135; from 56 it fits at once.
    EXPECT_EQ(plain.work(t + 55, 0, lateness), t + 171);
    EXPECT_EQ(plain.work(t + 56, 0, lateness), t + 92);
    EXPECT_EQ(lateness, 0);
}

}  // namespace
}  // namespace tourloom::fast_evaluation
