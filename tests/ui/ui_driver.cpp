// ui_driver.cpp -- the test side of the window suite: runs the program on a
// thread, finds and answers its windows, reads them back, takes screenshots.
#include "ui_driver.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <zlib.h>

#include <string.h>

#include <atomic>
#include <memory>

#include "background_open.h"
#include "main_dialog.h"
#include "resource.h"
#include "services.h"
#include "test_support.h"

namespace {

// A private message handled by the test's own layer over the main dialog's
// window procedure: runs the std::function in lParam on the program's
// thread; wParam 1 means it was posted and is to be deleted afterwards.
const UINT WM_TEST_RUN = WM_APP + 0x7A1;

WNDPROC g_dialogProcBefore = nullptr;

LRESULT CALLBACK TestLayerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TEST_RUN) {
        auto* code = reinterpret_cast<std::function<void()>*>(lParam);
        (*code)();
        if (wParam == 1) delete code;
        return 0;
    }
    return CallWindowProcW(g_dialogProcBefore, window, message, wParam, lParam);
}

// The command line the next start gives the program.
std::wstring g_commandLine;

DWORD WINAPI ProgramThread(void* commandLine) {
    return static_cast<DWORD>(
        RunCaskwright(GetModuleHandleW(nullptr), static_cast<const wchar_t*>(commandLine)));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

struct ThreadWindows {
    HWND skip;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectForeign(HWND window, LPARAM context) {
    auto* windows = reinterpret_cast<ThreadWindows*>(context);
    if (window == windows->skip || !IsWindowVisible(window)) return TRUE;
    std::wstring name = ClassOf(window);
    // Tooltips come and go with the mouse; they are no window in the way.
    if (name == L"tooltips_class32" || name == TOOLTIPS_CLASSW) return TRUE;
    windows->found.push_back(window);
    return TRUE;
}

std::vector<HWND> ForeignWindows(const Program& program) {
    ThreadWindows windows = {program.dialog, {}};
    EnumThreadWindows(program.threadId, CollectForeign, reinterpret_cast<LPARAM>(&windows));
    return windows.found;
}

struct FoundWindow {
    const wchar_t* className;
    bool visibleOnly;
    HWND skip;
    HWND window;
};

BOOL CALLBACK FindOfClass(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<FoundWindow*>(context);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (window == found->skip || wcscmp(name, found->className) != 0) return TRUE;
    if (found->visibleOnly && !IsWindowVisible(window)) return TRUE;
    found->window = window;
    return FALSE;
}

BOOL CALLBACK FindMainDialog(HWND window, LPARAM context) {
    if (IsWindowVisible(window) && GetDlgItem(window, IDC_ENTRY_LIST)) {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStaticTexts(HWND window, LPARAM context) {
    auto* text = reinterpret_cast<std::wstring*>(context);
    if (ClassOf(window) == L"Static") {
        std::wstring own = WindowText(window);
        if (!own.empty()) {
            if (!text->empty()) *text += L"|";
            *text += own;
        }
    }
    return TRUE;
}

struct Descendant {
    std::wstring className;
    HWND found;
};

BOOL CALLBACK FindByClass(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Descendant*>(context);
    if (ClassOf(window) != search->className) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindDescendant(HWND window, const wchar_t* className) {
    Descendant search = {className, nullptr};
    EnumChildWindows(window, FindByClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring SelectedTreeText(HWND tree) {
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return L"";
    wchar_t text[MAX_PATH] = {};
    TVITEMW query = {};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
    return text;
}

// Expands the tree's selected item and selects its child named text, as a
// click on it would; false when there is no such child.
bool SelectChildByText(HWND tree, const std::wstring& text) {
    auto parent = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!parent) return false;
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
    auto child = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
    for (; child; child = reinterpret_cast<HTREEITEM>(SendMessageW(
                      tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)))) {
        wchar_t name[MAX_PATH] = {};
        TVITEMW query = {};
        query.mask = TVIF_TEXT;
        query.hItem = child;
        query.pszText = name;
        query.cchTextMax = MAX_PATH;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
        if (text != name) continue;
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child));
        return SelectedTreeText(tree) == text;
    }
    return false;
}

Box DescribeBox(HWND window) {
    Box box;
    box.window = window;
    box.caption = WindowText(window);
    EnumChildWindows(window, CollectStaticTexts, reinterpret_cast<LPARAM>(&box.text));
    return box;
}

bool IsProgressWindow(HWND window) {
    return GetDlgItem(window, IDC_PROGRESS_BAR) != nullptr;
}

// Sends a posted marker through the program's queue and waits until it has
// been handled: everything posted before it has then been handled too, or
// is being handled inside a nested modal loop.
bool MarkerRoundTrip(const Program& program, DWORD timeoutMs) {
    // Shared with the marker, which may run after this wait has given up.
    auto handled = std::make_shared<std::atomic<bool>>(false);
    PostToUiThread(program, [handled] { handled->store(true); });
    return WaitUntil(
        [&] {
            if (handled->load()) return true;
            // A modal box handles the marker too, but a command that runs
            // without pumping does not: stop waiting once a box shows.
            for (HWND other : ForeignWindows(program)) {
                if (!IsProgressWindow(other)) return true;
            }
            return false;
        },
        timeoutMs);
}

// The program's thread takes messages again: whatever it was doing when a
// window came up (a box's initialization, a command's step) has ended.
bool Responds(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

// 32-bit blue-green-red rows of the screen inside rect, top row first; empty
// when the capture failed.
// The window drawing itself (WM_PRINT) into a bitmap of its size, for a
// window the screen has not shown yet: one just resized shows black there
// until its new surface reaches the screen.
std::vector<uint8_t> CaptureDrawn(HWND window, const RECT& rect) {
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ before = SelectObject(memory, bitmap);
    bool drawn = PrintWindow(window, memory, 0) != FALSE;
    SelectObject(memory, before);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    int rows = GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!drawn || rows != height) pixels.clear();
    return pixels;
}

std::vector<uint8_t> CaptureScreen(const RECT& rect) {
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ before = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, before);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    int rows = GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height) pixels.clear();
    return pixels;
}

void PutBigEndian(std::string* out, uint32_t value) {
    out->push_back(static_cast<char>(value >> 24));
    out->push_back(static_cast<char>(value >> 16));
    out->push_back(static_cast<char>(value >> 8));
    out->push_back(static_cast<char>(value));
}

void PutChunk(std::string* out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out->append(body);
    uLong crc =
        crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    PutBigEndian(out, static_cast<uint32_t>(crc));
}

// PNG of top-down 32-bit blue-green-red rows.
bool WritePng(const std::wstring& path, const std::vector<uint8_t>& bgra, int width, int height) {
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        const uint8_t* row = bgra.data() + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            raw.push_back(static_cast<char>(row[x * 4 + 2]));
            raw.push_back(static_cast<char>(row[x * 4 + 1]));
            raw.push_back(static_cast<char>(row[x * 4 + 0]));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  6) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);
    std::string header;
    PutBigEndian(&header, static_cast<uint32_t>(width));
    PutBigEndian(&header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(&png, "IHDR", header);
    PutChunk(&png, "IDAT", packed);
    PutChunk(&png, "IEND", "");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == png.size();
}

}  // namespace

