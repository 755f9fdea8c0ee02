#include "penalties/time/operation_times.hpp"

#include "panic.hpp"

namespace tourloom::penalties::time::operation_times {

OperationTimes::OperationTimes(TimeOfDay daily_start, TimeOfDay daily_end)
    : daily_start_(daily_start), daily_end_(daily_end) {
    if (!(daily_start < daily_end)) panic("assertion failed: daily_start < daily_end");
}

Span OperationTimes::waiting_time(TimeOfDay t) const noexcept {
    if (t < daily_start_) return daily_start_ - t;
    if (t < daily_end_) return Span::zero();
    // Closed for today: the 86400 s and the difference are both small, so no
    // range check can fail.
    constexpr Span one_day = *Span::from_parts(86'400, 0);
    return one_day + (daily_start_ - t);
}

}  // namespace tourloom::penalties::time::operation_times
