// entry_list.cpp -- the owner-data entry list: rows are indices into the
// loaded archive's table, cells are formatted on demand.
#include "entry_list.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windowsx.h>

#include <algorithm>
#include <string>
#include <vector>

#include "entry_preview.h"
#include "folder_tree.h"
#include "resource.h"
#include "services.h"

namespace {

// What the rows of the last filling refer to. Indices rather than pointers:
// adding files or merging may move the table while the list still shows the
// old rows (the status line repaints the window during those commands), and
// an index is checked against the table as it is now.
struct EntryRows {
    GrfArchive* archive;  // the archive the rows were filled from
    uint32_t* indices;    // table index of each row's entry
    uint32_t count;
    uint32_t capacity;
};

EntryRows g_entryRows = {GRF_NO_ARCHIVE, nullptr, 0, 0};

// While an archive opens in the background, the rows are its table as read
// so far (see background_open.cpp): entries[0, count), in table order.
struct LoadingTable {
    const GrfEntry* entries = nullptr;
    uint32_t count = 0;
};

LoadingTable g_loading;

const GrfEntry* FilledEntry(uint32_t filled);

// The rows shown, in display order: each is a position in g_entryRows (the
// filling's own order, which the "index" column shows). The typed search
// and the folder narrow it, the sort column orders it.
std::vector<uint32_t> g_order;

struct ViewSettings {
    int sortColumn = -1;  // -1: the filling's order
    bool descending = false;
    std::string search;            // code page 949, '/' as '\\'; empty: every row
    bool searchValid = true;       // false: typed characters no name can hold
    std::string folder;            // name prefix ending in '\\'; empty: every folder
    std::wstring filter = L"*.*";  // the pattern of the last filling
    std::wstring typed;            // the search as typed, for the status line
};

ViewSettings g_view;

uint32_t ShownCount() {
    return static_cast<uint32_t>(g_order.size());
}

RowSelection g_selection;
// Running totals of realSize in row order (count + 1 values), so the size of
// a run of selected rows is one subtraction.
std::vector<uint64_t> g_rowBytes;

const int COLUMN_COUNT = 6;
const int HEADER_MARGIN = 16;           // room around a header's text, and its sort arrow
const int MIN_NAME_WIDTH = 120;         // the name column never narrower
const int CELL_SIZE = 256;              // each column text is built in its own buffer
const int FILTER_SIZE = 255;            // at most 254 characters and the terminator
const uint32_t FILTERING_EVERY = 1000;  // rows shown at once while filling

struct ColumnSpec {
    UINT header;
    int width;
};

const ColumnSpec COLUMNS[COLUMN_COUNT] = {
    {IDS_COLUMN_INDEX, 60},  {IDS_COLUMN_COMP_SIZE, 60}, {IDS_COLUMN_FILE_SIZE, 60},
    {IDS_COLUMN_OFFSET, 80}, {IDS_COLUMN_CYCLE, 25},     {IDS_COLUMN_FILENAME, 400},
};

HWND EntryList(HWND window) {
    return GetDlgItem(window, IDC_ENTRY_LIST);
}

void ForgetRows() {
    g_entryRows.count = 0;
    g_entryRows.archive = GRF_NO_ARCHIVE;
    g_order.clear();
    ClearRows(&g_selection);
    g_selection.anchor = -1;
    g_rowBytes.assign(1, 0);
}

// Appends one row; false when no memory is left for it.
bool AppendRow(uint32_t tableIndex) {
    if (g_entryRows.count == g_entryRows.capacity) {
        uint32_t capacity = g_entryRows.capacity ? g_entryRows.capacity * 2 : 4096;
        void* grown = realloc(g_entryRows.indices, sizeof(uint32_t) * capacity);
        if (!grown) return false;
        g_entryRows.indices = static_cast<uint32_t*>(grown);
        g_entryRows.capacity = capacity;
    }
    g_entryRows.indices[g_entryRows.count] = tableIndex;
    // While filling, rows show in the filling's order.
    g_order.push_back(g_entryRows.count++);
    return true;
}

void SetRowCount(HWND list, uint32_t count) {
    SendMessageW(list, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

// The text of one cell, as the list shows it.
void FormatCell(const GrfEntry* entry, uint32_t row, int column, wchar_t* cell) {
    cell[0] = L'\0';
    if (!entry) return;
    switch (column) {
        case 0:
            FormatText(cell, CELL_SIZE, L"%ld", static_cast<long>(row));
            break;
        case 1:
            FormatText(cell, CELL_SIZE, L"%ld", static_cast<long>(entry->alignedSize));
            break;
        case 2:
            FormatText(cell, CELL_SIZE, L"%ld", static_cast<long>(entry->realSize));
            break;
        case 3:
            // 64-bit: archives pass 4 GB, and long is 32-bit on Windows.
            FormatText(cell, CELL_SIZE, L"%llu", static_cast<unsigned long long>(entry->position));
            break;
        case 4:
            FormatText(cell, CELL_SIZE, L"%d", static_cast<int>(entry->cycle));
            break;
        case 5: {
            wchar_t* name = GrfFileName(entry->name);
            if (name) {
                FormatText(cell, CELL_SIZE, L"%s", name);
                GrfFreeBuffer(name);
            }
            break;
        }
    }
}

void CountRowBytes() {
    g_rowBytes.resize(size_t(ShownCount()) + 1);
    g_rowBytes[0] = 0;
    for (uint32_t row = 0; row < ShownCount(); ++row) {
        const GrfEntry* entry = FilledEntry(g_order[row]);
        g_rowBytes[row + 1] = g_rowBytes[row] + (entry ? entry->realSize : 0);
    }
}

bool IsEveryName(const std::wstring& pattern) {
    return pattern.empty() || pattern == L"*.*" || pattern == L"*";
}

void AddHidingPart(std::wstring* parts, UINT format, const std::wstring& value) {
    wchar_t part[TEXT_BUFFER_SIZE];
    FormatText(part, TEXT_BUFFER_SIZE, LoadResString(format), value.c_str());
    if (!parts->empty()) *parts += LoadResString(IDS_HIDDEN_JOIN);
    *parts += part;
}

// What keeps rows of the archive out of the list: "filter *.spr, search
// abc". A pattern that matches every name is named only when nothing else
// hides rows.
std::wstring HidingParts() {
    std::wstring parts;
    if (!IsEveryName(g_view.filter)) AddHidingPart(&parts, IDS_HIDDEN_FILTER, g_view.filter);
    if (!g_view.typed.empty()) AddHidingPart(&parts, IDS_HIDDEN_SEARCH, g_view.typed);
    if (!g_view.folder.empty()) {
        wchar_t* folder = Cp949ToWide(g_view.folder.c_str());
        if (folder) AddHidingPart(&parts, IDS_HIDDEN_FOLDER, folder);
        GrfFreeBuffer(folder);
    }
    if (parts.empty()) AddHidingPart(&parts, IDS_HIDDEN_FILTER, g_view.filter);
    return parts;
}

// "N listed, M selected (size)" in the status bar's second part; "N of T
// listed (filter ...), ..." when the filter, the search or the folder hide
// some of the archive's T entries, so a short list never looks like a short
// archive.
void ShowListCounts() {
    if (!g_statusBar) return;
    wchar_t size[64] = L"";
    StrFormatByteSizeW(static_cast<LONGLONG>(SelectedBytes()), size, 64);
    // While an archive opens, the rows are all of it read so far.
    uint32_t total = g_archive != GRF_NO_ARCHIVE && !g_loading.entries ? g_archive->count : 0;
    wchar_t text[TEXT_BUFFER_SIZE];
    if (ShownCount() < total) {
        std::wstring hiding = HidingParts();
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_LIST_COUNTS_OF),
                   static_cast<int>(ShownCount()), static_cast<int>(total), hiding.c_str(),
                   static_cast<int>(g_selection.count), size);
    } else {
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_LIST_COUNTS),
                   static_cast<int>(ShownCount()), static_cast<int>(g_selection.count), size);
    }
    SendMessageW(g_statusBar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text));
}

