// SHA-256 against the FIPS 180-4 examples, fed whole and in uneven pieces.
#include <gtest/gtest.h>

#include <string>

#include "sha256.h"

namespace {

TEST(Sha256, FipsExamples) {
    struct Case {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // 55, 56 and 64 bytes: the padding's edges.
        {std::string(55, 'x'), nullptr},
        {std::string(56, 'x'), nullptr},
        {std::string(64, 'x'), nullptr},
    };
    for (const Case& c : cases) {
        caskw::Sha256 whole;
        whole.Add(c.input.data(), c.input.size());
        std::string digest = whole.Hex();
        if (c.digest) {
            EXPECT_EQ(digest, c.digest) << c.input.size() << " bytes";
        }
        EXPECT_EQ(digest.size(), 64u);
        caskw::Sha256 pieces;
        for (size_t at = 0, step = 1; at < c.input.size(); at += step, step = step * 3 % 97 + 1)
            pieces.Add(c.input.data() + at, std::min(step, c.input.size() - at));
        EXPECT_EQ(pieces.Hex(), digest) << c.input.size() << " bytes in pieces";
    }
}

}  // namespace
