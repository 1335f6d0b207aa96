// extract.cpp -- extraction of records into files under the current
// directory: the names it refuses, the file names of records, the content
// inflated to the file in pieces, and runs of extractions that never replace
// their own files. The platform layer walks the folders and puts each file
// in place (PlatformBeginOutput); everything here is portable.
#include <string.h>
#include <wchar.h>
#include <zlib.h>

#include "archive_internal.h"
#include "extract_internal.h"
#include "grf_format.h"
#include "keyed.h"
#include "platform.h"
#include "stored_method.h"

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

// Comments on the functions shared with extract_records.cpp are in
// extract_internal.h.

bool IsSafeName(const wchar_t* name) {
    if (name[0] == L'\0' || IsSeparator(name[0])) return false;
    if (name[1] == L':') return false;
    const wchar_t* start = name;
    for (const wchar_t* at = name;; ++at) {
        if (*at != L'\0' && !IsSeparator(*at)) continue;
        size_t dots = 0;
        bool onlyDots = true;
        for (const wchar_t* c = start; c < at; ++c) {
            if (*c == L'.')
                ++dots;
            else if (*c != L' ')
                onlyDots = false;
        }
        if (onlyDots && dots >= 2) return false;
        if (PlatformRefusesComponent(start, static_cast<size_t>(at - start))) return false;
        if (*at == L'\0') return true;
        start = at + 1;
    }
}

