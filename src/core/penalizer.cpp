#include "penalizer.hpp"

#include "panic.hpp"

namespace tourloom::penalizer {

using penalties::time::time_output::travel_report;
using penalties::time::time_output::work_report;

DistanceTotal route_distance(const DistanceMatrix& matrix, const Route& route) {
    const std::size_t first = at(route, 0);  // an empty route has no first location
    DistanceTotal total;
    for (std::size_t k = 0; k + 1 < route.size(); ++k) total += matrix.distance(route[k], route[k + 1]);
    total += matrix.distance(route.back(), first);
    return total;
}

TimeReport simulate_tour(const TimeScheduler& scheduler, const Route& route, bool record_events) {
    const std::size_t n = route.size();
    const Instant tour_start = at(at(scheduler.time_windows, route[0]).windows(), 0).start();
    const auto* hours = scheduler.operation_times ? &*scheduler.operation_times : nullptr;

    TimeReport tour = TimeReport::empty_at(tour_start);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t loc = route[i];
        const Span job = at(scheduler.job_durations, loc);
        const auto& windows = at(scheduler.time_windows, loc);
        tour.extend(work_report(job, windows, hours, tour.end_time, loc, record_events));

        const std::size_t next = route[i + 1 == n ? 0 : i + 1];
        const Span travel = scheduler.travel_duration(loc, next);
        tour.extend(travel_report(travel, hours, tour.end_time, record_events));
    }
    return tour;
}

Solution Penalizer::penalize(Route route, bool record_events) const {
    const DistanceTotal distance = route_distance(distance_matrix_, route);
    std::optional<TimeReport> report;
    if (time_scheduler_) report = simulate_tour(*time_scheduler_, route, record_events);
    return Solution{std::move(route), std::move(report), distance};
}

TourRanking rank(const TimeReport& report, const DistanceTotal& distance) noexcept {
    return {report.lateness, report.traveling_time, report.duration, report.waiting_time, distance};
}

bool Penalizer::is_better(const Solution& candidate, const Solution& incumbent) const {
    if (!time_scheduler_) return candidate.distance < incumbent.distance;
    if (!candidate.time_report || !incumbent.time_report) panic(unwrap_none_message);
    return ranking::is_better(rank(*candidate.time_report, candidate.distance),
                              rank(*incumbent.time_report, incumbent.distance));
}

}  // namespace tourloom::penalizer
