// libFuzzer harness for the core: decodes arbitrary bytes into an instance
// (distances of any shape and magnitude, optional time inputs with values up
// to and past the ends of the time ranges, a starting route) and checks
//
//  (a) that a descent on the fast evaluation path and one on the reference
//      path, built from the same inputs and starting route, accept the same
//      solutions sweep by sweep, or panic with the same message in the same
//      sweep;
//  (b) that every evaluation that finishes is well formed: the route is a
//      permutation, the time figures add up, recorded events tile the tour
//      exactly, evaluating with and without events gives the same figures
//      (or the same panic), and `solve` never returns something worse than
//      the identity route.
//
// A broken check prints the instance and what differed, then aborts, which
// libFuzzer records as a crash. The byte layout is described at `decode`;
// fuzz/make_seeds.py writes inputs in it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lib.hpp"
#include "local_moves.hpp"
#include "panic.hpp"
#include "penalizer.hpp"
#include "penalties/time/time_input.hpp"
#include "solver.hpp"

namespace {

using namespace tourloom;
using output::Route;
using output::Solution;
using penalizer::DistanceMatrix;
using penalizer::Penalizer;
using penalties::time::time_input::TimeScheduler;
using penalties::time::time_output::Event;
using penalties::time::time_output::TimeReport;
using solver::Evaluation;
using solver::Solver;

constexpr std::size_t max_locations = 12;
constexpr std::uint64_t u64_max = UINT64_MAX;
constexpr std::uint64_t day = 86'400;
constexpr std::uint64_t nov_2023 = 1'700'006'400;  // 2023-11-15 00:00:00 UTC
constexpr std::uint64_t last_instant = 8'210'266'876'799;            // 31 Dec of year 262142, 23:59:59
constexpr std::uint64_t first_instant = 18'446'735'739'108'236'416ULL;  // the earliest instant, as unsigned

// ---------------------------------------------------------------- decoding

// Reads bytes front to back; past the end every read is zero, so any prefix
// of an input is an input too.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : p_(data), left_(size) {}
    std::uint8_t byte() {
        if (left_ == 0) return 0;
        --left_;
        return *p_++;
    }
    std::uint64_t word(int bytes) {
        std::uint64_t v = 0;
        for (int k = 0; k < bytes; ++k) v |= std::uint64_t{byte()} << (8 * k);
        return v;
    }

private:
    const std::uint8_t* p_;
    std::size_t left_;
};

std::uint64_t distance_value(Bytes& in) {
    static constexpr std::uint64_t extremes[] = {
        0, 1, 0xFFFF'FFFF, 0x1'0000'0000, 1ULL << 62, (1ULL << 63) - 1, 1ULL << 63, (1ULL << 63) + 1,
        u64_max, u64_max - 1, u64_max - 2, u64_max - 1'000, u64_max / 3, u64_max / 12, u64_max / 11, u64_max / 2,
    };
    switch (in.byte() % 8) {
        case 0: return in.byte();
        case 1: return in.byte() % 4;  // ties
        case 2: return in.word(2);
        case 3: return extremes[in.byte() % std::size(extremes)];
        case 4: return u64_max - in.byte();  // "forbidden" edges near 2^64
        case 5: return in.word(8);
        default: return std::uint64_t{in.byte()} * 1'000 + in.byte();
    }
}

std::uint64_t seconds_value(Bytes& in) {
    static constexpr std::uint64_t extremes[] = {
        9'223'372'036'854'775,           // the longest span
        9'223'372'036'854'776,           // one past it: "TimeDelta::seconds out of bounds"
        18'437'520'701'672'696'840ULL,   // the most negative count that still fails
        18'437'520'701'672'696'841ULL,   // the most negative span
        u64_max,                         // minus one second
        1ULL << 63, 86'400, 86'399, last_instant, 1ULL << 40, 1ULL << 33, 4'611'686'018'427'387,
    };
    switch (in.byte() % 8) {
        case 0: return 0;
        case 1: return std::uint64_t{in.byte()} * 60;
        case 2: return in.word(2);
        case 3: return extremes[in.byte() % std::size(extremes)];
        case 4: return u64_max - in.byte();  // small negative spans
        case 5: return in.word(8);
        default: return std::uint64_t{in.byte()} * 600;
    }
}