// The list view's own state calls, which the subclass below answers for the
// selection, go to the list itself through this.
LRESULT ListDefault(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefSubclassProc(list, message, wParam, lParam);
}

void SetListFocusRow(HWND list, int row) {
    if (row < 0) return;
    LVITEMW item = {};
    item.stateMask = LVIS_FOCUSED;
    item.state = LVIS_FOCUSED;
    ListDefault(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    ListDefault(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

int ListFocusRow(HWND list) {
    return static_cast<int>(
        ListDefault(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

// The selection of the rows on screen before a change, so that only the rows
// whose look changed are drawn again (a handful, however many rows changed).
struct ShownSelection {
    int top;
    std::vector<bool> selected;
};

ShownSelection ShownRows(HWND list) {
    ShownSelection shown;
    shown.top = static_cast<int>(ListDefault(list, LVM_GETTOPINDEX, 0, 0));
    int page = static_cast<int>(ListDefault(list, LVM_GETCOUNTPERPAGE, 0, 0)) + 1;
    for (int row = shown.top; row < shown.top + page && uint32_t(row) < ShownCount(); ++row)
        shown.selected.push_back(IsRowSelected(g_selection, uint32_t(row)));
    return shown;
}

void InvalidateRow(HWND list, int row) {
    RECT area = {};
    area.left = LVIR_BOUNDS;
    if (ListDefault(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                    reinterpret_cast<LPARAM>(&area)))
        InvalidateRect(list, &area, FALSE);
}

void SelectionChanged(HWND list, const ShownSelection& before) {
    int top = static_cast<int>(ListDefault(list, LVM_GETTOPINDEX, 0, 0));
    if (top != before.top) {
        InvalidateRect(list, nullptr, FALSE);
    } else {
        for (size_t i = 0; i < before.selected.size(); ++i) {
            int row = before.top + static_cast<int>(i);
            if (IsRowSelected(g_selection, uint32_t(row)) != before.selected[i])
                InvalidateRow(list, row);
        }
    }
    ShowListCounts();
}

// Moves the focus to row as a key or a click does: alone it selects just
// that row; extend selects from the anchor to it; keep leaves the selection.
void MoveToRow(HWND list, int row, bool extend, bool keep) {
    int count = static_cast<int>(ShownCount());
    if (count == 0) return;
    ShownSelection before = ShownRows(list);
    row = row < 0 ? 0 : (row >= count ? count - 1 : row);
    if (extend) {
        if (g_selection.anchor < 0 || g_selection.anchor >= count) {
            int focus = ListFocusRow(list);
            g_selection.anchor = focus >= 0 ? focus : row;
        }
        int first = g_selection.anchor < row ? g_selection.anchor : row;
        int last = g_selection.anchor < row ? row : g_selection.anchor;
        if (!keep) ClearRows(&g_selection);
        SetRowsSelected(&g_selection, uint32_t(first), uint32_t(last) + 1, true);
    } else if (!keep) {
        ClearRows(&g_selection);
        SetRowsSelected(&g_selection, uint32_t(row), uint32_t(row) + 1, true);
        g_selection.anchor = row;
    }
    SetListFocusRow(list, row);
    SelectionChanged(list, before);
}

bool KeyHeld(int key) {
    return GetKeyState(key) < 0;
}

// The row a navigation key leads to from the focused row, or -2 when key is
// no navigation key.
int RowForKey(HWND list, WPARAM key) {
    int focus = ListFocusRow(list);
    int count = static_cast<int>(ShownCount());
    int page = static_cast<int>(ListDefault(list, LVM_GETCOUNTPERPAGE, 0, 0));
    if (page < 1) page = 1;
    int top = static_cast<int>(ListDefault(list, LVM_GETTOPINDEX, 0, 0));
    switch (key) {
        case VK_UP:
            return focus < 0 ? 0 : focus - 1;
        case VK_DOWN:
            return focus < 0 ? 0 : focus + 1;
        case VK_HOME:
            return 0;
        case VK_END:
            return count - 1;
        case VK_PRIOR:
            // To the top of the page first, then a page further.
            return focus > top ? top : focus - (page - 1);
        case VK_NEXT:
            return focus >= 0 && focus < top + page - 1 ? top + page - 1 : focus + (page - 1);
    }
    return -2;
}

void ActivateFocusedRow(HWND list) {
    NMITEMACTIVATE activation = {};
    activation.hdr.hwndFrom = list;
    activation.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    activation.hdr.code = LVN_ITEMACTIVATE;
    activation.iItem = ListFocusRow(list);
    SendMessageW(GetParent(list), WM_NOTIFY, activation.hdr.idFrom,
                 reinterpret_cast<LPARAM>(&activation));
}

void SendCommand(HWND list, int command) {
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

// Keys the list answers itself; false hands the key to the list view.
bool OnListKey(HWND list, WPARAM key) {
    bool ctrl = KeyHeld(VK_CONTROL);
    bool shift = KeyHeld(VK_SHIFT);
    if (key == 'A' && ctrl) {
        SelectAllRows(GetParent(list));
        return true;
    }
    if (key == VK_DELETE) {
        SendCommand(list, IDC_DELETE_SEL);
        return true;
    }
    if (key == VK_RETURN) {
        ActivateFocusedRow(list);
        return true;
    }
    if (key == VK_SPACE && ctrl) {
        int focus = ListFocusRow(list);
        if (focus >= 0) {
            ShownSelection before = ShownRows(list);
            SetRowsSelected(&g_selection, uint32_t(focus), uint32_t(focus) + 1,
                            !IsRowSelected(g_selection, uint32_t(focus)));
            g_selection.anchor = focus;
            SelectionChanged(list, before);
        }
        return true;
    }
    int row = RowForKey(list, key);
    if (row == -2) return false;
    // Ctrl moves only the focus; Shift extends from the anchor.
    MoveToRow(list, row, shift, ctrl && !shift);
    return true;
}

int RowAt(HWND list, LPARAM at) {
    LVHITTESTINFO hit = {};
    hit.pt.x = GET_X_LPARAM(at);
    hit.pt.y = GET_Y_LPARAM(at);
    int row =
        static_cast<int>(ListDefault(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    return row >= 0 && uint32_t(row) < ShownCount() ? row : -1;
}

void OnListClick(HWND list, LPARAM at, bool right) {
    SetFocus(list);
    int row = RowAt(list, at);
    bool ctrl = KeyHeld(VK_CONTROL);
    bool shift = KeyHeld(VK_SHIFT);
    if (row < 0) {
        if (!ctrl && !shift && !right) {
            ShownSelection before = ShownRows(list);
            ClearRows(&g_selection);
            SelectionChanged(list, before);
        }
        return;
    }
    if (right) {
        // A right click on a selected row keeps the selection for its menu.
        if (!IsRowSelected(g_selection, uint32_t(row)))
            MoveToRow(list, row, false, false);
        else
            SetListFocusRow(list, row);
        return;
    }
    if (ctrl && !shift) {
        ShownSelection before = ShownRows(list);
        SetRowsSelected(&g_selection, uint32_t(row), uint32_t(row) + 1,
                        !IsRowSelected(g_selection, uint32_t(row)));
        g_selection.anchor = row;
        SetListFocusRow(list, row);
        SelectionChanged(list, before);
        return;
    }
    MoveToRow(list, row, shift, ctrl);
}

// A left press on a row, which may become a drag of the selection.
struct RowPress {
    bool active;
    bool deferred;  // pressed on the selection: the click selects on release
    int row;
    POINT at;
};

RowPress g_press = {};

bool PastDragThreshold(LPARAM at) {
    int dx = GET_X_LPARAM(at) - g_press.at.x;
    int dy = GET_Y_LPARAM(at) - g_press.at.y;
    return abs(dx) > GetSystemMetrics(SM_CXDRAG) || abs(dy) > GetSystemMetrics(SM_CYDRAG);
}

// Tells the dialog a drag of the selection starts, as the list view would.
void BeginRowDrag(HWND list, int row) {
    NMLISTVIEW drag = {};
    drag.hdr.hwndFrom = list;
    drag.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    drag.hdr.code = LVN_BEGINDRAG;
    drag.iItem = row;
    drag.ptAction = g_press.at;
    SendMessageW(GetParent(list), WM_NOTIFY, drag.hdr.idFrom, reinterpret_cast<LPARAM>(&drag));
}

// A plain press on a row that is selected keeps the selection until the
// button is let go, so that the whole selection can be dragged; any other
// press selects at once, and a plain one may still start a drag.
void OnListPress(HWND list, LPARAM at) {
    int row = RowAt(list, at);
    bool plain = !KeyHeld(VK_CONTROL) && !KeyHeld(VK_SHIFT);
    bool onSelection = row >= 0 && plain && IsRowSelected(g_selection, uint32_t(row));
    if (onSelection) {
        SetFocus(list);
        SetListFocusRow(list, row);
    } else {
        OnListClick(list, at, false);
    }
    if (row < 0 || !plain) return;
    g_press = {true, onSelection, row, {GET_X_LPARAM(at), GET_Y_LPARAM(at)}};
    SetCapture(list);
}

// The list view's own selection is kept empty: every message that reads or
// sets the selection is answered from g_selection, and the input that would
// select (keys, clicks) is handled here, so none of the list view's
// whole-list selection walks ever runs.
LRESULT CALLBACK EntryListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR) {
    switch (message) {
        case LVM_SETITEMSTATE: {
            auto* item = reinterpret_cast<LVITEMW*>(lParam);
            if (!item) break;
            if (item->stateMask & LVIS_SELECTED) {
                ShownSelection before = ShownRows(list);
                bool selected = (item->state & LVIS_SELECTED) != 0;
                int row = static_cast<int>(wParam);
                if (row == -1) {
                    ClearRows(&g_selection);
                    if (selected) SetRowsSelected(&g_selection, 0, ShownCount(), true);
                } else if (row >= 0 && uint32_t(row) < ShownCount()) {
                    SetRowsSelected(&g_selection, uint32_t(row), uint32_t(row) + 1, selected);
                    if (selected) g_selection.anchor = row;
                }
                SelectionChanged(list, before);
            }
            LVITEMW rest = *item;
            rest.stateMask &= ~static_cast<UINT>(LVIS_SELECTED);
            // The list view cannot focus every row at once.
            if (!rest.stateMask || (static_cast<int>(wParam) == -1 && (rest.state & LVIS_FOCUSED)))
                return TRUE;
            return ListDefault(list, message, wParam, reinterpret_cast<LPARAM>(&rest));
        }
        case LVM_GETITEMSTATE: {
            UINT state = static_cast<UINT>(ListDefault(list, message, wParam, lParam));
            state &= ~static_cast<UINT>(LVIS_SELECTED);
            if (IsRowSelected(g_selection, static_cast<uint32_t>(wParam))) state |= LVIS_SELECTED;
            return state & static_cast<UINT>(lParam);
        }
        case LVM_GETITEMW: {
            LRESULT result = ListDefault(list, message, wParam, lParam);
            auto* item = reinterpret_cast<LVITEMW*>(lParam);
            if (result && item && (item->mask & LVIF_STATE) && (item->stateMask & LVIS_SELECTED)) {
                item->state &= ~static_cast<UINT>(LVIS_SELECTED);
                if (IsRowSelected(g_selection, static_cast<uint32_t>(item->iItem)))
                    item->state |= LVIS_SELECTED;
            }
            return result;
        }
        case LVM_GETSELECTEDCOUNT:
            return g_selection.count;
        case LVM_GETNEXTITEM:
            if ((lParam & LVNI_SELECTED) && !(lParam & LVNI_FOCUSED))
                return NextSelectedRow(g_selection, static_cast<int>(wParam));
            break;
        case WM_GETDLGCODE:
            // Enter previews the focused row while the list has the focus.
            if (lParam && reinterpret_cast<MSG*>(lParam)->message == WM_KEYDOWN &&
                reinterpret_cast<MSG*>(lParam)->wParam == VK_RETURN)
                return DLGC_WANTMESSAGE | ListDefault(list, message, wParam, lParam);
            break;
        case WM_KEYDOWN:
            if (OnListKey(list, wParam)) return 0;
            break;
        case WM_CHAR:
            // Ctrl+A and other control characters are no row numbers.
            if (wParam < L' ') return 0;
            {
                // Typing a row number lets the list view select the row it
                // finds; that one row moves into g_selection.
                int before = ListFocusRow(list);
                LRESULT result = ListDefault(list, message, wParam, lParam);
                int after = ListFocusRow(list);
                if (after != before && after >= 0) {
                    LVITEMW item = {};
                    item.stateMask = LVIS_SELECTED;
                    ListDefault(list, LVM_SETITEMSTATE, static_cast<WPARAM>(after),
                                reinterpret_cast<LPARAM>(&item));
                    MoveToRow(list, after, false, false);
                }
                return result;
            }
        case WM_LBUTTONDOWN:
            OnListPress(list, lParam);
            return 0;
        case WM_MOUSEMOVE:
            if (g_press.active && (wParam & MK_LBUTTON) && PastDragThreshold(lParam)) {
                g_press.active = false;
                ReleaseCapture();
                BeginRowDrag(list, g_press.row);
                return 0;
            }
            break;
        case WM_LBUTTONUP:
            if (g_press.active) {
                g_press.active = false;
                ReleaseCapture();
                // A click on the selection without a drag selects that row.
                if (g_press.deferred) MoveToRow(list, g_press.row, false, false);
            }
            break;
        case WM_CAPTURECHANGED:
            g_press.active = false;
            break;
        case WM_RBUTTONDOWN:
            OnListClick(list, lParam, true);
            return 0;
        case WM_LBUTTONDBLCLK:
            OnListClick(list, lParam, false);
            if (RowAt(list, lParam) >= 0) ActivateFocusedRow(list);
            return 0;
        case WM_SIZE: {
            LRESULT result = ListDefault(list, message, wParam, lParam);
            FitNameColumn(GetParent(list));
            return result;
        }
        case WM_CONTEXTMENU:
            // The rows' menu is the dialog's; the list view would show none.
            SendMessageW(GetParent(list), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), lParam);
            return 0;
        case WM_RBUTTONUP: {
            POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(list, &at);
            SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list),
                         MAKELPARAM(at.x, at.y));
            return 0;
        }
    }
    return ListDefault(list, message, wParam, lParam);
}

// ---- The view: search, folder and sort over the filled rows.

unsigned char FoldAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Whether needle (code page 949) occurs in name at a character boundary,
// ASCII letters without regard to case. Double-byte characters compare
// exactly: their second bytes may look like letters.
bool MatchesAt(const unsigned char* at, const std::string& needle) {
    size_t i = 0;
    while (i < needle.size()) {
        auto want = static_cast<unsigned char>(needle[i]);
        if (want >= 0x81 && i + 1 < needle.size()) {
            if (at[i] != want || at[i + 1] != static_cast<unsigned char>(needle[i + 1]))
                return false;
            i += 2;
        } else {
            if (!at[i] || FoldAscii(at[i]) != FoldAscii(want)) return false;
            i += 1;
        }
    }
    return true;
}

bool NameContains(const char* name, const std::string& needle) {
    if (needle.empty()) return true;
    // Most places differ at once: the first byte is compared here.
    unsigned char first = FoldAscii(static_cast<unsigned char>(needle[0]));
    auto at = reinterpret_cast<const unsigned char*>(name);
    for (; *at; at += (*at >= 0x81 && at[1]) ? 2 : 1) {
        if (FoldAscii(*at) == first && MatchesAt(at, needle)) return true;
    }
    return false;
}

// Whether name starts with folder, ASCII letters without regard to case.
bool InFolder(const char* name, const std::string& folder) {
    auto at = reinterpret_cast<const unsigned char*>(name);
    for (size_t i = 0; i < folder.size(); ++i) {
        auto want = static_cast<unsigned char>(folder[i]);
        if (want >= 0x81 && i + 1 < folder.size()) {
            if (at[i] != want || at[i + 1] != static_cast<unsigned char>(folder[i + 1]))
                return false;
            ++i;
        } else if (!at[i] || FoldAscii(at[i]) != FoldAscii(want)) {
            return false;
        }
    }
    return true;
}

const GrfEntry* FilledEntry(uint32_t filled) {
    if (g_loading.entries) {
        uint32_t index = g_entryRows.indices[filled];
        return index < g_loading.count ? &g_loading.entries[index] : nullptr;
    }
    if (g_archive == GRF_NO_ARCHIVE || g_entryRows.archive != g_archive) return nullptr;
    uint32_t index = g_entryRows.indices[filled];
    return index < g_archive->count ? &g_archive->entries[index] : nullptr;
}

bool RowPasses(uint32_t filled) {
    const GrfEntry* entry = FilledEntry(filled);
    if (!entry) return false;
    // The table as read shows whole until the open ends.
    if (g_loading.entries) return true;
    if (!g_view.searchValid) return false;
    if (!g_view.folder.empty() && !InFolder(entry->name, g_view.folder)) return false;
    return NameContains(entry->name, g_view.search);
}

uint32_t NumberKey(const GrfEntry& entry, int column) {
    switch (column) {
        case 1:
            return entry.alignedSize;
        case 2:
            return entry.realSize;
        case 3:
            return entry.position;
        case 4:
            return static_cast<uint32_t>(entry.cycle + 128);
    }
    return 0;
}

// 32 bytes of a name from offset on, ASCII letters folded, as four numbers
// that compare as the bytes do; past the end, zeros.
struct NameKey {
    uint64_t part[4];
    uint32_t filled;
};

void FillNameKey(const char* name, size_t offset, NameKey* key) {
    size_t length = strnlen(name, GRF_NAME_SIZE);
    for (int i = 0; i < 4; ++i) {
        uint64_t part = 0;
        for (size_t j = 0; j < 8; ++j) {
            size_t at = offset + size_t(i) * 8 + j;
            unsigned char c = at < length ? FoldAscii(static_cast<unsigned char>(name[at])) : 0;
            part = part << 8 | c;
        }
        key->part[i] = part;
    }
}

bool SameName(const NameKey& a, const NameKey& b) {
    return a.part[0] == b.part[0] && a.part[1] == b.part[1] && a.part[2] == b.part[2] &&
           a.part[3] == b.part[3];
}

const size_t SMALL_RUN = 32;

int CompareFrom(const char* a, const char* b, size_t offset) {
    auto x = reinterpret_cast<const unsigned char*>(a) + offset;
    auto y = reinterpret_cast<const unsigned char*>(b) + offset;
    while (*x && FoldAscii(*x) == FoldAscii(*y)) ++x, ++y;
    return int(FoldAscii(*x)) - int(FoldAscii(*y));
}

// Rows whose names agree up to offset (all longer than it).
void SortRestOfNames(size_t first, size_t last, size_t offset) {
    std::sort(g_order.begin() + ptrdiff_t(first), g_order.begin() + ptrdiff_t(last),
              [offset](uint32_t a, uint32_t b) {
                  const GrfEntry* x = FilledEntry(a);
                  const GrfEntry* y = FilledEntry(b);
                  int order =
                      x && y && offset < GRF_NAME_SIZE ? CompareFrom(x->name, y->name, offset) : 0;
                  return order != 0 ? order < 0 : a < b;
              });
}

// Sorts g_order[first, last) by name from byte offset on: 32 bytes at a time,
// the keys sorted in one block of memory (comparing names through the table
// would wait on memory at every step), then each run of rows whose 32 bytes
// agree and go on, by the next 32.
void SortByName(size_t first, size_t last, size_t offset) {
    if (last - first < 2 || offset >= GRF_NAME_SIZE) return;
    std::vector<NameKey> keys(last - first);
    for (size_t i = first; i < last; ++i) {
        const GrfEntry* entry = FilledEntry(g_order[i]);
        FillNameKey(entry ? entry->name : "", offset, &keys[i - first]);
        keys[i - first].filled = g_order[i];
    }
    std::sort(keys.begin(), keys.end(), [](const NameKey& a, const NameKey& b) {
        for (int i = 0; i < 4; ++i) {
            if (a.part[i] != b.part[i]) return a.part[i] < b.part[i];
        }
        return a.filled < b.filled;
    });
    for (size_t i = first; i < last; ++i) g_order[i] = keys[i - first].filled;
    for (size_t run = 0; run < keys.size();) {
        size_t end = run + 1;
        while (end < keys.size() && SameName(keys[run], keys[end])) ++end;
        // Names that end within these bytes are equal: their order stays. A
        // few rows compare the rest of their names directly.
        if (end - run > 1 && (keys[run].part[3] & 0xFF) != 0) {
            if (end - run <= SMALL_RUN) {
                SortRestOfNames(first + run, first + end, offset + 32);
            } else {
                SortByName(first + run, first + end, offset + 32);
            }
        }
        run = end;
    }
}

// Orders g_order by the sort column; equal keys keep the filling's order.
void SortRows() {
    int column = g_view.sortColumn;
    if (column < 0 || g_order.empty()) return;
    bool down = g_view.descending;
    if (column == 5) {
        SortByName(0, g_order.size(), 0);
        if (down) std::reverse(g_order.begin(), g_order.end());
        return;
    }
    // The key above, the filling's position below: one number sorts both.
    std::vector<uint64_t> keys(g_order.size());
    for (size_t i = 0; i < g_order.size(); ++i) {
        const GrfEntry* entry = FilledEntry(g_order[i]);
        uint32_t key = column == 0 ? g_order[i] : (entry ? NumberKey(*entry, column) : 0);
        if (down) key = ~key;
        keys[i] = uint64_t(key) << 32 | g_order[i];
    }
    std::sort(keys.begin(), keys.end());
    for (size_t i = 0; i < g_order.size(); ++i) g_order[i] = static_cast<uint32_t>(keys[i]);
}

// Builds g_order from the filled rows (or, narrowing, from the rows shown)
// and shows it from the top, with nothing selected.
// A selection carried over a new order or filling: by filled row, with the
// focused and the anchor row's.
struct KeptSelection {
    std::vector<bool> filled;
    int64_t focus = -1;
    int64_t anchor = -1;
};

int64_t FilledOfRow(int row) {
    return row >= 0 && uint32_t(row) < ShownCount() ? int64_t{g_order[size_t(row)]} : -1;
}

KeptSelection KeepSelection(HWND list) {
    KeptSelection kept;
    kept.filled.assign(g_entryRows.count, false);
    for (const RowRun& run : g_selection.runs) {
        for (uint32_t row = run.first; row < run.last && row < ShownCount(); ++row)
            kept.filled[g_order[row]] = true;
    }
    kept.focus = FilledOfRow(ListFocusRow(list));
    kept.anchor = FilledOfRow(g_selection.anchor);
    return kept;
}

// Selects the shown rows kept selected, in runs built in one pass; the focus
// and the anchor follow their rows. Returns the focused row, or -1.
int RestoreSelection(HWND list, const KeptSelection& kept) {
    ClearRows(&g_selection);
    g_selection.anchor = -1;
    int focus = -1;
    for (uint32_t row = 0; row < ShownCount(); ++row) {
        uint32_t filled = g_order[row];
        if (int64_t{filled} == kept.focus) focus = int(row);
        if (int64_t{filled} == kept.anchor) g_selection.anchor = int(row);
        if (filled >= kept.filled.size() || !kept.filled[filled]) continue;
        if (!g_selection.runs.empty() && g_selection.runs.back().last == row) {
            ++g_selection.runs.back().last;
        } else {
            g_selection.runs.push_back({row, row + 1});
        }
        ++g_selection.count;
    }
    if (focus >= 0) SetListFocusRow(list, focus);
    return focus;
}

void ShowView(HWND window, bool narrowing, const KeptSelection* kept = nullptr) {
    if (narrowing) {
        size_t kept = 0;
        for (uint32_t filled : g_order) {
            if (RowPasses(filled)) g_order[kept++] = filled;
        }
        g_order.resize(kept);
    } else {
        g_order.clear();
        for (uint32_t filled = 0; filled < g_entryRows.count; ++filled) {
            if (RowPasses(filled)) g_order.push_back(filled);
        }
        SortRows();
    }
    HWND list = EntryList(window);
    ClearRows(&g_selection);
    g_selection.anchor = -1;
    SendMessageW(list, LVM_SETITEMCOUNT, ShownCount(), 0);
    // Kept rows stay selected, and the focused one in sight.
    int focus = kept ? RestoreSelection(list, *kept) : -1;
    if (ShownCount() > 0) SendMessageW(list, LVM_ENSUREVISIBLE, focus >= 0 ? focus : 0, FALSE);
    InvalidateRect(list, nullptr, FALSE);
    CountRowBytes();
    ShowListCounts();
}

void ShowSortArrow(HWND window) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(EntryList(window), LVM_GETHEADER, 0, 0));
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == g_view.sortColumn) item.fmt |= g_view.descending ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, column, reinterpret_cast<LPARAM>(&item));
    }
}

}  // namespace

