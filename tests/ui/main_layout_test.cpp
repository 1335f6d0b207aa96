// The main window at any size: the template's controls where the template
// puts them at first, the list growing and the buttons keeping their places
// along the bottom edge after a resize, and what is remembered across starts.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_test.h"
#include "resource.h"
#include "services.h"
#include "settings.h"
#include "ui_driver.h"

namespace {

using MainLayout = ProgramTest;

struct TemplatePlace {
    int id;
    RECT units;  // x, y, width, height in dialog units
};

// Template 130's controls and their places.
const TemplatePlace TEMPLATE[] = {
    {IDC_ENTRY_LIST, {6, 6, 489, 126}},    {IDC_OPEN, {6, 138, 50, 14}},
    {IDC_EXIT, {6, 156, 50, 14}},          {IDC_FILTER_TEXT, {60, 138, 108, 14}},
    {IDC_FILTER, {174, 138, 48, 14}},      {IDC_EXTRACT, {228, 138, 50, 14}},
    {IDC_EXTRACT_ALL, {282, 138, 50, 14}}, {IDC_ADD_GRF, {336, 138, 50, 14}},
    {IDC_ADD_DIR, {390, 138, 50, 14}},     {IDC_REPACK, {444, 138, 50, 14}},
    {IDC_DELETE_SEL, {390, 156, 50, 14}},  {IDC_CLOSE_GRF, {444, 156, 50, 14}},
};

RECT ClientPlace(const Program& program, int id) {
    RECT place;
    GetWindowRect(Control(program, id), &place);
    MapWindowPoints(nullptr, program.dialog, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

void ResizeBy(const Program& program, int dx, int dy) {
    RECT frame;
    GetWindowRect(program.dialog, &frame);
    SetWindowPos(program.dialog, nullptr, 0, 0, frame.right - frame.left + dx,
                 frame.bottom - frame.top + dy, SWP_NOMOVE | SWP_NOZORDER);
    Settle(program);
}

TEST_F(MainLayout, TheListGrowsAndTheButtonsKeepTheirPlacesAlongTheBottom) {
    LoadDirectly(WriteArchive(L"ten.grf", Numbered(10)));
    std::vector<RECT> first;
    for (const TemplatePlace& control : TEMPLATE) {
        // The dialog manager maps the place and the size each on its own.
        RECT mapped = control.units;
        MapDialogRect(program.dialog, &mapped);
        RECT expected = {mapped.left, mapped.top, mapped.left + mapped.right,
                         mapped.top + mapped.bottom};
        RECT place = ClientPlace(program, control.id);
        EXPECT_TRUE(SameRect(place, expected))
            << control.id << ": " << Describe(place) << " instead of " << Describe(expected);
        first.push_back(place);
    }
    EXPECT_TRUE(GetWindowLongW(program.dialog, GWL_STYLE) & WS_THICKFRAME);
    EXPECT_TRUE(GetWindowLongW(program.dialog, GWL_STYLE) & WS_MAXIMIZEBOX);

    const int dx = 240, dy = 180;
    ResizeBy(program, dx, dy);
    for (size_t i = 0; i < std::size(TEMPLATE); ++i) {
        RECT expected = first[i];
        if (TEMPLATE[i].id == IDC_ENTRY_LIST) {
            expected.right += dx;
            expected.bottom += dy;
        } else {
            expected.top += dy;
            expected.bottom += dy;
        }
        RECT place = ClientPlace(program, TEMPLATE[i].id);
        EXPECT_TRUE(SameRect(place, expected))
            << TEMPLATE[i].id << ": " << Describe(place) << " instead of " << Describe(expected);
    }
    // The status bar stays along the bottom edge at the full width.
    HWND status = nullptr;
    RunOnUiThread(program, [&] { status = g_statusBar; });
    RECT client, bar;
    GetClientRect(program.dialog, &client);
    GetWindowRect(status, &bar);
    MapWindowPoints(nullptr, program.dialog, reinterpret_cast<POINT*>(&bar), 2);
    EXPECT_EQ(bar.bottom, client.bottom);
    EXPECT_EQ(bar.right - bar.left, client.right);
    EXPECT_NE(SaveScreenshot(program.dialog, L"main-resized"), L"");

    // Never smaller than the template's size.
    ResizeBy(program, -dx - 300, -dy - 300);
    EXPECT_TRUE(SameRect(ClientPlace(program, IDC_CLOSE_GRF), first.back()));
}

TEST_F(MainLayout, SizePlaceColumnsAndFoldersAreRememberedAcrossStarts) {
    ResizeBy(program, 100, 60);
    SetWindowPos(program.dialog, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_SETCOLUMNWIDTH, 5, 333);
    Settle(program);
    RECT before;
    GetWindowRect(program.dialog, &before);
    std::wstring archive = WriteArchive(L"two.grf", Numbered(2));
    ASSERT_EQ(Open(archive), L"");
    Click(program, IDC_EXIT);
    ASSERT_EQ(WaitForSingleObject(program.thread, 10000), WAIT_OBJECT_0);
    StopProgram(&program);

    ASSERT_TRUE(StartProgram(&program));
    Settle(program);
    RECT after;
    GetWindowRect(program.dialog, &after);
    EXPECT_TRUE(SameRect(after, before)) << Describe(after) << " instead of " << Describe(before);
    EXPECT_EQ(SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_GETCOLUMNWIDTH, 5, 0), 333);
    wchar_t folder[MAX_PATH] = {};
    ReadFolderSetting(FOLDER_OPEN, folder, MAX_PATH);
    EXPECT_EQ(std::wstring(folder) + L"\\two.grf", archive);
}

}  // namespace
