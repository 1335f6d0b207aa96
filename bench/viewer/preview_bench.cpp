// preview_bench -- each decoder's pixel work on a picture of typical size,
// beside a plain copy of the same output size; the JPEG path also beside
// the library decoding the same bytes through its own memory source.
#include <preview.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>

#include <vector>

#include "bench_common.h"
#include "test_support.h"

namespace {

// Keeps the compiler from dropping work whose result is not otherwise used.
inline void Keep(const void* p) {
    asm volatile("" : : "r"(p) : "memory");
}

void PutLe16(Bytes* b, size_t at, uint32_t v) {
    (*b)[at] = uint8_t(v);
    (*b)[at + 1] = uint8_t(v >> 8);
}

void PutLe32(Bytes* b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*b)[at + i] = uint8_t(v >> (8 * i));
}

// A smooth picture with some texture: what real images compress like.
Bytes Scene(uint32_t width, uint32_t height, int channels) {
    Bytes pixels(size_t(width) * height * channels);
    Bytes noise = RandomBytes(pixels.size(), 42);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                size_t i = (size_t(y) * width + x) * channels + c;
                pixels[i] = uint8_t((x * (c + 1) + y * (3 - c)) / 4 + noise[i] % 16);
            }
    return pixels;
}

Bytes MakeTga(uint32_t size, int bits) {
    Bytes tga(18, 0);
    tga[2] = 2;
    PutLe16(&tga, 12, size);
    PutLe16(&tga, 14, size);
    tga[16] = uint8_t(bits);
    Bytes pixels = Scene(size, size, bits / 8);
    if (bits == 32)
        for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = uint8_t(i % 3 ? 255 : i % 256);
    tga.insert(tga.end(), pixels.begin(), pixels.end());
    return tga;
}

struct JpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

[[noreturn]] void JumpBack(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

Bytes MakeJpeg(uint32_t size) {
    Bytes pixels = Scene(size, size, 3);
    jpeg_compress_struct cinfo{};
    JpegError error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = JumpBack;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        free(out);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = size;
    cinfo.image_height = size;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = pixels.data() + size_t(cinfo.next_scanline) * size * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes jpeg(out, out + outSize);
    jpeg_destroy_compress(&cinfo);
    free(out);
    return jpeg;
}

// The library alone: the same bytes through its own memory source, one
// scanline at a time into a whole-picture buffer of its own samples.
bool LibraryDecode(const Bytes& jpeg, Bytes* samples) {
    jpeg_decompress_struct cinfo{};
    JpegError error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = JumpBack;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    size_t rowBytes = size_t(cinfo.output_width) * cinfo.output_components;
    samples->resize(rowBytes * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = samples->data() + rowBytes * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// A 2.1 sprite of `frames` frames of side x side pixels: transparent runs
// around an opaque middle, as character sprites are.
Bytes MakeSprite(uint32_t frames, uint32_t side) {
    Bytes spr = {'S', 'P', 1, 2, 0, 0, 0, 0};
    PutLe16(&spr, 4, frames);
    Bytes noise = RandomBytes(side * side, 7);
    for (uint32_t f = 0; f < frames; ++f) {
        Bytes coded;
        for (uint32_t y = 0; y < side; ++y) {
            uint32_t margin = (y * 7 + f) % (side / 3) + 1;
            coded.insert(coded.end(), {0, uint8_t(margin)});
            for (uint32_t x = margin; x < side - margin; ++x)
                coded.push_back(uint8_t(noise[(y * side + x + f) % noise.size()] | 1));
            coded.insert(coded.end(), {0, uint8_t(margin)});
        }
        Bytes record(6, 0);
        PutLe16(&record, 0, side);
        PutLe16(&record, 2, side);
        PutLe16(&record, 4, uint32_t(coded.size()));
        spr.insert(spr.end(), record.begin(), record.end());
        spr.insert(spr.end(), coded.begin(), coded.end());
    }
    Bytes palette = RandomBytes(1024, 8);
    spr.insert(spr.end(), palette.begin(), palette.end());
    return spr;
}

Bytes MakeMap(uint32_t size) {
    Bytes gat(14 + size_t(20) * size * size, 0);
    memcpy(gat.data(), "GRAT\1\2", 6);
    PutLe32(&gat, 6, size);
    PutLe32(&gat, 10, size);
    for (uint32_t i = 0; i < size * size; ++i) {
        for (int c = 0; c < 4; ++c) {
            float h = float(int(i % 517) - 258) * 0.75f + float(c);
            uint32_t bits;
            memcpy(&bits, &h, 4);
            PutLe32(&gat, 14 + size_t(20) * i + 4 * c, bits);
        }
    }
    return gat;
}

// Seconds of `reps` plain copies of `bytes` bytes into a buffer kept warm.
double CopySeconds(size_t bytes, int reps) {
    Bytes from = RandomBytes(bytes, 3);
    Bytes to(bytes);
    return BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                memcpy(to.data(), from.data(), bytes);
                Keep(to.data());
            }
        },
        5);
}

