// extract_commands.cpp -- Extract, Extract All and Delete Sel: writing
// entries under the current directory, each at the relative path its name
// gives, and marking entries deleted for the next repack.
#include <windows.h>

#include <commctrl.h>

#include "commands.h"
#include "entry_list.h"
#include "progress.h"
#include "resource.h"
#include "services.h"

namespace {

// Extraction's own write failures; every other code is the read's.
bool IsWriteFailure(uint32_t code) {
    return code == GRF_ERROR_UNSAFE_NAME || code == GRF_ERROR_OUTPUT;
}

int NextSelectedRow(HWND window, int after) {
    return static_cast<int>(SendDlgItemMessageW(window, IDC_ENTRY_LIST, LVM_GETNEXTITEM,
                                                static_cast<WPARAM>(after), LVNI_SELECTED));
}

int SelectedRowCount(HWND window) {
    return static_cast<int>(
        SendDlgItemMessageW(window, IDC_ENTRY_LIST, LVM_GETSELECTEDCOUNT, 0, 0));
}

HWND StartUnpacking() {
    HWND progress = CreateProgressWindow(LoadResString(IDS_UNPACKING));
    SetStatusText(LoadResString(IDS_UNPACKING));
    return progress;
}

void EndUnpacking(HWND progress) {
    CloseProgressWindow(progress);
    SetStatusText(LoadResString(IDS_READY));
}

// Extracts the entries of the selected rows; stops at the first one that
// cannot be read, or when the user cancels.
void ExtractSelectedRows(HWND window) {
    uint32_t total = static_cast<uint32_t>(SelectedRowCount(window));
    uint32_t done = 0;
    for (int row = NextSelectedRow(window, -1); row >= 0; row = NextSelectedRow(window, row)) {
        GrfEntry* entry = EntryOfRow(row);
        if (!entry) {
            ShowError(window, LoadResString(IDS_INVALID_HANDLE), row);
            continue;
        }
        wchar_t* name = Cp949ToWide(entry->name);
        if (!name) break;
        bool stop = ShowEntryProgress(entry, done, total) != 0;
        uint32_t code = stop ? 0 : GrfExtractEntry(entry->owner, name);
        if (code != 0 && !IsWriteFailure(code)) {
            ShowError(window, LoadResString(IDS_DECOMPRESSION_ERROR), name);
            stop = true;
        } else if (code != 0) {
            ShowError(window, LoadResString(IDS_WRITE_ERROR), name);
        } else if (!stop) {
            done += 1;
        }
        GrfFreeBuffer(name);
        if (stop) break;
    }
}

// Extracts one entry of the Extract All walk; false when the user cancels.
// A failed entry is reported and the walk goes on.
bool ExtractOneOfAll(HWND window, GrfEntry* entry, uint32_t* done) {
    wchar_t* name = Cp949ToWide(entry->name);
    if (!name) return true;
    bool goOn = true;
    uint32_t code = GrfExtractEntry(entry->owner, name);
    if (code != 0 && !IsWriteFailure(code)) {
        ShowError(window, LoadResString(IDS_DECOMPRESSION_ERROR), name);
    } else if (ShowEntryProgress(entry, *done, g_archive->count) != 0) {
        goOn = false;
    } else if (code != 0) {
        ShowError(window, LoadResString(IDS_WRITE_ERROR), name);
    } else {
        *done += 1;
    }
    GrfFreeBuffer(name);
    return goOn;
}

}  // namespace

void CmdExtractSelected(HWND window) {
    HWND progress = StartUnpacking();
    ExtractSelectedRows(window);
    EndUnpacking(progress);
}

void CmdExtractAll(HWND window) {
    GrfEntry* entry = nullptr;
    GrfSearch* search = GrfFindFirst(g_archive, L"*.*", &entry);
    if (search == reinterpret_cast<GrfSearch*>(-1)) return;
    HWND progress = StartUnpacking();
    uint32_t done = 0;
    bool more = true;
    while (more && ExtractOneOfAll(window, entry, &done)) {
        more = GrfFindNext(search, &entry) != 0;
    }
    GrfFreeBuffer(search);
    EndUnpacking(progress);
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
