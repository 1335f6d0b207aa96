// platform_faults.cpp -- allocations that fail on purpose, so tests can show
// that running out of memory leaves tables as they were. Shared by both
// platform files.
#include "platform.h"

namespace {
int32_t g_allocationsLeft = -1;  // -1: no failures on purpose
}  // namespace

void PlatformFailAllocationsAfter(int32_t after) {
    g_allocationsLeft = after;
}

bool PlatformAllocationFails(void) {
    if (g_allocationsLeft < 0) return false;
    if (g_allocationsLeft == 0) return true;
    --g_allocationsLeft;
    return false;
}
