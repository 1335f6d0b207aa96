// folder_posix.cpp -- PlatformListFolder with opendir and fstatat;
// PlatformWalkTree with openat down the tree (getdents64 on Linux).

// 64-bit sizes on 32-bit systems too.
#define _FILE_OFFSET_BITS 64
#ifndef _GNU_SOURCE
#define _GNU_SOURCE  // getdents64
#endif

#include "folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "utf8.h"

namespace {

void Put(char* out, size_t* n, char c) {
    out[(*n)++] = c;
}

constexpr size_t kPathBytes = 4096;

// The folder's path as the system takes it: UTF-8, "/" for "\\".
bool SystemPath(const wchar_t* path, char* out) {
    size_t n = 0;
    for (; *path; ++path) {
        if (n + 5 > kPathBytes) return false;
        uint32_t c = static_cast<uint32_t>(*path);
        if (c == '\\') c = '/';
        if (c < 0x80) {
            Put(out, &n, static_cast<char>(c));
        } else if (c < 0x800) {
            Put(out, &n, static_cast<char>(0xC0 | (c >> 6)));
            Put(out, &n, static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            Put(out, &n, static_cast<char>(0xE0 | (c >> 12)));
            Put(out, &n, static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            Put(out, &n, static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x110000) {
            Put(out, &n, static_cast<char>(0xF0 | (c >> 18)));
            Put(out, &n, static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            Put(out, &n, static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            Put(out, &n, static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            return false;
        }
    }
    out[n] = '\0';
    return n != 0;
}

}  // namespace

bool PlatformListFolder(const wchar_t* folder, bool (*visit)(const FolderItem& item, void* user),
                        void* user) {
    char path[kPathBytes];
    if (!SystemPath(folder, path)) return false;
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    bool going = true;
    wchar_t name[NAME_MAX + 1];
    while (going) {
        dirent* item = readdir(dir);
        if (!item) break;
        const char* n = item->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
        if (item->d_type == DT_LNK || !Utf8Decode(n, strlen(n), name, NAME_MAX + 1)) continue;
        struct stat st;
        if (fstatat(dirfd(dir), n, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;
        FolderItem found{name, S_ISDIR(st.st_mode), static_cast<uint64_t>(st.st_size)};
        going = visit(found, user);
    }
    closedir(dir);
    return going;
}

namespace {

struct TreeWalk {
    WalkStep (*visit)(const FolderItem& item, void* user);
    void (*leave)(void* user);
    void* user;
    bool stopped;
    wchar_t name[NAME_MAX + 1];
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsDotName(const char* n) {
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

void WalkAt(TreeWalk* walk, int fd);

// One name found in the folder fd: visited, and walked into when asked.
// The type the listing gives spares a stat for folders; files need theirs
// for the size.
void WalkItem(TreeWalk* walk, int fd, const char* n, unsigned char type) {
    if (IsDotName(n) || type == DT_LNK || !Utf8Decode(n, strlen(n), walk->name, NAME_MAX + 1))
        return;
    bool folder = type == DT_DIR;
    uint64_t size = 0;
    if (type != DT_DIR) {
        struct stat st;
        if (fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return;
        folder = S_ISDIR(st.st_mode);
        size = folder ? 0 : static_cast<uint64_t>(st.st_size);
    }
    WalkStep step = walk->visit(FolderItem{walk->name, folder, size}, walk->user);
    if (step == WalkStep::kStop) walk->stopped = true;
    if (step != WalkStep::kEnter || !folder) return;
    // Opened where it was listed, never through a link: a folder swapped
    // for a link since is refused, not followed.
    int inner = openat(fd, n, kFolderFlags);
    if (inner >= 0) {
        WalkAt(walk, inner);
        close(inner);
    }
    walk->leave(walk->user);
}

#ifdef __linux__
// The folder's names, a buffer at a time; the buffer is the heap's, as a
// walk may go fifty folders deep.
void WalkAt(TreeWalk* walk, int fd) {
    constexpr size_t kBufferBytes = 32768;
    auto* buffer = static_cast<char*>(malloc(kBufferBytes));
    if (!buffer) {
        walk->stopped = true;
        return;
    }
    ssize_t got;
    while (!walk->stopped && (got = getdents64(fd, buffer, kBufferBytes)) > 0) {
        for (ssize_t at = 0; at < got && !walk->stopped;) {
            const auto* item = reinterpret_cast<const dirent64*>(buffer + at);
            at += item->d_reclen;
            WalkItem(walk, fd, item->d_name, item->d_type);
        }
    }
    free(buffer);
}
#else
void WalkAt(TreeWalk* walk, int fd) {
    int listed = dup(fd);
    DIR* dir = listed >= 0 ? fdopendir(listed) : nullptr;
    if (!dir) {
        if (listed >= 0) close(listed);
        return;
    }
    while (!walk->stopped) {
        dirent* item = readdir(dir);
        if (!item) break;
        WalkItem(walk, fd, item->d_name, item->d_type);
    }
    closedir(dir);
}
#endif

}  // namespace

bool PlatformWalkTree(const wchar_t* folder, WalkStep (*visit)(const FolderItem& item, void* user),
                      void (*leave)(void* user), void* user) {
    char path[kPathBytes];
    if (!SystemPath(folder, path)) return false;
    int fd = open(path, kFolderFlags);
    if (fd < 0) return false;
    TreeWalk walk{visit, leave, user, false, {}};
    WalkAt(&walk, fd);
    close(fd);
    return !walk.stopped;
}
