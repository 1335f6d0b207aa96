// Save as a user meets it: the button beside Repack and Ctrl+S, writing into
// the loaded file with the marks cleared and a status line that says what
// was written, and the question before unsaved changes would be lost.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry_list.h"
#include "grf.h"
#include "grf_builder.h"
#include "program_test.h"
#include "resource.h"
#include "test_support.h"
#include "ui_driver.h"

namespace {

using SaveCommand = ProgramTest;

const wchar_t UNSAVED[] = L"Unsaved Changes";

// The names and contents of the archive at path, in table order.
std::vector<std::pair<std::string, std::string>> ContentsAt(const std::wstring& path) {
    std::vector<std::pair<std::string, std::string>> contents;
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) return contents;
    for (uint32_t i = 0; i < archive->count; ++i) {
        uint32_t size = 0;
        uint8_t* data = GrfReadRecord(archive, i, &size);
        std::string text = data ? std::string(reinterpret_cast<char*>(data), size) : "(unread)";
        GrfFreeBuffer(data);
        contents.push_back({archive->entries[i].name, text});
    }
    GrfClose(&archive);
    return contents;
}

std::wstring MakeFolder(const TempDir& dir) {
    std::wstring root = dir.Join(L"pack");
    EXPECT_TRUE(MakeDirectory(root));
    EXPECT_TRUE(WriteFileBytes(root + L"\\b.txt", BytesOf("bee")));
    EXPECT_TRUE(WriteFileBytes(root + L"\\c.txt", BytesOf("sea")));
    return root;
}

bool SaveEnabled(const Program& program) {
    return IsWindowEnabled(Control(program, IDC_SAVE)) != FALSE;
}

// Ctrl+S as the program's thread sees it: Control held, then S.
void PressCtrlS(const Program& program) {
    auto setControl = [&](bool down) {
        RunOnUiThread(program, [down] {
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_CONTROL] = down ? 0x80 : 0;
            SetKeyboardState(keys);
        });
    };
    setControl(true);
    PressKey(program, 'S');
    Settle(program);
    setControl(false);
}

TEST_F(SaveCommand, SaveAfterAddDirWritesIntoTheFileAndClearsTheMarks) {
    EXPECT_FALSE(SaveEnabled(program)) << "nothing loaded";
    // Beside Repack, in line with it and of its size; Repack keeps its place.
    RECT repack, save;
    GetWindowRect(Control(program, IDC_REPACK), &repack);
    GetWindowRect(Control(program, IDC_SAVE), &save);
    EXPECT_EQ(save.top, repack.top);
    EXPECT_GT(save.left, repack.right);
    EXPECT_EQ(save.right - save.left, repack.right - repack.left);
    EXPECT_EQ(save.bottom - save.top, repack.bottom - repack.top);
    EXPECT_EQ(WindowText(Control(program, IDC_SAVE)), L"&Save");

    std::wstring path = WriteArchive(L"two.grf", Numbered(2));
    ASSERT_EQ(Open(path), L"");
    EXPECT_FALSE(SaveEnabled(program)) << "no change yet";
    Click(program, IDC_ADD_DIR);
    ASSERT_TRUE(ChooseFolder(program, MakeFolder(dir), nullptr));
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_EQ(RowCount(program), 4);
    EXPECT_EQ(RowImage(program, 3), MARK_NEW);
    EXPECT_TRUE(SaveEnabled(program));
    SaveScreenshot(program.dialog, L"save-before");

    Click(program, IDC_SAVE);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program).rfind(L"Saved: 2 files written (", 0), 0u)
        << Narrow(StatusText(program));
    // Unused now: the old file list, too small to suggest a Repack.
    EXPECT_NE(StatusText(program).find(L"0 removed; "), std::wstring::npos)
        << Narrow(StatusText(program));
    EXPECT_EQ(StatusText(program).find(L"Repack"), std::wstring::npos)
        << Narrow(StatusText(program));
    ASSERT_EQ(RowCount(program), 4);
    for (int row = 0; row < 4; ++row) EXPECT_EQ(RowImage(program, row), MARK_NONE);
    EXPECT_FALSE(SaveEnabled(program));
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - " + path);
    EXPECT_TRUE(IsWindowEnabled(Control(program, IDC_ADD_DIR)));
    SaveScreenshot(program.dialog, L"save-after");
    EXPECT_EQ(ContentsAt(path),
              (std::vector<std::pair<std::string, std::string>>{{"data\\file0.txt", "x"},
                                                                {"data\\file1.txt", "x"},
                                                                {"data\\b.txt", "bee"},
                                                                {"data\\c.txt", "sea"}}));
}

