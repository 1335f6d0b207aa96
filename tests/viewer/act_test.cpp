// Animations: every version's layout read back, the bounds on each count,
// the lenient tail, frame timing, and frames composed from small sprites
// drawn by hand (placement, mirror, scale, turn, tint, transparency, both
// kinds of image, empty frames, the canvas of a whole action).
#include <act.h>
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "picture_util.h"

namespace {

bool Parse(const Bytes& bytes, ActFile* act) {
    Bytes exact(bytes);  // exactly the entry's bytes, so a read past them is caught
    return ParseAct(exact.data(), uint32_t(exact.size()), act);
}

// ---------------------------------------------------------------------------
// Reading.

TEST(ActParse, EveryVersionReadsWhatItStores) {
    LayerSpec first;
    first.x = -7, first.y = 12, first.image = 3, first.mirror = 1;
    first.tint = {10, 20, 30, 40};
    first.scaleX = 1.5f, first.scaleY = 0.25f, first.rotation = 270, first.type = 1;
    first.width = 33, first.height = 44;
    LayerSpec second;
    second.image = -1, second.scaleX = 2, second.scaleY = 3;
    const std::vector<ActionSpec> actions = {
        {{{{first, second}, 1, {{5, -6, 7}}}, {{}, -1, {}}}, 2.5f},
        {{{{second}, 0, {{1, 2, 3}, {4, 5, 6}}}}, 8},
    };
    const std::vector<std::string> events = {"atk", std::string(40, 'w')};

    // 0x206 and later minor versions of major 2 take the 0x205 layout.
    for (uint16_t version :
         {0x100, 0x101, 0x200, 0x201, 0x202, 0x203, 0x204, 0x205, 0x206, 0x207, 0x2FF}) {
        std::string what =
            "version " + std::to_string(version >> 8) + "." + std::to_string(version & 0xFF);
        ActFile act;
        ASSERT_TRUE(Parse(MakeAct(version, actions, events), &act)) << what;
        EXPECT_EQ(act.version, version) << what;
        EXPECT_EQ(ActIsNewerThanKnown(&act), version > 0x206) << what;
        ASSERT_EQ(act.actionCount, 2u) << what;
        ASSERT_EQ(act.frameTotal, 3u) << what;
        ASSERT_EQ(act.layerTotal, 3u) << what;
        EXPECT_EQ(act.actions[0].firstFrame, 0u);
        EXPECT_EQ(act.actions[0].frameCount, 2u);
        EXPECT_EQ(act.actions[1].firstFrame, 2u);
        EXPECT_EQ(act.frames[1].layerCount, 0u);
        EXPECT_EQ(act.frames[2].firstLayer, 2u);

        const ActLayer& l = act.layers[0];
        EXPECT_EQ(l.x, -7) << what;
        EXPECT_EQ(l.y, 12) << what;
        EXPECT_EQ(l.image, 3) << what;
        EXPECT_EQ(l.mirror, 1u) << what;
        bool extended = version >= 0x200;
        EXPECT_EQ(Bytes(l.tint, l.tint + 4),
                  extended ? Bytes(first.tint.begin(), first.tint.end()) : Bytes(4, 255))
            << what;
        EXPECT_EQ(l.scaleX, extended ? 1.5f : 1.0f) << what;
        EXPECT_EQ(l.scaleY, version >= 0x204 ? 0.25f : extended ? 1.5f : 1.0f) << what;
        EXPECT_EQ(l.rotation, extended ? 270 : 0) << what;
        EXPECT_EQ(l.imageType, extended ? 1 : 0) << what;
        EXPECT_EQ(l.width, version >= 0x205 ? 33 : 0) << what;
        EXPECT_EQ(l.height, version >= 0x205 ? 44 : 0) << what;
        EXPECT_EQ(act.layers[1].image, -1) << what;

        EXPECT_EQ(act.frames[0].event, extended ? 1 : -1) << what;
        EXPECT_EQ(act.frames[2].event, extended ? 0 : -1) << what;
        if (version >= 0x203) {
            ASSERT_EQ(act.anchorTotal, 3u) << what;
            EXPECT_EQ(act.frames[2].firstAnchor, 1u) << what;
            EXPECT_EQ(act.frames[2].anchorCount, 2u) << what;
            EXPECT_EQ(act.anchors[0].x, 5);
            EXPECT_EQ(act.anchors[0].y, -6);
            EXPECT_EQ(act.anchors[0].attribute, 7);
            EXPECT_EQ(act.anchors[2].attribute, 6);
        } else {
            EXPECT_EQ(act.anchorTotal, 0u) << what;
            EXPECT_EQ(act.frames[0].anchorCount, 0u) << what;
        }
        if (version >= 0x201) {
            ASSERT_EQ(act.eventCount, 2u) << what;
            EXPECT_STREQ(act.events[0].name, "atk");
            EXPECT_EQ(std::string(act.events[1].name), events[1]);  // all 40 bytes, no NUL
        } else {
            EXPECT_EQ(act.eventCount, 0u) << what;
        }
        EXPECT_EQ(act.actions[0].interval, version >= 0x202 ? 2.5f : 6.0f) << what;
        EXPECT_EQ(act.actions[1].interval, version >= 0x202 ? 8.0f : 6.0f) << what;
        FreeAct(&act);
    }
}

TEST(ActParse, EntriesThatAreRefused) {
    LayerSpec layer;
    const std::vector<ActionSpec> one = {{{{{layer}, -1, {{1, 2, 3}}}}}};
    Bytes good = MakeAct(0x205, one);
    const size_t firstFrame = 16 + 4, layerCount = firstFrame + 32,
                 anchorCount = layerCount + 4 + 44 + 4;
    Bytes manyFrames = good;
    PutLe32At(&manyFrames, 16, 0xFFFFFFFF);
    Bytes manyLayers = good;
    PutLe32At(&manyLayers, layerCount, 0x10000000);
    Bytes manyAnchors = good;
    PutLe32At(&manyAnchors, anchorCount, 0x7FFFFFFF);
    Bytes twoFramesOneStored = good;
    PutLe32At(&twoFramesOneStored, 16, 2);
    Bytes badMagic = good;
    badMagic[1] = 'B';
    const struct {
        const char* what;
        Bytes entry;
    } cases[] = {
        {"magic", badMagic},
        {"version 0.255", MakeAct(0x00FF, one)},
        {"version 3.0", MakeAct(0x300, one)},
        {"shorter than the header", Bytes(good.begin(), good.begin() + 15)},
        {"frame count missing", Bytes(good.begin(), good.begin() + 18)},
        {"frame count beyond the entry", manyFrames},
        {"fewer frames than counted", twoFramesOneStored},
        {"layer count beyond the entry", manyLayers},
        {"layer cut short", Bytes(good.begin(), good.begin() + layerCount + 4 + 43)},
        {"event index missing", Bytes(good.begin(), good.begin() + layerCount + 4 + 44 + 2)},
        {"anchor count beyond the entry", manyAnchors},
        {"anchor cut short", Bytes(good.begin(), good.begin() + anchorCount + 4 + 15)},
    };
    for (const auto& c : cases) {
        ActFile act;
        EXPECT_FALSE(Parse(c.entry, &act)) << c.what;
        EXPECT_EQ(act.actions, nullptr) << c.what;
    }
    ActFile act;
    EXPECT_FALSE(ParseAct(nullptr, 100, &act));
    ASSERT_TRUE(Parse(good, &act));
    FreeAct(&act);
    // No actions at all is an animation with nothing in it.
    ASSERT_TRUE(Parse(MakeAct(0x205, {}), &act));
    EXPECT_EQ(act.actionCount, 0u);
    FreeAct(&act);
}

// Events and intervals are read as far as they go.
TEST(ActParse, TheTailIsReadAsFarAsItGoes) {
    const std::vector<ActionSpec> two = {{{}, 3}, {{}, 5}};
    Bytes full = MakeAct(0x205, two, {"atk"});
    const size_t tail = 16 + 4 + 4;  // two actions without frames
    Bytes negativeEvents = full;
    PutLe32At(&negativeEvents, tail, 0xFFFFFFFF);
    Bytes tooManyEvents = full;
    PutLe32At(&tooManyEvents, tail, 1000);
    Bytes oddIntervals = MakeAct(0x205, {{{}, NAN}, {{}, -2}}, {});
    Bytes infinite = MakeAct(0x205, {{{}, INFINITY}, {{}, 0}}, {});
    const struct {
        const char* what;
        Bytes entry;
        uint32_t events;
        float first, second;
    } cases[] = {
        {"whole", full, 1, 3, 5},
        {"no tail", MakeAct(0x205, two, {}, false), 0, 6, 6},
        {"event count without its names", Bytes(full.begin(), full.begin() + tail + 4), 0, 6, 6},
        {"one interval of two", Bytes(full.begin(), full.end() - 4), 1, 3, 6},
        {"negative event count", negativeEvents, 0, 6, 6},
        {"more events than bytes", tooManyEvents, 0, 6, 6},
        {"not a number, negative", oddIntervals, 0, 6, 6},
        {"infinite, zero", infinite, 0, 6, 6},
    };
    for (const auto& c : cases) {
        ActFile act;
        ASSERT_TRUE(Parse(c.entry, &act)) << c.what;
        EXPECT_EQ(act.eventCount, c.events) << c.what;
        EXPECT_EQ(act.actions[0].interval, c.first) << c.what;
        EXPECT_EQ(act.actions[1].interval, c.second) << c.what;
        FreeAct(&act);
    }
}

TEST(ActTiming, DelaysAndTheFrameShown) {
    const struct {
        float interval;
        uint32_t ms;
    } delays[] = {{4, 100}, {6, 150}, {0.5f, 13}, {0.1f, 10}, {1e9f, 60000}, {NAN, 10}};
    for (const auto& d : delays) {
        ActAction action = {0, 3, d.interval};
        EXPECT_EQ(ActFrameDelayMs(&action), d.ms) << d.interval;
    }
    ActAction action = {0, 3, 4};  // 100 ms a frame
    const struct {
        uint64_t elapsed;
        uint32_t frame;
    } frames[] = {{0, 0}, {99, 0}, {100, 1}, {250, 2}, {300, 0}, {1000000000099, 1}};
    for (const auto& f : frames) EXPECT_EQ(ActFrameAt(&action, f.elapsed), f.frame) << f.elapsed;
    ActAction none = {0, 0, 4};
    EXPECT_EQ(ActFrameAt(&none, 500), 0u);
}

// ---------------------------------------------------------------------------
// Composition.

// Palette entry i is (i, 255 - i, i / 2): the colour a palette pixel of
// index i composes to, opaque.
Bytes Colour(int index) {
    return {uint8_t(index), uint8_t(255 - index), uint8_t(index / 2), 255};
}

// A picture of palette indices, row by row; -1 for transparent.
Bytes Indexed(const std::vector<int>& cells) {
    Bytes out;
    for (int c : cells) {
        Bytes colour = c < 0 ? Bytes(4, 0) : Colour(c);
        out.insert(out.end(), colour.begin(), colour.end());
    }
    return out;
}

// The sprite of these tests: palette images A (3 x 2), B (2 x 2), C (4 x 4)
// and D (2 x 1, entry 0 on its left); true-colour images E (1 x 1) and F
// (1 x 1).
const Bytes kPixelE = {100, 100, 100, 128}, kPixelF = {200, 0, 0, 128};

Bytes TestSprite() {
    Bytes c;
    for (int i = 1; i <= 16; ++i) c.push_back(uint8_t(i));
    return MakeSpr(
        1, 2, 4,
        {RleRecord(3, 2, {1, 2, 3, 4, 5, 6}), RleRecord(2, 2, {1, 2, 3, 4}), RleRecord(4, 4, c),
         RleRecord(2, 1, {0, 1, 9}), RgbaRecord(1, 1, kPixelE), RgbaRecord(1, 1, kPixelF)},
        RampPalette(), 2);
}
enum { A = 0, B = 1, C = 2, D = 3 };

struct Composed {
    ActCanvas canvas = {};
    Bytes rgba;
    bool ok = false;
};

Composed Compose(const Bytes& actBytes, uint32_t action = 0, uint32_t frame = 0,
                 const uint8_t* palette = nullptr) {
    static const Bytes sprite = TestSprite();
    Composed out;
    ActFile act;
    SprSheet sheet;
    if (!Parse(actBytes, &act)) return out;
    if (OpenSprSheet(sprite.data(), uint32_t(sprite.size()), &sheet)) {
        RgbaPicture picture;
        if (ActActionCanvas(&act, &sheet, action, &out.canvas) &&
            ComposeActFrame(&act, &sheet, palette, action, frame, &out.canvas, &picture)) {
            out.ok = picture.width == out.canvas.width && picture.height == out.canvas.height;
            out.rgba.assign(picture.pixels,
                            picture.pixels + 4 * size_t(picture.width) * picture.height);
            FreeRgbaPicture(&picture);
        }
        CloseSprSheet(&sheet);
    }
    FreeAct(&act);
    return out;
}

// One frame of one layer.
Bytes OneLayer(const LayerSpec& layer, uint16_t version = 0x205) {
    return MakeAct(version, {{{{{layer}}}}});
}

LayerSpec Layer(int image, int32_t x = 0, int32_t y = 0) {
    LayerSpec l;
    l.image = image, l.x = x, l.y = y;
    return l;
}

TEST(ActCompose, OneLayerPlacedMirroredScaledAndTurned) {
    auto with = [](LayerSpec l, auto change) {
        change(l);
        return l;
    };
    const std::vector<int> a = {1, 2, 3, 4, 5, 6};
    const struct {
        const char* what;
        LayerSpec layer;
        uint16_t version;
        ActCanvas canvas;
        std::vector<int> cells;
    } cases[] = {
        // An odd size puts the top-left at x - ceil(w / 2), y - ceil(h / 2).
        {"3 x 2 at the origin", Layer(A), 0x205, {-2, -1, 3, 2}, a},
        {"3 x 2 moved", Layer(A, 10, -5), 0x205, {8, -6, 3, 2}, a},
        {"2 x 2 at the origin", Layer(B), 0x205, {-1, -1, 2, 2}, {1, 2, 3, 4}},
        {"before 0x200", Layer(A, 1, 1), 0x101, {-1, 0, 3, 2}, a},
        {"mirrored",
         with(Layer(A), [](LayerSpec& l) { l.mirror = 1; }),
         0x205,
         {-2, -1, 3, 2},
         {3, 2, 1, 6, 5, 4}},
        {"mirror flag 2 mirrors too",
         with(Layer(A), [](LayerSpec& l) { l.mirror = 2; }),
         0x205,
         {-2, -1, 3, 2},
         {3, 2, 1, 6, 5, 4}},
        {"scaled 2",
         with(Layer(B), [](LayerSpec& l) { l.scaleX = l.scaleY = 2; }),
         0x205,
         {-2, -2, 4, 4},
         {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}},
        {"one scale for both axes before 0x204",
         with(Layer(B), [](LayerSpec& l) { l.scaleX = 2, l.scaleY = 7; }),
         0x203,
         {-2, -2, 4, 4},
         {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}},
        {"scaled 2 across only",
         with(Layer(B), [](LayerSpec& l) { l.scaleX = 2; }),
         0x204,
         {-2, -1, 4, 2},
         {1, 1, 2, 2, 3, 3, 4, 4}},
        {"scaled -1 across mirrors",
         with(Layer(B), [](LayerSpec& l) { l.scaleX = -1; }),
         0x204,
         {-1, -1, 2, 2},
         {2, 1, 4, 3}},
        {"mirrored and scaled -1 is unmirrored",
         with(Layer(B), [](LayerSpec& l) { l.scaleX = -1, l.mirror = 1; }),
         0x204,
         {-1, -1, 2, 2},
         {1, 2, 3, 4}},
        {"scaled 0.5 samples pixel centres",
         with(Layer(C), [](LayerSpec& l) { l.scaleX = l.scaleY = 0.5f; }),
         0x205,
         {-1, -1, 2, 2},
         {6, 8, 14, 16}},
        {"odd size scaled 2",
         with(Layer(A), [](LayerSpec& l) { l.scaleX = l.scaleY = 2; }),
         0x205,
         {-4, -2, 6, 4},
         {1, 1, 2, 2, 3, 3, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 4, 4, 5, 5, 6, 6}},
        // Clockwise on screen: the left column comes from the bottom row.
        {"turned 90",
         with(Layer(A), [](LayerSpec& l) { l.rotation = 90; }),
         0x205,
         {-2, -2, 2, 3},
         {4, 1, 5, 2, 6, 3}},
        {"turned 180",
         with(Layer(A), [](LayerSpec& l) { l.rotation = 180; }),
         0x205,
         {-2, -1, 3, 2},
         {6, 5, 4, 3, 2, 1}},
        {"turned 270",
         with(Layer(A), [](LayerSpec& l) { l.rotation = 270; }),
         0x205,
         {-2, -2, 2, 3},
         {3, 6, 2, 5, 1, 4}},
        {"turned -90 is 270",
         with(Layer(A), [](LayerSpec& l) { l.rotation = -90; }),
         0x205,
         {-2, -2, 2, 3},
         {3, 6, 2, 5, 1, 4}},
        {"turned 450 is 90",
         with(Layer(A), [](LayerSpec& l) { l.rotation = 450; }),
         0x205,
         {-2, -2, 2, 3},
         {4, 1, 5, 2, 6, 3}},
        {"mirrored, then turned 90",
         with(Layer(A), [](LayerSpec& l) { l.rotation = 90, l.mirror = 1; }),
         0x205,
         {-2, -2, 2, 3},
         {6, 3, 5, 2, 4, 1}},
        // Entry 0 is transparent: nothing drawn there.
        {"entry 0", Layer(D), 0x205, {-1, -1, 2, 1}, {-1, 9}},
    };
    for (const auto& c : cases) {
        Composed got = Compose(OneLayer(c.layer, c.version));
        ASSERT_TRUE(got.ok) << c.what;
        EXPECT_EQ(got.canvas.left, c.canvas.left) << c.what;
        EXPECT_EQ(got.canvas.top, c.canvas.top) << c.what;
        EXPECT_EQ(got.canvas.width, c.canvas.width) << c.what;
        EXPECT_EQ(got.canvas.height, c.canvas.height) << c.what;
        EXPECT_EQ(got.rgba, Indexed(c.cells)) << c.what;
    }
}

TEST(ActCompose, TurnedByOtherAnglesAboutTheCentre) {
    // A uniform 4 x 4 turned 45 degrees: a diamond |x| + |y| <= 2 * sqrt 2
    // around the origin; pixel centres at +-0.5 and +-1.5 fall inside it
    // (12 of them), none further out.
    LayerSpec layer = Layer(C);
    layer.rotation = 45;
    ActFile act;
    Bytes sprite = MakeSpr(
        1, 2, 3, {RleRecord(1, 1, {1}), RleRecord(1, 1, {1}), RleRecord(4, 4, Bytes(16, 7))},
        RampPalette());
    ASSERT_TRUE(Parse(OneLayer(layer), &act));
    SprSheet sheet;
    ASSERT_TRUE(OpenSprSheet(sprite.data(), uint32_t(sprite.size()), &sheet));
    ActCanvas canvas;
    ASSERT_TRUE(ActActionCanvas(&act, &sheet, 0, &canvas));
    EXPECT_EQ(canvas.left, -3);
    EXPECT_EQ(canvas.top, -3);
    EXPECT_EQ(canvas.width, 6);
    EXPECT_EQ(canvas.height, 6);
    RgbaPicture picture;
    ASSERT_TRUE(ComposeActFrame(&act, &sheet, nullptr, 0, 0, &canvas, &picture));
    int drawn = 0;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            double cx = canvas.left + x + 0.5, cy = canvas.top + y + 0.5;
            bool inside = fabs(cx) + fabs(cy) <= 2 * sqrt(2.0);
            uint8_t alpha = picture.pixels[4 * (y * 6 + x) + 3];
            EXPECT_EQ(alpha, inside ? 255 : 0) << x << ", " << y;
            drawn += alpha != 0;
        }
    EXPECT_EQ(drawn, 12);
    FreeRgbaPicture(&picture);
    CloseSprSheet(&sheet);
    FreeAct(&act);
}

