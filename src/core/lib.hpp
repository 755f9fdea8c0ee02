#pragma once
// The body of `solve`: the time model, the search and the result record the
// Python module exposes as `PyOutput`.
#include <cstdint>
#include <optional>

#include "output.hpp"
#include "penalties/time/time_output.hpp"
#include "raw_input.hpp"
#include "time/span.hpp"

namespace tourloom {

// What a solve returns. `time_report` (with its schedule) is present exactly
// when a time model was given.
struct PyOutput {
    output::Route route;
    std::optional<penalties::time::time_output::TimeReport> time_report;
    std::uint64_t distance = 0;
    std::uint64_t iterations = 0;  // descents begun
    Span time_taken;               // the search and the final evaluation, on a monotonic clock
};

// Builds the time model (which panics on bad time inputs), converts the limit
// (whole seconds, reinterpreted as signed; panics "TimeDelta::seconds out of
// bounds"), evaluates the identity route and searches. Without a limit
// exactly one descent runs and the result depends on the inputs alone.
// Every failure is a `Panic`; a best tour whose distance exceeds 2^64 − 1
// panics "attempt to add with overflow".
PyOutput solve(RawMatrix distance_matrix, std::optional<RawMatrix> duration_matrix,
               std::optional<RawList> job_durations, std::optional<RawTimeWindows> time_windows,
               std::optional<RawPair> operation_times, std::optional<std::uint64_t> time_limit);

}  // namespace tourloom
