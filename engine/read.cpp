// read.cpp -- finding entries by name.
#include "archive_internal.h"

extern "C" GrfEntry* GrfFindEntry(GrfArchive* archive, const char* name) {
    if (archive == GRF_NO_ARCHIVE || !archive) {
        GrfLastError = GRF_ERROR_HANDLE;
        return nullptr;
    }
    GrfEntry* entry = archive->count ? NameIndexFind(archive, name) : nullptr;
    GrfLastError = entry ? GRF_OK : GRF_ERROR_NOT_FOUND;
    return entry;
}