HIMAGELIST CreateStateImages() {
    // Image order: blank, new, replaced, deleted (MARK_*).
    static const UINT BITMAPS[] = {IDB_MARK_NONE, IDB_MARK_NEW, IDB_MARK_REPLACED,
                                   IDB_MARK_DELETED};
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 4, 4);
    for (UINT id : BITMAPS) {
        HBITMAP bitmap = static_cast<HBITMAP>(
            LoadImageW(g_instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 16, 16, 0));
        ImageList_AddMasked(images, bitmap, RGB(255, 255, 255));
        DeleteObject(bitmap);
    }
    return images;
}

void InitEntryList(HWND window, HIMAGELIST images) {
    HWND list = EntryList(window);
    // A new dialog starts unsorted, unsearched, with nothing listed.
    g_view = ViewSettings();
    ForgetRows();
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    for (int i = 0; i < COLUMN_COUNT; ++i) {
        wchar_t header[CELL_SIZE];
        LoadStringW(g_instance, COLUMNS[i].header, header, CELL_SIZE);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        // Wide enough for its header, whatever the font: "comp size" whole.
        int text = static_cast<int>(
            SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(header)));
        column.cx =
            COLUMNS[i].width > text + HEADER_MARGIN ? COLUMNS[i].width : text + HEADER_MARGIN;
        column.pszText = header;
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    SetWindowSubclass(list, EntryListProc, 0, 0);
    FitNameColumn(window);
}

