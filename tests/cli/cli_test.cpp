// cli_test -- every caskw command run as a child process against archives
// built here byte by byte, with what it prints and the exit code checked.
#include <grf.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <zlib.h>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "grf_builder.h"
#include "keyed_builder.h"
#include "program.h"
#include "rgz_builder.h"
#include "test_support.h"
#include "thor_builder.h"

#include <algorithm>

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

const std::string kKorean = "data\\\xC7\xD1\xB1\xDB.txt";  // data\한글.txt

struct Sample {
    std::string name;
    Bytes data;
};

// Contents whose bytes a text-mode stream would change: CR LF, ^Z, NUL.
Bytes Binary(size_t size, uint64_t seed) {
    Bytes bytes = RandomBytes(size, seed);
    const uint8_t tricky[] = {'\r', '\n', 0x1A, 0, '\n'};
    bytes.insert(bytes.begin(), tricky, tricky + sizeof tricky);
    return bytes;
}

std::vector<Content> SampleContents() {
    return {
        {"data\\readme.txt", BytesOf("hello\n")},
        {"data\\sprite\\Monster.SPR", Binary(3000, 1)},
        {"data\\sprite\\npc\\guide.spr", Binary(100, 2)},
        {kKorean, BytesOf("korean\n")},
        {"data\\map\\prontera.gat", Binary(500, 3)},
    };
}

