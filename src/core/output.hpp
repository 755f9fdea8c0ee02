#pragma once
// The engine's vocabulary: a route, the evaluation of one (a solution) and
// the record a solve returns.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "penalties/distance/distance_matrix.hpp"
#include "penalties/time/time_output.hpp"
#include "time/span.hpp"

namespace tourloom::output {

using penalties::distance::distance_matrix::DistanceTotal;
using Route = std::vector<std::size_t>;  // a permutation of the locations; the tour closes from the last to the first

struct Solution {
    Route route;
    std::optional<penalties::time::time_output::TimeReport> time_report;  // present exactly with a time model
    DistanceTotal distance;  // exact total of the closed tour

    friend bool operator==(const Solution&, const Solution&) = default;
};

// What a solve returns (the Python module exposes it as `PyOutput`).
// `time_report` (with its schedule) is present exactly when a time model was given.
struct PyOutput {
    Route route;
    std::optional<penalties::time::time_output::TimeReport> time_report;
    std::uint64_t distance = 0;
    std::uint64_t iterations = 0;  // descents begun
    Span time_taken;               // the search and the final evaluation, on a monotonic clock
};

}  // namespace tourloom::output
