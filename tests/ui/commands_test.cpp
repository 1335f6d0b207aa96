// The archive commands as a user runs them: Open and Add Grf through the
// file dialog, Repack with its progress window and Cancel, Extract and
// Extract All into a temporary current directory, Delete Sel, Add Dir
// through the folder browser, and the progress callbacks themselves.
#include <windows.h>

#include <shlwapi.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "commands.h"
#include "entry_list.h"
#include "grf.h"
#include "grf_builder.h"
#include "program_test.h"
#include "progress.h"
#include "resource.h"
#include "services.h"
#include "test_support.h"
#include "thor_builder.h"
#include "ui_driver.h"

namespace {

using Commands = ProgramTest;

const wchar_t SELECT_MAIN[] = L"Select Main GRF File to Load";
const wchar_t SELECT_APPEND[] = L"Select a GRF/GPF File to Append";

std::wstring Title(const std::wstring& path) {
    return L"Caskwright - " + path;
}

TEST_F(Commands, OpenLoadsAndListsAnArchive) {
    std::wstring path = WriteArchive(L"two.grf", Numbered(2));
    ASSERT_EQ(Open(path), L"");
    EXPECT_EQ(WindowText(program.dialog), Title(path));
    ASSERT_EQ(RowCount(program), 2);
    EXPECT_EQ(RowTexts(program, 1)[5], L"data\\file1.txt");
    EXPECT_EQ(StatusText(program), L"Ready");
}

// A 0x300 archive built byte by byte lists as any other; one whose entry
// and directory lie past 4 GB (a sparse file) shows the whole offset.
TEST_F(Commands, ArchivesOfVersion0x300ShowOffsetsPast4GB) {
    ASSERT_EQ(Open(WriteBytes(L"example300.grf", Example300())), L"");
    ASSERT_EQ(RowCount(program), 1);
    std::vector<std::wstring> row = RowTexts(program, 0);
    EXPECT_EQ(row[1], L"16");
    EXPECT_EQ(row[2], L"5");
    EXPECT_EQ(row[3], L"46");
    EXPECT_EQ(row[4], L"-1");
    EXPECT_EQ(row[5], L"data\\a.txt");

    Stored nearEntry = StoreContent(0x300, "data\\near.txt", BytesOf("near"));
    Stored farEntry = StoreContent(0x300, "data\\texture\\far.bmp", RandomBytes(5000, 3));
    nearEntry.record.offset = 0;
    farEntry.record.offset = (uint64_t{5} << 30) + 0x1000;  // 5 GiB in
    uint64_t dirOffset = farEntry.record.offset + farEntry.bytes.size();
    Bytes directory = BuildV3Directory(BuildV3Table({nearEntry.record, farEntry.record}));
    std::wstring path = dir.Join(L"past4gb.grf");
    std::string why;
    if (!WriteSparseFile(path, GRF_HEADER_SIZE + dirOffset + directory.size(),
                         {{0, BuildV3Header(dirOffset, 2)},
                          {GRF_HEADER_SIZE, nearEntry.bytes},
                          {GRF_HEADER_SIZE + farEntry.record.offset, farEntry.bytes},
                          {GRF_HEADER_SIZE + dirOffset, directory}},
                         &why))
        GTEST_SKIP() << "no file past 4 GiB can be made here: " << why;
    ASSERT_EQ(Open(path), L"");
    ASSERT_EQ(RowCount(program), 2);
    EXPECT_EQ(RowTexts(program, 1)[3], std::to_wstring(farEntry.record.offset + GRF_HEADER_SIZE));
    EXPECT_EQ(RowTexts(program, 1)[5], L"data\\texture\\far.bmp");
    SaveScreenshot(program.dialog, L"main-past-4gb");
}

// The bytes of a file, or "<missing>".
std::string FileText(const std::wstring& path) {
    Bytes bytes;
    if (!ReadFileBytes(path, &bytes)) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(Commands, OpeningAFileThatIsNoArchiveUnloadsTheLoadedOne) {
    ASSERT_EQ(Open(WriteArchive(L"two.grf", Numbered(2))), L"");
    std::wstring bad = WriteBytes(L"not-an-archive.grf", BytesOf("just some text, no header"));
    Click(program, IDC_OPEN);
    ASSERT_TRUE(ChooseFile(program, SELECT_MAIN, bad));
    EXPECT_EQ(TakeError(program), bad + L" is not a valid GRF file");
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowCount(program), 0);
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - none");
    EXPECT_EQ(LoadedArchive(program), GRF_NO_ARCHIVE);
}

TEST_F(Commands, CancellingTheFileDialogChangesNothingAndKeepsThePath) {
    std::wstring path = WriteArchive(L"two.grf", Numbered(2));
    ASSERT_EQ(Open(path), L"");
    Click(program, IDC_OPEN);
    Box dialog;
    ASSERT_TRUE(WaitForBox(program, &dialog, SELECT_MAIN));
    EXPECT_EQ(FileTypes(dialog), (std::vector<std::wstring>{L"Gravity Pack File (*.grf;*.gpf)",
                                                            L"Patch File (*.thor;*.rgz)"}));
    ASSERT_TRUE(ChooseFile(program, SELECT_MAIN, L""));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(WindowText(program.dialog), Title(path));
    EXPECT_EQ(RowCount(program), 2);
    std::wstring kept;
    RunOnUiThread(program, [&] { kept = g_fileName; });
    EXPECT_EQ(kept, path);
}

TEST_F(Commands, OpenShowsItsProgressOnTheStatusLine) {
    std::wstring path = WriteArchive(L"forty.grf", Numbered(40));
    std::vector<std::wstring> shown;
    RunOnUiThread(program, [&] {
        for (uint32_t i = 0; i < 3; ++i) {
            ShowOpenProgress(nullptr, i, 40);
            shown.push_back(WindowText(g_statusBar));
        }
    });
    EXPECT_EQ(shown,
              (std::vector<std::wstring>{L"Opening: 0/40", L"Opening: 1/40", L"Opening: 2/40"}));
    // A large archive shows about a hundred steps, the first and the last.
    std::vector<uint32_t> steps;
    RunOnUiThread(program, [&] {
        std::wstring last;
        for (uint32_t i = 0; i < 100000; ++i) {
            ShowOpenProgress(nullptr, i, 100000);
            std::wstring now = WindowText(g_statusBar);
            if (now != last) steps.push_back(i);
            last = now;
        }
    });
    ASSERT_GE(steps.size(), 50u);
    EXPECT_LE(steps.size(), 200u);
    EXPECT_EQ(steps.front(), 0u);
    EXPECT_EQ(steps.back(), 99999u);
    ASSERT_EQ(Open(path), L"");
    EXPECT_EQ(StatusText(program), L"Ready");
}

TEST_F(Commands, AddGrfWithNothingLoadedActsAsOpen) {
    std::wstring path = WriteArchive(L"two.grf", Numbered(2));
    ASSERT_EQ(UseFileDialog(IDC_ADD_GRF, SELECT_MAIN, path), L"");
    EXPECT_EQ(WindowText(program.dialog), Title(path));
    EXPECT_EQ(RowCount(program), 2);
    for (int row = 0; row < 2; ++row) EXPECT_EQ(RowImage(program, row), MARK_NONE);
}

TEST_F(Commands, AppendReplacesSharedNamesAndAddsNewOnes) {
    struct Case {
        const char* what;
        std::vector<Content> other;
        std::vector<int> marks;
    };
    const Case cases[] = {
        {"every name shared",
         {{"data\\file1.txt", BytesOf("other one, longer")},
          {"data\\file0.txt", BytesOf("other zero")}},
         {MARK_REPLACED, MARK_REPLACED}},
        {"one shared, one new",
         {{"data\\file0.txt", BytesOf("other zero")}, {"data\\new.txt", BytesOf("n")}},
         {MARK_REPLACED, MARK_NONE, MARK_NEW}},
    };
    int serial = 0;
    for (const Case& c : cases) {
        std::wstring loaded =
            WriteArchive(L"loaded" + std::to_wstring(serial) + L".grf", Numbered(2));
        std::wstring other = WriteArchive(L"other" + std::to_wstring(serial++) + L".grf", c.other);
        ASSERT_EQ(Open(loaded), L"");
        ASSERT_EQ(UseFileDialog(IDC_ADD_GRF, SELECT_APPEND, other), L"") << c.what;
        EXPECT_EQ(WindowText(program.dialog), Title(loaded))
            << c.what << ": the table still belongs to the loaded archive";
        ASSERT_EQ(RowCount(program), static_cast<int>(c.marks.size())) << c.what;
        for (size_t row = 0; row < c.marks.size(); ++row) {
            EXPECT_EQ(RowImage(program, static_cast<int>(row)), c.marks[row])
                << c.what << ", row " << row;
        }
    }
    // A replaced row shows the merged record's sizes.
    EXPECT_EQ(RowTexts(program, 0)[2], L"10");
}

TEST_F(Commands, AddGrfOfAPatchMarksWhatApplyingItChanges) {
    std::wstring loaded = WriteArchive(L"two.grf", Numbered(2));
    std::wstring patch =
        WriteBytes(L"update.thor", BuildThor({{"data\\file0.txt", BytesOf("patched")},
                                              {"data\\file1.txt", {}, true},
                                              {"data\\new.txt", BytesOf("n")}}));
    // Opened alone, the patch lists its removal as a deletion.
    ASSERT_EQ(Open(patch), L"");
    ASSERT_EQ(RowCount(program), 3);
    EXPECT_EQ(RowImage(program, 1), MARK_DELETED);
    ASSERT_EQ(Open(loaded), L"");
    ASSERT_EQ(UseFileDialog(IDC_ADD_GRF, SELECT_APPEND, patch), L"");
    ASSERT_EQ(RowCount(program), 3);
    EXPECT_EQ(RowImage(program, 0), MARK_REPLACED);
    EXPECT_EQ(RowImage(program, 1), MARK_DELETED);
    EXPECT_EQ(RowImage(program, 2), MARK_NEW);
    EXPECT_EQ(RowTexts(program, 0)[2], L"7");  // the patched size
}

TEST_F(Commands, AFailedAppendKeepsTheLoadedArchiveAndItsTitle) {
    std::wstring loaded = WriteArchive(L"two.grf", Numbered(2));
    ASSERT_EQ(Open(loaded), L"");
    std::wstring bad = WriteBytes(L"bad.grf", BytesOf("no archive here"));
    Click(program, IDC_ADD_GRF);
    ASSERT_TRUE(ChooseFile(program, SELECT_APPEND, bad));
    EXPECT_EQ(TakeError(program), bad + L" is not a valid GRF file");
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(WindowText(program.dialog), Title(loaded));
    EXPECT_EQ(RowCount(program), 2);
}

TEST_F(Commands, AppendingAnEmptyArchiveToAnEmptyTableFails) {
    std::wstring empty = WriteArchive(L"empty.grf", {});
    std::wstring alsoEmpty = WriteArchive(L"also-empty.grf", {});
    ASSERT_EQ(Open(empty), L"");
    Click(program, IDC_ADD_GRF);
    ASSERT_TRUE(ChooseFile(program, SELECT_APPEND, alsoEmpty));
    EXPECT_EQ(
        TakeError(program),
        alsoEmpty +
            L" holds no entries, and neither does the loaded archive: there is nothing to add.");
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(WindowText(program.dialog), Title(empty));
}

const wchar_t SELECT_TARGET[] = L"Select destination filename for the REPACKED GRF File";

// Repack as a user: the version list set to version, the button, the save
// dialog answered with target.
void StartRepack(const Program& program, int versionItem, const std::wstring& target) {
    SendMessageW(Control(program, IDC_VERSION), CB_SETCURSEL, versionItem, 0);
    Click(program, IDC_REPACK);
    ASSERT_TRUE(ChooseFile(program, SELECT_TARGET, target));
}

// The contents of every entry of the archive at path, by name.
std::vector<std::pair<std::string, std::string>> ArchiveContents(const std::wstring& path) {
    std::vector<std::pair<std::string, std::string>> contents;
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) return contents;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        wchar_t* name = GrfCp949ToWide(entry.name);
        uint32_t size = 0;
        char* data = static_cast<char*>(GrfReadEntry(archive, name, &size));
        contents.push_back({entry.name, data ? std::string(data, size) : "<unreadable>"});
        GrfFreeBuffer(data);
        GrfFreeBuffer(name);
    }
    GrfClose(&archive);
    return contents;
}

