// picture_util.cpp -- see picture_util.h.
#include "picture_util.h"

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>

Bytes PixelsOf(const PreviewPicture& picture) {
    if (!picture.pixels) return {};
    size_t rows = size_t(picture.height < 0 ? -int64_t{picture.height} : picture.height);
    return Bytes(picture.pixels, picture.pixels + rows * picture.stride);
}

Bytes AlignedRows(uint32_t width, uint32_t height, const Bytes& packed) {
    size_t stride = (width * 3 + 3) / 4 * 4;
    Bytes rows(stride * height, 0);
    for (uint32_t y = 0; y < height; ++y)
        memcpy(rows.data() + y * stride, packed.data() + size_t(y) * width * 3, width * 3);
    return rows;
}

Bytes GreyRows(uint32_t width, uint32_t height, const Bytes& greys) {
    Bytes packed;
    for (uint8_t g : greys) packed.insert(packed.end(), {g, g, g});
    return AlignedRows(width, height, packed);
}

void PutLe16At(Bytes* bytes, size_t offset, uint16_t value) {
    (*bytes)[offset] = uint8_t(value);
    (*bytes)[offset + 1] = uint8_t(value >> 8);
}

void PutLe32At(Bytes* bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = uint8_t(value >> (8 * i));
}

Bytes MakeTga(uint8_t bits, int16_t width, int16_t height, const Bytes& pixels, uint8_t idLength,
              uint8_t descriptor, uint8_t imageType) {
    Bytes tga(18, 0);
    tga[0] = idLength;
    tga[2] = imageType;
    PutLe16At(&tga, 12, uint16_t(width));
    PutLe16At(&tga, 14, uint16_t(height));
    tga[16] = bits;
    tga[17] = descriptor;
    tga.insert(tga.end(), idLength, 'i');
    tga.insert(tga.end(), pixels.begin(), pixels.end());
    return tga;
}

Bytes MakeSpr(uint8_t minor, uint8_t major, uint16_t count, const std::vector<Bytes>& records,
              const Bytes& palette, uint16_t trueColourCount) {
    Bytes spr = {'S', 'P', minor, major, 0, 0};
    PutLe16At(&spr, 4, count);
    if (!(major == 1 && minor == 1)) {  // true-colour frame count
        spr.insert(spr.end(), {0, 0});
        PutLe16At(&spr, 6, trueColourCount);
    }
    for (const Bytes& record : records) spr.insert(spr.end(), record.begin(), record.end());
    spr.insert(spr.end(), palette.begin(), palette.end());
    return spr;
}

Bytes RleRecord(uint16_t width, uint16_t height, const Bytes& coded) {
    Bytes record(6, 0);
    PutLe16At(&record, 0, width);
    PutLe16At(&record, 2, height);
    PutLe16At(&record, 4, uint16_t(coded.size()));
    record.insert(record.end(), coded.begin(), coded.end());
    return record;
}

Bytes RawRecord(uint16_t width, uint16_t height, const Bytes& indices) {
    Bytes record(4, 0);
    PutLe16At(&record, 0, width);
    PutLe16At(&record, 2, height);
    record.insert(record.end(), indices.begin(), indices.end());
    return record;
}

Bytes RgbaRecord(uint16_t width, uint16_t height, const Bytes& rgbaTopFirst) {
    Bytes record(4, 0);
    PutLe16At(&record, 0, width);
    PutLe16At(&record, 2, height);
    for (uint32_t y = height; y-- > 0;) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = &rgbaTopFirst[4 * (size_t(y) * width + x)];
            record.insert(record.end(), {p[3], p[2], p[1], p[0]});
        }
    }
    return record;
}

Bytes RampPalette() {
    Bytes palette;
    for (int i = 0; i < 256; ++i)
        palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0});
    return palette;
}

Bytes MakeGat(uint32_t width, uint32_t height, const std::vector<GatCell>& cells) {
    Bytes gat = {'G', 'R', 'A', 'T', 1, 2, 0, 0, 0, 0, 0, 0, 0, 0};
    PutLe32At(&gat, 6, width);
    PutLe32At(&gat, 10, height);
    for (const GatCell& cell : cells) {
        size_t at = gat.size();
        gat.resize(at + 20);
        for (int i = 0; i < 4; ++i) {
            uint32_t bits;
            memcpy(&bits, &cell.corners[i], 4);
            PutLe32At(&gat, at + 4 * i, bits);
        }
        PutLe32At(&gat, at + 16, cell.type);
    }
    return gat;
}

Bytes MakeBmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
              const Bytes& colourTable, const Bytes& pixels) {
    Bytes bmp(54, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    uint32_t pixelOffset = uint32_t(54 + colourTable.size());
    PutLe32At(&bmp, 2, uint32_t(pixelOffset + pixels.size()));
    PutLe32At(&bmp, 10, pixelOffset);
    PutLe32At(&bmp, 14, 40);
    PutLe32At(&bmp, 18, uint32_t(width));
    PutLe32At(&bmp, 22, uint32_t(height));
    PutLe16At(&bmp, 26, 1);
    PutLe16At(&bmp, 28, bits);
    PutLe32At(&bmp, 30, compression);
    PutLe32At(&bmp, 34, uint32_t(pixels.size()));
    bmp.insert(bmp.end(), colourTable.begin(), colourTable.end());
    bmp.insert(bmp.end(), pixels.begin(), pixels.end());
    return bmp;
}

namespace {

struct TestJpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

[[noreturn]] void JumpBack(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<TestJpegError*>(cinfo->err)->jump, 1);
}

void Quiet(j_common_ptr) {}

}  // namespace

Bytes EncodeJpeg(uint32_t width, uint32_t height, int components, const Bytes& samples, int quality,
                 bool progressive, bool rgbCoded) {
    jpeg_compress_struct cinfo{};
    TestJpegError error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = JumpBack;
    error.pub.output_message = Quiet;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        free(out);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (rgbCoded) jpeg_set_colorspace(&cinfo, JCS_RGB);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row =
            const_cast<JSAMPLE*>(samples.data()) + size_t(cinfo.next_scanline) * width * components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes jpeg(out, out + outSize);
    jpeg_destroy_compress(&cinfo);
    free(out);
    return jpeg;
}

bool ReferenceJpegDecode(const Bytes& jpeg, Bytes* samples, uint32_t* width, uint32_t* height,
                         int* components) {
    jpeg_decompress_struct cinfo{};
    TestJpegError error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = JumpBack;
    error.pub.output_message = Quiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    *width = cinfo.output_width;
    *height = cinfo.output_height;
    *components = cinfo.output_components;
    size_t rowBytes = size_t(cinfo.output_width) * cinfo.output_components;
    samples->assign(rowBytes * cinfo.output_height, 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = samples->data() + rowBytes * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

Bytes ReadFixture(const std::string& relative) {
    Bytes bytes;
    ReadFileBytes(FixturePath(relative), &bytes);
    return bytes;
}
