// save_command.cpp -- Save: writing the changes into the loaded archive's
// own file, the Save button's state, and the question asked before changes
// would be lost.
#include <windows.h>

#include <string.h>
#include <wchar.h>

#include "commands.h"
#include "entry_list.h"
#include "progress.h"
#include "resource.h"
#include "services.h"

namespace {

const int CAPTION_SIZE = 256;
const int SIZE_TEXT = 64;
// Offsets of 0x1xx and 0x2xx archives address this much.
const uint64_t VERSION_LIMIT = 0xFFFFFFFFull + GRF_HEADER_SIZE;
// Unused space worth a Repack: a fifth of what the records take, once it is
// more than a megabyte.
const uint64_t UNUSED_WORTH_NOTING = 1 << 20;

// A made archive (Add Dir with nothing loaded) has no file yet: its header
// is all zero.
bool HasFile(const GrfArchive* archive) {
    for (uint8_t byte : archive->header)
        if (byte != 0) return true;
    return false;
}

void FormatSize(wchar_t* text, uint64_t bytes) {
    if (bytes < 10 * 1024) {
        FormatText(text, SIZE_TEXT, LoadResString(IDS_SIZE_BYTES), static_cast<int>(bytes));
    } else if (bytes < 10ull * 1024 * 1024) {
        FormatText(text, SIZE_TEXT, LoadResString(IDS_SIZE_KB), static_cast<int>(bytes >> 10));
    } else {
        FormatText(text, SIZE_TEXT, LoadResString(IDS_SIZE_MB), static_cast<int>(bytes >> 20));
    }
}

// What a save will do, counted before it: the records it writes (by their
// place in the table after it, which keeps the order and drops deleted
// ones) and the records it drops.
struct SaveWork {
    uint32_t* written = nullptr;  // indices after the save
    uint32_t writtenCount = 0;
    uint32_t removed = 0;
};

bool CountWork(const GrfArchive* archive, SaveWork* work) {
    work->written = static_cast<uint32_t*>(
        HeapAlloc(GetProcessHeap(), 0, (size_t{archive->count} + 1) * sizeof(uint32_t)));
    if (!work->written) return false;
    uint32_t after = 0;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (entry.state & GRF_ENTRY_DELETED) {
            ++work->removed;
            continue;
        }
        if (entry.owner != archive || entry.state != GRF_ENTRY_IN_ARCHIVE)
            work->written[work->writtenCount++] = after;
        ++after;
    }
    return true;
}

// "Saved: ..." with what was written and what the file does not use.
void ShowSaved(const SaveWork& work) {
    uint64_t writtenBytes = 0, storedBytes = 0;
    for (uint32_t i = 0; i < work.writtenCount; ++i)
        writtenBytes += g_archive->entries[work.written[i]].alignedSize;
    for (uint32_t i = 0; i < g_archive->count; ++i)
        storedBytes += g_archive->entries[i].alignedSize;
    uint64_t unused = GrfUnusedBytes(g_archive);
    wchar_t written[SIZE_TEXT], free[SIZE_TEXT], text[TEXT_BUFFER_SIZE];
    FormatSize(written, writtenBytes);
    FormatSize(free, unused);
    bool compact = unused > UNUSED_WORTH_NOTING && unused > storedBytes / 5;
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(compact ? IDS_SAVED_REPACK : IDS_SAVED),
               static_cast<int>(work.writtenCount), written, static_cast<int>(work.removed), free);
    SetStatusText(text);
}

// The record a save was at when it stopped: the progress names each record
// before writing it, so a failure after a call is that record's.
struct SaveAt {
    char name[GRF_NAME_SIZE];
    bool local;  // added from a folder
};

SaveAt g_saveAt;

int32_t SaveProgress(GrfEntry* entry, uint32_t index, uint32_t total) {
    if (entry) {
        memcpy(g_saveAt.name, entry->name, GRF_NAME_SIZE);
        g_saveAt.local = entry->owner == nullptr;
    }
    return ShowEntryProgress(entry, index, total);
}

// Which words a failed save's code gets. at: whether they are for a failure
// at a record (-1: either), and then whether one added from a folder (1) or
// one of an archive (0).
struct SaveReason {
    uint32_t code;
    int at;
    int local;
    UINT text;
};

const SaveReason SAVE_REASONS[] = {
    {GRF_ERROR_NOT_FOUND, 0, -1, IDS_SAVE_NOT_WRITABLE},
    {GRF_ERROR_NOT_FOUND, 1, 1, IDS_SAVE_LOCAL_GONE},
    {GRF_ERROR_READ, 1, 1, IDS_SAVE_LOCAL_UNREADABLE},
    {GRF_ERROR_READ, 1, 0, IDS_SAVE_UNREADABLE},
    {GRF_ERROR_NOT_ARCHIVE, 1, -1, IDS_SAVE_UNREADABLE},
    {GRF_ERROR_WRITE, -1, -1, IDS_SAVE_WRITE},
    {GRF_ERROR_MEMORY, -1, -1, IDS_SAVE_MEMORY},
    {GRF_ERROR_METHOD, -1, -1, IDS_SAVE_METHOD},
    {GRF_ERROR_IN_USE, -1, -1, IDS_SAVE_IN_USE},
    {GRF_ERROR_ACCESS, -1, -1, IDS_SAVE_ACCESS},
};

