// preview_animation_win32.cpp -- the current animation: its two halves, the
// action and frame shown, and each frame composed into the preview bitmap.
#include "preview_animation_win32.h"

#include <windows.h>

#include "preview_bitmap_win32.h"
#include "preview_window_win32.h"

PreviewAnimation g_previewAnimation;

namespace {

// The animation's and the sprite's bytes, whichever entry was activated.
void Halves(const uint8_t** act, uint32_t* actSize, const uint8_t** sprite, uint32_t* spriteSize) {
    const PreviewAnimation& a = g_previewAnimation;
    bool entryIsAnimation = g_previewImage.type == PREVIEW_ACT;
    *act = entryIsAnimation ? g_previewImage.data : a.companion;
    *actSize = entryIsAnimation ? g_previewImage.size : a.companionSize;
    *sprite = entryIsAnimation ? a.companion : g_previewImage.data;
    *spriteSize = entryIsAnimation ? a.companionSize : g_previewImage.size;
}

}  // namespace

bool StartPreviewAnimation(uint8_t* companion, uint32_t companionSize) {
    EndPreviewAnimation();
    PreviewAnimation& a = g_previewAnimation;
    a.companion = companion;
    a.companionSize = companionSize;
    if (!companion || !g_previewImage.data) return false;
    const uint8_t *act, *sprite;
    uint32_t actSize, spriteSize;
    Halves(&act, &actSize, &sprite, &spriteSize);
    if (!ParseAct(act, actSize, &a.act)) return false;
    if (a.act.actionCount == 0) {  // nothing to play
        FreeAct(&a.act);
        return false;
    }
    if (!OpenSprSheet(sprite, spriteSize, &a.sprite)) {
        FreeAct(&a.act);
        return false;
    }
    a.active = true;
    ShowAnimationAction(0);
    return true;
}

void EndPreviewAnimation(void) {
    PreviewAnimation& a = g_previewAnimation;
    FreeAct(&a.act);
    CloseSprSheet(&a.sprite);
    if (a.companion && g_previewSetup.releaseData) g_previewSetup.releaseData(a.companion);
    a = PreviewAnimation{};
}

uint32_t AnimationFrameCount(void) {
    const PreviewAnimation& a = g_previewAnimation;
    if (!a.active || a.action >= a.act.actionCount) return 0;
    return a.act.actions[a.action].frameCount;
}

void ShowAnimationAction(uint32_t action) {
    PreviewAnimation& a = g_previewAnimation;
    if (!a.active || action >= a.act.actionCount) return;
    a.action = action;
    a.frame = 0;
    ActActionCanvas(&a.act, &a.sprite, action, &a.canvas);
    ShowAnimationFrame();
}

bool ComposeAnimationFrame(RgbaPicture* picture) {
    const PreviewAnimation& a = g_previewAnimation;
    *picture = RgbaPicture{};
    if (!a.active) return false;
    return ComposeActFrame(&a.act, &a.sprite, g_previewImage.palette, a.action, a.frame, &a.canvas,
                           picture);
}

void ShowAnimationFrame(void) {
    const PreviewAnimation& a = g_previewAnimation;
    if (!a.active) return;
    RgbaPicture frame;
    bool composed = AnimationFrameCount() == 0
                        ? MakeRgbaPicture(a.canvas.width, a.canvas.height, &frame)
                        : ComposeAnimationFrame(&frame);
    if (!composed) return;
    // Over the window's own colour: semi-transparent pixels blend with what
    // they are seen against.
    uint8_t background[3];
    PreviewBackground(background);
    PreviewPicture picture;
    bool flattened = FlattenRgbaPicture(&frame, background, &picture);
    FreeRgbaPicture(&frame);
    if (flattened && StorePreviewPicture(&picture)) g_previewImage.drawnWhole = true;
}
