// entry_view.cpp -- see entry_view.h.
#include "entry_view.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>

namespace {

unsigned char FoldAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool IsLeadByte(unsigned char c) {
    return c >= 0x81 && c != 0xFF;
}

// ---- Rows and their entries.

const GrfEntry* FilledEntry(const EntryView& view, uint32_t filled) {
    if (filled >= view.filled.size()) return nullptr;
    uint32_t index = view.filled[filled];
    if (view.loadingEntries)
        return index < view.loadingCount ? &view.loadingEntries[index] : nullptr;
    const GrfArchive* archive = view.loaded ? *view.loaded : GRF_NO_ARCHIVE;
    if (archive == GRF_NO_ARCHIVE || view.filledFrom != archive) return nullptr;
    return index < archive->count ? &archive->entries[index] : nullptr;
}

void ForgetRows(EntryView* view) {
    view->filled.clear();
    view->filledBytes.clear();
    view->filledFrom = GRF_NO_ARCHIVE;
    view->shown.clear();
    ClearRows(&view->selection);
    view->selection.anchor = -1;
    view->rowBytes.assign(1, 0);
}

void CountRowBytes(EntryView* view) {
    size_t count = view->shown.size();
    view->rowBytes.resize(count + 1);
    view->rowBytes[0] = 0;
    for (size_t row = 0; row < count; ++row) {
        uint32_t filled = view->shown[row];
        bool held = FilledEntry(*view, filled) != nullptr;
        view->rowBytes[row + 1] = view->rowBytes[row] + (held ? view->filledBytes[filled] : 0);
    }
}

// ---- The search and the folder.

// Whether needle occurs at `at`, ASCII letters without regard to case.
// Double-byte characters compare exactly: their second bytes may look like
// letters.
bool MatchesAt(const unsigned char* at, const std::string& needle) {
    size_t i = 0;
    while (i < needle.size()) {
        auto want = static_cast<unsigned char>(needle[i]);
        if (want >= 0x81 && i + 1 < needle.size()) {
            if (at[i] != want || at[i + 1] != static_cast<unsigned char>(needle[i + 1]))
                return false;
            i += 2;
        } else {
            if (!at[i] || FoldAscii(at[i]) != FoldAscii(want)) return false;
            i += 1;
        }
    }
    return true;
}

bool RowPasses(const EntryView& view, uint32_t filled) {
    const GrfEntry* entry = FilledEntry(view, filled);
    if (!entry) return false;
    // The table as read shows whole until the open ends.
    if (view.loadingEntries) return true;
    if (!view.searchValid) return false;
    if (!view.folder.empty() && !NameInFolder(entry->name, view.folder)) return false;
    return NameContains(entry->name, view.search);
}

// ---- The sort.

uint32_t NumberKey(const GrfEntry& entry, int column) {
    switch (column) {
        case VIEW_COLUMN_COMP_SIZE:
            return entry.alignedSize;
        case VIEW_COLUMN_FILE_SIZE:
            return entry.realSize;
        case VIEW_COLUMN_OFFSET:
            return static_cast<uint32_t>(entry.position);
        case VIEW_COLUMN_CYCLE:
            return static_cast<uint32_t>(entry.cycle + 128);
    }
    return 0;
}

// 32 bytes of a name from offset on, ASCII letters folded, as four numbers
// that compare as the bytes do; past the end, zeros.
struct NameKey {
    uint64_t part[4];
    uint32_t filled;
};

void FillNameKey(const char* name, size_t offset, NameKey* key) {
    size_t length = strnlen(name, GRF_NAME_SIZE);
    for (int i = 0; i < 4; ++i) {
        uint64_t part = 0;
        for (size_t j = 0; j < 8; ++j) {
            size_t at = offset + size_t(i) * 8 + j;
            unsigned char c = at < length ? FoldAscii(static_cast<unsigned char>(name[at])) : 0;
            part = part << 8 | c;
        }
        key->part[i] = part;
    }
}

bool SameName(const NameKey& a, const NameKey& b) {
    return a.part[0] == b.part[0] && a.part[1] == b.part[1] && a.part[2] == b.part[2] &&
           a.part[3] == b.part[3];
}

const size_t SMALL_RUN = 32;

int CompareFrom(const char* a, const char* b, size_t offset) {
    auto x = reinterpret_cast<const unsigned char*>(a) + offset;
    auto y = reinterpret_cast<const unsigned char*>(b) + offset;
    while (*x && FoldAscii(*x) == FoldAscii(*y)) ++x, ++y;
    return int(FoldAscii(*x)) - int(FoldAscii(*y));
}

// Rows whose names agree up to offset (all longer than it).
void SortRestOfNames(EntryView* view, size_t first, size_t last, size_t offset) {
    std::sort(view->shown.begin() + ptrdiff_t(first), view->shown.begin() + ptrdiff_t(last),
              [view, offset](uint32_t a, uint32_t b) {
                  const GrfEntry* x = FilledEntry(*view, a);
                  const GrfEntry* y = FilledEntry(*view, b);
                  int order =
                      x && y && offset < GRF_NAME_SIZE ? CompareFrom(x->name, y->name, offset) : 0;
                  return order != 0 ? order < 0 : a < b;
              });
}

// How many bytes from offset on every name of shown[first, last) shares
// (ASCII letters folded), short of any name's end.
size_t SharedLength(const EntryView& view, size_t first, size_t last, size_t offset) {
    const GrfEntry* model = FilledEntry(view, view.shown[first]);
    if (!model) return 0;
    auto base = reinterpret_cast<const unsigned char*>(model->name) + offset;
    size_t shared = strnlen(model->name + offset, GRF_NAME_SIZE - offset);
    for (size_t i = first + 1; i < last && shared > 0; ++i) {
        const GrfEntry* entry = FilledEntry(view, view.shown[i]);
        if (!entry) return 0;
        auto at = reinterpret_cast<const unsigned char*>(entry->name) + offset;
        size_t same = 0;
        while (same < shared && FoldAscii(at[same]) == FoldAscii(base[same])) ++same;
        shared = same;
    }
    return shared;
}

// Sorts shown[first, last) by name from byte offset on: past the bytes all
// the names share (they decide nothing), 32 bytes at a time, the keys sorted
// in one block of memory (comparing names through the table would wait on
// memory at every step), then each run of rows whose 32 bytes agree and go
// on, by the next 32.
void SortByName(EntryView* view, size_t first, size_t last, size_t offset) {
    if (last - first < 2 || offset >= GRF_NAME_SIZE) return;
    offset += SharedLength(*view, first, last, offset);
    if (offset >= GRF_NAME_SIZE) return;
    std::vector<NameKey> keys(last - first);
    for (size_t i = first; i < last; ++i) {
        const GrfEntry* entry = FilledEntry(*view, view->shown[i]);
        FillNameKey(entry ? entry->name : "", offset, &keys[i - first]);
        keys[i - first].filled = view->shown[i];
    }
    std::sort(keys.begin(), keys.end(), [](const NameKey& a, const NameKey& b) {
        for (int i = 0; i < 4; ++i) {
            if (a.part[i] != b.part[i]) return a.part[i] < b.part[i];
        }
        return a.filled < b.filled;
    });
    for (size_t i = first; i < last; ++i) view->shown[i] = keys[i - first].filled;
    for (size_t run = 0; run < keys.size();) {
        size_t end = run + 1;
        while (end < keys.size() && SameName(keys[run], keys[end])) ++end;
        // Names that end within these bytes are equal: their order stays. A
        // few rows compare the rest of their names directly.
        if (end - run > 1 && (keys[run].part[3] & 0xFF) != 0) {
            if (end - run <= SMALL_RUN) {
                SortRestOfNames(view, first + run, first + end, offset + 32);
            } else {
                SortByName(view, first + run, first + end, offset + 32);
            }
        }
        run = end;
    }
}

// Orders the shown rows by the sort column; equal keys keep the filling's
// order.
void SortRows(EntryView* view) {
    int column = view->sortColumn;
    std::vector<uint32_t>& shown = view->shown;
    if (column < 0 || shown.empty()) return;
    bool down = view->descending;
    if (column == VIEW_COLUMN_NAME) {
        SortByName(view, 0, shown.size(), 0);
        if (down) std::reverse(shown.begin(), shown.end());
        return;
    }
    // The key above, the filling's position below: one number sorts both.
    std::vector<uint64_t> keys(shown.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        const GrfEntry* entry = FilledEntry(*view, shown[i]);
        uint32_t key =
            column == VIEW_COLUMN_INDEX ? shown[i] : (entry ? NumberKey(*entry, column) : 0);
        if (down) key = ~key;
        keys[i] = uint64_t(key) << 32 | shown[i];
    }
    std::sort(keys.begin(), keys.end());
    for (size_t i = 0; i < shown.size(); ++i) shown[i] = static_cast<uint32_t>(keys[i]);
}

// ---- The selection across a new order or filling.

// By filled row, with the focused and the anchor row's.
struct KeptSelection {
    std::vector<bool> filled;
    int64_t focus = -1;
    int64_t anchor = -1;
};

int64_t FilledOfRow(const EntryView& view, int row) {
    return row >= 0 && size_t(row) < view.shown.size() ? int64_t{view.shown[size_t(row)]} : -1;
}

KeptSelection KeepSelection(const EntryView& view, int focus) {
    KeptSelection kept;
    kept.filled.assign(view.filled.size(), false);
    for (const RowRun& run : view.selection.runs) {
        for (uint32_t row = run.first; row < run.last && row < view.shown.size(); ++row)
            kept.filled[view.shown[row]] = true;
    }
    kept.focus = FilledOfRow(view, focus);
    kept.anchor = FilledOfRow(view, view.selection.anchor);
    return kept;
}

// Selects the shown rows kept selected, in runs built in one pass; the
// anchor follows its row. Returns the row of the kept focus, or -1.
int RestoreSelection(EntryView* view, const KeptSelection& kept) {
    RowSelection& selection = view->selection;
    ClearRows(&selection);
    selection.anchor = -1;
    int focus = -1;
    for (uint32_t row = 0; row < view->shown.size(); ++row) {
        uint32_t filled = view->shown[row];
        if (int64_t{filled} == kept.focus) focus = int(row);
        if (int64_t{filled} == kept.anchor) selection.anchor = int(row);
        if (filled >= kept.filled.size() || !kept.filled[filled]) continue;
        if (!selection.runs.empty() && selection.runs.back().last == row) {
            ++selection.runs.back().last;
        } else {
            selection.runs.push_back({row, row + 1});
        }
        ++selection.count;
    }
    return focus;
}

// Builds the shown rows from the filled ones (or, narrowing, from those
// shown) with nothing selected.
void ShowRows(EntryView* view, bool narrowing) {
    std::vector<uint32_t>& shown = view->shown;
    if (narrowing) {
        size_t kept = 0;
        for (uint32_t filled : shown) {
            if (RowPasses(*view, filled)) shown[kept++] = filled;
        }
        shown.resize(kept);
    } else {
        shown.clear();
        for (uint32_t filled = 0; filled < view->filled.size(); ++filled) {
            if (RowPasses(*view, filled)) shown.push_back(filled);
        }
        SortRows(view);
    }
    ClearRows(&view->selection);
    view->selection.anchor = -1;
    CountRowBytes(view);
}

// ---- The folders.

// ASCII letters upper-cased; double-byte characters as they are (their
// second bytes may look like letters).
std::string Folded(const char* text, size_t length) {
    std::string key(text, length);
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(key[i]);
        if (IsLeadByte(c) && i + 1 < length) {
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            key[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
    return key;
}

// The folder name[0, length) (length ends after a backslash), made with its
// parents when missing.
uint32_t FolderOf(EntryView* view, const char* name, size_t length) {
    std::string key = Folded(name, length);
    auto found = view->folderByKey.find(key);
    if (found != view->folderByKey.end()) return found->second;
    // The parent ends at the backslash before this folder's last one.
    size_t parentLength = 0;
    for (size_t i = 0; i + 1 < length; ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(c) && i + 2 < length) {
            ++i;
        } else if (c == '\\') {
            parentLength = i + 1;
        }
    }
    uint32_t parent = parentLength ? FolderOf(view, name, parentLength) : 0;
    ViewFolder folder;
    folder.path.assign(name, length);
    folder.parent = parent;
    folder.count = 0;
    folder.sortKey = key.substr(parentLength);
    auto index = static_cast<uint32_t>(view->folders.size());
    view->folders.push_back(std::move(folder));
    view->folders[parent].children.push_back(index);
    view->folderByKey.emplace(std::move(key), index);
    return index;
}

// Where name's folder ends (after its last backslash); 0 at the root.
size_t FolderLength(const char* name) {
    size_t length = 0;
    for (size_t i = 0; i < GRF_NAME_SIZE && name[i]; ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(c) && name[i + 1]) {
            ++i;
        } else if (c == '\\') {
            length = i + 1;
        }
    }
    return length;
}

// One pass over the filled rows: each name's folder is looked up once
// (consecutive names usually share it, so most rows cost one comparison),
// missing folders are made with their parents, and the totals are summed
// from the deepest folders up.
void CountFolders(EntryView* view) {
    view->folders.clear();
    view->folderByKey.clear();
    view->folders.push_back(ViewFolder{"", 0, 0, "", {}});
    uint32_t last = 0;
    size_t lastLength = 0;
    const char* lastName = "";
    for (uint32_t filled = 0; filled < view->filled.size(); ++filled) {
        const GrfEntry* entry = FilledEntry(*view, filled);
        if (!entry) continue;
        size_t length = FolderLength(entry->name);
        if (length != lastLength || memcmp(entry->name, lastName, length) != 0) {
            last = length ? FolderOf(view, entry->name, length) : 0;
            lastLength = length;
            lastName = entry->name;
        }
        view->folders[last].count += 1;
    }
    // Children come after their parents: the deepest totals are complete
    // before they are added upwards.
    for (size_t i = view->folders.size() - 1; i > 0; --i)
        view->folders[view->folders[i].parent].count += view->folders[i].count;
}

// The chosen folder stays chosen while it still holds entries, spelled as
// the folder is; otherwise every folder is shown again.
void KeepChosenFolder(EntryView* view) {
    if (view->folder.empty()) return;
    auto found = view->folderByKey.find(Folded(view->folder.data(), view->folder.size()));
    view->folder = found != view->folderByKey.end() ? view->folders[found->second].path : "";
}

}  // namespace

