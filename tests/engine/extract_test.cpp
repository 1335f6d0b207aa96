// Extraction that loses nothing and writes nowhere else: links in the
// target folder, failures that keep the file being replaced, the names
// Windows would change, runs that never replace their own files, records
// whose names do not convert, and content inflated to the file in pieces.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>
#include <platform_hooks.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/mount.h>
#endif

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

using Listing = std::vector<std::string>;

// The index of the first record named name.
uint32_t IndexOf(const GrfArchive* archive, const char* name) {
    for (uint32_t i = 0; i < archive->count; ++i)
        if (strcmp(archive->entries[i].name, name) == 0) return i;
    ADD_FAILURE() << "no record " << name;
    return 0;
}

Bytes FileBytes(const std::wstring& path) {
    Bytes bytes;
    EXPECT_TRUE(ReadFileBytes(path, &bytes)) << Narrow(path);
    return bytes;
}

std::wstring Made(const std::wstring& folder) {
    EXPECT_TRUE(MakeDirectory(folder)) << Narrow(folder);
    return folder;
}

// A target folder beside a folder outside it, both in a fresh folder; the
// current directory is the target while the value lives.
struct Target {
    std::wstring In(const std::wstring& name) const { return root.Join(L"target\\" + name); }
    std::wstring Outside(const std::wstring& name) const { return root.Join(L"outside\\" + name); }
    TempDir root;
    std::wstring outside = Made(root.Join(L"outside"));
    CurrentDirScope here{Made(root.Join(L"target"))};
};

// What extraction makes of a link in the file's place: POSIX replaces it;
// Windows refuses what it reports as a reparse point (Wine reports only
// links to folders so) and replaces the rest.
uint32_t RefusedInPlace(const std::wstring& link) {
    return kWindows && IsReportedAsLink(link) ? GRF_ERROR_UNSAFE_NAME : GRF_OK;
}

// Runs check with output files written unnamed where the system has them
// (linked by descriptor, then through /proc as where that needs a
// privilege), and named, as on a file system without them.
void ForEachOutputKind(void (*check)()) {
    struct Kind {
        const char* name;
        bool named;
        bool linkedThroughProc;
    };
    const Kind kinds[] = {
        {"unnamed output files where there are any", false, false},
        {"unnamed output files linked through /proc", false, true},
        {"named output files", true, false},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        PlatformFailAfter(kPlatformFaultUnnamed, kind.named ? 0 : -1);
        PlatformFailAfter(kPlatformFaultLinkDescriptor, kind.linkedThroughProc ? 0 : -1);
        check();
        PlatformFailAfter(kPlatformFaultUnnamed, -1);
        PlatformFailAfter(kPlatformFaultLinkDescriptor, -1);
    }
}

