// platform_win32.cpp -- the engine's system services on Windows: file
// handles, the process heap, code page 949, the shell's wildcard match and
// the debugger output.
#include "platform.h"
#include "platform_hooks.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shlwapi.h>

namespace {

PlatformFile* FromHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<PlatformFile*>(handle);
}

HANDLE ToHandle(PlatformFile* file) {
    return reinterpret_cast<HANDLE>(file);
}

constexpr UINT kCodePage949 = 949;

}  // namespace

PlatformFile* PlatformOpenRead(const wchar_t* path) {
    return FromHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

PlatformFile* PlatformCreateNew(const wchar_t* path) {
    return FromHandle(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

PlatformFile* PlatformCreateAlways(const wchar_t* path) {
    return FromHandle(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool PlatformRead(PlatformFile* file, void* buffer, uint32_t size, uint32_t* got) {
    DWORD done = 0;
    BOOL ok = ReadFile(ToHandle(file), buffer, size, &done, nullptr);
    *got = done;
    return ok != FALSE;
}

bool PlatformWrite(PlatformFile* file, const void* buffer, uint32_t size) {
    DWORD done = 0;
    return WriteFile(ToHandle(file), buffer, size, &done, nullptr) && done == size;
}

bool PlatformSeek(PlatformFile* file, uint64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(ToHandle(file), distance, nullptr, FILE_BEGIN) != FALSE;
}

uint64_t PlatformFileSize(PlatformFile* file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(ToHandle(file), &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

void PlatformClose(PlatformFile* file) {
    if (file) CloseHandle(ToHandle(file));
}

bool PlatformDeleteFile(const wchar_t* path) {
    return DeleteFileW(path) != FALSE;
}

bool PlatformCreateDirectory(const wchar_t* path) {
    return CreateDirectoryW(path, nullptr) != FALSE;
}

uint32_t PlatformLastError(void) {
    return GetLastError();
}

void* PlatformAlloc(size_t size) {
    if (PlatformFaultNow(kPlatformFaultAllocation)) return nullptr;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
}

void* PlatformGrow(void* block, size_t, size_t newSize) {
    if (!block) return PlatformAlloc(newSize);
    if (PlatformFaultNow(kPlatformFaultAllocation)) return nullptr;
    return HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, newSize ? newSize : 1);
}

void PlatformFree(void* block) {
    HeapFree(GetProcessHeap(), 0, block);
}

bool PlatformCp949ToWideInto(const char* text, wchar_t* out, size_t capacity) {
    int n = MultiByteToWideChar(kCodePage949, 0, text, -1, out, static_cast<int>(capacity));
    return n > 0;
}

wchar_t* PlatformCp949ToWide(const char* text) {
    int n = MultiByteToWideChar(kCodePage949, 0, text, -1, nullptr, 0);
    if (n <= 0) n = 1;
    wchar_t* out = static_cast<wchar_t*>(PlatformAlloc(static_cast<size_t>(n) * sizeof(wchar_t)));
    if (out) MultiByteToWideChar(kCodePage949, 0, text, -1, out, n);
    return out;
}

char* PlatformWideToCp949(const wchar_t* text) {
    int n = WideCharToMultiByte(kCodePage949, 0, text, -1, nullptr, 0, "?", nullptr);
    if (n <= 0) n = 1;
    char* out = static_cast<char*>(PlatformAlloc(static_cast<size_t>(n)));
    if (out) WideCharToMultiByte(kCodePage949, 0, text, -1, out, n, "?", nullptr);
    return out;
}

bool PlatformMatchSpec(const wchar_t* name, const wchar_t* pattern) {
    return PathMatchSpecW(name, pattern) != FALSE;
}

void PlatformDebugOutput(const wchar_t* text) {
    OutputDebugStringW(text);
    PlatformKeepDebugLine(text);
}