namespace {

// The last component names the file: one that is empty or "." names a
// folder, which extraction never writes.
bool NamesAFile(const wchar_t* name) {
    const wchar_t* last = name;
    for (const wchar_t* at = name; *at; ++at)
        if (IsSeparator(*at)) last = at + 1;
    return last[0] != L'\0' && wcscmp(last, L".") != 0;
}

// Pieces of this size (a whole number of cipher blocks) are read and
// inflated at a time, so memory stays the same for any entry.
constexpr uint32_t kPiece = 1 << 20;
static_assert(kPiece % grf::kCipherBlock == 0);

struct Pieces {
    uint8_t* in = nullptr;
    uint32_t inSize = 0;
    uint8_t* out = nullptr;
    uint32_t outSize = 0;
};

// Whole blocks up to the end of n stored bytes.
uint64_t WholeBlocks(uint64_t n) {
    return (n + grf::kCipherBlock - 1) / grf::kCipherBlock * grf::kCipherBlock;
}

// Pieces no larger than the entry needs: small entries stay cheap.
bool AllocatePieces(const GrfEntry& entry, Pieces* p) {
    uint64_t stored = WholeBlocks(entry.alignedSize);
    p->inSize = stored == 0 ? grf::kCipherBlock : stored < kPiece ? uint32_t(stored) : kPiece;
    p->outSize = entry.realSize < kPiece ? entry.realSize + 1 : kPiece;
    p->in = static_cast<uint8_t*>(PlatformAlloc(p->inSize));
    p->out = static_cast<uint8_t*>(PlatformAlloc(p->outSize));
    return p->in && p->out;
}

void FreePieces(Pieces* p) {
    PlatformFree(p->in);
    PlatformFree(p->out);
}

// Hands inflated or stored content on to the output, refusing more than
// the entry's real size.
struct Sink {
    PlatformOutput* output;
    uint64_t written = 0;
    uint32_t realSize;
};

uint32_t Put(Sink* sink, const uint8_t* bytes, uint32_t size) {
    if (size == 0) return GRF_OK;
    if (size > sink->realSize - sink->written) return GRF_ERROR_INFLATE;
    sink->written += size;
    return PlatformWriteOutput(sink->output, bytes, size) ? GRF_OK : GRF_ERROR_OUTPUT;
}

// Inflates what the z_stream holds as input into the sink.
uint32_t InflateInto(z_stream* z, Pieces* p, Sink* sink, bool* ended) {
    do {
        z->next_out = p->out;
        z->avail_out = p->outSize;
        int result = inflate(z, Z_NO_FLUSH);
        uint32_t code = Put(sink, p->out, p->outSize - z->avail_out);
        if (code != GRF_OK) return code;
        if (result == Z_STREAM_END) {
            *ended = true;
            return GRF_OK;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) return GRF_ERROR_INFLATE;
    } while (z->avail_out == 0);
    return GRF_OK;
}

// Decodes what an LZMA entry's piece holds into the sink; the first piece
// starts the decoder with the properties in front of the stream. The
// content ends at its real size, whether or not the stream marks its end.
uint32_t DecodeLzmaInto(LzmaDecoder** decoder, const uint8_t* in, size_t size, Pieces* p,
                        Sink* sink, bool* ended) {
    if (!*decoder) {
        if (size < grf::kLzmaHead) return GRF_ERROR_INFLATE;
        uint32_t code = LzmaBegin(in + 1, sink->realSize, decoder);
        if (code != GRF_OK) return code;
        in += grf::kLzmaHead;
        size -= grf::kLzmaHead;
    }
    for (;;) {
        uint64_t left = sink->realSize - sink->written;
        size_t room = left < p->outSize ? static_cast<size_t>(left) : p->outSize;
        size_t used = 0, made = 0;
        bool streamEnd = false;
        uint32_t code = LzmaRun(*decoder, in, size, &used, p->out, room, &made, &streamEnd);
        if (code == GRF_OK) code = Put(sink, p->out, static_cast<uint32_t>(made));
        if (code != GRF_OK) return code;
        in += used;
        size -= used;
        if (sink->written == sink->realSize) {
            *ended = true;
            return GRF_OK;
        }
        if (streamEnd) return GRF_ERROR_INFLATE;  // ended short of the content
        if (made < room) return GRF_OK;           // wants more input
    }
}

// Writes entry's content to the output: its stored bytes, read from file
// (positioned at them) piece by piece and deciphered, then inflated or
// decoded, or, when plain, taken as the content as they stand. The same
// bytes as GrfReadEntry gives, which deciphers the whole stored bytes padded
// with zeros to a whole block and decodes their first compressedSize.
uint32_t StreamContent(const GrfEntry& entry, PlatformFile* file, StoredMethod method, Pieces* p,
                       PlatformOutput* output) {
    bool plain = method == kMethodPlain;
    Sink sink{output, 0, entry.realSize};
    EntryCipher cipher;
    if (entry.cycle >= 0) EntryCipherStart(&cipher, entry.cycle, entry.cycle == 0, true);
    z_stream z = {};
    LzmaDecoder* lzma = nullptr;
    if (method == kMethodZlib && inflateInit(&z) != Z_OK) return GRF_ERROR_MEMORY;
    // The stored bytes that count, and those read: up to the end of their
    // last block, as far as the stored bytes go (zeros beyond).
    uint64_t used = plain ? entry.realSize : entry.compressedSize;
    uint64_t limit = WholeBlocks(used) < entry.alignedSize ? WholeBlocks(used) : entry.alignedSize;
    uint64_t done = 0;
    bool ended = false;
    uint32_t code = GRF_OK;
    while (code == GRF_OK && !ended && done < used) {
        uint32_t take = static_cast<uint32_t>(limit - done < p->inSize ? limit - done : p->inSize);
        uint32_t got = 0;
        if (!PlatformRead(file, p->in, take, &got) || got != take) {
            code = GRF_ERROR_READ;
            break;
        }
        uint32_t blocks = static_cast<uint32_t>(WholeBlocks(take));
        memset(p->in + take, 0, blocks - take);  // past the stored bytes, as GrfReadEntry has it
        if (entry.cycle >= 0) EntryCipherRun(&cipher, p->in, blocks / grf::kCipherBlock);
        uint32_t useful = static_cast<uint32_t>(used - done < take ? used - done : take);
        done += take;
        if (plain) {
            code = Put(&sink, p->in, useful);
        } else if (method == kMethodLzma) {
            code = DecodeLzmaInto(&lzma, p->in, useful, p, &sink, &ended);
        } else {
            z.next_in = p->in;
            z.avail_in = useful;
            code = InflateInto(&z, p, &sink, &ended);
        }
    }
    if (method == kMethodZlib) inflateEnd(&z);
    LzmaEnd(lzma);
    if (code == GRF_OK && ((!plain && !ended) || sink.written != entry.realSize))
        code = GRF_ERROR_INFLATE;
    return code;
}

// The method of entry's stored bytes, told from their first block
// deciphered; file is left positioned at them again.
uint32_t PeekMethod(const GrfEntry& entry, PlatformFile* file, StoredMethod* method) {
    uint8_t head[grf::kCipherBlock] = {};
    uint32_t take = entry.alignedSize < grf::kCipherBlock ? entry.alignedSize : grf::kCipherBlock;
    uint32_t got = 0;
    if (!PlatformRead(file, head, take, &got) || got != take) return GRF_ERROR_READ;
    if (entry.cycle >= 0) {
        EntryCipher cipher;
        EntryCipherStart(&cipher, entry.cycle, entry.cycle == 0, true);
        EntryCipherRun(&cipher, head, 1);
    }
    uint32_t available = entry.compressedSize < take ? entry.compressedSize : take;
    *method = MethodOf(entry, head, available);
    return PlatformSeek(file, entry.position) ? uint32_t{GRF_OK} : uint32_t{GRF_ERROR_SEEK};
}

}  // namespace

