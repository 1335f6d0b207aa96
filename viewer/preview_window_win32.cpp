// preview_window_win32.cpp -- the preview window: a tool window with the
// prev, next and write buttons drawn as one strip, the frame counter, the
// type name and the current picture; frame stepping for sprites and saving
// the picture as a new bitmap file.
#include "preview_window_win32.h"

#include <commdlg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windowsx.h>

#include "le_bytes.h"
#include "preview_bitmap_win32.h"
#include "preview_window.h"

PreviewSetup g_previewSetup;
HWND g_previewWindow = nullptr;

namespace {

const wchar_t PREVIEW_CLASS[] = L"CASKWRIGHT";
const int FIRST_SIZE = 64;  // the window is fitted to its picture right after
const int NAME_SIZE = 260;
const int COUNTER_SIZE = 64;
const int FILTER_SIZE = 64;
const int TEXT_SIZE = 256;  // a caption, a format or a message
const COLORREF MAGENTA = RGB(255, 0, 255);

// Made once, kept for the rest of the run.
ATOM g_previewClass = 0;
HBITMAP g_buttonStrip = nullptr;

// The name the save dialog gives; cleared before each dialog.
wchar_t g_saveName[NAME_SIZE];

// Loads one of the setup's strings into text of TEXT_SIZE characters.
void LoadSetupText(UINT id, wchar_t* text) {
    text[0] = L'\0';
    LoadStringW(g_previewSetup.instance, id, text, TEXT_SIZE);
}

void ShowSaveFailed(HWND owner) {
    wchar_t message[TEXT_SIZE];
    wchar_t caption[TEXT_SIZE];
    LoadSetupText(g_previewSetup.saveFailed, message);
    LoadSetupText(g_previewSetup.errorCaption, caption);
    MessageBoxW(owner, message, caption, MB_OK | MB_ICONERROR);
}

void RegisterPreviewClass() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PreviewWindowProc;
    windowClass.hInstance = g_previewSetup.instance;
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = PREVIEW_CLASS;
    g_previewClass = RegisterClassW(&windowClass);
}

void LoadButtonStrip() {
    if (g_buttonStrip) return;
    g_buttonStrip = static_cast<HBITMAP>(LoadImageW(g_previewSetup.instance,
                                                    MAKEINTRESOURCEW(g_previewSetup.buttonStrip),
                                                    IMAGE_BITMAP, 0, 0, 0));
}

void DrawButtonStrip(HDC dc, HDC memory) {
    if (!g_buttonStrip) return;
    SelectObject(memory, g_buttonStrip);
    BitBlt(dc, PREVIEW_STRIP_X, PREVIEW_STRIP_Y, PREVIEW_STRIP_WIDTH, PREVIEW_STRIP_HEIGHT, memory,
           0, 0, SRCCOPY);
}

void DrawCounterAndType(HDC dc) {
    wchar_t format[TEXT_SIZE];
    LoadSetupText(g_previewSetup.frameFormat, format);
    wchar_t counter[COUNTER_SIZE];
    // A counter too long for its room is cut, and always terminated.
    int written =
        _snwprintf(counter, COUNTER_SIZE - 1, format, static_cast<int>(g_previewImage.currentFrame),
                   static_cast<int>(g_previewImage.frameCount));
    counter[written < 0 ? COUNTER_SIZE - 1 : written] = L'\0';
    const wchar_t* typeName = PreviewTypeName(g_previewImage.type);
    HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TextOutW(dc, PREVIEW_COUNTER_X, PREVIEW_TEXT_Y, counter, lstrlenW(counter));
    TextOutW(dc, PREVIEW_TYPE_X, PREVIEW_TEXT_Y, typeName, lstrlenW(typeName));
    SelectObject(dc, font);
}

