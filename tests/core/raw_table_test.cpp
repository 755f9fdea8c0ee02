#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "penalties/time/time_input.hpp"
#include "raw_table.hpp"
#include "test_support.hpp"

namespace tourloom {
namespace {

std::vector<std::vector<std::uint64_t>> rows_of(const RawTable& t) {
    std::vector<std::vector<std::uint64_t>> out;
    for (std::size_t k = 0; k < t.size(); ++k) out.emplace_back(t[k].begin(), t[k].end());
    return out;
}

TEST(RawTable, KeepsRowsOfAnyLengthInOrder) {
    const RawMatrix cases[] = {{}, {{}}, {{}, {}}, {{1, 2, 3}, {}, {4}}, {{7}, {8, 9}, {10, 11, 12}}, {{0, UINT64_MAX}}};
    for (const RawMatrix& rows : cases) {
        const RawTable table(rows);
        EXPECT_EQ(rows_of(table), rows);
        std::vector<std::uint64_t> flat;
        for (const RawList& r : rows) flat.insert(flat.end(), r.begin(), r.end());
        EXPECT_EQ(std::vector<std::uint64_t>(table.entries().begin(), table.entries().end()), flat);
    }
}

TEST(RawTable, FilledIsTheSameTableAsItsRows) {
    const RawTable filled = RawTable::filled(2, 3, [](std::uint64_t* w) {
        for (std::uint64_t k = 0; k < 6; ++k) w[k] = 10 * k;
    });
    EXPECT_EQ(filled, RawTable(RawMatrix{{0, 10, 20}, {30, 40, 50}}));
    EXPECT_EQ(rows_of(RawTable::filled(3, 0, [](std::uint64_t*) {})), (RawMatrix{{}, {}, {}}));
    // A shape whose entries would not fit the address space is memory exhausted.
    const std::size_t huge = std::numeric_limits<std::size_t>::max() / 2 + 1;
    EXPECT_THROW(RawTable::filled(huge, 2, [](std::uint64_t*) {}), std::bad_alloc);
}

TEST(DurationTable, ReadsCountsAsSignedSecondsAndChecksInRowOrder) {
    using penalties::time::time_input::transform;
    const auto s = transform(RawMatrix{{0, 5}, {UINT64_MAX - 4}}, RawList{}, RawTimeWindows{}, std::nullopt);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->duration_matrix[0][1], secs(5));
    EXPECT_EQ(s->duration_matrix[1][0], secs(-5));  // two's complement: -5 s
    EXPECT_EQ(s->duration_matrix[1].size(), 1u);
    // A bad count anywhere fails the conversion, whichever row holds it.
    for (const RawMatrix& bad : {RawMatrix{{9'223'372'036'854'776}}, RawMatrix{{0}, {}, {1, 2, 9'223'372'036'854'776}}}) {
        EXPECT_TRUE(panics_with([&] { transform(bad, RawList{}, RawTimeWindows{}, std::nullopt); },
                                "TimeDelta::seconds out of bounds"));
    }
}

}  // namespace
}  // namespace tourloom
