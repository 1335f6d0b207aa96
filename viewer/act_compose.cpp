// act_compose.cpp -- an animation frame drawn from its sprite's images.
// Each layer is placed by the inverse of its transform: for every canvas
// pixel its layer may cover, the pixel's centre is taken back through the
// rotation, scale and mirror into the image and the image pixel there is
// drawn (nearest neighbour). Quarter turns use exact sines, so a layer
// turned by a multiple of 90 degrees keeps its pixels whole. The point
// sampled is nudged from the pixel's centre by kNudge towards the bottom
// right: an image edge that falls exactly on pixel centres (an odd size
// turned a quarter, or scaled) is then always decided the same way, and
// every image pixel lands exactly once.
#include <math.h>
#include <string.h>

#include "act.h"

namespace {

// Pixels one frame may decode and visit in all: real frames need a small
// fraction of it; an entry that asks for more (thousands of huge layers)
// has its later layers left out rather than holding the program up.
const uint64_t kMaxFrameWork = uint64_t(1) << 26;

const double kPi = 3.14159265358979323846;
const double kNudge = 1.0 / 1024;

// A layer's image on the plane (origin at 0, y down).
struct Placement {
    double centreX, centreY;
    double cosine, sine;  // of the clockwise turn
    double scaleX, scaleY;
    bool mirror;
    int32_t width, height;  // of the image
    // The pixels whose centres it may cover, cut to the canvas limit:
    // [left, right) x [top, bottom); empty when left >= right or top >= bottom.
    int32_t left, top, right, bottom;
};

// The combined image index a layer shows (sprite.h), or false when the
// layer draws nothing.
bool LayerImage(const ActLayer& layer, const SprSheet* sprite, uint32_t* index) {
    if (layer.image < 0 || layer.tint[3] == 0 || !sprite->images) return false;
    uint32_t i = uint32_t(layer.image);
    if (layer.imageType == 1) {
        if (i >= sprite->rgbaCount) return false;
        i += sprite->indexedCount;
    } else if (i >= sprite->indexedCount) {
        return false;
    }
    const SprImage& image = sprite->images[i];
    if (image.kind == SPR_IMAGE_MISSING || image.width == 0 || image.height == 0) return false;
    *index = i;
    return true;
}

void Turn(int32_t degrees, double* cosine, double* sine) {
    int32_t d = degrees % 360;
    if (d < 0) d += 360;
    switch (d) {
        case 0:
            *cosine = 1, *sine = 0;
            return;
        case 90:
            *cosine = 0, *sine = 1;
            return;
        case 180:
            *cosine = -1, *sine = 0;
            return;
        case 270:
            *cosine = 0, *sine = -1;
            return;
        default: {
            double radians = d * (kPi / 180.0);
            *cosine = cos(radians);
            *sine = sin(radians);
        }
    }
}

double Clamp(double value, double low, double high) {
    return value < low ? low : value > high ? high : value;
}

// Places a layer's image; false when the layer draws nothing.
bool Place(const ActLayer& layer, const SprImage& image, Placement* at) {
    if (!isfinite(layer.scaleX) || !isfinite(layer.scaleY)) return false;
    if (layer.scaleX == 0 || layer.scaleY == 0) return false;
    Placement p;
    p.width = image.width;
    p.height = image.height;
    // Unturned and unscaled the top-left pixel is (x - ceil(w/2), y -
    // ceil(h/2)): the centre is half the size on from there.
    p.centreX = double(layer.x) - (p.width + 1) / 2 + p.width / 2.0;
    p.centreY = double(layer.y) - (p.height + 1) / 2 + p.height / 2.0;
    Turn(layer.rotation, &p.cosine, &p.sine);
    p.scaleX = layer.scaleX;
    p.scaleY = layer.scaleY;
    p.mirror = layer.mirror != 0;

    // Corners forward: mirror, scale, turn, move. The mirror only swaps
    // corners, so it does not change the bounds.
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (int corner = 0; corner < 4; ++corner) {
        double u = (corner & 1 ? p.width : 0) - p.width / 2.0;
        double v = (corner & 2 ? p.height : 0) - p.height / 2.0;
        u *= p.scaleX;
        v *= p.scaleY;
        double x = p.centreX + u * p.cosine - v * p.sine;
        double y = p.centreY + u * p.sine + v * p.cosine;
        minX = fmin(minX, x), maxX = fmax(maxX, x);
        minY = fmin(minY, y), maxY = fmax(maxY, y);
    }
    // Pixels whose sampled points lie in [min, max): from ceil(min - 0.5 -
    // nudge) up to ceil(max - 0.5 - nudge), cut to the limit before
    // becoming integers.
    const double limit = ACT_CANVAS_LIMIT, offset = 0.5 + kNudge;
    p.left = int32_t(Clamp(ceil(minX - offset), -limit, limit));
    p.top = int32_t(Clamp(ceil(minY - offset), -limit, limit));
    p.right = int32_t(Clamp(ceil(maxX - offset), -limit, limit));
    p.bottom = int32_t(Clamp(ceil(maxY - offset), -limit, limit));
    *at = p;
    return true;
}

bool Empty(const Placement& p) {
    return p.left >= p.right || p.top >= p.bottom;
}

inline uint8_t Scale255(uint32_t value, uint32_t factor) {
    return uint8_t((value * factor + 127) / 255);
}

// Straight-alpha "over" of one source pixel, tinted unless the tint is
// white, onto dest.
template <bool kTinted>
inline void DrawPixel(const uint8_t* source, const uint8_t* tint, uint8_t* dest) {
    uint32_t sa = kTinted ? Scale255(source[3], tint[3]) : source[3];
    if (sa == 0) return;
    uint8_t colour[3] = {source[0], source[1], source[2]};
    if (kTinted)
        for (int c = 0; c < 3; ++c) colour[c] = Scale255(colour[c], tint[c]);
    uint32_t da = dest[3];
    if (sa == 255 || da == 0) {
        memcpy(dest, colour, 3);
        dest[3] = uint8_t(sa);
        return;
    }
    // Weights times 255: the result's alpha is (ws + wd) / 255.
    uint32_t ws = sa * 255, wd = da * (255 - sa), total = ws + wd;
    for (int c = 0; c < 3; ++c)
        dest[c] = uint8_t((colour[c] * ws + dest[c] * wd + total / 2) / total);
    dest[3] = uint8_t((total + 127) / 255);
}

// The pixels of the canvas a placement reaches.
struct Span {
    int32_t left, top, right, bottom;
};

Span Overlap(const Placement& p, const ActCanvas& canvas) {
    // In 64 bits: the canvas is the caller's, its far edges may not fit.
    int64_t right = int64_t(canvas.left) + canvas.width;
    int64_t bottom = int64_t(canvas.top) + canvas.height;
    Span s = {p.left > canvas.left ? p.left : canvas.left, p.top > canvas.top ? p.top : canvas.top,
              int32_t(p.right < right ? p.right : right),
              int32_t(p.bottom < bottom ? p.bottom : bottom)};
    if (s.left > s.right) s.right = s.left;
    if (s.top > s.bottom) s.bottom = s.top;
    return s;
}

template <bool kTinted>
void DrawLayer(const Placement& p, const Span& span, const RgbaPicture& image, const uint8_t* tint,
               const ActCanvas& canvas, RgbaPicture* out) {
    // Back through the turn, the scale and the mirror, as one linear map of
    // the offset (dx, dy) from the centre: u = dx * ux + dy * uy + w / 2,
    // v = dx * vx + dy * vy + h / 2.
    double ux = p.cosine / p.scaleX, uy = p.sine / p.scaleX;
    const double vx = -p.sine / p.scaleY, vy = p.cosine / p.scaleY;
    if (p.mirror) ux = -ux, uy = -uy;
    const double width = p.width, height = p.height;
    for (int32_t y = span.top; y < span.bottom; ++y) {
        uint8_t* row = out->pixels + 4 * (size_t(y - canvas.top) * size_t(out->width));
        double dy = y + 0.5 + kNudge - p.centreY;
        double rowU = dy * uy + width / 2, rowV = dy * vy + height / 2;
        for (int32_t x = span.left; x < span.right; ++x) {
            double dx = x + 0.5 + kNudge - p.centreX;
            double u = rowU + dx * ux, v = rowV + dx * vx;
            if (!(u >= 0 && u < width && v >= 0 && v < height)) continue;
            const uint8_t* source = image.pixels + 4 * (size_t(v) * size_t(p.width) + size_t(u));
            DrawPixel<kTinted>(source, tint, row + 4 * size_t(x - canvas.left));
        }
    }
}

const ActFrame* FrameOf(const ActFile* act, uint32_t action, uint32_t frame) {
    if (action >= act->actionCount) return nullptr;
    const ActAction& a = act->actions[action];
    if (frame >= a.frameCount) return nullptr;
    return &act->frames[a.firstFrame + frame];
}

}  // namespace