TEST_F(Commands, TheRepackDialogRefusesAnExistingNameAtOnceAndLeavesItAlone) {
    std::wstring loaded = WriteArchive(L"loaded.grf", Numbered(3));
    std::wstring existing = WriteBytes(L"existing.grf", BytesOf("already here"));
    ASSERT_EQ(Open(loaded), L"");
    Bytes before;
    ASSERT_TRUE(ReadFileBytes(loaded, &before));
    for (const std::wstring& target : {existing, loaded}) {
        Click(program, IDC_REPACK);
        Box chooser;
        ASSERT_TRUE(WaitForBox(program, &chooser, SELECT_TARGET));
        ASSERT_TRUE(TypeFileName(chooser, target));
        Box taken;
        ASSERT_TRUE(WaitForBox(program, &taken, L"Name Taken"));
        EXPECT_EQ(
            taken.text,
            target + L" already exists. Archives are never overwritten: choose another name.");
        ASSERT_TRUE(PressBoxButton(taken, IDOK));
        // The dialog is still there for another name.
        ASSERT_TRUE(ChooseFile(program, SELECT_TARGET, L""));
        ASSERT_EQ(WaitIdle(program), L"");
        EXPECT_EQ(StatusText(program), L"Ready");
    }
    EXPECT_EQ(FileText(existing), "already here");
    Bytes after;
    ASSERT_TRUE(ReadFileBytes(loaded, &after));
    EXPECT_EQ(after, before);
    EXPECT_EQ(WindowText(program.dialog), Title(loaded));
    EXPECT_EQ(RowCount(program), 3);
}

