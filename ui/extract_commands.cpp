// extract_commands.cpp -- Extract, Extract All and Delete Sel: writing
// entries into a folder the user chooses, each at the relative path its name
// gives, and marking entries deleted for the next repack.
#include <windows.h>

#include <commctrl.h>
#include <stdlib.h>

#include "commands.h"
#include "entry_list.h"
#include "extraction.h"
#include "resource.h"
#include "services.h"

namespace {

int NextSelectedRow(HWND window, int after) {
    return static_cast<int>(SendDlgItemMessageW(window, IDC_ENTRY_LIST, LVM_GETNEXTITEM,
                                                static_cast<WPARAM>(after), LVNI_SELECTED));
}

int SelectedRowCount(HWND window) {
    return static_cast<int>(
        SendDlgItemMessageW(window, IDC_ENTRY_LIST, LVM_GETSELECTEDCOUNT, 0, 0));
}

}  // namespace

void CmdExtractSelected(HWND window) {
    int selected = SelectedRowCount(window);
    if (selected <= 0) return;
    auto* indices = static_cast<uint32_t*>(malloc(sizeof(uint32_t) * selected));
    if (!indices) {
        ShowError(window, LoadResString(IDS_OUT_OF_MEMORY));
        return;
    }
    uint32_t count = 0;
    for (int row = NextSelectedRow(window, -1); row >= 0 && count < uint32_t(selected);
         row = NextSelectedRow(window, row)) {
        GrfEntry* entry = EntryOfRow(row);
        if (!entry) {
            ShowError(window, LoadResString(IDS_INVALID_HANDLE), row);
            continue;
        }
        indices[count++] = static_cast<uint32_t>(entry - g_archive->entries);
    }
    ExtractRecords(window, indices, count);
    free(indices);
}

void CmdExtractAll(HWND window) {
    if (g_archive == GRF_NO_ARCHIVE) return;
    ExtractRecords(window, nullptr, g_archive->count);
}

void CmdDeleteSelected(HWND window) {
    int marked = 0;
    for (int row = NextSelectedRow(window, -1); row >= 0; row = NextSelectedRow(window, row)) {
        marked += 1;
        GrfEntry* entry = EntryOfRow(row);
        if (!entry) {
            ShowError(window, LoadResString(IDS_INVALID_HANDLE), row);
            continue;
        }
        // The whole state: the entry keeps its place but is no longer written.
        entry->state = ENTRY_DELETED;
    }
    if (marked == 0) return;
    RefreshEntryList(window);
    SetStatusText(LoadResString(IDS_READY));
}