TEST(ActCompose, TintAndLayersOverEachOther) {
    LayerSpec alone = Layer(B);
    alone.tint = {255, 128, 0, 128};
    Composed got = Compose(OneLayer(alone));
    ASSERT_TRUE(got.ok);
    // B's entry 1 (1, 254, 0) tinted: (1, 127, 0, 128).
    EXPECT_EQ(Bytes(got.rgba.begin(), got.rgba.begin() + 4), (Bytes{1, 127, 0, 128}));

    // Half-transparent over opaque and over half-transparent, true-colour
    // layers (type 1) over a palette layer: straight alpha "over", rounded.
    LayerSpec under = Layer(B, 1, 1);  // covers (0, 0) with entry 1
    LayerSpec e = Layer(0), f = Layer(1);
    e.type = f.type = 1;
    e.x = f.x = 1, e.y = f.y = 1;  // 1 x 1 at (0, 0)
    const struct {
        const char* what;
        std::vector<LayerSpec> layers;
        Bytes pixel;  // at (0, 0)
    } cases[] = {
        {"E alone", {e}, kPixelE},
        {"E over entry 1", {under, e}, {51, 177, 50, 255}},
        {"F over E", {e, f}, {167, 33, 33, 192}},
        {"entry 1 over E", {e, under}, {1, 254, 0, 255}},
        {"nothing over E: image -1", {e, Layer(-1)}, kPixelE},
    };
    for (const auto& c : cases) {
        Composed out = Compose(MakeAct(0x205, {{{{c.layers}}}}));
        ASSERT_TRUE(out.ok) << c.what;
        // Canvas pixel of (0, 0).
        size_t at = 4 * (size_t(-out.canvas.top) * out.canvas.width + size_t(-out.canvas.left));
        EXPECT_EQ(Bytes(out.rgba.begin() + at, out.rgba.begin() + at + 4), c.pixel) << c.what;
    }
}

