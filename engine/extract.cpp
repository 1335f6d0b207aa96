// extract.cpp -- extraction of records into files under the current
// directory, and runs of extractions that never replace their own files.
#include "archive_internal.h"
#include "platform.h"

extern "C" uint8_t* GrfReadRecord(GrfArchive*, uint32_t, uint32_t*) {
    GrfLastError = GRF_ERROR_NOT_FOUND;
    return nullptr;
}

extern "C" wchar_t* GrfFileName(const char* name) {
    return name ? PlatformCp949ToWide(name) : nullptr;
}

extern "C" uint32_t GrfExtractRecord(GrfArchive*, uint32_t) {
    GrfLastError = GRF_ERROR_NOT_FOUND;
    return GrfLastError;
}

extern "C" GrfExtractRun* GrfBeginExtractRun(void) {
    GrfLastError = GRF_ERROR_MEMORY;
    return nullptr;
}

extern "C" uint32_t GrfExtractInRun(GrfExtractRun*, GrfArchive*, uint32_t) {
    GrfLastError = GRF_ERROR_HANDLE;
    return GrfLastError;
}

extern "C" uint32_t GrfExtractRunDuplicates(const GrfExtractRun*) {
    return 0;
}

extern "C" void GrfEndExtractRun(GrfExtractRun*) {}
