// Lookups, reading stored bytes and content, the sizes that are not trusted,
// the code page conversions, directory creation and extraction.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>
#include <string.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

TEST(Read, ContentOfEveryCipherMode) {
    struct Case {
        uint32_t version;
        const char* name;
        uint8_t type;
        int8_t cycle;  // as the archive records it
    } cases[] = {
        {0x200, "data\\plain.txt", 1, -1},     {0x200, "data\\header.txt", 5, 0},
        {0x200, "data\\mixed.txt", 3, 3},      {0x102, "data\\a.gnd", 1, 0},
        {0x102, "data\\noext", 1, 0},          {0x103, "data\\mixed.bmp", 1, 3},
        {0x101, "data\\x.y\\mixed.gat", 1, 3},
    };
    for (const Case& c : cases) {
        Bytes content = Long(c.cycle + 7);
        ArchiveOnDisk disk(BuildArchive(
            c.version, {{"data\\first.txt", BytesOf("first")}, {c.name, content, c.type}}));
        ASSERT_NE(disk.archive, GRF_NO_ARCHIVE);
        const GrfEntry* entry = GrfFindEntry(disk.archive, c.name);
        ASSERT_NE(entry, nullptr) << c.name;
        EXPECT_EQ(entry->cycle, c.cycle) << c.name;
        EntryRead read = ReadContent(disk.archive, c.name);
        EXPECT_TRUE(read.ok) << c.name << " code " << read.code;
        EXPECT_EQ(read.code, uint32_t{GRF_OK});
        EXPECT_EQ(read.bytes, content) << c.name;
    }
}

TEST(Read, RawGivesTheStoredBytes) {
    Stored first = StoreContent(0x200, "data\\a.txt", BytesOf("alpha"));
    Stored second = StoreContent(0x200, "data\\b.txt", Long(3), 3);
    Bytes file = BuildStoredArchive(0x200, {first, second});
    ArchiveOnDisk disk(file);
    uint32_t size = 0;
    auto* raw = static_cast<uint8_t*>(GrfReadEntryRaw(disk.archive, "data\\b.txt", &size));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
    EXPECT_EQ(size, second.record.alignedSize);
    EXPECT_EQ(Bytes(raw, raw + size), second.bytes) << "still enciphered and compressed";
    EXPECT_EQ(Bytes(raw + size, raw + size + 1024), Bytes(1024, 0));
    GrfFreeBuffer(raw);
    void* alpha = GrfReadEntryRaw(disk.archive, "data\\a.txt", nullptr);
    EXPECT_NE(alpha, nullptr) << "size optional";
    GrfFreeBuffer(alpha);
}

TEST(Read, LookupsAndTheirCodes) {
    ArchiveOnDisk disk(BuildArchive(0x200, {{"data\\x.bmp", BytesOf("one")},
                                            {"data\\same.txt", BytesOf("first")},
                                            {"data\\same.txt", BytesOf("second")}}));
    GrfArchive* a = disk.archive;
    EXPECT_EQ(GrfFindEntry(a, "data\\x.bmp"), &a->entries[0]);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
    EXPECT_EQ(GrfFindEntry(a, "DATA\\X.BMP"), nullptr) << "case-sensitive";
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(GrfFindEntry(a, "data\\same.txt"), &a->entries[1]) << "first in table order";
    EXPECT_EQ(ReadContent(a, "data\\same.txt").bytes, BytesOf("first"));

    a->entries[0].state = GRF_ENTRY_DELETED;
    EXPECT_EQ(GrfFindEntry(a, "data\\x.bmp"), &a->entries[0]) << "deleted records are found";
    EXPECT_EQ(ReadContent(a, "data\\x.bmp").bytes, BytesOf("one"));

    GrfArchive* empty = GrfCreate(L"empty.grf");
    // Each failing lookup or read gives null and its code.
    struct Case {
        const char* what;
        std::function<const void*()> call;
        uint32_t code;
    } cases[] = {
        {"content of an absent name", [&] { return GrfReadEntry(a, L"data\\absent.txt", nullptr); },
         GRF_ERROR_NOT_FOUND},
        {"stored bytes of an absent name",
         [&] { return GrfReadEntryRaw(a, "data\\absent.txt", nullptr); }, GRF_ERROR_NOT_FOUND},
        {"lookup in an empty table", [&] { return GrfFindEntry(empty, "data\\x.bmp"); },
         GRF_ERROR_NOT_FOUND},
        {"lookup in no archive", [] { return GrfFindEntry(GRF_NO_ARCHIVE, "x"); },
         GRF_ERROR_HANDLE},
        {"lookup in a null archive", [] { return GrfFindEntry(nullptr, "x"); }, GRF_ERROR_HANDLE},
        {"stored bytes from no archive",
         [] { return GrfReadEntryRaw(GRF_NO_ARCHIVE, "x", nullptr); }, GRF_ERROR_HANDLE},
        {"content from no archive", [] { return GrfReadEntry(GRF_NO_ARCHIVE, L"x", nullptr); },
         GRF_ERROR_HANDLE},
        {"content from a null archive", [] { return GrfReadEntry(nullptr, L"x", nullptr); },
         GRF_ERROR_HANDLE},
    };
    for (const Case& c : cases) {
        GrfLastError = 12345;
        EXPECT_EQ(c.call(), nullptr) << c.what;
        EXPECT_EQ(GrfLastError, c.code) << c.what;
    }
    GrfClose(&empty);
}

