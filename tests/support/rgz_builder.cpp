// rgz_builder.cpp -- RGZ records and gzip, byte by byte.
#include "rgz_builder.h"

#include <zlib.h>

#include <set>

Bytes RgzRecords(const std::vector<RgzRecord>& records) {
    Bytes out;
    for (const RgzRecord& r : records) {
        out.push_back(uint8_t(r.type));
        out.push_back(uint8_t(r.name.size() + 1));
        out.insert(out.end(), r.name.begin(), r.name.end());
        out.push_back(0);
        if (r.type != 'f') continue;
        uint32_t size = uint32_t(r.content.size());
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(size >> (8 * i)));
        out.insert(out.end(), r.content.begin(), r.content.end());
    }
    return out;
}

Bytes Gzip(const Bytes& bytes) {
    z_stream z = {};
    deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, bytes.size()) + 64);
    z.next_in = const_cast<Bytef*>(bytes.data());
    z.avail_in = uInt(bytes.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    // erase rather than resize: GCC 12 takes the shrink for a huge fill.
    out.erase(out.end() - static_cast<std::ptrdiff_t>(z.avail_out), out.end());
    deflateEnd(&z);
    return out;
}

Bytes Gunzip(const Bytes& gzip) {
    Bytes out;
    z_stream z = {};
    inflateInit2(&z, 16 + MAX_WBITS);
    z.next_in = const_cast<Bytef*>(gzip.data());
    z.avail_in = uInt(gzip.size());
    uint8_t piece[1 << 16];
    int result = Z_OK;
    while (z.avail_in > 0 || result == Z_OK) {
        z.next_out = piece;
        z.avail_out = sizeof piece;
        result = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), piece, piece + (sizeof piece - z.avail_out));
        if (result == Z_STREAM_END) {
            if (z.avail_in == 0) break;
            inflateReset(&z);
            result = Z_OK;
        } else if (result != Z_OK) {
            out.clear();
            break;
        }
    }
    inflateEnd(&z);
    return out;
}

Bytes BuildRgz(const std::vector<RgzRecord>& files) {
    std::vector<RgzRecord> records;
    std::set<std::string> folders;
    for (const RgzRecord& f : files) {
        for (size_t at = f.name.find('\\'); at != std::string::npos;
             at = f.name.find('\\', at + 1)) {
            std::string folder = f.name.substr(0, at);
            if (folders.insert(folder).second) records.push_back({'d', folder, {}});
        }
        records.push_back(f);
    }
    records.push_back({'e', "end", {}});
    return Gzip(RgzRecords(records));
}
