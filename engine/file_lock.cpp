// file_lock.cpp -- the holds of file_lock.h: one lock per file in this
// program, kept on a file opened for it, counted by the holds that share it.
#include "file_lock.h"

#include <atomic>

#include "archive_internal.h"
#include "platform.h"

namespace {

struct Held {
    uint64_t device;
    uint64_t file;
    PlatformFile* locked;  // the open the lock belongs to
    bool exclusive;
    uint32_t count;  // holds on it; 0 while the lock is being taken
    bool used;
};

constexpr int kMaxHeld = 64;
Held g_held[kMaxHeld];
// Extraction workers run while the program's thread may take a hold: the
// table changes under this flag only, never while waiting for a lock.
std::atomic_flag g_guard = ATOMIC_FLAG_INIT;
int32_t g_wait = 0;

void Guard() {
    while (g_guard.test_and_set(std::memory_order_acquire)) {
    }
}

void Unguard() {
    g_guard.clear(std::memory_order_release);
}

int Find(const GrfFileStamp& id) {
    for (int i = 0; i < kMaxHeld; ++i)
        if (g_held[i].used && g_held[i].device == id.device && g_held[i].file == id.file) return i;
    return -1;
}

int FreeSlot() {
    for (int i = 0; i < kMaxHeld; ++i)
        if (!g_held[i].used) return i;
    return -1;
}

}  // namespace

uint32_t HoldFile(const wchar_t* path, bool exclusive, FileHold* hold) {
    hold->slot = -1;
    PlatformFile* file = PlatformOpenToLock(path, exclusive);
    if (!file) return OpenFailure();
    if (!PlatformStampOf(file, &hold->file)) {
        PlatformClose(file);
        return GRF_ERROR_NOT_FOUND;
    }
    Guard();
    int slot = Find(hold->file);
    if (slot >= 0) {
        // Already held here: inside this program's own exclusive hold
        // anything goes; beside its own readers a writer would wait for
        // itself, so it is refused.
        bool nests = g_held[slot].exclusive || !exclusive;
        if (nests) ++g_held[slot].count;
        Unguard();
        PlatformClose(file);
        if (!nests) return GRF_ERROR_IN_USE;
        hold->slot = slot;
        return GRF_OK;
    }
    slot = FreeSlot();
    if (slot < 0) {
        Unguard();
        PlatformClose(file);
        return GRF_ERROR_MEMORY;
    }
    g_held[slot] = {hold->file.device, hold->file.file, file, exclusive, 0, true};
    Unguard();
    PlatformLockResult result = PlatformLockFile(file, exclusive, g_wait != 0);
    Guard();
    if (result == kLockTaken)
        g_held[slot].count = 1;
    else
        g_held[slot] = Held();
    Unguard();
    if (result != kLockTaken) {
        PlatformClose(file);
        return result == kLockBusy ? GRF_ERROR_IN_USE : GRF_ERROR_NOT_FOUND;
    }
    hold->slot = slot;
    return GRF_OK;
}

uint32_t HoldForReading(const GrfArchive* archive, FileHold* hold) {
    uint32_t code = HoldFile(archive->path, false, hold);
    return code == GRF_ERROR_IN_USE ? code : uint32_t{GRF_OK};
}

bool HoldsFileOf(const FileHold& hold, const GrfFileStamp& stamp) {
    return hold.slot >= 0 && hold.file.device == stamp.device && hold.file.file == stamp.file;
}

void ReleaseFile(FileHold* hold) {
    if (hold->slot < 0) return;
    Guard();
    Held& held = g_held[hold->slot];
    PlatformFile* last = --held.count == 0 ? held.locked : nullptr;
    if (last) held = Held();
    Unguard();
    hold->slot = -1;
    if (!last) return;
    PlatformUnlockFile(last);
    PlatformClose(last);
}

// ---------------------------------------------------------------------------

struct GrfLock {
    FileHold hold;
};

extern "C" void GrfSetLockWait(int32_t wait) {
    g_wait = wait;
}

extern "C" GrfLock* GrfLockArchive(const wchar_t* path) {
    if (!path) {
        GrfLastError = GRF_ERROR_NOT_FOUND;
        return nullptr;
    }
    auto* lock = static_cast<GrfLock*>(PlatformAlloc(sizeof(GrfLock)));
    if (!lock) {
        GrfLastError = GRF_ERROR_MEMORY;
        return nullptr;
    }
    *lock = GrfLock();
    uint32_t code = HoldFile(path, true, &lock->hold);
    if (code != GRF_OK) {
        PlatformFree(lock);
        GrfLastError = code;
        return nullptr;
    }
    GrfLastError = GRF_OK;
    return lock;
}

extern "C" void GrfUnlockArchive(GrfLock* lock) {
    if (!lock) return;
    ReleaseFile(&lock->hold);
    PlatformFree(lock);
}
