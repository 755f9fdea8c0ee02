#pragma once
// Distance only, on a square matrix stored in 16 or 32 bits, for tours of
// thousands of locations, where the matrix no longer fits in cache and a
// candidate's cost is its scattered matrix reads. The scans ask for the
// first improving j of a row i at once, so that
//  - what is fixed along the row (the rows of the move's fixed locations,
//    the edges it removes and adds there) is read once per row;
//  - the edges a candidate removes are the current route's own, kept
//    contiguous in route order, as are the edges k + 1 positions apart that
//    a right rotation adds;
//  - on a symmetric matrix, an edge into a fixed location is read from that
//    location's row, so that every other read falls into the two or three
//    rows the row i keeps in cache.
//  - along a row the scan reads the matrix rows it needs laid out in
//    route order (RouteOrderedRows), so that the candidates' gains are sums
//    of contiguous arrays, formed many at a time (first_negative).
// A candidate's gain is the sum of the edges it adds minus those it
// removes; with entries below 2^32 these sums are exact in signed 64 bits,
// and so is the current tour's total in 64 unsigned bits.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fast_evaluation/first_negative.hpp"
#include "fast_evaluation/route_ordered_rows.hpp"
#include "local_moves.hpp"
#include "penalties/distance/distance_matrix.hpp"

namespace tourloom::fast_evaluation {

using local_moves::Route;
using local_moves::Shape;

// `symmetric`: only for matrices with m[a][b] == m[b][a] throughout.
template <class Entry, bool symmetric>
class PackedDistanceDelta {
    static_assert(sizeof(Entry) <= 4, "sums of entries must stay exact in 64 bits");
    using Sum = std::int64_t;

public:
    explicit PackedDistanceDelta(const penalties::distance::distance_matrix::DistanceMatrix& matrix)
        : m_(matrix.entries<Entry>()), n_(matrix.row_count()) {}

    // Call after every accepted candidate. A move changes one stretch of
    // positions; finding it is a sequential O(n) compare, and only the
    // edges around it are read again from the matrix.
    void refresh(const Route& route) {
        const std::size_t n = n_;
        if (loc_.size() != n + 1) {
            loc_.assign(n + 1, 0);
            own_.assign(n, 0);
            turn_.assign(symmetric ? 0 : n, 0);
            for (auto& hop : hop_) hop.assign(n, 0);
            total_ = 0;
            layout_.reset(m_, n);
            changed(route, 0, n - 1);
            return;
        }
        std::size_t lo = 0;
        while (lo < n && loc_[lo] == route[lo]) ++lo;
        if (lo == n) return;
        std::size_t hi = n - 1;
        while (loc_[hi] == route[hi]) --hi;
        // A reversal or a rotation keeps the stretch's locations, and the
        // layouts, the edges and the hops follow by moving their entries
        // instead of reading them again (the edges of an asymmetric
        // reversal run the other way, and are read again).
        const std::size_t length = hi - lo + 1;
        bool reversed = true;
        for (std::size_t t = 0; reversed && t < length; ++t) reversed = route[lo + t] == loc_[hi - t];
        std::size_t rotation = 0;  // the old position lo + rotation now at lo
        for (const std::size_t k : {std::size_t{1}, std::size_t{2}, std::size_t{3}, length - 1, length - 2, length - 3}) {
            if (reversed || rotation != 0 || k == 0 || k >= length) continue;
            bool rotated = true;
            for (std::size_t t = 0; rotated && t < length; ++t)
                rotated = route[lo + t] == loc_[lo + (t + k < length ? t + k : t + k - length)];
            if (rotated) rotation = k;
        }
        follow(route, lo, hi, reversed, rotation);
    }

