// preview.cpp -- the entry kinds' names and the common picture form.
#include "preview.h"

#include <stdlib.h>
#include <string.h>

#include "le_bytes.h"

const wchar_t* PreviewTypeName(uint32_t type) {
    static const wchar_t* const kNames[] = {L"Unknown", L"BMP", L"TGA", L"JPG", L"SPR",
                                            L"GAT",     L"",    L"ACT", L"PAL", L"TXT"};
    if (type >= sizeof kNames / sizeof kNames[0]) return L"";
    return kNames[type];
}

uint32_t RoundUpTo4(uint32_t n) {
    return (n + 3u) & ~3u;
}

bool MakePreviewPicture(int32_t width, int32_t height, PreviewPicture* picture) {
    *picture = PreviewPicture{};
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    uint64_t rows = height < 0 ? uint64_t(-int64_t{height}) : uint64_t(height);
    // In 64 bits: neither side can overflow before the bound is applied.
    if (uint64_t(width) * rows > PREVIEW_MAX_PIXELS) return false;
    uint32_t stride = RoundUpTo4(3u * uint32_t(width));
    uint8_t* pixels = static_cast<uint8_t*>(calloc(size_t(stride) * rows, 1));
    if (!pixels) return false;

    uint8_t* h = picture->header;
    PutLe32(h + 0, PREVIEW_HEADER_SIZE);
    PutLe32(h + 4, uint32_t(width));
    PutLe32(h + 8, uint32_t(height));
    PutLe16(h + 12, 1);   // planes
    PutLe16(h + 14, 24);  // bits per pixel; compression and the rest stay 0
    picture->width = width;
    picture->height = height;
    picture->stride = stride;
    picture->pixels = pixels;
    return true;
}

void FreePreviewPicture(PreviewPicture* picture) {
    free(picture->pixels);
    *picture = PreviewPicture{};
}