void FitNameColumn(HWND window) {
    HWND list = EntryList(window);
    RECT client;
    GetClientRect(list, &client);
    int others = 0;
    for (int i = 0; i < COLUMN_COUNT - 1; ++i)
        others += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
    // Room is left for the vertical scroll bar while it is hidden, so that
    // rows coming later never bring a horizontal one.
    int rest = client.right - others;
    if (!(GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL)) rest -= GetSystemMetrics(SM_CXVSCROLL);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, COLUMN_COUNT - 1,
                 rest > MIN_NAME_WIDTH ? rest : MIN_NAME_WIDTH);
}

namespace {

void FillEntryList(HWND window, bool keep) {
    HWND list = EntryList(window);
    // The selection by table index: the filling numbers its rows anew.
    std::vector<bool> selectedEntries;
    int64_t focusEntry = -1;
    if (keep && g_archive != GRF_NO_ARCHIVE && g_entryRows.archive == g_archive &&
        !g_loading.entries) {
        KeptSelection kept = KeepSelection(list);
        selectedEntries.assign(g_archive->count, false);
        for (uint32_t filled = 0; filled < g_entryRows.count; ++filled) {
            uint32_t index = g_entryRows.indices[filled];
            if (kept.filled[filled] && index < g_archive->count) selectedEntries[index] = true;
        }
        if (kept.focus >= 0) focusEntry = g_entryRows.indices[kept.focus];
    }
    wchar_t pattern[FILTER_SIZE];
    if (GetDlgItemTextW(window, IDC_FILTER_TEXT, pattern, FILTER_SIZE) == 0) {
        wcscpy(pattern, L"*.*");
    }
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    g_loading = LoadingTable();
    ForgetRows();
    g_view.filter = pattern;

    GrfEntry* entry = nullptr;
    GrfSearch* search = GrfFindFirst(g_archive, pattern, &entry);
    if (search == reinterpret_cast<GrfSearch*>(-1)) {
        ShowListCounts();
        RebuildFolderTree(window);
        return;
    }

    g_entryRows.archive = g_archive;
    bool more = true;
    while (more) {
        if (!AppendRow(static_cast<uint32_t>(entry - g_archive->entries))) break;
        // The first thousand rows fill the visible part of the list, so they
        // are shown at once; later counts would only move the scroll bar,
        // and setting the count costs more than the rows themselves.
        // "Filtering..." is said once, there: each status update costs about
        // a millisecond under Wine, more than a thousand rows.
        if (g_entryRows.count == FILTERING_EVERY) {
            SetRowCount(list, g_entryRows.count);
            SetStatusText(LoadResString(IDS_FILTERING));
            UpdateWindow(window);
        }
        more = GrfFindNext(search, &entry) != 0;
    }
    GrfFreeBuffer(search);
    KeptSelection kept;
    if (!selectedEntries.empty()) {
        kept.filled.assign(g_entryRows.count, false);
        for (uint32_t filled = 0; filled < g_entryRows.count; ++filled) {
            uint32_t index = g_entryRows.indices[filled];
            kept.filled[filled] = selectedEntries[index];
            if (int64_t{index} == focusEntry) kept.focus = filled;
        }
    }
    if (g_view.sortColumn >= 0 || !g_view.search.empty() || !g_view.searchValid ||
        !g_view.folder.empty()) {
        ShowView(window, false, keep ? &kept : nullptr);
    } else {
        SetRowCount(list, ShownCount());
        if (keep) {
            int focus = RestoreSelection(list, kept);
            if (focus >= 0) SendMessageW(list, LVM_ENSUREVISIBLE, focus, FALSE);
            InvalidateRect(list, nullptr, FALSE);
        }
        CountRowBytes();
        ShowListCounts();
    }
    RebuildFolderTree(window);
    SetStatusText(LoadResString(IDS_READY));
}

}  // namespace

