// Keyed records: the key of a password and the keystream checked against
// the worked example, archives of keyed zlib and LZMA records built from
// the description read with the right key, a wrong one and none (whole,
// in batches, extracted whole and in pieces), bytes that start like zlib or
// LZMA by chance, counting keyed records, and repacks and saves that key,
// copy and re-key what they write.
#include <grf.h>
#include <gtest/gtest.h>
#include <platform.h>

#include <string>
#include <vector>

#include "engine_test_util.h"
#include "grf_builder.h"
#include "keyed_builder.h"
#include "test_support.h"

namespace {

const std::string kPassword = "abcd";
const std::string kKorean = "data\\\xc7\xd1\xb1\xdb.txt";

Bytes EngineKey(const std::string& password) {
    Bytes key(GRF_KEY_SIZE, 0xEE);
    EXPECT_EQ(GrfKeyFromPassword(reinterpret_cast<const uint8_t*>(password.data()), password.size(),
                                 key.data()),
              1);
    return key;
}

void SetPassword(GrfArchive* archive, const std::string& password) {
    ASSERT_EQ(
        GrfSetPassword(archive, reinterpret_cast<const uint8_t*>(password.data()), password.size()),
        1);
}

Bytes Extracted(GrfArchive* archive, uint32_t index, const TempDir& into, uint32_t* code) {
    CurrentDirScope here(into.path);
    *code = GrfExtractRecord(archive, index);
    wchar_t* wide = GrfCp949ToWide(archive->entries[index].name);
    std::wstring name = LocalPath(wide);
    PlatformFree(wide);
    Bytes bytes;
    ReadFileBytes(into.Join(name), &bytes);
    return bytes;
}

// Contents of every size class, both methods, one name in Korean.
struct Sample {
    std::string name;
    Bytes content;
    KeyedMethod method;
};

std::vector<Sample> Samples() {
    return {
        {"data\\one.txt", BytesOf("x"), KeyedMethod::kZlib},
        {"data\\hello.txt", BytesOf("hello"), KeyedMethod::kZlib},
        {kKorean, Long(3), KeyedMethod::kZlib},
        {"data\\small.lzma", Long(4), KeyedMethod::kLzma},
        // Past the size extraction reads whole: it streams in pieces.
        {"data\\big.bin", Join(RandomBytes(3 << 20, 5), Bytes(3 << 20, 'z')), KeyedMethod::kZlib},
        {"data\\big.lzma", Join(RandomBytes(1 << 20, 6), Bytes(5 << 20, 'y')), KeyedMethod::kLzma},
    };
}

Bytes KeyedArchive(const Bytes& key, uint32_t version, const std::vector<Sample>& samples) {
    std::vector<Stored> stored;
    for (const Sample& s : samples)
        stored.push_back(KeyedContent(key, s.name, s.content, s.method));
    // An empty record and a plain one beside them.
    Stored empty;
    empty.record.name = "data\\empty.txt";
    stored.push_back(empty);
    stored.push_back(StoreContent(version, "data\\plain.txt", BytesOf("not keyed")));
    return BuildStoredArchive(version, stored);
}

TEST(Keyed, TheWorkedExample) {
    Bytes key = EngineKey(kPassword);
    EXPECT_EQ(Slice(key, 0, 16), (Bytes{0x53, 0x27, 0x70, 0x90, 0x09, 0xe8, 0x2e, 0xc9, 0xde, 0xf5,
                                        0xf9, 0xe0, 0x4d, 0xbc, 0x6a, 0x26}));
    EXPECT_EQ(Slice(key, 240, 16), (Bytes{0xa4, 0x04, 0x6f, 0xc1, 0xec, 0xcc, 0x1e, 0x14, 0x76,
                                          0x71, 0x84, 0xa6, 0x7a, 0x64, 0x81, 0xdd}));
    EXPECT_EQ(KeyOfPassword(kPassword), key) << "the tests' own builder agrees";
    Bytes deflated = {0x78, 0x9c, 0xcb, 0x48, 0xcd, 0xc9, 0xc9, 0x07,
                      0x00, 0x06, 0x2c, 0x02, 0x15, 0,    0,    0};
    EXPECT_EQ(Deflate(BytesOf("hello"), 6), Slice(deflated, 0, 13));
    const Bytes keyed = {0x4e, 0xb8, 0xd2, 0x6b, 0x37, 0xcd, 0xcd, 0x2a,
                         0x7e, 0x41, 0xdf, 0x0c, 0x14, 0x01, 0xa1, 0x75};
    Bytes bytes = deflated;
    GrfKeyEntryData(key.data(), 5, bytes.data(), uint32_t(bytes.size()));
    EXPECT_EQ(bytes, keyed);
    GrfKeyEntryData(key.data(), 5, bytes.data(), uint32_t(bytes.size()));
    EXPECT_EQ(bytes, deflated) << "its own inverse";
    EXPECT_EQ(KeyedContent(key, "data\\hello.txt", BytesOf("hello")).bytes, keyed);

    // The archive of that one record reads back "hello".
    ArchiveOnDisk disk(
        BuildStoredArchive(0x200, {KeyedContent(key, "data\\a.txt", BytesOf("hello"))}));
    SetPassword(disk.archive, kPassword);
    EXPECT_EQ(ReadContent(disk.archive, "data\\a.txt").bytes, BytesOf("hello"));
}

TEST(Keyed, PasswordsOutsideFourTo256BytesAreRefused) {
    uint8_t key[GRF_KEY_SIZE] = {7};
    const std::string tooLong(257, 'p');
    EXPECT_EQ(GrfKeyFromPassword(reinterpret_cast<const uint8_t*>("abc"), 3, key), 0);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_PASSWORD_LENGTH});
    EXPECT_EQ(key[0], 7) << "untouched";
    EXPECT_EQ(GrfKeyFromPassword(reinterpret_cast<const uint8_t*>(tooLong.data()), 257, key), 0);
    EXPECT_EQ(GrfKeyFromPassword(nullptr, 8, key), 0);
    EXPECT_EQ(GrfKeyFromPassword(reinterpret_cast<const uint8_t*>(tooLong.data()), 256, key), 1);
    EXPECT_EQ(Bytes(key, key + 256), KeyOfPassword(std::string(256, 'p')));
    EXPECT_EQ(GrfSetPassword(GRF_NO_ARCHIVE, key, 8), 0);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_HANDLE});
}

