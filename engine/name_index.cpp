// name_index.cpp -- the index by name: open addressing over a power-of-two
// array of (hash, record index + 1) slots, kept at most half full, so a
// lookup costs one hash and about one name comparison.
#include "archive_internal.h"
#include "platform.h"

#include <string.h>

struct GrfNameIndex {
    struct Slot {
        uint32_t hash;
        uint32_t record;  // record index + 1; 0 marks an empty slot
    };
    Slot* slots;
    uint32_t mask;  // slot count - 1
    uint32_t used;
};

namespace {

// Word at a time: multiply and rotate per 8 bytes, then a full avalanche so
// that names sharing long prefixes (data\texture\...) spread over the
// low bits the slots are chosen by.
uint32_t HashName(const char* name, size_t length) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ length;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        memcpy(&word, name + i, 8);
        h = (h ^ word) * 0x9E3779B97F4A7C15ull;
        h = (h << 27) | (h >> 37);
    }
    uint64_t tail = 0;
    memcpy(&tail, name + i, length - i);
    h ^= tail;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<uint32_t>(h);
}

uint32_t SlotsFor(uint32_t records) {
    uint32_t n = 16;
    while (n < 0x80000000u && n / 2 < records) n *= 2;
    return n;
}

bool SameName(const GrfEntry& entry, const char* name, size_t length) {
    return memcmp(entry.name, name, length) == 0 && entry.name[length] == '\0';
}

// Inserts record (0-based), whose name has this length and hash, unless
// its name is there already.
void Insert(GrfNameIndex* index, const GrfEntry* entries, uint32_t record, size_t length,
            uint32_t hash) {
    const char* name = entries[record].name;
    for (uint32_t at = hash & index->mask;; at = (at + 1) & index->mask) {
        GrfNameIndex::Slot& slot = index->slots[at];
        if (slot.record == 0) {
            slot.hash = hash;
            slot.record = record + 1;
            ++index->used;
            return;
        }
        if (slot.hash == hash && SameName(entries[slot.record - 1], name, length)) return;
    }
}

// Inserts records [0, records) in table order. Each insert lands on a random
// slot; hashing a batch first and prefetching its slots overlaps those cache
// misses instead of waiting for each in turn.
void InsertAll(GrfNameIndex* index, const GrfEntry* entries, uint32_t records) {
    constexpr uint32_t kBatch = 16;
    size_t lengths[kBatch];
    uint32_t hashes[kBatch];
    for (uint32_t first = 0; first < records; first += kBatch) {
        uint32_t n = records - first < kBatch ? records - first : kBatch;
        for (uint32_t i = 0; i < n; ++i) {
            lengths[i] = NameLength(entries[first + i].name);
            hashes[i] = HashName(entries[first + i].name, lengths[i]);
            __builtin_prefetch(&index->slots[hashes[i] & index->mask]);
        }
        for (uint32_t i = 0; i < n; ++i) Insert(index, entries, first + i, lengths[i], hashes[i]);
    }
}

bool Rehash(GrfArchive* archive, uint32_t slotCount, uint32_t records) {
    GrfNameIndex* index = archive->index;
    if (!index) {
        index = static_cast<GrfNameIndex*>(PlatformAlloc(sizeof(GrfNameIndex)));
        if (!index) return false;
    }
    auto* slots = static_cast<GrfNameIndex::Slot*>(
        PlatformAlloc(size_t{slotCount} * sizeof(GrfNameIndex::Slot)));
    if (!slots) {
        if (!archive->index) PlatformFree(index);
        return false;
    }
    PlatformFree(index->slots);
    index->slots = slots;
    index->mask = slotCount - 1;
    index->used = 0;
    archive->index = index;
    InsertAll(index, archive->entries, records);
    return true;
}

