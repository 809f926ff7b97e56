#pragma once
// The process's default allocator: plain heap blocks with a checked header, so that bad requests
// and overwritten block headers are reported where they happen.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvx::foundation {

// Lifetime hint of an allocation; every request names one of the two.
enum AllocationFlags : uint32_t { kAllocTemporary = 0, kAllocPermanent = 1 };

class IAllocator {
public:
    virtual ~IAllocator() = default;
    // `size` bytes whose address plus `alignOffset` is a multiple of `align`; null on failure.
    virtual void* alloc(size_t size, size_t align, size_t alignOffset, uint32_t flags, const char* tag) = 0;
    virtual void free(void* block) = 0;
    virtual const std::string& name() const = 0;
};

class MallocAllocator final : public IAllocator {
public:
    explicit MallocAllocator(std::string name) : mName(std::move(name)) {}

    void* alloc(size_t size, size_t align, size_t alignOffset, uint32_t flags, const char* tag) override;
    void free(void* block) override;
    const std::string& name() const override { return mName; }

private:
    std::string mName;
};

// Installs the process default allocator; null uninstalls it. Replacing one non-null allocator by
// another is a programming error: it is reported and the installed one stays.
void SetDefaultAllocator(IAllocator* pAllocator);
IAllocator* GetDefaultAllocator();

}  // namespace kvx::foundation
