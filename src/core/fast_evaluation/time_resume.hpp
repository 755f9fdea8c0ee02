#pragma once
// Candidate evaluation with a time model, doing only the simulation that can
// differ from the current tour's:
//  - the tour before the first changed position is the current tour's, so
//    the simulation resumes from the state cached there;
//  - once the candidate's clock, after the changed segment, reads the same
//    as the current tour's at the same position, everything after is the
//    current tour's too, and is taken from the cache;
//  - lateness, duration and waiting time only grow along a tour and the
//    travelling total is known in advance, so a candidate is abandoned as
//    soon as its partial keys rank it behind the current solution.
// Each action is simulated by the same `action_report` as the full
// evaluation, so every figure is bit-identical. Only for inputs that
// `time_path_eligible` accepts: no evaluation can fail, so skipping work can
// never skip a failure.
#include <cstddef>
#include <optional>
#include <vector>

#include "fast_evaluation/edge_delta.hpp"
#include "local_moves.hpp"
#include "output.hpp"
#include "penalties/distance/distance_matrix.hpp"
#include "penalties/time/time_input.hpp"

namespace tourloom::fast_evaluation {

using output::Solution;
using penalties::distance::distance_matrix::DistanceMatrix;
using penalties::distance::distance_matrix::DistanceTotal;
using penalties::time::time_input::TimeScheduler;
using penalties::time::time_output::TimeReport;

struct DistanceCost {
    const DistanceMatrix* matrix;
    DistanceTotal operator()(std::size_t a, std::size_t b) const noexcept {
        return DistanceTotal::of(matrix->unchecked(a, b));
    }
};
using DistanceDelta = EdgeDelta<DistanceTotal, DistanceCost>;

// For matrices whose every tour total fits in 64 bits: plain words.
struct NarrowDistanceCost {
    const DistanceMatrix* matrix;
    std::uint64_t operator()(std::size_t a, std::size_t b) const noexcept { return matrix->unchecked(a, b); }
};
using NarrowDistanceDelta = EdgeDelta<std::uint64_t, NarrowDistanceCost>;

// The travelling time an edge adds to a tour: its duration, or nothing when
// the duration is not positive (such a travel does nothing).
struct TravelCost {
    const TimeScheduler* scheduler;
    Span operator()(std::size_t a, std::size_t b) const noexcept {
        const Span d = scheduler->duration_matrix[a][b];
        return d.is_positive() ? d : Span::zero();
    }
};
using TravelDelta = EdgeDelta<Span, TravelCost>;

// Adds to `state` the figures the current tour gained between two of its
// own cached states, `from` and `to`, and moves its clock to `to`'s.
void extend_by_stretch(TimeReport& state, const TimeReport& from, const TimeReport& to);

class TimeResume {
public:
    TimeResume(const DistanceMatrix& distances, const TimeScheduler& scheduler);

    // Caches the states of the current tour: O(n) actions. Call whenever the
    // current solution changes.
    void refresh(const Solution& current);

    // True when the candidate (shape, k, i, j) is strictly better than the
    // current solution under the time-model ranking.
    bool improves(local_moves::Shape shape, std::size_t k, std::size_t i, std::size_t j) const;

    const DistanceDelta& distance() const noexcept { return distance_; }

private:
    const TimeScheduler* scheduler_;
    const Solution* current_ = nullptr;
    DistanceDelta distance_;
    TravelDelta travel_;
    std::vector<TimeReport> before_work_;  // [p]: the tour up to position p, before its work (n + 1 entries)
    std::vector<TimeReport> after_work_;   // [p]: the same, after the work at p
};

}  // namespace tourloom::fast_evaluation
