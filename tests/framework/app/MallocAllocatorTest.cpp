#include "framework/app/MallocAllocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/Capture.h"

namespace kvx::foundation {
namespace {

using Reports = std::vector<std::pair<std::string, std::string>>;

class MallocAllocatorTest : public ::testing::Test {
protected:
    test::ScopedAssertCapture mAsserts;
    MallocAllocator mAllocator{"default"};
};

TEST_F(MallocAllocatorTest, PlacesTheOffsetOnTheAlignmentAndUsesTheWholeBlock) {
    for (size_t align : {1u, 8u, 64u, 4096u}) {
        for (size_t offset : {0u, 3u, 8u}) {
            auto* block = static_cast<uint8_t*>(mAllocator.alloc(100, align, offset, kAllocTemporary, "t"));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ((reinterpret_cast<uintptr_t>(block) + offset) % align, 0u) << align << " " << offset;
            std::memset(block, 0xEE, 100);  // the sanitizers object if the block is short
            mAllocator.free(block);
        }
    }
    EXPECT_TRUE(mAsserts.asserts().empty());
}

TEST_F(MallocAllocatorTest, RefusesBadRequestsWithTheirChecks) {
    const std::tuple<size_t, size_t, size_t, uint32_t, const char*> rows[] = {
        {0, 8, 0, kAllocTemporary, "size must be non-zero, size: 0"},
        {16, 24, 0, kAllocTemporary, "requested alignment must be a power of 2, align:24"},
        {10, 8, 10, kAllocPermanent,
         "offset to align must be within the allocation, alignOffset: 10, size:10"},
        {10, 8, 0, 7, "invalid flags value, value:7"},
        {SIZE_MAX - 4, 8, 0, kAllocTemporary, "Allocator 'default': out of memory"}};
    for (const auto& [size, align, offset, flags, message] : rows) {
        EXPECT_EQ(mAllocator.alloc(size, align, offset, flags, "t"), nullptr) << message;
        ASSERT_FALSE(mAsserts.messages().empty());
        EXPECT_EQ(mAsserts.messages().back(), message);
        EXPECT_EQ(mAsserts.asserts().back().level, AssertLevel::Fatal);
    }
    EXPECT_EQ(mAsserts.asserts().size(), 5u);
    EXPECT_EQ(mAsserts.asserts()[0].condition, "0 < size");
}

TEST_F(MallocAllocatorTest, AnOverwrittenSentinelIsReportedAndTheBlockKept) {
    auto* block = static_cast<uint8_t*>(mAllocator.alloc(32, 16, 0, kAllocPermanent, "t"));
    ASSERT_NE(block, nullptr);
    uint8_t saved[4];
    std::memcpy(saved, block - 4, 4);
    std::memset(block - 4, 0, 4);  // an underrun of the block
    mAllocator.free(block);
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (Reports{{"mSentinel == kAllocSentinel", "sentinel value corrupted"}}));
    std::memcpy(block - 4, saved, 4);  // the block was not released: repaired, it frees normally
    mAllocator.free(block);
    EXPECT_EQ(mAsserts.asserts().size(), 1u);
}

TEST_F(MallocAllocatorTest, OneDefaultAllocatorAtATime) {
    MallocAllocator other("other");
    SetDefaultAllocator(&mAllocator);
    SetDefaultAllocator(&other);
    EXPECT_EQ(GetDefaultAllocator(), &mAllocator);
    EXPECT_EQ(mAsserts.conditionsAndMessages(),
              (Reports{{"gAllocator == nullptr || pAllocator == nullptr", "default allocator already set"}}));
    SetDefaultAllocator(nullptr);
    SetDefaultAllocator(&other);
    EXPECT_EQ(GetDefaultAllocator(), &other);
    SetDefaultAllocator(nullptr);
    EXPECT_EQ(mAsserts.asserts().size(), 1u);
}

}  // namespace
}  // namespace kvx::foundation
