#pragma once
// Whether a solve may take the fast evaluation paths. They skip work the
// straightforward evaluation does (whole candidate routes, rejected tails of
// simulations), so they are taken only when no evaluation of any route can
// fail: every list the route reads covers every location, and the time
// values are far enough from the ends of their ranges that no tour can leave
// them. Anything else runs on the straightforward path, which fails exactly
// where it must.
#include "penalties/distance/distance_matrix.hpp"
#include "penalties/time/time_input.hpp"

namespace tourloom::fast_evaluation {

// Distance only: a square matrix of at least one location. (Exact totals
// cannot overflow.)
bool distance_path_eligible(const penalties::distance::distance_matrix::DistanceMatrix& distances) noexcept;

// Whether every tour's total distance fits in 64 bits (the sum of the rows'
// largest entries does), so the distance path may add plain 64-bit words.
bool distance_fits_64_bits(const penalties::distance::distance_matrix::DistanceMatrix& distances) noexcept;

// Whether distances[a][b] == distances[b][a] for every pair: the distance
// path then reads a move's edges in either direction from one row.
bool distance_is_symmetric(const penalties::distance::distance_matrix::DistanceMatrix& distances) noexcept;

// With a time model: also square enough travel times, a job duration and at
// least one window for every location, and a provable bound on every instant
// and span any tour can produce.
bool time_path_eligible(const penalties::distance::distance_matrix::DistanceMatrix& distances,
                        const penalties::time::time_input::TimeScheduler& scheduler) noexcept;

}  // namespace tourloom::fast_evaluation
