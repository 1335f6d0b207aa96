// Saving in place: every kind of change in each layout, compared with a
// repack of the same table; what a save leaves of the old file; failures,
// stops and kills at every moment, after which the file must read as the
// old archive or the new one.
#include <grf.h>
#include <grf_format.h>
#include <gtest/gtest.h>
#include <le_bytes.h>
#include <platform.h>
#include <platform_hooks.h>
#include <zlib.h>

#include <map>
#include <string>
#include <vector>

#include "crash_harness.h"
#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

using namespace grf;

std::vector<Content> SourceContents() {
    return {
        {"data\\a.gnd", Long(1), 1},          {"data\\noext", Long(2), 5},
        {"data\\texture\\b.bmp", Long(3), 3}, {"data\\sprite\\\xB9\xE8\xB0\xE6.spr", Long(4), 1},
        {"data\\empty.txt", {}, 1},           {"data\\c.txt", BytesOf("stays"), 1},
    };
}

enum Change { kAdd = 1, kMerge = 2, kDelete = 4, kAll = 7 };

// What the changes bring: local files in a folder of their own, and an
// archive of the other family to merge (one name replaces, one is new).
struct Additions {
    explicit Additions(uint32_t targetVersion) {
        EXPECT_TRUE(WriteFileBytes(files.Join(L"new.txt"), BytesOf("a new file")));
        EXPECT_TRUE(WriteFileBytes(files.Join(L"big.bin"), Long(7, 200000)));
        uint32_t otherVersion = targetVersion < 0x200 ? 0x200 : 0x102;
        other.emplace_back(Content{"data\\texture\\b.bmp", Long(8), 3});
        other.emplace_back(Content{"data\\merged.gat", Long(9), 5});
        otherPath = files.Join(L"other.grf");
        EXPECT_TRUE(WriteFileBytes(otherPath, BuildArchive(otherVersion, other)));
    }
    // Applies the change to archive; the merged archive stays open in
    // *opened (the caller closes it).
    void Apply(GrfArchive* archive, int change, GrfArchive** opened) const {
        if (change & kAdd) {
            ASSERT_EQ(GrfAddLocalFile(archive, L"data\\new.txt", files.Join(L"new.txt").c_str()),
                      0u);
            ASSERT_EQ(GrfAddLocalFile(archive, L"data\\big.bin", files.Join(L"big.bin").c_str()),
                      0u);
        }
        if (change & kMerge) {
            *opened = GrfOpen(otherPath.c_str(), nullptr);
            ASSERT_NE(*opened, GRF_NO_ARCHIVE);
            ASSERT_NE(GrfMerge(archive, *opened), 0u);
        }
        if (change & kDelete) {
            archive->entries[0].state |= GRF_ENTRY_DELETED;
            archive->entries[4].state |= GRF_ENTRY_DELETED;
        }
    }
    TempDir files;
    std::vector<Content> other;
    std::wstring otherPath;
};

// The fields a reader takes from a record, owner aside.
struct Fields {
    std::string name;
    uint32_t compressed, aligned, real;
    uint64_t position;
    uint8_t type, state;
    int8_t cycle;
    uint32_t version;
    bool operator==(const Fields&) const = default;
};

std::vector<Fields> FieldsOf(const GrfArchive* archive) {
    std::vector<Fields> fields;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& e = archive->entries[i];
        fields.push_back({e.name, e.compressedSize, e.alignedSize, e.realSize, e.position, e.type,
                          e.state, e.cycle, e.version});
    }
    return fields;
}

// Whether zlib itself, not only the engine's reader, inflates the directory
// a 0x2xx or 0x300 header points at to exactly its recorded size.
bool ZlibReadsDirectory(const Bytes& file) {
    uint32_t version = GetLe32(&file[kHeaderVersion]);
    bool wide = version >> 8 == 3;
    uint64_t at = (wide ? GetLe64(&file[kHeaderDirOffset]) : GetLe32(&file[kHeaderDirOffset])) +
                  kOffsetBase + (wide ? 4 : 0);
    if (at + 8 > file.size()) return false;
    uint32_t packed = GetLe32(&file[at]), real = GetLe32(&file[at + 4]);
    if (at + 8 + packed > file.size()) return false;
    Bytes table(real + 1);
    uLongf length = static_cast<uLongf>(table.size());
    return uncompress(table.data(), &length, &file[at + 8], packed) == Z_OK && length == real;
}

