// Sharing an archive's file: another program's lock (played here by a second
// open of the file, which the system's locks keep apart as they keep two
// programs apart) refuses a change in place at once, and a reading when the
// other one is changing the file, each without changing anything; this
// program's own lock covers its own reads and save; an undo never cuts
// bytes another program wrote; stale temporaries of an output go.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>
#include <platform_hooks.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

std::vector<Content> Contents() {
    return {{"data\\a.txt", BytesOf("first")}, {"data\\b.bin", Long(2, 3000)}};
}

// Another program's hold on the file at path.
struct OtherProgram {
    OtherProgram(const std::wstring& path, bool exclusive) {
        file = PlatformOpenToLock(path.c_str(), exclusive);
        EXPECT_NE(file, nullptr);
        if (file) result = PlatformLockFile(file, exclusive, false);
    }
    ~OtherProgram() { PlatformClose(file); }
    PlatformFile* file = nullptr;
    PlatformLockResult result = kLockFailed;
};

int ReadCode(uint32_t, const uint8_t*, uint32_t, uint32_t code, void* user) {
    static_cast<std::vector<uint32_t>*>(user)->push_back(code);
    return 0;
}

std::vector<uint32_t> BatchCodes(GrfArchive* archive) {
    std::vector<uint32_t> codes;
    uint32_t indices[] = {0, 1};
    GrfReadRecords(archive, indices, 2, ReadCode, &codes);
    return codes;
}

// With OFD locks, and with flock where the system has none.
class Lock : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override { PlatformFailAfter(kPlatformFaultRangeLock, GetParam() ? 0 : -1); }
    void TearDown() override { PlatformFailAfter(kPlatformFaultRangeLock, -1); }
};

TEST_P(Lock, AnotherProgramsLockRefusesAtOnceAndNothingChanges) {
    ArchiveOnDisk disk(BuildArchive(0x200, Contents()));
    Bytes before;
    ASSERT_TRUE(ReadFileBytes(disk.path, &before));
    std::wstring added = disk.dir.Join(L"added.txt");
    ASSERT_TRUE(WriteFileBytes(added, BytesOf("added")));
    ASSERT_EQ(GrfAddLocalFile(disk.archive, L"data\\added.txt", added.c_str()), 0u);
    const uint32_t kInUse = GRF_ERROR_IN_USE;
    {
        // Changing: no one else reads or writes.
        OtherProgram writer(disk.path, true);
        ASSERT_EQ(writer.result, kLockTaken);
        EXPECT_EQ(GrfSave(disk.archive, nullptr), 1);
        EXPECT_EQ(GrfLastError, kInUse);
        EXPECT_EQ(GrfOpen(disk.path.c_str(), nullptr), GRF_NO_ARCHIVE);
        EXPECT_EQ(GrfLastError, kInUse);
        EXPECT_EQ(BatchCodes(disk.archive), std::vector<uint32_t>(2, kInUse));
        TempDir out;
        CurrentDirScope inside(out.path);
        uint32_t indices[] = {0, 1}, results[2] = {};
        EXPECT_EQ(GrfExtractRecords(disk.archive, indices, 2, 1, nullptr, results), 0u);
        EXPECT_EQ(GrfLastError, kInUse);
        EXPECT_EQ(results[0], kInUse);
        EXPECT_EQ(results[1], kInUse);
        EXPECT_TRUE(ListTree(out.path).empty());
    }
    {
        // Reading: others read too, no one writes.
        OtherProgram reader(disk.path, false);
        ASSERT_EQ(reader.result, kLockTaken);
        EXPECT_EQ(GrfSave(disk.archive, nullptr), 1);
        EXPECT_EQ(GrfLastError, kInUse);
        GrfArchive* again = GrfOpen(disk.path.c_str(), nullptr);
        EXPECT_NE(again, GRF_NO_ARCHIVE);
        GrfClose(&again);
        EXPECT_EQ(BatchCodes(disk.archive), std::vector<uint32_t>(2, uint32_t{GRF_OK}));
        OtherProgram second(disk.path, false);
        EXPECT_EQ(second.result, kLockTaken);
        OtherProgram writer(disk.path, true);
        EXPECT_EQ(writer.result, kLockBusy);
    }
    Bytes after;
    ASSERT_TRUE(ReadFileBytes(disk.path, &after));
    EXPECT_EQ(after, before);
    // Once the others are gone the same save goes through.
    ASSERT_EQ(GrfSave(disk.archive, nullptr), 0) << GrfLastError;
    EXPECT_EQ(ReadContent(disk.archive, "data\\added.txt").bytes, BytesOf("added"));
}

