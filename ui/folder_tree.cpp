// folder_tree.cpp -- see folder_tree.h.
//
// The folders are counted in one pass over the filled rows: each name's
// folder is looked up once (consecutive names usually share it, so most
// rows cost one comparison), missing folders are made with their parents,
// and the totals are summed from the deepest folders up. Tree items are
// made only when their parent is first expanded, so half a million entries
// in thousands of folders cost a few hundred items on screen.
#include "folder_tree.h"

#include <string.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "entry_list.h"
#include "main_layout.h"
#include "resource.h"
#include "services.h"
#include "settings.h"

namespace {

struct FolderNode {
    std::string path;     // as the first name holding it spells it, ending in '\\'; root ""
    uint32_t parent;      // root: itself
    uint32_t count;       // entries in this folder and below
    std::string sortKey;  // the last part, folded
    std::vector<uint32_t> children;
    HTREEITEM item;  // null until its parent is expanded
    bool childrenShown;
};

struct FolderTree {
    HWND control = nullptr;
    bool shown = false;
    bool building = false;  // choices made while building are not the user's
    std::vector<FolderNode> nodes;
    std::unordered_map<std::string, uint32_t> byKey;  // folded path -> node
    std::string chosen;                               // the chosen node's path
};

FolderTree g_tree;

const std::string NO_FOLDER;

// Dialog units of the tree at the template's size: beside the list, as high
// as it; the list then starts a little right of it.
const RECT TREE_PLACE = {6, 6, 126, 132};
const int LIST_GAP = 4;

bool IsLeadByte(unsigned char c) {
    return c >= 0x81 && c != 0xFF;
}

// ASCII letters upper-cased; double-byte characters as they are (their
// second bytes may look like letters).
std::string Folded(const char* text, size_t length) {
    std::string key(text, length);
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(key[i]);
        if (IsLeadByte(c) && i + 1 < length) {
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            key[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
    return key;
}

// The node of the folder name[0, length) (length ends after a backslash),
// made with its parents when missing.
uint32_t NodeOf(const char* name, size_t length) {
    std::string key = Folded(name, length);
    auto found = g_tree.byKey.find(key);
    if (found != g_tree.byKey.end()) return found->second;
    // The parent ends at the backslash before this folder's last one.
    size_t parentLength = 0;
    for (size_t i = 0; i + 1 < length; ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(c) && i + 2 < length) {
            ++i;
        } else if (c == '\\') {
            parentLength = i + 1;
        }
    }
    uint32_t parent = parentLength ? NodeOf(name, parentLength) : 0;
    FolderNode node;
    node.path.assign(name, length);
    node.parent = parent;
    node.count = 0;
    node.sortKey = key.substr(parentLength);
    node.item = nullptr;
    node.childrenShown = false;
    auto index = static_cast<uint32_t>(g_tree.nodes.size());
    g_tree.nodes.push_back(std::move(node));
    g_tree.nodes[parent].children.push_back(index);
    g_tree.byKey.emplace(std::move(key), index);
    return index;
}

// Where name's folder ends (after its last backslash); 0 at the root.
size_t FolderLength(const char* name) {
    size_t length = 0;
    for (size_t i = 0; i < GRF_NAME_SIZE && name[i]; ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(c) && name[i + 1]) {
            ++i;
        } else if (c == '\\') {
            length = i + 1;
        }
    }
    return length;
}

void CountFolders() {
    g_tree.nodes.clear();
    g_tree.byKey.clear();
    FolderNode root = {"", 0, 0, "", {}, nullptr, false};
    g_tree.nodes.push_back(root);
    uint32_t last = 0;
    size_t lastLength = 0;
    const char* lastName = "";
    uint32_t rows = FilledRowCount();
    for (uint32_t filled = 0; filled < rows; ++filled) {
        const GrfEntry* entry = FilledRowEntry(filled);
        if (!entry) continue;
        size_t length = FolderLength(entry->name);
        // Rows of one folder usually follow each other: one comparison.
        if (length != lastLength || memcmp(entry->name, lastName, length) != 0) {
            last = length ? NodeOf(entry->name, length) : 0;
            lastLength = length;
            lastName = entry->name;
        }
        g_tree.nodes[last].count += 1;
    }
    // Children come after their parents: the deepest totals are complete
    // before they are added upwards.
    for (size_t i = g_tree.nodes.size() - 1; i > 0; --i)
        g_tree.nodes[g_tree.nodes[i].parent].count += g_tree.nodes[i].count;
}

// "name (count)"; the root is "All (count)".
std::wstring ItemText(const FolderNode& node) {
    wchar_t text[TEXT_BUFFER_SIZE];
    if (node.path.empty()) {
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_FOLDER_ALL),
                   static_cast<int>(node.count));
        return text;
    }
    size_t start = node.path.size() - node.sortKey.size();
    std::string part = node.path.substr(start, node.sortKey.size() - 1);
    wchar_t* wide = Cp949ToWide(part.c_str());
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_FOLDER_ITEM), wide ? wide : L"?",
               static_cast<int>(node.count));
    GrfFreeBuffer(wide);
    return text;
}

