#pragma once
// The time simulation of a tour on plain second counts. Every input is a
// whole number of seconds (durations, window ends, operating hours), so on
// the inputs `time_path_eligible` accepts, where no instant or span of any
// tour can leave its range, every value a tour reaches is a whole number of
// seconds that fits in 64 bits with room to spare. There the checked
// simulation (spans with nanosecond parts, instants, optionals) and this one
// give the same clock and the same lateness to the second; nothing here
// checks a range, allocates or fails.
//
// Only the clock and the lateness are carried: working time is the same for
// every tour (the sum of the positive job durations), travelling time is a
// sum over the tour's edges, and waiting time is what remains of the
// duration, so those three figures follow from the clock.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "penalties/time/time_input.hpp"

namespace tourloom::fast_evaluation {

class PlainTimeModel {
public:
    // `n` locations; the scheduler must cover them all (eligibility checks it).
    PlainTimeModel(const penalties::time::time_input::TimeScheduler& scheduler, std::size_t n);

    std::size_t size() const noexcept { return n_; }
    // When a tour that starts at `location` starts: its first window's start.
    std::int64_t tour_start(std::size_t location) const noexcept { return windows_.start[offset_[location]]; }
    // The travel time of an edge, or 0 when it is not positive (such a travel does nothing).
    std::int64_t travel_time(std::size_t from, std::size_t to) const noexcept { return travel_[from * n_ + to]; }
    // The travel times, n × n, [from][to]; the table keeps its place when the model is moved.
    const std::int64_t* travel_table() const noexcept { return travel_.data(); }
    // A location's job duration, or 0 when it is not positive.
    std::int64_t job(std::size_t location) const noexcept { return job_[location]; }
    // The sum of the positive job durations: every tour's working time.
    std::int64_t working_total() const noexcept { return working_total_; }

    // The work at `location` begun at `t`: returns when it is done and adds
    // its lateness (finish past the end of the location's last window).
    std::int64_t work(std::int64_t t, std::size_t location, std::int64_t& lateness) const noexcept {
        const std::int64_t job = job_[location];
        if (job == 0) return t;
        const std::int64_t last = last_end_[location];
        if (t > last) {
            // Past every window: only the hours can hold the work up, and it is late.
            const std::int64_t finish = has_hours_ ? consume_open_time(t, job) : t + job;
            lateness += finish - last;
            return finish;
        }
        if (!has_hours_ && single_window_[location]) {
            // One window [s, e]: wait for s unless already past e; no deferral.
            const std::int64_t s = windows_.start[offset_[location]];
            const std::int64_t e = windows_.end[offset_[location]];
            const std::int64_t finish = (t <= e && t < s ? s : t) + job;
            if (finish > e) lateness += finish - e;
            return finish;
        }
        return work_in_general(t, location, job, lateness);
    }

    // The travel from `from` to `to` begun at `t`: returns its arrival.
    std::int64_t travel(std::int64_t t, std::size_t from, std::size_t to) const noexcept {
        const std::int64_t d = travel_[from * n_ + to];
        if (d == 0) return t;
        if (!has_hours_) return t + d;
        return consume_open_time(t, d);
    }

    // What the time path's bounds need to know of a location's windows.
    // The end of its last window, in list order (lateness is measured there).
    std::int64_t last_end(std::size_t location) const noexcept { return last_end_[location]; }
    bool single_window(std::size_t location) const noexcept { return single_window_[location] != 0; }
    bool has_hours() const noexcept { return has_hours_; }
    // Starts ascending, each window ending before the next starts.
    bool ordered(std::size_t location) const noexcept { return ordered_[location] != 0; }
    // When the work at `location` begun at `t` would be done if nothing but
    // the operating hours held it up once it can first start: at t, or at
    // the opening of the window it waits for. A work that ends exactly then
    // was not deferred nor held up by a window after that start.
    std::int64_t finish_held_by_hours_only(std::int64_t t, std::size_t location) const noexcept;
    // No window starts after the last window's end (true of sorted lists).
    bool starts_before_last_end(std::size_t location) const noexcept { return starts_before_last_end_[location] != 0; }

    // How much later an action of the current tour may start and still end
    // exactly that much later, every other figure unchanged: 0 when no delay
    // may, `unbounded` when any may. A delay up to that much moves the
    // action as a whole.
    static constexpr std::int64_t unbounded = INT64_MAX;
    // The travel from `from` to `to` begun at `t`: within the day's hours,
    // as far as its arrival stays clear of the close.
    std::int64_t travel_clear(std::int64_t t, std::size_t from, std::size_t to) const noexcept {
        const std::int64_t d = travel_[from * n_ + to];
        return d == 0 || !has_hours_ ? unbounded : hours_clear(t, d);
    }
    // The work at `location` begun at `t`, when it neither waits nor is
    // deferred nor cut by the close: past the last window's end, or inside
    // a window of an ordered list as far as it still ends inside it, or
    // inside the last one. `late` says whether its lateness then grows by
    // the delay too (its end lies past the last window's end).
    std::int64_t work_clear(std::int64_t t, std::size_t location, bool& late) const noexcept;

private:
    // Open at `t`, and `d` more seconds end by today's close: how far that
    // end is from the close; else 0.
    std::int64_t hours_clear(std::int64_t t, std::int64_t d) const noexcept {
        const std::int64_t time_of_day = time_of_day_of(t);
        if (time_of_day < open_ || d > close_ - time_of_day) return 0;
        return close_ - time_of_day - d;
    }
    std::int64_t work_in_general(std::int64_t t, std::size_t location, std::int64_t job,
                                 std::int64_t& lateness) const noexcept;
    // From `t`, the moment `d` > 0 seconds of operating hours have passed:
    // each step waits for the opening and is cut at the close.
    std::int64_t consume_open_time(std::int64_t t, std::int64_t d) const noexcept {
        const std::int64_t time_of_day = time_of_day_of(t);
        if (open_ <= time_of_day && d <= close_ - time_of_day) return t + d;  // within today's hours
        return consume_over_days(t, d);
    }
    std::int64_t consume_over_days(std::int64_t t, std::int64_t d) const noexcept;
    static std::int64_t time_of_day_of(std::int64_t t) noexcept {
        const std::int64_t r = t % 86'400;
        return r < 0 ? r + 86'400 : r;
    }
    // Until the hours are next open at `t`: 0 when open.
    std::int64_t closed_for(std::int64_t time_of_day) const noexcept {
        if (time_of_day < open_) return open_ - time_of_day;
        if (time_of_day < close_) return 0;
        return 86'400 + open_ - time_of_day;
    }

    struct Windows {
        std::vector<std::int64_t> start;  // all locations' windows, in list order
        std::vector<std::int64_t> end;
    };

    std::size_t n_;
    std::vector<std::int64_t> travel_;  // n × n, [from][to], negative durations as 0
    std::vector<std::int64_t> job_;     // negative durations as 0
    std::vector<std::int64_t> last_end_;
    Windows windows_;
    std::vector<std::size_t> offset_;  // a location's windows are [offset_[l], offset_[l + 1])
    std::vector<unsigned char> single_window_;
    std::vector<unsigned char> starts_before_last_end_;
    // Starts ascending and every window ending before the next starts: then
    // a moment inside the applicable window has that window applicable.
    std::vector<unsigned char> ordered_;
    std::int64_t working_total_ = 0;
    bool has_hours_ = false;
    std::int64_t open_ = 0;   // second of the day, inclusive
    std::int64_t close_ = 0;  // exclusive
};

}  // namespace tourloom::fast_evaluation
