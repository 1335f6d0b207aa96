// rgz.cpp -- opening RGZ patch files: one gzip stream of records (a folder,
// a file with its content, the end), inflated once through zlib's gzip
// support into a scratch file that then serves the entries' reads as an
// archive's file does. Every number comes from the stream and is checked
// against what follows before it is used.
#include <string.h>
#include <zlib.h>

#include "archive_internal.h"
#include "le_bytes.h"
#include "platform.h"
#include "rgz.h"
#include "thor.h"

namespace {

constexpr uint32_t kPiece = 1 << 16;

// The record being read, byte by byte as the stream gives them.
enum Stage { kType, kNameLength, kName, kSize, kContent, kEnded };

struct Parser {
    Stage stage = kType;
    uint8_t type = 0;
    uint32_t nameLength = 0;
    uint8_t name[256];
    uint32_t nameGot = 0;
    uint8_t size[4];
    uint32_t sizeGot = 0;
    uint32_t left = 0;    // content bytes still to come
    uint64_t offset = 0;  // bytes of the stream so far
    uint32_t code = GRF_OK;
};

// A file record's entry: its content at its place in the unpacked stream,
// stored as it stands (compressed = aligned = real size).
uint32_t AddFile(GrfArchive* archive, const Parser& p, uint32_t size) {
    size_t length = strnlen(reinterpret_cast<const char*>(p.name), p.nameLength);
    if (length == 0 || length > GRF_NAME_MAX) return GRF_ERROR_NOT_ARCHIVE;
    if (!ReserveEntries(archive, 1)) return GRF_ERROR_MEMORY;
    GrfEntry& entry = archive->entries[archive->count++];
    memset(&entry, 0, sizeof entry);
    memcpy(entry.name, p.name, length);
    entry.owner = archive;
    entry.cycle = -1;
    entry.type = 1;
    entry.position = p.offset;
    entry.compressedSize = entry.alignedSize = entry.realSize = size;
    entry.state = GRF_ENTRY_IN_ARCHIVE;
    return GRF_OK;
}

// The record whose name was just read: a folder, a file, or the end.
uint32_t NameRead(Parser* p) {
    size_t length = strnlen(reinterpret_cast<const char*>(p->name), p->nameLength);
    switch (p->type) {
        case 'd':
            // Folders are made for the files in them; nothing to keep.
            p->stage = length ? kType : kEnded;
            return length ? uint32_t{GRF_OK} : uint32_t{GRF_ERROR_NOT_ARCHIVE};
        case 'e':
            p->stage = kEnded;
            return GRF_OK;
        default:  // 'f'
            p->stage = kSize;
            p->sizeGot = 0;
            return GRF_OK;
    }
}

// Takes the next bytes of the unpacked stream.
void Parse(GrfArchive* archive, Parser* p, const uint8_t* bytes, uint32_t size) {
    for (uint32_t i = 0; i < size && p->code == GRF_OK && p->stage != kEnded;) {
        switch (p->stage) {
            case kType:
                p->type = bytes[i++];
                ++p->offset;
                if (p->type != 'd' && p->type != 'f' && p->type != 'e')
                    p->code = GRF_ERROR_NOT_ARCHIVE;
                p->stage = kNameLength;
                break;
            case kNameLength:
                p->nameLength = bytes[i++];
                ++p->offset;
                p->nameGot = 0;
                memset(p->name, 0, sizeof p->name);
                p->stage = kName;
                if (p->nameLength == 0) p->code = NameRead(p);
                break;
            case kName: {
                uint32_t take = p->nameLength - p->nameGot;
                if (take > size - i) take = size - i;
                memcpy(p->name + p->nameGot, bytes + i, take);
                p->nameGot += take;
                i += take;
                p->offset += take;
                if (p->nameGot == p->nameLength) p->code = NameRead(p);
                break;
            }
            case kSize:
                p->size[p->sizeGot++] = bytes[i++];
                ++p->offset;
                if (p->sizeGot < 4) break;
                p->left = GetLe32(p->size);
                p->code = AddFile(archive, *p, p->left);
                p->stage = p->left ? kContent : kType;
                break;
            case kContent: {
                uint32_t take = p->left < size - i ? p->left : size - i;
                p->left -= take;
                i += take;
                p->offset += take;
                if (p->left == 0) p->stage = kType;
                break;
            }
            case kEnded:
                break;
        }
    }
}

// Inflates the gzip stream (members one after another) from file into the
// scratch file and the parser, until the end record. GRF_OK;
// GRF_ERROR_CUT_SHORT when the stream or a record ends before the end
// record; GRF_ERROR_NOT_ARCHIVE for a stream or record that is not one;
// GRF_ERROR_WRITE when the scratch file cannot take it.
uint32_t Unpack(GrfArchive* archive, PlatformFile* file, PlatformFile* scratch,
                GrfProgressCallback progress) {
    auto* in = static_cast<uint8_t*>(PlatformAlloc(kPiece));
    auto* out = static_cast<uint8_t*>(PlatformAlloc(kPiece));
    z_stream z = {};
    // gzip only: a bare zlib stream is no RGZ.
    bool started = in && out && inflateInit2(&z, 16 + MAX_WBITS) == Z_OK;
    if (!started) {
        PlatformFree(in);
        PlatformFree(out);
        return GRF_ERROR_MEMORY;
    }
    Parser p;
    uint32_t code = GRF_OK;
    bool fileEnded = false, memberEnded = false;
    // On to the end of the member that holds the end record: its check
    // covers the records too.
    while (code == GRF_OK && p.code == GRF_OK && !(p.stage == kEnded && memberEnded)) {
        if (z.avail_in == 0 && !fileEnded) {
            uint32_t got = 0;
            if (!PlatformRead(file, in, kPiece, &got)) {
                code = GRF_ERROR_READ;
                break;
            }
            fileEnded = got == 0;
            z.next_in = in;
            z.avail_in = got;
        }
        z.next_out = out;
        z.avail_out = kPiece;
        int result = inflate(&z, Z_NO_FLUSH);
        uint32_t made = kPiece - z.avail_out;
        if (made && !PlatformWrite(scratch, out, made)) code = GRF_ERROR_WRITE;
        Parse(archive, &p, out, made);
        if (progress) progress(nullptr, archive->count, 0);
        memberEnded = result == Z_STREAM_END;
        if (memberEnded && p.stage != kEnded) {
            inflateReset(&z);  // another member may follow
        } else if (result == Z_BUF_ERROR) {
            // No progress: only more input would help.
            if (fileEnded && z.avail_in == 0) code = GRF_ERROR_CUT_SHORT;
        } else if (result == Z_MEM_ERROR) {
            code = GRF_ERROR_MEMORY;
        } else if (result != Z_OK && result != Z_STREAM_END) {
            code = GRF_ERROR_NOT_ARCHIVE;
        }
    }
    inflateEnd(&z);
    PlatformFree(in);
    PlatformFree(out);
    return code != GRF_OK ? code : p.code;
}

}  // namespace

