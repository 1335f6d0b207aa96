// The repack writer: round trips between every version, the bytes it writes,
// what it does with records whose stored form is unusual, local files, and
// failures that must leave the table and existing files alone.
#include <grf.h>
#include <grf_format.h>
#include <gtest/gtest.h>
#include <le_bytes.h>
#include <platform.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <platform_hooks.h>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

using namespace grf;

const uint32_t kVersions[] = {0x101, 0x102, 0x103, 0x200, 0x201, 0x300};

// Repacks archive at the given version and level into a new file in dir.
struct Repacked {
    Repacked(GrfArchive* archive, const TempDir& dir, uint32_t version, uint32_t level = 3,
             GrfProgressCallback progress = nullptr) {
        static int serial = 0;
        path = dir.Join(L"out" + std::to_wstring(++serial) + L".grf");
        GrfSetCompressionLevel(level);
        GrfSetVersion(version);
        GrfLastError = 12345;
        result = GrfRepack(archive, path.c_str(), progress);
        code = GrfLastError;
        ReadFileBytes(path, &bytes);
    }
    ~Repacked() { GrfClose(&reopened); }
    GrfArchive* Reopen() {
        reopened = GrfOpen(path.c_str(), nullptr);
        EXPECT_NE(reopened, GRF_NO_ARCHIVE) << "code " << GrfLastError;
        return reopened;
    }
    std::wstring path;
    int32_t result = -1;
    uint32_t code = 0;
    Bytes bytes;
    GrfArchive* reopened = GRF_NO_ARCHIVE;
};

// A little-endian field of a written file; all ones where the file is too
// short to hold it.
uint32_t Field(const Bytes& file, size_t at) {
    return at + 4 <= file.size() ? GetLe32(&file[at]) : 0xFFFFFFFFu;
}

// The content of a record read by its own position in a file, as a reader
// that trusts the record would get it (for records that share a name).
Bytes ContentAt(const Bytes& file, const GrfEntry& e) {
    Bytes stored = Slice(file, e.position, e.alignedSize);
    stored.resize(GrfAlign8(e.alignedSize) + 8, 0);
    if (e.cycle >= 0) GrfCipherEntryData(stored.data(), e.alignedSize, e.cycle == 0, e.cycle, 0);
    Bytes out(e.realSize + 1);
    uLongf size = out.size();
    if (uncompress(out.data(), &size, stored.data(), e.compressedSize) != Z_OK) return {};
    out.resize(size);
    return out;
}

// Names of every cipher choice: header-only by extension or for a name
// without a dot, mixed with several digit counts, code page 949, empty.
std::vector<Content> Contents() {
    return {
        {"data\\a.gnd", Long(1), 1},          {"data\\noext", Long(2), 5},
        {"data\\texture\\b.bmp", Long(3), 3}, {"data\\sprite\\\xB9\xE8\xB0\xE6.spr", Long(4), 1},
        {"data\\empty.txt", {}, 1},           {"data\\big.bin", Long(5, 300000), 3},
        {"data\\x.y\\c.gat", Long(6), 5},
    };
}

void ExpectSameContents(GrfArchive* source, GrfArchive* output, const std::string& what) {
    ASSERT_EQ(NamesOf(output), NamesOf(source)) << what;
    for (uint32_t i = 0; i < source->count; ++i) {
        const char* name = source->entries[i].name;
        EntryRead before = ReadContent(source, name);
        EntryRead after = ReadContent(output, name);
        EXPECT_EQ(after.ok, before.ok) << what << " " << name;
        EXPECT_EQ(after.code, before.code) << what << " " << name;
        EXPECT_EQ(after.bytes, before.bytes) << what << " " << name;
    }
}

