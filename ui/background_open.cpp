// background_open.cpp -- see background_open.h. The opening thread reads the
// directory into a table nothing else writes; the list shows the records
// already read (they never change and never move until the open ends). The
// counts are posted, so the thread never waits on the window; its last call
// before it releases a failed table is sent, so the list lets go of the
// table before anything is freed, and counts posted before it are ignored.
#include "background_open.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <wchar.h>

#include <atomic>
#include <string>

#include "commands.h"
#include "entry_list.h"
#include "grf.h"
#include "main_dialog.h"
#include "password_prompt.h"
#include "preview_launch_win32.h"
#include "recent_archives.h"
#include "resource.h"
#include "services.h"

namespace {

// The first rows show as soon as a screenful is read; then at most this
// often, since each showing costs the list a repaint.
const uint32_t FIRST_ROWS = 64;
const DWORD SHOW_EVERY_MS = 100;
// Records between two looks at the clock.
const uint32_t CLOCK_EVERY = 512;

struct OpenRows {
    const GrfEntry* entries;  // null: the table is about to be released
    uint32_t filled;
    uint32_t expected;
};

struct OpenJob {
    HANDLE thread = nullptr;
    HWND window = nullptr;
    wchar_t path[GRF_PATH_SIZE] = L"";
    std::atomic<bool> cancel{false};
    // Written by the thread before it posts WM_OPEN_DONE.
    GrfArchive* result = GRF_NO_ARCHIVE;
    uint32_t code = GRF_OK;
    KeyedFind keyed = {false, 0};
    // The thread's own: when rows were last shown, and how many.
    DWORD shownAt = 0;
    uint32_t shown = 0;
    // The table as read, set before the first count is posted; the window's
    // own: whether the thread has let go of it.
    const GrfEntry* entries = nullptr;
    bool released = false;
    std::wstring done;
};

OpenJob* g_job = nullptr;
std::atomic<bool> g_running{false};

int32_t WatchOpen(void* context, const GrfEntry* entries, uint32_t filled, uint32_t expected) {
    auto* job = static_cast<OpenJob*>(context);
    OpenRows rows = {entries, filled, expected};
    if (!entries && expected == 0) {
        SendMessageW(job->window, WM_OPEN_ROWS, 0, reinterpret_cast<LPARAM>(&rows));
        return 1;
    }
    if (!entries) return job->cancel.load() ? 1 : 0;
    if (job->cancel.load()) return 1;
    bool first = job->shown < FIRST_ROWS && filled >= FIRST_ROWS;
    if (!first && (filled % CLOCK_EVERY != 0 || filled == job->shown)) return 0;
    DWORD now = GetTickCount();
    if (!first && now - job->shownAt < SHOW_EVERY_MS) return 0;
    job->shownAt = now;
    job->shown = filled;
    job->entries = entries;
    PostMessageW(job->window, WM_OPEN_ROWS, filled, expected);
    return job->cancel.load() ? 1 : 0;
}

DWORD WINAPI OpenThread(void* context) {
    auto* job = static_cast<OpenJob*>(context);
    job->shownAt = GetTickCount();
    job->result = GrfOpenWatched(job->path, WatchOpen, job, &job->code);
    // Keyed records are found before the archive is handed over, so that
    // their password is asked once, and the cancel covers the search too.
    if (job->result != GRF_NO_ARCHIVE && FindKeyedRecord(job->result, &job->cancel, &job->keyed)) {
        WatchOpen(job, nullptr, 0, 0);  // the rows let go of the table first
        GrfClose(&job->result);
        job->code = GRF_ERROR_CANCELLED;
    }
    PostMessageW(job->window, WM_OPEN_DONE, 0, 0);
    return 0;
}

HWND CancelButton(HWND window) {
    return GetDlgItem(window, IDC_CANCEL_OPEN);
}

// The controls that would act on the archive while it changes: off while
// an open runs.
const int BUSY_CONTROLS[] = {IDC_OPEN,        IDC_FILTER,    IDC_FILTER_TEXT, IDC_EXTRACT,
                             IDC_EXTRACT_ALL, IDC_ADD_GRF,   IDC_ADD_DIR,     IDC_REPACK,
                             IDC_DELETE_SEL,  IDC_CLOSE_GRF, IDC_SAVE,        IDC_SEARCH,
                             IDC_FOLDER_TREE};

void ShowBusy(HWND window, bool busy) {
    // The focus leaves a control about to be turned off for the list, which
    // stays on: left on a disabled control, the window loses the focus, and
    // under Wine a maximised window is then restored.
    HWND focus = GetFocus();
    if (busy && focus && IsChild(window, focus))
        SendMessageW(window, WM_NEXTDLGCTL,
                     reinterpret_cast<WPARAM>(GetDlgItem(window, IDC_ENTRY_LIST)), TRUE);
    for (int control : BUSY_CONTROLS) {
        // Save's own state comes back from UpdateSaveButton afterwards.
        HWND item = GetDlgItem(window, control);
        if (item) EnableWindow(item, busy ? FALSE : TRUE);
    }
    HWND cancel = CancelButton(window);
    if (!cancel) {
        cancel = CreateWindowExW(0, L"BUTTON", LoadResString(IDS_OPEN_CANCEL),
                                 WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, window,
                                 reinterpret_cast<HMENU>(IDC_CANCEL_OPEN), g_instance, nullptr);
        SendMessageW(cancel, WM_SETFONT, SendMessageW(window, WM_GETFONT, 0, 0), FALSE);
    }
    PlaceOpenCancel(window);
    ShowWindow(cancel, busy ? SW_SHOW : SW_HIDE);
}

void ShowOpening(const OpenRows& rows) {
    wchar_t text[TEXT_BUFFER_SIZE];
    UINT format = rows.expected ? IDS_OPENING_BACKGROUND : IDS_OPENING_START;
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(format), PathFindFileNameW(g_job->path),
               static_cast<int>(rows.filled), static_cast<int>(rows.expected));
    SetStatusText(text);
}

