// client.cpp -- a game client's folder seen as the client reads it: its
// sources in priority order (the loose data folder when asked for, the
// archives DATA.INI lists or the usual ones), merged into one table of
// names with the source that wins each and the copies it hides.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "archive_internal.h"
#include "client_internal.h"
#include "extract_internal.h"
#include "folder.h"
#include "grf.h"
#include "platform.h"
#include "platform_threads.h"

// The table of names is an open-addressing set of name numbers, kept at
// most three quarters full, each slot with the name's hash beside it so
// that a probe touches one cache line and most compare no names.
struct GrfClientIndex {
    struct Slot {
        uint32_t number;  // name number + 1; 0 marks an empty slot
        uint32_t hash;    // the hash of the slot's name
    };
    Slot* slots;
    uint32_t mask;  // slot count - 1
};

namespace {

// Archives a client reads without DATA.INI, in its order.
const wchar_t* const kUsualArchives[] = {L"data.grf", L"rdata.grf", L"sdata.grf"};

// Room for a folder path of the client, a separator and a name converted.
constexpr size_t kPathRoom = GRF_PATH_SIZE + 3 * GRF_NAME_SIZE + 8;
// Deeper folders than this under data\ would not give names that fit.
constexpr int kMostDepth = 54;

// Names compare without regard to ASCII case and with "/" read as "\\"; the
// second byte of a double-byte character stays as it is, since it may fall
// in the ASCII letters without being one.
inline uint8_t FoldByte(uint8_t c) {
    if (c == '/') return '\\';
    return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c;
}

inline bool IsLeadByte(uint8_t c) {
    return c >= 0x81 && c != 0xFF;
}

uint32_t FoldedHash(const char* name) {
    uint32_t h = 2166136261u;
    for (const auto* at = reinterpret_cast<const uint8_t*>(name); *at; ++at) {
        h = (h ^ FoldByte(*at)) * 16777619u;
        if (IsLeadByte(*at) && at[1]) h = (h ^ *++at) * 16777619u;
    }
    // Names share long prefixes and the table takes the low bits: mixed so
    // that every byte reaches them.
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    return h ^ (h >> 16);
}

bool FoldedEqual(const char* a, const char* b) {
    const auto* x = reinterpret_cast<const uint8_t*>(a);
    const auto* y = reinterpret_cast<const uint8_t*>(b);
    for (;; ++x, ++y) {
        if (FoldByte(*x) != FoldByte(*y)) return false;
        if (!*x) return true;
        if (IsLeadByte(*x) && x[1]) {
            if (*++x != *++y) return false;
        }
    }
}

bool Visible(const GrfEntry& entry) {
    return !(entry.state & (GRF_ENTRY_DELETED | GRF_ENTRY_REMOVAL));
}

const GrfEntry* RecordOf(const GrfClient* client, uint32_t source, uint32_t record) {
    if (source >= client->sourceCount) return nullptr;
    const GrfArchive* archive = client->sources[source].archive;
    if (archive == GRF_NO_ARCHIVE || record >= archive->count) return nullptr;
    return &archive->entries[record];
}

void FreeIndex(GrfClient* client) {
    if (!client->index) return;
    PlatformFree(client->index->slots);
    PlatformFree(client->index);
    client->index = nullptr;
}

void FreeView(GrfClient* client) {
    FreeIndex(client);
    PlatformFree(client->names);
    PlatformFree(client->hidden);
    client->names = nullptr;
    client->hidden = nullptr;
    client->nameCount = 0;
    client->hiddenCount = 0;
}

// The slot of name (hash h), or the empty slot where it would go.
uint32_t Probe(const GrfClient* client, const char* name, uint32_t h) {
    const GrfClientIndex* index = client->index;
    for (uint32_t at = h & index->mask;; at = (at + 1) & index->mask) {
        uint32_t number = index->slots[at].number;
        if (number == 0) return at;
        if (index->slots[at].hash != h) continue;
        const GrfClientName& n = client->names[number - 1];
        if (FoldedEqual(RecordOf(client, n.source, n.record)->name, name)) return at;
    }
}

// The folded hash of every record of the sources, in source and table
// order, into hashes (total of them), split between two threads where a
// second starts: hashing reads every name, the costliest part of a build.
struct HashShare {
    const GrfClient* client;
    uint32_t* hashes;
    uint32_t first, end;  // records [first, end) counted over the sources
};

void HashShareRun(void* job) {
    auto* share = static_cast<HashShare*>(job);
    uint32_t at = 0;
    for (uint32_t s = 0; s < share->client->sourceCount && at < share->end; ++s) {
        const GrfArchive* archive = share->client->sources[s].archive;
        uint32_t count = archive != GRF_NO_ARCHIVE ? archive->count : 0;
        for (uint32_t r = 0; r < count; ++r, ++at)
            if (at >= share->first && at < share->end)
                share->hashes[at] = FoldedHash(archive->entries[r].name);
    }
}

void HashRecords(const GrfClient& client, uint32_t* hashes, uint64_t total) {
    uint32_t half = static_cast<uint32_t>(total / 2);
    HashShare shares[2] = {{&client, hashes, 0, half},
                           {&client, hashes, half, static_cast<uint32_t>(total)}};
    PlatformThread* worker = total >= 65536 && PlatformCoreCount() > 1
                                 ? PlatformStartThread(HashShareRun, &shares[1])
                                 : nullptr;
    HashShareRun(&shares[0]);
    if (worker)
        PlatformJoinThread(worker);
    else
        HashShareRun(&shares[1]);
}

// Builds the view from the sources: every visible record, in source order
// and table order, either gives a new name or is a hidden copy of the name
// an earlier record gave. Nothing changes when memory runs out.
uint32_t BuildView(GrfClient* client) {
    uint64_t total = 0;
    for (uint32_t s = 0; s < client->sourceCount; ++s) {
        GrfClientSource& source = client->sources[s];
        source.names = source.overrides = source.hidden = 0;
        if (source.archive != GRF_NO_ARCHIVE) total += source.archive->count;
    }
    if (total > 0x30000000u) return GRF_ERROR_MEMORY;
    uint32_t slots = 16;
    while (slots < total + total / 3 + 1) slots *= 2;
    GrfClient view = *client;
    view.names = static_cast<GrfClientName*>(PlatformAlloc((total + 1) * sizeof(GrfClientName)));
    // The name number of every record, for placing the hidden copies.
    auto* numbers = static_cast<uint32_t*>(PlatformAlloc((total + 1) * sizeof(uint32_t)));
    view.index = static_cast<GrfClientIndex*>(PlatformAlloc(sizeof(GrfClientIndex)));
    if (view.index) {
        view.index->slots =
            static_cast<GrfClientIndex::Slot*>(PlatformAlloc(slots * sizeof(GrfClientIndex::Slot)));
        view.index->mask = slots - 1;
    }
    if (!view.names || !numbers || !view.index || !view.index->slots) {
        PlatformFree(numbers);
        view.hidden = nullptr;
        FreeView(&view);
        return GRF_ERROR_MEMORY;
    }
    // The hashes first, on every core; then each record in order, its slot
    // fetched a few records ahead, as the slots are spread over megabytes.
    HashRecords(view, numbers, total);
    constexpr uint32_t kAhead = 8;
    uint32_t names = 0, hidden = 0, at = 0;
    for (uint32_t s = 0; s < view.sourceCount; ++s) {
        const GrfArchive* archive = view.sources[s].archive;
        uint32_t count = archive != GRF_NO_ARCHIVE ? archive->count : 0;
        for (uint32_t r = 0; r < count; ++r, ++at) {
            if (at + kAhead < total)
                __builtin_prefetch(&view.index->slots[numbers[at + kAhead] & view.index->mask]);
            uint32_t h = numbers[at];
            numbers[at] = UINT32_MAX;
            if (!Visible(archive->entries[r])) continue;
            uint32_t slot = Probe(&view, archive->entries[r].name, h);
            GrfClientIndex::Slot& found = view.index->slots[slot];
            if (found.number == 0) {
                found = GrfClientIndex::Slot{names + 1, h};
                view.names[names] = GrfClientName{s, r, 0, 0};
                numbers[at] = names++;
                ++view.sources[s].names;
            } else {
                numbers[at] = found.number - 1;
                ++view.names[numbers[at]].hiddenCount;
                ++view.sources[s].hidden;
                ++hidden;
            }
        }
    }
    view.hidden = static_cast<GrfClientCopy*>(PlatformAlloc((hidden + 1) * sizeof(GrfClientCopy)));
    auto* shrunk = static_cast<GrfClientName*>(PlatformAlloc((names + 1) * sizeof(GrfClientName)));
    if (!view.hidden || !shrunk) {
        PlatformFree(numbers);
        PlatformFree(shrunk);
        FreeView(&view);
        return GRF_ERROR_MEMORY;
    }
    memcpy(shrunk, view.names, names * sizeof(GrfClientName));
    PlatformFree(view.names);
    view.names = shrunk;
    uint32_t first = 0;
    for (uint32_t n = 0; n < names; ++n) {
        view.names[n].firstHidden = first;
        first += view.names[n].hiddenCount;
        view.names[n].hiddenCount = 0;
    }
    at = 0;
    for (uint32_t s = 0; s < view.sourceCount; ++s) {
        const GrfArchive* archive = view.sources[s].archive;
        for (uint32_t r = 0; archive != GRF_NO_ARCHIVE && r < archive->count; ++r, ++at) {
            if (numbers[at] == UINT32_MAX) continue;
            GrfClientName& n = view.names[numbers[at]];
            if (n.source == s && n.record == r) continue;
            // Copies in the winner's own source come first: the first copy
            // from another source is where the winner starts to override.
            if (n.source != s &&
                (n.hiddenCount == 0 ||
                 view.hidden[n.firstHidden + n.hiddenCount - 1].source == n.source))
                ++view.sources[n.source].overrides;
            view.hidden[n.firstHidden + n.hiddenCount++] = GrfClientCopy{s, r};
        }
    }
    PlatformFree(numbers);
    FreeView(client);
    client->names = view.names;
    client->nameCount = names;
    client->hidden = view.hidden;
    client->hiddenCount = hidden;
    client->index = view.index;
    return GRF_OK;
}

// ---------------------------------------------------------------------------
// Sources.

bool MakeRoom(GrfClient* client) {
    if (client->sourceCount < client->sourceCapacity) return true;
    uint32_t capacity = client->sourceCapacity ? client->sourceCapacity * 2 : 4;
    auto* grown = static_cast<GrfClientSource*>(
        PlatformGrow(client->sources, client->sourceCapacity * sizeof(GrfClientSource),
                     capacity * sizeof(GrfClientSource)));
    if (!grown) return false;
    client->sources = grown;
    client->sourceCapacity = capacity;
    return true;
}

// Puts source at place (past the last: last); room was made.
void Insert(GrfClient* client, uint32_t place, const GrfClientSource& source) {
    if (place > client->sourceCount) place = client->sourceCount;
    memmove(client->sources + place + 1, client->sources + place,
            (client->sourceCount - place) * sizeof(GrfClientSource));
    client->sources[place] = source;
    ++client->sourceCount;
}

// folder + "\\" + name into out (capacity characters); false when too long.
bool JoinPath(const wchar_t* folder, const wchar_t* name, wchar_t* out, size_t capacity) {
    size_t a = wcslen(folder), b = wcslen(name);
    if (a + b + 2 > capacity) return false;
    wmemcpy(out, folder, a);
    size_t n = a;
    if (n && out[n - 1] != L'\\' && out[n - 1] != L'/') out[n++] = L'\\';
    wmemcpy(out + n, name, b + 1);
    return true;
}

bool SameNameAnyCase(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        wchar_t x = *a >= L'A' && *a <= L'Z' ? *a + 32 : *a;
        wchar_t y = *b >= L'A' && *b <= L'Z' ? *b + 32 : *b;
        if (x != y) return false;
        if (!x) return true;
    }
}

