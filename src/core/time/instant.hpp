#pragma once
// A UTC instant with nanosecond resolution on the proleptic Gregorian
// calendar. Stored as Unix seconds (floored) plus a nanosecond part, which
// orders exactly as (date, second of day, nanosecond) does.
//
// Representable instants run from −8334601315200 Unix seconds (midnight that
// starts 31 December of year −262144) to 8210266876799 Unix seconds plus any
// fraction (the last second of year 262142). Every operation that would leave
// this range panics with the message it owns.
#include <compare>
#include <cstdint>
#include <optional>
#include <string>

#include "time/civil.hpp"
#include "time/span.hpp"
#include "time/time_of_day.hpp"

namespace tourloom {

class Instant {
public:
    static constexpr std::int64_t min_unix_seconds = -8'334'601'315'200;
    static constexpr std::int64_t max_unix_seconds = 8'210'266'876'799;

    constexpr Instant() noexcept = default;  // 1970-01-01T00:00:00Z

    // nullopt outside the representable range, or for nanos >= 10^9.
    static constexpr std::optional<Instant> from_unix(std::int64_t seconds, std::uint32_t nanos = 0) noexcept {
        if (seconds < min_unix_seconds || seconds > max_unix_seconds || nanos >= 1'000'000'000U) return std::nullopt;
        return Instant(seconds, nanos);
    }

    // Unix seconds, the fraction dropped (rounded down, also before 1970).
    constexpr std::int64_t unix_seconds() const noexcept { return seconds_; }
    constexpr std::uint32_t nanos() const noexcept { return nanos_; }
    constexpr std::int64_t days_since_epoch() const noexcept { return civil::floor_div(seconds_, civil::seconds_per_day); }
    constexpr TimeOfDay time_of_day() const noexcept {
        return TimeOfDay(static_cast<std::uint32_t>(civil::floor_mod(seconds_, civil::seconds_per_day)), nanos_);
    }

    // Panics "`DateTime + TimeDelta` overflowed" / "`DateTime - TimeDelta` overflowed".
    Instant operator+(Span span) const;
    Instant operator-(Span span) const;
    // The exact signed span between two instants (always within the span range).
    Span operator-(Instant other) const noexcept;

    friend constexpr auto operator<=>(const Instant&, const Instant&) = default;

    // ISO 8601 in UTC ("2023-11-14T22:13:20Z", a fraction only when present), for diagnostics and tests.
    std::string to_string() const;

private:
    constexpr Instant(std::int64_t seconds, std::uint32_t nanos) noexcept : seconds_(seconds), nanos_(nanos) {}
    static std::optional<Instant> shifted(Instant at, std::int64_t seconds, std::int64_t nanos) noexcept;

    std::int64_t seconds_ = 0;
    std::uint32_t nanos_ = 0;
};

// The range ends are the calendar's, not magic numbers.
static_assert(Instant::min_unix_seconds == civil::days_from_civil(-262'144, 12, 31) * civil::seconds_per_day);
static_assert(Instant::max_unix_seconds == civil::days_from_civil(262'142, 12, 31) * civil::seconds_per_day + 86'399);

}  // namespace tourloom
