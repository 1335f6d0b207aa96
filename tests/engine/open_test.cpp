// Opening archives of both layouts: the header test, versions, records,
// the early ends, and the directory numbers that are not trusted.
#include <grf.h>
#include <grf_format.h>
#include <gtest/gtest.h>
#include <le_bytes.h>
#include <platform_hooks.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

using namespace grf;

Bytes V1Archive(const std::vector<RawRecord>& records, uint32_t version = 0x103) {
    return Join(BuildHeader(0, 0, 0, version), BuildV1Directory(records));
}

Bytes V2Archive(const Bytes& table, uint32_t countField, uint32_t version = 0x200) {
    return Join(BuildHeader(0, 0, countField, version), BuildV2Directory(table));
}

RawRecord Record(const std::string& name, uint8_t type = 1) {
    RawRecord r;
    r.name = name;
    r.type = type;
    r.compressedSize = 12;
    r.alignedSize = 16;
    r.realSize = 5;
    r.offset = 100;
    return r;
}

// The fields of a record as the table holds them after opening.
struct Fields {
    uint32_t compressedSize;
    uint32_t alignedSize;
    uint32_t realSize;
    uint32_t position;
    uint8_t type;
    uint32_t version;
    int8_t cycle;
};

void ExpectFields(const GrfArchive* archive, uint32_t index, const Fields& want) {
    const GrfEntry& e = archive->entries[index];
    std::string what = e.name;
    EXPECT_EQ(e.owner, archive) << what;
    EXPECT_EQ(e.compressedSize, want.compressedSize) << what;
    EXPECT_EQ(e.alignedSize, want.alignedSize) << what;
    EXPECT_EQ(e.realSize, want.realSize) << what;
    EXPECT_EQ(e.position, want.position) << what;
    EXPECT_EQ(e.type, want.type) << what;
    EXPECT_EQ(e.version, want.version) << what;
    EXPECT_EQ(e.cycle, want.cycle) << what;
    EXPECT_EQ(e.state, GRF_ENTRY_IN_ARCHIVE) << what;
}

TEST(Open, HeaderTextAnywhereBeforeTheFirstZero) {
    struct Case {
        const char* what;
        std::string text;  // written from byte 0, NUL included
        uint32_t code;
    } cases[] = {
        {"magic at byte 0", std::string("Master of Magic", 16), GRF_OK},
        {"magic after other bytes", std::string("xyzMaster of Magic", 19), GRF_OK},
        {"first byte zero", std::string("\0Master of Magic", 17), GRF_ERROR_NOT_ARCHIVE},
        {"magic cut short", std::string("Master of Magi", 15), GRF_ERROR_NOT_ARCHIVE},
    };
    for (const Case& c : cases) {
        Bytes bytes = V2Archive({}, 7);
        memset(bytes.data(), 0x41, kHeaderDirOffset);
        memcpy(bytes.data(), c.text.data(), c.text.size());
        ArchiveOnDisk opened(bytes, kMayFail);
        EXPECT_EQ(opened.code, c.code) << c.what;
    }
}

TEST(Open, FilesThatAreNoArchive) {
    TempDir dir;
    struct Case {
        const char* what;
        std::wstring path;
        const Bytes* bytes;  // written to path first, unless null
        uint32_t code;
    };
    const Bytes empty;
    const Bytes shortHeader = BytesOf(std::string("Master of Magic\0\1\2\3", 19));
    const Case cases[] = {
        {"absent", dir.Join(L"absent.grf"), nullptr, GRF_ERROR_NOT_FOUND},
        {"empty", dir.Join(L"empty.grf"), &empty, GRF_ERROR_NOT_ARCHIVE},
        {"header cut short: missing bytes read as zero", dir.Join(L"short.grf"), &shortHeader,
         GRF_ERROR_VERSION},
        {"path longer than the field", std::wstring(GRF_PATH_SIZE, L'a'), nullptr,
         GRF_ERROR_NOT_FOUND},
    };
    for (const Case& c : cases) {
        if (c.bytes) {
            ASSERT_TRUE(WriteFileBytes(c.path, *c.bytes));
        }
        GrfLastError = 12345;
        EXPECT_EQ(GrfOpen(c.path.c_str(), nullptr), GRF_NO_ARCHIVE) << c.what;
        EXPECT_EQ(GrfLastError, c.code) << c.what;
    }
}