UINT SaveReasonText(uint32_t code, bool at, bool local) {
    for (const SaveReason& reason : SAVE_REASONS) {
        if (reason.code != code) continue;
        if (reason.at >= 0 && reason.at != int(at)) continue;
        if (reason.local >= 0 && reason.local != int(local)) continue;
        return reason.text;
    }
    return IDS_SAVE_FAILED_CODE;
}

void ShowSaveFailure(HWND window, uint32_t code, uint64_t foreseen) {
    wchar_t path[GRF_PATH_SIZE];
    wcsncpy(path, g_archive->path, GRF_PATH_SIZE - 1);
    path[GRF_PATH_SIZE - 1] = L'\0';
    if (code == GRF_ERROR_CHANGED) {
        AskToOpenAgain(window, path);
        return;
    }
    if (code == GRF_ERROR_WRITE && foreseen > VERSION_LIMIT) {
        wchar_t caption[CAPTION_SIZE], text[TEXT_BUFFER_SIZE];
        LoadStringW(g_instance, IDS_SAVE_TOO_LARGE_CAPTION, caption, CAPTION_SIZE);
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_SAVE_TOO_LARGE), path);
        MessageBoxW(window, text, caption, MB_OK | MB_ICONWARNING);
        return;
    }
    // The record's name, when the failure is one record's; the method's
    // refusal names none, so it is found in the table.
    bool at = g_saveAt.name[0] != '\0';
    const char* record = g_saveAt.name;
    if (code == GRF_ERROR_METHOD) {
        for (uint32_t i = 0; i < g_archive->count; ++i) {
            if (g_archive->entries[i].cycle != GRF_CYCLE_FOREIGN) continue;
            record = g_archive->entries[i].name;
            break;
        }
    }
    wchar_t* name = GrfCp949ToWide(record);
    UINT text = SaveReasonText(code, at, g_saveAt.local);
    if (text == IDS_SAVE_FAILED_CODE) {
        ShowProblem(window, IDS_SAVE_FAILED_CAPTION, LoadResString(text), path,
                    static_cast<int>(code));
    } else {
        ShowProblem(window, IDS_SAVE_FAILED_CAPTION, LoadResString(text), path, name ? name : L"");
    }
    GrfFreeBuffer(name);
}

}  // namespace

bool HasUnsavedChanges() {
    if (g_archive == GRF_NO_ARCHIVE) return false;
    if (!HasFile(g_archive)) return g_archive->count > 0;
    for (uint32_t i = 0; i < g_archive->count; ++i) {
        const GrfEntry& entry = g_archive->entries[i];
        if (entry.owner != g_archive || entry.state != GRF_ENTRY_IN_ARCHIVE) return true;
    }
    return false;
}

void UpdateSaveButton(HWND window) {
    EnableWindow(GetDlgItem(window, IDC_SAVE), HasUnsavedChanges() ? TRUE : FALSE);
}

bool CmdSave(HWND window) {
    if (!HasUnsavedChanges()) return true;
    // A made archive has no file to save into: it is written as a new one.
    if (!HasFile(g_archive)) {
        CmdRepack(window);
        return !HasUnsavedChanges();
    }
    SaveWork work;
    if (!CountWork(g_archive, &work)) {
        ShowError(window, LoadResString(IDS_OUT_OF_MEMORY));
        return false;
    }
    GrfSetCompressionLevel(SelectedLevel(window));
    uint64_t foreseen = GrfSaveBytes(g_archive);
    HWND progress = CreateProgressWindow(LoadResString(IDS_SAVING));
    SetStatusText(LoadResString(IDS_SAVING));
    g_saveAt = SaveAt();
    int32_t result = GrfSave(g_archive, SaveProgress);
    uint32_t code = GrfGetLastError();
    CloseProgressWindow(progress);
    bool saved = result == 0;
    if (saved) {
        RefreshEntryList(window);
        ShowSaved(work);
        // Local files are packed now: Add Dir may add more.
        EnableWindow(GetDlgItem(window, IDC_ADD_DIR), TRUE);
    } else if (code == GRF_ERROR_CANCELLED) {
        SetStatusText(LoadResString(IDS_SAVE_CANCELLED));
    } else {
        SetStatusText(LoadResString(IDS_READY));
        ShowSaveFailure(window, code, foreseen);
    }
    HeapFree(GetProcessHeap(), 0, work.written);
    return saved;
}

bool ConfirmUnsavedChanges(HWND window) {
    if (!HasUnsavedChanges()) return true;
    wchar_t caption[CAPTION_SIZE], text[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, IDS_UNSAVED_CAPTION, caption, CAPTION_SIZE);
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_UNSAVED_TEXT), g_archive->path);
    switch (MessageBoxW(window, text, caption, MB_YESNOCANCEL | MB_ICONWARNING)) {
        case IDYES:
            return CmdSave(window);
        case IDNO:
            return true;
        default:
            return false;
    }
}
