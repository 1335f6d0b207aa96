// fuzz_picture.h -- what every decoded picture must be: the common form's
// header, a sane size, and zero bytes past each row's pixels.
#ifndef CASKWRIGHT_FUZZ_PICTURE_H
#define CASKWRIGHT_FUZZ_PICTURE_H

#include <preview.h>
#include <stdint.h>

inline void CheckPicture(const PreviewPicture& picture) {
    if (!picture.pixels || picture.width <= 0 || picture.height == 0) __builtin_trap();
    if (picture.header[0] != 40 || picture.header[14] != 24) __builtin_trap();
    uint32_t rowBytes = 3 * uint32_t(picture.width);
    if (picture.stride != RoundUpTo4(rowBytes)) __builtin_trap();
    uint32_t rows = uint32_t(picture.height < 0 ? -picture.height : picture.height);
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t i = rowBytes; i < picture.stride; ++i)
            if (picture.pixels[size_t(y) * picture.stride + i] != 0) __builtin_trap();
}

#endif
