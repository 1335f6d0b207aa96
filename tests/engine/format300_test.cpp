// Archives of version 0x300 and archives past 4 GB: the worked example byte
// by byte, the header texts of every version, the header's fallback fields,
// hostile directories, and entries and directories beyond 4 GiB in sparse
// files (0x300 and the 0x2xx record whose offset plus 46 passes 4 GiB).
#include <grf.h>
#include <grf_format.h>
#include <gtest/gtest.h>
#include <le_bytes.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

using namespace grf;

// Its directory table once inflated: the name, sizes 13, 16 and 5, type 1
// and a 64-bit offset 0.
const uint8_t kWorkedTable[] = {
    0x64, 0x61, 0x74, 0x61, 0x5c, 0x61, 0x2e, 0x74, 0x78, 0x74, 0x00, 0x0d, 0x00, 0x00, 0x00, 0x10,
    0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

Bytes Inflate(const Bytes& packed, size_t size) {
    Bytes out(size + 1);
    uLongf got = out.size();
    if (uncompress(out.data(), &got, packed.data(), packed.size()) != Z_OK) return {};
    out.resize(got);
    return out;
}

void ExpectHello(GrfArchive* archive, const std::string& what) {
    ASSERT_EQ(archive->count, 1u) << what;
    const GrfEntry& e = archive->entries[0];
    EXPECT_STREQ(e.name, "data\\a.txt") << what;
    EXPECT_EQ(e.compressedSize, 13u) << what;
    EXPECT_EQ(e.alignedSize, 16u) << what;
    EXPECT_EQ(e.realSize, 5u) << what;
    EXPECT_EQ(e.position, uint64_t{GRF_HEADER_SIZE}) << what;
    EXPECT_EQ(e.type, 1) << what;
    EXPECT_EQ(e.cycle, -1) << what;
    EntryRead read = ReadContent(archive, e.name);
    EXPECT_EQ(read.bytes, BytesOf("hello")) << what << " code " << read.code;
}

TEST(Format300, WorkedExampleOpensUnderBothTexts) {
    for (const char* text : {"Event Horizon\0RL", "Master of Magic"}) {
        Bytes bytes = Example300();
        memcpy(bytes.data(), text, 16);
        ArchiveOnDisk opened(bytes);
        ASSERT_TRUE(opened.ok()) << text;
        ExpectHello(opened.archive, text);
        EXPECT_EQ(opened.archive->entries[0].version, 0x300u);
    }
}

// The writer's 0x300 file holds what the worked example holds, field by
// field: the zlib streams may differ in their bytes, not in what they hold.
TEST(Format300, WriterLaysOutTheWorkedExample) {
    ArchiveOnDisk source(Example300());
    std::wstring path = source.dir.Join(L"written.grf");
    GrfSetVersion(0x300);
    ASSERT_EQ(GrfRepack(source.archive, path.c_str(), nullptr), 0) << GrfLastError;
    GrfSetVersion(0x103);
    Bytes file;
    ASSERT_TRUE(ReadFileBytes(path, &file));
    ASSERT_GE(file.size(), 74u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 16),
              std::string("Master of Magic", 16));
    EXPECT_EQ(GetLe64(&file[kHeaderDirOffset]), 16u) << "directory after the 16 stored bytes";
    EXPECT_EQ(GetLe32(&file[kHeaderCount]), 1u) << "the plain count";
    EXPECT_EQ(GetLe32(&file[kHeaderVersion]), 0x300u);
    EXPECT_EQ(Slice(file, 46, 16), Slice(Example300(), 46, 16)) << "stored bytes copied";
    EXPECT_EQ(GetLe32(&file[62]), 0u) << "reserved";
    uint32_t packed = GetLe32(&file[66]);
    EXPECT_EQ(GetLe32(&file[70]), sizeof kWorkedTable);
    ASSERT_EQ(file.size(), 74u + packed);
    EXPECT_EQ(Inflate(Slice(file, 74, packed), sizeof kWorkedTable),
              Bytes(kWorkedTable, kWorkedTable + sizeof kWorkedTable));
    GrfArchive* again = GrfOpen(path.c_str(), nullptr);
    ASSERT_NE(again, GRF_NO_ARCHIVE);
    ExpectHello(again, "written");
    GrfClose(&again);
}

