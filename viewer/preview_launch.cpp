// preview_launch.cpp -- recognising an entry's kind from its first bytes and
// its name, and checking a sound before the platform plays it from memory.
#include "preview_launch.h"

#include <string.h>

#include "le_bytes.h"
#include "palette.h"
#include "text.h"

namespace {

bool IsBitmap(const uint8_t* data) {
    return data[0] == 'B' && data[1] == 'M';
}

// A sprite without frames has nothing to show: the palette frames at
// offset 4 and, from version 2.0 (major byte 2), the true-colour frames at
// offset 6 must not both be 0.
bool IsSprite(const uint8_t* data) {
    uint32_t frames = GetLe16(data + 4) + (data[3] >= 2 ? GetLe16(data + 6) : 0);
    return data[0] == 'S' && data[1] == 'P' && frames != 0;
}

// A colour map type of 0 or 1 (a map the true-colour pixels do not use),
// and a true-colour or grey image, plain or run-length coded.
bool IsTarga(const uint8_t* data) {
    return data[1] <= 1 && (data[2] == 2 || data[2] == 3 || data[2] == 10 || data[2] == 11);
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

bool IsAnimation(const uint8_t* data) {
    return data[0] == 'A' && data[1] == 'C';
}

struct Detection {
    bool (*bytesMatch)(const uint8_t* data);
    const wchar_t* extensions[2];  // either may match; the second may be null
    PreviewType type;
};

// Tried in this order; the first whose bytes and name both match wins.
const Detection DETECTIONS[] = {
    {IsBitmap, {L".bmp"}, PREVIEW_BMP},      {IsSprite, {L".spr"}, PREVIEW_SPR},
    {IsTarga, {L".tga"}, PREVIEW_TGA},       {IsJpeg, {L".jpg", L".jpeg"}, PREVIEW_JPG},
    {IsAltitudeMap, {L".gat"}, PREVIEW_GAT}, {IsWave, {L".wav"}, PREVIEW_WAV},
};

// Whether text (an extension, lower-case ASCII) occurs anywhere in name,
// letters compared without regard to case.
bool ContainsNoCase(const wchar_t* name, const wchar_t* text) {
    size_t length = wcslen(text);
    for (; *name; ++name) {
        size_t i = 0;
        for (; i < length && name[i]; ++i) {
            wchar_t c = name[i];
            if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
            if (c != text[i]) break;
        }
        if (i == length) return true;
    }
    return false;
}

bool NameMatches(const wchar_t* name, const Detection& detection) {
    for (const wchar_t* extension : detection.extensions)
        if (extension && ContainsNoCase(name, extension)) return true;
    return false;
}

bool IsChunk(const uint8_t* chunk, const char* id) {
    return memcmp(chunk, id, 4) == 0;
}

}  // namespace

PreviewType DetectPreviewType(const wchar_t* name, const uint8_t* data) {
    if (!data || !name) return PREVIEW_NONE;
    for (const Detection& detection : DETECTIONS) {
        if (detection.bytesMatch(data) && NameMatches(name, detection)) return detection.type;
    }
    return PREVIEW_NONE;
}

PreviewType DetectEntryType(const wchar_t* name, const uint8_t* data, uint32_t size) {
    PreviewType type = DetectPreviewType(name, data);
    if (type != PREVIEW_NONE || !data || !name) return type;
    if (IsAnimation(data) && ContainsNoCase(name, L".act")) return PREVIEW_ACT;
    if (IsPaletteEntry(data, size) && ContainsNoCase(name, L".pal")) return PREVIEW_PAL;
    if (IsTextName(name) || IsCompiledLua(data, size) || LooksLikeText(data, size))
        return PREVIEW_TEXT;
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
