// Bitmap files: what the checks let through to the platform's conversion
// and everything they stop because it would be read outside the entry.
#include <gtest/gtest.h>
#include <preview.h>

#include "picture_util.h"

namespace {

bool Check(const Bytes& entry, BmpLayout* layout) {
    Bytes exact(entry);  // exactly the entry's bytes, so a read past them is caught
    return CheckBmpEntry(exact.data(), uint32_t(exact.size()), layout);
}

const Bytes kPalette256(1024, 0x40);

TEST(Bmp, LayoutOfAcceptedForms) {
    struct Case {
        const char* what;
        Bytes entry;
        uint32_t infoBytes, pixelOffset, pixelBytes;
        int32_t width, height;
    } cases[] = {
        {"24-bit, rows padded to 4", MakeBmp(3, 2, 24, 0, {}, Bytes(24, 1)), 40, 54, 24, 3, 2},
        {"24-bit top-down", MakeBmp(3, -2, 24, 0, {}, Bytes(24, 1)), 40, 54, 24, 3, -2},
        {"8-bit with its colour table", MakeBmp(3, 2, 8, 0, kPalette256, Bytes(8, 1)), 1064, 1078,
         8, 3, 2},
        {"1-bit", MakeBmp(9, 1, 1, 0, Bytes(8, 0), Bytes(4, 1)), 48, 62, 4, 9, 1},
        {"32-bit masks after the header", MakeBmp(2, 2, 32, 3, Bytes(12, 0xFF), Bytes(16, 1)), 52,
         66, 16, 2, 2},
        {"8-bit run-length, image size", MakeBmp(4, 2, 8, 1, kPalette256, {4, 1, 0, 0, 4, 2, 0, 1}),
         1064, 1078, 8, 4, 2},
    };
    for (const Case& c : cases) {
        BmpLayout layout;
        ASSERT_TRUE(Check(c.entry, &layout)) << c.what;
        EXPECT_EQ(layout.infoOffset, 14u) << c.what;
        EXPECT_EQ(layout.infoBytes, c.infoBytes) << c.what;
        EXPECT_EQ(layout.pixelOffset, c.pixelOffset) << c.what;
        EXPECT_EQ(layout.pixelBytes, c.pixelBytes) << c.what;
        EXPECT_EQ(layout.width, c.width) << c.what;
        EXPECT_EQ(layout.height, c.height) << c.what;
    }
}

TEST(Bmp, EntriesTheChecksStop) {
    Bytes good = MakeBmp(3, 2, 24, 0, {}, Bytes(24, 1));
    auto with = [&](size_t offset, uint32_t value, bool wide = true) {
        Bytes entry = good;
        if (wide)
            PutLe32At(&entry, offset, value);
        else
            PutLe16At(&entry, offset, uint16_t(value));
        return entry;
    };
    Bytes rowShort = good;
    rowShort.pop_back();
    // 250 of 256 colours, with the pixels named inside the header so that
    // only the table reaches past the end.
    Bytes tableShort = MakeBmp(4, 1, 8, 0, Bytes(1000, 0), Bytes(4, 1));
    PutLe32At(&tableShort, 10, 14);
    Bytes usedOverDepth = MakeBmp(3, 2, 4, 0, Bytes(68, 0), Bytes(8, 1));
    PutLe32At(&usedOverDepth, 46, 17);  // 17 colours named for a 4-bit depth
    Bytes usedBeyond = MakeBmp(3, 2, 24, 0, {}, Bytes(24, 1));
    PutLe32At(&usedBeyond, 46, 1000);  // a table of 1000 colours the entry lacks
    Bytes rleTooLong = MakeBmp(4, 2, 8, 1, kPalette256, {0, 1});
    PutLe32At(&rleTooLong, 34, 3);
    Bytes rleTopDown = MakeBmp(4, -2, 8, 1, kPalette256, {0, 1});
    Bytes rleNoSize = MakeBmp(4, 2, 8, 1, kPalette256, {0, 1});
    PutLe32At(&rleNoSize, 34, 0);
    struct Case {
        const char* what;
        Bytes entry;
    } cases[] = {
        {"last row one byte short", rowShort},
        {"pixel offset past the end", with(10, 0xFFFFFFF0u)},
        {"pixel offset moves rows past the end", with(10, 55)},
        {"core header of 12 bytes", with(14, 12)},
        {"header larger than the entry", with(14, 100)},
        {"header size wraps", with(14, 0xFFFFFFFFu)},
        {"zero width", with(18, 0)},
        {"negative width", with(18, uint32_t(-3))},
        {"zero height", with(22, 0)},
        {"most negative height", with(22, 0x80000000u)},
        {"width x height overflows", with(18, 0x7FFFFFFF)},
        {"two planes", with(26, 2, false)},
        {"2 bits per pixel", with(28, 2, false)},
        {"JPEG compression", with(30, 4)},
        {"PNG compression", with(30, 5)},
        {"masks at 24 bits", with(30, 3)},
        {"masks missing after a 40-byte header", MakeBmp(2, 1, 32, 3, {}, Bytes(8, 1))},
        {"colour table cut short", tableShort},
        {"more colours than the depth has", usedOverDepth},
        {"colour count beyond the entry", usedBeyond},
        {"run-length size past the end", rleTooLong},
        {"run-length stored top-down", rleTopDown},
        {"run-length without a size", rleNoSize},
        {"8-bit run-length at 4 bits", MakeBmp(4, 2, 4, 1, Bytes(64, 0), {0, 1})},
        {"shorter than both headers", Bytes(good.begin(), good.begin() + 53)},
        {"not BM", with(0, 0x0000)},
        {"empty", Bytes{}},
    };
    for (const Case& c : cases) {
        BmpLayout layout;
        EXPECT_FALSE(Check(c.entry, &layout)) << c.what;
    }
    BmpLayout none;
    EXPECT_FALSE(CheckBmpEntry(nullptr, 100, &none));
}

TEST(Bmp, RealSampleWithA124ByteHeader) {
    SKIP_WITHOUT_FIXTURES();
    Bytes entry = ReadFixture("bmp/v5-32bpp-bitfields.bmp");
    BmpLayout layout;
    ASSERT_TRUE(Check(entry, &layout));
    EXPECT_EQ(layout.infoBytes, 124u);  // the masks are inside this header
    EXPECT_EQ(layout.pixelOffset, 138u);
    EXPECT_EQ(layout.pixelBytes, 256u * 256 * 4);
    EXPECT_EQ(layout.width, 256);
    EXPECT_EQ(layout.height, 256);
    entry.pop_back();
    EXPECT_FALSE(Check(entry, &layout));
}

}  // namespace
