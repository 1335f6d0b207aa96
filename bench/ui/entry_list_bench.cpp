// entry_list_bench -- filling the main dialog's entry list from a
// 500,000-entry archive, beside the engine's own filter walk over the same
// table in the same run; and, for comparison, what inserting rows one by one
// into an ordinary list view costs, each row with its five texts: 20,000 rows
// into a hidden list (the list's own work), and 1,000 into a visible one, as
// the dialog's list would be (under Wine every insertion into a visible list
// also updates the window at once, which makes it far slower). Both are
// scaled to the whole archive: more rows would only make the run longer.
//
// Runs the real main dialog (template 130, MainDialogProc) modelessly on the
// benchmark's thread. scripts/bench.sh runs it under Wine.
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "background_open.h"
#include "bench_common.h"
#include "entry_list.h"
#include "folder_tree.h"
#include "grf.h"
#include "grf_builder.h"
#include "main_dialog.h"
#include "progress.h"
#include "resource.h"
#include "services.h"
#include "test_support.h"

namespace {

uint32_t ENTRIES = 500000;
const int ONE_BY_ONE_ROWS = 20000;
const int ONE_BY_ONE_VISIBLE_ROWS = 1000;

double Seconds(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

double Best(const std::function<void()>& work, int runs, const std::function<void()>& between) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        double took = Seconds(work);
        if (took < best) best = took;
        between();
    }
    return best;
}

// Handles what is queued, so painting left over from one run is not counted
// in the next.
void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Names in the shapes real archives have: data\ folders, Korean components
// (code page 949), numbered files with several extensions.
std::vector<RawRecord> MakeRecords(uint32_t count) {
    static const char* const FOLDERS[] = {"data\\texture\\", "data\\sprite\\", "data\\model\\",
                                          "data\\wav\\"};
    static const char* const KOREAN[] = {"\xB8\xF3\xBD\xBA\xC5\xCD", "\xB9\xE8\xB0\xE6",
                                         "\xBE\xC6\xC0\xCC\xC5\xDB", "\xC1\xF6\xC7\xFC"};
    static const char* const EXTENSIONS[] = {".bmp", ".spr", ".act", ".gat", ".wav"};
    std::vector<RawRecord> records(count);
    for (uint32_t i = 0; i < count; ++i) {
        RawRecord& record = records[i];
        record.name = std::string(FOLDERS[i % 4]) + KOREAN[(i / 4) % 4] + "\\" +
                      KOREAN[(i / 16) % 4] + "_entry_" + std::to_string(i) + EXTENSIONS[i % 5];
        record.compressedSize = 1000 + i % 5000;
        record.alignedSize = GrfAlign8(record.compressedSize);
        record.realSize = 4000 + i % 777;
        record.offset = i * 8;
    }
    return records;
}

std::wstring WriteArchive(const TempDir& dir) {
    std::vector<RawRecord> records = MakeRecords(ENTRIES);
    Bytes archive = BuildHeader(0, 0, ENTRIES + 7, 0x200);
    Bytes directory = BuildV2Directory(BuildV2Table(records), 1);
    archive.insert(archive.end(), directory.begin(), directory.end());
    std::wstring path = dir.Join(L"large.grf");
    WriteFileBytes(path, archive);
    return path;
}

uint32_t WalkOnly(const wchar_t* pattern) {
    uint32_t found = 0;
    GrfEntry* entry = nullptr;
    GrfSearch* search = GrfFindFirst(g_archive, pattern, &entry);
    if (search == reinterpret_cast<GrfSearch*>(-1)) return 0;
    do {
        ++found;
    } while (GrfFindNext(search, &entry));
    GrfFreeBuffer(search);
    return found;
}

void Refresh(HWND dialog, const wchar_t* pattern) {
    SetDlgItemTextW(dialog, IDC_FILTER_TEXT, pattern);
    RefreshEntryList(dialog);
}