TEST(Open, VersionSelectsTheLayout) {
    std::vector<RawRecord> records = {Record("data\\a.txt")};
    struct Case {
        uint32_t version;
        uint32_t layout;  // the major version whose layout is written
        uint32_t code;
    } cases[] = {
        {0x100, 1, GRF_OK},
        {0x102, 1, GRF_OK},
        {0x1FF, 1, GRF_OK},
        {0x200, 2, GRF_OK},
        {0x2FF, 2, GRF_OK},
        {0x300, 3, GRF_OK},
        {0x0FF, 2, GRF_ERROR_VERSION},
        {0x400, 3, GRF_ERROR_VERSION},
    };
    for (const Case& c : cases) {
        Bytes bytes = c.layout == 1 ? V1Archive(records, c.version)
                      : c.layout == 2
                          ? V2Archive(BuildV2Table(records), 8, c.version)
                          : Join(BuildV3Header(0, 1), BuildV3Directory(BuildV3Table(records)));
        PutLe32(&bytes[kHeaderVersion], c.version);
        ArchiveOnDisk opened(bytes, kMayFail);
        ASSERT_EQ(opened.code, c.code) << std::hex << c.version;
        if (c.code) continue;
        ASSERT_EQ(opened.archive->count, 1u);
        EXPECT_EQ(opened.archive->entries[0].version, c.version);
    }
}

TEST(Open, RecordFieldsOfBothLayouts) {
    RawRecord a = Record("data\\a.txt", 1);
    a.compressedSize = 30;
    a.alignedSize = 32;
    a.realSize = 100;
    a.offset = 0;
    RawRecord b = Record("data\\b.gat", 2);
    b.offset = 32;
    ArchiveOnDisk v1(V1Archive({a, Record("data\\folder", 0), b}, 0x102));
    EXPECT_EQ(NamesOf(v1.archive), (Names{"data\\a.txt", "data\\b.gat"})) << "type 0 skipped";
    ExpectFields(v1.archive, 0, {30, 32, 100, 46, 1, 0x102, 2});  // cycle: digits of 30
    ExpectFields(v1.archive, 1, {12, 16, 5, 78, 2, 0x102, 0});    // .gat: header only
    EXPECT_EQ(v1.archive->entriesSize, 2 * sizeof(GrfEntry));

    RawRecord plain = Record("data\\plain.txt", 1);
    plain.compressedSize = 12345;
    RawRecord mixed = Record("data\\mixed.txt", 3);
    mixed.compressedSize = 12345;
    ArchiveOnDisk v2(
        V2Archive(BuildV2Table({plain, mixed, Record("data\\header.txt", 5)}), 10, 0x201));
    ExpectFields(v2.archive, 0, {12345, 16, 5, 146, 1, 0x201, -1});
    ExpectFields(v2.archive, 1, {12345, 16, 5, 146, 3, 0x201, 5});
    ExpectFields(v2.archive, 2, {12, 16, 5, 146, 5, 0x201, 0});
}

TEST(Open, DirectoryAtTheEndOrBeyondTheFile) {
    struct Case {
        uint32_t version;
        uint32_t dirOffset;
        uint32_t code;
    } cases[] = {
        {0x103, 0, GRF_OK},  // an empty 0x1xx directory
        {0x103, 1, GRF_ERROR_NOT_ARCHIVE},
        {0x103, 1000, GRF_ERROR_NOT_ARCHIVE},
        {0x103, 0x7FFFFFFF, GRF_ERROR_NOT_ARCHIVE},
        {0x103, 0xFFFFFFFF, GRF_ERROR_NOT_ARCHIVE},
        {0x200, 0, GRF_ERROR_NOT_ARCHIVE},  // no room for the sizes
        {0x200, 1, GRF_ERROR_NOT_ARCHIVE},
        {0x200, 1000, GRF_ERROR_NOT_ARCHIVE},
        {0x200, 0x7FFFFFFF, GRF_ERROR_NOT_ARCHIVE},
        {0x200, 0xFFFFFFFF, GRF_ERROR_NOT_ARCHIVE},
    };
    for (const Case& c : cases) {
        ArchiveOnDisk opened(BuildHeader(c.dirOffset, 0, 7, c.version), kMayFail);
        EXPECT_EQ(opened.code, c.code) << std::hex << c.version << " " << c.dirOffset;
        if (opened.ok()) {
            EXPECT_EQ(opened.archive->count, 0u);
            EXPECT_EQ(opened.archive->entries, nullptr);
        }
    }
}

