// Entries other tools store in other ways: LZMA, read through liblzma, and
// other compressions or encryptions, listed, refused on reading and
// extraction, and copied as stored by repacks and merges (refused by 0x1xx
// targets, whose cipher would touch their bytes).
#include <grf.h>
#include <grf_format.h>
#include <gtest/gtest.h>
#include <le_bytes.h>

#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

using namespace grf;

// content stored with LZMA as an archive of version keeps it, enciphered
// as the type (0x2xx and 0x300) or the name (0x1xx) says.
Stored LzmaContent(uint32_t version, const std::string& name, const Bytes& content,
                   uint8_t type = 1) {
    Stored s;
    s.bytes = LzmaStored(content, 1);
    RawRecord& r = s.record;
    r.name = name;
    r.compressedSize = static_cast<uint32_t>(s.bytes.size());
    r.alignedSize = GrfAlign8(r.compressedSize);
    r.realSize = static_cast<uint32_t>(content.size());
    bool v1 = (version >> 8) == kMajorV1;
    r.type = v1 ? kTypeFile : type;
    s.bytes.resize(r.alignedSize, 0);
    int cycle = v1 ? GrfCycleFromName(name.c_str(), r.compressedSize)
                   : GrfCycleFromType(type, r.compressedSize);
    if (cycle >= 0) GrfCipherEntryData(s.bytes.data(), r.alignedSize, cycle == 0, cycle, 1);
    return s;
}

Stored Foreign(const std::string& name, const Bytes& bytes, uint32_t realSize, uint8_t type) {
    Stored s;
    s.bytes = bytes;
    s.record.name = name;
    s.record.type = type;
    s.record.compressedSize = static_cast<uint32_t>(bytes.size());
    s.record.alignedSize = static_cast<uint32_t>(bytes.size());
    s.record.realSize = realSize;
    return s;
}

// Several pieces of extraction, compressible and not.
Bytes LargeContent() {
    return Join(Join(RandomBytes(1 << 20, 21), Bytes(2 << 20, 'q')), RandomBytes(70000, 22));
}

Bytes ExtractedBytes(GrfArchive* archive, uint32_t index, const TempDir& into, uint32_t* code) {
    CurrentDirScope here(into.path);
    *code = GrfExtractRecord(archive, index);
    Bytes bytes;
    ReadFileBytes(into.Join(LocalPath(Widen(archive->entries[index].name))), &bytes);
    return bytes;
}

TEST(Lzma, EntriesReadAndExtractInEveryFamily) {
    Bytes small = BytesOf("hello from a small entry");
    Bytes large = LargeContent();
    struct Case {
        uint32_t version;
        uint8_t type;
    } cases[] = {{0x200, 1}, {0x200, 3}, {0x200, 5}, {0x300, 1}, {0x102, 1}};
    for (const Case& c : cases) {
        std::string what = std::to_string(c.version) + " type " + std::to_string(c.type);
        ArchiveOnDisk disk(BuildStoredArchive(
            c.version, {LzmaContent(c.version, "data\\small.txt", small, c.type),
                        LzmaContent(c.version, "data\\large.bin", large, c.type),
                        StoreContent(c.version, "data\\zlib.txt", small, c.type)}));
        ASSERT_EQ(disk.archive->count, 3u) << what;
        EXPECT_EQ(ReadContent(disk.archive, "data\\small.txt").bytes, small) << what;
        EntryRead read = ReadContent(disk.archive, "data\\large.bin");
        EXPECT_EQ(read.code, uint32_t{GRF_OK}) << what;
        EXPECT_TRUE(read.bytes == large) << what;
        EXPECT_EQ(ReadContent(disk.archive, "data\\zlib.txt").bytes, small) << what;
        TempDir out;
        uint32_t code = 0;
        EXPECT_TRUE(ExtractedBytes(disk.archive, 1, out, &code) == large) << what;
        EXPECT_EQ(code, 0u) << what;
    }
}

TEST(Lzma, DamagedStreamsAreInflateFailures) {
    Bytes content = Join(BytesOf(std::string(3000, 'x')), RandomBytes(3000, 5));
    Bytes good = LzmaStored(content);
    Bytes badProperties = good;
    badProperties[1] = 0xFF;  // lc, lp, pb beyond what LZMA has
    Bytes cut = Slice(good, 0, good.size() / 2);
    Bytes headOnly = Slice(good, 0, 4);
    Bytes hugeDictionary = good;
    PutLe32(&hugeDictionary[2], 0xFFFFFFFF);  // never allocated: the content is smaller
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t realSize;
        uint32_t code;
    } cases[] = {
        {"as made", good, static_cast<uint32_t>(content.size()), GRF_OK},
        {"dictionary stated at 4 GB", hugeDictionary, static_cast<uint32_t>(content.size()),
         GRF_OK},
        {"properties no decoder takes", badProperties, static_cast<uint32_t>(content.size()),
         GRF_ERROR_INFLATE},
        {"stream cut in half", cut, static_cast<uint32_t>(content.size()), GRF_ERROR_INFLATE},
        {"shorter than its properties", headOnly, 100, GRF_ERROR_INFLATE},
        {"real size beyond the stream", good, static_cast<uint32_t>(content.size()) + 10,
         GRF_ERROR_INFLATE},
        {"real size beyond any decoder", good, 0xFFFFFFF0, GRF_ERROR_INFLATE},
    };
    for (const Case& c : cases) {
        ArchiveOnDisk disk(
            BuildStoredArchive(0x200, {Foreign("data\\x.bin", c.bytes, c.realSize, 1)}));
        EntryRead read = ReadContent(disk.archive, "data\\x.bin");
        EXPECT_EQ(read.code, c.code) << c.what;
        if (c.code == GRF_OK) {
            EXPECT_EQ(read.bytes, content) << c.what;
        }
        TempDir out;
        uint32_t code = 0;
        Bytes extracted = ExtractedBytes(disk.archive, 0, out, &code);
        EXPECT_EQ(code, c.code) << c.what << " (extraction)";
        if (c.code != GRF_OK) {
            EXPECT_EQ(ListTree(out.path), std::vector<std::string>{}) << c.what;
        }
    }
}

