// The main window as a user meets it: start-up state, the command table's
// own commands (Filter, Close Grf, Exit), keys, the system menu and About
// box, tooltips, the entry list's rows, marks and status line, and the
// shared services (strings, error box, title, status repaint rule).
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "entry_list.h"
#include "grf.h"
#include "grf_builder.h"
#include "preview.h"
#include "program_test.h"
#include "resource.h"
#include "services.h"
#include "test_support.h"
#include "ui_driver.h"

namespace {

const wchar_t TEMPLATE_CAPTION[] = L"Caskwright 1.0 - by the Caskwright developers";

using MainWindow = ProgramTest;

// The program's result once it has ended by itself; 99 while it runs on.
DWORD EndCode(const Program& program) {
    DWORD code = 99;
    if (WaitForSingleObject(program.thread, 10000) == WAIT_OBJECT_0) {
        GetExitCodeThread(program.thread, &code);
    }
    return code;
}

TEST_F(MainWindow, StartsReadyWithTheTemplateCaptionAndDefaults) {
    EXPECT_EQ(WindowText(program.dialog), TEMPLATE_CAPTION);
    EXPECT_EQ(StatusText(program), L"Ready");
    EXPECT_EQ(ComboSelection(program, IDC_VERSION), L"0x103");
    EXPECT_EQ(ComboSelection(program, IDC_LEVEL), L"Medium");
    EXPECT_EQ(WindowText(Control(program, IDC_FILTER_TEXT)), L"*.*");
    EXPECT_EQ(RowCount(program), 0);
    EXPECT_NE(SendMessageW(program.dialog, WM_GETICON, ICON_BIG, 0), 0);
    // Both lists hold their items in order.
    const std::vector<std::pair<int, std::vector<std::wstring>>> lists = {
        {IDC_LEVEL, {L"Low", L"Medium", L"High"}},
        {IDC_VERSION, {L"0x102", L"0x103", L"0x200", L"0x300"}},
    };
    for (const auto& [id, items] : lists) EXPECT_EQ(ComboItems(Control(program, id)), items);
    // The list's columns: their headers, and all six across the list without
    // scrolling sideways, even with the scroll bar of a long list beside them.
    const std::wstring headers[] = {L"index",  L"comp size", L"file size",
                                    L"offset", L"c",         L"filename"};
    HWND list = Control(program, IDC_ENTRY_LIST);
    int across = 0;
    for (int i = 0; i < 6; ++i) {
        wchar_t header[64] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = header;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(header, headers[i]);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
        across += column.cx;
    }
    RECT client = {};
    GetClientRect(list, &client);
    EXPECT_LE(across, client.right - GetSystemMetrics(SM_CXVSCROLL));
    HWND headerBar = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(headerBar, HDM_GETITEMCOUNT, 0, 0), 6);
    DWORD extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended, static_cast<DWORD>(LVS_EX_FULLROWSELECT));
    std::wstring shot = SaveScreenshot(program.dialog, L"main-empty");
    EXPECT_NE(shot, L"") << "screenshot of the empty main window";
}

// Without an archive the buttons that act on one are off (Close Grf too);
// Open, Add Grf and Add Dir start one, and Filter sets its pattern.
TEST_F(MainWindow, ButtonsThatNeedAnArchiveAreOffWithoutOne) {
    const int needing[] = {IDC_EXTRACT, IDC_EXTRACT_ALL, IDC_REPACK, IDC_DELETE_SEL, IDC_CLOSE_GRF};
    const int starting[] = {IDC_OPEN, IDC_ADD_GRF, IDC_ADD_DIR, IDC_FILTER, IDC_EXIT};
    auto expectLoaded = [&](bool loaded, const char* when) {
        for (int id : needing)
            EXPECT_EQ(IsWindowEnabled(Control(program, id)), loaded) << id << when;
        for (int id : starting) EXPECT_TRUE(IsWindowEnabled(Control(program, id))) << id << when;
    };
    expectLoaded(false, " at start");
    ASSERT_EQ(Open(WriteArchive(L"two.grf", Numbered(2))), L"");
    expectLoaded(true, " once opened");
    Click(program, IDC_CLOSE_GRF);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - none");
    expectLoaded(false, " after Close Grf");
}

