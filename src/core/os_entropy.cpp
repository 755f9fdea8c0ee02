#include "os_entropy.hpp"

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tourloom {

namespace {

// Reads until `size` bytes are in or the source fails; true when all are in.
template <class Read>
bool read_fully(unsigned char* out, std::size_t size, Read read) {
    while (size > 0) {
        const long got = read(out, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool from_getrandom(unsigned char* out, std::size_t size) {
#ifdef SYS_getrandom
    return read_fully(out, size, [](unsigned char* at, std::size_t count) {
        return syscall(SYS_getrandom, at, count, 0);
    });
#else
    (void)out;
    (void)size;
    return false;
#endif
}

bool from_urandom(unsigned char* out, std::size_t size) {
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = read_fully(out, size, [fd](unsigned char* at, std::size_t count) {
        return static_cast<long>(read(fd, at, count));
    });
    close(fd);
    return ok;
}

void from_clock(std::span<std::uint32_t> words) {
    // splitmix64 over the clock, so that neighbouring words differ in every bit.
    std::uint64_t state = static_cast<std::uint64_t>(
                              std::chrono::steady_clock::now().time_since_epoch().count()) ^
                          reinterpret_cast<std::uintptr_t>(words.data());
    for (auto& word : words) {
        state += 0x9e3779b97f4a7c15u;
        std::uint64_t mixed = state;
        mixed = (mixed ^ (mixed >> 30)) * 0xbf58476d1ce4e5b9u;
        mixed = (mixed ^ (mixed >> 27)) * 0x94d049bb133111ebu;
        word = static_cast<std::uint32_t>(mixed ^ (mixed >> 31));
    }
}

}  // namespace

void fill_from_os_entropy(std::span<std::uint32_t> words) {
    auto* bytes = reinterpret_cast<unsigned char*>(words.data());
    const std::size_t size = words.size_bytes();
    if (from_getrandom(bytes, size) || from_urandom(bytes, size)) return;
    from_clock(words);
}

}  // namespace tourloom
