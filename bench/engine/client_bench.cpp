// client_bench -- GrfOpenClient of a client folder of three 0x200 archives
// (170,000, 60,000 and 5,000 entries, with names shared between them as a
// server's archive and rdata.grf override data.grf) and a loose folder of
// 20,000 files in 8,000 folders, beside the bare work of the same job on
// the same two threads: the three GrfOpen on one, a walk of the loose
// folder (openat, getdents64, fstatat: the least any program does to learn
// its files and sizes) on the other (aim: within 1.3x). Also for scale:
// the client without its loose folder, and both beside the three GrfOpen
// alone. And the view's own table per name beyond the sources' tables
// (aim: at most 64 bytes). Prints MISSED and ends with 1 when an aim is
// missed.
#include <dirent.h>
#include <fcntl.h>
#include <grf.h>
#include <grf_format.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include <string>
#include <vector>

#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

constexpr uint32_t kData = 170000;
constexpr uint32_t kRdata = 60000;
constexpr uint32_t kServer = 5000;
constexpr uint32_t kLoose = 20000;

// Name i of a client: folders and lengths as real ones have. Archives take
// ranges of these numbers, so ranges that overlap share names.
std::string NameOf(uint32_t i, bool upper = false) {
    static const char* const kFolders[] = {"data\\texture\\", "data\\sprite\\", "data\\model\\",
                                           "data\\wav\\", "data\\palette\\"};
    static const char* const kKorean[] = {"\xB8\xF3\xBD\xBA\xC5\xCD", "\xC0\xCC\xC6\xE5\xC6\xAE",
                                          "\xB9\xE8\xB0\xE6", "\xBE\xC6\xC0\xCC\xC5\xDB"};
    std::string name = kFolders[i % 5];
    name += kKorean[(i / 5) % 4];
    name += "\\group_" + std::to_string(i / 200) + "\\item_" + std::to_string(i) + ".spr";
    if (upper)
        for (char& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return name;
}

// A 0x200 archive of the names first .. first + count (its records point
// nowhere: only the open is measured).
void WriteArchive(const std::wstring& path, uint32_t first, uint32_t count) {
    std::vector<RawRecord> records(count);
    for (uint32_t i = 0; i < count; ++i) {
        records[i].name = NameOf(first + i, i % 7 == 0);
        records[i].compressedSize = 100;
        records[i].alignedSize = 104;
        records[i].realSize = 300;
        records[i].offset = i * 8;
    }
    Bytes archive = BuildHeader(0, 0, count + grf::kCountBias, 0x200);
    Bytes directory = BuildV2Directory(BuildV2Table(records), 9);
    archive.insert(archive.end(), directory.begin(), directory.end());
    if (!WriteFileBytes(path, archive)) abort();
}

// The loose folder: kLoose small files under data\, half of them names the
// archives hold too.
void WriteLoose(const std::wstring& client) {
    std::string root = Narrow(client) + "/data";
    for (uint32_t i = 0; i < kLoose; ++i) {
        uint32_t number = i < kLoose / 2 ? i * 7 : kData + kRdata + i;
        // Named as extraction writes files: UTF-8.
        wchar_t* wide = GrfFileName(NameOf(number).c_str());
        std::string name = Narrow(wide).substr(5);
        GrfFreeBuffer(wide);
        std::string path = root;
        mkdir(root.c_str(), 0777);
        for (size_t at = 0, next; (next = name.find('\\', at)) != std::string::npos;
             at = next + 1) {
            path += "/" + name.substr(at, next - at);
            mkdir(path.c_str(), 0777);
        }
        path += "/" + name.substr(name.rfind('\\') + 1);
        FILE* f = fopen(path.c_str(), "wb");
        if (!f || fputs("x", f) < 0) abort();
        fclose(f);
    }
}

// The bare walk: every file's size under the folder fd, folders opened
// where they were listed.
uint64_t BareWalk(int fd) {
    char buffer[32768];
    uint64_t bytes = 0;
    for (ssize_t got; (got = getdents64(fd, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            const auto* item = reinterpret_cast<const dirent64*>(buffer + at);
            at += item->d_reclen;
            const char* n = item->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
            if (item->d_type == DT_DIR) {
                int inner = openat(fd, n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (inner < 0) abort();
                bytes += BareWalk(inner);
                close(inner);
            } else {
                struct stat st;
                if (fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0) abort();
                bytes += static_cast<uint64_t>(st.st_size);
            }
        }
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    TempDir temp;
    std::wstring dir = argc > 1 ? Widen(argv[1]) : temp.path;
    // data.grf the names 0.., rdata.grf a range that overlaps its end, the
    // server's archive names of both.
    WriteArchive(dir + L"/data.grf", 0, kData);
    WriteArchive(dir + L"/rdata.grf", kData - kRdata / 3, kRdata);
    WriteArchive(dir + L"/myserver.grf", kData - kServer / 2, kServer);
    WriteFileBytes(dir + L"/DATA.INI",
                   BytesOf("[Data]\r\n0=myserver.grf\r\n1=rdata.grf\r\n2=data.grf\r\n"));
    WriteLoose(dir);
    printf("client: archives of %u, %u and %u entries, a loose folder of %u files\n", kData, kRdata,
           kServer, kLoose);

    const wchar_t* const kArchives[] = {L"/myserver.grf", L"/rdata.grf", L"/data.grf"};
    double bare = BestSeconds(
        [&] {
            for (const wchar_t* name : kArchives) {
                GrfArchive* archive = GrfOpen((dir + name).c_str(), nullptr);
                if (archive == GRF_NO_ARCHIVE) abort();
                GrfClose(&archive);
            }
        },
        5);
    std::string looseFolder = Narrow(dir) + "/data";
    double bareWithWalk = BestSeconds(
        [&] {
            std::thread walker([&] {
                int fd = open(looseFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (fd < 0 || BareWalk(fd) != kLoose) abort();
                close(fd);
            });
            for (const wchar_t* name : kArchives) {
                GrfArchive* archive = GrfOpen((dir + name).c_str(), nullptr);
                if (archive == GRF_NO_ARCHIVE) abort();
                GrfClose(&archive);
            }
            walker.join();
        },
        5);
    double open = BestSeconds(
        [&] {
            GrfClient* client = GrfOpenClient(dir.c_str(), GRF_CLIENT_LOOSE, nullptr);
            if (!client) abort();
            GrfCloseClient(&client);
        },
        5);
    double archivesOnly = BestSeconds(
        [&] {
            GrfClient* client = GrfOpenClient(dir.c_str(), 0, nullptr);
            if (!client) abort();
            GrfCloseClient(&client);
        },
        5);
    const char* kOpens = "the three GrfOpen";
    PrintBeside("GrfOpenClient with the loose folder", open,
                "the three GrfOpen beside a bare walk of the folder", bareWithWalk, 1.3);
    PrintBeside("GrfOpenClient with the loose folder", open, kOpens, bare, 0);
    PrintBeside("GrfOpenClient, no loose folder", archivesOnly, kOpens, bare, 0);

    GrfClient* client = GrfOpenClient(dir.c_str(), GRF_CLIENT_LOOSE, nullptr);
    if (!client) abort();
    double perName = static_cast<double>(GrfClientTableBytes(client)) / client->nameCount;
    printf("  %u names, %u hidden copies; the view's table %.1f MB\n", client->nameCount,
           client->hiddenCount, GrfClientTableBytes(client) / 1e6);
    char figure[64];
    snprintf(figure, sizeof figure, "%.1f bytes per name", perName);
    PrintAim("the view's table beyond its sources' tables", figure, "at most 64", perName <= 64);
    const GrfArchive* loose = client->sources[0].archive;
    printf("  the loose folder's own table: %u records, %.1f MB (as an archive's table)\n",
           loose->count, static_cast<double>(loose->capacity) * sizeof(GrfEntry) / 1e6);
    for (uint32_t s = 0; s < client->sourceCount; ++s)
        printf("  source %u: %u names, overrides %u, %u hidden\n", s, client->sources[s].names,
               client->sources[s].overrides, client->sources[s].hidden);
    GrfCloseClient(&client);
    return BenchExitCode();
}
