// platform_posix.cpp -- the engine's system services on POSIX: file
// descriptors, outputs walked with openat, calloc, iconv's CP949 and a
// wildcard matcher of our own.

// 64-bit file offsets on 32-bit systems too: archives pass 4 GB.
#define _FILE_OFFSET_BITS 64

#include "platform.h"
#include "platform_hooks.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

static_assert(sizeof(off_t) == 8, "file offsets must be 64-bit");

namespace {

// Wide paths become UTF-8 with slashes. Archive names keep their backslashes;
// only the path handed to the system changes.
constexpr size_t kPathBytes = 4096;

bool WidePathToUtf8(const wchar_t* path, char* out) {
    size_t n = 0;
    for (; *path; ++path) {
        uint32_t c = static_cast<uint32_t>(*path);
        if (c == '\\') c = '/';
        char bytes[4];
        size_t len;
        if (c < 0x80) {
            bytes[0] = static_cast<char>(c);
            len = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<char>(0xC0 | (c >> 6));
            bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
            len = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<char>(0xE0 | (c >> 12));
            bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
            len = 3;
        } else if (c < 0x110000) {
            bytes[0] = static_cast<char>(0xF0 | (c >> 18));
            bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
            len = 4;
        } else {
            errno = EILSEQ;
            return false;
        }
        if (n + len >= kPathBytes) {
            errno = ENAMETOOLONG;
            return false;
        }
        memcpy(out + n, bytes, len);
        n += len;
    }
    out[n] = '\0';
    return true;
}

PlatformFile* FromFd(int fd) {
    return fd < 0 ? nullptr : reinterpret_cast<PlatformFile*>(static_cast<intptr_t>(fd) + 1);
}

int ToFd(PlatformFile* file) {
    return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1);
}

PlatformFile* OpenPath(const wchar_t* path, int flags) {
    if (PlatformFaultNow(kPlatformFaultAccess)) {
        errno = EACCES;
        return nullptr;
    }
    char utf8[kPathBytes];
    if (!WidePathToUtf8(path, utf8)) return nullptr;
    return FromFd(open(utf8, flags | O_CLOEXEC, 0666));
}

}  // namespace

PlatformFile* PlatformOpenRead(const wchar_t* path) {
    return OpenPath(path, O_RDONLY);
}

PlatformFile* PlatformCreateNew(const wchar_t* path) {
    return OpenPath(path, O_WRONLY | O_CREAT | O_EXCL);
}

PlatformFile* PlatformCreateAlways(const wchar_t* path) {
    return OpenPath(path, O_WRONLY | O_CREAT | O_TRUNC);
}

PlatformFile* PlatformOpenUpdate(const wchar_t* path) {
    return OpenPath(path, O_RDWR);
}