void RefreshEntryList(HWND window) {
    FillEntryList(window, false);
}

void FilterEntryList(HWND window) {
    FillEntryList(window, true);
}

uint32_t FilledRowCount() {
    return g_entryRows.count;
}

const GrfEntry* FilledRowEntry(uint32_t filled) {
    return filled < g_entryRows.count ? FilledEntry(filled) : nullptr;
}

GrfEntry* EntryOfRow(int row) {
    if (row < 0 || static_cast<uint32_t>(row) >= ShownCount()) return nullptr;
    // The rows of an archive still opening are for looking at only.
    if (g_loading.entries) return nullptr;
    if (g_archive == GRF_NO_ARCHIVE || g_entryRows.archive != g_archive) return nullptr;
    uint32_t filled = g_order[size_t(row)];
    if (filled >= g_entryRows.count) return nullptr;
    uint32_t index = g_entryRows.indices[filled];
    if (index >= g_archive->count) return nullptr;
    return &g_archive->entries[index];
}

int EntryRowCount() {
    return static_cast<int>(ShownCount());
}

int MarkOfEntry(const GrfEntry* entry) {
    if (entry->state & ENTRY_NEW) return MARK_NEW;
    if (entry->state & ENTRY_REPLACED) return MARK_REPLACED;
    // A patch's removal record shows what applying it deletes.
    if (entry->state & (ENTRY_DELETED | ENTRY_REMOVAL)) return MARK_DELETED;
    return MARK_NONE;
}