TEST(Keyed, ReadWithTheKeyRefusedWithAWrongOneOrNone) {
    Bytes key = KeyOfPassword("open sesame");
    const std::vector<Sample> samples = Samples();
    for (uint32_t version : {0x200u, 0x300u}) {
        ArchiveOnDisk disk(KeyedArchive(key, version, samples));
        ASSERT_EQ(disk.archive->count, samples.size() + 2);
        const uint32_t empty = uint32_t(samples.size()), plain = empty + 1;
        EXPECT_EQ(GrfCountKeyed(disk.archive, nullptr), samples.size());
        EXPECT_EQ(GrfIsKeyed(disk.archive, 0), 1);
        EXPECT_EQ(GrfIsKeyed(disk.archive, empty), 0);
        EXPECT_EQ(GrfIsKeyed(disk.archive, plain), 0);
        EXPECT_EQ(GrfIsKeyed(disk.archive, plain + 1), -1);

        struct Attempt {
            const char* what;
            const char* password;  // null: no key
            uint32_t code;
        } attempts[] = {
            {"no key", nullptr, GRF_ERROR_NEEDS_PASSWORD},
            {"a wrong key", "open sesamE", GRF_ERROR_PASSWORD},
            {"the key", "open sesame", GRF_OK},
        };
        for (const Attempt& a : attempts) {
            std::string what = std::string(a.what) + " " + std::to_string(version);
            if (a.password) SetPassword(disk.archive, a.password);
            for (uint32_t i = 0; i < samples.size(); ++i) {
                EntryRead read = ReadContent(disk.archive, samples[i].name.c_str());
                EXPECT_EQ(read.code, a.code) << what << " " << samples[i].name;
                EXPECT_TRUE(read.bytes == (a.code == GRF_OK ? samples[i].content : Bytes()))
                    << what << " " << samples[i].name;
                TempDir out;
                uint32_t code = 0;
                Bytes extracted = Extracted(disk.archive, i, out, &code);
                EXPECT_EQ(code, a.code) << what << " extracting " << samples[i].name;
                if (a.code == GRF_OK) {
                    EXPECT_TRUE(extracted == samples[i].content) << what << " " << samples[i].name;
                } else {
                    EXPECT_EQ(ListTree(out.path), std::vector<std::string>{}) << what;
                }
            }
            // Batches give the same codes; the empty and plain records read.
            std::vector<uint32_t> all;
            for (uint32_t i = 0; i <= plain; ++i) all.push_back(i);
            struct Seen {
                std::vector<uint32_t> codes;
                std::vector<Bytes> contents;
            } seen;
            GrfReadRecords(
                disk.archive, all.data(), uint32_t(all.size()),
                [](uint32_t, const uint8_t* content, uint32_t size, uint32_t code, void* user) {
                    auto* s = static_cast<Seen*>(user);
                    s->codes.push_back(code);
                    s->contents.push_back(content ? Bytes(content, content + size) : Bytes());
                    return 0;
                },
                &seen);
            ASSERT_EQ(seen.codes.size(), all.size());
            for (uint32_t i = 0; i < samples.size(); ++i) {
                EXPECT_EQ(seen.codes[i], a.code) << what << " batch " << samples[i].name;
                if (a.code == GRF_OK) {
                    EXPECT_TRUE(seen.contents[i] == samples[i].content);
                }
            }
            EXPECT_EQ(seen.codes[empty], uint32_t{GRF_OK}) << what;
            EXPECT_EQ(seen.contents[plain], BytesOf("not keyed")) << what;
        }
        // Forgetting the key: needs one again.
        ASSERT_EQ(GrfSetKey(disk.archive, nullptr), 1);
        EXPECT_EQ(ReadContent(disk.archive, "data\\hello.txt").code,
                  uint32_t{GRF_ERROR_NEEDS_PASSWORD});
    }
}