TEST(Repack, RoundTripsBetweenEveryVersion) {
    for (uint32_t sourceVersion : {0x102u, 0x200u, 0x300u}) {
        ArchiveOnDisk source(BuildArchive(sourceVersion, Contents()));
        for (uint32_t version : kVersions) {
            std::string what = std::to_string(sourceVersion) + "->" + std::to_string(version);
            Repacked out(source.archive, source.dir, version);
            ASSERT_EQ(out.result, 0) << what << " code " << out.code;
            GrfArchive* reopened = out.Reopen();
            ASSERT_NE(reopened, GRF_NO_ARCHIVE) << what;
            ExpectSameContents(source.archive, reopened, what);
            bool v3 = version == 0x300;
            uint32_t seed = v3 ? 0 : Field(out.bytes, kHeaderSeed);
            EXPECT_EQ(Field(out.bytes, kHeaderVersion), version) << what;
            EXPECT_EQ(Field(out.bytes, kHeaderCount),
                      reopened->count + (v3 ? 0 : seed + kCountBias))
                << what;
            if (version >= 0x200) {
                EXPECT_EQ(Field(out.bytes, kHeaderSeed), 0u) << what << " (0x300: high half)";
            }
            EXPECT_LE(seed, 32767u);
            uint64_t next = GRF_HEADER_SIZE;
            for (uint32_t i = 0; i < reopened->count; ++i) {
                const GrfEntry& e = reopened->entries[i];
                EXPECT_EQ(e.type, 1) << what;
                EXPECT_EQ(e.position, next) << what << " records follow without gaps";
                next += e.alignedSize;
            }
            EXPECT_EQ(Field(out.bytes, kHeaderDirOffset) + GRF_HEADER_SIZE, next) << what;
        }
    }
}

TEST(Repack, SameFamilyCopiesStoredBytesUnchanged) {
    for (auto [from, to] : {std::pair{0x102u, 0x103u},
                            {0x200u, 0x201u},
                            {0x103u, 0x101u},
                            {0x200u, 0x300u},
                            {0x300u, 0x201u}}) {
        std::vector<Content> contents = Contents();
        if (from >= 0x200)
            for (Content& c : contents) c.type = 1;
        ArchiveOnDisk source(BuildArchive(from, contents));
        Repacked out(source.archive, source.dir, to);
        ASSERT_EQ(out.result, 0);
        GrfArchive* reopened = out.Reopen();
        for (uint32_t i = 0; i < source.archive->count; ++i) {
            const GrfEntry& a = source.archive->entries[i];
            const GrfEntry& b = reopened->entries[i];
            uint32_t sa = 0, sb = 0;
            auto* ra = static_cast<uint8_t*>(GrfReadEntryRaw(source.archive, a.name, &sa));
            auto* rb = static_cast<uint8_t*>(GrfReadEntryRaw(reopened, b.name, &sb));
            ASSERT_TRUE(ra && rb);
            EXPECT_EQ(Bytes(rb, rb + sb), Bytes(ra, ra + sa)) << a.name;
            EXPECT_EQ(b.compressedSize, a.compressedSize);
            EXPECT_EQ(b.realSize, a.realSize);
            GrfFreeBuffer(ra);
            GrfFreeBuffer(rb);
        }
    }
}

TEST(Repack, DirectoryRecordBytesInBothLayouts) {
    // data\a.txt: compressed 12, aligned 16, real 5, written first.
    Stored s;
    s.record.name = "data\\a.txt";
    s.record.compressedSize = 12;
    s.record.alignedSize = 16;
    s.record.realSize = 5;
    s.bytes = RandomBytes(16, 1);
    ArchiveOnDisk source(BuildStoredArchive(0x103, {s}));

    Repacked v2(source.archive, source.dir, 0x200);
    ASSERT_EQ(v2.result, 0);
    size_t dir = Field(v2.bytes, kHeaderDirOffset) + GRF_HEADER_SIZE;
    EXPECT_EQ(dir, GRF_HEADER_SIZE + 16u);
    Bytes table(Field(v2.bytes, dir + 4));
    uLongf size = table.size();
    Bytes packed = Slice(v2.bytes, dir + kV2Sizes, Field(v2.bytes, dir));
    ASSERT_EQ(uncompress(table.data(), &size, packed.data(), packed.size()), Z_OK);
    Bytes expected = Join(BytesOf(std::string("data\\a.txt", 11)),
                          Bytes{0x0C, 0, 0, 0, 0x10, 0, 0, 0, 0x05, 0, 0, 0, 1, 0, 0, 0, 0});
    EXPECT_EQ(table, expected);

    Repacked v1(source.archive, source.dir, 0x103);
    ASSERT_EQ(v1.result, 0);
    dir = Field(v1.bytes, kHeaderDirOffset) + GRF_HEADER_SIZE;
    Bytes record = Slice(v1.bytes, dir, v1.bytes.size() - dir);
    ASSERT_EQ(record.size(), 6u + 16 + 21);
    EXPECT_EQ(Slice(record, 0, 4), (Bytes{0x16, 0, 0, 0}));
    Bytes name = BytesOf(std::string("data\\a.txt\0\0\0\0\0\0", 16));
    GrfCipherName(name.data(), 16, 0);
    EXPECT_EQ(Slice(record, 6, 16), name);
    EXPECT_EQ(Slice(record, 22, 21), (Bytes{0, 0,    0, 0, 0xDC, 0x02, 0, 0, 0xDB, 0x92, 0,
                                            0, 0x05, 0, 0, 0,    1,    0, 0, 0,    0}));
}