bool ActActionCanvas(const ActFile* act, const SprSheet* sprite, uint32_t action,
                     ActCanvas* canvas) {
    *canvas = {0, 0, 1, 1};
    if (action >= act->actionCount) return false;
    const ActAction& a = act->actions[action];
    bool any = false;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    for (uint32_t f = 0; f < a.frameCount; ++f) {
        const ActFrame& frame = act->frames[a.firstFrame + f];
        for (uint32_t l = 0; l < frame.layerCount; ++l) {
            const ActLayer& layer = act->layers[frame.firstLayer + l];
            uint32_t index;
            Placement p;
            if (!LayerImage(layer, sprite, &index) || !Place(layer, sprite->images[index], &p) ||
                Empty(p))
                continue;
            if (!any || p.left < left) left = p.left;
            if (!any || p.top < top) top = p.top;
            if (!any || p.right > right) right = p.right;
            if (!any || p.bottom > bottom) bottom = p.bottom;
            any = true;
        }
    }
    if (any) *canvas = {left, top, right - left, bottom - top};
    return true;
}

bool ComposeActFrame(const ActFile* act, const SprSheet* sprite, const uint8_t* palette,
                     uint32_t action, uint32_t frame, const ActCanvas* canvas,
                     RgbaPicture* picture) {
    *picture = RgbaPicture{};
    const ActFrame* f = FrameOf(act, action, frame);
    if (!f) return false;
    if (!MakeRgbaPicture(canvas->width, canvas->height, picture)) return false;

    uint64_t work = 0;
    RgbaPicture image = {};
    uint32_t imageIndex = 0;  // of the image held, to reuse it for the next layer
    for (uint32_t l = 0; l < f->layerCount; ++l) {
        const ActLayer& layer = act->layers[f->firstLayer + l];
        uint32_t index;
        Placement p;
        if (!LayerImage(layer, sprite, &index) || !Place(layer, sprite->images[index], &p))
            continue;
        Span span = Overlap(p, *canvas);
        if (span.left == span.right || span.top == span.bottom) continue;
        bool held = image.pixels && imageIndex == index;
        uint64_t cost = uint64_t(span.right - span.left) * uint64_t(span.bottom - span.top) +
                        (held ? 0 : uint64_t(p.width) * uint64_t(p.height));
        if (cost > kMaxFrameWork - work) continue;
        work += cost;
        if (!held) {
            FreeRgbaPicture(&image);
            if (!DecodeSprImage(sprite, index, palette, &image)) continue;
            imageIndex = index;
        }
        bool white = layer.tint[0] == 255 && layer.tint[1] == 255 && layer.tint[2] == 255 &&
                     layer.tint[3] == 255;
        if (white)
            DrawLayer<false>(p, span, image, layer.tint, *canvas, picture);
        else
            DrawLayer<true>(p, span, image, layer.tint, *canvas, picture);
    }
    FreeRgbaPicture(&image);
    return true;
}
