#include "devsim/SparseMemory.h"

#include <gtest/gtest.h>
#include <numeric>

namespace pexo::devsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ramp(std::size_t n, std::uint8_t first = 0) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

TEST(SparseMemory, WritesAcrossPagesReadBackAndDumpFillsGapsWithErasedBytes) {
    SparseMemory m;
    EXPECT_FALSE(m.writtenRange());
    EXPECT_TRUE(m.dump().empty());

    const Bytes a = ramp(100, 1);
    ASSERT_TRUE(m.write(4096 - 50, a)); // straddles a page boundary
    ASSERT_TRUE(m.write(3 * 4096 + 10, Bytes{0x11, 0x22}));
    EXPECT_EQ(m.read(4096 - 50, 100), a);

    const auto range = m.writtenRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 4096u - 50);
    EXPECT_EQ(range->last, 3u * 4096 + 11);

    const Bytes dump = m.dump();
    ASSERT_EQ(dump.size(), range->last - range->first + 1);
    EXPECT_EQ(Bytes(dump.begin(), dump.begin() + 100), a);
    EXPECT_EQ(dump[100], SparseMemory::kErased); // never written
    EXPECT_EQ(dump[dump.size() - 2], 0x11);
    EXPECT_EQ(dump.back(), 0x22);
}

TEST(SparseMemory, EraseForgetsDataAndShrinksTheWrittenRange) {
    SparseMemory m;
    ASSERT_TRUE(m.write(0x1000, ramp(0x3000)));
    ASSERT_TRUE(m.erase(0x3000, 0x1000)); // the last page entirely
    ASSERT_TRUE(m.erase(0x1000, 0x10));   // the first bytes
    EXPECT_FALSE(m.isWritten(0x100F));
    EXPECT_TRUE(m.isWritten(0x1010));
    EXPECT_EQ(m.read(0x100E, 3), (Bytes{0xFF, 0xFF, 0x10}));
    const auto range = m.writtenRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 0x1010u);
    EXPECT_EQ(range->last, 0x2FFFu);

    ASSERT_TRUE(m.erase(0, SparseMemory::kSize));
    EXPECT_FALSE(m.writtenRange());
}

TEST(SparseMemory, RangesPastTheEndOfMemoryAreRefusedWhole) {
    SparseMemory m;
    EXPECT_TRUE(m.write(SparseMemory::kSize - 2, Bytes{1, 2}));
    EXPECT_FALSE(m.write(SparseMemory::kSize - 2, Bytes{1, 2, 3}));
    EXPECT_FALSE(m.erase(SparseMemory::kSize - 2, 3));
    EXPECT_EQ(m.read(SparseMemory::kSize - 2, 4), (Bytes{1, 2, 0xFF, 0xFF}));
    EXPECT_FALSE(m.isWritten(SparseMemory::kSize));
}

} // namespace
} // namespace pexo::devsim
