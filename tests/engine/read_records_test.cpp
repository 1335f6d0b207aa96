// Batch reads: GrfReadRecords gives every record the bytes and code that
// GrfReadRecord gives it, whatever came before it in the batch, and stops
// when its reader asks.
#include <grf.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

struct Got {
    uint32_t index;
    uint32_t code;
    Bytes content;
    bool zerosBehind;
};

int Collect(uint32_t index, const uint8_t* content, uint32_t size, uint32_t code, void* user) {
    Got got{index, code, {}, true};
    if (content) {
        got.content.assign(content, content + size);
        for (uint32_t i = 0; i < 1024; ++i) got.zerosBehind &= content[size + i] == 0;
    }
    static_cast<std::vector<Got>*>(user)->push_back(got);
    return 0;
}

// Reads indices in one batch and compares every record with GrfReadRecord.
void ExpectSameAsOneByOne(GrfArchive* archive, const std::vector<uint32_t>& indices,
                          const std::string& what) {
    std::vector<Got> got;
    uint32_t read = GrfReadRecords(archive, indices.data(), static_cast<uint32_t>(indices.size()),
                                   Collect, &got);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_OK}) << what;
    ASSERT_EQ(got.size(), indices.size()) << what;
    uint32_t succeeded = 0;
    for (size_t p = 0; p < indices.size(); ++p) {
        uint32_t size = 0;
        uint8_t* alone = GrfReadRecord(archive, indices[p], &size);
        uint32_t code = GrfLastError;
        std::string at = what + ", record " + std::to_string(indices[p]);
        EXPECT_EQ(got[p].index, indices[p]) << at;
        EXPECT_EQ(got[p].code, code) << at;
        if (alone) {
            EXPECT_EQ(got[p].content, Bytes(alone, alone + size)) << at;
        }
        EXPECT_TRUE(got[p].zerosBehind) << at;
        succeeded += code == GRF_OK;
        GrfFreeBuffer(alone);
    }
    EXPECT_EQ(read, succeeded) << what;
}

// Every record of every sample archive, forwards then backwards, so that
// each record follows records of other sizes in the reused buffers.
TEST(ReadRecords, SameAsOneByOneOnEveryFixture) {
    SKIP_WITHOUT_FIXTURES();
    for (const auto& file : std::filesystem::directory_iterator(FixturePath("grf"))) {
        GrfArchive* archive = GrfOpen(file.path().wstring().c_str(), nullptr);
        if (archive == GRF_NO_ARCHIVE) continue;
        std::vector<uint32_t> indices;
        for (uint32_t i = 0; i < archive->count; ++i) indices.push_back(i);
        for (uint32_t i = archive->count; i-- > 0;) indices.push_back(i);
        ExpectSameAsOneByOne(archive, indices, file.path().filename().string());
        GrfClose(&archive);
    }
}

// Damaged and lying records side by side in one archive: each keeps its own
// code, and a failure leaves nothing behind for the next record.
TEST(ReadRecords, DamagedRecordsKeepTheirCodes) {
    Bytes stream = Deflate(BytesOf("hello, world"));
    uint32_t n = static_cast<uint32_t>(stream.size());
    Bytes padded = stream;
    padded.resize(GrfAlign8(n), 0);
    uint32_t p = static_cast<uint32_t>(padded.size());
    auto raw = [](const char* name, const Bytes& bytes, uint32_t compressed, uint32_t aligned,
                  uint32_t real, uint8_t type = 1) {
        Stored s;
        s.record = {name, compressed, aligned, real, type, 0};
        s.bytes = bytes;
        return s;
    };
    std::vector<Stored> records = {
        raw("data\\good", padded, n, p, 12),
        raw("data\\short", padded, n, p, 13),         // inflates to less
        raw("data\\long", padded, n, p, 11),          // inflates to more
        raw("data\\cut", padded, n - 3, p, 12),       // stream cut short
        raw("data\\huge", padded, n, p, 0xFFFFFFFF),  // beyond any inflate
        raw("data\\past", padded, p + 1, p, 12),      // compressed past aligned
        raw("data\\plain", BytesOf("plain text"), 10, 10, 10),
        raw("data\\empty", RandomBytes(40, 9), 40, 40, 0),
        StoreContent(0x200, "data\\big", RandomBytes(300000, 4)),
        StoreContent(0x200, "data\\mixed", Long(70000), 3),  // enciphered throughout
        StoreContent(0x200, "data\\header", Long(5000), 5),  // enciphered at the start
    };
    ArchiveOnDisk disk(BuildStoredArchive(0x200, records));
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < disk.archive->count; ++i) indices.push_back(i);
    indices.push_back(8);  // the largest again, then a small one after it
    indices.push_back(0);
    indices.push_back(disk.archive->count);  // beyond the table
    ExpectSameAsOneByOne(disk.archive, indices, "damaged");
}

