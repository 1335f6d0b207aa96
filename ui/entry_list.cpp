// entry_list.cpp -- the owner-data entry list: rows are indices into the
// loaded archive's table, cells are formatted on demand.
#include "entry_list.h"

#include <stdlib.h>
#include <wchar.h>

#include "entry_preview.h"
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

const int COLUMN_COUNT = 6;
const int CELL_SIZE = 256;              // each column text is built in its own buffer
const int FILTER_SIZE = 255;            // at most 254 characters and the terminator
const uint32_t FILTERING_EVERY = 1000;  // rows between two repaints while filling

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

void ClearRows() {
    g_entryRows.count = 0;
    g_entryRows.archive = GRF_NO_ARCHIVE;
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
    g_entryRows.indices[g_entryRows.count++] = tableIndex;
    return true;
}

void SetRowCount(HWND list, uint32_t count) {
    SendMessageW(list, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

// The text of one cell, as the list shows it.
void FormatCell(const GrfEntry* entry, int row, int column, wchar_t* cell) {
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
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    for (int i = 0; i < COLUMN_COUNT; ++i) {
        wchar_t header[CELL_SIZE];
        LoadStringW(g_instance, COLUMNS[i].header, header, CELL_SIZE);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = COLUMNS[i].width;
        column.pszText = header;
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

void RefreshEntryList(HWND window) {
    HWND list = EntryList(window);
    wchar_t pattern[FILTER_SIZE];
    if (GetDlgItemTextW(window, IDC_FILTER_TEXT, pattern, FILTER_SIZE) == 0) {
        wcscpy(pattern, L"*.*");
    }
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    ClearRows();

    GrfEntry* entry = nullptr;
    GrfSearch* search = GrfFindFirst(g_archive, pattern, &entry);
    if (search == reinterpret_cast<GrfSearch*>(-1)) return;

    // The filling text is loaded once: the string buffer is shared.
    wchar_t filtering[CELL_SIZE];
    LoadStringW(g_instance, IDS_FILTERING, filtering, CELL_SIZE);
    g_entryRows.archive = g_archive;
    bool more = true;
    while (more) {
        if (!AppendRow(static_cast<uint32_t>(entry - g_archive->entries))) break;
        if (g_entryRows.count % FILTERING_EVERY == 0) {
            // The first thousand rows fill the visible part of the list, so
            // they are shown at once; later counts would only move the scroll
            // bar, and setting the count costs more than the rows themselves.
            if (g_entryRows.count == FILTERING_EVERY) SetRowCount(list, g_entryRows.count);
            UpdateWindow(window);
            SetStatusText(filtering);
        }
        more = GrfFindNext(search, &entry) != 0;
    }
    GrfFreeBuffer(search);
    SetRowCount(list, g_entryRows.count);
    SetStatusText(LoadResString(IDS_READY));
}

GrfEntry* EntryOfRow(int row) {
    if (row < 0 || static_cast<uint32_t>(row) >= g_entryRows.count) return nullptr;
    if (g_archive == GRF_NO_ARCHIVE || g_entryRows.archive != g_archive) return nullptr;
    uint32_t index = g_entryRows.indices[row];
    if (index >= g_archive->count) return nullptr;
    return &g_archive->entries[index];
}

int EntryRowCount() {
    return static_cast<int>(g_entryRows.count);
}

int MarkOfEntry(const GrfEntry* entry) {
    if (entry->state & ENTRY_NEW) return MARK_NEW;
    if (entry->state & ENTRY_REPLACED) return MARK_REPLACED;
    // A patch's removal record shows what applying it deletes.
    if (entry->state & (ENTRY_DELETED | ENTRY_REMOVAL)) return MARK_DELETED;
    return MARK_NONE;
}

void OnEntryListDispInfo(NMLVDISPINFOW* info) {
    LVITEMW* item = &info->item;
    GrfEntry* entry = EntryOfRow(item->iItem);
    if ((item->mask & LVIF_TEXT) && item->pszText && item->cchTextMax > 0) {
        wchar_t cell[CELL_SIZE];
        FormatCell(entry, item->iItem, item->iSubItem, cell);
        lstrcpynW(item->pszText, cell, item->cchTextMax);
    }
    if (item->mask & LVIF_IMAGE) item->iImage = entry ? MarkOfEntry(entry) : MARK_NONE;
}

int FindEntryRow(const NMLVFINDITEMW* find) {
    const LVFINDINFOW& info = find->lvfi;
    if (!(info.flags & (LVFI_STRING | LVFI_PARTIAL)) || !info.psz || !info.psz[0]) return -1;
    int count = static_cast<int>(g_entryRows.count);
    if (count == 0) return -1;
    size_t typed = wcslen(info.psz);
    int start = find->iStart >= 0 && find->iStart < count ? find->iStart : 0;
    for (int step = 0; step < count; ++step) {
        int row = (start + step) % count;
        wchar_t number[CELL_SIZE];
        FormatText(number, CELL_SIZE, L"%ld", static_cast<long>(row));
        bool matches = (info.flags & LVFI_PARTIAL) ? wcsncmp(number, info.psz, typed) == 0
                                                   : wcscmp(number, info.psz) == 0;
        if (matches) return row;
    }
    return -1;
}

void OnEntryActivated(HWND window, UINT_PTR controlId, NMHDR* header) {
    if (controlId != IDC_ENTRY_LIST || header->code != LVN_ITEMACTIVATE) return;
    int row = static_cast<int>(SendDlgItemMessageW(window, IDC_ENTRY_LIST, LVM_GETNEXTITEM,
                                                   static_cast<WPARAM>(-1), LVNI_FOCUSED));
    // An activation without a focused row names no entry.
    if (row < 0) return;
    GrfEntry* entry = EntryOfRow(row);
    if (!entry) {
        ShowError(window, LoadResString(IDS_INVALID_HANDLE), row);
        return;
    }
    PreviewArchiveRecord(window, static_cast<uint32_t>(entry - g_archive->entries));
}
