#include "framework/config/RccContainer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <iterator>

#include "framework/config/ResourceManager.h"

namespace kvx::resources {
namespace {

std::vector<uint8_t> sample() {
    return buildRcc({{"config/tamrin.cfg", "a=1\n"}, {"config/env/dev.cfg", ""}, {"certs/x.bin", std::string("\0\xff", 2)}});
}

// Rewrites the trailing CRC so a test reaches the checks behind it.
std::vector<uint8_t> withFixedCrc(std::vector<uint8_t> bytes) {
    const uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size() - 4)));
    for (int i = 0; i < 4; ++i) {
        bytes[bytes.size() - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    return bytes;
}

std::string parseError(const std::vector<uint8_t>& bytes) {
    auto parsed = parseRcc(bytes);
    return parsed.isError() ? parsed.unwrapError() : std::string("accepted");
}

std::vector<uint8_t> readBinary(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RccContainer, RoundTripThroughTheCipher) {
    const auto plain = sample();
    const auto enciphered = encipherRcc(plain, 0x4B56584B);  // seed that zeroes the state
    EXPECT_NE(std::vector<uint8_t>(enciphered.begin() + 12, enciphered.end()), plain);
    auto deciphered = decipherRcc(enciphered);
    ASSERT_TRUE(deciphered.isOk());
    EXPECT_EQ(deciphered.peek(), plain);

    auto entries = parseRcc(deciphered.peek());
    ASSERT_TRUE(entries.isOk()) << entries.peekError();
    ASSERT_EQ(entries.peek().size(), 3u);
    EXPECT_EQ(entries.peek()[2].path, "certs/x.bin");
    EXPECT_EQ(entries.peek()[2].data, std::string("\0\xff", 2));
    EXPECT_TRUE(parseRcc(buildRcc({})).isOk());
}

TEST(RccContainer, DamageIsRejected) {
    auto flipped = sample();
    flipped[20] ^= 0x01;
    EXPECT_EQ(parseError(flipped), "Resource container: checksum mismatch, the file is damaged");
    const auto whole = sample();
    EXPECT_EQ(parseError(std::vector<uint8_t>(whole.begin(), whole.begin() + 15)),
              "Resource container: not a resource container");
    auto badMagic = sample();
    badMagic[0] = 'X';
    EXPECT_EQ(parseError(badMagic), "Resource container: not a resource container");

    auto badVersion = sample();
    badVersion[4] = 2;
    EXPECT_EQ(parseError(withFixedCrc(badVersion)), "Resource container: unsupported version [2]");
    auto hugeCount = sample();
    hugeCount[11] = 0x7f;
    EXPECT_NE(parseError(withFixedCrc(hugeCount)).find("exceeds the file"), std::string::npos);
    auto longPath = sample();
    longPath[13] = 0x40;  // first path length runs past the end
    EXPECT_NE(parseError(withFixedCrc(longPath)).find("runs past the end"), std::string::npos);
    auto trailing = sample();
    trailing.insert(trailing.end() - 4, uint8_t{0});
    EXPECT_NE(parseError(withFixedCrc(trailing)).find("unexpected bytes"), std::string::npos);

    EXPECT_NE(parseError(buildRcc({{"a", "1"}, {"a", "2"}})).find("appears twice"), std::string::npos);
    EXPECT_NE(parseError(buildRcc({{"a", "1"}, {"a/b", "2"}})).find("both a file and a folder"), std::string::npos);
    for (const char* bad : {"", "/a", "a/", "a//b", "a/../b", "./a"}) {
        EXPECT_NE(parseError(buildRcc({{bad, "1"}})).find("invalid path"), std::string::npos) << bad;
    }

    auto cipherVersion = encipherRcc(sample(), 1);
    cipherVersion[4] = 9;
    EXPECT_TRUE(decipherRcc(cipherVersion).isError());
    EXPECT_TRUE(decipherRcc(sample()).isError());  // a plain container is not an enciphered one
    // A damaged enciphered file deciphers, then fails the checksum.
    auto damaged = encipherRcc(sample(), 7);
    damaged[30] ^= 0x80;
    EXPECT_EQ(parseError(decipherRcc(damaged).unwrap()), "Resource container: checksum mismatch, the file is damaged");
}

TEST(RccContainer, TheBuildsPackedFileMatchesTheConfigFolder) {
    const auto file = readBinary(KVX_TEST_RCC_FILE);
    ASSERT_FALSE(file.empty()) << KVX_TEST_RCC_FILE;
    auto plain = decipherRcc(file);
    ASSERT_TRUE(plain.isOk()) << plain.peekError();
    ResourceManager resources;
    ASSERT_TRUE(resources.addRccData(plain.peek()).isOk());
    for (const char* name : {"tamrin.cfg", "KorvDestager.cfg", "platform/win.cfg", "env/production.cfg",
                             "env/preview.cfg", "env/integration.cfg", "env/dev.cfg", "env/load.cfg"}) {
        const auto expected = readBinary((std::string(KVX_TEST_CONFIG_DIR) + "/" + name).c_str());
        auto packed = resources.lookup(std::string(":/config/") + name);
        ASSERT_TRUE(packed.isOk()) << name;
        EXPECT_EQ(packed.peek(), std::string(expected.begin(), expected.end())) << name;
    }
    EXPECT_FALSE(resources.exists(":/certs/ca.crt"));  // no developer certificates are shipped
}

TEST(ResourceManager, LookupsAndErrorTexts) {
    ResourceManager resources;
    ASSERT_TRUE(resources.addRccData(sample()).isOk());
    EXPECT_EQ(resources.lookup(":/config/tamrin.cfg").unwrap(), "a=1\n");
    EXPECT_EQ(resources.lookup(":/config/env/dev.cfg").unwrap(), "");
    EXPECT_EQ(resources.lookup(":/config/missing.cfg").unwrapError(), "Resource :/config/missing.cfg not found");
    EXPECT_EQ(resources.lookup("config/tamrin.cfg").unwrapError(), "Resource config/tamrin.cfg not found");
    EXPECT_EQ(resources.lookup(":/config/env").unwrapError(), "Requested node[:/config/env] is a directory");
    EXPECT_EQ(resources.lookup(":/config/").unwrapError(), "Requested node[:/config/] is a directory");
    EXPECT_EQ(resources.lookup(":/").unwrapError(), "Requested node[:/] is a directory");
    EXPECT_EQ(resources.lookup(":/conf").unwrapError(), "Resource :/conf not found");

    auto damaged = buildRcc({{"config/tamrin.cfg", "b=2\n"}});
    damaged[14] ^= 1;
    EXPECT_TRUE(resources.addRccData(damaged).isError());
    EXPECT_EQ(resources.lookup(":/config/tamrin.cfg").unwrap(), "a=1\n");
    ASSERT_TRUE(resources.addRccData(buildRcc({{"config/tamrin.cfg", "b=2\n"}})).isOk());
    EXPECT_EQ(resources.lookup(":/config/tamrin.cfg").unwrap(), "b=2\n");
    EXPECT_TRUE(resources.exists(":/certs/x.bin"));
}

}  // namespace
}  // namespace kvx::resources