TEST(Open, V1ParseEndsEarlyKeepingTheEntriesBefore) {
    RawRecord first = Record("data\\first.txt");
    struct Case {
        const char* what;
        Bytes tail;        // directory bytes after the first record
        bool more = true;  // a good record follows the tail
    } cases[] = {
        {"name of 108 bytes", BuildV1Directory({Record(std::string(108, 'n'))})},
        {"name of 200 bytes", BuildV1Directory({Record(std::string(200, 'n'))})},
        {"record cut short",
         [] {
             Bytes d = BuildV1Directory({Record("data\\cut.txt")});
             d.resize(d.size() - 1);
             return d;
         }(),
         false},
        {"length below the name start",
         Bytes{5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"length beyond the directory", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}},
        {"name without terminator",
         [] {
             Bytes d = BuildV1Directory({Record("data\\x")});
             // Encode eight nonzero bytes in place of the name's only block.
             Bytes name = BytesOf("abcdefgh");
             GrfCipherName(name.data(), 8, 0);
             memcpy(d.data() + kV1NameStart, name.data(), 8);
             return d;
         }()},
    };
    for (const Case& c : cases) {
        Bytes dir = Join(BuildV1Directory({first}), c.tail);
        if (c.more) dir = Join(dir, BuildV1Directory({Record("data\\after.txt")}));
        ArchiveOnDisk opened(Join(BuildHeader(0, 0, 0, 0x103), dir));
        EXPECT_EQ(NamesOf(opened.archive), Names{"data\\first.txt"}) << c.what;
    }
    // The longest name the field holds is read, as the 0x2xx reader does.
    ArchiveOnDisk longest(V1Archive({Record(std::string(GRF_NAME_MAX, 'n')), first}));
    EXPECT_EQ(NamesOf(longest.archive), (Names{std::string(GRF_NAME_MAX, 'n'), "data\\first.txt"}));
}

// A 0x1xx directory is read through a window of 1 MB: records across its
// edges, a directory of several windows, and a name area larger than the
// window read the same as in one piece, and memory follows the window.
TEST(Open, V1DirectoryLargerThanTheReadWindow) {
    std::vector<RawRecord> records;
    Names names;
    for (int i = 0; i < 40000; ++i) {
        RawRecord r =
            Record("data\\" + std::string(static_cast<size_t>(i % 90), 'x') + std::to_string(i));
        r.realSize = static_cast<uint32_t>(i);
        records.push_back(r);
        names.push_back(r.name);
    }
    Bytes dir = BuildV1Directory(records);
    ASSERT_GT(dir.size(), size_t{3} << 20);
    // A record whose name area holds 3 MB of zeros after its name.
    Bytes huge = BuildV1Directory({Record("data\\huge.txt")});
    uint32_t area = 3 << 20;
    Bytes big(kV1NameStart + area + kV1Tail, 0);
    PutLe32(big.data(), kV1NameStart + area);
    memcpy(big.data() + kV1NameStart, huge.data() + kV1NameStart, 16);
    memcpy(big.data() + kV1NameStart + area, huge.data() + huge.size() - kV1Tail, kV1Tail);
    dir = Join(Join(dir, big), BuildV1Directory({Record("data\\last.txt")}));
    names.push_back("data\\huge.txt");
    names.push_back("data\\last.txt");

    PlatformLargestAllocation();
    ArchiveOnDisk large(Join(BuildHeader(0, 0, 0, 0x103), dir));
    ASSERT_EQ(NamesOf(large.archive), names);
    EXPECT_EQ(large.archive->entries[39999].realSize, 39999u);
    EXPECT_EQ(large.archive->entries[40001].realSize, 5u);
    size_t table = large.archive->capacity * sizeof(GrfEntry);
    EXPECT_LE(PlatformLargestAllocation(), std::max<size_t>(table, size_t{2} << 20))
        << "nothing the size of the directory";
}

