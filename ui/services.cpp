// services.cpp -- the shared user-interface state and its small services.
#include "services.h"

#include <commctrl.h>
#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include "resource.h"

HINSTANCE g_instance = nullptr;
HWND g_mainWindow = nullptr;
HWND g_statusBar = nullptr;
int32_t g_statusUpdates = 0;
GrfArchive* g_archive = GRF_NO_ARCHIVE;
EntryView g_entryView = {&g_archive};
wchar_t g_stringBuffer[TEXT_BUFFER_SIZE];

namespace {

// Updates of the status line between two forced repaints.
const int32_t STATUS_REPAINT_EVERY = 17;

// _vsnwprintf keeps the platform's wide %s; the C library's vswprintf would
// read %s as narrow text under MinGW's standard-conforming printf.
void FormatTextV(wchar_t* buffer, size_t size, const wchar_t* format, va_list arguments) {
    if (size == 0) return;
    int written = _vsnwprintf(buffer, size - 1, format, arguments);
    if (written < 0 || static_cast<size_t>(written) >= size - 1)
        written = static_cast<int>(size - 1);
    buffer[written] = L'\0';
}

}  // namespace

wchar_t* LoadResString(UINT id) {
    // Clearing half the buffer is enough to end any filter list with zeros.
    wmemset(g_stringBuffer, L'\0', TEXT_BUFFER_SIZE / 2);
    LoadStringW(g_instance, id, g_stringBuffer, TEXT_BUFFER_SIZE);
    return g_stringBuffer;
}

void FormatText(wchar_t* buffer, size_t size, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    FormatTextV(buffer, size, format, arguments);
    va_end(arguments);
}

void ShowError(HWND owner, const wchar_t* format, ...) {
    // Format first: the format is usually g_stringBuffer, which the caption
    // load below overwrites.
    wchar_t message[TEXT_BUFFER_SIZE];
    va_list arguments;
    va_start(arguments, format);
    FormatTextV(message, TEXT_BUFFER_SIZE, format, arguments);
    va_end(arguments);
    MessageBoxW(owner, message, LoadResString(IDS_ERROR_CAPTION), MB_OK | MB_ICONERROR);
}

void ShowProblem(HWND owner, UINT caption, const wchar_t* format, ...) {
    wchar_t message[TEXT_BUFFER_SIZE];
    va_list arguments;
    va_start(arguments, format);
    FormatTextV(message, TEXT_BUFFER_SIZE, format, arguments);
    va_end(arguments);
    wchar_t title[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, caption, title, TEXT_BUFFER_SIZE);
    MessageBoxW(owner, message, title, MB_OK | MB_ICONERROR);
}

void SetMainTitle(const wchar_t* text) {
    wchar_t title[TEXT_BUFFER_SIZE];
    wchar_t format[TEXT_BUFFER_SIZE];
    // text may itself live in g_stringBuffer: copy the format out of it.
    LoadStringW(g_instance, IDS_TITLE_FORMAT, format, TEXT_BUFFER_SIZE);
    FormatText(title, TEXT_BUFFER_SIZE, format, text);
    SendMessageW(g_mainWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title));
}

void SetStatusText(const wchar_t* text) {
    SendMessageW(g_statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    g_statusUpdates += 1;
    if (g_statusUpdates >= STATUS_REPAINT_EVERY) {
        g_statusUpdates = 0;
        UpdateWindow(g_mainWindow);
    }
}
