// Opening archives of both layouts: the header test, versions, records,
// the early ends, and the directory numbers that are not trusted.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>
#include <platform_hooks.h>
#include <string.h>

#include <string>
#include <vector>

#include "grf_builder.h"
#include "test_support.h"

namespace {

// Opens bytes written to a file; closes the archive at the end of scope.
struct Opened {
    Opened(const Bytes& bytes, GrfProgressCallback progress = nullptr) {
        std::wstring path = dir.Join(L"archive.grf");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        GrfLastError = 12345;
        archive = GrfOpen(path.c_str(), progress);
        code = GrfLastError;
    }
    ~Opened() { GrfClose(&archive); }
    bool ok() const { return archive != GRF_NO_ARCHIVE; }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (uint32_t i = 0; ok() && i < archive->count; ++i)
            out.push_back(archive->entries[i].name);
        return out;
    }
    TempDir dir;
    GrfArchive* archive = GRF_NO_ARCHIVE;
    uint32_t code = 0;
};

using Names = std::vector<std::string>;

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes V1Archive(const std::vector<RawRecord>& records, uint32_t version = 0x103) {
    return Concat(BuildHeader(0, 0, 0, version), BuildV1Directory(records));
}

Bytes V2Archive(const Bytes& table, uint32_t countField, uint32_t version = 0x200) {
    return Concat(BuildHeader(0, 0, countField, version), BuildV2Directory(table));
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
        memset(bytes.data(), 0x41, 30);
        memcpy(bytes.data(), c.text.data(), c.text.size());
        Opened opened(bytes);
        EXPECT_EQ(opened.ok(), c.code == GRF_OK) << c.what;
        if (c.code) {
            EXPECT_EQ(opened.code, c.code) << c.what;
        }
    }
}

TEST(Open, FilesThatAreNoArchive) {
    Opened missing(Bytes{});
    GrfLastError = 0;
    std::wstring absent = missing.dir.Join(L"absent.grf");
    EXPECT_EQ(GrfOpen(absent.c_str(), nullptr), GRF_NO_ARCHIVE);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});

    Opened empty(Bytes{});
    EXPECT_EQ(empty.code, uint32_t{GRF_ERROR_NOT_ARCHIVE});

    Opened shortHeader(BytesOf(std::string("Master of Magic\0\1\2\3", 19)));
    EXPECT_EQ(shortHeader.code, uint32_t{GRF_ERROR_VERSION}) << "missing bytes read as zero";

    std::wstring longPath(GRF_PATH_SIZE, L'a');
    EXPECT_EQ(GrfOpen(longPath.c_str(), nullptr), GRF_NO_ARCHIVE);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
}

TEST(Open, VersionSelectsTheLayout) {
    std::vector<RawRecord> records = {Record("data\\a.txt")};
    struct Case {
        uint32_t version;
        bool v1Layout;
        uint32_t code;
    } cases[] = {
        {0x100, true, GRF_OK},
        {0x102, true, GRF_OK},
        {0x1FF, true, GRF_OK},
        {0x200, false, GRF_OK},
        {0x2FF, false, GRF_OK},
        {0x0FF, false, GRF_ERROR_VERSION},
        {0x300, false, GRF_ERROR_VERSION},
    };
    for (const Case& c : cases) {
        Bytes bytes = c.v1Layout ? V1Archive(records, c.version)
                                 : V2Archive(BuildV2Table(records), 8, c.version);
        Opened opened(bytes);
        if (c.code) {
            EXPECT_EQ(opened.code, c.code) << std::hex << c.version;
            continue;
        }
        ASSERT_TRUE(opened.ok()) << std::hex << c.version << " code " << opened.code;
        ASSERT_EQ(opened.archive->count, 1u);
        EXPECT_EQ(opened.archive->entries[0].version, c.version);
    }
}

