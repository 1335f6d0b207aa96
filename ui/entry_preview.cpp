// entry_preview.cpp -- the glue between an archive row and the viewer.
#include "entry_preview.h"

#include "commands.h"
#include "preview_launch.h"
#include "preview_launch_win32.h"
#include "preview_window_win32.h"
#include "resource.h"
#include "services.h"

namespace {

void ReleaseEntryBlock(void* data) {
    GrfFreeBuffer(data);
}

}  // namespace

void SetUpEntryPreview() {
    g_previewSetup.instance = g_instance;
    g_previewSetup.buttonStrip = IDB_PREVIEW_BUTTONS;
    g_previewSetup.title = IDS_VIEWER_TITLE;
    g_previewSetup.frameFormat = IDS_FRAME_FORMAT;
    g_previewSetup.bmpFilter = IDS_BMP_FILTER;
    g_previewSetup.saveFailed = IDS_SAVE_FAILED;
    g_previewSetup.errorCaption = IDS_ERROR_CAPTION;
    g_previewSetup.releaseData = ReleaseEntryBlock;
}

void PreviewArchiveRecord(HWND window, uint32_t index) {
    const GrfEntry& entry = g_archive->entries[index];
    wchar_t* name = GrfFileName(entry.name);
    if (!name) return;  // out of memory: the previous preview stays
    uint32_t size = 0;
    uint8_t* data = GrfReadRecord(g_archive, index, &size);
    if (!data && GrfGetLastError() == GRF_ERROR_CHANGED) {
        GrfFreeBuffer(name);
        AskToOpenAgain(window, entry.owner ? entry.owner->path : g_archive->path);
        return;
    }
    if (!data) size = 0;
    ShowEntryPreview(data, size, DetectPreviewType(name, data));
    GrfFreeBuffer(name);
}
