// console_win32.cpp -- the command line's system services on Windows.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include "console.h"
#include "names.h"

namespace caskw {

namespace {

volatile LONG g_interrupted = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;
}

HANDLE StreamHandle(Stream stream) {
    return GetStdHandle(stream == kStdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode);
}

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length && text ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'.' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) return "system error " + std::to_string(code);
    return WideToUtf8(message);
}

}  // namespace

void PrepareStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool IsTerminal(Stream stream) {
    return IsConsole(StreamHandle(stream));
}

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (GetConsoleScreenBufferInfo(StreamHandle(kStderr), &info)) {
        int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return columns;
    }
    return 80;
}

bool WriteStream(Stream stream, const char* data, size_t size) {
    HANDLE handle = StreamHandle(stream);
    if (IsConsole(handle)) {
        // The console shows wide text whatever its code page.
        std::wstring wide;
        if (Utf8ToWide(std::string_view(data, size), &wide)) {
            DWORD written = 0;
            return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                                 nullptr) != FALSE;
        }
    }
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool Interrupted() {
    return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0;
}

std::filesystem::path PathFromUtf8(const std::string& utf8) {
    std::wstring wide;
    if (!Utf8ToWide(utf8, &wide)) wide.clear();
    return std::filesystem::path(wide);
}

std::string PathToUtf8(const std::filesystem::path& path) {
    return WideToUtf8(path.native());
}

std::wstring EnginePath(const std::filesystem::path& path) {
    return path.native();
}

bool CommitFile(const std::filesystem::path& written, const std::filesystem::path& target,
                std::string* why) {
    HANDLE file = CreateFileW(written.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = SystemMessage(GetLastError());
        return false;
    }
    bool flushed = FlushFileBuffers(file) != FALSE;
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!flushed) {
        *why = SystemMessage(error);
        return false;
    }
    if (!MoveFileExW(written.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *why = SystemMessage(GetLastError());
        return false;
    }
    return true;
}

}  // namespace caskw