TEST(Open, V1RecordFieldsAndTypes) {
    RawRecord a = Record("data\\a.txt", 1);
    a.compressedSize = 30;
    a.alignedSize = 32;
    a.realSize = 100;
    a.offset = 0;
    RawRecord folder = Record("data\\folder", 0);
    RawRecord b = Record("data\\b.gat", 2);
    b.offset = 32;
    Opened opened(V1Archive({a, folder, b}, 0x102));
    ASSERT_TRUE(opened.ok()) << opened.code;
    EXPECT_EQ(opened.names(), (Names{"data\\a.txt", "data\\b.gat"}));
    const GrfEntry& e = opened.archive->entries[0];
    EXPECT_EQ(e.owner, opened.archive);
    EXPECT_EQ(e.compressedSize, 30u);
    EXPECT_EQ(e.alignedSize, 32u);
    EXPECT_EQ(e.realSize, 100u);
    EXPECT_EQ(e.position, 46u);
    EXPECT_EQ(e.type, 1);
    EXPECT_EQ(e.version, 0x102u);
    EXPECT_EQ(e.cycle, 2) << "digits of 30";
    EXPECT_EQ(e.state, ENTRY_IN_ARCHIVE);
    EXPECT_EQ(opened.archive->entries[1].type, 2);
    EXPECT_EQ(opened.archive->entries[1].position, 78u);
    EXPECT_EQ(opened.archive->entries[1].cycle, 0) << ".gat";
    EXPECT_EQ(opened.archive->entriesSize, 2 * sizeof(GrfEntry));
}

TEST(Open, V1DirectoryAtTheEndOfTheFileIsEmpty) {
    Opened opened(BuildHeader(0, 0, 7, 0x103));
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened.archive->count, 0u);
    EXPECT_EQ(opened.archive->entries, nullptr);
}

TEST(Open, DirectoryBeyondTheFileIsUnreachable) {
    for (uint32_t version : {0x103u, 0x200u}) {
        for (uint32_t dirOffset : {1u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
            Bytes bytes = BuildHeader(dirOffset, 0, 7, version);
            Opened opened(bytes);
            EXPECT_EQ(opened.code, uint32_t{GRF_ERROR_NOT_ARCHIVE})
                << std::hex << version << " " << dirOffset;
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
        {"name of 107 bytes", BuildV1Directory({Record(std::string(107, 'n'))})},
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
             RawRecord r = Record("data\\x");
             Bytes d = BuildV1Directory({r});
             // Encode eight nonzero bytes in place of the name's only block.
             Bytes name = BytesOf("abcdefgh");
             GrfCipherName(name.data(), 8, 0);
             memcpy(d.data() + 6, name.data(), 8);
             return d;
         }()},
    };
    for (const Case& c : cases) {
        Bytes dir = Concat(BuildV1Directory({first}), c.tail);
        if (c.more) dir = Concat(dir, BuildV1Directory({Record("data\\after.txt")}));
        Opened opened(Concat(BuildHeader(0, 0, 0, 0x103), dir));
        ASSERT_TRUE(opened.ok()) << c.what;
        EXPECT_EQ(opened.names(), Names{"data\\first.txt"}) << c.what;
    }
    Opened longest(V1Archive({Record(std::string(106, 'n')), first}));
    EXPECT_EQ(longest.names().size(), 2u) << "a name of 106 bytes fits";
}

TEST(Open, V1NameAreaNotWholeBlocksKeepsTheFieldsAfterIt) {
    // A name area of 10 bytes: one encoded block holding the name, then two
    // more bytes. Decoding must not spill into the size fields behind it.
    Bytes name = BytesOf(std::string("abc.txt", 8));
    GrfCipherName(name.data(), 8, 0);
    Bytes dir = {16, 0, 0, 0, 0, 0};
    dir = Concat(dir, name);
    dir = Concat(dir, Bytes{0x77, 0x88});
    RawRecord fields = Record("x");
    Bytes tail = BuildV1Directory({fields});
    // The 21 field bytes of a record whose name area is 8 bytes.
    dir = Concat(dir, Bytes(tail.end() - 21, tail.end()));
    Opened opened(Concat(BuildHeader(0, 0, 0, 0x103), dir));
    ASSERT_TRUE(opened.ok());
    ASSERT_EQ(opened.names(), Names{"abc.txt"});
    EXPECT_EQ(opened.archive->entries[0].compressedSize, 12u);
    EXPECT_EQ(opened.archive->entries[0].alignedSize, 16u);
    EXPECT_EQ(opened.archive->entries[0].realSize, 5u);
    EXPECT_EQ(opened.archive->entries[0].position, 146u);
}