TEST_F(MainWindow, CloseGrfUnloadsTheArchive) {
    LoadDirectly(WriteArchive(L"two.grf", Numbered(2)));
    ASSERT_EQ(RowCount(program), 2);
    Click(program, IDC_CLOSE_GRF);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowCount(program), 0);
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - none");
    EXPECT_EQ(LoadedArchive(program), GRF_NO_ARCHIVE);
}

TEST_F(MainWindow, EscapeIsIgnoredAndExitEndsTheDialog) {
    FocusControl(program, IDC_ENTRY_LIST);
    PressKey(program, VK_ESCAPE);
    ASSERT_EQ(WaitIdle(program), L"");
    FocusControl(program, IDC_FILTER_TEXT);
    PressKey(program, VK_ESCAPE);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_TRUE(IsWindowVisible(program.dialog));

    Click(program, IDC_EXIT);
    EXPECT_EQ(EndCode(program), 0u);
}

TEST_F(MainWindow, TheCloseBoxEndsTheDialogWithZero) {
    PostMessageW(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(EndCode(program), 0u);
}

TEST_F(MainWindow, TypingAPatternAndEnterFiltersWithRowsNumberedFromZero) {
    LoadDirectly(WriteArchive(L"mixed.grf", {{"data\\a.txt", BytesOf("a")},
                                             {"data\\texture\\b.bmp", BytesOf("bb")},
                                             {"data\\c.txt", BytesOf("ccc")},
                                             {"data\\d.BMP", BytesOf("dddd")}}));
    ASSERT_EQ(RowCount(program), 4);
    FocusControl(program, IDC_FILTER_TEXT);
    TypeText(program, L"*.bmp");
    PressKey(program, VK_RETURN);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(WindowText(Control(program, IDC_FILTER_TEXT)), L"*.bmp");
    ASSERT_EQ(RowCount(program), 2);
    EXPECT_EQ(RowTexts(program, 0)[0], L"0");
    EXPECT_EQ(RowTexts(program, 0)[5], L"data\\texture\\b.bmp");
    EXPECT_EQ(RowTexts(program, 1)[0], L"1");
    EXPECT_EQ(RowTexts(program, 1)[5], L"data\\d.BMP");

    // An empty box lists everything, like "*.*", and stays empty.
    Filter(L"");
    EXPECT_EQ(RowCount(program), 4);
    EXPECT_EQ(WindowText(Control(program, IDC_FILTER_TEXT)), L"");
    Filter(L"*.none");
    EXPECT_EQ(RowCount(program), 0);
}

TEST_F(MainWindow, TypingARowNumberInTheListGoesToThatRow) {
    LoadDirectly(WriteArchive(L"thirty.grf", Numbered(30)));
    HWND list = Control(program, IDC_ENTRY_LIST);
    FocusControl(program, IDC_ENTRY_LIST);
    TypeText(program, L"12");
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 12);
    // The user's pause is what is tested here, not a wait for the program:
    // after a second without typing the list starts a new search.
    Sleep(1500);
    TypeText(program, L"x");
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 12)
        << "no row number starts with x";
}

TEST_F(MainWindow, FilterWithNothingLoadedEmptiesTheListAndKeepsTheStatus) {
    RunOnUiThread(program, [] { SetStatusText(L"left as it was"); });
    Click(program, IDC_FILTER);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowCount(program), 0);
    EXPECT_EQ(StatusText(program), L"left as it was");
}

