// stored_method.cpp -- telling how stored bytes hold an entry's content,
// and decoding the entries stored with LZMA through liblzma's raw decoder.
#include "stored_method.h"

#include <lzma.h>
#include <stdlib.h>

#include "grf_format.h"
#include "platform.h"

namespace {

// A zlib header: deflate (method 8) with a window of at most 32 KB, and the
// check bits that make the first two bytes a multiple of 31.
bool StartsLikeZlib(const uint8_t* first) {
    return (first[0] & 0x0F) == 8 && (first[0] >> 4) <= 7 &&
           ((uint32_t{first[0]} << 8) | first[1]) % 31 == 0;
}

}  // namespace

StoredMethod MethodOf(const GrfEntry& entry, const uint8_t* first, uint32_t available) {
    if (entry.cycle == GRF_CYCLE_FOREIGN) return kMethodForeign;
    if (available < 2 || StartsLikeZlib(first)) return kMethodZlib;
    // Files stored uncompressed keep reading as they always did, whatever
    // their first byte.
    if (entry.compressedSize == entry.realSize) return kMethodPlain;
    if (first[0] == 0) return kMethodLzma;
    return kMethodForeign;
}

struct LzmaDecoder {
    lzma_stream stream;
};

uint32_t LzmaBegin(const uint8_t* properties, uint32_t realSize, LzmaDecoder** decoder) {
    *decoder = nullptr;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_ret ret = lzma_properties_decode(&filters[0], nullptr, properties, 5);
    if (ret != LZMA_OK) return ret == LZMA_MEM_ERROR ? GRF_ERROR_MEMORY : GRF_ERROR_INFLATE;
    // A match never reaches back past the content's start, so a dictionary
    // larger than the content is never used: the stated size is untrusted.
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    uint32_t needed = realSize < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : realSize;
    if (options->dict_size > needed) options->dict_size = needed;
    auto* made = static_cast<LzmaDecoder*>(PlatformAlloc(sizeof(LzmaDecoder)));
    uint32_t code = GRF_OK;
    if (!made) {
        code = GRF_ERROR_MEMORY;
    } else {
        made->stream = LZMA_STREAM_INIT;
        ret = lzma_raw_decoder(&made->stream, filters);
        if (ret != LZMA_OK) code = ret == LZMA_MEM_ERROR ? GRF_ERROR_MEMORY : GRF_ERROR_INFLATE;
    }
    free(filters[0].options);  // liblzma's own allocation, and the decoder keeps a copy
    if (code != GRF_OK) {
        PlatformFree(made);
        return code;
    }
    *decoder = made;
    return GRF_OK;
}

uint32_t LzmaRun(LzmaDecoder* decoder, const uint8_t* in, size_t inSize, size_t* used, uint8_t* out,
                 size_t outSize, size_t* made, bool* ended) {
    lzma_stream& s = decoder->stream;
    s.next_in = in;
    s.avail_in = inSize;
    s.next_out = out;
    s.avail_out = outSize;
    lzma_ret ret = lzma_code(&s, LZMA_RUN);
    *used = inSize - s.avail_in;
    *made = outSize - s.avail_out;
    *ended = ret == LZMA_STREAM_END;
    // No progress is no failure here: the caller has no more to give.
    if (ret == LZMA_OK || ret == LZMA_STREAM_END || ret == LZMA_BUF_ERROR) return GRF_OK;
    return ret == LZMA_MEM_ERROR ? GRF_ERROR_MEMORY : GRF_ERROR_INFLATE;
}

void LzmaEnd(LzmaDecoder* decoder) {
    if (!decoder) return;
    lzma_end(&decoder->stream);
    PlatformFree(decoder);
}

uint32_t LzmaDecodeEntry(const uint8_t* stored, uint32_t compressedSize, uint8_t* out,
                         uint32_t realSize) {
    if (compressedSize < grf::kLzmaHead) return GRF_ERROR_INFLATE;
    LzmaDecoder* decoder = nullptr;
    uint32_t code = LzmaBegin(stored + 1, realSize, &decoder);
    if (code != GRF_OK) return code;
    size_t used = 0, made = 0;
    bool ended = false;
    code = LzmaRun(decoder, stored + grf::kLzmaHead, compressedSize - grf::kLzmaHead, &used, out,
                   realSize, &made, &ended);
    LzmaEnd(decoder);
    if (code == GRF_OK && made != realSize) code = GRF_ERROR_INFLATE;
    return code;
}
