// entry_preview.h -- from the entry list to the viewer: the viewer gets the
// program's resources once, and each activated row's entry its bytes.
#ifndef CASKWRIGHT_UI_ENTRY_PREVIEW_H
#define CASKWRIGHT_UI_ENTRY_PREVIEW_H

#include "grf.h"

// Hands the preview window the program's module, the ids of its caption,
// texts and button strip, and the engine's release of entry blocks. Called
// once at start, before the first preview.
void SetUpEntryPreview();

// Previews an activated row's entry: reads its bytes from its owner archive
// by its name (an entry without an owner, or one that does not read, gives
// no data), recognises its kind and starts the preview.
void PreviewArchiveEntry(const GrfEntry* entry);

#endif
