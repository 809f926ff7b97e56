#include "framework/app/MallocAllocator.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "foundation/Assert.h"

namespace kvx::foundation {
namespace {

constexpr uint32_t kAllocSentinel = 0xA110CA11;

// Stored just before each block handed out; copied in and out with memcpy because a block with a
// small alignment may leave the header unaligned. The sentinel is last, right before the block,
// where an underrun of the block hits first.
struct AllocHeader {
    void* mRaw;
    const char* mTag;
    uint32_t mReserved;
    uint32_t mSentinel;

    bool check() const {
        KVX_ASSERT(AssertLevel::Fatal, mSentinel == kAllocSentinel, "sentinel value corrupted");
        return mSentinel == kAllocSentinel;
    }
};

bool isPowerOfTwo(size_t value) { return value != 0 && (value & (value - 1)) == 0; }

// Reports the first check a request fails.
bool requestIsValid(size_t size, size_t align, size_t alignOffset, uint32_t flags) {
    KVX_ASSERT(AssertLevel::Fatal, 0 < size, "size must be non-zero, size: {}", size);
    if (size == 0) {
        return false;
    }
    KVX_ASSERT(AssertLevel::Fatal, isPowerOfTwo(align), "requested alignment must be a power of 2, align:{}", align);
    if (!isPowerOfTwo(align)) {
        return false;
    }
    KVX_ASSERT(AssertLevel::Fatal, alignOffset < size,
               "offset to align must be within the allocation, alignOffset: {}, size:{}", alignOffset, size);
    if (alignOffset >= size) {
        return false;
    }
    const bool knownFlags = flags == kAllocTemporary || flags == kAllocPermanent;
    KVX_ASSERT(AssertLevel::Fatal, knownFlags, "invalid flags value, value:{}", flags);
    return knownFlags;
}

std::atomic<IAllocator*> gAllocator{nullptr};

}  // namespace

void* MallocAllocator::alloc(size_t size, size_t align, size_t alignOffset, uint32_t flags, const char* tag) {
    if (!requestIsValid(size, align, alignOffset, flags)) {
        return nullptr;
    }
    const size_t slack = sizeof(AllocHeader) + align - 1;
    void* raw = size <= SIZE_MAX - slack ? std::malloc(size + slack) : nullptr;
    if (raw == nullptr) {
        KVX_ASSERT_ALWAYS(AssertLevel::Fatal, "Allocator '{}': out of memory", mName);
        return nullptr;
    }
    // The first address after the header at which address + alignOffset is aligned.
    const uintptr_t earliest = reinterpret_cast<uintptr_t>(raw) + sizeof(AllocHeader);
    const uintptr_t aligned = ((earliest + alignOffset + align - 1) & ~(uintptr_t{align} - 1)) - alignOffset;
    const AllocHeader header{raw, tag, 0, kAllocSentinel};
    std::memcpy(reinterpret_cast<void*>(aligned - sizeof(AllocHeader)), &header, sizeof(header));
    return reinterpret_cast<void*>(aligned);
}

void MallocAllocator::free(void* block) {
    if (block == nullptr) {
        return;
    }
    AllocHeader header;
    std::memcpy(&header, static_cast<char*>(block) - sizeof(AllocHeader), sizeof(header));
    // A corrupted header cannot say where the block starts; leaking it is the safe choice.
    if (header.check()) {
        std::free(header.mRaw);
    }
}

void SetDefaultAllocator(IAllocator* pAllocator) {
    // Installed and removed on the main thread only (application core construction and destruction).
    KVX_ASSERT(AssertLevel::Fatal, gAllocator == nullptr || pAllocator == nullptr, "default allocator already set");
    if (gAllocator == nullptr || pAllocator == nullptr) {
        gAllocator = pAllocator;
    }
}

IAllocator* GetDefaultAllocator() { return gAllocator.load(); }

}  // namespace kvx::foundation