    // After the candidate (shape, k, i, j) was applied to the route of the
    // last refresh: what refresh(route) does, told the changed stretch and
    // its kind by the move instead of finding them. An exchange changes
    // positions i and j alone, and only what is around those two is read
    // again.
    template <Shape shape>
    void accepted(std::size_t k, std::size_t i, std::size_t j, const Route& route) {
        if constexpr (shape == Shape::Swap) {
            for (const std::size_t p : {i, j}) {
                changed(route, p, p);
                layout_.changed(p, p);
            }
        } else {
            const std::size_t length = j - i + 1;
            const std::size_t rotation = shape == Shape::RotateLeft ? k : shape == Shape::RotateRight ? length - k : 0;
            follow(route, i, j, shape == Shape::Reverse, rotation);
        }
    }

    std::uint64_t total() const noexcept { return total_; }

    // The exact total of the tour the move (shape, k) with (i, j) would give.
    template <Shape shape>
    std::uint64_t candidate_total(std::size_t k, std::size_t i, std::size_t j) const {
        const Sum gain = i == 0 && j + 1 == n_ ? whole_gain<shape>() : Row<shape>(*this, k, i).gain(j);
        return total_ + static_cast<std::uint64_t>(gain);  // wraps back exactly: the result is a tour's total
    }

    // The first j in [from, n) whose candidate (shape, k, i, j) is shorter
    // than the current tour, or n when there is none. `from` is at least
    // i + the neighbourhood's min_gap.
    template <Shape shape>
    std::size_t first_improving(std::size_t k, std::size_t i, std::size_t from) {
        const std::size_t n = n_;
        const std::size_t end = i == 0 ? n - 1 : n;  // (0, n − 1) moves the whole route
        // In growing pieces: a row that ends early lays out little.
        for (std::size_t start = from, piece = 128; start < end; start += piece, piece = std::min<std::size_t>(2 * piece, 8192)) {
            const std::size_t stop = std::min(end, start + piece);
            const std::size_t x = first_negative(run<shape>(k, i, start, stop), layout_of<shape>());
            if (x < stop - start) return start + x;
            if (stop == end) break;
        }
        const std::size_t j = std::max(from, end);
        if (j < n && whole_gain<shape>() < 0) return j;
        return n;
    }

private:
    Entry entry(std::size_t from, std::size_t to) const noexcept { return m_[from * n_ + to]; }

    template <Shape shape>
    static constexpr GainLayout layout_of() noexcept {
        if constexpr (shape == Shape::Reverse) return {2, 1, !symmetric};
        if constexpr (shape == Shape::Swap) return {4, 2, false};
        if constexpr (shape == Shape::RotateLeft) return {2, 1, false};
        return {3, 2, false};
    }

    // The candidates (shape, k, i, j) for j in [from, end) as sums of arrays
    // in route order: the terms of Row::gain below, term by term.
    template <Shape shape>
    GainRun<Entry> run(std::size_t k, std::size_t i, std::size_t from, std::size_t end) {
        const std::size_t n = n_;
        const std::size_t* l = loc_.data();
        const std::size_t b = l[i == 0 ? n - 1 : i - 1], li = l[i];
        // Edges from location x to the route's positions start .., and
        // (into) from those to x, as far as the run reads.
        const std::size_t count = end - from;
        const auto from_x = [&](std::size_t x, std::size_t start) {
            return layout_.get(x, false, start, start + count, l) + start;
        };
        const auto into_x = [&](std::size_t x, std::size_t start) {
            return layout_.get(x, !symmetric, start, start + count, l) + start;
        };
        GainRun<Entry> r{};
        r.fixed = Row<shape>(*this, k, i).fixed();
        r.count = count;
        if constexpr (shape == Shape::Reverse) {
            r.add[0] = from_x(b, from);
            r.add[1] = from_x(li, from + 1);
            r.subtract[0] = own_.data() + from;
            if constexpr (!symmetric) r.turn = turn_.data() + from;
        } else if constexpr (shape == Shape::Swap) {
            r.add[2] = into_x(li, from - 1);
            r.add[1] = from_x(li, from + 1);
            r.add[0] = from_x(b, from);
            r.add[3] = into_x(l[i + 1], from);
            r.subtract[0] = own_.data() + (from - 1);
            r.subtract[1] = own_.data() + from;
        } else if constexpr (shape == Shape::RotateLeft) {
            r.add[0] = from_x(l[i + k - 1], from + 1);
            r.add[1] = into_x(li, from);
            r.subtract[0] = own_.data() + from;
        } else {
            r.add[0] = from_x(b, from - k + 1);
            r.add[1] = into_x(li, from);
            r.add[2] = hop_[k - 1].data() + (from - k);
            r.subtract[0] = own_.data() + (from - k);
            r.subtract[1] = own_.data() + from;
        }
        return r;
    }

