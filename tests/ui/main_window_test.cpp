// The main window as a user meets it: start-up state, the command table's
// own commands (Filter, Close Grf, Exit), keys, the system menu and About
// box, tooltips, the entry list's rows, marks and status line, and the
// shared services (strings, error box, title, status repaint rule).
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry_list.h"
#include "grf.h"
#include "grf_builder.h"
#include "program_test.h"
#include "resource.h"
#include "services.h"
#include "test_support.h"
#include "ui_driver.h"

namespace {

const wchar_t TEMPLATE_CAPTION[] = L"Caskwright 1.0 - by the Caskwright developers";

using MainWindow = ProgramTest;

TEST_F(MainWindow, StartsReadyWithTheTemplateCaptionAndDefaults) {
    EXPECT_EQ(WindowText(program.dialog), TEMPLATE_CAPTION);
    EXPECT_EQ(StatusText(program), L"Ready");
    EXPECT_EQ(ComboSelection(program, IDC_VERSION), L"0x103");
    EXPECT_EQ(ComboSelection(program, IDC_LEVEL), L"Medium");
    EXPECT_EQ(WindowText(Control(program, IDC_FILTER_TEXT)), L"*.*");
    EXPECT_EQ(RowCount(program), 0);
    EXPECT_NE(SendMessageW(program.dialog, WM_GETICON, ICON_BIG, 0), 0);
    // Both lists hold their three items in order.
    const std::vector<std::pair<int, std::vector<std::wstring>>> lists = {
        {IDC_LEVEL, {L"Low", L"Medium", L"High"}},
        {IDC_VERSION, {L"0x102", L"0x103", L"0x200"}},
    };
    for (const auto& [id, items] : lists) {
        HWND combo = Control(program, id);
        ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
        for (int i = 0; i < 3; ++i) {
            wchar_t text[64] = {};
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            EXPECT_EQ(text, items[i]);
        }
    }
    // The list's columns: headers and widths in pixels.
    const std::vector<std::pair<std::wstring, int>> columns = {
        {L"index", 60},  {L"comp size", 60}, {L"file size", 60},
        {L"offset", 80}, {L"c", 25},         {L"filename", 400},
    };
    for (size_t i = 0; i < columns.size(); ++i) {
        wchar_t header[64] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = header;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_GETCOLUMNW, i,
                                 reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(header, columns[i].first);
        EXPECT_EQ(column.cx, columns[i].second);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
    DWORD extended = static_cast<DWORD>(
        SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended, static_cast<DWORD>(LVS_EX_FULLROWSELECT));
    std::wstring shot = SaveScreenshot(program.dialog, L"main-empty");
    EXPECT_NE(shot, L"") << "screenshot of the empty main window";
}

TEST_F(MainWindow, CloseGrfWithNothingLoadedOnlyRetitles) {
    Click(program, IDC_CLOSE_GRF);
    ASSERT_EQ(WaitIdle(program), L"");  // no error box
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - none");
    EXPECT_EQ(RowCount(program), 0);
    EXPECT_EQ(StatusText(program), L"Ready");
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
    ASSERT_EQ(WaitForSingleObject(program.thread, 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeThread(program.thread, &code);
    EXPECT_EQ(code, 0u);
}

TEST_F(MainWindow, TheCloseBoxEndsTheDialogWithZero) {
    PostMessageW(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_EQ(WaitForSingleObject(program.thread, 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeThread(program.thread, &code);
    EXPECT_EQ(code, 0u);
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
    Sleep(1500);  // a pause starts a new search
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
    const std::wstring last = L"Supported preview: BMP, SPR, TGA, JPG, GAT, WAV";
    ASSERT_GE(about.text.size(), last.size());
    EXPECT_EQ(about.text.substr(about.text.size() - last.size()), last);
    EXPECT_EQ(about.text.rfind(L"Caskwright GUI", 0), 0u) << about.text;
    size_t lines = 1;
    for (wchar_t c : about.text) lines += c == L'\n';
    EXPECT_EQ(lines, 4u) << about.text;
    ASSERT_TRUE(PressBoxButton(about, IDOK));
    ASSERT_EQ(WaitIdle(program), L"");
}

TEST_F(MainWindow, TooltipsCoverThirteenControlsAndWrapAt200Pixels) {
    struct Tip {
        int control;
        const wchar_t* text;
    };
    const Tip tips[] = {
        {IDC_OPEN, L"Opens a GRF/GPF file"},
        {IDC_EXIT, L"Exit this program, duh"},
        {IDC_FILTER,
         L"Only show files matching the filter expression in the text box (like *.bmp, etc)"},
        {IDC_EXTRACT, L"Extracts selected file(s) into data directory, keeping full paths"},
        {IDC_EXTRACT_ALL,
         L"Extracts entire contents of the currently loaded GRF file into data directory, "
         L"keeping full paths"},
        {IDC_ADD_GRF, L"Merge a GRF or GPF file into currently loaded GRF (requires Repack)"},
        {IDC_ADD_DIR,
         L"Add entire contents of one directory to the currently loaded GRF (requires Repack)"},
        {IDC_REPACK, L"Repack a new GRF from currently loaded files"},
        {IDC_LEVEL,
         L"Set compression level for packing newly added local files. The higher compression "
         L"the slower it works."},
        {IDC_VERSION,
         L"Sets GRF file version. Seems like normal RO data.grf uses version 103, while sakray "
         L"sdata uses version 102."},
        {IDC_DELETE_SEL, L"Delete selected file(s) from currently loaded GRF (requires Repack)"},
        {IDC_ENTRY_LIST,
         L"List of files in the currently loaded GRF file. Double-click on a supported file "
         L"type for preview."},
        {IDC_CLOSE_GRF, L"Unload currently loaded GRF"},
    };
    HWND tooltip = nullptr;
    EnumThreadWindows(
        program.threadId,
        [](HWND window, LPARAM found) -> BOOL {
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (lstrcmpiW(name, TOOLTIPS_CLASSW) != 0) return TRUE;
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&tooltip));
    ASSERT_NE(tooltip, nullptr);
    EXPECT_EQ(GetWindow(tooltip, GW_OWNER), program.dialog);
    EXPECT_TRUE(GetWindowLongW(tooltip, GWL_EXSTYLE) & WS_EX_TOPMOST);
    LONG style = GetWindowLongW(tooltip, GWL_STYLE);
    EXPECT_TRUE(style & TTS_NOPREFIX);
    EXPECT_TRUE(style & TTS_ALWAYSTIP);
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETMAXTIPWIDTH, 0, 0), 200);
    ASSERT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 13);
    for (int i = 0; i < 13; ++i) {
        wchar_t text[512] = {};
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.lpszText = text;
        ASSERT_TRUE(SendMessageW(tooltip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&tool)));
        EXPECT_EQ(tool.uId, static_cast<UINT_PTR>(i));
        EXPECT_EQ(tool.hwnd, Control(program, tips[i].control)) << "tool " << i;
        EXPECT_TRUE(tool.uFlags & TTF_SUBCLASS);
        EXPECT_STREQ(text, tips[i].text) << "tool " << i;
    }

    // Hovering a button shows its tip, wrapped into several lines.
    RECT button;
    GetWindowRect(Control(program, IDC_EXTRACT_ALL), &button);
    SetCursorPos((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    Sleep(50);
    SetCursorPos((button.left + button.right) / 2 + 1, (button.top + button.bottom) / 2);
    bool shown = WaitUntil([&] { return IsWindowVisible(tooltip) != FALSE; }, 5000);
    if (shown) {
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
    const uint8_t states[] = {ENTRY_IN_ARCHIVE, ENTRY_IN_ARCHIVE | ENTRY_NEW,
                              ENTRY_IN_ARCHIVE | ENTRY_REPLACED, ENTRY_DELETED,
                              ENTRY_NEW | ENTRY_REPLACED | ENTRY_DELETED};
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
    if (message == SB_SETTEXTW) {
        auto* log = reinterpret_cast<StatusLog*>(data);
        log->texts.push_back(reinterpret_cast<const wchar_t*>(lParam));
        log->rows.push_back(EntryRowCount());
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

TEST_F(MainWindow, LongFillingShowsFilteringAfterEachThousandRowsThenReady) {
    struct Case {
        int entries;
        std::vector<std::wstring> texts;
        std::vector<int> rows;
    };
    const Case cases[] = {
        {999, {L"Ready"}, {999}},
        {1000, {L"Filtering...", L"Ready"}, {1000, 1000}},
        {2500, {L"Filtering...", L"Filtering...", L"Ready"}, {1000, 2000, 2500}},
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

TEST_F(MainWindow, StringsErrorBoxAndTitle) {
    // A filter string: description, one NUL, pattern, then NULs.
    std::wstring loaded;
    RunOnUiThread(program, [&] {
        const wchar_t* text = LoadResString(IDS_GRF_FILTER);
        loaded.assign(text, text + 48);
    });
    const wchar_t expected[] = L"Gravity Pack File (*.grf;*.gpf)\0*.grf;*.gpf\0\0";
    EXPECT_EQ(loaded.substr(0, 45), std::wstring(expected, 45));
    EXPECT_EQ(loaded.substr(43, 2), std::wstring(L"\0\0", 2));

    PostToUiThread(program, [] {
        ShowError(g_mainWindow, LoadResString(IDS_NOT_A_GRF), L"C:\\some\\file.grf");
    });
    Box box;
    ASSERT_TRUE(WaitForBox(program, &box, L"Unrecoverable Error"));
    EXPECT_EQ(box.text, L"C:\\some\\file.grf is not a valid GRF file");
    ASSERT_TRUE(PressBoxButton(box, IDOK));
    ASSERT_EQ(WaitIdle(program), L"");

    RunOnUiThread(program, [] { SetMainTitle(LoadResString(IDS_NONE)); });
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - none");

    // Every message of the shared table, exactly.
    const std::vector<std::pair<UINT, std::wstring>> strings = {
        {IDS_TITLE_FORMAT, L"Caskwright - %s"},
        {IDS_ERROR_CAPTION, L"Unrecoverable Error"},
        {IDS_DECOMPRESSION_ERROR, L"Decompression Error - Invalid Data in %s"},
        {IDS_WRITE_ERROR, L"Error creating destination directory and opening %s for writing"},
        {IDS_INVALID_HANDLE, L"Invalid GRF Handle, item index %d"},
        {IDS_NOT_A_GRF, L"%s is not a valid GRF file"},
        {IDS_READY, L"Ready"},
        {IDS_NONE, L"none"},
        {IDS_REPACK_FAILED, L"GrfRepack failed with error code %d"},
        {IDS_OUT_OF_MEMORY, L"Out of Memory while performing this operation"},
        {IDS_MERGE_FAILED, L"GrfMerge failed"},
        {IDS_SELECT_DIRECTORY, L"Select a directory to be packed, for example, c:\\ro\\data"},
        {IDS_UNPACKING, L"Unpacking..."},
        {IDS_REPACKING, L"Repacking..."},
        {IDS_SAVE_FAILED, L"Saving bitmap preview failed!"},
    };
    for (const auto& [id, text] : strings) {
        std::wstring got;
        RunOnUiThread(program, [&, id = id] { got = LoadResString(id); });
        EXPECT_EQ(got, text) << "string " << id;
    }
    std::wstring bitmapFilter;
    RunOnUiThread(program, [&] {
        const wchar_t* text = LoadResString(IDS_BMP_FILTER);
        bitmapFilter.assign(text, text + 28);
    });
    EXPECT_EQ(bitmapFilter, std::wstring(L"Bitmap Image (*.bmp)\0*.bmp\0\0", 28));
}

}  // namespace