std::wstring WindowsPath(const std::string& path) {
    std::string full = !path.empty() && path[0] == '/' ? "Z:" + path : path;
    std::wstring converted(full.begin(), full.end());
    for (wchar_t& c : converted) {
        if (c == L'/') c = L'\\';
    }
    return converted;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(10);
    }
}

bool StartProgram(Program* program, const std::wstring& commandLine) {
    g_commandLine = commandLine;
    program->thread =
        CreateThread(nullptr, 0, ProgramThread, const_cast<wchar_t*>(g_commandLine.c_str()), 0,
                     &program->threadId);
    if (!program->thread) return false;
    HWND dialog = nullptr;
    WaitUntil(
        [&] {
            EnumThreadWindows(program->threadId, FindMainDialog, reinterpret_cast<LPARAM>(&dialog));
            return dialog != nullptr;
        },
        20000);
    if (!dialog) return false;
    program->dialog = dialog;
    g_dialogProcBefore = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TestLayerProc)));
    return WaitIdle(*program).empty();
}

void StopProgram(Program* program) {
    if (!program->thread) return;
    for (int round = 0; round < 20; ++round) {
        std::vector<HWND> others = ForeignWindows(*program);
        if (others.empty()) break;
        for (HWND other : others) {
            HWND cancel = GetDlgItem(other, IDCANCEL);
            HWND ok = GetDlgItem(other, IDOK);
            if (cancel) {
                PostMessageW(cancel, BM_CLICK, 0, 0);
            } else if (ok) {
                PostMessageW(ok, BM_CLICK, 0, 0);
            } else {
                PostMessageW(other, WM_CLOSE, 0, 0);
            }
        }
        // Answered boxes go; a chooser may bring up a box of its own, which
        // the next round answers.
        WaitUntil(
            [&] {
                for (HWND other : others) {
                    if (IsWindow(other) && IsWindowVisible(other)) return false;
                }
                return true;
            },
            1000);
    }
    if (IsWindow(program->dialog)) {
        Click(*program, IDC_CLOSE_GRF);
        if (!WaitIdle(*program, 20000).empty()) {
            // Unsaved changes are asked about: a test's changes are not kept.
            Box unsaved;
            if (WaitForBox(*program, &unsaved, L"Unsaved Changes", 2000))
                PressBoxButton(unsaved, IDNO);
            WaitIdle(*program, 20000);
        }
        PostMessageW(program->dialog, WM_CLOSE, 0, 0);
        WaitUntil([&] { return !IsWindow(program->dialog); }, 5000);
    }
    if (WaitForSingleObject(program->thread, 20000) != WAIT_OBJECT_0) {
        TerminateThread(program->thread, 1);
    }
    CloseHandle(program->thread);
    *program = Program();
}