// The name a thing has in the folder, in any case of the ASCII letters.
struct Lookup {
    const wchar_t* wanted;
    bool folder;
    wchar_t found[GRF_PATH_SIZE];
    bool matched;
};

bool FindVisit(const FolderItem& item, void* user) {
    auto* lookup = static_cast<Lookup*>(user);
    if (item.folder != lookup->folder || !SameNameAnyCase(item.name, lookup->wanted) ||
        wcslen(item.name) >= GRF_PATH_SIZE)
        return true;
    // An exact match is taken over any other.
    if (!lookup->matched || wcscmp(item.name, lookup->wanted) == 0)
        wcscpy(lookup->found, item.name);
    lookup->matched = true;
    return true;
}

// The path of the file (or folder) named name in folder in any case, into
// out; false when there is none.
bool FindInFolder(const wchar_t* folder, const wchar_t* name, bool isFolder, wchar_t* out,
                  size_t capacity) {
    Lookup lookup{name, isFolder, {}, false};
    PlatformListFolder(folder, FindVisit, &lookup);
    return lookup.matched && JoinPath(folder, lookup.found, out, capacity);
}

uint32_t AddArchive(GrfClient* client, const wchar_t* path, uint32_t place,
                    GrfProgressCallback progress) {
    if (!MakeRoom(client)) return GRF_ERROR_MEMORY;
    GrfClientSource source{};
    source.archive = GrfOpen(path, progress);
    source.error = source.archive == GRF_NO_ARCHIVE ? GrfLastError : uint32_t{GRF_OK};
    if (source.archive == GRF_NO_ARCHIVE) {
        // Kept with the reason: the folder says the client reads it.
        source.path = static_cast<wchar_t*>(PlatformAlloc((wcslen(path) + 1) * sizeof(wchar_t)));
        if (!source.path) return GRF_ERROR_MEMORY;
        wcscpy(source.path, path);
    }
    Insert(client, place, source);
    return GRF_OK;
}

