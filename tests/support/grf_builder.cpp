// grf_builder.cpp -- archives built byte by byte; see grf_builder.h.
#include "grf_builder.h"

#include <grf.h>
#include <grf_format.h>
#include <le_bytes.h>
#include <lzma.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>

using namespace grf;

namespace {

bool IsV1(uint32_t version) {
    return (version >> 8) == kMajorV1;
}

bool IsV3(uint32_t version) {
    return (version >> 8) == kMajorV3;
}

Bytes BuildTable(const std::vector<RawRecord>& records, bool wideOffset) {
    Bytes table;
    for (const RawRecord& r : records) {
        table.insert(table.end(), r.name.begin(), r.name.end());
        table.push_back(0);
        size_t tail = table.size();
        table.resize(tail + (wideOffset ? kV3Tail : kV2Tail));
        PutLe32(&table[tail + kV2TailCompressed], r.compressedSize);
        PutLe32(&table[tail + kV2TailAligned], r.alignedSize);
        PutLe32(&table[tail + kV2TailReal], r.realSize);
        table[tail + kV2TailType] = r.type;
        if (wideOffset)
            PutLe64(&table[tail + kV2TailOffset], r.offset);
        else
            PutLe32(&table[tail + kV2TailOffset], static_cast<uint32_t>(r.offset));
    }
    return table;
}

// The directory of an archive of that version, and its header for data that
// ends at dataEnd (relative to byte 46).
Bytes BuildDirectory(uint32_t version, const std::vector<RawRecord>& records, int level) {
    if (IsV1(version)) return BuildV1Directory(records);
    if (IsV3(version)) return BuildV3Directory(BuildV3Table(records), level);
    return BuildV2Directory(BuildV2Table(records), level);
}

Bytes BuildHeaderFor(uint32_t version, uint64_t dataEnd, uint32_t count) {
    if (IsV3(version)) return BuildV3Header(dataEnd, count);
    return BuildHeader(static_cast<uint32_t>(dataEnd), 0, count + kCountBias, version);
}

}  // namespace

Bytes Deflate(const Bytes& content, int level) {
    uLongf size = compressBound(content.size());
    Bytes out(size);
    compress2(out.data(), &size, content.data(), content.size(), level);
    out.resize(size);
    return out;
}

// The 0x300 example: one entry, data\a.txt = "hello", as a 0x300 archive: 105 bytes.
constexpr uint8_t kExample300[] = {
    0x45, 0x76, 0x65, 0x6e, 0x74, 0x20, 0x48, 0x6f, 0x72, 0x69, 0x7a, 0x6f, 0x6e, 0x00, 0x52,
    0x4c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00,
    0x00, 0x78, 0x9c, 0xcb, 0x48, 0xcd, 0xc9, 0xc9, 0x07, 0x00, 0x06, 0x2c, 0x02, 0x15, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1f, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x78,
    0x9c, 0x4b, 0x49, 0x2c, 0x49, 0x8c, 0x49, 0xd4, 0x2b, 0xa9, 0x28, 0x61, 0xe0, 0x65, 0x60,
    0x60, 0x10, 0x00, 0x62, 0x56, 0x20, 0x66, 0x64, 0x80, 0x02, 0x00, 0x6d, 0x56, 0x04, 0x09,
};

Bytes Example300() {
    return Bytes(kExample300, kExample300 + sizeof kExample300);
}

Bytes LzmaStored(const Bytes& content, uint32_t preset) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, preset);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes out(1 + 5 + content.size() + content.size() / 2 + 1024, 0);
    if (lzma_properties_encode(&filters[0], &out[1]) != LZMA_OK) return {};
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&stream, filters) != LZMA_OK) return {};
    stream.next_in = content.data();
    stream.avail_in = content.size();
    stream.next_out = out.data() + 6;
    stream.avail_out = out.size() - 6;
    lzma_ret ret = lzma_code(&stream, LZMA_FINISH);
    out.resize(out.size() - stream.avail_out);
    lzma_end(&stream);
    return ret == LZMA_STREAM_END ? out : Bytes{};
}

Bytes BuildHeader(uint32_t dirOffset, uint32_t seed, uint32_t countField, uint32_t version) {
    Bytes header(GRF_HEADER_SIZE, 0);
    memcpy(header.data(), kMagic, sizeof kMagic);
    for (uint8_t key = 1; key <= kKeySize; ++key) header[kHeaderKey + key - 1] = key;
    PutLe32(&header[kHeaderDirOffset], dirOffset);
    PutLe32(&header[kHeaderSeed], seed);
    PutLe32(&header[kHeaderCount], countField);
    PutLe32(&header[kHeaderVersion], version);
    return header;
}

Bytes BuildV1Directory(const std::vector<RawRecord>& records) {
    Bytes dir;
    for (const RawRecord& r : records) {
        Bytes name(r.name.begin(), r.name.end());
        name.resize(GrfAlign8(static_cast<uint32_t>(r.name.size() + 1)), 0);
        GrfCipherName(name.data(), static_cast<uint32_t>(name.size()), 0);
        size_t start = dir.size();
        dir.resize(start + kV1NameStart);  // the filler stays 0
        PutLe32(&dir[start], static_cast<uint32_t>(name.size()) + kV1NameStart);
        dir.insert(dir.end(), name.begin(), name.end());
        size_t tail = dir.size();
        dir.resize(tail + kV1Tail);
        PutLe32(&dir[tail + kV1TailCompressed], r.compressedSize + r.realSize + kV1CompressedBias);
        PutLe32(&dir[tail + kV1TailAligned], r.alignedSize + kV1AlignedBias);
        PutLe32(&dir[tail + kV1TailReal], r.realSize);
        dir[tail + kV1TailType] = r.type;
        PutLe32(&dir[tail + kV1TailOffset], static_cast<uint32_t>(r.offset));
    }
    return dir;
}