TEST(Open, V1NameAreaNotWholeBlocksKeepsTheFieldsAfterIt) {
    // A name area of 10 bytes: one encoded block holding the name, then two
    // more bytes. Decoding must not spill into the size fields behind it.
    Bytes name = BytesOf(std::string("abc.txt", 8));
    GrfCipherName(name.data(), 8, 0);
    Bytes dir = {16, 0, 0, 0, 0, 0};
    dir = Join(dir, name);
    dir = Join(dir, Bytes{0x77, 0x88});
    // The field bytes of a record whose name area is 8 bytes.
    Bytes tail = BuildV1Directory({Record("x")});
    dir = Join(dir, Bytes(tail.end() - kV1Tail, tail.end()));
    ArchiveOnDisk opened(Join(BuildHeader(0, 0, 0, 0x103), dir));
    ASSERT_EQ(NamesOf(opened.archive), Names{"abc.txt"});
    ExpectFields(opened.archive, 0, {12, 16, 5, 146, 1, 0x103, 2});
}

TEST(Open, V2RecordTypesAndEarlyEnds) {
    RawRecord plain = Record("data\\plain.txt", 1);
    RawRecord mixed = Record("data\\mixed.txt", 3);
    RawRecord headerOnly = Record("data\\header.txt", 5);
    struct Case {
        const char* what;
        std::vector<RawRecord> records;
        uint32_t countField;
        Names names;
    } cases[] = {
        {"types 1 3 5 kept, 0 2 4 skipped",
         {plain, Record("data\\folder", 0), Record("data\\two", 2), mixed, Record("data\\four", 4),
          headerOnly},
         6 + kCountBias,
         {"data\\plain.txt", "data\\mixed.txt", "data\\header.txt"}},
        {"third name empty",
         {plain, mixed, Record(""), headerOnly},
         4 + kCountBias,
         {"data\\plain.txt", "data\\mixed.txt"}},
        {"count field beyond the records",
         {plain, mixed},
         1000,
         {"data\\plain.txt", "data\\mixed.txt"}},
        {"count field wraps", {plain}, 1, {"data\\plain.txt"}},
        {"count field below the records",
         {plain, mixed, headerOnly},
         2 + kCountBias,
         {"data\\plain.txt", "data\\mixed.txt"}},
        {"names of 108 bytes skipped, 107 kept",
         {Record(std::string(GRF_NAME_MAX + 1, 'n')), plain,
          Record(std::string(GRF_NAME_MAX, 'm'))},
         3 + kCountBias,
         {"data\\plain.txt", std::string(GRF_NAME_MAX, 'm')}},
    };
    for (const Case& c : cases) {
        ArchiveOnDisk opened(V2Archive(BuildV2Table(c.records), c.countField));
        EXPECT_EQ(NamesOf(opened.archive), c.names) << c.what;
    }
}

TEST(Open, V2TableNumbersAreNotTrusted) {
    Bytes table = BuildV2Table({Record("data\\a.txt")});
    Bytes good = V2Archive(table, 8);
    auto withSizes = [&](uint32_t packed, uint32_t inflated) {
        Bytes bytes = good;
        PutLe32(&bytes[GRF_HEADER_SIZE], packed);
        PutLe32(&bytes[GRF_HEADER_SIZE + 4], inflated);
        return bytes;
    };
    uint32_t packed = static_cast<uint32_t>(good.size() - GRF_HEADER_SIZE - kV2Sizes);
    uint32_t ratio = static_cast<uint32_t>(kMaxInflateRatio);
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t code;
    } cases[] = {
        {"as written", good, GRF_OK},
        {"compressed table beyond the file", withSizes(packed + 1, 36), GRF_ERROR_NOT_ARCHIVE},
        {"inflated size beyond what deflate can give", withSizes(packed, packed * ratio + 1),
         GRF_ERROR_NOT_ARCHIVE},
        {"inflated size at the limit", withSizes(packed, packed * ratio), GRF_OK},
        {"no room for the sizes", Slice(good, 0, GRF_HEADER_SIZE + 4), GRF_ERROR_NOT_ARCHIVE},
    };
    for (const Case& c : cases) {
        ArchiveOnDisk opened(c.bytes, kMayFail);
        EXPECT_EQ(opened.code, c.code) << c.what;
    }
}