void ResetView(EntryView* view, GrfArchive* const* loaded) {
    *view = EntryView();
    view->loaded = loaded;
}

bool FillView(EntryView* view, const wchar_t* pattern, bool keep, int* focus,
              const FillProgress& progress) {
    int none = -1;
    if (!focus) focus = &none;
    GrfArchive* archive = view->loaded ? *view->loaded : GRF_NO_ARCHIVE;
    // The selection by table index: the filling numbers its rows anew.
    std::vector<bool> selectedEntries;
    int64_t focusEntry = -1;
    if (keep && archive != GRF_NO_ARCHIVE && view->filledFrom == archive && !view->loadingEntries) {
        KeptSelection kept = KeepSelection(*view, *focus);
        selectedEntries.assign(archive->count, false);
        for (uint32_t filled = 0; filled < view->filled.size(); ++filled) {
            uint32_t index = view->filled[filled];
            if (kept.filled[filled] && index < archive->count) selectedEntries[index] = true;
        }
        if (kept.focus >= 0) focusEntry = view->filled[size_t(kept.focus)];
    }
    *focus = -1;
    if (!pattern || !pattern[0]) pattern = L"*.*";
    view->loadingEntries = nullptr;
    view->loadingCount = 0;
    ForgetRows(view);
    view->filter = pattern;
    view->folders.clear();
    view->folderByKey.clear();

    GrfEntry* entry = nullptr;
    GrfSearch* search = GrfFindFirst(archive, pattern, &entry);
    if (search == reinterpret_cast<GrfSearch*>(-1)) {
        if (view->countFolders) CountFolders(view);
        KeepChosenFolder(view);
        return false;
    }
    view->filledFrom = archive;
    bool more = true;
    while (more) {
        uint32_t index = static_cast<uint32_t>(entry - archive->entries);
        // While filling, rows show in the filling's order.
        view->shown.push_back(static_cast<uint32_t>(view->filled.size()));
        view->filled.push_back(index);
        view->filledBytes.push_back(entry->realSize);
        if (view->filled.size() == progress.rows && progress.reached)
            progress.reached(progress.context);
        more = GrfFindNext(search, &entry) != 0;
    }
    GrfFreeBuffer(search);
    if (view->countFolders) CountFolders(view);
    KeepChosenFolder(view);
    KeptSelection kept;
    if (!selectedEntries.empty()) {
        kept.filled.assign(view->filled.size(), false);
        for (uint32_t filled = 0; filled < view->filled.size(); ++filled) {
            uint32_t index = view->filled[filled];
            kept.filled[filled] = selectedEntries[index];
            if (int64_t{index} == focusEntry) kept.focus = filled;
        }
    }
    if (ViewReorders(*view)) {
        ShowRows(view, false);
    } else {
        CountRowBytes(view);
    }
    if (keep) *focus = RestoreSelection(view, kept);
    return true;
}

