// Extract and Extract All as a user meets them: the folder browser that
// starts where the last extraction went, the question before a file is
// replaced, Cancel that stops a run of failing entries, one closing box of
// what went wrong, the status line, names that are no code page 949 text,
// and an archive file that changed on disk.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "grf.h"
#include "grf_builder.h"
#include "picture_util.h"
#include "preview_bitmap_win32.h"
#include "program_test.h"
#include "resource.h"
#include "services.h"
#include "test_support.h"
#include "ui_driver.h"

namespace {

class Extraction : public ProgramTest {
  protected:
    // A new empty folder under the temporary folder.
    std::wstring Folder(const std::wstring& name) {
        std::wstring folder = dir.Join(name);
        EXPECT_TRUE(MakeDirectory(folder));
        return folder;
    }

    // Presses button (Extract or Extract All) and answers the folder browser
    // with folder.
    void ExtractInto(int button, const std::wstring& folder) {
        Click(program, button);
        ASSERT_TRUE(ChooseFolder(program, folder, nullptr));
    }
};

const wchar_t REPLACE_CAPTION[] = L"Confirm File Replace";
const wchar_t ERROR_CAPTION[] = L"Some Files Not Extracted";

std::wstring Extracted(int count, const std::wstring& folder, bool cancelled = false) {
    return std::to_wstring(count) + (count == 1 ? L" file" : L" files") + L" extracted to " +
           folder + (cancelled ? L" (cancelled)" : L"");
}

// The text of a file, or "<missing>".
std::string FileText(const std::wstring& path) {
    Bytes bytes;
    if (!ReadFileBytes(path, &bytes)) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
}

std::wstring CurrentDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, path);
    return path;
}

// The list's notice of an activated row (a double-click), handled on the
// program's thread; returns at once, so a box it opens can be answered.
void ActivateRow(const Program& program, int row) {
    SelectRows(program, {row});
    PostToUiThread(
        program, [dialog = program.dialog, list = Control(program, IDC_ENTRY_LIST), row] {
            NMITEMACTIVATE activation = {};
            activation.hdr.hwndFrom = list;
            activation.hdr.idFrom = IDC_ENTRY_LIST;
            activation.hdr.code = LVN_ITEMACTIVATE;
            activation.iItem = row;
            SendMessageW(dialog, WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&activation));
        });
}

// data\file<i>.txt holding "new <i>".
std::vector<Content> NewFiles(int count) {
    std::vector<Content> contents;
    for (int i = 0; i < count; ++i) {
        contents.push_back(
            {"data\\file" + std::to_string(i) + ".txt", BytesOf("new " + std::to_string(i))});
    }
    return contents;
}

TEST_F(Extraction, GoesToTheChosenFolderWhichTheNextBrowserStartsAt) {
    ASSERT_EQ(Open(WriteArchive(L"three.grf", NewFiles(3))), L"");
    std::wstring first = Folder(L"first");
    std::wstring second = Folder(L"second");
    std::wstring before = CurrentDirectory();

    Click(program, IDC_EXTRACT_ALL);
    std::wstring browserText;
    ASSERT_TRUE(ChooseFolder(program, first, &browserText));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_NE(browserText.find(L"Select the folder to extract into"), std::wstring::npos)
        << Narrow(browserText);
    for (int i = 0; i < 3; ++i) {
        std::string name = "data\\file" + std::to_string(i) + ".txt";
        EXPECT_EQ(FileText(first + L"\\" + Widen(name)), "new " + std::to_string(i));
    }
    EXPECT_EQ(StatusText(program), Extracted(3, first));

    // Each browser starts at the folder the last extraction used.
    SelectRows(program, {1});
    Click(program, IDC_EXTRACT);
    Box browser;
    ASSERT_TRUE(WaitForBox(program, &browser));
    EXPECT_TRUE(WaitUntil([&] { return BrowserSelection(browser) == L"first"; }, 10000))
        << Narrow(BrowserSelection(browser));
    ASSERT_TRUE(ChooseFolder(program, second, nullptr));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(FileText(second + L"\\data\\file1.txt"), "new 1");
    EXPECT_FALSE(FileExists(second + L"\\data\\file0.txt")) << "only the selected row";
    EXPECT_EQ(StatusText(program), Extracted(1, second));

    Click(program, IDC_EXTRACT_ALL);
    ASSERT_TRUE(WaitForBox(program, &browser));
    EXPECT_TRUE(WaitUntil([&] { return BrowserSelection(browser) == L"second"; }, 10000));
    ASSERT_TRUE(ChooseFolder(program, L"", nullptr));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program), Extracted(1, second)) << "a cancelled browser does nothing";
    EXPECT_FALSE(FileExists(second + L"\\data\\file0.txt"));
    EXPECT_EQ(CurrentDirectory(), before) << "the program's current folder is left alone";
}

