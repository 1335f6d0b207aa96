// progress.cpp -- the progress window, the two progress callbacks and the
// file dialog.
#include "progress.h"

#include <commctrl.h>
#include <commdlg.h>
#include <wchar.h>

#include "resource.h"
#include "services.h"
#include "settings.h"

HWND g_progressWindow = nullptr;
wchar_t g_fileName[PATH_SIZE];

namespace {

const int OPEN_TEXT_SIZE = 1024;
const uint32_t OPEN_UPDATES = 100;    // status texts while one archive opens
const DWORD PROGRESS_REDRAW_MS = 40;  // the progress window's name and bar

// When the progress window last showed an entry; each window starts afresh.
bool g_progressShown = false;
DWORD g_progressShownAt = 0;

void OnProgressCommand(HWND window, UINT command) {
    if (command != IDCANCEL) return;
    // The running operation learns of it at its next progress call. Hidden,
    // not ended: EndDialog would enable the main window in the middle of the
    // command.
    g_progressWindow = nullptr;
    ShowWindow(window, SW_HIDE);
}

// Takes at most one queued message for the progress window or its controls,
// so the window repaints and Cancel can be clicked while messages for every
// other window wait until the command has ended.
void PumpProgressWindow() {
    MSG message;
    if (PeekMessageW(&message, g_progressWindow, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

}  // namespace

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            g_progressWindow = window;
            break;
        case WM_COMMAND:
            OnProgressCommand(window, LOWORD(wParam));
            break;
    }
    return FALSE;
}

HWND CreateProgressWindow(const wchar_t* caption) {
    g_progressShown = false;
    HWND window = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_PROGRESS), g_mainWindow,
                                     ProgressDialogProc, 0);
    if (window && caption) SetWindowTextW(window, caption);
    // While the window lets messages through, nothing may reach the main
    // window: a click there would start another command or close the
    // archive under this one.
    EnableWindow(g_mainWindow, FALSE);
    return window;
}

void CloseProgressWindow(HWND window) {
    // Enabled first, so that activation returns to the main window and not
    // to another program's.
    EnableWindow(g_mainWindow, TRUE);
    if (window) DestroyWindow(window);
    g_progressWindow = nullptr;
}

int32_t ShowEntryProgress(GrfEntry* entry, uint32_t index, uint32_t total) {
    if (!g_progressWindow) return 1;
    // Drawing the name and the bar costs far more than most entries (close to
    // a millisecond under Wine): they are shown for the first entry, the last,
    // and then at most every PROGRESS_REDRAW_MS. Cancel is looked at always.
    DWORD now = GetTickCount();
    if (!g_progressShown || now - g_progressShownAt >= PROGRESS_REDRAW_MS || index + 1 >= total) {
        g_progressShown = true;
        g_progressShownAt = now;
        // No entry: the last step of a save, after its records.
        wchar_t* name = entry ? GrfFileName(entry->name) : nullptr;
        if (name) SetDlgItemTextW(g_progressWindow, IDC_PROGRESS_NAME, name);
        GrfFreeBuffer(name);
        // The 32-bit range shows totals above 65535 whole.
        SendDlgItemMessageW(g_progressWindow, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, total);
        SendDlgItemMessageW(g_progressWindow, IDC_PROGRESS_BAR, PBM_SETPOS, index, 0);
    }
    PumpProgressWindow();
    return 0;
}

int32_t ShowOpenProgress(GrfEntry*, uint32_t index, uint32_t total) {
    // Setting the status text costs far more than reading a record (about a
    // millisecond under Wine, where the bar repaints at once: minutes for a
    // large archive, and 500 updates still more than doubled the 0.4 s that
    // 500,000 entries take), so the count is shown at most OPEN_UPDATES
    // times, always for the first and last.
    uint32_t step = total / OPEN_UPDATES + 1;
    if (index % step != 0 && index + 1 < total) return 0;
    wchar_t format[OPEN_TEXT_SIZE];
    wchar_t text[OPEN_TEXT_SIZE];
    LoadStringW(g_instance, IDS_OPENING_FORMAT, format, OPEN_TEXT_SIZE);
    FormatText(text, OPEN_TEXT_SIZE, format, static_cast<int>(index), static_cast<int>(total));
    SetStatusText(text);
    return 0;
}

namespace {

// The save dialog's hook: a name that exists is refused at once, and the
// dialog stays up for another (archives are never written over).
UINT_PTR CALLBACK RefuseExistingName(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_NOTIFY) return 0;
    auto* notice = reinterpret_cast<OFNOTIFYW*>(lParam);
    if (notice->hdr.code != CDN_FILEOK) return 0;
    const wchar_t* name = notice->lpOFN->lpstrFile;
    if (GetFileAttributesW(name) == INVALID_FILE_ATTRIBUTES) return 0;
    wchar_t text[TEXT_BUFFER_SIZE];
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_NAME_TAKEN), name);
    wchar_t caption[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, IDS_NAME_TAKEN_CAPTION, caption, TEXT_BUFFER_SIZE);
    MessageBoxW(GetParent(hook), text, caption, MB_OK | MB_ICONWARNING);
    SetWindowLongPtrW(hook, DWLP_MSGRESULT, 1);
    return 1;
}

}  // namespace

wchar_t* AskFileName(const wchar_t* title, HWND owner, const wchar_t* filter, int save) {
    wchar_t previous[PATH_SIZE];
    wmemcpy(previous, g_fileName, PATH_SIZE);
    // The dialog opens with an empty name field.
    wmemset(g_fileName, L'\0', PATH_SIZE);

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = g_fileName;
    dialog.nMaxFile = PATH_SIZE;
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (save) {
        dialog.Flags |= OFN_ENABLEHOOK;
        dialog.lpfnHook = RefuseExistingName;
    }
    // Opening and saving each start where they last ended, also after a
    // restart.
    const wchar_t* remembered = save ? FOLDER_SAVE : FOLDER_OPEN;
    wchar_t folder[PATH_SIZE];
    ReadFolderSetting(remembered, folder, PATH_SIZE);
    if (folder[0]) dialog.lpstrInitialDir = folder;
    BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) {
        wmemcpy(g_fileName, previous, PATH_SIZE);
        return nullptr;
    }
    WriteFolderSetting(remembered, g_fileName, true);
    SetStatusText(LoadResString(IDS_READY));
    return g_fileName;
}
