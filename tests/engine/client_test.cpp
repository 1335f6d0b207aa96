// The client view: a client folder's sources in the client's order, merged
// into one table of names with their winners and hidden copies; reading and
// extraction through the winner; archives changed by another program; the
// DATA.INI parser.
#include <client_internal.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <array>
#include <atomic>
#include <mutex>
#include <set>

#include "engine_test_util.h"

namespace {

// A client folder built on disk, opened as a view.
struct ClientOnDisk {
    TempDir dir;
    GrfClient* client = nullptr;

    void Archive(const std::string& file, uint32_t version, const std::vector<Content>& contents) {
        ASSERT_TRUE(WriteFileBytes(dir.Join(Widen(file)), BuildArchive(version, contents)));
    }
    void File(const std::string& relative, const std::string& text) {
        std::wstring path = dir.path;
        std::string part;
        for (char c : relative) {
            if (c != '/') {
                part += c;
                continue;
            }
            path += L'/' + Widen(part);
            MakeDirectory(path);
            part.clear();
        }
        ASSERT_TRUE(WriteFileBytes(path + L'/' + Widen(part), BytesOf(text)));
    }
    uint32_t Open(uint32_t flags) {
        GrfCloseClient(&client);
        client = GrfOpenClient(dir.path.c_str(), flags, nullptr);
        return GrfLastError;
    }
    ~ClientOnDisk() { GrfCloseClient(&client); }