// The row menu's Extract goes into the last folder without asking: when that
// folder is gone, it asks for another.
TEST_F(Extraction, AFolderThatIsGoneIsAskedForAgain) {
    ASSERT_EQ(Open(WriteArchive(L"three.grf", NewFiles(3))), L"");
    std::wstring gone = Folder(L"gone");
    ExtractInto(IDC_EXTRACT_ALL, gone);
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_EQ(FileText(gone + L"\\data\\file0.txt"), "new 0");
    DeleteFileW((gone + L"\\data\\file0.txt").c_str());
    DeleteFileW((gone + L"\\data\\file1.txt").c_str());
    DeleteFileW((gone + L"\\data\\file2.txt").c_str());
    RemoveDirectoryW((gone + L"\\data").c_str());
    ASSERT_TRUE(RemoveDirectoryW(gone.c_str()));
    std::wstring other = Folder(L"other");
    SelectRows(program, {0});
    PostMessageW(program.dialog, WM_COMMAND, IDM_EXTRACT, 0);
    ASSERT_TRUE(ChooseFolder(program, other, nullptr));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(FileText(other + L"\\data\\file0.txt"), "new 0");
    EXPECT_FALSE(FileExists(gone));
    // The folder chosen is the one used next, without asking.
    SelectRows(program, {1});
    PostMessageW(program.dialog, WM_COMMAND, IDM_EXTRACT, 0);
    ASSERT_EQ(WaitIdle(program), L"") << "no folder asked for";
    EXPECT_EQ(FileText(other + L"\\data\\file1.txt"), "new 1");
}

TEST_F(Extraction, AsksBeforeReplacingAFileThatIsThere) {
    ASSERT_EQ(Open(WriteArchive(L"three.grf", NewFiles(3))), L"");
    struct Case {
        const char* what;
        std::vector<int> answers;  // to the questions, in order
        std::vector<std::string> texts;
        int extracted;
        bool cancelled;
    };
    const Case cases[] = {
        {"yes, then no", {IDYES, IDNO}, {"new 0", "old 1", "new 2"}, 2, false},
        {"no, then yes", {IDNO, IDYES}, {"old 0", "new 1", "new 2"}, 2, false},
        {"yes to all asks once", {IDC_YES_TO_ALL}, {"new 0", "new 1", "new 2"}, 3, false},
        {"no to all asks once", {IDC_NO_TO_ALL}, {"old 0", "old 1", "new 2"}, 1, false},
        {"cancel stops the run", {IDCANCEL}, {"old 0", "old 1", "<missing>"}, 0, true},
    };
    std::vector<std::wstring> folders;
    for (size_t i = 0; i < std::size(cases); ++i)
        folders.push_back(Folder(L"out" + std::to_wstring(i)));
    int serial = 0;
    for (const Case& c : cases) {
        std::wstring out = folders[serial++];
        ASSERT_TRUE(MakeDirectory(out + L"\\data"));
        ASSERT_TRUE(WriteFileBytes(out + L"\\data\\file0.txt", BytesOf("old 0")));
        ASSERT_TRUE(WriteFileBytes(out + L"\\data\\file1.txt", BytesOf("old 1")));
        ExtractInto(IDC_EXTRACT_ALL, out);
        for (size_t i = 0; i < c.answers.size(); ++i) {
            Box question;
            ASSERT_TRUE(WaitForBox(program, &question, REPLACE_CAPTION)) << c.what;
            if (serial == 1 && i == 0) SaveScreenshot(question.window, L"replace-question");
            EXPECT_EQ(question.text, L"data\\file" + std::to_wstring(i) +
                                         L".txt already exists in " + out +
                                         L".\n\nReplace it with the file from the archive?")
                << c.what;
            ASSERT_TRUE(PressBoxButton(question, c.answers[i])) << c.what;
        }
        ASSERT_EQ(WaitIdle(program), L"") << c.what;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(FileText(out + L"\\data\\file" + std::to_wstring(i) + L".txt"), c.texts[i])
                << c.what << ", file " << i;
        }
        EXPECT_EQ(StatusText(program), Extracted(c.extracted, out, c.cancelled)) << c.what;
    }
    // What the run said was about the archive: closing it clears that.
    Click(program, IDC_CLOSE_GRF);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program), L"Ready");
}

