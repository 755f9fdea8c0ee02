#include "penalties/time/time_windows.hpp"

#include "panic.hpp"

namespace tourloom::penalties::time::time_windows {

TimeWindow::TimeWindow(Instant start, Instant end) : start_(start), end_(end) {
    if (start > end) panic("assertion failed: start <= end");
}

std::optional<NextWindow> TimeWindows::next_window(Instant t) const noexcept {
    const auto& w = windows_;
    if (w.empty() || t > w.back().end()) return std::nullopt;

    // Binary search on the starts, step by step as a sorted-slice search
    // does it: with equal starts the window it lands on is part of the result.
    std::size_t size = w.size();
    std::size_t base = 0;
    while (size > 1) {
        const std::size_t half = size / 2;
        const std::size_t mid = base + half;
        if (!(w[mid].start() > t)) base = mid;
        size -= half;
    }
    if (w[base].start() == t) return NextWindow{&w[base], Span::zero()};
    const std::size_t i = w[base].start() < t ? base + 1 : base;

    if (i > 0 && w[i - 1].start() <= t && t <= w[i - 1].end()) return NextWindow{&w[i - 1], Span::zero()};
    // i < size: when i is one past the end, w[i - 1] is the last window and
    // holds t (t is not after its end and its start is not after t).
    const TimeWindow& next = w[i];
    return NextWindow{&next, t < next.start() ? next.start() - t : Span::zero()};
}

}  // namespace tourloom::penalties::time::time_windows
