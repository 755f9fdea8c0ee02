#include "local_moves.hpp"

#include <algorithm>
#include <utility>

namespace tourloom::local_moves {

namespace {
using Diff = Route::difference_type;

void rotate_left(Route& route, std::size_t i, std::size_t j, std::size_t k) {
    const auto first = route.begin() + static_cast<Diff>(i);
    std::rotate(first, first + static_cast<Diff>(k), route.begin() + static_cast<Diff>(j + 1));
}
void rotate_right(Route& route, std::size_t i, std::size_t j, std::size_t k) { rotate_left(route, i, j, j - i + 1 - k); }
}  // namespace

void reverse_segment(Route& route, std::size_t i, std::size_t j) {
    std::reverse(route.begin() + static_cast<Diff>(i), route.begin() + static_cast<Diff>(j + 1));
}
void swap_positions(Route& route, std::size_t i, std::size_t j) { std::swap(route[i], route[j]); }
void rotate_left_1(Route& route, std::size_t i, std::size_t j) { rotate_left(route, i, j, 1); }
void rotate_right_1(Route& route, std::size_t i, std::size_t j) { rotate_right(route, i, j, 1); }
void rotate_left_2(Route& route, std::size_t i, std::size_t j) { rotate_left(route, i, j, 2); }
void rotate_right_2(Route& route, std::size_t i, std::size_t j) { rotate_right(route, i, j, 2); }
void rotate_left_3(Route& route, std::size_t i, std::size_t j) { rotate_left(route, i, j, 3); }
void rotate_right_3(Route& route, std::size_t i, std::size_t j) { rotate_right(route, i, j, 3); }

}  // namespace tourloom::local_moves
