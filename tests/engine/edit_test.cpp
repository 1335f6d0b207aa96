// Editing the table: adding local files, merging a second archive, the
// deleted mark, growth that runs out of memory, and one end-to-end edit
// written in every version.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>
#include <platform_hooks.h>
#include <string.h>

#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"
#include "thor_builder.h"

namespace {

std::vector<uint8_t> States(const GrfArchive* archive) {
    std::vector<uint8_t> states;
    for (uint32_t i = 0; i < archive->count; ++i) states.push_back(archive->entries[i].state);
    return states;
}

using StateList = std::vector<uint8_t>;

TEST(Merge, SameNamesReplaceInPlaceNewNamesAppend) {
    ArchiveOnDisk loaded(BuildArchive(
        0x200, Named({"data\\a.txt", "data\\b.txt", "data\\A.txt", "data\\c.txt"}, "loaded")));
    ArchiveOnDisk other(BuildArchive(
        0x103, Named({"data\\new2.txt", "data\\b.txt", "data\\new1.txt", "data\\c.txt"}, "other")));
    loaded.archive->entries[3].state = GRF_ENTRY_DELETED;
    GrfEntry otherB = other.archive->entries[1];

    EXPECT_EQ(GrfMerge(loaded.archive, other.archive), 6u);
    GrfArchive* a = loaded.archive;
    EXPECT_EQ(NamesOf(a), (Names{"data\\a.txt", "data\\b.txt", "data\\A.txt", "data\\c.txt",
                                 "data\\new2.txt", "data\\new1.txt"}));
    EXPECT_EQ(States(a), (StateList{1, 9, 1, 9, 5, 5})) << "a deleted record comes back as 9";
    EXPECT_EQ(a->entriesSize, 6 * sizeof(GrfEntry));
    // The replacing record is the other archive's, owner and all.
    const GrfEntry& b = a->entries[1];
    EXPECT_EQ(b.owner, other.archive);
    EXPECT_EQ(b.position, otherB.position);
    EXPECT_EQ(b.compressedSize, otherB.compressedSize);
    EXPECT_EQ(b.version, 0x103u);
    EXPECT_EQ(b.cycle, otherB.cycle);
    EXPECT_EQ(a->entries[4].owner, other.archive);
    EXPECT_EQ(States(other.archive), (StateList{1, 0x10, 1, 0x10}));
    // Reading goes through the owner, whose record of that name is marked.
    EXPECT_EQ(ReadContent(b.owner, b.name).bytes, BytesOf("other:data\\b.txt"));
    EXPECT_EQ(ReadContent(a->entries[0].owner, "data\\a.txt").bytes, BytesOf("loaded:data\\a.txt"));
    // The index knows the appended names.
    EXPECT_EQ(GrfFindEntry(a, "data\\new1.txt"), &a->entries[5]);
    EXPECT_EQ(GrfFindEntry(a, "data\\A.txt"), &a->entries[2]) << "names compare by bytes";
}

TEST(Merge, TwoRecordsOfOneNameInTheOtherArchive) {
    Names dup = {"data\\dup.txt", "data\\x.txt", "data\\dup.txt"};
    {
        ArchiveOnDisk loaded(BuildArchive(0x200, Named({"data\\dup.txt"}, "loaded")));
        ArchiveOnDisk other(BuildArchive(0x200, {{"data\\dup.txt", BytesOf("first")},
                                                 {"data\\x.txt", BytesOf("x")},
                                                 {"data\\dup.txt", BytesOf("second, longer")}}));
        GrfEntry later = other.archive->entries[2];
        EXPECT_EQ(GrfMerge(loaded.archive, other.archive), 2u);
        EXPECT_EQ(NamesOf(loaded.archive), (Names{"data\\dup.txt", "data\\x.txt"}));
        EXPECT_EQ(States(loaded.archive), (StateList{9, 5}));
        EXPECT_EQ(loaded.archive->entries[0].position, later.position) << "the later one stays";
        EXPECT_EQ(loaded.archive->entries[0].realSize, later.realSize);
        EXPECT_EQ(States(other.archive), (StateList{0x10, 1, 0x10}));
    }
    {
        ArchiveOnDisk loaded(BuildArchive(0x200, Named({"data\\y.txt"}, "loaded")));
        ArchiveOnDisk other(BuildArchive(0x200, Named(dup, "other")));
        EXPECT_EQ(GrfMerge(loaded.archive, other.archive), 4u);
        EXPECT_EQ(NamesOf(loaded.archive),
                  (Names{"data\\y.txt", "data\\dup.txt", "data\\x.txt", "data\\dup.txt"}));
        EXPECT_EQ(States(loaded.archive), (StateList{1, 5, 5, 5}));
        EXPECT_EQ(GrfFindEntry(loaded.archive, "data\\dup.txt"), &loaded.archive->entries[1]);
    }
}

TEST(Merge, IntoAnEmptyTableAndWithNoArchive) {
    ArchiveOnDisk other(BuildArchive(0x200, Named({"data\\a.txt", "data\\b.txt"}, "other")));
    GrfArchive* created = GrfCreate(L"output.grf");
    EXPECT_EQ(GrfMerge(created, other.archive), 2u);
    EXPECT_EQ(States(created), (StateList{5, 5}));
    EXPECT_EQ(NamesOf(created), (Names{"data\\a.txt", "data\\b.txt"}));
    EXPECT_EQ(GrfFindEntry(created, "data\\b.txt"), &created->entries[1]);
    GrfClose(&created);

    GrfArchive* empty = GrfCreate(L"a.grf");
    GrfArchive* alsoEmpty = GrfCreate(L"b.grf");
    EXPECT_EQ(GrfMerge(empty, alsoEmpty), 0u) << "both tables empty";
    GrfClose(&empty);
    GrfClose(&alsoEmpty);

    GrfLastError = 0;
    EXPECT_EQ(GrfMerge(GRF_NO_ARCHIVE, other.archive), 0u);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    GrfLastError = 0;
    EXPECT_EQ(GrfMerge(other.archive, GRF_NO_ARCHIVE), 0u);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    EXPECT_EQ(States(other.archive), (StateList{1, 1}));
}

TEST(Merge, RunningOutOfMemoryChangesNothing) {
    // Each allocation the merge makes fails in turn: the table, the other
    // archive and every lookup stay as they were.
    for (int32_t after = 0; after < 3; ++after) {
        ArchiveOnDisk loaded(BuildArchive(0x200, Named({"data\\a.txt", "data\\b.txt"}, "l")));
        std::vector<std::string> many;
        for (int i = 0; i < 40; ++i) many.push_back("data\\n" + std::to_string(i));
        many.push_back("data\\b.txt");
        ArchiveOnDisk other(BuildArchive(0x200, Named(many, "o")));
        Bytes before = TableBytes(loaded.archive);
        Bytes otherBefore = TableBytes(other.archive);
        PlatformFailAfter(kPlatformFaultAllocation, after);
        uint32_t count = GrfMerge(loaded.archive, other.archive);
        uint32_t code = GrfLastError;
        PlatformFailAfter(kPlatformFaultAllocation, -1);
        if (count != 0) {
            EXPECT_GT(after, 0) << "with no allocation allowed the merge must fail";
            EXPECT_EQ(count, 42u) << "enough memory after " << after;
            continue;
        }
        EXPECT_EQ(code, uint32_t{GRF_ERROR_MEMORY}) << after;
        EXPECT_EQ(loaded.archive->count, 2u);
        EXPECT_EQ(TableBytes(loaded.archive), before) << after;
        EXPECT_EQ(TableBytes(other.archive), otherBefore) << after;
        EXPECT_EQ(GrfFindEntry(loaded.archive, "data\\b.txt"), &loaded.archive->entries[1]);
        EXPECT_EQ(GrfFindEntry(loaded.archive, "data\\n0"), nullptr);
        EXPECT_EQ(GrfMerge(loaded.archive, other.archive), 42u) << "and works afterwards";
    }
}

TEST(AddFile, AppendsLocalRecords) {
    GrfArchive* table = GrfCreate(L"output.grf");
    GrfLastError = 777;
    EXPECT_EQ(GrfAddFile(table, L"C:\\ro\\data", L"data\\texture\\a.bmp"), 0u);
    EXPECT_EQ(GrfAddFile(table, L"C:\\other", L"data\\texture\\a.bmp"), 0u);
    EXPECT_EQ(GrfAddFile(table, L"C:\\other", L"data\\\uBC30.txt"), 0u);
    // A character code page 949 lacks would change the name: refused.
    EXPECT_EQ(GrfAddFile(table, L"C:\\other", L"data\\\uBC30\u0E01.txt"), 2u);
    EXPECT_EQ(GrfLastError, 777u) << "never touched";
    EXPECT_STREQ(GrfLocalBaseDir, L"C:\\other") << "the base given last";
    ASSERT_EQ(table->count, 3u);
    EXPECT_EQ(table->entriesSize, 3 * sizeof(GrfEntry));
    EXPECT_EQ(NamesOf(table),
              (Names{"data\\texture\\a.bmp", "data\\texture\\a.bmp", "data\\\xB9\xE8.txt"}));
    GrfEntry blank = {};
    for (uint32_t i = 0; i < table->count; ++i) {
        GrfEntry e = table->entries[i];
        EXPECT_EQ(e.state, GRF_ENTRY_ON_DISK | GRF_ENTRY_NEW);
        memcpy(blank.name, e.name, GRF_NAME_SIZE);
        blank.state = e.state;
        EXPECT_EQ(memcmp(&e, &blank, sizeof e), 0) << "owner null, sizes and the rest zero";
    }
    EXPECT_EQ(GrfFindEntry(table, "data\\texture\\a.bmp"), &table->entries[0]);
    EXPECT_EQ(GrfAddFile(GRF_NO_ARCHIVE, L"C:\\x", L"data\\y"), uint32_t{GRF_ERROR_HANDLE});
    EXPECT_STREQ(GrfLocalBaseDir, L"C:\\other");
    GrfClose(&table);
}

TEST(AddFile, NamesThatDoNotFitAreNeverCut) {
    GrfArchive* table = GrfCreate(L"output.grf");
    std::wstring fits = L"data\\" + std::wstring(102, L'n');  // 107 bytes
    EXPECT_EQ(GrfAddFile(table, L"base", fits.c_str()), 0u);
    std::wstring tooLong = fits + L"x";
    EXPECT_EQ(GrfAddFile(table, L"base", tooLong.c_str()), 2u);
    // 51 Korean syllables: 56 characters, 107 bytes; one more is 109.
    std::wstring korean = L"data\\" + std::wstring(51, L'\uBC30');
    EXPECT_EQ(GrfAddFile(table, L"base", korean.c_str()), 0u);
    std::wstring koreanLong = korean + L"\uBC30";
    EXPECT_EQ(GrfAddFile(table, L"base", koreanLong.c_str()), 2u);
    std::wstring longBase(260, L'b');
    EXPECT_EQ(GrfAddFile(table, longBase.c_str(), L"data\\x"), 2u);
    EXPECT_EQ(GrfAddFile(table, L"base", L""), 2u) << "an empty name is no file";
    EXPECT_EQ(table->count, 2u);
    EXPECT_EQ(strlen(table->entries[0].name), 107u);
    EXPECT_EQ(strlen(table->entries[1].name), 107u);
    GrfClose(&table);
}

TEST(AddFile, GrowsGeometricallyAndFailsCleanly) {
    GrfArchive* table = GrfCreate(L"output.grf");
    const GrfEntry* entries = nullptr;
    int moves = 0;
    for (int i = 0; i < 5000; ++i) {
        std::wstring name = L"data\\f" + std::to_wstring(i);
        ASSERT_EQ(GrfAddFile(table, L"base", name.c_str()), 0u);
        if (table->entries != entries) ++moves;
        entries = table->entries;
    }
    EXPECT_LT(moves, 20) << "the table is not copied for every record";
    EXPECT_EQ(table->entriesSize, 5000 * sizeof(GrfEntry));
    EXPECT_EQ(GrfFindEntry(table, "data\\f4999"), &table->entries[4999]);

    // Fill the table to its allocation, then fail each allocation in turn.
    while (table->count < table->capacity) ASSERT_EQ(GrfAddFile(table, L"base", L"data\\fill"), 0u);
    Bytes before = TableBytes(table);
    for (int32_t after = 0; after < 3; ++after) {
        PlatformFailAfter(kPlatformFaultAllocation, after);
        uint32_t result = GrfAddFile(table, L"base", L"data\\late");
        PlatformFailAfter(kPlatformFaultAllocation, -1);
        if (result == 0) {
            EXPECT_GT(after, 0) << "with no allocation allowed the table cannot grow";
            break;
        }
        EXPECT_EQ(result, uint32_t{GRF_ERROR_MEMORY});
        EXPECT_EQ(TableBytes(table), before);
        EXPECT_EQ(GrfFindEntry(table, "data\\late"), nullptr);
    }
    GrfClose(&table);
}

// An archive that holds local-file records is refused whole: their data is
// only in local files, which a merge would read from its archive file.
TEST(Merge, RefusesArchivesWithLocalRecords) {
    TempDir folder;
    ASSERT_TRUE(WriteFileBytes(folder.Join(L"x.txt"), BytesOf("local x")));
    struct Case {
        const char* what;
        const wchar_t* localName;
        bool deleted;
    } cases[] = {
        {"a local record to append", L"data\\new.txt", false},
        {"a local record that would replace one", L"data\\a.txt", false},
        {"a local record marked deleted", L"data\\a.txt", true},
    };
    for (const Case& c : cases) {
        ArchiveOnDisk loaded(BuildArchive(0x200, {{"data\\a.txt", BytesOf("a")}}));
        ArchiveOnDisk other(BuildArchive(0x200, {{"data\\b.txt", BytesOf("b")}}));
        ASSERT_EQ(GrfAddFile(other.archive, folder.path.c_str(), c.localName), 0u);
        if (c.deleted) other.archive->entries[1].state = GRF_ENTRY_DELETED;
        Bytes table = TableBytes(loaded.archive);
        Bytes otherTable = TableBytes(other.archive);
        GrfLastError = 0;
        EXPECT_EQ(GrfMerge(loaded.archive, other.archive), 0u) << c.what;
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_LOCAL_RECORDS}) << c.what;
        EXPECT_EQ(TableBytes(loaded.archive), table) << c.what;
        EXPECT_EQ(TableBytes(other.archive), otherTable) << c.what;
    }
    GrfArchive* created = GrfCreate(L"new.grf");
    ASSERT_EQ(GrfAddFile(created, folder.path.c_str(), L"data\\x.txt"), 0u);
    ArchiveOnDisk loaded(BuildArchive(0x200, {{"data\\a.txt", BytesOf("a")}}));
    EXPECT_EQ(GrfMerge(loaded.archive, created), 0u);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_LOCAL_RECORDS});
    EXPECT_EQ(GrfMerge(created, loaded.archive), 2u) << "the other way round is fine";
    GrfClose(&created);
}

