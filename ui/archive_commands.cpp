// archive_commands.cpp -- Open, Add Grf and Repack: loading an archive,
// merging a second one (or a patch file) into it, and writing the edited table as a new file
// that is then loaded in its place.
#include <windows.h>

#include <commctrl.h>
#include <shlwapi.h>
#include <wchar.h>

#include "background_open.h"
#include "commands.h"
#include "entry_list.h"
#include "password_prompt.h"
#include "progress.h"
#include "recent_archives.h"
#include "resource.h"
#include "services.h"

namespace {

const int TITLE_SIZE = 256;

// Repack settings by drop-down position; no selection takes the first value.
const uint32_t LEVELS[] = {3, 5, 9};
const uint32_t VERSIONS[] = {0x102, 0x103, 0x200, 0x300};
const uint32_t DEFAULT_LEVEL = 3;
const uint32_t DEFAULT_VERSION = 0x103;

uint32_t SelectedValue(HWND window, int control, const uint32_t* values, LRESULT count,
                       uint32_t fallback) {
    LRESULT index = SendDlgItemMessageW(window, control, CB_GETCURSEL, 0, 0);
    if (index < 0 || index >= count) return fallback;
    return values[index];
}

// Asks for an archive file; the title is a string id.
wchar_t* AskArchiveName(HWND window, UINT title, int save) {
    // The title is copied out: the filter load reuses the string buffer.
    wchar_t caption[TITLE_SIZE];
    LoadStringW(g_instance, title, caption, TITLE_SIZE);
    return AskFileName(caption, window, LoadResString(IDS_GRF_FILTER), save);
}

bool FileExists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// Opens path in the background in place of the loaded archive, which stays
// loaded until the new one has opened.
void LoadArchive(HWND window, const wchar_t* path, const wchar_t* done = nullptr) {
    StartOpen(window, path, done);
}

void AppendArchive(HWND window, const wchar_t* path) {
    GrfArchive* other = GrfOpen(path, ShowOpenProgress);
    if (other == GRF_NO_ARCHIVE) {
        // The loaded archive stays loaded and listed, and the title keeps
        // naming it.
        ShowOpenFailure(window, IDS_MERGE_FAILED_CAPTION, path, GrfGetLastError());
        return;
    }
    GrfLastError = GRF_OK;
    // A patch file merges as a patcher would: its removals delete.
    bool merged = GrfPatchOf(other) ? GrfMarkPatch(g_archive, other) == GRF_OK
                                    : GrfMerge(g_archive, other) != 0;
    if (!merged) {
        // Nothing was taken over, so no record names the other archive.
        uint32_t code = GrfGetLastError();
        GrfClose(&other);
        ShowMergeFailure(window, path, code);
        return;
    }
    // The other archive stays open: the merged records are read from it. The
    // table still belongs to the loaded archive, which the title names.
    RefreshEntryList(window);
    SetMainTitle(g_archive->path);
}

// Before asking for a name: a 0x1xx or 0x2xx archive past the 4 GB its
// offsets address is refused with the way out, 0x300, named.
bool FitsVersion(HWND window) {
    const uint64_t limit = 0xFFFFFFFFull + GRF_HEADER_SIZE;
    uint64_t needed = GrfOutputBytes(g_archive, GrfRepackVersion);
    if (GrfRepackVersion >= 0x300 || needed <= limit) return true;
    wchar_t bytes[32], version[16];
    FormatText(bytes, 32, L"%llu", static_cast<unsigned long long>(needed));
    FormatText(version, 16, L"0x%X", GrfRepackVersion);
    ShowError(window, LoadResString(IDS_REPACK_TOO_LARGE), bytes, version);
    return false;
}

// "N entries written to FILE (0x200), SIZE": what a repack to path wrote,
// said once the file opens in place of the loaded archive.
void RepackedText(const wchar_t* path, uint32_t version, wchar_t* text) {
    uint32_t written = 0;
    for (uint32_t i = 0; i < g_archive->count; ++i)
        if (!(g_archive->entries[i].state & GRF_ENTRY_DELETED)) ++written;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    uint64_t bytes = 0;
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        bytes = uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
    wchar_t size[64] = L"";
    StrFormatByteSizeW(static_cast<LONGLONG>(bytes), size, 64);
    wchar_t named[16];
    FormatText(named, 16, L"0x%X", version);
    FormatText(text, TEXT_BUFFER_SIZE,
               LoadResString(written == 1 ? IDS_REPACKED_ONE : IDS_REPACKED),
               static_cast<int>(written), path, named, size);
}

}  // namespace

// What a failed GrfOpen left in code, in words, in a box captioned caption.
void ShowOpenFailure(HWND window, UINT caption, const wchar_t* path, uint32_t code) {
    UINT text = IDS_OPEN_CODE;
    switch (code) {
        case GRF_ERROR_NOT_FOUND:
            text = IDS_OPEN_NOT_FOUND;
            break;
        case GRF_ERROR_VERSION:
            text = IDS_OPEN_VERSION;
            break;
        case GRF_ERROR_MEMORY:
            text = IDS_OPEN_MEMORY;
            break;
        case GRF_ERROR_NOT_ARCHIVE:
            text = IDS_NOT_A_GRF;
            break;
    }
    ShowProblem(window, caption, LoadResString(text), path, static_cast<int>(code));
}

