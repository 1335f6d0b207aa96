// patch_folder.h -- Apply Patch to Folder: an RGZ patch's files written into
// a client folder the user chooses, with the progress window and Cancel, and
// exactly what was applied and what was not said at the end.
#ifndef CASKWRIGHT_UI_PATCH_FOLDER_H
#define CASKWRIGHT_UI_PATCH_FOLDER_H

#include <windows.h>

// Asks for an .rgz, then for the folder, and applies it there. Only an RGZ:
// a THOR patch names the archive it goes into, which a folder is not.
void CmdApplyPatchToFolder(HWND window);

#endif
