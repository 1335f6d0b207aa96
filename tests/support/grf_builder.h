// grf_builder.h -- archives built byte by byte for tests and benchmarks,
// independent of the engine's writer: headers, both directory layouts, and
// whole archives from named contents.
#ifndef CASKWRIGHT_GRF_BUILDER_H
#define CASKWRIGHT_GRF_BUILDER_H

#include "test_support.h"

#include <string>
#include <vector>

// One directory record as it stands in the file. name is code page 949
// bytes; offset is relative to byte 46 (32-bit but in 0x300 archives).
struct RawRecord {
    std::string name;
    uint32_t compressedSize = 0;
    uint32_t alignedSize = 0;
    uint32_t realSize = 0;
    uint8_t type = 1;
    uint64_t offset = 0;
};

Bytes Deflate(const Bytes& content, int level = 6);
// content as other tools store an entry with LZMA: a zero byte, the 5
// property bytes, then the raw LZMA1 stream liblzma's raw encoder makes.
Bytes LzmaStored(const Bytes& content, uint32_t preset = 6);

// 46 header bytes: magic, key 1..14, then the four fields.
Bytes BuildHeader(uint32_t dirOffset, uint32_t seed, uint32_t countField, uint32_t version);

// 0x1xx directory: names padded to 8 and encoded, fillers 0.
Bytes BuildV1Directory(const std::vector<RawRecord>& records);
// 0x2xx table before compression, and the directory (sizes + deflated table).
Bytes BuildV2Table(const std::vector<RawRecord>& records);
Bytes BuildV2Directory(const Bytes& table, int level = 9);

// 0x300: the header (text given, key 0; 64-bit directory offset, plain
// count), the table (64-bit offsets) and the directory (reserved 0, sizes,
// deflated table).
Bytes BuildV3Header(uint64_t dirOffset, uint32_t count, const char* text = "Master of Magic");
Bytes BuildV3Table(const std::vector<RawRecord>& records);
Bytes BuildV3Directory(const Bytes& table, int level = 9);

// A named content for BuildArchive. type is the 0x2xx type byte (1, 3 or 5:
// plain, mixed or header-only); 0x1xx archives encipher every entry by name.
struct Content {
    std::string name;
    Bytes data;
    uint8_t type = 1;
};

// A whole archive of the given version (0x1xx, 0x2xx or 0x300) holding the
// contents in order: data from byte 46, then the directory; seed 0.
Bytes BuildArchive(uint32_t version, const std::vector<Content>& contents);

// Stored bytes exactly as given, under a record whose sizes and type are
// taken as they stand (so they may lie); its offset is set by the builder.
struct Stored {
    RawRecord record;
    Bytes bytes;
};

// A whole archive of the given version: the stored bytes in order from byte
// 46, each record's offset pointing at its own, then the directory; seed 0.
Bytes BuildStoredArchive(uint32_t version, std::vector<Stored> stored);

// The stored form of content as an archive of the given version keeps it:
// deflated, zero-filled to a multiple of 8 and enciphered by cycle (for
// 0x1xx by name, for 0x2xx by type).
Stored StoreContent(uint32_t version, const std::string& name, const Bytes& content,
                    uint8_t type = 1, int level = 6);

// The 0x300 format's worked example, byte by byte: 105 bytes, the text
// "Event Horizon" NUL "RL", one entry data\a.txt = "hello" at offset 0
// (stored 13 bytes, aligned 16), the directory at 46 + 16.
Bytes Example300();

// Writes an archive straight to a file, record by record, for archives too
// large to build in memory (benchmarks). Add stored bytes in order; Finish
// writes the directory (0x2xx: deflated at directoryLevel) and the header.
struct ArchiveFileWriter {
    bool Open(const std::wstring& path, uint32_t version);
    // record's offset is set here; bytes are its stored bytes.
    bool Add(RawRecord record, const uint8_t* bytes, size_t size);
    bool Finish(int directoryLevel = 1);

    void* file = nullptr;
    uint32_t version = 0;
    uint64_t offset = 0;
    std::vector<RawRecord> records;
};

#endif
