#include "instances.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numeric>
#include <random>
#include <vector>

#include "penalizer.hpp"

namespace tourloom::bench {

namespace {

constexpr std::uint64_t hour = 3'600;
constexpr std::uint64_t day = 86'400;
constexpr std::uint64_t nov_15_2023 = 1'700'006'400;  // 00:00 UTC

}  // namespace

Instance random_instance(std::size_t n, bool with_time, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<double> x(n), y(n);
    for (std::size_t k = 0; k < n; ++k) {
        x[k] = static_cast<double>(rng() % 10'000);
        y[k] = static_cast<double>(rng() % 10'000);
    }
    Instance inst;
    inst.name = (with_time ? "random windows " : "random ") + std::to_string(n);
    RawMatrix& distances = inst.input.distance_matrix.emplace<RawMatrix>(n, RawList(n, 0));
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b)
            distances[a][b] = static_cast<std::uint64_t>(std::llround(std::hypot(x[a] - x[b], y[a] - y[b])));
    if (!with_time) return inst;

    RawMatrix durations(n, RawList(n, 0));
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) durations[a][b] = distances[a][b] / 10;
    RawList jobs(n);
    for (auto& job : jobs) job = 300 + rng() % 600;
    const RawPair hours{7 * hour, 19 * hour};

    output::Route hidden(n);
    std::iota(hidden.begin(), hidden.end(), std::size_t{0});
    std::shuffle(hidden.begin(), hidden.end(), rng);
    const RawTimeWindows open_all_month(n, std::vector<RawPair>{{nov_15_2023 + 7 * hour, nov_15_2023 + 30 * day}});
    const penalizer::Penalizer timing(penalties::distance::distance_matrix::DistanceMatrix(distances),
                                      penalties::time::time_input::transform(durations, jobs, open_all_month, hours));
    const auto schedule = timing.penalize(hidden, true).time_report->events;
    RawTimeWindows windows(n);
    for (const auto& e : schedule) {
        if (e.kind != penalties::time::time_output::Event::Kind::Work || !windows[e.location].empty()) continue;
        const auto served = static_cast<std::uint64_t>(e.window.start().unix_seconds());
        windows[e.location] = {{served - 1'800 - rng() % 3'600, served + 1'800 + rng() % 3'600}};
    }
    inst.input.duration_matrix = std::move(durations);
    inst.input.job_durations = std::move(jobs);
    inst.input.time_windows = std::move(windows);
    inst.input.operation_times = hours;
    return inst;
}

Instance delivery_instance(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    const auto uniform = [&](std::uint64_t lo, std::uint64_t hi) { return lo + rng() % (hi - lo + 1); };
    std::vector<double> x(n), y(n);
    for (std::size_t k = 0; k < n; ++k) {
        x[k] = static_cast<double>(rng() % 30'000);
        y[k] = static_cast<double>(rng() % 30'000);
    }
    Instance inst;
    inst.name = "delivery " + std::to_string(n);
    RawMatrix& distances = inst.input.distance_matrix.emplace<RawMatrix>(n, RawList(n, 0));
    RawMatrix durations(n, RawList(n, 0));
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < n; ++b) {
            if (a == b) continue;
            const double detour = 1.2 + 0.4 * static_cast<double>(rng() % 1'000) / 1'000.0;
            const auto metres = static_cast<std::uint64_t>(std::llround(detour * std::hypot(x[a] - x[b], y[a] - y[b])));
            distances[a][b] = metres;
            durations[a][b] = metres * 9 / 100;  // 40 km/h
        }
    }
    RawList jobs(n);
    std::uint64_t work = 0;
    for (auto& job : jobs) work += job = uniform(5 * 60, 2 * hour);
    // Ten open hours a day; travel and slack take about as long again as the work.
    const std::uint64_t days = std::max<std::uint64_t>(1, (2 * work) / (10 * hour) + 1);
    RawTimeWindows windows(n);
    for (std::size_t a = 0; a < n; ++a) {
        const std::size_t count = 1 + static_cast<std::size_t>(rng() % 3);
        std::vector<std::uint64_t> half_days;
        while (half_days.size() < std::min<std::uint64_t>(count, 2 * days)) {
            const std::uint64_t h = rng() % (2 * days);
            if (std::find(half_days.begin(), half_days.end(), h) == half_days.end()) half_days.push_back(h);
        }
        std::sort(half_days.begin(), half_days.end());
        for (const std::uint64_t h : half_days) {
            const std::uint64_t opening = nov_15_2023 + (h / 2) * day + (h % 2 == 0 ? 8 * hour : 13 * hour);
            const std::uint64_t length = uniform(hour, 3 * hour);
            const std::uint64_t from = opening + rng() % (5 * hour - length + 1);
            windows[a].push_back({from, from + length});
        }
    }
    inst.input.duration_matrix = std::move(durations);
    inst.input.job_durations = std::move(jobs);
    inst.input.time_windows = std::move(windows);
    inst.input.operation_times = RawPair{8 * hour, 18 * hour};
    return inst;
}

std::optional<Instance> classic_instance(const std::string& path) {
    std::ifstream in(path);
    std::size_t n = 0;
    if (!(in >> n) || n == 0) return std::nullopt;
    constexpr std::uint64_t k = 1'000;
    constexpr std::uint64_t base = 1'700'000'000;
    Instance inst;
    inst.name = path.substr(path.find_last_of('/') + 1);
    RawMatrix& distances = inst.input.distance_matrix.emplace<RawMatrix>(n, RawList(n, 0));
    RawMatrix durations(n, RawList(n, 0));
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < n; ++b) {
            double t = 0;
            if (!(in >> t)) return std::nullopt;
            const auto units = static_cast<std::uint64_t>(std::llround(t));
            distances[a][b] = units;
            durations[a][b] = units > 0 ? k * units - 1 : 0;
        }
    }
    RawTimeWindows windows(n);
    for (std::size_t a = 0; a < n; ++a) {
        double ready = 0, due = 0;
        if (!(in >> ready >> due)) return std::nullopt;
        if (a == 0) {
            windows[a] = {{base, base + 1}};
        } else {
            windows[a] = {{base + k * static_cast<std::uint64_t>(std::llround(ready)),
                           base + k * static_cast<std::uint64_t>(std::llround(due)) + k}};
        }
    }
    inst.input.duration_matrix = std::move(durations);
    inst.input.job_durations = RawList(n, 1);
    inst.input.time_windows = std::move(windows);
    return inst;
}

}  // namespace tourloom::bench
