// main.cpp -- the program entry: everything happens inside the main dialog.
// An archive named on the command line ("Open with", a double-click on an
// archive the user associated) opens at once.
#include <windows.h>

#include "main_dialog.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return RunCaskwright(instance, GetCommandLineW());
}
