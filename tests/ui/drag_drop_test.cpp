// Drag and drop: files and folders dropped on the window through its drop
// target join the archive as Add Dir adds them (below the folder the tree
// has chosen), and rows dragged out are offered as virtual files whose
// contents are read only when asked for.
#include <windows.h>

#include <gtest/gtest.h>
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "drag_out.h"
#include "drop_target.h"
#include "entry_list.h"
#include "program_test.h"
#include "resource.h"
#include "ui_driver.h"

namespace {

using DragDrop = ProgramTest;

// What Explorer offers when files are dragged: CF_HDROP and nothing else.
struct FileDrop final : IDataObject {
    std::vector<std::wstring> paths;
    ULONG references = 1;

    explicit FileDrop(std::vector<std::wstring> dropped) : paths(std::move(dropped)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || id == IID_IDataObject) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        size_t chars = 1;
        for (const std::wstring& path : paths) chars += path.size() + 1;
        HGLOBAL memory =
            GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* at = reinterpret_cast<wchar_t*>(drop + 1);
        for (const std::wstring& path : paths) {
            std::copy(path.begin(), path.end(), at);
            at += path.size() + 1;
        }
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return !paths.empty() && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL)
                   ? S_OK
                   : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
};

// Drags data over the window and drops it, as OLE calls the window's drop
// target; returns the effects the target answered on entering and dropping.
std::pair<DWORD, DWORD> DropOn(const Program& program, IDataObject* data) {
    IDropTarget* target = MainDropTarget();
    RECT area;
    GetWindowRect(program.dialog, &area);
    POINTL at = {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    DWORD entered = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragEnter(data, MK_LBUTTON, at, &entered);
    DWORD over = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragOver(MK_LBUTTON, at, &over);
    DWORD dropped = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->Drop(data, 0, at, &dropped);
    Settle(program);
    return {entered, dropped};
}

std::vector<std::wstring> Names(const Program& program) {
    std::vector<std::wstring> names;
    for (int row = 0; row < RowCount(program); ++row) names.push_back(RowTexts(program, row)[5]);
    return names;
}

std::vector<std::pair<std::string, std::string>> ArchiveContents(const std::wstring& path) {
    std::vector<std::pair<std::string, std::string>> contents;
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) return contents;
    for (uint32_t i = 0; i < archive->count; ++i) {
        uint32_t size = 0;
        auto* data = reinterpret_cast<char*>(GrfReadRecord(archive, i, &size));
        contents.push_back(
            {archive->entries[i].name, data ? std::string(data, size) : "<unreadable>"});
        GrfFreeBuffer(data);
    }
    GrfClose(&archive);
    std::sort(contents.begin(), contents.end());
    return contents;
}

