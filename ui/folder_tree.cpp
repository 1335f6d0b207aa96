// folder_tree.cpp -- see folder_tree.h.
//
// The folders and their counts are the entry view's. Tree items are made
// only when their parent is first expanded, so half a million entries in
// thousands of folders cost a few hundred items on screen.
#include "folder_tree.h"

#include <algorithm>
#include <string>
#include <vector>

#include "main_layout.h"
#include "resource.h"
#include "services.h"
#include "settings.h"

namespace {

// The tree item of one of the view's folders.
struct FolderItem {
    HTREEITEM item = nullptr;  // null until its parent is expanded
    bool childrenShown = false;
};

struct FolderTree {
    HWND control = nullptr;
    bool shown = false;
    bool building = false;          // choices made while building are not the user's
    std::vector<FolderItem> items;  // by position in g_entryView.folders
};

FolderTree g_tree;

// Dialog units of the tree at the template's size: beside the list, as high
// as it; the list then starts a little right of it.
const RECT TREE_PLACE = {6, 6, 126, 132};
const int LIST_GAP = 4;

// Whether index names a folder the items were made for.
bool KnownFolder(uint32_t index) {
    return index < g_tree.items.size() && index < g_entryView.folders.size();
}

// "name (count)"; the root is "All (count)".
std::wstring ItemText(const ViewFolder& folder) {
    wchar_t text[TEXT_BUFFER_SIZE];
    if (folder.path.empty()) {
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_FOLDER_ALL),
                   static_cast<int>(folder.count));
        return text;
    }
    size_t start = folder.path.size() - folder.sortKey.size();
    std::string part = folder.path.substr(start, folder.sortKey.size() - 1);
    wchar_t* wide = GrfCp949ToWide(part.c_str());
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_FOLDER_ITEM), wide ? wide : L"?",
               static_cast<int>(folder.count));
    GrfFreeBuffer(wide);
    return text;
}

HTREEITEM InsertItem(uint32_t index, HTREEITEM parent) {
    const ViewFolder& folder = g_entryView.folders[index];
    std::wstring text = ItemText(folder);
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.lParam = static_cast<LPARAM>(index);
    insert.item.cChildren = folder.children.empty() ? 0 : 1;
    g_tree.items[index].item = reinterpret_cast<HTREEITEM>(
        SendMessageW(g_tree.control, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    return g_tree.items[index].item;
}

// Makes the items of a folder's subfolders, in name order, once.
void ShowChildren(uint32_t index) {
    FolderItem& item = g_tree.items[index];
    if (item.childrenShown || !item.item) return;
    item.childrenShown = true;
    const std::vector<ViewFolder>& folders = g_entryView.folders;
    std::vector<uint32_t> children = folders[index].children;
    std::sort(children.begin(), children.end(), [&folders](uint32_t a, uint32_t b) {
        return folders[a].sortKey < folders[b].sortKey;
    });
    for (uint32_t child : children) InsertItem(child, g_tree.items[index].item);
}

// The item of a folder, its parents' items made and expanded on the way.
HTREEITEM RevealFolder(uint32_t index) {
    if (g_tree.items[index].item) return g_tree.items[index].item;
    uint32_t parent = g_entryView.folders[index].parent;
    HTREEITEM above = RevealFolder(parent);
    if (!above) return nullptr;
    ShowChildren(parent);
    SendMessageW(g_tree.control, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(above));
    return g_tree.items[index].item;
}

void ClearItems() {
    g_tree.building = true;
    SendMessageW(g_tree.control, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    g_tree.building = false;
    g_tree.items.clear();
}

// The list beside the tree, or at its own place.
void PlaceList(HWND window) {
    int left = 0;
    if (g_tree.shown) {
        RECT place = {TREE_PLACE.right + LIST_GAP, 0, 0, 0};
        MapDialogRect(window, &place);
        left = place.left;
    }
    SetListLeft(window, left);
}

}  // namespace

void CreateFolderTree(HWND window) {
    RECT place = TREE_PLACE;
    MapDialogRect(window, &place);
    g_tree = FolderTree();
    g_tree.control = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
        WS_CHILD | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
        place.left, place.top, place.right - place.left, place.bottom - place.top, window,
        reinterpret_cast<HMENU>(IDC_FOLDER_TREE), g_instance, nullptr);
    SendMessageW(g_tree.control, WM_SETFONT, SendMessageW(window, WM_GETFONT, 0, 0), FALSE);
    // First in the tab order: it stands left of the list.
    SetWindowPos(g_tree.control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool ShowFolderTree(HWND window, bool show) {
    if (!g_tree.control) return false;
    WriteNumberSetting(FOLDER_TREE_SETTING, show ? 1 : 0);
    if (show == g_tree.shown) return false;
    g_tree.shown = show;
    bool rowsChanged = false;
    if (show) {
        CountViewFolders(&g_entryView, true);
        RebuildFolderTree();
    } else {
        ClearItems();
        rowsChanged = CountViewFolders(&g_entryView, false);
    }
    ShowWindow(g_tree.control, show ? SW_SHOWNA : SW_HIDE);
    PlaceList(window);
    return rowsChanged;
}

bool FolderTreeShown() {
    return g_tree.shown;
}

void RebuildFolderTree() {
    if (!g_tree.shown || g_entryView.folders.empty()) return;
    g_tree.building = true;
    SendMessageW(g_tree.control, WM_SETREDRAW, FALSE, 0);
    SendMessageW(g_tree.control, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    g_tree.items.assign(g_entryView.folders.size(), FolderItem());
    HTREEITEM root = InsertItem(0, TVI_ROOT);
    ShowChildren(0);
    SendMessageW(g_tree.control, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    HTREEITEM item = RevealFolder(ChosenFolderIndex(g_entryView));
    SendMessageW(g_tree.control, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    SendMessageW(g_tree.control, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    SendMessageW(g_tree.control, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(g_tree.control, nullptr, TRUE);
    g_tree.building = false;
}

BOOL OnFolderTreeNotify(HWND window, NMHDR* header, bool* chosen) {
    *chosen = false;
    if (header->code == TVN_ITEMEXPANDINGW) {
        auto* change = reinterpret_cast<NMTREEVIEWW*>(header);
        auto index = static_cast<uint32_t>(change->itemNew.lParam);
        if ((change->action & TVE_EXPAND) && KnownFolder(index)) ShowChildren(index);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, FALSE);
        return TRUE;
    }
    if (header->code == TVN_SELCHANGEDW && !g_tree.building) {
        auto* change = reinterpret_cast<NMTREEVIEWW*>(header);
        auto index = static_cast<uint32_t>(change->itemNew.lParam);
        if (change->itemNew.hItem && KnownFolder(index)) {
            ShowViewFolder(&g_entryView, g_entryView.folders[index].path.c_str());
            *chosen = true;
        }
    }
    return FALSE;
}