TEST(Format300, BothHeaderTextsForEveryVersion) {
    const char* texts[] = {"Master of Magic", "Event Horizon\0RL"};
    for (uint32_t version : {0x102u, 0x103u, 0x200u, 0x300u}) {
        for (const char* text : texts) {
            Bytes bytes = BuildArchive(version, {{"data\\a.txt", BytesOf("hello")}});
            memset(bytes.data(), 0, 16);
            memcpy(bytes.data(), text, 16);
            ArchiveOnDisk opened(bytes);
            std::string what = std::to_string(version) + " " + text;
            ASSERT_TRUE(opened.ok()) << what;
            EXPECT_EQ(opened.archive->count, 1u) << what;
            EXPECT_EQ(ReadContent(opened.archive, "data\\a.txt").bytes, BytesOf("hello")) << what;
        }
    }
    Bytes other = BuildArchive(0x300, {});
    memcpy(other.data(), "Event Horizo\0\0\0\0", 16);
    ArchiveOnDisk cut(other, kMayFail);
    EXPECT_EQ(cut.code, GRF_ERROR_NOT_ARCHIVE) << "a text cut short is no text";
}

// Bytes 35 to 37 not all zero: the header holds 0x2xx's fields (32-bit
// offset, seed, biased count) while the table stays 0x300's.
TEST(Format300, HeaderWithTheOlderFields) {
    Stored s = StoreContent(0x300, "data\\a.txt", BytesOf("hello"));
    Bytes data = s.bytes;
    s.record.offset = 0;
    Bytes dir = BuildV3Directory(BuildV3Table({s.record, s.record}));
    const uint32_t seed = 0x01000000;
    Bytes header = BuildV3Header(0, 0);
    PutLe32(&header[kHeaderDirOffset], static_cast<uint32_t>(data.size()));
    PutLe32(&header[kHeaderSeed], seed);
    PutLe32(&header[kHeaderCount], 1 + seed + kCountBias);
    ArchiveOnDisk opened(Join(Join(header, data), dir));
    ASSERT_TRUE(opened.ok());
    ExpectHello(opened.archive, "older fields, one of two records counted");

    // Byte 34 alone is part of the 64-bit offset: a directory past 4 GiB,
    // here beyond the file.
    PutLe32(&header[kHeaderSeed], 1);
    PutLe32(&header[kHeaderCount], 1);
    ArchiveOnDisk far(Join(Join(header, data), dir), kMayFail);
    EXPECT_EQ(far.code, GRF_ERROR_NOT_ARCHIVE);
}