TEST_F(DragDrop, DroppedFilesAndFoldersAreAddedAsAddDirAddsThem) {
    // Explorer's selection: a file, the data folder, another folder.
    std::wstring source = dir.Join(L"source");
    ASSERT_TRUE(MakeDirectory(source));
    ASSERT_TRUE(MakeDirectory(source + L"\\data"));
    ASSERT_TRUE(MakeDirectory(source + L"\\data\\sub"));
    ASSERT_TRUE(MakeDirectory(source + L"\\extra"));
    ASSERT_TRUE(WriteFileBytes(source + L"\\one.txt", BytesOf("one")));
    ASSERT_TRUE(WriteFileBytes(source + L"\\data\\sub\\two.txt", BytesOf("two")));
    ASSERT_TRUE(WriteFileBytes(source + L"\\extra\\three.txt", BytesOf("three")));

    // Something that holds no files is refused.
    FileDrop nothing({});
    EXPECT_EQ(DropOn(program, &nothing), std::make_pair(DWORD(DROPEFFECT_NONE), DWORD(0)));
    EXPECT_EQ(RowCount(program), 0);

    FileDrop dropped({source + L"\\one.txt", source + L"\\data", source + L"\\extra\\"});
    EXPECT_EQ(DropOn(program, &dropped),
              std::make_pair(DWORD(DROPEFFECT_COPY), DWORD(DROPEFFECT_COPY)));
    EXPECT_EQ(Names(program), (std::vector<std::wstring>{L"data\\one.txt", L"data\\sub\\two.txt",
                                                         L"data\\extra\\three.txt"}));
    EXPECT_EQ(StatusText(program), L"Ready");

    // With the tree shown, below the folder it has chosen.
    PostMessageW(program.dialog, WM_SYSCOMMAND, ID_FOLDER_TREE, 0);
    Settle(program);
    HWND tree = Control(program, IDC_FOLDER_TREE);
    auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    auto data = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(data));
    auto extra = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(data)));
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(extra));
    Settle(program);
    ASSERT_EQ(RowCount(program), 1);
    FileDrop again({source + L"\\data\\sub", source + L"\\one.txt"});
    DropOn(program, &again);
    EXPECT_EQ(Names(program),
              (std::vector<std::wstring>{L"data\\extra\\three.txt", L"data\\extra\\sub\\two.txt",
                                         L"data\\extra\\one.txt"}));

    // Each file is packed from where it was dropped from.
    std::wstring target = dir.Join(L"dropped.grf");
    Click(program, IDC_REPACK);
    ASSERT_TRUE(
        ChooseFile(program, L"Select destination filename for the REPACKED GRF File", target));
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(ArchiveContents(target), (std::vector<std::pair<std::string, std::string>>{
                                           {"data\\extra\\one.txt", "one"},
                                           {"data\\extra\\sub\\two.txt", "two"},
                                           {"data\\extra\\three.txt", "three"},
                                           {"data\\one.txt", "one"},
                                           {"data\\sub\\two.txt", "two"}}));
}

// The drag loop the window starts, replaced: it keeps the data object
// offered and drops at once.
IDataObject* g_offered = nullptr;
DWORD g_allowed = 0;

HRESULT WINAPI KeepOffered(IDataObject* data, IDropSource*, DWORD allowed, DWORD* effect) {
    data->AddRef();
    g_offered = data;
    g_allowed = allowed;
    *effect = DROPEFFECT_COPY;
    return DRAGDROP_S_DROP;
}

struct Descriptor {
    std::wstring name;
    bool folder;
    uint32_t size;
    bool operator==(const Descriptor&) const = default;
};

std::vector<Descriptor> Descriptors(IDataObject* data) {
    std::vector<Descriptor> items;
    FORMATETC format = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"FileGroupDescriptorW")),
                        nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (data->GetData(&format, &medium) != S_OK) return items;
    auto* group = static_cast<FILEGROUPDESCRIPTORW*>(GlobalLock(medium.hGlobal));
    for (UINT i = 0; i < group->cItems; ++i) {
        const FILEDESCRIPTORW& item = group->fgd[i];
        items.push_back({item.cFileName, (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                         item.nFileSizeLow});
    }
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return items;
}

// The contents of descriptor at, or "<none>" when the object gives none.
std::string Contents(IDataObject* data, LONG at) {
    FORMATETC format = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"FileContents")), nullptr,
                        DVASPECT_CONTENT, at, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (data->GetData(&format, &medium) != S_OK) return "<none>";
    std::string bytes(static_cast<const char*>(GlobalLock(medium.hGlobal)),
                      GlobalSize(medium.hGlobal));
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return bytes;
}

void Mouse(const Program& program, UINT message, WPARAM buttons, POINT at) {
    HWND list = Control(program, IDC_ENTRY_LIST);
    RunOnUiThread(program, [&] { SendMessageW(list, message, buttons, MAKELPARAM(at.x, at.y)); });
}

POINT RowPoint(const Program& program, int row) {
    RECT item = {};
    item.left = LVIR_LABEL;
    SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_GETITEMRECT, row,
                 reinterpret_cast<LPARAM>(&item));
    return {item.left + 4, (item.top + item.bottom) / 2};
}