// An ordinary report list view beside the dialog's, filled the way a list
// that keeps its own rows is filled: one insertion and five texts a row,
// with the same repaint every 1000 rows.
double InsertOneByOne(HWND dialog, int rows, bool visible) {
    RECT area;
    GetWindowRect(GetDlgItem(dialog, IDC_ENTRY_LIST), &area);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
    DWORD style = WS_CHILD | LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER;
    if (visible) style |= WS_VISIBLE;
    HWND list =
        CreateWindowExW(0, WC_LISTVIEWW, L"", style, area.left, area.top, area.right - area.left,
                        area.bottom - area.top, dialog, nullptr, g_instance, nullptr);
    SetWindowPos(list, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    const int widths[] = {60, 60, 60, 80, 25, 400};
    for (int i = 0; i < 6; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = widths[i];
        column.pszText = const_cast<wchar_t*>(L"column");
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    double took = Seconds([&] {
        for (int row = 0; row < rows; ++row) {
            const GrfEntry& entry = g_archive->entries[row];
            wchar_t cells[6][256];
            wchar_t* name = GrfCp949ToWide(entry.name);
            FormatText(cells[0], 256, L"%ld", static_cast<long>(row));
            FormatText(cells[1], 256, L"%ld", static_cast<long>(entry.alignedSize));
            FormatText(cells[2], 256, L"%ld", static_cast<long>(entry.realSize));
            FormatText(cells[3], 256, L"%llu", static_cast<unsigned long long>(entry.position));
            FormatText(cells[4], 256, L"%d", static_cast<int>(entry.cycle));
            FormatText(cells[5], 256, L"%s", name);
            GrfFreeBuffer(name);
            LVITEMW item = {};
            item.mask = LVIF_TEXT | LVIF_PARAM;
            item.iItem = row;
            item.pszText = cells[0];
            item.lParam = reinterpret_cast<LPARAM>(&entry);
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            for (int column = 1; column < 6; ++column) {
                LVITEMW text = {};
                text.mask = LVIF_TEXT;
                text.iItem = row;
                text.iSubItem = column;
                text.pszText = cells[column];
                SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&text));
            }
            if ((row + 1) % 1000 == 0) UpdateWindow(dialog);
        }
    });
    DestroyWindow(list);
    Pump();
    return took;
}

void PrintFigure(const char* label, double seconds) {
    printf("  %-52s %9.3f s\n", label, seconds);
}

// A figure with its aim: MISSED, and a failed benchmark, past most.
void PrintTimed(const char* label, double seconds, double most) {
    char figure[32];
    snprintf(figure, sizeof figure, "%9.3f s", seconds);
    char aim[32];
    snprintf(aim, sizeof aim, "under %.1f s", most);
    char indented[96];
    snprintf(indented, sizeof indented, "  %s", label);
    PrintAim(indented, figure, aim, seconds < most);
}

// A count that must come out as expected (rows kept selected).
void PrintCount(const char* label, int count, int expected) {
    char figure[32];
    snprintf(figure, sizeof figure, "%d", count);
    char aim[32];
    snprintf(aim, sizeof aim, "%d", expected);
    char indented[96];
    snprintf(indented, sizeof indented, "  %s", label);
    PrintAim(indented, figure, aim, count == expected);
}

// A key press sent to the list as the keyboard would, with Shift or Ctrl
// held as the list reads them (GetKeyState), and what it caused handled.
void PressListKey(HWND dialog, UINT key, UINT modifier) {
    BYTE keys[256];
    GetKeyboardState(keys);
    if (modifier) keys[modifier] = 0x80;
    SetKeyboardState(keys);
    HWND list = GetDlgItem(dialog, IDC_ENTRY_LIST);
    SendMessageW(list, WM_KEYDOWN, key, 1);
    SendMessageW(list, WM_KEYUP, key, 0xC0000001);
    if (modifier) keys[modifier] = 0;
    SetKeyboardState(keys);
    Pump();
}

int SelectedCount(HWND dialog) {
    return static_cast<int>(
        SendDlgItemMessageW(dialog, IDC_ENTRY_LIST, LVM_GETSELECTEDCOUNT, 0, 0));
}

// Keys and selections as a user makes them on the full list: each should
// cost the same as on a short list.
void MeasureKeys(HWND dialog) {
    Refresh(dialog, L"*.*");
    Pump();
    HWND list = GetDlgItem(dialog, IDC_ENTRY_LIST);
    SetFocus(list);
    PressListKey(dialog, VK_HOME, 0);
    printf("keys on the full list (%d rows):\n", EntryRowCount());
    PrintFigure("20 presses of Down", Seconds([&] {
                    for (int i = 0; i < 20; ++i) PressListKey(dialog, VK_DOWN, 0);
                }));
    PressListKey(dialog, VK_HOME, 0);
    PrintFigure("Shift+End (select to the last row)",
                Seconds([&] { PressListKey(dialog, VK_END, VK_SHIFT); }));
    printf("  %d rows selected\n", SelectedCount(dialog));
    PressListKey(dialog, VK_HOME, 0);
    PrintFigure("Ctrl+A (select all)", Seconds([&] { PressListKey(dialog, 'A', VK_CONTROL); }));
    printf("  %d rows selected\n", SelectedCount(dialog));
    PrintFigure("Delete Sel of the selection", Seconds([&] {
                    OnMainCommand(dialog, IDC_DELETE_SEL);
                    Pump();
                }));
    PrintFigure("Down after the deletion", Seconds([&] { PressListKey(dialog, VK_DOWN, 0); }));
}

