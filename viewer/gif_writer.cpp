// gif_writer.cpp -- a sequence of pictures as one animated GIF in memory,
// through giflib. The colour table is shared by every frame, so colours do
// not flicker from frame to frame: exact when the frames use at most 255
// colours, otherwise cut down by median cut (index 255, or the one after
// the last colour, is transparent).
#include <gif_lib.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "export.h"

namespace {

const uint32_t kMaxColours = 255;  // one more index is transparency
const uint8_t kOpaqueFrom = 128;   // alpha at which a pixel is drawn

// ---------------------------------------------------------------------------
// Output.

struct MemoryFile {
    uint8_t* data;
    size_t size;
    size_t capacity;
};

int WriteToMemory(GifFileType* gif, const GifByteType* bytes, int length) {
    MemoryFile* file = static_cast<MemoryFile*>(gif->UserData);
    size_t n = size_t(length);
    if (file->capacity - file->size < n) {
        size_t grown = file->capacity ? file->capacity : 4096;
        while (grown - file->size < n) grown *= 2;
        uint8_t* bigger = static_cast<uint8_t*>(realloc(file->data, grown));
        if (!bigger) return 0;  // giflib treats a short write as failure
        file->data = bigger;
        file->capacity = grown;
    }
    memcpy(file->data + file->size, bytes, n);
    file->size += n;
    return length;
}

// ---------------------------------------------------------------------------
// The shared colour table.

inline uint32_t ColourOf(const uint8_t* pixel) {
    return uint32_t(pixel[0]) << 16 | uint32_t(pixel[1]) << 8 | pixel[2];
}

// A set of up to kMaxColours colours, each with its index: open addressing
// over 512 slots (never more than half full).
struct ExactColours {
    static const uint32_t kSlots = 512;
    uint32_t keys[kSlots];  // colour + 1; 0 is an empty slot
    uint8_t index[kSlots];
    uint32_t count = 0;

