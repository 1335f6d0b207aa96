// extract_records.cpp -- GrfExtractRecords: a batch of records extracted by
// several workers, each with its own archive file and folders, with the
// same outcome as extracting them one by one in a run.
//
// Which records may write a file is settled before any worker starts: the
// first record of each file name in the batch (a leader) is extracted by the
// workers; a later record of the same name (a follower) is decided on the
// caller's thread when its turn comes in record order: a duplicate when an
// earlier record of its name succeeded, else it is extracted there and then.
#include <string.h>

#include <atomic>

#include "archive_internal.h"
#include "extract_internal.h"
#include "file_lock.h"
#include "platform.h"
#include "platform_threads.h"

namespace {

constexpr uint32_t kLeader = 0xFFFFFFFFu;   // role of a record that leads its name
constexpr uint32_t kSettled = 0xFFFFFFFEu;  // role of a record refused before extraction

struct Batch {
    GrfArchive* archive;
    const uint32_t* indices;
    uint32_t count;
    uint32_t* codes;             // per record of the batch
    uint32_t* roles;             // kLeader, kSettled, or the leader a follower waits on
    uint8_t* done;               // set (atomically) once a leader's code is final
    uint8_t* won;                // by leader: a follower of its name succeeded
    std::atomic<uint32_t> next;  // the next record a worker takes
    std::atomic<bool> stop;      // progress asked to stop
};

void SetDone(uint8_t* done, uint32_t p) {
    std::atomic_ref<uint8_t>(done[p]).store(1, std::memory_order_release);
}

bool IsDone(uint8_t* done, uint32_t p) {
    return std::atomic_ref<uint8_t>(done[p]).load(std::memory_order_acquire) != 0;
}

uint64_t HashKey(const wchar_t* key) {
    uint64_t h = 1469598103934665603ull;
    for (; *key; ++key) h = (h ^ static_cast<uint64_t>(*key)) * 1099511628211ull;
    return h;
}

// The key of record position p's file name, or null (its code in *code).
wchar_t* KeyAt(const Batch& b, uint32_t p, uint32_t* code) {
    wchar_t* fileName = FileNameOf(b.archive->entries[b.indices[p]].name);
    wchar_t* key = nullptr;
    if (!fileName)
        *code = GRF_ERROR_MEMORY;
    else if (!IsSafeName(fileName))
        *code = GRF_ERROR_UNSAFE_NAME;
    else if (!(key = KeyOf(fileName)))
        *code = GRF_ERROR_MEMORY;
    PlatformFree(fileName);
    return key;
}

bool SameKey(const Batch& b, uint32_t p, const wchar_t* key) {
    uint32_t code = GRF_OK;
    wchar_t* other = KeyAt(b, p, &code);
    bool same = other && wcscmp(other, key) == 0;
    PlatformFree(other);
    return same;
}

// Settles every record's role: refused (bad index or name), a leader, or a
// follower of the leader of its name. Open addressing over the keys'
// hashes; equal hashes are confirmed by the keys themselves.
uint32_t AssignRoles(Batch* b) {
    uint32_t slots = 64;
    while (slots < 2ull * b->count) slots *= 2;
    auto* table = static_cast<uint32_t*>(PlatformAlloc(size_t{slots} * sizeof(uint32_t)));
    auto* hashes = static_cast<uint64_t*>(PlatformAlloc(size_t{slots} * sizeof(uint64_t)));
    if (!table || !hashes) {
        PlatformFree(table);
        PlatformFree(hashes);
        return GRF_ERROR_MEMORY;
    }
    for (uint32_t p = 0; p < b->count; ++p) {
        uint32_t code = GRF_OK;
        wchar_t* key = nullptr;
        if (b->indices[p] >= b->archive->count)
            code = GRF_ERROR_NOT_FOUND;
        else
            key = KeyAt(*b, p, &code);
        if (!key) {
            b->roles[p] = kSettled;
            b->codes[p] = code;
            continue;
        }
        uint64_t h = HashKey(key);
        b->roles[p] = kLeader;
        for (uint32_t at = static_cast<uint32_t>(h) & (slots - 1);; at = (at + 1) & (slots - 1)) {
            if (table[at] == 0) {  // positions are kept + 1: 0 is empty
                table[at] = p + 1;
                hashes[at] = h;
                break;
            }
            if (hashes[at] == h && SameKey(*b, table[at] - 1, key)) {
                b->roles[p] = table[at] - 1;
                break;
            }
        }
        PlatformFree(key);
    }
    PlatformFree(table);
    PlatformFree(hashes);
    return GRF_OK;
}

// Extracts record position p into its file with the worker's folders and
// archive file.
uint32_t ExtractAt(const Batch& b, uint32_t p, Reuse* reuse) {
    const GrfEntry& entry = b.archive->entries[b.indices[p]];
    wchar_t* fileName = FileNameOf(entry.name);
    uint32_t code = fileName ? ExtractTo(entry, fileName, reuse) : uint32_t{GRF_ERROR_MEMORY};
    PlatformFree(fileName);
    return code;
}

struct Worker {
    Batch* batch;
    Reuse reuse;
    PlatformThread* thread;
};

void RunWorker(void* self) {
    auto* w = static_cast<Worker*>(self);
    Batch& b = *w->batch;
    for (;;) {
        if (b.stop.load(std::memory_order_relaxed)) return;
        uint32_t p = b.next.fetch_add(1, std::memory_order_relaxed);
        if (p >= b.count) return;
        if (b.roles[p] != kLeader) continue;
        b.codes[p] = ExtractAt(b, p, &w->reuse);
        SetDone(b.done, p);
    }
}

// Settles a follower on the caller's thread, its leader and every earlier
// follower of its name settled by now: a duplicate when one of them wrote
// the file.
void SettleFollower(Batch* b, uint32_t p, Reuse* reuse) {
    uint32_t leader = b->roles[p];
    if (b->codes[leader] == GRF_OK || b->won[leader]) {
        b->codes[p] = GRF_ERROR_DUPLICATE;
        return;
    }
    b->codes[p] = ExtractAt(*b, p, reuse);
    if (b->codes[p] == GRF_OK) b->won[leader] = 1;
}

// Whether record position p is final; followers are settled here when
// their turn comes.
bool Final(Batch* b, uint32_t p, Reuse* reuse) {
    if (b->roles[p] == kSettled) return true;
    if (b->roles[p] == kLeader) return IsDone(b->done, p);
    SettleFollower(b, p, reuse);
    return true;
}

// Reports records from *reported on while they are final, in record order.
// False once progress asks to stop.
bool Report(Batch* b, uint32_t* reported, Reuse* reuse, GrfProgressCallback progress) {
    while (*reported < b->count && Final(b, *reported, reuse)) {
        uint32_t p = (*reported)++;
        GrfEntry* entry =
            b->indices[p] < b->archive->count ? &b->archive->entries[b->indices[p]] : nullptr;
        if (progress && progress(entry, *reported, b->count) != 0) return false;
    }
    return true;
}

// Workers 1..n-1 on threads of their own, worker 0 (the caller's) taking
// turns with the reporting. Returns when every record is final or the
// batch stopped.
void RunBatch(Batch* b, Worker* workers, uint32_t n, GrfProgressCallback progress) {
    uint32_t started = 1;
    for (uint32_t i = 1; i < n; ++i, ++started)
        if (!(workers[i].thread = PlatformStartThread(RunWorker, &workers[i]))) break;
    Reuse* own = &workers[0].reuse;
    uint32_t reported = 0;
    while (reported < b->count && !b->stop.load()) {
        uint32_t p = b->next.fetch_add(1, std::memory_order_relaxed);
        if (p < b->count && b->roles[p] == kLeader) {
            b->codes[p] = ExtractAt(*b, p, own);
            SetDone(b->done, p);
        } else if (p >= b->count) {
            PlatformPause();  // the rest is in the workers' hands
        }
        if (!Report(b, &reported, own, progress)) b->stop.store(true);
    }
    for (uint32_t i = 1; i < started; ++i) PlatformJoinThread(workers[i].thread);
}

// Records the stop left unextracted.
void MarkCancelled(Batch* b) {
    for (uint32_t p = 0; p < b->count; ++p) {
        bool open = b->roles[p] == kLeader ? !IsDone(b->done, p)
                                           : b->roles[p] != kSettled && b->codes[p] == kLeader;
        if (open) b->codes[p] = GRF_ERROR_CANCELLED;
    }
}

uint32_t CountSucceeded(const Batch& b) {
    uint32_t n = 0;
    for (uint32_t p = 0; p < b.count; ++p) n += b.codes[p] == GRF_OK;
    return n;
}

}  // namespace

