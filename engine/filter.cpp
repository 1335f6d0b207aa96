// filter.cpp -- the name filter: a find-first/find-next walk over the table
// in order, matching the part of each name after its last backslash against
// a wildcard pattern with the platform's match.
#include "archive_internal.h"
#include "platform.h"

#include <wchar.h>

namespace {

GrfSearch* const kNoSearch = reinterpret_cast<GrfSearch*>(-1);

// A name field holds at most 107 bytes, and no code page 949 byte sequence
// gives more wide characters than bytes, so this never needs the heap.
constexpr size_t kWideNameSize = GRF_NAME_SIZE + 1;
constexpr size_t kPatternSize = sizeof(GrfSearch{}.pattern) / sizeof(wchar_t);

bool Matches(const GrfEntry& entry, const wchar_t* pattern) {
    // "*.*" matches every name on both systems: none needs converting.
    if (wcscmp(pattern, L"*.*") == 0) return true;
    wchar_t wide[kWideNameSize];
    if (!PlatformCp949ToWideInto(entry.name, wide, kWideNameSize)) return false;
    const wchar_t* slash = wcsrchr(wide, L'\\');
    return PlatformMatchSpec(slash ? slash + 1 : wide, pattern);
}

// The first matching record at or after `from`, or the table's count. The
// count is read afresh: the table may have grown since the last step.
uint32_t NextMatch(const GrfArchive* archive, uint32_t from, const wchar_t* pattern) {
    uint32_t at = from;
    while (at < archive->count && !Matches(archive->entries[at], pattern)) ++at;
    return at;
}

}  // namespace

extern "C" GrfSearch* GrfFindFirst(GrfArchive* archive, const wchar_t* pattern, GrfEntry** found) {
    if (archive == GRF_NO_ARCHIVE || !archive) {
        GrfLastError = GRF_ERROR_HANDLE;
        return kNoSearch;
    }
    auto* search = static_cast<GrfSearch*>(PlatformAlloc(sizeof(GrfSearch)));
    if (!search) {
        GrfLastError = GRF_ERROR_MEMORY;
        return kNoSearch;
    }
    // Longer patterns are cut to the field; a missing one matches nothing.
    if (pattern) wcsncpy(search->pattern, pattern, kPatternSize - 1);
    uint32_t at = pattern ? NextMatch(archive, 0, search->pattern) : archive->count;
    if (at >= archive->count) {
        PlatformFree(search);
        GrfLastError = GRF_ERROR_NOT_FOUND;
        return kNoSearch;
    }
    search->archive = archive;
    search->next = at + 1;
    if (found) *found = &archive->entries[at];
    GrfLastError = GRF_OK;
    return search;
}

extern "C" uint32_t GrfFindNext(GrfSearch* search, GrfEntry** found) {
    if (!search || search == kNoSearch) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    const GrfArchive* archive = search->archive;
    uint32_t at = NextMatch(archive, search->next, search->pattern);
    if (at >= archive->count) {
        GrfLastError = GRF_ERROR_NO_MORE;
        return 0;
    }
    search->next = at + 1;
    if (found) *found = &archive->entries[at];
    GrfLastError = GRF_OK;
    return 1;
}