TEST_F(Commands, RepackWritesTheEditedTableAndLoadsTheNewFile) {
    struct Case {
        int versionItem;
        uint32_t version;
    };
    const Case cases[] = {{2, 0x200}, {1, 0x103}, {0, 0x102}, {3, 0x300}};
    const std::vector<Content> contents = {
        {"data\\keep.txt", BytesOf("kept text, long enough to be worth deflating")},
        {"data\\gone.txt", BytesOf("deleted before the repack")},
        {"data\\map.gat", BytesOf("GRAT map bytes")},
        {"data\\sprite.spr", RandomBytes(3000, 7)},
    };
    for (const Case& c : cases) {
        std::wstring loaded =
            WriteArchive(L"src" + std::to_wstring(c.version) + L".grf", contents, 0x200);
        std::wstring target = dir.Join(L"repacked" + std::to_wstring(c.version) + L".grf");
        ASSERT_EQ(Open(loaded), L"");
        SelectRows(program, {1});
        Click(program, IDC_DELETE_SEL);
        ASSERT_EQ(WaitIdle(program), L"");
        StartRepack(program, c.versionItem, target);
        ASSERT_EQ(WaitIdle(program), L"") << std::hex << c.version;
        EXPECT_EQ(WindowText(program.dialog), Title(target));
        // What was written, not "Ready".
        Bytes file;
        ASSERT_TRUE(ReadFileBytes(target, &file));
        wchar_t size[64] = L"";
        StrFormatByteSizeW(static_cast<LONGLONG>(file.size()), size, 64);
        wchar_t version[16];
        swprintf(version, 16, L"0x%X", c.version);
        EXPECT_EQ(StatusText(program),
                  L"3 entries written to " + target + L" (" + version + L"), " + size);
        EXPECT_TRUE(IsWindowEnabled(Control(program, IDC_ADD_DIR)));
        ASSERT_EQ(RowCount(program), 3);
        GrfArchive* written = GrfOpen(target.c_str(), nullptr);
        ASSERT_NE(written, GRF_NO_ARCHIVE);
        EXPECT_EQ(written->header[42] | written->header[43] << 8, static_cast<int>(c.version));
        for (int row = 0; row < 3; ++row) {
            std::vector<std::wstring> texts = RowTexts(program, row);
            const GrfEntry& entry = written->entries[row];
            int8_t cycle =
                c.version >= 0x200 ? -1 : GrfCycleFromName(entry.name, entry.compressedSize);
            EXPECT_EQ(texts[4], std::to_wstring(cycle)) << Narrow(texts[5]);
            EXPECT_EQ(RowImage(program, row), MARK_NONE);
        }
        GrfClose(&written);
        if (c.version == 0x300) SaveScreenshot(program.dialog, L"main-repacked-0x300");
        auto written_contents = ArchiveContents(target);
        ASSERT_EQ(written_contents.size(), 3u);
        EXPECT_EQ(written_contents[0].first, "data\\keep.txt");
        EXPECT_EQ(written_contents[0].second, "kept text, long enough to be worth deflating");
        EXPECT_EQ(written_contents[1].first, "data\\map.gat");
        EXPECT_EQ(written_contents[2].second.size(), 3000u);
    }
}