TEST(ActCompose, ImageListsAndLayersThatDrawNothing) {
    auto typed = [](int image, int32_t type) {
        LayerSpec l = Layer(image);
        l.type = type;
        return l;
    };
    LayerSpec transparentTint = Layer(B), zeroScale = Layer(B), nanScale = Layer(B),
              farAway = Layer(B, 1 << 30, 0);
    transparentTint.tint = {255, 255, 255, 0};
    zeroScale.scaleY = 0;
    nanScale.scaleX = NAN;
    const struct {
        const char* what;
        LayerSpec layer;
        bool draws;
    } cases[] = {
        {"palette image 1", typed(1, 0), true},
        {"true-colour image 1", typed(1, 1), true},
        {"any type but 1 is the palette list", typed(1, 7), true},
        {"palette image past the list", typed(4, 0), false},
        {"true-colour image past the list", typed(2, 1), false},
        {"negative index", typed(-1, 0), false},
        {"tint alpha 0", transparentTint, false},
        {"scale 0", zeroScale, false},
        {"scale not a number", nanScale, false},
        {"beyond the canvas limit", farAway, false},
    };
    for (const auto& c : cases) {
        Composed got = Compose(OneLayer(c.layer));
        ASSERT_TRUE(got.ok) << c.what;
        if (c.draws) {
            EXPECT_NE(got.rgba, Bytes(got.rgba.size(), 0)) << c.what;
        } else {
            // Nothing drawn: the canvas is one transparent pixel at the origin.
            EXPECT_EQ(got.canvas.left, 0) << c.what;
            EXPECT_EQ(got.canvas.width, 1) << c.what;
            EXPECT_EQ(got.rgba, Bytes(4, 0)) << c.what;
        }
    }
    Composed trueColour = Compose(OneLayer(typed(1, 1)));
    EXPECT_EQ(trueColour.rgba, kPixelF);
}

