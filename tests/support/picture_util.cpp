// picture_util.cpp -- see picture_util.h.
#include "picture_util.h"

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>

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

namespace {

void Put32(Bytes* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

void PutFloat(Bytes* out, float f) {
    uint32_t bits;
    memcpy(&bits, &f, 4);
    Put32(out, bits);
}

// giflib reads through this from a whole file held in memory.
struct GifReader {
    const Bytes* bytes;
    size_t at = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
    GifReader* reader = static_cast<GifReader*>(gif->UserData);
    size_t n = std::min(size_t(length), reader->bytes->size() - reader->at);
    memcpy(out, reader->bytes->data() + reader->at, n);
    reader->at += n;
    return int(n);
}

}  // namespace

Bytes MakeAct(uint16_t version, const std::vector<ActionSpec>& actions,
              const std::vector<std::string>& events, bool tail) {
    Bytes act = {'A', 'C', uint8_t(version), uint8_t(version >> 8), 0, 0};
    PutLe16At(&act, 4, uint16_t(actions.size()));
    act.resize(16, 0);
    for (const ActionSpec& action : actions) {
        Put32(&act, uint32_t(action.frames.size()));
        for (const FrameSpec& frame : action.frames) {
            for (int i = 0; i < 32; ++i) act.push_back(uint8_t(0xA0 + i));  // unused rectangles
            Put32(&act, uint32_t(frame.layers.size()));
            for (const LayerSpec& l : frame.layers) {
                Put32(&act, uint32_t(l.x));
                Put32(&act, uint32_t(l.y));
                Put32(&act, uint32_t(l.image));
                Put32(&act, l.mirror);
                if (version < 0x200) continue;
                act.insert(act.end(), l.tint.begin(), l.tint.end());
                PutFloat(&act, l.scaleX);
                if (version >= 0x204) PutFloat(&act, l.scaleY);
                Put32(&act, uint32_t(l.rotation));
                Put32(&act, uint32_t(l.type));
                if (version >= 0x205) {
                    Put32(&act, uint32_t(l.width));
                    Put32(&act, uint32_t(l.height));
                }
            }
            if (version >= 0x200) Put32(&act, uint32_t(frame.event));
            if (version >= 0x203) {
                Put32(&act, uint32_t(frame.anchors.size()));
                for (const AnchorSpec& a : frame.anchors) {
                    Put32(&act, 0xDEADBEEF);
                    Put32(&act, uint32_t(a.x));
                    Put32(&act, uint32_t(a.y));
                    Put32(&act, uint32_t(a.attribute));
                }
            }
        }
    }
    if (!tail || version < 0x201) return act;
    Put32(&act, uint32_t(events.size()));
    for (const std::string& name : events) {
        Bytes field(40, 0);
        memcpy(field.data(), name.data(), name.size());
        act.insert(act.end(), field.begin(), field.end());
    }
    if (version >= 0x202)
        for (const ActionSpec& action : actions) PutFloat(&act, action.interval);
    return act;
}

bool ReadPng(const Bytes& png, uint32_t* width, uint32_t* height, Bytes* rgba) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba->resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba->data(), 0, nullptr)) return false;
    *width = image.width;
    *height = image.height;
    return true;
}

bool ReadGif(const Bytes& bytes, GifRead* read) {
    GifReader reader = {&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
    if (!gif) return false;
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return false;
    }
    read->width = gif->SWidth;
    read->height = gif->SHeight;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        for (int e = 0; e < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0)
                read->loops = true;
        }
        GraphicsControlBlock control = {};
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &control);
        const ColorMapObject* map =
            image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        GifFrame frame = {{}, control.DelayTime, control.DisposalMode};
        for (int p = 0; p < image.ImageDesc.Width * image.ImageDesc.Height; ++p) {
            int index = image.RasterBits[p];
            if (index == control.TransparentColor) {
                frame.rgba.insert(frame.rgba.end(), {0, 0, 0, 0});
            } else {
                const GifColorType& c = map->Colors[index];
                frame.rgba.insert(frame.rgba.end(), {c.Red, c.Green, c.Blue, 255});
            }
        }
        read->frames.push_back(frame);
    }
    DGifCloseFile(gif, &error);
    return true;
}
