// CPU time per descent on the same instances in one run: the plain baseline (a
// straightforward search on 64-bit second counts), the straightforward
// evaluation inside the solver (the reference) and the fast paths; descents
// per second under a limit; and what short limits return. Prints tables;
// asserts nothing about time, only that the paths made the same search.
//
//   tourloom_descent_bench [--data DIR]          the full tables (about half an hour)
//   tourloom_descent_bench --smoke [--data DIR]  tiny sizes, for CI
//   tourloom_descent_bench --time-only ...         the time-model tables only
//   tourloom_descent_bench --distance            the distance-only table
//   tourloom_descent_bench --fast N...           one fast distance-only descent per size (for profiles)
//   tourloom_descent_bench --profile NAME [--data DIR]
//                                   one fast descent of the named instance of
//                                   the time table, for a profiler
//
// DIR holds the shared benchmark instances (tsptw/Dumas/...); rows that need
// them are left out without it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "instances.hpp"
#include "lib.hpp"
#include "plain_baseline.hpp"
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
    auto scheduler = penalties::time::time_input::transform(inst.input.duration_matrix, inst.input.job_durations, inst.input.time_windows, inst.input.operation_times);
    const std::size_t n = inst.distances().size();
    penalizer::Penalizer p(penalties::distance::distance_matrix::DistanceMatrix(inst.distances()), std::move(scheduler));
    output::Route identity(n);
    std::iota(identity.begin(), identity.end(), std::size_t{0});
    output::Solution initial = p.penalize(std::move(identity), false);
    return std::make_unique<solver::Solver>(std::move(p), limit, n, std::move(initial), evaluation);
}

struct Descent {
    double seconds = 0;
    bool cut = false;  // stopped by the budget before the descent ended
    std::uint64_t evaluations = 0;
    fast_evaluation::PhaseCounts phases{};  // work actions by part of the evaluation
    output::Route route;
    std::uint64_t work_actions() const noexcept {
        return std::accumulate(phases.begin(), phases.end(), std::uint64_t{0});
    }
};

Descent time_descent_once(const Instance& inst, solver::Evaluation evaluation, double budget_seconds) {
    auto s = make_solver(inst, evaluation, Span::from_seconds(static_cast<std::int64_t>(budget_seconds)));
    const double t0 = cpu_seconds();
    s->start_clock();
    s->descend();
    const double seconds = cpu_seconds() - t0;
    return {seconds, s->time_is_up(), s->evaluations(), s->work_actions_by_phase(), s->current_solution().route};
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
    const auto scheduler = penalties::time::time_input::transform(inst.input.duration_matrix, inst.input.job_durations, inst.input.time_windows, inst.input.operation_times);
    return fastest_of([&] {
        output::Route identity(inst.distances().size());
        std::iota(identity.begin(), identity.end(), std::size_t{0});
        const double t0 = cpu_seconds();
        bench::PlainDescent d = bench::plain_time_descent(*scheduler, inst.distances(), std::move(identity), budget_seconds);
        const double seconds = cpu_seconds() - t0;
        return Descent{seconds, d.cut, d.candidates, {}, std::move(d.route)};
    });
}

