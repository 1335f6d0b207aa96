// platform_threads_win32.cpp -- platform_threads.h on Win32 threads.
#include <windows.h>

#include "platform_threads.h"

struct PlatformThread {
    HANDLE handle;
    void (*run)(void*);
    void* argument;
};

namespace {

DWORD WINAPI Start(void* self) {
    auto* thread = static_cast<PlatformThread*>(self);
    thread->run(thread->argument);
    return 0;
}

}  // namespace

PlatformThread* PlatformStartThread(void (*run)(void*), void* argument) {
    auto* thread = static_cast<PlatformThread*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PlatformThread)));
    if (!thread) return nullptr;
    thread->run = run;
    thread->argument = argument;
    thread->handle = CreateThread(nullptr, 0, Start, thread, 0, nullptr);
    if (!thread->handle) {
        HeapFree(GetProcessHeap(), 0, thread);
        return nullptr;
    }
    return thread;
}

void PlatformJoinThread(PlatformThread* thread) {
    if (!thread) return;
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    HeapFree(GetProcessHeap(), 0, thread);
}

void PlatformPause(void) {
    Sleep(1);
}

uint32_t PlatformCoreCount(void) {
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process) {
        uint32_t n = 0;
        for (; process; process &= process - 1) ++n;
        return n;
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}
