#include "raw_table.hpp"

#include <new>
#include <utility>

namespace tourloom {

RawTable::RawTable(RawMatrix rows) {
    std::size_t total = 0;
    for (const RawList& row : rows) total += row.size();
    words_.reserve(total);
    ends_.reserve(rows.size());
    for (RawList& row : rows) {
        words_.insert(words_.end(), row.begin(), row.end());
        ends_.push_back(words_.size());
        RawList().swap(row);
    }
}

std::size_t RawTable::checked_product(std::size_t count, std::size_t width) {
    std::size_t product = 0;
    if (__builtin_mul_overflow(count, width, &product)) throw std::bad_alloc();
    return product;
}

}  // namespace tourloom
