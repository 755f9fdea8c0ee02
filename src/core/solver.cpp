#include "solver.hpp"

#include "os_entropy.hpp"

#include <array>
#include <bit>
#include <random>

namespace tourloom::solver {

namespace {

template <class... Cases>
struct overloaded : Cases... {
    using Cases::operator()...;
};
template <class... Cases>
overloaded(Cases...) -> overloaded<Cases...>;

std::mt19937& thread_generator() {
    thread_local std::mt19937 generator = [] {
        std::array<std::uint32_t, std::mt19937::state_size> seed{};
        fill_from_os_entropy(seed);
        std::seed_seq sequence(seed.begin(), seed.end());
        return std::mt19937(sequence);
    }();
    return generator;
}

// An unbiased draw from [0, range) by widening multiplication with rejection
// of the short zone; range fits in 32 bits.
std::uint32_t draw_below(std::mt19937& generator, std::uint32_t range) {
    const std::uint32_t zone = (range << std::countl_zero(range)) - 1;
    for (;;) {
        const std::uint64_t product = std::uint64_t{static_cast<std::uint32_t>(generator())} * range;
        if (static_cast<std::uint32_t>(product) <= zone) return static_cast<std::uint32_t>(product >> 32);
    }
}

}  // namespace

void shuffle(Route& route) {
    if (route.size() < 2) return;
    std::mt19937& generator = thread_generator();
    for (std::size_t i = route.size() - 1; i >= 1; --i) {
        std::size_t j;
        if (i < UINT32_MAX) {
            j = draw_below(generator, static_cast<std::uint32_t>(i + 1));
        } else {
            j = std::uniform_int_distribution<std::size_t>(0, i)(generator);
        }
        std::swap(route[i], route[j]);
    }
}

Solver::Solver(Penalizer penalizer, std::optional<Span> time_limit, std::size_t location_count, Solution initial,
               Evaluation evaluation)
    : time_limit_(time_limit),
      penalizer_(std::move(penalizer)),
      current_solution_(std::move(initial)),
      best_solution_(current_solution_),
      location_count_(location_count),
      evaluator_(fast_evaluation::choose_evaluator(penalizer_, evaluation == Evaluation::Automatic)) {
    current_changed();
}

void Solver::current_changed() {
    std::visit(overloaded{[](fast_evaluation::ReferenceEvaluation&) {},
                          [&](fast_evaluation::TimeResume& time) { time.refresh(current_solution_); },
                          [&](auto& distance) { distance.refresh(current_solution_.route); }},
               evaluator_);
}

bool Solver::time_is_up() const {
    if (!time_limit_) return false;
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - search_start_);
    return Span::from_nanoseconds(elapsed.count()) > *time_limit_;
}

void Solver::run() {
    start_clock();
    while (!time_is_up()) {
        ++iterations_;
        descend();
        if (penalizer_.is_better(current_solution_, best_solution_)) best_solution_ = current_solution_;
        // Without a limit this was the only descent: a restart's evaluation
        // would be thrown away, and could only add a chance of failing.
        if (!time_limit_) break;
        restart();
    }
    best_solution_ = penalizer_.penalize(best_solution_.route, true);
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - search_start_);
    time_taken_ = Span::from_nanoseconds(elapsed.count());
}

void Solver::descend() {
    bool improved = true;
    while (!time_is_up() && improved) improved = sweep();
}

bool Solver::sweep() {
    bool accepted = false;
    for (const auto& neighbourhood : local_moves::sweep_order) accepted |= scan(neighbourhood);
    return accepted;
}

bool Solver::scan(const local_moves::Neighbourhood& neighbourhood) {
    return std::visit(
        overloaded{[&](fast_evaluation::ReferenceEvaluation&) { return scan_reference(neighbourhood); },
                   [&](fast_evaluation::TimeResume& time) { return scan_fast_time(neighbourhood, time); },
                   [&](auto& distance) { return scan_fast_distance(neighbourhood, distance); }},
        evaluator_);
}

