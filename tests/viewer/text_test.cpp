// Text entries: which are text, and how their bytes become wide text.
#include <gtest/gtest.h>
#include <string.h>
#include <text.h>

#include <string>

#include "picture_util.h"

namespace {

template <size_t N>
Bytes Lit(const char (&text)[N]) {
    return Bytes(text, text + N - 1);
}

// Expected text given as code points, as wchar_t units of this platform.
std::wstring Wide(std::initializer_list<uint32_t> codePoints) {
    std::wstring out;
    for (uint32_t c : codePoints) {
        if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
            out.push_back(wchar_t(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(wchar_t(c));
        }
    }
    return out;
}

TEST(Text, DecodedFromUtf8OrCodePage949) {
    const struct {
        const char* what;
        Bytes bytes;
        TextEncoding encoding;
        std::wstring text;
    } cases[] = {
        {"ASCII", BytesOf("hello"), TEXT_UTF8, L"hello"},
        {"empty", {}, TEXT_UTF8, L""},
        {"UTF-8 Korean", Lit("\xEC\x95\x88\xEB\x85\x95"), TEXT_UTF8, Wide({0xC548, 0xB155})},
        {"UTF-8 past U+FFFF", Lit("a\xF0\x9F\x98\x80"), TEXT_UTF8, Wide({'a', 0x1F600})},
        {"UTF-8 mark dropped", Lit("\xEF\xBB\xBFx"), TEXT_UTF8, L"x"},
        {"UTF-8 mark, then a bad byte", Lit("\xEF\xBB\xBF\xFFx"), TEXT_UTF8, Wide({0xFFFD, 'x'})},
        {"code page 949 Korean", Lit("\xBE\xC8\xB3\xE7!"), TEXT_CP949, Wide({0xC548, 0xB155, '!'})},
        {"code page 949 extension syllable", Lit("\x8C\x63"), TEXT_CP949, Wide({0xB620})},
        {"overlong UTF-8 is not UTF-8", Lit("\xC0\xAF"), TEXT_CP949, Wide({0xC720})},
        {"UTF-16 little-endian", Lit("\xFF\xFEh\0\x48\xC5"), TEXT_UTF16LE, Wide({'h', 0xC548})},
        {"UTF-16 big-endian", Lit("\xFE\xFF\0h\xC5\x48"), TEXT_UTF16BE, Wide({'h', 0xC548})},
        {"UTF-16 pair", Lit("\xFF\xFE\x3D\xD8\x00\xDE"), TEXT_UTF16LE, Wide({0x1F600})},
        {"UTF-16 lone surrogate, odd byte", Lit("\xFF\xFE\x3D\xD8x"), TEXT_UTF16LE,
         Wide({0xFFFD, 0xFFFD})},
        // Lines end CR LF whatever they ended with.
        {"line ends", BytesOf("a\nb\r\nc\rd\n\ne"), TEXT_UTF8, L"a\r\nb\r\nc\r\nd\r\n\r\ne"},
        {"NUL in UTF-8", Lit("a\0b"), TEXT_UTF8, Wide({'a', 0xFFFD, 'b'})},
        {"NUL in code page 949", Lit("\xBE\xC8\0\xB3\xE7\n"), TEXT_CP949,
         Wide({0xC548, 0xFFFD, 0xB155, '\r', '\n'})},
    };
    for (const auto& c : cases) {
        Bytes exact(c.bytes);
        // An empty entry still has a block (its zero tail).
        const uint8_t* data = exact.empty() ? reinterpret_cast<const uint8_t*>("") : exact.data();
        EntryText text;
        ASSERT_TRUE(DecodeEntryText(data, uint32_t(exact.size()), &text)) << c.what;
        EXPECT_EQ(text.encoding, c.encoding) << c.what;
        ASSERT_NE(text.text, nullptr) << c.what;
        EXPECT_EQ(std::wstring(text.text, text.length), c.text) << c.what;
        EXPECT_EQ(text.text[text.length], L'\0') << c.what;
        FreeEntryText(&text);
    }
}

TEST(Text, CompiledLuaIsRecognisedNotDecoded) {
    const Bytes compiled = Lit("\x1BLuaQ\0\1\4\x08\4\x08\0");
    EntryText text;
    ASSERT_TRUE(DecodeEntryText(compiled.data(), uint32_t(compiled.size()), &text));
    EXPECT_EQ(text.encoding, TEXT_COMPILED_LUA);
    EXPECT_EQ(text.text, nullptr);
    EXPECT_TRUE(IsCompiledLua(compiled.data(), uint32_t(compiled.size())));
    EXPECT_FALSE(IsCompiledLua(compiled.data(), 3));
    Bytes plain = BytesOf("-- plain Lua in a .lub");
    EXPECT_FALSE(IsCompiledLua(plain.data(), uint32_t(plain.size())));
    EXPECT_FALSE(DecodeEntryText(nullptr, 10, &text));
}

TEST(Text, NamesThatAreText) {
    const struct {
        const wchar_t* name;
        bool text;
    } cases[] = {
        {L"data\\readme.txt", true},
        {L"data\\LUAFILES514\\a.LUB", true},
        {L"data\\x.Lua", true},
        {L"a.xml", true},
        {L"a.ini", true},
        {L"a.json", true},
        {L"a.log", true},
        {L"a.yml", true},
        {L"a.yaml", true},
        {L"a.csv", true},
        {L"a.txt.bak", false},
        {L"a.bmp", false},
        {L"a.html5", false},
        {L"data\\a.txt\\b", false},
        {L"txt", false},
        {L".txt", true},
        {L"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsTextName(c.name), c.text) << Narrow(c.name);
    EXPECT_FALSE(IsTextName(nullptr));
}

TEST(Text, BytesThatLookLikeText) {
    Bytes mostlyControls = BytesOf("text");
    mostlyControls.insert(mostlyControls.end(), {1, 2});
    Bytes fewControls(300, 'a');
    fewControls[10] = 0x07;
    fewControls[20] = 0x7F;
    fewControls[30] = 0x1B;  // escape is allowed
    Bytes latin1 = BytesOf("caf");
    latin1.push_back(0xE9);  // breaks both UTF-8 and code page 949
    Bytes longLatin1(200, 'a');
    longLatin1[100] = 0xE9;
    const struct {
        const char* what;
        Bytes bytes;
        bool text;
    } cases[] = {
        {"ASCII lines", BytesOf("a = 1\r\nb = 2\n\tc\f"), true},
        {"UTF-8", Lit("\xEC\x95\x88\xEB\x85\x95"), true},
        {"code page 949", Lit("\xBE\xC8\xB3\xE7"), true},
        {"UTF-16 with its mark", Lit("\xFF\xFEh\0i\0"), true},
        {"UTF-8 mark", Lit("\xEF\xBB\xBF"), true},
        {"a NUL byte", Lit("text\0more"), false},
        {"two controls in six bytes", mostlyControls, false},
        {"two controls in 300 bytes", fewControls, true},
        {"one odd byte in four", latin1, false},
        {"one odd byte in 200", longLatin1, true},
        {"empty", {}, false},
        {"binary", RandomBytes(4096, 3), false},
    };
    for (const auto& c : cases) {
        Bytes exact(c.bytes);
        EXPECT_EQ(LooksLikeText(exact.data(), uint32_t(exact.size())), c.text) << c.what;
    }
    EXPECT_FALSE(LooksLikeText(nullptr, 10));
}

}  // namespace
