// The entry view without a window: filling through the filter, the search,
// the folders, the sort and the selection carried across them.
#include <gtest/gtest.h>

#include <string.h>

#include <iterator>
#include <string>
#include <vector>

#include "entry_view.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

RawRecord Record(const std::string& name, uint32_t realSize = 100, uint32_t alignedSize = 8,
                 uint64_t offset = 0) {
    RawRecord record;
    record.name = name;
    record.compressedSize = alignedSize;
    record.alignedSize = alignedSize;
    record.realSize = realSize;
    record.offset = offset;
    return record;
}

// An archive of the records (directory only: the view never reads data),
// loaded into the view's slot.
struct ViewFixture {
    TempDir dir;
    GrfArchive* archive = GRF_NO_ARCHIVE;
    EntryView view;

    explicit ViewFixture(const std::vector<RawRecord>& records) { Load(records, L"a.grf"); }
    ~ViewFixture() { GrfClose(&archive); }

    void Load(const std::vector<RawRecord>& records, const std::wstring& name) {
        Bytes bytes = BuildHeader(0, 0, uint32_t(records.size()) + 7, 0x200);
        Bytes directory = BuildV2Directory(BuildV2Table(records), 1);
        bytes.insert(bytes.end(), directory.begin(), directory.end());
        std::wstring path = dir.Join(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        GrfClose(&archive);
        archive = GrfOpen(path.c_str(), nullptr);
        EXPECT_NE(archive, GRF_NO_ARCHIVE);
        ResetView(&view, &archive);
    }

    bool Fill(const wchar_t* pattern = L"*.*", bool keep = false, int* focus = nullptr) {
        int none = -1;
        return FillView(&view, pattern, keep, focus ? focus : &none);
    }

    // The shown rows' names, in display order.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (uint32_t row = 0; row < ShownRowCount(view); ++row) {
            const GrfEntry* entry = ShownEntry(view, row);
            names.push_back(entry ? entry->name : "(none)");
        }
        return names;
    }

    std::vector<std::string> SelectedNames() const {
        std::vector<std::string> names;
        for (const RowRun& run : view.selection.runs)
            for (uint32_t row = run.first; row < run.last; ++row)
                names.push_back(ShownEntry(view, row)->name);
        return names;
    }

    int RowOf(const std::string& name) const {
        for (uint32_t row = 0; row < ShownRowCount(view); ++row)
            if (name == ShownEntry(view, row)->name) return int(row);
        return -1;
    }

    void Select(const std::vector<std::string>& names) {
        ClearRows(&view.selection);
        for (const std::string& name : names) {
            int row = RowOf(name);
            ASSERT_GE(row, 0) << name;
            SetRowsSelected(&view.selection, uint32_t(row), uint32_t(row) + 1, true);
        }
    }
};

using Names = std::vector<std::string>;

TEST(EntryView, FillsTheMatchingNamesInTableOrder) {
    ViewFixture f(
        {Record("data\\b.spr"), Record("data\\a.act"), Record("c.SPR"), Record("sprite\\d.bmp")});
    struct Case {
        const wchar_t* pattern;
        Names names;
    };
    const Case cases[] = {
        {L"*.*", {"data\\b.spr", "data\\a.act", "c.SPR", "sprite\\d.bmp"}},
        {L"", {"data\\b.spr", "data\\a.act", "c.SPR", "sprite\\d.bmp"}},
        {L"*.spr", {"data\\b.spr", "c.SPR"}},
        {L"*.spr;*.bmp", {"data\\b.spr", "c.SPR", "sprite\\d.bmp"}},
        // Only the part after the last backslash is matched.
        {L"data*", {}},
        {L"?.act", {"data\\a.act"}},
    };
    for (const Case& c : cases) {
        bool found = f.Fill(c.pattern);
        EXPECT_EQ(found, !c.names.empty()) << Narrow(c.pattern);
        EXPECT_EQ(f.Names(), c.names) << Narrow(c.pattern);
        EXPECT_EQ(FillingPosition(f.view, 0), 0u);
        EXPECT_EQ(ViewTotal(f.view), 4u);
    }
}

