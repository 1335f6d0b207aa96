// entry_list.h -- the main dialog's list of archive entries (control 1000):
// its columns and state marks, the input that moves the focus and the
// selection, and the one way to get from a row to its entry.
//
// The list is owner-data: it holds no texts of its own. It shows the rows
// of the entry view (g_entryView, see entry_view.h), whose rows refer to
// entries of g_archive's table by their index there, and the cells are
// formatted from the entry whenever the list draws or is asked for them, so
// filling half a million rows costs little more than the filter walk.
#ifndef CASKWRIGHT_UI_ENTRY_LIST_H
#define CASKWRIGHT_UI_ENTRY_LIST_H

#include <windows.h>

#include <commctrl.h>

#include "entry_view.h"
#include "grf.h"
#include "row_selection.h"

// Sent to the list's dialog after each filling (wParam and lParam 0), once
// the list shows the new rows: what else shows the view (the folder tree)
// is brought up to date then.
#define WM_ENTRIES_FILLED (WM_APP + 43)

// Image indices of the state marks in the list's small-image list.
#define MARK_NONE 0
#define MARK_NEW 1
#define MARK_REPLACED 2
#define MARK_DELETED 3

// The image list of the four marks (blank, new, replaced, deleted).
HIMAGELIST CreateStateImages();

// Sets up list 1000 of window: full-row selection, the six columns, the marks.
void InitEntryList(HWND window, HIMAGELIST images);

// The name column takes the list's width that the other columns leave.
void FitNameColumn(HWND window);

// Empties list 1000 of window and fills the view again with g_archive's
// entries whose file names match the pattern in edit box 1003 ("*.*" when
// empty), narrowed by the typed search and the folder and ordered by the
// sort column; then sends window WM_ENTRIES_FILLED. The selection is
// cleared.
void RefreshEntryList(HWND window);

// The same for the Filter command: the selected entries that the pattern
// still lists stay selected, and the focused one in sight.
void FilterEntryList(HWND window);

// Sorts the rows by column (0 to 5); the same column again reverses the
// order. The header shows the arrow; the selected rows stay selected and the
// focused one in sight. While an archive opens, only the arrow changes.
void SortEntryList(HWND window, int column);

// Shows only the filled rows whose whole name contains text, ASCII letters
// without regard to case ("/" stands for "\\"); empty text shows them all.
// The selection is cleared when the rows change.
void SearchEntryList(HWND window, const wchar_t* text);

// Empties the search box without showing the rows again: for a new archive,
// which the next filling lists whole.
void ClearEntrySearch(HWND window);

// While an archive opens in the background: lists entries[0, count) of its
// table as read so far, in table order, whatever the filter, search or
// folder (they apply once it is read). Each call adds the rows read since
// the last; the selection and the scroll position stay.
void ShowLoadingRows(HWND window, const GrfEntry* entries, uint32_t count);
// Forgets those rows (the list is then empty until the next filling).
void EndLoadingRows(HWND window);

// Shows the view's rows again, from the top with nothing selected, after
// its folder changed.
void ShowEntryRows(HWND window);

// The rows' selection, as the commands read it (the list view's own stays
// empty). Rows are display rows, as EntryOfRow takes them.
const RowSelection& EntrySelection();

// Selects every row / the rows first to last - 1 only, and moves the focus to
// focus (-1 leaves it); repaints and updates the status line.
void SelectAllRows(HWND window);
void SelectOnlyRows(HWND window, int first, int last, int focus);

// Repaints the visible rows (after their entries' marks changed), keeping
// the rows, the selection and the scroll position.
void RepaintEntryList(HWND window);

// The focused row of list 1000, or -1.
int FocusedRow(HWND window);

// Answers the list's custom drawing (NM_CUSTOMDRAW): selected rows are drawn
// highlighted. Returns the answer.
LRESULT OnEntryListCustomDraw(NMLVCUSTOMDRAW* draw);

// The entry that row refers to, or null when the row carries none (out of
// range, an archive still opening, or the archive it was filled from is no
// longer loaded). Valid until the table next changes.
GrfEntry* EntryOfRow(int row);

// Rows shown: those of the last filling that the search and the folder
// leave (while an archive opens, every row read so far).
int EntryRowCount();

// The mark shown for an entry (MARK_*).
int MarkOfEntry(const GrfEntry* entry);

// Answers the list's request for the cells of one row (LVN_GETDISPINFOW).
void OnEntryListDispInfo(NMLVDISPINFOW* info);

// Where typing in the list leads (LVN_ODFINDITEMW): the first row from the
// search's start on, wrapping around, whose number (its place in the
// filling, the "index" column) begins with the typed text; -1 when there is
// none.
int FindEntryRow(const NMLVFINDITEMW* find);

// An activated row of list 1000 (LVN_ITEMACTIVATE); other notifications are
// ignored.
void OnEntryActivated(HWND window, UINT_PTR controlId, NMHDR* header);

#endif
