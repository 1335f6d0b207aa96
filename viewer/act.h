/*
 * act.h -- animation files (".act"): which images of a sprite to draw where,
 * action by action and frame by frame, and each frame composed into a
 * picture with transparency (rgba.h).
 *
 * The file: "AC", minor and major version bytes, a 16-bit action count, 10
 * reserved bytes; each action a 32-bit frame count and its frames; each
 * frame two unused rectangles (32 bytes), a 32-bit layer count and its
 * layers, then from 0x200 an event index and from 0x203 a 32-bit anchor
 * count and anchors of 16 bytes. After the actions, from 0x201, a 32-bit
 * event count and event names of 40 bytes, and from 0x202 one 32-bit float
 * interval per action. A layer is x, y, image index, mirror flag (16 bytes
 * before 0x200); from 0x200 also tint bytes red, green, blue, alpha, a
 * scale (one for both axes before 0x204, x and y from 0x204), a rotation
 * and an image type; from 0x205 also the image's width and height.
 * All numbers little-endian.
 *
 * Versions read: 0x100 to 0x1FF (the 16-byte layer and nothing after the
 * actions) and 0x200 to 0x2FF, where 0x206 and every later minor version
 * take the 0x205 layout (x and y stay 32-bit integers in 0x206). Choices
 * where files and readers disagree:
 *  - a layer is mirrored when its mirror field is not 0;
 *  - image type 1 takes the sprite's true-colour list, any other value the
 *    palette list (sprite.h numbers the true-colour image i at P + i);
 *  - one timer tick is ACT_TICK_MS (25) milliseconds; an action whose
 *    interval is missing, not a finite number or not above 0 takes
 *    ACT_DEFAULT_INTERVAL (6) ticks, 150 ms;
 *  - the event names and intervals after the actions are read as far as
 *    the entry holds them: an event list that does not fit counts as none,
 *    and intervals past the entry's end take the default;
 *  - a 0x205 layer's width and height are kept but not used: the image's
 *    own size places it.
 *
 * Portable (static library caskwright_viewer). The parser never reads
 * outside [data, data + size) and bounds every count by the bytes left
 * before allocating.
 */
#ifndef CASKWRIGHT_ACT_H
#define CASKWRIGHT_ACT_H

#include <stdint.h>

#include "rgba.h"
#include "sprite.h"

#define ACT_TICK_MS 25
/* The newest version whose layout is known; later minor versions of major 2
   are read as it and said to be newer (ActIsNewerThanKnown). */
#define ACT_NEWEST_KNOWN 0x206
#define ACT_DEFAULT_INTERVAL 6.0f
/* Frame delays are kept between these, in milliseconds: below the first a
   timer cannot follow, and the second is long enough for any still. */
#define ACT_MIN_DELAY_MS 10
#define ACT_MAX_DELAY_MS 60000
/* Compositions cover at most [-ACT_CANVAS_LIMIT, ACT_CANVAS_LIMIT) around
   the origin on each axis: what a layer reaches beyond is cut. */
#define ACT_CANVAS_LIMIT 2048

struct ActLayer {
    int32_t x;         /* where the image's centre goes, from the origin */
    int32_t y;         /* (y grows downwards) */
    int32_t image;     /* index in the list imageType selects; < 0 none */
    uint32_t mirror;   /* not 0: mirrored left to right */
    uint8_t tint[4];   /* red, green, blue, alpha; each channel of the
                          image is multiplied by tint / 255 */
    float scaleX;      /* 1 before 0x200 */
    float scaleY;      /* scaleX before 0x204 */
    int32_t rotation;  /* whole degrees, clockwise on screen */
    int32_t imageType; /* 1: true-colour list; else palette list */
    int32_t width;     /* as stored from 0x205, else 0; not used */
    int32_t height;
};

struct ActAnchor {
    int32_t x; /* attach point, from the origin */
    int32_t y;
    int32_t attribute;
};

