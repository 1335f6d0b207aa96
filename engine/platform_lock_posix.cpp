// platform_lock_posix.cpp -- locks between programs on POSIX: an
// open-file-description lock on one byte far past any data, or flock where
// the system has no such locks. Both belong to the open file, not to the
// process, so two opens of one file conflict even within one program, and
// both go when the file is closed (or the program ends, killed or not).

// 64-bit file offsets on 32-bit systems too: the locked byte is past 4 GB.
#define _FILE_OFFSET_BITS 64

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>

#include "platform.h"
#include "platform_hooks.h"

namespace {

int ToFd(PlatformFile* file) {
    return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1);
}

// Returned when the system has no open-file-description locks.
constexpr PlatformLockResult kNoRangeLocks = static_cast<PlatformLockResult>(-1);

PlatformLockResult RangeLock(int fd, short type, bool wait) {
#ifdef F_OFD_SETLK
    if (PlatformFaultNow(kPlatformFaultRangeLock)) return kNoRangeLocks;
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(kPlatformLockByte);
    range.l_len = 1;
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range) == 0) return kLockTaken;
    if (errno == EINVAL) return kNoRangeLocks;
    // EINTR: a wait the user interrupted gives up as if refused.
    return errno == EAGAIN || errno == EACCES || errno == EINTR || errno == EDEADLK ? kLockBusy
                                                                                    : kLockFailed;
#else
    (void)fd;
    (void)type;
    (void)wait;
    return kNoRangeLocks;
#endif
}

PlatformLockResult WholeLock(int fd, int operation, bool wait) {
    if (flock(fd, operation | (wait ? 0 : LOCK_NB)) == 0) return kLockTaken;
    return errno == EWOULDBLOCK || errno == EINTR ? kLockBusy : kLockFailed;
}

}  // namespace

PlatformFile* PlatformOpenToLock(const wchar_t* path, bool exclusive) {
    return exclusive ? PlatformOpenUpdate(path) : PlatformOpenRead(path);
}

PlatformLockResult PlatformLockFile(PlatformFile* file, bool exclusive, bool wait) {
    int fd = ToFd(file);
    PlatformLockResult result = RangeLock(fd, exclusive ? F_WRLCK : F_RDLCK, wait);
    if (result != kNoRangeLocks) return result;
    return WholeLock(fd, exclusive ? LOCK_EX : LOCK_SH, wait);
}

void PlatformUnlockFile(PlatformFile* file) {
    // Whichever of the two it took: undoing the other changes nothing.
    int fd = ToFd(file);
#ifdef F_OFD_SETLK
    struct flock range = {};
    range.l_type = F_UNLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(kPlatformLockByte);
    range.l_len = 1;
    fcntl(fd, F_OFD_SETLK, &range);
#endif
    flock(fd, LOCK_UN);
}