// The size whose keystream makes a keyed record of content deflated start
// with `first` (the keystream's first byte depends on the size alone).
uint32_t SizeStartingWith(const Bytes& key, uint8_t first, uint8_t plainFirst) {
    for (uint32_t size = 64;; ++size)
        if ((Keyed(key, size, Bytes{plainFirst})[0]) == first) return size;
}

TEST(Keyed, BytesThatStartLikeLzmaOrZlibByChance) {
    Bytes key = KeyOfPassword(kPassword);
    // Keyed deflated bytes beginning 00, which reads take for LZMA first.
    uint32_t size = SizeStartingWith(key, 0x00, 0x78);
    Bytes content = Long(9, size);
    content.resize(size, 'c');
    Stored lzmaLike = KeyedContent(key, "data\\chance.bin", content);
    ASSERT_EQ(lzmaLike.bytes[0], 0x00);
    ArchiveOnDisk disk(BuildStoredArchive(0x200, {lzmaLike}));
    EXPECT_EQ(GrfIsKeyed(disk.archive, 0), 0) << "its first bytes cannot tell";
    EXPECT_EQ(ReadContent(disk.archive, "data\\chance.bin").code, uint32_t{GRF_ERROR_INFLATE})
        << "without a key, damaged";
    SetPassword(disk.archive, kPassword);
    EXPECT_TRUE(ReadContent(disk.archive, "data\\chance.bin").bytes == content);
    TempDir out;
    uint32_t code = 0;
    EXPECT_TRUE(Extracted(disk.archive, 0, out, &code) == content);
    EXPECT_EQ(code, uint32_t{GRF_OK});
    SetPassword(disk.archive, "wrong one");
    EXPECT_EQ(ReadContent(disk.archive, "data\\chance.bin").code, uint32_t{GRF_ERROR_INFLATE});
}

// The repack of source's table into `name` in version, with the write key of
// password (none when empty); opened.
GrfArchive* Repacked(ArchiveOnDisk* source, const wchar_t* name, uint32_t version,
                     const std::string& password) {
    Bytes key = password.empty() ? Bytes() : KeyOfPassword(password);
    EXPECT_EQ(GrfSetWriteKey(source->archive, password.empty() ? nullptr : key.data()), 1);
    GrfSetVersion(version);
    std::wstring path = source->dir.Join(name);
    int32_t failed = GrfRepack(source->archive, path.c_str(), nullptr);
    GrfSetVersion(0x103);
    EXPECT_EQ(failed, 0) << GrfLastError;
    return failed ? GRF_NO_ARCHIVE : GrfOpen(path.c_str(), nullptr);
}

Bytes RawOf(GrfArchive* archive, const char* name) {
    uint32_t size = 0;
    auto* raw = static_cast<uint8_t*>(GrfReadEntryRaw(archive, name, &size));
    Bytes bytes = raw ? Bytes(raw, raw + size) : Bytes();
    GrfFreeBuffer(raw);
    return bytes;
}

