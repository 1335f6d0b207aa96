// preview_window.cpp -- the preview window's arithmetic: its size for a
// picture, its buttons' hit areas and the file header of a saved bitmap.
#include "preview_window.h"

#include "le_bytes.h"

namespace {

const int32_t MIN_WINDOW_WIDTH = 256;  // room for the strip, counter and type
const int32_t MIN_WINDOW_HEIGHT = 64;

struct HitArea {
    int32_t left, right;  // both included
    PreviewButton button;
};

const int32_t BUTTON_TOP = 3;  // both included, for every button
const int32_t BUTTON_BOTTOM = 21;

const HitArea BUTTONS[] = {
    {3, 43, PREVIEW_BUTTON_PREV},
    {46, 87, PREVIEW_BUTTON_NEXT},
    {90, 131, PREVIEW_BUTTON_WRITE},
};

int32_t Larger(int32_t a, int32_t b) {
    return a > b ? a : b;
}

}  // namespace

PreviewWindowSize PreviewWindowSizeFor(int32_t width, int32_t height,
                                       const PreviewFrameMetrics* metrics) {
    PreviewWindowSize size;
    size.width = Larger(MIN_WINDOW_WIDTH, width + 4 * metrics->borderWidth + 2);
    size.height =
        Larger(MIN_WINDOW_HEIGHT, height + metrics->captionHeight + 4 * metrics->borderHeight + 26);
    return size;
}

PreviewButton PreviewButtonAt(int32_t x, int32_t y) {
    if (y < BUTTON_TOP || y > BUTTON_BOTTOM) return PREVIEW_BUTTON_NONE;
    for (const HitArea& area : BUTTONS) {
        if (x >= area.left && x <= area.right) return area.button;
    }
    return PREVIEW_BUTTON_NONE;
}

void PutBmpFileHeader(uint8_t* header, uint32_t blockSize, uint32_t infoSize) {
    header[0] = 'B';
    header[1] = 'M';
    PutLe32(header + 2, BMP_FILE_HEADER_SIZE + blockSize);
    PutLe16(header + 6, 0);
    PutLe16(header + 8, 0);
    PutLe32(header + 10, BMP_FILE_HEADER_SIZE + infoSize);
}
