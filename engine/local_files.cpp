// local_files.cpp -- where each local-file record's content is: a path kept
// per record, beside the table, so that files added from several folders
// each keep their own.
#include <string.h>
#include <wchar.h>

#include "archive_internal.h"
#include "platform.h"

// Paths of local-file records, in the order of their record indices (records
// are only ever appended, so appending keeps the order).
struct GrfLocalFiles {
    uint32_t* indices;
    wchar_t** paths;
    uint32_t count;
    uint32_t capacity;
};

namespace {

bool Grow(GrfLocalFiles* files) {
    if (files->count < files->capacity) return true;
    uint32_t capacity = files->capacity ? files->capacity * 2 : 16;
    if (capacity <= files->capacity) return false;
    auto* indices = static_cast<uint32_t*>(PlatformGrow(files->indices,
                                                        size_t{files->capacity} * sizeof(uint32_t),
                                                        size_t{capacity} * sizeof(uint32_t)));
    if (!indices) return false;
    files->indices = indices;
    auto* paths = static_cast<wchar_t**>(PlatformGrow(files->paths,
                                                      size_t{files->capacity} * sizeof(wchar_t*),
                                                      size_t{capacity} * sizeof(wchar_t*)));
    if (!paths) return false;  // the larger index block is kept: no harm
    files->paths = paths;
    files->capacity = capacity;
    return true;
}

}  // namespace

bool LocalFileReserve(GrfArchive* archive) {
    if (!archive->localFiles) {
        archive->localFiles = static_cast<GrfLocalFiles*>(PlatformAlloc(sizeof(GrfLocalFiles)));
        if (!archive->localFiles) return false;
    }
    return Grow(archive->localFiles);
}

bool LocalFileAdd(GrfArchive* archive, uint32_t index, const wchar_t* path) {
    GrfLocalFiles* files = archive->localFiles;
    if (!files || files->count == files->capacity) return false;
    size_t length = wcslen(path);
    auto* copy = static_cast<wchar_t*>(PlatformAlloc((length + 1) * sizeof(wchar_t)));
    if (!copy) return false;
    wmemcpy(copy, path, length + 1);
    files->indices[files->count] = index;
    files->paths[files->count] = copy;
    ++files->count;
    return true;
}

void LocalFileForget(GrfArchive* archive, uint32_t index) {
    GrfLocalFiles* files = archive->localFiles;
    if (!files || files->count == 0 || files->indices[files->count - 1] != index) return;
    --files->count;
    PlatformFree(files->paths[files->count]);
    files->paths[files->count] = nullptr;
}

const wchar_t* LocalFileOf(const GrfArchive* archive, uint32_t index) {
    const GrfLocalFiles* files = archive->localFiles;
    if (!files) return nullptr;
    uint32_t low = 0, high = files->count;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (files->indices[middle] < index)
            low = middle + 1;
        else
            high = middle;
    }
    return low < files->count && files->indices[low] == index ? files->paths[low] : nullptr;
}

void LocalFilesFree(GrfArchive* archive) {
    GrfLocalFiles* files = archive->localFiles;
    if (!files) return;
    for (uint32_t i = 0; i < files->count; ++i) PlatformFree(files->paths[i]);
    PlatformFree(files->indices);
    PlatformFree(files->paths);
    PlatformFree(files);
    archive->localFiles = nullptr;
}
