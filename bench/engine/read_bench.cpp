// read_bench -- reading and extracting a mixed archive of 20,000 entries
// (about 475 MB of content) beside the bare zlib work: every entry read in
// one GrfReadRecords batch (aim: at most 0.45x positioned reads + zlib's
// uncompress per entry; one GrfReadRecord per entry printed beside), and
// every entry extracted by GrfExtractRecords with 1, 2, 4 and 8 threads
// (aims: 1 thread within 1.1x the bare single-threaded work of inflating,
// creating and writing each file; 2 threads on 2 cores at least 1.7x faster
// than 1).
// usage: read_bench [entries]
#include <fcntl.h>
#include <grf.h>
#include <platform.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

// Content that deflates about as well as game data: runs and noise.
Bytes GameLikeContent(size_t size, uint64_t seed) {
    Bytes noise = RandomBytes(size, seed);
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) out[i] = (i / 64) % 3 == 0 ? noise[i] : uint8_t(i / 256);
    return out;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Fail(const char* what) {
    fprintf(stderr, "%s failed (code %u)\n", what, GrfLastError);
    exit(1);
}

// One in a hundred entries of about 1 MB, the rest of 2 to 30 KB: stored
// forms shared between entries, so building stays quick.
std::wstring BuildMixed(const TempDir& dir, uint32_t entries, uint64_t* contentBytes) {
    std::vector<Stored> small, large;
    for (int i = 0; i < 64; ++i)
        small.push_back(StoreContent(0x200, "x", GameLikeContent(2048 + 450 * i, i)));
    for (int i = 0; i < 4; ++i)
        large.push_back(StoreContent(0x200, "x", GameLikeContent((1 << 20) - 4096 * i, 100 + i)));
    std::wstring path = dir.Join(L"mixed.grf");
    ArchiveFileWriter writer;
    if (!writer.Open(path, 0x200)) Fail("creating the archive");
    *contentBytes = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        const Stored& form = i % 100 == 0 ? large[(i / 100) % 4] : small[(i * 7) % 64];
        RawRecord r = form.record;
        char name[64];
        snprintf(name, sizeof name, "data\\dir%03u\\entry%05u.bin", i / 200, i);
        r.name = name;
        *contentBytes += r.realSize;
        if (!writer.Add(r, form.bytes.data(), form.bytes.size())) Fail("writing the archive");
    }
    if (!writer.Finish()) Fail("finishing the archive");
    return path;
}

// The bare read: one descriptor, pread and uncompress per entry.
void BareRead(const std::wstring& path, const GrfArchive* archive) {
    int fd = open(Narrow(path).c_str(), O_RDONLY);
    if (fd < 0) Fail("opening the archive");
    std::vector<uint8_t> stored, content;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& e = archive->entries[i];
        stored.resize(e.alignedSize);
        content.resize(size_t{e.realSize} + 1024);
        if (pread(fd, stored.data(), e.alignedSize, static_cast<off_t>(e.position)) !=
            static_cast<ssize_t>(e.alignedSize))
            Fail("pread");
        uLongf size = static_cast<uLongf>(content.size());
        if (uncompress(content.data(), &size, stored.data(), e.compressedSize) != Z_OK)
            Fail("uncompress");
    }
    close(fd);
}

// One call per record: the archive opened for each, as single reads are.
void EngineReadOneByOne(GrfArchive* archive) {
    for (uint32_t i = 0; i < archive->count; ++i) {
        uint32_t size = 0;
        void* content = GrfReadRecord(archive, i, &size);
        if (!content) Fail("GrfReadRecord");
        GrfFreeBuffer(content);
    }
}

// One batch: the archive opened once, buffers reused.
void EngineRead(GrfArchive* archive) {
    std::vector<uint32_t> indices(archive->count);
    for (uint32_t i = 0; i < archive->count; ++i) indices[i] = i;
    auto reader = [](uint32_t, const uint8_t*, uint32_t, uint32_t code, void*) {
        if (code != GRF_OK) Fail("GrfReadRecords");
        return 0;
    };
    if (GrfReadRecords(archive, indices.data(), archive->count, reader, nullptr) != archive->count)
        Fail("GrfReadRecords");
}

