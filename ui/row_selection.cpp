// row_selection.cpp -- see row_selection.h.
#include "row_selection.h"

#include <stddef.h>

#include <algorithm>

namespace {

uint32_t Rows(const RowRun& run) {
    return run.last - run.first;
}

// Replaces runs [from, to) of selection with pieces, keeping the count.
void ReplaceRuns(RowSelection* selection, size_t from, size_t to, const RowRun* pieces,
                 size_t pieceCount) {
    auto& runs = selection->runs;
    for (size_t i = from; i < to; ++i) selection->count -= Rows(runs[i]);
    runs.erase(runs.begin() + static_cast<ptrdiff_t>(from),
               runs.begin() + static_cast<ptrdiff_t>(to));
    runs.insert(runs.begin() + static_cast<ptrdiff_t>(from), pieces, pieces + pieceCount);
    for (size_t i = 0; i < pieceCount; ++i) selection->count += Rows(pieces[i]);
}

}  // namespace

void ClearRows(RowSelection* selection) {
    selection->runs.clear();
    selection->count = 0;
}

void SetRowsSelected(RowSelection* selection, uint32_t first, uint32_t last, bool selected) {
    if (first >= last) return;
    auto& runs = selection->runs;
    if (selected) {
        // Runs that overlap or touch [first, last) merge with it.
        auto from =
            std::lower_bound(runs.begin(), runs.end(), first,
                             [](const RowRun& run, uint32_t row) { return run.last < row; });
        auto to = std::upper_bound(from, runs.end(), last,
                                   [](uint32_t row, const RowRun& run) { return row < run.first; });
        RowRun merged = {first, last};
        if (from != to) {
            merged.first = std::min(first, from->first);
            merged.last = std::max(last, (to - 1)->last);
        }
        ReplaceRuns(selection, size_t(from - runs.begin()), size_t(to - runs.begin()), &merged, 1);
        return;
    }
    // Runs that overlap [first, last) keep what lies outside it.
    auto from = std::upper_bound(runs.begin(), runs.end(), first,
                                 [](uint32_t row, const RowRun& run) { return row < run.last; });
    auto to = std::lower_bound(from, runs.end(), last,
                               [](const RowRun& run, uint32_t row) { return run.first < row; });
    if (from == to) return;
    RowRun pieces[2];
    size_t count = 0;
    if (from->first < first) pieces[count++] = {from->first, first};
    if ((to - 1)->last > last) pieces[count++] = {last, (to - 1)->last};
    ReplaceRuns(selection, size_t(from - runs.begin()), size_t(to - runs.begin()), pieces, count);
}

bool IsRowSelected(const RowSelection& selection, uint32_t row) {
    auto run = std::upper_bound(selection.runs.begin(), selection.runs.end(), row,
                                [](uint32_t at, const RowRun& r) { return at < r.last; });
    return run != selection.runs.end() && run->first <= row;
}

int NextSelectedRow(const RowSelection& selection, int after) {
    uint32_t from = after < 0 ? 0 : static_cast<uint32_t>(after) + 1;
    auto run = std::upper_bound(selection.runs.begin(), selection.runs.end(), from,
                                [](uint32_t at, const RowRun& r) { return at < r.last; });
    if (run == selection.runs.end()) return -1;
    return static_cast<int>(std::max(from, run->first));
}