// Paths from UTF-8 whatever the process's locale.
fs::path U8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// Whole files at UTF-8 paths.
bool WriteAt(const std::string& path, const Bytes& bytes) {
    std::ofstream file(U8(path), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

bool ReadAt(const std::string& path, Bytes* bytes) {
    std::ifstream file(U8(path), std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return file.good() || file.eof();
}

bool ExistsAt(const std::string& path) {
    std::error_code ignored;
    return fs::exists(U8(path), ignored);
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

class Cli : public ::testing::Test {
  protected:
    // A UTF-8 path under the test's folder.
    // Joined as UTF-8: the suite's locale may not convert Korean names.
    std::string Path(const std::string& name) const { return Narrow(dir.path) + "/" + name; }
    std::string Archive(const std::string& name, const std::vector<Content>& contents,
                        uint32_t version = 0x200) const {
        EXPECT_TRUE(WriteAt(Path(name), BuildArchive(version, contents)));
        return Path(name);
    }
    std::string SampleArchive() const { return Archive("sample.grf", SampleContents()); }
    void WriteText(const std::string& name, const std::string& text) const {
        fs::create_directories(U8(Path(name)).parent_path());
        ASSERT_TRUE(WriteAt(Path(name), BytesOf(text)));
    }
    std::string ReadText(const std::string& name) const {
        Bytes bytes;
        EXPECT_TRUE(ReadAt(Path(name), &bytes)) << name;
        return std::string(bytes.begin(), bytes.end());
    }
    // caskw cat's output for an entry, checked to succeed.
    std::string Cat(const std::string& archive, const std::string& name) const {
        Outcome run = Caskw({"cat", archive, name});
        EXPECT_EQ(run.code, 0) << run.err;
        return run.out;
    }
    std::string List(const std::string& archive) const {
        Outcome run = Caskw({"list", archive});
        EXPECT_EQ(run.code, 0) << run.err;
        return run.out;
    }

    TempDir dir;
};

// ---------------------------------------------------------------------------
// The program as a whole

TEST_F(Cli, HelpVersionAndUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* out;  // expected in standard output; "" for nothing there
        const char* err;  // expected in standard error; "" for nothing there
    } cases[] = {
        {{"--help"}, 0, "Usage: caskw [OPTIONS] SUBCOMMAND", ""},
        {{"--help"}, 0, "Exit codes: 0 all done", ""},
        {{"list", "--help"}, 0, "Usage: caskw list [OPTIONS] [ARCHIVE] [PATTERN...]", ""},
        {{"list", "--help"}, 0, "--client DIR", ""},
        {{"extract", "--help"}, 0, "--keep", ""},
        {{"--version"}, 0, "caskw ", ""},
        {{}, 2, "", "A subcommand is required"},
        {{"frobnicate"}, 2, "", "frobnicate"},
        {{"list"}, 2, "", "ARCHIVE"},
        {{"list", "a.grf", "--sort", "colour"}, 2, "", "--sort"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(no arguments)" : c.args[0]);
        Outcome run = Caskw(c.args);
        EXPECT_EQ(run.code, c.code) << run.err;
        // find("") always succeeds: nothing expected is checked as nothing.
        auto holds = [](const std::string& text, const char* part) {
            return *part ? text.find(part) != std::string::npos : text.empty();
        };
        EXPECT_TRUE(holds(run.out, c.out)) << run.out;
        EXPECT_TRUE(holds(run.err, c.err)) << run.err;
    }
}

// An argument starting with "/" is a path, on Windows too (rooted on the
// current drive there), never an option.
TEST_F(Cli, ArgumentsStartingWithASlashArePaths) {
    std::string archive = SampleArchive();
    std::string rooted = archive;
    if (rooted.size() > 2 && rooted[1] == ':') rooted.erase(0, 2);
    std::replace(rooted.begin(), rooted.end(), '\\', '/');
    ASSERT_EQ(rooted[0], '/');
    Outcome run = Caskw({"list", rooted}, Narrow(dir.path));
    EXPECT_EQ(run.err.find("ARCHIVE is required"), std::string::npos) << run.err;
    if (run.code != 0) {
        // Wine takes a rooted path for one of the Linux root: still a path.
        EXPECT_TRUE(kWindows) << run.err;
        EXPECT_NE(run.err.find(rooted + ": no such file"), std::string::npos) << run.err;
    } else {
        EXPECT_EQ(run.out, List(archive));
    }
    Outcome unknown = Caskw({"list", "/x"}, Narrow(dir.path));
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("/x: no such file"), std::string::npos) << unknown.err;
}

TEST_F(Cli, ArchivesThatDoNotOpenGiveTheReasonInWords) {
    WriteText("not.grf", "this is not an archive, just some text of some length\n");
    struct Case {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"info", Path("missing.grf")}, "missing.grf: no such file"},
        {{"list", Path("not.grf")}, "not.grf: not an archive"},
        {{"extract", Path("not.grf"), "-C", Path("out")}, "not an archive"},
        {{"merge", "-o", Path("m.grf"), Path("not.grf")}, "not an archive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        Outcome run = Caskw(c.args);
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    EXPECT_FALSE(ExistsAt(Path("m.grf")));
}

// ---------------------------------------------------------------------------
// info, list, cat, verify

TEST_F(Cli, InfoGivesVersionCountAndSizes) {
    Bytes archive =
        BuildArchive(0x103, {{"data\\a.txt", BytesOf("12345")}, {"data\\b.txt", Bytes(1000, 'b')}});
    ASSERT_TRUE(WriteAt(Path("v.grf"), archive));
    Outcome run = Caskw({"info", Path("v.grf")});
    EXPECT_EQ(run.code, 0) << run.err;
    // Stored bytes: each deflated stream zero-filled to a multiple of 8.
    uint64_t stored = StoreContent(0x103, "data\\a.txt", BytesOf("12345")).bytes.size() +
                      StoreContent(0x103, "data\\b.txt", Bytes(1000, 'b')).bytes.size();
    EXPECT_EQ(run.out,
              Lines({"version: 0x103", "entries: 2", "file size: " + std::to_string(archive.size()),
                     "stored bytes: " + std::to_string(stored), "real bytes: 1005",
                     "unused bytes: 0", "keyed entries: 0"}));
}

TEST_F(Cli, ListPrintsNamesAsUtf8InTableOrder) {
    std::string archive = SampleArchive();
    EXPECT_EQ(List(archive),
              Lines({"data\\readme.txt", "data\\sprite\\Monster.SPR",
                     "data\\sprite\\npc\\guide.spr", "data\\한글.txt", "data\\map\\prontera.gat"}));
    Outcome sorted = Caskw({"list", archive, "--sort", "size"});
    EXPECT_EQ(sorted.out,
              Lines({"data\\readme.txt", "data\\한글.txt", "data\\sprite\\npc\\guide.spr",
                     "data\\map\\prontera.gat", "data\\sprite\\Monster.SPR"}));
    Outcome byName = Caskw({"list", archive, "--sort", "name"});
    EXPECT_EQ(byName.out,
              Lines({"data\\map\\prontera.gat", "data\\readme.txt", "data\\sprite\\Monster.SPR",
                     "data\\sprite\\npc\\guide.spr", "data\\한글.txt"}));
}

TEST_F(Cli, ListLongGivesSizesPositionAndCycle) {
    Stored readme = StoreContent(0x200, "data\\readme.txt", BytesOf("hello\n"));
    std::string archive = Archive(
        "a.grf", {{"data\\readme.txt", BytesOf("hello\n")}, {"data\\x.bin", Bytes(64, 'x'), 3}});
    Outcome run = Caskw({"list", archive, "--long"});
    ASSERT_EQ(run.code, 0) << run.err;
    std::istringstream lines(run.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    std::istringstream fields(first);
    uint64_t real = 0, compressed = 0, position = 0;
    int cycle = 0;
    std::string name;
    fields >> real >> compressed >> position >> cycle >> name;
    EXPECT_EQ(real, 6u);
    EXPECT_EQ(compressed, readme.record.compressedSize);
    EXPECT_EQ(position, uint64_t{GRF_HEADER_SIZE});
    EXPECT_EQ(cycle, -1);
    EXPECT_EQ(name, "data\\readme.txt");
    // A type 3 (mixed) record of a small stream: cycle is its digit count.
    EXPECT_NE(second.find(" 2  data\\x.bin"), std::string::npos) << second;
}

TEST_F(Cli, ListJsonIsOneArrayWithEveryField) {
    std::string stored = "data\\\xC7\xD1\xFB";  // 한, then a byte that does not convert
    Stored entry = StoreContent(0x200, stored, BytesOf("abc"));
    std::string archive = Archive("j.grf", {{stored, BytesOf("abc")}});
    Outcome run = Caskw({"list", archive, "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    nlohmann::json expected = nlohmann::json::parse(R"([{
        "name": "data\\한%FB", "name_hex": "646174615cc7d1fb",
        "aligned_size": 0, "compressed_size": 0, "real_size": 3,
        "position": 46, "type": 1, "cycle": -1, "state": 1}])");
    expected[0]["aligned_size"] = entry.record.alignedSize;
    expected[0]["compressed_size"] = entry.record.compressedSize;
    EXPECT_EQ(nlohmann::json::parse(run.out), expected);
    Outcome none = Caskw({"list", archive, "--json", "*.bmp"});
    EXPECT_EQ(nlohmann::json::parse(none.out), nlohmann::json::array());
    EXPECT_EQ(none.code, 1);
}

TEST_F(Cli, PatternsSelectWholePathsWithoutRegardToCase) {
    std::string archive = SampleArchive();
    struct Case {
        std::vector<std::string> patterns;
        std::vector<std::string> listed;
    } cases[] = {
        {{"*.spr"}, {"data\\sprite\\Monster.SPR", "data\\sprite\\npc\\guide.spr"}},
        {{"data/sprite/*.spr"}, {"data\\sprite\\Monster.SPR"}},
        {{"data\\sprite\\**\\*.SPR"},
         {"data\\sprite\\Monster.SPR", "data\\sprite\\npc\\guide.spr"}},
        {{"**/*.gat", "README.TXT"}, {"data\\readme.txt", "data\\map\\prontera.gat"}},
        {{"DATA/한*"}, {"data\\한글.txt"}},
        {{"한글.txt"}, {"data\\한글.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.patterns[0]);
        std::vector<std::string> args = {"list", archive};
        args.insert(args.end(), c.patterns.begin(), c.patterns.end());
        Outcome run = Caskw(args);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, Lines(c.listed));
    }
    Outcome partly = Caskw({"list", archive, "*.gat", "*.bmp"});
    EXPECT_EQ(partly.code, 1);
    EXPECT_EQ(partly.out, Lines({"data\\map\\prontera.gat"}));
    EXPECT_NE(partly.err.find("no entry matches *.bmp"), std::string::npos) << partly.err;
}

TEST_F(Cli, CatWritesTheContentByteForByte) {
    std::string archive = SampleArchive();
    std::vector<Content> contents = SampleContents();
    struct Case {
        const char* typed;
        size_t content;
    } cases[] = {
        {"data\\sprite\\Monster.SPR", 1},
        {"data/sprite/monster.spr", 1},  // other separator and case, still one entry
        {"data/한글.txt", 3},
        {"DATA\\MAP\\PRONTERA.GAT", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const Bytes& data = contents[c.content].data;
        EXPECT_EQ(Cat(archive, c.typed), std::string(data.begin(), data.end()));
    }
    Outcome missing = Caskw({"cat", archive, "data/none.txt"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("data/none.txt: no such entry"), std::string::npos);
}

TEST_F(Cli, CatIntoAPipe) {
#ifdef _WIN32
    GTEST_SKIP() << "a shell pipe is checked natively";
#else
    std::string archive = SampleArchive();
    ASSERT_TRUE(WriteAt(Path("monster.spr"), SampleContents()[1].data));
    Outcome piped =
        Shell(CaskwPath() + " cat '" + archive + "' data/sprite/Monster.SPR | sha256sum");
    Outcome direct = Shell("sha256sum < '" + Path("monster.spr") + "'");
    EXPECT_EQ(piped.code, 0);
    EXPECT_EQ(piped.out.substr(0, 64), direct.out.substr(0, 64));
    EXPECT_EQ(piped.out.size(), direct.out.size());
#endif
}

TEST_F(Cli, VerifyNamesEntriesThatDoNotRead) {
    std::string good = SampleArchive();
    Outcome fine = Caskw({"verify", good});
    EXPECT_EQ(fine.code, 0) << fine.err;
    EXPECT_EQ(fine.out, "");
    EXPECT_NE(fine.err.find("5 of 5 entries read"), std::string::npos) << fine.err;

    Stored broken = StoreContent(0x200, "data\\broken.bmp", Bytes(400, 'z'));
    broken.bytes[2] ^= 0xFF;  // the deflate stream goes wrong
    Stored fineOne = StoreContent(0x200, "data\\fine.txt", BytesOf("fine"));
    ASSERT_TRUE(WriteAt(Path("bad.grf"), BuildStoredArchive(0x200, {fineOne, broken})));
    Outcome run = Caskw({"verify", Path("bad.grf")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("data\\broken.bmp: the entry's data does not inflate"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("fine.txt"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1 of 2 entries read; 1 do not"), std::string::npos) << run.err;

    // An entry stored by a method Caskwright lacks is named with its reason.
    Stored marked = StoreContent(0x300, "data\\secret.bin", Bytes(400, 's'), 0x81);
    ASSERT_TRUE(WriteAt(Path("marked.grf"), BuildStoredArchive(0x300, {fineOne, marked})));
    Outcome method = Caskw({"verify", Path("marked.grf")});
    EXPECT_EQ(method.code, 1);
    EXPECT_NE(method.err.find("data\\secret.bin: the entry is stored in a way Caskwright does "
                              "not read (other compression or encryption) (code 36)"),
              std::string::npos)
        << method.err;
}

// Keyed entries: read with a password given three ways, refused with a
// wrong one or none, counted by info, and keyed by the writing commands.
TEST_F(Cli, PasswordsOpenKeyedEntries) {
    Bytes key = KeyOfPassword("open sesame");
    Bytes big = RandomBytes(300000, 4);
    ASSERT_TRUE(WriteAt(
        Path("keyed.grf"),
        BuildStoredArchive(0x200, {KeyedContent(key, kKorean, BytesOf("korean\n")),
                                   KeyedContent(key, "data\\big.bin", big, KeyedMethod::kLzma),
                                   StoreContent(0x200, "data\\plain.txt", BytesOf("plain"))})));
    WriteText("password.txt", "open sesame\n");
    ASSERT_TRUE(WriteAt(Path("key.bin"), key));
    std::string archive = Path("keyed.grf");
    EXPECT_NE(Caskw({"info", archive}).out.find("keyed entries: 2\n"), std::string::npos);

    for (const std::vector<std::string>& given :
         {std::vector<std::string>{"--password", "open sesame"},
          {"--password-file", Path("password.txt")},
          {"--key-file", Path("key.bin")}}) {
        std::vector<std::string> args = {"cat", archive, "data/한글.txt"};
        args.insert(args.end(), given.begin(), given.end());
        Outcome run = Caskw(args);
        EXPECT_EQ(run.code, 0) << given[0] << run.err;
        EXPECT_EQ(run.out, "korean\n") << given[0];
    }
    Outcome none = Caskw({"cat", archive, "data/한글.txt"});
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("encrypted: needs a password (code 43)"), std::string::npos)
        << none.err;
    Outcome wrong = Caskw({"verify", archive, "--password", "open sesamE"});
    EXPECT_EQ(wrong.code, 1);
    EXPECT_NE(wrong.err.find("the password does not open this entry (code 42)"), std::string::npos)
        << wrong.err;
    EXPECT_NE(wrong.err.find("1 of 3 entries read"), std::string::npos) << wrong.err;
    Outcome shortOne = Caskw({"list", archive, "--password", "abc"});
    EXPECT_EQ(shortOne.code, 2);
    EXPECT_NE(shortOne.err.find("a password takes 4 to 256 bytes, not 3"), std::string::npos)
        << shortOne.err;
    Outcome badKey = Caskw({"list", archive, "--key-file", Path("password.txt")});
    EXPECT_EQ(badKey.code, 2);
    EXPECT_NE(badKey.err.find("holds exactly 256 bytes, not 12"), std::string::npos) << badKey.err;

    Outcome extract =
        Caskw({"extract", archive, "-C", Path("out"), "--password-file", Path("password.txt")});
    EXPECT_EQ(extract.code, 0) << extract.err;
    Bytes extracted;
    EXPECT_TRUE(ReadAt(Path("out/data/big.bin"), &extracted) && extracted == big);

    // Repacked with another key: all three keyed, readable with it alone.
    Outcome repack = Caskw({"repack", archive, "-o", Path("rekeyed.grf"), "--password",
                            "open sesame", "--new-password", "another"});
    EXPECT_EQ(repack.code, 0) << repack.err;
    EXPECT_NE(Caskw({"info", Path("rekeyed.grf")}).out.find("keyed entries: 3\n"),
              std::string::npos);
    Outcome rekeyed =
        Caskw({"cat", Path("rekeyed.grf"), "data/plain.txt", "--password", "another"});
    EXPECT_EQ(rekeyed.out, "plain") << rekeyed.err;
    // Without a key the keyed entries are copied as they are.
    Outcome copied = Caskw({"repack", archive, "-o", Path("copied.grf")});
    EXPECT_EQ(copied.code, 0) << copied.err;
    EXPECT_EQ(Caskw({"cat", Path("copied.grf"), "data/big.bin", "--password", "open sesame"}).out,
              std::string(big.begin(), big.end()));

    // pack and add key the files they write.
    WriteText("mods/data/new.txt", "fresh");
    Outcome pack = Caskw({"pack", Path("mods"), "-o", Path("mods.grf"), "--password", "pw1234"});
    EXPECT_EQ(pack.code, 0) << pack.err;
    EXPECT_NE(Caskw({"info", Path("mods.grf")}).out.find("keyed entries: 1\n"), std::string::npos);
    Outcome add =
        Caskw({"add", archive, "data/new.txt", "--password", "open sesame"}, Path("mods"));
    EXPECT_EQ(add.code, 0) << add.err;
    EXPECT_NE(Caskw({"info", archive}).out.find("keyed entries: 3\n"), std::string::npos);
    EXPECT_EQ(Caskw({"cat", archive, "data/new.txt", "--password", "open sesame"}).out, "fresh");
}

// ---------------------------------------------------------------------------
// extract

TEST_F(Cli, ExtractWritesEntriesUnderTheFolder) {
    std::string archive = SampleArchive();
    Outcome run = Caskw({"extract", archive, "**/*.spr", "data/한글.txt", "-C", Path("out")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("3 files extracted to"), std::string::npos) << run.err;
    std::vector<Content> contents = SampleContents();
    const char* files[] = {"out/data/sprite/Monster.SPR", "out/data/sprite/npc/guide.spr",
                           "out/data/한글.txt"};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(files[i]);
        const Bytes& data = contents[i + 1].data;
        EXPECT_EQ(ReadText(files[i]), std::string(data.begin(), data.end()));
    }
    EXPECT_FALSE(ExistsAt(Path("out/data/readme.txt")));
    Outcome quiet = Caskw({"-q", "extract", archive, "*.txt", "-C", Path("out")});
    EXPECT_EQ(quiet.code, 0);
    EXPECT_EQ(quiet.err, "");
}

TEST_F(Cli, ExtractKeepLeavesExistingFiles) {
    std::string archive = SampleArchive();
    WriteText("out/data/readme.txt", "mine");
    Outcome kept = Caskw({"extract", archive, "readme.txt", "--keep"}, Path("out"));
    EXPECT_EQ(kept.code, 0) << kept.err;
    EXPECT_NE(kept.err.find("1 already there"), std::string::npos) << kept.err;
    EXPECT_EQ(ReadText("out/data/readme.txt"), "mine");
    Outcome replaced = Caskw({"extract", archive, "readme.txt"}, Path("out"));
    EXPECT_EQ(replaced.code, 0) << replaced.err;
    EXPECT_EQ(ReadText("out/data/readme.txt"), "hello\n");
}

TEST_F(Cli, ExtractRefusesNamesThatLeaveTheFolderAndGoesOn) {
    std::string archive =
        Archive("evil.grf", {{"..\\evil.txt", BytesOf("evil")}, {"data\\ok.txt", BytesOf("ok")}});
    Outcome run = Caskw({"extract", archive, "-C", Path("out")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("..\\evil.txt: the name would write outside"), std::string::npos)
        << run.err;
    EXPECT_FALSE(ExistsAt(Path("evil.txt")));
    EXPECT_EQ(ReadText("out/data/ok.txt"), "ok");
}

TEST_F(Cli, ExtractNeverReplacesTheArchiveItReads) {
    Bytes game = BuildArchive(0x200, {{"game.grf", BytesOf("evil")}, {"ok.txt", BytesOf("ok")}});
    ASSERT_TRUE(WriteAt(Path("game.grf"), game));
    Outcome run = Caskw({"extract", "game.grf", "-C", "."}, Path(""));
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("game.grf: is an archive open in this program; it is not replaced "
                           "(code 40)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadText("game.grf"), std::string(game.begin(), game.end()));
    EXPECT_EQ(ReadText("ok.txt"), "ok");
}

TEST_F(Cli, OddBytesPrintAndExtractUnderOneName) {
    // 0xFB starts no code page 949 character: it prints and extracts as %FB.
    std::string archive =
        Archive("odd.grf", {{"data\\\xFB.txt", BytesOf("odd")}, {"data\\ok.txt", BytesOf("ok")}});
    EXPECT_EQ(List(archive), Lines({"data\\%FB.txt", "data\\ok.txt"}));
    Outcome run = Caskw({"extract", archive, "-C", Path("out")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(ReadText("out/data/%FB.txt"), "odd");
    EXPECT_EQ(Cat(archive, "data/%fb.txt"), "odd");
}

TEST_F(Cli, ControlBytesInNamesNeverReachTheTerminal) {
    std::string archive = Archive("ctl.grf", {{"data\\red\x1B[31m.txt", BytesOf("1")},
                                              {"data\\two\nlines.txt", BytesOf("2")},
                                              {"data\\bell\x07\x7F.txt", BytesOf("3")},
                                              {"data\\bell\x07\x7F.txt", BytesOf("4")}});
    EXPECT_EQ(List(archive), Lines({"data\\red\\x1B[31m.txt", "data\\two\\x0Alines.txt",
                                    "data\\bell\\x07\\x7F.txt", "data\\bell\\x07\\x7F.txt"}));
    nlohmann::json json = nlohmann::json::parse(Caskw({"list", archive, "--json"}).out);
    EXPECT_EQ(json[0]["name"], "data\\red\x1B[31m.txt") << "JSON stays exact";
    EXPECT_EQ(json[1]["name"], "data\\two\nlines.txt");
    Outcome run = Caskw({"extract", archive, "-C", Path("out")});
    EXPECT_EQ(run.code, 1);
    // Windows takes no control character in a file name: each fails there.
    EXPECT_NE(run.err.find(kWindows ? "caskw: data\\bell\\x07\\x7F.txt: the file could not"
                                    : "caskw: data\\bell\\x07\\x7F.txt: an earlier entry"),
              std::string::npos)
        << run.err;
    for (char c : run.err + Caskw({"list", archive, "--long"}).out)
        EXPECT_TRUE(c == '\n' || static_cast<uint8_t>(c) >= 0x20) << int(c);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), kWindows ? 5 : 2) << run.err;
}

TEST_F(Cli, ExtractKeepsTheFirstOfTwoEntriesOfOneName) {
    std::string archive = Archive(
        "twice.grf", {{"data\\a.txt", BytesOf("first")}, {"data\\a.txt", BytesOf("second")}});
    Outcome run = Caskw({"extract", archive, "-C", Path("out")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("data\\a.txt: an earlier entry of the same name"), std::string::npos)
        << run.err;
    EXPECT_EQ(ReadText("out/data/a.txt"), "first");
}

TEST_F(Cli, ExtractChecksItsThreadCount) {
    std::string archive = SampleArchive();
    EXPECT_EQ(Caskw({"extract", archive, "-j", "0", "-C", Path("out")}).code, 2);
    EXPECT_EQ(Caskw({"extract", archive, "-j", "many", "-C", Path("out")}).code, 2);
    Outcome two = Caskw({"extract", archive, "-j", "2", "-C", Path("out")});
    EXPECT_EQ(two.code, 0) << two.err;
    EXPECT_EQ(ReadText("out/data/map/prontera.gat").size(), SampleContents()[4].data.size());
}

// ---------------------------------------------------------------------------
// pack, add, rm, merge, repack

TEST_F(Cli, PackNamesFilesByTheirPathsInsideTheFolder) {
    // A folder as an extraction leaves it, and a file beside data\.
    WriteText("tree/data/readme.txt", "hello\n");
    WriteText("tree/data/sprite/a.spr", "sprite a");
    WriteText("tree/data/한글.txt", "korean\n");
    WriteText("tree/top.txt", "top");
    Outcome run = Caskw({"pack", Path("tree"), "-o", Path("tree.grf")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("4 files packed"), std::string::npos) << run.err;
    std::string listed = List(Path("tree.grf"));
    for (const char* name :
         {"data\\readme.txt", "data\\sprite\\a.spr", "data\\한글.txt", "top.txt"})
        EXPECT_NE(listed.find(std::string(name) + "\n"), std::string::npos) << name;
    EXPECT_EQ(Cat(Path("tree.grf"), "data/한글.txt"), "korean\n");
    EXPECT_EQ(Cat(Path("tree.grf"), "top.txt"), "top");

    Outcome prefixed = Caskw({"pack", Path("tree/data"), "-o", Path("p.grf"), "--prefix", "mod/x"});
    EXPECT_EQ(prefixed.code, 0) << prefixed.err;
    EXPECT_EQ(List(Path("p.grf")),
              Lines({"mod\\x\\readme.txt", "mod\\x\\sprite\\a.spr", "mod\\x\\한글.txt"}));
    EXPECT_EQ(Cat(Path("p.grf"), "mod/x/sprite/a.spr"), "sprite a");
    // Nothing of the work is left beside the outputs.
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(U8(Narrow(dir.path))))
        files += !entry.is_directory();
    EXPECT_EQ(files, 2u);
}

TEST_F(Cli, ExtractThenPackGivesTheSameNames) {
    std::string archive = SampleArchive();
    ASSERT_EQ(Caskw({"extract", archive, "-C", Path("out")}).code, 0);
    Outcome run = Caskw({"pack", Path("out"), "-o", Path("again.grf")});
    ASSERT_EQ(run.code, 0) << run.err;
    Outcome before = Caskw({"list", archive, "--sort", "name"});
    Outcome after = Caskw({"list", Path("again.grf"), "--sort", "name"});
    EXPECT_EQ(after.out, before.out);
    Outcome diff = Caskw({"diff", archive, Path("again.grf")});
    EXPECT_EQ(diff.code, 0) << diff.err;
    EXPECT_EQ(diff.out, "") << "the same contents";
}

// Every byte from 0x80 up, alone and in every pair, comes back from
// extract and pack as the same bytes, never as "?". (Windows, whose file
// names ignore case, takes some pairs that make letters for one file: there
// the pairs that make no character.)
TEST_F(Cli, EscapedBytesRoundTripThroughExtractAndPack) {
    std::vector<Content> contents;
    for (int first = 0x80; first <= 0xFF; ++first) {
        std::string one = "data\\" + std::string(1, static_cast<char>(first));
        contents.push_back({one + ".txt", BytesOf(one)});
        for (int second = 0x80; second <= 0xFF; ++second) {
            std::string pair = one + static_cast<char>(second);
            wchar_t* file = GrfFileName(pair.c_str());
            bool escaped = file && wcschr(file, L'%');
            GrfFreeBuffer(file);
            if (!kWindows || escaped) contents.push_back({pair, {}});
        }
    }
    std::string archive = Archive("bytes.grf", contents);
    Outcome extract = Caskw({"extract", archive, "-C", Path("out"), "-q"});
    ASSERT_EQ(extract.code, 0) << extract.err.substr(0, 2000);
    Outcome pack = Caskw({"pack", Path("out"), "-o", Path("again.grf"), "-q"});
    ASSERT_EQ(pack.code, 0) << pack.err.substr(0, 2000);
    Outcome before = Caskw({"list", archive, "--sort", "name"});
    Outcome after = Caskw({"list", Path("again.grf"), "--sort", "name"});
    EXPECT_EQ(after.out, before.out);
    EXPECT_EQ(after.out.find('?'), std::string::npos);
    Outcome diff = Caskw({"diff", archive, Path("again.grf")});
    EXPECT_EQ(diff.code, 0) << diff.err;
    EXPECT_EQ(diff.out, "") << "the same raw names, the same contents";
}

TEST_F(Cli, AddTakesEscapedBytesAsThoseBytes) {
    std::string archive = Archive("a.grf", {{"data\\?", BytesOf("question")}});
    WriteText("data/%FB", "fb");
    WriteText("data/%fe", "fe");
    Outcome run = Caskw({"add", "a.grf", "data/%FB", "data/%fe"}, Narrow(dir.path));
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err.find("replacing"), std::string::npos) << run.err;
    EXPECT_EQ(List(archive), Lines({"data\\?", "data\\%FB", "data\\%FE"}));
    EXPECT_EQ(Cat(archive, "data/?"), "question");
    EXPECT_EQ(Cat(archive, "data/%FB"), "fb");
}

TEST_F(Cli, PackNeverReadsItsOwnOutput) {
    WriteText("tree/data/a.txt", "a");
    ASSERT_EQ(Caskw({"pack", Path("tree"), "-o", Path("tree/out.grf")}).code, 0);
    std::error_code error;
    fs::create_directory_symlink(U8(Path("tree")), U8(Path("link")), error);
    // Again over the output it left, once by its own name, once through a
    // link to the folder: out.grf is never packed into itself.
    for (const char* out : {"tree/out.grf", "link/out.grf"}) {
        if (std::string(out) == "link/out.grf" && error) continue;
        Outcome run = Caskw({"pack", Path("tree"), "-o", Path(out)});
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(List(Path("tree/out.grf")), Lines({"data\\a.txt"})) << out;
    }
    // A repack over its own archive replaces it whole.
    Outcome repack =
        Caskw({"repack", Path("tree/out.grf"), "-o", Path("tree/out.grf"), "--version", "0x103"});
    EXPECT_EQ(repack.code, 0) << repack.err;
    EXPECT_EQ(Cat(Path("tree/out.grf"), "data/a.txt"), "a");
}

TEST_F(Cli, PackWritesTheVersionAndLevelAsked) {
    WriteText("tree/data/a.txt", std::string(5000, 'a'));
    struct Case {
        const char* version;
        const char* shown;
    } cases[] = {{"0x103", "version: 0x103"},
                 {"102", "version: 0x102"},
                 {"0x200", "version: 0x200"},
                 {"0x300", "version: 0x300"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        std::string out = Path(std::string("v") + c.version + ".grf");
        Outcome run =
            Caskw({"pack", Path("tree"), "-o", out, "--version", c.version, "--level", "9"});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_NE(Caskw({"info", out}).out.find(c.shown), std::string::npos);
        EXPECT_EQ(Cat(out, "data/a.txt"), std::string(5000, 'a'));
    }
    for (std::vector<std::string> bad : {std::vector<std::string>{"--version", "0x999"},
                                         {"--version", "two"},
                                         {"--level", "1"},
                                         {"--level", "10"}}) {
        SCOPED_TRACE(bad[0] + " " + bad[1]);
        std::vector<std::string> args = {"pack", Path("tree"), "-o", Path("bad.grf")};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(Caskw(args).code, 2);
        EXPECT_FALSE(ExistsAt(Path("bad.grf")));
    }
}

TEST_F(Cli, AddChangesTheArchiveOrWritesANewOne) {
    std::string archive = SampleArchive();
    Bytes original;
    ASSERT_TRUE(ReadAt(Path("sample.grf"), &original));
    WriteText("data/readme.txt", "replaced\n");
    WriteText("data/sprite/new.spr", "new");
    WriteText("elsewhere/x.txt", "x");
    WriteText("elsewhere/sub/y.txt", "y");

    // -o: the original stays as it was.
    Outcome copy =
        Caskw({"add", archive, "data/sprite/new.spr", "-o", Path("copy.grf")}, Narrow(dir.path));
    EXPECT_EQ(copy.code, 0) << copy.err;
    EXPECT_EQ(Cat(Path("copy.grf"), "data/sprite/new.spr"), "new");
    Bytes after;
    ASSERT_TRUE(ReadAt(Path("sample.grf"), &after));
    EXPECT_EQ(after, original);

    // In place: a same name replaces, --as names a folder's files.
    Outcome run = Caskw({"add", "sample.grf", "data/readme.txt", "data/sprite"}, Narrow(dir.path));
    EXPECT_EQ(run.code, 0) << run.err;
    Outcome as = Caskw({"add", "sample.grf", "elsewhere", "--as", "data/more"}, Narrow(dir.path));
    EXPECT_EQ(as.code, 0) << as.err;
    EXPECT_EQ(Cat(archive, "data/readme.txt"), "replaced\n");
    EXPECT_EQ(Cat(archive, "data/sprite/new.spr"), "new");
    EXPECT_EQ(Cat(archive, "data/more/sub/y.txt"), "y");
    EXPECT_EQ(Cat(archive, "data/한글.txt"), "korean\n");
    Outcome listed = Caskw({"list", archive, "readme.txt"});
    EXPECT_EQ(listed.out, Lines({"data\\readme.txt"})) << "replaced, not doubled";

    // Paths outside the current folder need a name.
    Outcome outside = Caskw({"add", archive, Path("elsewhere/x.txt")}, Path("data"));
    EXPECT_EQ(outside.code, 1);
    EXPECT_NE(outside.err.find("give --as PREFIX"), std::string::npos) << outside.err;
}

TEST_F(Cli, RemoveDropsWhatPatternsMatch) {
    std::string archive = SampleArchive();
    Outcome copy = Caskw({"rm", archive, "*.spr", "-o", Path("fewer.grf")});
    EXPECT_EQ(copy.code, 0) << copy.err;
    EXPECT_EQ(List(Path("fewer.grf")),
              Lines({"data\\readme.txt", "data\\한글.txt", "data\\map\\prontera.gat"}));
    Bytes old;
    ASSERT_TRUE(ReadAt(Path("sample.grf"), &old));
    Outcome inPlace = Caskw({"rm", archive, "data/map/**"});
    EXPECT_EQ(inPlace.code, 0) << inPlace.err;
    EXPECT_EQ(List(archive).find("prontera"), std::string::npos);
    // Saved in place: the old bytes stay behind the header, the removed
    // entry's bytes and the old file list are now unused.
    Bytes saved;
    ASSERT_TRUE(ReadAt(Path("sample.grf"), &saved));
    ASSERT_GT(saved.size(), old.size());
    EXPECT_TRUE(std::equal(old.begin() + 46, old.end(), saved.begin() + 46));
    Outcome info = Caskw({"info", archive});
    EXPECT_EQ(info.out.find("unused bytes: 0\n"), std::string::npos) << info.out;

    Bytes before, after;
    ASSERT_TRUE(ReadAt(Path("sample.grf"), &before));
    Outcome nothing = Caskw({"rm", archive, "*.bmp"});
    EXPECT_EQ(nothing.code, 1);
    EXPECT_NE(nothing.err.find("no entry matches *.bmp"), std::string::npos);
    ASSERT_TRUE(ReadAt(Path("sample.grf"), &after));
    EXPECT_EQ(after, before);
}

TEST_F(Cli, MergeLetsLaterArchivesWin) {
    std::string low = Archive(
        "low.grf", {{"data\\x.txt", BytesOf("low")}, {"data\\low.txt", BytesOf("only low")}});
    std::string high = Archive(
        "high.grf", {{"data\\x.txt", BytesOf("high")}, {"data\\high.txt", BytesOf("only high")}},
        0x103);
    Outcome run = Caskw({"merge", "-o", Path("m.grf"), low, high});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(Cat(Path("m.grf"), "data/x.txt"), "high");
    EXPECT_EQ(List(Path("m.grf")), Lines({"data\\x.txt", "data\\low.txt", "data\\high.txt"}));
    EXPECT_NE(Caskw({"info", Path("m.grf")}).out.find("0x200"), std::string::npos)
        << "the first archive's version";

    // A client looks in the lowest number first: that one wins.
    WriteText(
        "client/data.ini",
        "\xEF\xBB\xBF[Data]\r\n; comment\r\n0=high.grf\r\n1=low.grf\r\n[Other]\r\n2=x.grf\r\n");
    ASSERT_TRUE(fs::copy_file(U8(high), U8(Path("client/high.grf"))));
    ASSERT_TRUE(fs::copy_file(U8(low), U8(Path("client/low.grf"))));
    Outcome ini = Caskw({"merge", "-o", Path("c.grf"), "--data-ini", Path("client/data.ini")});
    EXPECT_EQ(ini.code, 0) << ini.err;
    EXPECT_EQ(Cat(Path("c.grf"), "data/x.txt"), "high");
    EXPECT_EQ(Cat(Path("c.grf"), "data/low.txt"), "only low");
}

TEST_F(Cli, RepackConvertsVersions) {
    std::string archive = SampleArchive();
    Outcome run = Caskw({"repack", archive, "-o", Path("old.grf"), "--version", "0x102"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(Caskw({"info", Path("old.grf")}).out.find("version: 0x102"), std::string::npos);
    EXPECT_EQ(Caskw({"diff", archive, Path("old.grf")}).out, "");
    Outcome back = Caskw({"repack", Path("old.grf"), "-o", Path("old.grf"), "--version", "0x200"});
    EXPECT_EQ(back.code, 0) << back.err;
    EXPECT_NE(Caskw({"info", Path("old.grf")}).out.find("version: 0x200"), std::string::npos);
    EXPECT_EQ(Cat(Path("old.grf"), "data/sprite/Monster.SPR").size(),
              SampleContents()[1].data.size());
    // Records that claim 4 GB between them: refused before writing, with the
    // way out named.
    Stored big = StoreContent(0x200, "data\\big1.bin", BytesOf("x"));
    big.record.alignedSize = 0x80000000u;
    Stored big2 = big;
    big2.record.name = "data\\big2.bin";
    ASSERT_TRUE(WriteAt(Path("big.grf"), BuildStoredArchive(0x200, {big, big2})));
    Outcome tooBig =
        Caskw({"repack", Path("big.grf"), "-o", Path("big2.grf"), "--version", "0x200"});
    EXPECT_NE(tooBig.code, 0);
    EXPECT_NE(tooBig.err.find("more than the 4 GB a 0x200 archive can address; --version 0x300 "
                              "writes it"),
              std::string::npos)
        << tooBig.err;
    EXPECT_FALSE(ExistsAt(Path("big2.grf")));
    Outcome wide = Caskw({"repack", Path("old.grf"), "-o", Path("old.grf"), "--version", "0x300"});
    EXPECT_EQ(wide.code, 0) << wide.err;
    EXPECT_NE(Caskw({"info", Path("old.grf")}).out.find("version: 0x300"), std::string::npos);
    EXPECT_EQ(Caskw({"diff", archive, Path("old.grf")}).out, "");
}

TEST_F(Cli, DiffListsAddedRemovedAndChanged) {
    std::string a = Archive("a.grf", {{"data\\same.txt", BytesOf("same")},
                                      {"data\\gone.txt", BytesOf("gone")},
                                      {"data\\edit.txt", BytesOf("before")},
                                      {"data\\size.txt", BytesOf("four")}});
    std::string b = Archive("b.grf", {{"data\\same.txt", BytesOf("same")},
                                      {"data\\edit.txt", BytesOf("after!")},
                                      {"data\\size.txt", BytesOf("five!")},
                                      {"data\\new.txt", BytesOf("new")}});
    Outcome run = Caskw({"diff", a, b, "--patch", Path("patch.grf")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"added\tdata\\new.txt", "removed\tdata\\gone.txt",
                              "changed\tdata\\edit.txt", "changed\tdata\\size.txt"}));
    EXPECT_EQ(List(Path("patch.grf")),
              Lines({"data\\edit.txt", "data\\size.txt", "data\\new.txt"}));
    EXPECT_EQ(Cat(Path("patch.grf"), "data/edit.txt"), "after!");
    Outcome json = Caskw({"diff", a, b, "--json"});
    EXPECT_EQ(nlohmann::json::parse(json.out), nlohmann::json::parse(R"({
        "added": ["data\\new.txt"], "removed": ["data\\gone.txt"],
        "changed": ["data\\edit.txt", "data\\size.txt"]})"));
}

// ---------------------------------------------------------------------------
// Patches

TEST_F(Cli, DiffPatchAppliedToAGivesB) {
    for (uint32_t version : {0x103u, 0x200u, 0x300u}) {
        SCOPED_TRACE(version);
        std::string a = Archive("a.grf",
                                {{"data\\same.txt", BytesOf("same")},
                                 {"data\\gone.txt", BytesOf("gone")},
                                 {kKorean, BytesOf("before")},
                                 {"data\\big.bin", Binary(5000, 4)}},
                                version);
        std::string b = Archive("b.grf",
                                {{"data\\same.txt", BytesOf("same")},
                                 {kKorean, BytesOf("after!")},
                                 {"data\\big.bin", Binary(6000, 5)},
                                 {"data\\new.txt", BytesOf("")}},
                                version);
        std::string patch = Path("update-" + std::to_string(version) + ".thor");
        Outcome diff = Caskw({"diff", a, b, "--patch", patch, "--target", "a.grf"});
        EXPECT_EQ(diff.code, 0) << diff.err;
        EXPECT_EQ(List(patch), Lines({"data\\\xED\x95\x9C\xEA\xB8\x80.txt", "data\\big.bin",
                                      "data\\new.txt", "data\\gone.txt"}));
        Bytes before;
        ASSERT_TRUE(ReadFileBytes(Widen(a), &before));
        Outcome apply = Caskw({"patch", "apply", patch, a});
        EXPECT_EQ(apply.code, 0) << apply.err;
        EXPECT_NE(apply.err.find("2 entries replaced, 1 added, 1 removed"), std::string::npos)
            << apply.err;
        // Saved in place: what the file held stays, the header's directory
        // fields aside.
        Bytes after;
        ASSERT_TRUE(ReadFileBytes(Widen(a), &after));
        ASSERT_GT(after.size(), before.size());
        for (size_t at = 0; at < before.size(); ++at) {
            if (at < 30 || at >= 42) {
                ASSERT_EQ(after[at], before[at]) << "byte " << at;
            }
        }
        char hex[8];
        snprintf(hex, sizeof hex, "0x%x", version);
        EXPECT_NE(Caskw({"info", a}).out.find(hex), std::string::npos);
        Outcome same = Caskw({"diff", a, b});
        EXPECT_EQ(same.code, 0) << same.err;
        EXPECT_EQ(same.out, "");
        EXPECT_EQ(Caskw({"verify", a}).code, 0);
    }
}

TEST_F(Cli, PatchMakeVerifyAndApply) {
    WriteText("mods/data/readme.txt", "patched\n");
    WriteText("mods/data/sprite/new.spr", std::string(3000, 's'));
    std::string patch = Path("mods.thor");
    Outcome make = Caskw({"patch", "make", Path("mods"), "-o", patch, "--target", "data.grf",
                          "--remove", "data/map/prontera.gat", "--integrity"});
    EXPECT_EQ(make.code, 0) << make.err;
    EXPECT_EQ(List(patch), Lines({"data\\readme.txt", "data\\sprite\\new.spr",
                                  "data\\map\\prontera.gat", "data.integrity"}));
    Outcome verify = Caskw({"patch", "verify", patch});
    EXPECT_EQ(verify.code, 0) << verify.err;
    EXPECT_NE(verify.err.find("2 files checked, 0 failures"), std::string::npos) << verify.err;
    EXPECT_NE(Caskw({"patch", "make", Path("mods"), "-o", patch}).code, 0);  // never over a file
    Outcome info = Caskw({"info", patch});
    EXPECT_NE(info.out.find("patch: merge into an archive\ntarget: data.grf\n"), std::string::npos)
        << info.out;
    EXPECT_EQ(Caskw({"verify", patch}).code, 0);  // the removal has nothing to read

    std::string archive = SampleArchive();
    Outcome apply = Caskw({"patch", "apply", patch, archive});
    EXPECT_EQ(apply.code, 0) << apply.err;
    EXPECT_NE(apply.err.find("the patch names data.grf"), std::string::npos) << apply.err;
    EXPECT_EQ(Cat(archive, "data/readme.txt"), "patched\n");
    EXPECT_EQ(Cat(archive, "data/sprite/new.spr"), std::string(3000, 's'));
    EXPECT_EQ(Caskw({"cat", archive, "data/map/prontera.gat"}).code, 1);
    EXPECT_EQ(Caskw({"cat", archive, "data.integrity"}).code, 1);

    // A patch of loose files writes beside the archive, never outside it.
    Outcome loose = Caskw({"patch", "make", Path("mods"), "-o", Path("loose.thor"), "--loose"});
    EXPECT_EQ(loose.code, 0) << loose.err;
    fs::create_directories(U8(Path("client")));
    std::string client = Archive("client/data.grf", SampleContents());
    EXPECT_EQ(Caskw({"patch", "apply", Path("loose.thor"), client}).code, 0);
    EXPECT_EQ(ReadText("client/data/readme.txt"), "patched\n");
    EXPECT_EQ(List(client), List(Archive("s.grf", SampleContents())));  // untouched
}

TEST_F(Cli, LoosePatchAppliesEverySafeEntryAndNamesTheRefused) {
    fs::create_directories(U8(Path("client/data")));
    std::string client = Archive("client/data.grf", SampleContents());
    Bytes archiveBytes;
    ASSERT_TRUE(ReadAt(client, &archiveBytes));
    WriteText("client/data/old.txt", "old");
    WriteText("victim.txt", "victim");
    ASSERT_TRUE(WriteAt(Path("loose.thor"), BuildThor({{"data\\a.txt", BytesOf("a")},
                                                       {"..\\victim.txt", BytesOf("evil")},
                                                       {"data.grf", BytesOf("evil")},
                                                       {"data\\b.txt", BytesOf("b")},
                                                       {"data\\old.txt", {}, true}},
                                                      "", 0)));
    Outcome run = Caskw({"patch", "apply", Path("loose.thor"), client});
    EXPECT_EQ(run.code, 1);
    for (const char* says :
         {"caskw: ..\\victim.txt: the name would write outside",
          "caskw: data.grf: is an archive open in this program; it is not replaced (code 40)",
          "not applied in full: 2 entries refused; every other entry was applied"})
        EXPECT_NE(run.err.find(says), std::string::npos) << says << "\n" << run.err;
    EXPECT_EQ(ReadText("client/data/a.txt"), "a");
    EXPECT_EQ(ReadText("client/data/b.txt"), "b");
    EXPECT_FALSE(ExistsAt(Path("client/data/old.txt"))) << "removals after a refusal still run";
    EXPECT_EQ(ReadText("victim.txt"), "victim");
    Bytes after;
    ASSERT_TRUE(ReadAt(client, &after));
    EXPECT_EQ(after, archiveBytes);
}

// RGZ: made from a folder, listed and read like an archive, applied into a
// client folder, converted to THOR and back; a hostile name stops it all.
TEST_F(Cli, RgzPatchesMakeApplyAndConvert) {
    WriteText("mods/data/readme.txt", "new readme");
    WriteText("mods/data/한글.txt", "korean");
    WriteText("mods/data/sprite/a.spr", "sprite");
    Outcome make = Caskw({"patch", "make", Path("mods"), "-o", Path("m.rgz")});
    EXPECT_EQ(make.code, 0) << make.err;
    EXPECT_EQ(List(Path("m.rgz")),
              Lines({"data\\readme.txt", "data\\sprite\\a.spr", "data\\한글.txt"}));
    EXPECT_EQ(Cat(Path("m.rgz"), "data/한글.txt"), "korean");
    EXPECT_NE(Caskw({"info", Path("m.rgz")}).out.find("patch: RGZ"), std::string::npos);

    WriteText("client/data/readme.txt", "old readme");
    Outcome apply = Caskw({"patch", "apply", Path("m.rgz"), Path("client")});
    EXPECT_EQ(apply.code, 0) << apply.err;
    EXPECT_EQ(ReadText("client/data/readme.txt"), "new readme");
    EXPECT_EQ(ReadText("client/data/sprite/a.spr"), "sprite");
    EXPECT_EQ(ReadText("client/data/한글.txt"), "korean");

    Outcome toThor = Caskw({"patch", "convert", Path("m.rgz"), "-o", Path("m.thor")});
    EXPECT_EQ(toThor.code, 0) << toThor.err;
    EXPECT_EQ(List(Path("m.thor")), List(Path("m.rgz")));
    EXPECT_EQ(Cat(Path("m.thor"), "data/sprite/a.spr"), "sprite");
    Outcome back = Caskw({"patch", "convert", Path("m.thor"), "-o", Path("back.rgz")});
    EXPECT_EQ(back.code, 0) << back.err;
    Bytes first, second;
    ASSERT_TRUE(ReadAt(Path("m.rgz"), &first) && ReadAt(Path("back.rgz"), &second));
    EXPECT_EQ(Gunzip(first), Gunzip(second)) << "the same records";

    ASSERT_TRUE(WriteAt(Path("evil.rgz"), BuildRgz({{'f', "data\\ok.txt", BytesOf("ok")},
                                                    {'f', "..\\evil.txt", BytesOf("evil")}})));
    Outcome evil = Caskw({"patch", "apply", Path("evil.rgz"), Path("client")});
    EXPECT_EQ(evil.code, 1);
    EXPECT_NE(evil.err.find("nothing was applied"), std::string::npos) << evil.err;
    EXPECT_FALSE(ExistsAt(Path("client/data/ok.txt")));
    EXPECT_FALSE(ExistsAt(Path("evil.txt")));
}

TEST_F(Cli, PatchVerifyChecksEitherFormOfTheList) {
    Bytes content = BytesOf("content");
    Bytes stored = Deflate(content);
    auto crc = [](const Bytes& bytes) {
        char text[16];
        snprintf(text, sizeof text, "0x%08x",
                 static_cast<unsigned>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size()))));
        return std::string(text);
    };
    struct Case {
        const char* what;
        std::string list;
        int code;
        const char* says;
    };
    std::vector<Case> cases = {
        {"content", "data\\a.txt=" + crc(content) + "\r\n", 0, "1 file checked, 0 failures"},
        {"stored bytes", "data\\a.txt=" + crc(stored) + "\r\n", 0, "CRC-32 of the stored bytes"},
        {"wrong", "data\\a.txt=0x12345678\r\n", 1, "listed 0x12345678"},
        {"missing file", "data\\b.txt=" + crc(content) + "\n", 1, "no such file"},
        {"not a line", "data\\a.txt\r\n", 1, "not a line of the list"},
    };
    for (const Case& c : cases) {
        std::string patch = Path(std::string(c.what) + ".thor");
        ASSERT_TRUE(WriteAt(
            patch, BuildThor({{"data\\a.txt", content}, {"data.integrity", BytesOf(c.list)}})));
        Outcome run = Caskw({"patch", "verify", patch});
        EXPECT_EQ(run.code, c.code) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << ": " << run.err;
    }
    ASSERT_TRUE(WriteAt(Path("bare.thor"), BuildThor({{"data\\a.txt", content}})));
    EXPECT_EQ(Caskw({"patch", "verify", Path("bare.thor")}).code, 2);
    EXPECT_EQ(Caskw({"patch", "verify", SampleArchive()}).code, 2);
}

}  // namespace
