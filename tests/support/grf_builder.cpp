// grf_builder.cpp -- archives built byte by byte; see grf_builder.h.
#include "grf_builder.h"

#include <grf.h>
#include <grf_format.h>
#include <le_bytes.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>

using namespace grf;

namespace {

bool IsV1(uint32_t version) {
    return (version >> 8) == kMajorV1;
}

}  // namespace

Bytes Deflate(const Bytes& content, int level) {
    uLongf size = compressBound(content.size());
    Bytes out(size);
    compress2(out.data(), &size, content.data(), content.size(), level);
    out.resize(size);
    return out;
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
        PutLe32(&dir[tail + kV1TailOffset], r.offset);
    }
    return dir;
}

Bytes BuildV2Table(const std::vector<RawRecord>& records) {
    Bytes table;
    for (const RawRecord& r : records) {
        table.insert(table.end(), r.name.begin(), r.name.end());
        table.push_back(0);
        size_t tail = table.size();
        table.resize(tail + kV2Tail);
        PutLe32(&table[tail + kV2TailCompressed], r.compressedSize);
        PutLe32(&table[tail + kV2TailAligned], r.alignedSize);
        PutLe32(&table[tail + kV2TailReal], r.realSize);
        table[tail + kV2TailType] = r.type;
        PutLe32(&table[tail + kV2TailOffset], r.offset);
    }
    return table;
}

Bytes BuildV2Directory(const Bytes& table, int level) {
    Bytes packed = Deflate(table, level);
    Bytes dir(kV2Sizes + packed.size());
    PutLe32(&dir[0], static_cast<uint32_t>(packed.size()));
    PutLe32(&dir[4], static_cast<uint32_t>(table.size()));
    std::copy(packed.begin(), packed.end(), dir.begin() + kV2Sizes);
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
    bool v1 = IsV1(version);
    Bytes data;
    std::vector<RawRecord> records;
    for (Stored& s : stored) {
        s.record.offset = static_cast<uint32_t>(data.size());
        data.insert(data.end(), s.bytes.begin(), s.bytes.end());
        records.push_back(s.record);
    }
    Bytes dir = v1 ? BuildV1Directory(records) : BuildV2Directory(BuildV2Table(records));
    uint32_t count = static_cast<uint32_t>(records.size());
    Bytes archive = BuildHeader(static_cast<uint32_t>(data.size()), 0, count + kCountBias, version);
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
    record.offset = static_cast<uint32_t>(offset);
    records.push_back(record);
    offset += size;
    return size == 0 || fwrite(bytes, 1, size, static_cast<FILE*>(file)) == size;
}

bool ArchiveFileWriter::Finish(int directoryLevel) {
    auto* f = static_cast<FILE*>(file);
    bool v1 = IsV1(version);
    Bytes dir =
        v1 ? BuildV1Directory(records) : BuildV2Directory(BuildV2Table(records), directoryLevel);
    uint32_t count = static_cast<uint32_t>(records.size());
    Bytes header = BuildHeader(static_cast<uint32_t>(offset), 0, count + kCountBias, version);
    bool ok = fwrite(dir.data(), 1, dir.size(), f) == dir.size() && fseek(f, 0, SEEK_SET) == 0 &&
              fwrite(header.data(), 1, header.size(), f) == header.size();
    ok = fclose(f) == 0 && ok;
    file = nullptr;
    return ok;
}