// A table whose stored bytes pass 4 GB: a 0x2xx repack is refused before a
// name is asked for, with 0x300 named as the way out, which then writes it.
TEST_F(Commands, RepackPast4GBNamesVersion0x300) {
    std::wstring loaded = WriteArchive(L"two.grf", Numbered(2));
    ASSERT_EQ(Open(loaded), L"");
    RunOnUiThread(program, [&] {
        for (uint32_t i = 0; i < g_archive->count; ++i)
            g_archive->entries[i].alignedSize = 0x80000000u;
    });
    SendMessageW(Control(program, IDC_VERSION), CB_SETCURSEL, 2, 0);
    Click(program, IDC_REPACK);
    std::wstring error = TakeError(program);
    EXPECT_NE(error.find(L"more than the 4 GB a 0x200 archive can address"), std::wstring::npos)
        << Narrow(error);
    EXPECT_NE(error.find(L"Choose version 0x300 to write it."), std::wstring::npos);
    EXPECT_NE(error.find(L"4294967"), std::wstring::npos) << "the bytes it would take";
    ASSERT_EQ(WaitIdle(program), L"") << "no file name was asked for";
    EXPECT_EQ(WindowText(program.dialog), Title(loaded));
}

// Entries enough for the repack to last well beyond the click on Cancel.
const int CANCEL_ENTRIES = 20000;