// Links already in the target folder: extraction never follows them. A
// link to a folder refuses the name; a link or hard link in the file's
// place is replaced, never written through.
void NeverWritesThroughLinks() {
    ArchiveOnDisk disk(BuildArchive(0x200, {{"data\\x.txt", BytesOf("x")},
                                            {"data\\sub\\y.txt", BytesOf("y")},
                                            {"v.txt", BytesOf("v")},
                                            {"d.txt", BytesOf("d")},
                                            {"h.txt", BytesOf("h")}}));
    Target t;
    ASSERT_TRUE(WriteFileBytes(t.Outside(L"victim"), BytesOf("victim")));
    ASSERT_TRUE(WriteFileBytes(t.Outside(L"hard"), BytesOf("hard")));
    if (!MakeSymbolicLink(t.In(L"data"), "../outside", true) ||
        !MakeSymbolicLink(t.In(L"v.txt"), "../outside/victim", false) ||
        !MakeSymbolicLink(t.In(L"d.txt"), "../outside/new", false))
        GTEST_SKIP() << "this system or account cannot make symbolic links; skipped";
    ASSERT_TRUE(MakeHardLink(t.In(L"h.txt"), t.Outside(L"hard")));
    Listing outside = ListTree(t.root.Join(L"outside"));

    struct Case {
        const char* name;
        uint32_t code;
        const char* content;  // of the file written in its place
    } cases[] = {
        {"data\\x.txt", GRF_ERROR_UNSAFE_NAME, nullptr},
        {"data\\sub\\y.txt", GRF_ERROR_UNSAFE_NAME, nullptr},
        {"v.txt", RefusedInPlace(t.In(L"v.txt")), "v"},
        {"d.txt", RefusedInPlace(t.In(L"d.txt")), "d"},
        {"h.txt", GRF_OK, "h"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GrfExtractRecord(disk.archive, IndexOf(disk.archive, c.name)), c.code) << c.name;
        std::wstring wide = Widen(c.name);
        EXPECT_EQ(GrfExtractEntry(disk.archive, wide.c_str()), c.code) << c.name << " by name";
        if (c.code == GRF_OK) {
            EXPECT_FALSE(IsReportedAsLink(t.In(wide))) << c.name;
            EXPECT_EQ(FileBytes(t.In(wide)), BytesOf(c.content)) << c.name;
        }
    }
    EXPECT_EQ(ListTree(t.root.Join(L"outside")), outside) << "nothing made or changed outside";
    EXPECT_EQ(FileBytes(t.Outside(L"victim")), BytesOf("victim"));
    EXPECT_EQ(FileBytes(t.Outside(L"hard")), BytesOf("hard"));
    EXPECT_TRUE(IsReportedAsLink(t.In(L"data"))) << "a refused link stays as it was";
}

TEST(ExtractSafely, NeverWritesThroughLinksInTheTarget) {
    ForEachOutputKind(NeverWritesThroughLinks);
}

// Each failure part way leaves the file being replaced as it was, makes no
// folder and leaves no temporary file.
void FailuresKeepOldFiles() {
    Stored bad;
    bad.record.name = "data\\bad.txt";
    bad.record.compressedSize = 20;
    bad.record.alignedSize = 24;
    bad.record.realSize = 100;
    bad.bytes = Join({0x78, 0x9C}, RandomBytes(22, 5));  // a zlib header, then damage
    // Just too large to read whole: inflated in pieces.
    Bytes big = Join(RandomBytes(1 << 20, 7), Bytes(63 << 20, 'b'));
    big.push_back('e');
    ArchiveOnDisk disk(
        BuildStoredArchive(0x200, {bad, StoreContent(0x200, "data\\old.txt", big),
                                   StoreContent(0x200, "fresh\\deep\\new.txt", BytesOf("new"))}));
    struct Case {
        const char* what;
        const char* name;
        int32_t writesBeforeFailure;  // -1: no write fails
        uint32_t code;
    } cases[] = {
        {"content that does not inflate", "data\\bad.txt", -1, GRF_ERROR_INFLATE},
        {"the first write fails", "data\\old.txt", 0, GRF_ERROR_OUTPUT},
        {"a later write fails", "data\\old.txt", 2, GRF_ERROR_OUTPUT},
        {"new folders, then the write fails", "fresh\\deep\\new.txt", 0, GRF_ERROR_OUTPUT},
    };
    for (const Case& c : cases) {
        Target t;
        ASSERT_TRUE(MakeDirectory(t.In(L"data")));
        ASSERT_TRUE(WriteFileBytes(t.In(L"data\\bad.txt"), BytesOf("old bad")));
        ASSERT_TRUE(WriteFileBytes(t.In(L"data\\old.txt"), BytesOf("old")));
        Listing before = ListTree(t.root.path);
        PlatformFailAfter(kPlatformFaultWrite, c.writesBeforeFailure);
        uint32_t code = GrfExtractRecord(disk.archive, IndexOf(disk.archive, c.name));
        PlatformFailAfter(kPlatformFaultWrite, -1);
        EXPECT_EQ(code, c.code) << c.what;
        EXPECT_EQ(ListTree(t.root.path), before) << c.what;
        EXPECT_EQ(FileBytes(t.In(L"data\\old.txt")), BytesOf("old")) << c.what;
    }
    Target t;
    EXPECT_EQ(GrfExtractRecord(disk.archive, 1), uint32_t{GRF_OK});
    EXPECT_EQ(FileBytes(t.In(L"data\\old.txt")), big);
    EXPECT_EQ(ListTree(t.root.Join(L"target")), (Listing{"data/", "data/old.txt 67108865"}));
}

