// main_layout.cpp -- see main_layout.h.
#include "main_layout.h"

#include <commctrl.h>

#include <vector>

#include "entry_list.h"
#include "resource.h"
#include "services.h"
#include "settings.h"

namespace {

struct Placed {
    HWND control;
    RECT place;  // client coordinates at the template's size
};

struct MainLayout {
    std::vector<Placed> controls;
    SIZE client;   // at the template's size
    SIZE frame;    // the whole window at the template's size
    int listLeft;  // 0: the list's own left edge
};

MainLayout g_layout;

void PlaceControl(HDWP* moves, const Placed& placed, int dx, int dy) {
    RECT place = placed.place;
    int id = GetDlgCtrlID(placed.control);
    if (id == IDC_ENTRY_LIST) {
        if (g_layout.listLeft > 0) place.left = g_layout.listLeft;
        place.right += dx;
        place.bottom += dy;
    } else if (id == IDC_FOLDER_TREE) {
        place.bottom += dy;
    } else {
        // Along the bottom edge, where they were.
        place.top += dy;
        place.bottom += dy;
    }
    *moves = DeferWindowPos(*moves, placed.control, nullptr, place.left, place.top,
                            place.right - place.left, place.bottom - place.top,
                            SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool SetUpMainLayout(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    g_layout.client = {client.right, client.bottom};
    RECT frame;
    GetWindowRect(window, &frame);
    g_layout.frame = {frame.right - frame.left, frame.bottom - frame.top};
    g_layout.controls.clear();
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (child == g_statusBar) continue;
        Placed placed = {child, {}};
        GetWindowRect(child, &placed.place);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed.place), 2);
        g_layout.controls.push_back(placed);
    }

    WindowSettings settings;
    if (!ReadWindowSettings(&settings)) return false;
    HWND list = GetDlgItem(window, IDC_ENTRY_LIST);
    // The name column takes what the others leave.
    for (int i = 0; i < 5; ++i) {
        if (settings.columns[i] > 0) SendMessageW(list, LVM_SETCOLUMNWIDTH, i, settings.columns[i]);
    }
    FitNameColumn(window);
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    GetWindowPlacement(window, &placement);
    placement.rcNormalPosition = settings.frame;
    // Still hidden: the dialog shows itself once it is set up.
    placement.showCmd = SW_HIDE;
    SetWindowPlacement(window, &placement);
    return settings.maximized;
}

void LayOutMain(HWND window) {
    if (g_layout.controls.empty() || IsIconic(window)) return;
    RECT client;
    GetClientRect(window, &client);
    int dx = client.right - g_layout.client.cx;
    int dy = client.bottom - g_layout.client.cy;
    HDWP moves = BeginDeferWindowPos(static_cast<int>(g_layout.controls.size()));
    for (const Placed& placed : g_layout.controls) {
        if (moves) PlaceControl(&moves, placed, dx, dy);
    }
    if (moves) EndDeferWindowPos(moves);
    FitNameColumn(window);
    // The status bar places itself along the bottom edge.
    SendMessageW(g_statusBar, WM_SIZE, 0, 0);
    InvalidateRect(window, nullptr, TRUE);
}

void LimitMainSize(MINMAXINFO* limits) {
    if (g_layout.frame.cx <= 0) return;
    limits->ptMinTrackSize.x = g_layout.frame.cx;
    limits->ptMinTrackSize.y = g_layout.frame.cy;
}

void RememberMainLayout(HWND window) {
    WindowSettings settings = {};
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(window, &placement)) return;
    settings.frame = placement.rcNormalPosition;
    settings.maximized = placement.showCmd == SW_SHOWMAXIMIZED;
    HWND list = GetDlgItem(window, IDC_ENTRY_LIST);
    for (int i = 0; i < 6; ++i)
        settings.columns[i] = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
    WriteWindowSettings(settings);
}

void SetListLeft(HWND window, int left) {
    g_layout.listLeft = left;
    LayOutMain(window);
}
