// entry_list.cpp -- the owner-data entry list: its columns, its cells
// formatted on demand from the entry view, and the input that moves the
// focus and the selection. The rows, their order and the selection are the
// view's (entry_view.h); this file shows them.
#include "entry_list.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windowsx.h>

#include <string>
#include <vector>

#include "entry_preview.h"
#include "resource.h"
#include "services.h"

namespace {

uint32_t ShownCount() {
    return ShownRowCount(g_entryView);
}

const int COLUMN_COUNT = VIEW_COLUMN_COUNT;
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

void SetRowCount(HWND list, uint32_t count) {
    SendMessageW(list, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

// The text of one cell, as the list shows it; the "index" column shows the
// row's place in the filling.
void FormatCell(const GrfEntry* entry, uint32_t position, int column, wchar_t* cell) {
    cell[0] = L'\0';
    if (!entry) return;
    switch (column) {
        case 0:
            FormatText(cell, CELL_SIZE, L"%ld", static_cast<long>(position));
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
    if (!IsEveryName(g_entryView.filter))
        AddHidingPart(&parts, IDS_HIDDEN_FILTER, g_entryView.filter);
    if (!g_entryView.typed.empty()) AddHidingPart(&parts, IDS_HIDDEN_SEARCH, g_entryView.typed);
    if (!g_entryView.folder.empty()) {
        wchar_t* folder = GrfCp949ToWide(g_entryView.folder.c_str());
        if (folder) AddHidingPart(&parts, IDS_HIDDEN_FOLDER, folder);
        GrfFreeBuffer(folder);
    }
    if (parts.empty()) AddHidingPart(&parts, IDS_HIDDEN_FILTER, g_entryView.filter);
    return parts;
}

// "N listed, M selected (size)" in the status bar's second part; "N of T
// listed (filter ...), ..." when the filter, the search or the folder hide
// some of the archive's T entries, so a short list never looks like a short
// archive.
void ShowListCounts() {
    if (!g_statusBar) return;
    wchar_t size[64] = L"";
    StrFormatByteSizeW(static_cast<LONGLONG>(SelectedBytes(g_entryView)), size, 64);
    // While an archive opens, the rows are all of it read so far.
    uint32_t total = ViewTotal(g_entryView);
    wchar_t text[TEXT_BUFFER_SIZE];
    if (ShownCount() < total) {
        std::wstring hiding = HidingParts();
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_LIST_COUNTS_OF),
                   static_cast<int>(ShownCount()), static_cast<int>(total), hiding.c_str(),
                   static_cast<int>(g_entryView.selection.count), size);
    } else {
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_LIST_COUNTS),
                   static_cast<int>(ShownCount()), static_cast<int>(g_entryView.selection.count),
                   size);
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
        shown.selected.push_back(IsRowSelected(g_entryView.selection, uint32_t(row)));
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
            if (IsRowSelected(g_entryView.selection, uint32_t(row)) != before.selected[i])
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
        if (g_entryView.selection.anchor < 0 || g_entryView.selection.anchor >= count) {
            int focus = ListFocusRow(list);
            g_entryView.selection.anchor = focus >= 0 ? focus : row;
        }
        int first = g_entryView.selection.anchor < row ? g_entryView.selection.anchor : row;
        int last = g_entryView.selection.anchor < row ? row : g_entryView.selection.anchor;
        if (!keep) ClearRows(&g_entryView.selection);
        SetRowsSelected(&g_entryView.selection, uint32_t(first), uint32_t(last) + 1, true);
    } else if (!keep) {
        ClearRows(&g_entryView.selection);
        SetRowsSelected(&g_entryView.selection, uint32_t(row), uint32_t(row) + 1, true);
        g_entryView.selection.anchor = row;
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
            SetRowsSelected(&g_entryView.selection, uint32_t(focus), uint32_t(focus) + 1,
                            !IsRowSelected(g_entryView.selection, uint32_t(focus)));
            g_entryView.selection.anchor = focus;
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
            ClearRows(&g_entryView.selection);
            SelectionChanged(list, before);
        }
        return;
    }
    if (right) {
        // A right click on a selected row keeps the selection for its menu.
        if (!IsRowSelected(g_entryView.selection, uint32_t(row)))
            MoveToRow(list, row, false, false);
        else
            SetListFocusRow(list, row);
        return;
    }
    if (ctrl && !shift) {
        ShownSelection before = ShownRows(list);
        SetRowsSelected(&g_entryView.selection, uint32_t(row), uint32_t(row) + 1,
                        !IsRowSelected(g_entryView.selection, uint32_t(row)));
        g_entryView.selection.anchor = row;
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
    bool onSelection = row >= 0 && plain && IsRowSelected(g_entryView.selection, uint32_t(row));
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
// sets the selection is answered from g_entryView.selection, and the input that would
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
                    ClearRows(&g_entryView.selection);
                    if (selected) SetRowsSelected(&g_entryView.selection, 0, ShownCount(), true);
                } else if (row >= 0 && uint32_t(row) < ShownCount()) {
                    SetRowsSelected(&g_entryView.selection, uint32_t(row), uint32_t(row) + 1,
                                    selected);
                    if (selected) g_entryView.selection.anchor = row;
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
            if (IsRowSelected(g_entryView.selection, static_cast<uint32_t>(wParam)))
                state |= LVIS_SELECTED;
            return state & static_cast<UINT>(lParam);
        }
        case LVM_GETITEMW: {
            LRESULT result = ListDefault(list, message, wParam, lParam);
            auto* item = reinterpret_cast<LVITEMW*>(lParam);
            if (result && item && (item->mask & LVIF_STATE) && (item->stateMask & LVIS_SELECTED)) {
                item->state &= ~static_cast<UINT>(LVIS_SELECTED);
                if (IsRowSelected(g_entryView.selection, static_cast<uint32_t>(item->iItem)))
                    item->state |= LVIS_SELECTED;
            }
            return result;
        }
        case LVM_GETSELECTEDCOUNT:
            return g_entryView.selection.count;
        case LVM_GETNEXTITEM:
            if ((lParam & LVNI_SELECTED) && !(lParam & LVNI_FOCUSED))
                return NextSelectedRow(g_entryView.selection, static_cast<int>(wParam));
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
                // finds; that one row moves into g_entryView.selection.
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

