// The configuration cipher against published RC4 keystreams, and its
// behaviour on empty and arbitrary data.
#include "store/config_cipher.h"

#include "store/config_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using tessaline::configCipher;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

// Keystream samples of RFC 6229 ("Test Vectors for the Stream Cipher RC4"):
// enciphering zero bytes yields the keystream itself.
struct KeystreamCase {
    const char* name;
    std::string key;
    std::size_t offset;
    std::string expected;  // 16 keystream bytes at offset
};

TEST(ConfigCipher, MatchesRfc6229Keystreams) {
    const std::string key40 = bytes({0x01, 0x02, 0x03, 0x04, 0x05});
    const std::string key64 = bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
    const std::string key128 = bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a,
                                      0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x10});
    const std::string key40b = bytes({0x83, 0x32, 0x22, 0x77, 0x2a});
    const KeystreamCase cases[] = {
        {"40-bit @0", key40, 0,
         bytes({0xb2, 0x39, 0x63, 0x05, 0xf0, 0x3d, 0xc0, 0x27, 0xcc, 0xc3, 0x52, 0x4a, 0x0a, 0x11, 0x18, 0xa8})},
        {"40-bit @16", key40, 16,
         bytes({0x69, 0x82, 0x94, 0x4f, 0x18, 0xfc, 0x82, 0xd5, 0x89, 0xc4, 0x03, 0xa4, 0x7a, 0x0d, 0x09, 0x19})},
        {"40-bit @240", key40, 240,
         bytes({0x28, 0xcb, 0x11, 0x32, 0xc9, 0x6c, 0xe2, 0x86, 0x42, 0x1d, 0xca, 0xad, 0xb8, 0xb6, 0x9e, 0xae})},
        {"40-bit @256", key40, 256,
         bytes({0x1c, 0xfc, 0xf6, 0x2b, 0x03, 0xed, 0xdb, 0x64, 0x1d, 0x77, 0xdf, 0xcf, 0x7f, 0x8d, 0x8c, 0x93})},
        {"40-bit @4096", key40, 4096,
         bytes({0xff, 0x25, 0xb5, 0x89, 0x95, 0x99, 0x67, 0x07, 0xe5, 0x1f, 0xbd, 0xf0, 0x8b, 0x34, 0xd8, 0x75})},
        {"64-bit @0", key64, 0,
         bytes({0x97, 0xab, 0x8a, 0x1b, 0xf0, 0xaf, 0xb9, 0x61, 0x32, 0xf2, 0xf6, 0x72, 0x58, 0xda, 0x15, 0xa8})},
        {"64-bit @240", key64, 240,
         bytes({0x96, 0x36, 0xeb, 0xc9, 0x84, 0x19, 0x26, 0xf4, 0xf7, 0xd1, 0xf3, 0x62, 0xbd, 0xdf, 0x6e, 0x18})},
        {"128-bit @0", key128, 0,
         bytes({0x9a, 0xc7, 0xcc, 0x9a, 0x60, 0x9d, 0x1e, 0xf7, 0xb2, 0x93, 0x28, 0x99, 0xcd, 0xe4, 0x1b, 0x97})},
        {"128-bit @240", key128, 240,
         bytes({0x06, 0x59, 0x02, 0xe4, 0xb6, 0x20, 0xf6, 0xcc, 0x36, 0xc8, 0x58, 0x9f, 0x66, 0x43, 0x2f, 0x2b})},
        {"128-bit @256", key128, 256,
         bytes({0xd3, 0x9d, 0x56, 0x6b, 0xc6, 0xbc, 0xe3, 0x01, 0x07, 0x68, 0x15, 0x15, 0x49, 0xf3, 0x87, 0x3f})},
        {"40-bit (second key) @0", key40b, 0,
         bytes({0x80, 0xad, 0x97, 0xbd, 0xc9, 0x73, 0xdf, 0x8a, 0x2e, 0x87, 0x9e, 0x92, 0xa4, 0x97, 0xef, 0xda})},
        {"40-bit (second key) @240", key40b, 240,
         bytes({0xfa, 0xa1, 0x48, 0xe9, 0x90, 0x46, 0x18, 0x1f, 0xec, 0x6b, 0x20, 0x85, 0xf3, 0xb2, 0x0e, 0xd9})},
    };
    for (const KeystreamCase& c : cases) {
        const std::string zeros(c.offset + 16, '\0');
        const std::string stream = configCipher(zeros, c.key);
        ASSERT_EQ(stream.size(), zeros.size()) << c.name;
        EXPECT_EQ(stream.substr(c.offset, 16), c.expected) << c.name;
    }
}

TEST(ConfigCipher, EmptyDataGivesEmpty) {
    EXPECT_EQ(configCipher("", tessaline::configKey), "");
    EXPECT_EQ(configCipher("", ""), "");
}

// Without a key schedule the state stays 0..255 and generation runs on it.
TEST(ConfigCipher, EmptyKeyKeepsIdentityState) {
    // By hand: i=1, j=1, out S[2]=2; i=2, j=3, swap -> S2=3 S3=2, out S[5]=5;
    // i=3, j=5, swap -> S3=5 S5=2, out S[7]=7.
    const std::string stream = configCipher(std::string(3, '\0'), "");
    EXPECT_EQ(stream, bytes({2, 5, 7}));
}

TEST(ConfigCipher, TwiceGivesTheInputBackAtAnyLength) {
    std::mt19937 random(6229);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t length : {std::size_t{1}, std::size_t{2}, std::size_t{69}, std::size_t{255},
                               std::size_t{256}, std::size_t{257}, std::size_t{4099}}) {
        std::string data(length, '\0');
        for (char& c : data) c = static_cast<char>(byte(random));
        data[0] = '\0';               // a NUL at the start
        data[length / 2] = '\x80';    // and a high byte
        const std::string once = configCipher(data, tessaline::configKey);
        ASSERT_EQ(once.size(), length);
        EXPECT_NE(once, data) << length;
        EXPECT_EQ(configCipher(once, tessaline::configKey), data) << length;
    }
}

TEST(ConfigCipher, KeyIsUsedCyclicallyAndWholly) {
    // A key and the same key repeated schedule the same state; any change of
    // a key byte (including the last) changes the stream.
    const std::string data(64, 'x');
    EXPECT_EQ(configCipher(data, "3619"), configCipher(data, "36193619"));
    EXPECT_NE(configCipher(data, "3619"), configCipher(data, "3618"));
    EXPECT_NE(configCipher(data, "3619"), configCipher(data, "361"));
}

TEST(ConfigCipher, SameTextSameBytes) {
    const std::string text = "127.0.0.1|3389|Administrator||\r\n";
    EXPECT_EQ(configCipher(text, tessaline::configKey), configCipher(text, tessaline::configKey));
}

} // namespace
