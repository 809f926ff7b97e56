#include "framework/config/RccContainer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <iterator>

#include "framework/config/ResourceManager.h"

namespace kvx::resources {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes sample() {
    return buildRcc(
        {{"config/tamrin.cfg", "a=1\n"}, {"config/env/dev.cfg", ""}, {"certs/x.bin", {"\0\xff", 2}}});
}

// Rewrites the trailing CRC so a test reaches the checks behind it.
Bytes withFixedCrc(Bytes bytes) {
    const uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size() - 4)));
    for (int i = 0; i < 4; ++i) {
        bytes[bytes.size() - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    return bytes;
}

Bytes patched(size_t at, uint8_t xorMask) {
    Bytes bytes = sample();
    bytes[at] ^= xorMask;
    return bytes;
}

std::string parseError(const Bytes& bytes) {
    auto parsed = parseRcc(bytes);
    return parsed.isError() ? parsed.unwrapError() : std::string("accepted");
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RccContainer, DamageIsRejected) {
    const Bytes whole = sample();
    Bytes trailing = whole;
    trailing.insert(trailing.end() - 4, 0);
    auto damaged = encipherRcc(sample(), 7);
    damaged[30] ^= 0x80;
    const std::pair<Bytes, std::string> rows[] = {
        {patched(20, 0x01), "checksum mismatch, the file is damaged"},
        {decipherRcc(damaged).unwrap(),
         "checksum mismatch, the file is damaged"},  // the cipher checks nothing
        {withFixedCrc(patched(0, 0x01)), "not a resource container"},
        {Bytes(whole.begin(), whole.begin() + 15), "not a resource container"},
        {withFixedCrc(patched(4, 0x03)), "unsupported version [2]"},
        {withFixedCrc(patched(11, 0x7f)), "entry count [2130706435] exceeds the file"},
        {withFixedCrc(patched(13, 0x40)), "entry [0] runs past the end"},  // the first path's length
        {withFixedCrc(trailing), "[1] unexpected bytes after the last entry"},
        {buildRcc({{"a", "1"}, {"a", "2"}}), "[a] appears twice"},
        {buildRcc({{"a", "1"}, {"a/b", "2"}}), "[a] is both a file and a folder"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(parseError(bytes), "Resource container: " + text);
    }
    for (const char* bad : {"", "/a", "a/", "a//b", "a/../b", "./a"}) {
        EXPECT_EQ(parseError(buildRcc({{bad, "1"}})), "Resource container: entry [0] has an invalid path")
            << bad;
    }

    auto cipherVersion = encipherRcc(sample(), 1);
    cipherVersion[4] = 9;
    EXPECT_EQ(decipherRcc(cipherVersion).unwrapError(), "Resource container: unsupported cipher version [9]");
    EXPECT_EQ(decipherRcc(sample()).unwrapError(),
              "Resource container: not an enciphered resource container");
}

TEST(RccContainer, TheBuildsPackedFileMatchesTheConfigFolder) {
    const std::string packed = readFile(KVX_TEST_RCC_FILE);
    ResourceManager resources;
    ASSERT_TRUE(resources.addRccData(decipherRcc(Bytes(packed.begin(), packed.end())).unwrap()).isOk());
    for (const char* name : {"tamrin.cfg", "KorvDestager.cfg", "platform/win.cfg", "env/production.cfg",
                             "env/preview.cfg", "env/integration.cfg", "env/dev.cfg", "env/load.cfg"}) {
        EXPECT_EQ(resources.lookup(std::string(":/config/") + name).unwrap(),
                  readFile(std::string(KVX_TEST_CONFIG_DIR) + "/" + name));
    }
    EXPECT_FALSE(resources.exists(":/certs/ca.crt"));  // no developer certificates are shipped
}

// The sample goes through the cipher with the seed that zeroes its state.
TEST(ResourceManager, LookupsAndErrorTexts) {
    ResourceManager resources;
    ASSERT_TRUE(resources.addRccData(decipherRcc(encipherRcc(sample(), 0x4B56584B)).unwrap()).isOk());
    EXPECT_EQ(resources.lookup(":/config/tamrin.cfg").unwrap(), "a=1\n");
    EXPECT_EQ(resources.lookup(":/config/env/dev.cfg").unwrap(), "");
    EXPECT_EQ(resources.lookup(":/certs/x.bin").unwrap(), std::string("\0\xff", 2));
    for (const char* missing : {":/config/missing.cfg", "config/tamrin.cfg", ":/conf"}) {
        EXPECT_EQ(resources.lookup(missing).unwrapError(), std::string("Resource ") + missing + " not found");
    }
    for (const char* folder : {":/config/env", ":/config/", ":/"}) {
        EXPECT_EQ(resources.lookup(folder).unwrapError(),
                  std::string("Requested node[") + folder + "] is a directory");
    }
    // A damaged container adds nothing; a later good one replaces what an earlier one held.
    EXPECT_TRUE(resources.addRccData(patched(14, 0x01)).isError());
    EXPECT_EQ(resources.lookup(":/config/tamrin.cfg").unwrap(), "a=1\n");
    ASSERT_TRUE(resources.addRccData(buildRcc({{"config/tamrin.cfg", "b=2\n"}})).isOk());
    EXPECT_EQ(resources.lookup(":/config/tamrin.cfg").unwrap(), "b=2\n");
}

}  // namespace
}  // namespace kvx::resources
