// decoder_test_util.h -- what the decoder suites share: running a decoder on
// exactly an entry's bytes, and a table of entries that give no picture.
#ifndef CASKWRIGHT_DECODER_TEST_UTIL_H
#define CASKWRIGHT_DECODER_TEST_UTIL_H

#include <gtest/gtest.h>
#include <preview.h>

#include <vector>

#include "picture_util.h"

// A decoder's pixel work: entry bytes and size in, a picture or a refusal out.
using PixelDecoder = bool (*)(const uint8_t* data, uint32_t size, PreviewPicture* picture);

// Runs decoder on a copy of exactly the entry's bytes, so that a read past
// them is caught.
inline bool DecodeExactly(PixelDecoder decoder, const Bytes& entry, PreviewPicture* picture) {
    Bytes exact(entry);
    return decoder(exact.data(), uint32_t(exact.size()), picture);
}

// An entry that must give no picture, and why.
struct NoPicture {
    const char* what;
    Bytes entry;
};

// Expects decoder to refuse each entry and null data, leaving the picture
// empty.
inline void ExpectNoPicture(PixelDecoder decoder, const std::vector<NoPicture>& cases) {
    for (const NoPicture& c : cases) {
        PreviewPicture picture;
        EXPECT_FALSE(DecodeExactly(decoder, c.entry, &picture)) << c.what;
        EXPECT_EQ(picture.pixels, nullptr) << c.what;
    }
    PreviewPicture none;
    EXPECT_FALSE(decoder(nullptr, 100, &none)) << "null data";
    EXPECT_EQ(none.pixels, nullptr) << "null data";
}

#endif
