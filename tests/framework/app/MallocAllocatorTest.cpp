#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "framework/app/MallocAllocator.h"
#include "support/Capture.h"

namespace kvx::foundation {
namespace {

TEST(MallocAllocator, PlacesTheOffsetOnTheAlignmentAndUsesTheWholeBlock) {
    test::ScopedAssertCapture asserts;
    MallocAllocator allocator("default");
    for (size_t align : {1u, 8u, 64u, 4096u}) {
        for (size_t offset : {0u, 3u, 8u}) {
            auto* block = static_cast<uint8_t*>(allocator.alloc(100, align, offset, kAllocTemporary, "test"));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ((reinterpret_cast<uintptr_t>(block) + offset) % align, 0u) << align << " " << offset;
            std::memset(block, 0xEE, 100);  // the sanitizers object if the block is short
            allocator.free(block);
        }
    }
    EXPECT_TRUE(asserts.asserts().empty());
}

TEST(MallocAllocator, RefusesBadRequestsWithTheirChecks) {
    test::ScopedAssertCapture asserts;
    MallocAllocator allocator("default");
    EXPECT_EQ(allocator.alloc(0, 8, 0, kAllocTemporary, "t"), nullptr);
    EXPECT_EQ(allocator.alloc(16, 24, 0, kAllocTemporary, "t"), nullptr);
    EXPECT_EQ(allocator.alloc(10, 8, 10, kAllocPermanent, "t"), nullptr);
    EXPECT_EQ(allocator.alloc(10, 8, 0, 7, "t"), nullptr);
    EXPECT_EQ(allocator.alloc(SIZE_MAX - 4, 8, 0, kAllocTemporary, "t"), nullptr);

    const auto reports = asserts.asserts();
    ASSERT_EQ(reports.size(), 5u);
    EXPECT_EQ(reports[0].condition, "0 < size");
    EXPECT_EQ(reports[0].message, "size must be non-zero, size: 0");
    EXPECT_EQ(reports[1].message, "requested alignment must be a power of 2, align:24");
    EXPECT_EQ(reports[2].message, "offset to align must be within the allocation, alignOffset: 10, size:10");
    EXPECT_EQ(reports[3].message, "invalid flags value, value:7");
    EXPECT_EQ(reports[4].message, "Allocator 'default': out of memory");
    for (const auto& report : reports) {
        EXPECT_EQ(report.level, AssertLevel::Fatal);
    }
}

TEST(MallocAllocator, AnOverwrittenSentinelIsReportedAndTheBlockKept) {
    test::ScopedAssertCapture asserts;
    MallocAllocator allocator("default");
    auto* block = static_cast<uint8_t*>(allocator.alloc(32, 16, 0, kAllocPermanent, "t"));
    ASSERT_NE(block, nullptr);
    uint8_t saved[4];
    std::memcpy(saved, block - 4, 4);
    std::memset(block - 4, 0, 4);  // an underrun of the block
    allocator.free(block);
    ASSERT_EQ(asserts.asserts().size(), 1u);
    EXPECT_EQ(asserts.asserts()[0].condition, "mSentinel == kAllocSentinel");
    EXPECT_EQ(asserts.asserts()[0].message, "sentinel value corrupted");

    std::memcpy(block - 4, saved, 4);  // the block was not released: repaired, it frees normally
    allocator.free(block);
    EXPECT_EQ(asserts.asserts().size(), 1u);
}

TEST(DefaultAllocator, OneAtATime) {
    test::ScopedAssertCapture asserts;
    MallocAllocator first("default");
    MallocAllocator second("other");
    SetDefaultAllocator(&first);
    SetDefaultAllocator(&second);
    EXPECT_EQ(GetDefaultAllocator(), &first);
    ASSERT_EQ(asserts.asserts().size(), 1u);
    EXPECT_EQ(asserts.asserts()[0].condition, "gAllocator == nullptr || pAllocator == nullptr");
    EXPECT_EQ(asserts.asserts()[0].message, "default allocator already set");

    SetDefaultAllocator(nullptr);
    EXPECT_EQ(GetDefaultAllocator(), nullptr);
    SetDefaultAllocator(&second);
    EXPECT_EQ(GetDefaultAllocator(), &second);
    SetDefaultAllocator(nullptr);
    EXPECT_EQ(asserts.asserts().size(), 1u);
}

}  // namespace
}  // namespace kvx::foundation
