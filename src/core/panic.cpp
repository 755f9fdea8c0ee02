#include "panic.hpp"

namespace tourloom {

void panic(std::string message, std::source_location where) { throw Panic(std::move(message), where); }

void panic_index(std::size_t len, std::size_t index, std::source_location where) {
    panic("index out of bounds: the len is " + std::to_string(len) + " but the index is " + std::to_string(index),
          where);
}

}  // namespace tourloom
