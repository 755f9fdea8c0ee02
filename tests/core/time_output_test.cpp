#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "penalties/time/time_output.hpp"
#include "test_support.hpp"

namespace tourloom::penalties::time::time_output {
namespace {

using operation_times::OperationTimes;

constexpr std::size_t here = 7;  // the location the work actions run at

Event work(Instant a, Instant b) { return Event::work(here, TimeWindow(a, b)); }
Event travel(Instant a, Instant b) { return Event::travel(TimeWindow(a, b)); }
Event wait(Instant a, Instant b) { return Event::wait(TimeWindow(a, b)); }

std::string describe(const Event& e) {
    const char* kind = e.kind == Event::Kind::Work ? "Work" : e.kind == Event::Kind::Travel ? "Travel" : "Wait";
    return std::string(kind) + " " + e.window.start().to_string() + ".." + e.window.end().to_string();
}

const OperationTimes eight_to_five(TimeOfDay(8 * 3600), TimeOfDay(17 * 3600));

struct Case {
    const char* name;
    Span duration;
    std::optional<std::vector<TimeWindow>> windows;
    bool hours;
    Instant start;
    bool is_travel;
    std::vector<Event> events;
    Span working, waiting, traveling, lateness;
};

TEST(ActionReport, WorkedCases) {
    const Case cases[] = {
        {"work, no windows, no hours", hrs(1), std::nullopt, false, clock(9), false,
         {work(clock(9), clock(10))}, hrs(1), {}, {}, {}},
        {"wait for the window", hrs(1), std::vector{TimeWindow(clock(10), clock(12))}, false, clock(9), false,
         {wait(clock(9), clock(10)), work(clock(10), clock(11))}, hrs(1), hrs(1), {}, {}},
        {"defer to the second window", hrs(1),
         std::vector{TimeWindow(clock(10), clock(12)), TimeWindow(clock(14), clock(16))}, false, clock(11, 30), false,
         {wait(clock(11, 30), clock(14)), work(clock(14), clock(15))}, hrs(1), hrs(2) + mins(30), {}, {}},
        {"late against the only window", hrs(1), std::vector{TimeWindow(clock(10), clock(12))}, false, clock(11, 30),
         false, {work(clock(11, 30), clock(12, 30))}, hrs(1), {}, {}, mins(30)},
        {"wait, then late", hrs(1), std::vector{TimeWindow(clock(10), clock(10, 30))}, false, clock(9), false,
         {wait(clock(9), clock(10)), work(clock(10), clock(11))}, hrs(1), hrs(1), {}, mins(30)},
        {"deferral lands inside the next window", hrs(1),
         std::vector{TimeWindow(clock(10), clock(11)), TimeWindow(clock(11, 15), clock(13))}, false, clock(10, 30),
         false, {wait(clock(10, 30), clock(11, 30)), work(clock(11, 30), clock(12, 30))}, hrs(1), hrs(1), {}, {}},
        {"work cut at the daily close", hrs(3), std::nullopt, true, clock(16), false,
         {work(clock(16), clock(17)), wait(clock(17), clock(8, 0, 1)), work(clock(8, 0, 1), clock(10, 0, 1))}, hrs(3),
         hrs(15), {}, {}},
        {"travel waits for opening", hrs(2), std::nullopt, true, clock(6), true,
         {wait(clock(6), clock(8)), travel(clock(8), clock(10))}, {}, hrs(2), hrs(2), {}},
        {"zero work outside its window", secs(0), std::vector{TimeWindow(clock(10), clock(12))}, true, clock(13), false,
         {}, {}, {}, {}, {}},
        {"window then hours then late", hrs(1), std::vector{TimeWindow(clock(18), clock(19))}, true, clock(16), false,
         {wait(clock(16), clock(8, 0, 1)), work(clock(8, 0, 1), clock(9, 0, 1))}, hrs(1), hrs(16), {}, hrs(14)},
        {"starting exactly at the close", hrs(1), std::nullopt, true, clock(17), false,
         {wait(clock(17), clock(8, 0, 1)), work(clock(8, 0, 1), clock(9, 0, 1))}, hrs(1), hrs(15), {}, {}},
        {"deferral ends exactly at the next opening", hrs(1),
         std::vector{TimeWindow(clock(10), clock(11)), TimeWindow(clock(11, 30), clock(13))}, false, clock(10, 30),
         false, {wait(clock(10, 30), clock(11, 30)), work(clock(11, 30), clock(12, 30))}, hrs(1), hrs(1), {}, {}},
        {"empty window list never waits and is never late", hrs(1), std::vector<TimeWindow>{}, false, clock(23),
         false, {work(clock(23), clock(0, 0, 1))}, hrs(1), {}, {}, {}},
        {"travel ignores windows even when given none", hrs(1), std::nullopt, false, clock(23), true,
         {travel(clock(23), clock(0, 0, 1))}, {}, {}, hrs(1), {}},
        {"late work cut at the close is late once, from its last piece", hrs(2),
         std::vector{TimeWindow(clock(9), clock(10))}, true, clock(16), false,
         {work(clock(16), clock(17)), wait(clock(17), clock(8, 0, 1)), work(clock(8, 0, 1), clock(9, 0, 1))}, hrs(2),
         hrs(15), {}, hrs(23)},
        {"work cut at the close inside its window", hrs(3), std::vector{TimeWindow(clock(15), clock(16, 30))}, true,
         clock(15), false,
         {work(clock(15), clock(17)), wait(clock(17), clock(8, 0, 1)), work(clock(8, 0, 1), clock(9, 0, 1))}, hrs(3),
         hrs(15), {}, hrs(16) + mins(30)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<TimeWindows> windows = c.windows ? std::optional(TimeWindows(*c.windows)) : std::nullopt;
        for (const bool record : {true, false}) {
            SCOPED_TRACE(record ? "recording" : "not recording");
            const TimeReport r = action_report(c.duration, windows ? &*windows : nullptr,
                                               c.hours ? &eight_to_five : nullptr, c.start, c.is_travel,
                                               c.is_travel ? std::nullopt : std::optional<std::size_t>(here), record);
            if (record) {
                std::vector<std::string> got, want;
                for (const auto& e : r.events) got.push_back(describe(e));
                for (const auto& e : c.events) want.push_back(describe(e));
                EXPECT_EQ(got, want);
                for (const auto& e : r.events) {
                    if (e.kind == Event::Kind::Work) {
                        EXPECT_EQ(e.location, here);
                    }
                }
            } else {
                EXPECT_TRUE(r.events.empty());
            }
            EXPECT_EQ(r.start_time, c.start);
            EXPECT_EQ(r.working_time, c.working);
            EXPECT_EQ(r.waiting_time, c.waiting);
            EXPECT_EQ(r.traveling_time, c.traveling);
            EXPECT_EQ(r.lateness, c.lateness);
            EXPECT_EQ(r.duration, c.working + c.waiting + c.traveling);
            EXPECT_EQ(r.end_time, c.start + r.duration);
        }
    }
}

TEST(ActionReport, NegativeDurationDoesNothing) {
    const TimeWindows w({TimeWindow(clock(10), clock(11))});
    const TimeReport r = action_report(secs(-5), &w, &eight_to_five, clock(3), false, here, true);
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(r.end_time, clock(3));
    EXPECT_EQ(r.duration, secs(0));
}

TEST(ActionReport, ArithmeticAtTheEndOfTime) {
    const Instant last = unix_at(Instant::max_unix_seconds);
    EXPECT_TRUE(panics_with([&] { action_report(secs(2), nullptr, nullptr, last, true, std::nullopt, false); },
                            "`DateTime + TimeDelta` overflowed"));
    // The operating hours push the clock to the next opening, past the last day.
    EXPECT_TRUE(panics_with([&] { action_report(secs(1), nullptr, &eight_to_five, last, true, std::nullopt, false); },
                            "`DateTime + TimeDelta` overflowed"));
    // A window-phase "end" beyond the range fails before anything is done.
    const TimeWindows w({TimeWindow(last - hrs(1), last)});
    EXPECT_TRUE(panics_with([&] { action_report(hrs(2), &w, nullptr, last - hrs(1), false, here, false); },
                            "`DateTime + TimeDelta` overflowed"));
    // Work that ends exactly at the last representable second is fine.
    const TimeReport r = action_report(secs(1), nullptr, nullptr, last - secs(1), false, here, true);
    EXPECT_EQ(r.end_time, last);
}

TEST(ActionReport, WaitFromTheFirstRepresentableMoment) {
    // The recorded wait starts at current − pending wait, which is exactly the
    // first representable moment: no overflow.
    const Instant first = unix_at(Instant::min_unix_seconds);
    const TimeReport r = action_report(hrs(1), nullptr, &eight_to_five, first, true, std::nullopt, true);
    ASSERT_EQ(r.events.size(), 2u);
    EXPECT_EQ(r.events[0].window.start(), first);
}

TEST(TimeReport, ExtendKeepsStartTakesEndAndSums) {
    TimeReport a = action_report(hrs(1), nullptr, nullptr, clock(9), false, here, true);
    TimeReport b = action_report(hrs(2), nullptr, &eight_to_five, a.end_time, true, std::nullopt, true);
    const TimeReport zero = action_report(secs(0), nullptr, nullptr, clock(12), true, std::nullopt, true);
    a.extend(std::move(b));
    EXPECT_EQ(a.start_time, clock(9));
    EXPECT_EQ(a.end_time, clock(12));
    EXPECT_EQ(a.duration, hrs(3));
    EXPECT_EQ(a.working_time, hrs(1));
    EXPECT_EQ(a.traveling_time, hrs(2));
    ASSERT_EQ(a.events.size(), 2u);
    const TimeReport before = a;
    a.extend(TimeReport(zero));
    EXPECT_EQ(a, before);
}

TEST(TimeReport, ExtendOverflowingTheLatenessTotalPanics) {
    TimeReport a = TimeReport::empty_at(clock(0));
    a.lateness = Span::max();
    TimeReport b = TimeReport::empty_at(clock(0));
    b.lateness = secs(1);
    EXPECT_TRUE(panics_with([&] { a.extend(std::move(b)); }, "`TimeDelta + TimeDelta` overflowed"));
}

}  // namespace
}  // namespace tourloom::penalties::time::time_output
