#include "fast_evaluation/time_resume.hpp"

#include <algorithm>
#include <tuple>

namespace tourloom::fast_evaluation {

using local_moves::Shape;

TimeResume::TimeResume(const DistanceMatrix& distances, const TimeScheduler& scheduler)
    : model_(scheduler, distances.row_count()),
      distance_(DistanceCost{&distances}),
      travel_(TravelCost{model_.travel_table(), model_.size()}) {}

void TimeResume::refresh(const Solution& current) {
    current_ = &current;
    ++version_;
    const auto& r = current.route;
    const std::size_t n = r.size();
    distance_.refresh(r);
    travel_.refresh(r);

    arrive_.resize(n);
    leave_.resize(n);
    late_before_.resize(n);
    late_after_.resize(n);
    jobs_before_.resize(n + 1);
    travel_before_.resize(n + 1);
    start_ = model_.tour_start(r[0]);
    Walk w{start_, 0};
    jobs_before_[0] = travel_before_[0] = 0;
    for (std::size_t p = 0; p < n; ++p) {
        const std::size_t next = r[p + 1 == n ? 0 : p + 1];
        jobs_before_[p + 1] = jobs_before_[p] + model_.job(r[p]);
        travel_before_[p + 1] = travel_before_[p] + model_.travel_time(r[p], next);
        arrive_[p] = w.clock;
        late_before_[p] = w.lateness;
        w.clock = model_.work(w.clock, r[p], w.lateness);
        leave_[p] = w.clock;
        late_after_[p] = w.lateness;
        drive(w, r[p], r[p + 1 == n ? 0 : p + 1]);
    }
    end_ = w.clock;
    lateness_ = w.lateness;
    work_actions_[static_cast<std::size_t>(Phase::Refresh)] += n;

    margins_ready_ = false;

    later_from_.assign(n + 1, 1);
    earlier_from_.assign(n + 1, 1);
    for (std::size_t p = n; p-- > 0;) {
        const std::size_t loc = r[p];
        // Either order is kept by work at a location with one window, and by
        // work whose windows all start by the last end when the current tour
        // comes after that end.
        const bool both = model_.single_window(loc) ||
                          (model_.starts_before_last_end(loc) && arrive_[p] > model_.last_end(loc));
        // A later arrival is also no better off where the current tour, in an
        // ordered list, was held up by nothing but its window's opening and
        // the hours: a later arrival up to that opening waits for the same
        // opening, and one after it has at least as far to go.
        const bool later = both || (model_.ordered(loc) && leave_[p] == model_.finish_held_by_hours_only(arrive_[p], loc));
        later_from_[p] = later && later_from_[p + 1];
        earlier_from_[p] = both && earlier_from_[p + 1];
    }

    const std::int64_t traveling = travel_.total();
    const std::int64_t duration = end_ - start_;
    incumbent_ = Rank{lateness_, traveling, duration, duration - model_.working_total() - traveling, current.distance};
}

void TimeResume::accept(Shape shape, std::size_t k, std::size_t i, std::size_t j, local_moves::Move move,
                        Solution& current) {
    current.distance = distance_.candidate_total(shape, k, i, j);
    move(current.route, i, j);
    refresh(current);
    // Every figure is a whole number of seconds well inside the ranges.
    const auto instant = [](std::int64_t t) { return *Instant::from_unix(t); };
    auto& report = *current.time_report;
    report.start_time = instant(start_);
    report.end_time = instant(end_);
    report.duration = Span::from_seconds(incumbent_.duration);
    report.lateness = Span::from_seconds(lateness_);
    report.working_time = Span::from_seconds(model_.working_total());
    report.waiting_time = Span::from_seconds(incumbent_.waiting);
    report.traveling_time = Span::from_seconds(incumbent_.traveling);
}

template <Shape shape>
TimeResume::Candidate TimeResume::candidate(std::size_t k, std::size_t i, std::size_t j) const {
    const auto& r = current_->route;
    const std::size_t n = r.size();
    Candidate c{shape, k, i, j, travel_.template candidate_total<shape>(k, i, j), r[0], start_, incumbent_.lateness, 0};
    if (i == 0) {
        c.first = r[local_moves::source_position(shape, k, i, j, 0)];
        c.start = model_.tour_start(c.first);
    } else if (j + 1 < n && later_from_[j + 1]) {
        // Without any wait the candidate would reach position j + 1 after
        // its own work and travel from position i − 1. When even that is no
        // earlier than the current tour gets there, it carries at least the
        // current tour's lateness from there on, so it is behind as soon as
        // its lateness passes the current tour's up to there (or reaches it,
        // when a tie on lateness would lose).
        const std::int64_t own_travel =
            c.traveling - incumbent_.traveling + (travel_before_[j + 1] - travel_before_[i - 1]);
        const std::int64_t no_wait = jobs_before_[j + 1] - jobs_before_[i] + own_travel;
        if (leave_[i - 1] + no_wait >= arrive_[j + 1]) {
            const bool tie_loses = c.traveling > incumbent_.traveling ||
                                   (c.traveling == incumbent_.traveling && !(distance_of(c) < incumbent_.distance));
            c.late_limit = late_before_[j + 1] - (tie_loses ? 1 : 0);
        }
    }
    // Lateness, travelling time and duration never shrink as a tour goes on,
    // so partial figures already ranked behind the current tour's stay
    // behind: with more lateness, or with as much and more travelling time,
    // or with as much of both and a longer duration so far.
    constexpr std::int64_t never = INT64_MAX, always = INT64_MIN;
    c.clock_limit = c.traveling < incumbent_.traveling   ? never
                    : c.traveling > incumbent_.traveling ? always
                                                         : c.start + incumbent_.duration;
    return c;
}

bool TimeResume::behind(const Walk& w, const Candidate& c) const noexcept {
    return w.lateness > c.late_limit || (w.lateness == incumbent_.lateness && w.clock > c.clock_limit);
}

bool TimeResume::decide(const Walk& done, const Candidate& c) const {
    const std::int64_t duration = done.clock - c.start;
    const Rank candidate{done.lateness, c.traveling, duration, duration - model_.working_total() - c.traveling,
                         distance_of(c)};
    return ranking::is_better(candidate, incumbent_);
}

bool TimeResume::reversed_segment(Walk& w, std::size_t i, std::size_t j, const Candidate& c) {
    const auto& r = current_->route;
    KeptReversal& kept = reversal_;
    drive(w, r[i - 1], r[j]);
    const Walk at_first = w;
    // This candidate's segment, kept for the next candidate of this scan
    // when it is not abandoned on the way. Once some action has no margin,
    // the segment moves by no delay but 0, where its late works do not
    // count: the margins are not asked further.
    KeptReversal fresh{version_, i, j, PlainTimeModel::unbounded, w.clock, 0, 0, 0};
    const auto margins_of_work = [&](std::size_t location) {
        if (fresh.clear == 0) return;
        bool late = false;
        fresh.clear = std::min(fresh.clear, model_.work_clear(w.clock, location, late));
        fresh.late_works += late ? 1 : 0;
    };
    const auto margin_of_travel = [&](std::size_t from, std::size_t to) {
        if (fresh.clear > 0) fresh.clear = std::min(fresh.clear, model_.travel_clear(w.clock, from, to));
    };
    std::size_t m = j;
    if (kept.version == version_ && kept.i == i && kept.j + 1 == j) {  // the kept segment, one location longer
        margins_of_work(r[j]);
        work(w, r[j], Phase::ReversedSegment);
        margin_of_travel(r[j], r[j - 1]);
        drive(w, r[j], r[j - 1]);
        const std::int64_t delay = w.clock - kept.arrive;
        if (delay >= 0 && delay <= kept.clear) {
            w.lateness += kept.lateness + delay * kept.late_works;
            w.clock = kept.leave + delay;
            const std::int64_t rest = kept.clear == PlainTimeModel::unbounded ? kept.clear : kept.clear - delay;
            fresh.clear = std::min(fresh.clear, rest);
            fresh.late_works += kept.late_works;
            fresh.leave = w.clock;
            fresh.lateness = w.lateness - at_first.lateness;
            kept = fresh;
            return !behind(w, c);
        }
        // Earlier than the kept one, or later by more than it allows: the
        // rest is simulated.
        if (behind(w, c)) return false;
        m = j - 1;
    }
    kept.version = ~std::uint64_t{0};
    for (;; --m) {
        margins_of_work(r[m]);
        work(w, r[m], Phase::ReversedSegment);
        if (behind(w, c)) return false;
        if (m == i) break;
        margin_of_travel(r[m], r[m - 1]);
        drive(w, r[m], r[m - 1]);
    }
    fresh.leave = w.clock;
    fresh.lateness = w.lateness - at_first.lateness;
    kept = fresh;
    return true;
}

void TimeResume::cache_margins() {
    const auto& r = current_->route;
    const std::size_t n = r.size();
    work_clear_.resize(n);
    entry_clear_.resize(n);
    late_works_before_.resize(n + 1);
    late_works_before_[0] = 0;
    for (std::size_t p = 0; p < n; ++p) {
        bool late = false;
        work_clear_[p] = model_.work_clear(arrive_[p], r[p], late);
        late_works_before_[p + 1] = late_works_before_[p] + (late ? 1 : 0);
        entry_clear_[p] = p == 0 ? work_clear_[0] : std::min(work_clear_[p], model_.travel_clear(leave_[p - 1], r[p - 1], r[p]));
    }
    entry_clear_below_.assign(entry_clear_);
    margins_ready_ = true;
}

bool TimeResume::shifted(Walk& w, std::size_t m, std::size_t last, std::size_t& q) {
    const std::int64_t delay = w.clock - arrive_[m];
    if (delay <= 0) return false;
    if (!margins_ready_) cache_margins();
    if (work_clear_[m] < delay) return false;
    // The first later position that the delay would not move as a whole
    // (often the next one: asked first, without the table).
    const std::size_t n = arrive_.size();
    const std::size_t stop = m + 1 == n || entry_clear_[m + 1] < delay ? m + 1 : entry_clear_below_.find(m + 2, delay);
    q = std::min(last, stop - 1);
    w.lateness += late_after_[q] - late_before_[m] + delay * (late_works_before_[q + 1] - late_works_before_[m]);
    w.clock = leave_[q] + delay;
    return true;
}

bool TimeResume::follow(Walk& w, std::size_t a, std::size_t b, const Candidate& c) {
    const auto& r = current_->route;
    for (std::size_t m = a;; ++m) {
        if (w.clock == arrive_[m]) {  // from here to b, the current tour's own states
            w.lateness += late_after_[b] - late_before_[m];
            w.clock = leave_[b];
            return !behind(w, c);
        }
        if (std::size_t q; shifted(w, m, b, q)) {
            if (behind(w, c)) return false;
            if (q == b) return true;
            drive(w, r[q], r[q + 1]);
            m = q;
            continue;
        }
        work(w, r[m], Phase::Middle);
        if (behind(w, c)) return false;
        if (w.clock == leave_[m]) {
            w.lateness += late_after_[b] - late_after_[m];
            w.clock = leave_[b];
            return !behind(w, c);
        }
        if (m == b) return true;
        drive(w, r[m], r[m + 1]);
    }
}

bool TimeResume::finish_as_current(Walk w, std::size_t p, bool after_work, const Candidate& c) {
    const auto& r = current_->route;
    const std::size_t n = r.size();
    if (c.i > 0) {  // the same tour from here to its end
        w.lateness += lateness_ - (after_work ? late_after_[p] : late_before_[p]);
        w.clock = end_;
    } else {  // the same tour up to the way back, which leads elsewhere
        w.lateness += late_after_[n - 1] - (after_work ? late_after_[p] : late_before_[p]);
        w.clock = leave_[n - 1];
        drive(w, r[n - 1], c.first);
    }
    return decide(w, c);
}

bool TimeResume::finish(Walk w, std::size_t p, const Candidate& segment) {
    // A tighter lateness limit speaks of the lateness before position j + 1 only.
    Candidate c = segment;
    c.late_limit = incumbent_.lateness;
    const auto& r = current_->route;
    const std::size_t n = r.size();
    for (;; ++p) {
        if (p == n) return decide(w, c);
        if (w.clock == arrive_[p]) return finish_as_current(w, p, false, c);
        // Where the rest of the tour keeps the order of the two clocks: from
        // a later clock at least the current tour's lateness from here on,
        // from an earlier one at most. With the same start the end keeps
        // that order too, and with it the duration.
        if (w.clock > arrive_[p] ? later_from_[p] : earlier_from_[p]) {
            if (w.clock > arrive_[p]) {
                if (w.lateness > late_before_[p]) return false;
                if (w.lateness == late_before_[p] && c.i > 0) {
                    if (c.traveling > incumbent_.traveling) return false;
                    // Then the duration is no shorter: only a shorter distance could win a full tie.
                    if (c.traveling == incumbent_.traveling && !(distance_of(c) < incumbent_.distance)) return false;
                }
            } else {
                if (w.lateness < late_before_[p]) return true;
                if (w.lateness == late_before_[p] && c.i > 0) {
                    if (c.traveling < incumbent_.traveling) return true;
                    // The duration is no longer, so a shorter distance wins any tie.
                    if (c.traveling == incumbent_.traveling && distance_of(c) < incumbent_.distance) return true;
                }
            }
        }
        if (std::size_t q; shifted(w, p, n - 1, q)) {
            if (behind(w, c)) return false;
            drive(w, r[q], q + 1 == n ? c.first : r[q + 1]);
            if (behind(w, c)) return false;
            p = q;
            continue;
        }
        work(w, r[p], Phase::Tail);
        if (behind(w, c)) return false;
        if (w.clock == leave_[p]) return finish_as_current(w, p, true, c);
        drive(w, r[p], p + 1 == n ? c.first : r[p + 1]);
        if (behind(w, c)) return false;
    }
}

// A candidate that starts at another location starts at another time: its
// segment is simulated from the start; after it, the current tour's states
// still serve up to the way back.
bool TimeResume::improves_from_start(const Candidate& c) {
    const auto& r = current_->route;
    const std::size_t n = r.size();
    const auto moved = [&](std::size_t p) { return r[local_moves::source_position(c.shape, c.k, c.i, c.j, p)]; };
    Walk w{c.start, 0};
    for (std::size_t p = 0; p <= c.j; ++p) {
        const std::size_t loc = moved(p);
        work(w, loc, Phase::FromStart);
        if (behind(w, c)) return false;
        drive(w, loc, p + 1 == n ? c.first : moved(p + 1));
        if (behind(w, c)) return false;
    }
    return finish(w, c.j + 1, c);
}

const TimeResume::Walk& TimeResume::jumped_stretch(std::size_t k, std::size_t i, std::size_t j) {
    const auto& r = current_->route;
    KeptStretch& s = kept_;
    if (s.version == version_ && s.k == k && s.i == i && s.j + 1 == j) {
        drive(s.walk, r[j - 1], r[j]);
        if (s.walk.clock == arrive_[j]) {
            s.walk.lateness += late_after_[j] - late_before_[j];
            s.walk.clock = leave_[j];
        } else {
            work(s.walk, r[j], Phase::JumpedStretch);
        }
    } else {
        s.walk = Walk{leave_[i - 1], late_after_[i - 1]};
        drive(s.walk, r[i - 1], r[i + k]);
        for (std::size_t m = i + k;; ++m) {
            if (s.walk.clock == arrive_[m]) {
                s.walk.lateness += late_after_[j] - late_before_[m];
                s.walk.clock = leave_[j];
                break;
            }
            work(s.walk, r[m], Phase::JumpedStretch);
            if (m == j) break;
            drive(s.walk, r[m], r[m + 1]);
        }
    }
    s.version = version_;
    s.k = k;
    s.i = i;
    s.j = j;
    return s.walk;
}

bool TimeResume::improves(Shape shape, std::size_t k, std::size_t i, std::size_t j) {
    return local_moves::with_shape(shape, [&](auto s) { return improves<s.value>(k, i, j); });
}

template <Shape shape>
bool TimeResume::improves(std::size_t k, std::size_t i, std::size_t j) {
    const auto& r = current_->route;
    const std::size_t n = r.size();
    const Candidate c = candidate<shape>(k, i, j);
    if (i == 0) return improves_from_start(c);
    // Travelling time is the second key, and a tour's prefix its lower bound.
    Walk w{leave_[i - 1], late_after_[i - 1]};
    if (behind(w, c)) return false;
    const std::size_t after = r[j + 1 == n ? 0 : j + 1];  // the first location after the segment

    if constexpr (shape == Shape::Reverse) {
        if (!reversed_segment(w, i, j, c)) return false;
        drive(w, r[i], after);
    } else if constexpr (shape == Shape::Swap) {  // j >= i + 3
        drive(w, r[i - 1], r[j]);
        work(w, r[j], Phase::OwnLocations);
        if (behind(w, c)) return false;
        drive(w, r[j], r[i + 1]);
        if (!follow(w, i + 1, j - 1, c)) return false;
        drive(w, r[j - 1], r[i]);
        work(w, r[i], Phase::OwnLocations);
        if (behind(w, c)) return false;
        drive(w, r[i], after);
    } else if constexpr (shape == Shape::RotateLeft) {  // positions i + k .. j, then the block i .. i + k − 1
        w = jumped_stretch(k, i, j);
        // The stretch only grows with j, and so does its lateness.
        if (w.lateness > incumbent_.lateness || behind(w, c)) return false;
        drive(w, r[j], r[i]);
        for (std::size_t m = i;; ++m) {
            work(w, r[m], Phase::OwnLocations);
            if (behind(w, c)) return false;
            if (m == i + k - 1) break;
            drive(w, r[m], r[m + 1]);
        }
        drive(w, r[i + k - 1], after);
    } else {  // the block j − k + 1 .. j, then positions i .. j − k
        drive(w, r[i - 1], r[j - k + 1]);
        for (std::size_t m = j - k + 1;; ++m) {
            work(w, r[m], Phase::OwnLocations);
            if (behind(w, c)) return false;
            if (m == j) break;
            drive(w, r[m], r[m + 1]);
        }
        drive(w, r[j], r[i]);
        if (!follow(w, i, j - k, c)) return false;
        drive(w, r[j - k], after);
    }
    if (behind(w, c)) return false;
    return finish(w, j + 1, c);
}

template bool TimeResume::improves<Shape::Reverse>(std::size_t, std::size_t, std::size_t);
template bool TimeResume::improves<Shape::Swap>(std::size_t, std::size_t, std::size_t);
template bool TimeResume::improves<Shape::RotateLeft>(std::size_t, std::size_t, std::size_t);
template bool TimeResume::improves<Shape::RotateRight>(std::size_t, std::size_t, std::size_t);

}  // namespace tourloom::fast_evaluation