// Sprites are drawn over a background colour of their own, the colour of
// their top-left pixel; other pictures mark see-through pixels magenta.
void DrawPicture(HDC dc, HDC memory) {
    HBITMAP picture = g_previewImage.bitmap;
    if (!picture) return;
    SelectObject(memory, picture);
    COLORREF skipped = g_previewImage.type == PREVIEW_SPR ? GetPixel(memory, 0, 0) : MAGENTA;
    TransparentBlt(dc, 0, PREVIEW_PICTURE_Y, g_previewImage.width, g_previewImage.height, memory, 0,
                   0, g_previewImage.width, g_previewImage.height, skipped);
}

void ShowFrame(HWND window) {
    DecodeSprPreview();
    FitPreviewWindow();
    InvalidateRect(window, nullptr, TRUE);
}

void OnPreviewPress(HWND window, LPARAM position) {
    PreviewButton button = PreviewButtonAt(GET_X_LPARAM(position), GET_Y_LPARAM(position));
    if (button == PREVIEW_BUTTON_WRITE) {
        SavePreviewAsBmp(window);
        return;
    }
    if (g_previewImage.type != PREVIEW_SPR) return;
    if (button == PREVIEW_BUTTON_PREV && g_previewImage.currentFrame > 1) {
        g_previewImage.currentFrame -= 1;
        ShowFrame(window);
    } else if (button == PREVIEW_BUTTON_NEXT &&
               g_previewImage.currentFrame < g_previewImage.frameCount) {
        g_previewImage.currentFrame += 1;
        ShowFrame(window);
    }
}

void OnPreviewDestroy(HWND window) {
    if (g_previewWindow == window) g_previewWindow = nullptr;
}

// Bit depths of 8 or less would need a colour table after the header, which
// the packed block has no room for: such screens save at 24 bits.
WORD SavedBitCount(const BITMAP& shape) {
    WORD bits = static_cast<WORD>(shape.bmPlanes * shape.bmBitsPixel);
    return bits <= 8 ? 24 : bits;
}

// Bytes of the rows the header describes: the size the platform put in
// it, or else the rows at a 4-byte stride.
uint64_t ImageSize(const BITMAPINFOHEADER& header) {
    if (header.biSizeImage != 0) return header.biSizeImage;
    uint64_t stride = ((uint64_t(header.biBitCount) * uint64_t(header.biWidth) + 31) & ~31ull) / 8;
    return stride * uint64_t(header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight);
}

// Grows the block from its header to the header and the image; frees it and
// returns null when that cannot be done.
HGLOBAL GrowForImage(HGLOBAL block, uint64_t image) {
    uint64_t total = sizeof(BITMAPINFOHEADER) + image;
    HGLOBAL grown =
        total <= UINT32_MAX ? GlobalReAlloc(block, SIZE_T(total), GMEM_MOVEABLE) : nullptr;
    if (!grown) GlobalFree(block);
    return grown;
}

bool WriteAll(HANDLE file, const void* bytes, SIZE_T size) {
    DWORD written = 0;
    return WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

}  // namespace

void ShowPreviewWindow(void) {
    if (g_previewWindow) {
        ShowWindow(g_previewWindow, SW_SHOW);
        InvalidateRect(g_previewWindow, nullptr, TRUE);
        return;
    }
    if (!g_previewClass) RegisterPreviewClass();
    wchar_t title[TEXT_SIZE];
    LoadSetupText(g_previewSetup.title, title);
    g_previewWindow = CreateWindowExW(
        WS_EX_TOOLWINDOW, PREVIEW_CLASS, title, WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
        CW_USEDEFAULT, FIRST_SIZE, FIRST_SIZE, nullptr, nullptr, g_previewSetup.instance, nullptr);
}

void FitPreviewWindow(void) {
    if (!g_previewWindow) return;
    PreviewFrameMetrics metrics = {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER),
                                   GetSystemMetrics(SM_CYSMCAPTION)};
    PreviewWindowSize size =
        PreviewWindowSizeFor(g_previewImage.width, g_previewImage.height, &metrics);
    SetWindowPos(g_previewWindow, HWND_TOP, 0, 0, size.width, size.height,
                 SWP_NOMOVE | SWP_NOACTIVATE);
    ShowWindow(g_previewWindow, SW_SHOW);
}

