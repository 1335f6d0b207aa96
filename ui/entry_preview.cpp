// entry_preview.cpp -- the glue between an archive row and the viewer.
#include "entry_preview.h"

#include <windows.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "commands.h"
#include "palette.h"
#include "password_prompt.h"
#include "preview_launch.h"
#include "preview_launch_win32.h"
#include "preview_window_win32.h"
#include "resource.h"
#include "services.h"

namespace {

// Palettes offered beside one sprite: enough for any folder of the game,
// and a bound on what one double-click reads.
const size_t MAX_PALETTES = 1024;

void ReleaseEntryBlock(void* data) {
    GrfFreeBuffer(data);
}

// The block of a record of the loaded archive, read as the record itself
// (its owner, its own place); null (size 0) for a local-file record or one
// that does not read.
uint8_t* ReadEntryBlock(const GrfEntry* entry, uint32_t* size) {
    *size = 0;
    uint8_t* data = GrfReadRecord(g_archive, uint32_t(entry - g_archive->entries), size);
    if (!data) *size = 0;
    return data;
}

bool IsLeadByte(char c) {
    return static_cast<uint8_t>(c) >= 0x81;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Whether n bytes of two code page 949 names are equal with ASCII letters in
// any case. The second byte of a double-byte character may be a letter, and
// is compared as it is.
bool EqualNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (IsLeadByte(a[i])) {
            if (a[i] != b[i] || (i + 1 < n && a[i + 1] != b[i + 1])) return false;
            ++i;
        } else if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Bytes of the name's folder, its last backslash included (0 for none).
size_t FolderLength(const char* name) {
    const char* slash = strrchr(name, '\\');
    return slash ? size_t(slash - name) + 1 : 0;
}

bool HasExtension(const char* name, size_t length, const char* extension) {
    size_t n = strlen(extension);
    return length > n && EqualNoCase(name + length - n, extension, n);
}

GrfArchive* LoadedArchive() {
    return g_archive == GRF_NO_ARCHIVE ? nullptr : g_archive;
}

// The entry named like `entry` but with `extension` (".act" or ".spr") for
// its own: first the name with the extension's letters in the case of the
// entry's own (constant time), then any case.
const GrfEntry* FindOtherHalf(const GrfEntry* entry, const char* extension) {
    GrfArchive* archive = LoadedArchive();
    const char* dot = strrchr(entry->name, '.');
    if (!archive || !dot || size_t(dot - entry->name) < FolderLength(entry->name)) return nullptr;
    size_t stem = size_t(dot - entry->name);
    std::string wanted(entry->name, stem);
    for (size_t i = 0; extension[i]; ++i) {
        bool upper = dot[i] >= 'A' && dot[i] <= 'Z';
        wanted += upper ? char(extension[i] - 'a' + 'A') : extension[i];
    }
    if (const GrfEntry* found = GrfFindEntry(archive, wanted.c_str())) return found;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& other = archive->entries[i];
        if (strlen(other.name) == wanted.size() &&
            EqualNoCase(other.name, wanted.c_str(), wanted.size()))
            return &other;
    }
    return nullptr;
}

struct FoundPalette {
    std::wstring name;  // within the folder
    uint8_t* block;     // PALETTE_FILE_SIZE bytes, an entry block
};

// The ".pal" entries of the entry's folder (not of folders below it) that
// read as palettes, by name, deleted ones left out.
std::vector<FoundPalette> ReadFolderPalettes(const GrfEntry* entry) {
    std::vector<FoundPalette> found;
    GrfArchive* archive = LoadedArchive();
    size_t folder = FolderLength(entry->name);
    for (uint32_t i = 0; archive && i < archive->count && found.size() < MAX_PALETTES; ++i) {
        // Most names leave the folder within a few bytes: that test first.
        const GrfEntry& other = archive->entries[i];
        if (!EqualNoCase(other.name, entry->name, folder)) continue;
        const char* leaf = other.name + folder;
        if (strchr(leaf, '\\') || (other.state & GRF_ENTRY_DELETED) ||
            !HasExtension(other.name, folder + strlen(leaf), ".pal"))
            continue;
        uint32_t size = 0;
        uint8_t* block = ReadEntryBlock(&other, &size);
        wchar_t* name =
            block && size == PALETTE_FILE_SIZE ? GrfCp949ToWide(other.name + folder) : nullptr;
        if (!name) {
            GrfFreeBuffer(block);
            continue;
        }
        found.push_back({name, block});
        GrfFreeBuffer(name);
    }
    std::sort(found.begin(), found.end(), [](const FoundPalette& a, const FoundPalette& b) {
        return lstrcmpiW(a.name.c_str(), b.name.c_str()) < 0;
    });
    return found;
}

}  // namespace