bool PlatformRead(PlatformFile* file, void* buffer, uint32_t size, uint32_t* got) {
    uint8_t* at = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    bool ok = true;
    while (done < size) {
        ssize_t n = read(ToFd(file), at + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    *got = done;
    return ok;
}

bool PlatformReadAt(PlatformFile* file, uint64_t offset, void* buffer, uint32_t size,
                    uint32_t* got) {
    uint8_t* at = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    bool ok = offset <= static_cast<uint64_t>(INT64_MAX) - size;
    while (ok && done < size) {
        ssize_t n = pread(ToFd(file), at + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    *got = done;
    return ok;
}

namespace {

bool WriteAll(int fd, const void* buffer, uint32_t size) {
    PlatformStep();
    if (PlatformFaultNow(kPlatformFaultWrite)) {
        errno = ENOSPC;
        return false;
    }
    const uint8_t* at = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, at + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<uint32_t>(n);
    }
    return true;
}

}  // namespace

bool PlatformWrite(PlatformFile* file, const void* buffer, uint32_t size) {
    return WriteAll(ToFd(file), buffer, size);
}

bool PlatformSeek(PlatformFile* file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) {
        errno = EINVAL;
        return false;
    }
    return lseek(ToFd(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

uint64_t PlatformFileSize(PlatformFile* file) {
    struct stat st;
    if (fstat(ToFd(file), &st) != 0 || st.st_size < 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

void PlatformClose(PlatformFile* file) {
    if (file) close(ToFd(file));
}

bool PlatformDeleteFile(const wchar_t* path) {
    char utf8[kPathBytes];
    return WidePathToUtf8(path, utf8) && unlink(utf8) == 0;
}

bool PlatformCreateDirectory(const wchar_t* path) {
    char utf8[kPathBytes];
    return WidePathToUtf8(path, utf8) && mkdir(utf8, 0777) == 0;
}

uint32_t PlatformLastError(void) {
    return static_cast<uint32_t>(errno);
}

bool PlatformAccessDenied(void) {
    return errno == EACCES || errno == EPERM || errno == EROFS || errno == ETXTBSY;
}

bool PlatformFlush(PlatformFile* file) {
    PlatformStep();
    if (PlatformFaultNow(kPlatformFaultFlush)) {
        errno = EIO;
        return false;
    }
    return fsync(ToFd(file)) == 0;
}

bool PlatformTruncate(PlatformFile* file, uint64_t size) {
    PlatformStep();
    if (PlatformFaultNow(kPlatformFaultTruncate)) {
        errno = EIO;
        return false;
    }
    if (size > static_cast<uint64_t>(INT64_MAX)) {
        errno = EINVAL;
        return false;
    }
    int result;
    do {
        result = ftruncate(ToFd(file), static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool PlatformStampOf(PlatformFile* file, GrfFileStamp* stamp) {
    struct stat st;
    if (fstat(ToFd(file), &st) != 0) return false;
    stamp->size = static_cast<uint64_t>(st.st_size);
    stamp->time = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    stamp->device = static_cast<uint64_t>(st.st_dev);
    stamp->file = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool PlatformPathExists(const wchar_t* path) {
    char utf8[kPathBytes];
    struct stat st;
    return WidePathToUtf8(path, utf8) && lstat(utf8, &st) == 0;
}

namespace {

// Strict UTF-8 to wide; false on a malformed sequence or when out is full.
bool Utf8ToWide(const char* text, wchar_t* out, size_t capacity) {
    const auto* at = reinterpret_cast<const uint8_t*>(text);
    size_t n = 0;
    while (*at) {
        uint32_t c = *at;
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0) return false;
        if (more) c &= 0x3Fu >> more;
        for (int i = 1; i <= more; ++i) {
            if ((at[i] & 0xC0) != 0x80) return false;
            c = (c << 6) | (at[i] & 0x3Fu);
        }
        at += more + 1;
        if (n + 1 >= capacity) return false;
        out[n++] = static_cast<wchar_t>(c);
    }
    out[n] = L'\0';
    return true;
}

}  // namespace

bool PlatformAbsolutePath(const wchar_t* path, wchar_t* out, size_t capacity) {
    char utf8[kPathBytes];
    if (!WidePathToUtf8(path, utf8) || utf8[0] == '\0') return false;
    // The folder is resolved where it exists; the name is kept, so a link
    // given as the archive stays the path that is opened.
    char* slash = strrchr(utf8, '/');
    const char* name = slash ? slash + 1 : utf8;
    char folder[kPathBytes] = ".";
    if (slash == utf8) {
        strcpy(folder, "/");
    } else if (slash) {
        memcpy(folder, utf8, static_cast<size_t>(slash - utf8));
        folder[slash - utf8] = '\0';
    }
    char absolute[2 * kPathBytes];
    char* real = realpath(folder, nullptr);
    int written;
    if (real) {
        bool root = strcmp(real, "/") == 0;
        written = snprintf(absolute, sizeof absolute, "%s%s%s", real, root ? "" : "/", name);
        free(real);
    } else if (utf8[0] == '/') {
        written = snprintf(absolute, sizeof absolute, "%s", utf8);
    } else {
        char current[kPathBytes];
        if (!getcwd(current, sizeof current)) return false;
        written = snprintf(absolute, sizeof absolute, "%s/%s", current, utf8);
    }
    if (written < 0 || static_cast<size_t>(written) >= sizeof absolute) return false;
    return Utf8ToWide(absolute, out, capacity);
}

namespace {

// Numbers for temporary names: different from call to call and from
// process to process; an existing name only costs another try.
uint32_t TemporaryNumber() {
    static std::atomic<uint64_t> counter{0};  // extraction workers share it
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t x = (uint64_t{static_cast<uint32_t>(getpid())} << 32) ^
                 static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 20) ^
                 (++counter * 0x9E3779B97F4A7C15ull);
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    return static_cast<uint32_t>(x);
}

constexpr int kTemporaryTries = 100;

}  // namespace

namespace {

// The folder and last name of a UTF-8 path.
bool SplitPath(const char* path, char* folder, const char** name) {
    const char* slash = strrchr(path, '/');
    *name = slash ? slash + 1 : path;
    if (!slash) {
        strcpy(folder, ".");
    } else if (slash == path) {
        strcpy(folder, "/");
    } else {
        memcpy(folder, path, static_cast<size_t>(slash - path));
        folder[slash - path] = '\0';
    }
    return **name != '\0';
}

bool FlushFolderOf(const char* path) {
    char folder[kPathBytes];
    const char* name = nullptr;
    SplitPath(path, folder, &name);
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool flushed = fsync(fd) == 0;
    close(fd);
    return flushed;
}

}  // namespace

bool PlatformFlushFolderOf(const wchar_t* path) {
    char utf8[kPathBytes];
    return WidePathToUtf8(path, utf8) && FlushFolderOf(utf8);
}

bool PlatformScratchFolder(wchar_t* out, size_t capacity) {
    const char* folder = getenv("TMPDIR");
    if (!folder || folder[0] != '/') folder = "/tmp";
    char path[kPathBytes];
    size_t length = strlen(folder);
    if (length + 2 > sizeof path) return false;
    memcpy(path, folder, length);
    if (path[length - 1] != '/') path[length++] = '/';
    path[length] = '\0';
    return Utf8ToWide(path, out, capacity);
}

PlatformFile* PlatformCreateScratch(const wchar_t* base, wchar_t* temporaryPath, size_t capacity) {
    size_t length = wcslen(base);
    for (int attempt = 0; attempt < kTemporaryTries; ++attempt) {
        wchar_t suffix[32];
        swprintf(suffix, 32, L".%08x.tmp", TemporaryNumber());
        if (length + wcslen(suffix) >= capacity) return nullptr;
        wmemcpy(temporaryPath, base, length);
        wcscpy(temporaryPath + length, suffix);
        char utf8[kPathBytes];
        if (!WidePathToUtf8(temporaryPath, utf8)) return nullptr;
        int fd = open(utf8, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) return FromFd(fd);
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Extracted files, walked from the current directory with openat.

namespace {

// Names hold at most GRF_NAME_MAX bytes, so at most this many components.
constexpr int kMaxDepth = GRF_NAME_SIZE;

bool IsLinkAt(int folder, const char* name) {
    struct stat st;
    return fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

// The folders outputs walked, each open without having followed a link,
// kept by their path below the root (components joined by "/") so that a
// file in a folder walked before costs no open, whatever was written in
// between. At most kKeptFolders stay open, the least recently used closed
// first; one walk touches at most kMaxDepth + 1 of them, so it never closes
// one it holds.
constexpr int kKeptFolders = 256;
static_assert(kKeptFolders > kMaxDepth + 1);

struct KeptFolder {
    char* path;  // owned; null marks a free entry
    size_t length;
    uint32_t hash;
    int fd;
    uint64_t lastUse;
};

struct PlatformFolders {
    int root;  // the current directory of the first use, or the root given
    uint64_t clock;
    int last;  // the entry of the last output's folder, or -1
    KeptFolder kept[kKeptFolders];
};

PlatformFolders* PlatformNewFolders(void) {
    auto* folders = static_cast<PlatformFolders*>(PlatformAlloc(sizeof(PlatformFolders)));
    if (folders) {
        folders->root = -1;
        folders->last = -1;
    }
    return folders;
}

PlatformFolders* PlatformNewFoldersAt(const wchar_t* root) {
    char path[kPathBytes];
    if (!WidePathToUtf8(root, path)) return nullptr;
    PlatformFolders* folders = PlatformNewFolders();
    if (!folders) return nullptr;
    folders->root = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folders->root < 0) {
        PlatformFree(folders);
        return nullptr;
    }
    return folders;
}

namespace {

uint32_t HashPath(const char* path, size_t length) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < length; ++i) h = (h ^ static_cast<uint8_t>(path[i])) * 16777619u;
    return h;
}

bool IsKept(const KeptFolder& k, const char* path, size_t length, uint32_t hash) {
    return k.path && k.hash == hash && k.length == length && memcmp(k.path, path, length) == 0;
}

// The entry keeping the folder at path, marked used now; -1 when none does.
int FindKept(PlatformFolders* folders, const char* path, size_t length) {
    uint32_t hash = HashPath(path, length);
    int found = -1;
    if (folders->last >= 0 && IsKept(folders->kept[folders->last], path, length, hash))
        found = folders->last;
    for (int i = 0; found < 0 && i < kKeptFolders; ++i)
        if (IsKept(folders->kept[i], path, length, hash)) found = i;
    if (found >= 0) folders->kept[found].lastUse = ++folders->clock;
    return found;
}

void DropKept(PlatformFolders* folders, int i) {
    KeptFolder& k = folders->kept[i];
    if (!k.path) return;
    if (k.fd >= 0) close(k.fd);
    PlatformFree(k.path);
    k = KeptFolder();
    if (folders->last == i) folders->last = -1;
}

// A free entry holding a copy of path, its folder not open yet (fd -1):
// the least recently used one is closed for it when all are taken. -1 when
// out of memory.
int NewKept(PlatformFolders* folders, const char* path, size_t length) {
    auto* copy = static_cast<char*>(PlatformAlloc(length + 1));
    if (!copy) return -1;
    int pick = 0;
    for (int i = 0; i < kKeptFolders; ++i) {
        if (!folders->kept[i].path) {
            pick = i;
            break;
        }
        if (folders->kept[i].lastUse < folders->kept[pick].lastUse) pick = i;
    }
    DropKept(folders, pick);
    memcpy(copy, path, length);
    folders->kept[pick] = KeptFolder{copy, length, HashPath(path, length), -1, ++folders->clock};
    return pick;
}

}  // namespace

void PlatformFreeFolders(PlatformFolders* folders) {
    if (!folders) return;
    for (int i = 0; i < kKeptFolders; ++i) DropKept(folders, i);
    if (folders->root >= 0) close(folders->root);
    PlatformFree(folders);
}

// Every file is written without a name (O_TMPFILE) in its folder where the
// file system allows, else under a temporary name, and given its own only
// when whole, so a kill at any moment leaves no partial file under a name.
// A new name is taken without replacing anything that appeared there
// meanwhile; an existing file is replaced only by one already on disk. An
// unnamed file costs the folder one operation fewer per file and leaves
// nothing behind after a crash.
struct PlatformOutput {
    PlatformFolders* folders;
    bool ownsFolders;
    char path[kPathBytes];   // the folders walked, "/" between them
    size_t ends[kMaxDepth];  // where each component of path ends
    int fds[kMaxDepth + 1];  // fds[0] the root, fds[i] component i - 1 (kept by folders)
    int depth;               // components of path
    int made[kMaxDepth];     // components this output made, in order
    int madeCount;
    char final[kPathBytes];
    char temporary[32];  // empty once gone, and for an unnamed file
    bool unnamed;        // written as an O_TMPFILE
    int fd;
};

namespace {

// The folder the file goes in.
int FolderOf(const PlatformOutput* out) {
    return out->fds[out->depth];
}

size_t ComponentStart(const PlatformOutput* out, int component) {
    return component == 0 ? 0 : out->ends[component - 1] + 1;
}

// Removes the folders this output made, deepest first, and forgets them.
void RemoveMade(PlatformOutput* out) {
    PlatformFolders* folders = out->folders;
    for (int i = out->madeCount - 1; i >= 0; --i) {
        int component = out->made[i];
        int kept = FindKept(folders, out->path, out->ends[component]);
        if (kept >= 0) DropKept(folders, kept);
        char name[kPathBytes];
        size_t start = ComponentStart(out, component);
        size_t length = out->ends[component] - start;
        memcpy(name, out->path + start, length);
        name[length] = '\0';
        unlinkat(out->fds[component], name, AT_REMOVEDIR);
    }
}

void Finish(PlatformOutput* out, bool done) {
    if (out->fd >= 0) close(out->fd);
    if (out->temporary[0]) unlinkat(FolderOf(out), out->temporary, 0);
    if (!done) RemoveMade(out);
    if (out->ownsFolders) PlatformFreeFolders(out->folders);
    PlatformFree(out);
}

// Opens folder component `depth` inside the one before, making it when
// missing, and keeps it; its entry in *kept. A link there is never
// followed.
PlatformOutputResult EnterFolder(PlatformOutput* out, int depth, int* kept) {
    PlatformFolders* folders = out->folders;
    *kept = NewKept(folders, out->path, out->ends[depth]);
    if (*kept < 0) return kOutputFailed;
    char name[kPathBytes];
    size_t start = ComponentStart(out, depth);
    memcpy(name, out->path + start, out->ends[depth] - start);
    name[out->ends[depth] - start] = '\0';
    int parent = out->fds[depth];
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(parent, name, kFlags);
    bool made = false;
    if (fd < 0 && errno == ENOENT) {
        if (mkdirat(parent, name, 0777) == 0) {
            made = true;
        } else if (errno != EEXIST) {
            DropKept(folders, *kept);
            return kOutputFailed;
        }
        fd = openat(parent, name, kFlags);
    }
    if (fd < 0) {
        DropKept(folders, *kept);
        return IsLinkAt(parent, name) ? kOutputLink : kOutputFailed;
    }
    folders->kept[*kept].fd = fd;
    out->fds[depth + 1] = fd;
    if (made) out->made[out->madeCount++] = depth;
    return kOutputDone;
}

// Splits relative into the output's folder path and final name; false when
// it names nothing or goes too deep.
bool SplitRelative(PlatformOutput* out, const wchar_t* relative) {
    char path[kPathBytes];
    if (!WidePathToUtf8(relative, path)) return false;
    char* components[kMaxDepth + 1];
    int count = 0;
    for (char* at = path; *at;) {
        char* end = strchr(at, '/');
        if (end) *end = '\0';
        if (*at && strcmp(at, ".") != 0) {
            if (count == kMaxDepth + 1) return false;
            components[count++] = at;
        }
        if (!end) break;
        at = end + 1;
    }
    if (count == 0) return false;
    size_t length = 0;
    for (int i = 0; i + 1 < count; ++i) {
        if (i > 0) out->path[length++] = '/';
        size_t part = strlen(components[i]);
        memcpy(out->path + length, components[i], part);
        length += part;
        out->ends[i] = length;
    }
    out->depth = count - 1;
    strcpy(out->final, components[count - 1]);
    return true;
}

// Opens the output's folders: the deepest one kept, then each below it,
// kept in turn.
PlatformOutputResult WalkFolders(PlatformOutput* out) {
    PlatformFolders* folders = out->folders;
    if (folders->root < 0) folders->root = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folders->root < 0) return kOutputFailed;
    out->fds[0] = folders->root;
    int from = out->depth;
    int kept = -1;
    while (from > 0 && (kept = FindKept(folders, out->path, out->ends[from - 1])) < 0) --from;
    if (kept >= 0) out->fds[from] = folders->kept[kept].fd;
    for (int i = from; i < out->depth; ++i) {
        PlatformOutputResult entered = EnterFolder(out, i, &kept);
        if (entered != kOutputDone) return entered;
    }
    folders->last = kept;
    return kOutputDone;
}

// An unnamed file is named through its descriptor or, where that needs a
// privilege, through /proc/self/fd; without /proc, files are written named.
bool MayLinkUnnamed() {
#ifdef O_TMPFILE
    // Asked once; no guarded static, so C programs link without the C++
    // runtime.
    static std::atomic<int> procMounted{-1};
    int known = procMounted.load(std::memory_order_relaxed);
    if (known < 0) {
        known = access("/proc/self/fd", X_OK) == 0;
        procMounted.store(known, std::memory_order_relaxed);
    }
    return known == 1;
#else
    return false;
#endif
}

// Opens a new file in the output's folder: unnamed where the file system
// allows, else under a temporary name.
PlatformOutputResult CreateIn(PlatformOutput* out) {
    int folder = FolderOf(out);
    if (MayLinkUnnamed() && !PlatformFaultNow(kPlatformFaultUnnamed)) {
        out->fd = openat(folder, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666);
        out->unnamed = out->fd >= 0;
        if (out->unnamed) return kOutputDone;  // else this file system has none: named
    }
    constexpr int kNew = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0; attempt < kTemporaryTries; ++attempt) {
        snprintf(out->temporary, sizeof out->temporary, ".caskw-%08x.tmp", TemporaryNumber());
        out->fd = openat(folder, out->temporary, kNew, 0666);
        if (out->fd >= 0) return kOutputDone;
        if (errno != EEXIST) break;
    }
    out->temporary[0] = '\0';
    return kOutputFailed;
}

// Forgets the kept folders on the output's path; false when none was kept.
bool ForgetPath(PlatformOutput* out) {
    bool forgot = false;
    for (int i = 0; i < out->depth; ++i) {
        int kept = FindKept(out->folders, out->path, out->ends[i]);
        if (kept >= 0) DropKept(out->folders, kept);
        forgot = forgot || kept >= 0;
    }
    return forgot;
}

PlatformOutputResult Begin(PlatformOutput* out, const wchar_t* relative) {
    if (!SplitRelative(out, relative)) return kOutputFailed;
    PlatformOutputResult result = WalkFolders(out);
    if (result == kOutputDone) result = CreateIn(out);
    // A folder kept from an earlier output may have been removed since:
    // the path is walked again, once, from the folders still there.
    if (result == kOutputFailed && errno == ENOENT) {
        RemoveMade(out);
        out->madeCount = 0;
        if (ForgetPath(out)) result = WalkFolders(out);
        if (result == kOutputDone) result = CreateIn(out);
    }
    return result;
}

}  // namespace

PlatformOutputResult PlatformBeginOutput(const wchar_t* relative, PlatformFolders* folders,
                                         PlatformOutput** output) {
    *output = nullptr;
    auto* out = static_cast<PlatformOutput*>(PlatformAlloc(sizeof(PlatformOutput)));
    if (!out) return kOutputFailed;
    out->fd = -1;
    out->folders = folders;
    if (!folders) {
        out->folders = PlatformNewFolders();
        out->ownsFolders = true;
        if (!out->folders) {
            PlatformFree(out);
            return kOutputFailed;
        }
    }
    PlatformOutputResult result = Begin(out, relative);
    if (result != kOutputDone) {
        Finish(out, false);
        return result;
    }
    *output = out;
    return kOutputDone;
}

bool PlatformWriteOutput(PlatformOutput* output, const void* buffer, uint32_t size) {
    return WriteAll(output->fd, buffer, size);
}

bool PlatformRemoveFinal(PlatformOutput* output) {
    int folder = FolderOf(output);
    return unlinkat(folder, output->final, 0) == 0 || errno == ENOENT;
}

bool PlatformFinalIdentity(PlatformOutput* output, GrfFileStamp* identity) {
    int folder = FolderOf(output);
    struct stat st;
    if (fstatat(folder, output->final, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    identity->device = static_cast<uint64_t>(st.st_dev);
    identity->file = static_cast<uint64_t>(st.st_ino);
    return true;
}

namespace {

// Gives the temporary file the final name only when that name is free.
bool RenameNoReplace(int folder, const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
    if (renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // A hard link fails when the name is taken, as the rename above does.
    if (linkat(folder, from, folder, to, 0) != 0) return false;
    unlinkat(folder, from, 0);
    return true;
}

// Closes a file that has just taken a name nothing held: should close
// report a failed write, the name goes again, so a file the system could
// not write is never left under it.
bool CloseNewlyNamed(int folder, PlatformOutput* out) {
    bool closed = close(out->fd) == 0;
    out->fd = -1;
    if (!closed) unlinkat(folder, out->final, 0);
    return closed;
}

// A new name needs no flush first: should the power fail, nothing that was
// there is lost. A file that replaces another is on disk before it takes
// the name. Taking a new name is tried first, as nothing is there in the
// common case.
bool PutInPlace(int folder, PlatformOutput* out) {
    if (RenameNoReplace(folder, out->temporary, out->final)) {
        out->temporary[0] = '\0';
        return CloseNewlyNamed(folder, out);
    }
    if (errno != EEXIST) return false;
    bool written = fsync(out->fd) == 0;
    written = close(out->fd) == 0 && written;
    out->fd = -1;
    return written && renameat(folder, out->temporary, folder, out->final) == 0;
}

// Gives an unnamed file a name in folder: false (errno set) when it fails,
// EEXIST when the name is taken. Linking the descriptor itself spares the
// walk through /proc; kernels that keep it for a privilege say ENOENT, and
// are not asked again.
bool LinkUnnamed(int fd, int folder, const char* name) {
    static std::atomic<bool> descriptorRefused{false};
    if (!descriptorRefused.load(std::memory_order_relaxed) &&
        !PlatformFaultNow(kPlatformFaultLinkDescriptor)) {
        if (linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0) return true;
        if (errno != ENOENT && errno != EPERM) return false;
        descriptorRefused.store(true, std::memory_order_relaxed);
    }
    char self[40];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return linkat(AT_FDCWD, self, folder, name, AT_SYMLINK_FOLLOW) == 0;
}

// PutInPlace for an unnamed file. A new name is linked straight to it (a
// link never replaces). An existing file is replaced as a named one is: the file on
// disk, linked under a temporary name, renamed over.
bool PutUnnamedInPlace(int folder, PlatformOutput* out) {
    if (LinkUnnamed(out->fd, folder, out->final)) return CloseNewlyNamed(folder, out);
    if (errno != EEXIST) return false;
    if (fsync(out->fd) != 0) return false;
    for (int attempt = 0; attempt < kTemporaryTries && !out->temporary[0]; ++attempt) {
        snprintf(out->temporary, sizeof out->temporary, ".caskw-%08x.tmp", TemporaryNumber());
        if (LinkUnnamed(out->fd, folder, out->temporary)) break;
        out->temporary[0] = '\0';
        if (errno != EEXIST) return false;
    }
    bool closed = close(out->fd) == 0;
    out->fd = -1;
    return closed && out->temporary[0] && renameat(folder, out->temporary, folder, out->final) == 0;
}

}  // namespace

PlatformOutputResult PlatformCommitOutput(PlatformOutput* out) {
    int folder = FolderOf(out);
    bool done = out->unnamed ? PutUnnamedInPlace(folder, out) : PutInPlace(folder, out);
    if (done) out->temporary[0] = '\0';
    Finish(out, done);
    return done ? kOutputDone : kOutputFailed;
}

void PlatformAbandonOutput(PlatformOutput* output) {
    if (output) Finish(output, false);
}

// ---------------------------------------------------------------------------
// New files that take their name when complete (archives, patches): unnamed
// where the file system allows, else under a temporary name held locked.

namespace {

// Process start, near enough: before any temporary this program makes.
const int64_t g_started = [] {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}();

// Whether entry is a temporary of final: "." final ".caskw-" then hex
// digits, and ".tmp" (also such a name with ".tmp." and more digits
// between, as earlier versions made).
bool IsTemporaryOf(const char* entry, const char* final) {
    size_t length = strlen(final);
    if (entry[0] != '.' || strncmp(entry + 1, final, length) != 0 ||
        strncmp(entry + 1 + length, ".caskw-", 7) != 0)
        return false;
    const char* middle = entry + 1 + length + 7;
    size_t rest = strlen(middle);
    if (rest <= 4 || strcmp(middle + rest - 4, ".tmp") != 0) return false;
    for (size_t i = 0; i < rest - 4; ++i)
        if (!strchr("0123456789abcdef.tmp", middle[i])) return false;
    return true;
}

// Removes the temporaries of final in folder that a killed writer left:
// regular files older than this program that no one holds locked.
void RemoveStale(int folder, const char* final) {
    int listed = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listed >= 0 ? fdopendir(listed) : nullptr;
    if (!dir) {
        if (listed >= 0) close(listed);
        return;
    }
    while (struct dirent* entry = readdir(dir)) {
        if (!IsTemporaryOf(entry->d_name, final)) continue;
        int fd = openat(folder, entry->d_name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st;
        PlatformFile* file = FromFd(fd);
        bool stale = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                     int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec < g_started &&
                     PlatformLockFile(file, true, false) == kLockTaken;
        if (stale) unlinkat(folder, entry->d_name, 0);
        close(fd);
    }
    closedir(dir);
}

}  // namespace

struct PlatformNewFile {
    int folder;
    int fd;
    bool unnamed;
    char final[kPathBytes];      // the last name
    char temporary[kPathBytes];  // empty for an unnamed file, and once gone
};

PlatformNewFile* PlatformBeginNewFile(const wchar_t* finalPath) {
    char path[kPathBytes], folderPath[kPathBytes];
    const char* name = nullptr;
    if (!WidePathToUtf8(finalPath, path) || !SplitPath(path, folderPath, &name)) return nullptr;
    auto* file = static_cast<PlatformNewFile*>(PlatformAlloc(sizeof(PlatformNewFile)));
    if (!file) return nullptr;
    file->fd = -1;
    file->folder = open(folderPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool fits = strlen(name) + 24 < sizeof file->temporary;
    if (file->folder < 0 || !fits) {
        PlatformEndNewFile(file);
        return nullptr;
    }
    strcpy(file->final, name);
    RemoveStale(file->folder, name);
    // A final name that is itself one of these (a program that renames the
    // result over an existing file) stands for that file too.
    const char* ours = strstr(name, ".caskw-");
    if (name[0] == '.' && ours) {
        char base[kPathBytes];
        memcpy(base, name + 1, static_cast<size_t>(ours - name - 1));
        base[ours - name - 1] = '\0';
        if (IsTemporaryOf(name, base)) RemoveStale(file->folder, base);
    }
    if (MayLinkUnnamed() && !PlatformFaultNow(kPlatformFaultUnnamed)) {
        file->fd = openat(file->folder, ".", O_RDWR | O_TMPFILE | O_CLOEXEC, 0666);
        file->unnamed = file->fd >= 0;
        if (file->unnamed) return file;  // else this file system has none: named
    }
    constexpr int kNew = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0; attempt < kTemporaryTries; ++attempt) {
        snprintf(file->temporary, sizeof file->temporary, ".%s.caskw-%08x.tmp", name,
                 TemporaryNumber());
        file->fd = openat(file->folder, file->temporary, kNew, 0666);
        if (file->fd >= 0) break;
        file->temporary[0] = '\0';
        if (errno != EEXIST) break;
    }
    // Held while it exists, so no other writer takes it for a killed one's.
    if (file->fd < 0 || PlatformLockFile(FromFd(file->fd), true, false) != kLockTaken) {
        PlatformEndNewFile(file);
        return nullptr;
    }
    return file;
}

PlatformFile* PlatformNewFileData(PlatformNewFile* file) {
    return FromFd(file->fd);
}

bool PlatformFinishNewFile(PlatformNewFile* file) {
    bool named = file->unnamed ? LinkUnnamed(file->fd, file->folder, file->final)
                               : RenameNoReplace(file->folder, file->temporary, file->final);
    if (!named) return false;
    file->temporary[0] = '\0';
    bool closed = close(file->fd) == 0;
    file->fd = -1;
    // Should close report a failed write, the name goes again.
    if (!closed) {
        unlinkat(file->folder, file->final, 0);
        return false;
    }
    // The new name is the commit: it must outlast a power cut.
    fsync(file->folder);
    return true;
}

void PlatformEndNewFile(PlatformNewFile* file) {
    if (!file) return;
    if (file->fd >= 0) close(file->fd);
    if (file->temporary[0]) unlinkat(file->folder, file->temporary, 0);
    if (file->folder >= 0) close(file->folder);
    PlatformFree(file);
}

bool PlatformRefusesComponent(const wchar_t*, size_t) {
    return false;
}

void PlatformFoldName(wchar_t*, size_t) {}

namespace {

// Large blocks (an archive's table, an inflated directory) are filled once
// from start to end; on huge pages that costs a few hundred page faults
// instead of tens of thousands. Only a hint: where the system says no,
// nothing changes.
void PreferHugePages(void* block, size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr size_t kHuge = size_t{2} << 20;
    if (!block || size < 4 * kHuge) return;
    uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(kHuge - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

}  // namespace

void* PlatformAlloc(size_t size) {
    PlatformKeepAllocation(size);
    if (PlatformFaultNow(kPlatformFaultAllocation)) return nullptr;
    void* block = calloc(1, size ? size : 1);
    PreferHugePages(block, size);
    return block;
}

void* PlatformGrow(void* block, size_t oldSize, size_t newSize) {
    PlatformKeepAllocation(newSize);
    if (PlatformFaultNow(kPlatformFaultAllocation)) return nullptr;
    void* grown = realloc(block, newSize ? newSize : 1);
    if (grown && newSize > oldSize)
        memset(static_cast<uint8_t*>(grown) + oldSize, 0, newSize - oldSize);
    return grown;
}

void PlatformFree(void* block) {
    free(block);
}

// ---------------------------------------------------------------------------
// Code page 949 through iconv. ASCII bytes map to themselves in both
// directions, so they skip iconv; each byte sequence iconv rejects becomes
// one "?", as a lossy conversion on Windows does.

namespace {

// The converters keep state between calls and extraction workers convert
// names too: one lock serialises their use (a plain pthread lock, so the
// library needs nothing of the C++ runtime).
pthread_mutex_t g_converterLock = PTHREAD_MUTEX_INITIALIZER;

iconv_t Converter(bool toWide) {
    static iconv_t toWideCd = reinterpret_cast<iconv_t>(-1);
    static iconv_t fromWideCd = reinterpret_cast<iconv_t>(-1);
    iconv_t& cd = toWide ? toWideCd : fromWideCd;
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = toWide ? iconv_open("WCHAR_T", "CP949") : iconv_open("CP949", "WCHAR_T");
    return cd;
}

// Converts one non-ASCII character at *in; returns false if there is none to
// convert (the caller writes "?" and skips one unit).
bool ConvertOneLocked(iconv_t cd, char** in, size_t* inLeft, size_t unit, char** out,
                      size_t* outLeft) {
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    // CP949 characters are at most two bytes; wide characters one unit.
    size_t take = unit == 1 ? (*inLeft >= 2 ? 2 : 1) : unit;
    for (; take >= unit; take -= unit) {
        char* from = *in;
        size_t fromLeft = take;
        char* to = *out;
        size_t toLeft = *outLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &from, &fromLeft, &to, &toLeft) != static_cast<size_t>(-1) && fromLeft == 0) {
            *inLeft -= take;
            *in += take;
            *outLeft = toLeft;
            *out = to;
            return true;
        }
        if (unit != 1) break;
    }
    return false;
}

bool ConvertOne(bool toWide, char** in, size_t* inLeft, size_t unit, char** out, size_t* outLeft) {
    pthread_mutex_lock(&g_converterLock);
    bool done = ConvertOneLocked(Converter(toWide), in, inLeft, unit, out, outLeft);
    pthread_mutex_unlock(&g_converterLock);
    return done;
}

}  // namespace

bool PlatformCp949ToWideInto(const char* text, wchar_t* out, size_t capacity) {
    char* in = const_cast<char*>(text);
    size_t inLeft = strlen(text);
    size_t n = 0;
    while (inLeft > 0) {
        if (n + 1 >= capacity) return false;
        unsigned char c = static_cast<unsigned char>(*in);
        if (c < 0x80) {
            out[n++] = c;
            ++in;
            --inLeft;
            continue;
        }
        char* to = reinterpret_cast<char*>(out + n);
        size_t toLeft = sizeof(wchar_t);
        if (ConvertOne(true, &in, &inLeft, 1, &to, &toLeft)) {
            ++n;
        } else {
            out[n++] = L'?';
            ++in;
            --inLeft;
        }
    }
    if (n >= capacity) return false;
    out[n] = L'\0';
    return true;
}

size_t PlatformCp949CharToWide(const char* bytes, size_t available, wchar_t* out) {
    if (available == 0) return 0;
    unsigned char first = static_cast<unsigned char>(bytes[0]);
    if (first < 0x80) {
        *out = first;
        return 1;
    }
    char* in = const_cast<char*>(bytes);
    size_t inLeft = available < 2 ? available : 2;
    char* to = reinterpret_cast<char*>(out);
    size_t toLeft = sizeof(wchar_t);
    size_t before = inLeft;
    // One wide character of room: iconv takes one character or none.
    if (!ConvertOne(true, &in, &inLeft, 1, &to, &toLeft) || toLeft != 0) return 0;
    return before - inLeft;
}

wchar_t* PlatformCp949ToWide(const char* text) {
    // Never more wide characters than bytes.
    size_t capacity = strlen(text) + 1;
    wchar_t* out = static_cast<wchar_t*>(PlatformAlloc(capacity * sizeof(wchar_t)));
    if (out) PlatformCp949ToWideInto(text, out, capacity);
    return out;
}

char* PlatformWideToCp949(const wchar_t* text) {
    // Never more than two bytes per wide character.
    size_t units = wcslen(text);
    char* out = static_cast<char*>(PlatformAlloc(units * 2 + 1));
    if (!out) return nullptr;
    char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(text));
    size_t inLeft = units * sizeof(wchar_t);
    char* to = out;
    size_t toLeft = units * 2;
    while (inLeft > 0) {
        wchar_t c = *reinterpret_cast<wchar_t*>(in);
        if (c >= 0 && c < 0x80) {
            *to++ = static_cast<char>(c);
            --toLeft;
            in += sizeof(wchar_t);
            inLeft -= sizeof(wchar_t);
            continue;
        }
        if (!ConvertOne(false, &in, &inLeft, sizeof(wchar_t), &to, &toLeft)) {
            *to++ = '?';
            --toLeft;
            in += sizeof(wchar_t);
            inLeft -= sizeof(wchar_t);
        }
    }
    *to = '\0';
    return out;
}

// ---------------------------------------------------------------------------
// The shell's wildcard match, rebuilt: the same answers for "*.*", literal
// characters, "*", "?" and ";"-separated lists, letters compared without
// regard to case.

namespace {

// Upper case of the letters code page 949 can hold: ASCII, Latin-1, Greek,
// Cyrillic and the full-width Latin letters; towupper would depend on the
// process's locale.
uint32_t FoldCase(wchar_t c) {
    uint32_t u = static_cast<uint32_t>(c);
    if (u >= 'a' && u <= 'z') return u - 0x20;
    if (u < 0x80) return u;
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return u - 0x20;
    if (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2) return u - 0x20;
    if (u >= 0x430 && u <= 0x44F) return u - 0x20;
    if (u >= 0x450 && u <= 0x45F) return u - 0x50;
    if (u >= 0xFF41 && u <= 0xFF5A) return u - 0x20;
    return u;
}

bool SameCharacter(wchar_t pattern, wchar_t name) {
    return pattern == L'?' || FoldCase(pattern) == FoldCase(name);
}

// One pattern [p, end) against the whole name. Backtracking only to the
// last "*" keeps this linear in practice: a later "*" can absorb whatever
// an earlier one could. After the pattern's final "*" what follows must
// end the name, which is checked at once ("*.spr" compares four
// characters).
bool MatchOne(const wchar_t* name, const wchar_t* p, const wchar_t* end) {
    const wchar_t* afterStar = nullptr;
    const wchar_t* retry = nullptr;
    while (*name) {
        if (p < end && *p == L'*') {
            while (p < end && *p == L'*') ++p;
            const wchar_t* star = p;
            while (star < end && *star != L'*') ++star;
            if (star == end) {
                size_t tail = static_cast<size_t>(end - p);
                size_t left = wcslen(name);
                if (left < tail) return false;
                for (size_t i = 0; i < tail; ++i)
                    if (!SameCharacter(p[i], name[left - tail + i])) return false;
                return true;
            }
            afterStar = p;
            retry = name;
        } else if (p < end && SameCharacter(*p, *name)) {
            ++p;
            ++name;
        } else if (afterStar) {
            p = afterStar;
            name = ++retry;
        } else {
            return false;
        }
    }
    while (p < end && *p == L'*') ++p;
    return p == end;
}

}  // namespace

bool PlatformMatchSpec(const wchar_t* name, const wchar_t* pattern) {
    if (wcscmp(pattern, L"*.*") == 0) return true;
    while (*pattern) {
        while (*pattern == L' ') ++pattern;
        const wchar_t* end = pattern;
        while (*end && *end != L';') ++end;
        if (MatchOne(name, pattern, end)) return true;
        pattern = *end ? end + 1 : end;
    }
    return false;
}

// ---------------------------------------------------------------------------

void PlatformDebugOutput(const wchar_t* text) {
    PlatformKeepDebugLine(text);
}
