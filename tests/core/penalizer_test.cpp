#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "penalizer.hpp"
#include "test_support.hpp"

namespace tourloom::penalizer {
namespace {

using penalties::time::time_output::Event;
using penalties::time::time_input::transform;

constexpr std::uint64_t u64_max = UINT64_MAX;
constexpr std::uint64_t day = static_cast<std::uint64_t>(test_day);
constexpr std::uint64_t h = 3'600;

Penalizer distance_only(RawMatrix m) { return Penalizer(DistanceMatrix(std::move(m)), std::nullopt); }

// Three locations on one day, operating hours 08:00–17:00.
Penalizer worked_tour_penalizer() {
    auto scheduler = penalties::time::time_input::transform(
        RawMatrix{{0, h, 2 * h}, {h, 0, h}, {2 * h, h, 0}}, RawList{h, h / 2, 2 * h},
        RawTimeWindows{{{day + 8 * h, day + 18 * h}},
                       {{day + 12 * h, day + 13 * h}, {day + 15 * h, day + 16 * h}},
                       {{day + 9 * h, day + 10 * h}, {day + 11 * h, day + 12 * h}}},
        RawPair{8 * h, 17 * h});
    return Penalizer(DistanceMatrix({{1, 2, 3}, {10, 20, 30}, {100, 200, 300}}), std::move(scheduler));
}

std::string describe(const Event& e) {
    const auto at = [](Instant t) {
        const auto s = t.unix_seconds() - test_day;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%02lld:%02lld", s >= 86'400 ? "+1 " : "", static_cast<long long>(s % 86'400 / 3'600),
                      static_cast<long long>(s % 3'600 / 60));
        return std::string(buf);
    };
    const std::string span = at(e.window.start()) + "-" + at(e.window.end());
    switch (e.kind) {
        case Event::Kind::Work: return "Work@" + std::to_string(e.location) + " " + span;
        case Event::Kind::Travel: return "Travel " + span;
        case Event::Kind::Wait: return "Wait " + span;
    }
    return "?";
}

TEST(Penalize, WorkedTour) {
    const Penalizer p = worked_tour_penalizer();
    const Solution s = p.penalize({2, 0, 1}, true);
    EXPECT_EQ(s.route, (Route{2, 0, 1}));
    EXPECT_EQ(s.distance, DistanceTotal::of(132));  // 100 + 2 + 30
    ASSERT_TRUE(s.time_report);
    const auto& r = *s.time_report;
    std::vector<std::string> events;
    for (const auto& e : r.events) events.push_back(describe(e));
    EXPECT_EQ(events, (std::vector<std::string>{"Wait 09:00-11:00", "Work@2 11:00-13:00", "Travel 13:00-15:00",
                                                "Work@0 15:00-16:00", "Travel 16:00-17:00", "Wait 17:00-+1 08:00",
                                                "Work@1 +1 08:00-+1 08:30", "Travel +1 08:30-+1 09:30"}));
    EXPECT_EQ(r.start_time, clock(9));
    EXPECT_EQ(r.end_time, clock(9, 30, 1));
    EXPECT_EQ(r.lateness, hrs(17) + mins(30));  // 1 h at location 2, 16 h 30 min at location 1
    EXPECT_EQ(r.working_time, hrs(3) + mins(30));
    EXPECT_EQ(r.waiting_time, hrs(17));
    EXPECT_EQ(r.traveling_time, hrs(4));
    EXPECT_EQ(r.duration, hrs(24) + mins(30));

    // Without events the figures are the same and nothing is recorded.
    const Solution quiet = p.penalize({2, 0, 1}, false);
    ASSERT_TRUE(quiet.time_report);
    EXPECT_TRUE(quiet.time_report->events.empty());
    TimeReport without_events = r;
    without_events.events.clear();
    EXPECT_EQ(*quiet.time_report, without_events);
}

TEST(Penalize, RotationKeepsDistanceButMovesTheStart) {
    const Penalizer p = worked_tour_penalizer();
    const Solution a = p.penalize({2, 0, 1}, false);
    const Solution b = p.penalize({0, 1, 2}, false);
    const Solution c = p.penalize({1, 2, 0}, false);
    EXPECT_EQ(a.distance, DistanceTotal::of(132));
    EXPECT_EQ(b.distance, DistanceTotal::of(132));
    EXPECT_EQ(c.distance, DistanceTotal::of(132));
    EXPECT_EQ(b.time_report->start_time, clock(8));
    EXPECT_EQ(c.time_report->start_time, clock(12));
}

TEST(Penalize, OneAndTwoLocations) {
    const auto make = [] {
        return Penalizer(DistanceMatrix({{3, 4}, {6, 9}}),
                         transform(RawMatrix{{5, 7}, {11, 13}}, RawList{60, 120},
                                   RawTimeWindows{{{day, day + h}}, {{day + h, day + 2 * h}}}, std::nullopt));
    };
    const Penalizer p = make();
    const Solution single = p.penalize({0}, true);
    EXPECT_EQ(single.distance, DistanceTotal::of(3));  // distance(0, 0)
    // Work at 0 (60 s), then the travel from 0 back to 0 (5 s).
    ASSERT_EQ(single.time_report->events.size(), 2u);
    EXPECT_EQ(single.time_report->events[0].kind, Event::Kind::Work);
    EXPECT_EQ(single.time_report->events[1].kind, Event::Kind::Travel);
    EXPECT_EQ(single.time_report->duration, secs(65));

    const Solution pair = p.penalize({1, 0}, true);
    EXPECT_EQ(pair.distance, DistanceTotal::of(10));  // 6 + 4
    // Starts at location 1's window: work 120 s, travel 11 s, work 60 s
    // (late: its window closed an hour ago), travel 7 s back.
    const auto& r = *pair.time_report;
    EXPECT_EQ(r.start_time, unix_at(test_day + 3'600));
    ASSERT_EQ(r.events.size(), 4u);
    EXPECT_EQ(r.duration, secs(198));
    EXPECT_EQ(r.lateness, secs(191));
}

struct PanicCase {
    const char* name;
    RawMatrix distances;
    std::optional<RawMatrix> durations;
    RawList jobs;
    RawTimeWindows windows;
    Route route;
    const char* message;
};

TEST(Penalize, IndexPanicsInEvaluationOrder) {
    const RawTimeWindows ok3{{{day, day + h}}, {{day, day + h}}, {{day, day + h}}};
    const RawMatrix zero3{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    const PanicCase cases[] = {
        {"empty route", {{0}}, std::nullopt, {}, {}, {}, "index out of bounds: the len is 0 but the index is 0"},
        {"route entry past the rows", {{0, 1}, {1, 0}}, std::nullopt, {}, {}, {0, 3},
         "index out of bounds: the len is 2 but the index is 3"},
        {"short row read by a route pair", {{0, 1, 2}, {1}, {2, 2, 0}}, std::nullopt, {}, {}, {0, 1, 2},
         "index out of bounds: the len is 1 but the index is 2"},
        {"closing edge after the pairs", {{0, 1, 0}, {1, 0, 5}, {}}, std::nullopt, {}, {}, {0, 1, 2},
         "index out of bounds: the len is 0 but the index is 0"},
        {"distance before time", {{0, 1}, {}}, zero3, {}, {}, {0, 1},
         "index out of bounds: the len is 0 but the index is 0"},
        {"tour start: too few window lists", zero3, zero3, {1, 1, 1}, {{{day, day + h}}}, {2, 1, 0},
         "index out of bounds: the len is 1 but the index is 2"},
        {"tour start: first location without windows", zero3, zero3, {1, 1, 1}, {{}, {}, {}}, {0, 1, 2},
         "index out of bounds: the len is 0 but the index is 0"},
        {"short job list", zero3, zero3, {1, 1}, ok3, {0, 1, 2}, "index out of bounds: the len is 2 but the index is 2"},
        {"job before windows", zero3, zero3, {1}, {{{day, day + h}}}, {0, 1, 2},
         "index out of bounds: the len is 1 but the index is 1"},
        {"windows of a later visit", zero3, zero3, {1, 1, 1}, {{{day, day + h}}, {}}, {0, 1, 2},
         "index out of bounds: the len is 2 but the index is 2"},
        {"short duration row", zero3, RawMatrix{{0, 0, 0}, {0}, {0, 0, 0}}, {1, 1, 1}, ok3, {0, 1, 2},
         "index out of bounds: the len is 1 but the index is 2"},
        {"missing duration row", zero3, RawMatrix{{0, 0, 0}}, {1, 1, 1}, ok3, {0, 1, 2},
         "index out of bounds: the len is 1 but the index is 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto scheduler = c.durations ? transform(*c.durations, c.jobs, c.windows, std::nullopt) : std::nullopt;
        const Penalizer p(DistanceMatrix(c.distances), std::move(scheduler));
        EXPECT_TRUE(panics_with([&] { p.penalize(c.route, false); }, c.message));
    }
}

TEST(IsBetter, DistanceOnly) {
    const Penalizer p = distance_only({{0, 5, 9}, {5, 0, 1}, {9, 1, 0}});
    const Solution a = p.penalize({0, 1, 2}, false);  // 5 + 1 + 9 = 15
    const Solution b = p.penalize({0, 2, 1}, false);  // 9 + 1 + 5 = 15
    EXPECT_FALSE(p.is_better(a, b));
    EXPECT_FALSE(p.is_better(b, a));
    const Penalizer q = distance_only({{0, 5, 9}, {1, 0, 1}, {9, 1, 0}});
    EXPECT_TRUE(q.is_better(q.penalize({1, 0, 2}, false), q.penalize({0, 1, 2}, false)));  // 1+9+1 = 11 < 15
}

TEST(IsBetter, TimeKeysInOrder) {
    const auto report = [](std::int64_t late, std::int64_t travel, std::int64_t duration, std::int64_t wait) {
        TimeReport r = TimeReport::empty_at(clock(0));
        r.lateness = secs(late);
        r.traveling_time = secs(travel);
        r.duration = secs(duration);
        r.waiting_time = secs(wait);
        r.working_time = secs(1'000 - late);  // not a key: varies freely
        return r;
    };
    struct Case { const char* name; TimeReport a; std::uint64_t da; TimeReport b; std::uint64_t db; bool better; };
    const Case cases[] = {
        {"lateness first, whatever the distance", report(1, 9, 9, 9), 100, report(2, 1, 1, 1), 1, true},
        {"then travelling time", report(1, 1, 9, 9), 100, report(1, 2, 1, 1), 1, true},
        {"then duration", report(1, 1, 1, 9), 100, report(1, 1, 2, 1), 1, true},
        {"then waiting", report(1, 1, 1, 1), 100, report(1, 1, 1, 2), 1, true},
        {"then distance", report(1, 1, 1, 1), 1, report(1, 1, 1, 1), 2, true},
        {"ties are not better", report(1, 1, 1, 1), 1, report(1, 1, 1, 1), 1, false},
        {"worse lateness loses to anything", report(2, 0, 0, 0), 0, report(1, 9, 9, 9), 9, false},
    };
    const Penalizer p(DistanceMatrix(RawMatrix{{0}}), transform(RawMatrix{}, RawList{}, RawTimeWindows{}, std::nullopt));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Solution a{{0}, c.a, DistanceTotal::of(c.da)};
        const Solution b{{0}, c.b, DistanceTotal::of(c.db)};
        EXPECT_EQ(p.is_better(a, b), c.better);
    }
    const Solution missing{{0}, std::nullopt, {}};
    EXPECT_TRUE(panics_with([&] { p.is_better(missing, missing); }, "called `Option::unwrap()` on a `None` value"));
}

// Entries near 2^64 mark forbidden edges; their sums must not wrap around.
TEST(RouteDistance, ExactBeyondSixtyFourBits) {
    const DistanceMatrix m({{0, 10, u64_max}, {5, 0, 10}, {10, u64_max, 0}});
    EXPECT_EQ(route_distance(m, {0, 1, 2}), DistanceTotal::of(30));
    const DistanceTotal reverse = route_distance(m, {0, 2, 1});  // 2 · (2^64 − 1) + 5 = 2^65 + 3
    EXPECT_EQ(reverse.high, 2u);
    EXPECT_EQ(reverse.low, 3u);
    EXPECT_LT(route_distance(m, {0, 1, 2}), reverse);
    const Penalizer p = distance_only({{0, 10, u64_max}, {5, 0, 10}, {10, u64_max, 0}});
    EXPECT_FALSE(p.is_better(p.penalize({0, 2, 1}, false), p.penalize({0, 1, 2}, false)));
}

}  // namespace
}  // namespace tourloom::penalizer
