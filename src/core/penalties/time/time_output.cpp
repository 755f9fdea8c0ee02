#include "penalties/time/time_output.hpp"

#include "panic.hpp"

namespace tourloom::penalties::time::time_output {

void TimeReport::extend(TimeReport&& other) {
    end_time = other.end_time;
    duration += other.duration;
    lateness += other.lateness;
    working_time += other.working_time;
    waiting_time += other.waiting_time;
    traveling_time += other.traveling_time;
    if (!other.events.empty()) events.insert(events.end(), other.events.begin(), other.events.end());
}

TimeReport action_report(Span duration, const TimeWindows* windows, const OperationTimes* hours, Instant start,
                         bool is_travel, std::optional<std::size_t> location, bool record_events) {
    TimeReport report = TimeReport::empty_at(start);
    Instant current = start;
    Span remaining = duration;
    Span pending_wait;

    // The order of every checked operation below is part of the behaviour:
    // near the ends of the time range it decides which overflow is reported.
    while (remaining.is_positive()) {
        if (windows != nullptr) {
            if (const auto found = windows->next_window(current)) {
                if (found->wait.is_positive()) {
                    pending_wait += found->wait;
                    current = current + found->wait;
                }
                const Instant end = current + remaining;
                const auto at_end = windows->next_window(end);
                if (at_end && !(*at_end->window == *found->window)) {
                    // The remainder would run past this window into another:
                    // defer it wholesale to where it would fit.
                    const Span jump = at_end->wait + remaining;
                    pending_wait += jump;
                    current = current + jump;
                    continue;
                }
            }
        }
        if (hours != nullptr) {
            const Span closed_for = hours->waiting_time(current.time_of_day());
            if (closed_for.is_positive()) {
                pending_wait += closed_for;
                current = current + closed_for;
                continue;  // the windows must be asked again at the new moment
            }
        }
        if (pending_wait.is_positive()) {
            if (record_events) report.events.push_back(Event::wait(TimeWindow(current - pending_wait, current)));
            report.waiting_time += pending_wait;
            pending_wait = Span::zero();
        }

        Span step = remaining;
        if (hours != nullptr) {
            const Span left = hours->daily_end() - current.time_of_day();  // > 0: the hours are open now
            if (step > left) step = left;
        }
        if (is_travel) {
            if (record_events) report.events.push_back(Event::travel(TimeWindow(current, current + step)));
            report.traveling_time += step;
        } else {
            if (record_events) {
                if (!location) panic(unwrap_none_message);
                report.events.push_back(Event::work(*location, TimeWindow(current, current + step)));
            }
            report.working_time += step;
            if (windows != nullptr && !windows->empty() && step == remaining) {
                const Instant finish = current + step;
                const Instant last_end = windows->back().end();
                if (finish > last_end) report.lateness += finish - last_end;
            }
        }
        current = current + step;
        remaining -= step;
    }

    report.end_time = current;
    report.duration = current - start;
    return report;
}

TimeReport work_report(Span duration, const TimeWindows& windows, const OperationTimes* hours, Instant start,
                       std::size_t location, bool record_events) {
    return action_report(duration, &windows, hours, start, false, location, record_events);
}

TimeReport travel_report(Span duration, const OperationTimes* hours, Instant start, bool record_events) {
    return action_report(duration, nullptr, hours, start, true, std::nullopt, record_events);
}

}  // namespace tourloom::penalties::time::time_output