TEST(Open, V2DirectoryBeforeEntryDataOpens) {
    Bytes dir = BuildV2Directory(BuildV2Table({Record("data\\a.txt")}));
    Bytes bytes = Join(BuildHeader(0, 0, 8, 0x200), dir);
    ArchiveOnDisk opened(Join(bytes, Bytes(500, 0xEE)));
    EXPECT_EQ(NamesOf(opened.archive), Names{"data\\a.txt"});
}

TEST(Open, V2TableThatDoesNotInflateKeepsWhatDid) {
    std::vector<RawRecord> records;
    for (int i = 0; i < 2000; ++i)
        records.push_back(Record("data\\n" + std::to_string(i * 7919) + ".txt"));
    Bytes table = BuildV2Table(records);
    Bytes packed = Deflate(table, 9);
    packed.resize(packed.size() / 2);
    Bytes sizes(kV2Sizes);
    PutLe32(&sizes[0], static_cast<uint32_t>(packed.size()));
    PutLe32(&sizes[4], static_cast<uint32_t>(table.size()));
    ArchiveOnDisk opened(Join(Join(BuildHeader(0, 0, 2000 + kCountBias, 0x200), sizes), packed));
    Names names = NamesOf(opened.archive);
    EXPECT_GT(names.size(), 0u);
    EXPECT_LT(names.size(), 2000u);
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], records[i].name);
}

using ProgressCalls = std::vector<std::vector<uint32_t>>;
ProgressCalls g_progressCalls;

int32_t RecordProgress(GrfEntry* entry, uint32_t index, uint32_t total) {
    EXPECT_EQ(entry, nullptr);
    g_progressCalls.push_back({index, total});
    return 1;  // ignored while opening
}

TEST(Open, ProgressOncePerRecordExamined) {
    struct Case {
        const char* what;
        Bytes bytes;
        ProgressCalls calls;  // (entries kept so far, entries expected)
    } cases[] = {
        {"0x1xx, a folder between",
         V1Archive({Record("a.txt"), Record("folder", 0), Record("b.txt")}),
         {{0, 2}, {1, 2}, {1, 2}}},
        {"0x2xx, a folder and a type 2 between",
         V2Archive(BuildV2Table(
                       {Record("a.txt"), Record("folder", 0), Record("b.txt", 2), Record("c.txt")}),
                   4 + kCountBias),
         {{0, 2}, {1, 2}, {1, 2}, {1, 2}}},
    };
    for (const Case& c : cases) {
        g_progressCalls.clear();
        ArchiveOnDisk opened(c.bytes, kMustOpen, RecordProgress);
        EXPECT_EQ(NamesOf(opened.archive).size(), 2u) << c.what;
        EXPECT_EQ(g_progressCalls, c.calls) << c.what;
    }
}

// What a watched open showed: each call's (filled, expected) and the names
// of the records it showed, read during the call.
struct Watched {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    std::vector<std::string> shown;  // the records of the last call with any
    int32_t stopAt = -1;             // stop at this call
};

int32_t Watch(void* context, const GrfEntry* entries, uint32_t filled, uint32_t expected) {
    auto* watched = static_cast<Watched*>(context);
    watched->calls.push_back({filled, expected});
    if (entries) {
        watched->shown.clear();
        for (uint32_t i = 0; i < filled; ++i) watched->shown.push_back(entries[i].name);
    }
    return int32_t(watched->calls.size()) - 1 == watched->stopAt;
}

