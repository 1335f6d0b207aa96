// folder_tree.h -- the folder tree beside the entry list (control 1031):
// the entry view's folders with the number of entries below each; choosing
// one narrows the view to its entries. It can be hidden, and then the
// window looks as if it had none.
#ifndef CASKWRIGHT_UI_FOLDER_TREE_H
#define CASKWRIGHT_UI_FOLDER_TREE_H

#include <windows.h>

#include <commctrl.h>

// Creates the tree, hidden, in its place at the template's size (before the
// layout notes the places).
void CreateFolderTree(HWND window);

// Shows or hides the tree and remembers which (FOLDER_TREE_SETTING). While
// shown the view counts its folders; hiding the tree shows every folder
// again and gives the list its own place back. True when that changed the
// view's rows, which the list then has to show.
bool ShowFolderTree(HWND window, bool show);
bool FolderTreeShown();

// Builds the tree again from the view's folders (when it is shown), with
// the view's folder chosen.
void RebuildFolderTree();

// Answers the tree's notifications (expanding, choosing). Choosing a folder
// narrows the view to it and sets *chosen, and the list then has to show
// the view's rows. Returns TRUE when the answer is a result in
// DWLP_MSGRESULT.
BOOL OnFolderTreeNotify(HWND window, NMHDR* header, bool* chosen);

#endif
