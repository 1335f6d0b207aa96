// The archive cipher: published vectors, the bit-by-bit reference checked
// on real enciphered archives, the table-driven engine against the
// reference, and which blocks each mode touches.
#include <grf.h>
#include <gtest/gtest.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "cipher_reference.h"
#include "test_support.h"

namespace {

Bytes Hex(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

TEST(CipherBlocks, KnownVectorsAndInverse) {
    struct Case {
        const char* what;
        Bytes input;
        Bytes output;
    } cases[] = {
        {"zeros", Bytes(8, 0), Hex({0x04, 0x04, 0x01, 0x55, 0x55, 0x01, 0x54, 0x55})},
        {"abcdefgh", BytesOf("abcdefgh"), Hex({0x20, 0x76, 0x33, 0x21, 0x21, 0x26, 0x32, 0x7D})},
    };
    for (const Case& c : cases) {
        Bytes block = c.input;
        GrfCipherBlocks(block.data(), 8);
        EXPECT_EQ(block, c.output) << c.what;
        GrfCipherBlocks(block.data(), 8);
        EXPECT_EQ(block, c.input) << c.what << " twice";
    }
}

TEST(CipherBlocks, MatchesBitByBitReferenceOnRandomBlocks) {
    Bytes data = RandomBytes(8 * 20000, 7);
    Bytes expected = data;
    for (size_t at = 0; at < expected.size(); at += 8) ReferenceBlock(expected.data() + at);
    GrfCipherBlocks(data.data(), static_cast<int32_t>(data.size()));
    EXPECT_EQ(data, expected);
}

TEST(CipherBlocks, LengthCoversWholeBlocksStartingBelowIt) {
    Bytes base = RandomBytes(24, 3);
    struct Case {
        int32_t length;
        int blocks;
    } cases[] = {{0, 0}, {-8, 0}, {1, 1}, {8, 1}, {9, 2}, {16, 2}, {17, 3}};
    for (const Case& c : cases) {
        Bytes data = base;
        GrfCipherBlocks(data.data(), c.length);
        for (int b = 0; b < 3; ++b) {
            Bytes block(base.begin() + b * 8, base.begin() + b * 8 + 8);
            if (b < c.blocks) ReferenceBlock(block.data());
            EXPECT_TRUE(std::equal(block.begin(), block.end(), data.begin() + b * 8))
                << "length " << c.length << " block " << b;
        }
    }
}

enum BlockFate { kUnchanged, kTransformed, kShuffled };

// Classifies each block of a deciphered buffer against the original.
std::vector<BlockFate> Fates(const Bytes& original, const Bytes& result) {
    std::vector<BlockFate> fates;
    for (size_t at = 0; at < original.size(); at += 8) {
        uint8_t transformed[8], shuffled[8];
        memcpy(transformed, &original[at], 8);
        ReferenceBlock(transformed);
        memcpy(shuffled, &original[at], 8);
        ReferenceShuffle(shuffled, true);
        if (memcmp(&result[at], &original[at], 8) == 0)
            fates.push_back(kUnchanged);
        else if (memcmp(&result[at], transformed, 8) == 0)
            fates.push_back(kTransformed);
        else if (memcmp(&result[at], shuffled, 8) == 0)
            fates.push_back(kShuffled);
        else
            ADD_FAILURE() << "block " << at / 8 << " is neither transformed nor shuffled";
    }
    return fates;
}

std::vector<int> BlocksWith(const std::vector<BlockFate>& fates, BlockFate fate) {
    std::vector<int> blocks;
    for (size_t i = 0; i < fates.size(); ++i)
        if (fates[i] == fate) blocks.push_back(static_cast<int>(i));
    return blocks;
}

std::vector<int> Range(int first, int last, int step = 1) {
    std::vector<int> out;
    for (int i = first; i <= last; i += step) out.push_back(i);
    return out;
}

std::vector<int> Join(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(CipherEntryData, MixedModeBlockLists) {
    struct Case {
        int32_t cycle;
        std::vector<int> transformed;
        std::vector<int> shuffled;
    } cases[] = {
        {1, Join(Range(0, 19), Range(21, 57, 3)), {31, 41, 52}},
        {3, Join(Range(0, 20), Range(24, 56, 4)), {30, 39, 49, 58}},
    };
    Bytes original = RandomBytes(60 * 8, 11);
    for (const Case& c : cases) {
        Bytes data = original;
        GrfCipherEntryData(data.data(), static_cast<uint32_t>(data.size()), 0, c.cycle, 0);
        std::vector<BlockFate> fates = Fates(original, data);
        EXPECT_EQ(BlocksWith(fates, kTransformed), c.transformed) << "cycle " << c.cycle;
        EXPECT_EQ(BlocksWith(fates, kShuffled), c.shuffled) << "cycle " << c.cycle;
    }
}

TEST(CipherEntryData, AdjustedCycleSetsTheTransformStride) {
    // The first mixed-mode transform after block 20 falls on the first
    // multiple of the adjusted cycle above 20.
    struct Case {
        int32_t cycle;
        int adjusted;
    } cases[] = {{-5, 3}, {0, 3},  {1, 3},  {2, 3},   {3, 4},    {4, 5},
                 {5, 14}, {6, 15}, {7, 22}, {10, 25}, {100, 115}};
    Bytes original = RandomBytes(400 * 8, 5);
    for (const Case& c : cases) {
        Bytes data = original;
        GrfCipherEntryData(data.data(), static_cast<uint32_t>(data.size()), 0, c.cycle, 0);
        std::vector<int> transformed = BlocksWith(Fates(original, data), kTransformed);
        std::vector<int> expected = Range(0, 19);
        for (int i = 20; i < 400; ++i)
            if (i % c.adjusted == 0) expected.push_back(i);
        EXPECT_EQ(transformed, expected) << "cycle " << c.cycle;
    }
}

TEST(CipherEntryData, HeaderOnlyTouchesFirstTwentyBlocks) {
    Bytes original = RandomBytes(30 * 8, 2);
    Bytes data = original;
    GrfCipherEntryData(data.data(), static_cast<uint32_t>(data.size()), 1, 0, 0);
    std::vector<BlockFate> fates = Fates(original, data);
    EXPECT_EQ(BlocksWith(fates, kTransformed), Range(0, 19));
    EXPECT_EQ(BlocksWith(fates, kUnchanged), Range(20, 29));
}

TEST(CipherEntryData, ShortLengths) {
    Bytes original = RandomBytes(16, 9);
    Bytes data = original;
    GrfCipherEntryData(data.data(), 0, 0, 1, 0);
    EXPECT_EQ(data, original) << "length 0 changes nothing";
    GrfCipherEntryData(data.data(), 5, 0, 1, 0);
    Bytes expected = original;
    ReferenceBlock(expected.data());
    EXPECT_EQ(data, expected) << "length 5 transforms one whole block";
}

TEST(CipherEntryData, EncipherThenDecipherRestores) {
    Bytes original = RandomBytes(1000 * 8 + 3, 4);
    for (int32_t cycle : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10}) {
        for (int headerOnly : {0, 1}) {
            Bytes data = original;
            data.resize(GrfAlign8(static_cast<uint32_t>(original.size())), 0);
            Bytes padded = data;
            GrfCipherEntryData(data.data(), static_cast<uint32_t>(original.size()), headerOnly,
                               cycle, 1);
            EXPECT_NE(data, padded);
            GrfCipherEntryData(data.data(), static_cast<uint32_t>(original.size()), headerOnly,
                               cycle, 0);
            EXPECT_EQ(data, padded) << "cycle " << cycle << " headerOnly " << headerOnly;
        }
    }
}

TEST(CipherEntryData, MatchesTheReferenceWalk) {
    for (uint32_t length : {1u, 8u, 159u, 160u, 161u, 8u * 400 + 5}) {
        Bytes original = RandomBytes(GrfAlign8(length), length);
        for (int32_t cycle : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 15, 100}) {
            for (int headerOnly : {0, 1}) {
                for (int direction : {0, 1}) {
                    Bytes engine = original;
                    Bytes reference = original;
                    GrfCipherEntryData(engine.data(), length, headerOnly, cycle, direction);
                    ReferenceEntryData(reference.data(), length, headerOnly, cycle, direction == 0);
                    EXPECT_EQ(engine, reference)
                        << "length " << length << " cycle " << cycle << " headerOnly " << headerOnly
                        << " direction " << direction;
                }
            }
        }
    }
}

// The reference deciphers the entries of real archives written by other
// programs, shuffled blocks included, into streams that inflate to their
// real size: the shuffle order and the walk are right, not merely copied.
TEST(CipherReference, DeciphersRealArchives) {
    SKIP_WITHOUT_FIXTURES();
    uint32_t entries = 0;
    uint32_t shuffled = 0;
    for (const char* file : {"grf/test102.grf", "grf/with-files.grf"}) {
        GrfArchive* archive = GrfOpen(FixturePath(file).c_str(), nullptr);
        ASSERT_NE(archive, GRF_NO_ARCHIVE) << file;
        for (uint32_t i = 0; i < archive->count; ++i) {
            const GrfEntry& e = archive->entries[i];
            if (e.cycle < 0 || e.compressedSize > e.alignedSize) continue;  // plain, or corrupt
            uint32_t size = 0;
            auto* raw = static_cast<uint8_t*>(GrfReadEntryRaw(archive, e.name, &size));
            ASSERT_NE(raw, nullptr) << file << " " << e.name;
            Bytes stored(raw, raw + size);
            GrfFreeBuffer(raw);
            stored.resize(GrfAlign8(size), 0);
            shuffled += ReferenceEntryData(stored.data(), size, e.cycle == 0, e.cycle, true);
            Bytes content(e.realSize + 1);
            uLongf got = content.size();
            EXPECT_EQ(uncompress(content.data(), &got, stored.data(), e.compressedSize), Z_OK)
                << file << " " << e.name;
            EXPECT_EQ(got, e.realSize) << file << " " << e.name;
            ++entries;
        }
        GrfClose(&archive);
    }
    EXPECT_GE(entries, 12u);
    EXPECT_GT(shuffled, 0u) << "the archives must hold shuffled blocks to prove anything";
}

TEST(CipherName, KnownVectorsAndRoundTrip) {
    Bytes zeros(8, 0);
    GrfCipherName(zeros.data(), 8, 0);
    EXPECT_EQ(zeros, Hex({0x40, 0x40, 0x10, 0x55, 0x55, 0x10, 0x45, 0x55}));

    Bytes text = BytesOf("abcdefgh");
    GrfCipherName(text.data(), 8, 1);
    EXPECT_EQ(text, Hex({0x02, 0x33, 0x73, 0x12, 0x07, 0x76, 0x33, 0xD3}));

    std::string name = "data\\texture\\\xC0\xAF\xC0\xFA.bmp";
    Bytes padded(name.begin(), name.end());
    padded.resize(GrfAlign8(static_cast<uint32_t>(name.size() + 1)), 0);
    Bytes encoded = padded;
    EXPECT_EQ(GrfCipherName(encoded.data(), static_cast<uint32_t>(encoded.size()), 0),
              encoded.data());
    EXPECT_NE(encoded, padded);
    GrfCipherName(encoded.data(), static_cast<uint32_t>(encoded.size()), 1);
    EXPECT_EQ(encoded, padded);
}

}  // namespace