TEST(Read, ArchiveFileGoneIsNotFound) {
    ArchiveOnDisk disk(BuildArchive(0x200, {{"data\\a.txt", BytesOf("alpha")}}));
    ASSERT_TRUE(PlatformDeleteFile(disk.path.c_str()));
    EXPECT_FALSE(ReadContent(disk.archive, "data\\a.txt").ok);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
}

// The archive's file changed after opening: every operation that reads it
// refuses with GRF_ERROR_CHANGED instead of reading other bytes. Records
// merged from another archive answer for their own owner's file.
TEST(Read, ArchiveChangedOnDisk) {
    namespace fs = std::filesystem;
    using Change = std::function<void(const std::wstring& path)>;
    auto moveTime = [](const std::wstring& path, std::chrono::seconds by) {
        fs::last_write_time(fs::path(path), fs::last_write_time(fs::path(path)) + by);
    };
    auto rewrite = [](const std::wstring& path, const Bytes& bytes) {
        ASSERT_TRUE(WriteFileBytes(path, bytes));
    };
    Bytes original =
        BuildArchive(0x200, {{"data\\a.txt", BytesOf("alpha")}, {"data\\b.txt", BytesOf("bravo")}});
    Bytes swapped =
        BuildArchive(0x200, {{"data\\a.txt", BytesOf("bravo")}, {"data\\b.txt", BytesOf("alpha")}});
    ASSERT_EQ(swapped.size(), original.size());
    struct Case {
        const char* what;
        Change change;
    } cases[] = {
        {"other bytes of the same size, a later time",
         [&](const std::wstring& path) {
             auto time = fs::last_write_time(fs::path(path));
             rewrite(path, swapped);
             fs::last_write_time(fs::path(path), time + std::chrono::seconds(2));
         }},
        {"grown by a byte", [&](const std::wstring& path) { rewrite(path, Join(original, {0})); }},
        {"time set back",
         [&](const std::wstring& path) { moveTime(path, -std::chrono::seconds(10)); }},
        {"replaced by another file of the same size and time",
         [&](const std::wstring& path) {
             std::wstring copy = path + L".copy";
             rewrite(copy, swapped);
             fs::last_write_time(fs::path(copy), fs::last_write_time(fs::path(path)));
             fs::rename(fs::path(copy), fs::path(path));
         }},
    };
    for (const Case& c : cases) {
        ArchiveOnDisk disk(original);
        ArchiveOnDisk merged(BuildArchive(0x200, {{"data\\c.txt", BytesOf("charlie")}}));
        ASSERT_EQ(GrfMerge(merged.archive, disk.archive), 3u);
        c.change(disk.path);
        CurrentDirScope here(disk.dir.path);
        EXPECT_FALSE(ReadContent(disk.archive, "data\\a.txt").ok) << c.what;
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CHANGED}) << c.what;
        EXPECT_EQ(GrfReadEntryRaw(disk.archive, "data\\a.txt", nullptr), nullptr);
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CHANGED}) << c.what;
        EXPECT_EQ(GrfReadRecord(merged.archive, 1, nullptr), nullptr) << c.what;
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CHANGED}) << c.what;
        EXPECT_EQ(GrfExtractRecord(disk.archive, 0), uint32_t{GRF_ERROR_CHANGED}) << c.what;
        EXPECT_FALSE(FileExists(disk.dir.Join(L"data"))) << c.what;
        EXPECT_EQ(ReadContent(merged.archive, "data\\c.txt").bytes, BytesOf("charlie"))
            << "its own records read as before";
        std::wstring out = disk.dir.Join(L"out.grf");
        EXPECT_EQ(GrfRepack(merged.archive, out.c_str(), nullptr), 1) << c.what;
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CHANGED}) << c.what;
        EXPECT_FALSE(FileExists(out));
    }
}