TEST(Format300, HostileDirectories) {
    Stored s = StoreContent(0x300, "data\\a.txt", BytesOf("hello"));
    Bytes data = s.bytes;
    RawRecord record = s.record;
    record.offset = 0;
    Bytes table = BuildV3Table({record});
    Bytes dir = BuildV3Directory(table);
    auto archive = [&](uint64_t dirOffset, uint32_t count, const Bytes& directory) {
        return Join(Join(BuildV3Header(dirOffset, count), data), directory);
    };
    auto withSizes = [&](uint32_t packed, uint32_t size) {
        Bytes d = dir;
        PutLe32(&d[kV3SizesPacked], packed);
        PutLe32(&d[kV3SizesTable], size);
        return d;
    };
    Bytes farRecord = table;
    PutLe64(&farRecord[farRecord.size() - 8], 0xFFFFFFFFFFFFFFF0ull);
    Bytes reserved = dir;
    PutLe32(&reserved[0], 0xDEADBEEF);
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t code;   // of the open
        uint32_t count;  // entries when it opens
    } cases[] = {
        {"as built", archive(data.size(), 1, dir), GRF_OK, 1},
        {"reserved field ignored", archive(data.size(), 1, reserved), GRF_OK, 1},
        {"count 0 reads no record", archive(data.size(), 0, dir), GRF_OK, 0},
        {"count beyond the records", archive(data.size(), 1000, dir), GRF_OK, 1},
        {"directory offset beyond the file", archive(1 << 20, 1, dir), GRF_ERROR_NOT_ARCHIVE, 0},
        {"directory offset past 4 GiB, beyond the file", archive(0x000000FFFFFFFFF0ull, 1, dir),
         GRF_ERROR_NOT_ARCHIVE, 0},
        {"directory cut inside its sizes", Slice(archive(data.size(), 1, dir), 0, 46 + 16 + 10),
         GRF_ERROR_NOT_ARCHIVE, 0},
        {"compressed size beyond the file", archive(data.size(), 1, withSizes(1000, 32)),
         GRF_ERROR_NOT_ARCHIVE, 0},
        {"table size no stream inflates to",
         archive(data.size(), 1,
                 withSizes(static_cast<uint32_t>(dir.size() - kV3Sizes), 0xFFFFFFFF)),
         GRF_ERROR_NOT_ARCHIVE, 0},
        {"table smaller than its record",
         archive(data.size(), 1, withSizes(static_cast<uint32_t>(dir.size() - kV3Sizes), 20)),
         GRF_OK, 0},
        {"C and U zero: empty", archive(data.size(), 1, withSizes(0, 0)), GRF_OK, 0},
        {"record offset near 2^64", archive(data.size(), 1, BuildV3Directory(farRecord)), GRF_OK,
         1},
    };
    for (const Case& c : cases) {
        ArchiveOnDisk opened(c.bytes, kMayFail);
        EXPECT_EQ(opened.code, c.code) << c.what;
        if (!opened.ok()) continue;
        EXPECT_EQ(opened.archive->count, c.count) << c.what;
        for (uint32_t i = 0; i < opened.archive->count; ++i) {
            EntryRead read = ReadContent(opened.archive, opened.archive->entries[i].name);
            if (opened.archive->entries[i].position > c.bytes.size()) {
                EXPECT_EQ(read.code, GRF_ERROR_READ) << c.what << ": never a wrapped position";
                EXPECT_EQ(opened.archive->entries[i].position, UINT64_MAX) << c.what;
            } else {
                EXPECT_EQ(read.bytes, BytesOf("hello")) << c.what;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Past 4 GiB, in sparse files.

constexpr uint64_t k4GiB = uint64_t{1} << 32;

Bytes TestBytes(uint64_t seed) {
    return Join(BytesOf("far content "), RandomBytes(3000, seed));
}

// A sparse archive file, or a skip with the reason.
#define WRITE_SPARSE_OR_SKIP(path, size, pieces)                            \
    do {                                                                    \
        std::string why;                                                    \
        if (!WriteSparseFile(path, size, pieces, &why))                     \
            GTEST_SKIP() << "no file past 4 GiB can be made here: " << why; \
    } while (0)

TEST(Past4GiB, EntriesAndDirectoryOf0x300) {
    Stored near = StoreContent(0x300, "data\\near.txt", TestBytes(1));
    Stored far = StoreContent(0x300, "data\\far.bin", TestBytes(2), 3);
    near.record.offset = 0;
    far.record.offset = k4GiB + 0x100;  // absolute 4 GiB + 0x12E
    uint64_t dirOffset = far.record.offset + far.bytes.size() + 5;
    Bytes dir = BuildV3Directory(BuildV3Table({near.record, far.record}));
    uint64_t size = GRF_HEADER_SIZE + dirOffset + dir.size();
    TempDir temp;
    std::wstring path = temp.Join(L"large.grf");
    WRITE_SPARSE_OR_SKIP(path, size,
                         (std::vector<FilePiece>{{0, BuildV3Header(dirOffset, 2)},
                                                 {GRF_HEADER_SIZE, near.bytes},
                                                 {GRF_HEADER_SIZE + far.record.offset, far.bytes},
                                                 {GRF_HEADER_SIZE + dirOffset, dir}}));
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    ASSERT_NE(archive, GRF_NO_ARCHIVE) << GrfLastError;
    ASSERT_EQ(archive->count, 2u);
    EXPECT_EQ(archive->entries[1].position, k4GiB + 0x100 + GRF_HEADER_SIZE);
    EXPECT_EQ(ReadContent(archive, "data\\near.txt").bytes, TestBytes(1));
    EXPECT_EQ(ReadContent(archive, "data\\far.bin").bytes, TestBytes(2));

    // Extraction streams from past 4 GiB too.
    {
        CurrentDirScope here(temp.path);
        EXPECT_EQ(GrfExtractRecord(archive, 1), 0u);
        Bytes extracted;
        EXPECT_TRUE(ReadFileBytes(temp.Join(LocalPath(L"data\\far.bin")), &extracted));
        EXPECT_EQ(extracted, TestBytes(2));
    }
    // Repacks take the far bytes into small archives of every family.
    for (uint32_t version : {0x103u, 0x200u, 0x300u}) {
        std::wstring out = temp.Join(L"small" + std::to_wstring(version) + L".grf");
        GrfSetVersion(version);
        ASSERT_EQ(GrfRepack(archive, out.c_str(), nullptr), 0) << version << " " << GrfLastError;
        GrfArchive* small = GrfOpen(out.c_str(), nullptr);
        ASSERT_NE(small, GRF_NO_ARCHIVE) << version;
        EXPECT_EQ(ReadContent(small, "data\\far.bin").bytes, TestBytes(2)) << version;
        GrfClose(&small);
    }
    GrfSetVersion(0x103);
    GrfClose(&archive);
}

// A 0x2xx record whose stored offset plus 46 passes 4 GiB reads its own
// bytes, not the header's at the wrapped position.
TEST(Past4GiB, V2OffsetPlusHeaderPassing4GiB) {
    Stored near = StoreContent(0x200, "data\\near.txt", TestBytes(3));
    Stored far = StoreContent(0x200, "data\\far.bin", TestBytes(4));
    near.record.offset = 0;
    far.record.offset = 0xFFFFFFF0u;  // absolute 4 GiB + 0x1E
    uint64_t dirOffset = near.bytes.size();
    Bytes dir = BuildV2Directory(BuildV2Table({near.record, far.record}));
    uint64_t size = GRF_HEADER_SIZE + far.record.offset + far.bytes.size();
    TempDir temp;
    std::wstring path = temp.Join(L"wrap.grf");
    WRITE_SPARSE_OR_SKIP(
        path, size,
        (std::vector<FilePiece>{
            {0, BuildHeader(static_cast<uint32_t>(dirOffset), 0, 2 + kCountBias, 0x200)},
            {GRF_HEADER_SIZE, near.bytes},
            {GRF_HEADER_SIZE + dirOffset, dir},
            {GRF_HEADER_SIZE + far.record.offset, far.bytes}}));
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    ASSERT_NE(archive, GRF_NO_ARCHIVE) << GrfLastError;
    ASSERT_EQ(archive->count, 2u);
    EXPECT_EQ(archive->entries[1].position, k4GiB + 0x1E);
    EXPECT_EQ(ReadContent(archive, "data\\far.bin").bytes, TestBytes(4));
    // Its stored bytes, past 4 GiB, still fit a 0x2xx repack.
    std::wstring out = temp.Join(L"again.grf");
    GrfSetVersion(0x200);
    ASSERT_EQ(GrfRepack(archive, out.c_str(), nullptr), 0) << GrfLastError;
    GrfSetVersion(0x103);
    GrfArchive* again = GrfOpen(out.c_str(), nullptr);
    ASSERT_NE(again, GRF_NO_ARCHIVE);
    EXPECT_EQ(ReadContent(again, "data\\far.bin").bytes, TestBytes(4));
    GrfClose(&again);
    GrfClose(&archive);
}

}  // namespace