TEST_F(MainWindow, AboutIsTheLastSystemMenuItemAndShowsTheAboutBox) {
    HMENU menu = GetSystemMenu(program.dialog, FALSE);
    int count = GetMenuItemCount(menu);
    ASSERT_GT(count, 1);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(ID_ABOUT));
    wchar_t text[128] = {};
    GetMenuStringW(menu, count - 1, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&About Caskwright...");
    // Without a separator before it.
    MENUITEMINFOW before = {};
    before.cbSize = sizeof(before);
    before.fMask = MIIM_FTYPE;
    GetMenuItemInfoW(menu, count - 2, TRUE, &before);
    EXPECT_FALSE(before.fType & MFT_SEPARATOR);

    // Choosing the item sends its command.
    PostMessageW(program.dialog, WM_SYSCOMMAND, ID_ABOUT, 0);
    Box about;
    ASSERT_TRUE(WaitForBox(program, &about, L"About"));
    std::wstring shot = SaveScreenshot(about.window, L"about-box");
    EXPECT_NE(shot, L"");
    const std::wstring last = L"Supported preview: BMP, TGA, JPG, SPR, ACT, PAL, GAT, WAV, text";
    ASSERT_GE(about.text.size(), last.size());
    EXPECT_EQ(about.text.substr(about.text.size() - last.size()), last);
    // Every kind the viewer shows is named (text by the word).
    for (uint32_t type = PREVIEW_BMP; type <= PREVIEW_TEXT; ++type) {
        std::wstring name = type == PREVIEW_TEXT ? L"text" : PreviewTypeName(type);
        if (!name.empty()) {
            EXPECT_NE(last.find(name), std::wstring::npos) << Narrow(name);
        }
    }
    EXPECT_EQ(about.text.rfind(L"Caskwright GUI", 0), 0u) << about.text;
    size_t lines = 1;
    for (wchar_t c : about.text) lines += c == L'\n';
    EXPECT_EQ(lines, 4u) << about.text;
    ASSERT_TRUE(PressBoxButton(about, IDOK));
    ASSERT_EQ(WaitIdle(program), L"");
}

BOOL CALLBACK CollectControl(HWND window, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    for (const wchar_t* kind : {L"Button", L"ComboBox", WC_LISTVIEWW}) {
        if (lstrcmpiW(name, kind) == 0) reinterpret_cast<std::set<HWND>*>(found)->insert(window);
    }
    return TRUE;
}

TEST_F(MainWindow, EveryButtonDropDownAndTheListHasATipOfItsOwn) {
    // Loaded, so Extract All is on: a button that is off shows no tip.
    LoadDirectly(WriteArchive(L"one.grf", Numbered(1)));
    HWND tooltip = ProgramWindow(program, TOOLTIPS_CLASSW, false);
    ASSERT_NE(tooltip, nullptr);
    EXPECT_EQ(GetWindow(tooltip, GW_OWNER), program.dialog);
    EXPECT_TRUE(GetWindowLongW(tooltip, GWL_EXSTYLE) & WS_EX_TOPMOST);
    LONG style = GetWindowLongW(tooltip, GWL_STYLE);
    EXPECT_TRUE(style & TTS_NOPREFIX);
    EXPECT_TRUE(style & TTS_ALWAYSTIP);
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETMAXTIPWIDTH, 0, 0), 200);

    // One tool on each button, drop-down list and the entry list (not on the
    // filter box or the labels), each with a text of its own that shows
    // when the pointer rests on the control.
    std::set<HWND> controls;
    EnumChildWindows(program.dialog, CollectControl, reinterpret_cast<LPARAM>(&controls));
    int count = int(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
    std::set<HWND> tipped;
    std::set<std::wstring> texts;
    std::wstring extractAllTip;
    for (int i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.lpszText = text;
        ASSERT_TRUE(SendMessageW(tooltip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&tool)));
        EXPECT_TRUE(tool.uFlags & TTF_SUBCLASS) << "tool " << i;
        EXPECT_NE(text[0], L'\0') << "tool " << i;
        tipped.insert(tool.hwnd);
        texts.insert(text);
        if (tool.hwnd == Control(program, IDC_EXTRACT_ALL)) extractAllTip = text;
    }
    EXPECT_EQ(controls.size(), 14u);
    EXPECT_EQ(tipped, controls);
    EXPECT_EQ(texts.size(), size_t(count)) << "two tools share a text";

    // Resting on a button shows its tip, wrapped into several lines.
    RECT button;
    GetWindowRect(Control(program, IDC_EXTRACT_ALL), &button);
    POINT middle = {(button.left + button.right) / 2, (button.top + button.bottom) / 2};
    // The tip shows once the pointer has rested a moment after moving onto
    // the control; a move restarts that moment, so the pointer moves again
    // only when a second has gone by without a tip.
    int moves = 0;
    DWORD movedAt = 0;
    bool shown = WaitUntil(
        [&] {
            if (IsWindowVisible(tooltip)) return true;
            if (moves == 0 || GetTickCount() - movedAt >= 1000) {
                SetCursorPos(middle.x + moves % 2, middle.y);
                movedAt = GetTickCount();
                ++moves;
            }
            return false;
        },
        5000);
    if (shown) {
        EXPECT_EQ(WindowText(tooltip), extractAllTip);
        RECT tip;
        GetWindowRect(tooltip, &tip);
        EXPECT_LE(tip.right - tip.left, 200 + 20);
        EXPECT_GT(tip.bottom - tip.top, 30) << "a long tip wraps into several lines";
        SaveScreenshot(program.dialog, L"main-tooltip");
    } else {
        ADD_FAILURE() << "no tooltip appeared while hovering Extract All";
    }
    SetCursorPos(0, 0);
}