TEST(Open, V2RecordFieldsTypesAndEarlyEnds) {
    RawRecord plain = Record("data\\plain.txt", 1);
    plain.compressedSize = 12345;
    RawRecord mixed = Record("data\\mixed.txt", 3);
    mixed.compressedSize = 12345;
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
         6 + 7,
         {"data\\plain.txt", "data\\mixed.txt", "data\\header.txt"}},
        {"third name empty",
         {plain, mixed, Record(""), headerOnly},
         4 + 7,
         {"data\\plain.txt", "data\\mixed.txt"}},
        {"count field beyond the records",
         {plain, mixed},
         1000,
         {"data\\plain.txt", "data\\mixed.txt"}},
        {"count field wraps", {plain}, 1, {"data\\plain.txt"}},
        {"count field below the records",
         {plain, mixed, headerOnly},
         2 + 7,
         {"data\\plain.txt", "data\\mixed.txt"}},
        {"names of 108 bytes skipped, 107 kept",
         {Record(std::string(108, 'n')), plain, Record(std::string(107, 'm'))},
         3 + 7,
         {"data\\plain.txt", std::string(107, 'm')}},
    };
    for (const Case& c : cases) {
        Opened opened(V2Archive(BuildV2Table(c.records), c.countField));
        ASSERT_TRUE(opened.ok()) << c.what << " code " << opened.code;
        EXPECT_EQ(opened.names(), c.names) << c.what;
    }

    Opened opened(V2Archive(BuildV2Table({plain, mixed, headerOnly}), 10, 0x201));
    ASSERT_TRUE(opened.ok());
    const GrfEntry* e = opened.archive->entries;
    EXPECT_EQ(e[0].compressedSize, 12345u);
    EXPECT_EQ(e[0].alignedSize, 16u);
    EXPECT_EQ(e[0].realSize, 5u);
    EXPECT_EQ(e[0].position, 146u);
    EXPECT_EQ(e[0].version, 0x201u);
    EXPECT_EQ(e[0].state, ENTRY_IN_ARCHIVE);
    EXPECT_EQ(e[0].cycle, -1);
    EXPECT_EQ(e[1].cycle, 5);
    EXPECT_EQ(e[2].cycle, 0);
    EXPECT_EQ(e[2].type, 5);
}

TEST(Open, V2TableNumbersAreNotTrusted) {
    Bytes table = BuildV2Table({Record("data\\a.txt")});
    Bytes good = V2Archive(table, 8);
    auto withSizes = [&](uint32_t packed, uint32_t inflated) {
        Bytes bytes = good;
        for (int i = 0; i < 4; ++i) {
            bytes[46 + i] = static_cast<uint8_t>(packed >> (8 * i));
            bytes[50 + i] = static_cast<uint8_t>(inflated >> (8 * i));
        }
        return bytes;
    };
    uint32_t packed = static_cast<uint32_t>(good.size() - 54);
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t code;
    } cases[] = {
        {"as written", good, GRF_OK},
        {"compressed table beyond the file", withSizes(packed + 1, 36), GRF_ERROR_NOT_ARCHIVE},
        {"inflated size beyond what deflate can give", withSizes(packed, packed * 1032 + 1),
         GRF_ERROR_NOT_ARCHIVE},
        {"inflated size at the limit", withSizes(packed, packed * 1032), GRF_OK},
        {"no room for the sizes", Bytes(good.begin(), good.begin() + 50), GRF_ERROR_NOT_ARCHIVE},
    };
    for (const Case& c : cases) {
        Opened opened(c.bytes);
        EXPECT_EQ(opened.ok() ? 0 : opened.code, c.code) << c.what;
    }
}