PyOutput solve_instance(const Instance& inst, std::optional<std::uint64_t> limit) {
    RawInput input = inst.input;
    input.time_limit = limit;
    return solve(std::move(input));
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

output::Route identity_route(std::size_t n) {
    output::Route identity(n);
    std::iota(identity.begin(), identity.end(), std::size_t{0});
    return identity;
}

// Distance only, large tours: the plain baseline (route copy and full tour
// sum per candidate, plain 64-bit words), the straightforward in-solver
// evaluation and the fast path, one descent from the identity on the same
// instance. The baseline must make exactly the fast path's search.
int distance_table(bool smoke) {
    const std::vector<std::size_t> sizes =
        smoke ? std::vector<std::size_t>{12, 40} : std::vector<std::size_t>{200, 500, 1000, 2000, 5000};
    const double budget = 60.0;                // the baseline and the reference are cut (and marked) past this
    const std::size_t reference_below = 2000;  // the reference is skipped from here on
    std::printf("%-10s %6s %12s %12s %10s %10s %12s %12s\n", "model", "n", "baseline s", "reference s", "fast s",
                "ratio", "candidates", "descents/s");
    for (const std::size_t n : sizes) {
        const Instance inst = bench::random_instance(n, false, 1'000 + n);
        // Each column the least processor time of a few runs (short ones
        // repeated for about half a second), cut runs once.
        const auto least = [](auto run) {
            double best = 1e300;
            for (double spent = 0; spent < 0.5;) {
                const double t0 = cpu_seconds();
                const bool cut = run();
                const double t = cpu_seconds() - t0;
                best = std::min(best, t);
                spent += t;
                if (cut || t > 0.25) break;
            }
            return best;
        };

        std::uint64_t fast_candidates = 0;
        const double fast = least([&] {
            auto s = make_solver(inst, solver::Evaluation::Automatic, std::nullopt);
            s->descend();
            fast_candidates = s->evaluations();
            return false;
        });

        bench::PlainDescent plain;
        const double baseline = least([&] {
            plain = bench::plain_distance_descent(inst.distances(), identity_route(n), budget);
            return plain.cut;
        });
        if (!plain.cut) {
            auto s = make_solver(inst, solver::Evaluation::Automatic, std::nullopt);
            s->descend();
            if (plain.candidates != s->evaluations() || plain.route != s->current_solution().route ||
                !s->current_solution().distance.fits_u64() || plain.total != s->current_solution().distance.low) {
                std::printf("!! n=%zu: the baseline made another search (%llu vs %llu candidates)\n", n,
                            static_cast<unsigned long long>(plain.candidates),
                            static_cast<unsigned long long>(s->evaluations()));
                return 1;
            }
        }
        std::string reference = "skipped";
        if (n < reference_below) {
            bool cut = false;
            const double t = least([&] {
                auto s = make_solver(inst, solver::Evaluation::Reference, Span::from_seconds(static_cast<std::int64_t>(budget)));
                s->start_clock();
                s->descend();
                cut = s->time_is_up();
                return cut;
            });
            char buf[32];
            std::snprintf(buf, sizeof buf, "%s%.4f", cut ? ">" : "", t);
            reference = buf;
        }
        char baseline_text[32], ratio[32];
        std::snprintf(baseline_text, sizeof baseline_text, "%s%.4f", plain.cut ? ">" : "", baseline);
        std::snprintf(ratio, sizeof ratio, "%s%.1fx", plain.cut ? ">" : "", baseline / fast);
        // Long enough for a few descents at every size.
        const auto limit = static_cast<std::uint64_t>(std::max(2.0, std::ceil(3.0 * fast)));
        const double rate = descents_per_second(inst, smoke ? 1 : limit);
        std::printf("%-10s %6zu %12s %12s %10.4f %10s %12llu %12.2f\n", "distance", n, baseline_text,
                    reference.c_str(), fast, ratio, static_cast<unsigned long long>(fast_candidates), rate);
        std::fflush(stdout);
    }
    return 0;
}

// One fast descent per size, timed and printed, with nothing else around it
// but building the instance: the program to run under perf or callgrind.
int fast_only(int argc, char** argv) {
    for (int a = 2; a < argc; ++a) {
        const auto n = static_cast<std::size_t>(std::strtoull(argv[a], nullptr, 10));
        const Instance inst = bench::random_instance(n, false, 1'000 + n);
        const bool setup_only = std::getenv("TOURLOOM_BENCH_SETUP_ONLY") != nullptr;
        const int repeats = setup_only ? 0 : n <= 500 ? 20 : n <= 2000 ? 3 : 1;
        double best = 1e30;
        std::uint64_t candidates = 0;
        for (int r = 0; r < repeats; ++r) {
            const Descent d = time_descent_once(inst, solver::Evaluation::Automatic, 3'600.0);
            best = std::min(best, d.seconds);
            candidates = d.evaluations;
        }
        std::printf("n=%zu fast %.4f s (processor), %llu candidates\n", n, best,
                    static_cast<unsigned long long>(candidates));
    }
    return 0;
}

// Where the fast path's work actions go: per candidate, by the part of the
// evaluation that simulated them (the same descents as the time table's).
void phase_table(const std::vector<std::string>& names, const std::vector<Descent>& descents) {
    std::printf("\n%-22s %8s %8s %8s %8s %8s %8s %8s %8s\n", "work actions/cand", "refresh", "own", "middle",
                "reversed", "start", "tail", "jumped", "all");
    for (std::size_t k = 0; k < descents.size(); ++k) {
        const Descent& d = descents[k];
        const auto per = [&](std::uint64_t count) {
            return static_cast<double>(count) / static_cast<double>(std::max<std::uint64_t>(1, d.evaluations));
        };
        std::printf("%-22s", names[k].c_str());
        for (const std::uint64_t count : d.phases) std::printf(" %8.2f", per(count));
        std::printf(" %8.2f\n", per(d.work_actions()));
    }
}

// With a time model: the plain baseline, the reference and the fast path.
bool time_table(const std::vector<Instance>& instances, bool smoke) {
    const double baseline_budget = 60.0;
    const double reference_budget = smoke ? 60.0 : 30.0;
    const std::uint64_t limit_seconds = smoke ? 1 : 2;
    std::printf("\n%-22s %5s %12s %12s %11s %10s %11s %10s %11s\n", "time model", "n", "baseline s", "reference s",
                "fast s", "vs base", "candidates", "acts/cand", "descents/s");
    std::vector<std::string> names;
    std::vector<Descent> descents;
    for (const Instance& inst : instances) {
        const std::size_t n = inst.distances().size();
        const Descent fast = time_descent(inst, solver::Evaluation::Automatic, 3'600.0);
        names.push_back(inst.name);
        descents.push_back(fast);
        const Descent base = plain_descent(inst, baseline_budget);
        if (!same_search("baseline", base, fast, inst)) return false;
        const Descent ref = time_descent(inst, solver::Evaluation::Reference, reference_budget);
        if (!same_search("reference", ref, fast, inst)) return false;
        std::printf("%-22s %5zu %12s %12s %11.4f %10s %11llu %10.2f %11.2f\n", inst.name.c_str(), n,
                    seconds_cell(base).c_str(), seconds_cell(ref).c_str(), fast.seconds, ratio_cell(base, fast).c_str(),
                    static_cast<unsigned long long>(fast.evaluations),
                    static_cast<double>(fast.work_actions()) / static_cast<double>(std::max<std::uint64_t>(1, fast.evaluations)),
                    descents_per_second(inst, limit_seconds));
        std::fflush(stdout);
    }
    phase_table(names, descents);
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
        std::printf("%-22s %5zu %20s %20s %8llu %8s\n", inst.name.c_str(), inst.distances().size(), figures(once).c_str(),
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
        std::printf("%-22s %5zu %12.2f %12.2f\n", inst.name.c_str(), inst.distances().size(), wall[0], wall[1]);
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
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--fast") == 0) return fast_only(argc - a + 1, argv + a - 1);
        if (std::strcmp(argv[a], "--distance") == 0) return distance_table(false);
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
                        static_cast<unsigned long long>(d.evaluations), static_cast<unsigned long long>(d.work_actions()));
            phase_table({inst.name}, {d});
            return 0;
        }
        std::printf("no instance named %s\n", profile.c_str());
        return 1;
    }
    if (!time_only && distance_table(smoke) != 0) return 1;
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
