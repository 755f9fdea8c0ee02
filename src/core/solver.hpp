#pragma once
// The search state of one solve: a multi-start, first-improvement local
// search over the eight neighbourhoods, under an optional time limit.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>

#include "fast_evaluation/evaluator.hpp"
#include "local_moves.hpp"
#include "output.hpp"
#include "penalizer.hpp"
#include "time/span.hpp"

namespace tourloom::solver {

using output::Route;
using output::Solution;
using penalizer::Penalizer;

// How candidates are evaluated. `Automatic` takes a fast path when the
// inputs allow one (the result is the same either way); `Reference` always
// builds and fully evaluates every candidate.
enum class Evaluation { Automatic, Reference };

class Solver {
public:
    // `initial` is the evaluation of the identity route.
    Solver(Penalizer penalizer, std::optional<Span> time_limit, std::size_t location_count, Solution initial,
           Evaluation evaluation = Evaluation::Automatic);
    // The fast paths point into the penalizer and the current solution.
    Solver(const Solver&) = delete;
    Solver& operator=(const Solver&) = delete;

    // Descents from the current solution, then from random permutations
    // while time remains (one descent when there is no limit); the best
    // route is evaluated once more with its schedule recorded.
    void run();

    // Starts the search clock (run() does this itself): for callers that
    // drive descents one by one, such as benchmarks.
    void start_clock() { search_start_ = Clock::now(); }
    // True only with a limit, once the time since the search started is
    // strictly greater than it. Reads a monotonic clock: setting the wall
    // clock back cannot stretch a solve.
    bool time_is_up() const;
    // Sweeps until one accepts nothing or the time is up (tested between sweeps).
    void descend();
    // One pass over the eight scans; true when any accepted a candidate.
    bool sweep();
    // One scan of a neighbourhood over all (i, j) with j − i >= its min_gap,
    // in ascending order, accepting each improving candidate on the spot.
    bool scan(const local_moves::Neighbourhood& neighbourhood);
    // Replaces the current solution by a uniformly random permutation's.
    void restart();

    const Penalizer& penalizer() const noexcept { return penalizer_; }
    const Solution& current_solution() const noexcept { return current_solution_; }
    const Solution& best_solution() const noexcept { return best_solution_; }
    std::uint64_t iterations() const noexcept { return iterations_; }
    Span time_taken() const noexcept { return time_taken_; }
    // Routes evaluated by scans and restarts (the initial and final
    // evaluations excluded): the measure of the search's work.
    std::uint64_t evaluations() const noexcept { return evaluations_; }
    Solution take_best_solution() noexcept { return std::move(best_solution_); }
    // Which path the candidates take.
    bool uses_fast_distance() const noexcept {
        return !std::holds_alternative<fast_evaluation::ReferenceEvaluation>(evaluator_) && !uses_fast_time();
    }
    // Whether the distance path reads a matrix kept in 16 or 32 bits.
    bool uses_packed_distance() const noexcept { return fast_evaluation::is_packed(evaluator_); }
    bool uses_fast_time() const noexcept { return std::holds_alternative<fast_evaluation::TimeResume>(evaluator_); }
    // Work actions the time path has simulated for candidates, by the part
    // of a candidate's evaluation that simulated them (none on other paths).
    fast_evaluation::PhaseCounts work_actions_by_phase() const noexcept {
        const auto* time = std::get_if<fast_evaluation::TimeResume>(&evaluator_);
        return time != nullptr ? time->work_actions_by_phase() : fast_evaluation::PhaseCounts{};
    }

private:
    using Clock = std::chrono::steady_clock;

    bool scan_reference(const local_moves::Neighbourhood& neighbourhood);
    template <class Delta>
    bool scan_fast_distance(const local_moves::Neighbourhood& neighbourhood, Delta& delta);
    template <local_moves::Shape shape, class Delta>
    bool scan_edges(const local_moves::Neighbourhood& neighbourhood, Delta& delta);
    bool scan_fast_time(const local_moves::Neighbourhood& neighbourhood, fast_evaluation::TimeResume& time);
    template <local_moves::Shape shape>
    bool scan_time(const local_moves::Neighbourhood& neighbourhood, fast_evaluation::TimeResume& time);
    // Keeps the fast path's caches in step with current_solution_.
    void current_changed();

    std::optional<Span> time_limit_;
    Penalizer penalizer_;
    Solution current_solution_;
    Solution best_solution_;
    Clock::time_point search_start_{};
    std::size_t location_count_;
    std::uint64_t iterations_ = 0;
    std::uint64_t evaluations_ = 0;
    Span time_taken_;
    fast_evaluation::Evaluator evaluator_;
};

// Fisher–Yates from the end with the thread's generator (seeded once per
// thread from the operating system's entropy source).
void shuffle(Route& route);

}  // namespace tourloom::solver