    // One row i of a scan: what its candidates share, read once. `gain(j)`
    // for every j > i except a segment covering the whole route; position
    // n is position 0 again (loc_ has the first location at both ends), so
    // the last j needs no case of its own. The edges, by position (b is
    // the one before i):
    //   reverse       b→i, i..j forward, j→j+1     becomes  b→j, j..i backward, i→j+1
    //   swap          b→i, i→i+1, j−1→j, j→j+1     becomes  b→j, j→i+1, j−1→i, i→j+1
    //   rotate left   b→i, i+k−1→i+k, j→j+1        becomes  b→i+k, j→i, i+k−1→j+1
    //   rotate right  b→i, j−k→j−k+1, j→j+1        becomes  b→j−k+1, j→i, j−k→j+1
    template <Shape shape>
    class Row {
    public:
        Row(const PackedDistanceDelta& d, std::size_t k, std::size_t i)
            : d_(d), k_(k), n_(d.n_), loc_(d.loc_.data()), own_(d.own_.data()), loc_i_(loc_[i]),
              row_b_(d.m_ + loc_[i == 0 ? n_ - 1 : i - 1] * n_), row_i_(d.m_ + loc_i_ * n_) {
            if constexpr (shape == Shape::Reverse) {
                fixed_ = row_b_[loc_i_];
                if constexpr (!symmetric) fixed_ += d.turn_[i];
            } else if constexpr (shape == Shape::Swap) {
                other_ = loc_[i + 1];
                row_other_ = d.m_ + other_ * n_;
                fixed_ = Sum{row_b_[loc_i_]} + Sum{own_[i]};
            } else if constexpr (shape == Shape::RotateLeft) {
                row_other_ = d.m_ + loc_[i + k - 1] * n_;  // the last of the k locations moved to the back
                fixed_ = Sum{row_b_[loc_i_]} + Sum{own_[i + k - 1]} - Sum{row_b_[loc_[i + k]]};
            } else {
                hop_ = d.hop_[k - 1].data();
                fixed_ = row_b_[loc_i_];
            }
        }

        Sum gain(std::size_t j) const {
            const std::size_t* l = loc_;
            if constexpr (shape == Shape::Reverse) {
                Sum added = Sum{row_b_[l[j]]} + Sum{row_i_[l[j + 1]]};
                if constexpr (!symmetric) added += d_.turn_[j];
                return added - own_[j] - fixed_;
            } else if constexpr (shape == Shape::Swap) {
                Sum added = Sum{row_b_[l[j]]} + Sum{row_i_[l[j + 1]]} + into_i(l[j - 1]);
                if constexpr (symmetric) {
                    added += row_other_[l[j]];
                } else {
                    added += d_.entry(l[j], other_);
                }
                return added - own_[j - 1] - own_[j] - fixed_;
            } else if constexpr (shape == Shape::RotateLeft) {
                const Sum added = Sum{row_other_[l[j + 1]]} + into_i(l[j]);
                return added - own_[j] - fixed_;
            } else {
                const Sum added = Sum{row_b_[l[j - k_ + 1]]} + into_i(l[j]) + Sum{hop_[j - k_]};
                return added - own_[j - k_] - own_[j] - fixed_;
            }
        }

