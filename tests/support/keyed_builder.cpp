// keyed_builder.cpp -- keyed records from the description, byte by byte.
#include "keyed_builder.h"

#include <grf.h>

#include <utility>

Bytes KeyOfPassword(const std::string& password) {
    Bytes k(256);
    for (int i = 0; i < 256; ++i) k[i] = uint8_t(i);
    unsigned j = 0;
    for (size_t i = 0; i < 256; ++i) {
        j = (j + k[i] + uint8_t(password[i % password.size()])) % 256;
        std::swap(k[i], k[j]);
    }
    return k;
}

Bytes Keyed(const Bytes& key, uint32_t realSize, Bytes bytes) {
    Bytes k = key;
    unsigned a = realSize % 256, b = 0;
    for (uint8_t& byte : bytes) {
        a = (a + 1) % 256;
        b = (b + k[a]) % 256;
        std::swap(k[a], k[b]);
        byte ^= k[(k[a] + k[b]) % 256];
    }
    return bytes;
}

Stored KeyedContent(const Bytes& key, const std::string& name, const Bytes& content,
                    KeyedMethod method) {
    Stored s;
    Bytes packed = method == KeyedMethod::kZlib ? Deflate(content, 6) : LzmaStored(content, 1);
    s.record.name = name;
    s.record.compressedSize = uint32_t(packed.size());
    s.record.alignedSize = (s.record.compressedSize + 7) / 8 * 8;
    s.record.realSize = uint32_t(content.size());
    s.record.type = 1;
    packed.resize(s.record.alignedSize, 0);
    s.bytes = Keyed(key, s.record.realSize, packed);
    return s;
}
