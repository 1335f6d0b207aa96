// patch_bench -- writing a patch file from an archive's table: every
// record read, inflated and deflated again, with one worker and with one
// per core, beside the bare work of deflating the same contents with zlib
// on as many threads (the reading and inflating left out). Aims: each
// within 1.3 times its bare work.
// usage: patch_bench [megabytes]   (default 64, of content)
#include <grf.h>
#include <platform.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

// Content that deflates as game data does, a few times over: words of a
// small vocabulary with noise between them.
Bytes ContentOf(uint32_t i, uint32_t size) {
    static const char* kWords[] = {"sprite", "texture",  "\xB9\xE8\xB0\xE6", "model",
                                   "effect", "0.5 1.0 ", "monster",          "map",
                                   "\r\n",   "{ }"};
    Bytes noise = RandomBytes(size / 16 + 1, i);
    Bytes content;
    content.reserve(size);
    for (uint32_t k = 0; content.size() < size; ++k) {
        const char* word = kWords[noise[k % noise.size()] % 10];
        content.insert(content.end(), word, word + strlen(word));
        if (k % 7 == 0) content.push_back(noise[(k * 31) % noise.size()]);
    }
    content.resize(size);
    return content;
}

uint32_t EntrySize(uint32_t i) {
    if (i % 53 == 0) return 2000000 + (i * 7919u) % 1000000;
    return 3000 + (i * 104729u) % 90000;
}

// The bare work: each content deflated at the writer's level, workers
// taking contents from a shared counter.
void BareDeflate(const std::vector<Content>& contents, unsigned threads) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        Bytes packed;
        for (size_t i; (i = next.fetch_add(1)) < contents.size();) {
            const Content& c = contents[i];
            uLongf size = compressBound(static_cast<uLong>(c.data.size()));
            packed.resize(size);
            compress2(packed.data(), &size, c.data.data(), static_cast<uLong>(c.data.size()),
                      static_cast<int>(GrfRepackLevel));
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t megabytes = argc > 1 ? strtoull(argv[1], nullptr, 10) : 64;
    std::vector<Content> contents;
    uint64_t total = 0;
    for (uint32_t i = 0; total < (megabytes << 20); ++i) {
        char name[64];
        snprintf(name, sizeof name, "data\\texture\\dir%03u\\entry%06u.txt", i / 200, i);
        contents.push_back({name, ContentOf(i, EntrySize(i)), 1});
        total += contents.back().data.size();
    }
    TempDir dir;
    std::wstring source = dir.Join(L"source.grf");
    if (!WriteFileBytes(source, BuildArchive(0x200, contents))) {
        fprintf(stderr, "could not write the source archive\n");
        return 1;
    }
    GrfArchive* archive = GrfOpen(source.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) {
        fprintf(stderr, "open failed: %u\n", GrfLastError);
        return 1;
    }
    unsigned cores = std::thread::hardware_concurrency();
    printf("archive: %.0f MB of content in %u entries; %u cores\n", total / 1048576.0,
           archive->count, cores);

    if (cores == 0) cores = 1;
    double bareOne = BestSeconds([&] { BareDeflate(contents, 1); });
    double bareAll = BestSeconds([&] { BareDeflate(contents, cores); });
    contents.clear();
    std::wstring out = dir.Join(L"out.thor");
    auto write = [&](uint32_t threads) {
        return BestSeconds([&] {
            GrfRepackThreads = threads;
            PlatformDeleteFile(out.c_str());
            if (GrfWritePatch(archive, out.c_str(), GRF_PATCH_MERGE, "data.grf", 0, nullptr) != 0) {
                fprintf(stderr, "write failed: %u\n", GrfLastError);
                exit(1);
            }
        });
    };
    PrintBeside("patch written, 1 worker", write(1), "bare (zlib deflate, 1 thread)", bareOne, 1.3);
    char baseline[64];
    snprintf(baseline, sizeof baseline, "bare (zlib deflate, %u threads)", cores);
    PrintBeside("patch written, every core", write(0), baseline, bareAll, 1.3);
    GrfClose(&archive);
    return BenchExitCode();
}
