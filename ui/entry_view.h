// entry_view.h -- what the entry list and the folder tree show of the
// loaded archive, with no window in it: the rows a filling found, the typed
// search and the chosen folder that narrow them, the sort order, the
// selection as sorted runs, and the folders with their entry counts.
//
// A filled row holds the table index of its entry, not a pointer: adding
// files or merging may move the table while the rows are still shown, and
// an index is checked against the table as it is now. Shown rows (display
// rows, as the list numbers them) are positions in the filling. The view
// reads one archive through the slot that holds the loaded one; rows from
// several archives would carry a source number beside their table index.
#ifndef CASKWRIGHT_UI_ENTRY_VIEW_H
#define CASKWRIGHT_UI_ENTRY_VIEW_H

#include <stdint.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "grf.h"
#include "row_selection.h"

// Sort columns, as the list's columns are numbered.
#define VIEW_COLUMN_INDEX 0
#define VIEW_COLUMN_COMP_SIZE 1
#define VIEW_COLUMN_FILE_SIZE 2
#define VIEW_COLUMN_OFFSET 3
#define VIEW_COLUMN_CYCLE 4
#define VIEW_COLUMN_NAME 5
#define VIEW_COLUMN_COUNT 6

// One folder of the filled names.
struct ViewFolder {
    std::string path;     // as the first name holding it spells it, ending in '\\'; root ""
    uint32_t parent;      // root: itself
    uint32_t count;       // filled entries in this folder and below
    std::string sortKey;  // the last part, folded
    std::vector<uint32_t> children;
};

struct EntryView {
    GrfArchive* const* loaded = nullptr;  // the slot of the loaded archive
    // The archive the rows were filled from; the rows name no entry once
    // another is loaded.
    const GrfArchive* filledFrom = GRF_NO_ARCHIVE;
    // While an archive opens: its table as read so far, entries[0, count),
    // shown whole in table order.
    const GrfEntry* loadingEntries = nullptr;
    uint32_t loadingCount = 0;

    std::vector<uint32_t> filled;  // table index of each filled row
    // realSize of each filled row's entry as filled: summing the sizes in a
    // new order would otherwise visit the whole table out of order.
    std::vector<uint32_t> filledBytes;
    std::vector<uint32_t> shown;  // the shown rows in display order: positions in filled

    std::wstring filter = L"*.*";  // the pattern of the last filling
    std::string search;            // code page 949, '/' as '\\'; empty: every row
    bool searchValid = true;       // false: typed characters no name can hold
    std::wstring typed;            // the search as typed
    std::string folder;            // name prefix ending in '\\'; empty: every folder
    int sortColumn = -1;           // -1: the filling's order
    bool descending = false;

    RowSelection selection;  // display rows
    // Running totals of realSize in display order (shown + 1 values), so
    // the size of a run of selected rows is one subtraction.
    std::vector<uint64_t> rowBytes = {0};

    // Counted at each filling while countFolders is on; [0] is the root.
    bool countFolders = false;
    std::vector<ViewFolder> folders;
    std::unordered_map<std::string, uint32_t> folderByKey;  // folded path -> folder
};

// A view of the archive in *loaded, unsorted, unsearched, with nothing
// filled.
void ResetView(EntryView* view, GrfArchive* const* loaded);

// Called once the filling has found `rows` rows (the first screenful can
// be shown then).
struct FillProgress {
    uint32_t rows = 0;  // 0: never called
    void (*reached)(void* context) = nullptr;
    void* context = nullptr;
};

// Fills the view again with the loaded archive's entries whose names
// (their part after the last backslash) match pattern (the engine's
// wildcard filter; null or "" is "*.*"), then narrows them by the search
// and the folder and orders them by the sort column. When keep is set the
// selected entries that are still shown stay selected, and *focus (a
// display row, or -1; focus may be null) follows its entry; otherwise
// nothing is selected and *focus becomes -1. A chosen folder that no longer holds entries is given
// up. Ends any loading rows. False when nothing matched (or nothing is
// loaded): the view is then empty.
bool FillView(EntryView* view, const wchar_t* pattern, bool keep, int* focus,
              const FillProgress& progress = FillProgress());

// Whether the search, the folder or the sort make the shown rows differ
// from the filling.
bool ViewReorders(const EntryView& view);

// The search: rows whose whole name contains text, ASCII letters without
// regard to case ("/" stands for "\\"); null or "" shows every row. Text
// with characters code page 949 lacks shows none. The selection is
// cleared. False when the rows shown stay as they were (the same search).
bool SearchView(EntryView* view, const wchar_t* text);
// Forgets the search without showing the rows again.
void ClearViewSearch(EntryView* view);

// Shows only the filled rows under folder (code page 949, ending in a
// backslash; ASCII letters without regard to case); null or "" shows them
// all. The selection is cleared.
void ShowViewFolder(EntryView* view, const char* folder);

// Orders the rows by column (VIEW_COLUMN_*); the same column again reverses
// the order. The selection and *focus follow their entries. While an
// archive opens only the order to use later is set: false then, true when
// the rows were ordered.
bool SortView(EntryView* view, int column, int* focus);

// Counts the folders of the filled rows (and at each filling after) or
// stops counting and forgets them. Stopping shows every folder again:
// true when that changed the rows shown.
bool CountViewFolders(EntryView* view, bool count);

// The position in view.folders of the chosen folder; 0 (the root) for
// none.
uint32_t ChosenFolderIndex(const EntryView& view);

// While an archive opens: shows entries[0, count) of its table as read so
// far. A table other than the last restarts the rows (true then); each
// call adds the rows read since the last, keeping the selection.
bool AddViewLoadingRows(EntryView* view, const GrfEntry* entries, uint32_t count);
// Forgets the loading rows (the view is then empty); false when there were
// none.
bool EndViewLoading(EntryView* view);
bool ViewLoading(const EntryView& view);

// Rows shown after the filter, the search and the folder.
uint32_t ShownRowCount(const EntryView& view);
// The entry of display row `row` to draw (loading rows too), or null.
const GrfEntry* ShownEntry(const EntryView& view, uint32_t row);
// The entry of display row `row` for a command: null while an archive
// opens, out of range, or once another archive is loaded.
GrfEntry* EntryOfShownRow(const EntryView& view, int row);
// The position of display row `row` in the filling (the "index" column).
uint32_t FillingPosition(const EntryView& view, uint32_t row);

// Entries of the archive the view shows (0 while one opens, or none is
// loaded): with ShownRowCount, whether rows are hidden.
uint32_t ViewTotal(const EntryView& view);

// Total realSize of the selected rows' entries.
uint64_t SelectedBytes(const EntryView& view);

// Whether name starts with folder / contains needle, ASCII letters without
// regard to case, double-byte characters exactly (code page 949).
bool NameInFolder(const char* name, const std::string& folder);
bool NameContains(const char* name, const std::string& needle);

#endif