void ReleaseSource(Reuse* reuse) {
    FreeReadWindow(&reuse->window);
    PlatformClose(reuse->file);
    reuse->file = nullptr;
    reuse->owner = nullptr;
}

namespace {

// The file of entry's owner, checked as OpenStored checks it; kept in
// reuse. Reads say where: the whole path needs no seek. Bytes already read
// ahead were read just after a check, so an entry among them needs none.
uint32_t OpenSource(const GrfEntry& entry, Reuse* reuse, PlatformFile** file) {
    *file = nullptr;
    if (!entry.owner || entry.owner == GRF_NO_ARCHIVE) return GRF_ERROR_NOT_FOUND;
    bool kept = reuse->file && reuse->owner == entry.owner;
    if (!kept || (!WindowHolds(reuse->window, entry) &&
                  CheckArchiveFile(entry.owner, reuse->file) != GRF_OK)) {
        ReleaseSource(reuse);
        uint32_t code = OpenArchiveFile(entry.owner, &reuse->file);
        if (code != GRF_OK) return code;
        reuse->owner = entry.owner;
    }
    *file = reuse->file;
    return StoredPlace(entry);
}

uint32_t OutputCode(PlatformOutputResult result) {
    if (result == kOutputDone) return GRF_OK;
    return result == kOutputLink ? GRF_ERROR_UNSAFE_NAME : GRF_ERROR_OUTPUT;
}

// Begins the output for fileName, refusing a name that an open archive's
// file has: the file would take the place of the archive being read.
uint32_t BeginOutput(const wchar_t* fileName, PlatformFolders* folders, PlatformOutput** output) {
    uint32_t code = OutputCode(PlatformBeginOutput(fileName, folders, output));
    if (code != GRF_OK) return code;
    GrfFileStamp there = {};
    if (!PlatformFinalIdentity(*output, &there) || !IsOpenArchiveFile(there)) return GRF_OK;
    PlatformAbandonOutput(*output);
    *output = nullptr;
    return GRF_ERROR_OPEN_ARCHIVE;
}

// One attempt at the file: a new output, the content, then the rename.
uint32_t WriteContent(const GrfEntry& entry, PlatformFile* file, StoredMethod method, Pieces* p,
                      const wchar_t* fileName, Reuse* reuse) {
    PlatformOutput* output = nullptr;
    uint32_t code = BeginOutput(fileName, reuse->folders, &output);
    if (code != GRF_OK) return code;
    if (entry.realSize != 0) code = StreamContent(entry, file, method, p, output);
    if (code != GRF_OK) {
        PlatformAbandonOutput(output);
        return code;
    }
    return OutputCode(PlatformCommitOutput(output));
}

// Entries of up to 64 MB (stored and inflated) are read and inflated whole,
// at libdeflate's speed: a worker then holds at most 128 MB (the stored
// bytes and the content) besides its read window. Larger ones go in pieces
// through zlib, so that memory stays bounded whatever the entry's size.
constexpr uint32_t kWholeLimit = 64 << 20;

// Writes the content read whole to the output in one step.
uint32_t WriteWhole(const GrfEntry& entry, PlatformFile* file, const wchar_t* fileName,
                    Reuse* reuse) {
    uint8_t* content = nullptr;
    uint32_t code = ReadContentFrom(entry, file, &content, &reuse->window);
    PlatformOutput* output = nullptr;
    if (code == GRF_OK) code = BeginOutput(fileName, reuse->folders, &output);
    if (code == GRF_OK && entry.realSize != 0 &&
        !PlatformWriteOutput(output, content, entry.realSize)) {
        PlatformAbandonOutput(output);
        code = GRF_ERROR_OUTPUT;
    } else if (code == GRF_OK) {
        code = OutputCode(PlatformCommitOutput(output));
    }
    PlatformFree(content);
    return code;
}

}  // namespace