// Entries that list but do not read, named data\broken<i>.txt.
std::vector<Stored> Unreadable(int count) {
    std::vector<Stored> stored;
    for (int i = 0; i < count; ++i) {
        stored.push_back(UnreadableEntry("data\\broken" + std::to_string(i) + ".txt"));
    }
    return stored;
}

TEST_F(Extraction, TellsWhatFailedOnceAtTheEndWithReasons) {
    std::vector<Stored> stored = {
        StoreContent(0x200, "data\\..\\..\\escape.txt", BytesOf("out")),
        StoreContent(0x200, "data\\blocked.txt", BytesOf("blocked")),
    };
    for (Stored& broken : Unreadable(6)) stored.push_back(broken);
    stored.push_back(StoreContent(0x200, "data\\ok.txt", BytesOf("fine")));
    ASSERT_EQ(Open(WriteBytes(L"failing.grf", BuildStoredArchive(0x200, stored))), L"");
    const std::wstring expected =
        L":\n\n"
        L"data\\..\\..\\escape.txt: the name may not be written here (it leads outside the "
        L"folder or through a link, or Windows reserves it)\n"
        L"data\\blocked.txt: the file cannot be created or written\n"
        L"data\\broken0.txt: its data does not decompress\n"
        L"data\\broken1.txt: its data does not decompress\n"
        L"data\\broken2.txt: its data does not decompress\n"
        L"...and 3 more\n\n"
        L"Save the whole list, every name with its reason, to a text file?";
    // Both commands go on past every failure and tell of them once.
    const std::wstring folders[] = {Folder(L"all"), Folder(L"rows")};
    int serial = 0;
    for (int command : {IDC_EXTRACT_ALL, IDC_EXTRACT}) {
        std::wstring out = folders[serial++];
        ASSERT_TRUE(MakeDirectory(out + L"\\data"));
        ASSERT_TRUE(MakeDirectory(out + L"\\data\\blocked.txt"));
        SelectRows(program, {0, 1, 2, 3, 4, 5, 6, 7, 8});
        ExtractInto(command, out);
        Box box;
        ASSERT_TRUE(WaitForBox(program, &box, ERROR_CAPTION));
        EXPECT_FALSE(IsWindowEnabled(program.dialog)) << "disabled while the box is open";
        if (command == IDC_EXTRACT_ALL) SaveScreenshot(box.window, L"extract-failures");
        EXPECT_EQ(StatusText(program), Extracted(1, out));
        // Close Grf reaching the dialog while the box is open is not run.
        PostMessageW(program.dialog, WM_COMMAND, MAKEWPARAM(IDC_CLOSE_GRF, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Control(program, IDC_CLOSE_GRF)));
        Settle(program);
        // The box names five: the whole list goes to a file when wanted.
        std::wstring list = dir.Join(L"failures" + std::to_wstring(serial) + L".txt");
        ASSERT_TRUE(PressBoxButton(box, command == IDC_EXTRACT ? IDYES : IDNO));
        if (command == IDC_EXTRACT) {
            ASSERT_TRUE(ChooseFile(program, L"Save the List of Files Not Extracted", list));
        }
        ASSERT_EQ(WaitIdle(program), L"") << "one box only";
        std::string saved = FileText(list);
        if (command == IDC_EXTRACT) {
            EXPECT_EQ(saved.rfind("\xEF\xBB\xBF"
                                  "data\\..\\..\\escape.txt: the name",
                                  0),
                      0u)
                << saved;
            for (int i = 0; i < 6; ++i) {
                EXPECT_NE(saved.find("data\\broken" + std::to_string(i) +
                                     ".txt: its data does not decompress\r\n"),
                          std::string::npos)
                    << i;
            }
        } else {
            EXPECT_EQ(saved, "<missing>");
        }
        // Named after the folder, captioned as what it is: a partial result.
        EXPECT_EQ(box.text, L"8 files could not be extracted to " + out + expected);
        EXPECT_EQ(RowCount(program), 9);
        EXPECT_EQ(FileText(out + L"\\data\\ok.txt"), "fine");
        EXPECT_FALSE(FileExists(dir.Join(L"escape.txt")));
    }
}