// Moves the index into slotCount slots. The slots keep their hashes and
// hold one record per name already, so no name is read again.
bool Grow(GrfNameIndex* index, uint32_t slotCount) {
    auto* slots = static_cast<GrfNameIndex::Slot*>(
        PlatformAlloc(size_t{slotCount} * sizeof(GrfNameIndex::Slot)));
    if (!slots) return false;
    uint32_t mask = slotCount - 1;
    for (uint32_t i = 0; i <= index->mask; ++i) {
        const GrfNameIndex::Slot& slot = index->slots[i];
        if (slot.record == 0) continue;
        uint32_t at = slot.hash & mask;
        while (slots[at].record != 0) at = (at + 1) & mask;
        slots[at] = slot;
    }
    PlatformFree(index->slots);
    index->slots = slots;
    index->mask = mask;
    return true;
}

}  // namespace

size_t NameLength(const char* name) {
    const void* end = memchr(name, 0, GRF_NAME_SIZE);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - name) : GRF_NAME_SIZE;
}

bool NameIndexBuild(GrfArchive* archive) {
    return Rehash(archive, SlotsFor(archive->count), archive->count);
}

bool NameIndexAdd(GrfArchive* archive, uint32_t index) {
    GrfNameIndex* names = archive->index;
    // Building keeps the first record of each name: records are inserted in
    // table order.
    if (!names) return Rehash(archive, SlotsFor(index + 1), index + 1);
    if ((names->used + 1) > (names->mask + 1) / 2 && !Grow(names, (names->mask + 1) * 2))
        return false;
    const char* name = archive->entries[index].name;
    size_t length = NameLength(name);
    Insert(names, archive->entries, index, length, HashName(name, length));
    return true;
}

bool NameIndexReserve(GrfArchive* archive, uint32_t records) {
    GrfNameIndex* names = archive->index;
    if (!names) return Rehash(archive, SlotsFor(records), archive->count);
    if (records <= (names->mask + 1) / 2) return true;
    return Grow(names, SlotsFor(records));
}

void NameIndexCut(GrfArchive* archive, uint32_t records) {
    GrfNameIndex* index = archive->index;
    if (!index) return;
    memset(index->slots, 0, (size_t{index->mask} + 1) * sizeof(GrfNameIndex::Slot));
    index->used = 0;
    InsertAll(index, archive->entries, records);
}

GrfEntry* NameIndexFind(const GrfArchive* archive, const char* name) {
    const GrfNameIndex* index = archive->index;
    if (!index) return nullptr;
    size_t length = strnlen(name, GRF_NAME_SIZE);
    if (length >= GRF_NAME_SIZE) return nullptr;  // longer than any stored name
    uint32_t hash = HashName(name, length);
    for (uint32_t at = hash & index->mask;; at = (at + 1) & index->mask) {
        const GrfNameIndex::Slot& slot = index->slots[at];
        if (slot.record == 0) return nullptr;
        GrfEntry* entry = &archive->entries[slot.record - 1];
        if (slot.hash == hash && SameName(*entry, name, length)) return entry;
    }
}

void NameIndexFree(GrfArchive* archive) {
    if (!archive->index) return;
    PlatformFree(archive->index->slots);
    PlatformFree(archive->index);
    archive->index = nullptr;
}

bool ReserveEntries(GrfArchive* archive, uint32_t more) {
    uint64_t needed = uint64_t{archive->count} + more;
    if (needed <= archive->capacity) return true;
    if (needed > 0xFFFFFFFFu) return false;
    uint64_t capacity = archive->capacity ? archive->capacity : 16;
    while (capacity < needed) capacity *= 2;
    if (capacity > 0xFFFFFFFFu) capacity = needed;
    size_t oldBytes = size_t{archive->capacity} * sizeof(GrfEntry);
    size_t newBytes = static_cast<size_t>(capacity) * sizeof(GrfEntry);
    void* grown = PlatformGrow(archive->entries, oldBytes, newBytes);
    if (!grown) return false;
    archive->entries = static_cast<GrfEntry*>(grown);
    archive->capacity = static_cast<uint32_t>(capacity);
    return true;
}
