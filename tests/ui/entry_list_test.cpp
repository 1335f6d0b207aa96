// The entry list at the keyboard and the mouse: moving and extending the
// selection, Ctrl+A, Delete, Enter, clicks, the tab order, the tips and the
// status line's counts.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "entry_list.h"
#include "grf.h"
#include "program_test.h"
#include "resource.h"
#include "services.h"
#include "ui_driver.h"

namespace {

using EntryList = ProgramTest;

HWND List(const Program& program) {
    return Control(program, IDC_ENTRY_LIST);
}

// A key press on the list with a modifier held as the list reads it.
void PressListKey(const Program& program, UINT key, UINT modifier = 0) {
    HWND list = List(program);
    RunOnUiThread(program, [&] {
        BYTE keys[256];
        GetKeyboardState(keys);
        if (modifier) keys[modifier] = 0x80;
        SetKeyboardState(keys);
        SendMessageW(list, WM_KEYDOWN, key, 1);
        if (modifier) keys[modifier] = 0;
        SetKeyboardState(keys);
    });
}

// A click at the middle of row's first cell, with a modifier held.
void ClickRow(const Program& program, int row, UINT modifier = 0, UINT button = WM_LBUTTONDOWN) {
    HWND list = List(program);
    RECT item = {};
    item.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item));
    LPARAM at = MAKELPARAM(item.left + 4, (item.top + item.bottom) / 2);
    RunOnUiThread(program, [&] {
        BYTE keys[256];
        GetKeyboardState(keys);
        if (modifier) keys[modifier] = 0x80;
        SetKeyboardState(keys);
        SendMessageW(list, button, 0, at);
        if (modifier) keys[modifier] = 0;
        SetKeyboardState(keys);
    });
}

