// drop_target.cpp -- see drop_target.h. One drop target object for the one
// main window; it lives as long as the program.
#include "drop_target.h"

#include <shellapi.h>

#include "resource.h"

namespace {

std::vector<std::wstring> g_dropped;

bool OffersFiles(IDataObject* data) {
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data && data->QueryGetData(&format) == S_OK;
}

// The whole paths an HDROP names.
std::vector<std::wstring> DroppedPaths(IDataObject* data) {
    std::vector<std::wstring> paths;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (!data || data->GetData(&format, &medium) != S_OK) return paths;
    auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    if (drop) {
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            UINT length = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            DragQueryFileW(drop, i, path.data(), length + 1);
            path.resize(length);
            if (!path.empty()) paths.push_back(path);
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return paths;
}

struct MainDrop final : IDropTarget {
    HWND window = nullptr;
    bool files = false;  // what is dragged over the window holds files

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || id == IID_IDropTarget) {
            *object = static_cast<IDropTarget*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Static: never freed while the program runs.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        // While a box or a command has the window disabled, nothing is taken.
        files = IsWindowEnabled(window) && OffersFiles(data);
        *effect = files ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = files ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        files = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        files = false;
        g_dropped = DroppedPaths(data);
        *effect = g_dropped.empty() ? DROPEFFECT_NONE : DROPEFFECT_COPY;
        if (!g_dropped.empty()) PostMessageW(window, WM_COMMAND, IDM_ADD_DROPPED, 0);
        return S_OK;
    }
};

MainDrop g_drop;

}  // namespace

void RegisterMainDropTarget(HWND window) {
    g_drop.window = window;
    RegisterDragDrop(window, &g_drop);
}

void RevokeMainDropTarget(HWND window) {
    RevokeDragDrop(window);
}

IDropTarget* MainDropTarget() {
    return &g_drop;
}

std::vector<std::wstring> TakeDroppedPaths() {
    std::vector<std::wstring> paths;
    paths.swap(g_dropped);
    return paths;
}
