// Work on several threads: batches extracted with the same codes, files and
// bytes as one run extracting the records one by one, whatever the number
// of threads; a stop leaves only whole files; repacks whose local files are
// deflated ahead give the same bytes with any number of workers; libdeflate
// and zlib agree on every stream.
#include <grf.h>
#include <gtest/gtest.h>
#include <inflate.h>
#include <platform.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

struct Outcome {
    std::vector<uint32_t> codes;
    std::vector<std::string> tree;  // names with sizes
    std::vector<Bytes> contents;    // by record, as found after the batch
};

// What extracting indices into a fresh folder leaves: by one run when
// threads is 0xFFFFFFFF, else by GrfExtractRecords.
Outcome Extract(GrfArchive* archive, const std::vector<uint32_t>& indices, uint32_t threads) {
    TempDir dir;
    Outcome out;
    {
        CurrentDirScope here(dir.path);
        out.codes.assign(indices.size(), 0xDEAD);
        if (threads == 0xFFFFFFFFu) {
            GrfExtractRun* run = GrfBeginExtractRun();
            for (size_t i = 0; i < indices.size(); ++i)
                out.codes[i] = GrfExtractInRun(run, archive, indices[i]);
            GrfEndExtractRun(run);
        } else {
            uint32_t ok =
                GrfExtractRecords(archive, indices.data(), static_cast<uint32_t>(indices.size()),
                                  threads, nullptr, out.codes.data());
            EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
            uint32_t counted = 0;
            for (uint32_t code : out.codes) counted += code == GRF_OK;
            EXPECT_EQ(ok, counted);
        }
    }
    out.tree = ListTree(dir.path);
    for (uint32_t index : indices) {
        Bytes bytes;
        wchar_t* name =
            index < archive->count ? GrfFileName(archive->entries[index].name) : nullptr;
        if (name) ReadFileBytes(dir.Join(name), &bytes);
        GrfFreeBuffer(name);
        out.contents.push_back(bytes);
    }
    return out;
}

// Many small entries, a few read in pieces, enciphered ones, names that
// clash (the first that succeeds wins), one that does not inflate before a
// good one of its name, an unsafe name, and indices past the table.
TEST(ExtractRecords, SameOutcomeWhateverTheThreads) {
    for (uint32_t version : {0x103u, 0x200u}) {
        std::vector<Stored> stored;
        for (int i = 0; i < 300; ++i) {
            std::string name = "data\\f" + std::to_string(i % 7) + "\\e" + std::to_string(i) +
                               (i % 3 ? ".txt" : ".bmp");
            size_t size = i % 50 == 0 ? (1 << 20) + size_t(i) : size_t(i) * 37;
            stored.push_back(StoreContent(version, name, RandomBytes(size, i), i % 2 ? 1 : 3));
        }
        Stored unreadable = StoreContent(version, "data\\clash.txt", BytesOf("x"));
        unreadable.record.realSize = 50;
        // A zlib header, then damage.
        unreadable.bytes = Join({0x78, 0x9C}, RandomBytes(unreadable.bytes.size() - 2, 5));
        stored.insert(stored.begin() + 10, unreadable);
        stored.insert(stored.begin() + 20, StoreContent(version, "data\\clash.txt", BytesOf("2")));
        stored.insert(stored.begin() + 30, StoreContent(version, "data/clash.txt", BytesOf("3")));
        stored.push_back(StoreContent(version, "..\\outside.txt", BytesOf("o")));
        ArchiveOnDisk disk(BuildStoredArchive(version, stored));
        ASSERT_TRUE(disk.ok());
        std::vector<uint32_t> indices;
        for (uint32_t i = 0; i < disk.archive->count; ++i) indices.push_back(i);
        std::swap(indices[5], indices[indices.size() - 20]);
        indices.push_back(disk.archive->count + 5);
        Outcome oneByOne = Extract(disk.archive, indices, 0xFFFFFFFFu);
        oneByOne.codes.back() = GRF_ERROR_NOT_FOUND;  // a run refuses the index the same way
        // The first of the name does not read (enciphered damage may not even
        // look like zlib), so the second takes the name and the third is a
        // duplicate.
        EXPECT_NE(oneByOne.codes[10], uint32_t{GRF_OK});
        std::vector<uint32_t> clash = {oneByOne.codes[20], oneByOne.codes[30]};
        EXPECT_EQ(clash, (std::vector<uint32_t>{GRF_OK, GRF_ERROR_DUPLICATE}));
        EXPECT_EQ(oneByOne.codes[indices.size() - 2], uint32_t{GRF_ERROR_UNSAFE_NAME});
        for (uint32_t threads : {1u, 2u, 8u, 0u}) {
            Outcome batch = Extract(disk.archive, indices, threads);
            EXPECT_EQ(batch.codes, oneByOne.codes) << version << " threads " << threads;
            EXPECT_EQ(batch.tree, oneByOne.tree) << version << " threads " << threads;
            EXPECT_TRUE(batch.contents == oneByOne.contents) << version << " threads " << threads;
        }
    }
}