// Shows the view's rows anew: their count, the focused row (-1 for none) in
// sight, else the first.
void ShowViewRows(HWND list, int focus) {
    SendMessageW(list, LVM_SETITEMCOUNT, ShownCount(), 0);
    if (focus >= 0) SetListFocusRow(list, focus);
    if (ShownCount() > 0) SendMessageW(list, LVM_ENSUREVISIBLE, focus >= 0 ? focus : 0, FALSE);
    InvalidateRect(list, nullptr, FALSE);
    ShowListCounts();
}

void ShowSortArrow(HWND window) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(EntryList(window), LVM_GETHEADER, 0, 0));
    for (int column = 0; column < COLUMN_COUNT; ++column) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == g_entryView.sortColumn)
            item.fmt |= g_entryView.descending ? HDF_SORTDOWN : HDF_SORTUP;
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
    ResetView(&g_entryView, &g_archive);
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

// The first thousand rows fill the visible part of the list, so they are
// shown at once; later counts would only move the scroll bar, and setting
// the count costs more than the rows themselves. "Filtering..." is said
// once, there: each status update costs about a millisecond under Wine,
// more than a thousand rows.
void ShowFirstRows(void* context) {
    auto window = static_cast<HWND>(context);
    SetRowCount(EntryList(window), ShownCount());
    SetStatusText(LoadResString(IDS_FILTERING));
    UpdateWindow(window);
}

void FillEntryList(HWND window, bool keep) {
    HWND list = EntryList(window);
    int focus = keep ? ListFocusRow(list) : -1;
    wchar_t pattern[FILTER_SIZE];
    if (GetDlgItemTextW(window, IDC_FILTER_TEXT, pattern, FILTER_SIZE) == 0) {
        wcscpy(pattern, L"*.*");
    }
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    FillProgress progress;
    progress.rows = FILTERING_EVERY;
    progress.reached = ShowFirstRows;
    progress.context = window;
    bool found = FillView(&g_entryView, pattern, keep, &focus, progress);
    if (!found) {
        ShowListCounts();
        SendMessageW(window, WM_ENTRIES_FILLED, 0, 0);
        return;
    }
    if (ViewReorders(g_entryView)) {
        ShowViewRows(list, focus);
    } else {
        SetRowCount(list, ShownCount());
        if (focus >= 0) {
            SetListFocusRow(list, focus);
            SendMessageW(list, LVM_ENSUREVISIBLE, focus, FALSE);
        }
        if (keep) InvalidateRect(list, nullptr, FALSE);
        ShowListCounts();
    }
    SendMessageW(window, WM_ENTRIES_FILLED, 0, 0);
    SetStatusText(LoadResString(IDS_READY));
}

}  // namespace

