// edit_bench -- editing large tables: merging a 100,000-entry archive into a
// 500,000-entry one with half the names shared, adding 50,000 local names,
// and walking 500,000 names with the filter for "*.*" and "*.spr". Beside
// the bare work of one pass that copies every record or converts every name
// once. Aim: each within 3 times.
#include <grf.h>
#include <grf_format.h>
#include <platform.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

constexpr uint32_t kLoaded = 500000;
constexpr uint32_t kOther = 100000;
constexpr uint32_t kAdded = 50000;

std::string LoadedName(uint32_t i) {
    char name[80];
    snprintf(name, sizeof name, "data\\texture\\dir%03u\\file%06u.%s", i / 1000, i,
             i % 5 == 0 ? "spr" : "bmp");
    return name;
}

// Archives of records without data: merging and filtering never read it.
void WriteArchive(const std::wstring& path, const std::vector<std::string>& names) {
    std::vector<RawRecord> records(names.size());
    for (size_t i = 0; i < names.size(); ++i) records[i].name = names[i];
    Bytes bytes = BuildHeader(0, 0, static_cast<uint32_t>(names.size()) + grf::kCountBias, 0x200);
    Bytes dir = BuildV2Directory(BuildV2Table(records), 1);
    bytes.insert(bytes.end(), dir.begin(), dir.end());
    WriteFileBytes(path, bytes);
}

GrfArchive* Open(const std::wstring& path) {
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) {
        fprintf(stderr, "open failed: %u\n", GrfLastError);
        exit(1);
    }
    return archive;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

uint32_t Walk(GrfArchive* archive, const wchar_t* pattern) {
    uint32_t found = 0;
    GrfSearch* search = GrfFindFirst(archive, pattern, nullptr);
    if (search == reinterpret_cast<GrfSearch*>(-1)) return 0;
    do {
        ++found;
    } while (GrfFindNext(search, nullptr));
    GrfFreeBuffer(search);
    return found;
}

}  // namespace

int main() {
    TempDir dir;
    std::vector<std::string> loadedNames, otherNames;
    for (uint32_t i = 0; i < kLoaded; ++i) loadedNames.push_back(LoadedName(i));
    for (uint32_t j = 0; j < kOther; ++j) {
        if (j % 2 == 0) {
            otherNames.push_back(LoadedName(j * 5 + 3));
        } else {
            char name[80];
            snprintf(name, sizeof name, "data\\sprite\\other%03u\\new%06u.spr", j / 1000, j);
            otherNames.push_back(name);
        }
    }
    std::wstring loadedPath = dir.Join(L"loaded.grf");
    std::wstring otherPath = dir.Join(L"other.grf");
    WriteArchive(loadedPath, loadedNames);
    WriteArchive(otherPath, otherNames);

    // Merge: fresh archives for every run, only the merge timed.
    double merge = 1e300, copy = 1e300;
    for (int run = 0; run < 3; ++run) {
        GrfArchive* loaded = Open(loadedPath);
        GrfArchive* other = Open(otherPath);
        auto start = std::chrono::steady_clock::now();
        std::vector<GrfEntry> table(size_t{loaded->count} + other->count);
        for (uint32_t i = 0; i < loaded->count; ++i) table[i] = loaded->entries[i];
        for (uint32_t i = 0; i < other->count; ++i) table[loaded->count + i] = other->entries[i];
        double took = Seconds(start);
        if (took < copy) copy = took;
        start = std::chrono::steady_clock::now();
        uint32_t count = GrfMerge(loaded, other);
        took = Seconds(start);
        if (took < merge) merge = took;
        if (count != kLoaded + kOther / 2) fprintf(stderr, "merge gave %u records\n", count);
        GrfClose(&loaded);
        GrfClose(&other);
    }
    PrintBeside("merge 100,000 into 500,000 (half shared)", merge, "bare (copy both tables)", copy,
                3);

    // Adding local names to the large table. Appending to a full table must
    // move it once however it grows, so the bare work is building the grown
    // table in one pass: every record copied, each added name converted.
    std::vector<std::wstring> added;
    for (uint32_t i = 0; i < kAdded; ++i)
        added.push_back(L"data\\local\\dir" + std::to_wstring(i / 500) + L"\\added" +
                        std::to_wstring(i) + L".bmp");
    double add = 1e300, build = 1e300, convert = 1e300;
    for (int run = 0; run < 3; ++run) {
        GrfArchive* loaded = Open(loadedPath);
        auto start = std::chrono::steady_clock::now();
        std::vector<GrfEntry> records(kAdded);
        for (uint32_t i = 0; i < kAdded; ++i) {
            char* narrow = GrfWideToCp949(added[i].c_str());
            memcpy(records[i].name, narrow, strlen(narrow) + 1);
            PlatformFree(narrow);
        }
        double converted = Seconds(start);
        std::vector<GrfEntry> table(loaded->entries, loaded->entries + loaded->count);
        table.insert(table.end(), records.begin(), records.end());
        double built = Seconds(start);
        if (converted < convert) convert = converted;
        if (built < build) build = built;
        start = std::chrono::steady_clock::now();
        for (uint32_t i = 0; i < kAdded; ++i)
            if (GrfAddFile(loaded, L"C:\\base", added[i].c_str()) != 0) exit(1);
        double took = Seconds(start);
        if (took < add) add = took;
        GrfClose(&loaded);
    }
    PrintBeside("add 50,000 local names to 500,000", add, "bare (convert, build the grown table)",
                build, 3);
    PrintBeside("  the same", add, "converting the names only", convert, 0);

    // Walking the table with the filter.
    GrfArchive* loaded = Open(loadedPath);
    double bare = BestSeconds([&] {
        wchar_t wide[GRF_NAME_SIZE + 1];
        uint32_t converted = 0;
        for (uint32_t i = 0; i < loaded->count; ++i)
            converted += PlatformCp949ToWideInto(loaded->entries[i].name, wide, GRF_NAME_SIZE + 1);
        if (converted != loaded->count) exit(1);
    });
    uint32_t all = 0, sprites = 0;
    double walkAll = BestSeconds([&] { all = Walk(loaded, L"*.*"); });
    double walkSpr = BestSeconds([&] { sprites = Walk(loaded, L"*.spr"); });
    PrintBeside("walk 500,000 names with *.*", walkAll, "bare (convert every name)", bare, 3);
    PrintBeside("walk 500,000 names with *.spr", walkSpr, "bare (convert every name)", bare, 3);
    if (all != kLoaded || sprites != kLoaded / 5)
        fprintf(stderr, "walk found %u, %u\n", all, sprites);
    GrfClose(&loaded);
    return BenchExitCode();
}
