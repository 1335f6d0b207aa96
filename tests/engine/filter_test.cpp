// The name filter: the wildcard match behind the platform layer (one table
// for both platforms: the shell's match on Windows, ours elsewhere) and the
// find-first/find-next walk over the table.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>

#include <string>
#include <vector>

#include "grf_builder.h"
#include "test_support.h"

namespace {

TEST(Filter, MatchTable) {
    struct Case {
        const wchar_t* name;
        const wchar_t* pattern;
        bool match;
    } cases[] = {
        {L"a.bmp", L"*.*", true},
        {L"readme", L"*.*", true},  // no dot, still matched
        {L".hidden", L"*.*", true},
        {L"a.bmp", L"*", true},
        {L"a.bmp", L"*.bmp", true},
        {L"b.BMP", L"*.bmp", true},
        {L"B.bmp", L"*.BMP", true},
        {L"a.bmp.txt", L"*.bmp", false},
        {L"a.bmpx", L"*.bmp", false},
        {L"a.bmp", L"a.bmp", true},
        {L"A.BMP", L"a.bmp", true},
        {L"ab.bmp", L"a.bmp", false},
        {L"a.bmp", L"ab.bmp", false},
        {L"a.bmp", L"?.bmp", true},
        {L"ab.bmp", L"?.bmp", false},
        {L".bmp", L"?.bmp", false},  // "?" is exactly one character
        {L"ab", L"ab?", false},
        {L"x.spr", L"x*r", true},
        {L"x.spr", L"x*q", false},
        {L"x.spr", L"*s*", true},
        {L"x.spr", L"*.sp", false},
        {L"abcabc", L"*abc", true},
        {L"abcab", L"*abc", false},
        {L"aaaa", L"*a*a*a*a*", true},
        {L"aaa", L"*a*a*a*a*", false},
        {L"ab", L"a**b", true},
        {L"abcbd", L"*b?", true},
        {L"abcb", L"*b?", false},
        {L"aXb", L"*a*b", true},
        {L"ab", L"*ab*", true},
        {L"a", L"*?*?", false},
        {L"x.sprx.spr", L"*.spr", true},
        {L"a.bmp", L"data\\*.bmp", false},
        {L"a.bmp", L"*\\a.bmp", false},
        {L"a.tga", L"*.bmp;*.tga", true},
        {L"a.tga", L"*.bmp; *.tga", true},
        {L"a.spr", L"*.bmp;*.tga", false},
        {L"\uBC30\uACBD1-1.bmp", L"*.BMP", true},
        {L"\uBC30\uACBD1-1.bmp", L"\uBC30*", true},
        {L"\uBC30\uACBD1-1.bmp", L"\uACBD*", false},
        {L"\u00C9t\u00E9.txt", L"\u00E9T\u00C9.TXT", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlatformMatchSpec(c.name, c.pattern), c.match)
            << Narrow(c.name) << " against " << Narrow(c.pattern);
}

// An archive of the given names, opened from a temporary file.
struct Table {
    explicit Table(const std::vector<std::string>& names) {
        std::vector<Content> contents;
        for (const std::string& name : names) contents.push_back({name, BytesOf(name)});
        std::wstring path = dir.Join(L"names.grf");
        EXPECT_TRUE(WriteFileBytes(path, BuildArchive(0x200, contents)));
        archive = GrfOpen(path.c_str(), nullptr);
        EXPECT_NE(archive, GRF_NO_ARCHIVE);
    }
    ~Table() { GrfClose(&archive); }
    TempDir dir;
    GrfArchive* archive = GRF_NO_ARCHIVE;
};

GrfSearch* const kNoSearch = reinterpret_cast<GrfSearch*>(-1);

// Every record found for pattern, in order, by name; checks the codes.
std::vector<std::string> Walk(GrfArchive* archive, const wchar_t* pattern) {
    std::vector<std::string> found;
    GrfEntry* entry = nullptr;
    GrfSearch* search = GrfFindFirst(archive, pattern, &entry);
    if (search == kNoSearch) {
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
        return found;
    }
    EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
    do {
        found.push_back(entry->name);
    } while (GrfFindNext(search, &entry));
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NO_MORE});
    EXPECT_EQ(GrfFindNext(search, &entry), 0u) << "after the end, still the end";
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NO_MORE});
    EXPECT_EQ(GrfFreeBuffer(search), 1);
    return found;
}