TEST(Repack, EmptyAndAllDeletedTables) {
    ArchiveOnDisk source(
        BuildArchive(0x200, {{"data\\a.txt", BytesOf("a")}, {"data\\b.txt", BytesOf("b")}}));
    GrfArchive* empty = GrfCreate(source.dir.Join(L"new.grf").c_str());
    for (int all = 0; all < 2; ++all) {
        GrfArchive* table = all ? source.archive : empty;
        if (all)
            for (uint32_t i = 0; i < table->count; ++i) table->entries[i].state = GRF_ENTRY_DELETED;
        for (uint32_t version : {0x103u, 0x200u}) {
            Repacked out(table, source.dir, version);
            ASSERT_EQ(out.result, 0);
            uint32_t seed = Field(out.bytes, kHeaderSeed);
            EXPECT_EQ(Field(out.bytes, kHeaderDirOffset), 0u);
            EXPECT_EQ(Field(out.bytes, kHeaderCount), seed + kCountBias);
            if (version < 0x200) {
                EXPECT_EQ(out.bytes.size(), size_t{GRF_HEADER_SIZE});
            } else {
                EXPECT_EQ(seed, 0u);
                EXPECT_EQ(Field(out.bytes, GRF_HEADER_SIZE + 4), 0u) << "empty table";
                EXPECT_EQ(out.bytes.size(),
                          GRF_HEADER_SIZE + 8 + Field(out.bytes, GRF_HEADER_SIZE));
            }
            GrfArchive* reopened = out.Reopen();
            EXPECT_EQ(reopened->count, 0u);
        }
    }
    GrfClose(&empty);
}