TEST(Keyed, RepacksKeyCopyAndReKey) {
    Bytes key = KeyOfPassword(kPassword);
    const std::vector<Sample> samples = {Samples()[1], Samples()[2], Samples()[3]};
    ArchiveOnDisk disk(KeyedArchive(key, 0x200, samples));

    // Without a write key keyed records are copied as stored, even unread.
    GrfArchive* copied = Repacked(&disk, L"copied.grf", 0x300, "");
    ASSERT_NE(copied, GRF_NO_ARCHIVE);
    for (const Sample& s : samples)
        EXPECT_EQ(RawOf(copied, s.name.c_str()), RawOf(disk.archive, s.name.c_str())) << s.name;
    EXPECT_EQ(GrfCountKeyed(copied, nullptr), samples.size());
    GrfClose(&copied);

    // The same key: keyed records unchanged, the plain one keyed.
    SetPassword(disk.archive, kPassword);
    GrfArchive* same = Repacked(&disk, L"same.grf", 0x200, kPassword);
    ASSERT_NE(same, GRF_NO_ARCHIVE);
    for (const Sample& s : samples)
        EXPECT_EQ(RawOf(same, s.name.c_str()), RawOf(disk.archive, s.name.c_str())) << s.name;
    EXPECT_EQ(GrfCountKeyed(same, nullptr), samples.size() + 1) << "the plain record keyed";
    EXPECT_EQ(ReadContent(same, "data\\plain.txt").code, uint32_t{GRF_ERROR_NEEDS_PASSWORD});
    SetPassword(same, kPassword);
    EXPECT_EQ(ReadContent(same, "data\\plain.txt").bytes, BytesOf("not keyed"));
    EXPECT_EQ(ReadContent(same, "data\\empty.txt").code, uint32_t{GRF_OK});
    GrfClose(&same);

    // Another key: every record keyed anew, readable with it alone.
    GrfArchive* other = Repacked(&disk, L"other.grf", 0x300, "another one");
    ASSERT_NE(other, GRF_NO_ARCHIVE);
    SetPassword(other, kPassword);
    EXPECT_EQ(ReadContent(other, samples[0].name.c_str()).code, uint32_t{GRF_ERROR_PASSWORD});
    SetPassword(other, "another one");
    for (const Sample& s : samples)
        EXPECT_TRUE(ReadContent(other, s.name.c_str()).bytes == s.content) << s.name;
    EXPECT_EQ(ReadContent(other, "data\\plain.txt").bytes, BytesOf("not keyed"));
    GrfClose(&other);

    // Re-keying with the wrong read key refuses rather than spoiling them.
    SetPassword(disk.archive, "not it");
    uint8_t newKey[GRF_KEY_SIZE] = {};
    ASSERT_EQ(GrfSetWriteKey(disk.archive, newKey), 1);
    std::wstring refused = disk.dir.Join(L"refused.grf");
    GrfSetVersion(0x200);
    EXPECT_EQ(GrfRepack(disk.archive, refused.c_str(), nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_PASSWORD});
    EXPECT_FALSE(FileExists(refused));
    // A 0x1xx target cannot hold keyed records.
    GrfSetVersion(0x103);
    EXPECT_EQ(GrfRepack(disk.archive, refused.c_str(), nullptr), 1);
    EXPECT_EQ(GrfLastError, uint32_t{GRF_ERROR_METHOD});
    EXPECT_FALSE(FileExists(refused));
}

TEST(Keyed, SavedLocalFilesAreKeyed) {
    Bytes key = KeyOfPassword(kPassword);
    ArchiveOnDisk disk(KeyedArchive(key, 0x200, {Samples()[1]}));
    std::wstring local = disk.dir.Join(L"local.txt");
    Bytes content = Long(12);
    ASSERT_TRUE(WriteFileBytes(local, content));
    wchar_t* name = GrfCp949ToWide(kKorean.c_str());
    ASSERT_EQ(GrfAddLocalFile(disk.archive, name, local.c_str()), 0u);
    PlatformFree(name);
    ASSERT_EQ(GrfSetWriteKey(disk.archive, key.data()), 1);
    ASSERT_EQ(GrfSave(disk.archive, nullptr), 0) << GrfLastError;
    GrfArchive* again = GrfOpen(disk.path.c_str(), nullptr);
    ASSERT_NE(again, GRF_NO_ARCHIVE);
    EXPECT_EQ(GrfCountKeyed(again, nullptr), 2u);
    EXPECT_EQ(ReadContent(again, kKorean.c_str()).code, uint32_t{GRF_ERROR_NEEDS_PASSWORD});
    SetPassword(again, kPassword);
    EXPECT_TRUE(ReadContent(again, kKorean.c_str()).bytes == content);
    EXPECT_EQ(ReadContent(again, "data\\hello.txt").bytes, BytesOf("hello"));
    GrfClose(&again);
}

}  // namespace