// Each kind of change in each layout: the saved file reads as a repack of
// the same table does, the old bytes stay (the header's offset and count
// aside), and the archive describes its file as a fresh open would.
TEST(Save, EachKindOfChangeReadsAsARepackOfTheSameTable) {
    for (uint32_t version : {0x103u, 0x200u, 0x300u}) {
        for (int change : {kAdd, kMerge, kDelete, kAll}) {
            std::string what = std::to_string(version) + " change " + std::to_string(change);
            Additions additions(version);
            ArchiveOnDisk disk(BuildArchive(version, SourceContents()));
            Bytes old;
            ASSERT_TRUE(ReadFileBytes(disk.path, &old));
            GrfArchive* other = GRF_NO_ARCHIVE;
            additions.Apply(disk.archive, change, &other);

            std::wstring repacked = disk.dir.Join(L"repacked.grf");
            GrfSetVersion(version);
            ASSERT_EQ(GrfRepack(disk.archive, repacked.c_str(), nullptr), 0) << what;
            uint64_t foreseen = GrfSaveBytes(disk.archive);
            ASSERT_EQ(GrfSave(disk.archive, nullptr), 0) << what << " code " << GrfLastError;
            GrfClose(&other);  // nothing refers to it any more

            Names savedNames, repackedNames;
            Contents saved = ContentsAt(disk.path, &savedNames);
            EXPECT_EQ(saved, ContentsAt(repacked, &repackedNames)) << what;
            EXPECT_EQ(savedNames, repackedNames) << what;

            Bytes now;
            ASSERT_TRUE(ReadFileBytes(disk.path, &now));
            ASSERT_GT(now.size(), old.size());
            // Exact but for the deflated local files and directory.
            EXPECT_GE(foreseen + 200, now.size()) << what;
            EXPECT_LE(foreseen, now.size() + 300000) << what;
            for (size_t at = 0; at < old.size(); ++at) {
                if (at >= kHeaderDirOffset && at < kHeaderVersion) continue;
                ASSERT_EQ(now[at], old[at]) << what << " byte " << at << " was written over";
            }
            if (version < 0x200) {
                EXPECT_EQ(Slice(now, old.size(), 4), Bytes(4, 0)) << what;
            }
            EXPECT_EQ(GetLe32(&now[kHeaderVersion]), version) << what;
            if (version >= 0x200) {
                EXPECT_TRUE(ZlibReadsDirectory(now)) << what;
            }

            // The handle now describes the file: reads work, states are plain,
            // lookups find the records, and a fresh open agrees field by field.
            EXPECT_EQ(ContentsOf(disk.archive), saved) << what;
            GrfArchive* fresh = GrfOpen(disk.path.c_str(), nullptr);
            ASSERT_NE(fresh, GRF_NO_ARCHIVE);
            EXPECT_EQ(FieldsOf(disk.archive), FieldsOf(fresh)) << what;
            GrfClose(&fresh);
            for (uint32_t i = 0; i < disk.archive->count; ++i) {
                EXPECT_EQ(disk.archive->entries[i].owner, disk.archive);
                EXPECT_EQ(GrfFindEntry(disk.archive, disk.archive->entries[i].name),
                          &disk.archive->entries[i]);
            }
            EXPECT_EQ(memcmp(disk.archive->header, now.data(), GRF_HEADER_SIZE), 0) << what;
            // Nothing left to save: a second save writes nothing.
            EXPECT_EQ(GrfSaveBytes(disk.archive), now.size()) << what;
            ASSERT_EQ(GrfSave(disk.archive, nullptr), 0);
            Bytes again;
            ASSERT_TRUE(ReadFileBytes(disk.path, &again));
            EXPECT_EQ(again, now) << what;
        }
    }
}