bool ViewReorders(const EntryView& view) {
    return view.sortColumn >= 0 || !view.search.empty() || !view.searchValid ||
           !view.folder.empty();
}

bool SearchView(EntryView* view, const wchar_t* text) {
    std::wstring typed = text ? text : L"";
    std::replace(typed.begin(), typed.end(), L'/', L'\\');
    std::string needle;
    bool valid = true;
    if (!typed.empty()) {
        // A character code page 949 lacks is in no name.
        char* narrow = GrfWideToCp949(typed.c_str());
        wchar_t* back = narrow ? GrfCp949ToWide(narrow) : nullptr;
        valid = back && typed == back;
        if (narrow) needle = narrow;
        GrfFreeBuffer(back);
        GrfFreeBuffer(narrow);
    }
    view->typed = text ? text : L"";
    // Setting the box to what it searches already (as opening does) costs
    // nothing.
    if (valid == view->searchValid && (!valid || needle == view->search)) return false;
    // Typing on narrows the rows shown; anything else starts again.
    bool narrowing = view->searchValid && valid && needle.size() > view->search.size() &&
                     needle.compare(0, view->search.size(), view->search) == 0;
    view->search = needle;
    view->searchValid = valid;
    ShowRows(view, narrowing);
    return true;
}

void ClearViewSearch(EntryView* view) {
    view->search.clear();
    view->searchValid = true;
    view->typed.clear();
}