        Sum fixed() const noexcept { return fixed_; }

    private:
        // The edge from location x into the row's location i.
        Sum into_i(std::size_t x) const {
            if constexpr (symmetric) return row_i_[x];
            return d_.entry(x, loc_i_);
        }

        const PackedDistanceDelta& d_;
        std::size_t k_, n_;
        const std::size_t* loc_;
        const Entry* own_;
        std::size_t loc_i_;
        const Entry* row_b_;
        const Entry* row_i_;
        std::size_t other_ = 0;
        const Entry* row_other_ = nullptr;
        const Entry* hop_ = nullptr;
        Sum fixed_ = 0;
    };

    // The gain of the segment (0, n − 1): a rotation of the whole route is
    // the same cycle; a reversal of it travels every edge the other way.
    template <Shape shape>
    Sum whole_gain() const {
        const std::size_t n = n_;
        const std::size_t* l = loc_.data();
        if constexpr (shape == Shape::Reverse) {
            if constexpr (symmetric) return 0;
            return Sum{entry(l[0], l[n - 1])} - Sum{own_[n - 1]} + turn_[n - 1];
        } else if constexpr (shape == Shape::Swap) {
            const Sum added = Sum{entry(l[n - 1], l[1])} + Sum{entry(l[n - 2], l[0])} + Sum{entry(l[0], l[n - 1])};
            return added - own_[0] - own_[n - 2] - own_[n - 1];
        } else {
            return 0;
        }
    }

    // Positions lo..hi changed, `reversed` or rotated by `rotation` (the one
    // before at lo + rotation is now at lo), or (neither) otherwise.
    void follow(const Route& route, std::size_t lo, std::size_t hi, bool reversed, std::size_t rotation) {
        if (rotation != 0 || (reversed && symmetric)) {
            moved(route, lo, hi, reversed, rotation);
        } else {
            changed(route, lo, hi);
        }
        if (reversed || rotation != 0) {
            layout_.rearranged(lo, hi, reversed, rotation);
        } else {
            layout_.changed(lo, hi);
        }
    }

    // Positions lo..hi of the route hold new locations: the edges leaving
    // positions lo − 1 … hi change, and so do the hops that start or end in
    // the stretch; turn_ is rebuilt from lo and shifted past hi.
    void changed(const Route& route, std::size_t lo, std::size_t hi) {
        const std::size_t n = n_;
        for (std::size_t p = lo; p <= hi; ++p) loc_[p] = route[p];
        loc_[n] = loc_[0];
        if (lo == 0) set_own(n - 1);
        for (std::size_t p = lo == 0 ? 0 : lo - 1; p <= hi; ++p) set_own(p);
        if constexpr (!symmetric) rebuild_turn(lo, hi);
        for (std::size_t k = 1; k <= hop_.size(); ++k) {
            auto& hop = hop_[k - 1];
            const std::size_t count = std::min(n, hi - lo + k + 2);
            std::size_t p = (lo + n - (k + 1) % n) % n, q = (p + k + 1) % n;
            for (std::size_t c = 0; c < count; ++c) {
                hop[p] = entry(loc_[p], loc_[q]);
                p = p + 1 == n ? 0 : p + 1;
                q = q + 1 == n ? 0 : q + 1;
            }
        }
    }