// ---------------------------------------------------------------------------
// The loose folder: its files as local-file records named data\ + their path
// under it.

struct Walk {
    GrfArchive* table;
    GrfClientSource* source;
    char name[GRF_NAME_SIZE * 2];  // the records' name so far: data\...\ (code page 949)
    size_t nameLength;
    size_t entered[kMostDepth + 1];  // nameLength before each folder walked into
    int depth;
    bool failed;  // out of memory
};

// The component in code page 949, appended to walk->name; false when it has
// a character that page lacks, a backslash, or would pass GRF_NAME_MAX.
bool AppendName(Walk* walk, const wchar_t* component) {
    size_t length = wcslen(component);
    bool ascii = true;
    for (size_t i = 0; i < length; ++i) {
        if (component[i] == L'\\') return false;
        ascii = ascii && component[i] < 0x80;
    }
    if (ascii) {
        if (walk->nameLength + length > GRF_NAME_MAX) return false;
        for (size_t i = 0; i < length; ++i)
            walk->name[walk->nameLength + i] = static_cast<char>(component[i]);
        walk->nameLength += length;
        walk->name[walk->nameLength] = '\0';
        return true;
    }
    char* narrow = PlatformWideToCp949(component);
    wchar_t* back = narrow ? PlatformCp949ToWide(narrow) : nullptr;
    if (!narrow || !back) walk->failed = true;
    size_t bytes = narrow ? strlen(narrow) : 0;
    bool fits = back && wcscmp(back, component) == 0 && walk->nameLength + bytes <= GRF_NAME_MAX;
    if (fits) {
        memcpy(walk->name + walk->nameLength, narrow, bytes + 1);
        walk->nameLength += bytes;
    }
    PlatformFree(narrow);
    PlatformFree(back);
    return fits;
}

