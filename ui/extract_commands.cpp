// extract_commands.cpp -- Extract, Extract All and Delete Sel: writing
// entries into a folder the user chooses, each at the relative path its name
// gives, and marking entries deleted for the next repack.
#include <windows.h>

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "commands.h"
#include "entry_list.h"
#include "extraction.h"
#include "resource.h"
#include "services.h"

namespace {}  // namespace

void CmdExtractSelected(HWND window, bool ask) {
    const RowSelection& selection = EntrySelection();
    if (selection.count == 0) return;
    auto* indices = static_cast<uint32_t*>(malloc(sizeof(uint32_t) * selection.count));
    if (!indices) {
        ShowError(window, LoadResString(IDS_OUT_OF_MEMORY));
        return;
    }
    uint32_t count = 0;
    for (const RowRun& run : selection.runs) {
        for (uint32_t row = run.first; row < run.last; ++row) {
            GrfEntry* entry = EntryOfRow(static_cast<int>(row));
            if (!entry) {
                ShowError(window, LoadResString(IDS_INVALID_HANDLE), static_cast<int>(row));
                continue;
            }
            indices[count++] = static_cast<uint32_t>(entry - g_archive->entries);
        }
    }
    ExtractRecords(window, indices, count, ask);
    free(indices);
}

void CmdCopyNames(HWND window) {
    const RowSelection& selection = EntrySelection();
    if (selection.count == 0) return;
    std::wstring names;
    for (const RowRun& run : selection.runs) {
        for (uint32_t row = run.first; row < run.last; ++row) {
            GrfEntry* entry = EntryOfRow(static_cast<int>(row));
            wchar_t* name = entry ? GrfFileName(entry->name) : nullptr;
            if (!name) continue;
            if (!names.empty()) names += L"\r\n";
            names += name;
            GrfFreeBuffer(name);
        }
    }
    if (!OpenClipboard(window)) return;
    EmptyClipboard();
    size_t bytes = (names.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* text = block ? GlobalLock(block) : nullptr;
    if (text) {
        memcpy(text, names.c_str(), bytes);
        GlobalUnlock(block);
        // The clipboard owns the block once it took it.
        if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
    } else if (block) {
        GlobalFree(block);
    }
    CloseClipboard();
}

void CmdPreviewFocused(HWND window) {
    HWND list = GetDlgItem(window, IDC_ENTRY_LIST);
    NMITEMACTIVATE activation = {};
    activation.hdr.hwndFrom = list;
    activation.hdr.idFrom = IDC_ENTRY_LIST;
    activation.hdr.code = LVN_ITEMACTIVATE;
    activation.iItem = FocusedRow(window);
    OnEntryActivated(window, IDC_ENTRY_LIST, &activation.hdr);
}

void CmdExtractAll(HWND window) {
    if (g_archive == GRF_NO_ARCHIVE) return;
    ExtractRecords(window, nullptr, g_archive->count);
}

void CmdDeleteSelected(HWND window) {
    const RowSelection& selection = EntrySelection();
    if (selection.count == 0) return;
    for (const RowRun& run : selection.runs) {
        for (uint32_t row = run.first; row < run.last; ++row) {
            GrfEntry* entry = EntryOfRow(static_cast<int>(row));
            if (!entry) {
                ShowError(window, LoadResString(IDS_INVALID_HANDLE), static_cast<int>(row));
                continue;
            }
            // The whole state: the entry keeps its place but is no longer
            // written.
            entry->state = GRF_ENTRY_DELETED;
        }
    }
    // The rows stay where they are, now marked: the view, its scroll position
    // and the selection are kept.
    RepaintEntryList(window);
    SetStatusText(LoadResString(IDS_READY));
}