std::uint64_t instant_value(Bytes& in) {
    static constexpr std::uint64_t extremes[] = {
        0, last_instant, last_instant + 1, last_instant - 100, last_instant - day, first_instant, first_instant - 1,
        first_instant + 1, first_instant + day, u64_max, 1ULL << 63, (1ULL << 63) - 1, nov_2023, 1'700'000'000,
    };
    return extremes[in.byte() % std::size(extremes)];
}

// `rows` rows of `n` entries, or of other lengths when `shape` says so:
// 0 and 1 square, 2 ragged, 3 one entry too many in every row.
template <class Value>
RawMatrix matrix(Bytes& in, std::size_t rows, std::size_t n, unsigned shape, Value value) {
    RawMatrix m(rows);
    for (auto& row : m) {
        const std::size_t len = shape == 2 ? in.byte() % (n + 2) : shape == 3 ? n + 1 : n;
        row.resize(len);
        for (auto& v : row) v = value(in);
    }
    return m;
}

struct Instance {
    RawInput input;  // the time limit stays absent: one descent
    Route start;
    bool identity_start = false;
    struct Probe { std::size_t neighbourhood, i, j; };
    std::vector<Probe> probes;
};

// One location's windows: 0 to 3 of them, mostly ascending from `t`, some
// overlapping or out of order, some with start after end, some at the ends
// of the instant range, some raw.
std::vector<RawPair> location_windows(Bytes& in, std::uint64_t t) {
    std::vector<RawPair> out;
    const unsigned count = in.byte() % 4;
    for (unsigned k = 0; k < count; ++k) {
        const unsigned tag = in.byte() % 8;
        if (tag < 4) {
            const std::uint64_t start = t + std::uint64_t{in.byte()} * 600;
            const std::uint64_t end = start + std::uint64_t{in.byte()} * 300;
            out.push_back({start, end});
            t = end;
        } else if (tag == 4) {  // reaching back before the previous window's end
            const std::uint64_t start = t - std::uint64_t{in.byte()} * 600;
            out.push_back({start, start + std::uint64_t{in.byte()} * 300});
        } else if (tag == 5) {
            out.push_back({instant_value(in), instant_value(in)});
        } else if (tag == 6) {  // start after end
            const std::uint64_t start = t + std::uint64_t{in.byte()} * 600;
            out.push_back({start, start - 1 - in.byte()});
        } else {
            out.push_back({in.word(8), in.word(8)});
        }
    }
    return out;
}

