#include "fast_evaluation/time_resume.hpp"

#include <tuple>

namespace tourloom::fast_evaluation {

using penalties::time::time_output::action_report;

void extend_by_stretch(TimeReport& state, const TimeReport& from, const TimeReport& to) {
    state.end_time = to.end_time;
    state.duration += to.duration - from.duration;
    state.lateness += to.lateness - from.lateness;
    state.working_time += to.working_time - from.working_time;
    state.waiting_time += to.waiting_time - from.waiting_time;
    state.traveling_time += to.traveling_time - from.traveling_time;
}

TimeResume::TimeResume(const DistanceMatrix& distances, const TimeScheduler& scheduler)
    : scheduler_(&scheduler), distance_(DistanceCost{&distances}), travel_(TravelCost{&scheduler}) {}

void TimeResume::refresh(const Solution& current) {
    current_ = &current;
    const auto& route = current.route;
    const std::size_t n = route.size();
    distance_.refresh(route);
    travel_.refresh(route);

    const TimeScheduler& s = *scheduler_;
    const auto* hours = s.operation_times ? &*s.operation_times : nullptr;
    before_work_.resize(n + 1);
    after_work_.resize(n);
    TimeReport state = TimeReport::empty_at(s.time_windows[route[0]][0].start());
    for (std::size_t p = 0; p < n; ++p) {
        before_work_[p] = state;
        const std::size_t loc = route[p];
        state.extend(action_report(s.job_durations[loc], &s.time_windows[loc], hours, state.end_time, false, loc, false));
        after_work_[p] = state;
        const std::size_t next = route[p + 1 == n ? 0 : p + 1];
        state.extend(action_report(s.duration_matrix[loc][next], nullptr, hours, state.end_time, true, std::nullopt, false));
    }
    before_work_[n] = state;
}

bool TimeResume::improves(local_moves::Shape shape, std::size_t k, std::size_t i, std::size_t j) const {
    const TimeScheduler& s = *scheduler_;
    const auto* hours = s.operation_times ? &*s.operation_times : nullptr;
    const auto& route = current_->route;
    const TimeReport& incumbent = *current_->time_report;
    const std::size_t n = route.size();
    const auto moved = [&](std::size_t p) { return route[local_moves::source_position(shape, k, i, j, p)]; };

    // Travelling time is the second key and needs no simulation.
    const Span travel = travel_.candidate_total(shape, k, i, j);
    const auto behind = [&](const TimeReport& partial) {
        return std::tie(partial.lateness, travel, partial.duration, partial.waiting_time) >
               std::tie(incumbent.lateness, incumbent.traveling_time, incumbent.duration, incumbent.waiting_time);
    };
    const auto work = [&](TimeReport& state, std::size_t loc) {
        state.extend(action_report(s.job_durations[loc], &s.time_windows[loc], hours, state.end_time, false, loc, false));
    };
    const auto drive = [&](TimeReport& state, std::size_t from, std::size_t to) {
        state.extend(
            action_report(s.duration_matrix[from][to], nullptr, hours, state.end_time, true, std::nullopt, false));
    };

    // Before position i nothing changes, except that with i = 0 the tour
    // starts at another location, and so at another time.
    TimeReport state;
    if (i == 0) {
        state = TimeReport::empty_at(s.time_windows[moved(0)][0].start());
    } else {
        state = after_work_[i - 1];
        if (behind(state)) return false;  // already behind on the shared prefix (or by its travelling total)
        drive(state, route[i - 1], moved(i));
        if (behind(state)) return false;
    }
    // After the segment the candidate visits the current tour's locations in
    // the current order; the moment its clock agrees with the current tour's
    // (on arrival, or after the work, typically after both waited for the
    // same opening) the rest of the tour is the current tour's.
    const auto finish_from = [&](const TimeReport& reached) {
        if (i > 0) {
            extend_by_stretch(state, reached, before_work_[n]);
        } else {
            // Only the way back to the (new) first location differs.
            extend_by_stretch(state, reached, after_work_[n - 1]);
            drive(state, route[n - 1], moved(0));
        }
    };
    for (std::size_t p = i; p < n; ++p) {
        if (p > j && state.end_time == before_work_[p].end_time) {
            finish_from(before_work_[p]);
            break;
        }
        const std::size_t loc = moved(p);
        work(state, loc);
        if (behind(state)) return false;
        if (p > j && state.end_time == after_work_[p].end_time) {
            finish_from(after_work_[p]);
            break;
        }
        drive(state, loc, moved(p + 1 == n ? 0 : p + 1));
        if (behind(state)) return false;
    }

    const auto candidate_keys = std::tie(state.lateness, travel, state.duration, state.waiting_time);
    const auto incumbent_keys =
        std::tie(incumbent.lateness, incumbent.traveling_time, incumbent.duration, incumbent.waiting_time);
    if (candidate_keys != incumbent_keys) return candidate_keys < incumbent_keys;
    return distance_.candidate_total(shape, k, i, j) < current_->distance;
}

}  // namespace tourloom::fast_evaluation
