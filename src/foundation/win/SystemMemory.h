#pragma once
// Owners of buffers that Windows allocates for the caller and the caller must give back.

#include <windows.h>
#include <objbase.h>

#include "foundation/win/UniqueHandle.h"

namespace kvx::WinUtils {

// LocalAlloc'ed: message texts, SID texts, security descriptors, argument vectors.
template <typename Pointer>
struct LocalMemoryTraits {
    using Type = Pointer;
    static Type invalid() { return nullptr; }
    static bool isValid(Type memory) { return memory != nullptr; }
    static void close(Type memory) { LocalFree(memory); }
};

// CoTaskMemAlloc'ed: known-folder paths.
template <typename Pointer>
struct CoTaskMemoryTraits {
    using Type = Pointer;
    static Type invalid() { return nullptr; }
    static bool isValid(Type memory) { return memory != nullptr; }
    static void close(Type memory) { CoTaskMemFree(memory); }
};

template <typename Pointer>
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits<Pointer>>;
template <typename Pointer>
using UniqueCoTaskMemory = UniqueHandle<CoTaskMemoryTraits<Pointer>>;

}  // namespace kvx::WinUtils