// Open, merge, add a local folder, delete some, write every version, and
// read back exactly what was meant.
TEST(Edit, EndToEnd) {
    ArchiveOnDisk loaded(
        BuildArchive(0x102, {{"data\\a.gnd", BytesOf("loaded a")},
                             {"data\\shared.bmp", BytesOf("loaded shared")},
                             {"data\\doomed.txt", BytesOf("doomed")},
                             {"data\\kept.spr", BytesOf(std::string(5000, 'k'))}}));
    ArchiveOnDisk other(BuildArchive(0x200, {{"data\\new.txt", BytesOf("other new"), 3},
                                             {"data\\shared.bmp", BytesOf("other shared"), 5},
                                             {"data\\dropped.txt", BytesOf("dropped"), 1},
                                             {"data\\last.act", RandomBytes(20000, 3), 3}}));
    TempDir folder;
    ASSERT_TRUE(MakeDirectory(folder.Join(L"sub")));
    ASSERT_TRUE(WriteFileBytes(folder.Join(L"x.txt"), BytesOf("local x")));
    ASSERT_TRUE(WriteFileBytes(folder.Join(L"sub\\y.bin"), RandomBytes(3000, 4)));

    GrfArchive* table = loaded.archive;
    ASSERT_EQ(GrfMerge(table, other.archive), 7u);
    ASSERT_EQ(GrfAddFile(table, folder.path.c_str(), L"data\\x.txt"), 0u);
    ASSERT_EQ(GrfAddFile(table, folder.path.c_str(), L"data\\sub\\y.bin"), 0u);
    // Records added from another folder, and from a path unlike their name,
    // keep their own files: the earlier records still read from the first.
    TempDir second;
    ASSERT_TRUE(WriteFileBytes(second.Join(L"z.txt"), BytesOf("second z")));
    ASSERT_TRUE(WriteFileBytes(second.Join(L"anywhere.bin"), BytesOf("any path")));
    ASSERT_EQ(GrfAddFile(table, second.path.c_str(), L"data\\z.txt"), 0u);
    ASSERT_EQ(GrfAddLocalFile(table, L"data\\picked.txt", second.Join(L"anywhere.bin").c_str()),
              0u);
    GrfFindEntry(table, "data\\doomed.txt")->state = GRF_ENTRY_DELETED;
    GrfFindEntry(table, "data\\dropped.txt")->state = GRF_ENTRY_DELETED;
    EXPECT_EQ(States(table), (StateList{1, 9, 0x10, 1, 5, 0x10, 5, 6, 6, 6, 6}));

    std::vector<std::pair<std::string, Bytes>> expected = {
        {"data\\a.gnd", BytesOf("loaded a")},
        {"data\\shared.bmp", BytesOf("other shared")},
        {"data\\kept.spr", BytesOf(std::string(5000, 'k'))},
        {"data\\new.txt", BytesOf("other new")},
        {"data\\last.act", RandomBytes(20000, 3)},
        {"data\\x.txt", BytesOf("local x")},
        {"data\\sub\\y.bin", RandomBytes(3000, 4)},
        {"data\\z.txt", BytesOf("second z")},
        {"data\\picked.txt", BytesOf("any path")},
    };
    for (uint32_t version : {0x101u, 0x102u, 0x103u, 0x200u, 0x201u}) {
        std::wstring path = loaded.dir.Join(L"out" + std::to_wstring(version) + L".grf");
        GrfSetVersion(version);
        ASSERT_EQ(GrfRepack(table, path.c_str(), nullptr), 0) << version << " " << GrfLastError;
        GrfArchive* written = GrfOpen(path.c_str(), nullptr);
        ASSERT_NE(written, GRF_NO_ARCHIVE);
        ASSERT_EQ(written->count, expected.size()) << version;
        for (uint32_t i = 0; i < written->count; ++i) {
            EXPECT_EQ(written->entries[i].name, expected[i].first) << version;
            EXPECT_EQ(written->entries[i].version, version);
            EXPECT_EQ(ReadContent(written, expected[i].first.c_str()).bytes, expected[i].second)
                << version << " " << expected[i].first;
        }
        GrfClose(&written);
    }
    GrfSetVersion(0x103);
    EXPECT_EQ(States(table), (StateList{1, 9, 0x10, 1, 5, 0x10, 5, 6, 6, 6, 6}))
        << "repack keeps marks";
}