Bytes BuildV2Table(const std::vector<RawRecord>& records) {
    return BuildTable(records, false);
}

Bytes BuildV2Directory(const Bytes& table, int level) {
    Bytes packed = Deflate(table, level);
    Bytes dir(kV2Sizes + packed.size());
    PutLe32(&dir[0], static_cast<uint32_t>(packed.size()));
    PutLe32(&dir[4], static_cast<uint32_t>(table.size()));
    std::copy(packed.begin(), packed.end(), dir.begin() + kV2Sizes);
    return dir;
}

Bytes BuildV3Header(uint64_t dirOffset, uint32_t count, const char* text) {
    Bytes header(GRF_HEADER_SIZE, 0);
    memcpy(header.data(), text, strnlen(text, kHeaderKey));
    PutLe64(&header[kHeaderDirOffset], dirOffset);
    PutLe32(&header[kHeaderCount], count);
    PutLe32(&header[kHeaderVersion], kVersion300);
    return header;
}

Bytes BuildV3Table(const std::vector<RawRecord>& records) {
    return BuildTable(records, true);
}

Bytes BuildV3Directory(const Bytes& table, int level) {
    Bytes packed = Deflate(table, level);
    Bytes dir(kV3Sizes + packed.size(), 0);
    PutLe32(&dir[kV3SizesPacked], static_cast<uint32_t>(packed.size()));
    PutLe32(&dir[kV3SizesTable], static_cast<uint32_t>(table.size()));
    std::copy(packed.begin(), packed.end(), dir.begin() + kV3Sizes);
    return dir;
}

Stored StoreContent(uint32_t version, const std::string& name, const Bytes& content, uint8_t type,
                    int level) {
    bool v1 = IsV1(version);
    Stored s;
    s.bytes = Deflate(content, level);
    RawRecord& r = s.record;
    r.name = name;
    r.compressedSize = static_cast<uint32_t>(s.bytes.size());
    r.alignedSize = GrfAlign8(r.compressedSize);
    r.realSize = static_cast<uint32_t>(content.size());
    r.type = v1 ? kTypeFile : type;
    s.bytes.resize(r.alignedSize, 0);
    int cycle = v1 ? GrfCycleFromName(name.c_str(), r.compressedSize)
                   : GrfCycleFromType(type, r.compressedSize);
    if (cycle >= 0) GrfCipherEntryData(s.bytes.data(), r.alignedSize, cycle == 0, cycle, 1);
    return s;
}

Bytes BuildStoredArchive(uint32_t version, std::vector<Stored> stored) {
    Bytes data;
    std::vector<RawRecord> records;
    for (Stored& s : stored) {
        s.record.offset = data.size();
        data.insert(data.end(), s.bytes.begin(), s.bytes.end());
        records.push_back(s.record);
    }
    Bytes dir = BuildDirectory(version, records, 9);
    uint32_t count = static_cast<uint32_t>(records.size());
    Bytes archive = BuildHeaderFor(version, data.size(), count);
    archive.insert(archive.end(), data.begin(), data.end());
    archive.insert(archive.end(), dir.begin(), dir.end());
    return archive;
}

Bytes BuildArchive(uint32_t version, const std::vector<Content>& contents) {
    std::vector<Stored> stored;
    for (const Content& c : contents)
        stored.push_back(StoreContent(version, c.name, c.data, c.type));
    return BuildStoredArchive(version, stored);
}

bool ArchiveFileWriter::Open(const std::wstring& path, uint32_t archiveVersion) {
#ifdef _WIN32
    FILE* f = _wfopen(path.c_str(), L"wb");
#else
    FILE* f = fopen(Narrow(path).c_str(), "wb");
#endif
    if (!f) return false;
    file = f;
    version = archiveVersion;
    offset = 0;
    records.clear();
    Bytes placeholder(GRF_HEADER_SIZE, 0);
    return fwrite(placeholder.data(), 1, placeholder.size(), f) == placeholder.size();
}

bool ArchiveFileWriter::Add(RawRecord record, const uint8_t* bytes, size_t size) {
    record.offset = offset;
    records.push_back(record);
    offset += size;
    return size == 0 || fwrite(bytes, 1, size, static_cast<FILE*>(file)) == size;
}

bool ArchiveFileWriter::Finish(int directoryLevel) {
    auto* f = static_cast<FILE*>(file);
    Bytes dir = BuildDirectory(version, records, directoryLevel);
    uint32_t count = static_cast<uint32_t>(records.size());
    Bytes header = BuildHeaderFor(version, offset, count);
    bool ok = fwrite(dir.data(), 1, dir.size(), f) == dir.size() && fseek(f, 0, SEEK_SET) == 0 &&
              fwrite(header.data(), 1, header.size(), f) == header.size();
    ok = fclose(f) == 0 && ok;
    file = nullptr;
    return ok;
}
