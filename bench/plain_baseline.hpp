#pragma once
// The searches as a competent first implementation would write them, as the
// yardstick of the benchmarks: every candidate built on a copy of the route
// and evaluated in full, accepted when strictly better, in the same order of
// neighbourhoods and pairs as the solver. Only for benchmark inputs, which
// are square and whose tours' totals fit in 64 bits.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <utility>

#include "local_moves.hpp"
#include "raw_input.hpp"

namespace tourloom::bench {

struct PlainDescent {
    local_moves::Route route;
    std::uint64_t total = 0;
    std::uint64_t candidates = 0;
    bool cut = false;  // stopped by the budget before the descent ended
};

inline std::uint64_t plain_tour_length(const RawMatrix& m, const local_moves::Route& route) {
    std::uint64_t total = 0;
    for (std::size_t p = 0; p + 1 < route.size(); ++p) total += m[route[p]][route[p + 1]];
    return total + m[route.back()][route.front()];
}

// One descent from `route` by distance alone: sweeps until one accepts
// nothing, or until the process has used `budget_seconds` of processor time
// in it (tested every 4096 candidates; processor time, so that a shared
// machine's other work does not shorten the run).
inline PlainDescent plain_distance_descent(const RawMatrix& m, local_moves::Route route, double budget_seconds) {
    const std::clock_t deadline =
        std::clock() + static_cast<std::clock_t>(budget_seconds * static_cast<double>(CLOCKS_PER_SEC));
    PlainDescent out;
    out.total = plain_tour_length(m, route);
    const std::size_t n = route.size();
    for (bool improved = true; improved;) {
        improved = false;
        for (const auto& neighbourhood : local_moves::sweep_order) {
            for (std::size_t i = 0; i + neighbourhood.min_gap < n; ++i) {
                for (std::size_t j = i + neighbourhood.min_gap; j < n; ++j) {
                    if (++out.candidates % 4096 == 0 && std::clock() > deadline) {
                        out.cut = true;
                        out.route = std::move(route);
                        return out;
                    }
                    local_moves::Route candidate = route;
                    neighbourhood.move(candidate, i, j);
                    const std::uint64_t total = plain_tour_length(m, candidate);
                    if (total < out.total) {
                        route = std::move(candidate);
                        out.total = total;
                        improved = true;
                    }
                }
            }
        }
    }
    out.route = std::move(route);
    return out;
}

}  // namespace tourloom::bench