// What the first stored bytes say, and what nothing guesses.
TEST(Method, FirstBytesDecideOnlyWhereNothingElseDoes) {
    Bytes zlibNoise = Join({0x78, 0x9C}, RandomBytes(30, 3));
    Bytes other = Join({0x12, 0x34}, RandomBytes(30, 4));
    Bytes zeroLed = Join({0x00, 0xFF}, RandomBytes(30, 5));
    struct Case {
        const char* what;
        Stored stored;
        uint32_t code;
    } cases[] = {
        {"starts like zlib, fails: an inflate failure", Foreign("data\\x", zlibNoise, 100, 1),
         GRF_ERROR_INFLATE},
        {"neither zlib nor LZMA: keyed, no key set", Foreign("data\\x", other, 100, 1),
         GRF_ERROR_NEEDS_PASSWORD},
        {"neither, but as long as the content: the content", Foreign("data\\x", other, 32, 1),
         GRF_OK},
        {"first byte 0, as long as the content: the content", Foreign("data\\x", zeroLed, 32, 1),
         GRF_OK},
        {"type 0x81: encrypted by a method we lack", StoreContent(0x200, "data\\x", Long(1), 0x81),
         GRF_ERROR_METHOD},
        {"type 0x07: both cipher bits", StoreContent(0x200, "data\\x", Long(1), 0x07),
         GRF_ERROR_METHOD},
        {"marked type, empty content: empty", Foreign("data\\x", {}, 0, 0x81), GRF_OK},
    };
    for (const Case& c : cases) {
        ArchiveOnDisk disk(BuildStoredArchive(0x200, {c.stored}));
        ASSERT_EQ(disk.archive->count, 1u) << c.what << ": listed";
        EntryRead read = ReadContent(disk.archive, "data\\x");
        EXPECT_EQ(read.code, c.code) << c.what;
        if (c.code == GRF_OK) {
            EXPECT_EQ(read.bytes, Slice(c.stored.bytes, 0, c.stored.record.realSize)) << c.what;
        }
        TempDir out;
        uint32_t code = 0;
        ExtractedBytes(disk.archive, 0, out, &code);
        EXPECT_EQ(code, c.code) << c.what << " (extraction)";
    }
}

TEST(Method, MarkedEntriesAreListedAndRefused) {
    Bytes secret = RandomBytes(64, 8);
    ArchiveOnDisk disk(BuildStoredArchive(
        0x300, {StoreContent(0x300, "data\\a.txt", BytesOf("alpha")),
                Foreign("data\\secret.bin", secret, 50, 0x81),
                Foreign("data\\other.bin", Join({0x5A, 0x5A}, RandomBytes(30, 9)), 90, 1)}));
    ASSERT_EQ(NamesOf(disk.archive), (Names{"data\\a.txt", "data\\secret.bin", "data\\other.bin"}));
    const GrfEntry& marked = disk.archive->entries[1];
    EXPECT_EQ(marked.cycle, GRF_CYCLE_FOREIGN);
    EXPECT_EQ(marked.type, 0x81);
    EXPECT_EQ(disk.archive->entries[2].cycle, -1) << "known only once its bytes are read";
    EXPECT_EQ(GrfReadRecord(disk.archive, 1, nullptr), nullptr);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_METHOD});
    // The raw bytes stay available.
    uint32_t size = 0;
    auto* raw = static_cast<uint8_t*>(GrfReadEntryRaw(disk.archive, "data\\secret.bin", &size));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(Bytes(raw, raw + size), secret);
    GrfFreeBuffer(raw);
    // An extraction run goes on past them, writing nothing for them.
    TempDir out;
    {
        CurrentDirScope here(out.path);
        GrfExtractRun* run = GrfBeginExtractRun();
        EXPECT_EQ(GrfExtractInRun(run, disk.archive, 1), uint32_t{GRF_ERROR_METHOD});
        EXPECT_EQ(GrfExtractInRun(run, disk.archive, 2), uint32_t{GRF_ERROR_NEEDS_PASSWORD});
        EXPECT_EQ(GrfExtractInRun(run, disk.archive, 0), 0u);
        GrfEndExtractRun(run);
    }
    EXPECT_EQ(ListTree(out.path), (std::vector<std::string>{"data/", "data/a.txt 5"}));
}

