#pragma once
// The eight route transformations of the local search. Each acts on the
// segment of positions i..j (0 <= i < j < route.size()) and leaves the rest
// of the route unchanged; the exchange touches positions i and j only.
#include <cstddef>
#include <type_traits>

#include "output.hpp"

namespace tourloom::local_moves {

using output::Route;
using Move = void (*)(Route& route, std::size_t i, std::size_t j);

void reverse_segment(Route& route, std::size_t i, std::size_t j);  // 2-opt
void swap_positions(Route& route, std::size_t i, std::size_t j);
void rotate_left_1(Route& route, std::size_t i, std::size_t j);   // the entry at i moves to j
void rotate_right_1(Route& route, std::size_t i, std::size_t j);  // the entry at j moves to i
void rotate_left_2(Route& route, std::size_t i, std::size_t j);   // needs j − i >= 2
void rotate_right_2(Route& route, std::size_t i, std::size_t j);
void rotate_left_3(Route& route, std::size_t i, std::size_t j);   // needs j − i >= 3
void rotate_right_3(Route& route, std::size_t i, std::size_t j);

// What a move does to the segment, for evaluations that look at a candidate
// without building it.
enum class Shape : unsigned char { Reverse, Swap, RotateLeft, RotateRight };

// Calls `f` with the shape as a compile-time constant (an
// std::integral_constant<Shape, ...>), for code that specialises on it.
template <class F>
constexpr decltype(auto) with_shape(Shape shape, F&& f) {
    switch (shape) {
        case Shape::Swap: return f(std::integral_constant<Shape, Shape::Swap>{});
        case Shape::RotateLeft: return f(std::integral_constant<Shape, Shape::RotateLeft>{});
        case Shape::RotateRight: return f(std::integral_constant<Shape, Shape::RotateRight>{});
        case Shape::Reverse: break;
    }
    return f(std::integral_constant<Shape, Shape::Reverse>{});
}

// A neighbourhood: a move, its shape (with the rotation count k), and the
// smallest j − i it is scanned with.
struct Neighbourhood {
    Move move;
    Shape shape;
    std::size_t k;
    std::size_t min_gap;
};

// The order of the scans in one sweep.
inline constexpr Neighbourhood sweep_order[] = {
    {reverse_segment, Shape::Reverse, 0, 1},    {swap_positions, Shape::Swap, 0, 3},
    {rotate_left_1, Shape::RotateLeft, 1, 2},   {rotate_right_1, Shape::RotateRight, 1, 2},
    {rotate_left_2, Shape::RotateLeft, 2, 3},   {rotate_right_2, Shape::RotateRight, 2, 4},
    {rotate_left_3, Shape::RotateLeft, 3, 5},   {rotate_right_3, Shape::RotateRight, 3, 6},
};

// The position whose entry a move with (i, j) brings to position p: the
// candidate's location at p is route[source_position(...)], with no copy made.
constexpr std::size_t source_position(Shape shape, std::size_t k, std::size_t i, std::size_t j, std::size_t p) noexcept {
    if (p < i || p > j) return p;
    const std::size_t len = j - i + 1;
    const std::size_t q = p - i;
    switch (shape) {
        case Shape::Reverse: return j - q;
        case Shape::Swap: return p == i ? j : p == j ? i : p;
        // (q ± k) mod len with q, k < len, without a division: this sits in
        // the innermost loop of the fast scans.
        case Shape::RotateLeft: return i + (q + k >= len ? q + k - len : q + k);
        case Shape::RotateRight: return i + (q >= k ? q - k : q + len - k);
    }
    return p;
}

}  // namespace tourloom::local_moves