void RefreshEntryList(HWND window) {
    FillEntryList(window, false);
}

void FilterEntryList(HWND window) {
    FillEntryList(window, true);
}

void ShowEntryRows(HWND window) {
    ShowViewRows(EntryList(window), -1);
}

GrfEntry* EntryOfRow(int row) {
    return EntryOfShownRow(g_entryView, row);
}

int EntryRowCount() {
    return static_cast<int>(ShownCount());
}

int MarkOfEntry(const GrfEntry* entry) {
    if (entry->state & GRF_ENTRY_NEW) return MARK_NEW;
    if (entry->state & GRF_ENTRY_REPLACED) return MARK_REPLACED;
    // A patch's removal record shows what applying it deletes.
    if (entry->state & (GRF_ENTRY_DELETED | GRF_ENTRY_REMOVAL)) return MARK_DELETED;
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
    const GrfEntry* entry =
        item->iItem >= 0 ? ShownEntry(g_entryView, uint32_t(item->iItem)) : nullptr;
    if ((item->mask & LVIF_TEXT) && item->pszText && item->cchTextMax > 0) {
        wchar_t cell[CELL_SIZE];
        uint32_t position = entry ? FillingPosition(g_entryView, uint32_t(item->iItem)) : 0;
        FormatCell(entry, position, item->iSubItem, cell);
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
        FormatText(number, CELL_SIZE, L"%ld",
                   static_cast<long>(FillingPosition(g_entryView, uint32_t(row))));
        bool matches = (info.flags & LVFI_PARTIAL) ? wcsncmp(number, info.psz, typed) == 0
                                                   : wcscmp(number, info.psz) == 0;
        if (matches) return row;
    }
    return -1;
}

void SortEntryList(HWND window, int column) {
    if (column < 0 || column >= COLUMN_COUNT) return;
    HWND list = EntryList(window);
    int focus = ListFocusRow(list);
    bool sorted = SortView(&g_entryView, column, &focus);
    ShowSortArrow(window);
    // The selected rows stay selected wherever the order puts them.
    if (sorted) ShowViewRows(list, focus);
}

void ShowLoadingRows(HWND window, const GrfEntry* entries, uint32_t count) {
    HWND list = EntryList(window);
    bool restart = g_entryView.loadingEntries != entries;
    if (restart) SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    uint32_t before = restart ? 0 : ShownCount();
    AddViewLoadingRows(&g_entryView, entries, count);
    SetRowCount(list, ShownCount());
    // Only rows that come into sight are drawn: repainting the whole list
    // for each count would keep the window busy painting.
    int top = static_cast<int>(ListDefault(list, LVM_GETTOPINDEX, 0, 0));
    int page = static_cast<int>(ListDefault(list, LVM_GETCOUNTPERPAGE, 0, 0)) + 1;
    if (before < uint32_t(top + page)) InvalidateRect(list, nullptr, FALSE);
    ShowListCounts();
}

void EndLoadingRows(HWND window) {
    if (!ViewLoading(g_entryView)) return;
    EndViewLoading(&g_entryView);
    SendMessageW(EntryList(window), LVM_DELETEALLITEMS, 0, 0);
    ShowListCounts();
}

void SearchEntryList(HWND window, const wchar_t* text) {
    if (SearchView(&g_entryView, text)) {
        ShowViewRows(EntryList(window), -1);
    } else {
        ShowListCounts();
    }
}

void ClearEntrySearch(HWND window) {
    ClearViewSearch(&g_entryView);
    SetDlgItemTextW(window, IDC_SEARCH, L"");
}

const RowSelection& EntrySelection() {
    return g_entryView.selection;
}

void SelectAllRows(HWND window) {
    SelectOnlyRows(window, 0, static_cast<int>(ShownCount()), -1);
}

void SelectOnlyRows(HWND window, int first, int last, int focus) {
    HWND list = EntryList(window);
    ShownSelection before = ShownRows(list);
    ClearRows(&g_entryView.selection);
    if (first < 0) first = 0;
    if (last > static_cast<int>(ShownCount())) last = static_cast<int>(ShownCount());
    if (first < last)
        SetRowsSelected(&g_entryView.selection, uint32_t(first), uint32_t(last), true);
    g_entryView.selection.anchor = first < last ? first : -1;
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

LRESULT OnEntryListCustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            if (!IsRowSelected(g_entryView.selection, static_cast<uint32_t>(draw->nmcd.dwItemSpec)))
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