TEST(EntryView, RowsNameNoEntryOnceAnotherArchiveIsLoaded) {
    ViewFixture f({Record("a.txt"), Record("b.txt")});
    ASSERT_TRUE(f.Fill());
    ASSERT_NE(EntryOfShownRow(f.view, 1), nullptr);
    EXPECT_STREQ(EntryOfShownRow(f.view, 1)->name, "b.txt");
    EXPECT_EQ(EntryOfShownRow(f.view, 2), nullptr);
    EXPECT_EQ(EntryOfShownRow(f.view, -1), nullptr);

    GrfArchive* first = f.archive;
    f.archive = GRF_NO_ARCHIVE;
    EXPECT_EQ(EntryOfShownRow(f.view, 0), nullptr);
    EXPECT_EQ(ShownEntry(f.view, 0), nullptr);
    EXPECT_EQ(ViewTotal(f.view), 0u);
    // Nothing loaded: the filling finds nothing and the view is empty.
    EXPECT_FALSE(f.Fill());
    EXPECT_EQ(ShownRowCount(f.view), 0u);
    GrfClose(&first);
}

TEST(EntryView, SearchNarrowsAndWidensWithoutRegardToAsciiCase) {
    // \x81\x61 is one double-byte character whose second byte is 'a'.
    ViewFixture f({Record("data\\Sprite\\mon.spr"), Record("data\\texture\\a.bmp"),
                   Record("data\\\x81\x61.txt"), Record("SPRITE.txt")});
    f.Fill();
    struct Case {
        const wchar_t* typed;
        Names names;
    };
    const Case cases[] = {
        {L"sprite", {"data\\Sprite\\mon.spr", "SPRITE.txt"}},
        {L"sprite/", {"data\\Sprite\\mon.spr"}},      // narrowing on
        {L"SPRITE\\MON", {"data\\Sprite\\mon.spr"}},  // another needle: from all rows
        {L"",
         {"data\\Sprite\\mon.spr", "data\\texture\\a.bmp", "data\\\x81\x61.txt", "SPRITE.txt"}},
        // The second byte of a double-byte character is no letter.
        {L"\\a", {"data\\texture\\a.bmp"}},
        {L"\uAC02", {}},  // not the character above
        // A character code page 949 lacks is in no name.
        {L"\u0E01", {}},
    };
    for (const Case& c : cases) {
        SearchView(&f.view, c.typed);
        EXPECT_EQ(f.Names(), c.names) << Narrow(c.typed);
        EXPECT_EQ(f.view.typed, c.typed);
    }
    // The same search again changes nothing.
    EXPECT_FALSE(SearchView(&f.view, L"\u0E01"));
    EXPECT_TRUE(SearchView(&f.view, L"tXt"));
    EXPECT_EQ(f.Names(), (Names{"data\\\x81\x61.txt", "SPRITE.txt"}));
    // A new filling keeps the search.
    f.Fill(L"*.txt");
    EXPECT_EQ(f.Names(), (Names{"data\\\x81\x61.txt", "SPRITE.txt"}));
    ClearViewSearch(&f.view);
    f.Fill();
    EXPECT_EQ(ShownRowCount(f.view), 4u);
}

TEST(EntryView, NameMatchesKeepDoubleByteCharactersWhole) {
    struct Case {
        const char* name;
        const char* part;
        bool contains;
        bool inFolder;
    };
    const Case cases[] = {
        {"data\\x.spr", "DATA\\", true, true},
        {"data\\x.spr", "x.SPR", true, false},
        {"data", "data\\", false, false},
        {"\x81\x61\\x", "\x81\x61\\", true, true},
        {"\x81\x41\\x", "\x81\x61\\", false, false},  // second bytes compare exactly
        {"\x81\x61\\x", "a", false, false},
        {"\x81\x61"
         "a",
         "A", true, false},
        {"", "", true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NameContains(c.name, c.part), c.contains) << c.name << " / " << c.part;
        EXPECT_EQ(NameInFolder(c.name, c.part), c.inFolder) << c.name << " / " << c.part;
    }
}