void ShowViewFolder(EntryView* view, const char* folder) {
    view->folder = folder ? folder : "";
    ShowRows(view, false);
}

bool SortView(EntryView* view, int column, int* focus) {
    if (column < 0 || column >= VIEW_COLUMN_COUNT) return false;
    int none = -1;
    if (!focus) focus = &none;
    view->descending = column == view->sortColumn ? !view->descending : false;
    view->sortColumn = column;
    // An archive still opening is sorted once it is read.
    if (view->loadingEntries) return false;
    KeptSelection kept = KeepSelection(*view, *focus);
    ShowRows(view, false);
    *focus = RestoreSelection(view, kept);
    return true;
}

bool CountViewFolders(EntryView* view, bool count) {
    view->countFolders = count;
    if (count) {
        CountFolders(view);
        KeepChosenFolder(view);
        return false;
    }
    view->folders.clear();
    view->folderByKey.clear();
    if (view->folder.empty()) return false;
    ShowViewFolder(view, "");
    return true;
}

uint32_t ChosenFolderIndex(const EntryView& view) {
    if (view.folder.empty()) return 0;
    auto found = view.folderByKey.find(Folded(view.folder.data(), view.folder.size()));
    return found != view.folderByKey.end() ? found->second : 0;
}

bool AddViewLoadingRows(EntryView* view, const GrfEntry* entries, uint32_t count) {
    bool restarted = view->loadingEntries != entries;
    if (restarted) {
        ForgetRows(view);
        view->loadingEntries = entries;
        view->loadingCount = 0;
    }
    view->loadingCount = count;
    // The rows read since the last call come last: the totals before them
    // stand.
    for (uint32_t index = uint32_t(view->filled.size()); index < count; ++index) {
        view->shown.push_back(index);
        view->filled.push_back(index);
        view->filledBytes.push_back(entries[index].realSize);
        view->rowBytes.push_back(view->rowBytes.back() + entries[index].realSize);
    }
    return restarted;
}

