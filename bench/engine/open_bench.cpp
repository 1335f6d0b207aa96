// open_bench -- GrfOpen of synthetic 500,000-entry archives in the 0x200 and
// 0x103 layouts, beside the bare work in the same run: reading the directory
// bytes and inflating the table with libdeflate, the engine's inflater, into
// buffers that are not zero-filled (0x200), or reading the directory and
// running the name transform once over every name area (0x103); and the
// same records as 0x300, beside their open as 0x200 (aim: within 1.1x),
// with the record's size beside what it was with a 32-bit position. Also
// the table's memory per entry, and the memory of one open alone, measured
// in a fresh process (this program run again with --open-alone). Then
// 2,000,000 entries as 0x200: the open beside the bare read + inflate (aim:
// within 1.0x) and its bytes per entry (aim: at most 150). Last, a 3.9 GB
// 0x1xx file (sparse) whose directory holds no record: its open reads
// through a window of 1 MB, so its memory does not follow the file's size.
#include <grf.h>
#include <grf_format.h>
#include <le_bytes.h>
#include <libdeflate.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

constexpr uint32_t kEntries = 500000;
constexpr uint32_t kManyEntries = 2000000;

// Where the archives are written: a temporary folder, or one given on the
// command line so they stay for profiling.
struct Folder {
    std::wstring path;
    std::wstring Join(const std::wstring& name) const { return path + L"/" + name; }
};

// Names of 30 to 90 bytes in the shapes real archives have: data\ folders,
// Korean components (code page 949), numbered files.
std::vector<std::string> MakeNames(uint32_t count) {
    static const char* const kFolders[] = {"data\\texture\\", "data\\sprite\\", "data\\model\\",
                                           "data\\wav\\", "data\\palette\\"};
    static const char* const kKorean[] = {
        "\xC0\xAF\xC0\xFA\xC0\xCE\xC5\xCD\xC6\xE4\xC0\xCC\xBD\xBA",  // user interface
        "\xB8\xF3\xBD\xBA\xC5\xCD",                                  // monster
        "\xC0\xCC\xC6\xE5\xC6\xAE",                                  // effect
        "\xB9\xE8\xB0\xE6",                                          // background
        "\xBE\xC6\xC0\xCC\xC5\xDB",                                  // item
        "\xC1\xF6\xC7\xFC",                                          // terrain
        "\xB8\xB6\xB9\xFD\xBB\xE7",                                  // mage
    };
    static const char* const kExtensions[] = {".bmp", ".spr", ".act", ".gat", ".rsw", ".wav"};
    std::vector<std::string> names;
    names.reserve(count);
    uint64_t x = 88172645463325252ull;
    for (uint32_t i = 0; i < count; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::string name = kFolders[x % 5];
        name += kKorean[(x >> 8) % 7];
        name += '\\';
        name += kKorean[(x >> 16) % 7];
        name += "_item_" + std::to_string(i);
        int pad = static_cast<int>((x >> 24) % 40);
        name.append(static_cast<size_t>(pad), static_cast<char>('a' + (x >> 32) % 26));
        name += kExtensions[(x >> 40) % 6];
        names.push_back(name.substr(0, 90));
    }
    return names;
}

std::vector<RawRecord> MakeRecords(const std::vector<std::string>& names) {
    std::vector<RawRecord> records(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        records[i].name = names[i];
        records[i].compressedSize = 1000 + static_cast<uint32_t>(i % 5000);
        records[i].alignedSize = GrfAlign8(records[i].compressedSize);
        records[i].realSize = 4000;
        records[i].offset = static_cast<uint32_t>(i) * 8;
    }
    return records;
}

// One decompressor for the process, as the engine keeps its own.
libdeflate_decompressor* Decompressor() {
    static libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    return d;
}

Bytes ReadRange(const std::wstring& path, long offset) {
    Bytes all;
    FILE* file = fopen(Narrow(path).c_str(), "rb");
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, offset, SEEK_SET);
    all.resize(static_cast<size_t>(size - offset));
    if (fread(all.data(), 1, all.size(), file) != all.size()) abort();
    fclose(file);
    return all;
}

// The bare open of a 0x2xx archive: its directory read into memory and
// inflated by libdeflate, neither buffer zero-filled first.
void BareOpenV2(const std::wstring& path, size_t tableSize) {
    FILE* file = fopen(Narrow(path).c_str(), "rb");
    fseek(file, 0, SEEK_END);
    size_t size = static_cast<size_t>(ftell(file)) - GRF_HEADER_SIZE;
    fseek(file, GRF_HEADER_SIZE, SEEK_SET);
    auto* directory = static_cast<uint8_t*>(malloc(size));
    auto* table = static_cast<uint8_t*>(malloc(tableSize));
    size_t got = 0;
    if (fread(directory, 1, size, file) != size ||
        libdeflate_zlib_decompress(Decompressor(), directory + grf::kV2Sizes, size - grf::kV2Sizes,
                                   table, tableSize, &got) != LIBDEFLATE_SUCCESS ||
        got != tableSize)
        abort();
    fclose(file);
    free(directory);
    free(table);
}

