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
        return local_moves::with_shape(shape, [&](auto s) { return candidate_total<s.value>(k, i, j); });
    }

    // The same with the shape fixed at compile time, for scans that call it
    // millions of times. Each shape names the edges it removes and adds
    // directly, by position in the current route (b is the position before
    // the segment, after the one after it):
    //   reverse       b→i, i..j forward, j→after   becomes  b→j, j..i backward, i→after
    //   swap          b→i, i→i+1, j−1→j, j→after   becomes  b→j, j→i+1, j−1→i, i→after
    //   rotate left   b→i, i+k−1→i+k, j→after      becomes  b→i+k, j→i, i+k−1→after
    //   rotate right  b→i, j−k→j−k+1, j→after      becomes  b→j−k+1, j→i, j−k→after
    // When the segment is the whole route, b→i and j→after are the same
    // edge (the closing one): it is counted once.
    template <Shape shape>
    Total candidate_total(std::size_t k, std::size_t i, std::size_t j) const {
        const Route& r = *route_;
        const std::size_t n = r.size();
        const std::size_t b = i == 0 ? n - 1 : i - 1;
        const bool whole = b == j;
        const std::size_t after = j + 1 == n ? 0 : j + 1;
        const auto d = [&](std::size_t from, std::size_t to) { return cost_(r[from], r[to]); };

        Total removed{}, added{};
        if constexpr (shape == Shape::Reverse) {
            if (whole) {
                removed = d(j, i);
                added = d(i, j);
            } else {
                removed = d(b, i) + d(j, after);
                added = d(b, j) + d(i, after);
            }
            removed = removed + (forward_[j] - forward_[i]);
            added = added + (backward_[j] - backward_[i]);
        } else if constexpr (shape == Shape::Swap) {  // j >= i + 3
            removed = d(i, i + 1) + d(j - 1, j);
            added = d(j, i + 1) + d(j - 1, i);
            if (whole) {
                removed = removed + d(j, i);
                added = added + d(i, j);
            } else {
                removed = removed + d(b, i) + d(j, after);
                added = added + d(b, j) + d(i, after);
            }
        } else if constexpr (shape == Shape::RotateLeft) {
            if (whole) return total_;  // the same cycle, started elsewhere
            removed = d(b, i) + d(i + k - 1, i + k) + d(j, after);
            added = d(b, i + k) + d(j, i) + d(i + k - 1, after);
        } else {
            if (whole) return total_;
            removed = d(b, i) + d(j - k, j - k + 1) + d(j, after);
            added = d(b, j - k + 1) + d(j, i) + d(j - k, after);
        }
        return total_ - removed + added;
    }

    // The first j in [from, n) whose candidate (shape, k, i, j) has a
    // smaller total than the current tour, or n when there is none.
    template <Shape shape>
    std::size_t first_improving(std::size_t k, std::size_t i, std::size_t from) const {
        const std::size_t n = route_->size();
        for (std::size_t j = from; j < n; ++j)
            if (candidate_total<shape>(k, i, j) < total_) return j;
        return n;
    }

private:
    Cost cost_;
    const Route* route_ = nullptr;
    std::vector<Total> forward_;   // forward_[p]: edges 0→1 … (p−1)→p as travelled
    std::vector<Total> backward_;  // the same edges travelled the other way
    Total total_{};
};

}  // namespace tourloom::fast_evaluation