TEST_F(Commands, CancelDuringRepackIsNoErrorAndKeepsTheEditedTable) {
    std::vector<Content> contents;
    for (int i = 0; i < CANCEL_ENTRIES; ++i) {
        contents.push_back({"data\\large\\entry" + std::to_string(i) + ".bin",
                            RandomBytes(1024, static_cast<uint64_t>(i) + 1)});
    }
    std::wstring loaded = WriteArchive(L"large.grf", contents);
    ASSERT_EQ(Open(loaded), L"");
    SelectRows(program, {0});
    Click(program, IDC_DELETE_SEL);
    ASSERT_EQ(WaitIdle(program), L"");
    StartRepack(program, 1, dir.Join(L"cancelled.grf"));
    Box progress;
    ASSERT_TRUE(WaitForBox(program, &progress, L"Repacking..."));
    EXPECT_EQ(StatusText(program), L"Repacking...");
    SaveScreenshot(progress.window, L"repack-progress");
    fprintf(stderr, "position %d\n",
            (int)SendDlgItemMessageW(progress.window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
    ASSERT_TRUE(PressBoxButton(progress, IDCANCEL));
    ASSERT_EQ(WaitIdle(program), L"") << "a cancel shows no error";
    EXPECT_EQ(WindowText(program.dialog), Title(loaded));
    EXPECT_EQ(RowCount(program), CANCEL_ENTRIES);
    EXPECT_EQ(RowImage(program, 0), MARK_DELETED);
    EXPECT_EQ(StatusText(program), L"Repack cancelled: nothing was written.");
    EXPECT_EQ(GetFileAttributesW(dir.Join(L"cancelled.grf").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Nothing to extract: no folder is asked for (WaitIdle sees no browser).
TEST_F(Commands, ExtractWithNothingSelectedOrLoadedAsksNothing) {
    RunOnUiThread(program, [] { SetStatusText(L"before"); });
    Click(program, IDC_EXTRACT_ALL);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program), L"before") << "Extract All with nothing loaded";

    ASSERT_EQ(Open(WriteArchive(L"two.grf", Numbered(2))), L"");
    SelectRows(program, {});
    Click(program, IDC_EXTRACT);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(StatusText(program), L"Ready");

    ASSERT_EQ(Open(WriteArchive(L"empty.grf", {})), L"");
    Click(program, IDC_EXTRACT_ALL);
    ASSERT_EQ(WaitIdle(program), L"") << "Extract All of an empty archive";
}

TEST_F(Commands, DeleteMarksTheSelectedRowsAndKeepsThemListed) {
    ASSERT_EQ(Open(WriteArchive(L"three.grf", Numbered(3))), L"");
    for (int round = 0; round < 2; ++round) {
        SelectRows(program, {0, 2});
        Click(program, IDC_DELETE_SEL);
        ASSERT_EQ(WaitIdle(program), L"");
        ASSERT_EQ(RowCount(program), 3);
        EXPECT_EQ(RowImage(program, 0), MARK_DELETED);
        EXPECT_EQ(RowImage(program, 1), MARK_NONE);
        EXPECT_EQ(RowImage(program, 2), MARK_DELETED);
        EXPECT_EQ(RowTexts(program, 2)[5], L"data\\file2.txt");
        EXPECT_EQ(StatusText(program), L"Ready");
    }
    std::vector<int> states;
    RunOnUiThread(program, [&] {
        for (uint32_t i = 0; i < g_archive->count; ++i)
            states.push_back(g_archive->entries[i].state);
    });
    EXPECT_EQ(states,
              (std::vector<int>{GRF_ENTRY_DELETED, GRF_ENTRY_IN_ARCHIVE, GRF_ENTRY_DELETED}));

    // With nothing selected the list is not refilled: a pattern typed but
    // not applied stays unapplied.
    SelectRows(program, {});
    SetWindowTextW(Control(program, IDC_FILTER_TEXT), L"*.none");
    Click(program, IDC_DELETE_SEL);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowCount(program), 3);
}

TEST_F(Commands, ProgressWindowShowsTheEntryAndTheWholeTotal) {
    std::wstring label;
    LRESULT high = 0;
    LRESULT position = 0;
    int32_t afterClose = 0;
    std::wstring caption;
    RunOnUiThread(program, [&] {
        GrfEntry entry = {};
        strcpy(entry.name, "data\\\xB9\xE8\xB0\xE6\\big.bmp");
        HWND window = CreateProgressWindow(LoadResString(IDS_UNPACKING));
        caption = WindowText(window);
        ShowEntryProgress(&entry, 70000, 100000);
        label = WindowText(GetDlgItem(window, IDC_PROGRESS_NAME));
        high = SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, 0);
        position = SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
        CloseProgressWindow(window);
        afterClose = ShowEntryProgress(&entry, 0, 1);
    });
    EXPECT_EQ(caption, L"Unpacking...");
    EXPECT_EQ(label, Widen("data\\\xEB\xB0\xB0\xEA\xB2\xBD\\big.bmp"));
    EXPECT_EQ(high, 100000);
    EXPECT_EQ(position, 70000);
    EXPECT_EQ(afterClose, 1) << "no window: the operation is to stop";
}

TEST_F(Commands, AnActivationWithoutAFocusedRowDoesNothing) {
    ASSERT_EQ(Open(WriteArchive(L"two.grf", Numbered(2))), L"");
    SelectRows(program, {});
    NMITEMACTIVATE activation = {};
    activation.hdr.hwndFrom = Control(program, IDC_ENTRY_LIST);
    activation.hdr.idFrom = IDC_ENTRY_LIST;
    activation.hdr.code = LVN_ITEMACTIVATE;
    activation.iItem = -1;
    SendMessageW(program.dialog, WM_NOTIFY, IDC_ENTRY_LIST, reinterpret_cast<LPARAM>(&activation));
    EXPECT_EQ(WaitIdle(program), L"");
}

// A folder tree in the temporary folder: pack\b.txt, pack\.hidden and
// pack\texture\a.bmp.
std::wstring MakeFolder(const TempDir& dir) {
    std::wstring root = dir.Join(L"pack");
    EXPECT_TRUE(MakeDirectory(root));
    EXPECT_TRUE(MakeDirectory(root + L"\\texture"));
    EXPECT_TRUE(WriteFileBytes(root + L"\\b.txt", BytesOf("bee")));
    EXPECT_TRUE(WriteFileBytes(root + L"\\.hidden", BytesOf("hidden")));
    EXPECT_TRUE(WriteFileBytes(root + L"\\texture\\a.bmp", BytesOf("BM picture")));
    return root;
}

std::vector<std::wstring> SortedNames(const Program& program) {
    std::vector<std::wstring> names;
    for (int row = 0; row < RowCount(program); ++row) names.push_back(RowTexts(program, row)[5]);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Commands, AddDirWithNothingLoadedBuildsANewArchiveToRepack) {
    std::wstring root = MakeFolder(dir);
    Click(program, IDC_ADD_DIR);
    std::wstring browserText;
    ASSERT_TRUE(ChooseFolder(program, root, &browserText));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_NE(browserText.find(L"Select a directory to be packed, for example, c:\\ro\\data"),
              std::wstring::npos)
        << Narrow(browserText);
    EXPECT_EQ(SortedNames(program), (std::vector<std::wstring>{L"data\\.hidden", L"data\\b.txt",
                                                               L"data\\texture\\a.bmp"}));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(RowImage(program, row), MARK_NEW);
        std::vector<std::wstring> texts = RowTexts(program, row);
        EXPECT_EQ(texts[1] + texts[2] + texts[3] + texts[4], L"0000");
    }
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright 1.0 - by the Caskwright developers");
    EXPECT_TRUE(IsWindowEnabled(Control(program, IDC_ADD_DIR)));
    EXPECT_EQ(StatusText(program), L"Ready");
    std::wstring created = LoadedArchive(program)->path;  // kept absolute by the engine
    EXPECT_TRUE(created.size() > 11 && created.substr(created.size() - 11) == L"\\output.grf" &&
                created[1] == L':')
        << Narrow(created);
    SaveScreenshot(program.dialog, L"main-add-dir");

    std::wstring target = dir.Join(L"from-folder.grf");
    StartRepack(program, 1, target);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(WindowText(program.dialog), Title(target));
    EXPECT_TRUE(IsWindowEnabled(Control(program, IDC_ADD_DIR)));
    auto contents = ArchiveContents(target);
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::pair<std::string, std::string>>{
                            {"data\\.hidden", "hidden"},
                            {"data\\b.txt", "bee"},
                            {"data\\texture\\a.bmp", "BM picture"}}));
    for (int row = 0; row < 3; ++row) EXPECT_EQ(RowImage(program, row), MARK_NONE);
}

