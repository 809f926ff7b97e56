// Stored link targets from raw reparse records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/fs/ReparseData.h"

namespace kvx::fs::detail {
namespace {

// A record with the substitute name after the print name, as Windows lays them out.
std::vector<uint8_t> record(uint32_t tag, const std::wstring& substitute, const std::wstring& print) {
    const size_t flags = tag == kTagSymlink ? kSymlinkFlagsSize : 0;
    const size_t pathBytes = (print.size() + substitute.size()) * sizeof(wchar_t);
    std::vector<uint8_t> data(sizeof(ReparseHeader) + sizeof(LinkNames) + flags + pathBytes);
    const ReparseHeader header{tag, static_cast<uint16_t>(data.size() - sizeof(ReparseHeader)), 0};
    const LinkNames names{static_cast<uint16_t>(print.size() * sizeof(wchar_t)),
                          static_cast<uint16_t>(substitute.size() * sizeof(wchar_t)), 0,
                          static_cast<uint16_t>(print.size() * sizeof(wchar_t))};
    std::memcpy(data.data(), &header, sizeof(header));
    std::memcpy(data.data() + sizeof(header), &names, sizeof(names));
    uint8_t* buffer = data.data() + sizeof(header) + sizeof(names) + flags;
    std::memcpy(buffer, print.data(), print.size() * sizeof(wchar_t));
    std::memcpy(buffer + print.size() * sizeof(wchar_t), substitute.data(),
                substitute.size() * sizeof(wchar_t));
    return data;
}

TEST(ReparseData, RelativeSymlinkTargetIsReturnedUnchanged) {
    const auto data = record(kTagSymlink, L"..\\StagedKorvDesktop\\Korv Desktop", L"print");
    EXPECT_EQ(substituteName(data.data(), data.size()).unwrap(), L"..\\StagedKorvDesktop\\Korv Desktop");
}

TEST(ReparseData, AbsoluteTargetsLoseTheNamespacePrefix) {
    const auto symlink = record(kTagSymlink, L"\\??\\C:\\versions\\v2", L"C:\\versions\\v2");
    EXPECT_EQ(substituteName(symlink.data(), symlink.size()).unwrap(), L"C:\\versions\\v2");
    const auto mountPoint = record(kTagMountPoint, L"\\??\\D:\\data", L"");
    EXPECT_EQ(substituteName(mountPoint.data(), mountPoint.size()).unwrap(), L"D:\\data");
    const auto unc = record(kTagSymlink, L"\\??\\UNC\\server\\share", L"");
    EXPECT_EQ(substituteName(unc.data(), unc.size()).unwrap(), L"\\\\server\\share");
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
