// RGZ patch files: the worked example opened and written back byte for
// byte, folders, large files, Korean names and repeated names, streams cut
// or without their end, a hostile name, conversion to THOR and back, and
// the files applied into a folder as a whole.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>

#include <string>
#include <vector>

#include "engine_test_util.h"
#include "rgz_builder.h"
#include "test_support.h"
#include "thor_builder.h"

namespace {

const std::string kKorean = "data\\\xc7\xd1\xb1\xdb.txt";

const Bytes kExample = {0x64, 0x05, 0x64, 0x61, 0x74, 0x61, 0x00, 0x66, 0x0b, 0x64, 0x61, 0x74,
                        0x61, 0x5c, 0x61, 0x2e, 0x74, 0x78, 0x74, 0x00, 0x05, 0x00, 0x00, 0x00,
                        0x68, 0x65, 0x6c, 0x6c, 0x6f, 0x65, 0x04, 0x65, 0x6e, 0x64, 0x00};

// The file at `name` below dir (UTF-8 relative path with '/').
Bytes FileAt(const TempDir& dir, const std::string& name) {
    Bytes bytes;
    EXPECT_TRUE(ReadFileBytes(dir.Join(Widen(name)), &bytes)) << name;
    return bytes;
}

TEST(Rgz, TheWorkedExampleOpensAndIsWrittenBackByteForByte) {
    ASSERT_EQ(kExample.size(), 35u);
    EXPECT_EQ(
        RgzRecords({{'d', "data", {}}, {'f', "data\\a.txt", BytesOf("hello")}, {'e', "end", {}}}),
        kExample)
        << "the tests' own builder agrees";
    ArchiveOnDisk disk(Gzip(kExample));
    const GrfPatchInfo* info = GrfPatchOf(disk.archive);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->layout, GRF_PATCH_LAYOUT_RGZ);
    EXPECT_EQ(info->mergeMode, GRF_PATCH_LOOSE);
    EXPECT_EQ(NamesOf(disk.archive), Names{"data\\a.txt"});
    EXPECT_EQ(ReadContent(disk.archive, "data\\a.txt").bytes, BytesOf("hello"));
    EXPECT_EQ(disk.archive->entries[0].realSize, 5u);

    std::wstring out = disk.dir.Join(L"again.rgz");
    ASSERT_EQ(GrfWriteRgz(disk.archive, out.c_str(), nullptr), 0) << GrfLastError;
    Bytes written;
    ASSERT_TRUE(ReadFileBytes(out, &written));
    EXPECT_EQ(Gunzip(written), kExample);
    EXPECT_EQ(GrfWriteRgz(disk.archive, out.c_str(), nullptr), 1) << "never over a file";
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
}

std::vector<RgzRecord> SampleFiles() {
    return {
        {'f', "data\\texture\\a.bmp", RandomBytes(3000, 1)},
        {'f', kKorean, BytesOf("korean")},
        {'f', "data\\empty.txt", {}},
        {'f', "data\\sprite\\big.spr", Join(RandomBytes(5 << 20, 2), Bytes(20 << 20, 's'))},
        {'f', "readme.txt", BytesOf("at the top")},
    };
}

TEST(Rgz, FoldersLargeFilesAndKoreanNamesReadAndExtract) {
    std::vector<RgzRecord> files = SampleFiles();
    // Two members: gzip readers take them as one stream.
    Bytes records = RgzRecords({{'d', "data", {}}, files[0]});
    Bytes rest = Gunzip(BuildRgz({files[1], files[2], files[3], files[4]}));
    ArchiveOnDisk disk(Join(Gzip(records), Gzip(rest)));
    ASSERT_EQ(disk.archive->count, files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(disk.archive->entries[i].name, files[i].name);
        EXPECT_TRUE(ReadContent(disk.archive, files[i].name.c_str()).bytes == files[i].content)
            << files[i].name;
    }
    TempDir out;
    {
        CurrentDirScope here(out.path);
        for (uint32_t i = 0; i < disk.archive->count; ++i)
            EXPECT_EQ(GrfExtractRecord(disk.archive, i), 0u) << files[i].name;
    }
    EXPECT_TRUE(FileAt(out, "data/sprite/big.spr") == files[3].content);
    EXPECT_EQ(FileAt(out, "data/한글.txt"), BytesOf("korean"));

    // A name that comes again: the last one's content, in the first's place.
    ArchiveOnDisk twice(BuildRgz({{'f', "a.txt", BytesOf("first")},
                                  {'f', "b.txt", BytesOf("b")},
                                  {'f', "a.txt", BytesOf("last")}}));
    EXPECT_EQ(NamesOf(twice.archive), (Names{"a.txt", "b.txt"}));
    EXPECT_EQ(ReadContent(twice.archive, "a.txt").bytes, BytesOf("last"));
}

