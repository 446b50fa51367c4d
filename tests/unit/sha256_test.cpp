// The digest that tells studies apart in the archive, against the published test vectors.
#include <gtest/gtest.h>

#include <string>

#include "archive/sha256.h"

namespace tallyx::archive {
namespace {

TEST(Sha256, GivesThePublishedDigestsWhateverTheChunks) {
    const struct {
        std::string input;
        const char* digest;
    } kVectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& v : kVectors) {
        Sha256 whole;
        whole.Add(v.input);
        EXPECT_EQ(whole.Hex(), v.digest) << v.input.size();
        // The same bytes in pieces of odd sizes, across block ends.
        Sha256 pieces;
        for (size_t at = 0, size = 1; at < v.input.size(); at += size, size = size % 97 + 13)
            pieces.Add(v.input.substr(at, size));
        EXPECT_EQ(pieces.Hex(), v.digest) << v.input.size();
    }
}

}  // namespace
}  // namespace tallyx::archive