    // The file name of a source, "data\" for the loose folder.
    std::string SourceName(uint32_t s) const {
        const GrfClientSource& source = client->sources[s];
        if (source.loose) return "data\\";
        std::wstring path = source.archive != GRF_NO_ARCHIVE ? source.archive->path : source.path;
        return Narrow(path.substr(path.find_last_of(L"\\/") + 1));
    }
    const GrfEntry& Record(const GrfClientCopy& copy) const {
        return *GrfClientRecord(client, copy.source, copy.record);
    }
    // "name <- source: content [hidden: source, source]" for a name.
    std::string Describe(const char* name) const {
        uint32_t n = GrfFindClientName(client, name);
        if (n == GRF_CLIENT_NONE) return "none";
        const GrfClientName& at = client->names[n];
        uint32_t size = 0;
        uint8_t* content = GrfReadClientName(client, n, &size);
        std::string text = content ? std::string(content, content + size)
                                   : "error " + std::to_string(GrfLastError);
        GrfFreeBuffer(content);
        std::string out = SourceName(at.source) + ": " + text;
        for (uint32_t h = 0; h < at.hiddenCount; ++h)
            out +=
                (h ? ", " : " [hidden: ") + SourceName(client->hidden[at.firstHidden + h].source);
        return at.hiddenCount ? out + "]" : out;
    }
    std::vector<std::string> Sources() const {
        std::vector<std::string> names;
        for (uint32_t s = 0; s < client->sourceCount; ++s) names.push_back(SourceName(s));
        return names;
    }
};

std::vector<Content> Texts(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::vector<Content> contents;
    for (const auto& [name, text] : pairs) contents.push_back({name, BytesOf(text)});
    return contents;
}

// Three archives of three versions, one with a patch applied, and a loose
// folder; DATA.INI in upper case names them in another case than on disk.
void BuildClient(ClientOnDisk* c) {
    c->Archive("myserver.grf", 0x300,
               Texts({{"data\\sprite\\hero.spr", "server hero"}, {"data\\only_server.txt", "s"}}));
    c->Archive("rdata.grf", 0x200,
               Texts({{"DATA/Sprite/Hero.SPR", "rdata hero"},
                      {"data\\texture\\wall.bmp", "rdata wall"},
                      {"data\\texture\\wall.bmp", "rdata wall again"}}));
    c->Archive("data.grf", 0x103,
               Texts({{"data\\sprite\\hero.spr", "data hero"},
                      {"data\\texture\\wall.bmp", "data wall"},
                      {"data\\clientinfo.xml", "data info"},
                      {"data\\old.txt", "old"}}));
    // A patch merged into data.grf: one name changed, one removed, one added.
    {
        std::wstring path = c->dir.Join(L"data.grf");
        GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
        ASSERT_NE(archive, GRF_NO_ARCHIVE);
        std::wstring local = c->dir.Join(L"patched.txt");
        ASSERT_TRUE(WriteFileBytes(local, BytesOf("patched info")));
        GrfFindEntry(archive, "data\\clientinfo.xml")->state = GRF_ENTRY_DELETED;
        ASSERT_EQ(GrfAddLocalFile(archive, L"data\\clientinfo.xml", local.c_str()), 0u);
        ASSERT_EQ(GrfAddLocalFile(archive, L"data\\new.txt", local.c_str()), 0u);
        GrfFindEntry(archive, "data\\old.txt")->state = GRF_ENTRY_DELETED;
        ASSERT_EQ(GrfSave(archive, nullptr), 0);
        GrfClose(&archive);
    }
    c->File("Data/clientinfo.xml", "loose info");
    c->File("Data/Texture/floor.bmp", "loose floor");
    c->File("DATA.INI", "[Data]\r\n2=data.grf\r\n0=myserver.grf\r\n1=RDATA.GRF\r\n");
}

TEST(Client, MergesSourcesInTheClientsOrder) {
    ClientOnDisk c;
    BuildClient(&c);
    ASSERT_EQ(c.Open(GRF_CLIENT_LOOSE), uint32_t{GRF_OK});
    EXPECT_EQ(c.Sources(), (Names{"data\\", "myserver.grf", "rdata.grf", "data.grf"}));

    struct Case {
        const char* name;
        std::string expected;
    } cases[] = {
        {"data\\sprite\\hero.spr", "myserver.grf: server hero [hidden: rdata.grf, data.grf]"},
        {"DATA/SPRITE/HERO.SPR", "myserver.grf: server hero [hidden: rdata.grf, data.grf]"},
        // The second record of a name in rdata.grf hides behind its first.
        {"data\\texture\\wall.bmp", "rdata.grf: rdata wall [hidden: rdata.grf, data.grf]"},
        {"data\\clientinfo.xml", "data\\: loose info [hidden: data.grf]"},
        {"data\\texture\\floor.bmp", "data\\: loose floor"},
        {"data\\new.txt", "data.grf: patched info"},
        {"data\\only_server.txt", "myserver.grf: s"},
        {"data\\old.txt", "none"},  // the patch removed it
    };
    for (const Case& k : cases) EXPECT_EQ(c.Describe(k.name), k.expected) << k.name;
    EXPECT_EQ(c.client->nameCount, 6u);
    EXPECT_EQ(c.client->hiddenCount, 5u);

    // names / overrides / hidden per source.
    std::vector<std::array<uint32_t, 3>> counts;
    for (uint32_t s = 0; s < c.client->sourceCount; ++s) {
        const GrfClientSource& source = c.client->sources[s];
        counts.push_back({source.names, source.overrides, source.hidden});
    }
    EXPECT_EQ(counts,
              (std::vector<std::array<uint32_t, 3>>{{2, 1, 0}, {2, 1, 0}, {1, 1, 2}, {1, 0, 3}}));
    EXPECT_GT(GrfClientTableBytes(c.client), 0u);
}

TEST(Client, LeavesTheLooseFolderOutUnlessAsked) {
    ClientOnDisk c;
    BuildClient(&c);
    ASSERT_EQ(c.Open(0), uint32_t{GRF_OK});
    EXPECT_EQ(c.Sources(), (Names{"myserver.grf", "rdata.grf", "data.grf"}));
    EXPECT_EQ(c.Describe("data\\clientinfo.xml"), "data.grf: patched info");
    EXPECT_EQ(c.Describe("data\\texture\\floor.bmp"), "none");
}

// The loose walk takes what lies in the data folder itself: folders at any
// depth, Korean names in code page 949; never what a link points at, nor a
// special file; a name code page 949 cannot hold is counted as skipped.
TEST(Client, TheLooseFolderIsWalkedWithoutFollowingLinks) {
    ClientOnDisk c;
    c.Archive("data.grf", 0x200, Texts({{"data\\a.txt", "archive a"}}));
    c.File("data/a.txt", "loose a");
    c.File("data/one/two/three/four/deep.txt", "deep");
    c.File("data/\xEB\xAA\xAC\xEC\x8A\xA4\xED\x84\xB0/x.spr", "monster");  // UTF-8 on disk
    c.File("data/\xE2\x98\x83.txt", "snowman");  // no such character in code page 949
    c.File("outside/secret.txt", "secret");
#ifndef _WIN32
    std::string root = Narrow(c.dir.path);
    ASSERT_EQ(symlink((root + "/outside").c_str(), (root + "/data/linked").c_str()), 0);
    ASSERT_EQ(symlink((root + "/outside/secret.txt").c_str(), (root + "/data/secret.txt").c_str()),
              0);
    ASSERT_EQ(mkfifo((root + "/data/pipe").c_str(), 0600), 0);
#endif
    ASSERT_EQ(c.Open(GRF_CLIENT_LOOSE), uint32_t{GRF_OK});
    ASSERT_EQ(c.Sources(), (Names{"data\\", "data.grf"}));
    const GrfArchive* loose = c.client->sources[0].archive;
    Names names;
    for (uint32_t r = 0; r < loose->count; ++r) names.push_back(loose->entries[r].name);
    // Sorted by name, whatever order the system listed them in.
    EXPECT_EQ(names, (Names{"data\\a.txt", "data\\one\\two\\three\\four\\deep.txt",
                            "data\\\xB8\xF3\xBD\xBA\xC5\xCD\\x.spr"}));
    EXPECT_EQ(c.client->sources[0].skipped, 1u);
    EXPECT_EQ(c.Describe("data\\a.txt"), "data\\: loose a [hidden: data.grf]");
    EXPECT_EQ(c.Describe("data\\ONE\\two\\three\\four\\deep.txt"), "data\\: deep");
}

TEST(Client, ReadsTheUsualArchivesWithoutDataIni) {
    ClientOnDisk c;
    c.Archive("SDATA.GRF", 0x200, Texts({{"data\\a.txt", "sdata"}, {"data\\s.txt", "s"}}));
    c.Archive("Data.grf", 0x200, Texts({{"data\\a.txt", "data"}}));
    c.Archive("other.grf", 0x200, Texts({{"data\\a.txt", "other"}}));
    ASSERT_EQ(c.Open(0), uint32_t{GRF_OK});
    EXPECT_EQ(c.Sources(), (Names{"Data.grf", "SDATA.GRF"}));
    EXPECT_EQ(c.Describe("data\\a.txt"), "Data.grf: data [hidden: SDATA.GRF]");

    // An archive added by the caller, at the top.
    std::wstring other = c.dir.Join(L"other.grf");
    ASSERT_EQ(GrfAddClientArchive(c.client, other.c_str(), 0), uint32_t{GRF_OK});
    EXPECT_EQ(c.Describe("data\\a.txt"), "other.grf: other [hidden: Data.grf, SDATA.GRF]");
    std::wstring missing = c.dir.Join(L"missing.grf");
    EXPECT_EQ(GrfAddClientArchive(c.client, missing.c_str(), 0), uint32_t{GRF_ERROR_NOT_FOUND});
    EXPECT_EQ(c.client->sourceCount, 3u);
}

TEST(Client, FoldersWithoutArchivesAndArchivesThatDoNotOpen) {
    ClientOnDisk empty;
    EXPECT_EQ(empty.Open(GRF_CLIENT_LOOSE), uint32_t{GRF_ERROR_NO_CLIENT});
    EXPECT_EQ(empty.client, nullptr);
    std::wstring nowhere = empty.dir.Join(L"nowhere");
    EXPECT_EQ(GrfOpenClient(nowhere.c_str(), 0, nullptr), nullptr);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});

    // A loose folder alone is a client.
    empty.File("data/a.txt", "a");
    ASSERT_EQ(empty.Open(GRF_CLIENT_LOOSE), uint32_t{GRF_OK});
    EXPECT_EQ(empty.Describe("data\\a.txt"), "data\\: a");

    // DATA.INI names one archive that is missing (left out) and one that is
    // no archive (kept, with its reason, giving no names).
    ClientOnDisk c;
    c.Archive("data.grf", 0x200, Texts({{"data\\a.txt", "data"}}));
    c.File("broken.grf", "not an archive at all, but long enough for a header's 46 bytes");
    c.File("data.ini", "[data]\n0=missing.grf\n1=broken.grf\n2=data.grf\n");
    ASSERT_EQ(c.Open(0), uint32_t{GRF_OK});
    EXPECT_EQ(c.Sources(), (Names{"broken.grf", "data.grf"}));
    EXPECT_EQ(c.client->sources[0].archive, GRF_NO_ARCHIVE);
    EXPECT_EQ(c.client->sources[0].error, uint32_t{GRF_ERROR_NOT_ARCHIVE});
    EXPECT_EQ(c.Describe("data\\a.txt"), "data.grf: data");
}

