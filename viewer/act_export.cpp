// act_export.cpp -- an action of an animation composed frame by frame and
// written as one animated GIF.
#include <stdlib.h>

#include "export.h"

bool ExportActionGif(const ActFile* act, const SprSheet* sprite, const uint8_t* palette,
                     uint32_t action, uint8_t** out, size_t* outSize) {
    *out = nullptr;
    *outSize = 0;
    ActCanvas canvas;
    if (!ActActionCanvas(act, sprite, action, &canvas)) return false;
    const ActAction& a = act->actions[action];
    if (a.frameCount == 0) return false;
    RgbaPicture* frames = static_cast<RgbaPicture*>(calloc(a.frameCount, sizeof(RgbaPicture)));
    uint32_t* delays = static_cast<uint32_t*>(calloc(a.frameCount, sizeof(uint32_t)));
    bool ok = frames && delays;
    for (uint32_t f = 0; ok && f < a.frameCount; ++f) {
        ok = ComposeActFrame(act, sprite, palette, action, f, &canvas, &frames[f]);
        delays[f] = ActFrameDelayMs(&a);
    }
    if (ok) ok = EncodeGifAnimation(frames, delays, a.frameCount, out, outSize);
    for (uint32_t f = 0; frames && f < a.frameCount; ++f) FreeRgbaPicture(&frames[f]);
    free(frames);
    free(delays);
    return ok;
}
