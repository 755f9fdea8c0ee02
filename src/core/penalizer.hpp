#pragma once
// Scores routes (closed-tour distance and, with a time model, the simulated
// tour) and ranks the results.
#include <optional>

#include "output.hpp"
#include "penalties/distance/distance_matrix.hpp"
#include "penalties/time/time_input.hpp"
#include "ranking.hpp"

namespace tourloom::penalizer {

using output::Route;
using output::Solution;
using penalties::distance::distance_matrix::DistanceMatrix;
using penalties::distance::distance_matrix::DistanceTotal;
using penalties::time::time_input::TimeScheduler;
using penalties::time::time_output::TimeReport;

class Penalizer {
public:
    Penalizer(DistanceMatrix distance_matrix, std::optional<TimeScheduler> time_scheduler)
        : time_scheduler_(std::move(time_scheduler)), distance_matrix_(std::move(distance_matrix)) {}

    // Evaluates `route` (taken over as the solution's route). Panics with the
    // index message on an empty route or on any list the route reads past,
    // in the order: distance edges in route order, the closing edge, the
    // tour's start window, then per visit the job duration, the windows and
    // the travel time. Time arithmetic panics are the simulation's.
    Solution penalize(Route route, bool record_events) const;

    // True when `candidate` is strictly better: by distance alone, or with a
    // time model lexicographically by lateness, traveling time, duration,
    // waiting time, then distance. Ties are never better.
    bool is_better(const Solution& candidate, const Solution& incumbent) const;

    const std::optional<TimeScheduler>& time_scheduler() const noexcept { return time_scheduler_; }
    const DistanceMatrix& distance_matrix() const noexcept { return distance_matrix_; }

private:
    std::optional<TimeScheduler> time_scheduler_;
    DistanceMatrix distance_matrix_;
};

// The exact distance of the closed tour; panics as `penalize` does.
DistanceTotal route_distance(const DistanceMatrix& matrix, const Route& route);

// The simulated tour, starting at the first window of the first location.
TimeReport simulate_tour(const TimeScheduler& scheduler, const Route& route, bool record_events);

// A simulated tour's place in the time-model ranking.
using TourRanking = ranking::Ranking<Span, DistanceTotal>;
TourRanking rank(const TimeReport& report, const DistanceTotal& distance) noexcept;

}  // namespace tourloom::penalizer