TEST_P(Lock, OwnLockCoversOwnReadsAndSave) {
    ArchiveOnDisk disk(BuildArchive(0x103, Contents()));
    GrfLock* lock = GrfLockArchive(disk.path.c_str());
    ASSERT_NE(lock, nullptr) << GrfLastError;
    {
        OtherProgram reader(disk.path, false);
        EXPECT_EQ(reader.result, kLockBusy);
    }
    GrfLock* inner = GrfLockArchive(disk.path.c_str());
    EXPECT_NE(inner, nullptr) << "held here already";
    GrfArchive* archive = GrfOpen(disk.path.c_str(), nullptr);
    ASSERT_NE(archive, GRF_NO_ARCHIVE) << GrfLastError;
    EXPECT_EQ(BatchCodes(archive), std::vector<uint32_t>(2, uint32_t{GRF_OK}));
    archive->entries[0].state = GRF_ENTRY_DELETED;
    EXPECT_EQ(GrfSave(archive, nullptr), 0) << GrfLastError;
    GrfUnlockArchive(inner);
    {
        OtherProgram reader(disk.path, false);
        EXPECT_EQ(reader.result, kLockBusy) << "the outer lock stays";
    }
    GrfUnlockArchive(lock);
    {
        OtherProgram writer(disk.path, true);
        EXPECT_EQ(writer.result, kLockTaken);
    }
    GrfClose(&archive);
    GrfArchive* saved = GrfOpen(disk.path.c_str(), nullptr);
    ASSERT_NE(saved, GRF_NO_ARCHIVE);
    EXPECT_EQ(NamesOf(saved), Names{"data\\b.bin"});
    GrfClose(&saved);

    // Another program's lock: none for this one either.
    OtherProgram writer(disk.path, true);
    EXPECT_EQ(GrfLockArchive(disk.path.c_str()), nullptr);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_IN_USE});
    EXPECT_EQ(GrfLockArchive(disk.dir.Join(L"missing.grf").c_str()), nullptr);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
}

// A save started while this program's own batch reads the file would wait
// for itself: it is refused instead.
GrfArchive* g_saving;
uint32_t g_saveCode;

int SaveWhileReading(uint32_t, const uint8_t*, uint32_t, uint32_t, void*) {
    g_saveCode = GrfSave(g_saving, nullptr) ? GrfLastError : uint32_t{GRF_OK};
    return 1;
}

TEST_P(Lock, OwnSaveInsideOwnReadingIsRefused) {
    ArchiveOnDisk disk(BuildArchive(0x200, Contents()));
    disk.archive->entries[1].state = GRF_ENTRY_DELETED;
    g_saving = disk.archive;
    g_saveCode = GRF_OK;
    uint32_t index = 0;
    GrfReadRecords(disk.archive, &index, 1, SaveWhileReading, nullptr);
    EXPECT_EQ(g_saveCode, uint32_t{GRF_ERROR_IN_USE});
    EXPECT_EQ(GrfSave(disk.archive, nullptr), 0) << GrfLastError;
}

INSTANTIATE_TEST_SUITE_P(Kinds, Lock, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WholeFileLocks" : "RangeLocks");
                         });

// Another program that takes no lock writes past the end while a save is
// about to switch; the save is stopped there. Its undo leaves those bytes.
// (Windows' share modes keep such a writer out of a file being saved.)
std::wstring g_appendTo;
bool g_appended;

int32_t AppendAndStop(GrfEntry* entry, uint32_t, uint32_t) {
    if (entry) return 0;
    PlatformFile* other = PlatformOpenUpdate(g_appendTo.c_str());
    g_appended = other && PlatformSeek(other, PlatformFileSize(other)) &&
                 PlatformWrite(other, "other", 5) && PlatformFlush(other);
    PlatformClose(other);
#ifdef _WIN32
    EXPECT_FALSE(g_appended);
#else
    EXPECT_TRUE(g_appended);
#endif
    return 1;
}

