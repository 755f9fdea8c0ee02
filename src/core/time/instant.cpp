#include "time/instant.hpp"

#include <cstdio>

#include "panic.hpp"

namespace tourloom {

std::optional<Instant> Instant::shifted(Instant at, std::int64_t seconds, std::int64_t nanos) noexcept {
    // Magnitudes: |seconds_| < 2^43 and |seconds| < 2^54, so the sum cannot wrap.
    std::int64_t s = at.seconds_ + seconds;
    std::int64_t n = static_cast<std::int64_t>(at.nanos_) + nanos;  // in (−10^9, 2·10^9)
    if (n >= 1'000'000'000) { n -= 1'000'000'000; ++s; }
    if (n < 0) { n += 1'000'000'000; --s; }
    return from_unix(s, static_cast<std::uint32_t>(n));
}

Instant Instant::operator+(Span span) const {
    if (auto r = shifted(*this, span.seconds(), span.nanos())) return *r;
    panic("`DateTime + TimeDelta` overflowed");
}

Instant Instant::operator-(Span span) const {
    if (auto r = shifted(*this, -span.seconds(), -static_cast<std::int64_t>(span.nanos()))) return *r;
    panic("`DateTime - TimeDelta` overflowed");
}

Span Instant::operator-(Instant other) const noexcept {
    std::int64_t s = seconds_ - other.seconds_;
    auto n = static_cast<std::int32_t>(nanos_) - static_cast<std::int32_t>(other.nanos_);
    if (n < 0) { n += Span::nanos_per_second; --s; }
    return *Span::from_parts(s, n);  // |s| < 2^44: always in range
}

std::string Instant::to_string() const {
    const civil::Date d = civil::civil_from_days(days_since_epoch());
    const std::uint32_t sod = time_of_day().second();
    char buf[64];
    if (nanos_ == 0) {
        std::snprintf(buf, sizeof buf, "%lld-%02u-%02uT%02u:%02u:%02uZ", static_cast<long long>(d.year), d.month, d.day,
                      sod / 3600, sod / 60 % 60, sod % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%lld-%02u-%02uT%02u:%02u:%02u.%09uZ", static_cast<long long>(d.year), d.month,
                      d.day, sod / 3600, sod / 60 % 60, sod % 60, nanos_);
    }
    return buf;
}

}  // namespace tourloom