uint32_t ExtractTo(const GrfEntry& entry, const wchar_t* fileName, Reuse* reuse) {
    if (!NamesAFile(fileName)) return GRF_ERROR_OUTPUT;
    if (entry.cycle == GRF_CYCLE_FOREIGN && entry.realSize != 0) return GRF_ERROR_METHOD;
    PlatformFile* file = nullptr;
    uint32_t code = OpenSource(entry, reuse, &file);
    if (code != GRF_OK) return code;
    if (entry.realSize <= kWholeLimit && entry.alignedSize <= kWholeLimit)
        return WriteWhole(entry, file, fileName, reuse);
    // The stream would run past the stored bytes.
    if (entry.compressedSize > entry.alignedSize) return GRF_ERROR_READ;
    if (!PlatformSeek(file, entry.position)) return GRF_ERROR_SEEK;
    StoredMethod method = kMethodZlib;
    if (entry.realSize != 0 && (code = PeekMethod(entry, file, &method)) != GRF_OK) return code;
    // Keyed records are decrypted whole, as reads do.
    bool keyed = MayBeKeyed(entry) && ReadKeyOf(entry);
    if (method == kMethodForeign && keyed) return WriteWhole(entry, file, fileName, reuse);
    if (method == kMethodForeign)
        return MayBeKeyed(entry) ? GRF_ERROR_NEEDS_PASSWORD : GRF_ERROR_METHOD;
    bool storedPlain = entry.compressedSize == entry.realSize;
    uint64_t ratio = method == kMethodLzma ? grf::kMaxLzmaRatio : grf::kMaxInflateRatio;
    if (!storedPlain && entry.realSize > entry.compressedSize * ratio) return GRF_ERROR_INFLATE;
    Pieces pieces;
    if (!AllocatePieces(entry, &pieces))
        code = GRF_ERROR_MEMORY;
    else
        code = WriteContent(entry, file, method, &pieces, fileName, reuse);
    if (code == GRF_ERROR_INFLATE && storedPlain && method == kMethodZlib)
        code = PlatformSeek(file, entry.position)
                   ? WriteContent(entry, file, kMethodPlain, &pieces, fileName, reuse)
                   : uint32_t{GRF_ERROR_SEEK};
    FreePieces(&pieces);
    // Keyed bytes that start like zlib or LZMA by chance.
    if (code == GRF_ERROR_INFLATE && keyed && !storedPlain)
        code = WriteWhole(entry, file, fileName, reuse);
    return code;
}

namespace {

// ExtractTo for one extraction alone: nothing kept afterwards.
uint32_t ExtractAlone(const GrfEntry& entry, const wchar_t* fileName) {
    Reuse reuse;
    uint32_t code = ExtractTo(entry, fileName, &reuse);
    ReleaseSource(&reuse);
    return code;
}

const GrfEntry* RecordAt(const GrfArchive* archive, uint32_t index, uint32_t* code) {
    if (archive == GRF_NO_ARCHIVE || !archive) {
        *code = GRF_ERROR_HANDLE;
        return nullptr;
    }
    if (index >= archive->count) {
        *code = GRF_ERROR_NOT_FOUND;
        return nullptr;
    }
    return &archive->entries[index];
}

}  // namespace

wchar_t* FileNameOf(const char* name) {
    size_t length = strlen(name);
    auto* out = static_cast<wchar_t*>(PlatformAlloc((3 * length + 1) * sizeof(wchar_t)));
    if (!out) return nullptr;
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    size_t n = 0;
    for (size_t at = 0; at < length;) {
        size_t used = PlatformCp949CharToWide(name + at, length - at, out + n);
        if (used) {
            at += used;
            ++n;
            continue;
        }
        uint8_t byte = static_cast<uint8_t>(name[at++]);
        out[n++] = L'%';
        out[n++] = kHex[byte >> 4];
        out[n++] = kHex[byte & 15];
    }
    out[n] = L'\0';
    return out;
}

// ---------------------------------------------------------------------------
// Runs: the keys of the files written so far, in an open-addressing set
// kept at most half full.

