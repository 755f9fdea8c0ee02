#pragma once
// Candidate evaluation with a time model, on plain second counts, doing only
// the simulation that can still change the verdict:
//  - before the first changed position the candidate is the current tour,
//    whose states are cached: the simulation resumes there;
//  - stretches the candidate visits in the current tour's order (the middle
//    of an exchange or of a relocation) are taken from the cache as soon as
//    the candidate's clock reads the current tour's there;
//  - a later clock moves a stretch of the current tour's states as a
//    whole where no action of it waits, is deferred or is cut by the
//    daily close within that delay (each action's margin is cached);
//  - a relocation that moves its block forwards keeps the stretch it jumps
//    over between candidates of one scan, extending it by one location per
//    candidate instead of simulating it again;
//  - after the changed positions the candidate visits the current tour's
//    locations in the current order. Where every remaining action is
//    monotone in its start (see below), a clock no earlier than the current
//    tour's there means at least the current tour's lateness from there on
//    and an end no earlier, and a clock no later means at most: the verdict
//    often follows at once from the partial figures;
//  - lateness, travelling time and duration only grow along a tour, so a
//    candidate is abandoned as soon as its partial figures rank it behind.
//
// Monotone: of two starts of an action, the later never ends earlier and
// never gathers less lateness. That holds for travel, for work at a location
// with one window, and for work at a location whose windows all start by the
// end of its last one whenever the later of the two starts lies after that
// end (the window phase can then only move the earlier start up to that end,
// and what follows is the same daily consumption of open time). Otherwise
// work at a location with several windows can end earlier for a later start
// (a deferral into a later window), and there the bounds are not used.
//
// Working time is the same for every tour and the travelling time is known
// from the edges, so with equal travelling time the duration decides the
// waiting time too: the ranking's first three keys carry the verdict.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fast_evaluation/edge_delta.hpp"
#include "fast_evaluation/first_below.hpp"
#include "fast_evaluation/plain_time.hpp"
#include "local_moves.hpp"
#include "output.hpp"
#include "penalties/distance/distance_matrix.hpp"
#include "penalties/time/time_input.hpp"
#include "ranking.hpp"

namespace tourloom::fast_evaluation {

using output::Solution;
using penalties::distance::distance_matrix::DistanceMatrix;
using penalties::distance::distance_matrix::DistanceTotal;
using penalties::time::time_input::TimeScheduler;

struct DistanceCost {
    const DistanceMatrix* matrix;
    DistanceTotal operator()(std::size_t a, std::size_t b) const noexcept {
        return DistanceTotal::of(matrix->unchecked(a, b));
    }
};
using DistanceDelta = EdgeDelta<DistanceTotal, DistanceCost>;

// For matrices whose every tour total fits in 64 bits: plain words.
struct NarrowDistanceCost {
    const DistanceMatrix* matrix;
    std::uint64_t operator()(std::size_t a, std::size_t b) const noexcept { return matrix->unchecked(a, b); }
};
using NarrowDistanceDelta = EdgeDelta<std::uint64_t, NarrowDistanceCost>;

// The travelling time an edge adds to a tour. Points into the model's own
// table, which keeps its place when the model is moved.
struct TravelCost {
    const std::int64_t* travel;  // n × n
    std::size_t n;
    std::int64_t operator()(std::size_t a, std::size_t b) const noexcept { return travel[a * n + b]; }
};
using TravelDelta = EdgeDelta<std::int64_t, TravelCost>;

// The parts of a candidate's evaluation that simulate work, for an account
// of where the actions go: refreshing the current tour's states; the
// candidate's own locations (a moved block, an exchange's two ends); a
// stretch visited in the current tour's order between them; a reversed
// segment; a candidate simulated from the start of its tour; the tail after
// the changed positions; the stretch a forward relocation jumps over.
enum class Phase : unsigned char { Refresh, OwnLocations, Middle, ReversedSegment, FromStart, Tail, JumpedStretch };
inline constexpr std::size_t phase_count = static_cast<std::size_t>(Phase::JumpedStretch) + 1;
using PhaseCounts = std::array<std::uint64_t, phase_count>;

class TimeResume {
public:
    // Only for inputs `time_path_eligible` accepts.
    TimeResume(const DistanceMatrix& distances, const TimeScheduler& scheduler);

    // Caches the states of the current tour: O(n) actions. Call whenever the
    // current solution changes; `current` must outlive the next refresh.
    void refresh(const Solution& current);

    // True when the candidate (shape, k, i, j) is strictly better than the
    // current solution under the time-model ranking. Scans that ask for the
    // pairs in their order (j ascending for one i) let relocations reuse work.
    bool improves(local_moves::Shape shape, std::size_t k, std::size_t i, std::size_t j);
    // The same with the shape fixed at compile time, for the scans.
    template <local_moves::Shape shape>
    bool improves(std::size_t k, std::size_t i, std::size_t j);

    // Applies the candidate (shape, k, i, j) with `move` to `current`, the
    // solution last refreshed, and makes `current` its evaluation: the
    // route, the exact distance and the time report (no events), as the full
    // evaluation gives them; then refreshes.
    void accept(local_moves::Shape shape, std::size_t k, std::size_t i, std::size_t j, local_moves::Move move,
                Solution& current);

