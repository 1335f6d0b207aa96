// Real archives from other projects open with the counts and names that an
// independent reader finds in them.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct FixtureCase {
    const char* file;
    uint32_t code;  // 0: opens
    uint32_t count;
    std::vector<std::string> firstNames;
};

TEST(Fixtures, OpenWithTheirCountsAndNames) {
    SKIP_WITHOUT_FIXTURES();
    const FixtureCase cases[] = {
        {"test102.grf", 0, 9, {"data\\0_Tex1.bmp", "data\\11001.txt", "data\\balls.wav"}},
        {"test200.grf", 0, 9, {"data\\0_Tex1.bmp", "data\\11001.txt", "data\\balls.wav"}},
        {"ab.grf", 0, 2, {"data\\a.txt", "data\\b.dat"}},
        {"encoding.grf", 0, 4, {}},
        {"filetypes.grf", 0, 1, {"data\\a.gat"}},
        {"invalid_filecount.grf", 0, 1, {"data\\a.txt"}},
        {"invalid_version.grf", 0, 0, {}},
        {"with-files.grf", 0, 6, {}},
        {"incorrect-version.grf", 0, 0, {}},
        {"not-grf.grf", GRF_ERROR_NOT_ARCHIVE, 0, {}},
        {"raglite-test.grf", 0, 4, {"subdirectory\\hello.txt", "hello-grf.txt", "UPPERCASE.PNG"}},
        {"missing-map-files.grf", 0, 11, {"data\\123.gat", "data\\123.gnd", "data\\123.rsw"}},
        {"midgard-test.grf", 0, 4, {"data\\test.txt"}},
    };
    for (const FixtureCase& c : cases) {
        std::wstring path = FixturePath(std::string("grf/") + c.file);
        GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
        if (c.code) {
            EXPECT_EQ(archive, GRF_NO_ARCHIVE) << c.file;
            EXPECT_EQ(GrfLastError, c.code) << c.file;
            continue;
        }
        ASSERT_NE(archive, GRF_NO_ARCHIVE) << c.file << " code " << GrfLastError;
        EXPECT_EQ(archive->count, c.count) << c.file;
        for (size_t i = 0; i < c.firstNames.size() && i < archive->count; ++i)
            EXPECT_EQ(archive->entries[i].name, c.firstNames[i]) << c.file;
        GrfClose(&archive);
    }
}

std::wstring WideName(const GrfEntry& entry) {
    wchar_t* wide = PlatformCp949ToWide(entry.name);
    std::wstring out = wide;
    PlatformFree(wide);
    return out;
}

TEST(Fixtures, V1ArchiveCyclesAndKoreanName) {
    SKIP_WITHOUT_FIXTURES();
    std::wstring path = FixturePath("grf/test102.grf");
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    ASSERT_NE(archive, GRF_NO_ARCHIVE);
    ASSERT_EQ(archive->count, 9u);
    EXPECT_EQ(WideName(archive->entries[8]), L"data\\t2_\uBC30\uACBD1-1.bmp");
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& e = archive->entries[i];
        EXPECT_EQ(e.type, 1);
        EXPECT_EQ(e.version, 0x102u);
        EXPECT_TRUE(e.cycle >= 4 && e.cycle <= 6) << e.name << " cycle " << int{e.cycle};
    }
    GrfClose(&archive);
}

TEST(Fixtures, V2ArchiveTypesAndCycles) {
    SKIP_WITHOUT_FIXTURES();
    std::wstring path = FixturePath("grf/with-files.grf");
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    ASSERT_NE(archive, GRF_NO_ARCHIVE);
    struct Expect {
        const char* name;
        uint8_t type;
        int8_t cycle;
    } expected[] = {
        {"compressed-des-header", 5, 0},
        {"compressed-des-full", 3, 2},
        {"big-compressed-des-full", 3, 3},
    };
    for (const Expect& x : expected) {
        const GrfEntry* e = GrfFindEntry(archive, x.name);
        ASSERT_NE(e, nullptr) << x.name;
        EXPECT_EQ(e->type, x.type) << x.name;
        EXPECT_EQ(e->cycle, x.cycle) << x.name;
    }
    GrfClose(&archive);
}

}  // namespace
