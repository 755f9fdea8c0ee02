#pragma once
// Shared helpers for the core tests: readable instants and spans on one day,
// and the panic expectation that compares whole messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "panic.hpp"
#include "time/instant.hpp"
#include "time/span.hpp"

namespace tourloom {

// 2023-11-15 00:00:00 UTC = 19676 days after 1970-01-01 (19676 · 86400).
inline constexpr std::int64_t test_day = 1'700'006'400;

inline Span secs(std::int64_t s) { return Span::from_seconds(s); }
inline Span mins(std::int64_t m) { return secs(m * 60); }
inline Span hrs(std::int64_t h) { return secs(h * 3600); }

inline Instant unix_at(std::int64_t seconds, std::uint32_t nanos = 0) { return *Instant::from_unix(seconds, nanos); }
// hh:mm on the test day; day_offset shifts by whole days.
inline Instant clock(int hh, int mm = 0, int day_offset = 0) {
    return unix_at(test_day + day_offset * 86'400 + hh * 3'600 + mm * 60);
}

inline void PrintTo(const Span& s, std::ostream* os) { *os << s.seconds() << "s+" << s.nanos() << "ns"; }
inline void PrintTo(const Instant& t, std::ostream* os) { *os << t.to_string(); }

// Runs `f` and expects a Panic carrying exactly `message`.
template <class F>
::testing::AssertionResult panics_with(F&& f, const std::string& message) {
    try {
        f();
    } catch (const Panic& p) {
        if (p.message() == message) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "panicked with \"" << p.message() << "\", expected \"" << message << "\"";
    }
    return ::testing::AssertionFailure() << "did not panic, expected \"" << message << "\"";
}

}  // namespace tourloom
