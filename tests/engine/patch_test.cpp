// Patch files written from a table, and patches applied: merged into
// archives of each version as marks that a write keeps, or written as loose
// files into the archive's folder with extraction's safety.
#include <grf.h>
#include <gtest/gtest.h>
#include <le_bytes.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <map>
#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"
#include "thor_builder.h"

namespace {

using Contents = std::map<std::string, Bytes>;

const std::string kKorean = "data\\\xc7\xd1\xb1\xdb.txt";

// Every record not marked deleted, by name, with its content.
Contents ContentsOf(GrfArchive* archive) {
    Contents contents;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& e = archive->entries[i];
        if (e.state & (ENTRY_DELETED | ENTRY_REMOVAL)) continue;
        uint32_t size = 0;
        uint8_t* data = GrfReadRecord(archive, i, &size);
        EXPECT_NE(data, nullptr) << e.name << " code " << GrfLastError;
        if (data) contents[e.name] = Bytes(data, data + size);
        GrfFreeBuffer(data);
    }
    return contents;
}

// The table written in version to a new file beside the archive and opened.
Contents WrittenContents(GrfArchive* archive, const TempDir& dir, uint32_t version) {
    std::wstring out = dir.Join(L"written-" + std::to_wstring(version) + L".grf");
    GrfSetVersion(version);
    EXPECT_EQ(GrfRepack(archive, out.c_str(), nullptr), 0) << GrfLastError;
    GrfSetVersion(0x103);
    GrfArchive* again = GrfOpen(out.c_str(), nullptr);
    EXPECT_NE(again, GRF_NO_ARCHIVE);
    if (again == GRF_NO_ARCHIVE) return {};
    EXPECT_EQ(GetLe32(again->header + GRF_HEADER_SIZE - 4), version);
    Contents contents = ContentsOf(again);
    GrfClose(&again);
    return contents;
}

std::string Crc(const Bytes& content) {
    char text[16];
    snprintf(text, sizeof text, "0x%08x",
             static_cast<unsigned>(crc32(0, content.data(), static_cast<uInt>(content.size()))));
    return text;
}