TEST(Rgz, DamagedStreamsAreRefusedWhole) {
    Bytes whole = BuildRgz(SampleFiles());
    Bytes records = Gunzip(whole);
    Bytes badCheck = whole;
    badCheck[badCheck.size() - 6] ^= 0x01;  // the CRC-32 in the trailer
    const struct {
        const char* what;
        Bytes bytes;
        uint32_t code;
    } cases[] = {
        {"the gzip stream cut", Slice(whole, 0, whole.size() / 2), GRF_ERROR_CUT_SHORT},
        {"no end record", Gzip(Slice(records, 0, records.size() - 6)), GRF_ERROR_CUT_SHORT},
        {"a record cut", Gzip(Slice(records, 0, 3000)), GRF_ERROR_CUT_SHORT},
        {"a size past the stream", Gzip({'f', 6, 'a', '.', 't', 'x', 't', 0, 100, 0, 0, 0, 'a'}),
         GRF_ERROR_CUT_SHORT},
        {"a record of another type", Gzip(RgzRecords({{'x', "a", {}}, {'e', "end", {}}})),
         GRF_ERROR_NOT_ARCHIVE},
        {"a file without a name", Gzip(RgzRecords({{'f', "", BytesOf("x")}, {'e', "end", {}}})),
         GRF_ERROR_NOT_ARCHIVE},
        {"the check fails", badCheck, GRF_ERROR_NOT_ARCHIVE},
    };
    for (const auto& c : cases) {
        ArchiveOnDisk disk(c.bytes, kMayFail);
        EXPECT_FALSE(disk.ok()) << c.what;
        EXPECT_EQ(disk.code, c.code) << c.what;
    }
    // Bytes after the end record are no part of it.
    ArchiveOnDisk trailing(Gzip(
        Join(RgzRecords({{'f', "a.txt", BytesOf("abc")}, {'e', "end", {}}}), Bytes{'x', 'y'})));
    EXPECT_EQ(NamesOf(trailing.archive), Names{"a.txt"});
}

TEST(Rgz, AHostileNameIsRefusedAndNothingIsApplied) {
    ArchiveOnDisk disk(BuildRgz({{'f', "data\\fine.txt", BytesOf("fine")},
                                 {'f', "data\\..\\..\\evil.txt", BytesOf("evil")}}));
    ASSERT_EQ(disk.archive->count, 2u);
    TempDir out;
    {
        CurrentDirScope here(out.path);
        EXPECT_EQ(GrfExtractRecord(disk.archive, 1), uint32_t{GRF_ERROR_UNSAFE_NAME});
    }
    std::wstring client = out.Join(L"client");
    ASSERT_TRUE(PlatformCreateDirectory(client.c_str()));
    uint32_t applied = 99;
    EXPECT_EQ(GrfApplyFiles(disk.archive, client.c_str(), nullptr, &applied), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_UNSAFE_NAME});
    EXPECT_EQ(applied, 0u);
    EXPECT_EQ(ListTree(out.path), std::vector<std::string>{"client/"});
}

