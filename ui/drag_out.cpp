// drag_out.cpp -- see drag_out.h.
#include "drag_out.h"

#include <shlobj.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <set>
#include <string>

#include "entry_list.h"
#include "resource.h"
#include "services.h"

HRESULT(WINAPI* g_doDragDrop)(IDataObject*, IDropSource*, DWORD, DWORD*) = DoDragDrop;

namespace {

struct VirtualFile {
    std::wstring name;  // relative path, backslashes
    bool folder;
    uint32_t index;  // the record, for a file
    uint32_t size;
};

bool IsDeviceName(const std::wstring& part) {
    // The name before its first dot is what Windows compares.
    std::wstring stem = part.substr(0, part.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    CharUpperBuffW(stem.data(), static_cast<DWORD>(stem.size()));
    static const wchar_t* const DEVICES[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : DEVICES) {
        if (stem == device) return true;
    }
    // COM1 to COM9, LPT1 to LPT9, the digits also as superscripts.
    if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0)) {
        wchar_t digit = stem[3];
        return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
               digit == L'\u00B3';
    }
    return false;
}

// Whether name (backslashes) is a relative path Windows takes as it is:
// no drive, no leading separator, no empty, "." or ".." part, no device
// name, no part ending in a dot or a space, no character Windows refuses.
bool IsSafeName(const std::wstring& name) {
    if (name.empty() || name.size() >= MAX_PATH) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find(L'\\', start);
        if (end == std::wstring::npos) end = name.size();
        std::wstring part = name.substr(start, end - start);
        if (part.empty() || part == L"." || part == L"..") return false;
        if (part.back() == L'.' || part.back() == L' ') return false;
        for (wchar_t c : part) {
            if (c < L' ' || wcschr(L"<>:\"/|?*", c)) return false;
        }
        if (IsDeviceName(part)) return false;
        start = end + 1;
    }
    return true;
}

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

UINT DescriptorFormat() {
    static UINT format = RegisterClipboardFormatW(L"FileGroupDescriptorW");
    return format;
}

UINT ContentsFormat() {
    static UINT format = RegisterClipboardFormatW(L"FileContents");
    return format;
}

HGLOBAL CopyToGlobal(const void* bytes, size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!memory) return nullptr;
    void* at = GlobalLock(memory);
    if (size) memcpy(at, bytes, size);
    GlobalUnlock(memory);
    return memory;
}

struct RowsData final : IDataObject {
    LONG references = 1;
    GrfArchive* archive;                // the table the indices refer to
    std::vector<VirtualFile> files;     // folders before what they hold
    std::vector<std::string> rawNames;  // each file's record name, checked on reading

    HGLOBAL Descriptors() const {
        size_t bytes = sizeof(FILEGROUPDESCRIPTORW) + files.size() * sizeof(FILEDESCRIPTORW);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        if (!memory) return nullptr;
        auto* group = static_cast<FILEGROUPDESCRIPTORW*>(GlobalLock(memory));
        group->cItems = static_cast<UINT>(files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            FILEDESCRIPTORW& item = group->fgd[i];
            item.dwFlags = FD_ATTRIBUTES | FD_PROGRESSUI | (files[i].folder ? 0 : FD_FILESIZE);
            item.dwFileAttributes =
                files[i].folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
            item.nFileSizeLow = files[i].size;
            wcsncpy(item.cFileName, files[i].name.c_str(), MAX_PATH - 1);
        }
        GlobalUnlock(memory);
        return memory;
    }

