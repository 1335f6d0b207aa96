// row_selection.h -- the entry list's selection, kept as sorted runs of rows.
//
// The list view keeps its own selection item by item, and some of its
// operations (deselect all, select a range) visit every row; on half a
// million rows each key press would cost a second or more. The program keeps
// the selection here instead, as disjoint runs, so selecting all rows or a
// range costs the same as selecting one, and the list view's own selection
// stays empty (see entry_list.cpp).
#ifndef CASKWRIGHT_UI_ROW_SELECTION_H
#define CASKWRIGHT_UI_ROW_SELECTION_H

#include <stdint.h>

#include <vector>

// Rows first to last - 1.
struct RowRun {
    uint32_t first;
    uint32_t last;
};

struct RowSelection {
    std::vector<RowRun> runs;  // sorted, disjoint, never touching
    uint32_t count = 0;        // rows in all runs
    int anchor = -1;           // where Shift extends from; -1 none
};

void ClearRows(RowSelection* selection);

// Selects (or deselects) rows first to last - 1; empty ranges do nothing.
void SetRowsSelected(RowSelection* selection, uint32_t first, uint32_t last, bool selected);

bool IsRowSelected(const RowSelection& selection, uint32_t row);

// The first selected row after after (from row 0 when after is -1), or -1.
int NextSelectedRow(const RowSelection& selection, int after);

#endif