TEST(Rgz, AppliedIntoAFolderReplacingItsFiles) {
    std::vector<RgzRecord> files = SampleFiles();
    ArchiveOnDisk disk(BuildRgz(files));
    TempDir client;
    ASSERT_TRUE(PlatformCreateDirectory(client.Join(L"data").c_str()));
    ASSERT_TRUE(WriteFileBytes(client.Join(L"readme.txt"), BytesOf("old")));
    ASSERT_TRUE(WriteFileBytes(client.Join(L"keep.txt"), BytesOf("kept")));
    uint32_t applied = 0;
    ASSERT_EQ(GrfApplyFiles(disk.archive, client.path.c_str(), nullptr, &applied), 0)
        << GrfLastError;
    EXPECT_EQ(applied, files.size());
    for (const RgzRecord& f : files) {
        std::string name = f.name;
        for (char& c : name)
            if (c == '\\') c = '/';
        if (f.name == kKorean) name = "data/한글.txt";
        EXPECT_TRUE(FileAt(client, name) == f.content) << name;
    }
    EXPECT_EQ(FileAt(client, "keep.txt"), BytesOf("kept"));
    // A batch that cannot be written leaves none of its files: a file where
    // a folder would go.
    ArchiveOnDisk blocked(
        BuildRgz({{'f', "new.txt", BytesOf("n")}, {'f', "keep.txt\\inner.txt", BytesOf("x")}}));
    EXPECT_EQ(GrfApplyFiles(blocked.archive, client.path.c_str(), nullptr, &applied), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_OUTPUT});
    EXPECT_EQ(applied, 0u);
    EXPECT_FALSE(FileExists(client.Join(L"new.txt")));
    // A rename that fails stops there: the files before it are in place.
    ArchiveOnDisk renamed(BuildRgz({{'f', "new.txt", BytesOf("n")},
                                    {'f', "data", BytesOf("x")},
                                    {'f', "last.txt", BytesOf("l")}}));
    EXPECT_EQ(GrfApplyFiles(renamed.archive, client.path.c_str(), nullptr, &applied), 1);
#ifdef _WIN32
    // Under Windows the batch fails before its renames: it is left out
    // whole, nothing half-applied.
    EXPECT_EQ(applied, 0u);
#else
    EXPECT_EQ(applied, 1u);
    EXPECT_EQ(FileAt(client, "new.txt"), BytesOf("n"));
#endif
    EXPECT_FALSE(FileExists(client.Join(L"last.txt")));
}

TEST(Rgz, ConvertedToThorAndBack) {
    std::vector<RgzRecord> files = SampleFiles();
    files[3].content.resize(1 << 20);  // keeps the round trip quick
    ArchiveOnDisk disk(BuildRgz(files));
    std::wstring thor = disk.dir.Join(L"a.thor");
    ASSERT_EQ(GrfWritePatch(disk.archive, thor.c_str(), GRF_PATCH_LOOSE, "", 0, nullptr), 0)
        << GrfLastError;
    GrfArchive* patch = GrfOpen(thor.c_str(), nullptr);
    ASSERT_NE(patch, GRF_NO_ARCHIVE);
    EXPECT_EQ(ContentsOf(patch), ContentsOf(disk.archive));
    std::wstring back = disk.dir.Join(L"b.rgz");
    ASSERT_EQ(GrfWriteRgz(patch, back.c_str(), nullptr), 0) << GrfLastError;
    GrfClose(&patch);
    Bytes original, again;
    ASSERT_TRUE(ReadFileBytes(disk.path, &original));
    ASSERT_TRUE(ReadFileBytes(back, &again));
    EXPECT_TRUE(Gunzip(again) == Gunzip(original)) << "the same records, folders and end";

    // A THOR's removals cannot go into an RGZ: left out.
    ArchiveOnDisk withRemoval(
        BuildThor({{"data\\a.txt", BytesOf("a")}, {"data\\old.txt", {}, true}}));
    std::wstring noRemoval = disk.dir.Join(L"c.rgz");
    ASSERT_EQ(GrfWriteRgz(withRemoval.archive, noRemoval.c_str(), nullptr), 0);
    Bytes c;
    ASSERT_TRUE(ReadFileBytes(noRemoval, &c));
    EXPECT_EQ(
        Gunzip(c),
        RgzRecords({{'d', "data", {}}, {'f', "data\\a.txt", BytesOf("a")}, {'e', "end", {}}}));
}

}  // namespace