HWND Control(const Program& program, int id) {
    return GetDlgItem(program.dialog, id);
}

std::wstring WindowText(HWND window) {
    wchar_t text[4096] = {};
    SendMessageW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring StatusText(const Program& program) {
    HWND bar = FindWindowExW(program.dialog, nullptr, STATUSCLASSNAMEW, nullptr);
    return bar ? WindowText(bar) : L"<no status bar>";
}

std::wstring CountsText(const Program& program) {
    HWND bar = FindWindowExW(program.dialog, nullptr, STATUSCLASSNAMEW, nullptr);
    wchar_t counts[512] = {};
    SendMessageW(bar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(counts));
    return counts;
}

std::wstring ComboSelection(const Program& program, int id) {
    HWND combo = Control(program, id);
    LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    std::vector<std::wstring> items = ComboItems(combo);
    if (index < 0 || size_t(index) >= items.size()) return L"<none>";
    return items[size_t(index)];
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

void RunOnUiThread(const Program& program, const std::function<void()>& code) {
    std::function<void()> copy = code;
    SendMessageW(program.dialog, WM_TEST_RUN, 0, reinterpret_cast<LPARAM>(&copy));
}

GrfArchive* LoadedArchive(const Program& program) {
    GrfArchive* archive = nullptr;
    RunOnUiThread(program, [&] { archive = g_archive; });
    return archive;
}

void PostToUiThread(const Program& program, std::function<void()> code) {
    auto* owned = new std::function<void()>(std::move(code));
    if (!PostMessageW(program.dialog, WM_TEST_RUN, 1, reinterpret_cast<LPARAM>(owned))) {
        delete owned;
    }
}

void Click(const Program& program, int id) {
    PostMessageW(Control(program, id), BM_CLICK, 0, 0);
}

void FocusControl(const Program& program, int id) {
    SendMessageW(program.dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(program, id)),
                 TRUE);
}

namespace {
HWND FocusOf(const Program& program) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(program.threadId, &info);
    return info.hwndFocus ? info.hwndFocus : program.dialog;
}
}  // namespace

void TypeText(const Program& program, const std::wstring& text) {
    HWND focus = FocusOf(program);
    for (wchar_t c : text) PostMessageW(focus, WM_CHAR, c, 1);
}

