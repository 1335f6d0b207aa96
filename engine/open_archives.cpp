// open_archives.cpp -- the archives open in this process, so that nothing
// the engine writes replaces or removes the file one of them reads from: an
// entry named like its own archive, extracted beside it, would otherwise
// put itself in the archive's place.
#include "archive_internal.h"
#include "platform.h"

namespace {

GrfArchive** g_open = nullptr;
uint32_t g_count = 0;
uint32_t g_capacity = 0;

}  // namespace

bool RememberOpenArchive(GrfArchive* archive) {
    if (g_count == g_capacity) {
        uint32_t capacity = g_capacity ? g_capacity * 2 : 16;
        auto* grown =
            static_cast<GrfArchive**>(PlatformGrow(g_open, size_t{g_capacity} * sizeof(GrfArchive*),
                                                   size_t{capacity} * sizeof(GrfArchive*)));
        if (!grown) return false;
        g_open = grown;
        g_capacity = capacity;
    }
    g_open[g_count++] = archive;
    return true;
}

void ForgetOpenArchive(const GrfArchive* archive) {
    for (uint32_t i = 0; i < g_count; ++i) {
        if (g_open[i] != archive) continue;
        g_open[i] = g_open[--g_count];
        g_open[g_count] = nullptr;
        return;
    }
}

bool IsOpenArchiveFile(const GrfFileStamp& identity) {
    for (uint32_t i = 0; i < g_count; ++i) {
        const GrfFileStamp& stamp = g_open[i]->stamp;
        if (stamp.device == identity.device && stamp.file == identity.file) return true;
    }
    return false;
}