// Records of other owners, of no owner, and (where a file open for reading
// may be written) the owner's file changing part way: the file opened for
// the batch is checked before every record.
TEST(ReadRecords, OwnersAndAFileThatChanges) {
    ArchiveOnDisk disk(BuildArchive(
        0x200, {{"data\\same.txt", BytesOf("first")}, {"data\\same.txt", BytesOf("second")}}));
    ArchiveOnDisk other(BuildArchive(0x103, {{"data\\other.txt", BytesOf("other")}}));
    ASSERT_EQ(GrfMerge(disk.archive, other.archive), 3u);
    ASSERT_EQ(GrfAddFile(disk.archive, disk.dir.path.c_str(), L"data\\local.txt"), 0u);
    ExpectSameAsOneByOne(disk.archive, {0, 2, 1, 3, 2, 0, 4}, "owners");

#ifndef _WIN32  // there the batch's open file shares no writing: it cannot change
    struct Changing {
        std::wstring path;
        std::vector<uint32_t> codes;
    } changing{other.path, {}};
    auto reader = [](uint32_t, const uint8_t*, uint32_t, uint32_t code, void* user) {
        auto* c = static_cast<Changing*>(user);
        c->codes.push_back(code);
        if (c->codes.size() == 1) {  // grown by a byte after the first record
            Bytes bytes;
            EXPECT_TRUE(ReadFileBytes(c->path, &bytes));
            bytes.push_back(0);
            EXPECT_TRUE(WriteFileBytes(c->path, bytes));
        }
        return 0;
    };
    const uint32_t indices[] = {2, 2, 0};
    EXPECT_EQ(GrfReadRecords(disk.archive, indices, 3, reader, &changing), 2u);
    EXPECT_EQ(changing.codes, (std::vector<uint32_t>{GRF_OK, GRF_ERROR_CHANGED, GRF_OK}));
#endif
}

TEST(ReadRecords, ReaderStopsTheBatchAndBadArguments) {
    ArchiveOnDisk disk(BuildArchive(
        0x200, {{"data\\a", BytesOf("a")}, {"data\\b", BytesOf("b")}, {"data\\c", BytesOf("c")}}));
    const uint32_t indices[] = {0, 1, 2};
    uint32_t calls = 0;
    auto stopAtSecond = [](uint32_t, const uint8_t*, uint32_t, uint32_t, void* user) {
        return ++*static_cast<uint32_t*>(user) == 2 ? 1 : 0;
    };
    EXPECT_EQ(GrfReadRecords(disk.archive, indices, 3, stopAtSecond, &calls), 2u);
    EXPECT_EQ(calls, 2u);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CANCELLED});

    std::vector<Got> got;
    EXPECT_EQ(GrfReadRecords(disk.archive, nullptr, 0, Collect, &got), 0u);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
    struct Bad {
        GrfArchive* archive;
        const uint32_t* indices;
        GrfRecordReader reader;
    } bad[] = {
        {GRF_NO_ARCHIVE, indices, Collect},
        {nullptr, indices, Collect},
        {disk.archive, nullptr, Collect},
        {disk.archive, indices, nullptr},
    };
    for (const Bad& b : bad) {
        EXPECT_EQ(GrfReadRecords(b.archive, b.indices, 3, b.reader, &got), 0u);
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    }
    EXPECT_TRUE(got.empty());
}

}  // namespace
