#include "framework/app/MallocAllocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/Capture.h"

namespace kvx::foundation {
namespace {

TEST(MallocAllocator, PlacesTheOffsetOnTheAlignmentAndUsesTheWholeBlock) {
    test::ScopedAssertCapture asserts;
    MallocAllocator allocator("default");
    for (size_t align : {1u, 8u, 64u, 4096u}) {
        for (size_t offset : {0u, 3u, 8u}) {
            auto* block = static_cast<uint8_t*>(allocator.alloc(100, align, offset, kAllocTemporary, "t"));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ((reinterpret_cast<uintptr_t>(block) + offset) % align, 0u) << align << " " << offset;
            std::memset(block, 0xEE, 100);  // the sanitizers object if the block is short
            allocator.free(block);
        }
    }
    EXPECT_TRUE(asserts.asserts().empty());
}

// Each misuse is a fatal check and changes nothing: a bad request gets no block, a block whose
// sentinel was overwritten is kept (freed once repaired), a second default allocator is refused.
TEST(MallocAllocator, MisuseIsAFatalCheck) {
    test::ScopedAssertCapture asserts;
    MallocAllocator allocator("default");
    MallocAllocator other("other");
    const std::tuple<size_t, size_t, size_t, uint32_t> badRequests[] = {
        {0, 8, 0, kAllocTemporary},
        {16, 24, 0, kAllocTemporary},
        {10, 8, 10, kAllocPermanent},
        {10, 8, 0, 7},
        {SIZE_MAX - 4, 8, 0, kAllocTemporary}};
    for (const auto& [size, align, offset, flags] : badRequests) {
        EXPECT_EQ(allocator.alloc(size, align, offset, flags, "t"), nullptr) << size << " " << align;
    }
    auto* block = static_cast<uint8_t*>(allocator.alloc(32, 16, 0, kAllocPermanent, "t"));
    ASSERT_NE(block, nullptr);
    block[-1] ^= 0xFF;  // an underrun of the block
    allocator.free(block);
    block[-1] ^= 0xFF;
    allocator.free(block);
    SetDefaultAllocator(&allocator);
    SetDefaultAllocator(&other);
    EXPECT_EQ(GetDefaultAllocator(), &allocator);
    SetDefaultAllocator(nullptr);
    EXPECT_EQ(
        asserts.conditionsAndMessages(),
        (std::vector<std::pair<std::string, std::string>>{
            {"0 < size", "size must be non-zero, size: 0"},
            {"isPowerOfTwo(align)", "requested alignment must be a power of 2, align:24"},
            {"alignOffset < size", "offset to align must be within the allocation, alignOffset: 10, size:10"},
            {"knownFlags", "invalid flags value, value:7"},
            {kUnconditionalAssert, "Allocator 'default': out of memory"},
            {"mSentinel == kAllocSentinel", "sentinel value corrupted"},
            {"gAllocator == nullptr || pAllocator == nullptr", "default allocator already set"}}));
    for (const auto& report : asserts.asserts()) {
        EXPECT_EQ(report.level, AssertLevel::Fatal);
    }
}

}  // namespace
}  // namespace kvx::foundation