// Sorting by each column both ways, and typing into the search box key by
// key, over the full list, beside the engine's own walk over the table.
void MeasureView(HWND dialog) {
    Refresh(dialog, L"*.*");
    Pump();
    printf("sorting and typed search (%d rows):\n", EntryRowCount());
    PrintFigure("engine filter walk alone, for comparison",
                Best([&] { WalkOnly(L"*.*"); }, 3, [] {}));
    const char* const columns[] = {"index", "comp size", "file size", "offset", "c", "filename"};
    for (int column = 5; column >= 0; --column) {
        for (const char* way : {"up", "down"}) {
            double took = Seconds([&] {
                SortEntryList(dialog, column);
                UpdateWindow(dialog);
            });
            char label[80];
            snprintf(label, sizeof(label), "sort by %s, %s", columns[column], way);
            PrintTimed(label, took, 0.3);
        }
    }
    struct Typed {
        const wchar_t* text;
        const char* label;
    };
    // Ordinary letters, then Korean ones: the whole path is searched.
    const Typed typed[] = {{L"sprite\\_entry_4", "sprite\\_entry_4"},
                           {L"\uBAAC\uC2A4\uD130\\\uBC30\uACBD", "Korean folder and name"}};
    HWND box = GetDlgItem(dialog, IDC_SEARCH);
    for (const Typed& t : typed) {
        std::wstring text;
        double worst = 0, total = 0;
        size_t keys = wcslen(t.text);
        for (size_t i = 0; i < keys; ++i) {
            text += t.text[i];
            double took = Seconds([&] {
                SetWindowTextW(box, text.c_str());
                UpdateWindow(dialog);
            });
            worst = took > worst ? took : worst;
            total += took;
        }
        printf("  typing \"%s\", %zu keys: %d rows left\n", t.label, keys, EntryRowCount());
        PrintTimed("  mean per key", total / double(keys), 0.1);
        PrintFigure("  slowest key", worst);
        double back = Seconds([&] {
            SetWindowTextW(box, text.substr(0, 1).c_str());
            UpdateWindow(dialog);
        });
        PrintFigure("  back to the first letter (every row again)", back);
        SetWindowTextW(box, L"");
        Pump();
    }
    // The folder tree: counted from every row when shown, and again with
    // each filling while it is shown.
    PrintFigure("Filter *.* without the tree, for comparison", Seconds([&] {
                    Refresh(dialog, L"*.*");
                    UpdateWindow(dialog);
                }));
    PrintFigure("show the folder tree (count every folder)", Seconds([&] {
                    ShowFolderTree(dialog, true);
                    UpdateWindow(dialog);
                }));
    PrintFigure("Filter *.* with the tree shown", Seconds([&] {
                    Refresh(dialog, L"*.*");
                    UpdateWindow(dialog);
                }));
    HWND tree = GetDlgItem(dialog, IDC_FOLDER_TREE);
    auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    auto data = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(data));
    auto folder = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(data)));
    PrintFigure("choose a folder (a quarter of the rows)", Seconds([&] {
                    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET,
                                 reinterpret_cast<LPARAM>(folder));
                    UpdateWindow(dialog);
                }));
    printf("  %d rows in it\n", EntryRowCount());
    ShowFolderTree(dialog, false);
    Pump();
}

// Open as the Open command does it now, in the background: how long until
// the first rows show, and until the whole table is listed; the dialog
// handles its messages meanwhile, as the program's loop would.
void MeasureBackgroundOpen(HWND dialog, const std::wstring& path) {
    GrfClose(&g_archive);
    RefreshEntryList(dialog);
    Pump();
    auto start = std::chrono::steady_clock::now();
    double firstRows = -1;
    StartOpen(dialog, path.c_str());
    // The rows are looked for after every message, as painting one count
    // may already bring the next.
    while (OpenRunning()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            if (firstRows < 0 && EntryRowCount() > 0) {
                std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
                firstRows = took.count();
            }
        }
    }
    std::chrono::duration<double> done = std::chrono::steady_clock::now() - start;
    printf("opening in the background (%d rows):\n", EntryRowCount());
    PrintFigure("open to the first rows shown", firstRows);
    PrintFigure("open to every row listed", done.count());
}