TEST_F(MainWindow, RowsShowTheEntryFieldsAndTheirMarks) {
    LoadDirectly(WriteArchive(L"marks.grf", {{"data\\plain.txt", BytesOf("plain text")},
                                             {"data\\new.txt", BytesOf("n")},
                                             {"data\\replaced.txt", BytesOf("r")},
                                             {"data\\deleted.txt", BytesOf("d")},
                                             {"data\\both.txt", BytesOf("b")}}));
    // Marks as the edit commands leave them: new wins over replaced, replaced
    // over deleted.
    const uint8_t states[] = {GRF_ENTRY_IN_ARCHIVE, GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_NEW,
                              GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_REPLACED, GRF_ENTRY_DELETED,
                              GRF_ENTRY_NEW | GRF_ENTRY_REPLACED | GRF_ENTRY_DELETED};
    const int marks[] = {MARK_NONE, MARK_NEW, MARK_REPLACED, MARK_DELETED, MARK_NEW};
    GrfEntry first = {};
    RunOnUiThread(program, [&] {
        for (uint32_t i = 0; i < g_archive->count; ++i) g_archive->entries[i].state = states[i];
        g_archive->entries[0].cycle = -1;
        first = g_archive->entries[0];
    });
    Click(program, IDC_FILTER);
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_EQ(RowCount(program), 5);
    std::vector<std::wstring> row = RowTexts(program, 0);
    EXPECT_EQ(row[0], L"0");
    EXPECT_EQ(row[1], std::to_wstring(first.alignedSize));
    EXPECT_EQ(row[2], L"10");
    EXPECT_EQ(row[3], L"46");
    EXPECT_EQ(row[4], L"-1");
    EXPECT_EQ(row[5], L"data\\plain.txt");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(RowImage(program, i), marks[i]) << "row " << i;
    EXPECT_NE(SaveScreenshot(program.dialog, L"main-marks"), L"");
    // The accessor the commands use gives each row's entry.
    RunOnUiThread(program, [&] {
        for (int i = 0; i < 5; ++i) EXPECT_EQ(EntryOfRow(i), &g_archive->entries[i]);
        EXPECT_EQ(EntryOfRow(5), nullptr);
        EXPECT_EQ(EntryOfRow(-1), nullptr);
    });
}

TEST_F(MainWindow, KoreanNamesShowAsTheirCharacters) {
    SKIP_WITHOUT_FIXTURES();
    ASSERT_EQ(Open(FixturePath("grf/test102.grf")), L"");
    ASSERT_EQ(RowCount(program), 9);
    const std::wstring korean = Widen(
        "data\\t2_\xEB\xB0\xB0\xEA\xB2\xBD"
        "1-1.bmp");
    bool found = false;
    for (int i = 0; i < 9; ++i) found = found || RowTexts(program, i)[5] == korean;
    EXPECT_TRUE(found) << "no row shows " << Narrow(korean);
    std::wstring shot = SaveScreenshot(program.dialog, L"main-loaded");
    EXPECT_NE(shot, L"");
}

// Status texts as the status bar receives them, with the number of rows
// filled at that moment.
struct StatusLog {
    std::vector<std::wstring> texts;
    std::vector<int> rows;
};