TEST(PatchWrite, WritesWhatTheTableHoldsAndReadsBack) {
    Bytes big = Long(3, 20000);
    ArchiveOnDisk b(BuildArchive(0x103, {{"data\\keep.txt", BytesOf("kept")},
                                         {kKorean, BytesOf("new korean")},
                                         {"data\\big.bin", big},
                                         {"data\\empty.txt", {}},
                                         {"data\\dropped.txt", BytesOf("dropped")}}));
    b.archive->entries[4].state = ENTRY_DELETED;
    ASSERT_EQ(GrfAddRemoval(b.archive, "data\\old.bmp"), uint32_t{GRF_OK});
    std::wstring local = b.dir.Join(L"local.txt");
    ASSERT_TRUE(WriteFileBytes(local, BytesOf("from disk")));
    ASSERT_EQ(GrfAddLocalFile(b.archive, L"data\\local.txt", local.c_str()), uint32_t{GRF_OK});

    std::wstring out = b.dir.Join(L"out.thor");
    ASSERT_EQ(GrfWritePatch(b.archive, out.c_str(), GRF_PATCH_MERGE, "data.grf",
                            GRF_PATCH_WITH_INTEGRITY, nullptr),
              0)
        << GrfLastError;
    GrfArchive* patch = GrfOpen(out.c_str(), nullptr);
    ASSERT_NE(patch, GRF_NO_ARCHIVE) << GrfLastError;
    const GrfPatchInfo* info = GrfPatchOf(patch);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->mergeMode, GRF_PATCH_MERGE);
    EXPECT_STREQ(info->target, "data.grf");
    EXPECT_EQ(info->fileCount, patch->count);
    EXPECT_EQ(NamesOf(patch), (Names{"data\\keep.txt", kKorean, "data\\big.bin", "data\\empty.txt",
                                     "data\\old.bmp", "data\\local.txt", "data.integrity"}));
    EXPECT_EQ(patch->entries[4].state, ENTRY_IN_ARCHIVE | ENTRY_REMOVAL);
    EXPECT_EQ(patch->entries[3].compressedSize, 0u);
    // Each stream is zero-filled to a multiple of 8 bytes up to the next.
    for (uint32_t i = 0; i + 1 < patch->count; ++i) {
        const GrfEntry& e = patch->entries[i];
        if (e.compressedSize == 0 || patch->entries[i + 1].compressedSize == 0) continue;
        EXPECT_EQ(patch->entries[i + 1].position - e.position, GrfAlign8(e.compressedSize));
    }
    Contents expected = {{"data\\keep.txt", BytesOf("kept")},
                         {kKorean, BytesOf("new korean")},
                         {"data\\big.bin", big},
                         {"data\\empty.txt", {}},
                         {"data\\local.txt", BytesOf("from disk")}};
    std::string list;
    for (const std::string& name : NamesOf(patch))
        if (expected.count(name)) list += name + "=" + Crc(expected[name]) + "\r\n";
    expected["data.integrity"] = BytesOf(list);
    EXPECT_EQ(ContentsOf(patch), expected);
    GrfClose(&patch);

    // Never over an existing file, and nothing left behind.
    EXPECT_EQ(GrfWritePatch(b.archive, out.c_str(), GRF_PATCH_MERGE, nullptr, 0, nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(GrfAddRemoval(b.archive, ""), uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(GrfWritePatch(b.archive, b.dir.Join(L"long.thor").c_str(), 1,
                            std::string(256, 't').c_str(), 0, nullptr),
              1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_WRITE});
    EXPECT_EQ(ListTree(b.dir.path).size(), 3u);  // source.grf, local.txt, out.thor
}

TEST(PatchWrite, StoppedOrFailedWriteLeavesNothing) {
    ArchiveOnDisk b(BuildArchive(0x200, Named({"a", "b"}, "x")));
    std::wstring out = b.dir.Join(L"out.thor");
    auto stop = [](GrfEntry*, uint32_t index, uint32_t) -> int32_t { return index == 1; };
    EXPECT_EQ(GrfWritePatch(b.archive, out.c_str(), 1, "", 0, stop), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CANCELLED});
    ASSERT_EQ(GrfAddLocalFile(b.archive, L"gone", b.dir.Join(L"missing").c_str()),
              uint32_t{GRF_OK});
    EXPECT_EQ(GrfWritePatch(b.archive, out.c_str(), 1, "", 0, nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(
        ListTree(b.dir.path),
        std::vector<std::string>{
            "source.grf " + std::to_string(BuildArchive(0x200, Named({"a", "b"}, "x")).size())});
}

// A: a, b, c twice, k; the patch changes b and c, adds d and a Korean name,
// removes a and a name A lacks, and carries an integrity list.
Bytes ArchiveA(uint32_t version) {
    return BuildArchive(version, {{"data\\a.txt", BytesOf("a old")},
                                  {"data\\b.txt", BytesOf("b old")},
                                  {"data\\c.txt", BytesOf("c first")},
                                  {"data\\c.txt", BytesOf("c second")},
                                  {"data\\k.txt", Long(1)}});
}

Bytes PatchForA() {
    return BuildThor({{"data\\b.txt", BytesOf("b new")},
                      {"data\\c.txt", Long(9)},
                      {"data\\d.txt", BytesOf("d new")},
                      {kKorean, BytesOf("korean")},
                      {"data\\a.txt", {}, true},
                      {"data\\never.txt", {}, true},
                      {"data.integrity", BytesOf("data\\b.txt=0x00000000\r\n")}},
                     "data.grf", 1, true);
}

Contents PatchedA() {
    return {{"data\\b.txt", BytesOf("b new")},
            {"data\\c.txt", Long(9)},
            {"data\\k.txt", Long(1)},
            {"data\\d.txt", BytesOf("d new")},
            {kKorean, BytesOf("korean")}};
}

TEST(PatchApply, MarksMergeIntoEachVersionAndWriteBack) {
    for (uint32_t version : {0x102u, 0x103u, 0x200u}) {
        SCOPED_TRACE(version);
        ArchiveOnDisk a(ArchiveA(version));
        ArchiveOnDisk patch(PatchForA());
        ASSERT_EQ(GrfMarkPatch(a.archive, patch.archive), uint32_t{GRF_OK});
        EXPECT_EQ(NamesOf(a.archive),
                  (Names{"data\\a.txt", "data\\b.txt", "data\\c.txt", "data\\c.txt", "data\\k.txt",
                         "data\\d.txt", kKorean}));
        std::vector<uint8_t> states;
        for (uint32_t i = 0; i < a.archive->count; ++i)
            states.push_back(a.archive->entries[i].state);
        EXPECT_EQ(states, (std::vector<uint8_t>{ENTRY_DELETED, 9, 9, ENTRY_DELETED, 1, 5, 5}));
        EXPECT_EQ(a.archive->entries[1].owner, patch.archive);
        EXPECT_EQ(ContentsOf(a.archive), PatchedA());
        EXPECT_EQ(WrittenContents(a.archive, a.dir, version), PatchedA());
        EXPECT_EQ(WrittenContents(a.archive, a.dir, version < 0x200 ? 0x200 : 0x103), PatchedA());
    }
}

TEST(PatchApply, RefusesWhatIsNoPatchAndOddMergeModes) {
    ArchiveOnDisk a(ArchiveA(0x200));
    ArchiveOnDisk other(ArchiveA(0x200));
    Bytes before = TableBytes(a.archive);
    EXPECT_EQ(GrfMarkPatch(a.archive, other.archive), uint32_t{GRF_ERROR_NOT_ARCHIVE});
    EXPECT_EQ(GrfMarkPatch(a.archive, GRF_NO_ARCHIVE), uint32_t{GRF_ERROR_HANDLE});
    ArchiveOnDisk patch(PatchForA());
    EXPECT_EQ(GrfMarkPatch(patch.archive, patch.archive), uint32_t{GRF_ERROR_NOT_ARCHIVE});
    ArchiveOnDisk odd(BuildThor({{"data\\x.txt", BytesOf("x")}}, "", 2));
    EXPECT_EQ(GrfApplyPatch(a.archive, odd.archive, nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_VERSION});
    EXPECT_EQ(TableBytes(a.archive), before);
}

// A loose-files patch applied beside an archive in a client folder.
struct Client {
    TempDir dir;
    std::wstring grf = dir.Join(L"data.grf");
    GrfArchive* archive = GRF_NO_ARCHIVE;
    Client() {
        EXPECT_TRUE(WriteFileBytes(grf, ArchiveA(0x200)));
        archive = GrfOpen(grf.c_str(), nullptr);
    }
    ~Client() { GrfClose(&archive); }
};

TEST(PatchApply, LooseFilesGoIntoTheArchiveFolder) {
    Client client;
    ASSERT_TRUE(MakeDirectory(client.dir.Join(L"data")));
    ASSERT_TRUE(WriteFileBytes(client.dir.Join(LocalPath(L"data\\old.txt")), BytesOf("old")));
    ASSERT_TRUE(WriteFileBytes(client.dir.Join(L"keep.txt"), BytesOf("keep")));
    ArchiveOnDisk patch(BuildThor({{"data\\sub\\new.txt", BytesOf("new")},
                                   {kKorean, BytesOf("korean")},
                                   {"data\\old.txt", {}, true},
                                   {"data\\missing.txt", {}, true},
                                   {"client.exe", Long(4)},
                                   {"data.integrity", BytesOf("x")}},
                                  "", 0));
    TempDir elsewhere;
    CurrentDirScope away(elsewhere.path);  // the archive's folder, not the current one
    ASSERT_EQ(GrfApplyPatch(client.archive, patch.archive, nullptr), 0) << GrfLastError;
    EXPECT_EQ(ListTree(client.dir.path),
              (std::vector<std::string>{"client.exe " + std::to_string(Long(4).size()),
                                        "data.grf " + std::to_string(ArchiveA(0x200).size()),
                                        "data/", "data/sub/", "data/sub/new.txt 3",
                                        "data/\xed\x95\x9c\xea\xb8\x80.txt 6", "keep.txt 4"}));
    EXPECT_TRUE(ListTree(elsewhere.path).empty());
    EXPECT_EQ(NamesOf(client.archive).size(), 5u);  // the archive itself is untouched
}

TEST(PatchApply, LooseFilesNeverLeaveTheFolder) {
    TempDir outer;
    ASSERT_TRUE(WriteFileBytes(outer.Join(L"victim.txt"), BytesOf("victim")));
    ASSERT_TRUE(MakeDirectory(outer.Join(L"client")));
    std::wstring grf = outer.Join(LocalPath(L"client\\data.grf"));
    ASSERT_TRUE(WriteFileBytes(grf, ArchiveA(0x200)));
    GrfArchive* archive = GrfOpen(grf.c_str(), nullptr);
    ASSERT_NE(archive, GRF_NO_ARCHIVE);
    bool linked = MakeSymbolicLink(outer.Join(LocalPath(L"client\\up")), "..", true);
    struct Case {
        const char* what;
        ThorFile file;
    };
    std::vector<Case> cases = {
        {"removal that climbs out", {"..\\victim.txt", {}, true}},
        {"file that climbs out", {"..\\victim.txt", BytesOf("evil")}},
        {"absolute removal", {"\\victim.txt", {}, true}},
    };
    if (linked) {
        cases.push_back({"removal through a link", {"up\\victim.txt", {}, true}});
        cases.push_back({"file through a link", {"up\\victim.txt", BytesOf("evil")}});
    }
    for (const Case& c : cases) {
        ArchiveOnDisk patch(BuildThor({c.file}, "", 0));
        EXPECT_EQ(GrfApplyPatch(archive, patch.archive, nullptr), 1) << c.what;
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_UNSAFE_NAME}) << c.what;
        Bytes victim;
        EXPECT_TRUE(ReadFileBytes(outer.Join(L"victim.txt"), &victim)) << c.what;
        EXPECT_EQ(victim, BytesOf("victim")) << c.what;
    }
    GrfClose(&archive);
}

}  // namespace