TEST(ExtractSafely, FailuresKeepTheOldFile) {
    ForEachOutputKind(FailuresKeepOldFiles);
}

#ifndef _WIN32
// A full disk, for real: a small file system mounted for the test.
TEST(ExtractSafely, FullDiskKeepsTheOldFile) {
    TempDir root;
    std::wstring small = root.Join(L"small");
    ASSERT_TRUE(MakeDirectory(small));
    if (mount("tmpfs", Narrow(small).c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "mounting a small file system needs root; the injected write failure "
                        "covers the same path";
    Bytes big = RandomBytes(1 << 20, 3);  // does not deflate: 1 MB on disk
    ArchiveOnDisk disk(BuildArchive(0x200, {{"old.txt", big}, {"fits.txt", BytesOf("fits")}}));
    {
        CurrentDirScope here(small);
        ASSERT_TRUE(WriteFileBytes(root.Join(L"small\\old.txt"), BytesOf("old")));
        Listing before = ListTree(small);
        EXPECT_EQ(GrfExtractRecord(disk.archive, 0), uint32_t{GRF_ERROR_OUTPUT});
        EXPECT_EQ(ListTree(small), before) << "no temporary file left";
        EXPECT_EQ(FileBytes(root.Join(L"small\\old.txt")), BytesOf("old"));
        EXPECT_EQ(GrfExtractRecord(disk.archive, 1), uint32_t{GRF_OK}) << "room is left";
    }
    EXPECT_EQ(umount(Narrow(small).c_str()), 0);
}
#endif

// Names Windows would take for a device or change (it drops a trailing dot
// or space, and a colon names a stream of another file) are refused there;
// other systems write them as they are.
TEST(ExtractSafely, NamesWindowsWouldChange) {
    struct Case {
        const char* name;
        bool refusedOnWindows;
    } cases[] = {
        {"NUL", true},
        {"data\\aux.txt", true},
        {"data\\com1.txt", true},
        {"data\\LPT9", true},
        {"data\\con.tar.gz", true},
        {"data\\Prn .txt", true},
        {"data\\conout$", true},
        {"data\\com\xA9\xF6.txt", true},  // COM with a superscript 1
        {"a.txt.", true},
        {"a.txt ", true},
        {"data.\\x.txt", true},
        {"data\\a:b.txt", true},
        {"data\\com0.txt", false},
        {"data\\nullish.txt", false},
        {"data\\console.txt", false},
        {"data\\lpt.txt", false},
        {".hidden", false},
        {"data\\a.b.c", false},
    };
    std::vector<Content> contents;
    for (const Case& c : cases) contents.push_back({c.name, BytesOf(c.name)});
    ArchiveOnDisk disk(BuildArchive(0x200, contents));
    Target t;
    for (uint32_t i = 0; i < disk.archive->count; ++i) {
        const Case& c = cases[i];
        uint32_t code = kWindows && c.refusedOnWindows ? GRF_ERROR_UNSAFE_NAME : GRF_OK;
        EXPECT_EQ(GrfExtractRecord(disk.archive, i), code) << c.name;
        wchar_t* file = GrfFileName(c.name);
        if (code == GRF_OK) {
            EXPECT_EQ(FileBytes(t.In(file)), BytesOf(c.name)) << c.name;
        }
        GrfFreeBuffer(file);
    }
    if (kWindows) {
        EXPECT_EQ(ListTree(t.root.Join(L"target")),
                  (Listing{".hidden 7", "data/", "data/a.b.c 10", "data/com0.txt 13",
                           "data/console.txt 16", "data/lpt.txt 12", "data/nullish.txt 16"}));
    }
}

// In one run a record never replaces a file that an earlier record of the
// run wrote: the first stays, the others are counted. A record that fails
// leaves its name to a later one. Outside a run each extraction replaces.
TEST(ExtractSafely, RunsNeverReplaceTheirOwnFiles) {
    Stored unreadable;
    unreadable.record.name = "data\\c.txt";
    unreadable.record.compressedSize = 8;
    unreadable.record.alignedSize = 8;
    unreadable.record.realSize = 50;
    unreadable.bytes = Join({0x78, 0x9C}, RandomBytes(6, 1));  // damaged zlib
    struct Case {
        const char* name;
        const char* content;
        uint32_t inRun;  // GRF_OK, or GRF_ERROR_DUPLICATE where names are the same file
        uint32_t inRunOnWindows;
    } cases[] = {
        {"data\\Case.txt", "1", GRF_OK, GRF_OK},
        {"data\\case.txt", "2", GRF_OK, GRF_ERROR_DUPLICATE},
        {"data\\CASE.TXT", "3", GRF_OK, GRF_ERROR_DUPLICATE},
        {"data\\a.txt", "4", GRF_OK, GRF_OK},
        {"data\\a.txt", "5", GRF_ERROR_DUPLICATE, GRF_ERROR_DUPLICATE},
        {"data/a.txt", "6", GRF_ERROR_DUPLICATE, GRF_ERROR_DUPLICATE},
        {"data\\.\\a.txt", "7", GRF_ERROR_DUPLICATE, GRF_ERROR_UNSAFE_NAME},
        {"data\\c.txt", nullptr, GRF_ERROR_INFLATE, GRF_ERROR_INFLATE},
        {"data\\c.txt", "9", GRF_OK, GRF_OK},
    };
    std::vector<Stored> stored;
    for (const Case& c : cases)
        stored.push_back(c.content ? StoreContent(0x200, c.name, BytesOf(c.content)) : unreadable);
    ArchiveOnDisk disk(BuildStoredArchive(0x200, stored));
    {
        Target t;
        GrfExtractRun* run = GrfBeginExtractRun();
        ASSERT_NE(run, nullptr);
        uint32_t duplicates = 0;
        for (uint32_t i = 0; i < disk.archive->count; ++i) {
            uint32_t want = kWindows ? cases[i].inRunOnWindows : cases[i].inRun;
            EXPECT_EQ(GrfExtractInRun(run, disk.archive, i), want) << i << " " << cases[i].name;
            EXPECT_EQ(GrfLastError, want);
            duplicates += want == GRF_ERROR_DUPLICATE;
        }
        EXPECT_EQ(GrfExtractRunDuplicates(run), duplicates);
        GrfEndExtractRun(run);
        EXPECT_EQ(FileBytes(t.In(L"data\\a.txt")), BytesOf("4")) << "the first stays";
        EXPECT_EQ(FileBytes(t.In(L"data\\c.txt")), BytesOf("9"));
        EXPECT_EQ(FileBytes(t.In(L"data\\Case.txt")), BytesOf("1"));
        if (!kWindows) {
            EXPECT_EQ(FileBytes(t.In(L"data\\CASE.TXT")), BytesOf("3"));
        }
    }
    {
        Target t;
        for (uint32_t i = 0; i < disk.archive->count; ++i) GrfExtractRecord(disk.archive, i);
        EXPECT_EQ(FileBytes(t.In(L"data\\a.txt")), BytesOf(kWindows ? "6" : "7"))
            << "each replaces";
        EXPECT_EQ(FileBytes(t.In(L"data\\case.txt")), BytesOf(kWindows ? "3" : "2"));
    }
    EXPECT_EQ(GrfExtractInRun(nullptr, disk.archive, 0), uint32_t{GRF_ERROR_HANDLE});
    EXPECT_EQ(GrfExtractRunDuplicates(nullptr), 0u);
    GrfEndExtractRun(nullptr);
}

// An archive holding an entry named like its own file, extracted in the
// archive's folder, or like another archive open (a merge source), or like
// a hard link to one: each such file is left as it is, the rest extracted.
TEST(ExtractSafely, NeverReplacesAnOpenArchive) {
    TempDir dir;
    Bytes other = BuildArchive(0x200, {{"data\\x.txt", BytesOf("x")}});
    ASSERT_TRUE(WriteFileBytes(dir.Join(L"other.grf"), other));
    Bytes game = BuildArchive(0x200, {{"game.grf", BytesOf("evil")},
                                      {"other.grf", BytesOf("evil")},
                                      {"alias.grf", BytesOf("evil")},
                                      {"data\\ok.txt", BytesOf("ok")}});
    std::wstring gamePath = dir.Join(L"game.grf");
    ASSERT_TRUE(WriteFileBytes(gamePath, game));
    bool linked = MakeHardLink(dir.Join(L"alias.grf"), gamePath);
    GrfArchive* archive = GrfOpen(gamePath.c_str(), nullptr);
    GrfArchive* source = GrfOpen(dir.Join(L"other.grf").c_str(), nullptr);
    ASSERT_NE(archive, GRF_NO_ARCHIVE);
    ASSERT_NE(source, GRF_NO_ARCHIVE);
    CurrentDirScope here(dir.path);
    const uint32_t refused = GRF_ERROR_OPEN_ARCHIVE;
    const uint32_t want[] = {refused, refused, linked ? refused : uint32_t{GRF_OK}, GRF_OK};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(GrfExtractRecord(archive, i), want[i]) << i;
    GrfExtractRun* run = GrfBeginExtractRun();
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(GrfExtractInRun(run, archive, i), want[i]) << i;
    GrfEndExtractRun(run);
    uint32_t indices[] = {0, 1, 2, 3};
    uint32_t results[4] = {};
    EXPECT_EQ(GrfExtractRecords(archive, indices, 4, 2, nullptr, results), linked ? 1u : 2u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(results[i], want[i]) << i;
    EXPECT_EQ(FileBytes(gamePath), game);
    EXPECT_EQ(FileBytes(dir.Join(L"other.grf")), other);
    EXPECT_EQ(FileBytes(dir.Join(L"data\\ok.txt")), BytesOf("ok"));
    // Once closed, its file is an ordinary file again.
    GrfClose(&source);
    EXPECT_EQ(GrfExtractRecord(archive, 1), uint32_t{GRF_OK});
    EXPECT_EQ(FileBytes(dir.Join(L"other.grf")), BytesOf("evil"));
    GrfClose(&archive);
}

// A run keeps the folders it last wrote into: moving between folders, and a
// failure that removes the folders it made, leave the next record's folders
// right.
TEST(ExtractSafely, RunsMoveBetweenFolders) {
    Stored unreadable;
    unreadable.record.name = "x\\y\\bad.txt";
    unreadable.record.compressedSize = 8;
    unreadable.record.alignedSize = 8;
    unreadable.record.realSize = 50;
    unreadable.bytes = Join({0x78, 0x9C}, RandomBytes(6, 1));  // damaged zlib
    struct Case {
        const char* name;
        uint32_t code;
    } cases[] = {
        {"a\\b\\1.txt", GRF_OK},
        {"a\\b\\2.txt", GRF_OK},
        {"a\\c\\3.txt", GRF_OK},
        {"a\\4.txt", GRF_OK},
        {"x\\y\\bad.txt", GRF_ERROR_INFLATE},
        {"x\\y\\5.txt", GRF_OK},
        {"a\\b\\6.txt", GRF_OK},
        {"7.txt", GRF_OK},
        {"a\\b\\c\\d\\8.txt", GRF_OK},
    };
    std::vector<Stored> stored;
    for (const Case& c : cases)
        stored.push_back(c.code == GRF_OK ? StoreContent(0x200, c.name, BytesOf(c.name))
                                          : unreadable);
    ArchiveOnDisk disk(BuildStoredArchive(0x200, stored));
    Target t;
    GrfExtractRun* run = GrfBeginExtractRun();
    for (uint32_t i = 0; i < disk.archive->count; ++i)
        EXPECT_EQ(GrfExtractInRun(run, disk.archive, i), cases[i].code) << cases[i].name;
    GrfEndExtractRun(run);
    EXPECT_EQ(ListTree(t.root.Join(L"target")),
              (Listing{"7.txt 5", "a/", "a/4.txt 7", "a/b/", "a/b/1.txt 9", "a/b/2.txt 9",
                       "a/b/6.txt 9", "a/b/c/", "a/b/c/d/", "a/b/c/d/8.txt 13", "a/c/",
                       "a/c/3.txt 9", "x/", "x/y/", "x/y/5.txt 9"}));
}

// A run keeps the folders it walked in whatever order their files come:
// more folders than it keeps open, visited in turn twice, each file where
// its name says; and a kept folder removed meanwhile is made again.
TEST(ExtractSafely, RunsKeepFoldersInAnyOrder) {
    constexpr uint32_t kFolders = 300;  // more than are kept open
    std::vector<Content> contents;
    for (uint32_t round = 0; round < 2; ++round)
        for (uint32_t f = 0; f < kFolders; ++f) {
            std::string name = "d\\f" + std::to_string(f) + "\\" + std::to_string(round) + ".txt";
            contents.push_back({name, BytesOf(name.c_str())});
        }
    contents.push_back({"d\\f1\\again.txt", BytesOf("again")});
    ArchiveOnDisk disk(BuildArchive(0x200, contents));
    Target t;
    GrfExtractRun* run = GrfBeginExtractRun();
    for (uint32_t i = 0; i + 1 < disk.archive->count; ++i)
        ASSERT_EQ(GrfExtractInRun(run, disk.archive, i), uint32_t{GRF_OK}) << contents[i].name;
#ifndef _WIN32  // Windows keeps its folders open: they cannot be removed meanwhile
    std::error_code failed;
    ASSERT_EQ(std::filesystem::remove_all(Narrow(t.In(L"d\\f1")), failed), 3u);
#endif
    EXPECT_EQ(GrfExtractInRun(run, disk.archive, disk.archive->count - 1), uint32_t{GRF_OK});
    GrfEndExtractRun(run);
    for (const Content& c : contents) {
        if (!kWindows && c.name.rfind("d\\f1\\", 0) == 0 && c.name != "d\\f1\\again.txt")
            continue;  // removed with its folder
        EXPECT_EQ(FileBytes(t.In(Widen(c.name))), c.data) << c.name;
    }
}

// Names that are no code page 949 text: the record calls read and extract
// them, and the file name spells each byte that does not convert as %XX.
TEST(ExtractSafely, RecordsWhoseNamesDoNotConvert) {
    struct Case {
        const char* name;
        const wchar_t* fileName;
    } cases[] = {
        {"data\\\xFB", L"data\\%FB"},
        {"\xFF\xFE", L"%FF%FE"},
        {"data\\\xB0 x.txt", L"data\\%B0 x.txt"},
        {"data\\\xB9\xE8\xB0\xE6.bmp", L"data\\\uBC30\uACBD.bmp"},
        {"data\\100%.txt", L"data\\100%.txt"},
    };
    std::vector<Content> contents;
    for (const Case& c : cases) contents.push_back({c.name, Long(strlen(c.name))});
    ArchiveOnDisk disk(BuildArchive(0x103, contents));
    Target t;
    for (uint32_t i = 0; i < disk.archive->count; ++i) {
        const Case& c = cases[i];
        wchar_t* fileName = GrfFileName(c.name);
        ASSERT_NE(fileName, nullptr);
        EXPECT_STREQ(fileName, c.fileName) << c.name;
        uint32_t size = 0;
        uint8_t* content = GrfReadRecord(disk.archive, i, &size);
        ASSERT_NE(content, nullptr) << c.name << " code " << GrfLastError;
        EXPECT_EQ(Bytes(content, content + size), Long(strlen(c.name)));
        GrfFreeBuffer(content);
        EXPECT_EQ(GrfExtractRecord(disk.archive, i), uint32_t{GRF_OK}) << c.name;
        EXPECT_EQ(FileBytes(t.In(fileName)), Long(strlen(c.name))) << c.name;
        GrfFreeBuffer(fileName);
    }
    // By name, through the wide form of the list, the first two are lost.
    EXPECT_FALSE(ReadContent(disk.archive, cases[0].name).ok);
    EXPECT_EQ(GrfFileName(nullptr), nullptr);
}

// The record calls take the record itself: its owner, its own position.
TEST(ExtractSafely, RecordCallsUseTheRecordItself) {
    ArchiveOnDisk disk(BuildArchive(
        0x200, {{"data\\same.txt", BytesOf("first")}, {"data\\same.txt", BytesOf("second")}}));
    ArchiveOnDisk other(BuildArchive(0x103, {{"data\\other.txt", BytesOf("other")}}));
    ASSERT_EQ(GrfMerge(disk.archive, other.archive), 3u);
    ASSERT_EQ(GrfAddFile(disk.archive, disk.dir.path.c_str(), L"data\\local.txt"), 0u);
    struct Case {
        uint32_t index;
        uint32_t code;
        const char* content;
    } cases[] = {
        {0, GRF_OK, "first"},
        {1, GRF_OK, "second"},
        {2, GRF_OK, "other"},
        {3, GRF_ERROR_NOT_FOUND, nullptr},  // a local file's record: no stored bytes
        {4, GRF_ERROR_NOT_FOUND, nullptr},  // beyond the table
    };
    Target t;
    for (const Case& c : cases) {
        uint32_t size = 0;
        uint8_t* content = GrfReadRecord(disk.archive, c.index, &size);
        EXPECT_EQ(GrfLastError, c.code) << c.index;
        if (c.content) {
            EXPECT_EQ(Bytes(content, content + size), BytesOf(c.content));
            EXPECT_EQ(Bytes(content + size, content + size + 1024), Bytes(1024, 0));
        }
        GrfFreeBuffer(content);
        EXPECT_EQ(GrfExtractRecord(disk.archive, c.index), c.code) << c.index;
    }
    EXPECT_EQ(FileBytes(t.In(L"data\\same.txt")), BytesOf("second"));
    EXPECT_EQ(FileBytes(t.In(L"data\\other.txt")), BytesOf("other"));
    EXPECT_EQ(GrfReadRecord(GRF_NO_ARCHIVE, 0, nullptr), nullptr);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    EXPECT_EQ(GrfExtractRecord(nullptr, 0), uint32_t{GRF_ERROR_HANDLE});
}

// Content just over the size read whole goes to the file in pieces: the
// same bytes as a read into memory, in every cipher mode and for plain
// stored bytes, with memory that does not follow the entry's size.
TEST(ExtractSafely, LargeEntriesInPieces) {
    Bytes content = Join(RandomBytes(3 << 20, 11), Bytes(61 << 20, 'z'));
    content.push_back('e');
    Stored plain;
    plain.record.name = "data\\plain.bin";
    plain.bytes = Join(RandomBytes(2 << 20, 12), Bytes((62 << 20) + 5, 'p'));
    plain.record.compressedSize = plain.record.realSize = static_cast<uint32_t>(plain.bytes.size());
    plain.record.alignedSize = plain.record.compressedSize;
    struct Case {
        uint32_t version;
        const char* name;
        uint8_t type;
    } cases[] = {
        {0x200, "data\\plain.txt", 1},  {0x200, "data\\mixed.txt", 3},
        {0x200, "data\\header.txt", 5}, {0x103, "data\\mixed.bmp", 1},
        {0x103, "data\\header.gat", 1},
    };
    for (const Case& c : cases) {
        std::vector<Stored> stored = {StoreContent(c.version, c.name, content, c.type, 1)};
        if (c.version == 0x200) stored.push_back(plain);
        ArchiveOnDisk disk(BuildStoredArchive(c.version, stored));
        Target t;
        for (uint32_t i = 0; i < disk.archive->count; ++i) {
            PlatformLargestAllocation();
            EXPECT_EQ(GrfExtractRecord(disk.archive, i), uint32_t{GRF_OK}) << c.name;
            EXPECT_LE(PlatformLargestAllocation(), size_t{1} << 20) << c.name;
            Bytes expected = i == 0 ? content : plain.bytes;
            wchar_t* file = GrfFileName(disk.archive->entries[i].name);
            EXPECT_TRUE(FileBytes(t.In(file)) == expected) << c.name;
            GrfFreeBuffer(file);
        }
    }
}

}  // namespace
