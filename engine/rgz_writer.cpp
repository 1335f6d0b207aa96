// rgz_writer.cpp -- writing the table as a new RGZ patch file: a folder
// record before the first file of each folder, each file with its content,
// the end record, all one gzip stream; under a temporary name that becomes
// the output's only when the file is complete and on disk.
#include <string.h>
#include <wchar.h>
#include <zlib.h>

#include "archive_internal.h"
#include "platform.h"

namespace {

constexpr uint32_t kPiece = 1 << 16;

struct RgzWrite {
    PlatformFile* out = nullptr;
    z_stream z = {};
    uint8_t* buffer = nullptr;
    // Folders written so far, each a name NUL-ended, one after another.
    char* folders = nullptr;
    size_t foldersUsed = 0;
    size_t foldersRoom = 0;
};

// Deflates size bytes (flush Z_FINISH at the end) into the output.
bool Put(RgzWrite* w, const void* bytes, size_t size, int flush = Z_NO_FLUSH) {
    w->z.next_in = static_cast<Bytef*>(const_cast<void*>(bytes));
    w->z.avail_in = static_cast<uInt>(size);
    do {
        w->z.next_out = w->buffer;
        w->z.avail_out = kPiece;
        int result = deflate(&w->z, flush);
        if (result == Z_STREAM_ERROR) return false;
        uint32_t made = kPiece - w->z.avail_out;
        if (made && !PlatformWrite(w->out, w->buffer, made)) return false;
    } while (w->z.avail_out == 0 || w->z.avail_in != 0);
    return true;
}

bool PutRecordHead(RgzWrite* w, char type, const char* name, size_t length) {
    // The name field counts its NUL, as patchers write it.
    uint8_t head[2] = {static_cast<uint8_t>(type), static_cast<uint8_t>(length + 1)};
    return Put(w, head, 2) && Put(w, name, length) && Put(w, "", 1);
}

bool FolderWritten(const RgzWrite* w, const char* name, size_t length) {
    for (size_t at = 0; at < w->foldersUsed;) {
        size_t kept = strlen(w->folders + at);
        if (kept == length && memcmp(w->folders + at, name, length) == 0) return true;
        at += kept + 1;
    }
    return false;
}

// A folder record for every folder of name not written yet, outermost first.
uint32_t PutFolders(RgzWrite* w, const char* name) {
    for (const char* at = name; (at = strchr(at, '\\')) != nullptr; ++at) {
        size_t length = static_cast<size_t>(at - name);
        if (length == 0 || FolderWritten(w, name, length)) continue;
        if (w->foldersRoom - w->foldersUsed < length + 1) {
            size_t grown = (w->foldersRoom ? w->foldersRoom * 2 : 4096) + length + 1;
            auto* bigger = static_cast<char*>(PlatformGrow(w->folders, w->foldersRoom, grown));
            if (!bigger) return GRF_ERROR_MEMORY;
            w->folders = bigger;
            w->foldersRoom = grown;
        }
        memcpy(w->folders + w->foldersUsed, name, length);
        w->folders[w->foldersUsed + length] = '\0';
        w->foldersUsed += length + 1;
        if (!PutRecordHead(w, 'd', name, length)) return GRF_ERROR_WRITE;
    }
    return GRF_OK;
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A local-file record's file, in pieces.
uint32_t PutLocalFile(RgzWrite* w, const GrfArchive* archive, uint32_t index) {
    const GrfEntry& entry = archive->entries[index];
    wchar_t buffer[260 + GRF_NAME_SIZE + 1];
    const wchar_t* path = LocalPath(archive, index, buffer, sizeof buffer / sizeof buffer[0]);
    PlatformFile* file = path ? PlatformOpenRead(path) : nullptr;
    if (!file) return GRF_ERROR_NOT_FOUND;
    uint64_t length = PlatformFileSize(file);
    uint32_t code = GRF_OK;
    uint8_t size[4];
    PutLe32(size, static_cast<uint32_t>(length));
    if (length > 0xFFFFFFFFu)
        code = GRF_ERROR_READ;
    else if (!PutRecordHead(w, 'f', entry.name, strlen(entry.name)) || !Put(w, size, 4))
        code = GRF_ERROR_WRITE;
    auto* piece = static_cast<uint8_t*>(PlatformAlloc(kPiece));
    if (code == GRF_OK && !piece) code = GRF_ERROR_MEMORY;
    for (uint64_t done = 0; code == GRF_OK && done < length;) {
        uint32_t want = length - done < kPiece ? static_cast<uint32_t>(length - done) : kPiece;
        uint32_t got = 0;
        if (!PlatformRead(file, piece, want, &got) || got != want)
            code = GRF_ERROR_READ;
        else if (!Put(w, piece, got))
            code = GRF_ERROR_WRITE;
        done += got;
    }
    PlatformFree(piece);
    PlatformClose(file);
    return code;
}

// An archive record's content, read whole from its owner.
uint32_t PutArchiveRecord(RgzWrite* w, const GrfEntry& entry) {
    PlatformFile* file = nullptr;
    uint8_t* content = nullptr;
    uint32_t code = OpenStored(entry, &file);
    if (code == GRF_OK) code = ReadContentFrom(entry, file, &content);
    PlatformClose(file);
    uint8_t size[4];
    PutLe32(size, entry.realSize);
    if (code == GRF_OK && (!PutRecordHead(w, 'f', entry.name, strlen(entry.name)) ||
                           !Put(w, size, 4) || !Put(w, content, entry.realSize)))
        code = GRF_ERROR_WRITE;
    PlatformFree(content);
    return code == GRF_ERROR_NOT_FOUND ? uint32_t{GRF_ERROR_NOT_ARCHIVE} : code;
}

uint32_t WriteRecords(RgzWrite* w, GrfArchive* archive, GrfProgressCallback progress) {
    for (uint32_t i = 0; i < archive->count; ++i) {
        GrfEntry& entry = archive->entries[i];
        if (entry.state & (GRF_ENTRY_DELETED | GRF_ENTRY_REMOVAL)) continue;
        if (progress && progress(&entry, i, archive->count)) return GRF_ERROR_CANCELLED;
        uint32_t code = PutFolders(w, entry.name);
        if (code != GRF_OK) return code;
        bool local = (entry.state & GRF_ENTRY_ON_DISK) && !(entry.state & GRF_ENTRY_IN_ARCHIVE);
        code = local ? PutLocalFile(w, archive, i) : PutArchiveRecord(w, entry);
        if (code != GRF_OK) return code;
    }
    return PutRecordHead(w, 'e', "end", 3) && Put(w, nullptr, 0, Z_FINISH)
               ? uint32_t{GRF_OK}
               : uint32_t{GRF_ERROR_WRITE};
}

}  // namespace

extern "C" int32_t GrfWriteRgz(GrfArchive* archive, const wchar_t* outputPath,
                               GrfProgressCallback progress) {
    if (!archive || archive == GRF_NO_ARCHIVE || !outputPath) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 1;
    }
    if (PlatformPathExists(outputPath)) {
        GrfLastError = GRF_ERROR_NOT_FOUND;
        return 1;
    }
    RgzWrite w;
    uint32_t level = GrfRepackLevel >= 2 && GrfRepackLevel <= 9 ? GrfRepackLevel : 6;
    w.buffer = static_cast<uint8_t*>(PlatformAlloc(kPiece));
    uint32_t code = GRF_OK;
    if (!w.buffer || deflateInit2(&w.z, static_cast<int>(level), Z_DEFLATED, 16 + MAX_WBITS, 8,
                                  Z_DEFAULT_STRATEGY) != Z_OK) {
        PlatformFree(w.buffer);
        GrfLastError = GRF_ERROR_MEMORY;
        return 1;
    }
    PlatformNewFile* output = PlatformBeginNewFile(outputPath);
    w.out = output ? PlatformNewFileData(output) : nullptr;
    if (!w.out) code = OpenFailure();
    if (code == GRF_OK) code = WriteRecords(&w, archive, progress);
    if (code == GRF_OK && !PlatformFlush(w.out)) code = GRF_ERROR_WRITE;
    deflateEnd(&w.z);
    PlatformFree(w.buffer);
    PlatformFree(w.folders);
    if (code == GRF_OK && !PlatformFinishNewFile(output)) code = GRF_ERROR_NOT_FOUND;
    PlatformEndNewFile(output);
    GrfLastError = code;
    return code == GRF_OK ? 0 : 1;
}