TEST(Save, UndoNeverCutsWhatAnotherProgramWrote) {
    for (uint32_t version : {0x200u, 0x103u, 0x300u}) {
        ArchiveOnDisk disk(BuildArchive(version, Contents()));
        std::wstring added = disk.dir.Join(L"added.txt");
        ASSERT_TRUE(WriteFileBytes(added, Long(5, 4000)));
        ASSERT_EQ(GrfAddLocalFile(disk.archive, L"data\\added.txt", added.c_str()), 0u);
        g_appendTo = disk.path;
        EXPECT_EQ(GrfSave(disk.archive, AppendAndStop), 1);
        EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CANCELLED});
        Bytes after;
        ASSERT_TRUE(ReadFileBytes(disk.path, &after));
        ASSERT_GE(after.size(), 5u);
        if (g_appended) {
            EXPECT_EQ(std::string(after.end() - 5, after.end()), "other") << std::hex << version;
        }
        GrfArchive* reopened = GrfOpen(disk.path.c_str(), nullptr);
        ASSERT_NE(reopened, GRF_NO_ARCHIVE) << std::hex << version;
        EXPECT_EQ(NamesOf(reopened), (Names{"data\\a.txt", "data\\b.bin"}));
        GrfClose(&reopened);
    }
}

// ---------------------------------------------------------------------------
// Temporaries of an output that a killed writer left.

// Gives the file at path a modification time an hour ago.
bool MakeOld(const std::wstring& path) {
#ifdef _WIN32
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= 36000000000ull;
    now.dwLowDateTime = t.LowPart;
    now.dwHighDateTime = t.HighPart;
    bool set = SetFileTime(file, nullptr, nullptr, &now) != FALSE;
    CloseHandle(file);
    return set;
#else
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    return utimensat(AT_FDCWD, Narrow(path).c_str(), times, 0) == 0;
#endif
}

TEST(Repack, StaleTemporariesOfTheOutputGo) {
    ArchiveOnDisk source(BuildArchive(0x200, Contents()));
    struct Leftover {
        const wchar_t* name;
        bool old;
        bool held;
        bool stays;
    };
    const Leftover kLeftovers[] = {
        {L".out.grf.caskw-0000abcd.tmp", true, false, false},
        {L".out.grf.caskw-123456789.tmp.1a2b3c4d.tmp", true, false, false},  // as 0.x left it
        {L".out.grf.caskw-0000beef.tmp", true, true, true},                  // a writer at work
        {L".out.grf.caskw-0000cafe.tmp", false, false, true},  // younger than this program
        {L"out.grf.00000000.tmp", true, false, true},          // not of our making
        {L".other.grf.caskw-0000abcd.tmp", true, false, true},
        {L".out.grf.caskw-notours.tmp", true, false, true},
    };
    std::vector<PlatformFile*> held;
    std::vector<std::string> expected;
    for (const Leftover& leftover : kLeftovers) {
        std::wstring path = source.dir.Join(leftover.name);
        ASSERT_TRUE(WriteFileBytes(path, BytesOf("crash")));
        if (leftover.old) {
            ASSERT_TRUE(MakeOld(path));
        }
        if (leftover.held) {
            held.push_back(PlatformOpenUpdate(path.c_str()));
            ASSERT_EQ(PlatformLockFile(held.back(), true, false), kLockTaken);
        }
        if (leftover.stays) expected.push_back(Narrow(leftover.name) + " 5");
    }
    std::wstring out = source.dir.Join(L"out.grf");
    GrfSetVersion(0x200);
    ASSERT_EQ(GrfRepack(source.archive, out.c_str(), nullptr), 0) << GrfLastError;
    GrfSetVersion(0x103);
    for (PlatformFile* file : held) PlatformClose(file);
    std::vector<std::string> tree;
    for (const std::string& line : ListTree(source.dir.path))
        if (line.rfind("out.grf ", 0) != 0 && line.rfind("source.grf ", 0) != 0)
            tree.push_back(line);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(tree, expected);
    GrfArchive* written = GrfOpen(out.c_str(), nullptr);
    ASSERT_NE(written, GRF_NO_ARCHIVE);
    EXPECT_EQ(NamesOf(written), NamesOf(source.archive));
    GrfClose(&written);
}

}  // namespace