void OpenAndClose(const std::wstring& path, uint32_t expected) {
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE || archive->count != expected) {
        fprintf(stderr, "open failed: code %u\n", GrfLastError);
        exit(1);
    }
    GrfClose(&archive);
}

// Resident memory of one open, in bytes: before it, held after it, and the
// peak between.
struct OpenMemory {
    size_t before = 0;
    size_t after = 0;
    size_t peak = 0;
};

// In the fresh process: opens path once and prints its OpenMemory. The
// process's peak starts at its own start, so it is the open's peak.
int OpenAlone(const char* path, uint32_t expected) {
    OpenMemory m;
    m.before = ResidentBytes();
    GrfArchive* archive = GrfOpen(Widen(path).c_str(), nullptr);
    m.after = ResidentBytes();
    m.peak = PeakResidentBytes();
    if (archive == GRF_NO_ARCHIVE || archive->count != expected) return 1;
    printf("%zu %zu %zu\n", m.before, m.after, m.peak);
    GrfClose(&archive);
    return 0;
}

// Runs this program again with --open-alone and reads what it prints:
// nothing this process built beforehand counts towards the figures.
bool MeasureOpenAlone(const std::wstring& path, uint32_t expected, OpenMemory* m) {
    std::string printed;
    if (!RunSelf({"open_bench", "--open-alone", Narrow(path), std::to_string(expected)}, &printed))
        return false;
    return sscanf(printed.c_str(), "%zu %zu %zu", &m->before, &m->after, &m->peak) == 3;
}

// The table's size per entry, and the open alone: its peak should be no
// more than the directory's bytes it reads into memory (directoryBytes) and
// what it keeps (the table and its index by name).
void ReportMemory(const std::wstring& path, uint64_t directoryBytes) {
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    double record = sizeof(GrfEntry);
    double table = static_cast<double>(archive->capacity) * record;
    uint32_t count = archive->count;
    char figure[96];
    snprintf(figure, sizeof figure, "record %zu bytes; table %.1f MB = %.3f x count x record",
             sizeof(GrfEntry), table / 1e6, table / (count * record));
    PrintAim("  the table", figure, "within 1.1x", table <= 1.1 * count * record);
    GrfClose(&archive);
    OpenMemory m;
    if (!MeasureOpenAlone(path, count, &m)) {
        printf("  open alone: not measured (no fresh process or no /proc)\n");
        return;
    }
    double held = (static_cast<double>(m.after) - static_cast<double>(m.before)) / 1e6;
    double peak = (static_cast<double>(m.peak) - static_cast<double>(m.before)) / 1e6;
    double directory = static_cast<double>(directoryBytes) / 1e6;
    printf("  open alone, in a fresh process: peak %.1f MB above its start, %.1f MB held after\n",
           peak, held);
    snprintf(figure, sizeof figure, "%.2f x (directory bytes in memory %.1f MB + held)",
             peak / (directory + held), directory);
    PrintAim("    peak", figure, "within 1.05x", peak <= 1.05 * (directory + held));
}

// The table's record as it was with a 32-bit position, for comparison.
struct EntryWith32BitPosition {
    GrfArchive* owner;
    uint32_t compressedSize, alignedSize, realSize, position;
    uint8_t type;
    uint32_t version;
    int8_t cycle;
    char name[GRF_NAME_SIZE];
    uint8_t state;
};

double BenchV2(const Folder& dir, const std::vector<RawRecord>& records) {
    Bytes table = BuildV2Table(records);
    Bytes archive = BuildHeader(0, 0, kEntries + grf::kCountBias, 0x200);
    Bytes directory = BuildV2Directory(table, 9);
    archive.insert(archive.end(), directory.begin(), directory.end());
    std::wstring path = dir.Join(L"v200.grf");
    WriteFileBytes(path, archive);
    printf("0x200: %u entries, table %.1f MB, compressed %.1f MB\n", kEntries, table.size() / 1e6,
           (directory.size() - grf::kV2Sizes) / 1e6);

    double open = BestSeconds([&] { OpenAndClose(path, kEntries); });
    double bare = BestSeconds([&] { BareOpenV2(path, table.size()); });
    PrintBeside("GrfOpen 0x200", open, "bare (read + libdeflate)", bare, 2);
    ReportMemory(path, directory.size() + table.size());
    return open;
}

void BenchV3(const Folder& dir, const std::vector<RawRecord>& records, double openV2) {
    Bytes table = BuildV3Table(records);
    Bytes archive = BuildV3Header(0, kEntries);
    Bytes directory = BuildV3Directory(table, 9);
    archive.insert(archive.end(), directory.begin(), directory.end());
    std::wstring path = dir.Join(L"v300.grf");
    WriteFileBytes(path, archive);
    printf("0x300: %u entries, table %.1f MB, compressed %.1f MB\n", kEntries, table.size() / 1e6,
           (directory.size() - grf::kV3Sizes) / 1e6);
    double open = BestSeconds([&] { OpenAndClose(path, kEntries); });
    PrintBeside("GrfOpen 0x300", open, "GrfOpen 0x200 of the same records", openV2, 1.1);
    char figure[96];
    snprintf(figure, sizeof figure, "%zu bytes with the 64-bit position, %zu with a 32-bit one",
             sizeof(GrfEntry), sizeof(EntryWith32BitPosition));
    PrintAim("  record", figure, "at most 4 more",
             sizeof(GrfEntry) <= sizeof(EntryWith32BitPosition) + 4);
}