    // Work actions simulated by `improves` and the refreshes so far, by the
    // part of the evaluation that simulated them (the cost measure the
    // benchmark reports per candidate).
    const PhaseCounts& work_actions_by_phase() const noexcept { return work_actions_; }

private:
    using Rank = ranking::Ranking<std::int64_t, DistanceTotal>;
    // A tour in the making: its clock and the lateness it has gathered.
    struct Walk {
        std::int64_t clock;
        std::int64_t lateness;
    };
    // One candidate's fixed facts.
    struct Candidate {
        local_moves::Shape shape;
        std::size_t k, i, j;
        std::int64_t traveling;  // the whole tour's travelling time
        std::size_t first;       // the location the tour starts at and returns to
        std::int64_t start;      // when its tour starts
        // Behind with more lateness than this (at most the current tour's) ...
        std::int64_t late_limit;
        // ... or with the current tour's lateness once the clock is past this.
        std::int64_t clock_limit;
    };
    template <local_moves::Shape shape>
    Candidate candidate(std::size_t k, std::size_t i, std::size_t j) const;

    void work(Walk& w, std::size_t location, Phase phase) {
        ++work_actions_[static_cast<std::size_t>(phase)];
        w.clock = model_.work(w.clock, location, w.lateness);
    }
    void drive(Walk& w, std::size_t from, std::size_t to) const noexcept {
        w.clock = model_.travel(w.clock, from, to);
    }
    bool behind(const Walk& w, const Candidate& c) const noexcept;
    bool decide(const Walk& done, const Candidate& c) const;
    DistanceTotal distance_of(const Candidate& c) const { return distance_.candidate_total(c.shape, c.k, c.i, c.j); }
    // Positions a..b of the current tour, in its order, from the arrival at
    // a; false once the candidate ranks behind.
    bool follow(Walk& w, std::size_t a, std::size_t b, const Candidate& c);
    // The current tour's locations from position p on, from the arrival at
    // p, then the way back to the candidate's first location (p == n: `w`
    // is the finished tour): the verdict.
    bool finish(Walk w, std::size_t p, const Candidate& segment);
    // The current tour's figures from the arrival at (`after_work` false) or
    // the departure from (true) position p on, added to `w`: the verdict.
    bool finish_as_current(Walk w, std::size_t p, bool after_work, const Candidate& c);
    bool improves_from_start(const Candidate& c);
    // When the candidate reaches position m later than the current tour and
    // the current tour's states from m on move as a whole by that delay
    // (below), moves `w` to the departure from the last such position up to
    // `last` and sets `q` to it; false when not even the work at m moves so.
    bool shifted(Walk& w, std::size_t m, std::size_t last, std::size_t& q);
    // The margins below, for the current tour: asked for at the first shift
    // after a refresh, since many tours are left before any.
    void cache_margins();
    // The stretch a forward relocation jumps over, positions i + k .. j,
    // entered from position i − 1: kept across the candidates of one scan.
    const Walk& jumped_stretch(std::size_t k, std::size_t i, std::size_t j);

    PlainTimeModel model_;
    DistanceDelta distance_;
    TravelDelta travel_;
    const Solution* current_ = nullptr;
    std::uint64_t version_ = 0;  // of the current tour, for the kept stretch

    // The current tour, per position p: the clock on arrival and after the
    // work, and the lateness gathered before and after the work.
    std::vector<std::int64_t> arrive_, leave_, late_before_, late_after_;
    // Work and travel time of the current tour before position p, waits left
    // out (n + 1 entries; the travel total includes the way back at n).
    std::vector<std::int64_t> jobs_before_, travel_before_;
    // How much later each action of the current tour may start and end
    // exactly that much later (PlainTimeModel::work_clear, travel_clear):
    // work_clear_[p] for the work at p; entry_clear_[p] for the travel into
    // p and the work there together. A delay up to them moves the states as
    // a whole, and adds the delay to the lateness of each work ending past
    // its last window; late_works_before_[p] counts those before p.
    std::vector<std::int64_t> work_clear_, entry_clear_, late_works_before_;
    FirstBelow entry_clear_below_;
    bool margins_ready_ = false;
    // later_from_[p]: from the work at p to the tour's end, a tour that
    // arrives no earlier than the current tour stays no earlier, with no
    // less lateness on the way; earlier_from_[p] the same for a tour that
    // arrives no later (n + 1 entries each).
    std::vector<unsigned char> later_from_, earlier_from_;
    std::int64_t start_ = 0, end_ = 0, lateness_ = 0;
    Rank incumbent_{};

    // A reversal's reversed segment, j down to i, kept across the
    // candidates of one scan: a later arrival at its first location, by no
    // more than its clear, moves all of it by the delay (each work that much
    // later, and that much more late where it ended past its last window).
    struct KeptReversal {
        std::uint64_t version = ~std::uint64_t{0};
        std::size_t i = 0, j = 0;
        std::int64_t clear = 0;    // the least clear of its actions
        std::int64_t arrive = 0;   // at its first location, r[j]
        std::int64_t leave = 0;    // from its last, r[i], after the work
        std::int64_t lateness = 0;
        std::int64_t late_works = 0;  // ending past their last window
    } reversal_;
    // The reversed segment of the reversal (i, j), from `w` at the departure
    // from position i − 1, up to the departure from r[i] after its work;
    // false once the candidate ranks behind.
    bool reversed_segment(Walk& w, std::size_t i, std::size_t j, const Candidate& c);

    struct KeptStretch {
        std::uint64_t version = ~std::uint64_t{0};
        std::size_t k = 0, i = 0, j = 0;
        Walk walk{};
    } kept_;

    PhaseCounts work_actions_{};
};

}  // namespace tourloom::fast_evaluation
