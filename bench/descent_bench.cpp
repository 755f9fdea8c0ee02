// CPU time per descent on the same instances in one run: the plain baseline (a
// straightforward search on 64-bit second counts), the straightforward
// evaluation inside the solver (the reference) and the fast paths; descents
// per second under a limit; and what short limits return. Prints tables;
// asserts nothing about time, only that the paths made the same search.
//
//   tourloom_descent_bench [--data DIR]          the full tables (about half an hour)
//   tourloom_descent_bench --smoke [--data DIR]  tiny sizes, for CI
//   tourloom_descent_bench --time-only ...         the time-model tables only
//   tourloom_descent_bench --profile NAME [--data DIR]
//                                   one fast descent of the named instance of
//                                   the time table, for a profiler
//
// DIR holds the shared benchmark instances (tsptw/Dumas/...); rows that need
// them are left out without it.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "instances.hpp"
#include "lib.hpp"
#include "penalizer.hpp"
#include "plain_time_descent.hpp"
#include "solver.hpp"

namespace {

using namespace tourloom;
using bench::Instance;
using Clock = std::chrono::steady_clock;

// The CPU time of this thread, in seconds: on a machine shared with other
// work, wall time measures the neighbours as much as the descent.
double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::unique_ptr<solver::Solver> make_solver(const Instance& inst, solver::Evaluation evaluation,
                                            std::optional<Span> limit) {
    auto scheduler = penalties::time::time_input::transform(inst.durations, inst.jobs, inst.windows, inst.hours);
    const std::size_t n = inst.distances.size();
    penalizer::Penalizer p(penalties::distance::distance_matrix::DistanceMatrix(inst.distances), std::move(scheduler));
    output::Route identity(n);
    std::iota(identity.begin(), identity.end(), std::size_t{0});
    output::Solution initial = p.penalize(std::move(identity), false);
    return std::make_unique<solver::Solver>(std::move(p), limit, n, std::move(initial), evaluation);
}

struct Descent {
    double seconds = 0;
    bool cut = false;  // stopped by the budget before the descent ended
    std::uint64_t evaluations = 0;
    std::uint64_t work_actions = 0;
    output::Route route;
};

Descent time_descent_once(const Instance& inst, solver::Evaluation evaluation, double budget_seconds) {
    auto s = make_solver(inst, evaluation, Span::from_seconds(static_cast<std::int64_t>(budget_seconds)));
    const double t0 = cpu_seconds();
    s->start_clock();
    s->descend();
    const double seconds = cpu_seconds() - t0;
    return {seconds, s->time_is_up(), s->evaluations(), s->work_actions(), s->current_solution().route};
}

// Short descents are repeated (for about half a second in all, at most 50
// times) and the fastest is reported: a single run of a few milliseconds
// mostly measures cold caches and the machine's other work.
template <class Once>
Descent fastest_of(Once once) {
    Descent best = once();
    const int repeats = best.seconds > 0.25 ? 0 : std::min(50, static_cast<int>(0.5 / std::max(best.seconds, 1e-4)));
    for (int r = 0; r < repeats; ++r) {
        Descent again = once();
        if (again.seconds < best.seconds) best = std::move(again);
    }
    return best;
}

Descent time_descent(const Instance& inst, solver::Evaluation evaluation, double budget_seconds) {
    return fastest_of([&] { return time_descent_once(inst, evaluation, budget_seconds); });
}

Descent plain_descent(const Instance& inst, double budget_seconds) {
    const auto scheduler = penalties::time::time_input::transform(inst.durations, inst.jobs, inst.windows, inst.hours);
    return fastest_of([&] {
        output::Route identity(inst.distances.size());
        std::iota(identity.begin(), identity.end(), std::size_t{0});
        const double t0 = cpu_seconds();
        bench::PlainDescent d = bench::plain_time_descent(*scheduler, inst.distances, std::move(identity), budget_seconds);
        const double seconds = cpu_seconds() - t0;
        return Descent{seconds, d.cut, d.candidates, 0, std::move(d.route)};
    });
}

PyOutput solve_instance(const Instance& inst, std::optional<std::uint64_t> limit) {
    return solve(inst.distances, inst.durations, inst.jobs, inst.windows, inst.hours, limit);
}

double seconds_of(Span s) { return static_cast<double>(s.seconds()) + static_cast<double>(s.nanos()) * 1e-9; }

double descents_per_second(const Instance& inst, std::uint64_t limit_seconds) {
    const auto out = solve_instance(inst, limit_seconds);
    return static_cast<double>(out.iterations) / seconds_of(out.time_taken);
}

std::string seconds_cell(const Descent& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%.4f", d.cut ? ">" : "", d.seconds);
    return buf;
}

std::string ratio_cell(const Descent& slow, const Descent& fast) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%.1fx", slow.cut ? ">" : "", slow.seconds / fast.seconds);
    return buf;
}

