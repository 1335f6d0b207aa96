// read_bench -- reading and extracting a mixed archive of 20,000 entries
// (about 475 MB of content) beside the bare work of the same job with the
// same library the engine inflates with (libdeflate) on the same number of
// threads: every entry read in one GrfReadRecords batch (aim: within 1.05x
// positioned reads + libdeflate per entry; one GrfReadRecord per entry shown
// beside), and every entry extracted by GrfExtractRecords with 1 and 2
// threads (aims: within 1.1x the bare work of inflating, creating and
// writing each file on as many threads), 4 and 8 shown for scale.
// usage: read_bench [entries]
#include <fcntl.h>
#include <grf.h>
#include <libdeflate.h>
#include <platform.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench_archives.h"
#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

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

// The bare decoding: libdeflate's whole-buffer inflate into a buffer of the
// entry's size, one decompressor per thread.
void BareInflate(libdeflate_decompressor* d, const std::vector<uint8_t>& stored, const GrfEntry& e,
                 std::vector<uint8_t>* content) {
    content->resize(size_t{e.realSize} + 1);
    size_t got = 0;
    if (libdeflate_zlib_decompress(d, stored.data(), e.compressedSize, content->data(),
                                   content->size(), &got) != LIBDEFLATE_SUCCESS ||
        got != e.realSize)
        Fail("libdeflate_zlib_decompress");
}

// The bare read: one descriptor, pread and libdeflate per entry.
void BareRead(const std::wstring& path, const GrfArchive* archive) {
    int fd = open(Narrow(path).c_str(), O_RDONLY);
    if (fd < 0) Fail("opening the archive");
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::vector<uint8_t> stored, content;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& e = archive->entries[i];
        stored.resize(e.alignedSize);
        if (pread(fd, stored.data(), e.alignedSize, static_cast<off_t>(e.position)) !=
            static_cast<ssize_t>(e.alignedSize))
            Fail("pread");
        BareInflate(d, stored, e, &content);
    }
    libdeflate_free_decompressor(d);
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
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        std::vector<uint8_t> stored, content;
        for (uint32_t i; (i = next.fetch_add(1)) < archive->count;) {
            const GrfEntry& e = archive->entries[i];
            stored.resize(e.alignedSize);
            if (pread(fd, stored.data(), e.alignedSize, static_cast<off_t>(e.position)) < 0)
                Fail("pread");
            BareInflate(d, stored, e, &content);
            uint32_t size = e.realSize;
            std::wstring name = Widen(e.name);
            PlatformFile* file = PlatformCreateAlways(name.c_str());
            if (!file) {
                GrfCreatePathDirectories(name.data());
                file = PlatformCreateAlways(name.c_str());
            }
            if (!file || !PlatformWrite(file, content.data(), size)) Fail("bare write");
            PlatformClose(file);
        }
        libdeflate_free_decompressor(d);
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

    const char* bareRead = "bare (pread + libdeflate, 1 thread)";
    double bare = BestSeconds([&] { BareRead(path, archive); });
    double engine = BestSeconds([&] { EngineRead(archive); });
    PrintBeside("read every entry (GrfReadRecords)", engine, bareRead, bare, 1.05);
    double single = BestSeconds([&] { EngineReadOneByOne(archive); });
    PrintBeside("  one GrfReadRecord per entry", single, bareRead, bare, 0);

    unsigned cores = std::thread::hardware_concurrency();
    for (uint32_t threads : {1u, 2u, 4u, 8u}) {
        // Past two threads the bare side stays at two: shown for scale only.
        uint32_t bareThreads = threads < 2 ? threads : 2;
        Timing bareTook = TimeExtraction(
            dir, [&] { BareExtract(path, archive, bareThreads); }, 2);
        Timing took = TimeExtraction(
            dir, [&] { EngineExtract(archive, threads); }, 2);
        char label[96], baseline[96];
        snprintf(label, sizeof label, "extract every entry, %u thread%s%s", threads,
                 threads == 1 ? "" : "s", threads > cores ? " (more than cores)" : "");
        snprintf(baseline, sizeof baseline, "bare (libdeflate + create + write, %u thread%s)",
                 bareThreads, bareThreads == 1 ? "" : "s");
        PrintBeside(label, took.seconds, baseline, bareTook.seconds, threads <= 2 ? 1.1 : 0);
        PrintBusy(bareTook);
        PrintBusy(took);
    }
    GrfClose(&archive);
    return BenchExitCode();
}
