#include "fast_evaluation/plain_time.hpp"

#include <algorithm>


namespace tourloom::fast_evaluation {

namespace {

std::int64_t positive_seconds(Span s) noexcept { return s.is_positive() ? s.seconds() : 0; }

// The window that applies at `t` among the `count` windows from `start`/`end`,
// by the same binary search, step by step, as the checked `next_window`
// (with equal starts, the window it lands on is part of the result).
struct Applicable {
    std::ptrdiff_t index;  // −1: none (no window, or t after the last one's end)
    std::int64_t wait;
};

Applicable applicable_window(const std::int64_t* start, const std::int64_t* end, std::size_t count,
                             std::int64_t t) noexcept {
    if (t > end[count - 1]) return {-1, 0};
    std::size_t size = count;
    std::size_t base = 0;
    while (size > 1) {
        const std::size_t half = size / 2;
        const std::size_t mid = base + half;
        if (!(start[mid] > t)) base = mid;
        size -= half;
    }
    if (start[base] == t) return {static_cast<std::ptrdiff_t>(base), 0};
    const std::size_t i = start[base] < t ? base + 1 : base;
    if (i > 0 && start[i - 1] <= t && t <= end[i - 1]) return {static_cast<std::ptrdiff_t>(i - 1), 0};
    return {static_cast<std::ptrdiff_t>(i), t < start[i] ? start[i] - t : 0};
}

}  // namespace

PlainTimeModel::PlainTimeModel(const penalties::time::time_input::TimeScheduler& scheduler, std::size_t n)
    : n_(n), travel_(n * n), job_(n), last_end_(n), offset_(n + 1), single_window_(n), starts_before_last_end_(n), ordered_(n) {
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) travel_[a * n + b] = positive_seconds(scheduler.duration_matrix[a][b]);
    for (std::size_t a = 0; a < n; ++a) {
        job_[a] = positive_seconds(scheduler.job_durations[a]);
        working_total_ += job_[a];
        offset_[a] = windows_.start.size();
        const auto& list = scheduler.time_windows[a].windows();
        for (const auto& w : list) {
            windows_.start.push_back(w.start().unix_seconds());
            windows_.end.push_back(w.end().unix_seconds());
        }
        single_window_[a] = list.size() == 1;
        const std::int64_t last = list.back().end().unix_seconds();
        last_end_[a] = last;
        starts_before_last_end_[a] =
            std::all_of(list.begin(), list.end(), [&](const auto& w) { return w.start().unix_seconds() <= last; });
        ordered_[a] = std::adjacent_find(list.begin(), list.end(), [](const auto& w, const auto& next) {
                          return !(w.end() < next.start());
                      }) == list.end();
    }
    offset_[n] = windows_.start.size();
    if (scheduler.operation_times) {
        has_hours_ = true;
        open_ = scheduler.operation_times->daily_start().second();
        close_ = scheduler.operation_times->daily_end().second();
    }
}

std::int64_t PlainTimeModel::finish_held_by_hours_only(std::int64_t t, std::size_t location) const noexcept {
    const std::int64_t job = job_[location];
    if (job == 0) return t;
    const std::int64_t* start = windows_.start.data() + offset_[location];
    const std::int64_t* end = windows_.end.data() + offset_[location];
    const std::size_t count = offset_[location + 1] - offset_[location];
    const Applicable found = applicable_window(start, end, count, t);
    const std::int64_t first = found.index >= 0 ? t + found.wait : t;
    return has_hours_ ? consume_open_time(first, job) : first + job;
}

std::int64_t PlainTimeModel::work_clear(std::int64_t t, std::size_t location, bool& late) const noexcept {
    late = false;
    const std::int64_t job = job_[location];
    if (job == 0) return unbounded;
    const std::int64_t hours = has_hours_ ? hours_clear(t, job) : unbounded;
    if (hours == 0) return 0;
    const std::int64_t last = last_end_[location];
    const std::int64_t finish = t + job;
    if (t > last) {  // past every window: only the hours count
        late = true;
        return hours;
    }
    // In an ordered list a moment inside a window has that window
    // applicable, so a later start inside it takes the same path.
    if (!ordered_[location]) return 0;
    const std::int64_t* start = windows_.start.data() + offset_[location];
    const std::int64_t* end = windows_.end.data() + offset_[location];
    const std::size_t count = offset_[location + 1] - offset_[location];
    const Applicable found = applicable_window(start, end, count, t);
    if (found.index < 0 || found.wait > 0) return 0;
    const auto index = static_cast<std::size_t>(found.index);
    if (finish <= end[index]) return std::min(hours, end[index] - finish);  // stays inside, in time
    // Overrunning the last window is not deferred, and a later start past
    // its end takes the late path to the same end.
    if (index + 1 != count) return 0;
    late = true;
    return hours;
}

// The checked simulation's loop on second counts: the window phase (wait for
// the applicable window; defer the whole remainder when it would end in
// another window), the hours phase (wait for the opening, then ask the
// windows again), then one step, cut at the daily close.
std::int64_t PlainTimeModel::work_in_general(std::int64_t t, std::size_t location, std::int64_t job,
                                             std::int64_t& lateness) const noexcept {
    const std::int64_t* start = windows_.start.data() + offset_[location];
    const std::int64_t* end = windows_.end.data() + offset_[location];
    const std::size_t count = offset_[location + 1] - offset_[location];
    std::int64_t current = t;
    std::int64_t remaining = job;
    for (;;) {
        const Applicable found = applicable_window(start, end, count, current);
        if (found.index >= 0) {
            current += found.wait;
            const std::int64_t finish = current + remaining;
            // In an ordered list the remainder stays in its window when it
            // ends inside it; past the last end nothing applies.
            const bool stays = ordered_[location] && finish <= end[found.index];
            if (!stays && finish <= end[count - 1]) {
                const Applicable at_end = applicable_window(start, end, count, finish);
                if (!(start[at_end.index] == start[found.index] && end[at_end.index] == end[found.index])) {
                    current += at_end.wait + remaining;
                    continue;
                }
            }
        }
        std::int64_t step = remaining;
        if (has_hours_) {
            const std::int64_t time_of_day = time_of_day_of(current);
            const std::int64_t wait = closed_for(time_of_day);
            if (wait > 0) {
                current += wait;
                continue;
            }
            step = std::min(step, close_ - time_of_day);
        }
        current += step;
        remaining -= step;
        if (remaining == 0) {
            if (current > end[count - 1]) lateness += current - end[count - 1];
            return current;
        }
    }
}

// Nothing but the hours holds the clock up, so the end is found in one
// step: count the open seconds from today's opening (those already passed
// today, none before the opening, all of them after the close) and the `d`
// to come, and place the last of them in its day. A day used up exactly ends
// at its close, as the step-by-step consumption (cut at each close, resumed
// at the next opening) ends there.
std::int64_t PlainTimeModel::consume_over_days(std::int64_t t, std::int64_t d) const noexcept {
    const std::int64_t time_of_day = time_of_day_of(t);
    const std::int64_t open_length = close_ - open_;
    const std::int64_t passed = std::clamp<std::int64_t>(time_of_day - open_, 0, open_length);
    const std::int64_t last = passed + d - 1;  // the last open second, counted from today's opening
    // Most actions end today or on the next open day: no division for those.
    const std::int64_t days = last < open_length ? 0 : last < 2 * open_length ? 1 : last / open_length;
    return t - time_of_day + days * 86'400 + open_ + (last - days * open_length) + 1;
}

}  // namespace tourloom::fast_evaluation
