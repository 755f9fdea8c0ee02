#pragma once
// The eight route transformations of the local search. Each acts on the
// segment of positions i..j (0 <= i < j < route.size()) and leaves the rest
// of the route unchanged; the exchange touches positions i and j only.
#include <cstddef>
#include <vector>

namespace tourloom::local_moves {

using Route = std::vector<std::size_t>;
using Move = void (*)(Route& route, std::size_t i, std::size_t j);

void reverse_segment(Route& route, std::size_t i, std::size_t j);  // 2-opt
void swap_positions(Route& route, std::size_t i, std::size_t j);
void rotate_left_1(Route& route, std::size_t i, std::size_t j);   // the entry at i moves to j
void rotate_right_1(Route& route, std::size_t i, std::size_t j);  // the entry at j moves to i
void rotate_left_2(Route& route, std::size_t i, std::size_t j);   // needs j − i >= 2
void rotate_right_2(Route& route, std::size_t i, std::size_t j);
void rotate_left_3(Route& route, std::size_t i, std::size_t j);   // needs j − i >= 3
void rotate_right_3(Route& route, std::size_t i, std::size_t j);

// A neighbourhood: a move and the smallest j − i it is scanned with.
struct Neighbourhood {
    Move move;
    std::size_t min_gap;
};

// The order of the scans in one sweep.
inline constexpr Neighbourhood sweep_order[] = {
    {reverse_segment, 1}, {swap_positions, 3}, {rotate_left_1, 2}, {rotate_right_1, 2},
    {rotate_left_2, 3},   {rotate_right_2, 4}, {rotate_left_3, 5}, {rotate_right_3, 6},
};

}  // namespace tourloom::local_moves
