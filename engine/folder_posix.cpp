// folder_posix.cpp -- PlatformListFolder with opendir and fstatat.

// 64-bit sizes on 32-bit systems too.
#define _FILE_OFFSET_BITS 64

#include "folder.h"

#include <dirent.h>
#include <fcntl.h>
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