TEST(EntryView, SortsByEachColumnKeepingTheFillingsOrderForEqualKeys) {
    // Names past 32 and 64 bytes that agree that far, and names equal but
    // for case.
    std::string longA(70, 'x'), longB(70, 'x');
    longA += "a";
    longB += "B";
    ViewFixture f({Record("b.txt", 300, 16, 32), Record("A.txt", 100, 24, 16),
                   Record("a.TXT", 200, 8, 0), Record(longB, 100, 16, 8), Record(longA, 400, 8, 48),
                   Record("c", 100, 8, 24)});
    f.Fill();
    struct Case {
        int column;
        Names names;
    };
    const Case cases[] = {
        {VIEW_COLUMN_NAME, {"A.txt", "a.TXT", "b.txt", "c", longA, longB}},
        {VIEW_COLUMN_NAME, {longB, longA, "c", "b.txt", "a.TXT", "A.txt"}},  // again: reversed
        {VIEW_COLUMN_FILE_SIZE, {"A.txt", longB, "c", "a.TXT", "b.txt", longA}},
        {VIEW_COLUMN_FILE_SIZE, {longA, "b.txt", "a.TXT", "A.txt", longB, "c"}},
        {VIEW_COLUMN_COMP_SIZE, {"a.TXT", longA, "c", "b.txt", longB, "A.txt"}},
        {VIEW_COLUMN_OFFSET, {"a.TXT", longB, "A.txt", "c", "b.txt", longA}},
        {VIEW_COLUMN_INDEX, {"b.txt", "A.txt", "a.TXT", longB, longA, "c"}},
        {VIEW_COLUMN_INDEX, {"c", longA, longB, "a.TXT", "A.txt", "b.txt"}},
    };
    for (const Case& c : cases) {
        int focus = -1;
        EXPECT_TRUE(SortView(&f.view, c.column, &focus));
        EXPECT_EQ(f.Names(), c.names) << "column " << c.column;
    }
    // A search narrows the sorted rows and keeps their order.
    SearchView(&f.view, L"txt");
    EXPECT_EQ(f.Names(), (Names{"a.TXT", "A.txt", "b.txt"}));
    EXPECT_EQ(FillingPosition(f.view, 0), 2u);
    EXPECT_FALSE(SortView(&f.view, VIEW_COLUMN_COUNT, nullptr));
}

TEST(EntryView, SortAndFilterKeepTheSelectionFocusAndAnchor) {
    ViewFixture f({Record("d.spr", 1), Record("c.act", 2), Record("b.spr", 4), Record("a.spr", 8)});
    f.Fill();
    f.Select({"d.spr", "b.spr", "c.act"});
    f.view.selection.anchor = f.RowOf("b.spr");
    EXPECT_EQ(SelectedBytes(f.view), 7u);
    int focus = f.RowOf("c.act");
    ASSERT_TRUE(SortView(&f.view, VIEW_COLUMN_NAME, &focus));
    EXPECT_EQ(f.Names(), (Names{"a.spr", "b.spr", "c.act", "d.spr"}));
    EXPECT_EQ(f.SelectedNames(), (Names{"b.spr", "c.act", "d.spr"}));
    EXPECT_EQ(f.view.selection.runs.size(), 1u);
    EXPECT_EQ(f.view.selection.count, 3u);
    EXPECT_EQ(focus, 2);
    EXPECT_EQ(f.view.selection.anchor, 1);
    EXPECT_EQ(SelectedBytes(f.view), 7u);

    // The Filter keeps the selected entries it still lists, and the sort.
    focus = f.RowOf("c.act");
    ASSERT_TRUE(f.Fill(L"*.spr", true, &focus));
    EXPECT_EQ(f.Names(), (Names{"a.spr", "b.spr", "d.spr"}));
    EXPECT_EQ(f.SelectedNames(), (Names{"b.spr", "d.spr"}));
    EXPECT_EQ(focus, -1);
    EXPECT_EQ(SelectedBytes(f.view), 5u);
    focus = f.RowOf("d.spr");
    ASSERT_TRUE(f.Fill(L"*.*", true, &focus));
    EXPECT_EQ(f.SelectedNames(), (Names{"b.spr", "d.spr"}));
    EXPECT_EQ(focus, f.RowOf("d.spr"));
    // A refresh selects nothing; so do the search and the folder.
    focus = 0;
    f.Fill(L"*.*", false, &focus);
    EXPECT_EQ(f.view.selection.count, 0u);
    EXPECT_EQ(focus, -1);
    f.Select({"a.spr"});
    SearchView(&f.view, L"a");
    EXPECT_EQ(f.view.selection.count, 0u);
    EXPECT_EQ(SelectedBytes(f.view), 0u);
}

