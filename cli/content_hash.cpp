// content_hash.cpp -- see content_hash.h. The engine reads on every core and
// hands each content to Take on the worker that read it; each result has a
// slot of its own, so the workers share nothing but the progress counts.
#include "content_hash.h"

#include <stdio.h>
#include <zlib.h>

#include <atomic>

#include "console.h"
#include "sha256.h"

namespace caskw {

namespace {

struct Job {
    int wanted;
    std::vector<uint32_t> slotOf;  // by record index or name number: its position + 1
    std::vector<ContentHash>* hashes;
    std::atomic<uint64_t> settled{0};
};

int Take(uint32_t item, const uint8_t* content, uint32_t size, uint32_t code, void* user) {
    auto* job = static_cast<Job*>(user);
    ContentHash& h = (*job->hashes)[job->slotOf[item] - 1];
    h.code = code;
    h.size = size;
    if (code == GRF_OK && (job->wanted & kHashCrc32)) {
        uLong crc = crc32(0L, Z_NULL, 0);
        for (uint32_t at = 0; at < size;) {
            uInt piece = size - at < (1u << 30) ? size - at : (1u << 30);
            crc = crc32(crc, content + at, piece);
            at += piece;
        }
        char hex[16];
        snprintf(hex, sizeof hex, "%08lx", static_cast<unsigned long>(crc));
        h.crc32 = hex;
    }
    if (code == GRF_OK && (job->wanted & kHashSha256)) {
        Sha256 sha;
        sha.Add(content, size);
        h.sha256 = sha.Hex();
    }
    job->settled.fetch_add(1);
    return Interrupted() ? 1 : 0;
}

template <typename Read>
bool Hash(uint32_t items, const std::vector<uint32_t>& wanted, int kinds,
          std::vector<ContentHash>* hashes, Read read) {
    hashes->assign(wanted.size(), ContentHash{});
    Job job{kinds, std::vector<uint32_t>(items, 0), hashes};
    std::vector<uint32_t> unique;
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (wanted[i] >= items) {
            (*hashes)[i].code = GRF_ERROR_NOT_FOUND;
            continue;
        }
        if (job.slotOf[wanted[i]] == 0) unique.push_back(wanted[i]);
        job.slotOf[wanted[i]] = static_cast<uint32_t>(i + 1);
    }
    read(unique, &job);
    // An item asked for more than once was read once, into its last slot.
    for (size_t i = 0; i < wanted.size(); ++i)
        if (wanted[i] < items && job.slotOf[wanted[i]] != i + 1)
            (*hashes)[i] = (*hashes)[job.slotOf[wanted[i]] - 1];
    return GrfLastError != GRF_ERROR_CANCELLED;
}

}  // namespace

bool HashRecords(GrfArchive* archive, const std::vector<uint32_t>& indices, int wanted,
                 std::vector<ContentHash>* hashes) {
    return Hash(archive->count, indices, wanted, hashes,
                [&](const std::vector<uint32_t>& unique, Job* job) {
                    GrfReadRecordsParallel(archive, unique.data(),
                                           static_cast<uint32_t>(unique.size()), 0, Take, job);
                });
}

bool HashClientNames(GrfClient* client, const std::vector<uint32_t>& names, int wanted,
                     std::vector<ContentHash>* hashes) {
    return Hash(client->nameCount, names, wanted, hashes,
                [&](const std::vector<uint32_t>& unique, Job* job) {
                    GrfReadClientNames(client, unique.data(), static_cast<uint32_t>(unique.size()),
                                       0, Take, job);
                });
}

}  // namespace caskw
