// act_decoder.cpp -- reading an animation entry into flat arrays. Two walks
// over the same bytes: the first checks that every record fits and counts
// frames, layers and anchors, so that the arrays are allocated once at their
// size (never more than the entry's bytes allow); the second fills them.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "act.h"
#include "le_bytes.h"

namespace {

const uint32_t kHeaderSize = 16;
const uint32_t kRectanglesSize = 32;
const uint32_t kAnchorSize = 16;
const uint32_t kEventNameSize = 40;

// What a version stores.
struct ActLayout {
    uint16_t version;
    uint32_t layerSize;
    bool eventIndex;  // each frame's event index (0x200)
    bool anchors;     // each frame's anchors (0x203)
    bool events;      // the event names after the actions (0x201)
    bool intervals;   // one interval per action after them (0x202)
};

// Every minor version of major 2 past 0x205 is read with its layout: 0x206
// changed nothing any reader relies on, and a later one is more likely the
// same than not (ActIsNewerThanKnown tells the preview to say so).
bool LayoutOf(uint16_t version, ActLayout* layout) {
    if (version < 0x100 || version > 0x2FF) return false;
    uint32_t layerSize = version < 0x200 ? 16 : version < 0x204 ? 32 : version == 0x204 ? 36 : 44;
    *layout = {version,          layerSize,        version >= 0x200,
               version >= 0x203, version >= 0x201, version >= 0x202};
    return true;
}

struct Cursor {
    const uint8_t* data;
    uint32_t size;
    uint32_t pos;