TEST(Client, ComparesSecondBytesOfDoubleByteCharactersAsTheyAre) {
    ClientOnDisk c;
    // 0xB0 0x41 and 0xB0 0x61 are two characters; ASCII folding must not
    // make them one.
    c.Archive("data.grf", 0x200,
              Texts({{"data\\\xB0\x41.txt", "upper"}, {"data\\\xB0\x61.txt", "lower"}}));
    c.Archive("rdata.grf", 0x200, Texts({{"DATA\\\xB0\x41.TXT", "rdata"}}));
    ASSERT_EQ(c.Open(0), uint32_t{GRF_OK});
    EXPECT_EQ(c.client->nameCount, 2u);
    EXPECT_EQ(c.Describe("data/\xB0\x41.txt"), "data.grf: upper [hidden: rdata.grf]");
    EXPECT_EQ(c.Describe("data\\\xB0\x61.TXT"), "data.grf: lower");
}

TEST(Client, ArchivesSavedByAnotherProgramAreRefusedThenReadAgain) {
    ClientOnDisk c;
    c.Archive("data.grf", 0x200, Texts({{"data\\a.txt", "old a"}, {"data\\b.txt", "b"}}));
    c.File("data/loose.txt", "loose");
    ASSERT_EQ(c.Open(GRF_CLIENT_LOOSE), uint32_t{GRF_OK});

    // Another program saves a new content for a.txt into data.grf.
    std::wstring path = c.dir.Join(L"data.grf");
    GrfArchive* other = GrfOpen(path.c_str(), nullptr);
    ASSERT_NE(other, GRF_NO_ARCHIVE);
    std::wstring local = c.dir.Join(L"new.txt");
    ASSERT_TRUE(WriteFileBytes(local, BytesOf("new a, longer")));
    GrfFindEntry(other, "data\\a.txt")->state = GRF_ENTRY_DELETED;
    ASSERT_EQ(GrfAddLocalFile(other, L"data\\a.txt", local.c_str()), 0u);
    ASSERT_EQ(GrfSave(other, nullptr), 0);
    GrfClose(&other);
    c.File("data/loose.txt", "loose, longer now");

    EXPECT_EQ(c.Describe("data\\a.txt"), "data.grf: error 35");
    EXPECT_EQ(c.Describe("data\\b.txt"), "data.grf: error 35");
    EXPECT_EQ(c.Describe("data\\loose.txt"), "data\\: error 35");
    ASSERT_EQ(GrfRefreshClient(c.client), uint32_t{GRF_OK});
    EXPECT_EQ(c.Describe("data\\a.txt"), "data.grf: new a, longer");
    EXPECT_EQ(c.Describe("data\\b.txt"), "data.grf: b");
    EXPECT_EQ(c.Describe("data\\loose.txt"), "data\\: loose, longer now");
}

