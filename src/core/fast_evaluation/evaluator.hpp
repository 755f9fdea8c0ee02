#pragma once
// How a solve's candidates are evaluated, chosen once per solve and held as
// one value: the straightforward evaluation (every candidate built and
// evaluated in full, the definition of the search) or one of the fast paths,
// which make exactly the same decisions on the inputs they accept.
#include <variant>

#include <cstdint>

#include "fast_evaluation/packed_distance_delta.hpp"
#include "fast_evaluation/time_resume.hpp"
#include "penalizer.hpp"

namespace tourloom::fast_evaluation {

struct ReferenceEvaluation {};

// Distance only: square matrices stored in 16 or 32 bits (symmetric or
// not), tours that fit in 64 bits, and the rest; or the time path.
using Evaluator =
    std::variant<ReferenceEvaluation, PackedDistanceDelta<std::uint16_t, true>, PackedDistanceDelta<std::uint16_t, false>,
                 PackedDistanceDelta<std::uint32_t, true>, PackedDistanceDelta<std::uint32_t, false>,
                 NarrowDistanceDelta, DistanceDelta, TimeResume>;

// Whether `evaluator` reads a packed (16- or 32-bit) matrix.
constexpr bool is_packed(const Evaluator& evaluator) noexcept {
    return evaluator.index() >= 1 && evaluator.index() <= 4;
}

// `allow_fast` false always gives the straightforward evaluation; otherwise
// the fastest path the inputs are eligible for. The penalizer must outlive
// the result (the fast paths read its matrices).
Evaluator choose_evaluator(const penalizer::Penalizer& penalizer, bool allow_fast);

}  // namespace tourloom::fast_evaluation