LRESULT CALLBACK LogStatus(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                           DWORD_PTR data) {
    // Part 0 holds the messages; part 1 the list's counts.
    if (message == SB_SETTEXTW && LOBYTE(wParam) == 0) {
        auto* log = reinterpret_cast<StatusLog*>(data);
        log->texts.push_back(reinterpret_cast<const wchar_t*>(lParam));
        log->rows.push_back(EntryRowCount());
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

TEST_F(MainWindow, LongFillingShowsFilteringOnceAfterAThousandRowsThenReady) {
    struct Case {
        int entries;
        std::vector<std::wstring> texts;
        std::vector<int> rows;
    };
    const Case cases[] = {
        {999, {L"Ready"}, {999}},
        {1000, {L"Filtering...", L"Ready"}, {1000, 1000}},
        {2500, {L"Filtering...", L"Ready"}, {1000, 2500}},
    };
    for (const Case& c : cases) {
        LoadDirectly(
            WriteArchive(L"n" + std::to_wstring(c.entries) + L".grf", Numbered(c.entries)));
        StatusLog log;
        RunOnUiThread(program, [&] {
            SetWindowSubclass(g_statusBar, LogStatus, 1, reinterpret_cast<DWORD_PTR>(&log));
            RefreshEntryList(g_mainWindow);
            RemoveWindowSubclass(g_statusBar, LogStatus, 1);
        });
        EXPECT_EQ(log.texts, c.texts) << c.entries << " entries";
        EXPECT_EQ(log.rows, c.rows) << c.entries << " entries";
        EXPECT_EQ(RowCount(program), c.entries);
        EXPECT_EQ(RowTexts(program, c.entries - 1)[0], std::to_wstring(c.entries - 1));
    }
}

TEST_F(MainWindow, EverySeventeenthStatusUpdateRepaintsAtOnce) {
    // The status bar paints its own text at once; what the rule adds is the
    // repaint of the rest of the window, seen here on the entry list.
    std::vector<bool> pending;
    int32_t counterAfter = -1;
    RunOnUiThread(program, [&] {
        HWND list = GetDlgItem(g_mainWindow, IDC_ENTRY_LIST);
        g_statusUpdates = 0;
        UpdateWindow(g_mainWindow);
        InvalidateRect(list, nullptr, TRUE);
        for (int i = 1; i <= 17; ++i) {
            SetStatusText((L"update " + std::to_wstring(i)).c_str());
            RECT update;
            pending.push_back(GetUpdateRect(list, &update, FALSE) != FALSE);
        }
        counterAfter = g_statusUpdates;
        SetStatusText(L"eighteenth");
    });
    ASSERT_EQ(pending.size(), 17u);
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(pending[i]) << "repainted at update " << i + 1;
    EXPECT_FALSE(pending[16]) << "the 17th update repaints at once";
    EXPECT_EQ(counterAfter, 0);
    EXPECT_EQ(StatusText(program), L"eighteenth");
}

// The string ids of the resource header, read from the header itself, so a
// new id is checked as soon as it is defined.
std::vector<std::pair<std::string, UINT>> StringIds() {
    Bytes header;
    EXPECT_TRUE(ReadFileBytes(WindowsPath(CASKWRIGHT_RESOURCE_HEADER), &header));
    std::vector<std::pair<std::string, UINT>> ids;
    std::istringstream lines(std::string(header.begin(), header.end()));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string define, name;
        UINT id = 0;
        if (words >> define >> name >> id && define == "#define" && name.rfind("IDS_", 0) == 0)
            ids.push_back({name, id});
    }
    return ids;
}

// Whether every % of text starts %s, %d or %%: what the program's
// formatting is given to fill in.
bool PlaceholdersKnown(const std::wstring& text) {
    for (size_t at = text.find(L'%'); at != std::wstring::npos; at = text.find(L'%', at + 2)) {
        if (at + 1 >= text.size() || !wcschr(L"sd%", text[at + 1])) return false;
    }
    return true;
}

TEST_F(MainWindow, EveryStringIdLoads) {
    std::vector<std::pair<std::string, UINT>> ids = StringIds();
    ASSERT_GT(ids.size(), 50u);
    for (const auto& [name, id] : ids) {
        const wchar_t* text = nullptr;
        int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
        ASSERT_GT(length, 0) << name << " has no text";
        std::wstring loaded(text, size_t(length));
        EXPECT_TRUE(PlaceholdersKnown(loaded)) << name << ": " << Narrow(loaded);
    }
}

}  // namespace