    ExactColours() { memset(keys, 0, sizeof keys); }
    uint32_t Slot(uint32_t colour) const {
        uint32_t slot = (colour * 2654435761u) >> 23;  // 9 bits
        while (keys[slot] != 0 && keys[slot] != colour + 1) slot = (slot + 1) % kSlots;
        return slot;
    }
    // False once a colour past kMaxColours would be needed.
    bool Add(uint32_t colour) {
        uint32_t slot = Slot(colour);
        if (keys[slot] != 0) return true;
        if (count == kMaxColours) return false;
        keys[slot] = colour + 1;
        index[slot] = uint8_t(count++);
        return true;
    }
    uint8_t IndexOf(uint32_t colour) const { return index[Slot(colour)]; }
};

// Colours at 5 bits a channel: a cell of the 32 x 32 x 32 cube.
inline uint32_t CellOf(const uint8_t* pixel) {
    return uint32_t(pixel[0] >> 3) << 10 | uint32_t(pixel[1] >> 3) << 5 | uint32_t(pixel[2] >> 3);
}

struct Cell {
    uint32_t cell;
    uint32_t count;
    uint64_t sum[3];  // of the real channel values, for the mean
};

// Median cut: the box of cells with the widest channel range is sorted on
// that channel and split where half its pixels lie on each side, until
// there are enough boxes or none can be split.
struct Box {
    uint32_t first, last;  // cells [first, last)
};

uint32_t Channel(uint32_t cell, int channel) {
    return cell >> (10 - 5 * channel) & 31;
}

int WidestChannel(const Cell* cells, const Box& box, uint32_t* range) {
    uint32_t low[3] = {31, 31, 31}, high[3] = {0, 0, 0};
    for (uint32_t i = box.first; i < box.last; ++i)
        for (int c = 0; c < 3; ++c) {
            uint32_t v = Channel(cells[i].cell, c);
            low[c] = std::min(low[c], v);
            high[c] = std::max(high[c], v);
        }
    int widest = 0;
    for (int c = 1; c < 3; ++c)
        if (high[c] - low[c] > high[widest] - low[widest]) widest = c;
    *range = high[widest] - low[widest];
    return widest;
}

// Fills colours (red, green, blue per entry) and the table from every one
// of the 32768 cells to its colour index; returns the number of colours.
uint32_t MedianCut(Cell* cells, uint32_t cellCount, GifColorType* colours, uint16_t* table) {
    Box boxes[kMaxColours];
    uint32_t boxCount = 1;
    boxes[0] = {0, cellCount};
    while (boxCount < kMaxColours) {
        int best = -1, bestChannel = 0;
        uint32_t bestRange = 0;
        for (uint32_t b = 0; b < boxCount; ++b) {
            if (boxes[b].last - boxes[b].first < 2) continue;
            uint32_t range;
            int channel = WidestChannel(cells, boxes[b], &range);
            if (best < 0 || range > bestRange)
                best = int(b), bestChannel = channel, bestRange = range;
        }
        if (best < 0) break;
        Box& box = boxes[best];
        std::sort(cells + box.first, cells + box.last, [&](const Cell& a, const Cell& b) {
            return Channel(a.cell, bestChannel) < Channel(b.cell, bestChannel);
        });
        uint64_t total = 0, half = 0;
        for (uint32_t i = box.first; i < box.last; ++i) total += cells[i].count;
        uint32_t split = box.first + 1;
        for (uint32_t i = box.first; i + 1 < box.last; ++i) {
            half += cells[i].count;
            split = i + 1;
            if (half * 2 >= total) break;
        }
        boxes[boxCount++] = {split, box.last};
        box.last = split;
    }
    for (uint32_t b = 0; b < boxCount; ++b) {
        uint64_t sum[3] = {0, 0, 0}, count = 0;
        for (uint32_t i = boxes[b].first; i < boxes[b].last; ++i) {
            for (int c = 0; c < 3; ++c) sum[c] += cells[i].sum[c];
            count += cells[i].count;
            table[cells[i].cell] = uint16_t(b);
        }
        colours[b] = {GifByteType((sum[0] + count / 2) / count),
                      GifByteType((sum[1] + count / 2) / count),
                      GifByteType((sum[2] + count / 2) / count)};
    }
    return boxCount;
}

// The shared table and the way from a pixel to its index.
struct Palette {
    GifColorType colours[256];
    uint32_t count;  // colours in use; the transparent index is count
    bool exact;
    ExactColours* set;  // exact: colour to index
    uint16_t* table;    // otherwise: cell to index (32768 entries)
};

bool BuildPalette(const RgbaPicture* frames, uint32_t frameCount, Palette* palette) {
    *palette = Palette{};
    palette->set = new (std::nothrow) ExactColours;
    if (!palette->set) return false;
    bool fits = true;
    for (uint32_t f = 0; f < frameCount && fits; ++f) {
        const uint8_t* p = frames[f].pixels;
        size_t pixels = size_t(frames[f].width) * size_t(frames[f].height);
        for (size_t i = 0; i < pixels && fits; ++i, p += 4)
            if (p[3] >= kOpaqueFrom) fits = palette->set->Add(ColourOf(p));
    }
    if (fits) {
        palette->exact = true;
        palette->count = palette->set->count;
        for (uint32_t s = 0; s < ExactColours::kSlots; ++s) {
            uint32_t key = palette->set->keys[s];
            if (key == 0) continue;
            uint32_t colour = key - 1;
            palette->colours[palette->set->index[s]] = {
                GifByteType(colour >> 16), GifByteType(colour >> 8), GifByteType(colour)};
        }
        return true;
    }
    delete palette->set;
    palette->set = nullptr;

    const uint32_t kCells = 32768;
    Cell* cells = static_cast<Cell*>(calloc(kCells, sizeof(Cell)));
    palette->table = static_cast<uint16_t*>(calloc(kCells, sizeof(uint16_t)));
    if (!cells || !palette->table) {
        free(cells);
        return false;
    }
    for (uint32_t f = 0; f < frameCount; ++f) {
        const uint8_t* p = frames[f].pixels;
        size_t pixels = size_t(frames[f].width) * size_t(frames[f].height);
        for (size_t i = 0; i < pixels; ++i, p += 4) {
            if (p[3] < kOpaqueFrom) continue;
            Cell& cell = cells[CellOf(p)];
            ++cell.count;
            for (int c = 0; c < 3; ++c) cell.sum[c] += p[c];
        }
    }
    uint32_t used = 0;  // the cells that occur, moved to the front
    for (uint32_t c = 0; c < kCells; ++c) {
        if (cells[c].count == 0) continue;
        cells[used] = cells[c];
        cells[used++].cell = c;
    }
    palette->count = MedianCut(cells, used, palette->colours, palette->table);
    free(cells);
    return true;
}

void FreePalette(Palette* palette) {
    delete palette->set;
    free(palette->table);
    *palette = Palette{};
}

uint8_t IndexOf(const Palette& palette, const uint8_t* pixel) {
    if (pixel[3] < kOpaqueFrom) return uint8_t(palette.count);
    return palette.exact ? palette.set->IndexOf(ColourOf(pixel))
                         : uint8_t(palette.table[CellOf(pixel)]);
}

// The smallest table size GIF allows (a power of two from 2) that holds the
// colours and the transparent index.
int TableSize(uint32_t colours) {
    int size = 2;
    while (uint32_t(size) < colours + 1) size *= 2;
    return size;
}

int Hundredths(uint32_t ms) {
    uint32_t cs = (ms + 5) / 10;
    return cs < 2 ? 2 : cs > 65535 ? 65535 : int(cs);
}

bool PutLoopForEver(GifFileType* gif) {
    const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const GifByteType loop[] = {1, 0, 0};  // sub-block 1, repeat count 0: for ever
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof application, application) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
}

