// extract_bench -- extracting every entry of a synthetic archive into a fresh
// folder (100,000 small entries; 2,000 entries of 1 MB) on one thread,
// beside the bare work with the library the engine inflates such entries
// with (libdeflate, one thread): inflating the same bytes in memory and
// creating and writing the same files. Aims: within 1.15x for the small
// entries, 1.1x for the 1 MB ones. Then one entry of 3 GB, which the engine
// inflates with zlib in pieces: time beside zlib inflating it whole and
// writing it (aim within 1.5x), and peak memory (aim: under 64 MB whatever
// the entry's size).
// usage: extract_bench [small-count] [large-count] [huge-megabytes]
#include <grf.h>
#include <libdeflate.h>
#include <platform.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench_archives.h"
#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

struct Item {
    std::string name;
    const Stored* stored;  // shared stored forms
};

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The bare work: inflate each entry's bytes in memory (libdeflate, or zlib
// for the huge entry, as the engine does), create its file (directories on
// demand) and write it once.
void BareExtract(const std::vector<Item>& items, bool withZlib = false) {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (const Item& item : items) {
        const RawRecord& r = item.stored->record;
        auto* out = static_cast<uint8_t*>(PlatformAlloc(size_t{r.realSize} + 1));
        size_t size = 0;
        bool inflated;
        if (withZlib) {
            uLongf length = r.realSize + 1;
            inflated =
                uncompress(out, &length, item.stored->bytes.data(), r.compressedSize) == Z_OK;
            size = length;
        } else {
            inflated =
                libdeflate_zlib_decompress(d, item.stored->bytes.data(), r.compressedSize, out,
                                           size_t{r.realSize} + 1, &size) == LIBDEFLATE_SUCCESS;
        }
        std::wstring path = Widen(item.name);
        PlatformFile* file = PlatformCreateAlways(path.c_str());
        if (!file) {
            GrfCreatePathDirectories(path.data());
            file = PlatformCreateAlways(path.c_str());
        }
        if (!inflated || !file || !PlatformWrite(file, out, static_cast<uint32_t>(size))) {
            fprintf(stderr, "bare extraction failed: %s\n", item.name.c_str());
            exit(1);
        }
        PlatformClose(file);
        PlatformFree(out);
    }
    libdeflate_free_decompressor(d);
}

// Every record in one batch on one thread, as Extract All does on one core.
void EngineExtract(GrfArchive* archive) {
    std::vector<uint32_t> indices(archive->count), results(archive->count);
    for (uint32_t i = 0; i < archive->count; ++i) indices[i] = i;
    if (GrfExtractRecords(archive, indices.data(), archive->count, 1, nullptr, results.data()) !=
        archive->count) {
        fprintf(stderr, "extract failed: code %u\n", GrfLastError);
        exit(1);
    }
}

void Measure(const char* label, const std::vector<Item>& items, int runs, double aim) {
    TempDir dir;
    std::wstring path = dir.Join(L"bench.grf");
    ArchiveFileWriter writer;
    writer.Open(path, 0x200);
    for (const Item& item : items) {
        RawRecord r = item.stored->record;
        r.name = item.name;
        writer.Add(r, item.stored->bytes.data(), item.stored->bytes.size());
    }
    writer.Finish();
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) {
        fprintf(stderr, "open failed: %u\n", GrfLastError);
        exit(1);
    }
    // Every run writes into a folder of its own and nothing is deleted
    // until the end: the file system allocates slowly for a while after
    // mass deletions, which would favour whichever side ran first.
    double bare = 1e300, measured = 1e300;
    for (int run = 0; run < runs; ++run) {
        for (int side = 0; side < 2; ++side) {
            bool engine = (run + side) % 2 == 1;
            std::wstring out = dir.Join(L"out" + std::to_wstring(run * 2 + side));
            MakeDirectory(out);
            CurrentDirScope here(out);
            auto start = std::chrono::steady_clock::now();
            if (engine)
                EngineExtract(archive);
            else
                BareExtract(items);
            double took = Seconds(start);
            double& best = engine ? measured : bare;
            if (took < best) best = took;
        }
    }
    PrintBeside(label, measured, "bare (libdeflate + create + write, 1 thread)", bare, aim);
    GrfClose(&archive);
}