// Cancel pressed while the run waits on a question: the run stops at the
// next entry, although that entry and every later one would fail, and the
// failures before are told in one box. Meanwhile the main window takes no
// command: neither Open nor Close Grf runs under the extraction.
TEST_F(Extraction, CancelStopsARunOfFailuresAndNothingRunsUnderIt) {
    std::vector<Stored> stored = Unreadable(40);
    stored.push_back(StoreContent(0x200, "data\\there.txt", BytesOf("from the archive")));
    for (Stored& broken : Unreadable(400)) {
        broken.record.name += ".later";
        stored.push_back(broken);
    }
    std::wstring path = WriteBytes(L"stoppable.grf", BuildStoredArchive(0x200, stored));
    ASSERT_EQ(Open(path), L"");
    std::wstring out = Folder(L"out");
    ASSERT_TRUE(MakeDirectory(out + L"\\data"));
    ASSERT_TRUE(WriteFileBytes(out + L"\\data\\there.txt", BytesOf("old")));

    ExtractInto(IDC_EXTRACT_ALL, out);
    Box question;
    ASSERT_TRUE(WaitForBox(program, &question, REPLACE_CAPTION));
    EXPECT_FALSE(IsWindowEnabled(program.dialog));
    Box progress;
    ASSERT_TRUE(WaitForBox(program, &progress, L"Unpacking..."));
    // A user who moved the question aside presses Cancel in the progress
    // window, then Close Grf and Open in the main window.
    PostMessageW(GetDlgItem(progress.window, IDCANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(progress.window); }, 10000));
    EXPECT_FALSE(IsWindowEnabled(program.dialog)) << "Cancel leaves the main window disabled";
    // Their commands reach the dialog as they would from its buttons.
    for (int command : {IDC_CLOSE_GRF, IDC_OPEN}) {
        PostMessageW(program.dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Control(program, command)));
    }
    Settle(program);
    EXPECT_EQ(LoadedArchive(program)->count, 441u);
    ASSERT_TRUE(PressBoxButton(question, IDYES));

    std::wstring report = TakeError(program);
    ASSERT_EQ(WaitIdle(program), L"") << "no file dialog, no further box";
    EXPECT_EQ(report.rfind(L"40 files could not be extracted to " + out + L":\n\n", 0), 0u)
        << Narrow(report);
    EXPECT_NE(report.find(L"...and 35 more"), std::wstring::npos) << Narrow(report);
    EXPECT_EQ(FileText(out + L"\\data\\there.txt"), "from the archive");
    EXPECT_EQ(StatusText(program), Extracted(1, out, true));
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - " + path);
    EXPECT_EQ(RowCount(program), 441);
}

// Names that name one file on Windows: the first entry's file stays, the
// others are counted in the closing box, and none is asked about (the file
// is there because of the run). A second run into the same folder asks once.
TEST_F(Extraction, NamesOfOneFileAreWrittenOnceAndCounted) {
    ASSERT_EQ(Open(WriteArchive(L"cases.grf", {{"data\\Case.txt", BytesOf("first")},
                                               {"data\\case.txt", BytesOf("second")},
                                               {"data\\other.txt", BytesOf("other")},
                                               {"data/CASE.TXT", BytesOf("third")}})),
              L"");
    std::wstring out = Folder(L"out");
    for (int round = 0; round < 2; ++round) {
        ExtractInto(IDC_EXTRACT_ALL, out);
        if (round == 1) {
            for (const wchar_t* name : {L"data\\Case.txt", L"data\\other.txt"}) {
                Box question;
                ASSERT_TRUE(WaitForBox(program, &question, REPLACE_CAPTION));
                EXPECT_EQ(question.text.rfind(name, 0), 0u) << Narrow(question.text);
                ASSERT_TRUE(PressBoxButton(question, IDYES));
            }
        }
        EXPECT_EQ(TakeError(program),
                  L"2 entries were not extracted: an earlier entry of this extraction already "
                  L"wrote a file of the same name (on Windows, names that differ only in case "
                  L"name one file). The first one was kept.")
            << "round " << round;
        ASSERT_EQ(WaitIdle(program), L"");
        EXPECT_EQ(FileText(out + L"\\data\\case.txt"), "first");
        EXPECT_EQ(FileText(out + L"\\data\\other.txt"), "other");
        EXPECT_EQ(StatusText(program), Extracted(2, out));
    }
}

