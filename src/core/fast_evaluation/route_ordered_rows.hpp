#pragma once
// A few rows (or columns) of a square matrix laid out in the order of the
// current route: entry p is the edge from a location to the one at route
// position p (or from that one to it), for p up to n, where position n is
// position 0 again. A distance scan row reads them contiguously instead of
// picking entries out of the matrix; the next row of a scan reuses most of
// them (its location before i is this row's i), and a move that changes
// positions lo..hi leaves every entry past hi valid, which is where a scan
// goes on after accepting it. Entries are laid out only as far as a scan
// asks, since most rows early in a descent end at an improving candidate.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tourloom::fast_evaluation {

template <class Entry>
class RouteOrderedRows {
public:
    // A matrix of n × n entries, row by row; forgets every layout.
    void reset(const Entry* matrix, std::size_t n) {
        m_ = matrix;
        n_ = n;
        for (Slot& s : slots_) {
            s.location = none;
            s.valid_from = s.valid_to = 0;
            s.data.assign(n + 1, 0);
        }
    }

    // Route positions lo..hi hold other locations now (lo == 0: position n too).
    void changed(std::size_t lo, std::size_t hi) noexcept {
        for (Slot& s : slots_) forget(s, lo, hi);
    }

    // Route positions lo..hi hold the same locations as before in another
    // order: the one before at position lo + k (wrapping inside the stretch)
    // is now at lo, or (`reversed`) the stretch runs backwards. Layouts that
    // cover the stretch are rearranged the same way and stay whole.
    void rearranged(std::size_t lo, std::size_t hi, bool reversed, std::size_t k) {
        for (Slot& s : slots_) {
            if (s.valid_from > lo || hi >= s.valid_to) continue;
            Entry* d = s.data.data();
            if (reversed) {
                std::reverse(d + lo, d + hi + 1);
            } else {
                std::rotate(d + lo, d + lo + k, d + hi + 1);
            }
            if (lo == 0 && s.valid_to == n_ + 1) d[n_] = d[0];  // position n is position 0 again
        }
        changed_outside(lo, hi);
    }

    // The layout of location x's row (`column`: its column), valid at every
    // position in [from, to), to <= n + 1; `loc` is the route with its first
    // location again at n. Pointers from earlier calls stay valid for the
    // next three.
    const Entry* get(std::size_t x, bool column, std::size_t from, std::size_t to, const std::size_t* loc) {
        Slot* slot = nullptr;
        for (Slot& s : slots_)
            if (s.location == x && s.column == column) slot = &s;
        if (slot == nullptr) {
            slot = &slots_[0];
            for (Slot& s : slots_)
                if (s.used < slot->used) slot = &s;
            slot->location = x;
            slot->column = column;
            slot->valid_from = slot->valid_to = 0;
        }
        slot->used = ++tick_;
        Slot& s = *slot;
        if (s.valid_from >= s.valid_to || to < s.valid_from || from > s.valid_to) {  // nothing to extend
            lay_out(s, from, to, loc);
            s.valid_from = from;
            s.valid_to = to;
        } else {
            if (from < s.valid_from) lay_out(s, from, s.valid_from, loc);
            if (to > s.valid_to) lay_out(s, s.valid_to, to, loc);
            s.valid_from = std::min(s.valid_from, from);
            s.valid_to = std::max(s.valid_to, to);
        }
        return s.data.data();
    }

private:
    static constexpr std::size_t none = SIZE_MAX;
    struct Slot {
        std::size_t location = none;
        bool column = false;
        std::size_t valid_from = 0, valid_to = 0;  // entries valid in [from, to)
        std::uint64_t used = 0;
        std::vector<Entry> data;
    };
    // After a rearrangement: the layouts that did not cover the stretch
    // lose what they had of it.
    void changed_outside(std::size_t lo, std::size_t hi) noexcept {
        for (Slot& s : slots_) {
            if (s.valid_from <= lo && hi < s.valid_to) continue;
            forget(s, lo, hi);
        }
    }
    void forget(Slot& s, std::size_t lo, std::size_t hi) const noexcept {
        if (lo == 0) {
            s.valid_from = s.valid_to = 0;
        } else if (hi < s.valid_from || lo >= s.valid_to) {
            return;  // untouched
        } else if (hi + 1 < s.valid_to) {
            s.valid_from = hi + 1;  // the part past the change, where a scan goes on
        } else {
            s.valid_to = std::max(lo, s.valid_from);
        }
    }

    void lay_out(Slot& s, std::size_t from, std::size_t to, const std::size_t* loc) const noexcept {
        Entry* out = s.data.data();
        const std::size_t x = s.location;
        if (s.column) {
            for (std::size_t p = from; p < to; ++p) out[p] = m_[loc[p] * n_ + x];
        } else {
            const Entry* row = m_ + x * n_;
            for (std::size_t p = from; p < to; ++p) out[p] = row[loc[p]];
        }
    }
    const Entry* m_ = nullptr;
    std::size_t n_ = 0;
    std::uint64_t tick_ = 0;
    // Four at most in use by one scan row, the rest kept for the next.
    std::array<Slot, 6> slots_;
};

}  // namespace tourloom::fast_evaluation
