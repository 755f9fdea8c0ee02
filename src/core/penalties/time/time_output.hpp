#pragma once
// Simulation of one action of a tour (the work at a location, or a travel)
// in calendar time, and the report that folds such actions into a tour.
#include <cstddef>
#include <optional>
#include <vector>

#include "penalties/time/operation_times.hpp"
#include "penalties/time/time_windows.hpp"
#include "time/instant.hpp"
#include "time/span.hpp"

namespace tourloom::penalties::time::time_output {

using time_windows::TimeWindow;
using time_windows::TimeWindows;
using operation_times::OperationTimes;

// One schedule entry: a tagged union of Work (with its location), Travel and
// Wait, each over a window of time. `location` is meaningful for Work only.
struct Event {
    enum class Kind : unsigned char { Work, Travel, Wait };
    Kind kind;
    std::size_t location;
    TimeWindow window;

    static Event work(std::size_t location, TimeWindow window) { return {Kind::Work, location, window}; }
    static Event travel(TimeWindow window) { return {Kind::Travel, 0, window}; }
    static Event wait(TimeWindow window) { return {Kind::Wait, 0, window}; }
    friend bool operator==(const Event&, const Event&) = default;
};

// The time figures of an action or a tour. Invariants: duration = end_time −
// start_time = working_time + waiting_time + traveling_time; recorded events
// are in time order and cover [start_time, end_time] without gap or overlap.
struct TimeReport {
    std::vector<Event> events;  // empty unless events were recorded
    Instant start_time;
    Instant end_time;
    Span duration;
    Span lateness;  // work finished after the close of its location's last window
    Span working_time;
    Span waiting_time;
    Span traveling_time;

    // A report of nothing, at `at`.
    static TimeReport empty_at(Instant at) { return TimeReport{{}, at, at, {}, {}, {}, {}, {}}; }

    // Folds `other`, which starts where this one ends, into this report:
    // end_time from other, the five spans summed (duration, lateness,
    // working, waiting, traveling, in that order), events appended.
    void extend(TimeReport&& other);

    friend bool operator==(const TimeReport&, const TimeReport&) = default;
};

// Simulates one action starting at `start`: `duration` of work (with the
// location's `windows` and the `location`) or of travel (`is_travel`, no
// windows, no location), within the optional daily `hours`. Waits for the
// applicable window and for opening hours, defers work that would run past
// its window into the next one, cuts steps at the daily close, and charges
// lateness once, when the work completes after its last window's end.
// With `record_events` false nothing is allocated and the figures are the same.
// Panics only on time arithmetic leaving its range (dates hundreds of
// thousands of years away).
TimeReport action_report(Span duration, const TimeWindows* windows, const OperationTimes* hours, Instant start,
                         bool is_travel, std::optional<std::size_t> location, bool record_events);

// The two actions of a tour, as the penalizer and the fast paths name them.
// The work at `location`, subject to its windows:
TimeReport work_report(Span duration, const TimeWindows& windows, const OperationTimes* hours, Instant start,
                       std::size_t location, bool record_events);
// A travel: no windows, no location.
TimeReport travel_report(Span duration, const OperationTimes* hours, Instant start, bool record_events);

}  // namespace tourloom::penalties::time::time_output