    uint32_t Left() const { return size - pos; }
    // The next n bytes, or null (taking nothing) when fewer are left.
    const uint8_t* Take(uint64_t n) {
        if (n > Left()) return nullptr;
        const uint8_t* at = data + pos;
        pos += uint32_t(n);
        return at;
    }
};

int32_t GetI32(const uint8_t* p) {
    return int32_t(GetLe32(p));
}

float GetF32(const uint8_t* p) {
    uint32_t bits = GetLe32(p);
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

ActLayer ReadLayer(const uint8_t* p, const ActLayout& layout) {
    ActLayer layer = {GetI32(p),
                      GetI32(p + 4),
                      GetI32(p + 8),
                      GetLe32(p + 12),
                      {255, 255, 255, 255},
                      1.0f,
                      1.0f,
                      0,
                      0,
                      0,
                      0};
    if (layout.version < 0x200) return layer;
    memcpy(layer.tint, p + 16, 4);
    layer.scaleX = GetF32(p + 20);
    // From 0x204 a second scale for y pushes rotation and type on by 4.
    uint32_t at = 24;
    if (layout.version >= 0x204) {
        layer.scaleY = GetF32(p + 24);
        at = 28;
    } else {
        layer.scaleY = layer.scaleX;
    }
    layer.rotation = GetI32(p + at);
    layer.imageType = GetI32(p + at + 4);
    if (layout.version >= 0x205) {
        layer.width = GetI32(p + 36);
        layer.height = GetI32(p + 40);
    }
    return layer;
}

// One walk over the actions. With fill false it only checks and counts
// into act's totals; with fill true it also writes the arrays, which hold
// exactly what the counting walk found.
bool WalkActions(Cursor* in, const ActLayout& layout, ActFile* act, bool fill) {
    uint32_t frames = 0, layers = 0, anchors = 0;
    // The least a frame can take: rectangles, layer count, event index,
    // anchor count.
    const uint32_t minFrame =
        kRectanglesSize + 4 + (layout.eventIndex ? 4 : 0) + (layout.anchors ? 4 : 0);
    for (uint32_t a = 0; a < act->actionCount; ++a) {
        const uint8_t* p = in->Take(4);
        if (!p) return false;
        uint32_t frameCount = GetLe32(p);
        if (frameCount > in->Left() / minFrame) return false;
        if (fill) act->actions[a] = {frames, frameCount, ACT_DEFAULT_INTERVAL};
        for (uint32_t f = 0; f < frameCount; ++f, ++frames) {
            if (!in->Take(kRectanglesSize) || !(p = in->Take(4))) return false;
            uint32_t layerCount = GetLe32(p);
            if (layerCount > in->Left() / layout.layerSize) return false;
            const uint8_t* layerBytes = in->Take(uint64_t(layerCount) * layout.layerSize);
            int32_t event = -1;
            if (layout.eventIndex) {
                if (!(p = in->Take(4))) return false;
                event = GetI32(p);
            }
            uint32_t anchorCount = 0;
            const uint8_t* anchorBytes = nullptr;
            if (layout.anchors) {
                if (!(p = in->Take(4))) return false;
                anchorCount = GetLe32(p);
                if (anchorCount > in->Left() / kAnchorSize) return false;
                anchorBytes = in->Take(uint64_t(anchorCount) * kAnchorSize);
            }
            if (fill) {
                act->frames[frames] = {layers, layerCount, event, anchors, anchorCount};
                for (uint32_t l = 0; l < layerCount; ++l)
                    act->layers[layers + l] = ReadLayer(layerBytes + l * layout.layerSize, layout);
                for (uint32_t k = 0; k < anchorCount; ++k) {
                    const uint8_t* anchor = anchorBytes + k * kAnchorSize;
                    // The anchor's first 4 bytes have no known meaning.
                    act->anchors[anchors + k] = {GetI32(anchor + 4), GetI32(anchor + 8),
                                                 GetI32(anchor + 12)};
                }
            }
            layers += layerCount;
            anchors += anchorCount;
        }
    }
    if (!fill) {
        act->frameTotal = frames;
        act->layerTotal = layers;
        act->anchorTotal = anchors;
    }
    return true;
}

// Event names and intervals, as far as the entry holds them.
void ReadTail(Cursor* in, const ActLayout& layout, ActFile* act, uint32_t* eventCount, bool fill) {
    *eventCount = 0;
    if (!layout.events) return;
    const uint8_t* p = in->Take(4);
    if (!p) return;
    int32_t count = GetI32(p);
    if (count < 0 || uint32_t(count) > in->Left() / kEventNameSize) return;
    const uint8_t* names = in->Take(uint64_t(count) * kEventNameSize);
    *eventCount = uint32_t(count);
    if (!fill) return;
    for (int32_t e = 0; e < count; ++e) {
        const uint8_t* name = names + size_t(e) * kEventNameSize;
        size_t length = strnlen(reinterpret_cast<const char*>(name), kEventNameSize);
        memcpy(act->events[e].name, name, length);
        act->events[e].name[length] = '\0';
    }
    if (!layout.intervals) return;
    for (uint32_t a = 0; a < act->actionCount && (p = in->Take(4)); ++a) {
        float interval = GetF32(p);
        if (isfinite(interval) && interval > 0) act->actions[a].interval = interval;
    }
}

template <typename T>
bool Allocate(uint32_t count, T** array) {
    *array = nullptr;
    if (count == 0) return true;
    *array = static_cast<T*>(calloc(count, sizeof(T)));
    return *array != nullptr;
}

}  // namespace

bool ParseAct(const uint8_t* data, uint32_t size, ActFile* act) {
    *act = ActFile{};
    if (!data || size < kHeaderSize || data[0] != 'A' || data[1] != 'C') return false;
    ActLayout layout;
    if (!LayoutOf(GetLe16(data + 2), &layout)) return false;

    ActFile parsed = {};
    parsed.version = layout.version;
    parsed.actionCount = GetLe16(data + 4);
    Cursor counting = {data, size, kHeaderSize};
    if (!WalkActions(&counting, layout, &parsed, false)) return false;
    ReadTail(&counting, layout, &parsed, &parsed.eventCount, false);

    if (!Allocate(parsed.actionCount, &parsed.actions) ||
        !Allocate(parsed.frameTotal, &parsed.frames) ||
        !Allocate(parsed.layerTotal, &parsed.layers) ||
        !Allocate(parsed.anchorTotal, &parsed.anchors) ||
        !Allocate(parsed.eventCount, &parsed.events)) {
        FreeAct(&parsed);
        return false;
    }
    Cursor filling = {data, size, kHeaderSize};
    WalkActions(&filling, layout, &parsed, true);
    uint32_t eventCount;
    ReadTail(&filling, layout, &parsed, &eventCount, true);
    *act = parsed;
    return true;
}

void FreeAct(ActFile* act) {
    free(act->actions);
    free(act->frames);
    free(act->layers);
    free(act->anchors);
    free(act->events);
    *act = ActFile{};
}

bool ActIsNewerThanKnown(const ActFile* act) {
    return act->version > ACT_NEWEST_KNOWN;
}

uint32_t ActFrameDelayMs(const ActAction* action) {
    double ms = double(action->interval) * ACT_TICK_MS;
    // Also catches a value that is not a number: no comparison holds for it.
    if (!(ms >= ACT_MIN_DELAY_MS)) return ACT_MIN_DELAY_MS;
    if (ms >= ACT_MAX_DELAY_MS) return ACT_MAX_DELAY_MS;
    return uint32_t(lround(ms));
}

uint32_t ActFrameAt(const ActAction* action, uint64_t elapsedMs) {
    if (action->frameCount == 0) return 0;
    return uint32_t(elapsedMs / ActFrameDelayMs(action) % action->frameCount);
}
