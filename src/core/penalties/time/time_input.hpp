#pragma once
// The time model of a solve, built from the caller's raw second counts:
// travel and work durations as spans, windows as UTC instants, operating
// hours as times of day, each validated on the way.
#include <cstdint>
#include <optional>
#include <vector>

#include "panic.hpp"
#include "penalties/time/duration_table.hpp"
#include "penalties/time/operation_times.hpp"
#include "penalties/time/time_windows.hpp"
#include "raw_input.hpp"
#include "time/instant.hpp"
#include "time/span.hpp"

namespace tourloom::penalties::time::time_input {

using duration_table::DurationTable;
using operation_times::OperationTimes;
using time_windows::TimeWindows;

// Read-only after `transform` builds it. Nothing is checked against the
// distance matrix or against each other: lists may be short or ragged, and
// reading past an end fails only when the penalizer does it.
struct TimeScheduler {
    DurationTable duration_matrix;  // [from][to]
    std::vector<Span> job_durations;
    std::vector<TimeWindows> time_windows;
    std::optional<OperationTimes> operation_times;

    // duration_matrix[from][to]; panics with the index message on either index.
    Span travel_duration(std::size_t from, std::size_t to) const {
        const DurationTable::Row row = at(duration_matrix, from);
        return at(row, to);
    }
};

// Reinterprets the count as signed and makes it whole seconds; panics
// "TimeDelta::seconds out of bounds" beyond ±9223372036854775.
Span seconds_to_span(std::uint64_t seconds);
// Reinterprets the count as signed Unix seconds; panics "called
// `Option::unwrap()` on a `None` value" outside the instant range.
Instant unix_seconds_to_instant(std::uint64_t seconds);
// Midnight plus the span of `seconds` (with its panic), whole days discarded.
TimeOfDay seconds_to_time_of_day(std::uint64_t seconds);

// Builds the time model. Present exactly when duration_matrix, job_durations
// and time_windows are all given; what is given is validated in full first,
// in that order (then operation_times), the first bad value deciding the
// panic. Operating hours covering a whole 24-hour stretch, or none, are
// dropped (tested on the raw counts).
std::optional<TimeScheduler> transform(std::optional<RawTable> duration_matrix, std::optional<RawList> job_durations,
                                       std::optional<RawTimeWindows> time_windows,
                                       std::optional<RawPair> operation_times);

}  // namespace tourloom::penalties::time::time_input
