// preview_animation_win32.h -- the current preview when it is an animation:
// the animation parsed, its sprite indexed, the action and frame shown, and
// the step that composes that frame into the preview's bitmap. Windows only
// (library caskwright_viewer_win32).
//
// An animation needs two entries: the ".act" and the ".spr" of the same
// name. One of them is the current preview's block (g_previewImage.data),
// the other its companion, held here. Single-threaded, like
// g_previewImage.
#ifndef CASKWRIGHT_PREVIEW_ANIMATION_WIN32_H
#define CASKWRIGHT_PREVIEW_ANIMATION_WIN32_H

#include <stdint.h>

#include "act.h"
#include "sprite.h"

struct PreviewAnimation {
    uint8_t* companion;      // the other entry's block, owned like
                             // g_previewImage.data; null without one
    uint32_t companionSize;  // its real size
    bool active;             // act and sprite below are parsed and in use
    ActFile act;
    SprSheet sprite;
    uint32_t action;   // 0-based action shown
    uint32_t frame;    // 0-based frame of that action
    ActCanvas canvas;  // of the action: the same for all its frames
};

extern PreviewAnimation g_previewAnimation;

// Takes over companion (the sprite when the current preview is PREVIEW_ACT,
// the animation when it is PREVIEW_SPR; may be null) and opens both halves.
// On success the animation is active at action 0, frame 0, and the frame is
// in the preview's bitmap. Returns false, leaving the animation inactive
// (the companion is still held until EndPreviewAnimation), when there is no
// companion, either half does not parse or the animation has no actions.
bool StartPreviewAnimation(uint8_t* companion, uint32_t companionSize);

// Releases the parsed halves and the companion (g_previewSetup.releaseData);
// the animation is inactive afterwards. Safe when nothing is held.
void EndPreviewAnimation(void);

// Frames of the action shown (0 for an action without frames).
uint32_t AnimationFrameCount(void);

// Shows action `action` (0-based) from its first frame: its canvas is taken
// and the frame composed. Does nothing out of range or while inactive.
void ShowAnimationAction(uint32_t action);

// Composes the current frame through g_previewImage.palette (null: the
// sprite's own) over the window's background colour into the preview's
// bitmap. An action without frames shows its empty canvas. Keeps the
// bitmap held before when composing fails (no memory).
void ShowAnimationFrame(void);

// The current frame with its transparency, for saving: false (picture
// empty) while inactive or for an action without frames.
bool ComposeAnimationFrame(RgbaPicture* picture);

#endif
