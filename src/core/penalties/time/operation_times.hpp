#pragma once
// Daily operating hours: the part of every (UTC) day in which work and travel
// may happen. Never spans midnight and is never empty.
#include "time/span.hpp"
#include "time/time_of_day.hpp"

namespace tourloom::penalties::time::operation_times {

class OperationTimes {
public:
    // Panics "assertion failed: daily_start < daily_end" unless daily_start < daily_end.
    OperationTimes(TimeOfDay daily_start, TimeOfDay daily_end);

    TimeOfDay daily_start() const noexcept { return daily_start_; }  // inclusive
    TimeOfDay daily_end() const noexcept { return daily_end_; }      // exclusive

    // The span from t until operations are next open: zero inside
    // [daily_start, daily_end), else until daily_start today or tomorrow.
    Span waiting_time(TimeOfDay t) const noexcept;

    friend bool operator==(const OperationTimes&, const OperationTimes&) = default;

private:
    TimeOfDay daily_start_;
    TimeOfDay daily_end_;
};

}  // namespace tourloom::penalties::time::operation_times