bool AddLooseRecord(Walk* walk, uint64_t size) {
    GrfArchive* table = walk->table;
    if (!ReserveEntries(table, 1)) return false;
    GrfEntry& entry = table->entries[table->count];
    memcpy(entry.name, walk->name, walk->nameLength + 1);
    entry.realSize = entry.compressedSize = entry.alignedSize = static_cast<uint32_t>(size);
    entry.type = 1;
    entry.cycle = -1;
    entry.state = GRF_ENTRY_ON_DISK | GRF_ENTRY_NEW;
    ++table->count;
    table->entriesSize = table->count * static_cast<uint32_t>(sizeof(GrfEntry));
    return true;
}

void TrimName(Walk* walk, size_t length) {
    walk->name[length] = '\0';
    walk->nameLength = length;
}

WalkStep WalkVisit(const FolderItem& item, void* user) {
    auto* walk = static_cast<Walk*>(user);
    size_t nameLength = walk->nameLength;
    bool named = AppendName(walk, item.name);
    WalkStep step = WalkStep::kNext;
    if (!named || (!item.folder && item.size > 0xFFFFFFFFu)) {
        if (!item.folder) ++walk->source->skipped;
    } else if (!item.folder) {
        if (!AddLooseRecord(walk, item.size)) walk->failed = true;
    } else if (walk->depth < kMostDepth && walk->nameLength < GRF_NAME_MAX) {
        walk->entered[walk->depth++] = nameLength;
        walk->name[walk->nameLength++] = '\\';
        walk->name[walk->nameLength] = '\0';
        return WalkStep::kEnter;
    }
    TrimName(walk, nameLength);
    return walk->failed ? WalkStep::kStop : step;
}