// The bare extraction: the bare read, then each file created (folders on
// demand) and written once. Workers take entries from a shared counter, so
// the bare work shows what this machine and file system give on more cores.
void BareExtract(const std::wstring& path, const GrfArchive* archive, uint32_t threads = 1) {
    std::atomic<uint32_t> next{0};
    auto work = [&] {
        int fd = open(Narrow(path).c_str(), O_RDONLY);
        std::vector<uint8_t> stored, content;
        for (uint32_t i; (i = next.fetch_add(1)) < archive->count;) {
            const GrfEntry& e = archive->entries[i];
            stored.resize(e.alignedSize);
            content.resize(size_t{e.realSize} + 1024);
            if (pread(fd, stored.data(), e.alignedSize, static_cast<off_t>(e.position)) < 0)
                Fail("pread");
            uLongf size = static_cast<uLongf>(content.size());
            uncompress(content.data(), &size, stored.data(), e.compressedSize);
            std::wstring name = Widen(e.name);
            PlatformFile* file = PlatformCreateAlways(name.c_str());
            if (!file) {
                CreatePathDirectories(name.data());
                file = PlatformCreateAlways(name.c_str());
            }
            if (!file || !PlatformWrite(file, content.data(), static_cast<uint32_t>(size)))
                Fail("bare write");
            PlatformClose(file);
        }
        close(fd);
    };
    std::vector<std::thread> helpers;
    for (uint32_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

void EngineExtract(GrfArchive* archive, uint32_t threads) {
    std::vector<uint32_t> indices(archive->count), results(archive->count);
    for (uint32_t i = 0; i < archive->count; ++i) indices[i] = i;
    if (GrfExtractRecords(archive, indices.data(), archive->count, threads, nullptr,
                          results.data()) != archive->count)
        Fail("GrfExtractRecords");
}

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double seconds = 1e300;  // wall clock
    double cpu = 0;          // processor time of every thread, same run
};

// Best of runs, each in a folder of its own (nothing deleted meanwhile, so
// no side pays for the other's deletions).
Timing TimeExtraction(const TempDir& dir, const std::function<void()>& work, int runs) {
    static int folders = 0;
    Timing best;
    for (int run = 0; run < runs; ++run) {
        std::wstring out = dir.Join(L"out" + std::to_wstring(folders++));
        MakeDirectory(out);
        CurrentDirScope here(out);
        double cpu = CpuSeconds();
        auto start = std::chrono::steady_clock::now();
        work();
        double took = Seconds(start);
        if (took < best.seconds) best = {took, CpuSeconds() - cpu};
    }
    return best;
}

// Wall clock beside processor time: a thread waiting for the disk or for a
// lock in the kernel counts in the first only.
void PrintBusy(const Timing& t) {
    printf("  processor time %.3f s of %.3f s wall: %.2f cores busy\n", t.cpu, t.seconds,
           t.cpu / t.seconds);
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t entries = argc > 1 ? static_cast<uint32_t>(atoi(argv[1])) : 20000;
    TempDir dir;
    uint64_t contentBytes = 0;
    std::wstring path = BuildMixed(dir, entries, &contentBytes);
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) Fail("GrfOpen");
    printf("%u entries, %.0f MB of content\n", entries, contentBytes / 1048576.0);

    double bare = BestSeconds([&] { BareRead(path, archive); });
    double engine = BestSeconds([&] { EngineRead(archive); });
    PrintBeside("read every entry (GrfReadRecords)", engine, bare, "at most 0.45x");
    double single = BestSeconds([&] { EngineReadOneByOne(archive); });
    PrintBeside("  one GrfReadRecord per entry", single, bare, "for comparison");

    Timing bareExtract = TimeExtraction(
        dir, [&] { BareExtract(path, archive); }, 2);
    Timing bareTwo = TimeExtraction(
        dir, [&] { BareExtract(path, archive, 2); }, 2);
    printf(
        "bare extraction, 1 thread %.3f s, 2 threads %.3f s: %.2fx faster "
        "(what this machine's disk and file system allow)\n",
        bareExtract.seconds, bareTwo.seconds, bareExtract.seconds / bareTwo.seconds);
    PrintBusy(bareExtract);
    PrintBusy(bareTwo);
    double one = 0;
    unsigned cores = std::thread::hardware_concurrency();
    for (uint32_t threads : {1u, 2u, 4u, 8u}) {
        Timing took = TimeExtraction(
            dir, [&] { EngineExtract(archive, threads); }, 2);
        char label[96];
        snprintf(label, sizeof label, "extract every entry, %u thread%s%s", threads,
                 threads == 1 ? "" : "s", threads > cores ? " (more than cores)" : "");
        if (threads == 1) {
            one = took.seconds;
            PrintBeside(label, took.seconds, bareExtract.seconds, "within 1.1x");
        } else {
            PrintBeside(label, took.seconds, bareExtract.seconds, "scaling below");
            printf("  %u threads: %.2fx faster than 1 (aim on 2 cores: at least 1.7x; %u cores)\n",
                   threads, one / took.seconds, cores);
        }
        PrintBusy(took);
    }
    GrfClose(&archive);
    return 0;
}