bool IsRgzHeader(const uint8_t* bytes, uint32_t size) {
    // gzip's magic and its one method, deflate.
    return size >= 3 && bytes[0] == 0x1F && bytes[1] == 0x8B && bytes[2] == 8;
}

uint32_t OpenRgz(GrfArchive* archive, PlatformFile* file, GrfProgressCallback progress) {
    auto* info = static_cast<GrfPatchInfo*>(PlatformAlloc(sizeof(GrfPatchInfo)));
    auto* unpacked = static_cast<wchar_t*>(PlatformAlloc(GRF_PATH_SIZE * sizeof(wchar_t)));
    if (!info || !unpacked) {
        PlatformFree(info);
        PlatformFree(unpacked);
        return GRF_ERROR_MEMORY;
    }
    info->mergeMode = GRF_PATCH_LOOSE;  // its files go into the client folder
    info->layout = GRF_PATCH_LAYOUT_RGZ;
    archive->patch = info;
    memset(archive->header, 0, GRF_HEADER_SIZE);
    wchar_t folder[GRF_PATH_SIZE], base[GRF_PATH_SIZE];
    if (!PlatformScratchFolder(folder, GRF_PATH_SIZE) || wcslen(folder) + 16 >= GRF_PATH_SIZE) {
        PlatformFree(unpacked);
        return GRF_ERROR_WRITE;
    }
    wcscpy(base, folder);
    wcscat(base, L"caskwright-rgz");
    PlatformFile* scratch = PlatformCreateScratch(base, unpacked, GRF_PATH_SIZE);
    if (!scratch) {
        PlatformFree(unpacked);
        return GRF_ERROR_WRITE;
    }
    archive->unpacked = unpacked;
    if (!PlatformSeek(file, 0)) {
        PlatformClose(scratch);
        return GRF_ERROR_READ;
    }
    uint32_t code = Unpack(archive, file, scratch, progress);
    // From now on the scratch file is the archive's file: reads open it and
    // check it against this stamp.
    if (code == GRF_OK && !PlatformStampOf(scratch, &archive->stamp)) code = GRF_ERROR_READ;
    PlatformClose(scratch);
    if (code != GRF_OK) return code;
    info->fileCount = archive->count;
    archive->entriesSize = archive->count * static_cast<uint32_t>(sizeof(GrfEntry));
    if (!NameIndexBuild(archive)) return GRF_ERROR_MEMORY;
    uint32_t before = archive->count;
    KeepLastOfEachName(archive);
    if (archive->count == before) return GRF_OK;
    archive->entriesSize = archive->count * static_cast<uint32_t>(sizeof(GrfEntry));
    return NameIndexBuild(archive) ? GRF_OK : GRF_ERROR_MEMORY;
}

void ForgetUnpacked(GrfArchive* archive) {
    if (!archive->unpacked) return;
    PlatformDeleteFile(archive->unpacked);
    PlatformFree(archive->unpacked);
    archive->unpacked = nullptr;
}