TEST(ActCompose, TheCanvasHoldsEveryFrameOfTheAction) {
    // Frame 0 far left, frame 1 far right and lower, frame 2 empty.
    Bytes act =
        MakeAct(0x205, {{{{{Layer(B, -10, 0)}}, {{Layer(B, 10, 3)}}, {}}}, {{{{Layer(A)}}}}});
    Composed first = Compose(act, 0, 0);
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.canvas.left, -11);
    EXPECT_EQ(first.canvas.top, -1);
    EXPECT_EQ(first.canvas.width, 22);  // -11 to 10
    EXPECT_EQ(first.canvas.height, 5);  // -1 to 3
    std::vector<int> cells(22 * 5, -1);
    cells[0] = 1, cells[1] = 2, cells[22] = 3, cells[23] = 4;
    EXPECT_EQ(first.rgba, Indexed(cells));
    Composed second = Compose(act, 0, 1);
    ASSERT_TRUE(second.ok);
    cells.assign(22 * 5, -1);
    cells[3 * 22 + 20] = 1, cells[3 * 22 + 21] = 2, cells[4 * 22 + 20] = 3, cells[4 * 22 + 21] = 4;
    EXPECT_EQ(second.rgba, Indexed(cells));
    Composed empty = Compose(act, 0, 2);
    ASSERT_TRUE(empty.ok);
    EXPECT_EQ(empty.rgba, Bytes(22 * 5 * 4, 0));
    // Each action has its own canvas.
    EXPECT_EQ(Compose(act, 1, 0).canvas.width, 3);

    // Out of range: no picture.
    EXPECT_FALSE(Compose(act, 2, 0).ok);
    EXPECT_FALSE(Compose(act, 0, 3).ok);
    // An action without frames or with only empty ones: one clear pixel.
    Composed none = Compose(MakeAct(0x205, {{{{}, {{Layer(-1)}}}}}), 0, 1);
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.canvas.width, 1);
    EXPECT_EQ(none.canvas.height, 1);
}

