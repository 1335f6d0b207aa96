// settings.cpp -- see settings.h. The registry calls of the program.
#include "settings.h"

#include <wchar.h>

const wchar_t* g_settingsKey = L"Software\\Caskwright";

namespace {

HKEY OpenSettings(bool write) {
    HKEY key = nullptr;
    LONG result = write ? RegCreateKeyExW(HKEY_CURRENT_USER, g_settingsKey, 0, nullptr, 0,
                                          KEY_SET_VALUE, nullptr, &key, nullptr)
                        : RegOpenKeyExW(HKEY_CURRENT_USER, g_settingsKey, 0, KEY_QUERY_VALUE, &key);
    return result == ERROR_SUCCESS ? key : nullptr;
}

bool ReadNumber(HKEY key, const wchar_t* name, int* value) {
    DWORD number = 0;
    DWORD size = sizeof(number);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return false;
    *value = static_cast<int>(number);
    return true;
}

void WriteNumber(HKEY key, const wchar_t* name, int value) {
    DWORD number = static_cast<DWORD>(value);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
}

const wchar_t* const COLUMN_NAMES[6] = {L"Column0", L"Column1", L"Column2",
                                        L"Column3", L"Column4", L"Column5"};

}  // namespace

void ReadFolderSetting(const wchar_t* name, wchar_t* path, DWORD size) {
    path[0] = L'\0';
    HKEY key = OpenSettings(false);
    if (!key) return;
    DWORD bytes = (size - 1) * sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        path[0] = L'\0';
    } else {
        path[bytes / sizeof(wchar_t)] = L'\0';
    }
    RegCloseKey(key);
}

void WriteFolderSetting(const wchar_t* name, const wchar_t* path, bool isFile) {
    wchar_t folder[MAX_PATH * 2];
    if (wcslen(path) >= MAX_PATH * 2) return;
    wcscpy(folder, path);
    if (isFile) {
        wchar_t* slash = wcsrchr(folder, L'\\');
        if (!slash) return;
        // A drive's root keeps its backslash.
        if (slash == folder + 2 && folder[1] == L':') slash += 1;
        *slash = L'\0';
    }
    HKEY key = OpenSettings(true);
    if (!key) return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                   static_cast<DWORD>((wcslen(folder) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

bool ReadWindowSettings(WindowSettings* settings) {
    *settings = {};
    HKEY key = OpenSettings(false);
    if (!key) return false;
    int maximized = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool known = ReadNumber(key, L"WindowLeft", &left) && ReadNumber(key, L"WindowTop", &top) &&
                 ReadNumber(key, L"WindowRight", &right) &&
                 ReadNumber(key, L"WindowBottom", &bottom) && right > left && bottom > top;
    settings->frame = {left, top, right, bottom};
    ReadNumber(key, L"Maximized", &maximized);
    settings->maximized = maximized != 0;
    for (int i = 0; i < 6; ++i) ReadNumber(key, COLUMN_NAMES[i], &settings->columns[i]);
    RegCloseKey(key);
    return known;
}

void WriteWindowSettings(const WindowSettings& settings) {
    HKEY key = OpenSettings(true);
    if (!key) return;
    WriteNumber(key, L"WindowLeft", settings.frame.left);
    WriteNumber(key, L"WindowTop", settings.frame.top);
    WriteNumber(key, L"WindowRight", settings.frame.right);
    WriteNumber(key, L"WindowBottom", settings.frame.bottom);
    WriteNumber(key, L"Maximized", settings.maximized ? 1 : 0);
    for (int i = 0; i < 6; ++i) WriteNumber(key, COLUMN_NAMES[i], settings.columns[i]);
    RegCloseKey(key);
}

int ReadNumberSetting(const wchar_t* name, int fallback) {
    HKEY key = OpenSettings(false);
    if (!key) return fallback;
    int value = fallback;
    if (!ReadNumber(key, name, &value)) value = fallback;
    RegCloseKey(key);
    return value;
}

void WriteNumberSetting(const wchar_t* name, int value) {
    HKEY key = OpenSettings(true);
    if (!key) return;
    WriteNumber(key, name, value);
    RegCloseKey(key);
}

// One REG_MULTI_SZ: the paths, each ended by a NUL, then one more.
std::vector<std::wstring> ReadRecentArchives() {
    std::vector<std::wstring> paths;
    HKEY key = OpenSettings(false);
    if (!key) return paths;
    DWORD bytes = 0;
    DWORD type = 0;
    if (RegQueryValueExW(key, L"RecentArchives", nullptr, &type, nullptr, &bytes) ==
            ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        std::wstring all(bytes / sizeof(wchar_t) + 2, L'\0');
        if (RegQueryValueExW(key, L"RecentArchives", nullptr, &type,
                             reinterpret_cast<BYTE*>(all.data()), &bytes) == ERROR_SUCCESS) {
            for (const wchar_t* at = all.c_str(); *at && paths.size() < RECENT_MOST;
                 at += wcslen(at) + 1)
                paths.emplace_back(at);
        }
    }
    RegCloseKey(key);
    return paths;
}

void WriteRecentArchives(const std::vector<std::wstring>& paths) {
    std::wstring all;
    for (size_t i = 0; i < paths.size() && i < RECENT_MOST; ++i) {
        if (paths[i].empty()) continue;
        all += paths[i];
        all += L'\0';
    }
    all += L'\0';
    HKEY key = OpenSettings(true);
    if (!key) return;
    RegSetValueExW(key, L"RecentArchives", 0, REG_MULTI_SZ,
                   reinterpret_cast<const BYTE*>(all.data()),
                   static_cast<DWORD>(all.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}