void WalkLeave(void* user) {
    auto* walk = static_cast<Walk*>(user);
    TrimName(walk, walk->entered[--walk->depth]);
}

// Sorts the table's records by name. The records are large: their order is
// sorted as numbers, then each record moves once.
bool SortByName(GrfArchive* table) {
    uint32_t count = table->count;
    auto* order = static_cast<uint32_t*>(PlatformAlloc(size_t{count} * sizeof(uint32_t) + 1));
    auto* sorted =
        static_cast<GrfEntry*>(PlatformAlloc(size_t{table->capacity} * sizeof(GrfEntry)));
    if (!order || !sorted) {
        PlatformFree(order);
        PlatformFree(sorted);
        return false;
    }
    const GrfEntry* entries = table->entries;
    for (uint32_t i = 0; i < count; ++i) order[i] = i;
    std::sort(order, order + count, [entries](uint32_t a, uint32_t b) {
        return strcmp(entries[a].name, entries[b].name) < 0;
    });
    for (uint32_t i = 0; i < count; ++i) memcpy(&sorted[i], &entries[order[i]], sizeof(GrfEntry));
    PlatformFree(order);
    PlatformFree(table->entries);
    table->entries = sorted;
    return true;
}

// The loose source read into source->archive, a table made (on the
// caller's thread) with the data folder as its path: the walk touches
// nothing the engine shares, so it may run beside the archives' opening.
uint32_t ReadLooseFolder(GrfClientSource* source) {
    auto* walk = static_cast<Walk*>(PlatformAlloc(sizeof(Walk)));
    if (!walk) return GRF_ERROR_MEMORY;
    walk->table = source->archive;
    walk->source = source;
    memcpy(walk->name, "data\\", 6);
    walk->nameLength = 5;
    PlatformWalkTree(source->archive->path, WalkVisit, WalkLeave, walk);
    bool failed = walk->failed;
    PlatformFree(walk);
    GrfArchive* table = source->archive;
    // Listing order is the system's: sorted, the view is the same anywhere.
    bool made = !failed && (table->count == 0 || SortByName(table)) && NameIndexBuild(table);
    return made ? uint32_t{GRF_OK} : uint32_t{GRF_ERROR_MEMORY};
}

struct LooseJob {
    GrfClientSource source;
    uint32_t code;
};

void RunLooseJob(void* job) {
    auto* loose = static_cast<LooseJob*>(job);
    loose->code = ReadLooseFolder(&loose->source);
}

// Starts reading the loose folder on a worker (on this thread when no
// worker starts); FinishLooseFolder puts it first among the sources.
PlatformThread* StartLooseFolder(const wchar_t* dataFolder, LooseJob* job) {
    job->source = GrfClientSource{};
    job->source.loose = 1;
    job->source.archive = GrfCreate(dataFolder);
    if (job->source.archive == GRF_NO_ARCHIVE) {
        job->code = GrfLastError;
        return nullptr;
    }
    PlatformThread* worker = PlatformStartThread(RunLooseJob, job);
    if (!worker) RunLooseJob(job);
    return worker;
}

uint32_t FinishLooseFolder(GrfClient* client, PlatformThread* worker, LooseJob* job) {
    if (worker) PlatformJoinThread(worker);
    uint32_t code = job->code;
    if (code == GRF_OK && !MakeRoom(client)) code = GRF_ERROR_MEMORY;
    if (code != GRF_OK) {
        GrfClose(&job->source.archive);
        return code;
    }
    Insert(client, 0, job->source);
    return GRF_OK;
}