int Focused(const Program& program) {
    return static_cast<int>(
        SendMessageW(List(program), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

// The selected rows as runs (first, last), read through the list's own
// messages as any client would.
std::vector<std::pair<int, int>> Selected(const Program& program) {
    std::vector<std::pair<int, int>> runs;
    HWND list = List(program);
    for (int row = static_cast<int>(
             SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
         row >= 0;
         row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) {
        if (!runs.empty() && runs.back().second == row - 1) {
            runs.back().second = row;
        } else {
            runs.push_back({row, row});
        }
    }
    int count = 0;
    for (auto run : runs) count += run.second - run.first + 1;
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), count);
    return runs;
}

using Runs = std::vector<std::pair<int, int>>;

TEST_F(EntryList, KeysMoveAndExtendTheSelection) {
    LoadDirectly(WriteArchive(L"thirty.grf", Numbered(30)));
    FocusControl(program, IDC_ENTRY_LIST);
    struct Step {
        const char* what;
        UINT key;
        UINT modifier;
        int focus;
        Runs selected;
    };
    const Step steps[] = {
        {"Home", VK_HOME, 0, 0, {{0, 0}}},
        {"Down", VK_DOWN, 0, 1, {{1, 1}}},
        {"Shift+Down", VK_DOWN, VK_SHIFT, 2, {{1, 2}}},
        {"Shift+End", VK_END, VK_SHIFT, 29, {{1, 29}}},
        {"Shift+Home reverses from the anchor", VK_HOME, VK_SHIFT, 0, {{0, 1}}},
        {"Ctrl+End moves only the focus", VK_END, VK_CONTROL, 29, {{0, 1}}},
        {"Ctrl+Space adds the focused row", VK_SPACE, VK_CONTROL, 29, {{0, 1}, {29, 29}}},
        {"Up at the top stays", VK_HOME, 0, 0, {{0, 0}}},
        {"Up", VK_UP, 0, 0, {{0, 0}}},
        {"Ctrl+A", 'A', VK_CONTROL, 0, {{0, 29}}},
        {"End", VK_END, 0, 29, {{29, 29}}},
    };
    for (const Step& step : steps) {
        PressListKey(program, step.key, step.modifier);
        EXPECT_EQ(Focused(program), step.focus) << step.what;
        EXPECT_EQ(Selected(program), step.selected) << step.what;
    }
    EXPECT_EQ(WaitIdle(program), L"");
}

TEST_F(EntryList, ClicksSelectAsInEveryListAndTheStatusLineCounts) {
    LoadDirectly(WriteArchive(L"ten.grf", Numbered(10)));
    struct Step {
        const char* what;
        int row;
        UINT modifier;
        UINT button;
        Runs selected;
    };
    const Step steps[] = {
        {"click", 2, 0, WM_LBUTTONDOWN, {{2, 2}}},
        {"Shift+click", 5, VK_SHIFT, WM_LBUTTONDOWN, {{2, 5}}},
        {"Ctrl+click adds", 8, VK_CONTROL, WM_LBUTTONDOWN, {{2, 5}, {8, 8}}},
        {"Ctrl+click removes", 3, VK_CONTROL, WM_LBUTTONDOWN, {{2, 2}, {4, 5}, {8, 8}}},
        {"right click on a selected row keeps", 4, 0, WM_RBUTTONDOWN, {{2, 2}, {4, 5}, {8, 8}}},
        {"right click elsewhere selects it", 7, 0, WM_RBUTTONDOWN, {{7, 7}}},
    };
    for (const Step& step : steps) {
        ClickRow(program, step.row, step.modifier, step.button);
        EXPECT_EQ(Selected(program), step.selected) << step.what;
        EXPECT_EQ(Focused(program), step.row) << step.what;
        // Escape closes a context menu a right click brought up.
        WaitIdle(program, 2000);
    }
    SelectRows(program, {1, 2, 3});
    HWND status = g_statusBar;
    RunOnUiThread(program, [&] { status = g_statusBar; });
    wchar_t counts[256] = {};
    SendMessageW(status, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(counts));
    EXPECT_STREQ(counts, L"10 listed, 3 selected (3 bytes)");
}

TEST_F(EntryList, OpeningClearsTheSearchAndTheCountsSayWhatHidesRows) {
    std::vector<Content> contents = Numbered(7);
    for (int i = 0; i < 3; ++i)
        contents.push_back({"data\\sprite" + std::to_string(i) + ".spr", BytesOf("s")});
    std::wstring first = WriteArchive(L"first.grf", contents);
    std::wstring second = WriteArchive(L"second.grf", contents);
    ASSERT_EQ(Open(first), L"");
    Filter(L"*.spr");
    EXPECT_EQ(RowCount(program), 3);
    EXPECT_EQ(CountsText(program), L"3 of 10 listed (filter *.spr), 0 selected (0 bytes)");
    SetWindowTextW(Control(program, IDC_SEARCH), L"abc");
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowCount(program), 0);
    EXPECT_EQ(CountsText(program),
              L"0 of 10 listed (filter *.spr, search abc), 0 selected (0 bytes)");

    // A leftover search would hide the new archive's rows: it goes; the
    // filter, a setting, stays and says so.
    Click(program, IDC_CLOSE_GRF);
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_EQ(Open(second), L"");
    EXPECT_EQ(WindowText(Control(program, IDC_SEARCH)), L"");
    EXPECT_EQ(WindowText(Control(program, IDC_FILTER_TEXT)), L"*.spr");
    EXPECT_EQ(RowCount(program), 3);
    EXPECT_EQ(CountsText(program), L"3 of 10 listed (filter *.spr), 0 selected (0 bytes)");

    SetWindowTextW(Control(program, IDC_SEARCH), L"sprite1");
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(CountsText(program),
              L"1 of 10 listed (filter *.spr, search sprite1), 0 selected (0 bytes)");
    SetWindowTextW(Control(program, IDC_SEARCH), L"");
    Filter(L"*.*");
    EXPECT_EQ(CountsText(program), L"10 listed, 0 selected (0 bytes)");
}

TEST_F(EntryList, DeleteMarksTheSelectionAndKeepsTheView) {
    LoadDirectly(WriteArchive(L"many.grf", Numbered(300)));
    HWND list = List(program);
    SendMessageW(list, LVM_ENSUREVISIBLE, 299, FALSE);
    SendMessageW(list, LVM_ENSUREVISIBLE, 150, FALSE);
    int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    ASSERT_GT(top, 100);
    SelectRows(program, {151, 152, 153});
    FocusControl(program, IDC_ENTRY_LIST);
    PressKey(program, VK_DELETE);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), top);
    EXPECT_EQ(RowCount(program), 300);
    EXPECT_EQ(Selected(program), (Runs{{151, 153}}));
    for (int row : {150, 151, 152, 153, 154}) {
        bool deleted = row >= 151 && row <= 153;
        EXPECT_EQ(RowImage(program, row), deleted ? MARK_DELETED : MARK_NONE) << row;
    }
}

