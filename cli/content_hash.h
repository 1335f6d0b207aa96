// content_hash.h -- CRC-32 and SHA-256 of entries' decoded content, computed
// on every core, for list --hash and manifests.
#ifndef CASKW_CONTENT_HASH_H
#define CASKW_CONTENT_HASH_H

#include <grf.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace caskw {

struct ContentHash {
    uint32_t code = GRF_OK;  // the read's; the hashes are empty unless GRF_OK
    std::string crc32;       // 8 lower-case hex digits, when asked for
    std::string sha256;      // 64, when asked for
    uint32_t size = 0;       // the content's
};

enum HashWanted { kHashCrc32 = 1, kHashSha256 = 2 };

// The hashes of records indices[i] of archive (or of the client's names
// names[i]) into (*hashes)[i]. False when interrupted.
bool HashRecords(GrfArchive* archive, const std::vector<uint32_t>& indices, int wanted,
                 std::vector<ContentHash>* hashes);
bool HashClientNames(GrfClient* client, const std::vector<uint32_t>& names, int wanted,
                     std::vector<ContentHash>* hashes);

}  // namespace caskw

#endif
