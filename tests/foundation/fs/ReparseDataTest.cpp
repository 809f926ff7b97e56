// Stored link targets from raw reparse records.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "foundation/fs/ReparseData.h"

namespace kvx::fs::detail {
namespace {

// A record with the substitute name after the print name, as Windows lays them out.
std::vector<uint8_t> record(uint32_t tag, const std::wstring& substitute, const std::wstring& print) {
    const auto bytes = [](const std::wstring& text) { return static_cast<uint16_t>(text.size() * 2); };
    const size_t flags = tag == kTagSymlink ? kSymlinkFlagsSize : 0;
    const std::wstring names = print + substitute;
    const ReparseHeader header{tag, static_cast<uint16_t>(sizeof(LinkNames) + flags + bytes(names)), 0};
    const LinkNames offsets{bytes(print), bytes(substitute), 0, bytes(print)};
    std::vector<uint8_t> data(sizeof(header) + sizeof(offsets) + flags + bytes(names));
    std::memcpy(data.data(), &header, sizeof(header));
    std::memcpy(data.data() + sizeof(header), &offsets, sizeof(offsets));
    std::memcpy(data.data() + sizeof(header) + sizeof(offsets) + flags, names.data(), bytes(names));
    return data;
}

// A relative target is returned unchanged; absolute ones lose the namespace prefix.
TEST(ReparseData, StoredTargetsAreReadFromTheSubstituteName) {
    const std::tuple<uint32_t, std::wstring, std::wstring, std::wstring> rows[] = {
        {kTagSymlink, L"..\\StagedKorvDesktop\\Korv Desktop", L"print",
         L"..\\StagedKorvDesktop\\Korv Desktop"},
        {kTagSymlink, L"\\??\\C:\\versions\\v2", L"C:\\versions\\v2", L"C:\\versions\\v2"},
        {kTagMountPoint, L"\\??\\D:\\data", L"", L"D:\\data"},
        {kTagSymlink, L"\\??\\UNC\\server\\share", L"", L"\\\\server\\share"},
    };
    for (const auto& [tag, substitute, print, target] : rows) {
        const auto data = record(tag, substitute, print);
        EXPECT_EQ(substituteName(data.data(), data.size()).unwrap(), target);
    }
}

TEST(ReparseData, MalformedAndForeignRecordsAreRefused) {
    auto data = record(kTagSymlink, L"target", L"");
    EXPECT_EQ(substituteName(data.data(), 6).unwrapError(), 4392u);
    EXPECT_EQ(substituteName(data.data(), data.size() - 2).unwrapError(), 4392u);
    const auto foreign = record(0x8000001Bu, L"x", L"");
    EXPECT_EQ(substituteName(foreign.data(), foreign.size()).unwrapError(), 4390u);
}

}  // namespace
}  // namespace kvx::fs::detail