void PressKey(const Program& program, UINT virtualKey) {
    HWND focus = FocusOf(program);
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(focus, WM_KEYDOWN, virtualKey, scan | 1);
    PostMessageW(focus, WM_KEYUP, virtualKey, scan | 1 | (1u << 30) | (1u << 31));
}

void Settle(const Program& program) {
    // Shared with the marker, which may run after this wait has given up.
    auto handled = std::make_shared<std::atomic<bool>>(false);
    PostToUiThread(program, [handled] { handled->store(true); });
    WaitUntil([&] { return handled->load(); }, 20000);
}

std::wstring WaitIdle(const Program& program, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return L"timed out waiting for the program";
        MarkerRoundTrip(program, timeoutMs - elapsed);
        std::vector<HWND> others = ForeignWindows(program);
        bool onlyProgress = true;
        for (HWND other : others) onlyProgress = onlyProgress && IsProgressWindow(other);
        if (!onlyProgress) {
            for (HWND other : others) {
                if (IsProgressWindow(other)) continue;
                Box box = DescribeBox(other);
                return L"a window is open: \"" + box.caption + L"\" " + box.text;
            }
        }
        // An archive opening in the background is still work in hand.
        if (others.empty() && IsWindowEnabled(program.dialog) && !OpenRunning()) return L"";
        Sleep(10);
    }
}

// Whether window's caption is caption, or one of several joined by "|".
bool IsCaption(HWND window, const std::wstring& caption) {
    std::wstring text = WindowText(window);
    size_t start = 0;
    while (true) {
        size_t end = caption.find(L'|', start);
        if (caption.substr(start, end == std::wstring::npos ? end : end - start) == text)
            return true;
        if (end == std::wstring::npos) return false;
        start = end + 1;
    }
}

HWND ProgramWindow(const Program& program, const wchar_t* className, bool visibleOnly) {
    FoundWindow found = {className, visibleOnly, program.dialog, nullptr};
    EnumThreadWindows(program.threadId, FindOfClass, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

namespace {

// Wine cancels a menu when a focus change from a window that has just closed
// (a command's progress window) reaches the program after the menu opened:
// such changes are let in first.
void LetFocusSettle(const Program& program) {
    MarkerRoundTrip(program, 5000);
    Sleep(150);
    MarkerRoundTrip(program, 5000);
}

// Opens the menu and waits for it; null when it did not come, or ended
// before it was seen.
HWND OpenMenu(const Program& program, const std::function<void()>& open) {
    LetFocusSettle(program);
    open();
    // The marker comes after the request to open: once it is handled, the
    // menu is up (its loop handles the marker) or has ended already.
    auto handled = std::make_shared<std::atomic<bool>>(false);
    PostToUiThread(program, [handled] { handled->store(true); });
    HWND menu = nullptr;
    WaitUntil(
        [&] {
            bool settled = handled->load();
            menu = ProgramWindow(program, L"#32768");
            return menu || settled;
        },
        20000);
    return menu;
}

}  // namespace

std::vector<std::wstring> PickFromMenu(const Program& program, const std::function<void()>& open,
                                       wchar_t key) {
    std::vector<std::wstring> items;
    HWND menu = nullptr;
    for (int attempt = 0; attempt < 3 && !menu; ++attempt) menu = OpenMenu(program, open);
    if (!menu) return items;
    auto handle = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(handle); ++i) {
        wchar_t text[512] = {};
        GetMenuStringW(handle, i, text, 512, MF_BYPOSITION);
        items.push_back(text);
    }
    if (key) {
        PostMessageW(menu, WM_CHAR, key, 1);
    } else {
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 1);
    }
    WaitUntil([&] { return !IsWindowVisible(menu); }, 5000);
    return items;
}

bool WaitForBox(const Program& program, Box* box, const std::wstring& caption, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND other : ForeignWindows(program)) {
                if (ClassOf(other) != L"#32770") continue;
                // The progress window only when asked for by its caption.
                if (caption.empty() ? !IsProgressWindow(other) : IsCaption(other, caption)) {
                    found = other;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    if (!found) return false;
    // Read and answered once it has finished initializing.
    if (!Responds(found, timeoutMs)) return false;
    *box = DescribeBox(found);
    return true;
}

bool PressBoxButton(const Box& box, int id) {
    HWND button = GetDlgItem(box.window, id);
    if (!button) return false;
    PostMessageW(button, BM_CLICK, 0, 0);
    return WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, 10000);
}

