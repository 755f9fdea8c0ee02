#include "square_matrix.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tourloom {
namespace {

// Blocks of at least this size start on a huge-page boundary and ask the
// system for huge pages: a matrix of millions of entries is otherwise handed
// out 4 KiB at a time as it is first written (a page fault each, which at
// n = 2000 costs more than reading the entries), and the search's scattered
// reads of it miss the TLB far less often.
constexpr std::size_t huge_page = std::size_t{2} << 20;

void* allocate(std::size_t bytes) {
    const bool large = bytes >= huge_page;
    void* p = nullptr;
    if (posix_memalign(&p, large ? huge_page : alignof(std::max_align_t), bytes == 0 ? 1 : bytes) != 0) {
        throw std::bad_alloc();
    }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (large) (void)madvise(p, bytes, MADV_HUGEPAGE);  // advice only: without it the pages are just smaller
#endif
    return p;
}

std::size_t entry_bytes(EntryWidth width) noexcept {
    switch (width) {
        case EntryWidth::Bits16: return 2;
        case EntryWidth::Bits32: return 4;
        case EntryWidth::Bits64: break;
    }
    return 8;
}

}  // namespace

void SquareMatrix::Free::operator()(void* p) const noexcept { std::free(p); }

SquareMatrix::SquareMatrix(std::size_t n, EntryWidth width) : n_(n), width_(width) {
    std::size_t count = 0, bytes = 0;
    // An n whose block would not fit the address space is memory exhausted,
    // not a wrapped-around small block.
    if (__builtin_mul_overflow(n, n, &count) || __builtin_mul_overflow(count, entry_bytes(width), &bytes)) {
        throw std::bad_alloc();
    }
    block_.reset(allocate(bytes));
}

std::size_t SquareMatrix::bytes() const noexcept { return n_ * n_ * entry_bytes(width_); }

SquareMatrix::SquareMatrix(const SquareMatrix& other) : SquareMatrix(other.n_, other.width_) {
    if (other.n_ != 0) std::memcpy(block_.get(), other.block_.get(), bytes());
}

SquareMatrix& SquareMatrix::operator=(const SquareMatrix& other) {
    if (this != &other) *this = SquareMatrix(other);
    return *this;
}

bool operator==(const SquareMatrix& a, const SquareMatrix& b) noexcept {
    return a.n_ == b.n_ && a.width_ == b.width_ && (a.n_ == 0 || std::memcmp(a.block_.get(), b.block_.get(), a.bytes()) == 0);
}

}  // namespace tourloom