// Repacks and merges copy what they cannot read, byte for byte, with its
// sizes and type; a 0x1xx target refuses it before writing anything.
TEST(Method, CopiedAsStoredAndRefusedByOldTargets) {
    Bytes secret = RandomBytes(61, 8);
    Bytes other = Join({0x5A, 0x5A}, RandomBytes(37, 9));
    Bytes lzma = LargeContent();
    for (uint32_t sourceVersion : {0x200u, 0x300u}) {
        ArchiveOnDisk disk(BuildStoredArchive(
            sourceVersion, {StoreContent(sourceVersion, "data\\a.txt", BytesOf("alpha"), 3),
                            Foreign("data\\secret.bin", secret, 50, 0x81),
                            Foreign("data\\other.bin", other, 90, 1),
                            LzmaContent(sourceVersion, "data\\lzma.bin", lzma)}));
        for (uint32_t version : {0x200u, 0x201u, 0x300u}) {
            std::string what = std::to_string(sourceVersion) + "->" + std::to_string(version);
            std::wstring path = disk.dir.Join(L"out" + std::to_wstring(version) + L".grf");
            GrfSetVersion(version);
            ASSERT_EQ(GrfRepack(disk.archive, path.c_str(), nullptr), 0) << what << GrfLastError;
            GrfArchive* out = GrfOpen(path.c_str(), nullptr);
            ASSERT_NE(out, GRF_NO_ARCHIVE) << what;
            ASSERT_EQ(out->count, 4u) << what;
            for (uint32_t i = 1; i <= 2; ++i) {
                const GrfEntry& before = disk.archive->entries[i];
                const GrfEntry& after = out->entries[i];
                EXPECT_EQ(after.type, before.type) << what << " " << after.name;
                EXPECT_EQ(after.compressedSize, before.compressedSize) << what;
                EXPECT_EQ(after.alignedSize, before.alignedSize) << what;
                EXPECT_EQ(after.realSize, before.realSize) << what;
                void* raw = GrfReadEntryRaw(out, after.name, nullptr);
                ASSERT_NE(raw, nullptr) << what;
                auto* at = static_cast<uint8_t*>(raw);
                EXPECT_EQ(Bytes(at, at + after.alignedSize), i == 1 ? secret : other) << what;
                GrfFreeBuffer(raw);
            }
            EXPECT_EQ(ReadContent(out, "data\\a.txt").bytes, BytesOf("alpha")) << what;
            EXPECT_TRUE(ReadContent(out, "data\\lzma.bin").bytes == lzma) << what;
            GrfClose(&out);
        }
        // 0x1xx: the marked record is refused before anything is written;
        // the one found by its bytes once they are read. Neither leaves a file.
        for (uint32_t drop : {2u, 1u}) {
            GrfArchive* again = GrfOpen(disk.path.c_str(), nullptr);
            ASSERT_NE(again, GRF_NO_ARCHIVE);
            again->entries[drop].state |= GRF_ENTRY_DELETED;
            std::wstring path = disk.dir.Join(L"old" + std::to_wstring(drop) + L".grf");
            GrfSetVersion(0x103);
            EXPECT_EQ(GrfRepack(again, path.c_str(), nullptr), 1);
            EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_METHOD});
            EXPECT_FALSE(FileExists(path));
            again->entries[1].state |= GRF_ENTRY_DELETED;
            again->entries[2].state |= GRF_ENTRY_DELETED;
            ASSERT_EQ(GrfRepack(again, path.c_str(), nullptr), 0) << "LZMA goes to 0x1xx";
            GrfArchive* old = GrfOpen(path.c_str(), nullptr);
            EXPECT_TRUE(ReadContent(old, "data\\lzma.bin").bytes == lzma);
            GrfClose(&old);
            GrfClose(&again);
        }
    }
    // A merge takes the marked record as it is, and a repack keeps it so.
    ArchiveOnDisk base(BuildArchive(0x200, {{"data\\a.txt", BytesOf("alpha")}}));
    ArchiveOnDisk other2(
        BuildStoredArchive(0x200, {Foreign("data\\secret.bin", secret, 50, 0x81)}));
    ASSERT_EQ(GrfMerge(base.archive, other2.archive), 2u);
    std::wstring merged = base.dir.Join(L"merged.grf");
    GrfSetVersion(0x300);
    ASSERT_EQ(GrfRepack(base.archive, merged.c_str(), nullptr), 0) << GrfLastError;
    GrfSetVersion(0x103);
    GrfArchive* out = GrfOpen(merged.c_str(), nullptr);
    ASSERT_NE(out, GRF_NO_ARCHIVE);
    EXPECT_EQ(out->entries[1].type, 0x81);
    EXPECT_EQ(out->entries[1].cycle, GRF_CYCLE_FOREIGN);
    GrfClose(&out);
}

}  // namespace
