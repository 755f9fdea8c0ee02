#pragma once

#include <cstdint>
#include <span>

namespace tourloom {

// Fills `words` with entropy from the operating system: the getrandom system
// call, else /dev/urandom. Both are reached through calls every glibc since
// 2.17 has (syscall, open, read), so seeding adds no newer symbol version to
// the module (std::random_device in a static C++ runtime may call glibc
// 2.36's arc4random or 2.25's getentropy). Where neither source answers (a
// kernel before 3.17 in a root without /dev), the words come from the clock
// and their own addresses: the restart order then still differs between
// calls, which is all it is for.
void fill_from_os_entropy(std::span<std::uint32_t> words);

}  // namespace tourloom
