#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "test_support.hpp"
#include "time/civil.hpp"
#include "time/instant.hpp"
#include "time/span.hpp"
#include "time/time_of_day.hpp"

namespace tourloom {
namespace {

TEST(Civil, KnownDates) {
    struct Case { std::int64_t y; unsigned m, d; std::int64_t days; };
    const Case cases[] = {
        {1970, 1, 1, 0},           {1969, 12, 31, -1},       {2000, 3, 1, 11'017},    {2023, 11, 15, 19'676},
        {1600, 2, 29, -135'081},   {0, 1, 1, -719'528},      {-1, 12, 31, -719'529},  {-4, 2, 29, -720'930},
        {262'142, 12, 31, 95'026'236}, {-262'144, 12, 31, -96'465'293}, {-262'143, 1, 1, -96'465'292},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.y << "-" << c.m << "-" << c.d);
        EXPECT_EQ(civil::days_from_civil(c.y, c.m, c.d), c.days);
        EXPECT_EQ(civil::civil_from_days(c.days), (civil::Date{c.y, c.m, c.d}));
    }
}

// Every day of the instant range's two ends and around 1970 round-trips, and
// consecutive days are consecutive calendar dates.
TEST(Civil, RoundTripAcrossTheRangeEnds) {
    const std::int64_t starts[] = {-96'465'293 - 800, -1'000, 95'026'236 - 146'097 * 2};
    for (const std::int64_t first : starts) {
        civil::Date previous = civil::civil_from_days(first - 1);
        for (std::int64_t z = first; z < first + 146'097 * 2 + 1'600; ++z) {
            const civil::Date d = civil::civil_from_days(z);
            ASSERT_EQ(civil::days_from_civil(d.year, d.month, d.day), z);
            const bool next_day_same_month = d.year == previous.year && d.month == previous.month && d.day == previous.day + 1;
            const bool first_of_next_month = d.day == 1 && ((d.year == previous.year && d.month == previous.month + 1) ||
                                                            (d.year == previous.year + 1 && d.month == 1 && previous.month == 12));
            ASSERT_TRUE(next_day_same_month || first_of_next_month) << "day " << z;
            previous = d;
        }
    }
}

TEST(Span, FromSecondsBounds) {
    EXPECT_EQ(Span::from_seconds(9'223'372'036'854'775).seconds(), 9'223'372'036'854'775);
    EXPECT_EQ(Span::from_seconds(-9'223'372'036'854'775).seconds(), -9'223'372'036'854'775);
    for (std::int64_t bad : {std::int64_t{9'223'372'036'854'776}, std::int64_t{-9'223'372'036'854'776},
                             std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()}) {
        SCOPED_TRACE(bad);
        EXPECT_TRUE(panics_with([&] { Span::from_seconds(bad); }, "TimeDelta::seconds out of bounds"));
    }
}

TEST(Span, ArithmeticAtTheRangeEnds) {
    const Span max = Span::max();
    const Span min = Span::min();
    EXPECT_EQ(max.seconds(), 9'223'372'036'854'775);
    EXPECT_EQ(max.nanos(), 807'000'000);
    EXPECT_EQ(min.seconds(), -9'223'372'036'854'776);  // −9223372036854775.807 s
    EXPECT_EQ(min.nanos(), 193'000'000);
    const Span one_ns = *Span::from_parts(0, 1);
    EXPECT_TRUE(panics_with([&] { (void)(max + one_ns); }, "`TimeDelta + TimeDelta` overflowed"));
    EXPECT_TRUE(panics_with([&] { (void)(min - one_ns); }, "`TimeDelta - TimeDelta` overflowed"));
    EXPECT_TRUE(panics_with([&] { (void)(secs(-1) - max); }, "`TimeDelta - TimeDelta` overflowed"));
    EXPECT_EQ(secs(0) - min, max);  // the range is symmetric
    EXPECT_EQ(max - one_ns + one_ns, max);
    EXPECT_EQ(min + one_ns - one_ns, min);
    // Carry and borrow across the nanosecond part.
    const Span a = *Span::from_parts(1, 600'000'000);
    EXPECT_EQ(a + a, *Span::from_parts(3, 200'000'000));
    EXPECT_EQ(secs(0) - a, *Span::from_parts(-2, 400'000'000));
}

TEST(Span, WholeSecondsAndMicroseconds) {
    struct Case { std::int64_t s; std::int32_t ns; std::int64_t whole; std::int64_t micros; };
    const Case cases[] = {
        {90, 900'000'000, 90, 90'900'000},     // 90.9 s
        {-1, 500'000'000, 0, -500'000},        // −0.5 s
        {-2, 500'000'000, -1, -1'500'000},     // −1.5 s
        {1, 1'900, 1, 1'000'001},              // 1.0000019 s
        {-1, 999'999'500, 0, 0},               // −0.0000005 s
        {0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.s << "s " << c.ns << "ns");
        const Span span = *Span::from_parts(c.s, c.ns);
        EXPECT_EQ(span.whole_seconds(), c.whole);
        EXPECT_EQ(span.whole_microseconds(), c.micros);
    }
    // 9223372036854775 s is about 292 000 years: its microseconds do not fit.
    EXPECT_EQ(Span::max().whole_microseconds(), std::nullopt);
    EXPECT_EQ(Span::from_seconds(9'223'372'036'854).whole_microseconds(), 9'223'372'036'854'000'000);
    EXPECT_EQ(Span::from_seconds(9'223'372'036'855).whole_microseconds(), std::nullopt);
}

TEST(Instant, RangeEnds) {
    EXPECT_TRUE(Instant::from_unix(Instant::max_unix_seconds, 999'999'999));
    EXPECT_FALSE(Instant::from_unix(Instant::max_unix_seconds + 1));
    EXPECT_TRUE(Instant::from_unix(Instant::min_unix_seconds));
    EXPECT_FALSE(Instant::from_unix(Instant::min_unix_seconds - 1));
    EXPECT_EQ(unix_at(Instant::max_unix_seconds).to_string(), "262142-12-31T23:59:59Z");
    EXPECT_EQ(unix_at(Instant::min_unix_seconds).to_string(), "-262144-12-31T00:00:00Z");
}

TEST(Instant, ShiftedOutOfRangePanics) {
    const Instant last = unix_at(Instant::max_unix_seconds);
    const Instant first = unix_at(Instant::min_unix_seconds);
    EXPECT_TRUE(panics_with([&] { (void)(last + secs(1)); }, "`DateTime + TimeDelta` overflowed"));
    EXPECT_TRUE(panics_with([&] { (void)(first + secs(-1)); }, "`DateTime + TimeDelta` overflowed"));
    EXPECT_TRUE(panics_with([&] { (void)(first - secs(1)); }, "`DateTime - TimeDelta` overflowed"));
    EXPECT_TRUE(panics_with([&] { (void)(last - secs(-1)); }, "`DateTime - TimeDelta` overflowed"));
    EXPECT_TRUE(panics_with([&] { (void)(first + Span::max()); }, "`DateTime + TimeDelta` overflowed"));
    EXPECT_TRUE(panics_with([&] { (void)(last - Span::min()); }, "`DateTime - TimeDelta` overflowed"));
    EXPECT_EQ(last + *Span::from_parts(0, 999'999'999), unix_at(Instant::max_unix_seconds, 999'999'999));
    EXPECT_EQ(first + secs(1) - secs(1), first);
}

TEST(Instant, DifferenceAndTimeOfDay) {
    const Instant last = unix_at(Instant::max_unix_seconds);
    const Instant first = unix_at(Instant::min_unix_seconds);
    EXPECT_EQ(last - first, secs(Instant::max_unix_seconds - Instant::min_unix_seconds));
    EXPECT_EQ(first - last, secs(Instant::min_unix_seconds - Instant::max_unix_seconds));
    EXPECT_EQ(unix_at(0, 500'000'000) - unix_at(1), *Span::from_parts(-1, 500'000'000));

    struct Case { std::int64_t unix; std::uint32_t second; };
    const Case cases[] = {{0, 0}, {-1, 86'399}, {-86'400, 0}, {86'399, 86'399}, {test_day + 3'600, 3'600},
                          {Instant::min_unix_seconds, 0}, {Instant::max_unix_seconds, 86'399}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unix);
        EXPECT_EQ(unix_at(c.unix).time_of_day(), TimeOfDay(c.second));
    }
    // Before 1970 the fraction is dropped downwards.
    EXPECT_EQ(unix_at(-1, 500'000'000).unix_seconds(), -1);
}

TEST(TimeOfDay, DifferenceAndWrapping) {
    EXPECT_EQ(TimeOfDay(8 * 3'600) - TimeOfDay(17 * 3'600), hrs(-9));
    EXPECT_EQ(TimeOfDay(0) - TimeOfDay(86'399, 999'999'999), *Span::from_parts(-86'400, 1));
    EXPECT_EQ(TimeOfDay::from_span_wrapping(secs(90'000)), TimeOfDay(3'600));
    EXPECT_EQ(TimeOfDay::from_span_wrapping(secs(86'400)), TimeOfDay(0));
    EXPECT_EQ(TimeOfDay::from_span_wrapping(secs(-1)), TimeOfDay(86'399));
}

}  // namespace
}  // namespace tourloom
