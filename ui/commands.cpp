// commands.cpp -- the archive commands of the main dialog.
#include "commands.h"

void CmdOpenArchive(HWND, int) {}
void CmdRepack(HWND) {}
void CmdExtractSelected(HWND) {}
void CmdExtractAll(HWND) {}
void CmdDeleteSelected(HWND) {}
void CmdAddDirectory(HWND) {}
