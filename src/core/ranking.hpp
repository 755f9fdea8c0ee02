#pragma once
// The order in which tours with a time model are ranked, written once for
// every evaluation: lateness first, then travelling time, total duration,
// waiting time and finally distance; the first key that differs decides,
// smaller is better, and a tie on all five is never better. The
// straightforward evaluation ranks checked spans, the fast path plain second
// counts; both use this record.
#include <compare>

namespace tourloom::ranking {

template <class Time, class Distance>
struct Ranking {
    Time lateness;
    Time traveling;
    Time duration;
    Time waiting;
    Distance distance;

    friend constexpr auto operator<=>(const Ranking&, const Ranking&) = default;
};

// Strictly better: ties never replace the incumbent.
template <class Time, class Distance>
constexpr bool is_better(const Ranking<Time, Distance>& candidate, const Ranking<Time, Distance>& incumbent) {
    return candidate < incumbent;
}

}  // namespace tourloom::ranking