void BenchV1(const Folder& dir, const std::vector<RawRecord>& records) {
    Bytes archive = BuildHeader(0, 0, 0, 0x103);
    Bytes directory = BuildV1Directory(records);
    archive.insert(archive.end(), directory.begin(), directory.end());
    std::wstring path = dir.Join(L"v103.grf");
    WriteFileBytes(path, archive);
    printf("0x103: %u entries, directory %.1f MB\n", kEntries, directory.size() / 1e6);

    double open = BestSeconds([&] { OpenAndClose(path, kEntries); });
    double bare = BestSeconds([&] {
        Bytes dirBytes = ReadRange(path, GRF_HEADER_SIZE);
        for (size_t at = 0; at + 4 <= dirBytes.size();) {
            uint32_t n = GetLe32(dirBytes.data() + at);
            GrfCipherName(dirBytes.data() + at + grf::kV1NameStart, n - grf::kV1NameStart, 1);
            at += n + grf::kV1Tail;
        }
    });
    PrintBeside("GrfOpen 0x103", open, "bare (read + name transform)", bare, 3);
    // The 0x1xx directory is read through a window of 1 MB.
    ReportMemory(path, directory.size() < (1u << 20) ? directory.size() : (1u << 20));
}

// 2,000,000 entries: the open beside the bare read + inflate, steady over
// several runs, and what the table keeps per entry.
void BenchMany(const Folder& dir) {
    std::vector<RawRecord> records = MakeRecords(MakeNames(kManyEntries));
    Bytes table = BuildV2Table(records);
    Bytes archive = BuildHeader(0, 0, kManyEntries + grf::kCountBias, 0x200);
    Bytes directory = BuildV2Directory(table, 9);
    archive.insert(archive.end(), directory.begin(), directory.end());
    std::wstring path = dir.Join(L"v200-many.grf");
    WriteFileBytes(path, archive);
    records.clear();
    Bytes().swap(archive);
    Bytes().swap(directory);
    printf("0x200: %u entries, table %.1f MB\n", kManyEntries, table.size() / 1e6);
    double open = BestSeconds([&] { OpenAndClose(path, kManyEntries); }, 5);
    double bare = BestSeconds([&] { BareOpenV2(path, table.size()); }, 5);
    PrintBeside("GrfOpen 0x200, 2,000,000 entries", open, "bare (read + libdeflate)", bare, 1.0);
    OpenMemory m;
    if (MeasureOpenAlone(path, kManyEntries, &m)) {
        double perEntry =
            (static_cast<double>(m.after) - static_cast<double>(m.before)) / kManyEntries;
        char figure[64];
        snprintf(figure, sizeof figure, "%.0f bytes per entry held", perEntry);
        PrintAim("  the open table, in a fresh process", figure, "at most 150", perEntry <= 150);
    } else {
        printf("  open alone: not measured (no fresh process or no /proc)\n");
    }
    remove(Narrow(path).c_str());
}

void BenchV1Sparse(const Folder& dir) {
    std::wstring path = dir.Join(L"sparse.grf");
    WriteFileBytes(path, BuildHeader(0, 0, 0, 0x103));
    uint64_t size = 3900000000u;  // 3.9 GB
    if (truncate(Narrow(path).c_str(), static_cast<off_t>(size)) != 0) {
        printf("0x103 sparse: not measured (the file system makes no sparse files)\n");
        return;
    }
    double open = BestSeconds([&] { OpenAndClose(path, 0); });
    OpenMemory m;
    if (!MeasureOpenAlone(path, 0, &m)) {
        printf("0x103 sparse: not measured (no fresh process or no /proc)\n");
        return;
    }
    printf(
        "GrfOpen of a %.1f GB 0x103 file, no record:  %9.4f s, peak %.1f MB above its start "
        "(aim: a few MB, not the file's size)\n",
        static_cast<double>(size) / 1e9, open,
        (static_cast<double>(m.peak) - static_cast<double>(m.before)) / 1e6);
    remove(Narrow(path).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--open-alone") == 0)
        return OpenAlone(argv[2], static_cast<uint32_t>(strtoul(argv[3], nullptr, 10)));
    TempDir temp;
    Folder dir{argc > 1 ? Widen(argv[1]) : temp.path};
    std::vector<RawRecord> records = MakeRecords(MakeNames(kEntries));
    double openV2 = BenchV2(dir, records);
    BenchV3(dir, records, openV2);
    BenchV1(dir, records);
    BenchMany(dir);
    BenchV1Sparse(dir);
    return BenchExitCode();
}
