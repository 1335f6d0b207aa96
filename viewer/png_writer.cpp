// png_writer.cpp -- a picture as PNG bytes in memory, through libpng. The
// library reports errors by jumping back to the setjmp below: nothing on
// this function's frame needs a destructor, and what the jump must see
// lives behind pointers.
#include <png.h>
#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

#include "export.h"

namespace {

struct MemoryFile {
    uint8_t* data;
    size_t size;
    size_t capacity;
};

void WriteToMemory(png_structp png, png_bytep bytes, size_t length) {
    MemoryFile* file = static_cast<MemoryFile*>(png_get_io_ptr(png));
    if (file->capacity - file->size < length) {
        size_t grown = file->capacity ? file->capacity : 4096;
        while (grown - file->size < length) grown *= 2;
        uint8_t* bigger = static_cast<uint8_t*>(realloc(file->data, grown));
        if (!bigger) png_error(png, "out of memory");
        file->data = bigger;
        file->capacity = grown;
    }
    memcpy(file->data + file->size, bytes, length);
    file->size += length;
}

void FlushMemory(png_structp) {}

[[noreturn]] void Fail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void Quiet(png_structp, png_const_charp) {}

}  // namespace

bool EncodePng(const RgbaPicture* picture, uint8_t** out, size_t* outSize) {
    *out = nullptr;
    *outSize = 0;
    if (!picture->pixels) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    MemoryFile* file = static_cast<MemoryFile*>(calloc(1, sizeof(MemoryFile)));
    if (!info || !file) {
        png_destroy_write_struct(&png, &info);
        free(file);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        free(file->data);
        free(file);
        return false;
    }
    png_set_write_fn(png, file, WriteToMemory, FlushMemory);
    png_set_IHDR(png, info, uint32_t(picture->width), uint32_t(picture->height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    size_t stride = size_t(picture->width) * 4;
    for (int32_t y = 0; y < picture->height; ++y)
        png_write_row(png, picture->pixels + size_t(y) * stride);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    *out = file->data;
    *outSize = file->size;
    free(file);
    return true;
}