    // Positions lo..hi hold the same locations in another order: rotated
    // (the one before at lo + rotation is now at lo), or reversed on a
    // symmetric matrix. An edge or hop with both ends inside the stretch is
    // then one the tour had before, at another position (read backwards
    // after a reversal, the same entry on a symmetric matrix), so own_ and
    // hop_ are rearranged as the locations were, and only the few entries
    // that cross the stretch's ends, or (rotated) its seam, where the old
    // last location now comes before the old first, are read again: a
    // handful of scattered reads instead of about four per position. Kept
    // out of refresh: inlined there, it costs refresh's compare loops more
    // instructions than the call saves.
    [[gnu::noinline]] void moved(const Route& route, std::size_t lo, std::size_t hi, bool reversed, std::size_t rotation) {
        const std::size_t n = n_, length = hi - lo + 1;
        for (std::size_t p = lo; p <= hi; ++p) loc_[p] = route[p];
        loc_[n] = loc_[0];
        // An edge or hop from position p to p + span: the entries inside the
        // stretch follow their locations. Reversed, position p's comes from
        // lo + hi − (p + span), for p up to hi − span; rotated, every entry
        // of the stretch moves with the location it starts at.
        const auto rearrange = [&](std::vector<Entry>& a, std::size_t span) {
            if (!reversed) {
                std::rotate(a.begin() + static_cast<std::ptrdiff_t>(lo),
                            a.begin() + static_cast<std::ptrdiff_t>(lo + rotation),
                            a.begin() + static_cast<std::ptrdiff_t>(hi + 1));
            } else if (length > span) {
                std::reverse(a.begin() + static_cast<std::ptrdiff_t>(lo),
                             a.begin() + static_cast<std::ptrdiff_t>(hi + 1 - span));
            }
        };
        // The positions whose entry must be read again: the span ones before
        // lo (modulo n), the last span of the stretch (their ends lie past
        // hi), and, rotated, the span ones up to the seam at
        // lo + length − 1 − rotation (their ends lie past the old hi).
        const auto read_again = [&](std::size_t span, auto&& read) {
            for (std::size_t d = 1; d <= span; ++d) read((lo + n - d % n) % n);
            for (std::size_t p = hi + 1 - std::min(span, length); p <= hi; ++p) read(p);
            if (!reversed)
                for (std::size_t d = 0; d < span; ++d)
                    read(lo + (length - 1 - rotation + length - d % length) % length);
        };
        rearrange(own_, 1);  // the sum of the stretch's own_ is kept: total_ changes by the entries read again
        read_again(1, [&](std::size_t p) { set_own(p); });
        if constexpr (!symmetric) rebuild_turn(lo, hi);
        for (std::size_t k = 1; k <= hop_.size(); ++k) {
            auto& hop = hop_[k - 1];
            rearrange(hop, k + 1);
            read_again(k + 1, [&](std::size_t p) { hop[p] = entry(loc_[p], loc_[(p + k + 1) % n]); });
        }
    }

    // own_[p] read again from the matrix; total_ follows.
    void set_own(std::size_t p) noexcept {
        const Entry e = entry(loc_[p], loc_[p + 1]);
        total_ += e;
        total_ -= own_[p];  // both exact modulo 2^64, and the total fits
        own_[p] = e;
    }

    // turn_ after own_ changed at lo − 1 … hi: rebuilt from lo, shifted past hi.
    void rebuild_turn(std::size_t lo, std::size_t hi) noexcept {
        const std::size_t n = n_;
        const std::size_t last = std::min(hi + 1, n - 1);
        const Sum before = turn_[last];
        for (std::size_t q = std::max<std::size_t>(lo, 1); q <= last; ++q)
            turn_[q] = turn_[q - 1] + Sum{entry(loc_[q], loc_[q - 1])} - Sum{own_[q - 1]};
        const Sum shift = turn_[last] - before;
        for (std::size_t q = last + 1; q < n; ++q) turn_[q] += shift;
    }

    const Entry* m_;
    std::size_t n_;
    std::vector<std::size_t> loc_;  // the current route, and its first location again at n
    std::vector<Entry> own_;        // own_[p]: the edge from position p to the next
    std::vector<Sum> turn_;         // asymmetric only: turn_[p], the edges 0→…→p backwards minus forwards
    std::uint64_t total_ = 0;
    std::array<std::vector<Entry>, 3> hop_;  // hop_[k − 1][p]: the edge from position p to p + k + 1
    RouteOrderedRows<Entry> layout_;
};

}  // namespace tourloom::fast_evaluation
