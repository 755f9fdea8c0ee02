#include "lib.hpp"

#include "panic.hpp"
#include "penalizer.hpp"
#include "penalties/time/time_input.hpp"
#include "solver.hpp"

namespace tourloom {

PyOutput solve(RawInput input) {
    using namespace penalties;
    auto scheduler = time::time_input::transform(std::move(input.duration_matrix), std::move(input.job_durations),
                                                 std::move(input.time_windows), input.operation_times);
    std::optional<Span> limit;
    if (input.time_limit) limit = time::time_input::seconds_to_span(*input.time_limit);

    const std::size_t location_count = row_count(input.distance_matrix);
    penalizer::Penalizer penalizer(distance::distance_matrix::DistanceMatrix(std::move(input.distance_matrix)),
                                   std::move(scheduler));
    output::Route identity(location_count);
    for (std::size_t k = 0; k < location_count; ++k) identity[k] = k;
    output::Solution initial = penalizer.penalize(std::move(identity), false);

    solver::Solver solver(std::move(penalizer), limit, location_count, std::move(initial));
    solver.run();

    output::Solution best = solver.take_best_solution();
    if (!best.distance.fits_u64()) panic("attempt to add with overflow");
    return PyOutput{std::move(best.route), std::move(best.time_report), best.distance.low, solver.iterations(),
                    solver.time_taken()};
}

}  // namespace tourloom
