// Opening a large archive as a user meets it: rows show while the directory
// is read, the window answers, the status line counts with Cancel beside it,
// and Esc leaves the archive loaded before as it was.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "background_open.h"
#include "grf.h"
#include "grf_builder.h"
#include "program_test.h"
#include "resource.h"
#include "test_support.h"
#include "ui_driver.h"

namespace {

using OpenInBackground = ProgramTest;

const uint32_t LARGE = 400000;

// A 0x200 archive of count records whose directory alone takes a while to
// read; the records point at nothing, as only the list is looked at.
Bytes LargeArchive(uint32_t count) {
    std::vector<RawRecord> records(count);
    for (uint32_t i = 0; i < count; ++i) {
        records[i].name = "data\\texture\\entry_" + std::to_string(i) + ".bmp";
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

bool OpenRunningNow(const Program& program) {
    bool running = false;
    RunOnUiThread(program, [&] { running = OpenRunning(); });
    return running;
}

TEST_F(OpenInBackground, RowsShowWhileReadingAndEscapeLeavesTheArchiveBefore) {
    std::wstring small = WriteArchive(L"small.grf", Numbered(3));
    std::wstring large = WriteBytes(L"large.grf", LargeArchive(LARGE));
    ASSERT_EQ(Open(small), L"");

    Click(program, IDC_OPEN);
    ASSERT_TRUE(ChooseFile(program, L"Select Main GRF File to Load", large));
    // The first rows show long before the directory is read, and the window
    // answers meanwhile.
    ASSERT_TRUE(WaitUntil([&] { return RowCount(program) > 3; }, 20000));
    EXPECT_TRUE(OpenRunningNow(program));
    EXPECT_TRUE(Answers(program));
    EXPECT_LT(RowCount(program), int(LARGE));
    EXPECT_EQ(RowTexts(program, 0)[5], L"data\\texture\\entry_0.bmp");
    EXPECT_EQ(StatusText(program).rfind(L"Opening large.grf: ", 0), 0u)
        << Narrow(StatusText(program));
    HWND cancel = Control(program, IDC_CANCEL_OPEN);
    ASSERT_NE(cancel, nullptr);
    EXPECT_TRUE(IsWindowVisible(cancel));
    EXPECT_EQ(WindowText(cancel), L"Cancel");
    EXPECT_FALSE(IsWindowEnabled(Control(program, IDC_EXTRACT))) << "no command on half a table";

    FocusControl(program, IDC_ENTRY_LIST);
    PressKey(program, VK_ESCAPE);
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
    EXPECT_EQ(StatusText(program), L"Ready");
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - " + large);
}

}  // namespace