using Names = std::vector<std::string>;

TEST(Filter, WalksTheTableInOrder) {
    Names names = {"data\\texture\\a.bmp", "data\\c.spr",     "readme",
                   "data\\b.BMP",          "data\\x.bmp.txt", "data\\sprite\\d.spr"};
    Table table(names);
    table.archive->entries[1].state = ENTRY_DELETED;
    EXPECT_EQ(Walk(table.archive, L"*.*"), names) << "deleted records included";
    EXPECT_EQ(Walk(table.archive, L"*.bmp"), (Names{"data\\texture\\a.bmp", "data\\b.BMP"}));
    EXPECT_EQ(Walk(table.archive, L"*.spr"), (Names{"data\\c.spr", "data\\sprite\\d.spr"}));
    EXPECT_EQ(Walk(table.archive, L"?.spr"), (Names{"data\\c.spr", "data\\sprite\\d.spr"}));
    EXPECT_EQ(Walk(table.archive, L"texture\\*.bmp"), Names{}) << "directories never compared";
    EXPECT_EQ(Walk(table.archive, L"*\\a.bmp"), Names{});
    EXPECT_EQ(Walk(table.archive, L"*.gat"), Names{});
}

TEST(Filter, FoundMayBeNullAndTheSearchSurvivesGrowth) {
    Table table({"data\\a.bmp", "data\\b.txt", "data\\c.bmp"});
    GrfSearch* search = GrfFindFirst(table.archive, L"*.bmp", nullptr);
    ASSERT_NE(search, kNoSearch);
    EXPECT_EQ(search->next, 1u);
    EXPECT_EQ(GrfFindNext(search, nullptr), 1u);
    EXPECT_EQ(search->next, 3u);
    EXPECT_EQ(GrfFindNext(search, nullptr), 0u);
    EXPECT_EQ(search->next, 3u) << "a failed step leaves the search where it was";
    // A record appended later is found by the same search.
    ASSERT_EQ(GrfAddFile(table.archive, L"base", L"data\\d.bmp"), 0u);
    GrfEntry* entry = nullptr;
    EXPECT_EQ(GrfFindNext(search, &entry), 1u);
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->name, "data\\d.bmp");
    GrfFreeBuffer(search);
}

TEST(Filter, Failures) {
    GrfArchive* empty = GrfCreate(L"empty.grf");
    ASSERT_NE(empty, GRF_NO_ARCHIVE);
    GrfEntry* entry = nullptr;
    EXPECT_EQ(GrfFindFirst(empty, L"*.*", &entry), kNoSearch);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(entry, nullptr);
    GrfClose(&empty);

    EXPECT_EQ(GrfFindFirst(GRF_NO_ARCHIVE, L"*.*", &entry), kNoSearch);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    for (GrfSearch* bad : {static_cast<GrfSearch*>(nullptr), kNoSearch}) {
        GrfLastError = 0;
        EXPECT_EQ(GrfFindNext(bad, &entry), 0u);
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    }
}

TEST(Filter, FreeBuffer) {
    GrfLastError = 0;
    EXPECT_EQ(GrfFreeBuffer(nullptr), 0);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    GrfLastError = 0;
    EXPECT_EQ(GrfFreeBuffer(reinterpret_cast<void*>(-1)), 0);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
    EXPECT_EQ(GrfFreeBuffer(PlatformAlloc(16)), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
}

}  // namespace
