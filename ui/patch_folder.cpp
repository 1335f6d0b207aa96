// patch_folder.cpp -- see patch_folder.h.
#include "patch_folder.h"

#include <shlwapi.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "failure_list.h"
#include "folder_browser.h"
#include "grf.h"
#include "progress.h"
#include "resource.h"
#include "services.h"

namespace {

// Files not applied that the box names; the saved list names them all.
const size_t NAMED_IN_BOX = 5;

bool IsRgz(const GrfArchive* patch) {
    const GrfPatchInfo* info = GrfPatchOf(patch);
    return info && info->layout == GRF_PATCH_LAYOUT_RGZ;
}

// The patch's files in the order they are applied: removal and deleted
// records write nothing.
std::vector<uint32_t> FilesOf(const GrfArchive* patch) {
    std::vector<uint32_t> files;
    for (uint32_t i = 0; i < patch->count; ++i)
        if (!(patch->entries[i].state & (GRF_ENTRY_REMOVAL | GRF_ENTRY_DELETED)))
            files.push_back(i);
    return files;
}

std::wstring NameOf(const GrfEntry& entry) {
    wchar_t* wide = GrfFileName(entry.name);
    std::wstring name = wide ? wide : L"";
    GrfFreeBuffer(wide);
    return name;
}

std::wstring Line(UINT format, const std::wstring& name) {
    wchar_t text[TEXT_BUFFER_SIZE];
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(format), name.c_str());
    return text;
}

struct Applied {
    const wchar_t* patchName;  // the file's name, without its folder
    const wchar_t* folder;
    uint32_t files;
    uint32_t applied;
    uint32_t code;
};

void ShowApplied(const Applied& run) {
    wchar_t text[TEXT_BUFFER_SIZE];
    if (run.code == GRF_ERROR_CANCELLED) {
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_PATCH_CANCELLED), int(run.applied),
                   int(run.files), run.patchName);
    } else {
        UINT format = run.applied == 1 ? IDS_PATCH_APPLIED_ONE : IDS_PATCH_APPLIED;
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(format), int(run.applied), run.patchName,
                   run.folder);
    }
    SetStatusText(text);
}

// A failed apply: nothing applied, or the first files applied and the rest
// not, each named (the box names the first few of those not applied and
// offers the whole list).
void ShowNotApplied(HWND window, const GrfArchive* patch, const std::vector<uint32_t>& files,
                    const Applied& run) {
    wchar_t reason[TEXT_BUFFER_SIZE], text[TEXT_BUFFER_SIZE];
    ReasonOfCode(run.code, reason, TEXT_BUFFER_SIZE);
    if (run.applied == 0) {
        ShowProblem(window, IDS_PATCH_FAILED_CAPTION, LoadResString(IDS_PATCH_NOTHING),
                    run.patchName, run.folder, reason);
        return;
    }
    std::vector<std::wstring> lines;
    std::wstring named;
    for (size_t k = 0; k < files.size(); ++k) {
        bool applied = k < run.applied;
        lines.push_back(Line(applied ? IDS_APPLIED_LINE : IDS_NOT_APPLIED_LINE,
                             NameOf(patch->entries[files[k]])));
        if (!applied && k - run.applied < NAMED_IN_BOX) named += lines.back() + L"\n";
    }
    size_t notApplied = files.size() - run.applied;
    if (notApplied > NAMED_IN_BOX) {
        wchar_t more[TEXT_BUFFER_SIZE];
        FormatText(more, TEXT_BUFFER_SIZE, LoadResString(IDS_FILES_LEFT_OUT_MORE),
                   int(notApplied - NAMED_IN_BOX));
        named += more;
    }
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_PATCH_PART), int(run.applied),
               int(run.files), run.patchName, run.folder, reason, named.c_str());
    size_t used = wcslen(text);
    FormatText(text + used, TEXT_BUFFER_SIZE - used, L"%s", LoadResString(IDS_FAILED_SAVE_LIST));
    wchar_t caption[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, IDS_PATCH_FAILED_CAPTION, caption, TEXT_BUFFER_SIZE);
    if (MessageBoxW(window, text, caption, MB_YESNO | MB_ICONERROR) == IDYES)
        SaveListFile(window, IDS_PATCH_LIST_TITLE, lines, IDS_PATCH_FAILED_CAPTION);
}

// Opens the RGZ at path; null after saying why not.
GrfArchive* OpenRgz(HWND window, const wchar_t* path) {
    GrfArchive* patch = GrfOpen(path, nullptr);
    if (patch == GRF_NO_ARCHIVE) {
        wchar_t reason[TEXT_BUFFER_SIZE];
        ReasonOfCode(GrfGetLastError(), reason, TEXT_BUFFER_SIZE);
        ShowProblem(window, IDS_PATCH_FAILED_CAPTION, LoadResString(IDS_PATCH_OPEN_FAILED), path,
                    reason);
        return nullptr;
    }
    if (!IsRgz(patch)) {
        GrfClose(&patch);
        ShowProblem(window, IDS_PATCH_FAILED_CAPTION, LoadResString(IDS_PATCH_NOT_RGZ), path);
        return nullptr;
    }
    return patch;
}

}  // namespace

void CmdApplyPatchToFolder(HWND window) {
    wchar_t title[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, IDS_SELECT_PATCH, title, TEXT_BUFFER_SIZE);
    const wchar_t* chosen = AskFileName(title, window, LoadResString(IDS_RGZ_FILTER), 0);
    if (!chosen) return;
    std::wstring path = chosen;
    GrfArchive* patch = OpenRgz(window, path.c_str());
    if (!patch) return;
    wchar_t folder[PATH_SIZE] = L"";
    if (!AskFolder(window, IDS_SELECT_CLIENT_FOLDER, FOLDER_TO_READ, nullptr, folder)) {
        GrfClose(&patch);
        return;
    }
    std::vector<uint32_t> files = FilesOf(patch);
    Applied run = {PathFindFileNameW(path.c_str()), folder, uint32_t(files.size()), 0, GRF_OK};
    HWND progress = CreateProgressWindow(LoadResString(IDS_APPLYING));
    SetStatusText(LoadResString(IDS_APPLYING));
    int32_t failed = GrfApplyFiles(patch, folder, ShowEntryProgress, &run.applied);
    run.code = failed ? GrfGetLastError() : uint32_t{GRF_OK};
    CloseProgressWindow(progress);
    ShowApplied(run);
    if (failed && run.code != GRF_ERROR_CANCELLED) {
        ShowNotApplied(window, patch, files, run);
        ShowApplied(run);  // saving the list said "Ready"
    }
    GrfClose(&patch);
}