TEST_F(EntryList, EnterPreviewsTheFocusedRowWhileTheFilterBoxKeepsFilter) {
    LoadDirectly(WriteArchive(L"two.grf", Numbered(2)));
    EXPECT_EQ(SendMessageW(program.dialog, DM_GETDEFID, 0, 0),
              MAKELRESULT(IDC_FILTER, DC_HASDEFID));
    SelectRows(program, {1});
    FocusControl(program, IDC_ENTRY_LIST);
    PressKey(program, VK_RETURN);
    Settle(program);
    HWND viewer = nullptr;
    WaitUntil(
        [&] {
            viewer = FindWindowW(L"CASKWRIGHT", nullptr);
            return viewer && IsWindowVisible(viewer);
        },
        10000);
    ASSERT_NE(viewer, nullptr) << "Enter on the list opens the preview";
    PostMessageW(viewer, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(viewer); }, 10000));
}

TEST_F(EntryList, TabFollowsTheLayoutRowByRow) {
    // With an archive loaded, so the buttons that need one are on.
    LoadDirectly(WriteArchive(L"one.grf", Numbered(1)));
    const int order[] = {IDC_ENTRY_LIST, IDC_OPEN,        IDC_FILTER_TEXT, IDC_FILTER,
                         IDC_EXTRACT,    IDC_EXTRACT_ALL, IDC_ADD_GRF,     IDC_ADD_DIR,
                         IDC_REPACK,     IDC_EXIT,        IDC_SEARCH,      IDC_VERSION,
                         IDC_LEVEL,      IDC_DELETE_SEL,  IDC_CLOSE_GRF};
    std::vector<int> found;
    RunOnUiThread(program, [&] {
        HWND first = GetNextDlgTabItem(g_mainWindow, nullptr, FALSE);
        HWND at = first;
        do {
            found.push_back(GetDlgCtrlID(at));
            at = GetNextDlgTabItem(g_mainWindow, at, FALSE);
        } while (at && at != first && found.size() < 40);
    });
    std::vector<int> expected(std::begin(order), std::end(order));
    // Controls added beside the template's come after them.
    ASSERT_GE(found.size(), expected.size());
    found.resize(expected.size());
    EXPECT_EQ(found, expected);
}

void ClickHeader(const Program& program, int column) {
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = List(program);
    click.hdr.idFrom = IDC_ENTRY_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageW(program.dialog, WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&click));
}

std::vector<std::wstring> Column(const Program& program, int column) {
    std::vector<std::wstring> texts;
    for (int row = 0; row < RowCount(program); ++row)
        texts.push_back(RowTexts(program, row)[size_t(column)]);
    return texts;
}

int SortArrow(const Program& program, int column) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(List(program), LVM_GETHEADER, 0, 0));
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
}

TEST_F(EntryList, HeaderClicksSortByEachColumnBothWays) {
    // Sizes, names and table order disagree, so each column orders the rows
    // differently; "index" keeps each row's number from the filling.
    LoadDirectly(WriteArchive(L"four.grf", {{"data\\b.txt", BytesOf("bbbb")},
                                            {"data\\D.txt", BytesOf("d")},
                                            {"data\\a.txt", BytesOf("aaaaaaa")},
                                            {"data\\c.txt", BytesOf("cc")}}));
    struct Case {
        int column;
        std::vector<std::wstring> up;  // the names, ascending
    };
    const Case cases[] = {
        {5, {L"data\\a.txt", L"data\\b.txt", L"data\\c.txt", L"data\\D.txt"}},
        {2, {L"data\\D.txt", L"data\\c.txt", L"data\\b.txt", L"data\\a.txt"}},
        {3, {L"data\\b.txt", L"data\\D.txt", L"data\\a.txt", L"data\\c.txt"}},
        {0, {L"data\\b.txt", L"data\\D.txt", L"data\\a.txt", L"data\\c.txt"}},
    };
    for (const Case& c : cases) {
        ClickHeader(program, c.column);
        EXPECT_EQ(Column(program, 5), c.up) << "column " << c.column;
        EXPECT_EQ(SortArrow(program, c.column), HDF_SORTUP);
        ClickHeader(program, c.column);
        std::vector<std::wstring> down(c.up.rbegin(), c.up.rend());
        EXPECT_EQ(Column(program, 5), down) << "column " << c.column << " again";
        EXPECT_EQ(SortArrow(program, c.column), HDF_SORTDOWN);
        for (int other = 0; other < 6; ++other) {
            if (other != c.column) {
                EXPECT_EQ(SortArrow(program, other), 0);
            }
        }
    }
    // Rows keep their numbers from the filling whatever the order.
    ClickHeader(program, 5);
    EXPECT_EQ(Column(program, 0), (std::vector<std::wstring>{L"2", L"0", L"3", L"1"}));
    SaveScreenshot(program.dialog, L"main-sorted");
}

