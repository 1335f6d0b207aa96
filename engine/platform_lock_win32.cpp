// platform_lock_win32.cpp -- locks between programs on Windows: LockFileEx
// on one byte far past any data, beside the share modes the files are
// opened with. Windows' locks forbid reading and writing the locked bytes,
// so the byte is one no read or write ever reaches. They belong to the
// handle: two opens of one file conflict even within one program.
#include <windows.h>

#include "platform.h"

namespace {

HANDLE ToHandle(PlatformFile* file) {
    return reinterpret_cast<HANDLE>(file);
}

OVERLAPPED LockedByte() {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(kPlatformLockByte);
    at.OffsetHigh = static_cast<DWORD>(kPlatformLockByte >> 32);
    return at;
}

}  // namespace

PlatformFile* PlatformOpenToLock(const wchar_t* path, bool) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<PlatformFile*>(file);
}

PlatformLockResult PlatformLockFile(PlatformFile* file, bool exclusive, bool wait) {
    OVERLAPPED at = LockedByte();
    DWORD flags =
        (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (LockFileEx(ToHandle(file), flags, 0, 1, 0, &at)) return kLockTaken;
    DWORD error = GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? kLockBusy : kLockFailed;
}

void PlatformUnlockFile(PlatformFile* file) {
    OVERLAPPED at = LockedByte();
    UnlockFileEx(ToHandle(file), 0, 1, 0, &at);
}
