// archive_io.cpp -- the engine calls behind archive_io.h.
#include "archive_io.h"

#include <stdio.h>

#include <algorithm>
#include <random>
#include <system_error>

#include "console.h"
#include "errors.h"
#include "names.h"
#include "password.h"
#include "progress.h"

namespace caskw {

namespace fs = std::filesystem;

namespace {

// The last byte 32-bit offsets reach: they count from the header's end.
constexpr uint64_t kMaxBytes32 = 0xFFFFFFFFull + GRF_HEADER_SIZE;

std::string Quoted(const fs::path& path) {
    return PathToUtf8(path);
}

fs::path Absolute(const fs::path& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal();
}

// The engine writes a new file only, never over one.
bool RepackTo(GrfArchive* archive, const fs::path& written, std::string* why) {
    if (!ApplyWriteKey(archive, why)) return false;
    // Said before anything is written, with the sizes, not after 4 GB.
    uint64_t needed = GrfOutputBytes(archive, GrfRepackVersion);
    if (GrfRepackVersion < 0x300 && needed > kMaxBytes32) {
        char text[200];
        snprintf(text, sizeof text,
                 "it would take %llu bytes, more than the 4 GB a 0x%X archive can address; "
                 "--version 0x300 writes it",
                 static_cast<unsigned long long>(needed), GrfRepackVersion);
        *why = text;
        return false;
    }
    uint32_t total = archive->count;
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < total; ++i) bytes += archive->entries[i].alignedSize;
    ProgressBegin("writing", total, bytes);
    int32_t failed = GrfRepack(archive, EnginePath(written).c_str(), EngineProgress);
    ProgressEnd();
    if (failed == 0) return true;
    // The engine leaves nothing of a write that failed.
    *why = ErrorText(GrfLastError);
    return false;
}

}  // namespace

void ArchiveCloser::operator()(GrfArchive* archive) const {
    if (archive && archive != GRF_NO_ARCHIVE) GrfClose(&archive);
}

Archive OpenArchive(const fs::path& path, std::string* why) {
    std::wstring wide = EnginePath(Absolute(path));
    GrfArchive* archive = GrfOpen(wide.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) {
        uint32_t code = GrfLastError;
        std::error_code error;
        if (code == GRF_ERROR_NOT_FOUND && !fs::exists(path, error))
            *why = Quoted(path) + ": no such file";
        else
            *why = Quoted(path) + ": " + ErrorText(code);
        return nullptr;
    }
    Archive opened(archive);
    if (!ApplyReadKey(archive, why)) return nullptr;
    return opened;
}

bool LockArchive(const fs::path& path, ArchiveLock* lock, std::string* why) {
    lock->reset(GrfLockArchive(EnginePath(Absolute(path)).c_str()));
    if (*lock || GrfLastError != GRF_ERROR_IN_USE) return true;
    *why = Quoted(path) + ": " + ErrorText(GRF_ERROR_IN_USE);
    return false;
}

Archive CreateArchive(const fs::path& path, std::string* why) {
    GrfArchive* archive = GrfCreate(EnginePath(Absolute(path)).c_str());
    if (archive == GRF_NO_ARCHIVE) {
        *why = Quoted(path) + ": " + ErrorText(GrfLastError);
        return nullptr;
    }
    return Archive(archive);
}

uint32_t ArchiveVersion(const GrfArchive* archive) {
    const uint8_t* v = archive->header + GRF_HEADER_SIZE - 4;
    return uint32_t{v[0]} | uint32_t{v[1]} << 8 | uint32_t{v[2]} << 16 | uint32_t{v[3]} << 24;
}

bool SetOutputVersion(uint32_t version) {
    GrfSetVersion(version);
    return GrfRepackVersion == version;
}

bool SetOutputLevel(uint32_t level) {
    GrfSetCompressionLevel(level);
    return GrfRepackLevel == level;
}

uint32_t ReadRecord(GrfArchive* archive, uint32_t index, Content* content, uint32_t* size) {
    uint8_t* data = GrfReadRecord(archive, index, size);
    if (!data) return GrfLastError;
    content->reset(data);
    return GRF_OK;
}