// The names of the selected rows, in row order.
std::vector<std::wstring> SelectedNames(const Program& program) {
    std::vector<std::wstring> names;
    for (auto run : Selected(program))
        for (int row = run.first; row <= run.second; ++row)
            names.push_back(RowTexts(program, row)[5]);
    return names;
}

// Control bytes in a name show as visible symbols, never raw.
TEST_F(EntryList, ControlBytesInNamesShowAsSymbols) {
    LoadDirectly(WriteArchive(L"hostile.grf", {{"data\\a\x1B[31mb\x07.txt", BytesOf("a")},
                                               {"data\\line\nbreak\x7F.txt", BytesOf("b")}}));
    ASSERT_EQ(RowCount(program), 2);
    EXPECT_EQ(RowTexts(program, 0)[5], L"data\\a\u241B[31mb\u2407.txt");
    EXPECT_EQ(RowTexts(program, 1)[5], L"data\\line\u240Abreak\u2421.txt");
}

TEST_F(EntryList, SortingAndFilteringKeepTheSelectedRowsSelected) {
    LoadDirectly(WriteArchive(L"five.grf", {{"data\\e.txt", BytesOf("e")},
                                            {"data\\b.spr", BytesOf("b")},
                                            {"data\\d.txt", BytesOf("d")},
                                            {"data\\a.spr", BytesOf("a")},
                                            {"data\\c.txt", BytesOf("c")}}));
    SelectRows(program, {0, 1, 3});  // e.txt, b.spr, a.spr
    const std::vector<std::wstring> chosen = {L"data\\e.txt", L"data\\b.spr", L"data\\a.spr"};
    ASSERT_EQ(SelectedNames(program), chosen);

    ClickHeader(program, 5);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(SelectedNames(program),
              (std::vector<std::wstring>{L"data\\a.spr", L"data\\b.spr", L"data\\e.txt"}));
    EXPECT_EQ(Selected(program), (Runs{{0, 1}, {4, 4}}));
    ClickHeader(program, 5);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(Selected(program), (Runs{{0, 0}, {3, 4}}));
    EXPECT_NE(CountsText(program).find(L", 3 selected ("), std::wstring::npos)
        << Narrow(CountsText(program));

    // The filter keeps those it still lists; back to every name, they are
    // the ones it kept.
    Filter(L"*.spr");
    EXPECT_EQ(SelectedNames(program), (std::vector<std::wstring>{L"data\\b.spr", L"data\\a.spr"}));
    Filter(L"*.*");
    EXPECT_EQ(SelectedNames(program), (std::vector<std::wstring>{L"data\\b.spr", L"data\\a.spr"}));
}