    // The bytes of file at, read now; null when the table changed under the
    // drag or the record does not read.
    HGLOBAL Contents(LONG at) const {
        if (at < 0 || size_t(at) >= files.size() || files[size_t(at)].folder) return nullptr;
        const VirtualFile& file = files[size_t(at)];
        if (g_archive != archive || file.index >= g_archive->count ||
            rawNames[size_t(at)] != g_archive->entries[file.index].name)
            return nullptr;
        uint32_t size = 0;
        uint8_t* bytes = GrfReadRecord(g_archive, file.index, &size);
        if (!bytes) return nullptr;
        HGLOBAL memory = CopyToGlobal(bytes, size);
        GrfFreeBuffer(bytes);
        return memory;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || id == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = --references;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        HRESULT known = QueryGetData(format);
        if (known != S_OK) return known;
        HGLOBAL memory =
            format->cfFormat == DescriptorFormat() ? Descriptors() : Contents(format->lindex);
        if (!memory) return format->cfFormat == DescriptorFormat() ? E_OUTOFMEMORY : E_FAIL;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format || !(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        if (format->cfFormat == DescriptorFormat()) return S_OK;
        if (format->cfFormat == ContentsFormat()) return S_OK;
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    // What a drop target tells the source (the effect it performed, a drag
    // image) is taken and let go.
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM* medium, BOOL release) override {
        if (release && medium) ReleaseStgMedium(medium);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC offered[2] = {
            {static_cast<CLIPFORMAT>(DescriptorFormat()), nullptr, DVASPECT_CONTENT, -1,
             TYMED_HGLOBAL},
            {static_cast<CLIPFORMAT>(ContentsFormat()), nullptr, DVASPECT_CONTENT, -1,
             TYMED_HGLOBAL},
        };
        return SHCreateStdEnumFmtEtc(2, offered, formats);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
};

// Ends the drag on Escape, drops when the button is let go.
struct RowsSource final : IDropSource {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || id == IID_IDropSource) {
            *object = static_cast<IDropSource*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape) return DRAGDROP_S_CANCEL;
        if (!(keys & (MK_LBUTTON | MK_RBUTTON))) return DRAGDROP_S_DROP;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

}  // namespace

IDataObject* CreateRowsDataObject(const std::vector<uint32_t>& indices, uint32_t* leftOut) {
    auto* data = new RowsData();
    data->archive = g_archive;
    *leftOut = 0;
    std::set<std::wstring> taken;  // upper-cased names of files and folders
    for (uint32_t index : indices) {
        if (g_archive == GRF_NO_ARCHIVE || index >= g_archive->count) continue;
        const GrfEntry& entry = g_archive->entries[index];
        wchar_t* converted = entry.owner ? GrfFileName(entry.name) : nullptr;
        std::wstring name = converted ? converted : L"";
        GrfFreeBuffer(converted);
        std::replace(name.begin(), name.end(), L'/', L'\\');
        if (!IsSafeName(name) || taken.count(Upper(name))) {
            *leftOut += 1;
            continue;
        }
        // The folders on the way first, each once.
        for (size_t slash = name.find(L'\\'); slash != std::wstring::npos;
             slash = name.find(L'\\', slash + 1)) {
            std::wstring folder = name.substr(0, slash);
            if (taken.insert(Upper(folder)).second) {
                data->files.push_back({folder, true, 0, 0});
                data->rawNames.emplace_back();
            }
        }
        taken.insert(Upper(name));
        data->files.push_back({name, false, index, entry.realSize});
        data->rawNames.emplace_back(entry.name);
    }
    return data;
}

void DragSelectedRows(HWND) {
    const RowSelection& selection = EntrySelection();
    if (selection.count == 0) return;
    if (selection.count > DRAG_OUT_MOST) {
        wchar_t text[TEXT_BUFFER_SIZE];
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_DRAG_TOO_MANY), DRAG_OUT_MOST);
        SetStatusText(text);
        return;
    }
    std::vector<uint32_t> indices;
    for (const RowRun& run : selection.runs) {
        for (uint32_t row = run.first; row < run.last; ++row) {
            GrfEntry* entry = EntryOfRow(static_cast<int>(row));
            if (entry) indices.push_back(static_cast<uint32_t>(entry - g_archive->entries));
        }
    }
    uint32_t leftOut = 0;
    IDataObject* data = CreateRowsDataObject(indices, &leftOut);
    RowsSource source;
    DWORD effect = DROPEFFECT_NONE;
    g_doDragDrop(data, &source, DROPEFFECT_COPY, &effect);
    data->Release();
    if (leftOut > 0) {
        wchar_t text[TEXT_BUFFER_SIZE];
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_DRAG_LEFT_OUT),
                   static_cast<int>(leftOut));
        SetStatusText(text);
    }
}
