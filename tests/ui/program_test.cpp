// program_test.cpp -- see program_test.h.
#include "program_test.h"

#include <commctrl.h>

#include "resource.h"
#include "services.h"
#include "settings.h"

void ForgetSettings() {
    g_settingsKey = L"Software\\Caskwright\\WindowSuite";
    RegDeleteTreeW(HKEY_CURRENT_USER, g_settingsKey);
}

std::wstring ProgramTest::WriteArchive(const std::wstring& name,
                                       const std::vector<Content>& contents, uint32_t version) {
    return WriteBytes(name, BuildArchive(version, contents));
}

std::wstring ProgramTest::WriteBytes(const std::wstring& name, const Bytes& bytes) {
    std::wstring path = dir.Join(name);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
}

void ProgramTest::LoadDirectly(const std::wstring& path) {
    bool opened = false;
    RunOnUiThread(program, [&] {
        GrfClose(&g_archive);
        g_archive = GrfOpen(path.c_str(), nullptr);
        opened = g_archive != GRF_NO_ARCHIVE;
    });
    ASSERT_TRUE(opened);
    Click(program, IDC_FILTER);
    ASSERT_EQ(WaitIdle(program), L"");
}

std::wstring ProgramTest::UseFileDialog(int button, const std::wstring& title,
                                        const std::wstring& path) {
    Click(program, button);
    // Open with unsaved changes asks first: a test that opens means to drop
    // them.
    Box first;
    if (WaitForBox(program, &first) && first.caption == L"Unsaved Changes")
        PressBoxButton(first, IDNO);
    if (!ChooseFile(program, title, path)) return L"no file dialog titled " + title;
    return WaitIdle(program);
}

std::wstring ProgramTest::Open(const std::wstring& path) {
    return UseFileDialog(IDC_OPEN, L"Select Main GRF File to Load", path);
}

void ProgramTest::Filter(const std::wstring& pattern) {
    FocusControl(program, IDC_FILTER_TEXT);
    SetWindowTextW(Control(program, IDC_FILTER_TEXT), pattern.c_str());
    Click(program, IDC_FILTER);
    ASSERT_EQ(WaitIdle(program), L"");
}

std::vector<std::wstring> OpenDropDown(const Program& program, wchar_t key) {
    auto open = [&] {
        PostToUiThread(program, [dialog = program.dialog, open = Control(program, IDC_OPEN)] {
            NMBCDROPDOWN drop = {};
            drop.hdr.hwndFrom = open;
            drop.hdr.idFrom = IDC_OPEN;
            drop.hdr.code = BCN_DROPDOWN;
            SendMessageW(dialog, WM_NOTIFY, IDC_OPEN, reinterpret_cast<LPARAM>(&drop));
        });
    };
    return PickFromMenu(program, open, key);
}

std::vector<Content> Numbered(int count) {
    std::vector<Content> contents;
    for (int i = 0; i < count; ++i) {
        contents.push_back({"data\\file" + std::to_string(i) + ".txt", BytesOf("x")});
    }
    return contents;
}

Stored UnreadableEntry(const std::string& name) {
    Stored broken;
    broken.record.name = name;
    broken.bytes = Bytes(16, 0xAB);
    broken.bytes[0] = 0x78;  // a zlib header: damaged data, not another method
    broken.bytes[1] = 0x9C;
    broken.record.compressedSize = 16;
    broken.record.alignedSize = 16;
    broken.record.realSize = 100;
    return broken;
}