// Two paths that both finished must have made the same search.
bool same_search(const char* what, const Descent& a, const Descent& b, const Instance& inst) {
    if (a.cut || b.cut || (a.evaluations == b.evaluations && a.route == b.route)) return true;
    std::printf("!! %s, %s: the paths made different searches (%llu vs %llu candidates)\n", inst.name.c_str(), what,
                static_cast<unsigned long long>(a.evaluations), static_cast<unsigned long long>(b.evaluations));
    return false;
}

// Distance only: the straightforward evaluation against the edge deltas.
bool distance_table(bool smoke) {
    const std::vector<std::size_t> sizes = smoke ? std::vector<std::size_t>{12} : std::vector<std::size_t>{50, 100, 200, 500, 1000};
    const std::uint64_t limit_seconds = smoke ? 1 : 2;
    std::printf("%-22s %6s %14s %14s %10s %12s %14s\n", "distance only", "n", "reference s", "fast s", "ratio",
                "candidates", "descents/s");
    for (const std::size_t n : sizes) {
        const Instance inst = bench::random_instance(n, false, 1'000 + n);
        const Descent fast = time_descent(inst, solver::Evaluation::Automatic, 3'600.0);
        const Descent ref = time_descent(inst, solver::Evaluation::Reference, 60.0);
        if (!same_search("reference", ref, fast, inst)) return false;
        std::printf("%-22s %6zu %14s %14.4f %10s %12llu %14.2f\n", inst.name.c_str(), n, seconds_cell(ref).c_str(),
                    fast.seconds, ratio_cell(ref, fast).c_str(), static_cast<unsigned long long>(fast.evaluations),
                    descents_per_second(inst, limit_seconds));
        std::fflush(stdout);
    }
    return true;
}

// With a time model: the plain baseline, the reference and the fast path.
bool time_table(const std::vector<Instance>& instances, bool smoke) {
    const double baseline_budget = 60.0;
    const double reference_budget = smoke ? 60.0 : 30.0;
    const std::uint64_t limit_seconds = smoke ? 1 : 2;
    std::printf("\n%-22s %5s %12s %12s %11s %10s %11s %10s %11s\n", "time model", "n", "baseline s", "reference s",
                "fast s", "vs base", "candidates", "acts/cand", "descents/s");
    for (const Instance& inst : instances) {
        const std::size_t n = inst.distances.size();
        const Descent fast = time_descent(inst, solver::Evaluation::Automatic, 3'600.0);
        const Descent base = plain_descent(inst, baseline_budget);
        if (!same_search("baseline", base, fast, inst)) return false;
        const Descent ref = time_descent(inst, solver::Evaluation::Reference, reference_budget);
        if (!same_search("reference", ref, fast, inst)) return false;
        std::printf("%-22s %5zu %12s %12s %11.4f %10s %11llu %10.2f %11.2f\n", inst.name.c_str(), n,
                    seconds_cell(base).c_str(), seconds_cell(ref).c_str(), fast.seconds, ratio_cell(base, fast).c_str(),
                    static_cast<unsigned long long>(fast.evaluations),
                    static_cast<double>(fast.work_actions) / static_cast<double>(std::max<std::uint64_t>(1, fast.evaluations)),
                    descents_per_second(inst, limit_seconds));
        std::fflush(stdout);
    }
    return true;
}

std::string figures(const PyOutput& out) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%10lld %9llu", static_cast<long long>(out.time_report->lateness.whole_seconds()),
                  static_cast<unsigned long long>(out.distance));
    return buf;
}

// What a one-second limit returns against one unlimited descent, and how
// long limited solves take on large delivery rounds.
void limit_table(const std::vector<Instance>& classic, const std::vector<Instance>& large) {
    std::printf("\n%-22s %5s %20s %20s %8s %8s\n", "limit 1 s vs descent", "n", "descent: late, dist",
                "1 s: late, dist", "1 s its", "worse?");
    int worse = 0;
    for (const Instance& inst : classic) {
        const PyOutput once = solve_instance(inst, std::nullopt);
        const PyOutput limited = solve_instance(inst, 1);
        const auto rank = [](const PyOutput& o) {
            return penalizer::rank(*o.time_report, output::DistanceTotal::of(o.distance));
        };
        const bool is_worse = ranking::is_better(rank(once), rank(limited));
        worse += is_worse ? 1 : 0;
        std::printf("%-22s %5zu %20s %20s %8llu %8s\n", inst.name.c_str(), inst.distances.size(), figures(once).c_str(),
                    figures(limited).c_str(), static_cast<unsigned long long>(limited.iterations), is_worse ? "WORSE" : "no");
        std::fflush(stdout);
    }
    std::printf("worse than one descent: %d of %zu\n", worse, classic.size());

    std::printf("\n%-22s %5s %12s %12s\n", "wall time of limits", "n", "limit 1 s", "limit 5 s");
    for (const Instance& inst : large) {
        double wall[2] = {0, 0};
        const std::uint64_t limits[2] = {1, 5};
        for (int k = 0; k < 2; ++k) {
            const auto t0 = Clock::now();
            (void)solve_instance(inst, limits[k]);
            wall[k] = std::chrono::duration<double>(Clock::now() - t0).count();
        }
        std::printf("%-22s %5zu %12.2f %12.2f\n", inst.name.c_str(), inst.distances.size(), wall[0], wall[1]);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool smoke = false;
    std::string data, profile;
    bool time_only = false;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--smoke") == 0) smoke = true;
        if (std::strcmp(argv[a], "--data") == 0 && a + 1 < argc) data = argv[++a];
        if (std::strcmp(argv[a], "--profile") == 0 && a + 1 < argc) profile = argv[++a];
        if (std::strcmp(argv[a], "--time-only") == 0) time_only = true;
    }
    const auto dumas = [&](const std::vector<std::string>& names) {
        std::vector<Instance> out;
        for (const auto& name : names)
            if (auto inst = bench::classic_instance(data + "/tsptw/Dumas/" + name + ".txt")) out.push_back(std::move(*inst));
        return out;
    };

    std::vector<Instance> timed;
    if (smoke) {
        timed = {bench::random_instance(10, true, 1'010), bench::delivery_instance(12, 7)};
        for (auto& inst : dumas({"n20w20.001"})) timed.push_back(std::move(inst));
    } else {
        for (const std::size_t n : {25U, 50U, 100U, 200U}) timed.push_back(bench::random_instance(n, true, 1'000 + n));
        for (const std::size_t n : {50U, 100U, 200U, 500U}) timed.push_back(bench::delivery_instance(n, 7 + n));
        for (auto& inst : dumas({"n100w20.001", "n150w40.001", "n200w40.001"})) timed.push_back(std::move(inst));
    }
    if (!profile.empty()) {
        for (const Instance& inst : timed) {
            if (inst.name != profile) continue;
            const Descent d = time_descent_once(inst, solver::Evaluation::Automatic, 3'600.0);
            std::printf("%s: %.4f s, %llu candidates, %llu work actions\n", inst.name.c_str(), d.seconds,
                        static_cast<unsigned long long>(d.evaluations), static_cast<unsigned long long>(d.work_actions));
            return 0;
        }
        std::printf("no instance named %s\n", profile.c_str());
        return 1;
    }
    if (!time_only && !distance_table(smoke)) return 1;
    if (!time_table(timed, smoke)) return 1;
    if (smoke) return 0;

    std::vector<std::string> large_dumas;
    for (const char* width : {"20", "40", "60"})
        for (int k = 1; k <= 5; ++k) large_dumas.push_back(std::string("n150w") + width + ".00" + std::to_string(k));
    for (const char* width : {"20", "40"})
        for (int k = 1; k <= 5; ++k) large_dumas.push_back(std::string("n200w") + width + ".00" + std::to_string(k));
    limit_table(dumas(large_dumas), {bench::delivery_instance(200, 207), bench::delivery_instance(500, 507)});
    return 0;
}
