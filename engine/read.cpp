// read.cpp -- finding entries by name.
#include "archive_internal.h"
#include "platform.h"

extern "C" GrfEntry* GrfFindEntry(GrfArchive* archive, const char* name) {
    if (archive == GRF_NO_ARCHIVE || !archive) {
        GrfLastError = GRF_ERROR_HANDLE;
        return nullptr;
    }
    GrfEntry* entry = archive->count ? NameIndexFind(archive, name) : nullptr;
    GrfLastError = entry ? GRF_OK : GRF_ERROR_NOT_FOUND;
    return entry;
}

extern "C" int GrfFreeBuffer(void* block) {
    if (!block || block == reinterpret_cast<void*>(-1)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    PlatformFree(block);
    GrfLastError = GRF_OK;
    return 1;
}

extern "C" wchar_t* Cp949ToWide(const char* text) {
    return text ? PlatformCp949ToWide(text) : nullptr;
}

extern "C" char* WideToCp949(const wchar_t* text) {
    return text ? PlatformWideToCp949(text) : nullptr;
}