namespace {

// The pairs (i, j) of one scan, in the order that defines the search: i
// ascending, then j from i + min_gap up. `first_accepted(i, from)` evaluates
// the candidates (i, from), (i, from + 1), … in turn until one is better,
// applies it and returns its j; or returns n when none of them is. Each
// candidate evaluated counts once.
template <class FirstAccepted>
bool scan_runs(std::size_t n, std::size_t min_gap, std::uint64_t& evaluations, FirstAccepted first_accepted) {
    bool accepted = false;
    for (std::size_t i = 0; i + min_gap < n; ++i) {
        for (std::size_t from = i + min_gap; from < n;) {
            const std::size_t j = first_accepted(i, from);
            evaluations += (j < n ? j + 1 : n) - from;
            if (j >= n) break;
            accepted = true;
            from = j + 1;
        }
    }
    return accepted;
}

// The same, one candidate at a time: `try_pair` evaluates a candidate,
// applies it when it is better and says whether it did.
template <class TryPair>
bool scan_pairs(std::size_t n, std::size_t min_gap, std::uint64_t& evaluations, TryPair try_pair) {
    return scan_runs(n, min_gap, evaluations, [&](std::size_t i, std::size_t from) {
        std::size_t j = from;
        while (j < n && !try_pair(i, j)) ++j;
        return j;
    });
}

output::DistanceTotal widen(const output::DistanceTotal& total) { return total; }
output::DistanceTotal widen(std::uint64_t total) { return output::DistanceTotal::of(total); }

}  // namespace

// Every candidate built on a fresh copy of the route and evaluated in full:
// the definition of the search, which the fast scans reproduce exactly.
bool Solver::scan_reference(const local_moves::Neighbourhood& neighbourhood) {
    return scan_pairs(location_count_, neighbourhood.min_gap, evaluations_, [&](std::size_t i, std::size_t j) {
        Route candidate_route = current_solution_.route;
        neighbourhood.move(candidate_route, i, j);
        Solution candidate = penalizer_.penalize(std::move(candidate_route), false);
        if (!penalizer_.is_better(candidate, current_solution_)) return false;
        current_solution_ = std::move(candidate);
        return true;
    });
}

// Distance only: each candidate's total from the edges it changes, with the
// move's shape fixed at compile time; a route is changed only for an
// accepted candidate.
template <local_moves::Shape shape, class Delta>
bool Solver::scan_edges(const local_moves::Neighbourhood& neighbourhood, Delta& delta) {
    const std::size_t k = neighbourhood.k;
    const std::size_t n = location_count_;
    return scan_runs(n, neighbourhood.min_gap, evaluations_, [&](std::size_t i, std::size_t from) {
        const std::size_t j = delta.template first_improving<shape>(k, i, from);
        if (j >= n) return j;
        current_solution_.distance = widen(delta.template candidate_total<shape>(k, i, j));
        neighbourhood.move(current_solution_.route, i, j);
        if constexpr (requires { delta.template accepted<shape>(k, i, j, current_solution_.route); }) {
            delta.template accepted<shape>(k, i, j, current_solution_.route);
        } else {
            delta.refresh(current_solution_.route);
        }
        return j;
    });
}

template <class Delta>
bool Solver::scan_fast_distance(const local_moves::Neighbourhood& neighbourhood, Delta& delta) {
    return local_moves::with_shape(neighbourhood.shape,
                                   [&](auto s) { return scan_edges<s.value>(neighbourhood, delta); });
}

// With a time model: candidates are simulated only where they differ from
// the current tour, and an accepted one takes its figures from the same
// plain simulation.
template <local_moves::Shape shape>
bool Solver::scan_time(const local_moves::Neighbourhood& neighbourhood, fast_evaluation::TimeResume& time) {
    return scan_pairs(location_count_, neighbourhood.min_gap, evaluations_, [&](std::size_t i, std::size_t j) {
        if (!time.template improves<shape>(neighbourhood.k, i, j)) return false;
        time.accept(shape, neighbourhood.k, i, j, neighbourhood.move, current_solution_);
        return true;
    });
}

bool Solver::scan_fast_time(const local_moves::Neighbourhood& neighbourhood, fast_evaluation::TimeResume& time) {
    return local_moves::with_shape(neighbourhood.shape,
                                   [&](auto s) { return scan_time<s.value>(neighbourhood, time); });
}

void Solver::restart() {
    Route route(location_count_);
    for (std::size_t k = 0; k < location_count_; ++k) route[k] = k;
    shuffle(route);
    current_solution_ = penalizer_.penalize(std::move(route), false);
    ++evaluations_;
    current_changed();
}

}  // namespace tourloom::solver