// The archives of the folder: DATA.INI's list when there is one, else the
// usual names that are there.
uint32_t AddFolderArchives(GrfClient* client, GrfProgressCallback progress) {
    wchar_t path[kPathRoom];
    uint32_t listed = 0;
    wchar_t* names = nullptr;
    if (FindInFolder(client->folder, L"data.ini", false, path, kPathRoom)) {
        names = GrfReadDataIni(path, &listed);
        if (!names) return GrfLastError;
    }
    uint32_t code = GRF_OK;
    if (names) {
        for (const wchar_t* name = names; code == GRF_OK && *name; name += wcslen(name) + 1) {
            // A name with folders in it is taken as written; a plain one in any case.
            bool plain = !wcspbrk(name, L"\\/");
            bool there = plain ? FindInFolder(client->folder, name, false, path, kPathRoom)
                               : JoinPath(client->folder, name, path, kPathRoom);
            if (there) code = AddArchive(client, path, client->sourceCount, progress);
        }
        GrfFreeBuffer(names);
        return code;
    }
    for (const wchar_t* name : kUsualArchives)
        if (code == GRF_OK && FindInFolder(client->folder, name, false, path, kPathRoom))
            code = AddArchive(client, path, client->sourceCount, progress);
    return code;
}

void FreeSources(GrfClient* client) {
    for (uint32_t s = 0; s < client->sourceCount; ++s) {
        GrfClose(&client->sources[s].archive);
        PlatformFree(client->sources[s].path);
    }
    PlatformFree(client->sources);
    client->sources = nullptr;
    client->sourceCount = client->sourceCapacity = 0;
}

void FreeClient(GrfClient* client) {
    FreeView(client);
    FreeSources(client);
    PlatformFree(client);
}

// The loose file's path: the data folder, then the name less "data\".
bool LoosePath(const GrfClient* client, uint32_t source, const GrfEntry& entry, wchar_t* out) {
    wchar_t* relative = FileNameOf(entry.name + 5);
    bool made =
        relative && JoinPath(client->sources[source].archive->path, relative, out, kPathRoom);
    PlatformFree(relative);
    return made;
}

}  // namespace

uint8_t* ReadLooseFile(const GrfClient* client, uint32_t source, const GrfEntry& entry,
                       uint32_t* size, uint32_t* code) {
    wchar_t path[kPathRoom];
    *code = GRF_ERROR_NOT_FOUND;
    if (!LoosePath(client, source, entry, path)) return nullptr;
    PlatformFile* file = PlatformOpenRead(path);
    if (!file) return nullptr;
    uint8_t* content = nullptr;
    if (PlatformFileSize(file) != entry.realSize) {
        *code = GRF_ERROR_CHANGED;
    } else if (!(content = static_cast<uint8_t*>(PlatformAlloc(size_t{entry.realSize} + 1024)))) {
        *code = GRF_ERROR_MEMORY;
    } else {
        uint32_t got = 0;
        bool read = entry.realSize == 0 || PlatformReadAt(file, 0, content, entry.realSize, &got);
        *code = !read ? GRF_ERROR_READ : got != entry.realSize ? GRF_ERROR_CHANGED : GRF_OK;
        if (*code != GRF_OK) {
            PlatformFree(content);
            content = nullptr;
        }
    }
    PlatformClose(file);
    if (content && size) *size = entry.realSize;
    return content;
}

namespace {

bool IsClient(const GrfClient* client) {
    return client != nullptr;
}

}  // namespace

