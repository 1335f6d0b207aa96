// writer.cpp -- writing new archives.
#include "grf.h"

extern "C" uint32_t GrfAlign8(uint32_t size) {
    uint32_t rest = size % 8;
    return rest == 0 ? size : size + 8 - rest;
}
