#pragma once
// The plain baseline of the time-model search: what a competent first
// implementation writes. Every candidate is a fresh copy of the route with
// the move applied, simulated in full on 64-bit second counts and ranked;
// the first improvement is taken on the spot. Same candidates in the same
// order as the solver, so the two must end on the same route.
#include <chrono>
#include <cstdint>
#include <utility>

#include "fast_evaluation/plain_time.hpp"
#include "local_moves.hpp"
#include "ranking.hpp"
#include "raw_input.hpp"

namespace tourloom::bench {

struct PlainDescent {
    local_moves::Route route;
    std::uint64_t candidates = 0;
    bool cut = false;  // stopped by the budget (tested between sweeps) before the descent ended
};

inline PlainDescent plain_time_descent(const fast_evaluation::PlainTimeModel& model, const RawMatrix& distances,
                                       local_moves::Route route, double budget_seconds) {
    using Rank = ranking::Ranking<std::int64_t, std::uint64_t>;
    const std::size_t n = route.size();
    const auto evaluate = [&](const local_moves::Route& r) {
        const std::int64_t start = model.tour_start(r[0]);
        std::int64_t clock = start, lateness = 0, traveling = 0;
        std::uint64_t distance = 0;
        for (std::size_t p = 0; p < n; ++p) {
            const std::size_t here = r[p], next = r[p + 1 == n ? 0 : p + 1];
            clock = model.work(clock, here, lateness);
            clock = model.travel(clock, here, next);
            traveling += model.travel_time(here, next);
            distance += distances[here][next];
        }
        const std::int64_t duration = clock - start;
        return Rank{lateness, traveling, duration, duration - model.working_total() - traveling, distance};
    };

    const auto t0 = std::chrono::steady_clock::now();
    PlainDescent out;
    Rank current = evaluate(route);
    for (bool accepted = true; accepted;) {
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() > budget_seconds) {
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
