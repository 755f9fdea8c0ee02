#include "time/span.hpp"

#include "panic.hpp"

namespace tourloom {

Span Span::from_seconds(std::int64_t seconds) {
    if (seconds < -max_whole_seconds || seconds > max_whole_seconds) panic("TimeDelta::seconds out of bounds");
    return Span(seconds, 0);
}

Span Span::from_nanoseconds(std::int64_t nanoseconds) noexcept {
    const std::int64_t s = nanoseconds / nanos_per_second;
    std::int64_t n = nanoseconds % nanos_per_second;
    Span span = n < 0 ? Span(s - 1, static_cast<std::int32_t>(n + nanos_per_second)) : Span(s, static_cast<std::int32_t>(n));
    if (span < min()) return min();
    if (span > max()) return max();
    return span;
}

std::optional<std::int64_t> Span::whole_microseconds() const noexcept {
    // Truncate toward zero: a negative span with a fraction counts its
    // fraction back from the next whole second up.
    std::int64_t secs = seconds_;
    std::int64_t micros = nanos_ / 1'000;
    if (secs < 0 && nanos_ > 0) {
        secs += 1;
        micros = -((nanos_per_second - nanos_) / 1'000);
    }
    std::int64_t out = 0;
    if (__builtin_mul_overflow(secs, std::int64_t{1'000'000}, &out)) return std::nullopt;
    if (__builtin_add_overflow(out, micros, &out)) return std::nullopt;
    return out;
}

Span Span::operator+(Span other) const {
    if (auto s = checked_sum(*this, other)) return *s;
    panic("`TimeDelta + TimeDelta` overflowed");
}

Span Span::operator-(Span other) const {
    if (auto s = checked_difference(*this, other)) return *s;
    panic("`TimeDelta - TimeDelta` overflowed");
}

}  // namespace tourloom
