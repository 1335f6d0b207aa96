// entry_preview.h -- from the entry list to the viewer: the viewer gets the
// program's resources once, and each activated row's entry its bytes, with
// what a sprite or an animation needs from the rest of the archive.
#ifndef CASKWRIGHT_UI_ENTRY_PREVIEW_H
#define CASKWRIGHT_UI_ENTRY_PREVIEW_H

#include <windows.h>

#include "grf.h"

// Hands the preview window the program's module, the ids of its caption,
// texts and button strip, and the engine's release of entry blocks. Called
// once at start, before the first preview.
void SetUpEntryPreview();

// Previews record index of g_archive for an activated row: reads its bytes
// from its owner archive (a local-file record, or one that does not read,
// gives no data), recognises its kind and starts the preview. A sprite or an
// animation also gets, from the loaded archive, its other half (the ".act"
// or ".spr" of the same name, letters in any case) and the ".pal" entries
// of its folder, read now, so nothing is read later from an archive that
// may have been closed. When the owner's file changed on disk, asks over
// window to open it again instead.
void PreviewArchiveRecord(HWND window, uint32_t index);

#endif
