#pragma once
// The plain baseline of the time-model search: what a competent first
// implementation writes. Every candidate is a fresh copy of the route with
// the move applied, simulated in full on 64-bit second counts by the
// simulation loop written out directly (no shortcuts), and ranked; the first
// improvement is taken on the spot. Same candidates in the same order as the
// solver, so the two must end on the same route.
#include <ctime>
#include <cstdint>
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "local_moves.hpp"
#include "plain_baseline.hpp"
#include "penalties/time/time_input.hpp"
#include "ranking.hpp"
#include "raw_input.hpp"

namespace tourloom::bench {


// The time model as plain numbers: seconds, Unix seconds, seconds of the day.
struct PlainModel {
    std::size_t n = 0;
    std::vector<std::int64_t> travel;  // n × n
    std::vector<std::int64_t> job;
    std::vector<std::vector<std::pair<std::int64_t, std::int64_t>>> windows;
    bool hours = false;
    std::int64_t open = 0, close = 0;

    explicit PlainModel(const penalties::time::time_input::TimeScheduler& s) : n(s.job_durations.size()) {
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < n; ++b) travel.push_back(s.duration_matrix[a][b].seconds());
        for (std::size_t a = 0; a < n; ++a) {
            job.push_back(s.job_durations[a].seconds());
            windows.emplace_back();
            for (const auto& w : s.time_windows[a].windows())
                windows.back().emplace_back(w.start().unix_seconds(), w.end().unix_seconds());
        }
        if (s.operation_times) {
            hours = true;
            open = s.operation_times->daily_start().second();
            close = s.operation_times->daily_end().second();
        }
    }

    // The window that applies at t, by the same binary search as the solver
    // (its choice among equal starts is part of the result); -1 for none.
    std::ptrdiff_t next_window(std::size_t loc, std::int64_t t, std::int64_t& wait) const {
        const auto& w = windows[loc];
        wait = 0;
        if (w.empty() || t > w.back().second) return -1;
        std::size_t size = w.size(), base = 0;
        while (size > 1) {
            const std::size_t half = size / 2;
            if (!(w[base + half].first > t)) base += half;
            size -= half;
        }
        if (w[base].first == t) return static_cast<std::ptrdiff_t>(base);
        const std::size_t i = w[base].first < t ? base + 1 : base;
        if (i > 0 && w[i - 1].first <= t && t <= w[i - 1].second) return static_cast<std::ptrdiff_t>(i - 1);
        if (t < w[i].first) wait = w[i].first - t;
        return static_cast<std::ptrdiff_t>(i);
    }

    // One action from t: waits for the window (work only) and the hours,
    // defers work that would end in another window, cuts at the close.
    // Written out apart from the solver's kernel on purpose: the baseline is
    // what a first implementation writes, and it checks the kernel's search.
    std::int64_t act(std::int64_t t, std::int64_t duration, std::ptrdiff_t loc, std::int64_t& lateness) const {
        std::int64_t current = t, remaining = duration;
        while (remaining > 0) {
            if (loc >= 0) {
                std::int64_t wait = 0, wait2 = 0;
                const std::ptrdiff_t found = next_window(static_cast<std::size_t>(loc), current, wait);
                if (found >= 0) {
                    current += wait;
                    const std::ptrdiff_t at_end = next_window(static_cast<std::size_t>(loc), current + remaining, wait2);
                    const auto& w = windows[static_cast<std::size_t>(loc)];
                    if (at_end >= 0 && w[static_cast<std::size_t>(at_end)] != w[static_cast<std::size_t>(found)]) {
                        current += wait2 + remaining;
                        continue;
                    }
                }
            }
            std::int64_t step = remaining;
            if (hours) {
                const std::int64_t day = ((current % 86'400) + 86'400) % 86'400;
                const std::int64_t closed = day < open ? open - day : day < close ? 0 : 86'400 + open - day;
                if (closed > 0) {
                    current += closed;
                    continue;
                }
                step = std::min(step, close - day);
            }
            current += step;
            remaining -= step;
            if (remaining <= 0 && loc >= 0) {
                const auto& w = windows[static_cast<std::size_t>(loc)];
                if (!w.empty() && current > w.back().second) lateness += current - w.back().second;
            }
        }
        return current;
    }
};

inline PlainDescent plain_time_descent(const penalties::time::time_input::TimeScheduler& scheduler,
                                       const RawMatrix& distances, local_moves::Route route, double budget_seconds) {
    using Rank = ranking::Ranking<std::int64_t, std::uint64_t>;
    const PlainModel model(scheduler);
    const std::size_t n = route.size();
    const auto evaluate = [&](const local_moves::Route& r) {
        const std::int64_t start = model.windows[r[0]].front().first;
        std::int64_t clock = start, lateness = 0, working = 0, traveling = 0;
        std::uint64_t distance = 0;
        for (std::size_t p = 0; p < n; ++p) {
            const std::size_t here = r[p], next = r[p + 1 == n ? 0 : p + 1];
            const std::int64_t job = model.job[here], drive = model.travel[here * n + next];
            clock = model.act(clock, job, static_cast<std::ptrdiff_t>(here), lateness);
            clock = model.act(clock, drive, -1, lateness);
            working += std::max<std::int64_t>(job, 0);
            traveling += std::max<std::int64_t>(drive, 0);
            distance += distances[here][next];
        }
        const std::int64_t duration = clock - start;
        return Rank{lateness, traveling, duration, duration - working - traveling, distance};
    };

    // Processor time, so that a shared machine cuts it where a quiet one would.
    const std::clock_t deadline =
        std::clock() + static_cast<std::clock_t>(budget_seconds * static_cast<double>(CLOCKS_PER_SEC));
    PlainDescent out;
    Rank current = evaluate(route);
    for (bool accepted = true; accepted;) {
        if (std::clock() > deadline) {
            out.cut = true;
            break;
        }
        accepted = false;
        for (const auto& nb : local_moves::sweep_order) {
            for (std::size_t i = 0; i + nb.min_gap < n; ++i) {
                for (std::size_t j = i + nb.min_gap; j < n; ++j) {
                    local_moves::Route candidate = route;
                    nb.move(candidate, i, j);
                    const Rank rank = evaluate(candidate);
                    ++out.candidates;
                    if (rank < current) {
                        route = std::move(candidate);
                        current = rank;
                        accepted = true;
                    }
                }
            }
        }
    }
    out.route = std::move(route);
    return out;
}

}  // namespace tourloom::bench
