// drop_target.h -- files and folders dropped on the main window from
// Explorer are added as Add Dir adds them (under the folder the tree has
// chosen when it shows one).
#ifndef CASKWRIGHT_UI_DROP_TARGET_H
#define CASKWRIGHT_UI_DROP_TARGET_H

#include <windows.h>

#include <ole2.h>

#include <string>
#include <vector>

// Registers the window's drop target (OLE must be initialized on the
// thread) / revokes it when the window goes.
void RegisterMainDropTarget(HWND window);
void RevokeMainDropTarget(HWND window);

// The drop target itself, as OLE calls it on a drop.
IDropTarget* MainDropTarget();

// The paths of the last drop; the drop posts IDM_ADD_DROPPED to the window,
// which adds them then (outside the drag's own loop, whose source waits).
std::vector<std::wstring> TakeDroppedPaths();

#endif