// The same copy into a newly allocated, zeroed picture each time: what any
// decoder that hands out a new picture pays at least.
double NewPictureCopySeconds(size_t bytes, int reps) {
    Bytes from = RandomBytes(bytes, 3);
    return BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                uint8_t* to = static_cast<uint8_t*>(calloc(bytes, 1));
                memcpy(to, from.data(), bytes);
                Keep(to);
                free(to);
            }
        },
        5);
}

size_t PictureBytes(const PreviewPicture& p) {
    return size_t(p.stride) * size_t(p.height < 0 ? -p.height : p.height);
}

void BenchTga(int bits) {
    Bytes tga = MakeTga(1024, bits);
    const int reps = 20;
    size_t out = 0;
    double decode = BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                PreviewPicture picture;
                if (!DecodeTgaPixels(tga.data(), uint32_t(tga.size()), &picture)) abort();
                out = PictureBytes(picture);
                Keep(picture.pixels);
                FreePreviewPicture(&picture);
            }
        },
        5);
    char label[64];
    snprintf(label, sizeof label, "targa 1024 x 1024, %d-bit (x%d)", bits, reps);
    PrintBeside(label, decode, CopySeconds(out, reps), "a few times the copy");
    snprintf(label, sizeof label, "  same, beside copy into a new picture");
    PrintBeside(label, decode, NewPictureCopySeconds(out, reps), "(shown for scale)");
}

void BenchJpeg() {
    Bytes jpeg = MakeJpeg(1024);
    const int reps = 5;
    size_t out = 0;
    double ours = BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                PreviewPicture picture;
                if (!DecodeJpegPixels(jpeg.data(), uint32_t(jpeg.size()), &picture)) abort();
                out = PictureBytes(picture);
                Keep(picture.pixels);
                FreePreviewPicture(&picture);
            }
        },
        5);
    double library = BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                Bytes samples;
                if (!LibraryDecode(jpeg, &samples)) abort();
                Keep(samples.data());
            }
        },
        5);
    printf("JPEG of %zu bytes\n", jpeg.size());
    PrintBeside("JPEG 1024 x 1024 vs copy (x5)", ours, CopySeconds(out, reps), "(shown for scale)");
    PrintBeside("JPEG 1024 x 1024 vs libjpeg alone (x5)", ours, library, "within 1.2x libjpeg");
}

void BenchSprite() {
    const uint32_t frames = 100, side = 128;
    Bytes spr = MakeSprite(frames, side);
    const int reps = 5;
    size_t out = 0;
    double decode = BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                out = 0;
                for (uint32_t f = 1; f <= frames; ++f) {
                    PreviewPicture picture;
                    if (!DecodeSprPixels(spr.data(), uint32_t(spr.size()), f, &picture, nullptr))
                        abort();
                    out += PictureBytes(picture);
                    Keep(picture.pixels);
                    FreePreviewPicture(&picture);
                }
            }
        },
        5);
    PrintBeside("sprite, all 100 frames of 128 x 128 (x5)", decode, CopySeconds(out, reps),
                "(shown for scale)");
}

void BenchMap() {
    Bytes gat = MakeMap(400);
    const int reps = 20;
    size_t out = 0;
    double decode = BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                PreviewPicture picture;
                if (!RenderGatPixels(gat.data(), uint32_t(gat.size()), &picture)) abort();
                out = PictureBytes(picture);
                Keep(picture.pixels);
                FreePreviewPicture(&picture);
            }
        },
        5);
    PrintBeside("map 400 x 400 (x20)", decode, CopySeconds(out, reps), "(shown for scale)");
}

}  // namespace

int main() {
    BenchTga(24);
    BenchTga(32);
    BenchJpeg();
    BenchSprite();
    BenchMap();
    return 0;
}