void ShowMergeFailure(HWND window, const wchar_t* path, uint32_t code) {
    UINT text = IDS_MERGE_CODE;
    if (code == GRF_ERROR_LOCAL_RECORDS) text = IDS_MERGE_LOCAL_RECORDS;
    if (code == GRF_ERROR_MEMORY) text = IDS_MERGE_MEMORY;
    if (code == GRF_OK) text = IDS_MERGE_EMPTY;
    ShowProblem(window, IDS_MERGE_FAILED_CAPTION, LoadResString(text), path,
                static_cast<int>(code));
}

// What a failed repack to path left in code, in words. existed: path was
// there before the repack started.
void ShowRepackFailure(HWND window, const wchar_t* path, uint32_t code, bool existed) {
    UINT text = IDS_REPACK_CODE;
    switch (code) {
        case GRF_ERROR_NOT_FOUND:
            text = existed ? IDS_REPACK_EXISTS : IDS_REPACK_NOT_CREATED;
            break;
        case GRF_ERROR_WRITE:
            text = IDS_REPACK_WRITE;
            break;
        case GRF_ERROR_READ:
            text = IDS_REPACK_READ;
            break;
        case GRF_ERROR_NOT_ARCHIVE:
            text = IDS_REPACK_UNREADABLE;
            break;
        case GRF_ERROR_MEMORY:
            text = IDS_REPACK_MEMORY;
            break;
        case GRF_ERROR_PASSWORD:
            text = IDS_REPACK_PASSWORD;
            break;
        case GRF_ERROR_METHOD:
            if (HasWritePassword()) text = IDS_REPACK_WRITE_KEY_VERSION;
            break;
    }
    ShowProblem(window, IDS_REPACK_FAILED_CAPTION, LoadResString(text), path,
                static_cast<int>(code));
}

void CmdOpenArchive(HWND window, int mode) {
    bool append = mode == OPEN_APPEND && g_archive != GRF_NO_ARCHIVE;
    const wchar_t* path =
        AskArchiveName(window, append ? IDS_SELECT_APPEND_GRF : IDS_SELECT_MAIN_GRF, 0);
    if (!path) return;
    if (mode == OPEN_LOAD || g_archive == GRF_NO_ARCHIVE) {
        LoadArchive(window, path);
    } else {
        AppendArchive(window, path);
    }
}

void CmdOpenPath(HWND window, const wchar_t* path) {
    wchar_t chosen[GRF_PATH_SIZE];
    wcsncpy(chosen, path, GRF_PATH_SIZE - 1);
    chosen[GRF_PATH_SIZE - 1] = L'\0';
    LoadArchive(window, chosen);
}

uint32_t SelectedLevel(HWND window) {
    return SelectedValue(window, IDC_LEVEL, LEVELS, 3, DEFAULT_LEVEL);
}

void CmdRepack(HWND window) {
    if (g_archive == GRF_NO_ARCHIVE) return;
    GrfSetCompressionLevel(SelectedLevel(window));
    GrfSetVersion(SelectedValue(window, IDC_VERSION, VERSIONS, 4, DEFAULT_VERSION));
    if (!FitsVersion(window)) return;
    const wchar_t* path = AskArchiveName(window, IDS_SELECT_REPACK_TARGET, 1);
    if (!path) return;

    bool existed = FileExists(path);
    HWND progress = CreateProgressWindow(nullptr);
    SetStatusText(LoadResString(IDS_REPACKING));
    int32_t result = GrfRepack(g_archive, path, ShowEntryProgress);
    uint32_t code = GrfGetLastError();
    CloseProgressWindow(progress);
    SetStatusText(LoadResString(IDS_READY));
    if (result == 1 && code == GRF_ERROR_CHANGED) {
        AskToOpenAgain(window, g_archive->path);
        return;
    }
    if (result == 1 && code == GRF_ERROR_CANCELLED) {
        // The user's own choice: no error, only what it left.
        SetStatusText(LoadResString(IDS_REPACK_CANCELLED));
        return;
    }
    if (result == 1) {
        ShowRepackFailure(window, path, code, existed);
        return;
    }
    wchar_t done[TEXT_BUFFER_SIZE];
    RepackedText(path, GrfRepackVersion, done);
    CarryKeysTo(path);
    LoadArchive(window, path, done);
}

void AskToOpenAgain(HWND window, const wchar_t* path) {
    wchar_t changed[GRF_PATH_SIZE];
    wcsncpy(changed, path, GRF_PATH_SIZE - 1);
    changed[GRF_PATH_SIZE - 1] = L'\0';
    wchar_t caption[TITLE_SIZE];
    LoadStringW(g_instance, IDS_CHANGED_CAPTION, caption, TITLE_SIZE);
    wchar_t text[TEXT_BUFFER_SIZE];
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_ARCHIVE_CHANGED), changed);
    if (MessageBoxW(window, text, caption, MB_YESNO | MB_ICONWARNING) != IDYES) return;
    LoadArchive(window, changed);
}