bool EndViewLoading(EntryView* view) {
    if (!view->loadingEntries) return false;
    view->loadingEntries = nullptr;
    view->loadingCount = 0;
    ForgetRows(view);
    return true;
}

bool ViewLoading(const EntryView& view) {
    return view.loadingEntries != nullptr;
}

uint32_t ShownRowCount(const EntryView& view) {
    return static_cast<uint32_t>(view.shown.size());
}

const GrfEntry* ShownEntry(const EntryView& view, uint32_t row) {
    return row < view.shown.size() ? FilledEntry(view, view.shown[row]) : nullptr;
}

GrfEntry* EntryOfShownRow(const EntryView& view, int row) {
    if (row < 0 || size_t(row) >= view.shown.size()) return nullptr;
    // The rows of an archive still opening are for looking at only.
    if (view.loadingEntries) return nullptr;
    GrfArchive* archive = view.loaded ? *view.loaded : GRF_NO_ARCHIVE;
    if (archive == GRF_NO_ARCHIVE || view.filledFrom != archive) return nullptr;
    uint32_t filled = view.shown[size_t(row)];
    if (filled >= view.filled.size()) return nullptr;
    uint32_t index = view.filled[filled];
    return index < archive->count ? &archive->entries[index] : nullptr;
}

uint32_t FillingPosition(const EntryView& view, uint32_t row) {
    return row < view.shown.size() ? view.shown[row] : 0;
}

