// export_file_posix.cpp -- WriteExportFile on POSIX: a temporary file made
// with O_EXCL | O_NOFOLLOW beside the target, written, fsync'd, then moved
// into place with rename (replacing) or link (never replacing), and the
// folder fsync'd so the new name lasts too.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "export.h"

namespace {

// Wide paths as the system takes them: UTF-8, backslashes as slashes.
bool ToUtf8Path(const wchar_t* path, std::string* out) {
    out->clear();
    for (; *path; ++path) {
        uint32_t c = uint32_t(*path);
        if (c == '\\') c = '/';
        if (c < 0x80) {
            out->push_back(char(c));
        } else if (c < 0x800) {
            out->push_back(char(0xC0 | c >> 6));
            out->push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF) return false;
            out->push_back(char(0xE0 | c >> 12));
            out->push_back(char(0x80 | (c >> 6 & 0x3F)));
            out->push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x110000) {
            out->push_back(char(0xF0 | c >> 18));
            out->push_back(char(0x80 | (c >> 12 & 0x3F)));
            out->push_back(char(0x80 | (c >> 6 & 0x3F)));
            out->push_back(char(0x80 | (c & 0x3F)));
        } else {
            return false;
        }
    }
    return !out->empty();
}

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

void SyncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : path.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // best effort: some file systems refuse it for folders
    close(fd);
}

}  // namespace

bool WriteExportFile(const wchar_t* path, const uint8_t* bytes, size_t size, bool replaceExisting) {
    std::string target;
    if (!path || !ToUtf8Path(path, &target)) return false;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        char suffix[32];
        snprintf(suffix, sizeof suffix, ".%d-%d.part", int(getpid()), attempt);
        temporary = target + suffix;
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes, size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) {
        // link refuses an existing name; rename replaces one in one step.
        ok = replaceExisting ? rename(temporary.c_str(), target.c_str()) == 0
                             : link(temporary.c_str(), target.c_str()) == 0;
    }
    if (!ok || !replaceExisting) unlink(temporary.c_str());
    if (ok) SyncFolderOf(target);
    return ok;
}