TEST_F(Commands, FoldersAddedOneAfterAnotherEachPackTheirOwnFiles) {
    std::wstring first = MakeFolder(dir);
    std::wstring second = dir.Join(L"more");
    ASSERT_TRUE(MakeDirectory(second));
    ASSERT_TRUE(WriteFileBytes(second + L"\\c.txt", BytesOf("sea")));
    ASSERT_TRUE(WriteFileBytes(second + L"\\d.txt", BytesOf("dee")));
    std::wstring other = WriteArchive(L"two.grf", Numbered(2));
    ASSERT_EQ(Open(other), L"");
    for (const std::wstring& folder : {first, second}) {
        Click(program, IDC_ADD_DIR);
        ASSERT_TRUE(ChooseFolder(program, folder, nullptr));
        ASSERT_EQ(WaitIdle(program), L"");
        EXPECT_TRUE(IsWindowEnabled(Control(program, IDC_ADD_DIR)));
    }
    EXPECT_EQ(WindowText(program.dialog), Title(other)) << "Add Dir leaves the caption";
    std::wstring target = dir.Join(L"both.grf");
    StartRepack(program, 1, target);
    ASSERT_EQ(WaitIdle(program), L"");
    auto contents = ArchiveContents(target);
    std::sort(contents.begin(), contents.end());
    // Each file is read from its own folder.
    EXPECT_EQ(contents, (std::vector<std::pair<std::string, std::string>>{
                            {"data\\.hidden", "hidden"},
                            {"data\\b.txt", "bee"},
                            {"data\\c.txt", "sea"},
                            {"data\\d.txt", "dee"},
                            {"data\\file0.txt", "x"},
                            {"data\\file1.txt", "x"},
                            {"data\\texture\\a.bmp", "BM picture"}}));
    // Close Grf and Open leave it enabled too (the repacked file is loaded:
    // nothing is unsaved).
    Click(program, IDC_CLOSE_GRF);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_TRUE(IsWindowEnabled(Control(program, IDC_ADD_DIR)));
}