TEST_F(SaveCommand, CtrlSSavesDeletionsAndTheRemovedSpaceIsReported) {
    std::wstring path = WriteArchive(L"three.grf", {{"data\\a.txt", RandomBytes(3000, 1)},
                                                    {"data\\b.txt", BytesOf("bee")},
                                                    {"data\\c.txt", BytesOf("sea")}});
    ASSERT_EQ(Open(path), L"");
    SelectRows(program, {0});
    Click(program, IDC_DELETE_SEL);
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_TRUE(SaveEnabled(program));
    FocusControl(program, IDC_ENTRY_LIST);
    PressCtrlS(program);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowCount(program), 2);
    EXPECT_NE(StatusText(program).find(L"Saved: 0 files written (0 bytes), 1 removed; "),
              std::wstring::npos)
        << Narrow(StatusText(program));
    EXPECT_FALSE(SaveEnabled(program));
    EXPECT_EQ(ContentsAt(path), (std::vector<std::pair<std::string, std::string>>{
                                    {"data\\b.txt", "bee"}, {"data\\c.txt", "sea"}}));
}

TEST_F(SaveCommand, ClosingOrOpeningWithUnsavedChangesAsksFirst) {
    std::wstring path = WriteArchive(L"ask.grf", Numbered(3));
    ASSERT_EQ(Open(path), L"");
    SelectRows(program, {1});
    Click(program, IDC_DELETE_SEL);
    ASSERT_EQ(WaitIdle(program), L"");

    // Cancel keeps the program and the changes.
    PostMessageW(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    Box box;
    ASSERT_TRUE(WaitForBox(program, &box, UNSAVED));
    EXPECT_NE(box.text.find(L"Save the changes to " + path + L"?"), std::wstring::npos)
        << Narrow(box.text);
    SaveScreenshot(box.window, L"save-prompt");
    ASSERT_TRUE(PressBoxButton(box, IDCANCEL));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_TRUE(IsWindow(program.dialog));
    EXPECT_EQ(RowImage(program, 1), MARK_DELETED);

    // Open asks as well; No goes on to the file dialog, whose Cancel keeps
    // the archive loaded.
    Click(program, IDC_OPEN);
    ASSERT_TRUE(WaitForBox(program, &box, UNSAVED));
    ASSERT_TRUE(PressBoxButton(box, IDNO));
    ASSERT_TRUE(ChooseFile(program, L"Select Main GRF File to Load", L""));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowImage(program, 1), MARK_DELETED);

    // Yes saves, then the program ends.
    PostMessageW(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(WaitForBox(program, &box, UNSAVED));
    ASSERT_TRUE(PressBoxButton(box, IDYES));
    ASSERT_EQ(WaitForSingleObject(program.thread, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(ContentsAt(path), (std::vector<std::pair<std::string, std::string>>{
                                    {"data\\file0.txt", "x"}, {"data\\file2.txt", "x"}}));
}

TEST_F(SaveCommand, FailuresNameTheFileAndTheReasonWithWhatToDo) {
    const std::wstring kept = L" The file is as it was, and the changes are still here.";
    // An added file gone from its folder since: named, with the way out.
    std::wstring path = WriteArchive(L"gone.grf", Numbered(2));
    ASSERT_EQ(Open(path), L"");
    std::wstring folder = MakeFolder(dir);
    Click(program, IDC_ADD_DIR);
    ASSERT_TRUE(ChooseFolder(program, folder, nullptr));
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_TRUE(DeleteFileW((folder + L"\\c.txt").c_str()));
    Click(program, IDC_SAVE);
    Box box;
    ASSERT_TRUE(WaitForBox(program, &box)) << Narrow(StatusText(program));
    EXPECT_EQ(box.caption, L"Cannot Save");
    EXPECT_EQ(box.text, L"The changes could not be saved into " + path +
                            L": data\\c.txt, added from a folder, can no longer be opened. It "
                            L"was moved, renamed or deleted since it was added. Put it back or "
                            L"add it again, or delete it from the list, then save." +
                            kept);
    ASSERT_TRUE(PressBoxButton(box, IDOK));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_TRUE(SaveEnabled(program)) << "the changes are still there";

    // An archive another program holds: the file itself is named, and how
    // to go on.
    std::wstring locked = WriteArchive(L"locked.grf", Numbered(3));
    ASSERT_EQ(Open(locked), L"");
    HANDLE held = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SelectRows(program, {0});
    Click(program, IDC_DELETE_SEL);
    ASSERT_EQ(WaitIdle(program), L"");
    Click(program, IDC_SAVE);
    ASSERT_TRUE(WaitForBox(program, &box)) << Narrow(StatusText(program));
    EXPECT_EQ(box.caption, L"Cannot Save");
    EXPECT_EQ(box.text, L"The changes could not be saved into " + locked +
                            L": access to it is denied, or it is read-only. Clear its read-only "
                            L"mark or ask for the right to change it, or Repack to a new file in "
                            L"a folder you can write to. The file is as it was, and the changes "
                            L"are still here.");
    ASSERT_TRUE(PressBoxButton(box, IDOK));
    ASSERT_EQ(WaitIdle(program), L"");
    CloseHandle(held);
    EXPECT_EQ(RowImage(program, 0), MARK_DELETED);
}

}  // namespace
