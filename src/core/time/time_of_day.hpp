#pragma once
// A UTC time of day: second of the day in [0, 86399] plus a nanosecond part.
// A day has exactly 86400 seconds: no time zones, no leap seconds.
#include <compare>
#include <cstdint>

#include "time/span.hpp"

namespace tourloom {

class TimeOfDay {
public:
    constexpr TimeOfDay() noexcept = default;
    // Precondition: second < 86400, nanos < 10^9.
    constexpr TimeOfDay(std::uint32_t second, std::uint32_t nanos = 0) noexcept : second_(second), nanos_(nanos) {}

    // Midnight plus a span, wrapping around whole days (a negative span counts back from midnight).
    static TimeOfDay from_span_wrapping(Span span) noexcept;

    constexpr std::uint32_t second() const noexcept { return second_; }
    constexpr std::uint32_t nanos() const noexcept { return nanos_; }

    // The plain signed difference, strictly between −86400 s and +86400 s.
    friend Span operator-(TimeOfDay a, TimeOfDay b) noexcept;
    friend constexpr auto operator<=>(const TimeOfDay&, const TimeOfDay&) = default;

private:
    std::uint32_t second_ = 0;
    std::uint32_t nanos_ = 0;
};

}  // namespace tourloom
