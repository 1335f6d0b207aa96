// folder_win32.cpp -- PlatformListFolder and PlatformWalkTree with
// FindFirstFileExW.
#include "folder.h"

#include <stdlib.h>
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

namespace {

struct TreeWalk {
    WalkStep (*visit)(const FolderItem& item, void* user);
    void (*leave)(void* user);
    void* user;
    wchar_t path[4096];
    size_t length;
    bool stopped;
};

bool WalkListed(const FolderItem& item, void* user);

void WalkFolderAt(TreeWalk* walk) {
    PlatformListFolder(walk->path, WalkListed, walk);
}

bool WalkListed(const FolderItem& item, void* user) {
    auto* walk = static_cast<TreeWalk*>(user);
    WalkStep step = walk->visit(item, walk->user);
    if (step == WalkStep::kStop) walk->stopped = true;
    if (step != WalkStep::kEnter || !item.folder) return !walk->stopped;
    size_t length = walk->length, name = wcslen(item.name);
    if (length + name + 2 < sizeof walk->path / sizeof walk->path[0]) {
        walk->path[length] = L'\\';
        wmemcpy(walk->path + length + 1, item.name, name + 1);
        walk->length = length + 1 + name;
        WalkFolderAt(walk);
        walk->path[length] = L'\0';
        walk->length = length;
    }
    walk->leave(walk->user);
    return !walk->stopped;
}

}  // namespace

bool PlatformWalkTree(const wchar_t* folder, WalkStep (*visit)(const FolderItem& item, void* user),
                      void (*leave)(void* user), void* user) {
    // The path grows in place as the walk goes down: too big for the stack.
    auto* walk = static_cast<TreeWalk*>(calloc(1, sizeof(TreeWalk)));
    size_t length = wcslen(folder);
    bool walked = walk && length > 0 && length + 1 < sizeof walk->path / sizeof walk->path[0];
    if (walked) {
        walk->visit = visit;
        walk->leave = leave;
        walk->user = user;
        wmemcpy(walk->path, folder, length + 1);
        // "dir\\" would give "dir\\\\name"; a drive's root keeps its own.
        if (length > 3 && (walk->path[length - 1] == L'\\' || walk->path[length - 1] == L'/'))
            walk->path[--length] = L'\0';
        walk->length = length;
        walked = PlatformListFolder(walk->path, WalkListed, walk) && !walk->stopped;
    }
    free(walk);
    return walked;
}
