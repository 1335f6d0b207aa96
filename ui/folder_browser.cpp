// folder_browser.cpp -- see folder_browser.h.
#include "folder_browser.h"

#include <shlobj.h>
#include <wchar.h>

#include "progress.h"
#include "services.h"

namespace {

// Selects the starting folder once the browser has filled its tree.
int CALLBACK OnBrowserEvent(HWND browser, UINT event, LPARAM, LPARAM start) {
    if (event == BFFM_INITIALIZED && start) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

}  // namespace

bool AskFolder(HWND owner, UINT title, int kind, const wchar_t* start, wchar_t* chosen) {
    // The browser keeps pointing at the title while it runs: it gets a copy
    // of its own, not the shared string buffer.
    wchar_t caption[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, title, caption, TEXT_BUFFER_SIZE);
    wchar_t displayName[MAX_PATH];
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.pidlRoot = nullptr;  // the desktop
    browse.pszDisplayName = displayName;
    browse.lpszTitle = caption;
    browse.ulFlags = BIF_RETURNONLYFSDIRS |
                     (kind == FOLDER_TO_WRITE ? BIF_NEWDIALOGSTYLE : BIF_NONEWFOLDERBUTTON);
    if (start && start[0]) {
        browse.lpfn = OnBrowserEvent;
        browse.lParam = reinterpret_cast<LPARAM>(start);
    }
    PIDLIST_ABSOLUTE picked = SHBrowseForFolderW(&browse);
    if (!picked) return false;
    wchar_t path[MAX_PATH];
    BOOL isPath = SHGetPathFromIDListW(picked, path);
    CoTaskMemFree(picked);
    if (!isPath) return false;
    wcscpy(chosen, path);
    return true;
}
