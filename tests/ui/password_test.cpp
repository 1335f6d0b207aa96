// Keyed entries in the window: the password asked once an archive holding
// them opens (a wrong one said so, tried again or gone on without), kept for
// the session, the list's mark, previews and extraction with and without
// it, and the password Save and Repack key what they write with.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyed_builder.h"
#include "preview_window_win32.h"
#include "program_test.h"
#include "resource.h"
#include "ui_driver.h"

namespace {

using Password = ProgramTest;

const char PASSWORD[] = "open sesame";
const int CYCLE_COLUMN = 4;

// Two keyed entries (zlib and LZMA) and a plain one, in that table order.
Bytes KeyedArchive() {
    Bytes key = KeyOfPassword(PASSWORD);
    return BuildStoredArchive(
        0x200, {KeyedContent(key, "data\\secret.txt", BytesOf("hidden text")),
                KeyedContent(key, "data\\big.bin", RandomBytes(300000, 7), KeyedMethod::kLzma),
                StoreContent(0x200, "data\\plain.txt", BytesOf("plain"))});
}

// Answers the password dialog (caption) with typed, and again when the
// dialog asks it twice.
void TypePassword(const Program& program, const std::wstring& caption, const std::wstring& typed,
                  const std::wstring& again = L"") {
    Box box;
    ASSERT_TRUE(WaitForBox(program, &box, caption));
    SetWindowTextW(GetDlgItem(box.window, IDC_PASSWORD_EDIT), typed.c_str());
    SetWindowTextW(GetDlgItem(box.window, IDC_PASSWORD_AGAIN), again.c_str());
    ASSERT_TRUE(PressBoxButton(box, IDOK));
}

std::vector<std::wstring> CycleColumn(const Program& program) {
    std::vector<std::wstring> marks;
    for (int row = 0; row < RowCount(program); ++row)
        marks.push_back(RowTexts(program, row)[CYCLE_COLUMN]);
    return marks;
}

// Previews row and returns what the viewer shows: its text, else its notice.
std::wstring PreviewText(const Program& program, int row) {
    SelectRows(program, {row});
    PostMessageW(program.dialog, WM_COMMAND, IDM_PREVIEW, 0);
    Settle(program);
    HWND viewer = ProgramWindow(program, L"CASKWRIGHT");
    if (!viewer) return L"<no viewer>";
    HWND text = GetDlgItem(viewer, PREVIEW_ID_TEXT);
    std::wstring shown =
        WindowText(IsWindowVisible(text) ? text : GetDlgItem(viewer, PREVIEW_ID_NOTICE));
    PostMessageW(viewer, WM_CLOSE, 0, 0);
    Settle(program);
    return shown;
}

TEST_F(Password, AskedOnceAWrongOneSaidSoTheRightOneReadsAndIsKeptForTheSession) {
    std::wstring path = WriteBytes(L"keyed.grf", KeyedArchive());
    Open(path);  // the password dialog comes once the open has ended
    Box ask;
    ASSERT_TRUE(WaitForBox(program, &ask, L"Password"));
    EXPECT_NE(ask.text.find(path + L" holds entries encrypted with a password."),
              std::wstring::npos)
        << Narrow(ask.text);
    TypePassword(program, L"Password", L"not the one");
    Box wrong;
    ASSERT_TRUE(WaitForBox(program, &wrong, L"Wrong Password"));
    EXPECT_NE(wrong.text.find(L"The password does not open the entries of " + path),
              std::wstring::npos)
        << Narrow(wrong.text);
    ASSERT_TRUE(PressBoxButton(wrong, IDRETRY));
    TypePassword(program, L"Password", L"abc");  // too short: asked again
    Box shortOne;
    ASSERT_TRUE(WaitForBox(program, &shortOne, L"Password Not Taken"));
    EXPECT_NE(shortOne.text.find(L"A password takes 4 to 256 bytes; the one typed has 3."),
              std::wstring::npos);
    ASSERT_TRUE(PressBoxButton(shortOne, IDRETRY));
    TypePassword(program, L"Password", Widen(PASSWORD));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program), L"Entries encrypted with a password are read with it");

    // Marked in words, in a column wide enough to read them.
    EXPECT_EQ(CycleColumn(program), (std::vector<std::wstring>{L"keyed", L"keyed", L"-1"}));
    HWND list = Control(program, IDC_ENTRY_LIST);
    int markWidth = int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, LPARAM(L"keyed")));
    EXPECT_GE(SendMessageW(list, LVM_GETCOLUMNWIDTH, CYCLE_COLUMN, 0), markWidth + 12);
    EXPECT_EQ(PreviewText(program, 0), L"hidden text");

    // Extraction reads them too, the LZMA one included.
    std::wstring folder = dir.Join(L"out");
    ASSERT_TRUE(MakeDirectory(folder));
    Click(program, IDC_EXTRACT_ALL);
    ASSERT_TRUE(ChooseFolder(program, folder, nullptr));
    ASSERT_EQ(WaitIdle(program), L"");
    Bytes big;
    ASSERT_TRUE(ReadFileBytes(folder + L"\\data\\big.bin", &big));
    EXPECT_EQ(big, RandomBytes(300000, 7));

    // Opened again, it is not asked again.
    Click(program, IDC_CLOSE_GRF);
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_EQ(Open(path), L"");
    EXPECT_EQ(StatusText(program), L"Entries encrypted with a password are read with it");
}