std::wstring TakeError(const Program& program, DWORD timeoutMs) {
    Box box;
    if (!WaitForBox(program, &box, ERROR_CAPTIONS, timeoutMs)) return L"";
    // A box that offers more (Yes, No) is declined.
    if (!PressBoxButton(box, IDOK)) PressBoxButton(box, IDNO);
    return box.text;
}

bool ChooseFile(const Program& program, const std::wstring& title, const std::wstring& path) {
    Box box;
    if (!WaitForBox(program, &box, title)) return false;
    if (path.empty()) return PressBoxButton(box, IDCANCEL);
    if (!TypeFileName(box, path)) return false;
    return WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, 10000);
}

bool TypeFileName(const Box& box, const std::wstring& path) {
    if (!SetFileNameText(box, path)) return false;
    PostMessageW(GetDlgItem(box.window, IDOK), BM_CLICK, 0, 0);
    return true;
}

bool SetFileNameText(const Box& box, const std::wstring& path) {
    // The name box: an edit inside the combo box 0x47c (itself possibly
    // inside an extended combo box), or the old-style edit 0x480.
    HWND edit = nullptr;
    HWND combo = GetDlgItem(box.window, cmb13);
    for (HWND inside = combo; inside && !edit;) {
        edit = FindWindowExW(inside, nullptr, L"Edit", nullptr);
        inside = FindWindowExW(inside, nullptr, nullptr, nullptr);
        if (inside && ClassOf(inside) == L"Edit") edit = inside;
    }
    if (!edit) edit = GetDlgItem(box.window, edt1);
    if (!edit) return false;
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    return true;
}

std::vector<std::wstring> FileTypes(const Box& box) {
    HWND types = GetDlgItem(box.window, cmb1);
    return types ? ComboItems(types) : std::vector<std::wstring>{};
}

bool ChooseFileType(const Box& box, int index) {
    HWND types = GetDlgItem(box.window, cmb1);
    if (!types || SendMessageW(types, CB_SETCURSEL, WPARAM(index), 0) != index) return false;
    // The dialog learns of a choice through the list's notifications, as a
    // user's pick in the open list sends them.
    for (WORD code : {CBN_SELCHANGE, CBN_SELENDOK})
        SendMessageW(box.window, WM_COMMAND, MAKEWPARAM(cmb1, code),
                     reinterpret_cast<LPARAM>(types));
    return true;
}

bool ChooseFolder(const Program& program, const std::wstring& path, std::wstring* shownText) {
    Box box;
    if (!WaitForBox(program, &box)) return false;
    if (shownText) *shownText = box.text;
    if (path.empty()) return PressBoxButton(box, IDCANCEL);
    // The browser fills its tree after it shows, and ignores a selection of
    // an item it has not listed yet: select until the tree's selected item
    // is the folder, and never press OK on another one (the walk would add
    // whatever that is).
    HWND tree = FindDescendant(box.window, WC_TREEVIEWW);
    size_t cut = path.find_last_of(L'\\');
    std::wstring parent = path.substr(0, cut);
    std::wstring leaf = path.substr(cut + 1);
    auto select = [&](const std::wstring& folder) {
        SendMessageW(box.window, BFFM_SETSELECTIONW, TRUE,
                     reinterpret_cast<LPARAM>(folder.c_str()));
    };
    bool selected = tree && WaitUntil(
                                [&] {
                                    select(path);
                                    if (SelectedTreeText(tree) == leaf) return true;
                                    // Wine's browser may not find by its path
                                    // a folder whose contents changed a moment
                                    // before: open its parent and click its item.
                                    select(parent);
                                    return SelectChildByText(tree, leaf);
                                },
                                10000);
    if (!selected) {
        PressBoxButton(box, IDCANCEL);
        return false;
    }
    return PressBoxButton(box, IDOK);
}