TEST_F(Commands, CancellingTheFolderBrowserLeavesAnEmptyArchiveLoaded) {
    Click(program, IDC_ADD_DIR);
    ASSERT_TRUE(ChooseFolder(program, L"", nullptr));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowCount(program), 0);
    EXPECT_TRUE(IsWindowEnabled(Control(program, IDC_ADD_DIR)));
    GrfArchive* first = LoadedArchive(program);
    ASSERT_NE(first, GRF_NO_ARCHIVE);
    Click(program, IDC_ADD_DIR);
    ASSERT_TRUE(ChooseFolder(program, MakeFolder(dir), nullptr));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(LoadedArchive(program), first);
    EXPECT_EQ(RowCount(program), 3);
}

// Names that code page 949 cannot hold exactly are left out, never changed
// to a near character (whose file the repack would not find); the box names
// them beside those too long. Korean names convert and are taken.
TEST_F(Commands, AddDirLeavesOutNamesThatDoNotConvertAndSaysSo) {
    std::wstring root = MakeFolder(dir);
    const std::wstring accented = L"caf\u00E9_\u00FC.txt";
    const std::wstring folder = L"\u00FCber";
    const std::wstring korean = L"\uBC30\uACBD.txt";
    ASSERT_TRUE(WriteFileBytes(root + L"\\" + accented, BytesOf("accented")));
    ASSERT_TRUE(MakeDirectory(root + L"\\" + folder));
    ASSERT_TRUE(WriteFileBytes(root + L"\\" + folder + L"\\inside.txt", BytesOf("inside")));
    ASSERT_TRUE(WriteFileBytes(root + L"\\" + korean, BytesOf("korean")));
    std::wstring longName(110, L'n');
    ASSERT_TRUE(WriteFileBytes(root + L"\\" + longName, BytesOf("too long a name")));
    Click(program, IDC_ADD_DIR);
    ASSERT_TRUE(ChooseFolder(program, root, nullptr));
    std::wstring report = TakeError(program);
    ASSERT_EQ(WaitIdle(program), L"") << "one box";
    std::wstring notConverted =
        L"2 files or folders were left out: their names have characters that archive names "
        L"cannot hold.\n\n";
    size_t second = report.find(notConverted);
    EXPECT_EQ(report.rfind(L"1 files or folders were left out: their paths or archive names are "
                           L"too long.\n\n" +
                               root + L"\\" + longName + L"\n",
                           0),
              0u)
        << Narrow(report);
    ASSERT_NE(second, std::wstring::npos) << Narrow(report);
    std::wstring named = report.substr(second + notConverted.size());
    EXPECT_NE(named.find(root + L"\\" + accented + L"\n"), std::wstring::npos) << Narrow(named);
    EXPECT_NE(named.find(root + L"\\" + folder + L"\n"), std::wstring::npos) << Narrow(named);
    EXPECT_EQ(SortedNames(program),
              (std::vector<std::wstring>{L"data\\.hidden", L"data\\b.txt", L"data\\texture\\a.bmp",
                                         L"data\\" + korean}));

    std::wstring target = dir.Join(L"converted.grf");
    StartRepack(program, 1, target);
    ASSERT_EQ(WaitIdle(program), L"") << "every file taken is found again";
    EXPECT_EQ(ArchiveContents(target).size(), 4u);
}

TEST_F(Commands, AddDirLeavesOutNamesTooLongAndSaysSo) {
    std::wstring root = MakeFolder(dir);
    std::wstring longName(110, L'n');
    longName += L".txt";
    ASSERT_TRUE(WriteFileBytes(root + L"\\" + longName, BytesOf("too long a name")));
    Click(program, IDC_ADD_DIR);
    ASSERT_TRUE(ChooseFolder(program, root, nullptr));
    std::wstring report = TakeError(program);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(report.rfind(L"1 files or folders were left out", 0), 0u) << Narrow(report);
    EXPECT_NE(report.find(longName), std::wstring::npos) << Narrow(report);
    EXPECT_EQ(RowCount(program), 3) << "the others are added";
}

