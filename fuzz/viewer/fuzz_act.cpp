// fuzz_act -- animations on fuzzed files: parsing, the canvas of each of the
// first actions and their first and last frames composed over a fixed
// sprite of both kinds of image, and small actions exported as GIF. No read
// outside the entry, every index into the parsed arrays in range, and every
// picture the size of its canvas.
#include <act.h>
#include <export.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

namespace {

const uint64_t kMaxFuzzedCanvas = 1 << 18;

void Put16(std::vector<uint8_t>* out, uint16_t v) {
    out->push_back(uint8_t(v));
    out->push_back(uint8_t(v >> 8));
}

// Version 2.1: three palette images (3 x 2 raw runs, 2 x 2 with a run of
// entry 0, 1 x 1), two true-colour images (2 x 1, 1 x 1), a ramp palette.
const std::vector<uint8_t>& Sprite() {
    static const std::vector<uint8_t> sprite = [] {
        std::vector<uint8_t> s = {'S', 'P', 1, 2};
        Put16(&s, 3);
        Put16(&s, 2);
        const std::vector<std::vector<uint8_t>> coded = {{1, 2, 3, 4, 5, 6}, {7, 0, 2, 8}, {9}};
        const uint16_t sizes[3][2] = {{3, 2}, {2, 2}, {1, 1}};
        for (int i = 0; i < 3; ++i) {
            Put16(&s, sizes[i][0]);
            Put16(&s, sizes[i][1]);
            Put16(&s, uint16_t(coded[i].size()));
            s.insert(s.end(), coded[i].begin(), coded[i].end());
        }
        Put16(&s, 2), Put16(&s, 1);
        s.insert(s.end(), {255, 0, 0, 255, 128, 10, 20, 30});
        Put16(&s, 1), Put16(&s, 1);
        s.insert(s.end(), {40, 1, 2, 3});
        for (int i = 0; i < 256; ++i)
            s.insert(s.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0});
        return s;
    }();
    return sprite;
}

void Check(const ActFile& act) {
    for (uint32_t a = 0; a < act.actionCount; ++a) {
        const ActAction& action = act.actions[a];
        if (action.firstFrame + uint64_t(action.frameCount) > act.frameTotal) __builtin_trap();
        if (!(action.interval > 0)) __builtin_trap();
    }
    for (uint32_t f = 0; f < act.frameTotal; ++f) {
        const ActFrame& frame = act.frames[f];
        if (frame.firstLayer + uint64_t(frame.layerCount) > act.layerTotal) __builtin_trap();
        if (frame.firstAnchor + uint64_t(frame.anchorCount) > act.anchorTotal) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ActFile act;
    if (!ParseAct(data, uint32_t(size), &act)) return 0;
    Check(act);
    const std::vector<uint8_t>& bytes = Sprite();
    SprSheet sheet;
    if (!OpenSprSheet(bytes.data(), uint32_t(bytes.size()), &sheet)) __builtin_trap();
    for (uint32_t a = 0; a < act.actionCount && a < 4; ++a) {
        ActCanvas canvas;
        if (!ActActionCanvas(&act, &sheet, a, &canvas)) __builtin_trap();
        if (canvas.width <= 0 || canvas.height <= 0 || canvas.width > 2 * ACT_CANVAS_LIMIT ||
            canvas.height > 2 * ACT_CANVAS_LIMIT)
            __builtin_trap();
        // Huge canvases are right but slow: the fuzzer spends its time on
        // parsing and placing rather than on zeroing memory.
        if (uint64_t(canvas.width) * uint64_t(canvas.height) > kMaxFuzzedCanvas) continue;
        uint32_t frames = act.actions[a].frameCount;
        const uint32_t picks[] = {0, frames ? frames - 1 : 0};
        for (uint32_t frame : picks) {
            RgbaPicture picture;
            bool composed = ComposeActFrame(&act, &sheet, nullptr, a, frame, &canvas, &picture);
            if (composed != (frame < frames)) __builtin_trap();
            if (composed && (picture.width != canvas.width || picture.height != canvas.height))
                __builtin_trap();
            FreeRgbaPicture(&picture);
        }
        if (frames > 0 && frames <= 8 && canvas.width * canvas.height <= 4096) {
            uint8_t* gif;
            size_t gifSize;
            if (!ExportActionGif(&act, &sheet, nullptr, a, &gif, &gifSize)) __builtin_trap();
            free(gif);
        }
    }
    CloseSprSheet(&sheet);
    FreeAct(&act);
    return 0;
}