TEST_F(Password, GoneOnWithoutKeyedEntriesListButSayWhyTheyDoNotRead) {
    std::wstring path = WriteBytes(L"keyed.grf", KeyedArchive());
    Open(path);
    Box ask;
    ASSERT_TRUE(WaitForBox(program, &ask, L"Password"));
    EXPECT_EQ(WindowText(GetDlgItem(ask.window, IDCANCEL)), L"Go On Without");
    ASSERT_TRUE(PressBoxButton(ask, IDCANCEL));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program),
              L"Entries encrypted with a password are listed and copied as they are, not read: "
              L"they need the password");
    EXPECT_EQ(CycleColumn(program), (std::vector<std::wstring>{L"keyed", L"keyed", L"-1"}));

    std::wstring notice = PreviewText(program, 0);
    EXPECT_NE(notice.find(L"encrypted: needs a password"), std::wstring::npos) << Narrow(notice);
    EXPECT_EQ(PreviewText(program, 2), L"plain");

    std::wstring folder = dir.Join(L"out");
    ASSERT_TRUE(MakeDirectory(folder));
    Click(program, IDC_EXTRACT_ALL);
    ASSERT_TRUE(ChooseFolder(program, folder, nullptr));
    std::wstring error = TakeError(program);
    EXPECT_NE(error.find(L"data\\secret.txt: encrypted: needs a password"), std::wstring::npos)
        << Narrow(error);
    EXPECT_FALSE(FileExists(folder + L"\\data\\secret.txt"));
    EXPECT_TRUE(FileExists(folder + L"\\data\\plain.txt"));
}

// Keyed entries past those the open looks at: nothing is asked at the open;
// the first read of one asks, once, and the password given reads it.
TEST_F(Password, AskedWhenAKeyedEntryPastThoseLookedAtIsFirstRead) {
    Bytes key = KeyOfPassword(PASSWORD);
    std::vector<Stored> stored;
    const int plain = 300;
    for (int i = 0; i < plain; ++i)
        stored.push_back(
            StoreContent(0x200, "data\\plain" + std::to_string(i) + ".txt", BytesOf("plain")));
    stored.push_back(KeyedContent(key, "data\\secret.txt", BytesOf("hidden text")));
    Open(WriteBytes(L"late.grf", BuildStoredArchive(0x200, stored)));
    ASSERT_EQ(WaitIdle(program), L"");

    std::wstring notice = PreviewText(program, plain);
    EXPECT_NE(notice.find(L"encrypted: needs a password"), std::wstring::npos) << Narrow(notice);
    TypePassword(program, L"Password", Widen(PASSWORD));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(PreviewText(program, plain), L"hidden text");
    EXPECT_EQ(RowTexts(program, plain)[CYCLE_COLUMN], L"keyed");
}

TEST_F(Password, WritePasswordKeysWhatRepackWritesAndClears) {
    std::wstring path = WriteArchive(L"plain.grf", Numbered(3));
    ASSERT_EQ(Open(path), L"");
    const std::wstring caption = L"Password for Save and Repack";

    // Typed twice; two that differ are not taken.
    OpenDropDown(program, L'P');
    TypePassword(program, caption, L"new secret", L"new secrets");
    Box differ;
    ASSERT_TRUE(WaitForBox(program, &differ, L"Password Not Taken"));
    EXPECT_NE(differ.text.find(L"The two passwords typed differ."), std::wstring::npos);
    ASSERT_TRUE(PressBoxButton(differ, IDRETRY));
    TypePassword(program, caption, L"new secret", L"new secret");
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program),
              L"Save and Repack encrypt the entries they write with the password");

    // A 0x1xx archive cannot hold them: said, nothing written.
    std::wstring old = dir.Join(L"old.grf");
    SendMessageW(Control(program, IDC_VERSION), CB_SETCURSEL, 1, 0);  // 0x103
    Click(program, IDC_REPACK);
    ASSERT_TRUE(ChooseFile(program, L"Select destination filename for the REPACKED GRF File", old));
    std::wstring error = TakeError(program);
    EXPECT_NE(error.find(L"a 0x1xx archive cannot hold entries encrypted with a password"),
              std::wstring::npos)
        << Narrow(error);
    EXPECT_FALSE(FileExists(old));

    // Repacked to 0x200, every entry is keyed and the new file opens in
    // place without asking: its password came with it.
    std::wstring keyed = dir.Join(L"keyed.grf");
    SendMessageW(Control(program, IDC_VERSION), CB_SETCURSEL, 2, 0);  // 0x200
    Click(program, IDC_REPACK);
    ASSERT_TRUE(
        ChooseFile(program, L"Select destination filename for the REPACKED GRF File", keyed));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - " + keyed);
    EXPECT_EQ(CycleColumn(program), (std::vector<std::wstring>{L"keyed", L"keyed", L"keyed"}));
    GrfArchive* written = GrfOpen(keyed.c_str(), nullptr);
    ASSERT_NE(written, GRF_NO_ARCHIVE);
    EXPECT_EQ(GrfCountKeyed(written, nullptr), 3u);
    ASSERT_TRUE(GrfSetPassword(written, reinterpret_cast<const uint8_t*>("new secret"), 10));
    uint32_t size = 0;
    void* data = GrfReadRecord(written, 1, &size);
    EXPECT_EQ(std::string(static_cast<char*>(data), size), "x");
    GrfFreeBuffer(data);
    GrfClose(&written);

    // Clear takes it away.
    OpenDropDown(program, L'P');
    Box again;
    ASSERT_TRUE(WaitForBox(program, &again, caption));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(again.window, IDC_PASSWORD_CLEAR)));
    ASSERT_TRUE(PressBoxButton(again, IDC_PASSWORD_CLEAR));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program), L"Save and Repack write entries without a password");
}

}  // namespace