// The archive keeps its absolute path: a change of the current directory,
// as extraction makes, does not lose its file.
TEST(Read, AbsolutePathSurvivesAChangeOfFolder) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.Join(L"rel.grf"),
                               BuildArchive(0x200, {{"data\\a.txt", BytesOf("alpha")}})));
    GrfArchive* archive = GRF_NO_ARCHIVE;
    {
        CurrentDirScope there(dir.path);
        archive = GrfOpen(L"rel.grf", nullptr);
    }
    ASSERT_NE(archive, GRF_NO_ARCHIVE);
    EXPECT_EQ(std::wstring(archive->path), dir.Join(L"rel.grf"));
    TempDir elsewhere;
    CurrentDirScope here(elsewhere.path);
    EXPECT_EQ(ReadContent(archive, "data\\a.txt").bytes, BytesOf("alpha"));
    EXPECT_EQ(GrfExtractRecord(archive, 0), uint32_t{GRF_OK});
    EXPECT_TRUE(FileExists(elsewhere.Join(L"data\\a.txt")));
    GrfClose(&archive);
}

// Stored bytes as given under a record with the given sizes.
Stored Raw(const Bytes& bytes, uint32_t compressed, uint32_t aligned, uint32_t real,
           uint8_t type = 1) {
    Stored s;
    s.record.name = "data\\x";
    s.record.type = type;
    s.record.compressedSize = compressed;
    s.record.alignedSize = aligned;
    s.record.realSize = real;
    s.bytes = bytes;
    return s;
}

TEST(Read, StoredBytesThatAreNotWhatTheyClaim) {
    Bytes stream = Deflate(BytesOf("hello, world"));  // 12 bytes of content
    uint32_t n = static_cast<uint32_t>(stream.size());
    Bytes padded = stream;
    padded.resize(GrfAlign8(n), 0);
    uint32_t p = static_cast<uint32_t>(padded.size());
    Bytes noise = RandomBytes(40, 9);
    Bytes zlibNoise = Join({0x78, 0x9C}, RandomBytes(38, 9));  // a zlib header, then nothing
    struct Case {
        const char* what;
        Stored stored;
        uint32_t code;
        Bytes content;  // when code is 0
    } cases[] = {
        {"every size zero, no stream at all", Raw({}, 0, 0, 0), GRF_OK, {}},
        {"real size zero, something stored", Raw(noise, 40, 40, 0), GRF_OK, {}},
        {"stored uncompressed", Raw(BytesOf("plain text"), 10, 10, 10), GRF_OK,
         BytesOf("plain text")},
        {"uncompressed, aligned beyond",
         Raw(BytesOf(std::string("plain text\0\0", 12)), 10, 12, 10), GRF_OK,
         BytesOf("plain text")},
        {"a good stream", Raw(padded, n, p, 12), GRF_OK, BytesOf("hello, world")},
        {"noise after a zlib header", Raw(zlibNoise, 40, 40, 100), GRF_ERROR_INFLATE, {}},
        {"inflates to less than the real size", Raw(padded, n, p, 13), GRF_ERROR_INFLATE, {}},
        {"inflates to more than the real size", Raw(padded, n, p, 11), GRF_ERROR_INFLATE, {}},
        {"stream cut short", Raw(padded, n - 3, p, 12), GRF_ERROR_INFLATE, {}},
        {"real size beyond any inflate", Raw(padded, n, p, 0xFFFFFFFF), GRF_ERROR_INFLATE, {}},
        {"compressed size beyond the aligned size", Raw(padded, p + 1, p, 12), GRF_ERROR_READ, {}},
        {"aligned size beyond the file", Raw(padded, n, 0xFFFFFF00, 12), GRF_ERROR_READ, {}},
        {"enciphered, compressed beyond aligned", Raw(padded, p + 9, p, 12, 3), GRF_ERROR_READ, {}},
    };
    for (const Case& c : cases) {
        ArchiveOnDisk disk(BuildStoredArchive(0x200, {c.stored}));
        EntryRead read = ReadContent(disk.archive, "data\\x");
        EXPECT_EQ(read.code, c.code) << c.what;
        EXPECT_EQ(read.ok, c.code == GRF_OK) << c.what;
        if (read.ok) {
            EXPECT_EQ(read.bytes, c.content) << c.what;
        }
    }
}

