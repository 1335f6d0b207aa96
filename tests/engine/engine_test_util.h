// engine_test_util.h -- what the engine suites share: an archive written to
// a temporary file and opened, reading an entry's content back through the
// engine as the extract commands do, and small builders of contents.
#ifndef CASKWRIGHT_ENGINE_TEST_UTIL_H
#define CASKWRIGHT_ENGINE_TEST_UTIL_H

#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>

#include <map>
#include <string>
#include <vector>

#include "grf_builder.h"
#include "test_support.h"

using Names = std::vector<std::string>;

// Whether an archive that does not open fails the test (most suites) or is
// the result to look at (the suite of opening).
enum OpenCheck { kMustOpen, kMayFail };

// Archive bytes written to a file in a fresh folder and opened; closed at the
// end of scope. code is what GrfOpen left (GRF_OK when it opened). The
// folder also serves for outputs.
struct ArchiveOnDisk {
    explicit ArchiveOnDisk(const Bytes& bytes, OpenCheck check = kMustOpen,
                           GrfProgressCallback progress = nullptr) {
        path = dir.Join(L"source.grf");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        GrfLastError = 12345;  // so a code seen is one the open left
        archive = GrfOpen(path.c_str(), progress);
        code = ok() ? uint32_t{GRF_OK} : GrfLastError;
        if (check == kMustOpen) {
            EXPECT_TRUE(ok()) << "code " << code;
        }
    }
    ~ArchiveOnDisk() { GrfClose(&archive); }
    ArchiveOnDisk(const ArchiveOnDisk&) = delete;
    ArchiveOnDisk& operator=(const ArchiveOnDisk&) = delete;
    bool ok() const { return archive != GRF_NO_ARCHIVE; }
    TempDir dir;
    std::wstring path;
    GrfArchive* archive = GRF_NO_ARCHIVE;
    uint32_t code = 0;
};

// One entry's content as GrfReadEntry gives it, or the code of its failure.
struct EntryRead {
    bool ok = false;
    Bytes bytes;
    uint32_t code = 0;
};

inline EntryRead ReadContent(GrfArchive* owner, const char* name) {
    EntryRead result;
    wchar_t* wide = GrfCp949ToWide(name);
    uint32_t size = 0xDEADBEEF;
    auto* data = static_cast<uint8_t*>(GrfReadEntry(owner, wide, &size));
    result.code = GrfLastError;
    PlatformFree(wide);
    if (!data) return result;
    result.ok = true;
    result.bytes.assign(data, data + size);
    // The room behind the content stays zero.
    for (uint32_t i = 0; i < 1024; ++i)
        if (data[size + i] != 0) {
            ADD_FAILURE() << name << ": nonzero byte " << i << " past the content";
            break;
        }
    PlatformFree(data);
    return result;
}

// The names of the table in order; none for GRF_NO_ARCHIVE.
inline Names NamesOf(const GrfArchive* archive) {
    Names names;
    for (uint32_t i = 0; archive != GRF_NO_ARCHIVE && i < archive->count; ++i)
        names.push_back(archive->entries[i].name);
    return names;
}

using Contents = std::map<std::string, Bytes>;

// Every record not marked deleted, by name, with its content.
inline Contents ContentsOf(GrfArchive* archive) {
    Contents contents;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& e = archive->entries[i];
        if (e.state & (GRF_ENTRY_DELETED | GRF_ENTRY_REMOVAL)) continue;
        uint32_t size = 0;
        uint8_t* data = GrfReadRecord(archive, i, &size);
        EXPECT_NE(data, nullptr) << e.name << " code " << GrfLastError;
        if (data) contents[e.name] = Bytes(data, data + size);
        GrfFreeBuffer(data);
    }
    return contents;
}

// Contents of the archive at path opened afresh (and its names in order),
// or an empty map with a failure when it does not open.
inline Contents ContentsAt(const std::wstring& path, Names* names = nullptr) {
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    EXPECT_NE(archive, GRF_NO_ARCHIVE) << "code " << GrfLastError;
    if (archive == GRF_NO_ARCHIVE) return {};
    Contents contents = ContentsOf(archive);
    if (names) *names = NamesOf(archive);
    GrfClose(&archive);
    return contents;
}

// The table's records as bytes, to show that a failed edit changed nothing.
inline Bytes TableBytes(const GrfArchive* archive) {
    auto* at = reinterpret_cast<const uint8_t*>(archive->entries);
    return Bytes(at, at + size_t{archive->count} * sizeof(GrfEntry));
}

inline Bytes Slice(const Bytes& bytes, size_t at, size_t size) {
    if (at > bytes.size() || bytes.size() - at < size) return {};
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                 bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
}

inline Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Content that spans many blocks, so mixed mode both transforms and
// shuffles: compressible text, then noise.
inline Bytes Long(uint64_t seed, size_t noise = 600) {
    return Join(BytesOf(std::string(400, 'a')), RandomBytes(noise, seed));
}

// One content per name, each its tag and its name.
inline std::vector<Content> Named(const Names& names, const std::string& tag) {
    std::vector<Content> contents;
    for (const std::string& name : names) contents.push_back({name, BytesOf(tag + ":" + name)});
    return contents;
}

#endif
