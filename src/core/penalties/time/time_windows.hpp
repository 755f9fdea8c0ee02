#pragma once
// A location's time windows: the stretches of calendar time in which work
// there may be done. The same `TimeWindow` is the interval of every schedule
// event.
#include <cstddef>
#include <optional>
#include <vector>

#include "time/instant.hpp"
#include "time/span.hpp"

namespace tourloom::penalties::time::time_windows {

// [start, end], both ends inclusive; start <= end always holds.
class TimeWindow {
public:
    // Panics "assertion failed: start <= end" when start is later than end.
    TimeWindow(Instant start, Instant end);

    Instant start() const noexcept { return start_; }
    Instant end() const noexcept { return end_; }
    friend bool operator==(const TimeWindow&, const TimeWindow&) = default;

private:
    Instant start_;
    Instant end_;
};

// The window that applies at a moment, and how long until it opens (zero when
// the moment is inside it).
struct NextWindow {
    const TimeWindow* window;
    Span wait;
};

// One location's windows, in the caller's order: no sorting, merging or
// de-duplication. `next_window` expects ascending, non-overlapping windows;
// for other lists it still answers deterministically. Empty means no window
// is imposed.
class TimeWindows {
public:
    TimeWindows() = default;
    explicit TimeWindows(std::vector<TimeWindow> windows) : windows_(std::move(windows)) {}

    // nullopt when the list is empty or t is later than the end of the last
    // window; otherwise the window holding t (zero wait) or the next one to
    // open. O(log n), no allocation; the window is returned by reference.
    // Among windows sharing a start, the binary search below decides which is
    // found, and callers rely on that exact choice.
    std::optional<NextWindow> next_window(Instant t) const noexcept;

    bool empty() const noexcept { return windows_.empty(); }
    std::size_t size() const noexcept { return windows_.size(); }
    const TimeWindow& operator[](std::size_t i) const noexcept { return windows_[i]; }
    const TimeWindow& back() const noexcept { return windows_.back(); }
    const std::vector<TimeWindow>& windows() const noexcept { return windows_; }

private:
    std::vector<TimeWindow> windows_;
};

}  // namespace tourloom::penalties::time::time_windows