extern "C" uint32_t GrfExtractRecords(GrfArchive* archive, const uint32_t* indices, uint32_t count,
                                      uint32_t threads, GrfProgressCallback progress,
                                      uint32_t* results) {
    if (!archive || archive == GRF_NO_ARCHIVE || (count && (!indices || !results))) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    if (threads == 0) threads = PlatformCoreCount();
    if (threads > count) threads = count ? count : 1;
    Batch b{archive, indices, count, results, nullptr, nullptr, nullptr, {0}, {false}};
    b.roles = static_cast<uint32_t*>(PlatformAlloc(size_t{count} * sizeof(uint32_t) + 1));
    b.done = static_cast<uint8_t*>(PlatformAlloc(size_t{count} + 1));
    b.won = static_cast<uint8_t*>(PlatformAlloc(size_t{count} + 1));
    auto* workers = static_cast<Worker*>(PlatformAlloc(size_t{threads} * sizeof(Worker)));
    uint32_t code =
        b.roles && b.done && b.won && workers ? uint32_t{GRF_OK} : uint32_t{GRF_ERROR_MEMORY};
    for (uint32_t i = 0; code == GRF_OK && i < threads; ++i) {
        workers[i] = Worker{&b, Reuse{PlatformNewFolders()}, nullptr};
        if (!workers[i].reuse.folders) code = GRF_ERROR_MEMORY;
    }
    // Followers keep kLeader as their code until settled (see MarkCancelled).
    for (uint32_t p = 0; code == GRF_OK && p < count; ++p) results[p] = kLeader;
    if (code == GRF_OK) code = AssignRoles(&b);
    FileHold hold;
    if (code == GRF_OK) code = HoldForReading(archive, &hold);
    if (code == GRF_OK) {
        RunBatch(&b, workers, threads, progress);
        if (b.stop.load()) MarkCancelled(&b);
    } else {
        for (uint32_t p = 0; p < count; ++p) results[p] = code;
    }
    for (uint32_t i = 0; workers && i < threads; ++i) {
        ReleaseSource(&workers[i].reuse);
        PlatformFreeFolders(workers[i].reuse.folders);
    }
    ReleaseFile(&hold);
    PlatformFree(workers);
    PlatformFree(b.roles);
    PlatformFree(b.done);
    PlatformFree(b.won);
    uint32_t succeeded = code == GRF_OK ? CountSucceeded(b) : 0;
    GrfLastError = code != GRF_OK  ? code
                   : b.stop.load() ? uint32_t{GRF_ERROR_CANCELLED}
                                   : uint32_t{GRF_OK};
    return succeeded;
}