struct Stop {
    uint32_t after;
    std::vector<uint32_t> seen;
};
Stop* g_stop;

int32_t StopAfter(GrfEntry* entry, uint32_t index, uint32_t total) {
    EXPECT_NE(entry, nullptr);
    EXPECT_EQ(total, 200u);
    g_stop->seen.push_back(index);
    return index >= g_stop->after ? 1 : 0;
}

// A stop part way: records settled before it keep their codes, the rest are
// cancelled, and every file there is whole (no temporary file is left).
TEST(ExtractRecords, StopLeavesOnlyWholeFiles) {
    std::vector<Content> contents;
    for (int i = 0; i < 200; ++i)
        contents.push_back({"d\\" + std::to_string(i) + ".bin", RandomBytes(20000 + i * 900, i)});
    ArchiveOnDisk disk(BuildArchive(0x200, contents));
    std::vector<uint32_t> indices(200);
    for (uint32_t i = 0; i < 200; ++i) indices[i] = i;
    Stop stop{40, {}};
    g_stop = &stop;
    TempDir dir;
    std::vector<uint32_t> codes(200, 0xDEAD);
    uint32_t ok;
    {
        CurrentDirScope here(dir.path);
        ok = GrfExtractRecords(disk.archive, indices.data(), 200, 3, StopAfter, codes.data());
    }
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CANCELLED});
    ASSERT_EQ(stop.seen.size(), 40u);
    for (uint32_t i = 0; i < 40; ++i) EXPECT_EQ(stop.seen[i], i + 1) << "in record order";
    uint32_t whole = 0;
    for (uint32_t i = 0; i < 200; ++i) {
        Bytes bytes;
        bool there = ReadFileBytes(dir.Join(L"d\\" + std::to_wstring(i) + L".bin"), &bytes);
        if (i < 40) {
            EXPECT_EQ(codes[i], uint32_t{GRF_OK}) << i;
        }
        EXPECT_TRUE(codes[i] == GRF_OK || codes[i] == GRF_ERROR_CANCELLED) << i << " " << codes[i];
        EXPECT_EQ(there, codes[i] == GRF_OK) << i;
        if (there) {
            EXPECT_TRUE(bytes == contents[i].data) << i;
        }
        whole += there;
    }
    EXPECT_EQ(ok, whole);
    EXPECT_EQ(ListTree(dir.path).size(), whole + 1) << "the folder and whole files only";
}

#ifndef _WIN32  // there the batch's open file shares no writing: it cannot change
std::wstring* g_growing;

// Grows the archive at g_growing by a byte, in place, once the first record
// is settled.
int32_t GrowAfterFirst(GrfEntry*, uint32_t index, uint32_t) {
    if (index == 1) {
        Bytes bytes;
        EXPECT_TRUE(ReadFileBytes(*g_growing, &bytes));
        bytes.push_back(0);
        EXPECT_TRUE(WriteFileBytes(*g_growing, bytes));
    }
    return 0;
}

