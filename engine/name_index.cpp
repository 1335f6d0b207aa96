// name_index.cpp -- the index by name: open addressing over one array of
// 32-bit slots, kept at most four fifths full. A slot holds a record index
// + 1 in its low bits and the rest of the slot holds bits of the name's hash
// (a tag), so probing skips other names without reading the table, and the
// index costs about 5 bytes per record instead of 16 to 32 for a half-full
// power-of-two array of (hash, record) pairs.
#include "archive_internal.h"
#include "platform.h"

#include <string.h>

struct GrfNameIndex {
    uint32_t* slots;   // 0 marks an empty slot
    uint32_t count;    // slots
    uint32_t bits;     // low bits of a slot holding record index + 1
    uint32_t records;  // records the slots and bits have room for
    uint32_t covered;  // records [0, covered) are indexed
    uint32_t used;
};

namespace {

// Word at a time: multiply and rotate per 8 bytes, then a full avalanche so
// that names sharing long prefixes (data\texture\...) spread over every bit:
// the high half picks the slot, the low half gives the tag.
uint64_t HashName(const char* name, size_t length) {
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
    return h;
}

// The first slot to probe: the hash's high half scaled to the slot count,
// so the count need not be a power of two.
uint32_t HomeOf(const GrfNameIndex* index, uint64_t hash) {
    return static_cast<uint32_t>(((hash >> 32) * index->count) >> 32);
}

uint32_t TagMask(const GrfNameIndex* index) {
    return index->bits >= 32 ? 0 : ~((1u << index->bits) - 1);
}

uint32_t RecordOf(const GrfNameIndex* index, uint32_t slot) {
    return slot & ~TagMask(index);
}

bool SameName(const GrfEntry& entry, const char* name, size_t length) {
    return memcmp(entry.name, name, length) == 0 && entry.name[length] == '\0';
}

// Inserts record (0-based), whose name has this length and hash, unless
// its name is there already.
void Insert(GrfNameIndex* index, const GrfEntry* entries, uint32_t record, size_t length,
            uint64_t hash) {
    const char* name = entries[record].name;
    uint32_t mask = TagMask(index);
    uint32_t tag = static_cast<uint32_t>(hash) & mask;
    for (uint32_t at = HomeOf(index, hash);; at = at + 1 == index->count ? 0 : at + 1) {
        uint32_t slot = index->slots[at];
        if (slot == 0) {
            index->slots[at] = tag | (record + 1);
            ++index->used;
            return;
        }
        if ((slot & mask) == tag && SameName(entries[(slot & ~mask) - 1], name, length)) return;
    }
}

// Inserts records [from, to) in table order. Each insert lands on a random
// slot; hashing a batch first and prefetching its slots overlaps those cache
// misses instead of waiting for each in turn.
void InsertRange(GrfNameIndex* index, const GrfEntry* entries, uint32_t from, uint32_t to) {
    constexpr uint32_t kBatch = 16;
    size_t lengths[kBatch];
    uint64_t hashes[kBatch];
    for (uint32_t first = from; first < to; first += kBatch) {
        uint32_t n = to - first < kBatch ? to - first : kBatch;
        for (uint32_t i = 0; i < n; ++i) {
            lengths[i] = NameLength(entries[first + i].name);
            hashes[i] = HashName(entries[first + i].name, lengths[i]);
            __builtin_prefetch(&index->slots[HomeOf(index, hashes[i])]);
        }
        for (uint32_t i = 0; i < n; ++i) Insert(index, entries, first + i, lengths[i], hashes[i]);
    }
    if (to > index->covered) index->covered = to;
}

// Slots for up to `records` names at most four fifths full, never all full.
uint32_t SlotsFor(uint32_t records) {
    uint64_t slots = uint64_t{records} + records / 4 + 16;
    return slots > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(slots);
}

// Bits that hold every record index + 1 up to `records`.
uint32_t BitsFor(uint32_t records) {
    uint32_t bits = 1;
    while (bits < 32 && (records >> bits) != 0) ++bits;
    return bits;
}

// (Re)builds the index with room for `records` records over records
// [0, covered): the slots keep no hashes, so the names are hashed again.
bool Rebuild(GrfArchive* archive, uint32_t records, uint32_t covered) {
    GrfNameIndex* index = archive->index;
    bool fresh = !index;
    if (fresh) {
        index = static_cast<GrfNameIndex*>(PlatformAlloc(sizeof(GrfNameIndex)));
        if (!index) return false;
    }
    uint32_t count = SlotsFor(records);
    auto* slots = static_cast<uint32_t*>(PlatformAlloc(size_t{count} * sizeof(uint32_t)));
    if (!slots) {
        if (fresh) PlatformFree(index);
        return false;
    }
    PlatformFree(index->slots);
    index->slots = slots;
    index->count = count;
    index->bits = BitsFor(records);
    index->records = records;
    index->covered = 0;
    index->used = 0;
    archive->index = index;
    InsertRange(index, archive->entries, 0, covered);
    return true;
}

// Whether the index has room for `records` records without rebuilding.
bool HasRoom(const GrfNameIndex* index, uint32_t records) {
    return records <= index->records;
}

// Room for `records`, growing geometrically so that appending one record
// at a time rebuilds rarely.
uint32_t GrownRoom(const GrfNameIndex* index, uint32_t records) {
    uint64_t doubled = uint64_t{index->records} * 2;
    if (doubled < records) doubled = records;
    return doubled > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(doubled);
}

}  // namespace

