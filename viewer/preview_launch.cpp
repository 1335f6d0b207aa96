// preview_launch.cpp -- recognising an entry's kind from its first bytes and
// its name, and checking a sound before the platform plays it from memory.
#include "preview_launch.h"

#include <string.h>

#include "le_bytes.h"

namespace {

bool IsBitmap(const uint8_t* data) {
    return data[0] == 'B' && data[1] == 'M';
}

// The frame count at offset 4 must be nonzero: a sprite without frames has
// nothing to show.
bool IsSprite(const uint8_t* data) {
    return data[0] == 'S' && data[1] == 'P' && GetLe16(data + 4) != 0;
}

// No image identifier, no colour map, uncompressed true-colour.
bool IsTarga(const uint8_t* data) {
    return data[0] == 0 && data[1] == 0 && data[2] == 2 && data[3] == 0 && data[4] == 0;
}

// JFIF or Exif: a start-of-image marker and the identifier of an APP0 or
// APP1 segment right after it.
bool IsJpeg(const uint8_t* data) {
    return data[0] == 0xFF && data[1] == 0xD8 &&
           (memcmp(data + 6, "JFIF", 4) == 0 || memcmp(data + 6, "Exif", 4) == 0);
}

bool IsAltitudeMap(const uint8_t* data) {
    return memcmp(data, "GRAT", 4) == 0;
}

bool IsWave(const uint8_t* data) {
    return memcmp(data, "RIFF", 4) == 0;
}

struct Detection {
    bool (*bytesMatch)(const uint8_t* data);
    const wchar_t* extension;
    PreviewType type;
};

// Tried in this order; the first whose bytes and name both match wins.
const Detection DETECTIONS[] = {
    {IsBitmap, L".bmp", PREVIEW_BMP},      {IsSprite, L".spr", PREVIEW_SPR},
    {IsTarga, L".tga", PREVIEW_TGA},       {IsJpeg, L".jpg", PREVIEW_JPG},
    {IsAltitudeMap, L".gat", PREVIEW_GAT}, {IsWave, L".wav", PREVIEW_WAV},
};

bool IsChunk(const uint8_t* chunk, const char* id) {
    return memcmp(chunk, id, 4) == 0;
}

}  // namespace

PreviewType DetectPreviewType(const wchar_t* name, const uint8_t* data) {
    if (!data || !name) return PREVIEW_NONE;
    for (const Detection& detection : DETECTIONS) {
        if (detection.bytesMatch(data) && wcsstr(name, detection.extension)) return detection.type;
    }
    return PREVIEW_NONE;
}

bool FitWaveToEntry(uint8_t* data, uint32_t size) {
    const uint32_t FIRST_CHUNK = 12;  // after "RIFF", its size and "WAVE"
    const uint32_t CHUNK_HEADER = 8;
    const uint32_t FORMAT_MIN = 16;  // the player reads at least this much
    if (!data || size < FIRST_CHUNK) return false;
    if (!IsChunk(data, "RIFF") || !IsChunk(data + 8, "WAVE")) return false;
    bool formatSeen = false;
    uint32_t at = FIRST_CHUNK;
    while (size - at >= CHUNK_HEADER) {
        uint8_t* chunk = data + at;
        uint32_t length = GetLe32(chunk + 4);
        uint32_t room = size - at - CHUNK_HEADER;
        if (formatSeen && IsChunk(chunk, "data")) {
            if (length > room) PutLe32(chunk + 4, room);
            return true;
        }
        if (length > room) return false;
        if (!formatSeen && IsChunk(chunk, "fmt ")) {
            if (length < FORMAT_MIN) return false;
            formatSeen = true;
        }
        // Chunks start at even offsets: an odd length is followed by a pad
        // byte. In 64 bits, as the length comes from the entry.
        uint64_t next = uint64_t(at) + CHUNK_HEADER + length + (length & 1u);
        if (next > size) return false;
        at = uint32_t(next);
    }
    return false;
}
