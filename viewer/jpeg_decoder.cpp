// jpeg_decoder.cpp -- JPEG through libjpeg and the viewer's memory source.
// libjpeg's standard error exit ends the process; ours jumps back here, so
// corrupt data costs the preview, never the program.
#include <setjmp.h>

#include "jpeg_source.h"
#include "preview.h"

namespace {

struct JpegErrorExit {
    jpeg_error_mgr pub;  // the library's fields; must come first
    jmp_buf jump;
};

// Everything one decompression needs, kept in memory (not in registers) so
// that it is intact after the error exit's jump.
struct JpegDecode {
    jpeg_decompress_struct cinfo;
    JpegErrorExit error;
};

[[noreturn]] void ReturnToDecoder(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegErrorExit*>(cinfo->err)->jump, 1);
}

// Warnings (such as data that ends early) are not shown: there is nowhere
// to show them, and the picture is still the library's best.
void IgnoreMessage(j_common_ptr) {}

void CopyRow(const JSAMPLE* in, uint8_t* out, uint32_t width, int components) {
    if (components == 3) {
        // Red, green, blue from the library; blue, green, red in the picture.
        for (uint32_t x = 0; x < width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    } else {
        for (uint32_t x = 0; x < width; ++x, ++in, out += 3) out[0] = out[1] = out[2] = in[0];
    }
}

bool ReadPicture(j_decompress_ptr cinfo, const uint8_t* data, uint32_t size,
                 PreviewPicture* picture) {
    SetJpegMemorySource(cinfo, data, size);
    jpeg_read_header(cinfo, TRUE);
    // Refused before the library allocates for the whole image.
    if (cinfo->out_color_space != JCS_RGB && cinfo->out_color_space != JCS_GRAYSCALE) return false;
    if (uint64_t(cinfo->image_width) * cinfo->image_height > PREVIEW_MAX_PIXELS) return false;
#ifdef JCS_EXTENSIONS
    // Where the library can write blue, green, red itself, its rows go
    // straight into the picture: the same samples, without a second pass.
    if (cinfo->out_color_space == JCS_RGB) cinfo->out_color_space = JCS_EXT_BGR;
#endif

    jpeg_start_decompress(cinfo);
    int components = cinfo->output_components;
    if (components != 3 && components != 1) return false;
    uint32_t width = cinfo->output_width;
    if (!MakePreviewPicture(int32_t(width), -int32_t(cinfo->output_height), picture)) return false;
#ifdef JCS_EXTENSIONS
    bool direct = cinfo->out_color_space == JCS_EXT_BGR;
#else
    bool direct = false;
#endif

    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 width * JDIMENSION(components), 1);
    while (cinfo->output_scanline < cinfo->output_height) {
        uint8_t* out = picture->pixels + size_t(cinfo->output_scanline) * picture->stride;
        JSAMPROW target = direct ? out : row[0];
        // Our source never suspends, so every call yields a row.
        if (jpeg_read_scanlines(cinfo, &target, 1) != 1) return false;
        if (!direct) CopyRow(row[0], out, width, components);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

}  // namespace

bool DecodeJpegPixels(const uint8_t* data, uint32_t size, PreviewPicture* picture) {
    *picture = PreviewPicture{};
    if (!data || size == 0) return false;

    JpegDecode decode{};
    decode.cinfo.err = jpeg_std_error(&decode.error.pub);
    decode.error.pub.error_exit = ReturnToDecoder;
    decode.error.pub.output_message = IgnoreMessage;
    if (setjmp(decode.error.jump)) {
        jpeg_destroy_decompress(&decode.cinfo);
        FreePreviewPicture(picture);
        return false;
    }
    jpeg_create_decompress(&decode.cinfo);
    bool ok = ReadPicture(&decode.cinfo, data, size, picture);
    jpeg_destroy_decompress(&decode.cinfo);
    if (!ok) FreePreviewPicture(picture);
    return ok;
}
