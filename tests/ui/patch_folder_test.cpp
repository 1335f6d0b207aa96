// Apply Patch to Folder: an RGZ's files written into a chosen client folder,
// and exactly what was applied and what was not said when it fails; a
// hostile name applies nothing, and a patch other than an RGZ is refused.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_test.h"
#include "resource.h"
#include "rgz_builder.h"
#include "ui_driver.h"

namespace {

using PatchFolder = ProgramTest;

const wchar_t SELECT_PATCH[] = L"Select the RGZ Patch to Apply";
const wchar_t FAILED[] = L"Patch Not Applied";

std::string FileText(const std::wstring& path) {
    Bytes bytes;
    if (!ReadFileBytes(path, &bytes)) return "<none>";
    return std::string(bytes.begin(), bytes.end());
}

// The menu's command, the patch chosen, then the folder.
void ApplyPatch(const Program& program, const std::wstring& patch, const std::wstring& folder) {
    OpenDropDown(program, L'A');
    ASSERT_TRUE(ChooseFile(program, SELECT_PATCH, patch));
    ASSERT_TRUE(ChooseFolder(program, folder, nullptr));
}

TEST_F(PatchFolder, AppliesTheFilesAndSaysHowMany) {
    std::wstring patch =
        WriteBytes(L"update.rgz", BuildRgz({{'f', "data\\a.txt", BytesOf("alpha")},
                                            {'f', "data\\sub\\b.txt", BytesOf("beta")}}));
    std::wstring client = dir.Join(L"client");
    ASSERT_TRUE(MakeDirectory(client));
    ApplyPatch(program, patch, client);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(FileText(client + L"\\data\\a.txt"), "alpha");
    EXPECT_EQ(FileText(client + L"\\data\\sub\\b.txt"), "beta");
    EXPECT_EQ(StatusText(program), L"2 files of update.rgz applied to " + client);
}

TEST_F(PatchFolder, AFailureNamesWhatWasAppliedAndWhatWasNot) {
    // Files go in batches of 64: the first batch is in place when the
    // second cannot be written, as a folder stands where its last file goes.
    std::vector<RgzRecord> files;
    for (int i = 0; i < 66; ++i) {
        char name[32];
        snprintf(name, sizeof name, "data\\f%03d.txt", i);
        files.push_back({'f', name, BytesOf(name)});
    }
    std::wstring patch = WriteBytes(L"part.rgz", BuildRgz(files));
    std::wstring client = dir.Join(L"client");
    ASSERT_TRUE(MakeDirectory(client));
    ASSERT_TRUE(MakeDirectory(client + L"\\data"));
    ASSERT_TRUE(MakeDirectory(client + L"\\data\\f065.txt"));
    ApplyPatch(program, patch, client);
    Box box;
    ASSERT_TRUE(WaitForBox(program, &box, FAILED));
    EXPECT_NE(box.text.find(L"64 of the 66 files of part.rgz were applied to " + client),
              std::wstring::npos)
        << Narrow(box.text);
    EXPECT_NE(box.text.find(L"not applied: data\\f064.txt\nnot applied: data\\f065.txt"),
              std::wstring::npos)
        << Narrow(box.text);
    // The whole list, applied and not, is offered.
    ASSERT_TRUE(PressBoxButton(box, IDYES));
    std::wstring list = dir.Join(L"list.txt");
    ASSERT_TRUE(ChooseFile(program, L"Save the List of Files Applied and Not Applied", list));
    ASSERT_EQ(WaitIdle(program), L"");
    std::string saved = FileText(list);
    EXPECT_EQ(saved.substr(0, 27),
              "\xEF\xBB\xBF"
              "applied: data\\f000.txt\r\n");
    EXPECT_NE(saved.find("applied: data\\f063.txt\r\nnot applied: data\\f064.txt\r\n"
                         "not applied: data\\f065.txt\r\n"),
              std::string::npos);
    EXPECT_EQ(FileText(client + L"\\data\\f063.txt"), "data\\f063.txt");
    EXPECT_FALSE(FileExists(client + L"\\data\\f064.txt"));
    EXPECT_EQ(StatusText(program), L"64 files of part.rgz applied to " + client);
}

TEST_F(PatchFolder, AHostileNameOrAnotherKindOfPatchAppliesNothing) {
    std::wstring client = dir.Join(L"client");
    ASSERT_TRUE(MakeDirectory(client));
    std::wstring hostile =
        WriteBytes(L"evil.rgz", BuildRgz({{'f', "data\\fine.txt", BytesOf("fine")},
                                          {'f', "..\\escaped.txt", BytesOf("out")}}));
    ApplyPatch(program, hostile, client);
    std::wstring error = TakeError(program);
    EXPECT_NE(error.find(L"Nothing of evil.rgz was applied to " + client), std::wstring::npos)
        << Narrow(error);
    EXPECT_FALSE(FileExists(client + L"\\data\\fine.txt"));
    EXPECT_FALSE(FileExists(dir.Join(L"escaped.txt")));

    std::wstring archive = WriteArchive(L"not a patch.grf", Numbered(1));
    OpenDropDown(program, L'A');
    ASSERT_TRUE(ChooseFile(program, SELECT_PATCH, archive));
    error = TakeError(program);
    EXPECT_NE(error.find(archive + L" is not an RGZ patch."), std::wstring::npos) << Narrow(error);
}

}  // namespace
