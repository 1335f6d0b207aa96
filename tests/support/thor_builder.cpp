// thor_builder.cpp -- patch files built byte by byte; see thor_builder.h.
#include "thor_builder.h"

#include <le_bytes.h>
#include <string.h>
#include <thor_format.h>

#include "grf_builder.h"

namespace {

void Append(Bytes* to, const Bytes& bytes) {
    to->insert(to->end(), bytes.begin(), bytes.end());
}

void AppendLe32(Bytes* to, uint32_t value) {
    uint8_t field[4];
    PutLe32(field, value);
    to->insert(to->end(), field, field + 4);
}

// Appends the table's stream and points the header's fields (at `fields`)
// at it.
Bytes WithTable(Bytes out, size_t fields, const Bytes& table) {
    Bytes packed = Deflate(table);
    PutLe32(&out[fields], static_cast<uint32_t>(packed.size()));
    PutLe32(&out[fields + 4], static_cast<uint32_t>(out.size()));
    Append(&out, packed);
    return out;
}

}  // namespace

Bytes ThorHeader(uint8_t merge, uint32_t count, uint16_t layout, const std::string& target) {
    Bytes header(thor::kMagic, thor::kMagic + thor::kMagicSize);
    header.push_back(merge);
    AppendLe32(&header, count);
    header.push_back(static_cast<uint8_t>(layout));
    header.push_back(static_cast<uint8_t>(layout >> 8));
    header.push_back(static_cast<uint8_t>(target.size()));
    header.insert(header.end(), target.begin(), target.end());
    return header;
}

Bytes ThorTableRecord(const std::string& name, bool removal, uint32_t offset, int32_t stored,
                      int32_t real) {
    Bytes record;
    record.reserve(1 + name.size() + 1 + 12);
    record.push_back(static_cast<uint8_t>(name.size()));
    record.insert(record.end(), name.begin(), name.end());
    record.push_back(removal ? thor::kFlagRemoval : 0);
    if (removal) return record;
    AppendLe32(&record, offset);
    AppendLe32(&record, static_cast<uint32_t>(stored));
    AppendLe32(&record, static_cast<uint32_t>(real));
    return record;
}

Bytes BuildThor(const std::vector<ThorFile>& files, const std::string& target, uint8_t merge,
                bool pad) {
    Bytes out = ThorHeader(merge, static_cast<uint32_t>(files.size()), thor::kModeTable, target);
    size_t fields = out.size();
    out.resize(fields + thor::kTableFields);
    Bytes table;
    for (const ThorFile& file : files) {
        if (file.removal) {
            Append(&table, ThorTableRecord(file.name, true));
            continue;
        }
        Bytes stream = file.content.empty() ? Bytes{} : Deflate(file.content);
        Append(&table, ThorTableRecord(file.name, false, static_cast<uint32_t>(out.size()),
                                       static_cast<int32_t>(stream.size()),
                                       static_cast<int32_t>(file.content.size())));
        Append(&out, stream);
        if (pad) out.resize((out.size() + 7) / 8 * 8, 0);
    }
    return WithTable(out, fields, table);
}

Bytes BuildThorWithTable(const Bytes& data, const Bytes& table, const std::string& target,
                         uint8_t merge, uint32_t count) {
    Bytes out = ThorHeader(merge, count, thor::kModeTable, target);
    size_t fields = out.size();
    out.resize(fields + thor::kTableFields);
    Append(&out, data);
    return WithTable(out, fields, table);
}

Bytes BuildSingleThor(const std::string& name, const Bytes& content, const std::string& target,
                      uint8_t merge) {
    Bytes out = ThorHeader(merge, 1, thor::kModeSingle, target);
    Bytes stream = content.empty() ? Bytes{} : Deflate(content);
    out.push_back(0);
    AppendLe32(&out, static_cast<uint32_t>(stream.size()));
    AppendLe32(&out, static_cast<uint32_t>(content.size()));
    out.push_back(static_cast<uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    Append(&out, stream);
    out.insert(out.end(), thor::kSealed, thor::kSealed + strlen(thor::kSealed));
    return out;
}
