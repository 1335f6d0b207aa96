// writer.cpp -- writing new archives.
#include "grf.h"

// The engine-wide repack settings and the base folder of local-file records.
uint32_t GrfRepackLevel = 3;
uint32_t GrfRepackVersion = 0x103;
wchar_t GrfLocalBaseDir[260] = {};

extern "C" uint32_t GrfAlign8(uint32_t size) {
    uint32_t rest = size % 8;
    return rest == 0 ? size : size + 8 - rest;
}