std::optional<RawPair> operating_hours(Bytes& in) {
    const unsigned tag = in.byte() % 8;
    const std::uint64_t a = in.byte(), b = in.byte();
    switch (tag) {
        case 0: return std::nullopt;
        case 1: {  // ordinary, now and then past midnight (refused)
            const std::uint64_t open = 5 * 3'600 + a * 120;
            return RawPair{open, open + 3'600 + b * 240};
        }
        case 2: {  // a whole day or nothing: dropped
            const std::uint64_t s = a * 1'000 + b;
            return b % 2 ? RawPair{s, s + day} : RawPair{s, s};
        }
        case 3: return RawPair{(a % 24) * 3'600 + 1, (b % 24) * 3'600};  // often reversed: refused
        case 4: return RawPair{seconds_value(in), seconds_value(in)};
        case 5: return RawPair{in.word(8), in.word(8)};
        case 6: return RawPair{a * 300, a * 300 + 1 + b};  // open for minutes only
        default: return RawPair{a % 2 ? 0 : day, day + 86'399 - b};  // almost the whole day
    }
}

// Layout: n, distance shape, time flags, hours tag and era; the distance
// rows; the duration rows, job durations and windows when flagged; the
// hours; the starting route (Fisher–Yates draws unless the identity is
// flagged); then up to three probe moves.
Instance decode(Bytes& in) {
    Instance x;
    const std::size_t n = in.byte() % (max_locations + 1);
    const unsigned distance_shape = in.byte() % 4;
    const unsigned flags = in.byte();
    const unsigned era = in.byte() % 4;

    x.input.distance_matrix = matrix(in, n, n, distance_shape, distance_value);
    if (flags & 1) {
        const unsigned shape = (flags >> 4) & 3;  // 3: a row short
        x.input.duration_matrix = shape == 3 ? matrix(in, n > 0 ? n - 1 : 0, n, 0, seconds_value)
                                 : matrix(in, n, n, shape, seconds_value);
    }
    if (flags & 2) {
        const std::size_t len = (flags & 64) ? (in.byte() % 2 ? n + 1 : (n > 0 ? n - 1 : 0)) : n;
        x.input.job_durations.emplace(len);
        for (auto& v : *x.input.job_durations) v = seconds_value(in);
    }
    if (flags & 4) {
        const std::size_t len = (flags & 128) && n > 0 ? n - 1 : n;
        x.input.time_windows.emplace();
        for (std::size_t a = 0; a < len; ++a) {
            std::uint64_t t = 0;
            switch (era) {
                case 0: t = nov_2023 + std::uint64_t{in.byte()} * 3'600; break;
                case 1: t = last_instant - std::uint64_t{in.byte()} * 3'600; break;  // close to the end of time
                case 2: t = first_instant + std::uint64_t{in.byte()} * 60; break;    // close to its beginning
                default: t = std::uint64_t{in.byte()} * 60; break;                     // 1970
            }
            x.input.time_windows->push_back(location_windows(in, t));
        }
    }
    x.input.operation_times = operating_hours(in);

    x.start.resize(n);
    std::iota(x.start.begin(), x.start.end(), std::size_t{0});
    x.identity_start = (flags & 8) != 0;
    if (!x.identity_start)
        for (std::size_t i = n; i-- > 1;) std::swap(x.start[i], x.start[in.byte() % (i + 1)]);

    const unsigned probes = in.byte() % 4;
    for (unsigned k = 0; k < probes && n > 0; ++k) {
        const std::size_t which = in.byte() % std::size(local_moves::sweep_order);
        const std::size_t gap = local_moves::sweep_order[which].min_gap;
        const std::size_t i = in.byte() % n;
        if (i + gap >= n) continue;
        x.probes.push_back({which, i, i + gap + in.byte() % (n - i - gap)});
    }
    return x;
}

// ---------------------------------------------------------------- reporting

std::string describe_matrix(const RawMatrix& m) {
    std::string s = "[";
    for (const auto& row : m) {
        s += "[";
        for (std::size_t k = 0; k < row.size(); ++k) s += (k ? ", " : "") + std::to_string(row[k]);
        s += "]";
    }
    return s + "]";
}

std::string describe_matrix(const RawTable& t) {
    RawMatrix rows;
    for (std::size_t k = 0; k < t.size(); ++k) rows.emplace_back(t[k].begin(), t[k].end());
    return describe_matrix(rows);
}

std::string describe(const Instance& x) {
    std::string s = "distances " + describe_matrix(std::get<RawMatrix>(x.input.distance_matrix));
    if (x.input.duration_matrix) s += "\ndurations " + describe_matrix(*x.input.duration_matrix);
    if (x.input.job_durations) s += "\njobs " + describe_matrix({*x.input.job_durations});
    if (x.input.time_windows) {
        s += "\nwindows [";
        for (const auto& loc : *x.input.time_windows) {
            s += "[";
            for (const auto& [a, b] : loc) s += "(" + std::to_string(a) + ", " + std::to_string(b) + ")";
            s += "]";
        }
        s += "]";
    }
    if (x.input.operation_times) s += "\nhours (" + std::to_string(x.input.operation_times->first) + ", " + std::to_string(x.input.operation_times->second) + ")";
    s += "\nstart [";
    for (std::size_t k = 0; k < x.start.size(); ++k) s += (k ? ", " : "") + std::to_string(x.start[k]);
    return s + "]";
}

const Instance* current_instance = nullptr;
// TOURLOOM_FUZZ_PRINT=1: print each decoded instance and how its descent went.
bool print_mode = false;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "\n==== core_fuzz: %s\n", what.c_str());
    if (current_instance != nullptr) std::fprintf(stderr, "%s\n", describe(*current_instance).c_str());
    std::fflush(stderr);
    std::abort();
}

std::string describe_route(const Route& r) {
    std::string s = "[";
    for (std::size_t k = 0; k < r.size(); ++k) s += (k ? ", " : "") + std::to_string(r[k]);
    return s + "]";
}

std::string describe(const Solution& s) {
    std::string out = "route " + describe_route(s.route) + " distance " + std::to_string(s.distance.high) + ":" +
                      std::to_string(s.distance.low);
    if (s.time_report) {
        const auto& r = *s.time_report;
        const auto span = [](Span v) { return std::to_string(v.seconds()) + "." + std::to_string(v.nanos()); };
        out += " lateness " + span(r.lateness) + " traveling " + span(r.traveling_time) + " duration " +
               span(r.duration) + " waiting " + span(r.waiting_time) + " working " + span(r.working_time) +
               " events " + std::to_string(r.events.size());
    }
    return out;
}

