// platform_hooks.cpp -- the test build's side of platform_hooks.h: one
// countdown per kind of fault, the largest block and the last debugger line.
// Linked only into caskwright_engine_testing, never into the library that
// ships.
#include "platform_hooks.h"

namespace {
// Per kind: 0 when nothing fails on purpose (so zero-initialised memory
// means off, whatever runs first), else 1 + the calls still to succeed.
int32_t g_countdown[kPlatformFaultKinds];
bool g_once[kPlatformFaultKinds];  // the failure passes after one call
wchar_t g_lastDebugLine[2048];
size_t g_largestAllocation;
void (*g_stepWatcher)(uint32_t);
uint32_t g_steps;
}  // namespace

bool PlatformFaultNow(PlatformFault fault) {
    int32_t& countdown = g_countdown[fault];
    if (countdown == 0) return false;
    if (countdown == 1) {
        if (g_once[fault]) countdown = 0;
        return true;
    }
    --countdown;
    return false;
}

void PlatformFailAfter(PlatformFault fault, int32_t after) {
    g_countdown[fault] = after < 0 ? 0 : after + 1;
    g_once[fault] = false;
}

void PlatformFailOnce(PlatformFault fault, int32_t after) {
    PlatformFailAfter(fault, after);
    g_once[fault] = after >= 0;
}

void PlatformKeepDebugLine(const wchar_t* text) {
    wcsncpy(g_lastDebugLine, text, 2047);
    g_lastDebugLine[2047] = L'\0';
}

const wchar_t* PlatformLastDebugLine(void) {
    return g_lastDebugLine;
}

void PlatformKeepAllocation(size_t size) {
    if (size > g_largestAllocation) g_largestAllocation = size;
}

size_t PlatformLargestAllocation(void) {
    size_t largest = g_largestAllocation;
    g_largestAllocation = 0;
    return largest;
}

void PlatformStep(void) {
    if (g_stepWatcher) g_stepWatcher(++g_steps);
}

void PlatformWatchSteps(void (*watcher)(uint32_t step)) {
    g_stepWatcher = watcher;
    g_steps = 0;
}