TEST_F(Extraction, NamesThatAreNoCodePageTextAreListedExtractedAndPreviewed) {
    // 0xFB needs a second byte, 0xFF starts no character: each is written as
    // %XX, so the name still names one file.
    Bytes bitmap = MakeBmp(1, 1, 24, 0, {}, Bytes(4, 0x80));
    ASSERT_EQ(Open(WriteArchive(L"odd.grf", {{"data\\\xFB.txt", BytesOf("lead byte alone")},
                                             {"data\\\xFF\xFE.bmp", bitmap}})),
              L"");
    EXPECT_EQ(RowTexts(program, 0)[5], L"data\\%FB.txt");
    EXPECT_EQ(RowTexts(program, 1)[5], L"data\\%FF%FE.bmp");

    std::wstring out = Folder(L"out");
    ExtractInto(IDC_EXTRACT_ALL, out);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(FileText(out + L"\\data\\%FB.txt"), "lead byte alone");
    EXPECT_EQ(StatusText(program), Extracted(2, out));

    ActivateRow(program, 1);
    Settle(program);
    int width = 0;
    RunOnUiThread(program, [&] { width = g_previewImage.width; });
    EXPECT_EQ(width, 1) << "the bitmap was read by its record";
}

// Replaces the archive file at path behind the program's back with one of
// count entries (a different size, so the change shows at once).
void Replace(const std::wstring& path, int count) {
    ASSERT_TRUE(WriteFileBytes(path, BuildArchive(0x200, NewFiles(count))));
}

TEST_F(Extraction, AnArchiveChangedOnDiskIsOfferedToBeOpenedAgain) {
    const std::wstring all = Folder(L"all");
    const std::wstring one = Folder(L"one");
    struct Case {
        const char* what;
        std::function<void()> use;  // starts what reads the archive
        int answer;
        int rows;  // afterwards
    };
    const Case cases[] = {
        {"Extract All, reopened", [&] { ExtractInto(IDC_EXTRACT_ALL, all); }, IDYES, 3},
        {"Extract, kept",
         [&] {
             SelectRows(program, {0});
             ExtractInto(IDC_EXTRACT, one);
         },
         IDNO, 2},
        {"preview, reopened", [this] { ActivateRow(program, 0); }, IDYES, 3},
        {"Repack, reopened",
         [this] {
             Click(program, IDC_REPACK);
             ASSERT_TRUE(ChooseFile(program,
                                    L"Select destination filename for the REPACKED GRF File",
                                    dir.Join(L"repacked.grf")));
         },
         IDYES, 3},
    };
    std::wstring path = WriteArchive(L"changing.grf", NewFiles(2));
    for (const Case& c : cases) {
        Replace(path, 2);
        ASSERT_EQ(Open(path), L"") << c.what;
        Replace(path, 3);
        c.use();
        Box box;
        ASSERT_TRUE(WaitForBox(program, &box, L"Archive Changed")) << c.what;
        EXPECT_EQ(box.text, path +
                                L" has changed on disk since it was opened: its entries can no "
                                L"longer be read from it.\n\nOpen it again? Changes not yet "
                                L"repacked are lost.")
            << c.what;
        ASSERT_TRUE(PressBoxButton(box, c.answer)) << c.what;
        ASSERT_EQ(WaitIdle(program), L"") << c.what;
        EXPECT_EQ(RowCount(program), c.rows) << c.what;
        EXPECT_EQ(WindowText(program.dialog), L"Caskwright - " + path) << c.what;
    }
    EXPECT_FALSE(FileExists(dir.Join(L"repacked.grf"))) << "a failed repack leaves no file";
}

}  // namespace
