// preview_launch_win32.cpp -- starting a preview: handing an entry's bytes
// to its decoder or playing them, and showing or closing the preview window.
#include "preview_launch_win32.h"

#include <windows.h>

#include <mmsystem.h>

#include "preview_animation_win32.h"
#include "preview_bitmap_win32.h"
#include "preview_launch.h"
#include "preview_window_win32.h"

namespace {

// The player reads the block while it plays: it must have stopped before
// the block is released.
void StopEntrySound() {
    if (g_previewImage.type == PREVIEW_WAV) PlaySoundW(nullptr, nullptr, 0);
}

void PlayEntrySound() {
    // The player is given only the block and trusts the sizes inside it.
    if (!FitWaveToEntry(g_previewImage.data, g_previewImage.size)) return;
    PlaySoundW(reinterpret_cast<LPCWSTR>(g_previewImage.data), nullptr, SND_ASYNC | SND_MEMORY);
}

// Everything the previous preview held goes: its blocks, text and picture.
void EndCurrentPreview() {
    StopEntrySound();
    EndPreviewAnimation();
    if (g_previewImage.data && g_previewSetup.releaseData)
        g_previewSetup.releaseData(g_previewImage.data);
    FreePreviewText();
    ClearPreviewPicture();
    g_previewImage.data = nullptr;
    g_previewImage.size = 0;
    g_previewImage.palette = nullptr;
    g_previewImage.notice = PREVIEW_NOTICE_NONE;
}

// An animation needs its sprite; a sprite with an animation that does not
// parse is shown frame by frame as if it had none.
void DecodeAnimationOrSprite(const PreviewRequest& request) {
    bool started = StartPreviewAnimation(request.companion, request.companionSize);
    if (g_previewImage.type == PREVIEW_ACT) {
        if (!request.companion) g_previewImage.notice = PREVIEW_NOTICE_NO_SPRITE;
        return;
    }
    if (started) {
        g_previewImage.type = PREVIEW_ACT;
        return;
    }
    EndPreviewAnimation();
    DecodeSprPreview();
}

void DecodeEntry(const PreviewRequest& request) {
    switch (g_previewImage.type) {
        case PREVIEW_BMP:
            DecodeBmpPreview();
            break;
        case PREVIEW_TGA:
            DecodeTgaPreview();
            break;
        case PREVIEW_JPG:
            DecodeJpegPreview();
            break;
        case PREVIEW_SPR:
        case PREVIEW_ACT:
            DecodeAnimationOrSprite(request);
            break;
        case PREVIEW_GAT:
            RenderGatPreview();
            break;
        case PREVIEW_WAV:
            PlayEntrySound();
            break;
        case PREVIEW_PAL:
            DecodePalPreview();
            break;
        case PREVIEW_TEXT:
            DecodeTextPreview();
            break;
        default:
            break;
    }
}

// Nothing to show and no reason given yet: the most telling one.
void NoteWhyNothingShows() {
    if (g_previewImage.bitmap || g_previewImage.text || g_previewImage.notice) return;
    if (!g_previewImage.data)
        g_previewImage.notice = PREVIEW_NOTICE_UNREADABLE;
    else if (g_previewImage.type == PREVIEW_NONE)
        g_previewImage.notice = PREVIEW_NOTICE_UNKNOWN;
    else
        g_previewImage.notice = PREVIEW_NOTICE_DAMAGED;
}

// A companion is only for sprites and animations.
void ReleaseUnusedCompanion(const PreviewRequest& request) {
    bool used = request.data && (request.type == PREVIEW_SPR || request.type == PREVIEW_ACT);
    if (request.companion && !used && g_previewSetup.releaseData)
        g_previewSetup.releaseData(request.companion);
}

void ClosePreviewWindow() {
    if (g_previewWindow) DestroyWindow(g_previewWindow);
    g_previewWindow = nullptr;
}

}  // namespace

void ShowPreview(const PreviewRequest* request) {
    EndCurrentPreview();
    ReleaseUnusedCompanion(*request);
    g_previewImage.frameCount = 1;
    g_previewImage.currentFrame = 1;
    g_previewImage.data = request->data;
    g_previewImage.size = request->data ? request->size : 0;
    g_previewImage.type = request->data ? request->type : PREVIEW_NONE;
    DecodeEntry(*request);
    if (g_previewImage.type == PREVIEW_WAV) {
        ClosePreviewWindow();
        return;
    }
    if (!request->data && request->unreadable != PREVIEW_NOTICE_NONE)
        g_previewImage.notice = request->unreadable;
    NoteWhyNothingShows();
    SetPreviewName(request->name);
    ShowPreviewWindow();
    PresentPreview(request->palettes, request->paletteCount);
    FitPreviewWindow();
}

void ClosePreview(void) {
    EndCurrentPreview();
    ClosePreviewWindow();
}

void ShowEntryPreview(uint8_t* data, uint32_t size, PreviewType type) {
    PreviewRequest request = {};
    request.data = data;
    request.size = size;
    request.type = type;
    ShowPreview(&request);
}
