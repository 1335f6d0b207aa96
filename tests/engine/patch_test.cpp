// Patch files written from a table, and patches applied: merged into
// archives of each version as marks that a write keeps, or written as loose
// files into the archive's folder with extraction's safety.
#include <grf.h>
#include <gtest/gtest.h>
#include <le_bytes.h>
#include <platform_hooks.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <map>
#include <string>
#include <vector>

#include "crash_harness.h"
#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"
#include "thor_builder.h"

namespace {

const std::string kKorean = "data\\\xc7\xd1\xb1\xdb.txt";

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
    b.archive->entries[4].state = GRF_ENTRY_DELETED;
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
    EXPECT_EQ(patch->entries[4].state, GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_REMOVAL);
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

// Contents are deflated ahead on several workers; each is a stream of its
// own, so the file is the same with any number of them, and a record that
// does not read fails the write the same way.
TEST(PatchWrite, SameBytesWithAnyNumberOfWorkers) {
    std::vector<Content> contents;
    for (int i = 0; i < 40; ++i)
        contents.push_back({"data\\f" + std::to_string(i) + ".bin",
                            i % 7 == 3 ? Bytes() : RandomBytes(i % 5 == 0 ? 300000 : 2000, i), 1});
    ArchiveOnDisk b(BuildArchive(0x200, contents));
    ASSERT_EQ(GrfAddRemoval(b.archive, "data\\old.bmp"), uint32_t{GRF_OK});
    std::wstring local = b.dir.Join(L"local.txt");
    ASSERT_TRUE(WriteFileBytes(local, Long(5, 50000)));
    ASSERT_EQ(GrfAddLocalFile(b.archive, L"data\\local.txt", local.c_str()), uint32_t{GRF_OK});
    uint32_t saved = GrfRepackThreads;
    Bytes first;
    for (uint32_t threads : {1u, 2u, 8u}) {
        SCOPED_TRACE(threads);
        GrfRepackThreads = threads;
        std::wstring out = b.dir.Join(L"out" + std::to_wstring(threads) + L".thor");
        ASSERT_EQ(GrfWritePatch(b.archive, out.c_str(), GRF_PATCH_MERGE, "data.grf",
                                GRF_PATCH_WITH_INTEGRITY, nullptr),
                  0)
            << GrfLastError;
        Bytes written;
        ASSERT_TRUE(ReadFileBytes(out, &written));
        if (first.empty()) {
            first = written;
            Contents expected;
            for (const Content& c : contents) expected[c.name] = c.data;
            expected["data\\local.txt"] = Long(5, 50000);
            Contents read = ContentsAt(out);
            read.erase("data.integrity");
            EXPECT_EQ(read, expected);
        }
        EXPECT_EQ(written, first);
    }
    // A local file gone: the same failure, nothing left.
    ASSERT_EQ(GrfAddLocalFile(b.archive, L"data\\gone.txt", b.dir.Join(L"gone").c_str()),
              uint32_t{GRF_OK});
    for (uint32_t threads : {1u, 2u, 8u}) {
        GrfRepackThreads = threads;
        std::wstring out = b.dir.Join(L"failed.thor");
        EXPECT_EQ(GrfWritePatch(b.archive, out.c_str(), GRF_PATCH_MERGE, "", 0, nullptr), 1);
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND}) << threads;
        EXPECT_FALSE(FileExists(out)) << threads;
    }
    GrfRepackThreads = saved;
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
    for (uint32_t version : {0x102u, 0x103u, 0x200u, 0x300u}) {
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
        EXPECT_EQ(states,
                  (std::vector<uint8_t>{GRF_ENTRY_DELETED, 9, 9, GRF_ENTRY_DELETED, 1, 5, 5}));
        EXPECT_EQ(a.archive->entries[1].owner, patch.archive);
        EXPECT_EQ(ContentsOf(a.archive), PatchedA());
        EXPECT_EQ(WrittenContents(a.archive, a.dir, version), PatchedA());
        EXPECT_EQ(WrittenContents(a.archive, a.dir, version < 0x200 ? 0x200 : 0x103), PatchedA());
    }
}

Names PatchedANames() {
    return {"data\\b.txt", "data\\c.txt", "data\\k.txt", "data\\d.txt", kKorean};
}

uint32_t g_progressCalls = 0;
bool g_lastWasEnd = false;

int32_t CountProgress(GrfEntry* entry, uint32_t, uint32_t) {
    ++g_progressCalls;
    g_lastWasEnd = entry == nullptr;
    return 0;
}