TEST(EntryView, CountsFoldersAndKeepsTheChosenOneWhileItHoldsEntries) {
    ViewFixture f({Record("data\\sprite\\a.spr"), Record("Data\\Sprite\\b.spr"),
                   Record("data\\texture\\c.bmp"), Record("readme.txt"),
                   Record("data\\\x81\x61\\d.txt")});
    f.Fill();
    EXPECT_TRUE(f.view.folders.empty());
    CountViewFolders(&f.view, true);
    struct Expected {
        const char* path;
        uint32_t count;
        uint32_t parent;
        const char* sortKey;
    };
    // Folders differing in case are one, spelled as the first name has it.
    const Expected expected[] = {{"", 5, 0, ""},
                                 {"data\\", 4, 0, "DATA\\"},
                                 {"data\\sprite\\", 2, 1, "SPRITE\\"},
                                 {"data\\texture\\", 1, 1, "TEXTURE\\"},
                                 {"data\\\x81\x61\\", 1, 1, "\x81\x61\\"}};
    ASSERT_EQ(f.view.folders.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const ViewFolder& folder = f.view.folders[i];
        EXPECT_EQ(folder.path, expected[i].path);
        EXPECT_EQ(folder.count, expected[i].count) << folder.path;
        EXPECT_EQ(folder.parent, expected[i].parent) << folder.path;
        EXPECT_EQ(folder.sortKey, expected[i].sortKey) << folder.path;
    }
    EXPECT_EQ(f.view.folders[0].children, (std::vector<uint32_t>{1}));

    ShowViewFolder(&f.view, "DATA\\SPRITE\\");
    EXPECT_EQ(f.Names(), (Names{"data\\sprite\\a.spr", "Data\\Sprite\\b.spr"}));
    // A new filling counts again; the folder stays chosen, spelled as counted.
    f.Fill(L"*.spr");
    EXPECT_EQ(f.view.folder, "data\\sprite\\");
    EXPECT_EQ(ChosenFolderIndex(f.view), 2u);
    EXPECT_EQ(f.view.folders[0].count, 2u);
    EXPECT_EQ(f.Names(), (Names{"data\\sprite\\a.spr", "Data\\Sprite\\b.spr"}));
    // Once it holds nothing, every folder shows again.
    f.Fill(L"*.bmp");
    EXPECT_EQ(f.view.folder, "");
    EXPECT_EQ(f.Names(), (Names{"data\\texture\\c.bmp"}));
    EXPECT_FALSE(f.Fill(L"*.none"));
    EXPECT_EQ(f.view.folders.size(), 1u);
    EXPECT_EQ(f.view.folders[0].count, 0u);

    // Counting stops with the tree hidden: the folder goes, and the rows
    // show whole.
    f.Fill();
    ShowViewFolder(&f.view, "data\\texture\\");
    EXPECT_EQ(ShownRowCount(f.view), 1u);
    EXPECT_TRUE(CountViewFolders(&f.view, false));
    EXPECT_EQ(ShownRowCount(f.view), 5u);
    EXPECT_TRUE(f.view.folders.empty());
    EXPECT_FALSE(CountViewFolders(&f.view, false));
}

TEST(EntryView, LoadingRowsShowTheTableAsReadAndAreForLookingAtOnly) {
    ViewFixture f({Record("old.txt")});
    f.Fill();
    SearchView(&f.view, L"zzz");
    int focus = -1;
    SortView(&f.view, VIEW_COLUMN_NAME, &focus);
    GrfEntry table[3] = {};
    strcpy(table[0].name, "b");
    strcpy(table[1].name, "a");
    strcpy(table[2].name, "c");
    table[0].realSize = 5;
    EXPECT_TRUE(AddViewLoadingRows(&f.view, table, 2));
    EXPECT_TRUE(ViewLoading(f.view));
    // In table order, whatever the search or the sort.
    EXPECT_EQ(f.Names(), (Names{"b", "a"}));
    EXPECT_EQ(EntryOfShownRow(f.view, 0), nullptr);
    EXPECT_EQ(ViewTotal(f.view), 0u);
    SetRowsSelected(&f.view.selection, 0, 1, true);
    EXPECT_FALSE(AddViewLoadingRows(&f.view, table, 3));
    EXPECT_EQ(f.Names(), (Names{"b", "a", "c"}));
    EXPECT_EQ(f.view.selection.count, 1u);
    EXPECT_EQ(SelectedBytes(f.view), 5u);
    EXPECT_FALSE(SortView(&f.view, VIEW_COLUMN_NAME, &focus));
    EXPECT_TRUE(f.view.descending);

    EXPECT_TRUE(EndViewLoading(&f.view));
    EXPECT_EQ(ShownRowCount(f.view), 0u);
    EXPECT_FALSE(EndViewLoading(&f.view));
    // Another table restarts the rows; a filling ends them.
    AddViewLoadingRows(&f.view, table, 1);
    EXPECT_TRUE(AddViewLoadingRows(&f.view, table + 1, 1));
    EXPECT_EQ(f.Names(), (Names{"a"}));
    ClearViewSearch(&f.view);
    f.Fill();
    EXPECT_FALSE(ViewLoading(f.view));
    EXPECT_EQ(f.Names(), (Names{"old.txt"}));
}

}  // namespace