TEST_F(EntryList, TheSearchBoxNarrowsAsYouTypeOverWholePathsWithKoreanText) {
    const std::string korean = "\xB8\xF3\xBD\xBA\xC5\xCD";  // three syllables
    LoadDirectly(WriteArchive(L"mixed.grf", {{"data\\sprite\\" + korean + "\\A.spr", BytesOf("a")},
                                             {"data\\sprite\\b.spr", BytesOf("b")},
                                             {"data\\texture\\" + korean + ".bmp", BytesOf("c")},
                                             {"data\\Texture\\d.bmp", BytesOf("d")}}));
    // Ctrl+F goes to the search box from anywhere in the window.
    FocusControl(program, IDC_ENTRY_LIST);
    HWND list = List(program);
    RunOnUiThread(program, [&] {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
    });
    PostMessageW(list, WM_KEYDOWN, 'F', 1);
    Settle(program);
    HWND focus = nullptr;
    RunOnUiThread(program, [&] {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
        focus = GetFocus();
    });
    HWND box = Control(program, IDC_SEARCH);
    EXPECT_EQ(focus, box);

    const std::wstring name = L"\uBAAC\uC2A4\uD130";  // the same three, as the list shows them
    const std::wstring a = L"data\\sprite\\" + name + L"\\A.spr";
    const std::wstring b = L"data\\sprite\\b.spr";
    const std::wstring c = L"data\\texture\\" + name + L".bmp";
    const std::wstring d = L"data\\Texture\\d.bmp";
    struct Step {
        std::wstring typed;
        std::vector<std::wstring> names;
    };
    const std::vector<Step> steps = {
        // One letter at a time, as typed; "/" stands for "\\".
        {L"t", {a, b, c, d}},  {L"tex", {c, d}},
        {L"tEXture/", {c, d}}, {L"TURE/" + name.substr(0, 1), {c}},
        {name, {a, c}},        {name + L"\\a", {a}},
        {L"\u00e9", {}},  // no name can hold it
        {L"", {a, b, c, d}},
    };
    for (const Step& step : steps) {
        SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.typed.c_str()));
        EXPECT_EQ(Column(program, 5), step.names) << Narrow(step.typed);
    }
    // The wildcard filter and the search combine.
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"sprite"));
    Filter(L"*.spr");
    EXPECT_EQ(RowCount(program), 2);
    Filter(L"b*");
    EXPECT_EQ(Column(program, 5), (std::vector<std::wstring>{L"data\\sprite\\b.spr"}));
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x"));
    EXPECT_EQ(RowCount(program), 0) << "data\\sprite\\b.spr has no x";
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"s"));
    SaveScreenshot(program.dialog, L"main-search");
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (auto* chars = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr) {
        text = chars;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// Opens the rows' menu from the keyboard and picks the item of mnemonic key.
std::vector<std::wstring> PickFromRowMenu(const Program& program, wchar_t key) {
    auto open = [&] {
        PostMessageW(List(program), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List(program)),
                     MAKELPARAM(-1, -1));
    };
    std::vector<std::wstring> items = PickFromMenu(program, open, key);
    EXPECT_FALSE(items.empty()) << "the rows' menu came up";
    return items;
}

TEST_F(EntryList, TheRowMenuPreviewsExtractsDeletesAndCopiesNames) {
    LoadDirectly(WriteArchive(L"three.grf", Numbered(3)));
    SelectRows(program, {0, 2});
    std::vector<std::wstring> items = PickFromRowMenu(program, L'c');
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(items, (std::vector<std::wstring>{L"&Preview\tEnter", L"&Extract", L"Extract &to...",
                                                L"", L"&Delete\tDel", L"&Copy name"}));
    EXPECT_EQ(ClipboardText(), L"data\\file0.txt\r\ndata\\file2.txt");

    // Extract to... asks for the folder; Extract then goes there at once.
    std::wstring first = dir.Join(L"first");
    ASSERT_TRUE(MakeDirectory(first));
    PickFromRowMenu(program, L't');
    ASSERT_TRUE(ChooseFolder(program, first, nullptr));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(GetFileAttributesW((first + L"\\data\\file2.txt").c_str()) != INVALID_FILE_ATTRIBUTES,
              true);
    SelectRows(program, {1});
    PickFromRowMenu(program, L'e');
    ASSERT_EQ(WaitIdle(program), L"") << "no folder asked for";
    EXPECT_NE(GetFileAttributesW((first + L"\\data\\file1.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    PickFromRowMenu(program, L'd');
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowImage(program, 1), MARK_DELETED);
    EXPECT_EQ(RowImage(program, 0), MARK_NONE);

    SelectRows(program, {2});
    PickFromRowMenu(program, L'p');
    HWND viewer = nullptr;
    WaitUntil(
        [&] {
            viewer = FindWindowW(L"CASKWRIGHT", nullptr);
            return viewer && IsWindowVisible(viewer);
        },
        10000);
    ASSERT_NE(viewer, nullptr) << "Preview opens the viewer";
    PostMessageW(viewer, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(viewer); }, 10000));
}

}  // namespace
