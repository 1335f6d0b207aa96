// main.cpp -- program entry. The main dialog is not built yet: the program
// starts and ends at once.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return 0;
}