// The Filter over every row and the sort by name, with every row selected:
// both keep the selection.
void MeasureKeptSelection(HWND dialog) {
    Refresh(dialog, L"*.*");
    SelectAllRows(dialog);
    Pump();
    int rows = EntryRowCount();
    printf("with all %d rows selected:\n", rows);
    PrintTimed("Filter *.*", Seconds([&] {
                   OnMainCommand(dialog, IDC_FILTER);
                   UpdateWindow(dialog);
               }),
               0.3);
    PrintCount("rows still selected", SelectedCount(dialog), rows);
    PrintTimed("sort by filename", Seconds([&] {
                   SortEntryList(dialog, 5);
                   UpdateWindow(dialog);
               }),
               0.3);
    PrintCount("rows still selected", SelectedCount(dialog), rows);
}

}  // namespace

// Arguments: "keys" measures only the keys and selections, "view" only the
// sorting and the typed search, "open" only the background open and the
// kept selection; a number sets
// the archive's entries (500,000 without one).
int main(int argc, char** argv) {
    bool keysOnly = false;
    bool viewOnly = false;
    bool openOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "keys") == 0)
            keysOnly = true;
        else if (strcmp(argv[i], "view") == 0)
            viewOnly = true;
        else if (strcmp(argv[i], "open") == 0)
            openOnly = true;
        else if (atoi(argv[i]) > 0)
            ENTRIES = static_cast<uint32_t>(atoi(argv[i]));
    }
    g_instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    TempDir dir;
    printf("entry list: %u entries (0x200 archive), Wine or Windows\n", ENTRIES);
    std::wstring path = WriteArchive(dir);
    double open = Seconds([&] { g_archive = GrfOpen(path.c_str(), nullptr); });
    if (g_archive == GRF_NO_ARCHIVE) {
        printf("the archive did not open (code %u)\n", GrfLastError);
        return 1;
    }

    HWND dialog =
        CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (!dialog) {
        printf("the main dialog could not be created\n");
        return 1;
    }
    Pump();

    if (keysOnly || viewOnly || openOnly) {
        if (keysOnly) MeasureKeys(dialog);
        if (viewOnly) MeasureView(dialog);
        if (openOnly) {
            PrintFigure("GrfOpen alone, for comparison", open);
            MeasureBackgroundOpen(dialog, path);
            MeasureKeptSelection(dialog);
        }
        DestroyWindow(dialog);
        GrfClose(&g_archive);
        return BenchExitCode();
    }

    // Opening as the Open command does: "Opening: i/n" on the status line for
    // every directory record.
    GrfArchive* shown = GRF_NO_ARCHIVE;
    double openShown = Seconds([&] { shown = GrfOpen(path.c_str(), ShowOpenProgress); });
    GrfClose(&shown);
    Pump();
    printf("opening:\n");
    PrintFigure("GrfOpen alone", open);
    PrintFigure("GrfOpen with the status-line progress", openShown);

    struct Case {
        const wchar_t* pattern;
        const char* label;
    };
    const Case cases[] = {{L"*.*", "*.*"}, {L"*.bmp", "*.bmp"}};
    for (const Case& c : cases) {
        uint32_t matches = WalkOnly(c.pattern);
        double walk = Best([&] { WalkOnly(c.pattern); }, 3, [] {});
        double fill = Best([&] { Refresh(dialog, c.pattern); }, 3, [&] { Pump(); });
        double paint = Seconds([&] {
            InvalidateRect(dialog, nullptr, TRUE);
            UpdateWindow(dialog);
        });
        printf("listing with pattern %s (%u rows):\n", c.label, matches);
        PrintFigure("engine filter walk alone (GrfFindFirst/GrfFindNext)", walk);
        PrintFigure("RefreshEntryList (owner-data list)", fill);
        PrintTimed("beyond the walk", fill - walk, 1.0);
        PrintFigure("one full repaint of the dialog afterwards", paint);
        if (EntryRowCount() != static_cast<int>(matches)) {
            printf("  rows listed %d differ from matches %u\n", EntryRowCount(), matches);
            return 1;
        }
    }

    MeasureKeys(dialog);
    MeasureView(dialog);
    MeasureBackgroundOpen(dialog, path);
    MeasureKeptSelection(dialog);

    struct OneByOne {
        int rows;
        bool visible;
        const char* label;
    };
    const OneByOne lists[] = {{ONE_BY_ONE_ROWS, false, "hidden list"},
                              {ONE_BY_ONE_VISIBLE_ROWS, true, "visible list"}};
    printf("inserting rows one by one into an ordinary list view:\n");
    for (const OneByOne& list : lists) {
        double took = InsertOneByOne(dialog, list.rows, list.visible);
        printf("  %-12s %6d rows %9.3f s   %8.1f us a row   500,000 rows at that rate: %.0f s\n",
               list.label, list.rows, took, took * 1e6 / list.rows, took * ENTRIES / list.rows);
    }

    DestroyWindow(dialog);
    GrfClose(&g_archive);
    return BenchExitCode();
}