// ---------------------------------------------------------------- checks

// A panic message, or nothing when `f` returned.
template <class F>
std::optional<std::string> panic_of(F&& f) {
    try {
        f();
    } catch (const Panic& p) {
        return p.message();
    }
    return std::nullopt;
}

std::optional<TimeScheduler> make_scheduler(const Instance& x) {
    return penalties::time::time_input::transform(x.input.duration_matrix, x.input.job_durations, x.input.time_windows, x.input.operation_times);
}

void check_permutation(const Route& route, std::size_t n, const char* where) {
    std::vector<bool> seen(n, false);
    bool ok = route.size() == n;
    for (std::size_t loc : route) {
        if (loc >= n || seen[loc]) { ok = false; break; }
        seen[loc] = true;
    }
    if (!ok) fail(std::string(where) + ": route " + describe_route(route) + " is not a permutation of 0.." +
                  std::to_string(n) + " - 1");
}

// The figures of a report add up; recorded events tile [start_time, end_time]
// in order, without gap or overlap, and sum to the totals.
void check_report(const TimeReport& r, const Route& route, bool with_events, const char* where) {
    const auto bad = [&](const std::string& what) { fail(std::string(where) + ": " + what); };
    const auto problem = panic_of([&] {
        if (r.duration != r.end_time - r.start_time) bad("duration is not end_time - start_time");
        for (Span s : {r.duration, r.lateness, r.working_time, r.waiting_time, r.traveling_time})
            if (s < Span::zero()) bad("a negative total");
        if (r.working_time + r.waiting_time + r.traveling_time != r.duration)
            bad("duration != working + waiting + traveling");
        if (!with_events) {
            if (!r.events.empty()) bad("events recorded although none were asked for");
            return;
        }
        Instant cursor = r.start_time;
        Span work, wait, travel;
        std::size_t visit = 0;  // route position of the latest Work event
        bool any_work = false;
        for (std::size_t k = 0; k < r.events.size(); ++k) {
            const Event& e = r.events[k];
            if (e.window.start() != cursor) bad("event " + std::to_string(k) + " leaves a gap or overlaps");
            if (!(e.window.start() < e.window.end())) bad("event " + std::to_string(k) + " is empty");
            cursor = e.window.end();
            const Span length = e.window.end() - e.window.start();
            switch (e.kind) {
                case Event::Kind::Work: {
                    work += length;
                    // Work events follow the route, several in a row for one visit cut by the hours.
                    std::size_t p = any_work ? visit : 0;
                    while (p < route.size() && route[p] != e.location) ++p;
                    if (p == route.size()) bad("work event at a location out of route order");
                    visit = p;
                    any_work = true;
                    break;
                }
                case Event::Kind::Wait:
                    wait += length;
                    if (k > 0 && r.events[k - 1].kind == Event::Kind::Wait) bad("two waits in a row");
                    break;
                case Event::Kind::Travel: travel += length; break;
            }
        }
        if (cursor != r.end_time) bad("events do not end at end_time");
        if (work != r.working_time || wait != r.waiting_time || travel != r.traveling_time)
            bad("events do not add up to the totals");
    });
    if (problem) bad("checking the report panicked: " + *problem);
}

// A finished evaluation: the stored solution is what a fresh evaluation of
// its route gives (with events when it was stored with them), evaluating
// the other way gives the same figures, and both are well formed.
void check_solution(const Penalizer& p, const Solution& s, std::size_t n, const char* where,
                    bool stored_with_events = false) {
    check_permutation(s.route, n, where);
    if (s.time_report.has_value() != p.time_scheduler().has_value()) fail(std::string(where) + ": time report presence");
    Solution plain, recorded;
    if (const auto m = panic_of([&] { plain = p.penalize(s.route, false); }))
        fail(std::string(where) + ": re-evaluating a finished solution panicked: " + *m);
    if (const auto m = panic_of([&] { recorded = p.penalize(s.route, true); }))
        fail(std::string(where) + ": evaluating with events panicked: " + *m);
    const Solution& fresh = stored_with_events ? recorded : plain;
    if (!(fresh == s)) fail(std::string(where) + ": stored " + describe(s) + "\nbut evaluated " + describe(fresh));
    if (!(recorded.distance == plain.distance) || recorded.route != plain.route)
        fail(std::string(where) + ": distance differs with events");
    if (s.time_report) {
        check_report(*plain.time_report, s.route, false, where);
        check_report(*recorded.time_report, s.route, true, where);
        TimeReport without_events = *recorded.time_report;
        without_events.events.clear();
        if (!(without_events == *plain.time_report)) fail(std::string(where) + ": figures differ with events");
    }
}