struct GrfExtractRun {
    wchar_t** slots;  // keys, owned; null marks an empty slot
    uint32_t mask;    // slot count - 1
    uint32_t used;
    uint32_t duplicates;
    Reuse reuse;
};

wchar_t* KeyOf(const wchar_t* fileName) {
    size_t length = wcslen(fileName);
    auto* key = static_cast<wchar_t*>(PlatformAlloc((length + 1) * sizeof(wchar_t)));
    if (!key) return nullptr;
    size_t n = 0;
    for (const wchar_t* at = fileName; *at;) {
        const wchar_t* end = at;
        while (*end && !IsSeparator(*end)) ++end;
        size_t part = static_cast<size_t>(end - at);
        if (part && !(part == 1 && at[0] == L'.')) {
            if (n) key[n++] = L'\\';
            wmemcpy(key + n, at, part);
            n += part;
        }
        at = *end ? end + 1 : end;
    }
    key[n] = L'\0';
    PlatformFoldName(key, n);
    return key;
}

namespace {

constexpr uint32_t kRunSlots = 64;

uint32_t HashKey(const wchar_t* key) {
    uint32_t h = 2166136261u;
    for (; *key; ++key) h = (h ^ static_cast<uint32_t>(*key)) * 16777619u;
    return h;
}

// The slot of key, or the empty slot where it would go.
wchar_t** Find(wchar_t** slots, uint32_t mask, const wchar_t* key) {
    for (uint32_t at = HashKey(key) & mask;; at = (at + 1) & mask)
        if (!slots[at] || wcscmp(slots[at], key) == 0) return &slots[at];
}

// Room for one more key, so that adding it after a file is written cannot
// fail.
bool ReserveKey(GrfExtractRun* run) {
    uint32_t slots = run->mask + 1;
    if ((run->used + 1) * 2 <= slots) return true;
    if (slots > 0x40000000u) return false;
    auto* grown = static_cast<wchar_t**>(PlatformAlloc(size_t{slots} * 2 * sizeof(wchar_t*)));
    if (!grown) return false;
    uint32_t mask = slots * 2 - 1;
    for (uint32_t i = 0; i < slots; ++i)
        if (run->slots[i]) *Find(grown, mask, run->slots[i]) = run->slots[i];
    PlatformFree(run->slots);
    run->slots = grown;
    run->mask = mask;
    return true;
}

// Writes realSize bytes of content as fileName's file.
uint32_t WriteBytes(const GrfEntry& entry, const uint8_t* content, const wchar_t* fileName,
                    PlatformFolders* folders) {
    if (!NamesAFile(fileName)) return GRF_ERROR_OUTPUT;
    PlatformOutput* output = nullptr;
    uint32_t code = OutputCode(PlatformBeginOutput(fileName, folders, &output));
    if (code != GRF_OK) return code;
    if (entry.realSize != 0 && !PlatformWriteOutput(output, content, entry.realSize)) {
        PlatformAbandonOutput(output);
        return GRF_ERROR_OUTPUT;
    }
    return OutputCode(PlatformCommitOutput(output));
}

// Extracts entry into its file name, within run when there is one; its
// content from content when given, else read from its owner.
uint32_t ExtractRecord(GrfExtractRun* run, const GrfEntry& entry,
                       const uint8_t* content = nullptr) {
    wchar_t* fileName = FileNameOf(entry.name);
    if (!fileName) return GRF_ERROR_MEMORY;
    uint32_t code = IsSafeName(fileName) ? GRF_OK : GRF_ERROR_UNSAFE_NAME;
    wchar_t* key = nullptr;
    wchar_t** slot = nullptr;
    if (code == GRF_OK && run) {
        key = KeyOf(fileName);
        if (!key || !ReserveKey(run)) {
            code = GRF_ERROR_MEMORY;
        } else if (*(slot = Find(run->slots, run->mask, key))) {
            ++run->duplicates;
            code = GRF_ERROR_DUPLICATE;
        }
    }
    if (code == GRF_OK && content)
        code = WriteBytes(entry, content, fileName, run ? run->reuse.folders : nullptr);
    else if (code == GRF_OK)
        code = run ? ExtractTo(entry, fileName, &run->reuse) : ExtractAlone(entry, fileName);
    if (code == GRF_OK && slot) {
        *slot = key;
        ++run->used;
        key = nullptr;
    }
    PlatformFree(key);
    PlatformFree(fileName);
    return code;
}

}  // namespace