TEST(Client, ExtractsWhatTheClientLoads) {
    ClientOnDisk c;
    BuildClient(&c);
    ASSERT_EQ(c.Open(GRF_CLIENT_LOOSE), uint32_t{GRF_OK});
    TempDir out;
    {
        CurrentDirScope scope(out.path);
        GrfExtractRun* run = GrfBeginExtractRun();
        ASSERT_NE(run, nullptr);
        for (uint32_t n = 0; n < c.client->nameCount; ++n)
            EXPECT_EQ(GrfExtractClientName(run, c.client, n), uint32_t{GRF_OK}) << n;
        GrfEndExtractRun(run);
    }
    std::map<std::string, std::string> expected = {
        {"data/sprite/hero.spr", "server hero"},   {"data/only_server.txt", "s"},
        {"data/texture/wall.bmp", "rdata wall"},   {"data/clientinfo.xml", "loose info"},
        {"data/Texture/floor.bmp", "loose floor"}, {"data/new.txt", "patched info"},
    };
    for (const auto& [file, text] : expected) {
        Bytes bytes;
        EXPECT_TRUE(ReadFileBytes(out.Join(Widen(file)), &bytes)) << file;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text) << file;
    }
    size_t files = 0;
    for (const std::string& item : ListTree(out.path)) files += item.back() != '/';
    EXPECT_EQ(files, expected.size());
}