extern "C" GrfClient* GrfOpenClient(const wchar_t* folder, uint32_t flags,
                                    GrfProgressCallback progress) {
    auto* client = static_cast<GrfClient*>(PlatformAlloc(sizeof(GrfClient)));
    if (!client) {
        GrfLastError = GRF_ERROR_MEMORY;
        return nullptr;
    }
    uint32_t code = GRF_OK;
    wchar_t dataFolder[kPathRoom];
    if (!folder || !PlatformAbsolutePath(folder, client->folder, GRF_PATH_SIZE)) {
        code = GRF_ERROR_NOT_FOUND;
    } else {
        Lookup probe{L"", true, {}, false};
        if (!PlatformListFolder(client->folder, FindVisit, &probe)) code = GRF_ERROR_NOT_FOUND;
    }
    // The loose folder is walked while the archives open: the walk waits on
    // the file system, the opening on memory and inflation.
    bool loose = code == GRF_OK && (flags & GRF_CLIENT_LOOSE) &&
                 FindInFolder(client->folder, L"data", true, dataFolder, kPathRoom);
    LooseJob looseJob{};
    PlatformThread* worker = loose ? StartLooseFolder(dataFolder, &looseJob) : nullptr;
    if (code == GRF_OK) code = AddFolderArchives(client, progress);
    if (loose) {
        uint32_t looseCode = FinishLooseFolder(client, worker, &looseJob);
        if (code == GRF_OK) code = looseCode;
    }
    if (code == GRF_OK && client->sourceCount == 0) code = GRF_ERROR_NO_CLIENT;
    if (code == GRF_OK) code = BuildView(client);
    if (code != GRF_OK) {
        FreeClient(client);
        GrfLastError = code;
        return nullptr;
    }
    GrfLastError = GRF_OK;
    return client;
}

extern "C" GrfClient* GrfNewClient(void) {
    auto* client = static_cast<GrfClient*>(PlatformAlloc(sizeof(GrfClient)));
    GrfLastError = client && BuildView(client) == GRF_OK ? GRF_OK : GRF_ERROR_MEMORY;
    if (GrfLastError != GRF_OK) {
        PlatformFree(client);
        return nullptr;
    }
    return client;
}

extern "C" uint32_t GrfAddClientArchive(GrfClient* client, const wchar_t* path, uint32_t place) {
    if (!IsClient(client) || !path) return GrfLastError = GRF_ERROR_HANDLE;
    if (!MakeRoom(client)) return GrfLastError = GRF_ERROR_MEMORY;
    GrfArchive* archive = GrfOpen(path, nullptr);
    if (archive == GRF_NO_ARCHIVE) return GrfLastError;
    if (place > client->sourceCount) place = client->sourceCount;
    GrfClientSource source{};
    source.archive = archive;
    Insert(client, place, source);
    uint32_t code = BuildView(client);
    if (code != GRF_OK) {
        // Back as it was: the source leaves again, the old view stays.
        memmove(client->sources + place, client->sources + place + 1,
                (client->sourceCount - place - 1) * sizeof(GrfClientSource));
        --client->sourceCount;
        GrfClose(&archive);
        BuildView(client);  // recounts the sources' numbers; the old table is kept if it fails
    }
    return GrfLastError = code;
}

extern "C" uint32_t GrfRefreshClient(GrfClient* client) {
    if (!IsClient(client)) return GrfLastError = GRF_ERROR_HANDLE;
    uint32_t reopened = 0;
    for (uint32_t s = 0; s < client->sourceCount; ++s) {
        GrfClientSource& source = client->sources[s];
        if (source.loose) {
            GrfArchive* old = source.archive;
            // Listed again into a table of its own, then swapped in.
            LooseJob job{};
            job.source.archive = GrfCreate(old->path);
            if (job.source.archive == GRF_NO_ARCHIVE) return GrfLastError;
            uint32_t code = ReadLooseFolder(&job.source);
            if (code != GRF_OK) {
                GrfClose(&job.source.archive);
                return GrfLastError = code;
            }
            source.archive = job.source.archive;
            source.skipped = job.source.skipped;
            GrfClose(&old);
            ++reopened;
            continue;
        }
        const wchar_t* path = source.archive != GRF_NO_ARCHIVE ? source.archive->path : source.path;
        PlatformFile* file = nullptr;
        if (source.archive != GRF_NO_ARCHIVE && OpenArchiveFile(source.archive, &file) == GRF_OK) {
            PlatformClose(file);
            continue;  // as it was
        }
        GrfArchive* archive = GrfOpen(path, nullptr);
        uint32_t error = archive == GRF_NO_ARCHIVE ? GrfLastError : uint32_t{GRF_OK};
        if (archive == GRF_NO_ARCHIVE && !source.path) {
            source.path =
                static_cast<wchar_t*>(PlatformAlloc((wcslen(path) + 1) * sizeof(wchar_t)));
            if (!source.path) return GrfLastError = GRF_ERROR_MEMORY;
            wcscpy(source.path, path);
        }
        GrfClose(&source.archive);
        source.archive = archive;
        source.error = error;
        if (archive != GRF_NO_ARCHIVE) {  // the path is the archive's own now
            PlatformFree(source.path);
            source.path = nullptr;
        }
        ++reopened;
    }
    uint32_t code = reopened ? BuildView(client) : uint32_t{GRF_OK};
    return GrfLastError = code;
}

