// The program's ordinary allocations: a request of 1 GiB or more is reported (it is almost always a
// size computed from bad data) and then attempted anyway. Only the Windows program replaces the
// global operator; the sanitizer builds keep their own.

#include <cstdlib>
#include <new>

#include "foundation/Assert.h"

namespace kvx::foundation {
namespace {

constexpr std::size_t kNewMemoryWarningSize = 1073741824;

void checkNewSize(std::size_t size) {
    KVX_ASSERT(AssertLevel::Fatal, size < kNewMemoryWarningSize, "Allocating a large section of memory, {}", size);
}

// What the standard asks of operator new: retry through the new-handler until there is none.
void* allocateOrThrow(std::size_t size) {
    for (;;) {
        if (void* block = std::malloc(size == 0 ? 1 : size)) {
            return block;
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            throw std::bad_alloc();
        }
        handler();
    }
}

}  // namespace
}  // namespace kvx::foundation

// The array and non-throwing forms of the runtime call this one.
void* operator new(std::size_t size) {
    kvx::foundation::checkNewSize(size);
    return kvx::foundation::allocateOrThrow(size);
}
