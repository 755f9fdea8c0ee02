#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "penalties/time/time_windows.hpp"
#include "test_support.hpp"

namespace tourloom::penalties::time::time_windows {
namespace {

TimeWindows windows_of(std::vector<TimeWindow> w) { return TimeWindows(std::move(w)); }

struct Expect {
    Instant t;
    std::optional<std::size_t> index;  // which window of the list, or none
    Span wait;
};

void check(const TimeWindows& list, const std::vector<Expect>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t.to_string());
        const auto got = list.next_window(c.t);
        ASSERT_EQ(got.has_value(), c.index.has_value());
        if (!got) continue;
        EXPECT_EQ(got->window, &list[*c.index]) << "returned a different window (by identity)";
        EXPECT_EQ(got->wait, c.wait);
    }
}

TEST(NextWindow, TwoWindowsOfOneDay) {
    const auto list = windows_of({{clock(8), clock(10)}, {clock(12), clock(14)}});
    check(list, {
                    {clock(7), 0, hrs(1)},
                    {clock(8), 0, secs(0)},
                    {clock(9), 0, secs(0)},
                    {clock(10), 0, secs(0)},
                    {clock(11), 1, hrs(1)},
                    {clock(12), 1, secs(0)},
                    {clock(14), 1, secs(0)},
                    {clock(14) + secs(1), std::nullopt, {}},
                });
}

TEST(NextWindow, SingleInstantWindow) {
    const auto list = windows_of({{clock(9), clock(9)}});
    check(list, {{clock(9), 0, secs(0)}, {clock(8), 0, hrs(1)}, {clock(9) + secs(1), std::nullopt, {}}});
}

TEST(NextWindow, EmptyListHasNoWindow) {
    const TimeWindows list;
    check(list, {{clock(0), std::nullopt, {}}, {unix_at(Instant::min_unix_seconds), std::nullopt, {}}});
}

// Equal starts: the binary search's landing place decides, not containment.
TEST(NextWindow, EqualStartsFollowTheSearch) {
    const auto three = windows_of({{clock(8), clock(9)}, {clock(8), clock(10)}, {clock(8), clock(11)}});
    check(three, {{clock(8), 2, secs(0)}, {clock(9, 30), 2, secs(0)}, {clock(7), 0, hrs(1)}});
    const auto four =
        windows_of({{clock(8), clock(9)}, {clock(8), clock(10)}, {clock(8), clock(11)}, {clock(8), clock(12)}});
    check(four, {{clock(8), 3, secs(0)}});
}

TEST(NextWindow, ManyWindowsAgreeWithALinearScan) {
    // Windows [2k h, 2k h + 30 min] for k = 0..20: every probe on a 10-minute
    // grid must match the first window whose end is not before it.
    std::vector<TimeWindow> w;
    for (int k = 0; k < 21; ++k) w.emplace_back(clock(0) + hrs(2 * k), clock(0) + hrs(2 * k) + mins(30));
    const auto list = windows_of(w);
    for (int m = -20; m <= 42 * 60; m += 10) {
        const Instant t = clock(0) + mins(m);
        SCOPED_TRACE(t.to_string());
        const auto got = list.next_window(t);
        std::optional<std::size_t> expected;
        for (std::size_t k = 0; k < w.size() && !expected; ++k)
            if (!(w[k].end() < t)) expected = k;
        ASSERT_EQ(got.has_value(), expected.has_value());
        if (!got) continue;
        EXPECT_EQ(got->window, &list[*expected]);
        EXPECT_EQ(got->wait, t < w[*expected].start() ? w[*expected].start() - t : secs(0));
    }
}

TEST(TimeWindow, StartAfterEndPanics) {
    EXPECT_TRUE(panics_with([] { TimeWindow(clock(9) + secs(1), clock(9)); }, "assertion failed: start <= end"));
    EXPECT_NO_THROW(TimeWindow(clock(9), clock(9)));
}

}  // namespace
}  // namespace tourloom::penalties::time::time_windows