// Deflates size bytes of game-like content, made and deflated a megabyte at
// a time so that the content itself is never held whole.
Bytes DeflateHuge(size_t size) {
    z_stream z = {};
    deflateInit(&z, 1);
    Bytes packed;
    Bytes out(1 << 20);
    for (size_t done = 0; done < size;) {
        size_t piece = size - done < (1u << 20) ? size - done : (1u << 20);
        Bytes chunk = GameLikeContent(piece, done);
        done += piece;
        z.next_in = chunk.data();
        z.avail_in = static_cast<uInt>(piece);
        int flush = done == size ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, flush);
            packed.insert(packed.end(), out.data(), out.data() + (out.size() - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return packed;
}

void MeasureHuge(uint32_t megabytes) {
    TempDir dir;
    std::wstring path = dir.Join(L"huge.grf");
    RawRecord record;
    record.name = "data\\huge.bin";
    record.realSize = megabytes << 20;
    {
        Bytes packed = DeflateHuge(record.realSize);
        record.compressedSize = static_cast<uint32_t>(packed.size());
        record.alignedSize = GrfAlign8(record.compressedSize);
        packed.resize(record.alignedSize, 0);
        ArchiveFileWriter writer;
        if (!writer.Open(path, 0x200) || !writer.Add(record, packed.data(), packed.size()) ||
            !writer.Finish()) {
            fprintf(stderr, "writing the huge archive failed\n");
            exit(1);
        }
    }
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) {
        fprintf(stderr, "open failed: %u\n", GrfLastError);
        exit(1);
    }
    Stored stored;
    stored.record = record;
    std::vector<Item> items = {{record.name, &stored}};
    double seconds[2];
    size_t bareMemory = 0;
    for (int engine = 0; engine < 2; ++engine) {
        std::wstring out = dir.Join(engine ? L"engine" : L"bare");
        MakeDirectory(out);
        CurrentDirScope here(out);
        if (!engine) {
            if (!ReadFileBytes(path, &stored.bytes)) exit(1);
            stored.bytes.erase(stored.bytes.begin(), stored.bytes.begin() + GRF_HEADER_SIZE);
        }
        ResetPeakResident();
        size_t before = ResidentBytes();
        auto start = std::chrono::steady_clock::now();
        if (engine)
            EngineExtract(archive);
        else
            BareExtract(items, true);
        seconds[engine] = Seconds(start);
        if (!engine) bareMemory = PeakResidentBytes() - before;
        Bytes().swap(stored.bytes);
    }
    // The engine's memory in a fresh process: memory this one freed before
    // would hide it.
    std::wstring alone = dir.Join(L"alone");
    MakeDirectory(alone);
    std::string printed;
    size_t engineMemory = 0;
    bool measured =
        RunSelf({"extract_bench", "--extract-alone", Narrow(path), Narrow(alone)}, &printed) &&
        sscanf(printed.c_str(), "%zu", &engineMemory) == 1;
    char label[96];
    snprintf(label, sizeof label, "extract one entry of %u MB", megabytes);
    PrintBeside(label, seconds[1], "bare (zlib whole + create + write)", seconds[0], 1.5);
    char figure[96];
    snprintf(figure, sizeof figure, "%.1f MB (bare, holding it whole: %.1f MB)",
             engineMemory / 1048576.0, bareMemory / 1048576.0);
    if (measured)
        PrintAim("  peak memory, in a fresh process", figure, "under 64 MB",
                 engineMemory < (size_t{64} << 20));
    else
        printf("  peak memory: not measured (no fresh process or no /proc)\n");
    GrfClose(&archive);
}

// In a fresh process: extracts record 0 of the archive at path into folder
// and prints the peak memory above what the process held before.
int ExtractAlone(const char* path, const char* folder) {
    size_t before = ResidentBytes();
    GrfArchive* archive = GrfOpen(Widen(path).c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) return 1;
    bool ok;
    {
        CurrentDirScope here(Widen(folder));
        ok = GrfExtractRecord(archive, 0) == GRF_OK;
    }
    GrfClose(&archive);
    printf("%zu\n", PeakResidentBytes() - before);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--extract-alone") == 0) return ExtractAlone(argv[2], argv[3]);
    uint32_t smallCount = argc > 1 ? static_cast<uint32_t>(atoi(argv[1])) : 100000;
    uint32_t largeCount = argc > 2 ? static_cast<uint32_t>(atoi(argv[2])) : 2000;

    std::vector<Stored> smallForms;
    for (int i = 0; i < 64; ++i)
        smallForms.push_back(StoreContent(0x200, "x", GameLikeContent(500 + 61 * i, i)));
    std::vector<Item> small;
    for (uint32_t i = 0; i < smallCount; ++i) {
        char name[64];
        snprintf(name, sizeof name, "data\\dir%03u\\file%06u.txt", i / 1000, i);
        small.push_back({name, &smallForms[i % smallForms.size()]});
    }
    char label[96];
    snprintf(label, sizeof label, "extract %u small entries", smallCount);
    Measure(label, small, 3, 1.15);

    Stored largeForm = StoreContent(0x200, "x", GameLikeContent(1 << 20, 99));
    std::vector<Item> large;
    for (uint32_t i = 0; i < largeCount; ++i) {
        char name[64];
        snprintf(name, sizeof name, "data\\big%02u\\entry%05u.bin", i / 100, i);
        large.push_back({name, &largeForm});
    }
    snprintf(label, sizeof label, "extract %u entries of 1 MB", largeCount);
    Measure(label, large, 2, 1.1);

    MeasureHuge(argc > 3 ? static_cast<uint32_t>(atoi(argv[3])) : 3072);
    return BenchExitCode();
}
