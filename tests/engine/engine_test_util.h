// engine_test_util.h -- what the engine suites share: an archive written to
// a temporary file and opened, and reading an entry's content back through
// the engine as the extract commands do.
#ifndef CASKWRIGHT_ENGINE_TEST_UTIL_H
#define CASKWRIGHT_ENGINE_TEST_UTIL_H

#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>

#include <string>
#include <vector>

#include "grf_builder.h"
#include "test_support.h"

// Archive bytes written to a file in a fresh folder and opened; closed at the
// end of scope. The folder also serves for outputs.
struct ArchiveOnDisk {
    explicit ArchiveOnDisk(const Bytes& bytes) {
        path = dir.Join(L"source.grf");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        archive = GrfOpen(path.c_str(), nullptr);
        EXPECT_NE(archive, GRF_NO_ARCHIVE) << "code " << GrfLastError;
    }
    ~ArchiveOnDisk() { GrfClose(&archive); }
    ArchiveOnDisk(const ArchiveOnDisk&) = delete;
    ArchiveOnDisk& operator=(const ArchiveOnDisk&) = delete;
    TempDir dir;
    std::wstring path;
    GrfArchive* archive = GRF_NO_ARCHIVE;
};

// One entry's content as GrfReadEntry gives it, or the code of its failure.
struct EntryRead {
    bool ok = false;
    Bytes bytes;
    uint32_t code = 0;
};

inline EntryRead ReadContent(GrfArchive* owner, const char* name) {
    EntryRead result;
    wchar_t* wide = Cp949ToWide(name);
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

inline std::vector<std::string> NamesOf(const GrfArchive* archive) {
    std::vector<std::string> names;
    for (uint32_t i = 0; i < archive->count; ++i) names.push_back(archive->entries[i].name);
    return names;
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

#endif
