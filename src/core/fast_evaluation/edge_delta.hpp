#pragma once
// The total of a candidate tour from the current tour's total, by the edges
// the move changes: O(1) per candidate, for any additive edge cost (distance,
// or the time spent travelling). A reversal flips the direction of the edges
// inside its segment, which on an asymmetric matrix changes their cost; the
// forward and backward prefix sums along the current route give both
// directions of any segment at once.
#include <cstddef>
#include <vector>

#include "local_moves.hpp"

namespace tourloom::fast_evaluation {

using local_moves::Route;
using local_moves::Shape;

// `Total` is an exact sum type with +, − (of a part of itself) and ordering;
// `Cost` maps (from, to) locations to a Total.
template <class Total, class Cost>
class EdgeDelta {
public:
    explicit EdgeDelta(Cost cost) : cost_(cost) {}

    // Recomputes the prefix sums for a new current route: O(n). Call after
    // every accepted candidate.
    void refresh(const Route& route) {
        const std::size_t n = route.size();
        route_ = &route;
        forward_.assign(n, Total{});
        backward_.assign(n, Total{});
        for (std::size_t e = 0; e + 1 < n; ++e) {
            forward_[e + 1] = forward_[e] + cost_(route[e], route[e + 1]);
            backward_[e + 1] = backward_[e] + cost_(route[e + 1], route[e]);
        }
        total_ = forward_[n - 1] + cost_(route[n - 1], route[0]);
    }

    const Total& total() const noexcept { return total_; }

    // The exact total of the tour the move (shape, k) with (i, j) would give.
    Total candidate_total(Shape shape, std::size_t k, std::size_t i, std::size_t j) const {
        switch (shape) {
            case Shape::Reverse: return candidate_total<Shape::Reverse>(k, i, j);
            case Shape::Swap: return candidate_total<Shape::Swap>(k, i, j);
            case Shape::RotateLeft: return candidate_total<Shape::RotateLeft>(k, i, j);
            case Shape::RotateRight: return candidate_total<Shape::RotateRight>(k, i, j);
        }
        return total_;
    }

    // The same with the shape fixed at compile time, for scans that call it
    // millions of times.
    template <Shape shape>
    Total candidate_total(std::size_t k, std::size_t i, std::size_t j) const {
        const Route& r = *route_;
        const std::size_t n = r.size();
        const auto next = [n](std::size_t p) { return p + 1 == n ? 0 : p + 1; };
        const auto moved = [&](std::size_t p) { return r[local_moves::source_position(shape, k, i, j, p)]; };
        const auto old_edge = [&](std::size_t e) { return cost_(r[e], r[next(e)]); };
        const auto new_edge = [&](std::size_t e) { return cost_(moved(e), moved(next(e))); };
        // The edge into the segment. It is the edge out of it too when the
        // segment is the whole route (i = 0, j = n − 1): count it once.
        const std::size_t before = i == 0 ? n - 1 : i - 1;
        const bool whole = before == j;

        Total removed = old_edge(before);
        Total added = new_edge(before);
        const auto change = [&](std::size_t old_position, std::size_t new_position) {
            removed = removed + old_edge(old_position);
            added = added + new_edge(new_position);
        };
        if constexpr (shape == Shape::Reverse) {
            if (!whole) change(j, j);
            removed = removed + (forward_[j] - forward_[i]);
            added = added + (backward_[j] - backward_[i]);
        } else if constexpr (shape == Shape::Swap) {  // j >= i + 3: the edges at i, j − 1 and j are distinct
            change(i, i);
            change(j - 1, j - 1);
            if (!whole) change(j, j);
        } else if constexpr (shape == Shape::RotateLeft) {  // the cut after k entries closes, the ends join
            change(i + k - 1, j - k);
            if (!whole) change(j, j);
        } else {
            change(j - k, i + k - 1);
            if (!whole) change(j, j);
        }
        return total_ - removed + added;
    }

private:
    Cost cost_;
    const Route* route_ = nullptr;
    std::vector<Total> forward_;   // forward_[p]: edges 0→1 … (p−1)→p as travelled
    std::vector<Total> backward_;  // the same edges travelled the other way
    Total total_{};
};

}  // namespace tourloom::fast_evaluation