TEST(Read, PositionBeyondTheFile) {
    Stored s = StoreContent(0x200, "data\\x", BytesOf("content"));
    Bytes file = BuildStoredArchive(0x200, {s});
    // Point the record past the end of the file by rebuilding the directory.
    RawRecord r = s.record;
    r.offset = 0x7FFFFFF0;
    Bytes archive =
        Join(Slice(file, 0, GRF_HEADER_SIZE + s.bytes.size()), BuildV2Directory(BuildV2Table({r})));
    ArchiveOnDisk disk(archive);
    EXPECT_FALSE(ReadContent(disk.archive, "data\\x").ok);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_READ});
    EXPECT_EQ(GrfReadEntryRaw(disk.archive, "data\\x", nullptr), nullptr);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_READ});
}

TEST(Read, CodePageConversions) {
    wchar_t* empty = GrfCp949ToWide("");
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, L"");
    GrfFreeBuffer(empty);

    const wchar_t* korean = L"data\\\uBC30\uACBD1-1.bmp";
    char* narrow = GrfWideToCp949(korean);
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(std::string(narrow), std::string("data\\\xB9\xE8\xB0\xE6"
                                               "1-1.bmp"));
    wchar_t* back = GrfCp949ToWide(narrow);
    EXPECT_STREQ(back, korean);
    GrfFreeBuffer(narrow);
    GrfFreeBuffer(back);

    char* lossy = GrfWideToCp949(L"a\u0E01b");  // Thai: not in code page 949
    EXPECT_STREQ(lossy, "a?b");
    GrfFreeBuffer(lossy);
}

TEST(Read, CreatePathDirectories) {
    TempDir dir;
    CurrentDirScope here(dir.path);
    wchar_t path[] = L"data\\texture\\x.bmp";
    EXPECT_EQ(GrfCreatePathDirectories(path), 1);
    EXPECT_STREQ(path, L"data\\texture\\x.bmp") << "restored";
    EXPECT_TRUE(FileExists(dir.Join(L"data\\texture")));
    EXPECT_FALSE(FileExists(dir.Join(L"data\\texture\\x.bmp"))) << "never the last component";
    EXPECT_EQ(GrfCreatePathDirectories(path), 1) << "existing directories are no failure";

    wchar_t trailing[] = L"a\\b\\";
    EXPECT_EQ(GrfCreatePathDirectories(trailing), 1);
    EXPECT_TRUE(FileExists(dir.Join(L"a\\b")));

    wchar_t single[] = L"plain";
    EXPECT_EQ(GrfCreatePathDirectories(single), 1);
    EXPECT_FALSE(FileExists(dir.Join(L"plain")));
    wchar_t none[] = L"";
    EXPECT_EQ(GrfCreatePathDirectories(none), 1);
}