// Any route: with and without events, the same panic or the same figures.
void check_probe(const Penalizer& p, const Route& route, std::size_t n) {
    Solution plain, recorded;
    const auto a = panic_of([&] { plain = p.penalize(route, false); });
    const auto b = panic_of([&] { recorded = p.penalize(route, true); });
    if (a != b)
        fail("probe " + describe_route(route) + ": without events " + a.value_or("no panic") + ", with events " +
             b.value_or("no panic"));
    if (!a) check_solution(p, plain, n, "probe");
}

// One side of the differential: a solver on one evaluation path, or the
// panic that stopped building it.
struct Side {
    std::unique_ptr<Solver> solver;
    std::optional<std::string> setup_panic;
};

Side build(const Instance& x, Evaluation evaluation) {
    Side side;
    side.setup_panic = panic_of([&] {
        Penalizer p(DistanceMatrix(x.input.distance_matrix), make_scheduler(x));
        Solution initial = p.penalize(x.start, false);
        side.solver = std::make_unique<Solver>(std::move(p), std::nullopt, row_count(x.input.distance_matrix), std::move(initial),
                                               evaluation);
    });
    return side;
}

struct Step {
    std::optional<std::string> panic;
    bool accepted = false;
};

Step sweep(Solver& s) {
    Step step;
    step.panic = panic_of([&] { step.accepted = s.sweep(); });
    return step;
}

