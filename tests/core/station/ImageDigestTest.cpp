// The platform's SHA-256 against the standard's test vectors.
#include "core/station/ImageDigest.h"

#include <gtest/gtest.h>
#include <string_view>
#include <vector>

namespace pexo {
namespace {

TEST(ImageDigest, MatchesTheStandardsTestVectors) {
    const struct {
        std::string input;
        std::string_view digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> bytes(c.input.begin(), c.input.end());
        EXPECT_EQ(sha256Hex(bytes), c.digest) << c.input.size() << " bytes";
    }
}

} // namespace
} // namespace pexo