// Records kept in place keep their stored bytes and their type, also a
// 0x2xx record enciphered by type; a save after a save builds on it.
TEST(Save, KeptRecordsStayAndSavesBuildOnEachOther) {
    ArchiveOnDisk disk(BuildArchive(0x200, SourceContents()));
    Contents before = ContentsOf(disk.archive);
    std::vector<Fields> kept = FieldsOf(disk.archive);
    TempDir files;
    for (int round = 0; round < 3; ++round) {
        std::wstring path = files.Join(L"f" + std::to_wstring(round));
        ASSERT_TRUE(WriteFileBytes(path, BytesOf("round " + std::to_string(round))));
        std::wstring name = L"data\\round" + std::to_wstring(round) + L".txt";
        ASSERT_EQ(GrfAddLocalFile(disk.archive, name.c_str(), path.c_str()), 0u);
        ASSERT_EQ(GrfSave(disk.archive, nullptr), 0) << GrfLastError;
        before["data\\round" + std::to_string(round) + ".txt"] =
            BytesOf("round " + std::to_string(round));
    }
    EXPECT_EQ(ContentsAt(disk.path), before);
    std::vector<Fields> now = FieldsOf(disk.archive);
    ASSERT_EQ(now.size(), kept.size() + 3);
    EXPECT_EQ(std::vector<Fields>(now.begin(), now.begin() + kept.size()), kept);
}

// Bytes nothing uses: none in a tightly built file; marked deletions and
// replaced records count at once; after the save the old directory too.
TEST(Save, UnusedBytes) {
    for (uint32_t version : {0x103u, 0x200u, 0x300u}) {
        ArchiveOnDisk disk(BuildArchive(version, SourceContents()));
        EXPECT_EQ(GrfUnusedBytes(disk.archive), 0u) << version;
        uint64_t oldDirectory = disk.archive->directoryEnd -
                                (GetLe32(disk.archive->header + kHeaderDirOffset) + kOffsetBase);
        disk.archive->entries[1].state |= GRF_ENTRY_DELETED;
        uint32_t deleted = disk.archive->entries[1].alignedSize;
        EXPECT_EQ(GrfUnusedBytes(disk.archive), deleted) << version;
        ASSERT_EQ(GrfSave(disk.archive, nullptr), 0);
        EXPECT_EQ(GrfUnusedBytes(disk.archive), deleted + oldDirectory + (version < 0x200 ? 4 : 0))
            << version;
        GrfArchive* fresh = GrfOpen(disk.path.c_str(), nullptr);
        EXPECT_EQ(GrfUnusedBytes(fresh), GrfUnusedBytes(disk.archive)) << version;
        GrfClose(&fresh);
    }
    EXPECT_EQ(GrfUnusedBytes(GRF_NO_ARCHIVE), 0u);
    EXPECT_EQ(GrfUnusedBytes(nullptr), 0u);
}

int32_t g_stopAt = 0;
int32_t g_calls = 0;
int32_t StopAtCall(GrfEntry*, uint32_t index, uint32_t total) {
    EXPECT_LE(index, total);
    return ++g_calls == g_stopAt;
}

struct Refusal {
    const char* what;
    uint32_t version;
    uint32_t code;
};