// Every name read on several threads gives what reading it alone gives,
// loose files and archives alike; a stop ends the batch.
TEST(Client, ReadsNamesOnEveryCore) {
    ClientOnDisk c;
    BuildClient(&c);
    ASSERT_EQ(c.Open(GRF_CLIENT_LOOSE), uint32_t{GRF_OK});
    std::vector<uint32_t> names;
    for (uint32_t round = 0; round < 50; ++round)
        for (uint32_t n = 0; n < c.client->nameCount; ++n) names.push_back(n);
    names.push_back(c.client->nameCount);  // past the end
    struct Seen {
        std::mutex lock;
        std::map<uint32_t, std::set<std::string>> contents;
        std::atomic<uint32_t> calls{0};
    } seen;
    auto reader = [](uint32_t name, const uint8_t* content, uint32_t size, uint32_t code,
                     void* user) {
        auto* s = static_cast<Seen*>(user);
        std::lock_guard<std::mutex> hold(s->lock);
        s->contents[name].insert(code == GRF_OK ? std::string(content, content + size)
                                                : "error " + std::to_string(code));
        ++s->calls;
        return 0;
    };
    uint32_t read = GrfReadClientNames(c.client, names.data(), static_cast<uint32_t>(names.size()),
                                       4, reader, &seen);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_OK});
    EXPECT_EQ(read, names.size() - 1);
    EXPECT_EQ(seen.calls.load(), names.size());
    for (uint32_t n = 0; n < c.client->nameCount; ++n) {
        uint32_t size = 0;
        uint8_t* content = GrfReadClientName(c.client, n, &size);
        ASSERT_NE(content, nullptr);
        EXPECT_EQ(seen.contents[n], std::set<std::string>{std::string(content, content + size)});
        GrfFreeBuffer(content);
    }
    EXPECT_EQ(seen.contents[c.client->nameCount],
              std::set<std::string>{"error " + std::to_string(GRF_ERROR_NOT_FOUND)});

    auto stopper = [](uint32_t, const uint8_t*, uint32_t, uint32_t, void* user) {
        return ++*static_cast<std::atomic<uint32_t>*>(user) >= 3 ? 1 : 0;
    };
    std::atomic<uint32_t> calls{0};
    GrfReadClientNames(c.client, names.data(), static_cast<uint32_t>(names.size()), 2, stopper,
                       &calls);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_CANCELLED});
    EXPECT_LT(calls.load(), 10u);  // each worker ends after the record it holds

    // An empty view given archives by the caller.
    GrfClient* view = GrfNewClient();
    ASSERT_NE(view, nullptr);
    std::wstring rdata = c.dir.Join(L"rdata.grf");
    ASSERT_EQ(GrfAddClientArchive(view, rdata.c_str(), GRF_CLIENT_NONE), uint32_t{GRF_OK});
    EXPECT_EQ(view->nameCount, 2u);
    GrfCloseClient(&view);
}

TEST(Client, DataIniLists) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::wstring> names;
    } cases[] = {
        {"keys order the list",
         "[Data]\n2=c.grf\n0=a.grf\n1=b.grf\n",
         {L"a.grf", L"b.grf", L"c.grf"}},
        {"equal keys keep the file's order",
         "[DATA]\n1=x.grf\n1=y.grf\n0=z.grf",
         {L"z.grf", L"x.grf", L"y.grf"}},
        {"blanks, comments, a UTF-8 mark and CRLF",
         "\xEF\xBB\xBF; top\r\n  [ data ]\r\n[data]\r\n # no\r\n 0 =  a.grf \t\r\n",
         {L"a.grf"}},
        {"other sections and keys that are no number",
         "[Other]\n0=x.grf\n[Data]\nname=y.grf\n0=\n=z.grf\n3=w.grf\n[More]\n1=v.grf",
         {L"w.grf"}},
        {"a section never closed", "[Data\n0=a.grf", {L"a.grf"}},
        {"UTF-8 names", "[Data]\n0=\xED\x95\x9C.grf", {L"\xD55C.grf"}},
        {"code page 949 names", "[Data]\n0=\xC7\xD1.grf", {L"\xD55C.grf"}},
        {"nothing", "", {}},
        {"a NUL inside a name", std::string("[Data]\n0=a\0b.grf\n1=c.grf", 24), {L"c.grf"}},
    };
    for (const Case& k : cases) {
        uint32_t count = 99;
        wchar_t* block = ParseDataIni(k.text.data(), k.text.size(), &count);
        ASSERT_NE(block, nullptr) << k.what;
        std::vector<std::wstring> names;
        for (const wchar_t* at = block; *at; at += wcslen(at) + 1) names.push_back(at);
        EXPECT_EQ(names, k.names) << k.what;
        EXPECT_EQ(count, k.names.size()) << k.what;
        PlatformFree(block);
    }
    TempDir dir;
    EXPECT_EQ(GrfReadDataIni(dir.Join(L"none.ini").c_str(), nullptr), nullptr);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_NOT_FOUND});
}

}  // namespace