// Control bytes of a hostile name (ESC, BEL, a line end) shown as the
// visible symbols Unicode keeps for them, so no name draws as blank or
// splits over two lines.
void ShowControlsAsSymbols(wchar_t* text) {
    for (; *text; ++text) {
        if (*text < 0x20) *text = static_cast<wchar_t>(0x2400 + *text);
        if (*text == 0x7F) *text = 0x2421;
    }
}

void OnEntryListDispInfo(NMLVDISPINFOW* info) {
    LVITEMW* item = &info->item;
    const GrfEntry* entry = item->iItem >= 0 && uint32_t(item->iItem) < ShownCount()
                                ? FilledEntry(g_order[size_t(item->iItem)])
                                : nullptr;
    if ((item->mask & LVIF_TEXT) && item->pszText && item->cchTextMax > 0) {
        wchar_t cell[CELL_SIZE];
        uint32_t filled = entry ? g_order[size_t(item->iItem)] : 0;
        FormatCell(entry, filled, item->iSubItem, cell);
        ShowControlsAsSymbols(cell);
        lstrcpynW(item->pszText, cell, item->cchTextMax);
    }
    if (item->mask & LVIF_IMAGE) item->iImage = entry ? MarkOfEntry(entry) : MARK_NONE;
}

int FindEntryRow(const NMLVFINDITEMW* find) {
    const LVFINDINFOW& info = find->lvfi;
    if (!(info.flags & (LVFI_STRING | LVFI_PARTIAL)) || !info.psz || !info.psz[0]) return -1;
    int count = static_cast<int>(ShownCount());
    if (count == 0) return -1;
    size_t typed = wcslen(info.psz);
    int start = find->iStart >= 0 && find->iStart < count ? find->iStart : 0;
    for (int step = 0; step < count; ++step) {
        int row = (start + step) % count;
        wchar_t number[CELL_SIZE];
        FormatText(number, CELL_SIZE, L"%ld", static_cast<long>(g_order[size_t(row)]));
        bool matches = (info.flags & LVFI_PARTIAL) ? wcsncmp(number, info.psz, typed) == 0
                                                   : wcscmp(number, info.psz) == 0;
        if (matches) return row;
    }
    return -1;
}