LRESULT CALLBACK PreviewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            LoadButtonStrip();
            return 0;
        case WM_PAINT:
            return PaintPreview(window);
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            OnPreviewDestroy(window);
            return 0;
        case WM_LBUTTONDOWN:
            OnPreviewPress(window, lParam);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT PaintPreview(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HDC memory = CreateCompatibleDC(dc);
    // A memory context starts with a stock bitmap, which goes back before
    // the context is released.
    HGDIOBJ held = GetCurrentObject(memory, OBJ_BITMAP);
    DrawButtonStrip(dc, memory);
    DrawCounterAndType(dc);
    DrawPicture(dc, memory);
    SelectObject(memory, held);
    DeleteDC(memory);
    EndPaint(window, &paint);
    return 0;
}

void SavePreviewAsBmp(HWND window) {
    if (!g_previewImage.bitmap) return;
    wmemset(g_saveName, L'\0', NAME_SIZE);
    // The description, a NUL, the pattern, then zeros: the list's end.
    wchar_t filter[FILTER_SIZE] = {};
    LoadStringW(g_previewSetup.instance, g_previewSetup.bmpFilter, filter, FILTER_SIZE);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = g_saveName;
    dialog.nMaxFile = NAME_SIZE;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog)) return;

    // The main window stays usable while the dialog is up: another row may
    // have replaced the picture, or left none.
    HBITMAP picture = g_previewImage.bitmap;
    if (!picture) return;
    HGLOBAL block = BitmapToPackedDib(picture);
    if (!block) {
        ShowSaveFailed(window);
        return;
    }
    WriteBmpFile(g_saveName, block, window);
    GlobalFree(block);
}

HGLOBAL BitmapToPackedDib(HBITMAP bitmap) {
    BITMAP shape;
    if (!bitmap || GetObjectW(bitmap, sizeof(shape), &shape) == 0) return nullptr;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = shape.bmWidth;
    header.biHeight = shape.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = SavedBitCount(shape);
    header.biCompression = BI_RGB;
    UINT rows = static_cast<UINT>(shape.bmHeight);

    HDC screen = GetDC(nullptr);
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, sizeof(header));
    if (block) {
        auto* info = static_cast<BITMAPINFO*>(GlobalLock(block));
        memcpy(info, &header, sizeof(header));
        // Without a pixel buffer the platform only completes the header.
        GetDIBits(screen, bitmap, 0, rows, nullptr, info, DIB_RGB_COLORS);
        uint64_t image = ImageSize(info->bmiHeader);
        GlobalUnlock(block);
        block = GrowForImage(block, image);
    }
    if (block) {
        auto* info = static_cast<BITMAPINFO*>(GlobalLock(block));
        uint8_t* pixels = reinterpret_cast<uint8_t*>(info) + info->bmiHeader.biSize;
        int read = GetDIBits(screen, bitmap, 0, rows, pixels, info, DIB_RGB_COLORS);
        GlobalUnlock(block);
        if (read == 0) {
            GlobalFree(block);
            block = nullptr;
        }
    }
    ReleaseDC(nullptr, screen);
    return block;
}

void WriteBmpFile(const wchar_t* path, HGLOBAL block, HWND owner) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ShowSaveFailed(owner);
        return;
    }
    SIZE_T blockSize = GlobalSize(block);
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    uint8_t header[BMP_FILE_HEADER_SIZE];
    PutBmpFileHeader(header, static_cast<uint32_t>(blockSize), GetLe32(bytes));
    bool written = WriteAll(file, header, sizeof(header)) && WriteAll(file, bytes, blockSize);
    GlobalUnlock(block);
    CloseHandle(file);
    // A file cut short by a failed write is no picture: it goes, and the
    // save is reported as failed.
    if (!written) {
        DeleteFileW(path);
        ShowSaveFailed(owner);
    }
}
