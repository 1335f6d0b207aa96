// The writer's pseudo-random values come from one generator per process,
// started from state 1: the first 0x1xx repack of every run writes the same
// fillers and seed. This suite runs alone in its own process for that.
#include <grf.h>
#include <gtest/gtest.h>
#include <le_bytes.h>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

uint16_t Le16(const Bytes& b, size_t at) {
    return at + 2 <= b.size() ? GetLe16(&b[at]) : 0xFFFF;
}

TEST(Random, FirstRepackOfTheProcessRepeatsItsSequence) {
    ArchiveOnDisk source(BuildArchive(0x200, {{"data\\a.txt", BytesOf("alpha")},
                                              {"data\\b.txt", BytesOf("beta")},
                                              {"data\\gone.txt", BytesOf("gone")}}));
    source.archive->entries[2].state = GRF_ENTRY_DELETED;
    GrfSetVersion(0x102);
    std::wstring first = source.dir.Join(L"first.grf");
    ASSERT_EQ(GrfRepack(source.archive, first.c_str(), nullptr), 0);
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(first, &bytes));
    // State 1, then state * 214013 + 2531011, bits 16 to 30: 41, 18467,
    // 6334, 26500, ... One draw per directory record, then the seed.
    size_t dir = GRF_HEADER_SIZE + bytes[30] + (bytes[31] << 8);
    EXPECT_EQ(Le16(bytes, dir + 4), 41);
    size_t second = dir + 6 + (bytes[dir] - 6) + 21;
    EXPECT_EQ(Le16(bytes, second + 4), 18467);
    EXPECT_EQ(Le16(bytes, 34), 6334) << "seed";
    EXPECT_EQ(Le16(bytes, 38), 6334 + 2 + 7) << "count field";

    // The sequence goes on; a 0x2xx repack draws nothing.
    GrfSetVersion(0x200);
    std::wstring plain = source.dir.Join(L"plain.grf");
    ASSERT_EQ(GrfRepack(source.archive, plain.c_str(), nullptr), 0);
    GrfSetVersion(0x103);
    std::wstring next = source.dir.Join(L"next.grf");
    ASSERT_EQ(GrfRepack(source.archive, next.c_str(), nullptr), 0);
    ASSERT_TRUE(ReadFileBytes(next, &bytes));
    EXPECT_EQ(Le16(bytes, dir + 4), 26500);
    EXPECT_EQ(Le16(bytes, second + 4), 19169);
    EXPECT_EQ(Le16(bytes, 34), 15724) << "seed";
}

}  // namespace