// Applying saves into the archive's own file: a fresh open reads the
// patched contents, the handle describes the file without the patch, and
// the archive keeps its version.
TEST(PatchApply, MergeSavesIntoTheArchiveFileOfEachVersion) {
    for (uint32_t version : {0x102u, 0x103u, 0x200u, 0x300u}) {
        SCOPED_TRACE(version);
        ArchiveOnDisk a(ArchiveA(version));
        {
            ArchiveOnDisk patch(PatchForA());
            g_progressCalls = 0;
            ASSERT_EQ(GrfApplyPatch(a.archive, patch.archive, CountProgress), 0) << GrfLastError;
            EXPECT_EQ(g_progressCalls, 5u);  // the four files written, then the end
            EXPECT_TRUE(g_lastWasEnd);
        }  // the patch is closed: nothing refers to it
        EXPECT_EQ(NamesOf(a.archive), PatchedANames());
        EXPECT_EQ(ContentsOf(a.archive), PatchedA());
        Names names;
        EXPECT_EQ(ContentsAt(a.path, &names), PatchedA());
        EXPECT_EQ(names, PatchedANames());
        Bytes now;
        ASSERT_TRUE(ReadFileBytes(a.path, &now));
        EXPECT_EQ(GetLe32(&now[GRF_HEADER_SIZE - 4]), version);
        // A patch whose every name is already as it says changes nothing more.
        ArchiveOnDisk again(BuildThor({{"data\\never.txt", {}, true}}, "", 1));
        ASSERT_EQ(GrfApplyPatch(a.archive, again.archive, nullptr), 0) << GrfLastError;
        Bytes same;
        ASSERT_TRUE(ReadFileBytes(a.path, &same));
        EXPECT_EQ(same, now);
    }
}

int32_t StopAtTheEnd(GrfEntry* entry, uint32_t, uint32_t) {
    return entry == nullptr;
}

// A save that fails or is stopped leaves the old file, and the table as the
// caller had it, earlier changes still marked; a later apply saves both.
TEST(PatchApply, FailedSaveLeavesTheFileAndPutsTheTableBack) {
    struct Case {
        const char* what;
        bool stop;  // stopped through progress, else the fault
        PlatformFault fault;
        uint32_t code;
    } cases[] = {{"stopped at the last moment", true, kPlatformFaultWrite, GRF_ERROR_CANCELLED},
                 {"a write fails", false, kPlatformFaultWrite, GRF_ERROR_WRITE},
                 {"a flush fails", false, kPlatformFaultFlush, GRF_ERROR_WRITE},
                 {"memory runs out", false, kPlatformFaultAllocation, GRF_ERROR_MEMORY}};
    for (uint32_t version : {0x103u, 0x300u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " " + std::to_string(version));
            ArchiveOnDisk a(ArchiveA(version));
            Bytes old;
            ASSERT_TRUE(ReadFileBytes(a.path, &old));
            std::wstring local = a.dir.Join(L"local.txt");
            ASSERT_TRUE(WriteFileBytes(local, BytesOf("pending")));
            ASSERT_EQ(GrfAddLocalFile(a.archive, L"data\\local.txt", local.c_str()), 0u);
            a.archive->entries[4].state |= GRF_ENTRY_DELETED;  // k.txt
            Bytes table = TableBytes(a.archive);
            ArchiveOnDisk patch(PatchForA());

            if (!c.stop) PlatformFailAfter(c.fault, 0);
            int32_t result =
                GrfApplyPatch(a.archive, patch.archive, c.stop ? StopAtTheEnd : nullptr);
            uint32_t code = GrfLastError;
            if (!c.stop) PlatformFailAfter(c.fault, -1);
            EXPECT_EQ(result, 1);
            EXPECT_EQ(code, c.code);
            Bytes now;
            ASSERT_TRUE(ReadFileBytes(a.path, &now));
            EXPECT_EQ(now, old);
            EXPECT_EQ(TableBytes(a.archive), table);
            EXPECT_EQ(GrfFindEntry(a.archive, "data\\d.txt"), nullptr);
            EXPECT_EQ(GrfFindEntry(a.archive, "data\\local.txt"), &a.archive->entries[5]);

            ASSERT_EQ(GrfApplyPatch(a.archive, patch.archive, nullptr), 0) << GrfLastError;
            Contents expected = PatchedA();
            expected.erase("data\\k.txt");
            expected["data\\local.txt"] = BytesOf("pending");
            EXPECT_EQ(ContentsAt(a.path), expected);
        }
    }
}

#ifndef _WIN32
// A patch larger than the writer's buffer: big files, small ones, and
// removals of names the archive holds and does not hold.
Bytes LargePatch() {
    std::vector<ThorFile> files;
    for (int i = 0; i < 2; ++i)
        files.push_back({"data\\big" + std::to_string(i) + ".bin", RandomBytes(1300000, 70 + i)});
    for (int i = 0; i < 6; ++i)
        files.push_back({"data\\small" + std::to_string(i) + ".txt", Long(20 + i, 3000)});
    files.push_back({"data\\b.txt", BytesOf("b new")});
    files.push_back({"data\\a.txt", {}, true});
    files.push_back({"data\\never.txt", {}, true});
    return BuildThor(files, "data.grf", 1, true);
}