void SetUpEntryPreview() {
    PreviewSetup& setup = g_previewSetup;
    setup.instance = g_instance;
    setup.buttonStrip = IDB_PREVIEW_BUTTONS;
    setup.title = IDS_VIEWER_TITLE;
    setup.scaledTitle = IDS_VIEWER_SCALED_TITLE;
    setup.frameFormat = IDS_FRAME_FORMAT;
    setup.actionFormat = IDS_ACTION_FORMAT;
    setup.bmpFilter = IDS_BMP_FILTER;
    setup.pngFilter = IDS_PNG_FILTER;
    setup.gifFilter = IDS_GIF_FILTER;
    setup.saveFailed = IDS_SAVE_FAILED;
    setup.exportFailed = IDS_EXPORT_FAILED;
    setup.errorCaption = IDS_ERROR_CAPTION;
    setup.previousAction = IDS_PREVIOUS_ACTION;
    setup.nextAction = IDS_NEXT_ACTION;
    setup.play = IDS_PLAY;
    setup.pause = IDS_PAUSE;
    setup.ownPalette = IDS_OWN_PALETTE;
    setup.unknownNotice = IDS_NOTICE_UNKNOWN;
    setup.damagedNotice = IDS_NOTICE_DAMAGED;
    setup.unreadableNotice = IDS_NOTICE_UNREADABLE;
    setup.noSpriteNotice = IDS_NOTICE_NO_SPRITE;
    setup.compiledLuaNotice = IDS_NOTICE_COMPILED_LUA;
    setup.needsPasswordNotice = IDS_NOTICE_NEEDS_PASSWORD;
    setup.wrongPasswordNotice = IDS_NOTICE_WRONG_PASSWORD;
    setup.newerAct = IDS_NEWER_ACT;
    setup.releaseData = ReleaseEntryBlock;
}

void PreviewArchiveRecord(HWND window, uint32_t index) {
    const GrfEntry* entry = &g_archive->entries[index];
    wchar_t* name = GrfFileName(entry->name);
    if (!name) return;  // out of memory: the previous preview stays
    PreviewRequest request = {};
    request.data = GrfReadRecord(g_archive, index, &request.size);
    if (!request.data && GrfGetLastError() == GRF_ERROR_CHANGED) {
        GrfFreeBuffer(name);
        AskToOpenAgain(window, entry->owner ? entry->owner->path : g_archive->path);
        return;
    }
    if (!request.data) {
        request.size = 0;
        // A keyed entry says why it does not read, in the engine's words.
        uint32_t code = GrfGetLastError();
        if (code == GRF_ERROR_NEEDS_PASSWORD) {
            request.unreadable = PREVIEW_NOTICE_NEEDS_PASSWORD;
            OfferPasswordFor(window, index);
        }
        if (code == GRF_ERROR_PASSWORD) request.unreadable = PREVIEW_NOTICE_WRONG_PASSWORD;
    }
    request.type = DetectEntryType(name, request.data, request.size);
    request.name = name;

    std::vector<FoundPalette> palettes;
    std::vector<PreviewPaletteFile> offered;
    if (request.type == PREVIEW_SPR || request.type == PREVIEW_ACT) {
        const char* other = request.type == PREVIEW_SPR ? ".act" : ".spr";
        if (const GrfEntry* half = FindOtherHalf(entry, other))
            request.companion = ReadEntryBlock(half, &request.companionSize);
        palettes = ReadFolderPalettes(entry);
        for (const FoundPalette& palette : palettes)
            offered.push_back({palette.name.c_str(), palette.block});
        request.palettes = offered.data();
        request.paletteCount = uint32_t(offered.size());
    }
    ShowPreview(&request);  // takes the blocks over, copies the palettes and the name
    GrfFreeBuffer(name);
    for (const FoundPalette& palette : palettes) GrfFreeBuffer(palette.block);
}
