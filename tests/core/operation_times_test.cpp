#include <gtest/gtest.h>

#include "penalties/time/operation_times.hpp"
#include "test_support.hpp"

namespace tourloom::penalties::time::operation_times {
namespace {

TimeOfDay hm(unsigned h, unsigned m = 0, unsigned s = 0) { return TimeOfDay(h * 3600 + m * 60 + s); }

TEST(OperationTimes, WaitingTimeEightToFive) {
    const OperationTimes hours(hm(8), hm(17));
    struct Case { TimeOfDay t; Span wait; };
    const Case cases[] = {
        {hm(7, 30), mins(30)}, {hm(8), secs(0)}, {hm(16, 59, 59), secs(0)}, {hm(17), hrs(15)},
        {hm(23), hrs(9)},      {hm(0), hrs(8)},  {TimeOfDay(7 * 3600 + 59 * 60 + 59, 999'999'999), *Span::from_parts(0, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t.second());
        EXPECT_EQ(hours.waiting_time(c.t), c.wait);
    }
}

TEST(OperationTimes, SingleClosedSecond) {
    const OperationTimes hours(hm(0), hm(23, 59, 59));
    EXPECT_EQ(hours.waiting_time(hm(23, 59, 59)), secs(1));
    EXPECT_EQ(hours.waiting_time(hm(0)), secs(0));
}

TEST(OperationTimes, ConstructorRefusesEmptyOrReversedHours) {
    for (auto [start, end] : {std::pair{hm(8), hm(8)}, std::pair{hm(17), hm(8)}, std::pair{hm(0), hm(0)}}) {
        SCOPED_TRACE(start.second());
        EXPECT_TRUE(panics_with([&] { OperationTimes(start, end); }, "assertion failed: daily_start < daily_end"));
    }
}

}  // namespace
}  // namespace tourloom::penalties::time::operation_times