bool PutFrame(GifFileType* gif, const RgbaPicture& frame, uint32_t delayMs, const Palette& palette,
              GifPixelType* line) {
    GraphicsControlBlock control = {};
    control.DisposalMode = DISPOSE_BACKGROUND;
    control.DelayTime = Hundredths(delayMs);
    control.TransparentColor = int(palette.count);
    GifByteType extension[4];
    size_t length = EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) != GIF_OK)
        return false;
    if (EGifPutImageDesc(gif, 0, 0, frame.width, frame.height, false, nullptr) != GIF_OK)
        return false;
    const uint8_t* p = frame.pixels;
    for (int32_t y = 0; y < frame.height; ++y) {
        for (int32_t x = 0; x < frame.width; ++x, p += 4) line[x] = IndexOf(palette, p);
        if (EGifPutLine(gif, line, frame.width) != GIF_OK) return false;
    }
    return true;
}

}  // namespace

bool EncodeGifAnimation(const RgbaPicture* frames, const uint32_t* delaysMs, uint32_t count,
                        uint8_t** out, size_t* outSize) {
    *out = nullptr;
    *outSize = 0;
    if (count == 0 || !frames[0].pixels) return false;
    const int32_t width = frames[0].width, height = frames[0].height;
    // GIF sizes are 16-bit.
    if (width > 65535 || height > 65535) return false;
    for (uint32_t f = 1; f < count; ++f)
        if (!frames[f].pixels || frames[f].width != width || frames[f].height != height)
            return false;

    Palette palette;
    if (!BuildPalette(frames, count, &palette)) {
        FreePalette(&palette);
        return false;
    }
    MemoryFile file = {};
    GifPixelType* line = static_cast<GifPixelType*>(malloc(size_t(width)));
    ColorMapObject* map = nullptr;
    int error = 0;
    GifFileType* gif = line ? EGifOpen(&file, WriteToMemory, &error) : nullptr;
    bool ok = gif != nullptr;
    if (ok) {
        // The entries past the colours are black, never used.
        map = GifMakeMapObject(TableSize(palette.count), palette.colours);
        ok = map != nullptr;
    }
    if (ok) {
        EGifSetGifVersion(gif, true);
        ok = EGifPutScreenDesc(gif, width, height, 8, int(palette.count), map) == GIF_OK &&
             PutLoopForEver(gif);
        for (uint32_t f = 0; ok && f < count; ++f)
            ok = PutFrame(gif, frames[f], delaysMs[f], palette, line);
    }
    if (gif && EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    GifFreeMapObject(map);
    free(line);
    FreePalette(&palette);
    if (!ok) {
        free(file.data);
        return false;
    }
    *out = file.data;
    *outSize = file.size;
    return true;
}
