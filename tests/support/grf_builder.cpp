// grf_builder.cpp -- archives built byte by byte; see grf_builder.h.
#include "grf_builder.h"

#include <grf.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

namespace {

void PutLe32(Bytes* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
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
    Bytes header(16, 0);
    memcpy(header.data(), "Master of Magic", 15);
    for (uint8_t key = 1; key <= 14; ++key) header.push_back(key);
    PutLe32(&header, dirOffset);
    PutLe32(&header, seed);
    PutLe32(&header, countField);
    PutLe32(&header, version);
    return header;
}

Bytes BuildV1Directory(const std::vector<RawRecord>& records) {
    Bytes dir;
    for (const RawRecord& r : records) {
        Bytes name(r.name.begin(), r.name.end());
        name.resize((r.name.size() + 1 + 7) / 8 * 8, 0);
        GrfCipherName(name.data(), static_cast<uint32_t>(name.size()), 0);
        PutLe32(&dir, static_cast<uint32_t>(name.size()) + 6);
        dir.push_back(0);
        dir.push_back(0);
        dir.insert(dir.end(), name.begin(), name.end());
        PutLe32(&dir, 0);
        PutLe32(&dir, r.compressedSize + r.realSize + 715);
        PutLe32(&dir, r.alignedSize + 37579);
        PutLe32(&dir, r.realSize);
        dir.push_back(r.type);
        PutLe32(&dir, r.offset);
    }
    return dir;
}

Bytes BuildV2Table(const std::vector<RawRecord>& records) {
    Bytes table;
    for (const RawRecord& r : records) {
        table.insert(table.end(), r.name.begin(), r.name.end());
        table.push_back(0);
        PutLe32(&table, r.compressedSize);
        PutLe32(&table, r.alignedSize);
        PutLe32(&table, r.realSize);
        table.push_back(r.type);
        PutLe32(&table, r.offset);
    }
    return table;
}

Bytes BuildV2Directory(const Bytes& table, int level) {
    Bytes packed = Deflate(table, level);
    Bytes dir;
    PutLe32(&dir, static_cast<uint32_t>(packed.size()));
    PutLe32(&dir, static_cast<uint32_t>(table.size()));
    dir.insert(dir.end(), packed.begin(), packed.end());
    return dir;
}

Stored StoreContent(uint32_t version, const std::string& name, const Bytes& content, uint8_t type,
                    int level) {
    bool v1 = (version >> 8) == 1;
    Stored s;
    s.bytes = Deflate(content, level);
    RawRecord& r = s.record;
    r.name = name;
    r.compressedSize = static_cast<uint32_t>(s.bytes.size());
    r.alignedSize = GrfAlign8(r.compressedSize);
    r.realSize = static_cast<uint32_t>(content.size());
    r.type = v1 ? 1 : type;
    s.bytes.resize(r.alignedSize, 0);
    int cycle = v1 ? GrfCycleFromName(name.c_str(), r.compressedSize)
                   : GrfCycleFromType(type, r.compressedSize);
    if (cycle >= 0) GrfCipherEntryData(s.bytes.data(), r.alignedSize, cycle == 0, cycle, 1);
    return s;
}

Bytes BuildStoredArchive(uint32_t version, std::vector<Stored> stored) {
    bool v1 = (version >> 8) == 1;
    Bytes data;
    std::vector<RawRecord> records;
    for (Stored& s : stored) {
        s.record.offset = static_cast<uint32_t>(data.size());
        data.insert(data.end(), s.bytes.begin(), s.bytes.end());
        records.push_back(s.record);
    }
    Bytes dir = v1 ? BuildV1Directory(records) : BuildV2Directory(BuildV2Table(records));
    uint32_t count = static_cast<uint32_t>(records.size());
    Bytes archive = BuildHeader(static_cast<uint32_t>(data.size()), 0, count + 7, version);
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
    bool v1 = (version >> 8) == 1;
    Bytes dir =
        v1 ? BuildV1Directory(records) : BuildV2Directory(BuildV2Table(records), directoryLevel);
    uint32_t count = static_cast<uint32_t>(records.size());
    Bytes header = BuildHeader(static_cast<uint32_t>(offset), 0, count + 7, version);
    bool ok = fwrite(dir.data(), 1, dir.size(), f) == dir.size() && fseek(f, 0, SEEK_SET) == 0 &&
              fwrite(header.data(), 1, header.size(), f) == header.size();
    ok = fclose(f) == 0 && ok;
    file = nullptr;
    return ok;
}
