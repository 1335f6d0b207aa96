// pattern_test -- names as printed and typed, and which names patterns match.
#include <gtest/gtest.h>

#include "names.h"
#include "pattern.h"

namespace {

using caskw::ArchiveName;
using caskw::DisplayName;

// Code page 949 bytes of the Korean words used below.
const std::string kHangul = "\xC7\xD1\xB1\xDB";           // 한글
const std::string kMonster = "\xB8\xF3\xBD\xBA\xC5\xCD";  // 몬스터

TEST(Names, PrintAsUtf8WithUnconvertibleBytesEscaped) {
    struct Case {
        const char* what;
        std::string stored;
        std::string shown;
    } cases[] = {
        {"ASCII as it is", "data\\a.txt", "data\\a.txt"},
        {"Korean", "data\\" + kMonster + "\\" + kHangul + ".spr", "data\\몬스터\\한글.spr"},
        {"a lone lead byte at the end", "data\\\xFB", "data\\%FB"},
        {"a pair that is no character", "a\xFF\xFE.txt", "a%FF%FE.txt"},
        {"a lead byte before ASCII keeps the ASCII",
         "\xC7"
         "A",
         "%C7A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DisplayName(c.stored.c_str()), c.shown);
        std::string back;
        ASSERT_TRUE(ArchiveName(c.shown, &back));
        EXPECT_EQ(back, c.stored);
    }
}

TEST(Names, TypedNamesTakeEitherSeparatorAndRefuseWhatCp949Lacks) {
    std::string stored;
    ASSERT_TRUE(ArchiveName("data/몬스터/x.spr", &stored));
    EXPECT_EQ(stored, "data\\" + kMonster + "\\x.spr");
    EXPECT_FALSE(ArchiveName("data/\xF0\x9F\x98\x80.txt", &stored));  // an emoji
    EXPECT_FALSE(ArchiveName("data/é.txt", &stored));                 // no near matches ("e")
    EXPECT_FALSE(ArchiveName("bad \xC3", &stored));                   // not UTF-8
    // %XX stands for bytes of 0x80 and above only: other text stays.
    ASSERT_TRUE(ArchiveName("100%41.txt", &stored));
    EXPECT_EQ(stored, "100%41.txt");
}

struct MatchCase {
    const char* pattern;
    const char* name;
    bool matches;
};

TEST(Patterns, MatchWholePathsWithFolderAwareWildcards) {
    const MatchCase cases[] = {
        // Without a separator: the last component, as the window's filter.
        {"*.spr", "data\\sprite\\a.spr", true},
        {"*.spr", "data\\sprite\\a.SPR", true},
        {"a.spr", "data\\sprite\\a.spr", true},
        {"sprite", "data\\sprite\\a.spr", false},
        {"*.*", "data\\noextension", true},
        // With a separator: the whole path; * and ? stay in one folder.
        {"data\\*.spr", "data\\a.spr", true},
        {"data\\*.spr", "data\\sprite\\a.spr", false},
        {"data/sprite/*.spr", "data\\sprite\\a.spr", true},
        {"DATA/SPRITE/A.SPR", "data\\sprite\\a.spr", true},
        {"data\\?.spr", "data\\a.spr", true},
        {"data?a.spr", "data\\a.spr", false},
        {"data\\sprite", "data\\sprite\\a.spr", false},
        // ** crosses folders, and **\ may be no folder at all.
        {"data/**/*.spr", "data\\a.spr", true},
        {"data/**/*.spr", "data\\sprite\\npc\\a.spr", true},
        {"data/**", "data\\sprite\\npc\\a.spr", true},
        {"data/**.spr", "data\\sprite\\a.spr", true},
        {"**/npc/*", "data\\sprite\\npc\\a.spr", true},
        {"**/npc/*", "data\\sprite\\npc\\x\\a.spr", false},
        {"data/**/x/*.spr", "data\\sprite\\a.spr", false},
        // Korean names, typed as UTF-8.
        {"data/몬스터/*", "data\\몬스터\\한글.spr", true},
        {"한글.*", "data\\몬스터\\한글.spr", true},
        {"*\\한?.spr", "data\\몬스터\\한글.spr", false},
        {"data\\*\\한?.spr", "data\\몬스터\\한글.spr", true},
        // Letters beyond ASCII fold too; escaped bytes match as printed.
        {"ÉTÉ.TXT", "data\\été.txt", true},
        {"data/%FB", "data\\%FB", true},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " against " + c.name);
        caskw::Pattern pattern;
        ASSERT_TRUE(caskw::MakePattern(c.pattern, &pattern));
        EXPECT_EQ(caskw::Matches(pattern, caskw::FoldName(c.name)), c.matches);
    }
}

TEST(Patterns, ManyStarsStayLinear) {
    // Backtracking matchers take exponential time on this; ours a moment.
    caskw::Pattern pattern;
    ASSERT_TRUE(caskw::MakePattern("**a**a**a**a**a**a**a**a**b", &pattern));
    std::string name(100, 'a');
    EXPECT_FALSE(caskw::Matches(pattern, caskw::FoldName(name)));
}

}  // namespace