// A child applying the patch is killed at every moment of the apply: the
// archive always opens as the old one or the patched one, every entry read.
TEST(PatchApplyCrash, KilledAtEveryMomentLeavesTheOldOrThePatchedArchive) {
    TempDir patchDir;
    std::wstring patchPath = patchDir.Join(L"large.thor");
    ASSERT_TRUE(WriteFileBytes(patchPath, LargePatch()));
    for (uint32_t version : {0x103u, 0x200u, 0x300u}) {
        SCOPED_TRACE(version);
        ArchiveOnDisk disk(ArchiveA(version));
        Bytes original;
        ASSERT_TRUE(ReadFileBytes(disk.path, &original));
        Names oldNames, newNames;
        Contents oldContents = ContentsAt(disk.path, &oldNames);

        GrfArchive* patch = GrfOpen(patchPath.c_str(), nullptr);
        ASSERT_NE(patch, GRF_NO_ARCHIVE);
        int32_t moments = crash::CountMoments(
            [&] { ASSERT_EQ(GrfApplyPatch(disk.archive, patch, crash::ProgressMoment), 0); });
        GrfClose(&patch);
        ASSERT_GE(moments, 16);
        Contents newContents = ContentsAt(disk.path, &newNames);
        ASSERT_EQ(newContents.size(), oldContents.size() + 8 - 1);

        int olds = 0, news = 0;
        for (int32_t at = 1; at <= moments; ++at) {
            ASSERT_TRUE(WriteFileBytes(disk.path, original));
            GrfArchive* archive = GRF_NO_ARCHIVE;
            GrfArchive* opened = GRF_NO_ARCHIVE;
            auto prepare = [&] {
                archive = GrfOpen(disk.path.c_str(), nullptr);
                opened = GrfOpen(patchPath.c_str(), nullptr);
                if (archive == GRF_NO_ARCHIVE || opened == GRF_NO_ARCHIVE) _exit(2);
            };
            auto apply = [&] { GrfApplyPatch(archive, opened, crash::ProgressMoment); };
            ASSERT_TRUE(crash::KilledAt(at, prepare, apply)) << "moment " << at;
            Names names;
            Contents contents = ContentsAt(disk.path, &names);
            if (contents == oldContents && names == oldNames) {
                ++olds;
            } else {
                EXPECT_EQ(contents, newContents) << "moment " << at;
                EXPECT_EQ(names, newNames) << "moment " << at;
                ++news;
            }
        }
        EXPECT_GT(olds, 0);
        EXPECT_GT(news, 0);
        EXPECT_EQ(olds + news, moments);
    }
}
#endif

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

// A refused entry is left out and every other one applied, removals after
// it included; neither the target archive nor the patch itself is replaced.
TEST(PatchApply, LooseFilesApplyEverySafeEntry) {
    Client client;
    ASSERT_TRUE(MakeDirectory(client.dir.Join(L"data")));
    ASSERT_TRUE(WriteFileBytes(client.dir.Join(LocalPath(L"data\\old.txt")), BytesOf("old")));
    std::wstring patchPath = client.dir.Join(L"update.thor");
    Bytes patchBytes = BuildThor({{"data\\a.txt", BytesOf("a")},
                                  {"..\\victim.txt", BytesOf("evil")},
                                  {"data.grf", BytesOf("evil")},
                                  {"update.thor", {}, true},
                                  {"data\\b.txt", BytesOf("b")},
                                  {"data\\old.txt", {}, true}},
                                 "", 0);
    ASSERT_TRUE(WriteFileBytes(patchPath, patchBytes));
    GrfArchive* patch = GrfOpen(patchPath.c_str(), nullptr);
    ASSERT_NE(patch, GRF_NO_ARCHIVE);
    std::vector<uint32_t> results(patch->count, 12345);
    EXPECT_EQ(GrfApplyLoosePatch(client.archive, patch, nullptr, results.data()), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_UNSAFE_NAME}) << "the first failure";
    EXPECT_EQ(results, (std::vector<uint32_t>{GRF_OK, GRF_ERROR_UNSAFE_NAME, GRF_ERROR_OPEN_ARCHIVE,
                                              GRF_ERROR_OPEN_ARCHIVE, GRF_OK, GRF_OK}));
    EXPECT_EQ(ListTree(client.dir.path),
              (std::vector<std::string>{"data.grf " + std::to_string(ArchiveA(0x200).size()),
                                        "data/", "data/a.txt 1", "data/b.txt 1",
                                        "update.thor " + std::to_string(patchBytes.size())}));
    EXPECT_EQ(GrfApplyPatch(client.archive, patch, nullptr), 1) << "the same, without results";
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_UNSAFE_NAME});
    GrfClose(&patch);
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
