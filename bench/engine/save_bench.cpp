// save_bench -- adding 10 files of 1 MB to a 0x200 archive of 140,000
// entries (about 1 GB) and saving in place, beside the bare work of the same
// job: deflating those files with zlib at the same level on one thread (the
// save is given one worker too), deflating the new directory with libdeflate
// at the level the save uses, writing both to a new file and flushing it.
// Also a repack of the same change to a new file, which rewrites every
// record. Aims: the save within 1.5x the bare work, and at least 10 times
// faster than the repack. One run each: a save changes the archive it
// measures.
// usage: save_bench [entries]   (default 140000, the count the aims are stated at)
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

#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

constexpr size_t kPoolSize = 8 << 20;
constexpr int kFiles = 10;
constexpr size_t kFileSize = 1 << 20;
constexpr int kSaveTableLevel = 6;  // libdeflate's level for a save's directory

// Sizes as a client's archive has them: mostly small, some of 100-500 KB,
// a few of 4 MB; 140,000 of them make about 1 GB.
uint32_t EntrySize(uint32_t i) {
    if (i % 997 == 0) return (4 << 20) - 8 * (i % 5);
    if (i % 101 == 0) return 100000 + (i * 7919u) % 400000;
    return 1000 + (i * 104729u) % 8000;
}

uint64_t BuildSource(const std::wstring& path, uint32_t entries, const Bytes& pool) {
    ArchiveFileWriter writer;
    if (!writer.Open(path, 0x200)) return 0;
    uint64_t written = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        uint32_t size = EntrySize(i);
        RawRecord r;
        char name[64];
        snprintf(name, sizeof name, "data\\texture\\dir%03u\\entry%06u.bmp", i / 500, i);
        r.name = name;
        r.alignedSize = size;
        r.compressedSize = size - i % 8;
        r.realSize = r.compressedSize * 3;
        writer.Add(r, pool.data() + (i * 4099u) % (kPoolSize - size), size);
        written += size;
    }
    writer.Finish(9);
    return written;
}

// Files as a game's data files tend to be: half text-like, half noise.
Bytes FileContent(int i) {
    Bytes content = RandomBytes(kFileSize / 2, 100 + i);
    std::string text;
    while (text.size() < kFileSize / 2)
        text += "data\\sprite\\npc\\" + std::to_string(text.size() % 977) + ".spr 1 2 3\n";
    text.resize(kFileSize / 2);
    content.insert(content.end(), text.begin(), text.end());
    return content;
}

double Seconds(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The bare work: deflate the files at the repack level on one thread,
// deflate a 0x200 table of every record at the save's level, write it all to
// a new file, flush.
void BareWork(const std::vector<Bytes>& files, const GrfArchive* archive, const std::wstring& out) {
    PlatformFile* file = PlatformCreateAlways(out.c_str());
    for (const Bytes& content : files) {
        uLongf size = compressBound(content.size());
        Bytes packed(size);
        compress2(packed.data(), &size, content.data(), content.size(), GrfRepackLevel);
        PlatformWrite(file, packed.data(), static_cast<uint32_t>(size));
    }
    Bytes table;
    for (uint32_t i = 0; i < archive->count + kFiles; ++i) {
        const GrfEntry& e = archive->entries[i % archive->count];
        table.insert(table.end(), e.name, e.name + strlen(e.name) + 1);
        uint8_t tail[17] = {};
        memcpy(tail, &e.compressedSize, 4);
        memcpy(tail + 4, &e.alignedSize, 4);
        memcpy(tail + 8, &e.realSize, 4);
        tail[12] = e.type;
        uint32_t offset = static_cast<uint32_t>(e.position - GRF_HEADER_SIZE);
        memcpy(tail + 13, &offset, 4);
        table.insert(table.end(), tail, tail + sizeof tail);
    }
    libdeflate_compressor* c = libdeflate_alloc_compressor(kSaveTableLevel);
    Bytes packed(libdeflate_zlib_compress_bound(c, table.size()));
    size_t size =
        libdeflate_zlib_compress(c, table.data(), table.size(), packed.data(), packed.size());
    libdeflate_free_compressor(c);
    PlatformWrite(file, packed.data(), static_cast<uint32_t>(size));
    PlatformFlush(file);
    PlatformClose(file);
}

GrfArchive* OpenWithFiles(const std::wstring& path, const std::vector<std::wstring>& locals) {
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) {
        fprintf(stderr, "open failed: %u\n", GrfLastError);
        exit(1);
    }
    for (int i = 0; i < kFiles; ++i) {
        std::wstring name = L"data\\added\\file" + std::to_wstring(i) + L".txt";
        GrfAddLocalFile(archive, name.c_str(), locals[i].c_str());
    }
    return archive;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t entries = argc > 1 ? static_cast<uint32_t>(strtoul(argv[1], nullptr, 10)) : 140000;
    TempDir dir;
    std::wstring source = dir.Join(L"source.grf");
    std::wstring repacked = dir.Join(L"repacked.grf");
    std::wstring bare = dir.Join(L"bare.bin");
    uint64_t size = BuildSource(source, entries, RandomBytes(kPoolSize, 1));
    // On the disk before anything is measured: a flush of the archive must
    // not write back what building it left in the system's cache.
    PlatformFile* built = PlatformOpenUpdate(source.c_str());
    PlatformFlush(built);
    PlatformClose(built);
    std::vector<Bytes> files;
    std::vector<std::wstring> locals;
    for (int i = 0; i < kFiles; ++i) {
        files.push_back(FileContent(i));
        locals.push_back(dir.Join(L"file" + std::to_wstring(i) + L".txt"));
        WriteFileBytes(locals.back(), files.back());
    }

    GrfRepackThreads = 1;  // the bare work deflates on one thread too
    GrfArchive* archive = OpenWithFiles(source, locals);
    printf("archive: %.0f MB of stored bytes, %u entries; adding %d files of %zu KB\n",
           size / 1048576.0, archive->count - kFiles, kFiles, kFileSize / 1024);
    double bareSeconds = Seconds([&] { BareWork(files, archive, bare); });

    GrfSetVersion(0x200);
    double repackSeconds = Seconds([&] {
        if (GrfRepack(archive, repacked.c_str(), nullptr) != 0) {
            fprintf(stderr, "repack failed: %u\n", GrfLastError);
            exit(1);
        }
    });
    PlatformDeleteFile(repacked.c_str());
    double saveSeconds = Seconds([&] {
        if (GrfSave(archive, nullptr) != 0) {
            fprintf(stderr, "save failed: %u\n", GrfLastError);
            exit(1);
        }
    });
    PrintBeside("save in place", saveSeconds,
                "bare (zlib files, 1 thread; libdeflate table; write; flush)", bareSeconds, 1.5);
    PrintFaster("save in place beside a repack of the same change", saveSeconds, "repack",
                repackSeconds, 10);
    GrfClose(&archive);
    return BenchExitCode();
}
