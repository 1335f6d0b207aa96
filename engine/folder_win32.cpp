// folder_win32.cpp -- PlatformListFolder with FindFirstFileExW.
#include "folder.h"

#include <wchar.h>
#include <windows.h>

bool PlatformListFolder(const wchar_t* folder, bool (*visit)(const FolderItem& item, void* user),
                        void* user) {
    wchar_t pattern[2048];
    size_t n = wcslen(folder);
    if (n == 0 || n + 3 > sizeof pattern / sizeof pattern[0]) return false;
    for (size_t i = 0; i < n; ++i) pattern[i] = folder[i] == L'/' ? L'\\' : folder[i];
    if (pattern[n - 1] != L'\\') pattern[n++] = L'\\';
    pattern[n++] = L'*';
    pattern[n] = L'\0';
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW(pattern, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool going = true;
    do {
        const wchar_t* name = found.cFileName;
        if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0')))
            continue;
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
            continue;
        FolderItem item{name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                        (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow};
        going = visit(item, user);
    } while (going && FindNextFileW(find, &found));
    FindClose(find);
    return going;
}