// Saves that cannot go ahead change neither the file nor the table.
TEST(Save, RefusalsAndStopsLeaveFileAndTable) {
    for (uint32_t version : {0x103u, 0x200u, 0x300u}) {
        Additions additions(version);
        // Stopped at the first record, at the second, and at the last
        // moment before the header is written.
        for (int32_t stop : {1, 2, 5}) {
            ArchiveOnDisk disk(BuildArchive(version, SourceContents()));
            Bytes old;
            ASSERT_TRUE(ReadFileBytes(disk.path, &old));
            GrfArchive* other = GRF_NO_ARCHIVE;
            additions.Apply(disk.archive, kAll, &other);
            Bytes table = TableBytes(disk.archive);
            g_calls = 0;
            g_stopAt = stop;
            EXPECT_EQ(GrfSave(disk.archive, StopAtCall), 1);
            EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CANCELLED}) << stop;
            EXPECT_EQ(g_calls, stop);
            Bytes now;
            ASSERT_TRUE(ReadFileBytes(disk.path, &now));
            EXPECT_EQ(now, old) << version << " stop " << stop;
            EXPECT_EQ(TableBytes(disk.archive), table);
            // The archive is still the file's: a later save goes through.
            ASSERT_EQ(GrfSave(disk.archive, nullptr), 0) << GrfLastError;
            GrfClose(&other);
        }
    }

    // A file changed behind the archive's back, a 0x1xx file with bytes
    // after its directory, a save past 4 GB, an archive without a file.
    ArchiveOnDisk changed(BuildArchive(0x200, SourceContents()));
    changed.archive->entries[0].state |= GRF_ENTRY_DELETED;
    Bytes old;
    ASSERT_TRUE(ReadFileBytes(changed.path, &old));
    ASSERT_TRUE(WriteFileBytes(changed.path, Join(old, BytesOf("x"))));
    EXPECT_EQ(GrfSave(changed.archive, nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CHANGED});

    for (size_t tail : {1, 3, 30}) {
        Bytes v1 = Join(BuildArchive(0x103, SourceContents()), Bytes(tail, 0x20));
        ArchiveOnDisk trailing(v1);
        ASSERT_EQ(trailing.archive->count, SourceContents().size());
        trailing.archive->entries[0].state |= GRF_ENTRY_DELETED;
        EXPECT_EQ(GrfSave(trailing.archive, nullptr), 1);
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_IN_PLACE}) << tail;
        Bytes now;
        ASSERT_TRUE(ReadFileBytes(trailing.path, &now));
        EXPECT_EQ(now, v1);
    }

    // 0x300's 64-bit offsets have no such limit.
    for (uint32_t version : {0x103u, 0x200u}) {
        Additions additions(version);
        ArchiveOnDisk big(BuildArchive(version, SourceContents()));
        GrfArchive* other = GRF_NO_ARCHIVE;
        additions.Apply(big.archive, kMerge, &other);
        Bytes before;
        ASSERT_TRUE(ReadFileBytes(big.path, &before));
        EXPECT_LT(GrfSaveBytes(big.archive), 1u << 20);
        big.archive->entries[big.archive->count - 1].alignedSize = 0xFFFFFFF0u;
        EXPECT_GT(GrfSaveBytes(big.archive), uint64_t{0xFFFFFFFFu} + GRF_HEADER_SIZE);
        g_calls = 0;
        g_stopAt = -1;
        EXPECT_EQ(GrfSave(big.archive, StopAtCall), 1);
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_WRITE}) << version;
        EXPECT_EQ(g_calls, 0) << "refused before anything is written";
        Bytes now;
        ASSERT_TRUE(ReadFileBytes(big.path, &now));
        EXPECT_EQ(now, before);
        GrfClose(&other);
    }

    TempDir dir;
    GrfArchive* created = GrfCreate(dir.Join(L"new.grf").c_str());
    ASSERT_TRUE(WriteFileBytes(dir.Join(L"f.txt"), BytesOf("f")));
    ASSERT_EQ(GrfAddLocalFile(created, L"data\\f.txt", dir.Join(L"f.txt").c_str()), 0u);
    EXPECT_EQ(GrfSave(created, nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
    GrfClose(&created);
    EXPECT_EQ(GrfSave(GRF_NO_ARCHIVE, nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
}

// Each write, each flush and each cut of a save failing in turn: the file
// is left as it was and the table unchanged. A fault that passes leaves the
// very bytes; one that lasts may leave bytes past the old end that nothing
// refers to (when the old header cannot be made sure on the disk, nothing
// is cut), and the file still reads as the old archive.
// A file the system refuses (read-only, in use by another program) is told
// apart from one that is missing, at opening, reading and saving alike.
TEST(Save, RefusedFilesAreDeniedNotMissing) {
    ArchiveOnDisk disk(BuildArchive(0x200, SourceContents()));
    Bytes before;
    ASSERT_TRUE(ReadFileBytes(disk.path, &before));
    disk.archive->entries[0].state |= GRF_ENTRY_DELETED;
    PlatformFailAfter(kPlatformFaultAccess, 0);
    EXPECT_EQ(GrfOpen(disk.path.c_str(), nullptr), GRF_NO_ARCHIVE);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_ACCESS});
    EXPECT_EQ(GrfReadRecord(disk.archive, 1, nullptr), nullptr);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_ACCESS});
    EXPECT_EQ(GrfSave(disk.archive, nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_ACCESS});
    PlatformFailAfter(kPlatformFaultAccess, -1);
    Bytes after;
    ASSERT_TRUE(ReadFileBytes(disk.path, &after));
    EXPECT_EQ(after, before);
    EXPECT_EQ(GrfOpen(disk.dir.Join(L"missing.grf").c_str(), nullptr), GRF_NO_ARCHIVE);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(GrfSave(disk.archive, nullptr), 0) << GrfLastError;
}

