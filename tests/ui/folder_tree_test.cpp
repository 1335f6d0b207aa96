// The folder tree: counts per folder, choosing a folder with the Filter and
// the search, the tree following a new filling, hiding it, and the switch
// remembered across starts.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_test.h"
#include "resource.h"
#include "settings.h"
#include "ui_driver.h"

namespace {

using FolderTree = ProgramTest;

HWND Tree(const Program& program) {
    return Control(program, IDC_FOLDER_TREE);
}

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[256] = L"";
    TVITEMW query = {};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = 256;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
    return text;
}

HTREEITEM Next(HWND tree, HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

// Expands item as a click on its button does and returns its children's texts.
std::vector<std::wstring> Children(const Program& program, HTREEITEM item) {
    HWND tree = Tree(program);
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    std::vector<std::wstring> texts;
    for (HTREEITEM child = Next(tree, item, TVGN_CHILD); child;
         child = Next(tree, child, TVGN_NEXT))
        texts.push_back(ItemText(tree, child));
    return texts;
}

// The child of item whose text starts with start (null when none).
HTREEITEM Child(const Program& program, HTREEITEM item, const std::wstring& start) {
    HWND tree = Tree(program);
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    for (HTREEITEM child = Next(tree, item, TVGN_CHILD); child;
         child = Next(tree, child, TVGN_NEXT)) {
        if (ItemText(tree, child).rfind(start, 0) == 0) return child;
    }
    return nullptr;
}

HTREEITEM Root(const Program& program) {
    return Next(Tree(program), nullptr, TVGN_ROOT);
}

void Choose(const Program& program, HTREEITEM item) {
    SendMessageW(Tree(program), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    Settle(program);
}

std::wstring ChosenText(const Program& program) {
    HWND tree = Tree(program);
    return ItemText(tree, Next(tree, nullptr, TVGN_CARET));
}

std::vector<std::wstring> Names(const Program& program) {
    std::vector<std::wstring> names;
    for (int row = 0; row < RowCount(program); ++row) names.push_back(RowTexts(program, row)[5]);
    return names;
}

void SwitchTree(const Program& program) {
    PostMessageW(program.dialog, WM_SYSCOMMAND, ID_FOLDER_TREE, 0);
    Settle(program);
}

RECT ClientPlace(const Program& program, int id) {
    RECT place;
    GetWindowRect(Control(program, id), &place);
    MapWindowPoints(nullptr, program.dialog, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

const std::string KOREAN = "\xB8\xF3\xBD\xBA\xC5\xCD";   // three syllables
const std::wstring KOREAN_WIDE = L"\uBAAC\uC2A4\uD130";  // as the tree shows them

std::vector<Content> Folders() {
    return {{"data\\a\\x.txt", BytesOf("x")},
            {"data\\A\\y.txt", BytesOf("y")},  // the same folder, spelled otherwise
            {"data\\a\\deep\\z.bmp", BytesOf("z")},
            {"data\\b\\w.txt", BytesOf("w")},
            {"data\\" + KOREAN + "\\k.txt", BytesOf("k")},
            {"root.txt", BytesOf("r")}};
}

TEST_F(FolderTree, CountsPerFolderAndChoosingOneShowsItsEntriesWithFilterAndSearch) {
    LoadDirectly(WriteArchive(L"folders.grf", Folders()));
    RECT listAlone = ClientPlace(program, IDC_ENTRY_LIST);
    EXPECT_FALSE(IsWindowVisible(Tree(program))) << "hidden until asked for";

    SwitchTree(program);
    ASSERT_TRUE(IsWindowVisible(Tree(program)));
    RECT tree = ClientPlace(program, IDC_FOLDER_TREE);
    RECT list = ClientPlace(program, IDC_ENTRY_LIST);
    EXPECT_EQ(tree.left, listAlone.left);
    EXPECT_EQ(tree.top, listAlone.top);
    EXPECT_EQ(tree.bottom, listAlone.bottom);
    EXPECT_GT(list.left, tree.right);
    EXPECT_EQ(list.right, listAlone.right);
    EXPECT_EQ(ItemText(Tree(program), Root(program)), L"All (6)");
    EXPECT_EQ(ChosenText(program), L"All (6)");
    EXPECT_EQ(Children(program, Root(program)), (std::vector<std::wstring>{L"data (5)"}));
    HTREEITEM data = Child(program, Root(program), L"data");
    // Folders in name order without regard to case, Korean after ASCII.
    EXPECT_EQ(Children(program, data),
              (std::vector<std::wstring>{L"a (3)", L"b (1)", KOREAN_WIDE + L" (1)"}));
    HTREEITEM a = Child(program, data, L"a");
    EXPECT_EQ(Children(program, a), (std::vector<std::wstring>{L"deep (1)"}));

    Choose(program, a);
    EXPECT_EQ(Names(program), (std::vector<std::wstring>{L"data\\a\\x.txt", L"data\\A\\y.txt",
                                                         L"data\\a\\deep\\z.bmp"}));
    Choose(program, Child(program, data, KOREAN_WIDE));
    EXPECT_EQ(Names(program), (std::vector<std::wstring>{L"data\\" + KOREAN_WIDE + L"\\k.txt"}));

    // The search narrows within the chosen folder.
    Choose(program, a);
    HWND search = Control(program, IDC_SEARCH);
    SendMessageW(search, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Y"));
    EXPECT_EQ(Names(program), (std::vector<std::wstring>{L"data\\A\\y.txt"}));
    SendMessageW(search, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));

    // A new filling counts again; the chosen folder stays while it holds
    // entries, and gives way to All when it holds none.
    Filter(L"*.txt");
    EXPECT_EQ(ItemText(Tree(program), Root(program)), L"All (5)");
    EXPECT_EQ(ChosenText(program), L"a (2)");
    EXPECT_EQ(RowCount(program), 2);
    Filter(L"*.bmp");
    EXPECT_EQ(ChosenText(program), L"a (1)");
    EXPECT_EQ(Names(program), (std::vector<std::wstring>{L"data\\a\\deep\\z.bmp"}));
    Filter(L"root*");
    EXPECT_EQ(ChosenText(program), L"All (1)");
    EXPECT_EQ(Names(program), (std::vector<std::wstring>{L"root.txt"}));

    Filter(L"*.*");
    data = Child(program, Root(program), L"data");
    Choose(program, Child(program, data, L"b"));
    EXPECT_EQ(RowCount(program), 1);
    const int dx = 200, dy = 150;
    RECT frame;
    GetWindowRect(program.dialog, &frame);
    SetWindowPos(program.dialog, nullptr, 0, 0, frame.right - frame.left + dx,
                 frame.bottom - frame.top + dy, SWP_NOMOVE | SWP_NOZORDER);
    Settle(program);
    RECT grown = ClientPlace(program, IDC_FOLDER_TREE);
    EXPECT_EQ(grown.right, tree.right) << "the tree keeps its width";
    EXPECT_EQ(grown.bottom, tree.bottom + dy);
    EXPECT_EQ(ClientPlace(program, IDC_ENTRY_LIST).right, list.right + dx);
    Choose(program, Child(program, data, L"a"));
    EXPECT_EQ(RowCount(program), 3);
    EXPECT_NE(SaveScreenshot(program.dialog, L"main-tree"), L"");
    SetWindowPos(program.dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    Settle(program);

    // Hidden, the window is as it was, with every folder listed.
    SwitchTree(program);
    EXPECT_FALSE(IsWindowVisible(Tree(program)));
    RECT back = ClientPlace(program, IDC_ENTRY_LIST);
    EXPECT_TRUE(EqualRect(&back, &listAlone));
    EXPECT_EQ(RowCount(program), 6);
}

TEST_F(FolderTree, TheSwitchIsRememberedAcrossStarts) {
    HMENU menu = GetSystemMenu(program.dialog, FALSE);
    EXPECT_FALSE(GetMenuState(menu, ID_FOLDER_TREE, MF_BYCOMMAND) & MF_CHECKED);
    // Ctrl+T shows it as the menu does.
    FocusControl(program, IDC_ENTRY_LIST);
    RunOnUiThread(program, [&] {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
    });
    PostMessageW(Control(program, IDC_ENTRY_LIST), WM_KEYDOWN, 'T', 1);
    Settle(program);
    RunOnUiThread(program, [&] {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    });
    ASSERT_TRUE(IsWindowVisible(Tree(program)));
    EXPECT_TRUE(GetMenuState(menu, ID_FOLDER_TREE, MF_BYCOMMAND) & MF_CHECKED);
    Click(program, IDC_EXIT);
    ASSERT_EQ(WaitForSingleObject(program.thread, 10000), WAIT_OBJECT_0);
    StopProgram(&program);

    ASSERT_TRUE(StartProgram(&program));
    Settle(program);
    EXPECT_TRUE(IsWindowVisible(Tree(program)));
    LoadDirectly(WriteArchive(L"folders.grf", Folders()));
    EXPECT_EQ(ItemText(Tree(program), Root(program)), L"All (6)");
    SwitchTree(program);
    EXPECT_EQ(ReadNumberSetting(FOLDER_TREE_SETTING, -1), 0);
}

}  // namespace