// The descents on both paths. Returns the reference descent's end: its
// final solution, or the panic that ended it.
std::pair<std::optional<Solution>, std::optional<std::string>> differential(const Instance& x) {
    Side reference = build(x, Evaluation::Reference);
    Side fast = build(x, Evaluation::Automatic);
    if (reference.setup_panic != fast.setup_panic)
        fail("setting up: reference " + reference.setup_panic.value_or("no panic") + ", fast " +
             fast.setup_panic.value_or("no panic"));
    if (reference.setup_panic) {
        if (print_mode) std::fprintf(stderr, "path: none; setup panic: %s\n", reference.setup_panic->c_str());
        return {std::nullopt, reference.setup_panic};
    }
    if (print_mode)
        std::fprintf(stderr, "path: %s\n",
                     fast.solver->uses_fast_time() ? "fast time" : fast.solver->uses_fast_distance() ? "fast distance" : "reference");
    if (reference.solver->uses_fast_distance() || reference.solver->uses_fast_time())
        fail("the reference solver took a fast path");

    const std::size_t n = row_count(x.input.distance_matrix);
    check_solution(reference.solver->penalizer(), reference.solver->current_solution(), n, "initial");
    for (int round = 0;; ++round) {
        if (round > 100'000) fail("the descent does not end");
        const Step r = sweep(*reference.solver);
        const Step f = sweep(*fast.solver);
        const std::string at = "sweep " + std::to_string(round);
        if (r.panic != f.panic)
            fail(at + ": reference " + r.panic.value_or("no panic") + ", fast " + f.panic.value_or("no panic"));
        if (r.panic) {
            if (print_mode) std::fprintf(stderr, "sweep %d panic: %s\n", round, r.panic->c_str());
            return {std::nullopt, r.panic};
        }
        const Solution& rs = reference.solver->current_solution();
        const Solution& fs = fast.solver->current_solution();
        if (r.accepted != f.accepted || !(rs == fs))
            fail(at + ": reference " + (r.accepted ? "accepted " : "rejected ") + describe(rs) + "\nfast " +
                 (f.accepted ? "accepted " : "rejected ") + describe(fs));
        if (reference.solver->evaluations() != fast.solver->evaluations())
            fail(at + ": evaluation counts " + std::to_string(reference.solver->evaluations()) + " and " +
                 std::to_string(fast.solver->evaluations()));
        check_solution(reference.solver->penalizer(), rs, n, "after a sweep");
        if (!r.accepted) {
            if (print_mode) std::fprintf(stderr, "descent ended after %d sweeps\n", round + 1);
            return {rs, std::nullopt};
        }
    }
}

// `solve` without a limit: one descent from the identity route, never worse
// than the identity route itself; when the fuzzed start was the identity,
// exactly the descent the differential ran.
void check_solve(const Instance& x, const std::optional<Solution>& descent_end,
                 const std::optional<std::string>& descent_panic) {
    const std::size_t n = row_count(x.input.distance_matrix);
    std::optional<Penalizer> p;
    const auto transform_panic = panic_of([&] { p.emplace(DistanceMatrix(x.input.distance_matrix), make_scheduler(x)); });
    Route identity(n);
    std::iota(identity.begin(), identity.end(), std::size_t{0});
    Solution identity_solution;
    std::optional<std::string> identity_panic = transform_panic;
    if (!identity_panic) identity_panic = panic_of([&] { identity_solution = p->penalize(identity, false); });

    std::optional<PyOutput> out;
    const auto solve_panic =
        panic_of([&] { out = solve(x.input); });

    if (identity_panic) {
        if (solve_panic != identity_panic)
            fail("solve: expected the panic of the identity route, " + *identity_panic + ", got " +
                 solve_panic.value_or("no panic"));
        return;
    }
    if (x.identity_start) {
        // Same inputs, same start, same (fast) path: the same end.
        if (descent_panic) {
            if (solve_panic != descent_panic)
                fail("solve: expected the descent's panic " + *descent_panic + ", got " + solve_panic.value_or("no panic"));
            return;
        }
        if (!descent_end->distance.fits_u64()) {
            if (solve_panic != "attempt to add with overflow")
                fail("solve: a best distance past 2^64 - 1 must panic, got " + solve_panic.value_or("no panic"));
            return;
        }
        if (solve_panic) fail("solve panicked where the descent did not: " + *solve_panic);
        if (out->route != descent_end->route) fail("solve returned another route than the descent");
    }
    if (solve_panic) return;  // a candidate of the search may fail where the identity route does not

    check_permutation(out->route, n, "solve");
    if (out->iterations != 1) fail("solve without a limit ran " + std::to_string(out->iterations) + " descents");
    // The returned report is the final evaluation's, events included.
    Solution result{out->route, out->time_report, output::DistanceTotal::of(out->distance)};
    check_solution(*p, result, n, "solve", true);
    if (p->is_better(identity_solution, result)) fail("solve returned something worse than the identity route");
}

// A coarse bound on the simulation's passes: with operating hours every
// action is cut at each daily close, so a long duration with short hours
// means many passes per evaluation (up to ~10^8 before the clock leaves the
// calendar), and a few thousand per tour already make one input take tens
// of seconds under the sanitizers on a busy machine. Such inputs say
// nothing new and would only stall the fuzzer or trip its timeout.
bool too_slow(const Instance& x) {
    std::optional<TimeScheduler> s;
    if (panic_of([&] { s = make_scheduler(x); }) || !s || !s->operation_times) return false;
    const std::int64_t open = std::max<std::int64_t>(
        1, (s->operation_times->daily_end() - s->operation_times->daily_start()).seconds());
    const auto pieces = [&](Span d) -> double { return d.is_positive() ? double(d.seconds()) / double(open) + 2 : 0; };
    double total = 0;
    for (std::size_t a = 0; a < s->job_durations.size(); ++a) {
        double longest = 0;
        if (a < s->duration_matrix.size())
            for (std::size_t b = 0; b < s->duration_matrix[a].size(); ++b)
                longest = std::max(longest, pieces(s->duration_matrix[a][b]));
        total += pieces(s->job_durations[a]) + longest;
    }
    return total > 2'000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    const Instance x = decode(in);
    static const bool print = std::getenv("TOURLOOM_FUZZ_PRINT") != nullptr;
    print_mode = print;
    if (print_mode) std::fprintf(stderr, "%s\n", describe(x).c_str());
    if (too_slow(x)) return -1;  // not added to the corpus
    current_instance = &x;

    const auto [descent_end, descent_panic] = differential(x);

    std::optional<Penalizer> p;
    if (!panic_of([&] { p.emplace(DistanceMatrix(x.input.distance_matrix), make_scheduler(x)); })) {
        for (const auto& probe : x.probes) {
            Route route = x.start;
            local_moves::sweep_order[probe.neighbourhood].move(route, probe.i, probe.j);
            check_probe(*p, route, row_count(x.input.distance_matrix));
        }
    }
    check_solve(x, descent_end, descent_panic);
    current_instance = nullptr;
    return 0;
}