// Waits for the thread, answering its sent messages meanwhile.
void JoinThread(OpenJob* job) {
    for (;;) {
        DWORD woke = MsgWaitForMultipleObjects(1, &job->thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1) break;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(job->thread);
    job->thread = nullptr;
}

}  // namespace

void StartOpen(HWND window, const wchar_t* path, const wchar_t* done) {
    if (g_job) StopOpenNow();
    auto* job = new OpenJob;
    job->window = window;
    wcsncpy(job->path, path, GRF_PATH_SIZE - 1);
    job->done = done ? done : L"";
    g_job = job;
    g_running = true;
    ShowBusy(window, true);
    OpenRows none = {nullptr, 0, 0};
    ShowOpening(none);
    job->thread = CreateThread(nullptr, 0, OpenThread, job, 0, nullptr);
    if (!job->thread) {
        // No thread: the open runs here, as it did before there was one.
        job->result = GrfOpenWatched(job->path, nullptr, nullptr, &job->code);
        if (job->result != GRF_NO_ARCHIVE) FindKeyedRecord(job->result, &job->cancel, &job->keyed);
        PostMessageW(window, WM_OPEN_DONE, 0, 0);
    }
}

bool OpenRunning() {
    return g_running.load();
}

void CancelOpen() {
    if (g_job) g_job->cancel = true;
}

void StopOpenNow() {
    OpenJob* job = g_job;
    if (!job) return;
    job->cancel = true;
    if (job->thread) JoinThread(job);
    EndLoadingRows(job->window);
    GrfClose(&job->result);
    g_job = nullptr;
    g_running = false;
    delete job;
    // Its WM_OPEN_DONE, still queued, finds no job.
}

void OnOpenRows(HWND window, WPARAM filled, LPARAM rows) {
    if (!g_job || g_job->released) return;
    if (filled == 0 && rows != 0) {
        // Sent: the table goes, and the rows let go of it now.
        g_job->released = true;
        EndLoadingRows(window);
        return;
    }
    OpenRows read = {g_job->entries, static_cast<uint32_t>(filled), static_cast<uint32_t>(rows)};
    if (!read.entries) return;
    ShowLoadingRows(window, read.entries, read.filled);
    ShowOpening(read);
}

void OnOpenDone(HWND window) {
    OpenJob* job = g_job;
    if (!job) return;
    if (job->thread) JoinThread(job);
    g_job = nullptr;
    EndLoadingRows(window);
    ShowBusy(window, false);
    if (job->result != GRF_NO_ARCHIVE) {
        GrfClose(&g_archive);
        // The viewer showed an entry of the archive that is gone.
        ClosePreview();
        g_archive = job->result;
        // A new archive shows whole: a search typed for the last one would
        // hide its rows.
        ClearEntrySearch(window);
        RefreshEntryList(window);
        SetMainTitle(job->path);
        RememberRecentArchive(job->path);
        if (!job->done.empty()) SetStatusText(job->done.c_str());
        OnArchiveKeyed(window, job->path, job->keyed);
    } else if (job->code == GRF_ERROR_CANCELLED) {
        // The user's choice: the archive loaded before is listed again.
        RefreshEntryList(window);
        wchar_t text[TEXT_BUFFER_SIZE];
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_OPEN_CANCELLED),
                   PathFindFileNameW(job->path));
        SetStatusText(text);
    } else {
        // A file that does not open unloads the last one, as Open always has.
        GrfClose(&g_archive);
        ClosePreview();
        RefreshEntryList(window);
        SetMainTitle(LoadResString(IDS_NONE));
    }
    g_running = false;
    uint32_t code = job->code;
    bool failed = job->result == GRF_NO_ARCHIVE && code != GRF_ERROR_CANCELLED;
    std::wstring path = job->path;
    delete job;
    UpdateSaveButton(window);
    UpdateArchiveButtons(window);
    if (failed) ShowOpenFailure(window, IDS_OPEN_FAILED_CAPTION, path.c_str(), code);
}

void PlaceOpenCancel(HWND window) {
    HWND cancel = CancelButton(window);
    if (!cancel || !g_statusBar) return;
    int parts[2] = {};
    SendMessageW(g_statusBar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    RECT bar;
    GetWindowRect(g_statusBar, &bar);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&bar), 2);
    int height = bar.bottom - bar.top - 2;
    int width = height * 4;
    SetWindowPos(cancel, HWND_TOP, bar.left + parts[0] - width - 2, bar.top + 1, width, height,
                 SWP_NOACTIVATE);
}
