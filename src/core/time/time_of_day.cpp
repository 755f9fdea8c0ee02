#include "time/time_of_day.hpp"

#include "time/civil.hpp"

namespace tourloom {

TimeOfDay TimeOfDay::from_span_wrapping(Span span) noexcept {
    return TimeOfDay(static_cast<std::uint32_t>(civil::floor_mod(span.seconds(), civil::seconds_per_day)),
                     static_cast<std::uint32_t>(span.nanos()));
}

Span operator-(TimeOfDay a, TimeOfDay b) noexcept {
    const std::int64_t s = static_cast<std::int64_t>(a.second_) - static_cast<std::int64_t>(b.second_);
    const std::int64_t n = static_cast<std::int64_t>(a.nanos_) - static_cast<std::int64_t>(b.nanos_);
    return Span::from_nanoseconds(s * 1'000'000'000 + n);  // |value| < 86400·10^9: exact
}

}  // namespace tourloom
