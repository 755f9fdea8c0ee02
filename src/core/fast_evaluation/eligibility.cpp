#include "fast_evaluation/eligibility.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tourloom::fast_evaluation {

namespace {

// Saturating arithmetic on non-negative second counts: a saturated bound is
// simply "not provably safe".
constexpr std::int64_t saturated = std::numeric_limits<std::int64_t>::max();
std::int64_t add(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t out;
    return __builtin_add_overflow(a, b, &out) ? saturated : out;
}
std::int64_t mul(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t out;
    return __builtin_mul_overflow(a, b, &out) ? saturated : out;
}
// Whole seconds, rounded up; negative spans count as nothing (such actions do nothing).
std::int64_t positive_seconds(Span s) noexcept {
    if (!s.is_positive()) return 0;
    return s.nanos() > 0 ? add(s.seconds(), 1) : s.seconds();
}

}  // namespace

bool distance_path_eligible(const penalties::distance::distance_matrix::DistanceMatrix& distances) noexcept {
    return distances.is_square();
}

bool distance_fits_64_bits(const penalties::distance::distance_matrix::DistanceMatrix& distances) noexcept {
    if (!distances.is_square()) return false;
    const std::size_t n = distances.row_count();
    // n entries below 2^32 each: n × n of them are in memory, so n < 2^32.
    if (distances.width() != EntryWidth::Bits64) return true;
    std::uint64_t bound = 0;
    for (std::size_t a = 0; a < n; ++a) {
        std::uint64_t longest = 0;
        for (std::size_t b = 0; b < n; ++b) longest = std::max(longest, distances.unchecked(a, b));
        if (__builtin_add_overflow(bound, longest, &bound)) return false;
    }
    return true;
}

bool distance_is_symmetric(const penalties::distance::distance_matrix::DistanceMatrix& distances) noexcept {
    if (!distances.is_square()) return false;
    const std::size_t n = distances.row_count();
    // Tile by tile, so that the transposed reads stay within a few cache lines.
    constexpr std::size_t tile = 64;
    for (std::size_t a0 = 0; a0 < n; a0 += tile) {
        for (std::size_t b0 = 0; b0 <= a0; b0 += tile) {
            for (std::size_t a = a0; a < std::min(n, a0 + tile); ++a)
                for (std::size_t b = b0; b < std::min(a, b0 + tile); ++b)
                    if (distances.unchecked(a, b) != distances.unchecked(b, a)) return false;
        }
    }
    return true;
}

bool time_path_eligible(const penalties::distance::distance_matrix::DistanceMatrix& distances,
                        const penalties::time::time_input::TimeScheduler& scheduler) noexcept {
    if (!distances.is_square()) return false;
    const std::size_t n = distances.row_count();
    if (scheduler.duration_matrix.size() < n || scheduler.job_durations.size() < n || scheduler.time_windows.size() < n)
        return false;

    // A: all the work and travel any one tour can contain.
    std::int64_t amount = 0;
    for (std::size_t a = 0; a < n; ++a) {
        const auto& row = scheduler.duration_matrix[a];
        if (row.size() < n) return false;
        std::int64_t longest = 0;
        for (std::size_t b = 0; b < n; ++b) longest = std::max(longest, positive_seconds(row[b]));
        amount = add(amount, add(longest, positive_seconds(scheduler.job_durations[a])));
    }

    // The windows' span of time; every tour starts inside it.
    std::int64_t earliest = saturated;
    std::int64_t latest = std::numeric_limits<std::int64_t>::min();
    for (std::size_t a = 0; a < n; ++a) {
        const auto& windows = scheduler.time_windows[a].windows();
        if (windows.empty()) return false;
        for (const auto& w : windows) {
            earliest = std::min(earliest, w.start().unix_seconds());
            latest = std::max(latest, w.end().unix_seconds() + 1);
        }
    }

    // Waits for a window never carry the clock past the last window's end;
    // past it, only work, travel and the nightly closures move it. With
    // operating hours each action is cut into at most amount/open + 2 pieces,
    // each after at most a day's wait. Doubled for slack: real inputs are
    // many orders of magnitude inside these limits.
    std::int64_t nights = 0;
    if (scheduler.operation_times) {
        const std::int64_t open = std::max<std::int64_t>(
            1, (scheduler.operation_times->daily_end() - scheduler.operation_times->daily_start()).seconds());
        nights = add(amount / open, mul(4, static_cast<std::int64_t>(n) + 1));
    }
    const std::int64_t reach = mul(2, add(amount, mul(nights, 86'400)));
    const std::int64_t last_moment = add(latest, reach);
    if (last_moment >= Instant::max_unix_seconds) return false;

    // Lateness adds up over the tour; every other total is at most the tour's length.
    const std::int64_t longest_tour = last_moment - earliest;
    return mul(mul(longest_tour, static_cast<std::int64_t>(n) + 1), 2) < Span::max_whole_seconds;
}

}  // namespace tourloom::fast_evaluation
