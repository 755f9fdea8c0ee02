#include "penalties/time/time_input.hpp"

namespace tourloom::penalties::time::time_input {

using time_windows::TimeWindow;

namespace {

// Counts of 2^63 and above wrap to negative values: a caller hands dates
// before 1970 and negative spans in as their two's complement.
std::int64_t as_signed(std::uint64_t v) noexcept { return static_cast<std::int64_t>(v); }

template <class Out, class In, class Convert>
std::vector<Out> convert_all(std::vector<In>&& in, Convert convert) {
    std::vector<Out> out;
    out.reserve(in.size());
    for (auto& item : in) out.push_back(convert(std::move(item)));
    std::vector<In>().swap(in);  // the raw input is not needed any more
    return out;
}

}  // namespace

Span seconds_to_span(std::uint64_t seconds) { return Span::from_seconds(as_signed(seconds)); }

Instant unix_seconds_to_instant(std::uint64_t seconds) {
    if (auto t = Instant::from_unix(as_signed(seconds))) return *t;
    panic(unwrap_none_message);
}

TimeOfDay seconds_to_time_of_day(std::uint64_t seconds) {
    return TimeOfDay::from_span_wrapping(seconds_to_span(seconds));
}

std::optional<TimeScheduler> transform(std::optional<RawTable> duration_matrix, std::optional<RawList> job_durations,
                                       std::optional<RawTimeWindows> time_windows,
                                       std::optional<RawPair> operation_times) {
    std::optional<DurationTable> durations;
    if (duration_matrix) durations.emplace(std::move(*duration_matrix), seconds_to_span);
    std::optional<std::vector<Span>> jobs;
    if (job_durations) jobs = convert_all<Span>(std::move(*job_durations), seconds_to_span);

    std::optional<std::vector<TimeWindows>> windows;
    if (time_windows) {
        windows = convert_all<TimeWindows>(std::move(*time_windows), [](std::vector<RawPair>&& pairs) {
            return TimeWindows(convert_all<TimeWindow>(std::move(pairs), [](RawPair p) {
                const Instant start = unix_seconds_to_instant(p.first);
                const Instant end = unix_seconds_to_instant(p.second);
                return TimeWindow(start, end);
            }));
        });
    }

    std::optional<OperationTimes> hours;
    if (operation_times) {
        const auto [s, e] = *operation_times;
        // A whole day (any 24-hour stretch) and an empty stretch both mean
        // "no restriction"; decided on the raw counts, wrap-around included.
        const bool unrestricted = e - s == 86'400 || e == s;
        if (!unrestricted) {
            const TimeOfDay daily_start = seconds_to_time_of_day(s);
            const TimeOfDay daily_end = seconds_to_time_of_day(e);
            hours = OperationTimes(daily_start, daily_end);
        }
    }

    if (!durations || !jobs || !windows) return std::nullopt;
    return TimeScheduler{std::move(*durations), std::move(*jobs), std::move(*windows), hours};
}

}  // namespace tourloom::penalties::time::time_input
