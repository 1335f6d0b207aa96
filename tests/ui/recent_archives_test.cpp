// Recent archives on the Open button's drop-down arrow: the latest first,
// remembered across starts, one that is gone taken off with a box that says
// so.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_test.h"
#include "resource.h"
#include "ui_driver.h"

namespace {

using RecentArchives = ProgramTest;

// The recent archives, then the commands that follow them on the menu.
std::vector<std::wstring> WithCommands(std::vector<std::wstring> recent) {
    recent.insert(recent.end(), {L"", L"&Password...", L"&Apply Patch to Folder..."});
    return recent;
}

TEST_F(RecentArchives, OfferedOnOpensArrowLatestFirstAcrossStarts) {
    EXPECT_EQ(GetWindowLongW(Control(program, IDC_OPEN), GWL_STYLE) & BS_TYPEMASK, BS_SPLITBUTTON);
    EXPECT_EQ(WindowText(Control(program, IDC_OPEN)), L"&Open");
    EXPECT_EQ(OpenDropDown(program, 0), WithCommands({L"No recent archives"}));
    ASSERT_EQ(WaitIdle(program), L"");

    std::wstring first = WriteArchive(L"first.grf", Numbered(1));
    std::wstring second = WriteArchive(L"second & more.grf", Numbered(2));
    ASSERT_EQ(Open(first), L"");
    ASSERT_EQ(Open(second), L"");
    ASSERT_EQ(Open(first), L"");  // once, moved first
    Click(program, IDC_EXIT);
    ASSERT_EQ(WaitForSingleObject(program.thread, 10000), WAIT_OBJECT_0);
    StopProgram(&program);

    ASSERT_TRUE(StartProgram(&program));
    std::wstring shownSecond = second;
    shownSecond.replace(shownSecond.find(L'&'), 1, L"&&");
    EXPECT_EQ(OpenDropDown(program, L'2'), WithCommands({L"&1 " + first, L"&2 " + shownSecond}));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - " + second);
    EXPECT_EQ(RowCount(program), 2);

    // One that is gone is taken off, and the box says what to do.
    Click(program, IDC_CLOSE_GRF);
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_TRUE(DeleteFileW(first.c_str()));
    OpenDropDown(program, L'2');
    Box box;
    ASSERT_TRUE(WaitForBox(program, &box, L"Archive Not Found"));
    EXPECT_EQ(box.text, first +
                            L" is no longer there, so it was taken off the recent archives. If it "
                            L"was moved or renamed, open it with Open from where it is now.");
    ASSERT_TRUE(PressBoxButton(box, IDOK));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowCount(program), 0);
    EXPECT_EQ(OpenDropDown(program, 0), WithCommands({L"&1 " + shownSecond}));
}

}  // namespace
