// Opening a large archive as a user meets it: rows show while the directory
// is read, the window answers, the status line counts with Cancel beside it,
// and Esc leaves the archive loaded before as it was.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "background_open.h"
#include "entry_list.h"
#include "grf.h"
#include "grf_builder.h"
#include "program_test.h"
#include "resource.h"
#include "services.h"
#include "test_support.h"
#include "ui_driver.h"

namespace {

using OpenInBackground = ProgramTest;

// Large enough that reading it takes a while even on a quick machine.
const uint32_t LARGE = 1000000;

// A 0x200 archive of count records whose directory alone takes a while to
// read; the records point at nothing, as only the list is looked at.
Bytes LargeArchive(uint32_t count) {
    std::vector<RawRecord> records(count);
    for (uint32_t i = 0; i < count; ++i) {
        records[i].name = "data\\e" + std::to_string(i);
        records[i].compressedSize = 16;
        records[i].alignedSize = 16;
        records[i].realSize = 16;
    }
    Bytes archive = BuildHeader(0, 0, count + 7, 0x200);
    Bytes directory = BuildV2Directory(BuildV2Table(records), 1);
    archive.insert(archive.end(), directory.begin(), directory.end());
    return archive;
}

bool Answers(const Program& program) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(program.dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0;
}

TEST_F(OpenInBackground, RowsShowWhileReadingAndEscapeLeavesTheArchiveBefore) {
    std::wstring small = WriteArchive(L"small.grf", Numbered(3));
    std::wstring large = WriteBytes(L"large.grf", LargeArchive(LARGE));
    ASSERT_EQ(Open(small), L"");

    Click(program, IDC_OPEN);
    ASSERT_TRUE(ChooseFile(program, L"Select Main GRF File to Load", large));
    // The first rows show long before the directory is read, and the window
    // answers meanwhile: looked at between two of its messages, then Esc.
    FocusControl(program, IDC_ENTRY_LIST);
    ASSERT_TRUE(WaitUntil([&] { return RowCount(program) > 3; }, 20000));
    bool running = false, cancelShown = false, extractEnabled = true;
    int rows = 0;
    std::wstring status, first, cancelText;
    RunOnUiThread(program, [&] {
        running = OpenRunning();
        rows = EntryRowCount();
        status = StatusText(program);
        HWND cancel = GetDlgItem(g_mainWindow, IDC_CANCEL_OPEN);
        cancelShown = cancel && IsWindowVisible(cancel);
        cancelText = cancel ? WindowText(cancel) : L"";
        extractEnabled = IsWindowEnabled(GetDlgItem(g_mainWindow, IDC_EXTRACT)) != FALSE;
    });
    PressKey(program, VK_ESCAPE);
    EXPECT_TRUE(running);
    EXPECT_LT(rows, int(LARGE));
    EXPECT_EQ(status.rfind(L"Opening large.grf: ", 0), 0u) << Narrow(status);
    EXPECT_TRUE(cancelShown);
    EXPECT_EQ(cancelText, L"Cancel");
    EXPECT_FALSE(extractEnabled) << "no command on half a table";
    EXPECT_TRUE(Answers(program));
    HWND cancel = Control(program, IDC_CANCEL_OPEN);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program), L"Open cancelled: large.grf was not opened");
    EXPECT_EQ(RowCount(program), 3);
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - " + small);
    GrfArchive* loaded = LoadedArchive(program);
    ASSERT_NE(loaded, GRF_NO_ARCHIVE);
    EXPECT_EQ(std::wstring(loaded->path), small);
    EXPECT_FALSE(IsWindowVisible(cancel));
    EXPECT_TRUE(IsWindowEnabled(Control(program, IDC_EXTRACT)));

    // Left to run, it opens whole in place of the small one.
    ASSERT_EQ(Open(large), L"");
    EXPECT_EQ(RowCount(program), int(LARGE));
    EXPECT_EQ(RowTexts(program, 0)[5], L"data\\e0");
    EXPECT_EQ(StatusText(program), L"Ready");
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - " + large);
}

}  // namespace
