// platform_win32.cpp -- the engine's system services on Windows: file
// handles, outputs that refuse reparse points, the process heap, code page
// 949, the shell's wildcard match and the debugger output.
#include "platform.h"
#include "platform_hooks.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shlwapi.h>

#include <atomic>

namespace {

PlatformFile* FromHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<PlatformFile*>(handle);
}

// A test's refused open, as for a file another program holds.
bool RefusedOnPurpose() {
    if (!PlatformFaultNow(kPlatformFaultAccess)) return false;
    SetLastError(ERROR_SHARING_VIOLATION);
    return true;
}

HANDLE ToHandle(PlatformFile* file) {
    return reinterpret_cast<HANDLE>(file);
}

constexpr UINT kCodePage949 = 949;

}  // namespace

PlatformFile* PlatformOpenRead(const wchar_t* path) {
    if (RefusedOnPurpose()) return nullptr;
    return FromHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

PlatformFile* PlatformCreateNew(const wchar_t* path) {
    if (RefusedOnPurpose()) return nullptr;
    return FromHandle(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

PlatformFile* PlatformCreateAlways(const wchar_t* path) {
    if (RefusedOnPurpose()) return nullptr;
    return FromHandle(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

PlatformFile* PlatformOpenUpdate(const wchar_t* path) {
    if (RefusedOnPurpose()) return nullptr;
    return FromHandle(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool PlatformRead(PlatformFile* file, void* buffer, uint32_t size, uint32_t* got) {
    DWORD done = 0;
    BOOL ok = ReadFile(ToHandle(file), buffer, size, &done, nullptr);
    *got = done;
    return ok != FALSE;
}

bool PlatformReadAt(PlatformFile* file, uint64_t offset, void* buffer, uint32_t size,
                    uint32_t* got) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    BOOL ok = ReadFile(ToHandle(file), buffer, size, &done, &at);
    *got = done;
    // Reading from the end on is no failure here, as with PlatformRead.
    return ok != FALSE || GetLastError() == ERROR_HANDLE_EOF;
}

namespace {

bool WriteAll(HANDLE handle, const void* buffer, uint32_t size) {
    PlatformStep();
    if (PlatformFaultNow(kPlatformFaultWrite)) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    DWORD done = 0;
    return WriteFile(handle, buffer, size, &done, nullptr) && done == size;
}

}  // namespace

bool PlatformWrite(PlatformFile* file, const void* buffer, uint32_t size) {
    return WriteAll(ToHandle(file), buffer, size);
}

bool PlatformSeek(PlatformFile* file, uint64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(ToHandle(file), distance, nullptr, FILE_BEGIN) != FALSE;
}

uint64_t PlatformFileSize(PlatformFile* file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(ToHandle(file), &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

void PlatformClose(PlatformFile* file) {
    if (file) CloseHandle(ToHandle(file));
}

bool PlatformDeleteFile(const wchar_t* path) {
    return DeleteFileW(path) != FALSE;
}

bool PlatformCreateDirectory(const wchar_t* path) {
    return CreateDirectoryW(path, nullptr) != FALSE;
}

uint32_t PlatformLastError(void) {
    return GetLastError();
}

bool PlatformAccessDenied(void) {
    DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION || error == ERROR_WRITE_PROTECT;
}

bool PlatformFlush(PlatformFile* file) {
    PlatformStep();
    if (PlatformFaultNow(kPlatformFaultFlush)) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return FlushFileBuffers(ToHandle(file)) != FALSE;
}

bool PlatformTruncate(PlatformFile* file, uint64_t size) {
    PlatformStep();
    if (PlatformFaultNow(kPlatformFaultTruncate)) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return PlatformSeek(file, size) && SetEndOfFile(ToHandle(file)) != FALSE;
}

bool PlatformStampOf(PlatformFile* file, GrfFileStamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(ToHandle(file), &info)) return false;
    stamp->size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp->time = static_cast<int64_t>((uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                       info.ftLastWriteTime.dwLowDateTime);
    stamp->device = info.dwVolumeSerialNumber;
    stamp->file = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

bool PlatformPathExists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool PlatformScratchFolder(wchar_t* out, size_t capacity) {
    DWORD n = GetTempPathW(static_cast<DWORD>(capacity), out);
    return n > 0 && n < capacity;
}

bool PlatformAbsolutePath(const wchar_t* path, wchar_t* out, size_t capacity) {
    DWORD n = GetFullPathNameW(path, static_cast<DWORD>(capacity), out, nullptr);
    return n > 0 && n < capacity;
}

namespace {

// Numbers for temporary names: different from call to call and from
// process to process; an existing name only costs another try.
uint32_t TemporaryNumber() {
    static std::atomic<uint64_t> counter{0};  // extraction workers share it
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint64_t x = (uint64_t{GetCurrentProcessId()} << 32) ^ static_cast<uint64_t>(now.QuadPart) ^
                 (++counter * 0x9E3779B97F4A7C15ull);
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    return static_cast<uint32_t>(x);
}

constexpr int kTemporaryTries = 100;

bool NameTaken() {
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

}  // namespace

PlatformFile* PlatformCreateScratch(const wchar_t* base, wchar_t* temporaryPath, size_t capacity) {
    size_t length = wcslen(base);
    for (int attempt = 0; attempt < kTemporaryTries; ++attempt) {
        wchar_t suffix[32];
        swprintf(suffix, 32, L".%08x.tmp", TemporaryNumber());
        if (length + wcslen(suffix) >= capacity) return nullptr;
        wmemcpy(temporaryPath, base, length);
        wcscpy(temporaryPath + length, suffix);
        PlatformFile* file = PlatformCreateNew(temporaryPath);
        if (file || !NameTaken()) return file;
    }
    return nullptr;
}

namespace {

constexpr size_t kNewFilePath = 1024;

// Whether name is a temporary of final: "." final ".caskw-" then hex
// digits, and ".tmp" (also such a name with ".tmp." and more digits
// between, as earlier versions made).
bool IsTemporaryOf(const wchar_t* name, const wchar_t* final, size_t length) {
    if (name[0] != L'.' || _wcsnicmp(name + 1, final, length) != 0 ||
        wcsncmp(name + 1 + length, L".caskw-", 7) != 0)
        return false;
    const wchar_t* middle = name + 1 + length + 7;
    size_t rest = wcslen(middle);
    if (rest <= 4 || _wcsicmp(middle + rest - 4, L".tmp") != 0) return false;
    for (size_t i = 0; i < rest - 4; ++i)
        if (!wcschr(L"0123456789abcdef.tmp", middle[i])) return false;
    return true;
}

// Removes the temporaries of final (length characters) in folder (ending in
// a separator) that a killed writer left: files older than this program
// that no one has open (a writer keeps its own open without sharing).
void RemoveStale(const wchar_t* folder, const wchar_t* final, size_t length) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
    wchar_t pattern[kNewFilePath];
    if (swprintf(pattern, kNewFilePath, L"%ls.%.*ls.caskw-*.tmp", folder, static_cast<int>(length),
                 final) < 0)
        return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            !IsTemporaryOf(found.cFileName, final, length) ||
            CompareFileTime(&found.ftLastWriteTime, &created) >= 0)
            continue;
        wchar_t path[kNewFilePath];
        if (swprintf(path, kNewFilePath, L"%ls%ls", folder, found.cFileName) >= 0)
            DeleteFileW(path);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

struct PlatformNewFile {
    HANDLE file;
    wchar_t final[kNewFilePath];
    wchar_t temporary[kNewFilePath];  // empty once gone
};

PlatformNewFile* PlatformBeginNewFile(const wchar_t* finalPath) {
    size_t length = wcslen(finalPath);
    if (length + 32 >= kNewFilePath) return nullptr;
    const wchar_t* name = finalPath + length;
    while (name > finalPath && name[-1] != L'\\' && name[-1] != L'/' && name[-1] != L':') --name;
    if (!*name) return nullptr;
    auto* file = static_cast<PlatformNewFile*>(PlatformAlloc(sizeof(PlatformNewFile)));
    if (!file) return nullptr;
    file->file = INVALID_HANDLE_VALUE;
    wcscpy(file->final, finalPath);
    wchar_t folder[kNewFilePath];
    size_t folderLength = static_cast<size_t>(name - finalPath);
    wmemcpy(folder, finalPath, folderLength);
    folder[folderLength] = L'\0';
    size_t nameLength = wcslen(name);
    RemoveStale(folder, name, nameLength);
    // A final name that is itself one of these (a program that renames the
    // result over an existing file) stands for that file too.
    const wchar_t* ours = wcsstr(name, L".caskw-");
    if (name[0] == L'.' && ours && IsTemporaryOf(name, name + 1, size_t(ours - name - 1)))
        RemoveStale(folder, name + 1, size_t(ours - name - 1));
    for (int attempt = 0; attempt < kTemporaryTries; ++attempt) {
        swprintf(file->temporary, kNewFilePath, L"%ls.%ls.caskw-%08x.tmp", folder, name,
                 TemporaryNumber());
        file->file = CreateFileW(file->temporary, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file->file != INVALID_HANDLE_VALUE || !NameTaken()) break;
    }
    if (file->file == INVALID_HANDLE_VALUE) {
        file->temporary[0] = L'\0';
        PlatformEndNewFile(file);
        return nullptr;
    }
    return file;
}

PlatformFile* PlatformNewFileData(PlatformNewFile* file) {
    return FromHandle(file->file);
}

bool PlatformFinishNewFile(PlatformNewFile* file) {
    bool closed = CloseHandle(file->file) != FALSE;
    file->file = INVALID_HANDLE_VALUE;
    if (!closed || !MoveFileExW(file->temporary, file->final, MOVEFILE_WRITE_THROUGH)) return false;
    file->temporary[0] = L'\0';
    return true;
}

void PlatformEndNewFile(PlatformNewFile* file) {
    if (!file) return;
    if (file->file != INVALID_HANDLE_VALUE) CloseHandle(file->file);
    if (file->temporary[0]) DeleteFileW(file->temporary);
    PlatformFree(file);
}

bool PlatformFlushFolderOf(const wchar_t*) {
    // Renames are written through (above) and FlushFileBuffers writes a
    // file's length with its bytes; a folder has no flush of its own here.
    return true;
}

// ---------------------------------------------------------------------------
// Extracted files. Each folder on the way is held open, without delete
// sharing, from the check that it is no reparse point until the file is in
// place (for a run, until the run leaves it), so none can be swapped for a
// junction in between. Paths are made absolute from the current directory
// at first use, so the held folders are the ones written into.

namespace {

constexpr int kMaxDepth = GRF_NAME_SIZE;
constexpr size_t kOutputPath = 1024;

}  // namespace

struct PlatformFolders {
    wchar_t path[kOutputPath];  // the base, then the components held, "\\" between
    size_t base;                // length of the base (the current directory)
    size_t ends[kMaxDepth];     // where each component held ends in path
    HANDLE held[kMaxDepth];
    int depth;  // components held
};

PlatformFolders* PlatformNewFolders(void) {
    return static_cast<PlatformFolders*>(PlatformAlloc(sizeof(PlatformFolders)));
}

PlatformFolders* PlatformNewFoldersAt(const wchar_t* root) {
    PlatformFolders* folders = PlatformNewFolders();
    if (!folders) return nullptr;
    DWORD n = GetFullPathNameW(root, kOutputPath, folders->path, nullptr);
    DWORD attributes = n ? GetFileAttributesW(folders->path) : INVALID_FILE_ATTRIBUTES;
    if (n == 0 || n >= kOutputPath || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        PlatformFree(folders);
        return nullptr;
    }
    if (folders->path[n - 1] == L'\\') --n;  // a drive's root
    folders->path[n] = L'\0';
    folders->base = n;
    return folders;
}

namespace {

// Lets go of the folders deeper than depth.
void KeepFolders(PlatformFolders* folders, int depth) {
    for (; folders->depth > depth; --folders->depth) CloseHandle(folders->held[folders->depth - 1]);
}

size_t ComponentStart(const PlatformFolders* folders, int component) {
    return (component == 0 ? folders->base : folders->ends[component - 1]) + 1;
}

}  // namespace

void PlatformFreeFolders(PlatformFolders* folders) {
    if (!folders) return;
    KeepFolders(folders, 0);
    PlatformFree(folders);
}

// Every file is written under a temporary name in its folder and moved to
// its own only when whole, so a kill at any moment leaves no partial file
// under a name. A new name is taken without replacing anything that appeared
// there meanwhile; an existing file is replaced only by one already on disk.
struct PlatformOutput {
    PlatformFolders* folders;
    bool ownsFolders;
    wchar_t path[kOutputPath];  // the file's absolute path
    size_t made[kMaxDepth];     // the folders made: lengths of their paths
    int madeCount;
    int firstMade;                   // the component of the first of them
    wchar_t temporary[kOutputPath];  // empty once gone
    HANDLE file;
    bool replacing;
};

namespace {

// Copies the first length characters of out's path, as a path of its own.
const wchar_t* Prefix(const PlatformOutput* out, size_t length, wchar_t* buffer) {
    wmemcpy(buffer, out->path, length);
    buffer[length] = L'\0';
    return buffer;
}

void Finish(PlatformOutput* out, bool done) {
    if (out->file != INVALID_HANDLE_VALUE) CloseHandle(out->file);
    if (out->temporary[0]) DeleteFileW(out->temporary);
    if (!done && out->madeCount > 0) {
        KeepFolders(out->folders, out->firstMade);  // held folders cannot be removed
        wchar_t buffer[kOutputPath];
        for (int i = out->madeCount - 1; i >= 0; --i)
            RemoveDirectoryW(Prefix(out, out->made[i], buffer));
    }
    if (out->ownsFolders) PlatformFreeFolders(out->folders);
    PlatformFree(out);
}

bool IsMissing() {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

HANDLE OpenFolder(const wchar_t* path) {
    return CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                       nullptr);
}

// Holds the folder of the first length characters of out's path (the next
// component after those held), making it when missing; refuses a reparse
// point.
PlatformOutputResult EnterFolder(PlatformOutput* out, size_t length) {
    PlatformFolders* folders = out->folders;
    if (folders->depth == kMaxDepth) return kOutputFailed;
    wchar_t buffer[kOutputPath];
    const wchar_t* folder = Prefix(out, length, buffer);
    bool made = false;
    HANDLE handle = OpenFolder(folder);
    if (handle == INVALID_HANDLE_VALUE && IsMissing()) {
        if (CreateDirectoryW(folder, nullptr))
            made = true;
        else if (GetLastError() != ERROR_ALREADY_EXISTS)
            return kOutputFailed;
        handle = OpenFolder(folder);
    }
    if (handle == INVALID_HANDLE_VALUE) return kOutputFailed;
    // The held handle tells what the folder is for as long as it is held;
    // the path's attributes as well, since some systems that emulate Windows
    // report a link only there.
    BY_HANDLE_FILE_INFORMATION info;
    DWORD byPath = GetFileAttributesW(folder);
    if (byPath == INVALID_FILE_ATTRIBUTES) byPath = 0;
    PlatformOutputResult result = kOutputDone;
    if (!GetFileInformationByHandle(handle, &info))
        result = kOutputFailed;
    else if ((info.dwFileAttributes | byPath) & FILE_ATTRIBUTE_REPARSE_POINT)
        result = kOutputLink;
    else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        result = kOutputFailed;
    if (made) {
        if (out->madeCount == 0) out->firstMade = folders->depth;
        out->made[out->madeCount++] = length;
    }
    if (result != kOutputDone) {
        CloseHandle(handle);
        return result;
    }
    wmemcpy(folders->path, out->path, length);
    folders->path[length] = L'\0';
    folders->ends[folders->depth] = length;
    folders->held[folders->depth++] = handle;
    return kOutputDone;
}

// The final name as it stands: a reparse point is refused, a folder fails.
PlatformOutputResult CheckFinal(PlatformOutput* out) {
    DWORD attributes = GetFileAttributesW(out->path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return IsMissing() ? kOutputDone : kOutputFailed;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return kOutputLink;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return kOutputFailed;
    out->replacing = true;
    return kOutputDone;
}

// Appends relative to path (n characters so far) with "\\" between
// components, leaving out empty and "." ones; the ends of the components
// go to ends. False when it does not fit.
bool AppendComponents(const wchar_t* relative, wchar_t* path, size_t* n, size_t* ends, int* count) {
    for (const wchar_t* at = relative; *at;) {
        const wchar_t* end = at;
        while (*end && *end != L'\\' && *end != L'/') ++end;
        size_t length = static_cast<size_t>(end - at);
        if (length && !(length == 1 && at[0] == L'.')) {
            if (*n + length + 2 >= kOutputPath || *count == kMaxDepth + 1) return false;
            path[(*n)++] = L'\\';
            wmemcpy(path + *n, at, length);
            *n += length;
            ends[(*count)++] = *n;
        }
        at = *end ? end + 1 : end;
    }
    path[*n] = L'\0';
    return true;
}

PlatformOutputResult Begin(PlatformOutput* out, const wchar_t* relative) {
    PlatformFolders* folders = out->folders;
    if (folders->base == 0) {
        DWORD n = GetFullPathNameW(L".", kOutputPath, folders->path, nullptr);
        if (n == 0 || n >= kOutputPath) return kOutputFailed;
        if (folders->path[n - 1] == L'\\') --n;  // a drive's root
        folders->path[n] = L'\0';
        folders->base = n;
    }
    wmemcpy(out->path, folders->path, folders->base);
    size_t n = folders->base;
    size_t ends[kMaxDepth + 1];
    int count = 0;
    if (!AppendComponents(relative, out->path, &n, ends, &count) || count == 0)
        return kOutputFailed;
    int keep = 0;
    while (keep < folders->depth && keep < count - 1 && ends[keep] == folders->ends[keep] &&
           wmemcmp(out->path + ComponentStart(folders, keep),
                   folders->path + ComponentStart(folders, keep),
                   ends[keep] - ComponentStart(folders, keep)) == 0)
        ++keep;
    KeepFolders(folders, keep);
    for (int i = keep; i + 1 < count; ++i) {
        PlatformOutputResult entered = EnterFolder(out, ends[i]);
        if (entered != kOutputDone) return entered;
    }
    PlatformOutputResult final = CheckFinal(out);
    if (final != kOutputDone) return final;
    size_t folderEnd = count > 1 ? ends[count - 2] : folders->base;
    for (int attempt = 0; attempt < kTemporaryTries; ++attempt) {
        wchar_t name[32];
        swprintf(name, 32, L"\\.caskw-%08x.tmp", TemporaryNumber());
        if (folderEnd + wcslen(name) >= kOutputPath) break;
        Prefix(out, folderEnd, out->temporary);
        wcscat(out->temporary, name);
        out->file = CreateFileW(out->temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out->file != INVALID_HANDLE_VALUE) return kOutputDone;
        if (!NameTaken()) break;
    }
    out->temporary[0] = L'\0';
    return kOutputFailed;
}

}  // namespace

PlatformOutputResult PlatformBeginOutput(const wchar_t* relative, PlatformFolders* folders,
                                         PlatformOutput** output) {
    *output = nullptr;
    auto* out = static_cast<PlatformOutput*>(PlatformAlloc(sizeof(PlatformOutput)));
    if (!out) return kOutputFailed;
    out->file = INVALID_HANDLE_VALUE;
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
    return WriteAll(output->file, buffer, size);
}

bool PlatformRemoveFinal(PlatformOutput* output) {
    return DeleteFileW(output->path) || IsMissing();
}

bool PlatformFinalIdentity(PlatformOutput* output, GrfFileStamp* identity) {
    // No access asked: the file's identity reads even while another program
    // holds it open without sharing.
    HANDLE file = CreateFileW(
        output->path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!known) return false;
    identity->device = info.dwVolumeSerialNumber;
    identity->file = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

PlatformOutputResult PlatformCommitOutput(PlatformOutput* out) {
    // A file that replaces another is on disk before it takes the name; a
    // new name needs no flush first: should the power fail, nothing that was
    // there is lost.
    bool ok = !out->replacing || FlushFileBuffers(out->file);
    ok = CloseHandle(out->file) && ok;
    out->file = INVALID_HANDLE_VALUE;
    bool replacing = out->replacing;
    PlatformOutputResult result = ok ? CheckFinal(out) : kOutputFailed;
    // A name taken since the file was begun is not replaced by a file that
    // was never flushed: the move without MOVEFILE_REPLACE_EXISTING fails.
    DWORD flags = replacing ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : 0;
    if (result == kOutputDone && MoveFileExW(out->temporary, out->path, flags))
        out->temporary[0] = L'\0';
    else if (result == kOutputDone)
        result = kOutputFailed;
    Finish(out, result == kOutputDone);
    return result;
}

void PlatformAbandonOutput(PlatformOutput* output) {
    if (output) Finish(output, false);
}

namespace {

wchar_t Upper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c;
}

// CON, AUX, COM1 and the like: names the system opens as devices in any
// folder, with or without an extension.
bool IsDeviceName(const wchar_t* name, size_t length) {
    size_t base = 0;
    while (base < length && name[base] != L'.') ++base;
    while (base > 0 && name[base - 1] == L' ') --base;
    static const wchar_t* const kDevices[] = {L"CON", L"PRN",    L"AUX",
                                              L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        size_t n = wcslen(device);
        size_t i = 0;
        while (i < n && i < base && Upper(name[i]) == device[i]) ++i;
        if (i == n && base == n) return true;
    }
    if (base != 4) return false;
    wchar_t digit = name[3];
    bool numbered = (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 ||
                    digit == 0xB3;  // superscript 1, 2, 3
    bool com = Upper(name[0]) == L'C' && Upper(name[1]) == L'O' && Upper(name[2]) == L'M';
    bool lpt = Upper(name[0]) == L'L' && Upper(name[1]) == L'P' && Upper(name[2]) == L'T';
    return numbered && (com || lpt);
}

}  // namespace

bool PlatformRefusesComponent(const wchar_t* component, size_t length) {
    if (length == 0) return false;
    wchar_t last = component[length - 1];
    // Windows drops trailing dots and spaces, so "a.txt." would be "a.txt";
    // a colon names a stream of another file.
    if (last == L'.' || last == L' ') return true;
    if (wmemchr(component, L':', length)) return true;
    return IsDeviceName(component, length);
}

void PlatformFoldName(wchar_t* name, size_t length) {
    CharUpperBuffW(name, static_cast<DWORD>(length));
}

void* PlatformAlloc(size_t size) {
    PlatformKeepAllocation(size);
    if (PlatformFaultNow(kPlatformFaultAllocation)) return nullptr;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
}

void* PlatformGrow(void* block, size_t, size_t newSize) {
    if (!block) return PlatformAlloc(newSize);
    PlatformKeepAllocation(newSize);
    if (PlatformFaultNow(kPlatformFaultAllocation)) return nullptr;
    return HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, newSize ? newSize : 1);
}

void PlatformFree(void* block) {
    HeapFree(GetProcessHeap(), 0, block);
}

bool PlatformCp949ToWideInto(const char* text, wchar_t* out, size_t capacity) {
    int n = MultiByteToWideChar(kCodePage949, 0, text, -1, out, static_cast<int>(capacity));
    return n > 0;
}

size_t PlatformCp949CharToWide(const char* bytes, size_t available, wchar_t* out) {
    if (available == 0) return 0;
    if (static_cast<unsigned char>(bytes[0]) < 0x80) {
        *out = static_cast<unsigned char>(bytes[0]);
        return 1;
    }
    // From 0x80 up a byte only starts a pair: Windows alone reads a lone 0x80
    // or 0xFF as a character (U+0080, a private one), which would give a file
    // name other systems do not and that maps back to no byte. Room for one
    // wide character: two bytes that make two characters fail.
    if (available < 2) return 0;
    return MultiByteToWideChar(kCodePage949, MB_ERR_INVALID_CHARS, bytes, 2, out, 1) == 1 ? 2 : 0;
}

wchar_t* PlatformCp949ToWide(const char* text) {
    int n = MultiByteToWideChar(kCodePage949, 0, text, -1, nullptr, 0);
    if (n <= 0) n = 1;
    wchar_t* out = static_cast<wchar_t*>(PlatformAlloc(static_cast<size_t>(n) * sizeof(wchar_t)));
    if (out) MultiByteToWideChar(kCodePage949, 0, text, -1, out, n);
    return out;
}

char* PlatformWideToCp949(const wchar_t* text) {
    int n = WideCharToMultiByte(kCodePage949, 0, text, -1, nullptr, 0, "?", nullptr);
    if (n <= 0) n = 1;
    char* out = static_cast<char*>(PlatformAlloc(static_cast<size_t>(n)));
    if (out) WideCharToMultiByte(kCodePage949, 0, text, -1, out, n, "?", nullptr);
    return out;
}

bool PlatformMatchSpec(const wchar_t* name, const wchar_t* pattern) {
    return PathMatchSpecW(name, pattern) != FALSE;
}

void PlatformDebugOutput(const wchar_t* text) {
    OutputDebugStringW(text);
    PlatformKeepDebugLine(text);
}
