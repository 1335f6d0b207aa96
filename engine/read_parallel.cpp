// read_parallel.cpp -- reading many records on every core: workers take the
// next record from a shared counter, each with its own archive file and
// read-ahead window, and hand each content to the caller's reader on the
// worker's own thread. For hashing every entry of an archive or a client.
#include <atomic>

#include "archive_internal.h"
#include "client_internal.h"
#include "platform.h"
#include "platform_threads.h"

namespace {

struct Parallel {
    // Exactly one of archive and client.
    GrfArchive* archive;
    GrfClient* client;
    const uint32_t* items;  // record indices, or name numbers of the client
    uint32_t count;
    GrfRecordReader reader;
    void* user;
    std::atomic<uint32_t> next{0};
    std::atomic<uint32_t> read{0};
    std::atomic<bool> stop{false};
};

// One worker's file: the owner's, kept while records of that owner follow.
struct Source {
    const GrfArchive* owner = nullptr;
    PlatformFile* file = nullptr;
    ReadWindow window;
};

void Release(Source* source) {
    FreeReadWindow(&source->window);
    PlatformClose(source->file);
    source->file = nullptr;
    source->owner = nullptr;
}

// entry's content as GrfReadRecord reads it, through source's file.
uint32_t ReadThrough(const GrfEntry& entry, Source* source, uint8_t** content) {
    *content = nullptr;
    if (!entry.owner || entry.owner == GRF_NO_ARCHIVE) return GRF_ERROR_NOT_FOUND;
    if (source->owner != entry.owner || (!WindowHolds(source->window, entry) &&
                                         CheckArchiveFile(entry.owner, source->file) != GRF_OK)) {
        Release(source);
        uint32_t code = OpenArchiveFile(entry.owner, &source->file);
        if (code != GRF_OK) return code;
        source->owner = entry.owner;
    }
    uint32_t code = StoredPlace(entry);
    return code == GRF_OK ? ReadContentFrom(entry, source->file, content, &source->window) : code;
}

void Work(void* argument) {
    auto* p = static_cast<Parallel*>(argument);
    Source source;
    for (;;) {
        uint32_t at = p->next.fetch_add(1);
        if (at >= p->count || p->stop.load()) break;
        uint32_t item = p->items[at], code = GRF_OK, size = 0;
        uint8_t* content = nullptr;
        const GrfEntry* entry = nullptr;
        if (p->archive) {
            entry = item < p->archive->count ? &p->archive->entries[item] : nullptr;
            code = entry ? ReadThrough(*entry, &source, &content) : uint32_t{GRF_ERROR_NOT_FOUND};
        } else if (item >= p->client->nameCount) {
            code = GRF_ERROR_NOT_FOUND;
        } else {
            const GrfClientName& n = p->client->names[item];
            const GrfClientSource& s = p->client->sources[n.source];
            entry = &s.archive->entries[n.record];
            content = s.loose ? ReadLooseFile(p->client, n.source, *entry, &size, &code) : nullptr;
            if (!s.loose) code = ReadThrough(*entry, &source, &content);
        }
        if (code == GRF_OK) size = entry->realSize;
        if (p->reader(item, content, size, code, p->user) != 0) p->stop.store(true);
        if (code == GRF_OK) p->read.fetch_add(1);
        PlatformFree(content);
    }
    Release(&source);
}

uint32_t Run(Parallel* p, uint32_t threads) {
    if (threads == 0) threads = PlatformCoreCount();
    if (threads > p->count) threads = p->count ? p->count : 1;
    if (threads > 64) threads = 64;
    PlatformThread* started[64] = {};
    // The caller's thread works too: one thread fewer to start.
    for (uint32_t t = 1; t < threads; ++t) started[t] = PlatformStartThread(Work, p);
    Work(p);
    for (uint32_t t = 1; t < threads; ++t)
        if (started[t]) PlatformJoinThread(started[t]);
    GrfLastError = p->stop.load() ? GRF_ERROR_CANCELLED : GRF_OK;
    return p->read.load();
}

}  // namespace

extern "C" uint32_t GrfReadRecordsParallel(GrfArchive* archive, const uint32_t* indices,
                                           uint32_t count, uint32_t threads, GrfRecordReader reader,
                                           void* user) {
    if (archive == GRF_NO_ARCHIVE || !archive || !reader || (count && !indices)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    Parallel p{archive, nullptr, indices, count, reader, user};
    return Run(&p, threads);
}

extern "C" uint32_t GrfReadClientNames(GrfClient* client, const uint32_t* names, uint32_t count,
                                       uint32_t threads, GrfRecordReader reader, void* user) {
    if (!client || !reader || (count && !names)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    Parallel p{nullptr, client, names, count, reader, user};
    return Run(&p, threads);
}