uint32_t ViewTotal(const EntryView& view) {
    const GrfArchive* archive = view.loaded ? *view.loaded : GRF_NO_ARCHIVE;
    return archive != GRF_NO_ARCHIVE && !view.loadingEntries ? archive->count : 0;
}

uint64_t SelectedBytes(const EntryView& view) {
    uint64_t total = 0;
    if (view.rowBytes.size() != view.shown.size() + 1) return 0;
    for (const RowRun& run : view.selection.runs)
        total += view.rowBytes[run.last] - view.rowBytes[run.first];
    return total;
}

bool NameInFolder(const char* name, const std::string& folder) {
    auto at = reinterpret_cast<const unsigned char*>(name);
    for (size_t i = 0; i < folder.size(); ++i) {
        auto want = static_cast<unsigned char>(folder[i]);
        if (want >= 0x81 && i + 1 < folder.size()) {
            if (at[i] != want || at[i + 1] != static_cast<unsigned char>(folder[i + 1]))
                return false;
            ++i;
        } else if (!at[i] || FoldAscii(at[i]) != FoldAscii(want)) {
            return false;
        }
    }
    return true;
}

bool NameContains(const char* name, const std::string& needle) {
    if (needle.empty()) return true;
    // Most places differ at once: the first byte is compared here.
    unsigned char first = FoldAscii(static_cast<unsigned char>(needle[0]));
    auto at = reinterpret_cast<const unsigned char*>(name);
    for (; *at; at += (*at >= 0x81 && at[1]) ? 2 : 1) {
        if (FoldAscii(*at) == first && MatchesAt(at, needle)) return true;
    }
    return false;
}
