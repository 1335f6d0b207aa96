// main.cpp -- the program entry: everything happens inside the main dialog.
#include <windows.h>

#include "main_dialog.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return RunCaskwright(instance);
}