std::wstring BrowserSelection(const Box& browser) {
    HWND tree = FindDescendant(browser.window, WC_TREEVIEWW);
    return tree ? SelectedTreeText(tree) : L"";
}

int RowCount(const Program& program) {
    return static_cast<int>(SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_GETITEMCOUNT, 0, 0));
}

std::vector<std::wstring> RowTexts(const Program& program, int row) {
    std::vector<std::wstring> texts;
    for (int column = 0; column < 6; ++column) {
        wchar_t text[512] = {};
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 512;
        SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_GETITEMTEXTW, row,
                     reinterpret_cast<LPARAM>(&item));
        texts.push_back(text);
    }
    return texts;
}

int RowImage(const Program& program, int row) {
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = -2;
    SendMessageW(Control(program, IDC_ENTRY_LIST), LVM_GETITEMW, 0,
                 reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

void SelectRows(const Program& program, const std::vector<int>& rows) {
    HWND list = Control(program, IDC_ENTRY_LIST);
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    for (int row : rows) {
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
}

// The share of a capture's pixels (BGRA) that are black, and whether every
// pixel is the colour of the first: a window not yet on the screen, or one
// the capture could not draw.
double BlackShare(const std::vector<uint8_t>& pixels) {
    size_t black = 0;
    for (size_t at = 0; at + 3 < pixels.size(); at += 4)
        black += pixels[at] == 0 && pixels[at + 1] == 0 && pixels[at + 2] == 0;
    return pixels.empty() ? 1.0 : double(black) / double(pixels.size() / 4);
}

bool IsBlank(const std::vector<uint8_t>& pixels) {
    for (size_t at = 4; at + 3 < pixels.size(); at += 4) {
        if (pixels[at] != pixels[0] || pixels[at + 1] != pixels[1] || pixels[at + 2] != pixels[2])
            return false;
    }
    return true;
}

// A window as the screen shows it is mostly not black: more than this is a
// window drawn as a black rectangle.
const double MOST_BLACK = 0.5;

std::wstring SaveScreenshot(HWND window, const std::wstring& name) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return L"";
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // What is drawn reaches the screen a little later: the picture is taken
    // once two captures a tenth of a second apart agree and show something
    // (a window just resized shows black until its surface is drawn), or
    // after 2 s for a window that keeps changing (a progress bar moving on).
    const DWORD APART_MS = 100;
    std::vector<uint8_t> pixels = CaptureScreen(rect);
    DWORD takenAt = GetTickCount();
    WaitUntil(
        [&] {
            if (GetTickCount() - takenAt < APART_MS) return false;
            std::vector<uint8_t> again = CaptureScreen(rect);
            bool settled = !again.empty() && again == pixels && !IsBlank(again) &&
                           BlackShare(again) <= MOST_BLACK;
            pixels = std::move(again);
            takenAt = GetTickCount();
            return settled;
        },
        2000);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    // The screen never showed it: the window draws itself instead.
    if (pixels.empty() || IsBlank(pixels) || BlackShare(pixels) > MOST_BLACK)
        pixels = CaptureDrawn(window, rect);
    // Every screenshot is checked: one of the window's size, and a picture.
    if (pixels.empty() || width <= 0 || height <= 0 ||
        pixels.size() != size_t(width) * size_t(height) * 4) {
        ADD_FAILURE() << "screenshot " << Narrow(name) << ": nothing captured";
        return L"";
    }
    EXPECT_FALSE(IsBlank(pixels)) << "screenshot " << Narrow(name) << " is one colour";
    EXPECT_LE(BlackShare(pixels), MOST_BLACK) << "screenshot " << Narrow(name) << " is black";
    RECT now;
    GetWindowRect(window, &now);
    EXPECT_EQ(now.right - now.left, width) << "screenshot " << Narrow(name);
    EXPECT_EQ(now.bottom - now.top, height) << "screenshot " << Narrow(name);
    std::wstring folder = WindowsPath(CASKWRIGHT_SCREENSHOTS);
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring path = folder + L"\\" + name + L".png";
    return WritePng(path, pixels, rect.right - rect.left, rect.bottom - rect.top) ? path : L"";
}
