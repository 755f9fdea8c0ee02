#pragma once
// The evaluation of one route.
#include <cstddef>
#include <optional>
#include <vector>

#include "penalties/distance/distance_matrix.hpp"
#include "penalties/time/time_output.hpp"

namespace tourloom::output {

using penalties::distance::distance_matrix::DistanceTotal;
using Route = std::vector<std::size_t>;  // a permutation of the locations; the tour closes from the last to the first

struct Solution {
    Route route;
    std::optional<penalties::time::time_output::TimeReport> time_report;  // present exactly with a time model
    DistanceTotal distance;  // exact total of the closed tour

    friend bool operator==(const Solution&, const Solution&) = default;
};

}  // namespace tourloom::output