// The owner's file changing part way: small records read ahead with the
// first were read before the change and are still its content; every read
// from the file after the change is refused.
TEST(ExtractRecords, AFileChangedPartWayIsNotReadAgain) {
    ArchiveOnDisk disk(BuildArchive(0x200, {{"a.txt", BytesOf("a")},
                                            {"b.txt", BytesOf("b")},
                                            {"big.bin", RandomBytes(300 << 10, 1)},
                                            {"c.txt", BytesOf("c")}}));
    g_growing = &disk.path;
    const uint32_t indices[] = {0, 1, 2, 3};
    std::vector<uint32_t> codes(4, 0xDEAD);
    TempDir dir;
    {
        CurrentDirScope here(dir.path);
        EXPECT_EQ(GrfExtractRecords(disk.archive, indices, 4, 1, GrowAfterFirst, codes.data()), 2u);
    }
    EXPECT_EQ(codes, (std::vector<uint32_t>{GRF_OK, GRF_OK, GRF_ERROR_CHANGED, GRF_ERROR_CHANGED}));
    EXPECT_EQ(ListTree(dir.path), (std::vector<std::string>{"a.txt 1", "b.txt 1"}));
}
#endif

// Each record as a written archive holds it: place, sizes and stored bytes.
std::vector<std::string> Layout(const std::wstring& path) {
    std::vector<std::string> layout;
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    EXPECT_NE(archive, GRF_NO_ARCHIVE);
    if (archive == GRF_NO_ARCHIVE) return layout;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& e = archive->entries[i];
        uint32_t size = 0;
        void* raw = GrfReadEntryRaw(archive, e.name, &size);
        layout.push_back(std::string(e.name) + " " + std::to_string(e.position) + " " +
                         std::to_string(e.compressedSize) + " " + std::to_string(e.realSize) + " " +
                         std::string(static_cast<char*>(raw), size));
        GrfFreeBuffer(raw);
    }
    GrfClose(&archive);
    return layout;
}

// Many local files (one deleted, then one missing), repacked to both
// families with 1, 2 and 8 deflating workers: the same records, stored
// bytes and places (0x1xx directories draw random fillers from one
// sequence per process, so only 0x2xx files compare whole), or the same
// code.
TEST(Repack, LocalFilesDeflatedAheadGiveTheSameBytes) {
    TempDir dir;
    GrfArchive* table = GrfCreate(dir.Join(L"new.grf").c_str());
    ASSERT_NE(table, GRF_NO_ARCHIVE);
    for (int i = 0; i < 600; ++i) {
        std::wstring file = dir.Join(L"f" + std::to_wstring(i) + L".bin");
        size_t size = i % 100 == 7 ? (1 << 20) + size_t(i) : size_t(i) * 53;
        ASSERT_TRUE(WriteFileBytes(file, RandomBytes(size, i)));
        std::wstring name =
            L"data\\d" + std::to_wstring(i % 9) + L"\\f" + std::to_wstring(i) + L".txt";
        ASSERT_EQ(GrfAddLocalFile(table, name.c_str(), file.c_str()), 0u);
    }
    GrfFindEntry(table, "data\\d3\\f300.txt")->state = GRF_ENTRY_DELETED;
    for (uint32_t version : {0x103u, 0x200u}) {
        GrfSetVersion(version);
        std::vector<Bytes> outputs;
        std::vector<std::vector<std::string>> layouts;
        for (uint32_t threads : {1u, 2u, 8u}) {
            GrfRepackThreads = threads;
            std::wstring out = dir.Join(L"out" + std::to_wstring(version) + L"-" +
                                        std::to_wstring(threads) + L".grf");
            ASSERT_EQ(GrfRepack(table, out.c_str(), nullptr), 0) << GrfLastError;
            Bytes bytes;
            ASSERT_TRUE(ReadFileBytes(out, &bytes));
            outputs.push_back(bytes);
            layouts.push_back(Layout(out));
        }
        EXPECT_EQ(layouts[0].size(), 599u);
        EXPECT_TRUE(layouts[0] == layouts[1] && layouts[0] == layouts[2]) << version;
        if (version == 0x200) {
            EXPECT_TRUE(outputs[0] == outputs[1] && outputs[0] == outputs[2]);
        }
    }
    // A local file gone: the same failure with any number of workers, and no
    // output left.
    ASSERT_TRUE(PlatformDeleteFile(dir.Join(L"f450.bin").c_str()));
    for (uint32_t threads : {1u, 2u, 8u}) {
        GrfRepackThreads = threads;
        std::wstring out = dir.Join(L"gone" + std::to_wstring(threads) + L".grf");
        EXPECT_EQ(GrfRepack(table, out.c_str(), nullptr), 1);
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND}) << threads;
        EXPECT_FALSE(PlatformPathExists(out.c_str())) << threads;
    }
    GrfRepackThreads = 0;
    GrfSetVersion(0x103);
    GrfClose(&table);
}

