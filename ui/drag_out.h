// drag_out.h -- selected rows dragged out of the list to Explorer or the
// desktop: they are offered as virtual files (a file group descriptor and
// each file's contents), so nothing is read or written before the drop, and
// each file's bytes are read from the archive only when the drop asks for
// them. Names that are no safe relative file name are left out.
#ifndef CASKWRIGHT_UI_DRAG_OUT_H
#define CASKWRIGHT_UI_DRAG_OUT_H

#include <windows.h>

#include <ole2.h>

#include <stdint.h>

#include <vector>

// The most rows one drag offers; more are for Extract.
#define DRAG_OUT_MOST 20000

// A data object offering the records of g_archive's table at indices (in
// that order) as virtual files: CFSTR_FILEDESCRIPTORW lists the folders
// their names need and the files, CFSTR_FILECONTENTS gives a file's bytes by
// its place in that list. Records whose names are unsafe (absolute, a
// drive, "..", a device name, characters Windows refuses), that have no
// archive file to read from (added from a folder), or whose name an earlier
// record already took (without regard to case) are left out and counted in
// *leftOut. Owned by the caller (Release).
IDataObject* CreateRowsDataObject(const std::vector<uint32_t>& indices, uint32_t* leftOut);

// Starts dragging the selected rows (LVN_BEGINDRAG of the list); returns when
// the drop is done or cancelled.
void DragSelectedRows(HWND window);

// The drag loop; DoDragDrop unless a test puts its own.
extern HRESULT(WINAPI* g_doDragDrop)(IDataObject* data, IDropSource* source, DWORD allowed,
                                     DWORD* effect);

#endif
