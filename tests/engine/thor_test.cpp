// Opening patch files (THOR): both layouts, removal records, duplicate
// names, the header's fields, and tables whose numbers lie.
#include <grf.h>
#include <gtest/gtest.h>
#include <le_bytes.h>
#include <string.h>
#include <thor_format.h>

#include <string>
#include <vector>

#include "engine_test_util.h"
#include "test_support.h"
#include "thor_builder.h"

namespace {

// "data\한글.txt" in code page 949.
const std::string kKorean = "data\\\xc7\xd1\xb1\xdb.txt";

Bytes Hex(const char* text) {
    Bytes out;
    for (const char* p = text; p[0] && p[1];) {
        if (*p == ' ' || *p == '\n') {
            ++p;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return out;
}

// Two files and one removal for the target x.grf, 125 bytes.
const char kWorkedExample[] =
    "4153 5346 2028 4329 2032 3030 3720 4165 6f6d 696e 2044 4556 0103 0000 0030 0005"
    "782e 6772 6635 0000 0048 0000 0078 9ccb 48cd c9c9 0700 062c 0215 789c 2bcf 2fca"
    "4951 0400 08f0 024a 789c e34a 492c 498c 49d4 2ba9 2861 d065 6060 e005 6256 20e6"
    "028b 2781 c5ad 807c 3e20 6603 621e b078 7e4e 8a5e 526e 0123 0095 6f0d 1c";

std::vector<ThorFile> ExampleFiles() {
    return {{"data\\a.txt", BytesOf("hello")},
            {"data\\b.txt", BytesOf("world!")},
            {"data\\old.bmp", {}, true}};
}

TEST(Thor, BuilderMatchesTheWorkedExampleByteForByte) {
    Bytes example = Hex(kWorkedExample);
    ASSERT_EQ(example.size(), 125u);
    EXPECT_EQ(BuildThor(ExampleFiles(), "x.grf"), example);
}

TEST(Thor, WorkedExampleOpensAsAPatch) {
    ArchiveOnDisk disk(Hex(kWorkedExample));
    ASSERT_TRUE(disk.ok());
    const GrfPatchInfo* info = GrfPatchOf(disk.archive);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->mergeMode, GRF_PATCH_MERGE);
    EXPECT_EQ(info->layout, 0x30);
    EXPECT_EQ(info->fileCount, 3u);
    EXPECT_STREQ(info->target, "x.grf");
    EXPECT_EQ(Bytes(disk.archive->header, disk.archive->header + GRF_HEADER_SIZE),
              Bytes(GRF_HEADER_SIZE, 0));

    EXPECT_EQ(NamesOf(disk.archive), (Names{"data\\a.txt", "data\\b.txt", "data\\old.bmp"}));
    const GrfEntry& a = disk.archive->entries[0];
    EXPECT_EQ(a.position, 45u);
    EXPECT_EQ(a.compressedSize, 13u);
    EXPECT_EQ(a.alignedSize, 13u);
    EXPECT_EQ(a.realSize, 5u);
    EXPECT_EQ(a.type, 1);
    EXPECT_EQ(a.cycle, -1);
    EXPECT_EQ(a.state, GRF_ENTRY_IN_ARCHIVE);
    EXPECT_EQ(disk.archive->entries[2].state, GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_REMOVAL);

    EXPECT_EQ(ReadContent(disk.archive, "data\\a.txt").bytes, BytesOf("hello"));
    EXPECT_EQ(ReadContent(disk.archive, "data\\b.txt").bytes, BytesOf("world!"));
    EntryRead removal = ReadContent(disk.archive, "data\\old.bmp");
    EXPECT_FALSE(removal.ok);
    EXPECT_EQ(removal.code, uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(GrfPatchOf(GRF_NO_ARCHIVE), nullptr);
}

TEST(Thor, KoreanNamesEmptyFilesAndPaddedStreamsRead) {
    Bytes big = Long(7, 5000);
    ArchiveOnDisk disk(BuildThor({{kKorean, BytesOf("korean")},
                                  {"data\\empty.txt", {}},
                                  {"data\\big.bin", big},
                                  {"data.integrity", BytesOf("x")}},
                                 "\xb5\xa5\xc0\xcc\xc5\xcd.grf", 1, true));
    ASSERT_TRUE(disk.ok());
    EXPECT_STREQ(GrfPatchOf(disk.archive)->target, "\xb5\xa5\xc0\xcc\xc5\xcd.grf");
    EXPECT_EQ(ReadContent(disk.archive, kKorean.c_str()).bytes, BytesOf("korean"));
    EXPECT_EQ(disk.archive->entries[1].compressedSize, 0u);
    EntryRead empty = ReadContent(disk.archive, "data\\empty.txt");
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.bytes.empty());
    EXPECT_EQ(ReadContent(disk.archive, "data\\big.bin").bytes, big);
    EXPECT_EQ(ReadContent(disk.archive, "data.integrity").bytes, BytesOf("x"));
}

TEST(Thor, SingleFileLayoutOpens) {
    ArchiveOnDisk disk(BuildSingleThor(kKorean, BytesOf("patcher"), "x.grf"));
    ASSERT_TRUE(disk.ok());
    const GrfPatchInfo* info = GrfPatchOf(disk.archive);
    EXPECT_EQ(info->layout, 0x21);
    EXPECT_EQ(info->mergeMode, GRF_PATCH_LOOSE);
    EXPECT_STREQ(info->target, "x.grf");
    EXPECT_EQ(NamesOf(disk.archive), Names{kKorean});
    EXPECT_EQ(ReadContent(disk.archive, kKorean.c_str()).bytes, BytesOf("patcher"));

    ArchiveOnDisk empty(BuildSingleThor("empty.exe", {}));
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(ReadContent(empty.archive, "empty.exe").ok);
}

TEST(Thor, LastRecordOfANameWinsInTheFirstPlace) {
    // Written as the table lists them: a, b, a again, data.integrity twice,
    // then b removed.
    Bytes data = Join(Deflate(BytesOf("one")), Deflate(BytesOf("two")));
    uint32_t first = 40;
    uint32_t second = first + static_cast<uint32_t>(Deflate(BytesOf("one")).size());
    int32_t size1 = static_cast<int32_t>(second - first);
    int32_t size2 = static_cast<int32_t>(data.size()) - size1;
    Bytes table = Join(ThorTableRecord("a", false, first, size1, 3),
                       ThorTableRecord("b", false, second, size2, 3));
    table = Join(table, ThorTableRecord("a", false, second, size2, 3));
    table = Join(table, ThorTableRecord("data.integrity", false, first, size1, 3));
    table = Join(table, ThorTableRecord("data.integrity", false, first, size1, 3));
    table = Join(table, ThorTableRecord("b", true));
    // The header's count (99) is not what the table holds: the table wins.
    ArchiveOnDisk disk(BuildThorWithTable(data, table, "", 1, 99));
    ASSERT_TRUE(disk.ok());
    EXPECT_EQ(NamesOf(disk.archive), (Names{"a", "b", "data.integrity"}));
    EXPECT_EQ(ReadContent(disk.archive, "a").bytes, BytesOf("two"));
    EXPECT_EQ(disk.archive->entries[1].state, GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_REMOVAL);
    EXPECT_EQ(GrfFindEntry(disk.archive, "data.integrity"), &disk.archive->entries[2]);
}

TEST(Thor, OddMergeByteOpensAndIsReportedAsStored) {
    ArchiveOnDisk disk(BuildThor(ExampleFiles(), "", 7));
    ASSERT_TRUE(disk.ok());
    EXPECT_EQ(GrfPatchOf(disk.archive)->mergeMode, 7);
    EXPECT_STREQ(GrfPatchOf(disk.archive)->target, "");
}

TEST(Thor, RemovalRecordsAreNeitherExtractedNorRepacked) {
    ArchiveOnDisk disk(Hex(kWorkedExample));
    ASSERT_TRUE(disk.ok());
    TempDir out;
    {
        CurrentDirScope here(out.path);
        EXPECT_EQ(GrfExtractRecord(disk.archive, 2), uint32_t{GRF_ERROR_NOT_FOUND});
        EXPECT_EQ(GrfExtractRecord(disk.archive, 0), uint32_t{GRF_OK});
    }
    EXPECT_EQ(ListTree(out.path), (std::vector<std::string>{"data/", "data/a.txt 5"}));

    std::wstring repacked = out.Join(L"out.grf");
    GrfSetVersion(0x200);
    ASSERT_EQ(GrfRepack(disk.archive, repacked.c_str(), nullptr), 0);
    GrfArchive* grf = GrfOpen(repacked.c_str(), nullptr);
    ASSERT_NE(grf, GRF_NO_ARCHIVE);
    EXPECT_EQ(NamesOf(grf), (Names{"data\\a.txt", "data\\b.txt"}));
    EXPECT_EQ(ReadContent(grf, "data\\b.txt").bytes, BytesOf("world!"));
    GrfClose(&grf);
    GrfSetVersion(0x103);
}

// Patches whose numbers lie, each refused with a clear code.
struct Hostile {
    const char* what;
    Bytes bytes;
    uint32_t code;
};

Bytes WithField(Bytes bytes, size_t at, uint32_t value) {
    PutLe32(&bytes[at], value);
    return bytes;
}

std::vector<Hostile> HostileCases() {
    Bytes example = Hex(kWorkedExample);
    const size_t tableSize = 37, tableOffset = 41;
    Bytes stream = Deflate(BytesOf("hello"));
    auto one = [&](const Bytes& record) { return BuildThorWithTable(stream, record); };
    int32_t n = static_cast<int32_t>(stream.size());
    Bytes single = BuildSingleThor("a.exe", BytesOf("hello"));
    Bytes layout = example;
    layout[thor::kMode] = 0x22;
    Bytes target = example;
    target[thor::kTarget + 1] = 0;
    Bytes junkTable = example;
    junkTable[73] ^= 0xFF;  // the table stream's second byte: no longer zlib
    std::string longName(GRF_NAME_MAX + 1, 'n');
    return {
        {"text only", Bytes(example.begin(), example.begin() + 30), GRF_ERROR_NOT_ARCHIVE},
        {"fields cut short", Bytes(example.begin(), example.begin() + 40), GRF_ERROR_NOT_ARCHIVE},
        {"layout neither table nor single", layout, GRF_ERROR_VERSION},
        {"target holds a zero", target, GRF_ERROR_NOT_ARCHIVE},
        {"table offset inside the header", WithField(example, tableOffset, 20),
         GRF_ERROR_NOT_ARCHIVE},
        {"table beyond the end", WithField(example, tableOffset, 100), GRF_ERROR_NOT_ARCHIVE},
        {"table size negative", WithField(example, tableSize, 0xFFFFFFF0u), GRF_ERROR_NOT_ARCHIVE},
        {"table size beyond the end", WithField(example, tableSize, 54), GRF_ERROR_NOT_ARCHIVE},
        {"table stream cut short", WithField(example, tableSize, 50), GRF_ERROR_NOT_ARCHIVE},
        {"table stream not zlib", junkTable, GRF_ERROR_NOT_ARCHIVE},
        {"record cut in its fields", one(Bytes{1, 'a', 0, 40, 0, 0}), GRF_ERROR_NOT_ARCHIVE},
        {"name without end", one(Bytes{200, 'a', 'b', 'c'}), GRF_ERROR_NOT_ARCHIVE},
        {"empty name", one(ThorTableRecord("", false, 40, n, 5)), GRF_ERROR_NOT_ARCHIVE},
        {"name holds a zero", one(ThorTableRecord(std::string("a\0b", 3), true)),
         GRF_ERROR_NOT_ARCHIVE},
        {"name longer than a table holds", one(ThorTableRecord(longName, true)),
         GRF_ERROR_NOT_ARCHIVE},
        {"stored bytes beyond the end", one(ThorTableRecord("a", false, 40, 5000, 5)),
         GRF_ERROR_NOT_ARCHIVE},
        {"offset beyond the end", one(ThorTableRecord("a", false, 0xFFFFFFF0u, n, 5)),
         GRF_ERROR_NOT_ARCHIVE},
        {"stored size negative", one(ThorTableRecord("a", false, 40, -1, 5)),
         GRF_ERROR_NOT_ARCHIVE},
        {"real size negative", one(ThorTableRecord("a", false, 40, n, -5)), GRF_ERROR_NOT_ARCHIVE},
        {"single stream beyond the end", WithField(single, 33, 1000), GRF_ERROR_NOT_ARCHIVE},
        {"single name beyond the end", Bytes(single.begin(), single.begin() + 44),
         GRF_ERROR_NOT_ARCHIVE},
        {"single size negative", WithField(single, 37, 0x80000000u), GRF_ERROR_NOT_ARCHIVE},
    };
}

TEST(Thor, HostileTablesAreRefused) {
    for (const Hostile& c : HostileCases()) {
        ArchiveOnDisk disk(c.bytes, kMayFail);
        EXPECT_FALSE(disk.ok()) << c.what;
        EXPECT_EQ(disk.code, c.code) << c.what;
    }
}

TEST(Thor, ContentThatLiesFailsOnReadOnly) {
    // The table is sound, the stream under it is not what it says.
    Bytes stream = Deflate(BytesOf("hello"));
    int32_t n = static_cast<int32_t>(stream.size());
    Bytes table =
        Join(ThorTableRecord("short", false, 40, n, 9), ThorTableRecord("good", false, 40, n, 5));
    ArchiveOnDisk disk(BuildThorWithTable(stream, table));
    ASSERT_TRUE(disk.ok());
    EXPECT_EQ(ReadContent(disk.archive, "short").code, uint32_t{GRF_ERROR_INFLATE});
    EXPECT_EQ(ReadContent(disk.archive, "good").bytes, BytesOf("hello"));
}

}  // namespace
