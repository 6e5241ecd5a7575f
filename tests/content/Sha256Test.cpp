#include <gtest/gtest.h>

#include <string>

#include "content/Sha256.h"

namespace quoril {
namespace {

struct Vector {
    std::string input;
    const char* digest;
};

class Sha256Test : public ::testing::TestWithParam<Vector> {};

TEST_P(Sha256Test, DigestMatchesThePublishedValue) {
    const Vector& v = GetParam();
    EXPECT_EQ(Sha256::hex(v.input.data(), v.input.size()), v.digest);
    // The same digest when fed in uneven pieces.
    Sha256 pieces;
    size_t at = 0;
    for (size_t step = 1; at < v.input.size(); step = step * 3 % 97 + 1) {
        size_t take = std::min(step, v.input.size() - at);
        pieces.update(v.input.data() + at, take);
        at += take;
    }
    std::array<uint8_t, 32> digest = pieces.finish();
    char hex[65];
    for (int i = 0; i < 32; ++i) {
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    }
    EXPECT_EQ(std::string(hex), v.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Published, Sha256Test,
    ::testing::Values(Vector{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
                      Vector{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                      Vector{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                             "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
                      Vector{std::string(1000000, 'a'),
                             "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}));

}  // namespace
}  // namespace quoril