void ReadRecords(GrfArchive* archive, const std::vector<uint32_t>& indices,
                 const RecordHandler& each) {
    auto reader = [](uint32_t index, const uint8_t* content, uint32_t size, uint32_t code,
                     void* user) -> int {
        return (*static_cast<const RecordHandler*>(user))(index, content, size, code) ? 0 : 1;
    };
    GrfReadRecords(archive, indices.data(), static_cast<uint32_t>(indices.size()), reader,
                   const_cast<RecordHandler*>(&each));
}

namespace {

uint64_t g_extractedBytes;

// Called on this thread in record order: the progress line, and a stop
// once the user interrupts.
int32_t ExtractProgress(GrfEntry* entry, uint32_t settled, uint32_t /*total*/) {
    if (entry) g_extractedBytes += entry->realSize;
    ProgressUpdate(settled, g_extractedBytes);
    return Interrupted() ? 1 : 0;
}

}  // namespace

void ExtractRecords(GrfArchive* archive, const std::vector<uint32_t>& indices, uint32_t threads,
                    std::vector<uint32_t>* results) {
    // One batch: a later record never replaces the file of an earlier one.
    results->assign(indices.size(), GRF_ERROR_CANCELLED);
    g_extractedBytes = 0;
    GrfExtractRecords(archive, indices.data(), static_cast<uint32_t>(indices.size()), threads,
                      ExtractProgress, results->data());
    if (GrfLastError == GRF_ERROR_MEMORY || GrfLastError == GRF_ERROR_HANDLE)
        results->assign(indices.size(), GrfLastError);
}

fs::path RecordFilePath(const GrfEntry& entry) {
    wchar_t* wide = GrfFileName(entry.name);
    std::string name = wide ? WideToUtf8(wide) : DisplayName(entry.name);
    GrfFreeBuffer(wide);
    std::replace(name.begin(), name.end(), '\\', '/');
    return PathFromUtf8(name).make_preferred();
}

fs::path ScratchPath(const fs::path& target, const char* suffix) {
    static std::mt19937_64 random{std::random_device{}()};
    fs::path folder = target.parent_path();
    for (;;) {
        // Appended piece by piece: GCC 12 warns falsely about "." + string.
        std::string name = ".";
        name += PathToUtf8(target.filename());
        name += ".caskw-";
        char digits[16];
        snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(random() & 0xFFFFFFFFu));
        name += digits;
        name += '.';
        name += suffix;
        fs::path path = folder / PathFromUtf8(name);
        std::error_code error;
        if (!fs::exists(fs::symlink_status(path, error))) return path;
    }
}

bool WriteArchive(GrfArchive* archive, const fs::path& target, std::string* why) {
    // A new name the engine gives itself, so that a kill leaves nothing
    // under another; a file that is there is replaced by renaming a new one
    // over it, written under a name the engine's next write of target
    // removes should a kill leave it.
    std::error_code error;
    if (!fs::exists(fs::symlink_status(target, error)) && !error)
        return RepackTo(archive, target, why);
    fs::path written = ScratchPath(target, "tmp");
    if (!RepackTo(archive, written, why)) return false;
    if (CommitFile(written, target, why)) return true;
    std::error_code ignored;
    fs::remove(written, ignored);
    return false;
}

bool SaveArchive(GrfArchive* archive, const fs::path& path, std::string* why) {
    std::error_code error;
    if (fs::is_symlink(path, error)) {
        *why = "it is a symbolic link; give -o OUT to write a new archive";
        return false;
    }
    // Only the new records and a new directory are written, after what the
    // file holds; the header switches to them last.
    uint32_t written = 0;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        written += !(entry.state & GRF_ENTRY_DELETED) &&
                   (entry.owner != archive || entry.state != GRF_ENTRY_IN_ARCHIVE);
    }
    if (!ApplyWriteKey(archive, why)) return false;
    ProgressBegin("saving", written, 0);
    int32_t failed = GrfSave(archive, EngineProgress);
    ProgressEnd();
    if (failed == 0) return true;
    uint32_t code = GrfLastError;
    if (code == GRF_ERROR_WRITE && ArchiveVersion(archive) < 0x300 &&
        GrfSaveBytes(archive) > uint64_t{0xFFFFFFFFu} + GRF_HEADER_SIZE) {
        *why =
            "it would grow past the 4 GB its version can address; give -o OUT --version 0x300 "
            "to write it anew as a 0x300 archive, which has no such limit";
        return false;
    }
    *why = ErrorText(code) + "; the file is as it was";
    return false;
}

}  // namespace caskw
