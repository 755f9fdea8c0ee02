#pragma once
// Proleptic Gregorian calendar arithmetic on day counts relative to
// 1970-01-01, over the whole 64-bit range the instants need (a few hundred
// thousand years either side). The standard library's calendar types stop at
// year ±32767, so the era-based algorithms are written out here.
//
// Years use astronomical numbering (year 0 is 1 BC). Days count from
// 1970-01-01 = day 0. The 400-year era has 146097 days.
#include <cstdint>

namespace tourloom::civil {

struct Date {
    std::int64_t year;
    unsigned month;  // [1, 12]
    unsigned day;    // [1, 31]
    friend constexpr bool operator==(const Date&, const Date&) = default;
};

inline constexpr std::int64_t seconds_per_day = 86'400;

// Days from 1970-01-01 to y-m-d. Precondition: the date exists and |y| < 2^50.
constexpr std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2 ? 1 : 0;                                                          // the year starts in March
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;                       // floored division
    const auto yoe = static_cast<unsigned>(y - era * 400);                       // [0, 399]
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;        // [0, 365]
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;                   // [0, 146096]
    return era * 146'097 + static_cast<std::int64_t>(doe) - 719'468;             // 719468: 0000-03-01 to 1970-01-01
}

// The date that lies z days after 1970-01-01 (before it for negative z).
constexpr Date civil_from_days(std::int64_t z) noexcept {
    z += 719'468;                                                                 // days since 0000-03-01
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;               // floored division
    const auto doe = static_cast<unsigned>(z - era * 146'097);                   // [0, 146096]
    const unsigned yoe = (doe - doe / 1'460 + doe / 36'524 - doe / 146'096) / 365;  // [0, 399]
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
    const unsigned mp = (5 * doy + 2) / 153;                                      // [0, 11], March = 0
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;                              // [1, 31]
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;                                 // [1, 12]
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
    return {y, m, d};
}

// Floored division and remainder by a positive divisor: the remainder is
// never negative, so a moment before 1970 still has a time of day in [0, 86399].
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) noexcept {
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
constexpr std::int64_t floor_mod(std::int64_t a, std::int64_t b) noexcept { return a - floor_div(a, b) * b; }

}  // namespace tourloom::civil