TEST(ExtractRecords, Handles) {
    uint32_t index = 0, code = 0xDEAD;
    EXPECT_EQ(GrfExtractRecords(GRF_NO_ARCHIVE, &index, 1, 1, nullptr, &code), 0u);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    EXPECT_EQ(code, 0xDEADu) << "results untouched";
    ArchiveOnDisk disk(BuildArchive(0x200, {{"a.txt", BytesOf("a")}}));
    EXPECT_EQ(GrfExtractRecords(disk.archive, nullptr, 1, 1, nullptr, &code), 0u);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    EXPECT_EQ(GrfExtractRecords(disk.archive, nullptr, 0, 4, nullptr, nullptr), 0u);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
}

// libdeflate does the work, zlib answers whatever libdeflate refuses: every
// stream gives zlib's code, size and bytes (what inflated before a fault
// included), with zeros past them.
TEST(ExtractRecords, InflateAgreesWithZlib) {
    Bytes content = Join(RandomBytes(5000, 3), Bytes(20000, 'a'));
    Bytes stream = Deflate(content);
    Bytes badCheck = stream;
    badCheck.back() ^= 1;
    Bytes badMiddle = stream;
    badMiddle[stream.size() / 2] ^= 0xFF;
    struct Case {
        const char* what;
        Bytes source;
        size_t capacity;
    } cases[] = {
        {"whole", stream, content.size() + 1024},
        {"exact room", stream, content.size()},
        {"too little room", stream, content.size() - 1},
        {"trailing bytes", Join(stream, BytesOf("trailing")), content.size() + 10},
        {"truncated", Bytes(stream.begin(), stream.begin() + stream.size() / 2), content.size()},
        {"cut before the check", Bytes(stream.begin(), stream.end() - 2), content.size()},
        {"wrong check", badCheck, content.size()},
        {"damaged", badMiddle, content.size()},
        {"not zlib", RandomBytes(300, 9), 1000},
        {"empty", Bytes(), 100},
        {"empty content", Deflate(Bytes()), 16},
    };
    for (const Case& c : cases) {
        Bytes ours(c.capacity + 1, 0x55), zlibs(c.capacity + 1, 0);
        memset(ours.data(), 0x55, ours.size());
        size_t produced = 0;
        int code =
            InflateWhole(ours.data(), c.capacity, c.source.data(), c.source.size(), &produced);
        uLongf zlibProduced = c.capacity;
        int zlibCode = uncompress(zlibs.data(), &zlibProduced, c.source.data(), c.source.size());
        EXPECT_EQ(code, zlibCode) << c.what;
        EXPECT_EQ(produced, zlibProduced) << c.what;
        zlibs.back() = 0x55;  // the byte past capacity stays untouched
        EXPECT_TRUE(ours == zlibs) << c.what;
    }
}

}  // namespace