TEST(Repack, ExistingOutputIsLeftUntouched) {
    ArchiveOnDisk source(BuildArchive(0x200, Contents()));
    std::wstring path = source.dir.Join(L"exists.grf");
    ASSERT_TRUE(WriteFileBytes(path, BytesOf("keep me")));
    GrfLastError = 0;
    EXPECT_EQ(GrfRepack(source.archive, path.c_str(), nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
    Bytes kept;
    EXPECT_TRUE(ReadFileBytes(path, &kept));
    EXPECT_EQ(kept, BytesOf("keep me"));
    EXPECT_EQ(GrfRepack(source.archive, source.path.c_str(), nullptr), 1) << "its own file";
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(GrfRepack(GRF_NO_ARCHIVE, path.c_str(), nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
}

int32_t StopAtOnce(GrfEntry*, uint32_t, uint32_t) {
    return 1;
}

std::vector<uint32_t> g_seen;
int32_t StopAtThird(GrfEntry* entry, uint32_t index, uint32_t total) {
    EXPECT_NE(entry, nullptr);
    EXPECT_GT(total, index);
    g_seen.push_back(index);
    return g_seen.size() == 3;
}

// A stopped or failed repack leaves the table as it was and no file at
// all: neither the output nor its temporary file.
TEST(Repack, StopsAndFailuresLeaveTheTableAsItWasAndNoFile) {
    ArchiveOnDisk source(BuildArchive(0x200, Contents()));
    source.archive->entries[1].state = GRF_ENTRY_DELETED;
    Bytes before = TableBytes(source.archive);
    std::vector<std::string> files = ListTree(source.dir.path);

    Repacked atOnce(source.archive, source.dir, 0x103, 3, StopAtOnce);
    EXPECT_EQ(atOnce.result, 1);
    EXPECT_EQ(atOnce.code, uint32_t{GRF_ERROR_CANCELLED});
    EXPECT_EQ(ListTree(source.dir.path), files);

    g_seen.clear();
    Repacked third(source.archive, source.dir, 0x200, 3, StopAtThird);
    EXPECT_EQ(third.code, uint32_t{GRF_ERROR_CANCELLED});
    EXPECT_EQ(g_seen, (std::vector<uint32_t>{0, 2, 3})) << "deleted records are not reported";
    EXPECT_EQ(TableBytes(source.archive), before);
    EXPECT_EQ(ListTree(source.dir.path), files);

    // Writes that fail at the placeholder header, in the data and directory,
    // at the final header.
    for (int32_t writes : {0, 1, 2}) {
        for (uint32_t version : {0x103u, 0x200u}) {
            PlatformFailAfter(kPlatformFaultWrite, writes);
            Repacked failed(source.archive, source.dir, version);
            PlatformFailAfter(kPlatformFaultWrite, -1);
            EXPECT_EQ(failed.code, uint32_t{GRF_ERROR_WRITE}) << writes << " " << version;
            EXPECT_EQ(ListTree(source.dir.path), files) << writes << " " << version;
        }
    }

    // A local file that does not open, after records already written.
    ASSERT_EQ(GrfAddFile(source.archive, source.dir.Join(L"nowhere").c_str(), L"data\\gone.txt"),
              0u);
    before = TableBytes(source.archive);
    Repacked missing(source.archive, source.dir, 0x103);
    EXPECT_EQ(missing.result, 1);
    EXPECT_EQ(missing.code, uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(ListTree(source.dir.path), files) << "nothing of what was written stays";
    EXPECT_EQ(TableBytes(source.archive), before);

    // The owner's file gone: stored bytes cannot be read.
    ASSERT_TRUE(PlatformDeleteFile(source.path.c_str()));
    Repacked gone(source.archive, source.dir, 0x200);
    EXPECT_EQ(gone.code, uint32_t{GRF_ERROR_NOT_ARCHIVE});
    EXPECT_EQ(TableBytes(source.archive), before);
    EXPECT_FALSE(FileExists(gone.path));
}

// The output takes its name only when complete: a temporary file that an
// earlier run left (a crash) is neither reused nor in the way.
TEST(Repack, LeftoverTemporaryFilesAreNoObstacle) {
    ArchiveOnDisk source(BuildArchive(0x200, Contents()));
    std::wstring path = source.dir.Join(L"out.grf");
    for (const wchar_t* leftover : {L"out.grf.00000000.tmp", L"out.grf.ffffffff.tmp"})
        ASSERT_TRUE(WriteFileBytes(source.dir.Join(leftover), BytesOf("crash")));
    GrfSetVersion(0x200);
    ASSERT_EQ(GrfRepack(source.archive, path.c_str(), nullptr), 0) << GrfLastError;
    GrfSetVersion(0x103);
    EXPECT_EQ(ListTree(source.dir.path).size(), 4u);
    Bytes kept;
    EXPECT_TRUE(ReadFileBytes(source.dir.Join(L"out.grf.00000000.tmp"), &kept));
    EXPECT_EQ(kept, BytesOf("crash"));
    GrfArchive* reopened = GrfOpen(path.c_str(), nullptr);
    ASSERT_NE(reopened, GRF_NO_ARCHIVE);
    ExpectSameContents(source.archive, reopened, "beside leftovers");
    GrfClose(&reopened);
}

// A name of the longest length the field holds survives a repack to every
// version, with every record after it.
TEST(Repack, LongestNamesInEveryVersion) {
    std::string longest = "data\\" + std::string(GRF_NAME_MAX - 5, 'n');
    ASSERT_EQ(longest.size(), size_t{GRF_NAME_MAX});
    ArchiveOnDisk source(
        BuildArchive(0x200, {{"a.txt", Long(1)}, {longest, Long(2)}, {"z.txt", BytesOf("z")}}));
    for (uint32_t version : kVersions) {
        Repacked out(source.archive, source.dir, version);
        ASSERT_EQ(out.result, 0) << version << " code " << out.code;
        GrfArchive* reopened = out.Reopen();
        ExpectSameContents(source.archive, reopened, std::to_string(version));
    }
}

// An empty name ends a 0x2xx table, so no 0x2xx file is written with one;
// the 0x1xx layout keeps it.
TEST(Repack, EmptyNamesOnlyWhereTheLayoutKeepsThem) {
    RawRecord empty;
    empty.compressedSize = 0;
    Stored blank{empty, {}};
    ArchiveOnDisk source(
        BuildStoredArchive(0x103, {StoreContent(0x103, "a.txt", BytesOf("a")), blank,
                                   StoreContent(0x103, "z.txt", BytesOf("z"))}));
    ASSERT_EQ(NamesOf(source.archive), (Names{"a.txt", "", "z.txt"}));
    Repacked v2(source.archive, source.dir, 0x200);
    EXPECT_EQ(v2.code, uint32_t{GRF_ERROR_WRITE});
    EXPECT_FALSE(FileExists(v2.path));
    Repacked v1(source.archive, source.dir, 0x103);
    ASSERT_EQ(v1.result, 0) << v1.code;
    EXPECT_EQ(NamesOf(v1.Reopen()), NamesOf(source.archive));
}

int g_progressCalls = 0;
int32_t CountCalls(GrfEntry*, uint32_t, uint32_t) {
    ++g_progressCalls;
    return 0;
}

// Stored sizes that pass what 32-bit offsets address are refused before
// anything is written or read; GrfOutputBytes shows why.
TEST(Repack, FourGigabytesRefusedBeforeWriting) {
    ArchiveOnDisk source(
        BuildArchive(0x200, {{"data\\a.txt", BytesOf("a")}, {"data\\b.txt", BytesOf("b")}}));
    struct Case {
        uint32_t version;
        uint32_t first, second;  // aligned sizes
        uint32_t code;
    } cases[] = {
        {0x200, 0x80000000u, 0x80000000u, GRF_ERROR_WRITE},
        {0x200, 0x7FFFFFFFu, 0x80000000u, GRF_ERROR_NOT_ARCHIVE},  // just fits: read, then fails
        {0x103, 0x7FFFFFFFu, 0x80000000u, GRF_ERROR_WRITE},        // enciphered in whole blocks
        {0x300, 0x80000000u, 0x80000000u, GRF_ERROR_NOT_ARCHIVE},  // no limit: read, then fails
    };
    std::vector<std::string> files = ListTree(source.dir.path);
    for (const Case& c : cases) {
        source.archive->entries[0].alignedSize = c.first;
        source.archive->entries[1].alignedSize = c.second;
        g_progressCalls = 0;
        Repacked out(source.archive, source.dir, c.version, 3, CountCalls);
        EXPECT_EQ(out.code, c.code) << c.version << " " << c.first;
        EXPECT_EQ(ListTree(source.dir.path), files);
        if (c.code == GRF_ERROR_WRITE) {
            EXPECT_EQ(g_progressCalls, 0) << "refused at once";
            EXPECT_GT(GrfOutputBytes(source.archive, c.version), uint64_t{0xFFFFFFFFu} + 46);
        }
    }
}

// What a repack will take: exact for 0x1xx, at most the bound of the
// deflated table above it for 0x2xx; local files counted at their size.
TEST(Repack, OutputBytesForeseeWhatIsWritten) {
    ArchiveOnDisk source(BuildArchive(0x102, Contents()));
    source.archive->entries[2].state = GRF_ENTRY_DELETED;
    for (uint32_t version : kVersions) {
        Repacked out(source.archive, source.dir, version);
        ASSERT_EQ(out.result, 0);
        uint64_t foreseen = GrfOutputBytes(source.archive, version);
        if (version < 0x200) {
            EXPECT_EQ(foreseen, out.bytes.size()) << version;
        } else {
            EXPECT_GE(foreseen, out.bytes.size()) << version;
            EXPECT_LE(foreseen, out.bytes.size() + 200) << version;
        }
    }
    TempDir base;
    ASSERT_TRUE(WriteFileBytes(base.Join(L"local.txt"), Bytes(5000, 'x')));
    uint64_t before = GrfOutputBytes(source.archive, 0x103);
    ASSERT_EQ(GrfAddFile(source.archive, base.path.c_str(), L"data\\local.txt"), 0u);
    EXPECT_EQ(GrfOutputBytes(source.archive, 0x103) - before, 5000u + 6 + 16 + 21);
    ASSERT_EQ(GrfAddFile(source.archive, base.path.c_str(), L"data\\absent.txt"), 0u);
    EXPECT_EQ(GrfOutputBytes(source.archive, 0x103) - before, 5000u + 2 * (6 + 16 + 21));
    EXPECT_EQ(GrfOutputBytes(GRF_NO_ARCHIVE, 0x200), 0u);
    EXPECT_EQ(GrfOutputBytes(nullptr, 0x200), 0u);
}

#ifndef _WIN32
// A file size limit makes writes fail part way: in the data, or only once
// the directory goes out. Either is a failed write of the archive.
TEST(Repack, WritesThatFailLateAreReported) {
    ArchiveOnDisk source(BuildArchive(0x200, Contents()));
    uint64_t dataEnd = GRF_HEADER_SIZE;
    for (uint32_t i = 0; i < source.archive->count; ++i)
        dataEnd += source.archive->entries[i].alignedSize;
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    for (uint64_t limit : {dataEnd / 2, dataEnd + 20}) {
        for (uint32_t version : {0x103u, 0x200u}) {
            struct rlimit small = saved;
            small.rlim_cur = limit;
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
            Repacked out(source.archive, source.dir, version);
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
            EXPECT_EQ(out.result, 1) << limit << " " << version;
            EXPECT_EQ(out.code, uint32_t{GRF_ERROR_WRITE}) << limit << " " << version;
            EXPECT_FALSE(FileExists(out.path));
        }
    }
    signal(SIGXFSZ, previous);
}
#endif

TEST(Repack, StoredSizesBeyondTheSourceFile) {
    Stored s = StoreContent(0x200, "data\\x.txt", BytesOf("content"));
    s.record.alignedSize = 1 << 20;
    ArchiveOnDisk source(BuildStoredArchive(0x200, {s}));
    Repacked out(source.archive, source.dir, 0x200);
    EXPECT_EQ(out.code, uint32_t{GRF_ERROR_NOT_ARCHIVE});
}

TEST(Repack, EachRecordCopiesItsOwnBytes) {
    // Two records of one name: each keeps its own stored bytes.
    ArchiveOnDisk source(BuildArchive(0x200, {{"data\\dup.txt", Long(1)},
                                              {"data\\dup.txt", Long(2, 3000), 3},
                                              {"data\\z.txt", BytesOf("z")}}));
    for (uint32_t version : {0x103u, 0x200u}) {
        Repacked out(source.archive, source.dir, version);
        ASSERT_EQ(out.result, 0) << out.code;
        GrfArchive* reopened = out.Reopen();
        ASSERT_EQ(reopened->count, 3u);
        EXPECT_EQ(ContentAt(out.bytes, reopened->entries[0]), Long(1));
        EXPECT_EQ(ContentAt(out.bytes, reopened->entries[1]), Long(2, 3000));
        EXPECT_EQ(ReadContent(reopened, "data\\z.txt").bytes, BytesOf("z"));
    }
}

TEST(Repack, AlignedSizesNotWholeBlocksBecomeWholeBlocksWhenEnciphered) {
    // Real 0x2xx archives round aligned sizes to 4, or keep the compressed
    // size: enciphering for 0x1xx needs the whole last block.
    std::vector<Stored> stored;
    for (int i = 0; i < 16; ++i) {
        Stored s = StoreContent(0x200, "data\\f" + std::to_string(i) + ".txt", Long(i, 40 + i));
        uint32_t c = s.record.compressedSize;
        s.record.alignedSize = i % 2 ? c : (c + 3) / 4 * 4;
        s.bytes.resize(s.record.alignedSize);
        stored.push_back(s);
    }
    ArchiveOnDisk source(BuildStoredArchive(0x200, stored));
    for (uint32_t version : {0x101u, 0x103u, 0x200u}) {
        Repacked out(source.archive, source.dir, version);
        ASSERT_EQ(out.result, 0);
        GrfArchive* reopened = out.Reopen();
        ExpectSameContents(source.archive, reopened, std::to_string(version));
        for (uint32_t i = 0; i < reopened->count && version < 0x200; ++i)
            EXPECT_EQ(reopened->entries[i].alignedSize % 8, 0u);
    }
}

TEST(Repack, LocalFilesAtEveryLevel) {
    TempDir base;
    Bytes text = Long(7, 5000);
    Bytes incompressible = RandomBytes(4 << 20, 8);  // beyond its size + 1024 deflated
    ASSERT_TRUE(MakeDirectory(base.Join(L"texture")));
    ASSERT_TRUE(WriteFileBytes(base.Join(L"texture\\a.bmp"), text));
    ASSERT_TRUE(WriteFileBytes(base.Join(L"b.gnd"), text));
    ASSERT_TRUE(WriteFileBytes(base.Join(L"noise.bin"), incompressible));
    ASSERT_TRUE(WriteFileBytes(base.Join(L"empty.txt"), {}));
    TempDir dir;
    GrfArchive* table = GrfCreate(dir.Join(L"new.grf").c_str());
    for (const wchar_t* name :
         {L"data\\texture\\a.bmp", L"data\\b.gnd", L"data\\noise.bin", L"data\\empty.txt"})
        ASSERT_EQ(GrfAddFile(table, base.path.c_str(), name), 0u);
    for (uint32_t level = 2; level <= 9; ++level) {
        for (uint32_t version : {0x102u, 0x200u}) {
            // The incompressible file once per version is enough.
            table->entries[2].state =
                level == 2 ? GRF_ENTRY_ON_DISK | GRF_ENTRY_NEW : uint8_t{GRF_ENTRY_DELETED};
            Repacked out(table, dir, version, level);
            ASSERT_EQ(out.result, 0) << level << " code " << out.code;
            GrfArchive* reopened = out.Reopen();
            EXPECT_EQ(ReadContent(reopened, "data\\texture\\a.bmp").bytes, text) << level;
            EXPECT_EQ(ReadContent(reopened, "data\\b.gnd").bytes, text) << level;
            EntryRead empty = ReadContent(reopened, "data\\empty.txt");
            EXPECT_TRUE(empty.ok);
            EXPECT_EQ(empty.bytes, Bytes{});
            if (level == 2) {
                EXPECT_EQ(ReadContent(reopened, "data\\noise.bin").bytes, incompressible);
            }
            for (uint32_t i = 0; i < reopened->count; ++i) {
                const GrfEntry& e = reopened->entries[i];
                EXPECT_EQ(e.alignedSize, GrfAlign8(e.compressedSize));
                if (version >= 0x200) {  // the zero fill after the stream
                    EXPECT_EQ(Slice(out.bytes, e.position + e.compressedSize,
                                    e.alignedSize - e.compressedSize),
                              Bytes(e.alignedSize - e.compressedSize, 0));
                }
            }
            if (level == 9) {  // the table itself never changes
                EXPECT_EQ(table->entries[0].compressedSize, 0u);
                EXPECT_EQ(table->entries[0].position, 0u);
            }
        }
    }
    GrfClose(&table);
}

TEST(Repack, LevelChangesOnlyLocalFiles) {
    TempDir base;
    ASSERT_TRUE(WriteFileBytes(base.Join(L"a.txt"), Long(3, 20000)));
    ArchiveOnDisk source(BuildArchive(0x200, Contents()));
    ASSERT_EQ(GrfAddFile(source.archive, base.path.c_str(), L"data\\a.txt"), 0u);
    Repacked fast(source.archive, source.dir, 0x200, 2);
    Repacked again(source.archive, source.dir, 0x200, 2);
    Repacked best(source.archive, source.dir, 0x200, 9);
    EXPECT_EQ(fast.bytes, again.bytes) << "a 0x2xx output depends on the table and level only";
    GrfArchive* a = fast.Reopen();
    GrfArchive* b = best.Reopen();
    for (uint32_t i = 0; i + 1 < a->count; ++i)
        EXPECT_EQ(a->entries[i].compressedSize, b->entries[i].compressedSize);
    EXPECT_NE(a->entries[a->count - 1].compressedSize, b->entries[b->count - 1].compressedSize);
}

TEST(Repack, SettingsTakeOnlyTheirValues) {
    GrfSetVersion(0x103);
    GrfSetCompressionLevel(3);
    for (uint32_t bad : {0x100u, 0x104u, 0x1FFu, 0x202u, 0x2FFu, 0x301u, 0x400u, 0u})
        GrfSetVersion(bad);
    EXPECT_EQ(GrfRepackVersion, 0x103u);
    for (uint32_t bad : {0u, 1u, 10u, 0xFFFFFFFFu}) GrfSetCompressionLevel(bad);
    EXPECT_EQ(GrfRepackLevel, 3u);
    for (uint32_t good : {0x101u, 0x102u, 0x200u, 0x201u, 0x300u}) {
        GrfSetVersion(good);
        EXPECT_EQ(GrfRepackVersion, good);
    }
    GrfSetCompressionLevel(9);
    EXPECT_EQ(GrfRepackLevel, 9u);
    GrfSetCompressionLevel(2);
    EXPECT_EQ(GrfRepackLevel, 2u);
    EXPECT_EQ(GrfAlign8(0), 0u);
    EXPECT_EQ(GrfAlign8(1), 8u);
    EXPECT_EQ(GrfAlign8(8), 8u);
    EXPECT_EQ(GrfAlign8(13), 16u);
    GrfSetVersion(0x103);
    GrfSetCompressionLevel(3);
}

// Real archives read as an independent reader finds them, and come back
// unchanged in content from every version.
TEST(Fixtures, ReadEveryEntry) {
    SKIP_WITHOUT_FIXTURES();
    const char* files[] = {"test102.grf",     "test200.grf",      "ab.grf",
                           "encoding.grf",    "filetypes.grf",    "invalid_filecount.grf",
                           "with-files.grf",  "raglite-test.grf", "missing-map-files.grf",
                           "midgard-test.grf"};
    for (const char* file : files) {
        GrfArchive* archive = GrfOpen(FixturePath(std::string("grf/") + file).c_str(), nullptr);
        ASSERT_NE(archive, GRF_NO_ARCHIVE) << file;
        for (uint32_t i = 0; i < archive->count; ++i) {
            const GrfEntry& e = archive->entries[i];
            // A name that is not valid code page 949 cannot be asked for
            // by its wide form.
            wchar_t* wide = GrfCp949ToWide(e.name);
            char* back = GrfWideToCp949(wide);
            bool reachable = strcmp(back, e.name) == 0;
            PlatformFree(wide);
            PlatformFree(back);
            if (!reachable) continue;
            EntryRead read = ReadContent(archive, e.name);
            if (std::string(e.name) == "corrupted") {
                EXPECT_EQ(read.code, uint32_t{GRF_ERROR_READ});
                continue;
            }
            EXPECT_TRUE(read.ok) << file << " " << e.name << " code " << read.code;
            EXPECT_EQ(read.bytes.size(), e.realSize) << file << " " << e.name;
        }
        GrfClose(&archive);
    }
    GrfArchive* greeting = GrfOpen(FixturePath("grf/midgard-test.grf").c_str(), nullptr);
    EXPECT_EQ(ReadContent(greeting, "data\\test.txt").bytes, BytesOf("Hello, GRF!"));
    GrfClose(&greeting);
    GrfArchive* withFiles = GrfOpen(FixturePath("grf/with-files.grf").c_str(), nullptr);
    uint32_t size = 0;
    auto* raw = static_cast<uint8_t*>(GrfReadEntryRaw(withFiles, "raw", &size));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(ReadContent(withFiles, "raw").bytes, Bytes(raw, raw + size)) << "stored as is";
    GrfFreeBuffer(raw);
    GrfClose(&withFiles);
}

TEST(Fixtures, RoundTripThroughEveryVersion) {
    SKIP_WITHOUT_FIXTURES();
    const char* files[] = {"test102.grf",      "test200.grf",           "ab.grf",
                           "encoding.grf",     "filetypes.grf",         "with-files.grf",
                           "raglite-test.grf", "missing-map-files.grf", "midgard-test.grf"};
    TempDir dir;
    for (const char* file : files) {
        GrfArchive* archive = GrfOpen(FixturePath(std::string("grf/") + file).c_str(), nullptr);
        ASSERT_NE(archive, GRF_NO_ARCHIVE) << file;
        for (uint32_t version : kVersions) {
            Repacked out(archive, dir, version);
            ASSERT_EQ(out.result, 0) << file << " code " << out.code;
            GrfArchive* reopened = out.Reopen();
            ExpectSameContents(archive, reopened,
                               file + std::string(" ") + std::to_string(version));
        }
        GrfClose(&archive);
    }
}

}  // namespace