TEST(Open, WatchedOpenShowsTheTableAsReadAndStops) {
    TempDir dir;
    std::vector<RawRecord> records = {Record("a.txt"), Record("folder", 0), Record("b.txt"),
                                      Record("c.txt")};
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"0x1xx", V1Archive(records)},
        {"0x2xx", V2Archive(BuildV2Table(records), 4 + kCountBias)},
    };
    for (const Case& c : cases) {
        std::wstring path = dir.Join(L"watched.grf");
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        Watched watched;
        uint32_t code = 99;
        GrfArchive* archive = GrfOpenWatched(path.c_str(), Watch, &watched, &code);
        ASSERT_NE(archive, GRF_NO_ARCHIVE) << c.what;
        EXPECT_EQ(code, uint32_t{GRF_OK}) << c.what;
        EXPECT_EQ(archive->count, 3u) << c.what;
        ASSERT_FALSE(watched.calls.empty()) << c.what;
        EXPECT_EQ(watched.calls.back().second, 3u) << c.what;
        EXPECT_EQ(watched.shown, (std::vector<std::string>{"a.txt", "b.txt"})) << c.what;
        GrfClose(&archive);

        // Stopped at the third call: the table is let go (a last call with
        // nothing), and the open fails as cancelled.
        Watched stopped;
        stopped.stopAt = 2;
        GrfLastError = 0;
        archive = GrfOpenWatched(path.c_str(), Watch, &stopped, &code);
        EXPECT_EQ(archive, GRF_NO_ARCHIVE) << c.what;
        EXPECT_EQ(code, uint32_t{GRF_ERROR_CANCELLED}) << c.what;
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CANCELLED}) << c.what;
        ASSERT_EQ(stopped.calls.size(), 4u) << c.what;
        EXPECT_EQ(stopped.calls.back(), std::make_pair(0u, 0u)) << c.what;
    }
    Watched none;
    uint32_t code = 0;
    EXPECT_EQ(GrfOpenWatched(dir.Join(L"missing.grf").c_str(), Watch, &none, &code),
              GRF_NO_ARCHIVE);
    EXPECT_EQ(code, uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_TRUE(none.calls.empty()) << "no table, nothing to let go";
}

TEST(Open, V2SendsOneDebugLine) {
    ArchiveOnDisk opened(V2Archive(
        BuildV2Table({Record("a.txt"), Record("folder", 0), Record("b.txt")}), 3 + kCountBias));
    EXPECT_STREQ(PlatformLastDebugLine(), L"V2 dirent parse: 1 out of 3\n");
}

TEST(Open, CreateAndClose) {
    TempDir dir;
    CurrentDirScope here(dir.path);
    GrfArchive* archive = GrfCreate(L"output.grf");
    ASSERT_NE(archive, GRF_NO_ARCHIVE);
    EXPECT_EQ(std::wstring(archive->path), dir.Join(L"output.grf")) << "kept absolute";
    EXPECT_EQ(archive->count, 0u);
    EXPECT_EQ(archive->entries, nullptr);
    for (uint8_t b : archive->header) EXPECT_EQ(b, 0);
    GrfLastError = 77;
    EXPECT_EQ(GrfClose(&archive), 0);
    EXPECT_EQ(archive, GRF_NO_ARCHIVE);
    EXPECT_EQ(GrfClose(&archive), 1);
    EXPECT_EQ(GrfGetLastError(), 77u) << "GrfClose never touches the code";
}

TEST(CycleRules, FromNameAndFromType) {
    struct NameCase {
        const char* name;
        uint32_t compressedSize;
        int8_t cycle;
    } names[] = {
        {"data\\a.gnd", 12345, 0},
        {"data\\a.gat", 12345, 0},
        {"data\\a.act", 1, 0},
        {"data\\a.str", 1, 0},
        {"data\\a.GND", 12345, 5},
        {"data\\x.y\\a.gnd", 12345, 5},
        {"data\\noext", 12345, 0},
        {"data\\a.bmp", 0, 1},
        {"data\\a.bmp", 9, 1},
        {"data\\a.bmp", 10, 2},
        {"data\\a.bmp", 999999999, 9},
        {"data\\a.bmp", 1000000000, 10},
        {"data\\a.bmp", 4294967295u, 10},
        {"data\\a.gnd.bak", 100, 3},
    };
    for (const NameCase& c : names)
        EXPECT_EQ(GrfCycleFromName(c.name, c.compressedSize), c.cycle)
            << c.name << " " << c.compressedSize;

    struct TypeCase {
        uint8_t type;
        uint32_t compressedSize;
        int8_t cycle;
    } types[] = {
        {1, 12345, -1}, {3, 12345, 5}, {3, 0, 1}, {5, 12345, 0}, {0, 12345, -1}, {2, 12345, -1},
    };
    for (const TypeCase& c : types)
        EXPECT_EQ(GrfCycleFromType(c.type, c.compressedSize), c.cycle)
            << int{c.type} << " " << c.compressedSize;
}

}  // namespace
