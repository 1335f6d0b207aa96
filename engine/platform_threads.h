// platform_threads.h -- the workers of the engine's parallel calls: start a
// thread, wait for it, count the cores. platform_threads_posix.cpp builds
// them on pthreads, platform_threads_win32.cpp on Win32 threads (the MinGW
// runtime here has no std::thread).
#ifndef CASKWRIGHT_PLATFORM_THREADS_H
#define CASKWRIGHT_PLATFORM_THREADS_H

#include <stdint.h>

struct PlatformThread;

// Starts run(argument) on a new thread; null when no thread can be made.
PlatformThread* PlatformStartThread(void (*run)(void*), void* argument);
// Waits for the thread to end and releases it.
void PlatformJoinThread(PlatformThread* thread);
// Sleeps about a millisecond: a caller waiting for workers.
void PlatformPause(void);
// Cores this process may run on (at least 1).
uint32_t PlatformCoreCount(void);

#endif
