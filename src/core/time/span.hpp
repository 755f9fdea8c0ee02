#pragma once
// A signed time span: whole seconds plus a nanosecond part in [0, 999999999],
// ordered by seconds, then nanoseconds. The range is ±(2^63 − 1) milliseconds,
// that is from −9223372036854775.807 s to +9223372036854775.807 s; every
// operation that would leave it panics with the message the operation owns.
#include <compare>
#include <cstdint>
#include <optional>

namespace tourloom {

class Span {
public:
    // The largest whole-second count that converts: i64::MAX / 1000, truncated.
    static constexpr std::int64_t max_whole_seconds = INT64_MAX / 1'000;  // 9223372036854775
    static constexpr std::int32_t nanos_per_second = 1'000'000'000;

    constexpr Span() noexcept = default;

    // Whole seconds; panics "TimeDelta::seconds out of bounds" when
    // |seconds| > 9223372036854775.
    static Span from_seconds(std::int64_t seconds);
    // Seconds and a nanosecond part in [0, 999999999]; nullopt outside the range.
    static constexpr std::optional<Span> from_parts(std::int64_t seconds, std::int32_t nanos) noexcept {
        if (nanos < 0 || nanos >= nanos_per_second) return std::nullopt;
        const Span s(seconds, nanos);
        if (s < min() || s > max()) return std::nullopt;
        return s;
    }
    // A count of nanoseconds (as a steady clock gives), saturating at the range ends.
    static Span from_nanoseconds(std::int64_t nanoseconds) noexcept;

    static constexpr Span zero() noexcept { return Span(); }
    static constexpr Span min() noexcept { return Span(-max_whole_seconds - 1, 193'000'000); }
    static constexpr Span max() noexcept { return Span(max_whole_seconds, 807'000'000); }

    constexpr std::int64_t seconds() const noexcept { return seconds_; }
    constexpr std::int32_t nanos() const noexcept { return nanos_; }
    constexpr bool is_positive() const noexcept { return *this > Span(); }

    // Whole seconds truncated toward zero (−1.5 s gives −1, −0.5 s gives 0).
    constexpr std::int64_t whole_seconds() const noexcept {
        return (seconds_ < 0 && nanos_ > 0) ? seconds_ + 1 : seconds_;
    }
    // Whole microseconds truncated toward zero; nullopt when that does not fit in 64 bits.
    std::optional<std::int64_t> whole_microseconds() const noexcept;

    // Panics "`TimeDelta + TimeDelta` overflowed" / "`TimeDelta - TimeDelta` overflowed".
    Span operator+(Span other) const;
    Span operator-(Span other) const;
    Span& operator+=(Span other) { return *this = *this + other; }
    Span& operator-=(Span other) { return *this = *this - other; }

    friend constexpr auto operator<=>(const Span&, const Span&) = default;

private:
    constexpr Span(std::int64_t seconds, std::int32_t nanos) noexcept : seconds_(seconds), nanos_(nanos) {}
    static constexpr std::optional<Span> checked_sum(Span a, Span b) noexcept {
        std::int64_t s = a.seconds_ + b.seconds_;  // both below 2^54 in magnitude: cannot wrap
        std::int32_t n = a.nanos_ + b.nanos_;
        if (n >= nanos_per_second) { n -= nanos_per_second; ++s; }
        return from_parts(s, n);
    }
    static constexpr std::optional<Span> checked_difference(Span a, Span b) noexcept {
        std::int64_t s = a.seconds_ - b.seconds_;
        std::int32_t n = a.nanos_ - b.nanos_;
        if (n < 0) { n += nanos_per_second; --s; }
        return from_parts(s, n);
    }

    std::int64_t seconds_ = 0;
    std::int32_t nanos_ = 0;
};

}  // namespace tourloom