struct ActFrame {
    uint32_t firstLayer; /* into ActFile.layers, drawn first to last */
    uint32_t layerCount;
    int32_t event;        /* into ActFile.events; -1 (or out of range): none */
    uint32_t firstAnchor; /* into ActFile.anchors */
    uint32_t anchorCount;
};

struct ActAction {
    uint32_t firstFrame; /* into ActFile.frames */
    uint32_t frameCount; /* may be 0 */
    float interval;      /* ticks each frame stays; finite and above 0 */
};

struct ActEvent {
    char name[41]; /* up to 40 bytes as stored (code page 949), NUL-ended */
};

/* A parsed animation: flat arrays that the actions and frames index into,
   each from malloc (null when empty), released by FreeAct. */
struct ActFile {
    uint16_t version; /* major * 256 + minor: 0x205 is stored 05 02 */
    uint32_t actionCount;
    ActAction* actions;
    uint32_t frameTotal;
    ActFrame* frames;
    uint32_t layerTotal;
    ActLayer* layers;
    uint32_t anchorTotal;
    ActAnchor* anchors;
    uint32_t eventCount;
    ActEvent* events;
};

/* Parses an animation entry. Returns false, leaving *act empty, for another
   magic or version, any action, frame, layer or anchor that does not fit in
   the entry, or no memory. */
bool ParseAct(const uint8_t* data, uint32_t size, ActFile* act);

/* Whether the animation's version is past ACT_NEWEST_KNOWN: read with the
   0x205 layout all the same, which a preview should say. */
bool ActIsNewerThanKnown(const ActFile* act);

/* Releases the arrays and empties *act. Safe on an empty one. */
void FreeAct(ActFile* act);

/* How long each frame of an action stays on screen: interval * ACT_TICK_MS,
   rounded, kept between ACT_MIN_DELAY_MS and ACT_MAX_DELAY_MS. */
uint32_t ActFrameDelayMs(const ActAction* action);

/* The frame of a looping action shown `elapsedMs` after it started:
   (elapsed / delay) mod frameCount; 0 for an action without frames. */
uint32_t ActFrameAt(const ActAction* action, uint64_t elapsedMs);

/* ---------------------------------------------------------------------------
 * Composition.
 *
 * Layers are drawn in stored order, each image transformed about its centre:
 * mirrored (when set), scaled by (scaleX, scaleY), rotated clockwise, then
 * put with its centre at the origin + (x, y). Unscaled and unrotated, an
 * image w x h has its top-left pixel at (x - ceil(w / 2), y - ceil(h / 2)),
 * which is where its centre lies for the turning too. Pixels are sampled
 * nearest-neighbour (pixel art stays crisp), multiplied by the tint, and
 * drawn over what is below them (straight alpha, "over"). A layer is
 * skipped when its index is below 0 or outside its list, its image is
 * missing or empty, its tint alpha is 0, or a scale is 0 or not finite.
 * The work of one frame is bounded: layers that would take it past 2^26
 * pixels decoded and visited are left out (real frames need a tiny part).
 */

/* A canvas: canvas pixel (0, 0) is the point (left, top) from the origin. */
struct ActCanvas {
    int32_t left;
    int32_t top;
    int32_t width;  /* > 0 */
    int32_t height; /* > 0 */
};

/* The canvas of an action: the smallest rectangle holding every layer of
   every one of its frames, so that playing it does not move the picture;
   cut to the canvas limit. 1 x 1 at the origin when nothing is drawn.
   Returns false for an action out of range. */
bool ActActionCanvas(const ActFile* act, const SprSheet* sprite, uint32_t action,
                     ActCanvas* canvas);

/* Frame `frame` (0-based) of action `action` (0-based) composed on a
   transparent canvas of the given size. palette is 1024 bytes used for the
   sprite's palette images in place of its own, or null. Returns false,
   leaving *picture empty, for an action or frame out of range or no
   memory; a frame without layers gives a transparent picture. */
bool ComposeActFrame(const ActFile* act, const SprSheet* sprite, const uint8_t* palette,
                     uint32_t action, uint32_t frame, const ActCanvas* canvas,
                     RgbaPicture* picture);

#endif
