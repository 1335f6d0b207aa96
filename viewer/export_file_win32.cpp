// export_file_win32.cpp -- WriteExportFile on Windows: a temporary file made
// with CREATE_NEW beside the target, written, flushed, then moved into
// place with MoveFileExW (replacing only when asked, writing through).
#include <stdio.h>
#include <windows.h>

#include <string>

#include "export.h"

bool WriteExportFile(const wchar_t* path, const uint8_t* bytes, size_t size, bool replaceExisting) {
    if (!path || !*path) return false;
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        wchar_t suffix[32];
        swprintf(suffix, 32, L".%lu-%d.part", GetCurrentProcessId(), attempt);
        temporary = std::wstring(path) + suffix;
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    while (ok && size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : DWORD(size), written = 0;
        ok = WriteFile(file, bytes, chunk, &written, nullptr) && written == chunk;
        bytes += written;
        size -= written;
    }
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
    if (ok) ok = MoveFileExW(temporary.c_str(), path, flags) != FALSE;
    if (!ok) DeleteFileW(temporary.c_str());
    return ok;
}
