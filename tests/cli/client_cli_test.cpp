// caskw over a client folder: `caskw client DIR` and --client DIR for list,
// cat, extract and verify, run as a child process against a client built
// here (three archives, one of them 0x300, one edited in place, and a loose
// data folder).
#include <grf.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "grf_builder.h"
#include "program.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

fs::path U8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::vector<Content> Texts(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::vector<Content> contents;
    for (const auto& [name, text] : pairs) contents.push_back({name, BytesOf(text)});
    return contents;
}

class ClientCli : public ::testing::Test {
  protected:
    void SetUp() override {
        Write("client/myserver.grf",
              BuildArchive(0x300, Texts({{"data\\sprite\\hero.spr", "server hero"}})));
        Write("client/rdata.grf",
              BuildArchive(0x200, Texts({{"data\\Sprite\\Hero.spr", "rdata hero"},
                                         {"data\\texture\\wall.bmp", "rdata wall"}})));
        Write("client/data.grf",
              BuildArchive(0x103, Texts({{"data\\sprite\\hero.spr", "data hero"},
                                         {"data\\texture\\wall.bmp", "data wall"},
                                         {"data\\clientinfo.xml", "data info"}})));
        // Edited in place as a patch would be: data\new.txt added.
        Write("new.txt", BytesOf("new"));
        Outcome added = Caskw({"add", Path("client/data.grf"), Path("new.txt"), "--as", "data"});
        ASSERT_EQ(added.code, 0) << added.err;
        Write("client/data/clientinfo.xml", BytesOf("loose info"));
        Write("client/DATA.INI", BytesOf("[Data]\n0=myserver.grf\n1=rdata.grf\n2=data.grf\n"));
    }
    std::string Path(const std::string& name) const { return Narrow(dir.path) + "/" + name; }
    void Write(const std::string& name, const Bytes& bytes) const {
        fs::create_directories(U8(Path(name)).parent_path());
        std::ofstream file(U8(Path(name)), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::string Read(const std::string& name) const {
        std::ifstream file(U8(Path(name)), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    TempDir dir;
};

TEST_F(ClientCli, ClientShowsSourcesInOrderWithWhatTheyOverride) {
    Outcome run = Caskw({"client", Path("client")});
    ASSERT_EQ(run.code, 0) << run.err;
    struct Row {
        const char* source;
        unsigned entries, wins, overrides, hidden;
    } rows[] = {
        {"data\\", 1, 1, 1, 0},
        {"myserver.grf", 1, 1, 1, 0},
        {"rdata.grf", 2, 1, 1, 1},
        {"data.grf", 4, 1, 0, 3},
    };
    std::string expected = "source             entries      wins  overrides    hidden\n";
    for (const Row& r : rows) {
        char line[128];
        snprintf(line, sizeof line, "%-16s %9u %9u %10u %9u\n", r.source, r.entries, r.wins,
                 r.overrides, r.hidden);
        expected += line;
    }
    expected += "4 names, 4 hidden copies\n";
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;

    Outcome json = Caskw({"client", Path("client"), "--json", "--no-loose"});
    ASSERT_EQ(json.code, 0) << json.err;
    auto parsed = nlohmann::json::parse(json.out);
    ASSERT_EQ(parsed["sources"].size(), 3u);
    EXPECT_EQ(parsed["sources"][2]["source"], "data.grf");
    EXPECT_EQ(parsed["sources"][2]["names"], 2);  // clientinfo.xml is its own now
    EXPECT_EQ(parsed["hidden_copies"], 3);
}

TEST_F(ClientCli, ListCatExtractAndVerifyReadTheWinners) {
    Outcome list = Caskw({"list", "--client", Path("client"), "--json"});
    ASSERT_EQ(list.code, 0) << list.err;
    std::map<std::string, std::pair<std::string, int>> seen;
    for (const auto& entry : nlohmann::json::parse(list.out))
        seen[entry["name"]] = {entry["source"], entry["hidden_copies"]};
    std::map<std::string, std::pair<std::string, int>> expected = {
        {"data\\clientinfo.xml", {"data\\", 1}},
        {"data\\sprite\\hero.spr", {"myserver.grf", 2}},
        {"data\\texture\\wall.bmp", {"rdata.grf", 1}},
        {"data\\new.txt", {"data.grf", 0}},
    };
    EXPECT_EQ(seen, expected);

    Outcome patterned = Caskw({"list", "--client", Path("client"), "*.SPR", "data/texture/*"});
    EXPECT_EQ(patterned.out, "data\\sprite\\hero.spr\ndata\\texture\\wall.bmp\n");

    struct Case {
        const char* name;
        const char* content;
    } cases[] = {
        {"DATA/SPRITE/HERO.SPR", "server hero"},
        {"data\\texture\\wall.bmp", "rdata wall"},
        {"data/clientinfo.xml", "loose info"},
        {"data/new.txt", "new"},
    };
    for (const Case& c : cases) {
        Outcome cat = Caskw({"cat", "--client", Path("client"), c.name});
        EXPECT_EQ(cat.code, 0) << cat.err;
        EXPECT_EQ(cat.out, c.content) << c.name;
    }
    Outcome loose = Caskw({"cat", "--client", Path("client"), "--no-loose", "data/clientinfo.xml"});
    EXPECT_EQ(loose.out, "data info");
    Outcome missing = Caskw({"cat", "--client", Path("client"), "data/none.txt"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("data/none.txt: no such entry"), std::string::npos) << missing.err;

    Outcome extract = Caskw({"extract", "--client", Path("client"), "-C", Path("out")});
    ASSERT_EQ(extract.code, 0) << extract.err;
    EXPECT_NE(extract.err.find("4 files extracted"), std::string::npos) << extract.err;
    EXPECT_EQ(Read("out/data/sprite/hero.spr"), "server hero");
    EXPECT_EQ(Read("out/data/texture/wall.bmp"), "rdata wall");
    EXPECT_EQ(Read("out/data/clientinfo.xml"), "loose info");
    EXPECT_EQ(Read("out/data/new.txt"), "new");

    Outcome verify = Caskw({"verify", "--client", Path("client")});
    EXPECT_EQ(verify.code, 0) << verify.err;
    EXPECT_NE(verify.err.find("4 of 4 names read"), std::string::npos) << verify.err;
}

TEST_F(ClientCli, FoldersThatAreNoClientAndArchivesThatDoNotOpen) {
    fs::create_directories(U8(Path("empty")));
    Outcome empty = Caskw({"list", "--client", Path("empty")});
    EXPECT_EQ(empty.code, 2);
    EXPECT_NE(empty.err.find("no client here"), std::string::npos) << empty.err;

    Write("client/rdata.grf", BytesOf("no archive, only some words of text to fill a header"));
    Outcome list = Caskw({"list", "--client", Path("client")});
    EXPECT_EQ(list.code, 2);
    EXPECT_NE(list.err.find("rdata.grf (listed by the client) does not open: not an archive"),
              std::string::npos)
        << list.err;
    Outcome client = Caskw({"client", Path("client")});
    EXPECT_EQ(client.code, 1);
    EXPECT_NE(client.out.find("rdata.grf        does not open: not an archive"), std::string::npos)
        << client.out;
}

TEST_F(ClientCli, ListHashesDecodedContent) {
    // The hashes of "server hero", the content, not of the bytes stored.
    const std::map<std::string, std::string> kHero = {
        {"crc32", "a1cc6878"},
        {"sha256", "ea75f8acdbc30b9b1e034256c48cc7c2e8be2c26f10b76be2b3cd299f2a633b2"},
    };
    for (const char* algo : {"crc32", "sha256"}) {
        Outcome client = Caskw({"list", "--client", Path("client"), "--json", "--hash", algo});
        ASSERT_EQ(client.code, 0) << client.err;
        Outcome archive = Caskw({"list", Path("client/myserver.grf"), "--json", "--hash", algo});
        ASSERT_EQ(archive.code, 0) << archive.err;
        auto fromClient = nlohmann::json::parse(client.out);
        auto fromArchive = nlohmann::json::parse(archive.out);
        std::string hero;
        for (const auto& entry : fromClient)
            if (entry["name"] == "data\\sprite\\hero.spr") hero = entry[algo];
        EXPECT_EQ(hero, kHero.at(algo));
        EXPECT_EQ(fromArchive[0][algo], kHero.at(algo));
    }
    Outcome plain = Caskw({"list", Path("client/myserver.grf"), "--hash", "crc32"});
    EXPECT_EQ(plain.code, 2);
    EXPECT_NE(plain.err.find("--hash needs --json"), std::string::npos) << plain.err;
}

TEST_F(ClientCli, ManifestsNameWhatIsMissingDifferentAndExtra) {
    Outcome made = Caskw({"manifest", "--client", Path("client"), "-o", Path("client.json")});
    ASSERT_EQ(made.code, 0) << made.err;
    std::ifstream file(U8(Path("client.json")));
    auto manifest = nlohmann::json::parse(file);
    ASSERT_EQ(manifest["entries"].size(), 4u);
    const auto& first = manifest["entries"][0];  // sorted by name
    EXPECT_EQ(first["name"], "data\\clientinfo.xml");
    EXPECT_EQ(first["size"], 10);
    EXPECT_EQ(first["source"], "data\\");
    EXPECT_EQ(first["crc32"].get<std::string>().size(), 8u);
    EXPECT_EQ(first["sha256"].get<std::string>().size(), 64u);

    Outcome same = Caskw({"manifest", "check", Path("client.json"), "--client", Path("client")});
    EXPECT_EQ(same.code, 0) << same.out << same.err;
    EXPECT_EQ(same.out, "");

    // The archives alone, without the loose folder: the first archive wins.
    Outcome archives = Caskw({"manifest", "check", Path("client.json"), Path("client/myserver.grf"),
                              Path("client/rdata.grf"), "--json"});
    EXPECT_EQ(archives.code, 1);
    auto report = nlohmann::json::parse(archives.out);
    EXPECT_EQ(report["missing"], nlohmann::json({"data\\clientinfo.xml", "data\\new.txt"}));
    EXPECT_EQ(report["different"].size(), 0u);
    EXPECT_EQ(report["extra"].size(), 0u);

    Write("client/data/clientinfo.xml", BytesOf("loose info, changed"));
    Write("client/data/more.txt", BytesOf("more"));
    Outcome changed = Caskw({"manifest", "check", Path("client.json"), "--client", Path("client")});
    EXPECT_EQ(changed.code, 1);
    EXPECT_EQ(changed.out,
              "different: data\\clientinfo.xml (size 19, was 10; from data\\)\n"
              "extra: data\\more.txt (from data\\)\n");
    EXPECT_NE(changed.err.find("0 missing, 1 different, 1 extra, of 4 names listed"),
              std::string::npos)
        << changed.err;
}

#ifndef _WIN32
// A loose file whose name holds a control byte (Windows allows none) is
// listed with the byte escaped, as an archive's entries are.
TEST_F(ClientCli, ListEscapesControlBytesOfLooseNames) {
    Write("client/data/tab\tname.txt", BytesOf("t"));
    Outcome run = Caskw({"list", "--client", Path("client")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("data\\tab\\x09name.txt\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\t'), std::string::npos) << run.out;
}
#endif

// diff with a client as a side compares what the clients load: names in
// any case, the winning copy's content (a copy moved to another source with
// the same bytes is the same), archives and folders mixed.
TEST_F(ClientCli, DiffComparesWhatEachClientLoads) {
    fs::copy(U8(Path("client")), U8(Path("other")), fs::copy_options::recursive);
    fs::remove(U8(Path("other/rdata.grf")));  // wall.bmp now comes from data.grf
    Write("other/data/sprite/HERO.SPR", BytesOf("server hero"));
    Write("other/data/extra.txt", BytesOf("extra"));
    using List = std::vector<std::string>;
    struct Case {
        std::vector<std::string> args;
        List added, removed, changed;
    } cases[] = {
        {{Path("client"), Path("other")}, {"data\\extra.txt"}, {}, {"data\\texture\\wall.bmp"}},
        {{"--client", Path("other"), "--client", Path("client")},
         {},
         {"data\\extra.txt"},
         {"data\\texture\\wall.bmp"}},
        // A client beside one of its archives: the loose folder and the
        // server's archive are what differ.
        {{"--client", Path("other"), Path("client/data.grf")},
         {},
         {"data\\extra.txt"},
         {"data\\sprite\\hero.spr", "data\\clientinfo.xml"}},
        {{"--no-loose", Path("other"), Path("client")}, {}, {}, {"data\\texture\\wall.bmp"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"diff", "--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome run = Caskw(args);
        ASSERT_EQ(run.code, 0) << run.err;
        auto result = nlohmann::json::parse(run.out);
        EXPECT_EQ(result["added"], nlohmann::json(c.added)) << run.out;
        EXPECT_EQ(result["removed"], nlohmann::json(c.removed)) << run.out;
        EXPECT_EQ(result["changed"], nlohmann::json(c.changed)) << run.out;
    }
    EXPECT_EQ(Caskw({"diff", "--client", Path("client")}).code, 2);
    EXPECT_EQ(Caskw({"diff", Path("client"), Path("other"), "--patch", Path("p.thor")}).code, 2);
}

#ifdef CASKW_MOUNT
// Whether a FUSE mount can work here at all: root and /dev/fuse.
bool MayMount() {
    return geteuid() == 0 && access("/dev/fuse", R_OK | W_OK) == 0;
}

// Mounts (in the background), compares every file with caskw cat, reads at
// offsets, unmounts. Skipped, saying so, where the machine allows no mount.
TEST_F(ClientCli, MountServesWhatCatGives) {
    if (!MayMount())
        GTEST_SKIP() << "NOT RUN: this machine allows no FUSE mount (root and /dev/fuse needed)";
    // Larger than a piece of the mount's cache, and than the cache it gets.
    Bytes big = RandomBytes(3500000, 7);
    Write("big.grf", BuildArchive(0x200, {{"data\\big.bin", big},
                                          {"data\\\xC7\xD1\xB1\xDB.txt", BytesOf("korean")},
                                          {"data\\\x80odd.txt", BytesOf("odd")}}));
    struct Case {
        std::vector<std::string> view;
        std::map<std::string, std::string> files;  // path under the mount: entry name
        std::vector<std::string> mountOptions;
    } cases[] = {
        {{"--client", Path("client")},
         {{"data/sprite/hero.spr", "data/sprite/hero.spr"},
          {"data/texture/wall.bmp", "data/texture/wall.bmp"},
          {"data/clientinfo.xml", "data/clientinfo.xml"},
          {"data/new.txt", "data/new.txt"}}},
        {{Path("big.grf")},
         {{"data/big.bin", "data/big.bin"},
          {"data/\xED\x95\x9C\xEA\xB8\x80.txt", "data/\xED\x95\x9C\xEA\xB8\x80.txt"},
          {"data/%80odd.txt", "data/%80odd.txt"}},
         {"--cache", "2"}},
    };
    for (const Case& c : cases) {
        std::string point = Path("mnt");
        fs::create_directories(U8(point));
        std::string command = CaskwPath() + " mount";
        for (const std::string& arg : c.view) command += " '" + arg + "'";
        for (const std::string& arg : c.mountOptions) command += " " + arg;
        command += " '" + point + "' </dev/null >'" + Path("mount.log") + "' 2>&1 &";
        ASSERT_EQ(Shell(command).code, 0);
        bool mounted = false;
        for (int i = 0; i < 200 && !mounted; ++i) {
            mounted = fs::exists(U8(point + "/data"));
            if (!mounted) usleep(50000);
        }
        if (!mounted) GTEST_SKIP() << "NOT RUN: the mount was refused here: " << Read("mount.log");
        for (const auto& [file, entry] : c.files) {
            std::vector<std::string> args = {"cat"};
            args.insert(args.end(), c.view.begin(), c.view.end());
            args.push_back(entry);
            Outcome cat = Caskw(args);
            EXPECT_EQ(cat.code, 0) << cat.err;
            EXPECT_EQ(Read("mnt/" + file), cat.out) << file;
            EXPECT_EQ(fs::file_size(U8(point + "/" + file)), cat.out.size()) << file;
        }
        if (c.view.size() == 1) {
            // Reads at offsets of the large file, out of order, one across
            // the first piece's end, and again after the cache dropped it.
            std::ifstream file(U8(point + "/data/big.bin"), std::ios::binary);
            for (size_t offset : {3499990u, 7u, 1048568u, 2500001u, 65536u, 0u, 3000000u, 9u}) {
                char piece[16] = {};
                file.clear();
                file.seekg(static_cast<std::streamoff>(offset));
                file.read(piece, sizeof piece);
                size_t got = static_cast<size_t>(file.gcount());
                EXPECT_EQ(got, std::min<size_t>(16, big.size() - offset));
                EXPECT_EQ(Bytes(piece, piece + got),
                          Bytes(big.begin() + static_cast<std::ptrdiff_t>(offset),
                                big.begin() + static_cast<std::ptrdiff_t>(offset + got)));
            }
            std::ofstream write(U8(point + "/data/new.bin"));
            EXPECT_FALSE(write.is_open());  // read-only
        }
        Outcome unmount = Caskw({"unmount", point});
        EXPECT_EQ(unmount.code, 0) << unmount.err;
        bool gone = false;
        for (int i = 0; i < 200 && !gone; ++i) {
            gone = !fs::exists(U8(point + "/data"));
            if (!gone) usleep(50000);
        }
        EXPECT_TRUE(gone);
        for (int i = 0; i < 100 && Read("mount.log").find("unmounted") == std::string::npos; ++i)
            usleep(50000);
        EXPECT_NE(Read("mount.log").find("unmounted"), std::string::npos) << Read("mount.log");
    }
}
#endif

}  // namespace