extern "C" void GrfCloseClient(GrfClient** client) {
    if (!client || !*client) return;
    FreeClient(*client);
    *client = nullptr;
}

extern "C" uint32_t GrfFindClientName(const GrfClient* client, const char* name) {
    if (!IsClient(client) || !name) {
        GrfLastError = GRF_ERROR_HANDLE;
        return GRF_CLIENT_NONE;
    }
    if (!client->index) {
        GrfLastError = GRF_ERROR_NOT_FOUND;
        return GRF_CLIENT_NONE;
    }
    uint32_t number = client->index->slots[Probe(client, name, FoldedHash(name))].number;
    GrfLastError = number ? GRF_OK : GRF_ERROR_NOT_FOUND;
    return number ? number - 1 : GRF_CLIENT_NONE;
}

extern "C" GrfEntry* GrfClientRecord(const GrfClient* client, uint32_t source, uint32_t record) {
    return IsClient(client) ? const_cast<GrfEntry*>(RecordOf(client, source, record)) : nullptr;
}

extern "C" uint8_t* GrfReadClientRecord(GrfClient* client, uint32_t source, uint32_t record,
                                        uint32_t* size) {
    const GrfEntry* entry = IsClient(client) ? RecordOf(client, source, record) : nullptr;
    if (!entry) {
        GrfLastError = IsClient(client) ? GRF_ERROR_NOT_FOUND : GRF_ERROR_HANDLE;
        return nullptr;
    }
    if (!client->sources[source].loose)
        return GrfReadRecord(client->sources[source].archive, record, size);
    uint32_t code = GRF_OK;
    uint8_t* content = ReadLooseFile(client, source, *entry, size, &code);
    GrfLastError = code;
    return content;
}

extern "C" uint8_t* GrfReadClientName(GrfClient* client, uint32_t name, uint32_t* size) {
    if (!IsClient(client) || name >= client->nameCount) {
        GrfLastError = IsClient(client) ? GRF_ERROR_NOT_FOUND : GRF_ERROR_HANDLE;
        return nullptr;
    }
    const GrfClientName& n = client->names[name];
    return GrfReadClientRecord(client, n.source, n.record, size);
}

extern "C" uint32_t GrfExtractClientName(GrfExtractRun* run, GrfClient* client, uint32_t name) {
    if (!run || !IsClient(client)) return GrfLastError = GRF_ERROR_HANDLE;
    if (name >= client->nameCount) return GrfLastError = GRF_ERROR_NOT_FOUND;
    const GrfClientName& n = client->names[name];
    if (!client->sources[n.source].loose)
        return GrfExtractInRun(run, client->sources[n.source].archive, n.record);
    const GrfEntry& entry = client->sources[n.source].archive->entries[n.record];
    uint32_t code = GRF_OK, size = 0;
    uint8_t* content = ReadLooseFile(client, n.source, entry, &size, &code);
    if (content) code = ExtractContentInRun(run, entry, content);
    PlatformFree(content);
    return GrfLastError = code;
}

extern "C" uint64_t GrfClientTableBytes(const GrfClient* client) {
    if (!IsClient(client)) return 0;
    uint64_t bytes = uint64_t{client->nameCount + 1} * sizeof(GrfClientName) +
                     uint64_t{client->hiddenCount + 1} * sizeof(GrfClientCopy) +
                     uint64_t{client->sourceCapacity} * sizeof(GrfClientSource);
    if (client->index) bytes += sizeof(GrfClientIndex) + uint64_t{client->index->mask + 1} * 8;
    return bytes;
}
