#pragma once
// The one fatal error of the engine. A broken precondition anywhere in the
// core throws `Panic` carrying the exact message callers see; only the Python
// binding catches it (and turns it into PanicException). Nothing else in the
// core reports errors.
#include <cstddef>
#include <exception>
#include <source_location>
#include <string>

namespace tourloom {

class Panic : public std::exception {
public:
    Panic(std::string message, std::source_location where) : message_(std::move(message)), where_(where) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    // Where the panic was raised, for the one diagnostic line on stderr.
    const std::source_location& where() const noexcept { return where_; }

private:
    std::string message_;
    std::source_location where_;
};

[[noreturn]] void panic(std::string message, std::source_location where = std::source_location::current());

// "index out of bounds: the len is N but the index is M"
[[noreturn]] void panic_index(std::size_t len, std::size_t index,
                              std::source_location where = std::source_location::current());

// Bounds-checked element access with the index panic: the one way the core
// reads a list whose length it has not proved.
template <class Vec>
decltype(auto) at(Vec& v, std::size_t index, std::source_location where = std::source_location::current()) {
    if (index >= v.size()) panic_index(v.size(), index, where);
    return v[index];
}

// Messages raised from more than one place.
inline constexpr const char* unwrap_none_message = "called `Option::unwrap()` on a `None` value";

}  // namespace tourloom