void SortEntryList(HWND window, int column) {
    if (column < 0 || column >= COLUMN_COUNT) return;
    g_view.descending = column == g_view.sortColumn ? !g_view.descending : false;
    g_view.sortColumn = column;
    ShowSortArrow(window);
    // An archive still opening is sorted once it is read. The selected rows
    // stay selected wherever the order puts them.
    if (g_loading.entries) return;
    KeptSelection kept = KeepSelection(EntryList(window));
    ShowView(window, false, &kept);
}

void ShowLoadingRows(HWND window, const GrfEntry* entries, uint32_t count) {
    HWND list = EntryList(window);
    if (g_loading.entries != entries) {
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        ForgetRows();
        g_loading.entries = entries;
        g_loading.count = 0;
    }
    uint32_t before = ShownCount();
    for (uint32_t index = g_loading.count; index < count; ++index) {
        if (!AppendRow(index)) break;
    }
    g_loading.count = count;
    SetRowCount(list, ShownCount());
    // Only rows that come into sight are drawn: repainting the whole list
    // for each count would keep the window busy painting.
    int top = static_cast<int>(ListDefault(list, LVM_GETTOPINDEX, 0, 0));
    int page = static_cast<int>(ListDefault(list, LVM_GETCOUNTPERPAGE, 0, 0)) + 1;
    if (before < uint32_t(top + page)) InvalidateRect(list, nullptr, FALSE);
    CountRowBytes();
    ShowListCounts();
}