TEST_F(Commands, EveryFailureBoxNamesTheFileAndSaysWhatWentWrongInWords) {
    const std::wstring file = L"C:\\games\\new.grf";
    struct Case {
        const char* what;
        std::function<void(HWND)> show;
        std::wstring caption;
        std::wstring text;
    };
    const Case cases[] = {
        {"repack onto an existing file",
         [&](HWND w) { ShowRepackFailure(w, file.c_str(), GRF_ERROR_NOT_FOUND, true); },
         L"Repack Failed",
         file + L" already exists. Archives are never overwritten: choose another name."},
        {"repack into a read-only folder",
         [&](HWND w) { ShowRepackFailure(w, file.c_str(), GRF_ERROR_NOT_FOUND, false); },
         L"Repack Failed",
         file + L" could not be created: the folder may be read-only or gone, or a file added "
                L"from a folder can no longer be opened. Choose another folder, or add the files "
                L"again."},
        {"a full disk", [&](HWND w) { ShowRepackFailure(w, file.c_str(), GRF_ERROR_WRITE, false); },
         L"Repack Failed",
         L"Writing " + file +
             L" failed: the disk may be full, or the archive would pass the 4 GB its version can "
             L"hold. Free some space, choose another drive, or delete some entries. Nothing was "
             L"left under that name."},
        {"a local file unreadable",
         [&](HWND w) { ShowRepackFailure(w, file.c_str(), GRF_ERROR_READ, false); },
         L"Repack Failed",
         file + L" was not written: a file added from a folder could not be read, or is 3.75 GB "
                L"or larger. Nothing was left under that name."},
        {"stored bytes unreadable",
         [&](HWND w) { ShowRepackFailure(w, file.c_str(), GRF_ERROR_NOT_ARCHIVE, false); },
         L"Repack Failed",
         file + L" was not written: the stored bytes of an entry could not be read from its "
                L"archive file. Nothing was left under that name."},
        {"repack without memory",
         [&](HWND w) { ShowRepackFailure(w, file.c_str(), GRF_ERROR_MEMORY, false); },
         L"Repack Failed", file + L" was not written: there was not enough memory."},
        {"repack, another code", [&](HWND w) { ShowRepackFailure(w, file.c_str(), 99, false); },
         L"Repack Failed", file + L" was not written (error code 99)."},
        {"open, not there",
         [&](HWND w) {
             ShowOpenFailure(w, IDS_OPEN_FAILED_CAPTION, file.c_str(), GRF_ERROR_NOT_FOUND);
         },
         L"Cannot Open Archive",
         file + L" could not be opened: it is not there, or another program holds it."},
        {"open, a version not read",
         [&](HWND w) {
             ShowOpenFailure(w, IDS_OPEN_FAILED_CAPTION, file.c_str(), GRF_ERROR_VERSION);
         },
         L"Cannot Open Archive", file + L" is an archive of a version this program does not read."},
        {"open, no archive",
         [&](HWND w) {
             ShowOpenFailure(w, IDS_OPEN_FAILED_CAPTION, file.c_str(), GRF_ERROR_NOT_ARCHIVE);
         },
         L"Cannot Open Archive", file + L" is not a valid GRF file"},
        {"open, without memory",
         [&](HWND w) {
             ShowOpenFailure(w, IDS_OPEN_FAILED_CAPTION, file.c_str(), GRF_ERROR_MEMORY);
         },
         L"Cannot Open Archive",
         file + L" could not be opened: there was not enough memory for its entries."},
        {"open, a system code",
         [&](HWND w) { ShowOpenFailure(w, IDS_MERGE_FAILED_CAPTION, file.c_str(), 23); },
         L"Cannot Add Archive", file + L" could not be read (system error 23)."},
        {"merge of local files",
         [&](HWND w) { ShowMergeFailure(w, file.c_str(), GRF_ERROR_LOCAL_RECORDS); },
         L"Cannot Add Archive",
         file + L" cannot be added: it holds files added from folders, which only its own Repack "
                L"packs. Repack it first, then add the archive it gives."},
        {"merge without memory",
         [&](HWND w) { ShowMergeFailure(w, file.c_str(), GRF_ERROR_MEMORY); },
         L"Cannot Add Archive", file + L" cannot be added: there was not enough memory."},
    };
    for (const Case& c : cases) {
        HWND dialog = program.dialog;
        auto show = c.show;
        PostToUiThread(program, [show, dialog] { show(dialog); });
        Box box;
        ASSERT_TRUE(WaitForBox(program, &box, c.caption)) << c.what;
        EXPECT_EQ(box.text, c.text) << c.what;
        ASSERT_TRUE(PressBoxButton(box, IDOK));
        ASSERT_EQ(WaitIdle(program), L"") << c.what;
    }
}

}  // namespace
