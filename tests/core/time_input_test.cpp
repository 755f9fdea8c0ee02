#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "penalties/time/time_input.hpp"
#include "test_support.hpp"

namespace tourloom::penalties::time::time_input {
namespace {

constexpr std::uint64_t u64_max = UINT64_MAX;
const char* const seconds_oob = "TimeDelta::seconds out of bounds";
const char* const unwrap_none = "called `Option::unwrap()` on a `None` value";

TEST(SecondsToSpan, UnsignedBounds) {
    struct Case { std::uint64_t v; std::optional<std::int64_t> seconds; };
    const Case cases[] = {
        {0, 0},
        {9'223'372'036'854'775, 9'223'372'036'854'775},
        {9'223'372'036'854'776, std::nullopt},
        {9'223'372'036'854'775'808ULL, std::nullopt},   // 2^63
        {18'437'520'701'672'696'840ULL, std::nullopt},
        {18'437'520'701'672'696'841ULL, -9'223'372'036'854'775},
        {u64_max, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v);
        if (c.seconds) {
            EXPECT_EQ(seconds_to_span(c.v), secs(*c.seconds));
        } else {
            EXPECT_TRUE(panics_with([&] { seconds_to_span(c.v); }, seconds_oob));
        }
    }
}

TEST(UnixSecondsToInstant, UnsignedBounds) {
    struct Case { std::uint64_t v; std::optional<std::int64_t> unix; };
    const Case cases[] = {
        {0, 0},
        {8'210'266'876'799, 8'210'266'876'799},
        {8'210'266'876'800, std::nullopt},
        {18'446'735'739'108'236'415ULL, std::nullopt},
        {18'446'735'739'108'236'416ULL, -8'334'601'315'200},
        {18'446'744'073'709'465'216ULL, -86'400},
        {u64_max, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v);
        if (c.unix) {
            EXPECT_EQ(unix_seconds_to_instant(c.v).unix_seconds(), *c.unix);
        } else {
            EXPECT_TRUE(panics_with([&] { unix_seconds_to_instant(c.v); }, unwrap_none));
        }
    }
    EXPECT_EQ(unix_seconds_to_instant(8'210'266'876'799).to_string(), "262142-12-31T23:59:59Z");
}

std::optional<TimeScheduler> with_hours(RawPair hours) {
    return time_input::transform(RawMatrix{}, RawList{}, RawTimeWindows{}, hours);
}

TEST(Transform, OperatingHours) {
    struct Case { RawPair raw; std::optional<std::pair<std::uint32_t, std::uint32_t>> hours; };
    const Case kept_or_dropped[] = {
        {{28'800, 61'200}, std::pair{28'800u, 61'200u}},
        {{90'000, 97'200}, std::pair{3'600u, 10'800u}},
        {{0, 86'400}, std::nullopt},                 // a whole day
        {{3'600, 90'000}, std::nullopt},             // any 24-hour stretch
        {{28'800, 28'800}, std::nullopt},            // an empty stretch
        {{u64_max, 86'399}, std::nullopt},           // 86399 − (2^64 − 1) wraps to 86400
    };
    for (const auto& c : kept_or_dropped) {
        SCOPED_TRACE(testing::Message() << c.raw.first << ", " << c.raw.second);
        const auto s = with_hours(c.raw);
        ASSERT_TRUE(s);
        ASSERT_EQ(s->operation_times.has_value(), c.hours.has_value());
        if (c.hours) {
            EXPECT_EQ(s->operation_times->daily_start(), TimeOfDay(c.hours->first));
            EXPECT_EQ(s->operation_times->daily_end(), TimeOfDay(c.hours->second));
        }
    }
    const RawPair refused[] = {{0, 172'800}, {61'200, 28'800}, {79'200, 108'000}};
    for (const auto& raw : refused) {
        SCOPED_TRACE(testing::Message() << raw.first << ", " << raw.second);
        EXPECT_TRUE(panics_with([&] { with_hours(raw); }, "assertion failed: daily_start < daily_end"));
    }
    // The start is converted before the end, both before the ordering check.
    EXPECT_TRUE(panics_with([] { with_hours({9'223'372'036'854'776, 5}); }, seconds_oob));
    EXPECT_TRUE(panics_with([] { with_hours({5, 9'223'372'036'854'776}); }, seconds_oob));
}

TEST(Transform, PresentOnlyWithAllThreeTimeInputs) {
    EXPECT_FALSE(time_input::transform(std::nullopt, std::nullopt, std::nullopt, std::nullopt));
    EXPECT_FALSE(time_input::transform(RawMatrix{{1}}, RawList{1}, std::nullopt, RawPair{28'800, 61'200}));
    EXPECT_FALSE(time_input::transform(std::nullopt, RawList{1}, RawTimeWindows{{}}, std::nullopt));
    EXPECT_FALSE(time_input::transform(RawMatrix{{1}}, std::nullopt, RawTimeWindows{{}}, std::nullopt));
    const auto s = time_input::transform(RawMatrix{{1, 2}, {3}}, RawList{4}, RawTimeWindows{{}, {}, {}}, std::nullopt);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->duration_matrix.size(), 2u);
    EXPECT_EQ(s->duration_matrix[1].size(), 1u);
    EXPECT_EQ(s->job_durations, std::vector<Span>{secs(4)});
    EXPECT_EQ(s->time_windows.size(), 3u);
    EXPECT_FALSE(s->operation_times);
    // An incomplete model is still validated in full.
    EXPECT_TRUE(panics_with([] { time_input::transform(RawMatrix{{1}}, std::nullopt, RawTimeWindows{{{10, 9}}}, std::nullopt); },
                            "assertion failed: start <= end"));
}

TEST(Transform, WindowsKeepTheCallersOrder) {
    const auto s = time_input::transform(RawMatrix{}, RawList{},
                             RawTimeWindows{{{1'700'003'600, 1'700'007'200}, {1'700'000'000, 1'700'000'000},
                                             {1'700'000'000, 1'700'009'000}}},
                             std::nullopt);
    ASSERT_TRUE(s);
    const auto& w = s->time_windows[0];
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0].start().unix_seconds(), 1'700'003'600);
    EXPECT_EQ(w[1].end().unix_seconds(), 1'700'000'000);
    EXPECT_EQ(w[2].end().unix_seconds(), 1'700'009'000);
}

// The first bad value in conversion order decides the message.
TEST(Transform, FirstFailureInOrderWins) {
    const std::uint64_t bad_span = 9'223'372'036'854'776;
    const std::uint64_t bad_date = 8'210'266'876'800;
    struct Case { const char* name; RawMatrix durations; RawList jobs; RawTimeWindows windows; RawPair hours; const char* message; };
    const Case cases[] = {
        {"matrix before jobs", {{0, bad_span}}, {bad_span}, {{{bad_date, 0}}}, {5, 5}, seconds_oob},
        {"jobs before windows", {{0}}, {0, bad_span}, {{{bad_date, 0}}}, {0, 0}, seconds_oob},
        {"window start range", {{0}}, {0}, {{{bad_date, 10}}}, {9, 8}, unwrap_none},
        {"window end range before order", {{0}}, {0}, {{{10, bad_date}}}, {9, 8}, unwrap_none},
        {"window order before later windows", {{0}}, {0}, {{{11, 10}}, {{bad_date, 0}}}, {9, 8}, "assertion failed: start <= end"},
        {"windows before hours", {{0}}, {0}, {{{0, 1}, {3, 2}}}, {9, 8}, "assertion failed: start <= end"},
        {"hours last", {{0}}, {0}, {{{0, 1}}}, {9, 8}, "assertion failed: daily_start < daily_end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(panics_with([&] { time_input::transform(c.durations, c.jobs, c.windows, c.hours); }, c.message));
    }
}

TEST(TimeScheduler, TravelDurationIndexPanics) {
    const auto s = time_input::transform(RawMatrix{{1, 2, 3}, {4}}, RawList{}, RawTimeWindows{}, std::nullopt);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->travel_duration(0, 2), secs(3));
    EXPECT_TRUE(panics_with([&] { s->travel_duration(1, 2); }, "index out of bounds: the len is 1 but the index is 2"));
    EXPECT_TRUE(panics_with([&] { s->travel_duration(5, 0); }, "index out of bounds: the len is 2 but the index is 5"));
}

}  // namespace
}  // namespace tourloom::penalties::time::time_input