HTREEITEM InsertItem(uint32_t index, HTREEITEM parent) {
    FolderNode& node = g_tree.nodes[index];
    std::wstring text = ItemText(node);
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.lParam = static_cast<LPARAM>(index);
    insert.item.cChildren = node.children.empty() ? 0 : 1;
    node.item = reinterpret_cast<HTREEITEM>(
        SendMessageW(g_tree.control, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    return node.item;
}

// Makes the items of a node's subfolders, in name order, once.
void ShowChildren(uint32_t index) {
    FolderNode& node = g_tree.nodes[index];
    if (node.childrenShown || !node.item) return;
    node.childrenShown = true;
    std::vector<uint32_t> children = node.children;
    std::sort(children.begin(), children.end(), [](uint32_t a, uint32_t b) {
        return g_tree.nodes[a].sortKey < g_tree.nodes[b].sortKey;
    });
    for (uint32_t child : children) InsertItem(child, g_tree.nodes[index].item);
}

// The item of a node, its parents' items made and expanded on the way.
HTREEITEM RevealNode(uint32_t index) {
    if (g_tree.nodes[index].item) return g_tree.nodes[index].item;
    uint32_t parent = g_tree.nodes[index].parent;
    HTREEITEM above = RevealNode(parent);
    if (!above) return nullptr;
    ShowChildren(parent);
    SendMessageW(g_tree.control, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(above));
    return g_tree.nodes[index].item;
}

void ChooseNode(HWND window, uint32_t index) {
    g_tree.chosen = g_tree.nodes[index].path;
    ShowEntryFolder(window, g_tree.chosen.c_str());
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

void ShowFolderTree(HWND window, bool show) {
    if (!g_tree.control) return;
    WriteNumberSetting(FOLDER_TREE_SETTING, show ? 1 : 0);
    if (show == g_tree.shown) return;
    g_tree.shown = show;
    if (show) {
        RebuildFolderTree(window);
    } else {
        g_tree.building = true;
        SendMessageW(g_tree.control, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        g_tree.building = false;
        g_tree.nodes.clear();
        g_tree.byKey.clear();
        if (!g_tree.chosen.empty()) {
            g_tree.chosen.clear();
            ShowEntryFolder(window, "");
        }
    }
    ShowWindow(g_tree.control, show ? SW_SHOWNA : SW_HIDE);
    PlaceList(window);
}

bool FolderTreeShown() {
    return g_tree.shown;
}

void RebuildFolderTree(HWND window) {
    if (!g_tree.shown) return;
    g_tree.building = true;
    SendMessageW(g_tree.control, WM_SETREDRAW, FALSE, 0);
    SendMessageW(g_tree.control, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    CountFolders();
    HTREEITEM root = InsertItem(0, TVI_ROOT);
    ShowChildren(0);
    SendMessageW(g_tree.control, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    // The chosen folder stays chosen while it still holds entries.
    uint32_t chosen = 0;
    if (!g_tree.chosen.empty()) {
        auto found = g_tree.byKey.find(Folded(g_tree.chosen.data(), g_tree.chosen.size()));
        if (found != g_tree.byKey.end()) chosen = found->second;
    }
    HTREEITEM item = RevealNode(chosen);
    SendMessageW(g_tree.control, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    SendMessageW(g_tree.control, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    SendMessageW(g_tree.control, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(g_tree.control, nullptr, TRUE);
    g_tree.building = false;
    if (g_tree.chosen != g_tree.nodes[chosen].path) ChooseNode(window, chosen);
}

const std::string& ChosenFolder() {
    return g_tree.shown ? g_tree.chosen : NO_FOLDER;
}

BOOL OnFolderTreeNotify(HWND window, NMHDR* header) {
    if (header->code == TVN_ITEMEXPANDINGW) {
        auto* change = reinterpret_cast<NMTREEVIEWW*>(header);
        auto index = static_cast<uint32_t>(change->itemNew.lParam);
        if ((change->action & TVE_EXPAND) && index < g_tree.nodes.size()) ShowChildren(index);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, FALSE);
        return TRUE;
    }
    if (header->code == TVN_SELCHANGEDW && !g_tree.building) {
        auto* change = reinterpret_cast<NMTREEVIEWW*>(header);
        auto index = static_cast<uint32_t>(change->itemNew.lParam);
        if (change->itemNew.hItem && index < g_tree.nodes.size()) ChooseNode(window, index);
    }
    return FALSE;
}