size_t NameLength(const char* name) {
    const void* end = memchr(name, 0, GRF_NAME_SIZE);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - name) : GRF_NAME_SIZE;
}

bool NameIndexBuild(GrfArchive* archive) {
    return Rebuild(archive, archive->count, archive->count);
}

bool NameIndexAdd(GrfArchive* archive, uint32_t index) {
    GrfNameIndex* names = archive->index;
    // Building keeps the first record of each name: records are inserted in
    // table order.
    if (!names) return Rebuild(archive, index + 1, index + 1);
    if (!HasRoom(names, index + 1)) {
        if (!Rebuild(archive, GrownRoom(names, index + 1), names->covered)) return false;
        names = archive->index;
    }
    InsertRange(names, archive->entries, index, index + 1);
    return true;
}

bool NameIndexReserve(GrfArchive* archive, uint32_t records) {
    GrfNameIndex* names = archive->index;
    if (!names) return Rebuild(archive, records, archive->count);
    if (HasRoom(names, records)) return true;
    return Rebuild(archive, records, names->covered);
}

void NameIndexCut(GrfArchive* archive, uint32_t records) {
    GrfNameIndex* index = archive->index;
    if (!index) return;
    memset(index->slots, 0, size_t{index->count} * sizeof(uint32_t));
    index->used = 0;
    index->covered = 0;
    InsertRange(index, archive->entries, 0, records);
}

GrfEntry* NameIndexFind(const GrfArchive* archive, const char* name) {
    const GrfNameIndex* index = archive->index;
    if (!index) return nullptr;
    size_t length = strnlen(name, GRF_NAME_SIZE);
    if (length >= GRF_NAME_SIZE) return nullptr;  // longer than any stored name
    uint64_t hash = HashName(name, length);
    uint32_t mask = TagMask(index);
    uint32_t tag = static_cast<uint32_t>(hash) & mask;
    for (uint32_t at = HomeOf(index, hash);; at = at + 1 == index->count ? 0 : at + 1) {
        uint32_t slot = index->slots[at];
        if (slot == 0) return nullptr;
        if ((slot & mask) != tag) continue;
        GrfEntry* entry = &archive->entries[RecordOf(index, slot) - 1];
        if (SameName(*entry, name, length)) return entry;
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
