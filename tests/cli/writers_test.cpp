// writers_test -- two caskw processes changing one archive at the same time,
// as two scripts or users would, in rounds of both orders, some with one of
// them killed at a random moment: every entry a writer reports added is
// there with its own bytes, nothing added before is lost, and the archive
// always opens. A writer that finds the archive in use says so and changes
// nothing; with --wait it waits its turn.
//
// CASKW_WRITERS_ROUNDS sets the rounds per version (a longer soak), and
// CASKW_WRITERS_PROGRAM another caskw to run (an older build, say).
#include <grf.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "grf_builder.h"
#include "test_support.h"

namespace {

struct Child {
    pid_t pid = -1;
    int err = -1;  // standard error, kept in an unnamed file
};

Child Start(const std::vector<std::string>& args, const std::string& folder) {
    std::vector<std::string> copies(args);
    std::vector<char*> argv;
    const char* other = getenv("CASKW_WRITERS_PROGRAM");
    std::string program = other ? other : CASKW_PROGRAM;
    argv.push_back(program.data());
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    char name[] = "/tmp/caskw-writers-XXXXXX";
    Child child;
    child.err = mkstemp(name);
    unlink(name);
    child.pid = fork();
    if (child.pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        int none = open("/dev/null", O_RDWR);
        dup2(none, 0);
        dup2(none, 1);
        dup2(child.err, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

struct Ending {
    int code = -1;  // exit code; -1 when killed
    std::string err;
};

Ending Finish(Child child) {
    Ending end;
    int status = 0;
    if (waitpid(child.pid, &status, 0) == child.pid && WIFEXITED(status))
        end.code = WEXITSTATUS(status);
    std::string text;
    char buffer[4096];
    lseek(child.err, 0, SEEK_SET);
    for (ssize_t n; (n = read(child.err, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    close(child.err);
    end.err = text;
    return end;
}

void Sleep(long microseconds) {
    struct timespec pause = {microseconds / 1000000, (microseconds % 1000000) * 1000};
    nanosleep(&pause, nullptr);
}

uint64_t FileSize(const TempDir& dir, const char* name) {
    Bytes bytes;
    ReadFileBytes(dir.Join(Widen(name)), &bytes);
    return bytes.size();
}

int Rounds() {
    const char* set = getenv("CASKW_WRITERS_ROUNDS");
    return set ? atoi(set) : 3;
}

class Writers : public ::testing::TestWithParam<uint32_t> {
  protected:
    std::string Folder() const { return Narrow(dir.path); }
    std::wstring ArchivePath() const { return dir.Join(L"shared.grf"); }

    // A file to add, its content unique to its name.
    std::string NewFile(int round, char writer) {
        std::string name = "r" + std::to_string(round) + writer + ".bin";
        Bytes bytes = RandomBytes(2000 + 97 * round, round * 2 + (writer == 'b'));
        EXPECT_TRUE(WriteFileBytes(dir.Join(L"data/" + Widen(name)), bytes));
        expected.push_back({"data\\" + name, bytes});
        return "data/" + name;
    }

    // Every entry that must be there reads back as written.
    void CheckArchive(const std::string& when) {
        GrfArchive* archive = GrfOpen(ArchivePath().c_str(), nullptr);
        ASSERT_NE(archive, GRF_NO_ARCHIVE) << when << ": does not open, code " << GrfLastError;
        for (const Content& content : kept) {
            GrfEntry* entry = GrfFindEntry(archive, content.name.c_str());
            EXPECT_NE(entry, nullptr) << when << ": " << content.name << " lost";
            if (!entry) continue;
            uint32_t size = 0;
            uint8_t* data = GrfReadRecord(archive, uint32_t(entry - archive->entries), &size);
            EXPECT_TRUE(data && Bytes(data, data + size) == content.data)
                << when << ": " << content.name << " holds other bytes";
            GrfFreeBuffer(data);
        }
        GrfClose(&archive);
    }

    // Two adds of a file each: a says it was added (or, without --wait,
    // that the archive was in use), or was killed.
    void Round(int round, bool wait, int kill) {
        std::string a = NewFile(round, 'a'), b = NewFile(round, 'b');
        size_t first = expected.size() - 2;
        std::vector<std::string> argsA = {"add", "shared.grf", a}, argsB = {"add", "shared.grf", b};
        if (wait) {
            argsA.insert(argsA.begin(), "--wait");
            argsB.insert(argsB.begin(), "--wait");
        }
        Child ca, cb;
        if (round % 2) {
            ca = Start(argsA, Folder());
            cb = Start(argsB, Folder());
        } else {
            cb = Start(argsB, Folder());
            ca = Start(argsA, Folder());
        }
        if (kill) {
            Sleep(random() % 30000);
            ::kill(kill == 1 ? ca.pid : cb.pid, round % 3 ? SIGKILL : SIGINT);
        }
        Ending ea = Finish(ca), eb = Finish(cb);
        std::string when = "round " + std::to_string(round);
        for (int i = 0; i < 2; ++i) {
            const Ending& e = i ? eb : ea;
            bool killed = kill == i + 1;
            if (e.code == 0) {
                kept.push_back(expected[first + i]);
            } else if (!killed) {
                EXPECT_FALSE(wait) << when << ": " << e.err;
                EXPECT_NE(e.err.find("in use by another program; try again when it has finished"),
                          std::string::npos)
                    << when << ": " << e.err;
            }
        }
        CheckArchive(when);
    }

    TempDir dir;
    std::vector<Content> expected;  // every file given to a writer
    std::vector<Content> kept;      // those a writer reported added
};

TEST_P(Writers, NoEntryIsLostAndTheArchiveAlwaysOpens) {
    ASSERT_TRUE(MakeDirectory(dir.Join(L"data")));
    kept = {{"data\\first.txt", BytesOf("first\n")}, {"data\\second.bin", RandomBytes(5000, 9)}};
    ASSERT_TRUE(WriteFileBytes(ArchivePath(), BuildArchive(GetParam(), kept)));
    srandom(static_cast<unsigned>(GetParam()));
    int rounds = Rounds();
    for (int round = 0; round < rounds; ++round) Round(round, false, 0);
    for (int round = rounds; round < 2 * rounds; ++round) Round(round, true, 0);
    for (int round = 2 * rounds; round < 3 * rounds; ++round) Round(round, true, 1 + round % 2);
    EXPECT_GE(kept.size(), size_t(2 + rounds)) << "waiting writers all wrote";
}

// While another program holds the archive, a change stops at once saying
// so and changes nothing, as does reading it while the other one changes
// it; with --wait the change waits for the other to finish.
TEST(InUse, RefusedAtOnceOrWaitedFor) {
    TempDir dir;
    std::wstring path = dir.Join(L"shared.grf");
    ASSERT_TRUE(WriteFileBytes(path, BuildArchive(0x200, {{"data\\a.txt", BytesOf("a")}})));
    ASSERT_TRUE(WriteFileBytes(dir.Join(L"new.txt"), BytesOf("new")));
    Bytes before;
    ASSERT_TRUE(ReadFileBytes(path, &before));
    GrfLock* other = GrfLockArchive(path.c_str());
    ASSERT_NE(other, nullptr) << GrfLastError;
    const std::string kRefused =
        "caskw: shared.grf: in use by another program; try again when it has finished (code 38)\n";
    for (std::vector<std::string> args : {std::vector<std::string>{"add", "shared.grf", "new.txt"},
                                          {"rm", "shared.grf", "data/a.txt"},
                                          {"list", "shared.grf"}}) {
        Ending refused = Finish(Start(args, Narrow(dir.path)));
        EXPECT_EQ(refused.code, 2) << args[0];
        EXPECT_EQ(refused.err, kRefused) << args[0];
    }
    Bytes after;
    ASSERT_TRUE(ReadFileBytes(path, &after));
    EXPECT_EQ(after, before);

    Child waiting = Start({"--wait", "add", "shared.grf", "new.txt"}, Narrow(dir.path));
    Sleep(300000);
    int status = 0;
    EXPECT_EQ(waitpid(waiting.pid, &status, WNOHANG), 0) << "still waiting";
    GrfUnlockArchive(other);
    Ending waited = Finish(waiting);
    EXPECT_EQ(waited.code, 0) << waited.err;
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    ASSERT_NE(archive, GRF_NO_ARCHIVE);
    EXPECT_NE(GrfFindEntry(archive, "new.txt"), nullptr);
    GrfClose(&archive);
}

// A repack killed at a random moment leaves no file of its own behind
// once the next write of the same output has run, whether the output was
// new or replaced an existing file.
TEST(Temporaries, KilledRepacksLeaveNothingAfterTheNextWrite) {
    TempDir dir;
    std::vector<Content> contents;
    for (int i = 0; i < 8; ++i)
        contents.push_back({"data\\f" + std::to_string(i) + ".bin", RandomBytes(1 << 20, i)});
    ASSERT_TRUE(WriteFileBytes(dir.Join(L"shared.grf"), BuildArchive(0x200, contents)));
    srandom(7);
    for (int round = 0; round < Rounds() * 2; ++round) {
        if (round % 2) std::remove(Narrow(dir.Join(L"out.grf")).c_str());
        std::vector<std::string> args = {"repack",  "shared.grf", "-o",
                                         "out.grf", "--version",  "0x200"};
        // Killed as soon as a file of its own shows, or at a random moment.
        Child killed = Start(args, Narrow(dir.path));
        for (long waited = 0, until = random() % 800; waited < until; ++waited) {
            bool shows = false;
            for (const std::string& line : ListTree(dir.path))
                shows = shows || line.rfind(".out.grf.caskw-", 0) == 0;
            if (shows) break;
            Sleep(1000);
        }
        kill(killed.pid, SIGKILL);
        Finish(killed);
        Ending next = Finish(Start(args, Narrow(dir.path)));
        EXPECT_EQ(next.code, 0) << next.err;
        std::vector<std::string> left = {
            "out.grf " + std::to_string(FileSize(dir, "out.grf")),
            "shared.grf " + std::to_string(FileSize(dir, "shared.grf"))};
        EXPECT_EQ(ListTree(dir.path), left) << "round " << round;
    }
    GrfArchive* out = GrfOpen(dir.Join(L"out.grf").c_str(), nullptr);
    ASSERT_NE(out, GRF_NO_ARCHIVE);
    EXPECT_EQ(out->count, contents.size());
    GrfClose(&out);
}

INSTANTIATE_TEST_SUITE_P(Versions, Writers, ::testing::Values(0x200u, 0x103u, 0x300u),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                             char name[16];
                             snprintf(name, sizeof name, "V%X", info.param);
                             return std::string(name);
                         });

}  // namespace
