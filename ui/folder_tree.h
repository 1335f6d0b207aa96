// folder_tree.h -- the folder tree beside the entry list (control 1031):
// the folders of the listed names with the number of entries below each;
// choosing one shows only its entries. It can be hidden, and then the
// window looks as if it had none.
#ifndef CASKWRIGHT_UI_FOLDER_TREE_H
#define CASKWRIGHT_UI_FOLDER_TREE_H

#include <windows.h>

#include <commctrl.h>

#include <string>

// Creates the tree, hidden, in its place at the template's size (before the
// layout notes the places).
void CreateFolderTree(HWND window);

// Shows or hides the tree and remembers which (FOLDER_TREE_SETTING); hiding it shows every folder
// again and gives the list its own place back.
void ShowFolderTree(HWND window, bool show);
bool FolderTreeShown();

// Builds the tree again from the rows just filled (when it is shown). The
// chosen folder stays chosen while it still holds entries; otherwise every
// folder is shown again.
void RebuildFolderTree(HWND window);

// The folder the tree has chosen (code page 949, ending in a backslash), or
// "" for none or while the tree is hidden.
const std::string& ChosenFolder();

// Answers the tree's notifications (expanding, choosing). Returns TRUE when
// the answer is a result in DWLP_MSGRESULT.
BOOL OnFolderTreeNotify(HWND window, NMHDR* header);

#endif