TEST(Extract, WritesTheTreeUnderTheCurrentDirectory) {
    Bytes content = Long(4);
    ArchiveOnDisk disk(BuildArchive(
        0x103,
        {{"data\\texture\\a.bmp", content}, {"data\\empty.txt", {}}, {"top.txt", BytesOf("top")}}));
    TempDir out;
    CurrentDirScope here(out.path);
    ASSERT_TRUE(MakeDirectory(out.Join(L"data")));
    ASSERT_TRUE(WriteFileBytes(out.Join(L"data\\empty.txt"), BytesOf("old and longer")));
    for (const wchar_t* name : {L"data\\texture\\a.bmp", L"data\\empty.txt", L"top.txt"}) {
        EXPECT_EQ(GrfExtractEntry(disk.archive, name), uint32_t{GRF_OK}) << Narrow(name);
        EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
    }
    Bytes got;
    EXPECT_TRUE(ReadFileBytes(out.Join(L"data\\texture\\a.bmp"), &got));
    EXPECT_EQ(got, content);
    EXPECT_TRUE(ReadFileBytes(out.Join(L"data\\empty.txt"), &got));
    EXPECT_EQ(got, Bytes{}) << "an existing file is replaced";
    EXPECT_TRUE(ReadFileBytes(out.Join(L"top.txt"), &got));
    EXPECT_EQ(got, BytesOf("top"));

    EXPECT_EQ(GrfExtractEntry(disk.archive, L"data\\absent.txt"), uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_FALSE(FileExists(out.Join(L"data\\absent.txt")));
    EXPECT_EQ(GrfExtractEntry(GRF_NO_ARCHIVE, L"data\\a.txt"), uint32_t{GRF_ERROR_HANDLE});
}

TEST(Extract, RefusesNamesThatLeaveTheCurrentDirectory) {
    const char* unsafe[] = {
        "..\\x.txt", "data\\..\\..\\x.txt", "data\\..",  "\\x.txt",
        "/x.txt",    "C:\\x.txt",           "C:x.txt",   "..",
        "...\\x",    ".. \\x.txt",          "data/../x", "\\\\server\\x",
        "",
    };
    std::vector<Content> contents;
    for (const char* name : unsafe) contents.push_back({name, BytesOf("escape")});
    ArchiveOnDisk disk(BuildArchive(0x200, contents));
    TempDir out;
    ASSERT_TRUE(MakeDirectory(out.Join(L"inner")));
    CurrentDirScope here(out.Join(L"inner"));
    for (const char* name : unsafe) {
        std::wstring wide = Widen(name);
        EXPECT_EQ(GrfExtractEntry(disk.archive, wide.c_str()), uint32_t{GRF_ERROR_UNSAFE_NAME})
            << name;
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_UNSAFE_NAME});
    }
    EXPECT_FALSE(FileExists(out.Join(L"x.txt")));
    EXPECT_FALSE(FileExists(out.Join(L"inner\\x.txt")));
}

TEST(Extract, FailedCreationLeavesNothing) {
    ArchiveOnDisk disk(BuildArchive(
        0x200, {{"data\\taken", BytesOf("content")}, {"data\\bad\\x.txt", BytesOf("bad")}}));
    TempDir out;
    CurrentDirScope here(out.path);
    // A folder of that name, and a file where a folder is needed.
    ASSERT_TRUE(MakeDirectory(out.Join(L"data\\taken")));
    ASSERT_TRUE(WriteFileBytes(out.Join(L"data\\bad"), BytesOf("a file")));
    EXPECT_EQ(GrfExtractEntry(disk.archive, L"data\\taken"), uint32_t{GRF_ERROR_OUTPUT});
    EXPECT_EQ(GrfExtractEntry(disk.archive, L"data\\bad\\x.txt"), uint32_t{GRF_ERROR_OUTPUT});
    Bytes got;
    EXPECT_TRUE(ReadFileBytes(out.Join(L"data\\bad"), &got));
    EXPECT_EQ(got, BytesOf("a file"));
}

TEST(Extract, UnreadableDataWritesNoFile) {
    Stored bad;
    bad.record.name = "data\\bad.txt";
    bad.record.compressedSize = 20;
    bad.record.alignedSize = 24;
    bad.record.realSize = 100;
    bad.bytes = Join({0x78, 0x9C}, RandomBytes(22, 5));  // a zlib header, then damage
    ArchiveOnDisk disk(BuildStoredArchive(0x200, {bad}));
    TempDir out;
    CurrentDirScope here(out.path);
    EXPECT_EQ(GrfExtractEntry(disk.archive, L"data\\bad.txt"), uint32_t{GRF_ERROR_INFLATE});
    EXPECT_FALSE(FileExists(out.Join(L"data\\bad.txt")));
}

}  // namespace
