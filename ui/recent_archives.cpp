// recent_archives.cpp -- see recent_archives.h.
#include "recent_archives.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "commands.h"
#include "password_prompt.h"
#include "resource.h"
#include "services.h"
#include "settings.h"

void MakeOpenSplitButton(HWND window) {
    HWND open = GetDlgItem(window, IDC_OPEN);
    LONG style = GetWindowLongW(open, GWL_STYLE);
    SetWindowLongW(open, GWL_STYLE, (style & ~BS_TYPEMASK) | BS_SPLITBUTTON);
    InvalidateRect(open, nullptr, TRUE);
}

void RememberRecentArchive(const wchar_t* path) {
    if (!path || !path[0]) return;
    std::vector<std::wstring> paths = ReadRecentArchives();
    std::vector<std::wstring> kept = {path};
    for (const std::wstring& other : paths) {
        if (_wcsicmp(other.c_str(), path) != 0 && kept.size() < RECENT_MOST) kept.push_back(other);
    }
    WriteRecentArchives(kept);
}

UINT ShowRecentMenu(HWND window) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return 0;
    std::vector<std::wstring> paths = ReadRecentArchives();
    for (size_t i = 0; i < paths.size(); ++i) {
        wchar_t text[TEXT_BUFFER_SIZE];
        // "&1 path": a digit picks it; a path's own "&" is no mnemonic.
        std::wstring shown;
        for (wchar_t c : paths[i]) shown += c == L'&' ? std::wstring(L"&&") : std::wstring(1, c);
        FormatText(text, TEXT_BUFFER_SIZE, L"&%d %s", static_cast<int>(i + 1), shown.c_str());
        AppendMenuW(menu, MF_STRING, IDM_RECENT_FIRST + i, text);
    }
    if (paths.empty()) AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, LoadResString(IDS_RECENT_NONE));
    // The commands about archives that have no button of their own.
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    UINT password = g_archive == GRF_NO_ARCHIVE ? MF_GRAYED : 0;
    if (HasWritePassword()) password |= MF_CHECKED;
    AppendMenuW(menu, MF_STRING | password, IDM_WRITE_PASSWORD,
                LoadResString(IDS_MENU_WRITE_PASSWORD));
    AppendMenuW(menu, MF_STRING, IDM_APPLY_PATCH, LoadResString(IDS_MENU_APPLY_PATCH));
    RECT button;
    GetWindowRect(GetDlgItem(window, IDC_OPEN), &button);
    UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, button.left,
                                 button.bottom, 0, window, nullptr);
    DestroyMenu(menu);
    return chosen;
}

void CmdOpenRecent(HWND window, UINT command) {
    std::vector<std::wstring> paths = ReadRecentArchives();
    size_t which = command - IDM_RECENT_FIRST;
    if (which >= paths.size()) return;
    std::wstring path = paths[which];
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        paths.erase(paths.begin() + static_cast<ptrdiff_t>(which));
        WriteRecentArchives(paths);
        ShowProblem(window, IDS_RECENT_GONE_CAPTION, LoadResString(IDS_RECENT_GONE), path.c_str());
        return;
    }
    CmdOpenPath(window, path.c_str());
}
