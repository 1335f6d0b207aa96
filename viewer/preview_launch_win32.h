// preview_launch_win32.h -- starting a preview: an entry's bytes become the
// current preview, are decoded or played, and the preview window shows the
// picture, the text or why there is neither, or closes for a sound. Windows
// only (library caskwright_preview_window).
#ifndef CASKWRIGHT_PREVIEW_LAUNCH_WIN32_H
#define CASKWRIGHT_PREVIEW_LAUNCH_WIN32_H

#include <stdint.h>
#include <wchar.h>

#include "preview.h"
#include "preview_bitmap_win32.h"

// A palette the user may draw a sprite with: its name as the list shows it
// and its PALETTE_FILE_SIZE bytes (palette.h).
struct PreviewPaletteFile {
    const wchar_t* name;
    const uint8_t* colours;
};

// What a preview is made of. Blocks are entry blocks: size bytes followed by
// a zero tail of at least 10 bytes, or null when the entry did not read.
struct PreviewRequest {
    uint8_t* data;  // the activated entry's block, or null
    uint32_t size;
    PreviewType type;  // DetectEntryType (preview_launch.h) of the entry
    // The other half of an animation: the sprite of the same name for an
    // animation, the animation of the same name for a sprite; null for none.
    uint8_t* companion;
    uint32_t companionSize;
    // Palettes offered for a sprite or an animation; copied, so they need
    // to live only for the call.
    const PreviewPaletteFile* palettes;
    uint32_t paletteCount;
    // Why data is null when the reason is more than "could not be read"
    // (PREVIEW_NOTICE_NONE: it could not be read).
    PreviewNotice unreadable;
    // The entry's name, for the window's caption (copied; null: none).
    const wchar_t* name;
};

// Makes the request the current preview and takes over its blocks: stops a
// sound still playing from the previous block, releases the previous blocks
// (g_previewSetup.releaseData), text and picture, then decodes the new entry
// by type. A sprite with its animation plays as the animation; a sound is
// played asynchronously from the block and closes the preview window. Any
// other entry shows the preview window, fitted: with its picture, its text,
// or a notice of why neither can be shown (an unknown kind, a decoder's
// refusal, a block that did not read, an animation without its sprite,
// compiled Lua).
void ShowPreview(const PreviewRequest* request);

// Ends the current preview and closes its window: for when what it shows
// is no longer loaded.
void ClosePreview(void);

// ShowPreview of one entry with no companion and no palettes.
void ShowEntryPreview(uint8_t* data, uint32_t size, PreviewType type);

#endif
