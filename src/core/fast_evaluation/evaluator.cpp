#include "fast_evaluation/evaluator.hpp"

#include "fast_evaluation/eligibility.hpp"

namespace tourloom::fast_evaluation {

Evaluator choose_evaluator(const penalizer::Penalizer& penalizer, bool allow_fast) {
    if (!allow_fast) return ReferenceEvaluation{};
    const auto& distances = penalizer.distance_matrix();
    const auto& scheduler = penalizer.time_scheduler();
    if (!scheduler) {
        if (distances.is_square() && distances.width() != EntryWidth::Bits64) {
            const bool symmetric = distance_is_symmetric(distances);
            if (distances.width() == EntryWidth::Bits16) {
                if (symmetric) return Evaluator(std::in_place_type<PackedDistanceDelta<std::uint16_t, true>>, distances);
                return Evaluator(std::in_place_type<PackedDistanceDelta<std::uint16_t, false>>, distances);
            }
            if (symmetric) return Evaluator(std::in_place_type<PackedDistanceDelta<std::uint32_t, true>>, distances);
            return Evaluator(std::in_place_type<PackedDistanceDelta<std::uint32_t, false>>, distances);
        }
        if (distance_fits_64_bits(distances)) return NarrowDistanceDelta(NarrowDistanceCost{&distances});
        if (distance_path_eligible(distances)) return DistanceDelta(DistanceCost{&distances});
        return ReferenceEvaluation{};
    }
    if (time_path_eligible(distances, *scheduler)) return Evaluator(std::in_place_type<TimeResume>, distances, *scheduler);
    return ReferenceEvaluation{};
}

}  // namespace tourloom::fast_evaluation
