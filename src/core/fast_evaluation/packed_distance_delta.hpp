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
// A candidate improves exactly when the edges it adds sum to less than those
// it removes; with entries below 2^32 those sums are exact in signed 64 bits.
// The totals themselves (of the current tour, of an accepted candidate) come
// from an EdgeDelta on the same entries.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fast_evaluation/edge_delta.hpp"
#include "penalties/distance/distance_matrix.hpp"

namespace tourloom::fast_evaluation {

// An entry of a square matrix stored flat as `Entry`, widened.
template <class Entry>
struct PackedCost {
    const Entry* entries;
    std::size_t n;
    std::uint64_t operator()(std::size_t a, std::size_t b) const noexcept { return entries[a * n + b]; }
};

// `symmetric`: only for matrices with m[a][b] == m[b][a] throughout.
template <class Entry, bool symmetric>
class PackedDistanceDelta {
    static_assert(sizeof(Entry) <= 4, "sums of entries must stay exact in 64 bits");

public:
    explicit PackedDistanceDelta(const penalties::distance::distance_matrix::DistanceMatrix& matrix)
        : m_(matrix.entries<Entry>()), n_(matrix.row_count()), edges_(PackedCost<Entry>{m_, n_}) {}

    // O(n): call after every accepted candidate.
    void refresh(const Route& route) {
        edges_.refresh(route);
        route_ = &route;
        const std::size_t n = n_;
        const auto d = [&](std::size_t p, std::size_t q) { return m_[route[p] * n + route[q]]; };
        own_.resize(n);
        for (std::size_t p = 0; p < n; ++p) own_[p] = d(p, p + 1 == n ? 0 : p + 1);
        for (std::size_t k = 1; k <= hop_.size(); ++k) {
            auto& hop = hop_[k - 1];
            hop.resize(n);
            for (std::size_t p = 0; p < n; ++p) hop[p] = d(p, (p + k + 1) % n);
        }
        if constexpr (!symmetric) {
            // turn_[p]: the edges 0→…→p travelled backwards minus forwards.
            turn_.resize(n);
            turn_[0] = 0;
            for (std::size_t p = 0; p + 1 < n; ++p)
                turn_[p + 1] = turn_[p] + static_cast<Sum>(d(p + 1, p)) - static_cast<Sum>(own_[p]);
        }
    }

    std::uint64_t total() const noexcept { return edges_.total(); }

    template <Shape shape>
    std::uint64_t candidate_total(std::size_t k, std::size_t i, std::size_t j) const {
        return edges_.template candidate_total<shape>(k, i, j);
    }

    // The first j in [from, n) whose candidate (shape, k, i, j) is shorter
    // than the current tour, or n when there is none. `from` is at least
    // i + the neighbourhood's min_gap.
    template <Shape shape>
    std::size_t first_improving(std::size_t k, std::size_t i, std::size_t from) const {
        const std::size_t n = n_;
        const std::size_t* r = route_->data();
        const std::size_t b = i == 0 ? n - 1 : i - 1;
        const Entry* row_b = m_ + r[b] * n;
        const Entry* row_i = m_ + r[i] * n;
        const Entry* own = own_.data();
        // The entry of the edge from location x into the fixed location r[i].
        const auto into_i = [&](std::size_t x) -> Sum {
            if constexpr (symmetric) return row_i[x];
            return m_[x * n + r[i]];
        };
        // Below, every j < n − 1, so that j + 1 is the position after j.
        // The last j closes the tour onto position 0 (and, with i = 0, makes
        // the segment the whole route): it takes the general formula.
        const std::size_t last = n - 1;
        std::size_t j = from;
        if constexpr (shape == Shape::Reverse) {
            Sum fixed = row_b[r[i]];
            if constexpr (!symmetric) fixed += turn_[i];
            for (; j < last; ++j) {
                Sum added = Sum{row_b[r[j]]} + Sum{row_i[r[j + 1]]};
                if constexpr (!symmetric) added += turn_[j];
                if (added - own[j] < fixed) return j;
            }
        } else if constexpr (shape == Shape::Swap) {
            const Entry* row_next = m_ + r[i + 1] * n;
            const Sum fixed = Sum{row_b[r[i]]} + Sum{own[i]};
            for (; j < last; ++j) {
                Sum added = Sum{row_b[r[j]]} + Sum{row_i[r[j + 1]]} + into_i(r[j - 1]);
                if constexpr (symmetric) {
                    added += row_next[r[j]];
                } else {
                    added += m_[r[j] * n + r[i + 1]];
                }
                if (added - own[j - 1] - own[j] < fixed) return j;
            }
        } else if constexpr (shape == Shape::RotateLeft) {
            const Entry* row_end = m_ + r[i + k - 1] * n;  // the last of the k moved to the back
            const Sum fixed = Sum{row_b[r[i]]} + Sum{own[i + k - 1]} - Sum{row_b[r[i + k]]};
            for (; j < last; ++j) {
                const Sum added = Sum{row_end[r[j + 1]]} + into_i(r[j]);
                if (added - own[j] < fixed) return j;
            }
        } else {
            const Entry* hop = hop_[k - 1].data();  // hop[p]: the edge from position p to p + k + 1
            const Sum fixed = row_b[r[i]];
            for (; j < last; ++j) {
                const Sum added = Sum{row_b[r[j - k + 1]]} + into_i(r[j]) + Sum{hop[j - k]};
                if (added - own[j - k] - own[j] < fixed) return j;
            }
        }
        if (j < n && edges_.template candidate_total<shape>(k, i, j) < edges_.total()) return j;
        return n;
    }

private:
    using Sum = std::int64_t;

    const Entry* m_;
    std::size_t n_;
    EdgeDelta<std::uint64_t, PackedCost<Entry>> edges_;
    const Route* route_ = nullptr;
    std::vector<Entry> own_;                 // own_[p]: the edge from position p to the next
    std::array<std::vector<Entry>, 3> hop_;  // for right rotations by 1, 2, 3
    std::vector<Sum> turn_;                  // asymmetric matrices only
};

}  // namespace tourloom::fast_evaluation
