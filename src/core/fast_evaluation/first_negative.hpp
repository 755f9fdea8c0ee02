#pragma once
// The first negative gain in a run of candidates of one distance scan row,
// once the row's terms are laid out in route order: each term is a
// contiguous array read from its first element on, so the sums of many
// candidates are formed side by side in vector registers. The first
// negative one is the first improving candidate, as a candidate-by-candidate
// loop finds it: the blocks are summed whole, and only a block holding a
// negative sum is searched in order.
//
// Instruction sets: the portable loop as the compiler targets it; on 32-bit
// x86 an SSE2 build of it, on x86_64 an AVX2 build, each taken only when the
// processor (or emulator) reports it.
#include <cstddef>
#include <cstdint>

namespace tourloom::fast_evaluation {

// gain[x] = Σ add[t][x] + turn[x] − Σ subtract[t][x] − fixed, for x < count.
template <class Entry>
struct GainRun {
    const Entry* add[4];
    const Entry* subtract[2];
    const std::int64_t* turn;  // only when the layout has one
    std::int64_t fixed;
    std::size_t count;
};

// How many arrays of each kind a scan row sums.
struct GainLayout {
    int adds, subtracts;
    bool turn;
};

enum class InstructionSet { Portable, Sse2, Avx2 };

// Whether this build and processor can run `set`.
bool available(InstructionSet set) noexcept;
// The set the scans use: the widest available.
InstructionSet scan_instruction_set() noexcept;

// The least x with gain[x] < 0, or count; `layout` must be one the scans use
// (2 + 1, 2 + 1 with a turn, 3 + 2, 4 + 2).
template <class Entry>
std::size_t first_negative(const GainRun<Entry>& run, GainLayout layout) noexcept;
// The same with a given available set (for tests).
template <class Entry>
std::size_t first_negative(const GainRun<Entry>& run, GainLayout layout, InstructionSet set) noexcept;

}  // namespace tourloom::fast_evaluation
