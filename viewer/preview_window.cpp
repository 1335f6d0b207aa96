// preview_window.cpp -- the preview window's arithmetic: its size for a
// picture and its fit to the screen, its buttons' hit areas and the file
// header of a saved bitmap.
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

int64_t Smaller(int64_t a, int64_t b) {
    return a < b ? a : b;
}

// What the frame, the top row and the tools row add around the content.
struct Surround {
    int32_t width;
    int32_t height;
};

Surround SurroundOf(const PreviewContent& content, const PreviewFrameMetrics& metrics) {
    int32_t tools = content.toolsRow ? PREVIEW_TOOLS_HEIGHT : 0;
    return {4 * metrics.borderWidth + 2,
            metrics.captionHeight + 4 * metrics.borderHeight + 26 + tools};
}

// The zoom that keeps width x height inside room, up to the one asked for;
// in 64 bits, as sizes times factors may pass 2^31.
uint32_t FittingZoom(int64_t width, int64_t height, uint32_t asked, int64_t roomWidth,
                     int64_t roomHeight) {
    uint32_t zoom = asked < 1 ? 1 : asked > PREVIEW_MAX_ZOOM ? PREVIEW_MAX_ZOOM : asked;
    while (zoom > 1 && (width * zoom > roomWidth || height * zoom > roomHeight)) --zoom;
    return zoom;
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

int32_t PreviewTypeNameX(int32_t counterWidth) {
    const int32_t GAP = 8;
    return Larger(PREVIEW_TYPE_X, PREVIEW_COUNTER_X + counterWidth + GAP);
}

PreviewFit FitPreviewContent(const PreviewContent* content, const PreviewFrameMetrics* metrics,
                             const PreviewArea* area) {
    Surround around = SurroundOf(*content, *metrics);
    int64_t roomWidth = Larger(1, area->width - around.width);
    int64_t roomHeight = Larger(1, area->height - around.height);
    int64_t width = Larger(1, content->width);
    int64_t height = Larger(1, content->height);
    PreviewFit fit = {};
    fit.percent = 100;
    int64_t shownWidth = width, shownHeight = height;
    if (!content->picture) {
        shownWidth = Smaller(width, roomWidth);
        shownHeight = Smaller(height, roomHeight);
    } else if (width <= roomWidth && height <= roomHeight) {
        uint32_t zoom = FittingZoom(width, height, content->zoom, roomWidth, roomHeight);
        fit.percent = 100 * zoom;
        shownWidth = width * zoom;
        shownHeight = height * zoom;
    } else {
        int64_t percent = Smaller(100 * roomWidth / width, 100 * roomHeight / height);
        fit.percent = uint32_t(percent < 1 ? 1 : percent > 99 ? 99 : percent);
        shownWidth = Larger(1, int32_t(width * fit.percent / 100));
        shownHeight = Larger(1, int32_t(height * fit.percent / 100));
    }
    fit.shownWidth = int32_t(shownWidth);
    fit.shownHeight = int32_t(shownHeight);
    fit.contentY = PREVIEW_PICTURE_Y + (content->toolsRow ? PREVIEW_TOOLS_HEIGHT : 0);
    fit.window.width = Larger(Larger(MIN_WINDOW_WIDTH, fit.shownWidth + around.width),
                              content->minimumWidth + around.width);
    fit.window.height = Larger(MIN_WINDOW_HEIGHT, fit.shownHeight + around.height);
    return fit;
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