TEST(Save, EveryFailingWriteFlushAndCutLeavesTheOldArchive) {
    struct Fault {
        PlatformFault kind;
        bool once;
    } faults[] = {{kPlatformFaultWrite, false},
                  {kPlatformFaultWrite, true},
                  {kPlatformFaultFlush, false},
                  {kPlatformFaultFlush, true}};
    for (uint32_t version : {0x103u, 0x200u, 0x300u}) {
        Additions additions(version);
        for (const Fault& fault : faults) {
            bool saved = false;
            for (int32_t after = 0; !saved && after < 40; ++after) {
                std::string what = std::to_string(version) + " kind " + std::to_string(fault.kind) +
                                   (fault.once ? " once" : "") + " after " + std::to_string(after);
                ArchiveOnDisk disk(BuildArchive(version, SourceContents()));
                Bytes old;
                ASSERT_TRUE(ReadFileBytes(disk.path, &old));
                Contents oldContents = ContentsOf(disk.archive);
                GrfArchive* other = GRF_NO_ARCHIVE;
                additions.Apply(disk.archive, kAll, &other);
                Bytes table = TableBytes(disk.archive);
                if (fault.once)
                    PlatformFailOnce(fault.kind, after);
                else
                    PlatformFailAfter(fault.kind, after);
                int32_t result = GrfSave(disk.archive, nullptr);
                uint32_t code = GrfLastError;
                PlatformFailAfter(fault.kind, -1);
                Bytes now;
                ASSERT_TRUE(ReadFileBytes(disk.path, &now));
                if (result == 0) {
                    saved = true;
                    EXPECT_GT(after, 1) << what;
                } else {
                    EXPECT_EQ(code, uint32_t{GRF_ERROR_WRITE}) << what;
                    EXPECT_EQ(TableBytes(disk.archive), table) << what;
                    if (fault.once) {
                        EXPECT_EQ(now, old) << what;
                    } else {
                        EXPECT_EQ(Slice(now, 0, old.size()), old) << what;
                    }
                    EXPECT_EQ(ContentsAt(disk.path), oldContents) << what;
                }
                GrfClose(&other);
            }
            EXPECT_TRUE(saved);
        }
        // A cut that fails leaves bytes past the end, which no reader takes
        // for records: 0x1xx directories end at the four zero bytes.
        ArchiveOnDisk disk(BuildArchive(version, SourceContents()));
        Bytes old;
        ASSERT_TRUE(ReadFileBytes(disk.path, &old));
        Contents oldContents = ContentsOf(disk.archive);
        GrfArchive* other = GRF_NO_ARCHIVE;
        additions.Apply(disk.archive, kAll, &other);
        PlatformFailAfter(kPlatformFaultFlush, 0);
        PlatformFailAfter(kPlatformFaultTruncate, 0);
        EXPECT_EQ(GrfSave(disk.archive, nullptr), 1);
        PlatformFailAfter(kPlatformFaultFlush, -1);
        PlatformFailAfter(kPlatformFaultTruncate, -1);
        Bytes now;
        ASSERT_TRUE(ReadFileBytes(disk.path, &now));
        EXPECT_GT(now.size(), old.size());
        EXPECT_EQ(Slice(now, 0, old.size()), old);
        Names names;
        EXPECT_EQ(ContentsAt(disk.path, &names), oldContents) << version;
        EXPECT_EQ(names.size(), oldContents.size());
        // The archive is still the file's, and the next save goes through.
        ASSERT_EQ(GrfSave(disk.archive, nullptr), 0) << GrfLastError;
        GrfClose(&other);
    }
}