extern "C" wchar_t* GrfFileName(const char* name) {
    return name ? FileNameOf(name) : nullptr;
}

extern "C" uint32_t GrfExtractEntry(GrfArchive* owner, const wchar_t* name) {
    uint32_t code = GRF_OK;
    if (!name || !IsSafeName(name)) {
        code = GRF_ERROR_UNSAFE_NAME;
    } else if (owner == GRF_NO_ARCHIVE || !owner) {
        code = GRF_ERROR_HANDLE;
    } else if (char* narrow = PlatformWideToCp949(name); !narrow) {
        code = GRF_ERROR_MEMORY;
    } else {
        // A record added from a local file has no owner: nothing to read.
        const GrfEntry* entry = owner && owner->count ? NameIndexFind(owner, narrow) : nullptr;
        PlatformFree(narrow);
        code = entry ? ExtractAlone(*entry, name) : uint32_t{GRF_ERROR_NOT_FOUND};
    }
    GrfLastError = code;
    return code;
}

extern "C" uint32_t GrfExtractRecord(GrfArchive* archive, uint32_t index) {
    uint32_t code = GRF_OK;
    const GrfEntry* entry = RecordAt(archive, index, &code);
    GrfLastError = entry ? ExtractRecord(nullptr, *entry) : code;
    return GrfLastError;
}

namespace {

// A run writing through folders (taken over, released with the run).
GrfExtractRun* NewRun(PlatformFolders* folders) {
    auto* run = static_cast<GrfExtractRun*>(PlatformAlloc(sizeof(GrfExtractRun)));
    auto* slots = static_cast<wchar_t**>(PlatformAlloc(kRunSlots * sizeof(wchar_t*)));
    if (!run || !slots || !folders) {
        PlatformFree(run);
        PlatformFree(slots);
        PlatformFreeFolders(folders);
        return nullptr;
    }
    run->slots = slots;
    run->mask = kRunSlots - 1;
    run->reuse = Reuse{folders};
    return run;
}

}  // namespace

extern "C" GrfExtractRun* GrfBeginExtractRun(void) {
    GrfExtractRun* run = NewRun(PlatformNewFolders());
    if (!run) GrfLastError = GRF_ERROR_MEMORY;
    return run;
}

GrfExtractRun* BeginExtractRunAt(const wchar_t* root) {
    return NewRun(PlatformNewFoldersAt(root));
}

uint32_t RemoveInRun(GrfExtractRun* run, const char* name) {
    wchar_t* fileName = FileNameOf(name);
    if (!fileName) return GRF_ERROR_MEMORY;
    uint32_t code = IsSafeName(fileName) && NamesAFile(fileName) ? GRF_OK : GRF_ERROR_UNSAFE_NAME;
    PlatformOutput* output = nullptr;
    if (code == GRF_OK) code = BeginOutput(fileName, run->reuse.folders, &output);
    if (code == GRF_OK && !PlatformRemoveFinal(output)) code = GRF_ERROR_OUTPUT;
    if (output) PlatformAbandonOutput(output);
    PlatformFree(fileName);
    return code;
}

extern "C" uint32_t GrfExtractInRun(GrfExtractRun* run, GrfArchive* archive, uint32_t index) {
    uint32_t code = GRF_ERROR_HANDLE;
    const GrfEntry* entry = run ? RecordAt(archive, index, &code) : nullptr;
    GrfLastError = entry ? ExtractRecord(run, *entry) : code;
    return GrfLastError;
}

uint32_t ExtractContentInRun(GrfExtractRun* run, const GrfEntry& entry, const uint8_t* content) {
    return run ? ExtractRecord(run, entry, content) : uint32_t{GRF_ERROR_HANDLE};
}

extern "C" uint32_t GrfExtractRunDuplicates(const GrfExtractRun* run) {
    return run ? run->duplicates : 0;
}

extern "C" void GrfEndExtractRun(GrfExtractRun* run) {
    if (!run) return;
    ReleaseSource(&run->reuse);
    PlatformFreeFolders(run->reuse.folders);
    for (uint32_t i = 0; i <= run->mask; ++i) PlatformFree(run->slots[i]);
    PlatformFree(run->slots);
    PlatformFree(run);
}