TEST(Open, V2DirectoryBeforeEntryDataOpens) {
    Bytes dir = BuildV2Directory(BuildV2Table({Record("data\\a.txt")}));
    Bytes bytes = Concat(BuildHeader(0, 0, 8, 0x200), dir);
    bytes = Concat(bytes, Bytes(500, 0xEE));
    Opened opened(bytes);
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened.names(), Names{"data\\a.txt"});
}

TEST(Open, V2TableThatDoesNotInflateKeepsWhatDid) {
    std::vector<RawRecord> records;
    for (int i = 0; i < 2000; ++i)
        records.push_back(Record("data\\n" + std::to_string(i * 7919) + ".txt"));
    Bytes table = BuildV2Table(records);
    Bytes packed = Deflate(table, 9);
    packed.resize(packed.size() / 2);
    Bytes bytes = BuildHeader(0, 0, 2007, 0x200);
    for (uint32_t v : {static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(table.size())})
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    bytes = Concat(bytes, packed);
    Opened opened(bytes);
    ASSERT_TRUE(opened.ok()) << opened.code;
    Names names = opened.names();
    EXPECT_GT(names.size(), 0u);
    EXPECT_LT(names.size(), 2000u);
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], records[i].name);
}

std::vector<std::vector<uint32_t>> g_progressCalls;

int32_t RecordProgress(GrfEntry* entry, uint32_t index, uint32_t total) {
    EXPECT_EQ(entry, nullptr);
    g_progressCalls.push_back({index, total});
    return 1;  // ignored while opening
}

TEST(Open, ProgressOncePerRecordExamined) {
    g_progressCalls.clear();
    Opened v1(V1Archive({Record("a.txt"), Record("folder", 0), Record("b.txt")}), RecordProgress);
    EXPECT_EQ(v1.names().size(), 2u);
    EXPECT_EQ(g_progressCalls, (std::vector<std::vector<uint32_t>>{{0, 2}, {1, 2}, {1, 2}}));

    g_progressCalls.clear();
    Opened v2(V2Archive(BuildV2Table({Record("a.txt"), Record("folder", 0), Record("b.txt", 2),
                                      Record("c.txt")}),
                        11),
              RecordProgress);
    EXPECT_EQ(v2.names().size(), 2u);
    EXPECT_EQ(g_progressCalls,
              (std::vector<std::vector<uint32_t>>{{0, 3}, {1, 3}, {1, 3}, {1, 3}}));
}

TEST(Open, V2SendsOneDebugLine) {
    Opened opened(
        V2Archive(BuildV2Table({Record("a.txt"), Record("folder", 0), Record("b.txt")}), 10));
    ASSERT_TRUE(opened.ok());
    EXPECT_STREQ(PlatformLastDebugLine(), L"V2 dirent parse: 1 out of 3\n");
}

TEST(Open, CreateAndClose) {
    GrfArchive* archive = GrfCreate(L"output.grf");
    ASSERT_NE(archive, GRF_NO_ARCHIVE);
    EXPECT_STREQ(archive->path, L"output.grf");
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

    EXPECT_EQ(GrfCycleFromType(1, 12345), -1);
    EXPECT_EQ(GrfCycleFromType(3, 12345), 5);
    EXPECT_EQ(GrfCycleFromType(3, 0), 1);
    EXPECT_EQ(GrfCycleFromType(5, 12345), 0);
    EXPECT_EQ(GrfCycleFromType(0, 12345), -1);
    EXPECT_EQ(GrfCycleFromType(2, 12345), -1);
}

}  // namespace