int SelectedCount(const Program& program) {
    return static_cast<int>(
        SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_GETSELECTEDCOUNT, 0, 0));
}

TEST_F(DragDrop, RowsDraggedOutAreVirtualFilesReadOnlyWhenAskedFor) {
    const std::string korean = "\xB8\xF3\xBD\xBA\xC5\xCD";
    LoadDirectly(WriteArchive(L"out.grf", {{"data\\a.txt", BytesOf("alpha")},
                                           {"data\\sub\\b.txt", BytesOf("bee")},
                                           {"..\\evil.txt", BytesOf("no")},
                                           {"data\\con.txt", BytesOf("no")},
                                           {"data\\A.TXT", BytesOf("second")},
                                           {"data\\dot.", BytesOf("no")},
                                           {"data\\sub\\" + korean + ".txt", BytesOf("k")}}));
    g_doDragDrop = KeepOffered;
    RunOnUiThread(program, [&] { SelectAllRows(program.dialog); });
    // A press on the selection keeps it; moving past the threshold drags it.
    POINT at = RowPoint(program, 1);
    Mouse(program, WM_LBUTTONDOWN, MK_LBUTTON, at);
    EXPECT_EQ(SelectedCount(program), 7);
    Mouse(program, WM_MOUSEMOVE, MK_LBUTTON, {at.x + 1, at.y + 1});
    EXPECT_EQ(g_offered, nullptr) << "within the threshold";
    Mouse(program, WM_MOUSEMOVE, MK_LBUTTON, {at.x + 40, at.y + 30});
    Settle(program);
    g_doDragDrop = DoDragDrop;
    ASSERT_NE(g_offered, nullptr);
    EXPECT_EQ(g_allowed, DWORD(DROPEFFECT_COPY));
    EXPECT_EQ(SelectedCount(program), 7);
    EXPECT_EQ(StatusText(program).find(L"4 entries were left out"), 0u) << StatusText(program);

    // Folders before what they hold; unsafe names and a second name that
    // differs only in case are left out.
    const std::wstring name = L"\uBAAC\uC2A4\uD130";
    EXPECT_EQ(Descriptors(g_offered), (std::vector<Descriptor>{
                                          {L"data", true, 0},
                                          {L"data\\a.txt", false, 5},
                                          {L"data\\sub", true, 0},
                                          {L"data\\sub\\b.txt", false, 3},
                                          {L"data\\sub\\" + name + L".txt", false, 1},
                                      }));
    EXPECT_EQ(Contents(g_offered, 1), "alpha");
    EXPECT_EQ(Contents(g_offered, 3), "bee");
    EXPECT_EQ(Contents(g_offered, 4), "k");
    EXPECT_EQ(Contents(g_offered, 0), "<none>") << "a folder has no contents";
    EXPECT_EQ(Contents(g_offered, 5), "<none>");
    EXPECT_EQ(Contents(g_offered, -1), "<none>");

    // Read when asked for: once the table is gone there is nothing to give.
    Click(program, IDC_CLOSE_GRF);
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(Contents(g_offered, 1), "<none>");
    g_offered->Release();
    g_offered = nullptr;
}

TEST_F(DragDrop, AClickOnTheSelectionWithoutADragSelectsThatRow) {
    LoadDirectly(WriteArchive(L"ten.grf", Numbered(10)));
    RunOnUiThread(program, [&] { SelectAllRows(program.dialog); });
    POINT at = RowPoint(program, 3);
    Mouse(program, WM_LBUTTONDOWN, MK_LBUTTON, at);
    EXPECT_EQ(SelectedCount(program), 10);
    Mouse(program, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(SelectedCount(program), 1);
    EXPECT_EQ(SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_GETNEXTITEM,
                           static_cast<WPARAM>(-1), LVNI_SELECTED),
              3);
}

}  // namespace