#ifndef _WIN32
// A child process saving a large change is killed at every moment of the
// save: before each record, each write, each flush. Each time the file
// opens as the old archive or as the new one, every entry intact.

// The large change: local files, a merge of records larger than the
// writer's buffer (each written on its own), and deletions.
struct LargeChange {
    explicit LargeChange(uint32_t version) {
        for (int i = 0; i < 12; ++i) {
            std::wstring path = files.Join(L"local" + std::to_wstring(i));
            EXPECT_TRUE(WriteFileBytes(path, Long(100 + i, 3000)));
            locals.push_back(path);
        }
        std::vector<Content> big;
        for (int i = 0; i < 3; ++i)
            big.push_back({"data\\big" + std::to_string(i) + ".bin", RandomBytes(1300000, 50 + i)});
        big.push_back({"data\\c.txt", BytesOf("replaced")});
        otherPath = files.Join(L"other.grf");
        EXPECT_TRUE(WriteFileBytes(otherPath, BuildArchive(version < 0x200 ? 0x200 : 0x103, big)));
    }
    // deletesOnly: the new directory is all the save writes, right after
    // the old one.
    void Apply(GrfArchive* archive, GrfArchive** other, bool deletesOnly) const {
        archive->entries[1].state |= GRF_ENTRY_DELETED;
        archive->entries[3].state |= GRF_ENTRY_DELETED;
        if (deletesOnly) return;
        for (size_t i = 0; i < locals.size(); ++i) {
            std::wstring name = L"data\\local" + std::to_wstring(i) + L".txt";
            GrfAddLocalFile(archive, name.c_str(), locals[i].c_str());
        }
        *other = GrfOpen(otherPath.c_str(), nullptr);
        GrfMerge(archive, *other);
    }
    TempDir files;
    std::vector<std::wstring> locals;
    std::wstring otherPath;
};

TEST(SaveCrash, KilledAtEveryMomentLeavesTheOldOrTheNewArchive) {
    for (auto [version, deletesOnly] :
         {std::pair{0x103u, false}, {0x200u, false}, {0x103u, true}, {0x200u, true}}) {
        LargeChange change(version);
        ArchiveOnDisk disk(BuildArchive(version, SourceContents()));
        Bytes original;
        ASSERT_TRUE(ReadFileBytes(disk.path, &original));
        Names oldNames, newNames;
        Contents oldContents = ContentsAt(disk.path, &oldNames);

        // The save done whole, counting its moments, gives the new archive.
        GrfArchive* other = GRF_NO_ARCHIVE;
        change.Apply(disk.archive, &other, deletesOnly);
        int32_t moments = crash::CountMoments(
            [&] { ASSERT_EQ(GrfSave(disk.archive, crash::ProgressMoment), 0); });
        GrfClose(&other);
        if (!deletesOnly) {
            ASSERT_GE(moments, 16);
        }
        Contents newContents = ContentsAt(disk.path, &newNames);
        ASSERT_NE(newContents, oldContents);

        int olds = 0, news = 0;
        for (int32_t at = 1; at <= moments; ++at) {
            ASSERT_TRUE(WriteFileBytes(disk.path, original));
            GrfArchive* archive = GRF_NO_ARCHIVE;
            auto prepare = [&] {
                archive = GrfOpen(disk.path.c_str(), nullptr);
                if (archive == GRF_NO_ARCHIVE) _exit(2);
                GrfArchive* merged = GRF_NO_ARCHIVE;
                change.Apply(archive, &merged, deletesOnly);
            };
            ASSERT_TRUE(
                crash::KilledAt(at, prepare, [&] { GrfSave(archive, crash::ProgressMoment); }))
                << version << " moment " << at;
            Names names;
            Contents contents = ContentsAt(disk.path, &names);
            if (contents == oldContents && names == oldNames) {
                ++olds;
            } else {
                EXPECT_EQ(contents, newContents) << version << " moment " << at;
                EXPECT_EQ(names, newNames) << version << " moment " << at;
                ++news;
            }
        }
        EXPECT_GT(olds, 0) << version;
        EXPECT_GT(news, 0) << version;
        EXPECT_EQ(olds + news, moments);
    }
}
#endif

}  // namespace
