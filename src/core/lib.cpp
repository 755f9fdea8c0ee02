#include "lib.hpp"

#include "panic.hpp"
#include "penalizer.hpp"
#include "penalties/time/time_input.hpp"
#include "solver.hpp"

namespace tourloom {

PyOutput solve(RawMatrix distance_matrix, std::optional<RawMatrix> duration_matrix,
               std::optional<RawList> job_durations, std::optional<RawTimeWindows> time_windows,
               std::optional<RawPair> operation_times, std::optional<std::uint64_t> time_limit) {
    using namespace penalties;
    auto scheduler = time::time_input::transform(std::move(duration_matrix), std::move(job_durations),
                                                 std::move(time_windows), operation_times);
    std::optional<Span> limit;
    if (time_limit) limit = time::time_input::seconds_to_span(*time_limit);

    const std::size_t location_count = distance_matrix.size();
    penalizer::Penalizer penalizer(distance::distance_matrix::DistanceMatrix(std::move(distance_matrix)),
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