TEST(ActCompose, AHugeLayerIsCutToTheCanvasLimit) {
    Bytes sprite = TestSprite();
    LayerSpec huge = Layer(B);
    huge.scaleX = huge.scaleY = 100000;
    ActFile act;
    ASSERT_TRUE(Parse(OneLayer(huge), &act));
    SprSheet sheet;
    ASSERT_TRUE(OpenSprSheet(sprite.data(), uint32_t(sprite.size()), &sheet));
    ActCanvas canvas;
    ASSERT_TRUE(ActActionCanvas(&act, &sheet, 0, &canvas));
    EXPECT_EQ(canvas.left, -ACT_CANVAS_LIMIT);
    EXPECT_EQ(canvas.top, -ACT_CANVAS_LIMIT);
    EXPECT_EQ(canvas.width, 2 * ACT_CANVAS_LIMIT);
    EXPECT_EQ(canvas.height, 2 * ACT_CANVAS_LIMIT);
    CloseSprSheet(&sheet);
    FreeAct(&act);
}

TEST(ActCompose, AReplacementPaletteRecoloursPaletteLayers) {
    Bytes other(1024, 0);
    for (int i = 0; i < 256; ++i) other[4 * i + 2] = uint8_t(i);  // entry i: (0, 0, i)
    LayerSpec e = Layer(0, 2, 0);
    e.type = 1;
    Composed got = Compose(MakeAct(0x205, {{{{{Layer(D), e}}}}}), 0, 0, other.data());
    ASSERT_TRUE(got.ok);
    // D: entry 0 (transparent) and entry 9; then E unchanged.
    EXPECT_EQ(got.rgba, (Bytes{0, 0, 0, 0, 0, 0, 9, 255, 100, 100, 100, 128}));
}

}  // namespace