void EndLoadingRows(HWND window) {
    if (!g_loading.entries) return;
    g_loading = LoadingTable();
    SendMessageW(EntryList(window), LVM_DELETEALLITEMS, 0, 0);
    ForgetRows();
    ShowListCounts();
}

void SearchEntryList(HWND window, const wchar_t* text) {
    std::wstring typed = text ? text : L"";
    std::replace(typed.begin(), typed.end(), L'/', L'\\');
    std::string needle;
    bool valid = true;
    if (!typed.empty()) {
        // A character code page 949 lacks is in no name.
        char* narrow = WideToCp949(typed.c_str());
        wchar_t* back = narrow ? Cp949ToWide(narrow) : nullptr;
        valid = back && typed == back;
        if (narrow) needle = narrow;
        GrfFreeBuffer(back);
        GrfFreeBuffer(narrow);
    }
    // Setting the box to what it searches already (as opening does) costs
    // nothing.
    if (valid == g_view.searchValid && (!valid || needle == g_view.search)) {
        g_view.typed = text ? text : L"";
        ShowListCounts();
        return;
    }
    // Typing on narrows the rows shown; anything else starts again.
    bool narrowing = g_view.searchValid && valid && needle.size() > g_view.search.size() &&
                     needle.compare(0, g_view.search.size(), g_view.search) == 0;
    g_view.search = needle;
    g_view.searchValid = valid;
    g_view.typed = text ? text : L"";
    ShowView(window, narrowing);
}

void ClearEntrySearch(HWND window) {
    g_view.search.clear();
    g_view.searchValid = true;
    g_view.typed.clear();
    SetDlgItemTextW(window, IDC_SEARCH, L"");
}

void ShowEntryFolder(HWND window, const char* folder) {
    g_view.folder = folder ? folder : "";
    ShowView(window, false);
}

const RowSelection& EntrySelection() {
    return g_selection;
}

void SelectAllRows(HWND window) {
    SelectOnlyRows(window, 0, static_cast<int>(ShownCount()), -1);
}

void SelectOnlyRows(HWND window, int first, int last, int focus) {
    HWND list = EntryList(window);
    ShownSelection before = ShownRows(list);
    ClearRows(&g_selection);
    if (first < 0) first = 0;
    if (last > static_cast<int>(ShownCount())) last = static_cast<int>(ShownCount());
    if (first < last) SetRowsSelected(&g_selection, uint32_t(first), uint32_t(last), true);
    g_selection.anchor = first < last ? first : -1;
    if (focus >= 0 && uint32_t(focus) < ShownCount()) SetListFocusRow(list, focus);
    SelectionChanged(list, before);
}

void RepaintEntryList(HWND window) {
    InvalidateRect(EntryList(window), nullptr, FALSE);
    ShowListCounts();
}

int FocusedRow(HWND window) {
    return ListFocusRow(EntryList(window));
}

uint64_t SelectedBytes() {
    uint64_t total = 0;
    if (g_rowBytes.size() != size_t(ShownCount()) + 1) return 0;
    for (const RowRun& run : g_selection.runs)
        total += g_rowBytes[run.last] - g_rowBytes[run.first];
    return total;
}

LRESULT OnEntryListCustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            if (!IsRowSelected(g_selection, static_cast<uint32_t>(draw->nmcd.dwItemSpec)))
                return CDRF_DODEFAULT;
            // As the list view draws its own selection: highlighted while it
            // has the focus, grey otherwise.
            bool focused = GetFocus() == draw->nmcd.hdr.hwndFrom;
            draw->clrText = GetSysColor(focused ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
            draw->clrTextBk = GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
            return CDRF_NEWFONT;
        }
    }
    return CDRF_DODEFAULT;
}

void OnEntryActivated(HWND window, UINT_PTR controlId, NMHDR* header) {
    if (controlId != IDC_ENTRY_LIST || header->code != LVN_ITEMACTIVATE) return;
    int row = FocusedRow(window);
    // An activation without a focused row names no entry.
    if (row < 0) return;
    GrfEntry* entry = EntryOfRow(row);
    if (!entry) {
        ShowError(window, LoadResString(IDS_INVALID_HANDLE), row);
        return;
    }
    PreviewArchiveRecord(window, static_cast<uint32_t>(entry - g_archive->entries));
}