// No archive, whether GRF_NO_ARCHIVE or null, is one cause with one code,
// GRF_ERROR_HANDLE, from every call that takes an archive: the result where
// the call returns its code, else GrfLastError.
TEST(Contracts, NoArchiveGivesTheHandleCodeFromEveryCall) {
    ArchiveOnDisk patch(BuildThor({{"data\\a.txt", BytesOf("a")}}, "", 0));
    ArchiveOnDisk other(BuildArchive(0x200, {{"data\\a.txt", BytesOf("a")}}));
    std::wstring out = other.dir.Join(L"out.grf");
    struct Call {
        const char* name;
        uint32_t (*code)(GrfArchive* none, GrfArchive* real, GrfArchive* patch, const wchar_t* out);
    };
    const Call calls[] = {
        {"GrfFindEntry",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t*) {
             GrfFindEntry(a, "data\\a.txt");
             return GrfLastError;
         }},
        {"GrfReadEntryRaw",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t*) {
             GrfReadEntryRaw(a, "data\\a.txt", nullptr);
             return GrfLastError;
         }},
        {"GrfReadEntry",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t*) {
             GrfReadEntry(a, L"data\\a.txt", nullptr);
             return GrfLastError;
         }},
        {"GrfReadRecord",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t*) {
             GrfReadRecord(a, 0, nullptr);
             return GrfLastError;
         }},
        {"GrfExtractEntry", [](GrfArchive* a, GrfArchive*, GrfArchive*,
                               const wchar_t*) { return GrfExtractEntry(a, L"data\\a.txt"); }},
        {"GrfExtractRecord", [](GrfArchive* a, GrfArchive*, GrfArchive*,
                                const wchar_t*) { return GrfExtractRecord(a, 0); }},
        {"GrfAddFile", [](GrfArchive* a, GrfArchive*, GrfArchive*,
                          const wchar_t*) { return GrfAddFile(a, L"base", L"data\\a.txt"); }},
        {"GrfAddLocalFile",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t*) {
             return GrfAddLocalFile(a, L"data\\a.txt", L"a.txt");
         }},
        {"GrfAddRemoval", [](GrfArchive* a, GrfArchive*, GrfArchive*,
                             const wchar_t*) { return GrfAddRemoval(a, "data\\a.txt"); }},
        {"GrfMerge into",
         [](GrfArchive* a, GrfArchive* real, GrfArchive*, const wchar_t*) {
             GrfMerge(a, real);
             return GrfLastError;
         }},
        {"GrfMerge from",
         [](GrfArchive* a, GrfArchive* real, GrfArchive*, const wchar_t*) {
             GrfMerge(real, a);
             return GrfLastError;
         }},
        {"GrfMarkPatch", [](GrfArchive* a, GrfArchive*, GrfArchive* p,
                            const wchar_t*) { return GrfMarkPatch(a, p); }},
        {"GrfApplyPatch",
         [](GrfArchive* a, GrfArchive*, GrfArchive* p, const wchar_t*) {
             GrfApplyPatch(a, p, nullptr);
             return GrfLastError;
         }},
        {"GrfApplyLoosePatch",
         [](GrfArchive* a, GrfArchive*, GrfArchive* p, const wchar_t*) {
             GrfApplyLoosePatch(a, p, nullptr, nullptr);
             return GrfLastError;
         }},
        {"GrfFindFirst",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t*) {
             GrfFindFirst(a, L"*.*", nullptr);
             return GrfLastError;
         }},
        {"GrfReadRecords",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t*) {
             uint32_t index = 0;
             GrfReadRecords(
                 a, &index, 1,
                 [](uint32_t, const uint8_t*, uint32_t, uint32_t, void*) { return 0; }, nullptr);
             return GrfLastError;
         }},
        {"GrfExtractRecords",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t*) {
             uint32_t index = 0, result = 0;
             GrfExtractRecords(a, &index, 1, 1, nullptr, &result);
             return GrfLastError;
         }},
        {"GrfRepack",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t* o) {
             GrfRepack(a, o, nullptr);
             return GrfLastError;
         }},
        {"GrfWritePatch",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t* o) {
             GrfWritePatch(a, o, GRF_PATCH_MERGE, nullptr, 0, nullptr);
             return GrfLastError;
         }},
        {"GrfSave",
         [](GrfArchive* a, GrfArchive*, GrfArchive*, const wchar_t*) {
             GrfSave(a, nullptr);
             return GrfLastError;
         }},
    };
    for (const Call& call : calls) {
        for (GrfArchive* none : {GRF_NO_ARCHIVE, static_cast<GrfArchive*>(nullptr)}) {
            GrfLastError = 12345;
            EXPECT_EQ(call.code(none, other.archive, patch.archive, out.c_str()),
                      uint32_t{GRF_ERROR_HANDLE})
                << call.name << (none ? " GRF_NO_ARCHIVE" : " null");
        }
    }
    EXPECT_FALSE(FileExists(out));
}

}  // namespace
