// The name filter: the wildcard match behind the platform layer (one table
// for both platforms: the shell's match on Windows, ours elsewhere) and the
// find-first/find-next walk over the table.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>

#include <functional>
#include <string>
#include <vector>

#include "engine_test_util.h"
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

GrfSearch* const kNoSearch = reinterpret_cast<GrfSearch*>(-1);

// Every record found for pattern, in order, by name; checks the codes.
Names Walk(GrfArchive* archive, const wchar_t* pattern) {
    Names found;
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

TEST(Filter, WalksTheTableInOrder) {
    Names names = {"data\\texture\\a.bmp", "data\\c.spr",     "readme",
                   "data\\b.BMP",          "data\\x.bmp.txt", "data\\sprite\\d.spr"};
    ArchiveOnDisk table(BuildArchive(0x200, Named(names, "f")));
    table.archive->entries[1].state = GRF_ENTRY_DELETED;
    struct Case {
        const wchar_t* pattern;
        Names found;
    } cases[] = {
        {L"*.*", names},  // deleted records included
        {L"*.bmp", {"data\\texture\\a.bmp", "data\\b.BMP"}},
        {L"*.spr", {"data\\c.spr", "data\\sprite\\d.spr"}},
        {L"?.spr", {"data\\c.spr", "data\\sprite\\d.spr"}},
        {L"texture\\*.bmp", {}},  // folders are never compared
        {L"*\\a.bmp", {}},
        {L"*.gat", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Walk(table.archive, c.pattern), c.found) << Narrow(c.pattern);
}

TEST(Filter, FoundMayBeNullAndTheSearchSurvivesGrowth) {
    ArchiveOnDisk table(
        BuildArchive(0x200, Named({"data\\a.bmp", "data\\b.txt", "data\\c.bmp"}, "f")));
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

// Searches that cannot start or go on, and blocks that cannot be freed: the
// failed result, and the code left.
TEST(Filter, FailuresAndTheirCodes) {
    GrfArchive* empty = GrfCreate(L"empty.grf");
    ASSERT_NE(empty, GRF_NO_ARCHIVE);
    GrfEntry* entry = nullptr;
    struct Case {
        const char* what;
        std::function<bool()> fails;
        uint32_t code;
    } cases[] = {
        {"first in an empty table",
         [&] { return GrfFindFirst(empty, L"*.*", &entry) == kNoSearch; }, GRF_ERROR_NOT_FOUND},
        {"first in no archive",
         [&] { return GrfFindFirst(GRF_NO_ARCHIVE, L"*.*", &entry) == kNoSearch; },
         GRF_ERROR_HANDLE},
        {"next of a null search", [&] { return GrfFindNext(nullptr, &entry) == 0; },
         GRF_ERROR_HANDLE},
        {"next of no search", [&] { return GrfFindNext(kNoSearch, &entry) == 0; },
         GRF_ERROR_HANDLE},
        {"free null", [] { return GrfFreeBuffer(nullptr) == 0; }, GRF_ERROR_HANDLE},
        {"free -1", [] { return GrfFreeBuffer(reinterpret_cast<void*>(-1)) == 0; },
         GRF_ERROR_HANDLE},
    };
    for (const Case& c : cases) {
        GrfLastError = 12345;
        EXPECT_TRUE(c.fails()) << c.what;
        EXPECT_EQ(GrfLastError, c.code) << c.what;
    }
    EXPECT_EQ(entry, nullptr) << "nothing stored through found";
    GrfClose(&empty);

    GrfLastError = 12345;
    EXPECT_EQ(GrfFreeBuffer(PlatformAlloc(16)), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
}

}  // namespace
