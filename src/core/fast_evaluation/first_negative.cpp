#include "fast_evaluation/first_negative.hpp"

#include <algorithm>
#include <type_traits>

namespace tourloom::fast_evaluation {

namespace {

// 16-bit entries: at most four added and two subtracted, and a fixed part
// of a few entries, stay far inside 32 bits, which doubles the lanes per
// register; a turn, or 32-bit entries, need 64.
template <class Entry, bool turn>
using Lane = std::conditional_t<sizeof(Entry) == 2 && !turn, std::int32_t, std::int64_t>;

template <class Entry, int adds, int subtracts, bool turn>
[[gnu::always_inline]] inline std::size_t search(const GainRun<Entry>& run) noexcept {
    using L = Lane<Entry, turn>;
    const Entry* const a0 = run.add[0];
    const Entry* const a1 = run.add[1];
    const Entry* const a2 = adds > 2 ? run.add[2] : nullptr;
    const Entry* const a3 = adds > 3 ? run.add[3] : nullptr;
    const Entry* const s0 = run.subtract[0];
    const Entry* const s1 = subtracts > 1 ? run.subtract[1] : nullptr;
    const std::int64_t* const t = run.turn;
    const L fixed = static_cast<L>(run.fixed);
    const auto gain = [&](std::size_t x) {
        L g = static_cast<L>(static_cast<L>(a0[x]) + static_cast<L>(a1[x]) - static_cast<L>(s0[x]) - fixed);
        if constexpr (adds > 2) g = static_cast<L>(g + static_cast<L>(a2[x]));
        if constexpr (adds > 3) g = static_cast<L>(g + static_cast<L>(a3[x]));
        if constexpr (subtracts > 1) g = static_cast<L>(g - static_cast<L>(s1[x]));
        if constexpr (turn) g = static_cast<L>(g + t[x]);
        return g;
    };
    constexpr std::size_t block = 64;
    for (std::size_t base = 0; base < run.count; base += block) {
        const std::size_t length = std::min(block, run.count - base);
        // Any negative sum sets the sign bit of the union.
        L any = 0;
        for (std::size_t x = base; x < base + length; ++x) any = static_cast<L>(any | gain(x));
        if (any >= 0) continue;
        for (std::size_t x = base;; ++x)
            if (gain(x) < 0) return x;
    }
    return run.count;
}

template <class Entry>
using Search = std::size_t (*)(const GainRun<Entry>&) noexcept;

template <class Entry, int adds, int subtracts, bool turn>
std::size_t portable(const GainRun<Entry>& run) noexcept {
    return search<Entry, adds, subtracts, turn>(run);
}

#if defined(__i386__)
template <class Entry, int adds, int subtracts, bool turn>
[[gnu::target("sse2")]] std::size_t sse2(const GainRun<Entry>& run) noexcept {
    return search<Entry, adds, subtracts, turn>(run);
}
#endif

#if defined(__x86_64__)
template <class Entry, int adds, int subtracts, bool turn>
[[gnu::target("avx2")]] std::size_t avx2(const GainRun<Entry>& run) noexcept {
    return search<Entry, adds, subtracts, turn>(run);
}
#endif

template <class Entry, int adds, int subtracts, bool turn>
Search<Entry> build_for(InstructionSet set) noexcept {
    switch (set) {
#if defined(__i386__)
        case InstructionSet::Sse2: return &sse2<Entry, adds, subtracts, turn>;
#endif
#if defined(__x86_64__)
        case InstructionSet::Avx2: return &avx2<Entry, adds, subtracts, turn>;
#endif
        default: return &portable<Entry, adds, subtracts, turn>;
    }
}

template <class Entry>
Search<Entry> search_for(GainLayout layout, InstructionSet set) noexcept {
    if (layout.turn) return build_for<Entry, 2, 1, true>(set);
    if (layout.adds == 4) return build_for<Entry, 4, 2, false>(set);
    if (layout.adds == 3) return build_for<Entry, 3, 2, false>(set);
    return build_for<Entry, 2, 1, false>(set);
}

InstructionSet widest_available() noexcept {
    if (available(InstructionSet::Avx2)) return InstructionSet::Avx2;
    if (available(InstructionSet::Sse2)) return InstructionSet::Sse2;
    return InstructionSet::Portable;
}

}  // namespace

bool available(InstructionSet set) noexcept {
    switch (set) {
        case InstructionSet::Portable: return true;
#if defined(__i386__)
        case InstructionSet::Sse2: __builtin_cpu_init(); return __builtin_cpu_supports("sse2");
#endif
#if defined(__x86_64__)
        case InstructionSet::Avx2: __builtin_cpu_init(); return __builtin_cpu_supports("avx2");
#endif
        default: return false;
    }
}

InstructionSet scan_instruction_set() noexcept {
    static const InstructionSet chosen = widest_available();
    return chosen;
}

template <class Entry>
std::size_t first_negative(const GainRun<Entry>& run, GainLayout layout) noexcept {
    return search_for<Entry>(layout, scan_instruction_set())(run);
}

template <class Entry>
std::size_t first_negative(const GainRun<Entry>& run, GainLayout layout, InstructionSet set) noexcept {
    return search_for<Entry>(layout, available(set) ? set : InstructionSet::Portable)(run);
}

template std::size_t first_negative(const GainRun<std::uint16_t>&, GainLayout) noexcept;
template std::size_t first_negative(const GainRun<std::uint32_t>&, GainLayout) noexcept;
template std::size_t first_negative(const GainRun<std::uint16_t>&, GainLayout, InstructionSet) noexcept;
template std::size_t first_negative(const GainRun<std::uint32_t>&, GainLayout, InstructionSet) noexcept;

}  // namespace tourloom::fast_evaluation
