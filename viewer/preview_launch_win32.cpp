// preview_launch_win32.cpp -- starting a preview: handing an entry's bytes
// to its decoder or playing them, and showing or closing the preview window.
#include "preview_launch_win32.h"

#include <windows.h>

#include <mmsystem.h>

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

void DecodeEntry() {
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
            DecodeSprPreview();
            break;
        case PREVIEW_GAT:
            RenderGatPreview();
            break;
        case PREVIEW_WAV:
            PlayEntrySound();
            break;
        default:
            break;
    }
}

void ClosePreviewWindow() {
    if (g_previewWindow) DestroyWindow(g_previewWindow);
    g_previewWindow = nullptr;
}

}  // namespace

void ShowEntryPreview(uint8_t* data, uint32_t size, PreviewType type) {
    StopEntrySound();
    if (g_previewImage.data && g_previewSetup.releaseData)
        g_previewSetup.releaseData(g_previewImage.data);
    g_previewImage.frameCount = 1;
    g_previewImage.currentFrame = 1;
    g_previewImage.data = data;
    g_previewImage.size = size;
    g_previewImage.type = type;
    ClearPreviewPicture();
    DecodeEntry();
    if (g_previewImage.bitmap) {
        ShowPreviewWindow();
        FitPreviewWindow();
    } else {
        ClosePreviewWindow();
    }
}
