#pragma once
// How a solve's candidates are evaluated, chosen once per solve and held as
// one value: the straightforward evaluation (every candidate built and
// evaluated in full, the definition of the search) or one of the fast paths,
// which make exactly the same decisions on the inputs they accept.
#include <variant>

#include "fast_evaluation/time_resume.hpp"
#include "penalizer.hpp"

namespace tourloom::fast_evaluation {

struct ReferenceEvaluation {};

using Evaluator = std::variant<ReferenceEvaluation, NarrowDistanceDelta, DistanceDelta, TimeResume>;

// `allow_fast` false always gives the straightforward evaluation; otherwise
// the fastest path the inputs are eligible for. The penalizer must outlive
// the result (the fast paths read its matrices).
Evaluator choose_evaluator(const penalizer::Penalizer& penalizer, bool allow_fast);

}  // namespace tourloom::fast_evaluation
