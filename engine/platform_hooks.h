// platform_hooks.h -- where the platform layer lets tests in: calls that fail
// on purpose, the largest block asked for, and what it sends to the debugger
// kept for reading. The shipped
// library compiles these to nothing; caskwright_engine_testing builds the
// platform file with CASKWRIGHT_PLATFORM_HOOKS and adds platform_hooks.cpp,
// which keeps the countdowns tests set.
#ifndef CASKWRIGHT_PLATFORM_HOOKS_H
#define CASKWRIGHT_PLATFORM_HOOKS_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

// The kinds of platform call a test can make fail, each with its own
// countdown. A new kind is one name here and one PlatformFaultNow at its call.
enum PlatformFault {
    kPlatformFaultAllocation,      // PlatformAlloc and PlatformGrow return null
    kPlatformFaultWrite,           // PlatformWrite and PlatformWriteOutput fail, as on a full disk
    kPlatformFaultFlush,           // PlatformFlush fails, as on a failing disk
    kPlatformFaultTruncate,        // PlatformTruncate fails
    kPlatformFaultUnnamed,         // no unnamed output file, as on a file system without them
    kPlatformFaultLinkDescriptor,  // no link by descriptor, as where it needs a privilege
    kPlatformFaultAccess,          // opening a file is denied, as for one read-only or in use
    kPlatformFaultRangeLock,       // no open-file-description locks: flock instead
    kPlatformFaultKinds
};

#ifdef CASKWRIGHT_PLATFORM_HOOKS

// For the platform file: true when this call is to fail on purpose.
bool PlatformFaultNow(PlatformFault fault);
// For the platform file: a line that went to the debugger output.
void PlatformKeepDebugLine(const wchar_t* text);
// For the platform file: a block of size bytes was asked for.
void PlatformKeepAllocation(size_t size);
// For the platform file: a step that changes a file (write, flush, truncate)
// is about to happen.
void PlatformStep(void);

// For tests: after `after` more calls of that kind succeed, every one fails,
// until called again with -1 (never fail, as at the start).
void PlatformFailAfter(PlatformFault fault, int32_t after);
// For tests: after `after` more calls of that kind succeed, the next one
// fails and the rest succeed again (a passing fault).
void PlatformFailOnce(PlatformFault fault, int32_t after);
// For tests: the last line sent to the debugger output.
const wchar_t* PlatformLastDebugLine(void);
// For tests: the largest block asked for since the last call (then 0 again).
size_t PlatformLargestAllocation(void);
// For tests: calls watcher with the running number of each step (from 1)
// before the step happens, so a test can stop a process at any one of them;
// null stops watching and restarts the count.
void PlatformWatchSteps(void (*watcher)(uint32_t step));

#else

inline bool PlatformFaultNow(PlatformFault) {
    return false;
}
inline void PlatformKeepDebugLine(const wchar_t*) {}
inline void PlatformKeepAllocation(size_t) {}
inline void PlatformStep(void) {}

#endif

#endif
